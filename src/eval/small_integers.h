// The arithmetic and comparisons of two machine integers, decided before
// the general evaluation rules run: for n - 1, n + 1, 2 n and n < 2 on small
// values those rules (sequence splicing, Flat, Orderless, the search of the
// natives, the pairwise combination) all come to the obvious answer.
#pragma once

#include "object/expression.h"
#include "object/object.h"

// The value of call (borrowed), a call of Plus, Times, Subtract, Less,
// LessEqual, Greater, GreaterEqual, Equal or Unequal with two machine
// integer arguments whose result is again a machine integer or a truth
// value, when the head has no value and no user rule of its own (machine
// integers carry no sub-definitions); a new reference, or null when the
// general rules must decide. call must pass SmallIntegers_Candidate.
Object *SmallIntegers_Apply(Object *call);

// Whether call has two machine-integer arguments, the first test for
// SmallIntegers_Apply; inline so that the common negative answer costs no
// call. Borrows call.
inline bool SmallIntegers_Candidate(Object *call) {
    Object **a = AsExpression(call)->elements;
    auto small = [](const Object *o) { return Object_Type(o) == TYPE_INTEGER && Object_Subtype(o) == SUB_SMALL; };
    return AsExpression(call)->length == 2 && small(a[1]) && small(a[2]);
}
