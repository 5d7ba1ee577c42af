// Powers: the pair operation Arith_PowerPair beneath Power and the Power
// built-in. Exact operands give exact results (integer powers, rational
// powers, exact roots pulled out of roots of integers and rationals, the
// imaginary unit for square roots of negative numbers); a Real operand
// makes the power a floating-point computation at the operands' precision;
// infinities, Indeterminate and symbolic bases follow the rules of the
// product and sum builders, so that results come out in the same form.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "eval/native_args.h"
#include "eval/power.h"

#include "eval/arith.h"
#include "kernel/message.h"
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
#include "object/expression.h"
#include "object/is_numeric.h"
#include "object/symbol.h"

namespace {

// A BigFloat work record that frees its limbs on every way out.
struct Float : BigFloat {
    Float() : BigFloat{} {}
    Float(const Float &) = delete;
    Float &operator=(const Float &) = delete;
    ~Float() { BigFloat_Release(this); }
};

Object *Int(int64_t v) { return Integer_FromSmall(v); }
Object *Indeterminate() { return Builtin(SYM_Indeterminate); }
Object *ComplexInfinity() { return Object_AddRef(kernel.constants.complexInfinity); }
Object *NewPower(Object *base, Object *exponent) { return Expression_New(Builtin(SYM_Power), base, exponent); }

bool IsOdd(Object *integer) {
    if (Object_Subtype(integer) == SUB_SMALL) return AsInteger(integer)->small & 1;
    return AsInteger(integer)->big->limbs[0] & 1;
}

// An Integer modulo 4, in 0..3.
int64_t Mod4(Object *integer) {
    if (Object_Subtype(integer) == SUB_SMALL) return AsInteger(integer)->small & 3;
    auto low = static_cast<int64_t>(AsInteger(integer)->big->limbs[0] & 3);
    return Object_Sign(integer) < 0 ? (4 - low) & 3 : low;
}

bool IsSaturatedReal(Object *o) {
    return Object_IsReal(o) && (Object_Subtype(o) == SUB_OVERFLOW || Object_Subtype(o) == SUB_UNDERFLOW);
}

bool IsMachine(Object *o) {
    if (Object_IsReal(o)) return Real_IsMachine(o);
    if (!Object_IsComplex(o) || Object_Subtype(o) != SUB_PLAIN) return false;
    return IsMachine(AsComplex(o)->re) || IsMachine(AsComplex(o)->im);
}

// The sign that decides between growth and decay: that of a real number, of
// the real part of a Complex; 0 for the saturated complex values.
int ExponentSign(Object *e) {
    if (!Object_IsComplex(e)) return Object_Sign(e);
    return Object_Subtype(e) == SUB_PLAIN ? Object_Sign(AsComplex(e)->re) : 0;
}

// The uncombinable pair: nothing with ARITH_TRY_ONLY, else Power(b, e).
// Consumes both.
Object *Unevaluated(Object *base, Object *exponent, uint64_t flags) {
    if (flags & ARITH_TRY_ONLY) {
        Object_Release(base);
        Object_Release(exponent);
        return nullptr;
    }
    return NewPower(base, exponent);
}

// ---- Exact numbers -----------------------------------------------------------

// Integer ^ Integer. Consumes both.
Object *IntegerPower(Object *base, Object *n) {
    int s = Object_Sign(n);
    if (s >= 0) {
        if (s == 0 && Object_Sign(base) == 0) {
            Object_Release(base);
            Object_Release(n);
            return Indeterminate();
        }
        return Integer_Power(base, n);
    }
    if (Object_Sign(base) == 0) {
        Object_Release(base);
        Object_Release(n);
        return ComplexInfinity();
    }
    Object *r = Integer_Power(base, Integer_Negate(n));
    if (Object_IsInteger(r)) return Rational_Make(Int(1), r);
    // 1/r of an r too large to represent is too small to represent.
    Object *result = Object_Subtype(r) == SUB_OVERFLOW
                         ? Object_AddRef(Object_Sign(r) < 0 ? kernel.constants.negativeUnderflow : kernel.constants.underflow)
                         : Indeterminate();
    Object_Release(r);
    return result;
}

// The sign of |a| - |b| for two Integers. Borrows both.
int CompareMagnitudes(Object *a, Object *b) {
    Object *x = Object_Sign(a) < 0 ? Integer_Negate(Object_AddRef(a)) : Object_AddRef(a);
    Object *y = Object_Sign(b) < 0 ? Object_AddRef(b) : Integer_Negate(Object_AddRef(b));
    Ref d(Integer_Add(x, y));
    return Object_Sign(d.get());
}

// Rational ^ Integer: numerator and denominator powered separately. When a
// power overflows, the result saturates by whether its magnitude lies above
// or below 1; its sign is that of the base to an odd power. Consumes both.
Object *RationalPower(Object *q, Object *n) {
    Ref base(q), exponent(n);
    int s = Object_Sign(n);
    if (s == 0) return Int(1);
    Object *num = AsRational(q)->numerator, *den = AsRational(q)->denominator;
    Ref m(s < 0 ? Integer_Negate(exponent.release()) : exponent.release());
    Ref pn(Integer_Power(Object_AddRef(num), Object_AddRef(m.get())));
    Ref pd(Object_IsInteger(pn.get()) ? Integer_Power(Object_AddRef(den), Object_AddRef(m.get())) : nullptr);
    if (pd && Object_IsInteger(pd.get()))
        return s > 0 ? Rational_Make(pn.release(), pd.release()) : Rational_Make(pd.release(), pn.release());
    bool above = (CompareMagnitudes(num, den) > 0) == (s > 0);
    bool negative = Object_Sign(num) < 0 && IsOdd(m.get());
    KernelConstants &c = kernel.constants;
    if (above) return Object_AddRef(negative ? c.negativeOverflow : c.overflow);
    return Object_AddRef(negative ? c.negativeUnderflow : c.underflow);
}

// Integer or Rational ^ Integer. Consumes both.
Object *ExactPower(Object *base, Object *n) {
    return Object_IsInteger(base) ? IntegerPower(base, n) : RationalPower(base, n);
}

// 1/v for an exact non-zero v. Consumes v.
Object *ExactReciprocal(Object *v) {
    if (Object_IsInteger(v)) return Rational_Make(Int(1), v);
    Ref q(v);
    return Rational_Make(Object_AddRef(AsRational(v)->denominator), Object_AddRef(AsRational(v)->numerator));
}

// The exact q-th root of the Integer m >= 1, or null when m is not a q-th
// power. Borrows both.
Object *ExactRoot(Object *m, Object *q) {
    if (Integer_Is(m, 1)) return Int(1);
    // Every q-th power above 1 has at least q bits.
    if (Object_Subtype(q) != SUB_SMALL) return nullptr;
    Object *rem = nullptr;
    Ref root(Integer_Root(Object_AddRef(m), static_cast<uint64_t>(AsInteger(q)->small), &rem));
    Ref remainder(rem);
    return Object_Sign(rem) == 0 ? root.release() : nullptr;
}

// Integer or Rational b ^ Rational p/q (q >= 2). With p = k q + r (k
// truncated, so |r| < q and r has the sign of p): b^p/q = b^k * b^(r/q).
// Since r and q are coprime, |b|^|r| is a q-th power exactly when |b| is,
// and then its root is R^|r| with R the root of |b|: that settles whether
// the root is exact without ever forming |b|^|r|. A negative base gives
// the principal value: I times the root for square roots, otherwise a
// power of -1 as a factor. Consumes both.
Object *RootPower(Object *base, Object *exponent, uint64_t flags) {
    Ref b(base), e(exponent);
    int bs = Object_Sign(base), es = Object_Sign(exponent);
    if (bs == 0) return es < 0 ? ComplexInfinity() : Int(0);
    if (Integer_Is(base, 1)) return Int(1);

    Object *p = AsRational(exponent)->numerator, *q = AsRational(exponent)->denominator;
    Object *rem = nullptr;
    Ref k(Integer_DivMod(Object_AddRef(p), Object_AddRef(q), &rem));
    Ref r(rem);
    bool whole = Object_Sign(k.get()) != 0;
    Ref g(whole ? ExactPower(Object_AddRef(base), k.release()) : nullptr);

    Ref magnitude(bs < 0 ? Number_Negate(Object_AddRef(base)) : Object_AddRef(base));
    Ref root;
    if (Object_IsInteger(base)) {
        root.reset(ExactRoot(magnitude.get(), q));
    } else if (Object *rn = ExactRoot(AsRational(magnitude.get())->numerator, q)) {
        Object *rd = ExactRoot(AsRational(magnitude.get())->denominator, q);
        root.reset(rd ? Rational_Make(rn, rd) : nullptr);
        if (!rd) Object_Release(rn);
    }
    bool negativeR = Object_Sign(r.get()) < 0;
    bool q2 = Integer_Is(q, 2);
    if (root) {
        Object *absR = negativeR ? Integer_Negate(Object_AddRef(r.get())) : Object_AddRef(r.get());
        Object *v = ExactPower(root.release(), absR);
        if (negativeR) v = ExactReciprocal(v);
        if (g) v = Number_Multiply(g.release(), v);
        if (bs > 0) return v;
        if (q2) return Complex_MakeImaginary(es > 0 ? v : Number_Negate(v));
        if (es > 0) return Arith_Times(v, NewPower(Int(-1), Rational_Make(r.release(), Object_AddRef(q))));
        Object *shifted = Integer_Add(r.release(), Object_AddRef(q));
        return Arith_Times(Number_Negate(v), NewPower(Int(-1), Rational_Make(shifted, Object_AddRef(q))));
    }

    // No exact root: the integral part of the exponent comes out, and for a
    // negative base under a square root the factor +-I with the power of -b.
    bool imaginary = bs < 0 && q2;
    Object *factor = imaginary ? Complex_MakeImaginary(Int(es > 0 ? 1 : -1)) : nullptr;
    if (g) factor = factor ? Number_Multiply(g.release(), factor) : g.release();
    if (!factor) return Unevaluated(b.release(), e.release(), flags);
    Object *rest = imaginary ? magnitude.release() : b.release();
    Object *power = whole ? NewPower(rest, Rational_Make(r.release(), Object_AddRef(q))) : NewPower(rest, e.release());
    return Arith_Times(factor, power);
}

// ---- Floating point ------------------------------------------------------------

// z = x^y for machine complex numbers, exp(y log x) with the principal
// logarithm; a magnitude beyond the double range saturates.
Object *MachineComplexPower(double xr, double xi, double yr, double yi) {
    double lr = std::log(std::hypot(xr, xi)), li = std::atan2(xi, xr);
    double wr = yr * lr - yi * li, wi = yr * li + yi * lr;
    double m = std::exp(wr);
    if (std::isnan(m) || std::isnan(wi)) return Indeterminate();
    if (std::isinf(m)) return Complex_NewSaturated(SUB_OVERFLOW);
    if (!std::isnormal(m)) return Complex_NewSaturated(SUB_UNDERFLOW);
    return Complex_Make(Real_FromDouble(m * std::cos(wi)), Real_FromDouble(m * std::sin(wi)));
}

// The precision in bits of an inexact real; +infinity for exact numbers.
double PrecisionBits(Object *o) {
    if (!Object_IsReal(o)) return std::numeric_limits<double>::infinity();
    if (Real_IsMachine(o)) return 53;
    return BigFloat_Precision(AsReal(o)->big);
}

Object *FromFloat(const BigFloat *f) { return Real_Normalize(Real_FromBigFloat(f)); }

// x^y in arbitrary precision for real numbers, x not zero, neither
// saturated. Exact operands enter with `bits` bits of precision (an Integer
// exponent that fits a word stays exact and powers by squaring). Other
// exponents go through exp(y log|x|); a negative base then takes its sign
// from an integral exponent, or otherwise gives the complex value in polar
// form. Consumes both.
Object *BigRealPower(Object *base, Object *exponent, double bits) {
    Ref b(base), e(exponent);
    Float x, y, r;
    Number_ToBigFloat(base, &x, bits);
    if (Object_IsInteger(exponent) && Object_Subtype(exponent) == SUB_SMALL) {
        BigFloat_PowerSmall(&r, &x, AsInteger(exponent)->small);
        return FromFloat(&r);
    }
    if (x.accuracy == std::numeric_limits<double>::infinity()) BigFloat_SetPrecision(&x, bits, 2);
    bool negative = x.sign < 0;
    if (negative) BigFloat_Negate(&x, &x);
    if (!negative && Object_IsRational(exponent)) {
        // x^(p/q) for a small root index: the root by Newton's iteration,
        // then the integer power; far cheaper than exp(y log x).
        Object *p = AsRational(exponent)->numerator, *q = AsRational(exponent)->denominator;
        if (Object_Subtype(q) == SUB_SMALL && AsInteger(q)->small <= 100 && Object_Subtype(p) == SUB_SMALL &&
            std::llabs(AsInteger(p)->small) <= 1024) {
            BigFloat_Root(&r, &x, AsInteger(q)->small);
            BigFloat_PowerSmall(&r, &r, AsInteger(p)->small);
            return FromFloat(&r);
        }
    }
    Number_ToBigFloat(exponent, &y, bits);
    BigFloat_Log(&r, &x);
    BigFloat_Mul(&r, &r, &y);
    BigFloat_Exp(&r, &r);
    if (!negative) return FromFloat(&r);
    if (Object_IsInteger(exponent)) {
        if (IsOdd(exponent)) BigFloat_Negate(&r, &r);
        return FromFloat(&r);
    }
    Object *q = Object_IsRational(exponent) ? AsRational(exponent)->denominator : nullptr;
    if (q && Integer_Is(q, 2)) {
        // (-x)^(p/2) = x^(p/2) I^p, exactly imaginary.
        if (Mod4(AsRational(exponent)->numerator) == 3) BigFloat_Negate(&r, &r);
        return Complex_MakeImaginary(FromFloat(&r));
    }
    // The principal value |x|^y (cos pi y + i sin pi y), the angle taken
    // with pi at the exponent's precision.
    Float pi, angle, c, s;
    Constant_Pi(&pi, BigFloat_Precision(&y) + 32);
    BigFloat_Mul(&angle, &pi, &y);
    BigFloat_Cos(&c, &angle);
    BigFloat_Sin(&s, &angle);
    BigFloat_Mul(&c, &c, &r);
    BigFloat_Mul(&s, &s, &r);
    return Complex_Make(FromFloat(&c), FromFloat(&s));
}

// A power with a saturated real operand (Overflow or Underflow): which way
// the magnitude goes is known, the value is not. Consumes both.
Object *SaturatedPower(Object *base, Object *exponent) {
    Ref b(base), e(exponent);
    KernelConstants &c = kernel.constants;
    int es = Object_Sign(exponent);
    bool baseSaturated = IsSaturatedReal(base);
    if (baseSaturated && IsSaturatedReal(exponent)) return Indeterminate();
    bool huge;
    if (baseSaturated) {
        if (es == 0) return Indeterminate();
        huge = (Object_Subtype(base) == SUB_OVERFLOW) == (es > 0);
    } else {
        if (Number_IsZero(base)) return es > 0 ? b.release() : ComplexInfinity();
        // x^y for a tiny y is close to 1.
        if (Object_Subtype(exponent) == SUB_UNDERFLOW) return Real_FromDouble(1.0);
        double m = std::fabs(Number_ToDouble(base));
        if (m == 1.0) return Indeterminate();
        huge = (m > 1.0) == (es > 0);
    }
    if (Object_Sign(base) < 0) {
        if (!Object_IsInteger(exponent)) return Complex_NewSaturated(huge ? SUB_OVERFLOW : SUB_UNDERFLOW);
        if (IsOdd(exponent)) return Object_AddRef(huge ? c.negativeOverflow : c.negativeUnderflow);
    }
    return Object_AddRef(huge ? c.overflow : c.underflow);
}

// Real numbers with at least one Real operand.
Object *RealPower(Object *base, Object *exponent) {
    if (IsSaturatedReal(base) || IsSaturatedReal(exponent)) return SaturatedPower(base, exponent);
    Ref b(base), e(exponent);
    if (Number_IsZero(base)) {
        // A zero keeps its class: 0.0^2 is 0.0, 0^0.5 is 0.
        int es = Object_Sign(exponent);
        if (es > 0) return b.release();
        return es < 0 ? ComplexInfinity() : Indeterminate();
    }
    if (!IsMachine(base) && !IsMachine(exponent)) {
        double bits = std::min(PrecisionBits(base), PrecisionBits(exponent)) + 32;
        return BigRealPower(b.release(), e.release(), bits);
    }
    double x = Number_ToDouble(base), y = Number_ToDouble(exponent);
    bool integral = Object_IsInteger(exponent) || std::floor(y) == y;
    if (x < 0 && !integral) return MachineComplexPower(x, 0, y, 0);
    double r = std::pow(std::fabs(x), y);
    if (x < 0 && (Object_IsInteger(exponent) ? IsOdd(exponent) : std::fmod(y, 2.0) != 0)) r = -r;
    if (std::isnormal(r)) return Real_FromDouble(r);
    if (std::isnan(r)) return Indeterminate();
    // Beyond the double range: the computation continues in arbitrary
    // precision, exact operands entering with machine precision.
    return BigRealPower(b.release(), e.release(), 53);
}

// ---- Complex numbers ------------------------------------------------------------

// 1/w for a number w. Consumes w.
Object *Reciprocal(Object *w) {
    if (!Object_IsComplex(w)) return Arith_PowerPair(w, Int(-1), 0);
    if (Object_Subtype(w) != SUB_PLAIN) {
        uint64_t sub = Object_Subtype(w) == SUB_OVERFLOW ? SUB_UNDERFLOW : SUB_OVERFLOW;
        Object_Release(w);
        return Complex_NewSaturated(sub);
    }
    // 1/(a + b I) = (a - b I) / (a^2 + b^2)
    Ref z(w);
    Object *a = AsComplex(w)->re, *bi = AsComplex(w)->im;
    Object *d = Number_Add(Number_Multiply(Object_AddRef(a), Object_AddRef(a)),
                           Number_Multiply(Object_AddRef(bi), Object_AddRef(bi)));
    Ref inverse(Reciprocal(d));
    if (!Number_Is(inverse.get())) return inverse.release();
    Object *re = Number_Multiply(Object_AddRef(a), Object_AddRef(inverse.get()));
    Object *im = Number_Negate(Number_Multiply(Object_AddRef(bi), inverse.release()));
    return Complex_Make(re, im);
}

bool IsImaginaryUnit(Object *z) {
    if (!Object_IsComplex(z) || Object_Subtype(z) != SUB_PLAIN || !Integer_Is(AsComplex(z)->re, 0)) return false;
    return Integer_Is(AsComplex(z)->im, 1) || Integer_Is(AsComplex(z)->im, -1);
}

// z ^ n for a Complex z (not zero) and an Integer n, by binary powering
// with the number products; a negative n takes the reciprocal at the end.
Object *ComplexIntegerPower(Object *z, Object *n) {
    Ref base(z), exponent(n);
    int s = Object_Sign(n);
    if (s == 0) return Number_IsInexact(z) ? Real_FromDouble(1.0) : Int(1);
    if (IsImaginaryUnit(z)) {
        // (+-I)^n runs through 1, +-I, -1, -+I.
        int64_t low = Mod4(n);
        int64_t unit = Integer_Is(AsComplex(z)->im, 1) ? 1 : -1;
        if (low == 0) return Int(1);
        if (low == 2) return Int(-1);
        return Complex_MakeImaginary(Int(low == 1 ? unit : -unit));
    }
    // Every exact power of a complex number other than a unit grows by at
    // least half a bit per step: an exponent this large exceeds any limit.
    bool inexact = Number_IsInexact(z);
    double limitBits = 64.0 * static_cast<double>(kernel.numbers.limbLimit);
    if (Object_Subtype(n) == SUB_BIG || (!inexact && std::fabs(static_cast<double>(AsInteger(n)->small)) > 2 * limitBits)) {
        double re = Number_ToDouble(AsComplex(z)->re), im = Number_ToDouble(AsComplex(z)->im);
        double m = re * re + im * im;
        if (m == 1.0 && inexact) return Indeterminate();
        if (!inexact) Message_Emit(u"Integer", u"Overflow");
        return Complex_NewSaturated((m >= 1.0) == (s > 0) ? SUB_OVERFLOW : SUB_UNDERFLOW);
    }
    // A saturated or undefined intermediate settles the result.
    auto ordinary = [](Object *o) {
        return !o || (Number_Is(o) && !IsSaturatedReal(o) && !(Object_IsComplex(o) && Object_Subtype(o) != SUB_PLAIN));
    };
    int64_t v = AsInteger(n)->small;
    uint64_t k = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    Object *r = nullptr;
    Object *square = base.release();
    for (;;) {
        if (k & 1) r = r ? Number_Multiply(r, Object_AddRef(square)) : Object_AddRef(square);
        k >>= 1;
        if (k == 0 || !ordinary(r)) break;
        square = Number_Multiply(square, Object_AddRef(square));
        if (!ordinary(square)) {
            Object_Release(r);
            r = std::exchange(square, nullptr);
            break;
        }
    }
    Object_Release(square);
    return s < 0 ? Reciprocal(r) : r;
}

// The parts of a number as doubles. Borrows z.
void Parts(Object *z, double *re, double *im) {
    if (Object_IsComplex(z)) {
        *re = Number_ToDouble(AsComplex(z)->re);
        *im = Number_ToDouble(AsComplex(z)->im);
    } else {
        *re = Number_ToDouble(z);
        *im = 0;
    }
}

// Powers with a Complex operand.
Object *ComplexPower(Object *base, Object *exponent, uint64_t flags) {
    Ref b(base), e(exponent);
    bool baseSaturated = Object_IsComplex(base) && Object_Subtype(base) != SUB_PLAIN;
    bool exponentSaturated = Object_IsComplex(exponent) && Object_Subtype(exponent) != SUB_PLAIN;
    if (exponentSaturated) return Indeterminate();
    int es = ExponentSign(exponent);
    if (baseSaturated) {
        if (es == 0) return Indeterminate();
        return Complex_NewSaturated((Object_Subtype(base) == SUB_OVERFLOW) == (es > 0) ? SUB_OVERFLOW : SUB_UNDERFLOW);
    }
    if (Number_IsZero(base)) {
        if (es > 0) return b.release();
        return es < 0 ? ComplexInfinity() : Indeterminate();
    }
    if (Object_IsInteger(exponent)) return ComplexIntegerPower(b.release(), e.release());
    if (!Number_IsInexact(base) && !Number_IsInexact(exponent))
        return Unevaluated(b.release(), e.release(), flags);
    if (!IsMachine(base) && !IsMachine(exponent)) {
        // exp(y log x), the exact operand taken at the inexact one's
        // precision.
        Object *x = Number_IsInexact(base) ? b.release() : Arith_Absorb(exponent, b.release());
        Object *y = Number_IsInexact(exponent) ? e.release() : Arith_Absorb(base, e.release());
        if (!x || !y) {
            Object_Release(x);
            Object_Release(y);
            return Indeterminate();
        }
        Object *logarithm = Elementary_Log(x);
        if (!Number_Is(logarithm)) {
            Object_Release(y);
            return logarithm;
        }
        return Elementary_Exp(Number_Multiply(y, logarithm));
    }
    double xr, xi, yr, yi;
    Parts(base, &xr, &xi);
    Parts(exponent, &yr, &yi);
    return MachineComplexPower(xr, xi, yr, yi);
}

// Two numbers.
Object *NumberPower(Object *base, Object *exponent, uint64_t flags) {
    uint64_t tb = Object_Type(base), te = Object_Type(exponent);
    if (tb == TYPE_COMPLEX || te == TYPE_COMPLEX) return ComplexPower(base, exponent, flags);
    if (tb == TYPE_REAL || te == TYPE_REAL) return RealPower(base, exponent);
    if (te == TYPE_INTEGER) return ExactPower(base, exponent);
    return RootPower(base, exponent, flags);
}

// ---- Symbols and expressions ------------------------------------------------------

// The power of a non-number base to a number exponent that holds for any
// base: x^0 = 1 and the inexact zero exponents. Null when none applies.
// Borrows exponent.
Object *GenericPower(Object *exponent) {
    if (Integer_Is(exponent, 0)) return Int(1);
    if (!Number_IsZero(exponent)) return nullptr;
    if (Object_IsReal(exponent)) return Real_FromDouble(1.0);
    if (Object_IsComplex(exponent)) return Complex_Make(Real_FromDouble(1.0), Real_FromDouble(0.0));
    return nullptr;
}

// A real number strictly between -1 and 1. Borrows e.
bool WithinUnit(Object *e) {
    if (Object_IsRational(e)) return CompareMagnitudes(AsRational(e)->numerator, AsRational(e)->denominator) < 0;
    if (Object_IsReal(e)) return std::fabs(Number_ToDouble(e)) < 1.0;
    return Object_IsInteger(e) && Object_Sign(e) == 0;
}

// (f1 f2 ... fn)^r for a non-integer r: the positive numbers among the
// factors whose powers combine are taken out, the rest stays under one
// power. (Only positive factors: (a b)^r = a^r b^r does not hold for the
// principal value when a is negative or complex.) Null when nothing comes
// out. Borrows both.
Object *SplitProduct(Object *product, Object *r) {
    int64_t n = Expression_Length(product);
    std::vector<Object *> out, rest;
    for (int64_t i = 1; i <= n; ++i) {
        Object *f = Expression_At(product, i);
        Object *p = Number_Is(f) && Number_Sign(f) > 0
                        ? Arith_PowerPair(Object_AddRef(f), Object_AddRef(r), ARITH_TRY_ONLY) : nullptr;
        if (p) out.push_back(p);
        else rest.push_back(f);
    }
    if (out.empty()) return nullptr;
    Object *result = Expression_NewSized(Builtin(SYM_Times), static_cast<int64_t>(out.size()) + (rest.empty() ? 0 : 1));
    for (size_t i = 0; i < out.size(); ++i) AsExpression(result)->elements[i + 1] = out[i];
    if (!rest.empty()) {
        Object *remaining;
        if (rest.size() == 1) {
            remaining = Object_AddRef(rest[0]);
        } else {
            remaining = Expression_NewSized(Builtin(SYM_Times), static_cast<int64_t>(rest.size()));
            for (size_t i = 0; i < rest.size(); ++i) AsExpression(remaining)->elements[i + 1] = Object_AddRef(rest[i]);
        }
        AsExpression(result)->elements[out.size() + 1] = NewPower(remaining, Object_AddRef(r));
    }
    return Object_Evaluate(result);
}

// Expression ^ number.
Object *ExpressionPower(Object *base, Object *exponent, uint64_t flags) {
    Ref b(base), e(exponent);
    int re = 0;
    int kind = Infinity_Classify(base, &re, nullptr);
    if (kind != 0) {
        int es = ExponentSign(exponent);
        if (es < 0) return Int(0);
        if (es == 0) return Indeterminate();
        if (kind == 4 || Object_IsComplex(exponent)) return ComplexInfinity();
        // A positive direction stays positive under every positive power.
        if (kind == 1 && re > 0) return b.release();
        Object *direction = Arith_Power(Object_AddRef(Expression_At(base, 1)), e.release());
        return Object_Evaluate(Expression_New(Builtin(SYM_DirectedInfinity), direction));
    }
    if (Object *r = GenericPower(exponent)) return r;
    if (Object_IsInteger(exponent)) {
        if (Native_IsCall(base, SYM_Times)) {
            int64_t n = Expression_Length(base);
            Object *product = Expression_NewSized(Builtin(SYM_Times), n);
            for (int64_t i = 1; i <= n; ++i)
                AsExpression(product)->elements[i] = Arith_Power(Object_AddRef(Expression_At(base, i)), Object_AddRef(exponent));
            return Object_Evaluate(product);
        }
        if (Native_IsCall(base, SYM_Power) && Expression_Length(base) == 2)
            return Arith_Power(Object_AddRef(Expression_At(base, 1)),
                               Arith_Times(e.release(), Object_AddRef(Expression_At(base, 2))));
        return Unevaluated(b.release(), e.release(), flags);
    }
    if (Native_IsCall(base, SYM_Times))
        if (Object *r = SplitProduct(base, exponent)) return r;
    if (Native_IsCall(base, SYM_Power) && Expression_Length(base) == 2) {
        Object *inner = Expression_At(base, 2);
        if (Number_Is(inner) && !Object_IsComplex(inner) && WithinUnit(inner))
            return Arith_Power(Object_AddRef(Expression_At(base, 1)), Arith_Times(e.release(), Object_AddRef(inner)));
    }
    return Unevaluated(b.release(), e.release(), flags);
}

// A real number to a real infinite power: growth to Infinity (or, for a
// negative base, ComplexInfinity), decay to 0, and Indeterminate for a base
// of magnitude 1. Null for other pairs. Borrows both.
Object *InfinitePower(Object *base, Object *exponent) {
    int direction = 0;
    if (Object_IsComplex(base) || IsSaturatedReal(base) || Infinity_Classify(exponent, &direction, nullptr) != 1)
        return nullptr;
    int above;
    if (Object_IsInteger(base)) {
        Ref one(Int(1));
        above = CompareMagnitudes(base, one.get());
    } else if (Object_IsRational(base)) {
        above = CompareMagnitudes(AsRational(base)->numerator, AsRational(base)->denominator);
    } else {
        double m = std::fabs(Number_ToDouble(base));
        above = (m > 1.0) - (m < 1.0);
    }
    if (above == 0) return Indeterminate();
    if ((above > 0) != (direction > 0)) return Number_IsInexact(base) ? Real_FromDouble(0.0) : Int(0);
    return Object_Sign(base) > 0 ? Object_AddRef(kernel.constants.infinity) : ComplexInfinity();
}

}  // namespace

Object *Arith_PowerPair(Object *base, Object *exponent, uint64_t flags) {
    Object *indeterminate = BuiltinBorrowed(SYM_Indeterminate);
    if (base == indeterminate || exponent == indeterminate) {
        Object_Release(base);
        Object_Release(exponent);
        return Indeterminate();
    }
    bool numberBase = Number_Is(base), numberExponent = Number_Is(exponent);
    if (numberBase && numberExponent) return NumberPower(base, exponent, flags);

    Ref b(base), e(exponent);
    if (numberExponent && Integer_Is(exponent, 1)) return b.release();
    if (numberBase && Integer_Is(base, 1))
        return Infinity_Classify(exponent, nullptr, nullptr) != 0 ? Indeterminate() : Int(1);
    if (base == BuiltinBorrowed(SYM_E) && Object_IsReal(exponent) && !IsSaturatedReal(exponent))
        return Elementary_Exp(e.release());

    // An inexact number meeting a numeric partner makes the partner a number.
    if (numberBase && Number_IsInexact(base) && Object_IsNumeric(exponent))
        if (Object *v = Arith_Absorb(base, Object_AddRef(exponent))) return Arith_PowerPair(b.release(), v, flags);
    if (numberExponent && Number_IsInexact(exponent) && Object_IsNumeric(base))
        if (Object *v = Arith_Absorb(exponent, Object_AddRef(base))) return Arith_PowerPair(v, e.release(), flags);

    if (numberExponent) {
        if (Object_IsExpression(base)) return ExpressionPower(b.release(), e.release(), flags);
        if (Object_IsSymbol(base))
            if (Object *r = GenericPower(exponent)) return r;
    } else if (numberBase) {
        if (Object *r = InfinitePower(base, exponent)) return r;
    }
    return Unevaluated(b.release(), e.release(), flags);
}

Object *Builtin_Power(Object *call) {
    Object *r = Arith_PowerPair(Object_AddRef(Expression_At(call, 1)), Object_AddRef(Expression_At(call, 2)), ARITH_TRY_ONLY);
    return r ? Object_ReleaseReturn(call, r) : call;
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Power, {u"Power(\?, \?)"}, Builtin_Power},
};

}  // namespace

extern const NativeTable PowerNatives = Table_Of(kNatives);
