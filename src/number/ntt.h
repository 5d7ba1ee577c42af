// Products of the largest operands by number-theoretic transforms: each
// limb is one coefficient, the cyclic convolution is taken modulo three
// primes just below 2^62, and the exact column sums (below n * 2^128, far
// under the primes' product of about 2^186) are rebuilt by the Chinese
// remainder theorem and carried into limbs.
#pragma once

#include <cstdint>

#include "number/limbs.h"

// The work limbs Ntt_Mul needs for a product of n + k limbs: five arrays
// of the transform length, the power of two at or above n + k - 1.
int64_t Ntt_WorkLimbs(int64_t n, int64_t k);

// dst (n + k limbs) = a (n limbs) * b (k limbs), n, k >= 1, for
// n + k <= 2^40, with work holding Ntt_WorkLimbs(n, k) limbs. dst must not
// overlap a, b or work; a may be b with n == k, which takes one forward
// transform per prime instead of two.
void Ntt_Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *work);
