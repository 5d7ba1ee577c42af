// Binary splitting: the exact partial sums of series whose consecutive
// terms differ by a ratio of small integers, as a few integers from which
// one division at the end gives the sum.
//
// A range of terms is split at its middle, both halves are summed the same
// way and the two results are combined with a handful of products of
// integers of about equal size, so that the large products are balanced and
// run through the fast multiplication kernels. Short ranges are summed by a
// direct loop of products by words.
//
// Nothing here throws: the integers follow the BigInt rules, so a product
// that cannot be allocated leaves an IntInfinite record that the combining
// products carry to the results (which are then infinite or
// indeterminate). The caller checks the results it converts.
#pragma once

#include <cstdint>

#include "number/bigint.h"

// The integer factors of term k of a series: p(k) and q(k) as products of
// up to three words (no words: 1), p(k)'s sign apart, and the word a(k).
struct SeriesFactors {
    Limb p[3];
    int pCount;
    bool pNegative;
    Limb q[3];
    int qCount;
    int64_t a;
};

// A series given by its factors: the sum over k of
//   a(k) * prod_(j = first)^(k) p(j)/q(j).
class FactorSeries {
public:
    virtual ~FactorSeries() = default;
    // Fills f with the factors of term k.
    virtual void Factors(int64_t k, SeriesFactors *f) const = 0;
};

// The sum over the terms first <= k < last (first < last) as integers:
//   P = prod p(j), Q = prod q(j), T = Q * (the partial sum),
// so the partial sum is T/Q. P is computed only when wantP (a caller that
// only needs the sum passes false and p may be null). Writes p, q and t,
// which must be distinct records; borrows series.
void BinarySplit_Series(const FactorSeries &series, int64_t first, int64_t last, bool wantP, BigInt *p, BigInt *q,
                        BigInt *t);

// The two sums of the Brent-McMillan method for a word n with n^2 < 2^64,
// over 1 <= k <= terms (terms >= 1), with b_k = (n^k/k!)^2 and H_k the k-th
// harmonic number:
//   sum_(k=0)^(terms) b_k     = (Q + T)/Q,
//   sum_(k=0)^(terms) b_k H_k = V/(D Q),
// with Q = (terms!)^2 and D = terms!. Writes q, t, d and v, which must be
// distinct records.
void BinarySplit_BesselSums(uint64_t n, int64_t terms, BigInt *q, BigInt *t, BigInt *d, BigInt *v);
