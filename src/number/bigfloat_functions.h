// Elementary functions on BigFloat records: the series kernels that
// numeric evaluation uses at arbitrary precision. Each writes its
// destination (which may be the source) and carries the accuracy the
// argument justifies; series stop at the first term below the running
// sum's accuracy by 12 guard bits, and the bound of the series' remainder
// is added to the result's error. Undefined results are
// FloatIndeterminate; an exact argument (infinite accuracy) is
// indeterminate too, because its value cannot be represented exactly.
#pragma once

#include "number/bigfloat.h"

// e^x.
void BigFloat_Exp(BigFloat *dst, const BigFloat *x);
// ln x (natural logarithm) for x > 0.
void BigFloat_Log(BigFloat *dst, const BigFloat *x);

// Widens b's error bound by a further absolute error of at most
// 2^errorLog2 (the remainder of a truncated series, say): the accuracy
// becomes -log2(2^-accuracy + 2^errorLog2). Finite values only.
void BigFloat_AddError(BigFloat *b, double errorLog2);
// Lowers b's precision (accuracy) to `bits` when it holds more; never
// raises it, so that a value that fell short keeps its honest bound.
void BigFloat_LimitPrecision(BigFloat *b, double bits);
void BigFloat_LimitAccuracy(BigFloat *b, double bits);
// dst = src / d for a small exact divisor d (not zero); the series' terms
// are built this way, in time linear in their length.
void BigFloat_DivSmall(BigFloat *dst, const BigFloat *src, int64_t d);
