// The numeric constants Pi, E, EulerMascheroni, GoldenRatio, GoldenAngle
// and MachinePrecision, and the natural logarithm of 2: their machine
// values, and their values at any precision, kept in caches in the kernel
// state so that a request for no more precision than a cache holds is
// answered from it.
#pragma once

#include <cstdint>

#include "object/object.h"

struct BigFloat;

// The numeric value of a constant symbol. Mode 1: the machine real; mode 2:
// an arbitrary-precision Real of `digits` decimal digits (a negative or
// non-finite request means 53 bits). Consumes symbol; any symbol that is
// not a numeric constant is returned unchanged.
Object *Constant_Numeric(Object *symbol, int64_t mode, double digits);

// The value of a constant symbol at `bits` bits of precision into dst (mode
// 3 of Constant_Numeric, for internal use); false when symbol is not a
// numeric constant. Borrows symbol.
bool Constant_BigFloat(Object *symbol, double bits, BigFloat *dst);

// pi, e, the Euler-Mascheroni constant and ln 2 at `bits` bits of precision
// into dst, from (or extending) their caches.
void Constant_Pi(BigFloat *dst, double bits);
void Constant_E(BigFloat *dst, double bits);
void Constant_EulerGamma(BigFloat *dst, double bits);
void Constant_Ln2(BigFloat *dst, double bits);
