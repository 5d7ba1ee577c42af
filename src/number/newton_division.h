// Division of large operands by Newton's reciprocal: the divisor's
// reciprocal is computed once by Newton iteration on the fast product
// (the precision doubles at each step, so it costs about as much as the
// last step), and every block of quotient limbs then takes two products
// (Barrett's division) and a few corrections.
//
// Counts here are in limbs, as in the other engines under limbs.cpp. Every
// divisor d below is normalised: its top limb has the top bit set.
#pragma once

#include <cstdint>

#include "number/limbs.h"

// Reciprocals of fewer limbs than this are taken by one schoolbook long
// division of B^(2m) - 1, which is cheaper than iterating down to a limb.
constexpr int64_t NEWTON_RECIPROCAL_BASE = 48;

// The scratch limbs of Newton_Reciprocal for a divisor of m limbs.
int64_t Newton_ReciprocalScratchLimbs(int64_t m);

// x (m + 1 limbs) = an approximate reciprocal of d (m limbs, normalised),
// with B = 2^64 and X the value of x:
//   d * X < B^(2m) <= d * (X + 2),
// that is X is floor((B^(2m) - 1) / d) or one below it. B^m <= X < 2 B^m,
// so the top limb of x is 1. x, d and scratch do not overlap; scratch
// holds Newton_ReciprocalScratchLimbs(m) limbs.
void Newton_Reciprocal(Limb *x, const Limb *d, int64_t m, Limb *scratch);

// The scratch limbs of Newton_DivideBlock for a block of kk limbs by a
// divisor of n limbs.
int64_t Newton_BlockScratchLimbs(int64_t n, int64_t kk);

// One block of Barrett's division: q (kk limbs) = floor(win / d) for win
// of n + kk limbs whose top n are below d (n limbs, normalised), given the
// reciprocal X (m + 1 limbs, as Newton_Reciprocal returns it) of the top m
// limbs of d, where m = n or kk + 1 <= m <= n. The remainder replaces
// win[0..n) and the limbs above it become zero. q, win, d, X and scratch
// do not overlap; scratch holds Newton_BlockScratchLimbs(n, kk) limbs.
// This is the step to repeat when many numbers are divided by one
// divisor, whose reciprocal is then computed once.
void Newton_DivideBlock(Limb *q, Limb *win, const Limb *d, int64_t n, int64_t kk, const Limb *X, int64_t m,
                        Limb *scratch);

// The scratch limbs of Newton_Divide for wn limbs divided by n limbs.
int64_t Newton_DivideScratchLimbs(int64_t wn, int64_t n);

// q (wn - n limbs) = floor(W / d) for W of wn limbs, d of n limbs
// (normalised), wn > n, requiring W[wn-n..wn) < d so that the quotient
// fits. The remainder replaces W[0..n) and the limbs above it become zero.
// q, W, d and scratch do not overlap; scratch holds
// Newton_DivideScratchLimbs(wn, n) limbs.
void Newton_Divide(Limb *q, Limb *W, int64_t wn, const Limb *d, int64_t n, Limb *scratch);
