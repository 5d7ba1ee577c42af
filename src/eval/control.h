// Control flow, logic, local variables, pure functions and the higher-order
// built-ins: If, And, Or, Not, Xor, Boole, Compound, Scope, Function, Map,
// Apply, Nest and Iterate.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// What Not does with x (borrowed). An expression Not[y] gives y, a
// two-argument relation the opposite relation, True and False each other,
// an Integer its bitwise complement and a String its byte-wise complement.
// Anything else gives null when wrap is false, and otherwise Not[x] (after
// the user's rules for Not[x] have been offered it). Returns a new
// reference or null.
Object *Logic_Negate(Object *x, bool wrap);

// The natives of this module, for the registry.
extern const NativeTable ControlNatives;
