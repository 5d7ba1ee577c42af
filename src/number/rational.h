// Rational objects: exact fractions, always in lowest terms with a
// denominator of at least 2, so an integral value is always an Integer.
#pragma once

#include "object/object.h"

struct Rational {
    Object header;
    Object *numerator;     // owned Integer, any sign
    Object *denominator;   // owned Integer, >= 2 once normalised
};

extern const ObjectClass RationalClass VORLAN_INTERNAL;

inline bool Object_IsRational(const Object *o) { return o->cls->type == TYPE_RATIONAL; }
inline Rational *AsRational(Object *o) { return reinterpret_cast<Rational *>(o); }

// Consumes two Integers n and d and returns Rational_Normalize of n/d.
Object *Rational_Make(Object *n, Object *d);

// Consumes q and returns it in lowest terms: a negative denominator moves
// its sign to the numerator; a zero denominator gives ComplexInfinity; a
// denominator of 1 or a zero numerator gives the Integer numerator; a
// common factor is divided out (giving an Integer when it is the whole
// denominator).
Object *Rational_Normalize(Object *q);

// Exact arithmetic on Integers and Rationals (an Integer counts as n/1).
// Each consumes both operands and returns the normalised result; integer
// overflow of an intermediate gives the Overflow reals as Integer does.
Object *Rational_Add(Object *a, Object *b);
Object *Rational_Multiply(Object *a, Object *b);
// Consumes q; returns -q.
Object *Rational_Negate(Object *q);

// q as a double: numerator / denominator, correctly scaled even when both
// exceed the double range.
double Rational_ToDouble(Object *q);
