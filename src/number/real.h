// Real objects: inexact numbers. A machine real holds a double; an
// arbitrary-precision real owns a BigFloat; the saturated values Overflow
// and Underflow keep only a sign (+1.0 or -1.0). Objects change subtype in
// place by switching their class record.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

struct BigFloat;

struct Real {
    Object header;
    union {
        double value;    // subtypes 2, 4, 5
        BigFloat *big;   // subtype 3, owned
    };
};

extern const ObjectClass RealMachineClass VORLAN_INTERNAL;
extern const ObjectClass RealBigClass VORLAN_INTERNAL;
extern const ObjectClass RealOverflowClass VORLAN_INTERNAL;
extern const ObjectClass RealUnderflowClass VORLAN_INTERNAL;

inline bool Object_IsReal(const Object *o) { return o->cls->type == TYPE_REAL; }
inline Real *AsReal(Object *o) { return reinterpret_cast<Real *>(o); }
inline bool Real_IsMachine(const Object *o) { return o->cls == &RealMachineClass; }
inline bool Real_IsBig(const Object *o) { return o->cls == &RealBigClass; }

// Machine precision in decimal digits: 53 bits.
constexpr double kMachinePrecision = 15.954589770191001;
// Flag of Real_Normalize: demote an arbitrary-precision value of at most
// machine precision to a machine real.
constexpr uint64_t REAL_DEMOTE = 0x80000;

// A new machine real holding x; an infinite x gives Overflow with its sign.
// NaN is stored as it is.
Object *Real_FromDouble(double x);

// A new saturated real: subtype SUB_OVERFLOW or SUB_UNDERFLOW with sign +1
// or -1.
Object *Real_NewSaturated(uint64_t subtype, int sign);

// A new subtype-3 real holding a copy of b (an exact zero when b is null).
Object *Real_FromBigFloat(const BigFloat *b);

// Converts o in place to another subtype (the caller holds the only
// reference): 3 -> 2 by BigFloat_ToDouble (Overflow when not finite,
// Underflow when a non-zero value becomes 0.0); 2 -> 3 by
// BigFloat_FromDouble; to 4 or 5 the value becomes its sign.
void Real_SetSubtype(Object *o, uint64_t subtype);

// Consumes o and returns its normal form: a NaN or FloatIndeterminate gives
// the symbol Indeterminate; an infinite double or FloatOverflow gives
// Overflow, FloatUnderflow Underflow; with REAL_DEMOTE a subtype-3 value of
// at most machine precision becomes a machine real. Other objects pass
// through.
Object *Real_Normalize(Object *o, uint64_t flags = 0);

// Precision[x], Accuracy[x]. Consume the call.
Object *Builtin_Precision(Object *call);
Object *Builtin_Accuracy(Object *call);

// The natives of this module, for the registry.
extern const NativeTable RealNatives;
