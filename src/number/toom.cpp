// Toom-3 multiplication. The values at the points and the interpolation
// run in two's complement over a fixed width of 2m + 2 limbs (m the piece
// length): every intermediate value is below 2^(64(2m+1)) in magnitude, so
// the signed steps need no sign bookkeeping, and the divisions by 2 and 3
// are exact.
#include "number/toom.h"

#include <cstring>

namespace {

using u128 = unsigned __int128;

// x (n limbs, two's complement) /= 2, exactly.
void HalveSigned(Limb *x, int64_t n) {
    Limb sign = x[n - 1] >> 63;
    Limbs_ShiftRight(x, x, n * LIMB_BYTES, 1);
    x[n - 1] |= sign << 63;
}

// x (n limbs) /= 3 for x divisible by 3, modulo 2^(64n): limb by limb with
// the inverse of 3 modulo 2^64, so no division instruction is needed.
void DivideBy3(Limb *x, int64_t n) {
    const Limb inv3 = 0xAAAAAAAAAAAAAAABULL;
    Limb borrow = 0;
    for (int64_t i = 0; i < n; ++i) {
        Limb v = x[i], t = v - borrow;
        Limb q = t * inv3;
        x[i] = q;
        borrow = static_cast<Limb>((static_cast<u128>(q) * 3) >> 64) + (v < borrow);
    }
}

// The values of p = p0 + p1 X + p2 X^2 (pieces of m, m and n2 limbs) at
// 1, -1 and 2, each in m + 1 limbs: e1 = p(1), em1 = |p(-1)|, e2 = p(2).
// Returns the sign of p(-1).
int Evaluate(Limb *e1, Limb *em1, Limb *e2, const Limb *p, int64_t m, int64_t n2) {
    const Limb *p0 = p, *p1 = p + m, *p2 = p + 2 * m;
    const int64_t M = m * LIMB_BYTES, M1 = (m + 1) * LIMB_BYTES;
    e1[m] = Limbs_Add(e1, p0, M, p2, n2 * LIMB_BYTES);
    int sign = 1;
    if (Limbs_Compare(e1, M1, p1, M) >= 0) {
        Limbs_Sub(em1, e1, M1, p1, M);
    } else {
        Limbs_Sub(em1, p1, M, e1, M);  // e1 < p1 < 2^(64m): its top limb is 0
        em1[m] = 0;
        sign = -1;
    }
    e1[m] += Limbs_Add(e1, e1, M, p1, M);
    // e2 = 2 (2 p2 + p1) + p0.
    std::memcpy(e2, p2, n2 * LIMB_BYTES);
    std::memset(e2 + n2, 0, (m + 1 - n2) * LIMB_BYTES);
    Limbs_ShiftLeft(e2, e2, M1, 1);
    Limbs_Add(e2, e2, M1, p1, M);
    Limbs_ShiftLeft(e2, e2, M1, 1);
    Limbs_Add(e2, e2, M1, p0, M);
    return sign;
}

}  // namespace

void Toom3_Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch, Toom3_SubMul sub) {
    const int64_t m = Toom3_Piece(n), na2 = n - 2 * m, kb2 = k - 2 * m, L = 2 * m + 2, total = n + k;
    const int64_t LB = L * LIMB_BYTES;
    bool square = a == b && n == k;
    Limb *ea1 = scratch, *eam1 = ea1 + (m + 1), *ea2 = eam1 + (m + 1);
    Limb *eb1 = ea2 + (m + 1), *ebm1 = eb1 + (m + 1), *eb2 = ebm1 + (m + 1);
    Limb *w1 = eb2 + (m + 1), *wm1 = w1 + L, *w2 = wm1 + L, *deeper = w2 + L;

    int sign = Evaluate(ea1, eam1, ea2, a, m, na2);
    if (square) {
        eb1 = ea1;
        ebm1 = eam1;
        eb2 = ea2;
        sign = 1;  // a(-1)^2
    } else {
        sign *= Evaluate(eb1, ebm1, eb2, b, m, kb2);
    }
    sub(w1, ea1, m + 1, eb1, m + 1, deeper);
    sub(wm1, eam1, m + 1, ebm1, m + 1, deeper);
    if (sign < 0) Limbs_Negate(wm1, wm1, LB);
    sub(w2, ea2, m + 1, eb2, m + 1, deeper);
    // The products at 0 and infinity go straight to their places, c0 at
    // limb 0 and c4 at limb 4m; the gap between them is filled below.
    Limb *c0 = dst, *c4 = dst + 4 * m;
    const int64_t l4 = na2 + kb2;
    sub(c0, a, m, b, m, deeper);
    sub(c4, a + 2 * m, na2, b + 2 * m, kb2, deeper);

    // With W(x) = c0 + c1 x + c2 x^2 + c3 x^3 + c4 x^4:
    //   w1 + wm1 = 2 (c0 + c2 + c4), w1 - wm1 = 2 (c1 + c3),
    //   (w2 - c0) / 2 = c1 + 2 c2 + 4 c3 + 8 c4.
    Limbs_Add(w1, w1, LB, wm1, LB);
    Limbs_ShiftLeft(wm1, wm1, LB, 1);
    Limbs_Sub(wm1, w1, LB, wm1, LB);  // w1_old - wm1_old
    HalveSigned(wm1, L);              // c1 + c3
    HalveSigned(w1, L);
    Limbs_Sub(w1, w1, LB, c0, 2 * m * LIMB_BYTES);
    Limbs_Sub(w1, w1, LB, c4, l4 * LIMB_BYTES);  // c2
    Limbs_Sub(w2, w2, LB, c0, 2 * m * LIMB_BYTES);
    HalveSigned(w2, L);
    Limbs_Sub(w2, w2, LB, wm1, LB);  // 2 c2 + 3 c3 + 8 c4
    Limbs_Sub(w2, w2, LB, w1, LB);
    Limbs_Sub(w2, w2, LB, w1, LB);
    Limb *t = scratch;  // the evaluations are no longer needed
    t[l4] = Limbs_ShiftLeft(t, c4, l4 * LIMB_BYTES, 3);
    Limbs_Sub(w2, w2, LB, t, (l4 + 1) * LIMB_BYTES);
    DivideBy3(w2, L);                // c3
    Limbs_Sub(wm1, wm1, LB, w2, LB);  // c1

    // dst = c0 + c1 B^m + c2 B^2m + c3 B^3m + c4 B^4m. Each coefficient is
    // non-negative and fits below the product's top, so its limbs past the
    // top are zero and are left out.
    std::memset(dst + 2 * m, 0, 2 * m * LIMB_BYTES);
    const Limb *coef[3] = {wm1, w1, w2};
    for (int i = 0; i < 3; ++i) {
        int64_t at = (i + 1) * m, len = L < total - at ? L : total - at;
        Limbs_Add(dst + at, dst + at, (total - at) * LIMB_BYTES, coef[i], len * LIMB_BYTES);
    }
}
