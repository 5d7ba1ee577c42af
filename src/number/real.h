// Real objects: inexact numbers. A machine real holds a double; the
// saturated values Overflow and Underflow keep only a sign (+1.0 or -1.0).
#pragma once

#include "object/object.h"

struct Real {
    Object header;
    double value;
};

extern const ObjectClass RealMachineClass;
extern const ObjectClass RealOverflowClass;
extern const ObjectClass RealUnderflowClass;

inline bool Object_IsReal(const Object *o) { return o->cls->type == TYPE_REAL; }
inline Real *AsReal(Object *o) { return reinterpret_cast<Real *>(o); }

// Machine precision in decimal digits: 53 bits.
constexpr double kMachinePrecision = 15.954589770191001;

// A new machine real holding x; an infinite x gives Overflow with its sign.
// NaN is stored as it is.
Object *Real_FromDouble(double x);

// A new saturated real: subtype SUB_OVERFLOW or SUB_UNDERFLOW with sign +1
// or -1.
Object *Real_NewSaturated(uint64_t subtype, int sign);
