// Polynomial expansion: Expand multiplies out products of sums and positive
// integer powers of sums, and gives the evaluated sum of the resulting
// terms, like terms combined.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// The native of Expand(e); consumes the call, returns the expansion of e
// (e itself when there is nothing to multiply out).
Object *Builtin_Expand(Object *call);

extern const NativeTable ExpandNatives;
