// Arithmetic on number objects (Integer, Rational, Real, Complex) of any
// combination: the numeric core beneath Plus, Times and Power. Exact
// operands give exact results; a Real operand makes the result inexact
// under the subtype-pair rules of real arithmetic (a machine operand wins
// over an arbitrary-precision one; a machine result that leaves the double
// range continues in arbitrary precision); Complex operands combine
// componentwise. Undefined results are the symbol Indeterminate.
#pragma once

#include <cstdint>

#include "object/object.h"

struct BigFloat;

// True for Integer, Real, Rational and Complex objects.
bool Number_Is(const Object *o);
// A Real, or a Complex that is saturated or has a Real part.
bool Number_IsInexact(Object *o);
// Integer 0, a Real zero, or a Complex of subtype 0 whose parts are zeros.
bool Number_IsZero(Object *o);
// A number whose sign slot is +1 / -1 (Complex numbers have none: 0).
int Number_Sign(Object *o);

// a + b and a * b; each consumes both operands and returns the result.
Object *Number_Add(Object *a, Object *b);
Object *Number_Multiply(Object *a, Object *b);
// Consumes a; returns -a.
Object *Number_Negate(Object *a);

// Converts an Integer, Rational or Real to a double (Overflow reals give
// +-infinity, Underflow +-0.0). Borrows o.
double Number_ToDouble(Object *o);
// Converts an Integer, Rational or Real into dst: an Integer exactly, a
// Rational with `bits` bits of precision, a machine real by
// BigFloat_FromDouble, an arbitrary-precision real as it is, and the
// saturated reals as FloatOverflow / FloatUnderflow. Borrows o; returns
// false for other objects.
bool Number_ToBigFloat(Object *o, BigFloat *dst, double bits);
