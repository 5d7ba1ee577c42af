#include "number/binary_splitting.h"

#include <utility>

namespace {

// Ranges of at most this many terms are summed by the direct loop: below
// it, the products of the recursion are too short for the fast kernels to
// gain, and the loop's products by words are cheaper than the recursion's
// bookkeeping.
constexpr int64_t kDirectTerms = 8;

// x = x * w, through tmp (whose old value is dropped): a product never
// writes its own operand, so that no scratch copy is made. Writes x and
// tmp.
void MulWord(BigInt *x, Limb w, BigInt *tmp) {
    WordInt word(w);
    BigInt_Mul(tmp, x, &word.rec);
    std::swap(*x, *tmp);
}

// dst = x * a for a signed word a. Writes dst (not x); borrows x.
void MulSigned(BigInt *dst, const BigInt *x, int64_t a) {
    WordInt word(a < 0 ? 0 - static_cast<Limb>(a) : static_cast<Limb>(a));
    BigInt_Mul(dst, x, &word.rec);
    if (a < 0) BigInt_Negate(dst);
}

// dst = a*b + c*d. Writes dst and tmp, which must differ from the
// operands; borrows a, b, c and d.
void MulAdd(BigInt *dst, const BigInt *a, const BigInt *b, const BigInt *c, const BigInt *d, BigInt *tmp) {
    BigInt_Mul(dst, a, b);
    BigInt_Mul(tmp, c, d);
    BigInt_Add(dst, dst, tmp);
    BigInt_Release(tmp);
}

// The integers of a range of terms, owned by the recursion's frames.
struct SeriesRange {
    LocalInt p, q, t;
};

// Extends the range by one term at a time from the empty range (P = Q = 1,
// T = 0): P' = P p(k), T' = T q(k) + a(k) P', Q' = Q q(k). Writes out;
// borrows series.
void DirectSeries(const FactorSeries &series, int64_t first, int64_t last, SeriesRange &out) {
    BigInt *p = out.p.get(), *q = out.q.get(), *t = out.t.get();
    LocalInt tmp, term;
    BigInt_SetSmall(p, 1);
    BigInt_SetSmall(q, 1);
    BigInt_SetZero(t);
    SeriesFactors f;
    for (int64_t k = first; k < last; ++k) {
        series.Factors(k, &f);
        for (int i = 0; i < f.pCount; ++i) MulWord(p, f.p[i], tmp.get());
        if (f.pNegative) BigInt_Negate(p);
        for (int i = 0; i < f.qCount; ++i) {
            MulWord(t, f.q[i], tmp.get());
            MulWord(q, f.q[i], tmp.get());
        }
        MulSigned(term.get(), p, f.a);
        BigInt_Add(t, t, term.get());
    }
}

// The range [first, last) into out: the two halves, then
//   P = P1 P2, Q = Q1 Q2, T = T1 Q2 + P1 T2,
// each half's integers freed as soon as the last product that reads them
// is done. Writes out; borrows series.
void SplitSeries(const FactorSeries &series, int64_t first, int64_t last, bool wantP, SeriesRange &out) {
    if (last - first <= kDirectTerms) {
        DirectSeries(series, first, last, out);
        if (!wantP) BigInt_Release(out.p.get());
        return;
    }
    int64_t middle = first + (last - first) / 2;
    SeriesRange left, right;
    SplitSeries(series, first, middle, true, left);
    SplitSeries(series, middle, last, wantP, right);
    LocalInt tmp;
    MulAdd(out.t.get(), left.t.get(), right.q.get(), left.p.get(), right.t.get(), tmp.get());
    BigInt_Release(left.t.get());
    BigInt_Release(right.t.get());
    BigInt_Mul(out.q.get(), left.q.get(), right.q.get());
    BigInt_Release(left.q.get());
    BigInt_Release(right.q.get());
    if (wantP) BigInt_Mul(out.p.get(), left.p.get(), right.p.get());
}

// The integers of a range of the Brent-McMillan sums: with r_k the product
// of n^2/j^2 over the range's j up to k and h_k the sum of 1/j over them,
//   P = n^(2 len), Q = prod j^2, D = prod j,
//   T = Q sum r_k, C = D sum_j 1/j, V = D Q sum r_k h_k.
struct BesselRange {
    LocalInt p, q, t, d, c, v;
};

// One term at a time from the empty range (P = Q = D = 1, T = C = V = 0):
//   P' = P n^2, Q' = Q k^2, D' = D k,
//   T' = T k^2 + P', C' = C k + D, V' = V k^3 + P' C'.
// Writes out.
void DirectBessel(Limb nSquared, int64_t first, int64_t last, BesselRange &out) {
    BigInt *p = out.p.get(), *q = out.q.get(), *t = out.t.get();
    BigInt *d = out.d.get(), *c = out.c.get(), *v = out.v.get();
    LocalInt tmp;
    BigInt_SetSmall(p, 1);
    BigInt_SetSmall(q, 1);
    BigInt_SetSmall(d, 1);
    BigInt_SetZero(t);
    BigInt_SetZero(c);
    BigInt_SetZero(v);
    for (int64_t k = first; k < last; ++k) {
        Limb j = static_cast<Limb>(k), jSquared = j * j;
        MulWord(p, nSquared, tmp.get());
        MulWord(q, jSquared, tmp.get());
        MulWord(t, jSquared, tmp.get());
        BigInt_Add(t, t, p);
        MulWord(c, j, tmp.get());
        BigInt_Add(c, c, d);
        MulWord(d, j, tmp.get());
        MulWord(v, j, tmp.get());
        MulWord(v, jSquared, tmp.get());
        BigInt_Mul(tmp.get(), p, c);
        BigInt_Add(v, v, tmp.get());
    }
}

// The range [first, last) into out from its halves:
//   X = P1 T2,            T = T1 Q2 + X,
//   V = D2 (V1 Q2 + C1 X) + D1 (P1 V2),
//   C = C1 D2 + C2 D1,    D = D1 D2,    Q = Q1 Q2,    P = P1 P2,
// each half's integers freed after the last product that reads them.
// Writes out.
void SplitBessel(Limb nSquared, int64_t first, int64_t last, bool wantP, BesselRange &out) {
    if (last - first <= kDirectTerms) {
        DirectBessel(nSquared, first, last, out);
        if (!wantP) BigInt_Release(out.p.get());
        return;
    }
    int64_t middle = first + (last - first) / 2;
    BesselRange l, r;
    SplitBessel(nSquared, first, middle, true, l);
    SplitBessel(nSquared, middle, last, wantP, r);
    LocalInt x, y, z, tmp;
    BigInt_Mul(x.get(), l.p.get(), r.t.get());
    BigInt_Release(r.t.get());
    BigInt_Mul(out.t.get(), l.t.get(), r.q.get());
    BigInt_Release(l.t.get());
    BigInt_Add(out.t.get(), out.t.get(), x.get());
    MulAdd(y.get(), l.v.get(), r.q.get(), l.c.get(), x.get(), tmp.get());
    BigInt_Release(l.v.get());
    BigInt_Release(x.get());
    BigInt_Mul(z.get(), l.p.get(), r.v.get());
    BigInt_Release(r.v.get());
    MulAdd(out.v.get(), r.d.get(), y.get(), l.d.get(), z.get(), tmp.get());
    BigInt_Release(y.get());
    BigInt_Release(z.get());
    MulAdd(out.c.get(), l.c.get(), r.d.get(), r.c.get(), l.d.get(), tmp.get());
    BigInt_Release(l.c.get());
    BigInt_Release(r.c.get());
    BigInt_Mul(out.d.get(), l.d.get(), r.d.get());
    BigInt_Release(l.d.get());
    BigInt_Release(r.d.get());
    BigInt_Mul(out.q.get(), l.q.get(), r.q.get());
    BigInt_Release(l.q.get());
    BigInt_Release(r.q.get());
    if (wantP) BigInt_Mul(out.p.get(), l.p.get(), r.p.get());
}

}  // namespace

void BinarySplit_Series(const FactorSeries &series, int64_t first, int64_t last, bool wantP, BigInt *p, BigInt *q,
                        BigInt *t) {
    SeriesRange out;
    SplitSeries(series, first, last, wantP, out);
    // The old values go to the locals, which free them.
    if (wantP) std::swap(*p, *out.p.get());
    std::swap(*q, *out.q.get());
    std::swap(*t, *out.t.get());
}

void BinarySplit_BesselSums(uint64_t n, int64_t terms, BigInt *q, BigInt *t, BigInt *d, BigInt *v) {
    BesselRange out;
    SplitBessel(n * n, 1, terms + 1, false, out);
    std::swap(*q, *out.q.get());
    std::swap(*t, *out.t.get());
    std::swap(*d, *out.d.get());
    std::swap(*v, *out.v.get());
}
