// The arithmetic and comparisons of two machine integers, decided before
// the general evaluation rules run: for n - 1, n + 1, 2 n and n < 2 on small
// values those rules (sequence splicing, Flat, Orderless, the search of the
// natives, the pairwise combination) all come to the obvious answer.
#pragma once

#include "object/object.h"

// The value of call (borrowed), a call of Plus, Times, Subtract, Less,
// LessEqual, Greater, GreaterEqual, Equal or Unequal with two machine
// integer arguments whose result is again a machine integer or a truth
// value, when the head has no value and no user rule of its own (machine
// integers carry no sub-definitions); a new reference, or null when the
// general rules must decide. Checks the arguments first, so it is cheap to
// ask of any expression, evaluated or not.
Object *SmallIntegers_Apply(Object *call);
