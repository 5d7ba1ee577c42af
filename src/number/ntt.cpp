// Number-theoretic transform products. Residues are kept "lazily" in
// [0, 2p) between steps and multiplied in Montgomery form, which needs no
// division anywhere: with p < 2^62, a Montgomery product of anything below
// 4p by anything below p (or of two values below 2p) lands in (0, 2p)
// without a final correction, so the butterflies fold at most one
// conditional subtraction each.
//
// The forward transform is decimation in frequency (natural order in,
// bit-reversed order out) and the inverse is decimation in time
// (bit-reversed in, natural out), so no permutation pass is ever made. Both
// recurse on halves once a block is large, so that all levels below the
// block size run inside the cache.
#include "number/ntt.h"

#include <cstring>

namespace {

using u128 = unsigned __int128;

// p = k * 2^40 + 1 with a primitive root g. 2^40 bounds the transform
// length, hence the product length.
struct Prime {
    Limb p, g;
};
constexpr Prime kPrimes[3] = {
    {0x3fffc00000000001ULL, 11},
    {0x3fffbe0000000001ULL, 3},
    {0x3fff840000000001ULL, 19},
};

// Transform blocks of up to this many residues (32 KiB) run all their
// levels in one sweep.
constexpr int64_t kBlock = 4096;

// Arithmetic modulo one prime. R = 2^64.
struct Mod {
    Limb p, p2;    // p and 2p
    Limb pinv;     // p^-1 mod 2^64
    Limb r2;       // R^2 mod p

    explicit Mod(Limb prime) : p(prime), p2(2 * prime) {
        Limb x = p;  // correct to 3 bits for odd p; each step doubles that
        for (int i = 0; i < 5; ++i) x *= 2 - p * x;
        pinv = x;
        Limb r = static_cast<Limb>((static_cast<u128>(1) << 64) % p);
        r2 = static_cast<Limb>(static_cast<u128>(r) * r % p);
    }
    // a * b / R mod p, in (0, 2p); requires a * b < p * 2^64.
    [[gnu::always_inline]] Limb Mul(Limb a, Limb b) const {
        u128 t = static_cast<u128>(a) * b;
        Limb m = static_cast<Limb>(t) * pinv;
        Limb hi = static_cast<Limb>(t >> 64), mh = static_cast<Limb>((static_cast<u128>(m) * p) >> 64);
        return hi - mh + p;
    }
    // The reductions are written without branches: on transform data the
    // comparison is a coin toss, and a mispredicted branch per butterfly
    // costs more than the butterfly. x - bound wraps around, setting the
    // top bit, exactly when x < bound (both are below 2^63 apart).
    [[gnu::always_inline]] static Limb Below(Limb x, Limb bound) {
        Limb t = x - bound;
        return t + (bound & (0 - (t >> 63)));
    }
    [[gnu::always_inline]] Limb Reduce2p(Limb x) const { return Below(x, p2); }
    // a - b mod q for a, b < q < 2^63, also without a branch.
    [[gnu::always_inline]] static Limb SubMod(Limb a, Limb b, Limb q) { return Below(a - b + q, q); }
    [[gnu::always_inline]] Limb Full(Limb x) const { return Below(x, p); }  // [0, 2p) to [0, p)
    // x * R mod p for x < p: the Montgomery form of x, fully reduced.
    Limb ToMont(Limb x) const { return Full(Mul(x, r2)); }
    // x * y mod p for fully reduced x, y in plain form.
    Limb MulPlain(Limb x, Limb y) const { return Full(Mul(Full(Mul(x, y)), r2)); }
    // The companion of a fixed factor w < p for Shoup's product:
    // floor(w * 2^64 / p), from w * R mod p by one exact division by p.
    Limb Companion(Limb w) const { return (0 - ToMont(w)) * pinv; }
    // x * w mod p in [0, 2p) for any x, with wq = Companion(w): the
    // quotient estimate from the companion is at most one short.
    [[gnu::always_inline]] Limb MulFixed(Limb x, Limb w, Limb wq) const {
        Limb q = static_cast<Limb>((static_cast<u128>(x) * wq) >> 64);
        return x * w - q * p;
    }
    Limb Pow(Limb x, Limb e) const {
        Limb r = 1;
        for (; e; e >>= 1, x = MulPlain(x, x))
            if (e & 1) r = MulPlain(r, x);
        return r;
    }
};

// Fills t[h + j] = w^j mod p and tq[h + j] its companion for every level
// h = 1, 2, ..., n/2 and j < h, where w is the primitive 2h-th root of
// unity (or its inverse): the twiddles of one level sit together, in the
// order the butterflies read them.
void Twiddles(Limb *t, Limb *tq, int64_t n, const Mod &m, Limb root) {
    int64_t h = n / 2;
    Limb rq = m.Companion(root), x = 1;
    for (int64_t j = 0; j < h; ++j) {
        t[h + j] = x;
        tq[h + j] = m.Companion(x);
        x = m.Full(m.MulFixed(x, root, rq));
    }
    for (h /= 2; h >= 1; h /= 2)
        for (int64_t j = 0; j < h; ++j) {
            t[h + j] = t[2 * h + 2 * j];
            tq[h + j] = tq[2 * h + 2 * j];
        }
}

// The level of blocks of 2 in either direction: its twiddles are all 1
// and need no product.
inline void UnitLevel(Limb *a, int64_t n, const Mod m) {
    for (int64_t s = 0; s < n; s += 2) {
        Limb u = a[s], v = a[s + 1];
        a[s] = m.Reduce2p(u + v);
        a[s + 1] = m.Reduce2p(u - v + m.p2);
    }
}

// One level of the forward transform over a[0..n) in blocks of 2h.
inline void ForwardLevel(Limb *a, int64_t n, int64_t h, const Limb *t, const Limb *tq, const Mod m) {
    if (h == 1) return UnitLevel(a, n, m);
    const Limb *w = t + h, *wq = tq + h;
    for (int64_t s = 0; s < n; s += 2 * h) {
        Limb *x = a + s, *y = a + s + h;
        for (int64_t j = 0; j < h; ++j) {
            Limb u = x[j], v = y[j];
            x[j] = m.Reduce2p(u + v);
            y[j] = m.MulFixed(u - v + m.p2, w[j], wq[j]);
        }
    }
}

// One level of the inverse transform, on the forward transform's
// twiddles: the inverse root's powers are w^-j = w^(2h-j) = -w^(h-j) for
// the primitive 2h-th root w, so the level reads its table backwards and
// swaps the sum and the difference of each butterfly (j = 0, where the
// twiddle is 1, keeps them).
inline void InverseLevel(Limb *a, int64_t n, int64_t h, const Limb *t, const Limb *tq, const Mod m) {
    if (h == 1) return UnitLevel(a, n, m);
    const Limb *w = t + 2 * h, *wq = tq + 2 * h;  // w[-j] = w^(h-j)
    for (int64_t s = 0; s < n; s += 2 * h) {
        Limb *x = a + s, *y = a + s + h;
        Limb u = x[0], v = y[0];
        x[0] = m.Reduce2p(u + v);
        y[0] = m.Reduce2p(u - v + m.p2);
        for (int64_t j = 1; j < h; ++j) {
            u = x[j];
            v = m.MulFixed(y[j], w[-j], wq[-j]);
            x[j] = m.Reduce2p(u - v + m.p2);
            y[j] = m.Reduce2p(u + v);
        }
    }
}

void Forward(Limb *a, int64_t n, const Limb *t, const Limb *tq, const Mod &m) {
    if (n <= kBlock) {
        for (int64_t h = n / 2; h >= 1; h /= 2) ForwardLevel(a, n, h, t, tq, m);
        return;
    }
    ForwardLevel(a, n, n / 2, t, tq, m);
    Forward(a, n / 2, t, tq, m);
    Forward(a + n / 2, n / 2, t, tq, m);
}

void Inverse(Limb *a, int64_t n, const Limb *t, const Limb *tq, const Mod &m) {
    if (n <= kBlock) {
        for (int64_t h = 1; h < n; h *= 2) InverseLevel(a, n, h, t, tq, m);
        return;
    }
    Inverse(a, n / 2, t, tq, m);
    Inverse(a + n / 2, n / 2, t, tq, m);
    InverseLevel(a, n, n / 2, t, tq, m);
}

// f[0..len) = src folded into [0, 2p), f[len..n) = 0. 4p < 2^64 for these
// primes, so two conditional subtractions cover every limb.
void Load(Limb *f, int64_t n, const Limb *src, int64_t len, const Mod &m) {
    Limb p4 = 2 * m.p2;
    for (int64_t i = 0; i < len; ++i) {
        Limb v = src[i];
        v = v >= p4 ? v - p4 : v;
        f[i] = m.Reduce2p(v);
    }
    std::memset(f + len, 0, (n - len) * LIMB_BYTES);
}

// The product's residues modulo one prime, fully reduced, in r[0..n);
// f, t and tq are n limbs each of work space.
void Convolve(Limb *r, Limb *f, Limb *t, Limb *tq, int64_t n, int lg, const Limb *a, int64_t an, const Limb *b,
              int64_t bn, bool square, const Prime &prime) {
    Mod m(prime.p);
    Limb w = m.Pow(prime.g, (prime.p - 1) >> lg);
    Twiddles(t, tq, n, m, w);
    Load(r, n, a, an, m);
    Forward(r, n, t, tq, m);
    if (square) {
        for (int64_t i = 0; i < n; ++i) r[i] = m.Mul(r[i], r[i]);
    } else {
        Load(f, n, b, bn, m);
        Forward(f, n, t, tq, m);
        for (int64_t i = 0; i < n; ++i) r[i] = m.Mul(r[i], f[i]);
    }
    // Each pointwise product carries a stray 1/R; the scale n^-1 * R
    // removes it along with the transform's factor n.
    Inverse(r, n, t, tq, m);
    Limb scale = m.Full(m.Mul(m.Pow(static_cast<Limb>(n), prime.p - 2), m.r2)), sq = m.Companion(scale);
    for (int64_t i = 0; i < n; ++i) r[i] = m.Full(m.MulFixed(r[i], scale, sq));
}

}  // namespace

namespace {

// The transform length's logarithm for a product of total limbs, which has
// total - 1 columns.
int TransformLog(int64_t total) {
    int lg = 1;
    while ((int64_t(1) << lg) < total - 1) ++lg;
    return lg;
}

}  // namespace

int64_t Ntt_Length(int64_t total) { return int64_t(1) << TransformLog(total); }

namespace {

// The exact column sums of a convolution from their residues r[0..2)[i]
// (the column sums are below 2^168, far under the primes' product), carried
// into limbs: dst[0..count) receives the low limbs of the sum over the
// count columns, and the two limbs still pending above it are returned in
// carry[0..2).
void Rebuild(Limb *dst, Limb *const r[3], int64_t count, Limb carry[2]) {
    // Garner: x = x0 + p0 * (u1 + p1 * u2), with u1 < p1 and u2 < p2, is
    // the column sum itself. The constants are in Montgomery form, so one
    // Montgomery product multiplies by them in plain form.
    Mod m1(kPrimes[1].p), m2(kPrimes[2].p);
    const Limb p0 = kPrimes[0].p, p1 = kPrimes[1].p, p2 = kPrimes[2].p;
    Limb inv01 = m1.ToMont(m1.Pow(p0 % p1, p1 - 2));
    Limb p0m2 = m2.ToMont(p0 % p2);  // p0 mod p2, as a factor
    Limb inv012 = m2.ToMont(m2.Pow(m2.MulPlain(p0 % p2, p1 % p2), p2 - 2));
    const u128 p01 = static_cast<u128>(p0) * p1;
    const Limb p01lo = static_cast<Limb>(p01), p01hi = static_cast<Limb>(p01 >> 64);

    // The column sums overlap by two limbs; c0 and c1 carry what is
    // pending for limbs i and i + 1.
    Limb c0 = 0, c1 = 0;
    for (int64_t i = 0; i < count; ++i) {
        Limb x0 = r[0][i], x1 = r[1][i], x2 = r[2][i];
        Limb y0 = x0 >= p1 ? x0 - p1 : x0;  // x0 mod p1 (p0 < 2 p1)
        Limb u1 = m1.Full(m1.Mul(Mod::SubMod(x1, y0, p1), inv01));
        Limb z0 = x0 >= p2 ? x0 - p2 : x0;  // x0 mod p2
        Limb d2 = Mod::SubMod(x2, z0, p2);
        Limb e = m2.Full(m2.Mul(Mod::Below(u1, p2), p0m2));
        d2 = Mod::SubMod(d2, e, p2);
        Limb u2 = m2.Full(m2.Mul(d2, inv012));
        // x = x0 + p0 * u1 + p01 * u2, three limbs.
        u128 s = static_cast<u128>(p0) * u1 + x0;
        u128 lo = static_cast<u128>(p01lo) * u2;
        u128 hi = static_cast<u128>(p01hi) * u2;
        u128 w0 = static_cast<u128>(static_cast<Limb>(s)) + static_cast<Limb>(lo) + c0;
        u128 w1 = (s >> 64) + (lo >> 64) + static_cast<Limb>(hi) + c1 + (w0 >> 64);
        dst[i] = static_cast<Limb>(w0);
        c0 = static_cast<Limb>(w1);
        c1 = static_cast<Limb>((hi >> 64) + (w1 >> 64));
    }
    carry[0] = c0;
    carry[1] = c1;
}

// The residues of the cyclic convolution of a (n limbs) and b (k limbs)
// of length 2^lg, n, k <= 2^lg, in work as Ntt_Mul lays it out.
void ConvolveAll(Limb *const r[3], Limb *work, int64_t len, int lg, const Limb *a, int64_t n, const Limb *b,
                 int64_t k) {
    bool square = a == b && n == k;
    // f, t and tq: a transform and the twiddles, reused prime after prime.
    Limb *f = work + 3 * len, *t = work + 4 * len, *tq = work + 5 * len;
    for (int i = 0; i < 3; ++i) Convolve(r[i], f, t, tq, len, lg, a, n, b, k, square, kPrimes[i]);
}

}  // namespace

void Ntt_Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *work) {
    int64_t total = n + k;
    int lg = TransformLog(total);
    int64_t len = int64_t(1) << lg;
    Limb *r[3] = {work, work + len, work + 2 * len};
    ConvolveAll(r, work, len, lg, a, n, b, k);
    // There are total - 1 columns, and the top limb is the last carry.
    Limb carry[2];
    Rebuild(dst, r, total - 1, carry);
    dst[total - 1] = carry[0];
}

int64_t Ntt_WrapLength(int64_t limbs) {
    int64_t len = 2;
    while (len < limbs) len *= 2;
    return len;
}

void Ntt_MulWrapped(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, int64_t len, Limb *work) {
    int lg = 1;
    while ((int64_t(1) << lg) < len) ++lg;
    Limb *r[3] = {work, work + len, work + 2 * len};
    ConvolveAll(r, work, len, lg, a, n, b, k);
    // The cyclic convolution's columns are the product's columns folded
    // modulo len, since B^len = 1 here: so are the carries out of the top,
    // which go back in at the bottom. The two pending limbs (below 2^128
    // together with what they carry into) come in first; a carry out of
    // that pass is a single 1, and a third pass can only start on a dst of
    // all zeros, where it stops at once.
    Limb carry[2];
    Rebuild(dst, r, len, carry);
    Limb c = Limbs_Add(dst, dst, len * LIMB_BYTES, carry, 2 * LIMB_BYTES);
    while (c) c = Limbs_AddLimb(dst, dst, len * LIMB_BYTES, c);
}
