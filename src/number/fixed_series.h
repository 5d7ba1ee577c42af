// Fast evaluation of e^x, ln x, sin/cos and arctan at a value taken as
// exact (its stored digits; its error bound is ignored), to a requested
// number of bits. The work is done in fixed point on limb arrays, with an
// error bound counted a priori in units of the last place instead of
// per-operation error tracking, and the result carries that bound once.
// The kernels of bigfloat_functions.cpp call these to evaluate their
// function at the argument's stored value and then add the argument's own
// error.
//
// Methods by range: e^x reduces x by a multiple of ln 2 (from its cache)
// and by s halvings, sums the Taylor series by rectangular splitting (the
// nested form 1 + y/1 (1 + y/2 (1 + ...)) is cut into blocks of m terms
// whose small-integer coefficients are one-limb multiples, so each block
// costs one full product) and squares s times; ln x is Newton's iteration
// on e^x with doubling precision; sin and cos sum their series in y^2 the
// same way, at higher precisions after s halvings whose doublings run on
// 1 - cos; arctan halves its argument by square roots and sums its series
// the same way. s and m are chosen per call from a cost estimate, so the
// same code serves 10 to 10^4 digits.
#pragma once

#include "number/bigfloat.h"

// dst = e^x to about `bits` bits of precision; x finite. Beyond the
// exponent range the result is FloatOverflow or FloatUnderflow.
void FixedSeries_Exp(BigFloat *dst, const BigFloat *x, double bits);
// dst = ln x to about `bits` bits of accuracy (absolute: ln x is near 0 for
// x near 1, and the bits count from 2^0); x finite and positive.
void FixedSeries_Log(BigFloat *dst, const BigFloat *x, double bits);
// sine = sin y and cosine = cos y (either may be null) to about `bits`
// bits (sine relative, cosine absolute); y finite, non-zero and |y| <= 1
// (the caller reduces by multiples of pi/2 first).
void FixedSeries_SinCos(BigFloat *sine, BigFloat *cosine, const BigFloat *y, double bits);
// dst = arctan x to about `bits` bits of precision; x finite and non-zero.
void FixedSeries_ArcTan(BigFloat *dst, const BigFloat *x, double bits);
