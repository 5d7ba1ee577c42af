// The elementary kernels against MPFR on seeded random arguments of 53 to
// 4,000 bits: near the reduction boundaries (multiples of pi/2, 1 +- tiny
// for the inverse functions), at huge and tiny magnitudes, and with low
// accuracy. For each result:
// - honesty: f at the argument's stored value, and f at both ends of the
//   argument's error interval, lie within the claimed bound;
// - tightness: the claimed bound is at most 2^8 times the error the
//   argument forces, max |f(x +- dx) - f(x)| plus |f(x)| 2^-p for the
//   argument's precision p.
#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kernel/state.h"
#include "number/bigfloat_functions.h"
#include "mpfr_support.h"
#include "vorlan.h"

namespace {

using mpfr_support::Mpfr;
using mpfr_support::ToMpfr;

// b = v exactly, then given `bits` bits of precision.
void FromMpfr(BigFloat *b, mpfr_ptr v, double bits) {
    mpz_t z;
    mpz_init(z);
    long e = mpfr_get_z_2exp(z, v);
    // Align the binary exponent to a limb boundary.
    long shift = ((e % 64) + 64) % 64;
    mpz_mul_2exp(z, z, static_cast<unsigned long>(shift));
    e -= shift;
    size_t count = 0;
    std::vector<Limb> limbs((mpz_sizeinbase(z, 2) + 63) / 64 + 1);
    mpz_export(limbs.data(), &count, -1, sizeof(Limb), 0, 0, z);
    BigFloat_Release(b);
    b->limbs = static_cast<Limb *>(std::malloc(std::max<size_t>(count, 1) * sizeof(Limb)));
    std::copy(limbs.begin(), limbs.begin() + static_cast<long>(std::max<size_t>(count, 1)), b->limbs);
    b->top = static_cast<int64_t>(std::max<size_t>(count, 1)) - 1;
    b->size = (b->top + 1) * 8;
    b->exponent = e / 64;
    b->sign = mpz_sgn(z) < 0 ? -1 : 1;
    b->kind = FloatRegular;
    b->accuracy = INFINITY;
    BigFloat_Normalize(b);
    mpz_clear(z);
    BigFloat_SetPrecision(b, bits, 2);
}

// out = stored value of b + side * 0.999 * 2^-accuracy, exactly (the
// stored value itself for an exact b).
void Corner(mpfr_ptr out, const BigFloat *b, int side) {
    ToMpfr(out, b);
    if (std::isinf(b->accuracy)) return;
    Mpfr d(32);
    mpfr_set_d(d, side * 0.999 * std::exp2(std::floor(b->accuracy) - b->accuracy), MPFR_RNDZ);
    mpfr_mul_2si(d, d, -static_cast<long>(std::floor(b->accuracy)), MPFR_RNDZ);
    long low = std::min<long>(mpfr_get_exp(d) - 40, b->kind == FloatZero ? 0 : 64 * b->exponent);
    long high = std::max<long>(mpfr_zero_p(out) ? 0 : mpfr_get_exp(out), mpfr_get_exp(d)) + 2;
    mpfr_prec_round(out, high - low, MPFR_RNDN);
    mpfr_add(out, out, d, MPFR_RNDN);
}

// log2 |a - b| (-inf when equal).
double DiffLog2(mpfr_ptr a, mpfr_ptr b) {
    Mpfr d(std::max(mpfr_get_prec(a), mpfr_get_prec(b)) + 64);
    mpfr_sub(d, a, b, MPFR_RNDA);
    if (mpfr_zero_p(d)) return -INFINITY;
    mpfr_abs(d, d, MPFR_RNDN);
    Mpfr lg(64);
    mpfr_log2(lg, d, MPFR_RNDU);
    return mpfr_get_d(lg, MPFR_RNDU);
}

double AbsLog2(mpfr_ptr a) {
    if (mpfr_zero_p(a)) return -INFINITY;
    Mpfr t(64), lg(64);
    mpfr_abs(t, a, MPFR_RNDN);
    mpfr_log2(lg, t, MPFR_RNDU);
    return mpfr_get_d(lg, MPFR_RNDU);
}

double Log2Add(double a, double b) {
    if (a < b) std::swap(a, b);
    if (b == -INFINITY) return a;
    return a + std::log2(1.0 + std::exp2(b - a));
}

using Truth = std::function<int(mpfr_ptr, mpfr_ptr, mpfr_ptr)>;  // out, y (or x), x; 0 outside the domain

struct Checker {
    std::string name;
    int failures = 0;
    int cases = 0;

    // Checks r = f(args) against the truth at the stored values and at the
    // corners of the arguments' error intervals. `allowIndeterminate`
    // says whether an indeterminate result is acceptable for this
    // argument (the interval reaches a pole or the domain's edge); without
    // `tight` the bound's tightness is not judged (the corners cannot tell
    // the error a periodic function's interval of more than a period
    // forces).
    void Check(const BigFloat *r, std::vector<const BigFloat *> args, const Truth &truth, bool allowIndeterminate,
               const std::string &what, bool tight = true) {
        ++cases;
        if (r->kind == FloatIndeterminate && allowIndeterminate) return;
        if (r->kind < 0) {
            Fail(what + ": kind " + std::to_string(r->kind));
            return;
        }
        double claimed = -r->accuracy;
        double rBits = std::isfinite(BigFloat_Precision(r)) ? BigFloat_Precision(r) : 64;
        auto prec = static_cast<mpfr_prec_t>(std::clamp(rBits + 96.0, 128.0, 40000.0));
        Mpfr ours, fx(prec), fc(prec);
        ToMpfr(ours, r);
        std::vector<std::unique_ptr<Mpfr>> stored;
        for (const BigFloat *a : args) {
            stored.push_back(std::make_unique<Mpfr>());
            ToMpfr(*stored.back(), a);
        }
        mpfr_ptr s0 = *stored[0], s1 = args.size() > 1 ? static_cast<mpfr_ptr>(*stored[1]) : s0;
        if (!truth(fx, s0, s1)) {
            Fail(what + ": outside the domain, yet a value");
        } else {
            double err = DiffLog2(ours, fx);
            if (err > claimed + 1e-9)
                Fail(what + ": error 2^" + std::to_string(err) + " above the bound 2^" + std::to_string(claimed));
            // The corners.
            double forced = -INFINITY;
            int n = static_cast<int>(args.size());
            for (int mask = 0; mask < (n == 1 ? 2 : 4); ++mask) {
                Mpfr c0, c1;
                Corner(c0, args[0], mask & 1 ? 1 : -1);
                if (n > 1) Corner(c1, args[1], mask & 2 ? 1 : -1);
                if (!truth(fc, c0, n > 1 ? static_cast<mpfr_ptr>(c1) : static_cast<mpfr_ptr>(c0))) continue;
                double e = DiffLog2(ours, fc);
                if (e > claimed + 1e-9)
                    Fail(what + ": at a corner, error 2^" + std::to_string(e) + " above the bound 2^" +
                         std::to_string(claimed));
                forced = std::max(forced, DiffLog2(fc, fx));
            }
            double p = 1e300;
            for (const BigFloat *a : args)
                if (a->kind != FloatZero) p = std::min(p, BigFloat_Precision(a));
            forced = Log2Add(forced, AbsLog2(fx) - p);
            if (tight && claimed > forced + 8)
                Fail(what + ": bound 2^" + std::to_string(claimed) + " looser than 2^8 times the forced 2^" +
                     std::to_string(forced));
        }
    }

    void Fail(const std::string &s) {
        if (++failures <= 12) ADD_FAILURE() << name << " " << s;
    }
};

class ElementaryMpfrTest : public ::testing::Test {
protected:
    void SetUp() override { Kernel_Initialize(); }
    void TearDown() override {
        Kernel_Terminate();
        mpfr_free_cache();
    }
};

struct Gen {
    std::mt19937_64 rng;
    explicit Gen(uint64_t seed) : rng(seed) {}
    int64_t Below(int64_t n) { return static_cast<int64_t>(rng() % static_cast<uint64_t>(n)); }
    double Uniform() { return static_cast<double>(rng() >> 11) * 0x1p-53; }

    // A precision: mostly 53 to 1,000 bits, some up to 4,000.
    double Bits() { return Below(5) == 0 ? 1000 + Below(3001) : 53 + Below(948); }

    // A random value of `bits` bits with |x| in [2^lo, 2^hi) and a random
    // sign (or the given one).
    void Random(BigFloat *x, double bits, int lo, int hi, int sign = 0) {
        Mpfr v(static_cast<mpfr_prec_t>(bits) + 64);
        mpfr_set_ui(v, 0, MPFR_RNDN);
        for (int i = 0; i < static_cast<int>(bits) / 64 + 2; ++i) {
            mpfr_mul_2ui(v, v, 64, MPFR_RNDN);
            mpfr_add_ui(v, v, static_cast<unsigned long>(rng()), MPFR_RNDN);
        }
        mpfr_div_2ui(v, v, static_cast<unsigned long>(64 * (static_cast<int>(bits) / 64 + 2)), MPFR_RNDN);
        mpfr_add_ui(v, v, 1, MPFR_RNDN);  // [1, 2)
        mpfr_mul_2si(v, v, lo + Below(std::max(1, hi - lo)), MPFR_RNDN);
        if (sign < 0 || (sign == 0 && Below(2))) mpfr_neg(v, v, MPFR_RNDN);
        FromMpfr(x, v, bits);
    }

    // One argument in four gets a low accuracy: 4 to 60 bits of precision.
    void MaybeBlur(BigFloat *x) {
        if (Below(4) == 0 && x->kind > 0) BigFloat_SetPrecision(x, static_cast<double>(4 + Below(57)), 2);
    }

    // A value within 2^-k (relative) of c * 2^s for the MPFR constant c
    // scaled: k pi/2 + tiny and the like.
    void Near(BigFloat *x, double bits, const std::function<void(mpfr_ptr)> &c, int tinyLog2) {
        Mpfr v(static_cast<mpfr_prec_t>(bits) + 200), t(64);
        c(v);
        mpfr_set_d(t, (Uniform() - 0.5) * std::exp2(tinyLog2), MPFR_RNDN);
        mpfr_add(v, v, t, MPFR_RNDN);
        FromMpfr(x, v, bits);
    }
};

}  // namespace

TEST_F(ElementaryMpfrTest, CircularFunctions) {
    Gen g(20261209);
    Checker sin{"sin"}, cos{"cos"}, tan{"tan"};
    LocalFloat x, r;
    for (int i = 0; i < 300; ++i) {
        double bits = g.Bits();
        int shape = static_cast<int>(g.Below(6));
        if (shape <= 1) {
            g.Random(x.get(), bits, -30, 12);
        } else if (shape == 2) {
            g.Random(x.get(), bits, 12, 400);  // huge, reduced with many quotient bits
        } else {
            // Near k pi/2, the zeros of sin, cos and the poles of tan.
            long k = static_cast<long>(g.Below(2000)) - 1000;
            int tiny = -static_cast<int>(g.Below(static_cast<int64_t>(bits) + 40));
            g.Near(
                x.get(), bits,
                [k](mpfr_ptr v) {
                    mpfr_const_pi(v, MPFR_RNDN);
                    mpfr_mul_si(v, v, k, MPFR_RNDN);
                    mpfr_div_2ui(v, v, 1, MPFR_RNDN);
                },
                tiny);
        }
        g.MaybeBlur(x.get());
        std::string what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", " + std::to_string(bits) +
                           " bits, accuracy " + std::to_string(x->accuracy);
        bool inPeriod = x->accuracy > -1.6;  // dx < pi
        BigFloat_Sin(r.get(), x.get());
        sin.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_sin(o, a, MPFR_RNDN);
                return 1;
            },
            false, what, inPeriod);
        BigFloat_Cos(r.get(), x.get());
        cos.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_cos(o, a, MPFR_RNDN);
                return 1;
            },
            false, what, inPeriod);
        // tan may give up where cos x is within twice the argument's error.
        Mpfr xs, c(256);
        ToMpfr(xs, x.get());
        mpfr_cos(c, xs, MPFR_RNDN);
        bool nearPole = AbsLog2(c) <= -x->accuracy + 1.5;
        BigFloat_Tan(r.get(), x.get());
        tan.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_tan(o, a, MPFR_RNDN);
                return 1;
            },
            nearPole, what);
    }
    EXPECT_EQ(sin.failures + cos.failures + tan.failures, 0);
}

TEST_F(ElementaryMpfrTest, InverseCircularFunctions) {
    Gen g(777);
    Checker atan{"atan"}, atan2{"atan2"}, asin{"asin"}, acos{"acos"};
    LocalFloat x, y, r;
    auto inUnit = [](mpfr_ptr a) { return mpfr_cmpabs_ui(a, 1) <= 0; };
    for (int i = 0; i < 300; ++i) {
        double bits = g.Bits();
        int shape = static_cast<int>(g.Below(4));
        g.Random(x.get(), bits, shape == 0 ? -60 : -8, shape == 0 ? 60 : 4);
        g.MaybeBlur(x.get());
        std::string what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", " + std::to_string(bits) +
                           " bits, accuracy " + std::to_string(x->accuracy);
        BigFloat_ArcTan(r.get(), x.get());
        atan.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_atan(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);
        g.Random(y.get(), g.Bits(), -20, 20);
        g.MaybeBlur(y.get());
        // Now and then an exact coordinate: a small integer, zero among them.
        if (g.Below(8) == 0) BigFloat_SetSmall(y.get(), g.Below(7) - 3);
        BigFloat_ArcTan2(r.get(), y.get(), x.get());
        atan2.Check(
            r.get(), {y.get(), x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr b) {
                mpfr_atan2(o, a, b, MPFR_RNDN);
                return 1;
            },
            false, what);

        // arcsin and arccos inside [-1, 1], a third of them at 1 - tiny.
        if (g.Below(3) == 0) {
            int tiny = -static_cast<int>(1 + g.Below(static_cast<int64_t>(bits)));
            int s = g.Below(2) ? 1 : -1;
            g.Near(
                x.get(), bits, [s](mpfr_ptr v) { mpfr_set_si(v, s, MPFR_RNDN); }, tiny);
            if (BigFloat_ToDouble(x.get()) * s > 1.0) g.Random(x.get(), bits, -3, 0);
        } else {
            g.Random(x.get(), bits, -40, 0);
        }
        g.MaybeBlur(x.get());
        Mpfr xs;
        ToMpfr(xs, x.get());
        if (!inUnit(xs)) continue;
        what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", " + std::to_string(bits) + " bits, accuracy " +
               std::to_string(x->accuracy);
        auto asinTruth = [&](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
            if (!inUnit(a)) return 0;
            mpfr_asin(o, a, MPFR_RNDN);
            return 1;
        };
        auto acosTruth = [&](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
            if (!inUnit(a)) return 0;
            mpfr_acos(o, a, MPFR_RNDN);
            return 1;
        };
        BigFloat_ArcSin(r.get(), x.get());
        asin.Check(r.get(), {x.get()}, asinTruth, false, what);
        BigFloat_ArcCos(r.get(), x.get());
        acos.Check(r.get(), {x.get()}, acosTruth, false, what);
    }
    EXPECT_EQ(atan.failures + atan2.failures + asin.failures + acos.failures, 0);
}

TEST_F(ElementaryMpfrTest, HyperbolicFunctions) {
    Gen g(4242);
    Checker sinh{"sinh"}, cosh{"cosh"}, tanh{"tanh"}, asinh{"arsinh"}, acosh{"arcosh"}, atanh{"artanh"};
    LocalFloat x, r;
    for (int i = 0; i < 300; ++i) {
        double bits = g.Bits();
        g.Random(x.get(), bits, -40, 9);
        g.MaybeBlur(x.get());
        std::string what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", " + std::to_string(bits) +
                           " bits, accuracy " + std::to_string(x->accuracy);
        BigFloat_Sinh(r.get(), x.get());
        sinh.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_sinh(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);
        BigFloat_Cosh(r.get(), x.get());
        cosh.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_cosh(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);
        BigFloat_Tanh(r.get(), x.get());
        tanh.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_tanh(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);
        g.Random(x.get(), bits, -40, 60);
        g.MaybeBlur(x.get());
        what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", accuracy " + std::to_string(x->accuracy);
        BigFloat_ArSinh(r.get(), x.get());
        asinh.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_asinh(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);

        // arcosh on [1, 2^40), half of them at 1 + tiny.
        int tiny = -static_cast<int>(1 + g.Below(static_cast<int64_t>(bits)));
        if (g.Below(2)) {
            g.Near(
                x.get(), bits, [](mpfr_ptr v) { mpfr_set_ui(v, 1, MPFR_RNDN); }, tiny);
            x->sign = 1;
            if (BigFloat_ToDouble(x.get()) < 1.0) {
                LocalFloat two;
                BigFloat_SetSmall(two.get(), 2);
                BigFloat_Sub(x.get(), two.get(), x.get());
            }
        } else {
            g.Random(x.get(), bits, 0, 40, 1);
        }
        g.MaybeBlur(x.get());
        what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", accuracy " + std::to_string(x->accuracy);
        BigFloat_ArCosh(r.get(), x.get());
        acosh.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                if (mpfr_cmp_ui(a, 1) < 0) return 0;
                mpfr_acosh(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);

        // artanh inside (-1, 1), half of them at +-(1 - tiny); an interval
        // reaching +-1 may give up.
        if (g.Below(2)) {
            int s = g.Below(2) ? 1 : -1;
            g.Near(
                x.get(), bits, [s](mpfr_ptr v) { mpfr_set_si(v, s, MPFR_RNDN); }, tiny);
            if (BigFloat_ToDouble(x.get()) * s >= 1.0) g.Random(x.get(), bits, -3, 0);
        } else {
            g.Random(x.get(), bits, -40, 0);
        }
        g.MaybeBlur(x.get());
        Mpfr xs, u(64);
        ToMpfr(xs, x.get());
        if (mpfr_cmpabs_ui(xs, 1) >= 0) continue;
        mpfr_abs(u, xs, MPFR_RNDN);
        mpfr_ui_sub(u, 1, u, MPFR_RNDN);
        bool edge = AbsLog2(u) <= -x->accuracy + 1;
        what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", accuracy " + std::to_string(x->accuracy);
        BigFloat_ArTanh(r.get(), x.get());
        atanh.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                if (mpfr_cmpabs_ui(a, 1) >= 0) return 0;
                mpfr_atanh(o, a, MPFR_RNDN);
                return 1;
            },
            edge, what);
    }
    EXPECT_EQ(sinh.failures + cosh.failures + tanh.failures + asinh.failures + acosh.failures + atanh.failures, 0);
}

TEST_F(ElementaryMpfrTest, ExpLogAndRoots) {
    Gen g(99);
    Checker exp{"exp"}, log{"log"}, root{"root"};
    LocalFloat x, r;
    for (int i = 0; i < 300; ++i) {
        double bits = g.Bits();
        g.Random(x.get(), bits, -50, 14);
        g.MaybeBlur(x.get());
        std::string what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", " + std::to_string(bits) +
                           " bits, accuracy " + std::to_string(x->accuracy);
        BigFloat_Exp(r.get(), x.get());
        exp.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                mpfr_exp(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);
        if (g.Below(3) == 0) {
            int tiny = -static_cast<int>(1 + g.Below(static_cast<int64_t>(bits)));
            g.Near(
                x.get(), bits, [](mpfr_ptr v) { mpfr_set_ui(v, 1, MPFR_RNDN); }, tiny);
        } else {
            g.Random(x.get(), bits, -300, 300, 1);
        }
        g.MaybeBlur(x.get());
        what = "at " + std::to_string(BigFloat_ToDouble(x.get())) + ", accuracy " + std::to_string(x->accuracy);
        BigFloat_Log(r.get(), x.get());
        log.Check(
            r.get(), {x.get()},
            [](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                if (mpfr_sgn(a) <= 0) return 0;
                mpfr_log(o, a, MPFR_RNDN);
                return 1;
            },
            false, what);
        static const long kIndices[] = {2, 3, -2, 5, -7, 100, 1000, -1};
        long n = kIndices[g.Below(8)];
        g.Random(x.get(), bits, -100, 100, 1);
        g.MaybeBlur(x.get());
        BigFloat_Root(r.get(), x.get(), n);
        root.Check(
            r.get(), {x.get()},
            [n](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                if (mpfr_sgn(a) <= 0) return 0;
                if (n > 0) {
                    mpfr_rootn_ui(o, a, static_cast<unsigned long>(n), MPFR_RNDN);
                } else {
                    Mpfr t(mpfr_get_prec(o) + 32);
                    mpfr_rootn_ui(t, a, static_cast<unsigned long>(-n), MPFR_RNDN);
                    mpfr_ui_div(o, 1, t, MPFR_RNDN);
                }
                return 1;
            },
            false, what + ", n " + std::to_string(n));
    }
    EXPECT_EQ(exp.failures + log.failures + root.failures, 0);
}

// The fixed-point series at the precisions where they run on hundreds of
// limbs (up to 10,000 digits), the logarithm's Newton iteration among
// them, including arguments within 2^-5000 of 1.
TEST_F(ElementaryMpfrTest, HighPrecision) {
    Gen g(31337);
    Checker check{"high precision"};
    LocalFloat x, r;
    struct Function {
        const char *name;
        void (*ours)(BigFloat *, const BigFloat *);
        int (*theirs)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
        bool positive;
    };
    const Function functions[] = {
        {"exp", BigFloat_Exp, mpfr_exp, false},      {"log", BigFloat_Log, mpfr_log, true},
        {"sin", BigFloat_Sin, mpfr_sin, false},      {"cos", BigFloat_Cos, mpfr_cos, false},
        {"atan", BigFloat_ArcTan, mpfr_atan, false}, {"tanh", BigFloat_Tanh, mpfr_tanh, false},
    };
    for (double bits : {9000.0, 33300.0}) {
        for (const Function &f : functions) {
            for (int shape = 0; shape < 3; ++shape) {
                if (shape == 2 && !f.positive) continue;
                if (shape == 2)
                    g.Near(
                        x.get(), bits, [](mpfr_ptr v) { mpfr_set_ui(v, 1, MPFR_RNDN); }, -5000);
                else
                    g.Random(x.get(), bits, shape == 0 ? -4 : 0, shape == 0 ? 0 : 6, f.positive ? 1 : 0);
                f.ours(r.get(), x.get());
                auto theirs = f.theirs;
                check.Check(
                    r.get(), {x.get()},
                    [theirs](mpfr_ptr o, mpfr_ptr a, mpfr_ptr) {
                        if (mpfr_sgn(a) <= 0 && theirs == mpfr_log) return 0;
                        theirs(o, a, MPFR_RNDN);
                        return 1;
                    },
                    false,
                    std::string(f.name) + " at " + std::to_string(bits) + " bits, shape " + std::to_string(shape));
            }
        }
    }
    EXPECT_EQ(check.failures, 0);
}
