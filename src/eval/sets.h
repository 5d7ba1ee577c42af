// Sorting and the set built-ins: Sort by the canonical order or a user
// ordering function, and Union, Intersection and Complement, which treat
// the arguments of expressions with one head as sorted sets and merge them.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// Each consumes the call expression and returns a new reference to the
// result, or the call itself after a message when the arguments do not fit.
Object *Builtin_Sort(Object *call);
Object *Builtin_Union(Object *call);
Object *Builtin_Intersection(Object *call);
Object *Builtin_Complement(Object *call);

// The natives of this module, for the registry.
extern const NativeTable SetNatives;
