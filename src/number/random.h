// Random numbers: the kernel's pseudo-random word source and the built-in
// Random.
#pragma once

#include <cstdint>

#include "object/native_table.h"
#include "object/object.h"

// The next word of the kernel's generator (xoshiro256**). The first draw of
// the process seeds it from the thread identifier and the clock.
uint64_t Random_Word();

// A uniformly distributed Integer between 0 and the Integer x, both
// included (between x and 0 for a negative x). Borrows x; returns a new
// reference.
Object *Random_Integer(Object *x);

// The natives of this module, for the registry.
extern const NativeTable RandomNatives;
