// Complex objects: a real and an imaginary part, each an Integer, Rational
// or Real, and the saturated values ComplexOverflow and ComplexUnderflow
// (subtypes 4 and 5), which have no parts. An exact zero imaginary part
// collapses a value to its real part.
#pragma once

#include "object/object.h"

struct Complex {
    Object header;
    Object *re;   // owned; null for subtypes 4 and 5
    Object *im;   // owned; null for subtypes 4 and 5
};

extern const ObjectClass ComplexClass VORLAN_INTERNAL;
extern const ObjectClass ComplexOverflowClass VORLAN_INTERNAL;
extern const ObjectClass ComplexUnderflowClass VORLAN_INTERNAL;

inline bool Object_IsComplex(const Object *o) { return o->cls->type == TYPE_COMPLEX; }
inline Complex *AsComplex(Object *o) { return reinterpret_cast<Complex *>(o); }

// Consumes re and im and returns Complex_Normalize of re + im*I. With both
// null, returns an empty subtype-0 object for the caller to fill.
Object *Complex_Make(Object *re, Object *im);
// Consumes im; returns Complex_Normalize of im*I.
Object *Complex_MakeImaginary(Object *im);
// A new saturated complex value, subtype SUB_OVERFLOW or SUB_UNDERFLOW.
Object *Complex_NewSaturated(uint64_t subtype);

// Consumes c (subtype 0) and returns its normal form: an Integer 0
// imaginary part gives the real part; Overflow parts give ComplexOverflow;
// Underflow parts become 0.0 or give ComplexUnderflow; parts that are not
// real numbers give Indeterminate.
Object *Complex_Normalize(Object *c);
