// Parts of numbers, rounding and extremes: Abs, Sign, Re, Im, Arg,
// Conjugate, Numerator, Denominator, Floor, Ceil, Round, Trunc, Mod, Max,
// Min, ShiftLeft and ShiftRight.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// The directions of rounding to an integer.
enum RoundMode { ROUND_FLOOR, ROUND_CEIL, ROUND_NEAREST, ROUND_TRUNC };

// A number rounded to an Integer in the mode (a Complex number part by
// part; Round goes half to even). Overflow stays itself, Underflow becomes
// the integer next to a tiny value of its sign, NaN gives Indeterminate.
// Borrows x; null when x is not a number this applies to.
Object *Round_Number(Object *x, RoundMode mode);

// The natives of this module, for the registry.
extern const NativeTable RoundingNatives;
