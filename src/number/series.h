// Fixed-point series for the elementary kernels. The sums run on plain limb
// arrays with a fixed binary point (every value is v * 2^(64n) truncated to
// an integer of n + 1 limbs), so that no operation pays for error tracking
// or allocation; the error is counted a priori in units of the last place
// and set on the result once. The sums use rectangular splitting: the
// powers z, z^2, ..., z^m are formed once, each block of m terms is summed
// from them with linear-time divisions by small integers, and the blocks
// are joined by one full product each, so a series of N terms costs about
// 2 sqrt(N) full products.
//
// Each function takes its argument's stored value as exact and writes a
// result whose accuracy covers the truncation of the series and every
// rounding; the caller adds whatever error the argument itself carries. A
// failed allocation leaves the destination FloatOverflow, as BigFloat
// arithmetic does, and a saturated argument (the trace of an earlier one)
// is copied.
#pragma once

#include "number/bigfloat.h"

// e^r for 0 <= r < 1, to an absolute error below 2^-bits: r is halved k
// times, the Taylor series summed, and the sum squared k times.
void Series_Exp(BigFloat *dst, const BigFloat *r, double bits);

// For 0 <= z <= 1: sum (-z)^j / (2j + 1)! (so that sin y = y * S(y^2)), or
// with `cosine` sum (-z)^j / (2j)! (= cos y at z = y^2), to an absolute
// error below 2^-bits.
void Series_SinCos(BigFloat *dst, const BigFloat *z, bool cosine, double bits);

// For 0 <= z <= 1/4: sum (-z)^j / (2j + 1) (so that arctan v = v * A(v^2)),
// or with `hyperbolic` sum z^j / (2j + 1) (artanh v = v * A(v^2)), to an
// absolute error below 2^-bits.
void Series_ArcTan(BigFloat *dst, const BigFloat *z, double bits, bool hyperbolic);
