// Number theory built-ins.
//
// The exact functions work on BigInt records and build their large values
// by balanced products, so that their cost follows the cost of the
// multiplication of the largest operands:
//  - n! is the odd part of n! shifted by the power of two that n! holds,
//    n - popcount(n); the odd part comes from the prime swing, a squaring
//    of the odd part of (n/2)! and a product by the odd primes to the
//    exponents the swing gives them, gathered by a product tree;
//  - Binomial(n, k) is the product of the prime powers p^e that divide it,
//    with e counted by Legendre's formula, or for a small k the product of
//    the k top factors of n! divided by k!;
//  - F(n) comes from the doubling formulas on (F(k), F(k-1)), two
//    squarings per bit of n;
//  - B(2k) comes from the tangent numbers, which a recurrence of word
//    multiples and additions gives exactly, or for a large index from
//    2 (2k)! zeta(2k) / (2 pi)^2k computed until its error bound fixes the
//    integer B(2k) D, with the denominator D that von Staudt and Clausen's
//    theorem names.
// IsPrime is a deterministic strong-probable-prime test with fixed bases
// up to the ranges where those bases are proved to suffice, and the strong
// test to base 2 together with a strong Lucas test beyond.
//
// The numeric methods: Factorial of a machine real from the math library's
// gamma function; of an arbitrary-precision real from Stirling's series
// after shifting the argument up, with the series' remainder added to the
// error bound; of a machine complex number from Lanczos' approximation.
// Fibonacci of inexact numbers is Binet's formula, and Binomial of inexact
// or half-integer arguments the quotient of factorials, both built with the
// arithmetic so that the error bounds follow from it.
#include "number/number_theory.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/arith.h"
#include "eval/native_args.h"
#include "eval/power.h"
#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/bigfloat_functions.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/constants.h"
#include "number/elementary.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "number/real.h"
#include "number/rounding.h"
#include "object/expression.h"

namespace {

// ---- Records -----------------------------------------------------------------------

// The value of an Integer object as a record: the object's own record for
// a big integer, a local copy of a machine word. Borrows the object.
struct IntegerValue {
    LocalInt local;
    const BigInt *rec;
    explicit IntegerValue(Object *o) {
        if (Object_Subtype(o) == SUB_SMALL) {
            BigInt_SetSmall(local.get(), AsInteger(o)->small);
            rec = local.get();
        } else {
            rec = AsInteger(o)->big;
        }
    }
};

// A new Integer holding the value of r (which is left empty), normalised:
// an overflow record gives the Overflow message and value.
Object *IntegerOf(BigInt *r) {
    Object *o = Integer_FromBigInt();
    std::swap(*AsInteger(o)->big, *r);
    return Integer_Normalize(o);
}

// The Overflow value of an integer result, with its message, for results
// known to exceed the limb limit before any work. Returns a new reference.
Object *IntegerOverflow(int sign) {
    LocalInt r;
    BigInt_SetInfinite(r.get(), sign);
    return IntegerOf(r.get());
}

// Whether a result of about `bits` bits is beyond the limb limit.
bool BeyondLimit(double bits) { return bits > static_cast<double>(kernel.numbers.limbLimit) * LIMB_BITS; }

// ---- Product trees -------------------------------------------------------------------

// dst = the product of the words v[lo, hi), splitting the range in halves
// so that every product has operands of similar length.
void TreeProduct(BigInt *dst, const std::vector<Limb> &v, size_t lo, size_t hi) {
    if (hi - lo <= 8) {
        BigInt_SetSmall(dst, 1);
        for (size_t i = lo; i < hi && dst->kind >= IntZero; ++i) {
            WordInt w(v[i]);
            BigInt_Mul(dst, dst, &w.rec);
        }
        return;
    }
    size_t mid = lo + (hi - lo) / 2;
    LocalInt a, b;
    TreeProduct(a.get(), v, lo, mid);
    TreeProduct(b.get(), v, mid, hi);
    BigInt_Mul(dst, a.get(), b.get());
}

// Collects factors into words: each factor is multiplied into the current
// word while the product stays below 2^64, so the tree starts from full
// limbs.
class Packer {
public:
    void Add(Limb f) {
        unsigned __int128 p = static_cast<unsigned __int128>(word_) * f;
        if (p >> 64) {
            words_.push_back(word_);
            word_ = f;
        } else {
            word_ = static_cast<Limb>(p);
        }
    }
    // dst = the product of every factor added.
    void Product(BigInt *dst) {
        if (word_ != 1) words_.push_back(word_);
        word_ = 1;
        TreeProduct(dst, words_, 0, words_.size());
        words_.clear();
    }

private:
    std::vector<Limb> words_;
    Limb word_ = 1;
};

// dst = the product of the odd numbers in (lo, hi].
void OddProduct(BigInt *dst, uint64_t lo, uint64_t hi) {
    Packer packer;
    for (uint64_t j = (lo + 1) | 1; j <= hi; j += 2) packer.Add(j);
    packer.Product(dst);
}

// ---- Factorial, binomial, Fibonacci ----------------------------------------------------

// The primes up to n by the sieve of Eratosthenes over the odd numbers.
std::vector<uint64_t> PrimesUpTo(uint64_t n) {
    std::vector<uint64_t> primes;
    if (n < 2) return primes;
    primes.push_back(2);
    std::vector<bool> composite(n / 2 + 1);
    for (uint64_t i = 3; i <= n; i += 2) {
        if (composite[i / 2]) continue;
        primes.push_back(i);
        for (uint64_t j = i * i; j <= n; j += 2 * i) composite[j / 2] = true;
    }
    return primes;
}

// The exponent of the prime p in n! (Legendre's formula).
uint64_t PrimeExponent(uint64_t n, uint64_t p) {
    uint64_t e = 0;
    for (; n; n /= p) e += n / p;
    return e;
}

// The odd part of n! by the prime swing: n! = (n/2)!^2 S(n), where the
// swing S(n) holds each prime p <= n to the exponent sum over i >= 1 of
// floor(n/p^i) mod 2, so p^e <= n. Without the powers of two this gives
// O(n) = O(n/2)^2 S'(n): one squaring of half the result and a product by
// a number of about n bits per halving of n, instead of products of whole
// halves. primes lists the odd primes up to n.
void OddFactorial(BigInt *dst, uint64_t n, const std::vector<uint64_t> &primes) {
    if (n < 3) return BigInt_SetSmall(dst, 1);
    LocalInt half, swing;
    OddFactorial(half.get(), n / 2, primes);
    Packer packer;
    for (uint64_t p : primes) {
        if (p > n) break;
        uint64_t power = 1;
        for (uint64_t q = n / p; q; q /= p)
            if (q & 1) power *= p;
        if (power > 1) packer.Add(power);
    }
    packer.Product(swing.get());
    BigInt_Mul(dst, half.get(), half.get());
    BigInt_Mul(dst, dst, swing.get());
}

}  // namespace

void NumberTheory_Factorial(BigInt *dst, uint64_t n) {
    if (n < 2) return BigInt_SetSmall(dst, 1);
    if (BeyondLimit(std::lgamma(static_cast<double>(n) + 1) / std::log(2.0))) return BigInt_SetInfinite(dst, 1);
    std::vector<uint64_t> primes = PrimesUpTo(n);
    primes.erase(primes.begin());
    OddFactorial(dst, n, primes);
    BigInt_Shift(dst, dst, static_cast<int64_t>(n - static_cast<uint64_t>(__builtin_popcountll(n))));
}

void NumberTheory_Binomial(BigInt *dst, uint64_t n, uint64_t k) {
    if (k > n - k) k = n - k;
    if (k == 0) return BigInt_SetSmall(dst, 1);
    double bits = (std::lgamma(double(n) + 1) - std::lgamma(double(k) + 1) - std::lgamma(double(n - k) + 1)) / std::log(2.0);
    if (BeyondLimit(bits)) return BigInt_SetInfinite(dst, 1);
    Packer packer;
    // The sieve costs a pass over n; for a k that is small beside n the k
    // top factors of n! and the division by k! are cheaper.
    if (k < 64 || n / k > 64) {
        for (uint64_t i = 0; i < k; ++i) packer.Add(n - i);
        LocalInt denominator;
        packer.Product(dst);
        NumberTheory_Factorial(denominator.get(), k);
        BigInt_DivMod(dst, dst, denominator.get(), nullptr);
        return;
    }
    // The exponent of p in n!/(k!(n-k)!) is the number of carries when k
    // and n - k are added in base p; p^e never exceeds n.
    for (uint64_t p : PrimesUpTo(n)) {
        uint64_t e = PrimeExponent(n, p) - PrimeExponent(k, p) - PrimeExponent(n - k, p);
        for (uint64_t i = 0; i < e; ++i) packer.Add(p);
    }
    packer.Product(dst);
}

namespace {

// F(0) to F(92), the Fibonacci numbers that fit a signed word.
constexpr int kFibonacciTable = 93;
struct FibonacciTable {
    int64_t f[kFibonacciTable];
    constexpr FibonacciTable() : f() {
        f[1] = 1;
        for (int i = 2; i < kFibonacciTable; ++i) f[i] = f[i - 1] + f[i - 2];
    }
};
constexpr FibonacciTable kFibonacci;

// dst = a + v for a small signed v.
void AddSmall(BigInt *dst, const BigInt *a, int64_t v) {
    WordInt w(static_cast<Limb>(v < 0 ? -v : v));
    if (v < 0) BigInt_Sub(dst, a, &w.rec);
    else BigInt_Add(dst, a, &w.rec);
}

}  // namespace

// From (F(k), F(k-1)) with a = F(k)^2 and b = F(k-1)^2:
//   F(2k+1) = 4a - b + 2(-1)^k,  F(2k-1) = a + b,  F(2k) = F(2k+1) - F(2k-1),
// so each bit of n costs two squarings. The last step needs one number
// only and takes one product: F(2k) = F(k) (F(k) + 2F(k-1)) or
// F(2k+1) = (2F(k) + F(k-1)) (2F(k) - F(k-1)) + 2(-1)^k.
void NumberTheory_Fibonacci(BigInt *dst, uint64_t n) {
    if (n < kFibonacciTable) return BigInt_SetSmall(dst, kFibonacci.f[n]);
    if (BeyondLimit(static_cast<double>(n) * 0.6942419136306174)) return BigInt_SetInfinite(dst, 1);
    int shift = 0;
    while ((n >> shift) >= kFibonacciTable) ++shift;
    uint64_t k = n >> shift;
    LocalInt fk, fk1, a, b;
    BigInt_SetSmall(fk.get(), kFibonacci.f[k]);
    BigInt_SetSmall(fk1.get(), kFibonacci.f[k - 1]);
    for (int bit = shift - 1; bit >= 1; --bit) {
        int64_t twice = (k & 1) ? -2 : 2;
        BigInt_Mul(a.get(), fk.get(), fk.get());
        BigInt_Mul(b.get(), fk1.get(), fk1.get());
        // fk = F(2k+1), fk1 = F(2k-1).
        BigInt_Shift(fk.get(), a.get(), 2);
        BigInt_Sub(fk.get(), fk.get(), b.get());
        AddSmall(fk.get(), fk.get(), twice);
        BigInt_Add(fk1.get(), a.get(), b.get());
        if ((n >> bit) & 1) {
            // (F(2k+1), F(2k)).
            BigInt_Sub(fk1.get(), fk.get(), fk1.get());
            k = 2 * k + 1;
        } else {
            // (F(2k), F(2k-1)).
            BigInt_Sub(fk.get(), fk.get(), fk1.get());
            k = 2 * k;
        }
        if (fk.value.kind < 0 || fk1.value.kind < 0) return BigInt_SetInfinite(dst, 1);
    }
    if (n & 1) {
        BigInt_Shift(a.get(), fk.get(), 1);
        BigInt_Add(b.get(), a.get(), fk1.get());
        BigInt_Sub(a.get(), a.get(), fk1.get());
        BigInt_Mul(dst, a.get(), b.get());
        AddSmall(dst, dst, (k & 1) ? -2 : 2);
    } else {
        BigInt_Shift(a.get(), fk1.get(), 1);
        BigInt_Add(a.get(), a.get(), fk.get());
        BigInt_Mul(dst, fk.get(), a.get());
    }
}

// ---- Primality ---------------------------------------------------------------------------

namespace {

uint64_t MulMod(uint64_t a, uint64_t b, uint64_t n) {
    return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b % n);
}

// The strong test of an odd n > 2 to base a, with n - 1 = d 2^s.
bool StrongWord(uint64_t n, uint64_t a, uint64_t d, int s) {
    uint64_t x = 1, p = a % n;
    if (p == 0) return true;
    for (int bit = 63 - __builtin_clzll(d); bit >= 0; --bit) {
        x = MulMod(x, x, n);
        if ((d >> bit) & 1) x = MulMod(x, p, n);
    }
    if (x == 1 || x == n - 1) return true;
    for (int i = 1; i < s; ++i) {
        x = MulMod(x, x, n);
        if (x == n - 1) return true;
        if (x < 2) return false;
    }
    return false;
}

// The bases that decide primality below each bound.
struct BaseSet {
    uint64_t below;
    uint64_t bases[12];
};
const BaseSet kWordBases[] = {
    {2047ull, {2}},
    {1373653ull, {2, 3}},
    {9080191ull, {31, 73}},
    {25326001ull, {2, 3, 5}},
    {3215031751ull, {2, 3, 5, 7}},
    {4759123141ull, {2, 7, 61}},
    {1122004669633ull, {2, 13, 23, 1662803}},
    {2152302898747ull, {2, 3, 5, 7, 11}},
    {3474749660383ull, {2, 3, 5, 7, 11, 13}},
    {341550071728321ull, {2, 3, 5, 7, 11, 13, 17}},
    {3825123056546413051ull, {2, 3, 5, 7, 11, 13, 17, 19, 23}},
    {~0ull, {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}},
};

const uint64_t kSmallPrimes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41};

}  // namespace

bool NumberTheory_IsPrimeWord(uint64_t n) {
    if (n < 20) return n == 2 || n == 3 || n == 5 || n == 7 || n == 11 || n == 13 || n == 17 || n == 19;
    for (int i = 0; i < 8; ++i)
        if (n % kSmallPrimes[i] == 0) return false;
    uint64_t d = n - 1;
    int s = __builtin_ctzll(d);
    d >>= s;
    for (const BaseSet &set : kWordBases) {
        if (n >= set.below) continue;
        for (uint64_t a : set.bases) {
            if (a == 0) break;
            if (!StrongWord(n, a, d, s)) return false;
        }
        return true;
    }
    return true;
}

namespace {

// x mod m for a record x >= 0 and a word m.
uint64_t ModWord(const BigInt *x, uint64_t m) {
    unsigned __int128 r = 0;
    for (int64_t i = x->top; i >= 0; --i) r = ((r << 64) | x->limbs[i]) % m;
    return static_cast<uint64_t>(r);
}

// Reduces x into [0, n).
void Reduce(BigInt *x, const BigInt *n, BigInt *work) {
    BigInt_DivMod(work, x, n, x);
    if (x->sign < 0) BigInt_Add(x, x, n);
}

// The strong test of an odd n > 2^64 to base a, with n - 1 = d 2^s.
bool StrongBig(const BigInt *n, uint64_t a, const BigInt *nMinus1, const BigInt *d, int64_t s) {
    WordInt base(a);
    LocalInt x, two, work;
    BigInt_SetSmall(two.get(), 2);
    BigInt_PowerMod(x.get(), &base.rec, d, n);
    if (x.value.kind == IntUnit || BigInt_Compare(x.get(), nMinus1, false) == 0) return true;
    for (int64_t i = 1; i < s; ++i) {
        BigInt_Mul(work.get(), x.get(), x.get());
        Reduce(work.get(), n, x.get());
        std::swap(x.value, work.value);
        if (BigInt_Compare(x.get(), nMinus1, false) == 0) return true;
        if (x.value.kind <= IntUnit) return false;
    }
    return false;
}

// The Jacobi symbol (a/m) for an odd m > 0.
int JacobiWord(uint64_t a, uint64_t m) {
    int t = 1;
    a %= m;
    while (a != 0) {
        while ((a & 1) == 0) {
            a >>= 1;
            if ((m & 7) == 3 || (m & 7) == 5) t = -t;
        }
        std::swap(a, m);
        if ((a & 3) == 3 && (m & 3) == 3) t = -t;
        a %= m;
    }
    return m == 1 ? t : 0;
}

// The Jacobi symbol (D/n) for a small D and an odd n > 2^64, by
// reciprocity: (D/n) = (-1/n)^[D < 0] (n mod |D| / |D|) with the sign
// change for |D| = 3 mod 4 and n = 3 mod 4.
int JacobiBig(int64_t D, const BigInt *n) {
    uint64_t a = static_cast<uint64_t>(D < 0 ? -D : D);
    int t = 1;
    uint64_t n4 = n->limbs[0] & 3;
    if (D < 0 && n4 == 3) t = -t;
    if ((a & 3) == 3 && n4 == 3) t = -t;
    return t * JacobiWord(ModWord(n, a), a);
}

// The strong Lucas test of an odd n > 2^64 that is not a square, with the
// parameters P = 1 and Q = (1 - D)/4 for the first D of 5, -7, 9, -11, ...
// with (D/n) = -1: n + 1 = d 2^s, and n passes when U(d) = 0 or V(d 2^r) = 0
// (mod n) for some r < s.
bool StrongLucas(const BigInt *n) {
    int64_t D = 5;
    for (;;) {
        int j = JacobiBig(D, n);
        if (j == -1) break;
        // (D/n) = 0 with |D| < n: D and n share a factor.
        if (j == 0) return false;
        D = D > 0 ? -(D + 2) : -D + 2;
        if (D == 13) {
            // A square never gives -1; look before going on.
            LocalInt root, rem;
            BigInt_Root(root.get(), rem.get(), n, 2);
            if (rem.value.kind == IntZero) return false;
        }
    }
    int64_t Q = (1 - D) / 4;
    LocalInt d, u, v, qk, t, work, dd, qq;
    BigInt_SetSmall(d.get(), 1);
    BigInt_Add(d.get(), n, d.get());
    int64_t s = 0;
    while (!Limbs_TestBit(d.value.limbs, s)) ++s;
    BigInt_Shift(d.get(), d.get(), -s);
    BigInt_SetSmall(dd.get(), D);
    BigInt_SetSmall(qq.get(), Q);
    Reduce(qq.get(), n, work.get());
    // U(1) = 1, V(1) = P = 1, Q^1.
    BigInt_SetSmall(u.get(), 1);
    BigInt_SetSmall(v.get(), 1);
    BigInt_Copy(qk.get(), qq.get());
    // x/2 mod n: n is odd, so an odd x becomes even by adding n.
    auto halve = [&](BigInt *x) {
        if (x->kind != IntZero && (x->limbs[0] & 1)) BigInt_Add(x, x, n);
        BigInt_Shift(x, x, -1);
    };
    for (int64_t bit = BigInt_BitLength(d.get()) - 2; bit >= 0; --bit) {
        // U(2k) = U(k) V(k), V(2k) = V(k)^2 - 2 Q^k, Q^2k.
        BigInt_Mul(t.get(), u.get(), v.get());
        Reduce(t.get(), n, work.get());
        std::swap(u.value, t.value);
        BigInt_Mul(t.get(), v.get(), v.get());
        BigInt_Sub(t.get(), t.get(), qk.get());
        BigInt_Sub(t.get(), t.get(), qk.get());
        Reduce(t.get(), n, work.get());
        std::swap(v.value, t.value);
        BigInt_Mul(t.get(), qk.get(), qk.get());
        Reduce(t.get(), n, work.get());
        std::swap(qk.value, t.value);
        if (Limbs_TestBit(d.value.limbs, bit)) {
            // U(k+1) = (U(k) + V(k))/2, V(k+1) = (D U(k) + V(k))/2.
            BigInt_Add(t.get(), u.get(), v.get());
            Reduce(t.get(), n, work.get());
            halve(t.get());
            BigInt_Mul(work.get(), dd.get(), u.get());
            BigInt_Add(v.get(), v.get(), work.get());
            Reduce(v.get(), n, work.get());
            halve(v.get());
            std::swap(u.value, t.value);
            BigInt_Mul(t.get(), qk.get(), qq.get());
            Reduce(t.get(), n, work.get());
            std::swap(qk.value, t.value);
        }
        if (u.value.kind < 0 || v.value.kind < 0 || qk.value.kind < 0) return false;
    }
    if (u.value.kind == IntZero || v.value.kind == IntZero) return true;
    for (int64_t r = 1; r < s; ++r) {
        // V(2k) = V(k)^2 - 2 Q^k.
        BigInt_Mul(t.get(), v.get(), v.get());
        BigInt_Sub(t.get(), t.get(), qk.get());
        BigInt_Sub(t.get(), t.get(), qk.get());
        Reduce(t.get(), n, work.get());
        std::swap(v.value, t.value);
        if (v.value.kind == IntZero) return true;
        BigInt_Mul(t.get(), qk.get(), qk.get());
        Reduce(t.get(), n, work.get());
        std::swap(qk.value, t.value);
    }
    return false;
}

// 318665857834031151167461 and 3317044064679887385961981: below them the
// first 12 and the first 13 primes as bases decide primality.
const Limb kTwelveBasesBelow[] = {0xe92817f9fc85b7e5ull, 0x437aull};
const Limb kThirteenBasesBelow[] = {0x51adc5b22410a5fdull, 0x2be69ull};

// The odd primes below 64, and their product, for trial division.
constexpr uint64_t kTrialProduct = 3ull * 5 * 7 * 11 * 13 * 17 * 19 * 23 * 29 * 31 * 37 * 41 * 43 * 47;

}  // namespace

bool NumberTheory_IsPrime(const BigInt *n) {
    if (n->kind < 0 || n->kind == IntZero || n->kind == IntUnit) return false;
    if (n->top == 0) return NumberTheory_IsPrimeWord(n->limbs[0]);
    if ((n->limbs[0] & 1) == 0) return false;
    // n > 2^64 has no small prime as a factor.
    uint64_t r = ModWord(n, kTrialProduct);
    for (uint64_t p : {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47})
        if (r % p == 0) return false;
    LocalInt magnitude, nMinus1, d;
    BigInt_Abs(magnitude.get(), n);
    n = magnitude.get();
    BigInt_SetSmall(nMinus1.get(), 1);
    BigInt_Sub(nMinus1.get(), n, nMinus1.get());
    int64_t s = 0;
    while (!Limbs_TestBit(nMinus1.value.limbs, s)) ++s;
    BigInt_Shift(d.get(), nMinus1.get(), -s);
    auto below = [n](const Limb (&bound)[2]) { return Limbs_Compare(n->limbs, n->size, bound, 2 * LIMB_BYTES) < 0; };
    if (below(kThirteenBasesBelow)) {
        size_t count = below(kTwelveBasesBelow) ? 12 : 13;
        for (size_t i = 0; i < count; ++i)
            if (!StrongBig(n, kSmallPrimes[i], nMinus1.get(), d.get(), s)) return false;
        return true;
    }
    return StrongBig(n, 2, nMinus1.get(), d.get(), s) && StrongLucas(n);
}

// ---- Bernoulli numbers ---------------------------------------------------------------------

namespace {

// B(2k) for 2k < 35 and for 2k = 38: numerator and denominator.
const int64_t kBernoulliTable[][2] = {
    {1, 6}, {-1, 30}, {1, 42}, {-1, 30}, {5, 66}, {-691, 2730}, {7, 6}, {-3617, 510}, {43867, 798},
    {-174611, 330}, {854513, 138}, {-236364091, 2730}, {8553103, 6}, {-23749461029, 870},
    {8615841276005, 14322}, {-7709321041217, 510}, {2577687858367, 6},
};
constexpr int64_t kBernoulli38[2] = {2929993913841559, 6};

// The tangent numbers T(1) .. T(count) (T(k) is the (2k-1)-th derivative of
// tan at 0), by the recurrence of Brent and Harvey: T(k) = (k-1) T(k-1),
// then for each k the pass T(j) = (j-k) T(j-1) + (j-k+2) T(j), j >= k,
// which uses word multiples and additions only. Each number gets a fixed
// row of limbs, long enough for T(count) < (2 count)!, with a margin; ok() is false
// when the table does not fit in memory. Row j holds T(j + 1).
class TangentNumbers {
public:
    explicit TangentNumbers(int64_t count) {
        double bits = std::lgamma(2.0 * double(count) + 1) / std::log(2.0) + 2;
        width_ = static_cast<int64_t>(bits / LIMB_BITS) + 8;
        if (BeyondLimit(bits) || double(width_) * double(count + 1) > double(int64_t(1) << 28)) return;
        table_ = static_cast<Limb *>(std::calloc(size_t((count + 1) * width_), LIMB_BYTES));
        if (!table_) return;
        std::vector<int64_t> used(size_t(count), 1);
        Row(0)[0] = 1;
        for (int64_t k = 1; k < count; ++k) {
            Limb carry = Limbs_MulLimb(Row(k), Row(k - 1), used[k - 1] * LIMB_BYTES, Limb(k));
            Row(k)[used[k - 1]] = carry;
            used[k] = used[k - 1] + (carry != 0);
        }
        Limb *tmp = Row(count);
        for (int64_t k = 1; k < count; ++k) {
            for (int64_t j = k; j < count; ++j) {
                // Rows are zero above their used limbs, so both products run
                // over the longer length.
                int64_t n = std::max(used[j], used[j - 1]);
                Limb c1 = Limbs_MulLimb(tmp, Row(j - 1), n * LIMB_BYTES, Limb(j - k));
                Limb c2 = Limbs_MulLimb(Row(j), Row(j), n * LIMB_BYTES, Limb(j - k + 2));
                Limb c3 = Limbs_Add(Row(j), Row(j), n * LIMB_BYTES, tmp, n * LIMB_BYTES);
                Limb top = c1 + c2 + c3;
                Row(j)[n] = top;
                used[j] = top ? n + 1 : n;
            }
        }
        used_ = std::move(used);
    }
    TangentNumbers(const TangentNumbers &) = delete;
    TangentNumbers &operator=(const TangentNumbers &) = delete;
    ~TangentNumbers() { std::free(table_); }

    bool ok() const { return table_ != nullptr; }
    // T(k) into dst, for 1 <= k <= count.
    void Get(BigInt *dst, int64_t k) const {
        // A record of exactly n limbs (2^(64(n-1))) to copy the row into.
        int64_t n = used_[k - 1];
        BigInt_SetSmall(dst, 1);
        BigInt_Shift(dst, dst, (n - 1) * LIMB_BITS);
        if (dst->kind < 0) return;
        std::memcpy(dst->limbs, table_ + (k - 1) * width_, n * LIMB_BYTES);
        BigInt_Normalize(dst);
    }

private:
    Limb *Row(int64_t j) { return table_ + j * width_; }
    int64_t width_ = 0;
    Limb *table_ = nullptr;
    std::vector<int64_t> used_;
};

// The denominator of B(2k) by von Staudt and Clausen: the product of the
// primes p with p - 1 dividing 2k.
void BernoulliDenominator(BigInt *dst, uint64_t k) {
    uint64_t n = 2 * k;
    Packer packer;
    for (uint64_t d = 1; d * d <= n; ++d) {
        if (n % d) continue;
        if (NumberTheory_IsPrimeWord(d + 1)) packer.Add(d + 1);
        uint64_t e = n / d;
        if (e != d && NumberTheory_IsPrimeWord(e + 1)) packer.Add(e + 1);
    }
    packer.Product(dst);
}

// B(2k) = (-1)^(k-1) 2k T(k) / (4^k (4^k - 1)), as a Rational with the
// denominator D of von Staudt and Clausen: the numerator is the exact
// quotient 2k T(k) D / (4^k (4^k - 1)). Returns a new reference.
Object *BernoulliFromTangent(const TangentNumbers &t, int64_t k) {
    LocalInt num, den, q;
    t.Get(num.get(), k);
    BernoulliDenominator(den.get(), uint64_t(k));
    WordInt twice(Limb(2 * k));
    BigInt_Mul(num.get(), num.get(), &twice.rec);
    BigInt_Mul(num.get(), num.get(), den.get());
    BigInt_Shift(num.get(), num.get(), -2 * k);
    BigInt_SetSmall(q.get(), 1);
    BigInt_Shift(q.get(), q.get(), 2 * k);
    AddSmall(q.get(), q.get(), -1);
    BigInt_DivMod(num.get(), num.get(), q.get(), nullptr);
    if (k % 2 == 0) BigInt_Negate(num.get());
    return Rational_Make(IntegerOf(num.get()), IntegerOf(den.get()));
}

// Above this index one Bernoulli number comes from the zeta function,
// whose cost grows like the square of the index; the tangent numbers cost
// the cube.
constexpr uint64_t kBernoulliByZeta = 400;

// B(2k) D for the denominator D of von Staudt and Clausen, as a rounded
// value: |B(2k)| = 2 (2k)! zeta(2k) / (2 pi)^2k with zeta(2k) summed to the
// M-th term, M^(1 - 2k)/(2k - 1) bounding the rest; the result is taken
// when its error bound is below 1/2, so its rounding is the exact integer,
// and the precision is raised until it is. Returns a new reference (the
// Integer numerator), or null when the precision cannot be reached.
Object *BernoulliByZeta(uint64_t k, const BigInt *denominator) {
    double twoK = 2.0 * double(k);
    double magnitude = (std::log(2.0) + std::lgamma(twoK + 1) - twoK * std::log(2 * M_PI)) / std::log(2.0) +
                       double(BigInt_BitLength(denominator));
    LocalInt factorial;
    NumberTheory_Factorial(factorial.get(), 2 * k);
    BigInt_Mul(factorial.get(), factorial.get(), denominator);
    for (double bits = magnitude + 64; bits < magnitude * 4 + 1024; bits *= 1.5) {
        // Terms m^-2k for m up to M stop mattering at 2^-bits.
        auto terms = static_cast<int64_t>(std::exp2((bits + 8) / (twoK - 1))) + 1;
        LocalFloat zeta, term, power, pi, value;
        BigFloat_SetSmall(zeta.get(), 1);
        for (int64_t m = 2; m <= terms; ++m) {
            BigFloat_SetSmall(power.get(), m);
            BigFloat_PowerSmall(power.get(), power.get(), int64_t(2 * k));
            BigFloat_SetPrecision(power.get(), bits + 16, 2);
            BigFloat_SetSmall(term.get(), 1);
            BigFloat_Div(term.get(), term.get(), power.get());
            BigFloat_Add(zeta.get(), zeta.get(), term.get());
        }
        BigFloat_AddError(zeta.get(), (1 - twoK) * std::log2(double(terms)) - std::log2(twoK - 1));
        Constant_Pi(pi.get(), bits + 32);
        BigFloat_Scale(pi.get(), 1);
        BigFloat_PowerSmall(pi.get(), pi.get(), int64_t(2 * k));
        BigFloat_FromBigInt(value.get(), factorial.get());
        BigFloat_Scale(value.get(), 1);
        BigFloat_Mul(value.get(), value.get(), zeta.get());
        BigFloat_Div(value.get(), value.get(), pi.get());
        if (!BigFloat_IsFinite(value.get()) || value->accuracy < 2) continue;
        Ref real(Real_FromBigFloat(value.get()));
        Object *n = Round_Number(real.get(), ROUND_NEAREST);
        return k % 2 ? n : Integer_Negate(n);
    }
    return nullptr;
}

// B(n) for n >= 0. Returns a new reference.
Object *Bernoulli(uint64_t n) {
    if (n == 1) return Rational_Make(Integer_FromSmall(-1), Integer_FromSmall(2));
    if (n == 0) return Integer_FromSmall(1);
    if (n % 2) return Integer_FromSmall(0);
    if (n < 35) return Rational_Make(Integer_FromSmall(kBernoulliTable[n / 2 - 1][0]), Integer_FromSmall(kBernoulliTable[n / 2 - 1][1]));
    if (n == 38) return Rational_Make(Integer_FromSmall(kBernoulli38[0]), Integer_FromSmall(kBernoulli38[1]));
    auto k = static_cast<int64_t>(n / 2);
    if (n > kBernoulliByZeta) {
        if (BeyondLimit(double(n) * std::log2(double(n)))) return IntegerOverflow(k % 2 ? 1 : -1);
        LocalInt denominator;
        BernoulliDenominator(denominator.get(), uint64_t(k));
        Object *numerator = BernoulliByZeta(uint64_t(k), denominator.get());
        if (!numerator) return IntegerOverflow(k % 2 ? 1 : -1);
        return Rational_Make(numerator, IntegerOf(denominator.get()));
    }
    TangentNumbers t(k);
    if (!t.ok()) return IntegerOverflow(k % 2 ? 1 : -1);
    return BernoulliFromTangent(t, k);
}

}  // namespace

// ---- The built-ins ---------------------------------------------------------------------------

namespace {

// New references to common values.
Object *Int(int64_t v) { return Integer_FromSmall(v); }
Object *Indeterminate() { return Builtin(SYM_Indeterminate); }
Object *ComplexInfinity() { return Object_AddRef(kernel.constants.complexInfinity); }
Object *True() { return Builtin(SYM_True); }
Object *False() { return Builtin(SYM_False); }

bool IsSymbol(Object *o, BuiltinSymbol s) { return o == BuiltinBorrowed(s); }
bool IsSmall(Object *o) { return Object_IsInteger(o) && Object_Subtype(o) == SUB_SMALL; }
bool IsExact(Object *o) { return Object_IsInteger(o) || Object_IsRational(o); }
// A Rational with denominator 2. Borrows o.
bool IsHalfInteger(Object *o) { return Object_IsRational(o) && Integer_Is(AsRational(o)->denominator, 2); }
bool IsSaturatedReal(Object *o) {
    return Object_IsReal(o) && (Object_Subtype(o) == SUB_OVERFLOW || Object_Subtype(o) == SUB_UNDERFLOW);
}

// f(x) for the built-in f, evaluated. Consumes x.
Object *Apply(BuiltinSymbol f, Object *x) { return Object_Evaluate(Expression_New(Builtin(f), x)); }

// The limit of Factorial and Fibonacci along an infinity: Infinity along
// Infinity, Indeterminate along any other direction; null when x is not an
// infinity with a numeric direction. Borrows x.
Object *AtInfinity(Object *x) {
    int re = 0, im = 0;
    switch (Infinity_Classify(x, &re, &im)) {
    case 0: case 8: return nullptr;
    case 1: return re > 0 ? Object_AddRef(kernel.constants.infinity) : Indeterminate();
    default: return Indeterminate();
    }
}

// A native of one argument from the function giving its value (null when
// the call stays unevaluated). Consumes the call.
template <Object *(*Value)(Object *)>
Object *OneArgument(Object *call) {
    Object *r = Value(Expression_At(call, 1));
    return r ? Object_ReleaseReturn(call, r) : call;
}

// ---- Factorial of inexact numbers

// The number of bits of precision of a Real. Borrows x.
double PrecisionBits(Object *x) { return Object_Precision(x) * LOG2_10; }

// An upper bound on log2 |B(2k)| / (2k (2k - 1)) w^(1 - 2k), the k-th term
// of Stirling's series at w, from |B(2k)| = 2 (2k)! zeta(2k) / (2 pi)^2k
// with zeta(2k) <= zeta(2) < 1.65, plus a bit for the rounding of the
// doubles.
double StirlingTermBits(int64_t k, double w) {
    double twoK = 2.0 * double(k);
    double lnB = std::log(2 * 1.65) + std::lgamma(twoK + 1) - twoK * std::log(2 * M_PI);
    double ln = lnB - std::log(twoK * (twoK - 1)) - (twoK - 1) * std::log(w);
    return ln / std::log(2.0) + 1;
}

// x! for an arbitrary-precision Real x, as Gamma(x + 1). For x >= 0 the
// argument z = x + 1 is shifted up to w = z + m with w past about 0.11 bits
// of precision, where Stirling's series for log Gamma(w),
//   (w - 1/2) log w - w + log(2 pi)/2 + sum B(2k) / (2k (2k-1) w^(2k-1)),
// reaches the precision before its terms start to grow; for a real w > 0
// the remainder is below the first term left out, which is added to the
// error bound. Then Gamma(z) = Gamma(w) / (z (z+1) ... (w-1)). A negative x
// goes through the reflection x! (-x)! = pi x / sin(pi x). The number
// arithmetic carries x's own error through every step. Consumes x.
Object *StirlingFactorial(Object *x) {
    Ref owned(x);
    if (Number_Sign(x) < 0) {
        Ref nearest(Round_Number(x, ROUND_NEAREST));
        if (!nearest) return Indeterminate();
        Ref offset(Number_Add(Object_AddRef(x), Number_Negate(Object_AddRef(nearest.get()))));
        if (Number_IsZero(offset.get())) return ComplexInfinity();
        Ref pi(Arith_Absorb(x, Builtin(SYM_Pi)));
        if (!pi) return Indeterminate();
        Ref px(Number_Multiply(pi.release(), Object_AddRef(x)));
        Ref sine(Apply(SYM_Sin, Object_AddRef(px.get())));
        Ref reflected(StirlingFactorial(Number_Negate(Object_AddRef(x))));
        if (!Number_Is(sine.get()) || !Number_Is(reflected.get())) return Indeterminate();
        Object *denominator = Number_Multiply(sine.release(), reflected.release());
        return Number_Multiply(px.release(), Arith_PowerPair(denominator, Int(-1), 0));
    }
    double target = PrecisionBits(x) + 8;
    double xd = Number_ToDouble(x);
    if (!std::isfinite(target) || !std::isfinite(xd)) return Indeterminate();
    double shiftTo = 0.12 * target + 4;
    auto m = static_cast<int64_t>(xd + 1 < shiftTo ? std::ceil(shiftTo - xd - 1) : 0);
    double wd = xd + 1 + double(m);
    Ref z(Number_Add(Object_AddRef(x), Int(1)));
    Ref product(Int(1));
    for (int64_t i = 0; i < m; ++i) product.reset(Number_Multiply(product.release(), Number_Add(Object_AddRef(z.get()), Int(i))));
    Ref w(Number_Add(z.release(), Int(m)));

    // The terms kept: up to the first one below the target, or the
    // smallest one when the series turns first.
    int64_t terms = 1;
    while (StirlingTermBits(terms + 1, wd) > -target && StirlingTermBits(terms + 1, wd) < StirlingTermBits(terms, wd))
        ++terms;
    double remainderBits = StirlingTermBits(terms + 1, wd);
    TangentNumbers tangents(terms);
    if (!tangents.ok()) return Indeterminate();

    Ref pi(Arith_Absorb(w.get(), Builtin(SYM_Pi)));
    if (!pi) return Indeterminate();
    Ref halfLog2Pi(Number_Multiply(Rational_Make(Int(1), Int(2)), Elementary_Log(Number_Multiply(Int(2), pi.release()))));
    Ref logW(Elementary_Log(Object_AddRef(w.get())));
    Ref sum(Number_Multiply(Number_Add(Object_AddRef(w.get()), Rational_Make(Int(-1), Int(2))), logW.release()));
    sum.reset(Number_Add(sum.release(), Number_Negate(Object_AddRef(w.get()))));
    sum.reset(Number_Add(sum.release(), halfLog2Pi.release()));
    Ref inverse(Arith_PowerPair(Object_AddRef(w.get()), Int(-1), 0));
    Ref inverse2(Number_Multiply(Object_AddRef(inverse.get()), Object_AddRef(inverse.get())));
    Ref power(inverse.release());
    for (int64_t k = 1; k <= terms; ++k) {
        Object *c = Number_Multiply(BernoulliFromTangent(tangents, k), Rational_Make(Int(1), Int(2 * k * (2 * k - 1))));
        sum.reset(Number_Add(sum.release(), Number_Multiply(c, Object_AddRef(power.get()))));
        power.reset(Number_Multiply(power.release(), Object_AddRef(inverse2.get())));
    }
    if (!Real_IsBig(sum.get())) return Indeterminate();
    Object *lnGamma = Object_MakeUnique(sum.release());
    BigFloat_AddError(AsReal(lnGamma)->big, remainderBits);
    Object *gamma = Elementary_Exp(lnGamma);
    return Number_Multiply(gamma, Arith_PowerPair(product.release(), Int(-1), 0));
}

// x! for a machine real from the gamma function of the math library; a
// value beyond the double range continues in arbitrary precision at the
// argument's 53 bits. Consumes x.
Object *MachineFactorial(Object *x) {
    double v = AsReal(x)->value;
    if (v < 0 && v == std::floor(v)) return Object_ReleaseReturn(x, ComplexInfinity());
    double r = std::tgamma(v + 1);
    if (std::isnormal(r)) return Object_ReleaseReturn(x, Real_FromDouble(r));
    if (std::isnan(v)) return Object_ReleaseReturn(x, Indeterminate());
    LocalFloat b;
    BigFloat_FromDouble(b.get(), v);
    Object_Release(x);
    return StirlingFactorial(Real_FromBigFloat(b.get()));
}

using C = std::complex<double>;

// log Gamma(z) for Re z >= 1/2 by Lanczos' approximation with g = 7 and
// nine coefficients, relative error near 1e-15.
C LogGamma(C z) {
    static constexpr double kLanczos[] = {
        0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
        771.32342877765313,   -176.61502916214059,   12.507343278686905,
        -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7,
    };
    z -= 1.0;
    C sum = kLanczos[0];
    for (int i = 1; i < 9; ++i) sum += kLanczos[i] / (z + double(i));
    C t = z + 7.5;
    return 0.5 * std::log(2 * M_PI) + (z + 0.5) * std::log(t) - t + std::log(sum);
}

// z! for a complex number with a machine part: Gamma(z + 1), by the
// reflection Gamma(s) Gamma(1 - s) = pi / sin(pi s) left of Re s = 1/2, and
// taken through the logarithm so that large values do not overflow on the
// way. Borrows z.
Object *ComplexFactorial(Object *z) {
    C s(Number_ToDouble(AsComplex(z)->re) + 1, Number_ToDouble(AsComplex(z)->im));
    C logGamma;
    if (s.real() < 0.5) {
        C sine = std::sin(M_PI * s);
        if (sine == 0.0) return ComplexInfinity();
        logGamma = std::log(M_PI) - std::log(sine) - LogGamma(1.0 - s);
    } else {
        logGamma = LogGamma(s);
    }
    C g = std::exp(logGamma);
    if (std::isnan(g.real()) || std::isnan(g.imag())) return Indeterminate();
    if (std::isinf(g.real()) || std::isinf(g.imag())) return Complex_NewSaturated(SUB_OVERFLOW);
    return Complex_Make(Real_FromDouble(g.real()), Real_FromDouble(g.imag()));
}

// (p/2)! for an odd p: a rational multiple of sqrt(pi), from (-1/2)! =
// sqrt(pi) and x! = x (x-1)!: for p > 0 it is p!!/2^((p+1)/2), for p < 0
// (-2)^c/(|p| - 2)!! with c = (|p| - 1)/2. Returns a new reference.
Object *HalfIntegerFactorial(int64_t p) {
    LocalInt odd;
    Object *c;
    if (p > 0) {
        OddProduct(odd.get(), 0, uint64_t(p));
        c = Rational_Make(IntegerOf(odd.get()), Integer_Power(Int(2), Int((p + 1) / 2)));
    } else {
        int64_t count = (-p - 1) / 2;
        OddProduct(odd.get(), 0, uint64_t(-p - 2 < 0 ? 0 : -p - 2));
        Object *power = Integer_Power(Int(2), Int(count));
        if (count % 2) power = Integer_Negate(power);
        c = Rational_Make(power, IntegerOf(odd.get()));
    }
    return Arith_Times(c, Arith_Power(Builtin(SYM_Pi), Rational_Make(Int(1), Int(2))));
}

// Half-integers up to this numerator are expanded; beyond, the call stays.
constexpr int64_t kHalfIntegerLimit = int64_t(1) << 26;

// x! for any argument; null when the call stays unevaluated. Borrows x.
Object *FactorialValue(Object *x) {
    if (IsSymbol(x, SYM_Indeterminate)) return Indeterminate();
    if (Object_IsInteger(x)) {
        if (!IsSmall(x)) return Object_Sign(x) < 0 ? ComplexInfinity() : IntegerOverflow(1);
        int64_t n = AsInteger(x)->small;
        if (n < 0) return ComplexInfinity();
        if (n <= 20) {
            int64_t r = 1;
            for (int64_t i = 2; i <= n; ++i) r *= i;
            return Int(r);
        }
        LocalInt r;
        NumberTheory_Factorial(r.get(), uint64_t(n));
        return IntegerOf(r.get());
    }
    if (Object_IsReal(x)) {
        if (IsSaturatedReal(x)) {
            bool positive = Object_Sign(x) > 0;
            if (Object_Subtype(x) == SUB_UNDERFLOW) return Real_FromDouble(1.0);
            return positive ? Object_AddRef(x) : Indeterminate();
        }
        if (Real_IsMachine(x)) return MachineFactorial(Object_AddRef(x));
        return StirlingFactorial(Object_AddRef(x));
    }
    if (Object_IsRational(x)) {
        if (!IsHalfInteger(x) || !IsSmall(AsRational(x)->numerator)) return nullptr;
        int64_t p = AsInteger(AsRational(x)->numerator)->small;
        return p > -kHalfIntegerLimit && p < kHalfIntegerLimit ? HalfIntegerFactorial(p) : nullptr;
    }
    if (Object_IsComplex(x)) {
        if (Object_Subtype(x) != SUB_PLAIN) return Indeterminate();
        Object *re = AsComplex(x)->re, *im = AsComplex(x)->im;
        bool machine = (Object_IsReal(re) && Real_IsMachine(re)) || (Object_IsReal(im) && Real_IsMachine(im));
        return machine ? ComplexFactorial(x) : nullptr;
    }
    return AtInfinity(x);
}

// ---- Fibonacci

// F(x) for an inexact x by Binet's formula, (phi^x - cos(pi x) phi^-x) /
// sqrt 5, through the arithmetic builders, which evaluate the constants at
// x's precision. Borrows x.
Object *BinetFibonacci(Object *x) {
    Object *up = Arith_Power(Builtin(SYM_GoldenRatio), Object_AddRef(x));
    Object *down = Arith_Power(Builtin(SYM_GoldenRatio), Arith_Times(Int(-1), Object_AddRef(x)));
    Object *cosine = Apply(SYM_Cos, Arith_Times(Builtin(SYM_Pi), Object_AddRef(x)));
    Object *difference = Arith_Plus(up, Arith_Times(Int(-1), Arith_Times(cosine, down)));
    return Arith_Times(difference, Arith_Power(Int(5), Rational_Make(Int(-1), Int(2))));
}

// F(x) for any argument; null when the call stays unevaluated. Borrows x.
Object *FibonacciValue(Object *x) {
    if (IsSymbol(x, SYM_Indeterminate)) return Indeterminate();
    if (Object_IsInteger(x)) {
        bool negative = Object_Sign(x) < 0;
        if (!IsSmall(x)) {
            // F(-n) = -F(n) for even n.
            bool even = (AsInteger(x)->big->limbs[0] & 1) == 0;
            return IntegerOverflow(negative && even ? -1 : 1);
        }
        int64_t v = AsInteger(x)->small;
        uint64_t n = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        bool flip = negative && n % 2 == 0;
        if (n < uint64_t(kFibonacciTable)) return Int(flip ? -kFibonacci.f[n] : kFibonacci.f[n]);
        LocalInt r;
        NumberTheory_Fibonacci(r.get(), n);
        if (flip) BigInt_Negate(r.get());
        return IntegerOf(r.get());
    }
    if (Number_IsInexact(x)) return BinetFibonacci(x);
    return AtInfinity(x);
}

// ---- Binomial

// dst = the product of n - i for lo <= i < hi, by halves.
void FallingProduct(BigInt *dst, const BigInt *n, uint64_t lo, uint64_t hi) {
    if (hi - lo == 1) {
        WordInt i(lo);
        return BigInt_Sub(dst, n, &i.rec);
    }
    uint64_t mid = lo + (hi - lo) / 2;
    LocalInt a, b;
    FallingProduct(a.get(), n, lo, mid);
    FallingProduct(b.get(), n, mid, hi);
    BigInt_Mul(dst, a.get(), b.get());
}

// Binomial(n, k) for Integers of which one at least is big: with k' =
// n - k when n < 2k and k otherwise, 0 for k' < 0, else the k' top factors
// of n! divided by k'!. Borrows both.
Object *BigBinomial(Object *n, Object *k) {
    Ref twiceK(Integer_Multiply(Int(2), Object_AddRef(k)));
    Ref excess(Integer_Add(Object_AddRef(n), Integer_Negate(twiceK.release())));
    Ref kk(Object_Sign(excess.get()) < 0 ? Integer_Add(Object_AddRef(n), Integer_Negate(Object_AddRef(k)))
                                         : Object_AddRef(k));
    if (!Object_IsInteger(kk.get())) return kk.release();
    if (Object_Sign(kk.get()) < 0) return Int(0);
    if (!IsSmall(kk.get())) return IntegerOverflow(1);
    auto count = static_cast<uint64_t>(AsInteger(kk.get())->small);
    if (count == 0) return Int(1);
    IntegerValue top(n);
    if (BeyondLimit(double(count) * double(BigInt_BitLength(top.rec) - 1))) return IntegerOverflow(1);
    LocalInt numerator, denominator;
    FallingProduct(numerator.get(), top.rec, 0, count);
    NumberTheory_Factorial(denominator.get(), count);
    BigInt_DivMod(numerator.get(), numerator.get(), denominator.get(), nullptr);
    return IntegerOf(numerator.get());
}

// Binomial(n, k) = n! / (k! (n - k)!) built with the arithmetic. Borrows
// both.
Object *FactorialQuotient(Object *n, Object *k) {
    Object *difference = Arith_Plus(Object_AddRef(n), Arith_Times(Int(-1), Object_AddRef(k)));
    Object *below = Arith_Times(Apply(SYM_Factorial, Object_AddRef(k)), Apply(SYM_Factorial, difference));
    return Arith_Times(Apply(SYM_Factorial, Object_AddRef(n)), Arith_Power(below, Int(-1)));
}

// Binomial(n, k) for any arguments; null when the call stays unevaluated.
// Borrows both.
Object *BinomialValue(Object *n, Object *k) {
    if (Integer_Is(k, 0)) return Int(1);
    if (Integer_Is(k, 1)) return Object_AddRef(n);
    bool integers = Object_IsInteger(n) && Object_IsInteger(k);
    if (integers && IsSmall(n) && IsSmall(k)) {
        int64_t nv = AsInteger(n)->small, kv = AsInteger(k)->small;
        __int128 kk = __int128(nv) < 2 * __int128(kv) ? __int128(nv) - kv : kv;
        if (kk < 0) return Int(0);
        if (nv <= 60) {
            // Each step r (n - i + 1) / i is the binomial (n choose i).
            int64_t r = 1;
            for (int64_t i = 1; i <= int64_t(kk); ++i) r = r * (nv - i + 1) / i;
            return Int(r);
        }
        LocalInt r;
        NumberTheory_Binomial(r.get(), uint64_t(nv), uint64_t(kk));
        return IntegerOf(r.get());
    }
    bool inexact = Number_IsInexact(n) || Number_IsInexact(k);
    bool halves = (IsHalfInteger(k) && (Object_IsInteger(n) || IsHalfInteger(n))) ||
                  (IsHalfInteger(n) && Object_IsInteger(k));
    if ((inexact && Number_Is(n) && Number_Is(k)) || halves) return FactorialQuotient(n, k);
    if (Object_Same(n, k)) return Int(1);
    if (integers) return BigBinomial(n, k);
    return nullptr;
}

// The natives below each consume the call and return the result.
Object *Builtin_Binomial(Object *call) {
    Object *r = BinomialValue(Expression_At(call, 1), Expression_At(call, 2));
    return r ? Object_ReleaseReturn(call, r) : call;
}

// ---- Bernoulli, parity, primality

// An index beyond a word is beyond the limb limit too.
Object *Builtin_Bernoulli(Object *call) {
    Object *n = Expression_At(call, 1);
    if (Object_Sign(n) < 0) return call;
    if (!IsSmall(n)) return Object_ReleaseReturn(call, IntegerOverflow(1));
    return Object_ReleaseReturn(call, Bernoulli(uint64_t(AsInteger(n)->small)));
}

// The lowest bit of an Integer. Borrows x.
bool IsOddInteger(Object *x) {
    if (IsSmall(x)) return AsInteger(x)->small & 1;
    return AsInteger(x)->big->limbs[0] & 1;
}

Object *Builtin_IsEven(Object *call) {
    Object *x = Expression_At(call, 1);
    return Object_ReleaseReturn(call, Object_IsInteger(x) && !IsOddInteger(x) ? True() : False());
}

Object *Builtin_IsOdd(Object *call) {
    Object *x = Expression_At(call, 1);
    return Object_ReleaseReturn(call, Object_IsInteger(x) && IsOddInteger(x) ? True() : False());
}

Object *Builtin_IsPrime(Object *call) {
    Object *x = Expression_At(call, 1);
    bool prime = false;
    if (IsSmall(x)) {
        int64_t v = AsInteger(x)->small;
        prime = NumberTheory_IsPrimeWord(v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
    } else if (Object_IsInteger(x)) {
        prime = NumberTheory_IsPrime(AsInteger(x)->big);
    }
    return Object_ReleaseReturn(call, prime ? True() : False());
}

// ---- GreatestCommonDivisor

// |q| for an Integer or Rational. Consumes q.
Object *Magnitude(Object *q) { return Object_Sign(q) < 0 ? Rational_Negate(q) : q; }

// gcd(a, b) for Integers and Rationals: the gcd of the numerators over the
// least common multiple of the denominators, which is the largest rational
// of which both are integer multiples. Consumes both.
Object *RationalGcd(Object *a, Object *b) {
    if (Object_IsInteger(a) && Object_IsInteger(b)) return Integer_Gcd(a, b);
    Ref x(a), y(b);
    auto numerator = [](Object *q) { return Object_AddRef(Object_IsRational(q) ? AsRational(q)->numerator : q); };
    auto denominator = [](Object *q) { return Object_IsRational(q) ? Object_AddRef(AsRational(q)->denominator) : Int(1); };
    Object *g = Integer_Gcd(numerator(a), numerator(b));
    Object *da = denominator(a), *db = denominator(b);
    Object *common = Integer_Gcd(Object_AddRef(da), Object_AddRef(db));
    Object *lcm = Integer_Multiply(Integer_DivMod(da, common, nullptr), db);
    return Rational_Make(g, lcm);
}

// GCD(a, b, ...): the Integers and Rationals among the arguments are
// reduced pairwise; other arguments stay beside their gcd.
Object *Builtin_Gcd(Object *call) {
    int64_t n = Expression_Length(call);
    Ref g;
    int64_t numbers = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(call, i);
        if (!IsExact(a)) continue;
        g.reset(g ? RationalGcd(g.release(), Object_AddRef(a)) : Magnitude(Object_AddRef(a)));
        ++numbers;
    }
    if (numbers == n) return Object_ReleaseReturn(call, g ? g.release() : Int(0));
    if (numbers < 2) return call;
    Object *r = Expression_NewSized(Object_AddRef(Expression_At(call, 0)), n - numbers + 1);
    AsExpression(r)->elements[1] = g.release();
    for (int64_t i = 1, j = 2; i <= n; ++i)
        if (!IsExact(Expression_At(call, i))) AsExpression(r)->elements[j++] = Object_AddRef(Expression_At(call, i));
    Object_Release(call);
    return Object_Evaluate(r);
}

const NativeRow kNatives[] = {
    {SYM_Bernoulli, {u"Bernoulli(\?Integer)"}, Builtin_Bernoulli},
    {SYM_Binomial, {u"Binomial(\?, \?)"}, Builtin_Binomial},
    {SYM_Factorial, {u"Factorial(\?)"}, OneArgument<FactorialValue>},
    {SYM_Fibonacci, {u"Fibonacci(\?)"}, OneArgument<FibonacciValue>},
    {SYM_GreatestCommonDivisor, {u"GreatestCommonDivisor(\?\?\?)"}, Builtin_Gcd},
    {SYM_GCD, {u"GCD(\?\?\?)"}, Builtin_Gcd},
    {SYM_IsEven, {u"IsEven(\?)"}, Builtin_IsEven},
    {SYM_IsOdd, {u"IsOdd(\?)"}, Builtin_IsOdd},
    {SYM_IsPrime, {u"IsPrime(\?)"}, Builtin_IsPrime},
};

}  // namespace

extern const NativeTable NumberTheoryNatives = Table_Of(kNatives);
