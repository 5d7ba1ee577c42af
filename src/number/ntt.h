// Products of the largest operands by number-theoretic transforms: each
// limb is one coefficient, the cyclic convolution is taken modulo three
// primes just below 2^62, and the exact column sums (below n * 2^128, far
// under the primes' product of about 2^186) are rebuilt by the Chinese
// remainder theorem and carried into limbs.
#pragma once

#include <cstdint>

#include "number/limbs.h"

// The transform length for a product of total limbs: the power of two at
// or above its total - 1 columns.
int64_t Ntt_Length(int64_t total);

// The work limbs Ntt_Mul needs for a product of n + k limbs: six arrays of
// the transform length.
inline int64_t Ntt_WorkLimbs(int64_t n, int64_t k) { return 6 * Ntt_Length(n + k); }

// dst (n + k limbs) = a (n limbs) * b (k limbs), n, k >= 1, for
// n + k <= 2^40, with work holding Ntt_WorkLimbs(n, k) limbs. dst must not
// overlap a, b or work; a may be b with n == k, which takes one forward
// transform per prime instead of two.
void Ntt_Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *work);

// The length of a product modulo B^len - 1 (B = 2^64) that holds at least
// `limbs` limbs: the power of two at or above it, at least 2.
int64_t Ntt_WrapLength(int64_t limbs);

// The work limbs of Ntt_MulWrapped for a length of len limbs.
inline int64_t Ntt_WrapWorkLimbs(int64_t len) { return 6 * len; }

// dst (len limbs) = a (n limbs) * b (k limbs) modulo B^len - 1, for len a
// power of two from Ntt_WrapLength, 1 <= n, k <= len <= 2^40: the cyclic
// convolution of length len with its carries wrapped around, about half a
// full product when the true product would need twice the length. The
// result is congruent to a * b and lies in [0, B^len - 1], so zero may come
// out as B^len - 1 (all ones). dst must not overlap a, b or work; work
// holds Ntt_WrapWorkLimbs(len) limbs; a may be b with n == k (a square).
void Ntt_MulWrapped(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, int64_t len, Limb *work);
