// Shared pieces of the differential tests: conversion between BigInt records
// and GMP integers, an invariant check, and a seeded generator of operands
// in the shapes that break carry and division code.
#pragma once

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "number/bigint.h"
#include "number/integer.h"
#include "number/limbs.h"

namespace gmptest {

// Limb vectors, and their product by GMP whichever operand is longer.
using LimbVector = std::vector<Limb>;

inline int64_t Bytes(const LimbVector &v) { return static_cast<int64_t>(v.size()) * 8; }

inline LimbVector GmpMul(const LimbVector &a, const LimbVector &b) {
    LimbVector r(a.size() + b.size());
    const LimbVector &x = a.size() >= b.size() ? a : b, &y = a.size() >= b.size() ? b : a;
    mpn_mul(reinterpret_cast<mp_ptr>(r.data()), reinterpret_cast<mp_srcptr>(x.data()), x.size(),
            reinterpret_cast<mp_srcptr>(y.data()), y.size());
    return r;
}

// Checks Limbs_DivMod of a * 2^(64*shift) by b against mpn_tdiv_qr, with
// guard limbs after the quotient and the remainder; either output may be
// left out.
inline void CheckDivMod(const LimbVector &a, const LimbVector &b, int64_t shift, bool want_q, bool want_r) {
    int64_t A = static_cast<int64_t>(a.size()), B = static_cast<int64_t>(b.size()), qn = A + shift - B + 1;
    LimbVector q(qn + 1, 0x77), r(B + 1, 0x77);
    ASSERT_EQ(Limbs_DivMod(want_q ? q.data() : nullptr, a.data(), Bytes(a), b.data(), Bytes(b),
                           want_r ? r.data() : nullptr, shift * 8),
              1);
    ASSERT_EQ(q.back(), 0x77u) << "quotient overrun A=" << A << " B=" << B;
    ASSERT_EQ(r.back(), 0x77u) << "remainder overrun A=" << A << " B=" << B;

    LimbVector as(shift, 0);
    as.insert(as.end(), a.begin(), a.end());
    LimbVector gq(qn, 0), gr(B, 0);
    mpn_tdiv_qr(reinterpret_cast<mp_ptr>(gq.data()), reinterpret_cast<mp_ptr>(gr.data()), 0,
                reinterpret_cast<mp_srcptr>(as.data()), as.size(), reinterpret_cast<mp_srcptr>(b.data()), B);
    if (want_q) {
        ASSERT_EQ(LimbVector(q.begin(), q.end() - 1), gq) << "quotient A=" << A << " B=" << B << " shift=" << shift;
    }
    if (want_r) {
        ASSERT_EQ(LimbVector(r.begin(), r.end() - 1), gr) << "remainder A=" << A << " B=" << B << " shift=" << shift;
    }
}

// b * m + e for a small e >= -1, without the zero limbs on top.
inline LimbVector MulPlus(const LimbVector &b, const LimbVector &m, int64_t e) {
    LimbVector p = GmpMul(b, m);
    if (e < 0)
        Limbs_SubLimb(p.data(), p.data(), Bytes(p), 1);
    else
        Limbs_AddLimb(p.data(), p.data(), Bytes(p), static_cast<Limb>(e));
    while (p.size() > 1 && p.back() == 0) p.pop_back();
    return p;
}

// A GMP integer that frees itself.
struct Mpz {
    mpz_t z;
    Mpz() { mpz_init(z); }
    Mpz(const Mpz &) = delete;
    Mpz &operator=(const Mpz &) = delete;
    ~Mpz() { mpz_clear(z); }
    operator mpz_ptr() { return z; }
    operator mpz_srcptr() const { return z; }
};

// A pool record that returns itself to the pool.
struct Big {
    BigInt *p = BigInt_New();
    Big() = default;
    Big(const Big &) = delete;
    Big &operator=(const Big &) = delete;
    ~Big() { BigInt_Free(p); }
    BigInt *operator->() const { return p; }
    operator BigInt *() const { return p; }
};

// x = sign * magnitude, the limbs given least significant first.
inline void SetLimbs(BigInt *x, const std::vector<Limb> &mag, int sign) {
    size_t n = mag.empty() ? 1 : mag.size();
    x->limbs = static_cast<Limb *>(std::realloc(x->limbs, n * sizeof(Limb)));
    x->limbs[0] = 0;
    if (!mag.empty()) std::memcpy(x->limbs, mag.data(), mag.size() * sizeof(Limb));
    x->top = static_cast<int64_t>(n) - 1;
    x->size = static_cast<int64_t>(n) * 8;
    x->sign = sign;
    x->kind = IntRegular;
    BigInt_Normalize(x);
}

inline void ToMpz(mpz_ptr z, const BigInt *x) {
    mpz_import(z, static_cast<size_t>(x->top + 1), -1, sizeof(Limb), 0, 0, x->limbs);
    if (x->sign < 0) mpz_neg(z, z);
}

inline void FromMpz(BigInt *x, mpz_srcptr z) {
    std::vector<Limb> mag(mpz_sizeinbase(z, 2) / 64 + 1);
    size_t count = 0;
    mpz_export(mag.data(), &count, -1, sizeof(Limb), 0, 0, z);
    mag.resize(count);
    SetLimbs(x, mag, mpz_sgn(z));
}

inline std::string Hex(mpz_srcptr z) {
    char *s = mpz_get_str(nullptr, 16, z);
    std::string out(s);
    void (*freefunc)(void *, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(s, out.size() + 1);
    if (out.size() > 80) out = out.substr(0, 40) + "..." + out.substr(out.size() - 40);
    return out;
}

// Checks the normalisation invariants of a finite record and its value.
inline ::testing::AssertionResult Matches(const BigInt *x, mpz_srcptr want) {
    if (x->kind < 0) return ::testing::AssertionFailure() << "special kind " << x->kind << ", want " << Hex(want);
    if (x->size != (x->top + 1) * 8) return ::testing::AssertionFailure() << "size " << x->size << " top " << x->top;
    if (x->top > 0 && x->limbs[x->top] == 0) return ::testing::AssertionFailure() << "top limb is zero";
    bool zero = x->top == 0 && x->limbs[0] == 0, unit = x->top == 0 && x->limbs[0] == 1;
    int64_t kind = zero ? IntZero : unit ? IntUnit : IntRegular;
    if (x->kind != kind) return ::testing::AssertionFailure() << "kind " << x->kind << ", want " << kind;
    if (zero && x->sign != 0) return ::testing::AssertionFailure() << "zero with sign " << x->sign;
    Mpz got;
    ToMpz(got, x);
    if (mpz_cmp(got, want) != 0)
        return ::testing::AssertionFailure() << "got " << Hex(got) << "\n want " << Hex(want);
    return ::testing::AssertionSuccess();
}

// Operand shapes.
enum Shape {
    SHAPE_RANDOM,
    SHAPE_ALL_ONES,      // 2^(64k) - 1
    SHAPE_POWER_OF_TWO,
    SHAPE_RUNS,          // long runs of ones and zeros
    SHAPE_TOP_ONE,       // top limb 1
    SHAPE_TOP_MAX,       // top limb 2^64 - 1
    SHAPE_SPARSE,        // mostly zero limbs
    SHAPE_COUNT,
};

class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}

    Limb Word() { return rng_(); }
    int64_t Below(int64_t n) { return static_cast<int64_t>(rng_() % static_cast<uint64_t>(n)); }
    int64_t Between(int64_t lo, int64_t hi) { return lo + Below(hi - lo + 1); }
    int Sign() { return rng_() & 1 ? 1 : -1; }

    // A size from 0 to 3,000 limbs, mostly small, so that thousands of
    // pairs stay fast while every size class is reached.
    int64_t Size() {
        int64_t r = Below(100);
        if (r < 3) return 0;
        if (r < 70) return Between(1, 40);
        if (r < 93) return Between(41, 400);
        return Between(401, 3000);
    }

    Shape AnyShape() { return static_cast<Shape>(Below(SHAPE_COUNT)); }

    // n limbs of the given shape; the top limb is non-zero for n > 0.
    std::vector<Limb> Limbs(int64_t n, Shape shape) {
        std::vector<Limb> v(static_cast<size_t>(n));
        if (n == 0) return v;
        switch (shape) {
        case SHAPE_RANDOM:
        case SHAPE_TOP_ONE:
        case SHAPE_TOP_MAX:
            for (Limb &l : v) l = Word();
            break;
        case SHAPE_ALL_ONES:
            for (Limb &l : v) l = ~Limb(0);
            break;
        case SHAPE_POWER_OF_TWO:
            v[n - 1] = Limb(1) << Below(64);
            break;
        case SHAPE_RUNS: {
            int64_t bits = n * 64, i = 0;
            bool one = rng_() & 1;
            while (i < bits) {
                int64_t run = Between(1, 200);
                for (int64_t j = i; j < i + run && j < bits; ++j)
                    if (one) v[j / 64] |= Limb(1) << (j % 64);
                i += run;
                one = !one;
            }
            break;
        }
        case SHAPE_SPARSE:
            for (Limb &l : v)
                if (Below(8) == 0) l = Word();
            break;
        case SHAPE_COUNT:
            break;
        }
        if (shape == SHAPE_TOP_ONE) v[n - 1] = 1;
        if (shape == SHAPE_TOP_MAX) v[n - 1] = ~Limb(0);
        if (v[n - 1] == 0) v[n - 1] = Word() | 1;
        return v;
    }

    // A signed record of n limbs and the given shape.
    void Fill(BigInt *x, int64_t n, Shape shape) { SetLimbs(x, Limbs(n, shape), Sign()); }
    void Fill(BigInt *x) { Fill(x, Size(), AnyShape()); }

private:
    std::mt19937_64 rng_;
};

// z = the value of an Integer object of either subtype.
inline void ToMpz(mpz_ptr z, Object *o) {
    if (Object_Subtype(o) == SUB_SMALL)
        mpz_set_si(z, AsInteger(o)->small);
    else
        ToMpz(z, AsInteger(o)->big);
}

// The value put around destination and scratch arrays: a kernel that
// writes past its bounds changes it.
inline constexpr Limb kGuard = 0x5A5A5A5A5A5A5A5AULL;

// Divides by b, against GMP, a dividend at an end of the division's
// estimate: with m of qn limbs (all ones, every quotient limb at its
// largest, half the time), b m - 1, b m, b m + b - 1 or all ones over b's
// length plus qn; sometimes shifted by whole limbs, sometimes asking for one
// output alone.
inline void CheckAdversarialDivision(Gen &gen, const LimbVector &b, int64_t qn) {
    LimbVector m = gen.Limbs(qn, gen.Below(2) ? SHAPE_ALL_ONES : gen.AnyShape()), a;
    switch (gen.Below(4)) {
    case 0: a = MulPlus(b, m, -1); break;
    case 1: a = MulPlus(b, m, 0); break;
    case 2: {
        LimbVector bm1 = b;
        a = GmpMul(b, m);
        Limbs_SubLimb(bm1.data(), bm1.data(), Bytes(bm1), 1);
        Limbs_Add(a.data(), a.data(), Bytes(a), bm1.data(), Bytes(bm1));
        while (a.back() == 0) a.pop_back();
        break;
    }
    default: a = LimbVector(b.size() + size_t(qn), ~Limb(0)); break;
    }
    if (a.size() < b.size()) return;
    int64_t shift = gen.Below(4) == 0 ? gen.Between(1, 3) : 0;
    int which = static_cast<int>(gen.Below(4));
    CheckDivMod(a, b, shift, which != 1, which != 2);
}

// Divides operands of any shapes for each (divisor limbs, quotient limbs)
// pair against GMP, asking for both outputs; stops at the first failure.
inline void CheckDivModShapes(Gen &gen, const std::vector<std::pair<int64_t, int64_t>> &sizes) {
    for (auto [B, qn] : sizes) {
        LimbVector b = gen.Limbs(B, gen.AnyShape()), a = gen.Limbs(B + qn - 1, gen.AnyShape());
        CheckDivMod(a, b, 0, true, true);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace gmptest
