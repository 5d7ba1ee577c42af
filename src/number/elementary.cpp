// The elementary functions. Every one follows the same scheme:
//  - exact arguments stay exact: a few special values (the function at 0
//    and 1, the trigonometric functions at rational multiples of Pi with
//    denominators 1, 2, 3, 4 and 6, the inverse functions at the values
//    those produce), the symmetries of odd and even functions for negative
//    arguments and products led by a negative number, the cancellation
//    f(f^-1(x)) = x, and the limits at infinities; anything else stays
//    unevaluated;
//  - inexact real arguments inside the real domain are evaluated by the
//    math library (machine reals) or the BigFloat kernels (arbitrary
//    precision, carrying the accuracy the argument justifies); a machine
//    result that leaves the double range is recomputed in arbitrary
//    precision, as the arithmetic does;
//  - real arguments outside the real domain and complex arguments give the
//    principal values, built from the real functions by the usual
//    identities (log z = log|z| + i arg z, arcsin z = -i log(iz +
//    sqrt(1 - z^2)), ...). Machine complex values come from the library's
//    complex functions, which agree with those identities off the branch
//    cuts; arbitrary-precision ones are composed from the real kernels, so
//    their error bounds follow from the number arithmetic.
#include "number/elementary.h"

#include <cmath>
#include <complex>
#include <limits>

#include "eval/arith.h"
#include "eval/native_args.h"
#include "eval/power.h"
#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/bigfloat_functions.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "number/real.h"
#include "object/expression.h"

namespace {

enum Function {
    FN_EXP, FN_LOG, FN_SIN, FN_COS, FN_TAN, FN_ARCSIN, FN_ARCCOS, FN_ARCTAN,
    FN_SINH, FN_COSH, FN_TANH, FN_ARSINH, FN_ARCOSH, FN_ARTANH,
};

enum Parity { NO_PARITY, EVEN, ODD };

using Kernel = void (*)(BigFloat *, const BigFloat *);
using MachineReal = double (*)(double);
using MachineComplex = std::complex<double> (*)(const std::complex<double> &);

struct FunctionInfo {
    BuiltinSymbol symbol;
    // The function g with f(g(x)) = x for every x, or SYM_COUNT.
    BuiltinSymbol inverse;
    Parity parity;
    MachineReal machine;
    MachineComplex machineComplex;
    Kernel kernel;
};

double Exp(double x) { return std::exp(x); }
double Log(double x) { return std::log(x); }
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double ArcSin(double x) { return std::asin(x); }
double ArcCos(double x) { return std::acos(x); }
double ArcTan(double x) { return std::atan(x); }
double Sinh(double x) { return std::sinh(x); }
double Cosh(double x) { return std::cosh(x); }
double Tanh(double x) { return std::tanh(x); }
double ArSinh(double x) { return std::asinh(x); }
double ArCosh(double x) { return std::acosh(x); }
double ArTanh(double x) { return std::atanh(x); }

using C = std::complex<double>;
C CExp(const C &z) { return std::exp(z); }
C CLog(const C &z) { return std::log(z); }
C CSin(const C &z) { return std::sin(z); }
C CCos(const C &z) { return std::cos(z); }
C CTan(const C &z) { return std::tan(z); }
C CArcSin(const C &z) { return std::asin(z); }
C CArcCos(const C &z) { return std::acos(z); }
C CArcTan(const C &z) { return std::atan(z); }
C CSinh(const C &z) { return std::sinh(z); }
C CCosh(const C &z) { return std::cosh(z); }
C CTanh(const C &z) { return std::tanh(z); }
C CArSinh(const C &z) { return std::asinh(z); }
C CArCosh(const C &z) { return std::acosh(z); }
C CArTanh(const C &z) { return std::atanh(z); }

const FunctionInfo kFunctions[] = {
    {SYM_Exp, SYM_Log, NO_PARITY, Exp, CExp, BigFloat_Exp},
    {SYM_Log, SYM_COUNT, NO_PARITY, Log, CLog, BigFloat_Log},
    {SYM_Sin, SYM_ArcSin, ODD, Sin, CSin, BigFloat_Sin},
    {SYM_Cos, SYM_ArcCos, EVEN, Cos, CCos, BigFloat_Cos},
    {SYM_Tan, SYM_ArcTan, ODD, Tan, CTan, BigFloat_Tan},
    {SYM_ArcSin, SYM_COUNT, ODD, ArcSin, CArcSin, BigFloat_ArcSin},
    {SYM_ArcCos, SYM_COUNT, NO_PARITY, ArcCos, CArcCos, BigFloat_ArcCos},
    {SYM_ArcTan, SYM_COUNT, ODD, ArcTan, CArcTan, BigFloat_ArcTan},
    {SYM_Sinh, SYM_ArSinh, ODD, Sinh, CSinh, BigFloat_Sinh},
    {SYM_Cosh, SYM_ArCosh, EVEN, Cosh, CCosh, BigFloat_Cosh},
    {SYM_Tanh, SYM_ArTanh, ODD, Tanh, CTanh, BigFloat_Tanh},
    {SYM_ArSinh, SYM_COUNT, ODD, ArSinh, CArSinh, BigFloat_ArSinh},
    {SYM_ArCosh, SYM_COUNT, NO_PARITY, ArCosh, CArCosh, BigFloat_ArCosh},
    {SYM_ArTanh, SYM_COUNT, ODD, ArTanh, CArTanh, BigFloat_ArTanh},
};

// ---- Small builders (each returns a new reference) -------------------------------

Object *Int(int64_t v) { return Integer_FromSmall(v); }
Object *Indeterminate() { return Builtin(SYM_Indeterminate); }
Object *PiSymbol() { return Builtin(SYM_Pi); }
Object *Constant(Object *c) { return Object_AddRef(c); }
Object *ImaginaryUnit() { return Object_AddRef(kernel.constants.imaginaryUnit); }
Object *Infinity(int sign) {
    return Object_AddRef(sign < 0 ? kernel.constants.negativeInfinity : kernel.constants.infinity);
}
// DirectedInfinity(d), evaluated. Consumes d.
Object *InfinityToward(Object *d) { return Object_Evaluate(Expression_New(Builtin(SYM_DirectedInfinity), d)); }
// f(x), evaluated. Consumes x.
Object *Call(Function f, Object *x) { return Object_Evaluate(Expression_New(Builtin(kFunctions[f].symbol), x)); }
// -x through the product builder. Consumes x.
Object *Negated(Object *x) { return Arith_Times(Int(-1), x); }
// a * Pi for an exact rational a. Consumes a.
Object *PiTimes(Object *a) { return Arith_Times(a, PiSymbol()); }
Object *PiOver(int64_t q) { return PiTimes(Rational_Make(Int(1), Int(q))); }
// c * I * Pi. Consumes c.
Object *ImaginaryPiTimes(Object *c) { return Arith_Times(Arith_Times(c, ImaginaryUnit()), PiSymbol()); }

bool IsSymbol(Object *o, BuiltinSymbol s) { return o == BuiltinBorrowed(s); }

bool IsSaturatedReal(Object *o) {
    return Object_IsReal(o) && (Object_Subtype(o) == SUB_OVERFLOW || Object_Subtype(o) == SUB_UNDERFLOW);
}

// ---- Exact trigonometric values ---------------------------------------------------

// sin(n pi/12) for an n that is a multiple of 2 or 3: 0, +-1/2, +-1/sqrt 2,
// +-sqrt 3/2 or +-1.
Object *SinTwelfths(int64_t n) {
    int64_t m = ((n % 24) + 24) % 24;
    bool negative = m >= 12;
    m %= 12;
    if (m > 6) m = 12 - m;
    Object *v;
    switch (m) {
    case 0: return Int(0);
    case 2: v = Constant(kernel.constants.rationals[RAT_HALF]); break;
    case 3: v = Constant(kernel.constants.inverseSqrt2); break;
    case 4: v = Constant(kernel.constants.halfSqrt3); break;
    default: v = Int(1); break;
    }
    return negative ? Negated(v) : v;
}

// tan(n pi/12) for an n that is a multiple of 2 or 3; ComplexInfinity at
// the poles.
Object *TanTwelfths(int64_t n) {
    switch (((n % 12) + 12) % 12) {
    case 0: return Int(0);
    case 2: return Constant(kernel.constants.inverseSqrt3);
    case 3: return Int(1);
    case 4: return Constant(kernel.constants.sqrt3);
    case 6: return Constant(kernel.constants.complexInfinity);
    case 8: return Negated(Constant(kernel.constants.sqrt3));
    case 9: return Int(-1);
    default: return Negated(Constant(kernel.constants.inverseSqrt3));
    }
}

// The multiple c of pi as a count of twelfths of pi modulo 24 (a whole
// turn), when c is an Integer or a Rational of denominator 2, 3, 4 or 6;
// false otherwise. Borrows c.
bool Twelfths(Object *c, int64_t *n) {
    Object *a = c;
    int64_t q = 1;
    if (Object_IsRational(c)) {
        Object *d = AsRational(c)->denominator;
        if (Object_Subtype(d) != SUB_SMALL) return false;
        q = AsInteger(d)->small;
        if (q != 2 && q != 3 && q != 4 && q != 6) return false;
        a = AsRational(c)->numerator;
    } else if (!Object_IsInteger(c)) {
        return false;
    }
    // a mod 2q keeps the angle a pi/q modulo 2 pi.
    Object *r = nullptr;
    Object_Release(Integer_DivMod(Object_AddRef(a), Int(2 * q), &r));
    int64_t rest = Object_IsInteger(r) && Object_Subtype(r) == SUB_SMALL ? AsInteger(r)->small : 0;
    Object_Release(r);
    *n = rest * (12 / q);
    return true;
}

// The exact value of a trigonometric function (or of Exp at an imaginary
// multiple) at c pi; null when there is none. Borrows c.
Object *TrigAtPiMultiple(Function f, Object *c) {
    int64_t n;
    if (!Twelfths(c, &n)) return nullptr;
    switch (f) {
    case FN_SIN: return SinTwelfths(n);
    case FN_COS: return SinTwelfths(n + 6);
    case FN_TAN: return TanTwelfths(n);
    default: return nullptr;
    }
}

// ---- Exact inverse values ------------------------------------------------------------

// x as one of the values the trigonometric table produces on [0, 1] (and
// sqrt 3 for the arctangent), in twelfths of pi: the angle whose sine is x
// (ArcSin, ArcCos) or whose tangent is x (ArcTan); -1 when x is none of
// them. Borrows x.
int64_t InverseTwelfths(Function f, Object *x) {
    KernelConstants &k = kernel.constants;
    if (Integer_Is(x, 0)) return 0;
    if (Integer_Is(x, 1)) return f == FN_ARCTAN ? 3 : 6;
    if (f == FN_ARCTAN) {
        if (Object_Same(x, k.inverseSqrt3)) return 2;
        if (Object_Same(x, k.sqrt3)) return 4;
        return -1;
    }
    if (Object_Same(x, k.rationals[RAT_HALF])) return 2;
    if (Object_Same(x, k.inverseSqrt2)) return 3;
    if (Object_Same(x, k.halfSqrt3)) return 4;
    return -1;
}

// ArcSin, ArcCos, ArcTan at a tabled value, ArcCos also at the negatives
// of the tabled values (arccos(-x) = pi - arccos x). Null otherwise.
// Borrows x.
Object *InverseTrigValue(Function f, Object *x) {
    if (f == FN_ARCCOS) {
        int64_t n = InverseTwelfths(FN_ARCSIN, x);
        if (n >= 0) return PiTimes(Rational_Make(Int(6 - n), Int(12)));
        Ref negated(Negated(Object_AddRef(x)));
        n = InverseTwelfths(FN_ARCSIN, negated.get());
        if (n >= 0) return PiTimes(Rational_Make(Int(6 + n), Int(12)));
        return nullptr;
    }
    int64_t n = InverseTwelfths(f, x);
    return n >= 0 ? PiTimes(Rational_Make(Int(n), Int(12))) : nullptr;
}

// ---- Exact arguments -------------------------------------------------------------------

// The function at 0.
Object *AtZero(Function f) {
    switch (f) {
    case FN_EXP: case FN_COS: case FN_COSH: return Int(1);
    case FN_LOG: return Infinity(-1);
    case FN_ARCCOS: return PiOver(2);
    case FN_ARCOSH: return ImaginaryPiTimes(Constant(kernel.constants.rationals[RAT_HALF]));
    default: return Int(0);
    }
}

// f at -x for an argument x that is a negative exact number or a product
// led by a negative number, by the symmetry of f; null when f has none
// that applies. Borrows x.
Object *BySymmetry(Function f, Object *x) {
    const FunctionInfo &info = kFunctions[f];
    if (info.parity == ODD) return Negated(Call(f, Negated(Object_AddRef(x))));
    if (info.parity == EVEN) return Call(f, Negated(Object_AddRef(x)));
    if (f == FN_LOG && Number_Is(x))
        // log(-x) = log x + i pi for x > 0.
        return Arith_Plus(Call(FN_LOG, Negated(Object_AddRef(x))), ImaginaryPiTimes(Int(1)));
    if (f == FN_ARCCOS) return InverseTrigValue(f, x);
    if (f == FN_ARCOSH && Integer_Is(x, -1)) return ImaginaryPiTimes(Int(1));
    return nullptr;
}

// Exact complex arguments on the imaginary axis: sin(iy) = i sinh y and the
// like, and log(iy) = log|y| +- i pi/2. Null for others. Borrows z.
Object *ImaginaryArgument(Function f, Object *z) {
    if (Object_Subtype(z) != SUB_PLAIN || !Integer_Is(AsComplex(z)->re, 0)) return nullptr;
    Object *y = AsComplex(z)->im;
    auto times_i = [](Object *v) { return Arith_Times(ImaginaryUnit(), v); };
    switch (f) {
    case FN_SIN: return times_i(Call(FN_SINH, Object_AddRef(y)));
    case FN_SINH: return times_i(Call(FN_SIN, Object_AddRef(y)));
    case FN_COS: return Call(FN_COSH, Object_AddRef(y));
    case FN_COSH: return Call(FN_COS, Object_AddRef(y));
    case FN_TAN: return times_i(Call(FN_TANH, Object_AddRef(y)));
    case FN_TANH: return times_i(Call(FN_TAN, Object_AddRef(y)));
    case FN_ARCSIN: return times_i(Call(FN_ARSINH, Object_AddRef(y)));
    case FN_ARSINH: return times_i(Call(FN_ARCSIN, Object_AddRef(y)));
    case FN_ARCTAN: return times_i(Call(FN_ARTANH, Object_AddRef(y)));
    case FN_ARTANH: return times_i(Call(FN_ARCTAN, Object_AddRef(y)));
    case FN_LOG: {
        int s = Object_Sign(y);
        Object *magnitude = s < 0 ? Number_Negate(Object_AddRef(y)) : Object_AddRef(y);
        return Arith_Plus(Call(FN_LOG, magnitude), ImaginaryPiTimes(Rational_Make(Int(s), Int(2))));
    }
    default: return nullptr;
    }
}

// The limit of f along an infinity of the given kind (Infinity_Classify);
// null where the function stays unevaluated. re and im are the signs of
// the direction.
Object *AtInfinity(Function f, int kind, int re, int im) {
    bool real = kind == 1, complex = kind == 2, both = kind == 4;
    switch (f) {
    case FN_SIN: case FN_COS:
        if (real || both) return Indeterminate();
        if (complex && re != 0) return Constant(kernel.constants.complexInfinity);
        return nullptr;
    case FN_TAN:
        if (real || both) return Indeterminate();
        if (complex && im != 0) return Complex_MakeImaginary(Int(im));
        return nullptr;
    case FN_EXP:
        if (real) return re > 0 ? Infinity(1) : Int(0);
        if (both) return Indeterminate();
        if (complex) return re > 0 ? Constant(kernel.constants.complexInfinity) : re < 0 ? Int(0) : Indeterminate();
        return nullptr;
    case FN_LOG: case FN_ARCOSH:
        return kind != 8 ? Infinity(1) : nullptr;
    case FN_SINH: case FN_COSH:
        if (real) return Infinity(f == FN_SINH ? re : 1);
        if (both) return Indeterminate();
        if (complex && re != 0) return Constant(kernel.constants.complexInfinity);
        return nullptr;
    case FN_TANH:
        if ((real || complex) && re != 0) return Int(re);
        if (both) return Indeterminate();
        return nullptr;
    case FN_ARCTAN:
        if ((real || complex) && re != 0) return PiTimes(Rational_Make(Int(re), Int(2)));
        return nullptr;
    case FN_ARSINH:
        if ((real || complex) && re != 0) return Infinity(re);
        return nullptr;
    case FN_ARCSIN: case FN_ARCCOS:
        if (both) return Constant(kernel.constants.complexInfinity);
        if (real) {
            // arcsin x ~ -i sign(x) log|2x|, arccos x ~ i sign(x) log|2x|.
            int s = f == FN_ARCSIN ? -re : re;
            return InfinityToward(Complex_MakeImaginary(Int(s)));
        }
        return nullptr;
    case FN_ARTANH:
        if (real) return ImaginaryPiTimes(Rational_Make(Int(-re), Int(2)));
        return nullptr;
    }
    return nullptr;
}

// The leading number of a product, or null. Borrows x.
Object *LeadingNumber(Object *x) {
    if (!Native_IsCall(x, SYM_Times) || Expression_Length(x) < 2) return nullptr;
    Object *c = Expression_At(x, 1);
    return Number_Is(c) ? c : nullptr;
}

// f at an expression argument, by the rules above. Null when it stays
// unevaluated. Borrows x.
Object *ExpressionValue(Function f, Object *x) {
    if (Object *c = LeadingNumber(x); c && Expression_Length(x) == 2 && IsSymbol(Expression_At(x, 2), SYM_Pi)) {
        if (Object *v = TrigAtPiMultiple(f, c)) return v;
        // e^(i c pi) = cos(c pi) + i sin(c pi).
        if (f == FN_EXP && Object_IsComplex(c) && Object_Subtype(c) == SUB_PLAIN && Integer_Is(AsComplex(c)->re, 0)) {
            Object *cosine = TrigAtPiMultiple(FN_COS, AsComplex(c)->im);
            if (cosine) return Arith_Plus(cosine, Arith_Times(ImaginaryUnit(), TrigAtPiMultiple(FN_SIN, AsComplex(c)->im)));
        }
    }
    if (Object *c = LeadingNumber(x); c && Number_Sign(c) < 0)
        if (Object *v = BySymmetry(f, x)) return v;
    if (f == FN_ARCSIN || f == FN_ARCCOS || f == FN_ARCTAN)
        if (Object *v = InverseTrigValue(f, x)) return v;
    const FunctionInfo &info = kFunctions[f];
    if (info.inverse != SYM_COUNT && Native_IsCall(x, info.inverse) && Expression_Length(x) == 1)
        return Object_AddRef(Expression_At(x, 1));
    int re = 0, im = 0;
    if (int kind = Infinity_Classify(x, &re, &im)) return AtInfinity(f, kind, re, im);
    return nullptr;
}

// f at an exact Integer or Rational. Null when it stays unevaluated.
// Borrows x.
Object *ExactValue(Function f, Object *x) {
    if (Integer_Is(x, 0)) return AtZero(f);
    if (Number_Sign(x) < 0) return BySymmetry(f, x);
    if (Integer_Is(x, 1)) {
        if (f == FN_EXP) return Builtin(SYM_E);
        if (f == FN_LOG || f == FN_ARCOSH) return Int(0);
        if (f == FN_ARTANH) return Infinity(1);
    }
    if (f == FN_ARCSIN || f == FN_ARCCOS || f == FN_ARCTAN) return InverseTrigValue(f, x);
    return nullptr;
}

// ---- Inexact arguments ---------------------------------------------------------------

Object *FromFloat(const BigFloat *b) { return Real_Normalize(Real_FromBigFloat(b)); }

// f of a Real through its BigFloat kernel; a machine real enters with its
// 53 bits. Consumes x.
Object *KernelValue(Function f, Object *x) {
    Ref owned(x);
    LocalFloat a, r;
    Number_ToBigFloat(x, a.get(), 53);
    // A Real that is exact (an integral power of one, say) counts as a
    // value of machine precision, as exact operands of reals do.
    if (BigFloat_IsFinite(a.get()) && a->accuracy == std::numeric_limits<double>::infinity())
        BigFloat_SetPrecision(a.get(), 53, 2);
    kFunctions[f].kernel(r.get(), a.get());
    return FromFloat(r.get());
}

// The sign of x - v for a Real x, judged on its stored digits (a value
// within its error of v is taken at its stored value). Borrows x.
int CompareDigits(Object *x, int64_t v) {
    if (!Real_IsBig(x)) {
        double d = Number_ToDouble(x);
        return (d > static_cast<double>(v)) - (d < static_cast<double>(v));
    }
    LocalFloat w;
    BigFloat_SetSmall(w.get(), v);
    return BigFloat_CompareDigits(AsReal(x)->big, w.get());
}

// Whether a real x lies where f has real values. Borrows x.
bool InRealDomain(Function f, Object *x) {
    switch (f) {
    case FN_LOG: return CompareDigits(x, 0) >= 0;
    case FN_ARCSIN: case FN_ARCCOS: case FN_ARTANH: return CompareDigits(x, 1) <= 0 && CompareDigits(x, -1) >= 0;
    case FN_ARCOSH: return CompareDigits(x, 1) >= 0;
    default: return true;
    }
}

// Number arithmetic for the composed formulas, where an intermediate may
// have come out Indeterminate: anything that is not a number makes the
// result Indeterminate. Each consumes its operands.
bool BothNumbers(Object *a, Object *b) {
    if (Number_Is(a) && Number_Is(b)) return true;
    Object_Release(a);
    Object_Release(b);
    return false;
}
Object *Add(Object *a, Object *b) { return BothNumbers(a, b) ? Number_Add(a, b) : Indeterminate(); }
Object *Mul(Object *a, Object *b) { return BothNumbers(a, b) ? Number_Multiply(a, b) : Indeterminate(); }
Object *Neg(Object *a) { return Number_Is(a) ? Number_Negate(a) : Object_ReleaseReturn(a, Indeterminate()); }
Object *Half(Object *a) { return Mul(Constant(kernel.constants.rationals[RAT_HALF]), a); }
Object *NumericValue(Function f, Object *x);
// The principal square root; a complex one as exp(log(a)/2), with the
// exact 1/2, so that the exponent does not limit the precision. Consumes a.
Object *Sqrt(Object *a) {
    if (Object_IsComplex(a) && Number_IsInexact(a)) return NumericValue(FN_EXP, Half(NumericValue(FN_LOG, a)));
    return Arith_PowerPair(a, Constant(kernel.constants.rationals[RAT_HALF]), 0);
}
Object *Reciprocal(Object *a) { return Arith_PowerPair(a, Int(-1), 0); }
Object *TimesI(Object *a) { return Mul(ImaginaryUnit(), a); }
// pi at the precision of x (machine for a machine x). Borrows x.
Object *PiLike(Object *x) { return Arith_Absorb(x, PiSymbol()); }

// A result of the composed formulas is a number unless an intermediate
// was undefined; anything else becomes Indeterminate. Consumes r.
Object *AsNumber(Object *r) { return Number_Is(r) ? r : Object_ReleaseReturn(r, Indeterminate()); }

// f of a real x outside its real domain: the principal complex value from
// real functions. Consumes x.
Object *OutsideRealDomain(Function f, Object *x) {
    Ref owned(x);
    Ref pi(PiLike(x));
    if (!pi) return Indeterminate();
    int s = CompareDigits(x, 0) < 0 ? -1 : 1;
    Object *magnitude = s < 0 ? Neg(Object_AddRef(x)) : Object_AddRef(x);
    // w = log(|x| + sqrt(x^2 - 1)) for |x| > 1.
    auto w = [&] {
        Object *root = Sqrt(Add(Mul(Object_AddRef(x), Object_AddRef(x)), Int(-1)));
        return NumericValue(FN_LOG, Add(Object_AddRef(magnitude), root));
    };
    Object *r = nullptr;
    switch (f) {
    case FN_LOG:
        // log x = log|x| + i pi.
        r = Complex_Make(NumericValue(FN_LOG, Object_AddRef(magnitude)), pi.release());
        break;
    case FN_ARCSIN:
        // arcsin x = sign(x) (pi/2 - i log(|x| + sqrt(x^2 - 1))).
        r = Complex_Make(Half(Mul(Int(s), pi.release())), Mul(Int(-s), w()));
        break;
    case FN_ARCCOS:
        // arccos x = i log(x + sqrt(x^2 - 1)) for x > 1 and
        // pi - i log(|x| + sqrt(x^2 - 1)) for x < -1.
        r = s > 0 ? Complex_Make(Int(0), w()) : Complex_Make(pi.release(), Neg(w()));
        break;
    case FN_ARCOSH:
        // arcosh x = i arccos x on [-1, 1), log(|x| + sqrt(x^2 - 1)) + i pi
        // below -1.
        if (CompareDigits(x, -1) >= 0) r = Complex_Make(Int(0), NumericValue(FN_ARCCOS, Object_AddRef(x)));
        else r = Complex_Make(w(), pi.release());
        break;
    case FN_ARTANH: {
        // artanh x = log((x + 1)/(x - 1))/2 -+ i pi/2 for |x| > 1.
        Object *ratio = Mul(Add(Object_AddRef(x), Int(1)), Reciprocal(Add(Object_AddRef(x), Int(-1))));
        r = Complex_Make(Half(NumericValue(FN_LOG, ratio)), Half(Mul(Int(-s), pi.release())));
        break;
    }
    default: break;
    }
    Object_Release(magnitude);
    return r ? AsNumber(r) : Indeterminate();
}

// f of an inexact Real. Consumes x.
Object *RealValue(Function f, Object *x) {
    if (IsSaturatedReal(x)) return KernelValue(f, x);
    if (!InRealDomain(f, x)) return OutsideRealDomain(f, x);
    if (Real_IsMachine(x)) {
        double v = AsReal(x)->value;
        double r = kFunctions[f].machine(v);
        // A zero is a true zero (log 1, sin 0) except where the exponential
        // fell below the double range.
        if (std::isnormal(r) || (r == 0.0 && f != FN_EXP)) return Object_ReleaseReturn(x, Real_FromDouble(r));
        if (std::isnan(r)) return Object_ReleaseReturn(x, Indeterminate());
        // Beyond the double range (or a pole): the kernel decides, at the
        // argument's 53 bits.
    }
    return KernelValue(f, x);
}

// The parts of an inexact Complex as inexact numbers at the precision of
// the inexact part, an exact zero part kept exact. Borrows z; the parts
// are new references.
void InexactParts(Object *z, Ref *re, Ref *im) {
    Object *a = AsComplex(z)->re, *b = AsComplex(z)->im;
    bool ia = Number_IsInexact(a), ib = Number_IsInexact(b);
    auto convert = [](Object *u, Object *v) -> Object * {
        if (Number_IsInexact(v) || Integer_Is(v, 0)) return Object_AddRef(v);
        Object *w = Arith_Absorb(u, Object_AddRef(v));
        return w ? w : Object_AddRef(v);
    };
    re->reset(ia ? Object_AddRef(a) : convert(b, a));
    im->reset(ib ? Object_AddRef(b) : convert(a, b));
}

bool IsMachine(Object *o) { return Object_IsReal(o) && !Real_IsBig(o); }

// A machine complex result; a magnitude beyond the double range
// saturates.
Object *FromMachineComplex(C w) {
    if (std::isnan(w.real()) || std::isnan(w.imag())) return Indeterminate();
    if (std::isinf(w.real()) || std::isinf(w.imag())) return Complex_NewSaturated(SUB_OVERFLOW);
    return Complex_Make(Real_FromDouble(w.real()), Real_FromDouble(w.imag()));
}

// f of a complex number a + b i (parts inexact or an exact zero) in
// arbitrary precision, composed from the real functions. Borrows a, b;
// returns a number or Indeterminate.
Object *ComposedComplexValue(Function f, Object *a, Object *b) {
    auto g = [](Function h, Object *v) { return NumericValue(h, Object_AddRef(v)); };
    auto z = [&] { return Complex_Make(Object_AddRef(a), Object_AddRef(b)); };
    auto log_of = [](Object *v) { return NumericValue(FN_LOG, v); };
    Object *r = nullptr;
    switch (f) {
    case FN_EXP: {
        Object *m = g(FN_EXP, a);
        Object *re = Mul(Object_AddRef(m), g(FN_COS, b));
        r = Complex_Make(re, Mul(m, g(FN_SIN, b)));
        break;
    }
    case FN_LOG: {
        // log z = log(a^2 + b^2)/2 + i arg z.
        Object *norm = Add(Mul(Object_AddRef(a), Object_AddRef(a)), Mul(Object_AddRef(b), Object_AddRef(b)));
        Object *angle;
        if (Integer_Is(a, 0)) {
            // On the imaginary axis the angle is +-pi/2 exactly.
            Object *pi = PiLike(b);
            angle = pi ? Half(Mul(Int(Object_Sign(b)), pi)) : Indeterminate();
        } else {
            LocalFloat y, x, t;
            Number_ToBigFloat(b, y.get(), 53);
            Number_ToBigFloat(a, x.get(), 53);
            BigFloat_ArcTan2(t.get(), y.get(), x.get());
            angle = FromFloat(t.get());
        }
        r = Complex_Make(Half(log_of(norm)), angle);
        break;
    }
    case FN_SIN:
        r = Complex_Make(Mul(g(FN_SIN, a), g(FN_COSH, b)), Mul(g(FN_COS, a), g(FN_SINH, b)));
        break;
    case FN_COS:
        r = Complex_Make(Mul(g(FN_COS, a), g(FN_COSH, b)), Neg(Mul(g(FN_SIN, a), g(FN_SINH, b))));
        break;
    case FN_SINH:
        r = Complex_Make(Mul(g(FN_SINH, a), g(FN_COS, b)), Mul(g(FN_COSH, a), g(FN_SIN, b)));
        break;
    case FN_COSH:
        r = Complex_Make(Mul(g(FN_COSH, a), g(FN_COS, b)), Mul(g(FN_SINH, a), g(FN_SIN, b)));
        break;
    case FN_TAN:
        r = Mul(ComposedComplexValue(FN_SIN, a, b), Reciprocal(ComposedComplexValue(FN_COS, a, b)));
        break;
    case FN_TANH:
        r = Mul(ComposedComplexValue(FN_SINH, a, b), Reciprocal(ComposedComplexValue(FN_COSH, a, b)));
        break;
    case FN_ARCSIN: {
        // -i log(i z + sqrt(1 - z^2))
        Object *root = Sqrt(Add(Int(1), Neg(Mul(z(), z()))));
        r = Mul(Complex_MakeImaginary(Int(-1)), log_of(Add(TimesI(z()), root)));
        break;
    }
    case FN_ARCCOS: {
        // pi/2 - arcsin z
        Object *pi = PiLike(Number_IsInexact(a) ? a : b);
        Object *asin = ComposedComplexValue(FN_ARCSIN, a, b);
        r = pi ? Add(Half(pi), Neg(asin)) : Object_ReleaseReturn(asin, Indeterminate());
        break;
    }
    case FN_ARCTAN: {
        // (i/2) (log(1 - i z) - log(1 + i z))
        Object *difference = Add(log_of(Add(Int(1), Neg(TimesI(z())))), Neg(log_of(Add(Int(1), TimesI(z())))));
        r = Half(TimesI(difference));
        break;
    }
    case FN_ARSINH:
        // log(z + sqrt(z^2 + 1))
        r = log_of(Add(z(), Sqrt(Add(Mul(z(), z()), Int(1)))));
        break;
    case FN_ARCOSH:
        // log(z + sqrt(z + 1) sqrt(z - 1))
        r = log_of(Add(z(), Mul(Sqrt(Add(z(), Int(1))), Sqrt(Add(z(), Int(-1))))));
        break;
    case FN_ARTANH:
        // (log(1 + z) - log(1 - z))/2
        r = Half(Add(log_of(Add(Int(1), z())), Neg(log_of(Add(Int(1), Neg(z()))))));
        break;
    }
    return AsNumber(r);
}

// f of an inexact Complex. Consumes z.
Object *ComplexValue(Function f, Object *z) {
    Ref owned(z);
    if (Object_Subtype(z) != SUB_PLAIN) {
        // A tiny argument: the functions that vanish at 0 stay tiny, those
        // that are 1 there give 1.0.
        if (Object_Subtype(z) == SUB_UNDERFLOW) {
            switch (f) {
            case FN_EXP: case FN_COS: case FN_COSH: return Real_FromDouble(1.0);
            case FN_LOG: return Real_NewSaturated(SUB_OVERFLOW, -1);
            case FN_ARCCOS: return Real_FromDouble(M_PI / 2);
            case FN_ARCOSH: return Complex_Make(Real_FromDouble(0.0), Real_FromDouble(M_PI / 2));
            default: return owned.release();
            }
        }
        return f == FN_LOG ? Real_NewSaturated(SUB_OVERFLOW, 1) : Indeterminate();
    }
    Ref a, b;
    InexactParts(z, &a, &b);
    if (IsMachine(a.get()) || IsMachine(b.get())) {
        C w(Number_ToDouble(a.get()), Number_ToDouble(b.get()));
        return FromMachineComplex(kFunctions[f].machineComplex(w));
    }
    return ComposedComplexValue(f, a.get(), b.get());
}

// f of an inexact number. Consumes x.
Object *NumericValue(Function f, Object *x) {
    if (Object_IsComplex(x)) return ComplexValue(f, x);
    if (Object_IsReal(x)) return RealValue(f, x);
    if (Number_Is(x)) {
        // An exact value reached inside a composed formula (an exact zero
        // part): the exact rules, or else machine precision.
        if (Object *v = ExactValue(f, x)) {
            Object_Release(x);
            return v;
        }
        Object *m = Real_FromDouble(Number_ToDouble(x));
        Object_Release(x);
        return RealValue(f, m);
    }
    return Object_ReleaseReturn(x, Indeterminate());
}

// ---- The built-ins ----------------------------------------------------------------------

// f(x) for any argument; null when the call stays unevaluated. Borrows x.
Object *Value(Function f, Object *x) {
    if (IsSymbol(x, SYM_Indeterminate)) return Indeterminate();
    if (Number_IsInexact(x)) return NumericValue(f, Object_AddRef(x));
    if (Object_IsComplex(x)) return ImaginaryArgument(f, x);
    if (Number_Is(x)) return ExactValue(f, x);
    if (Object_IsSymbol(x)) {
        if (IsSymbol(x, SYM_Pi)) {
            Ref one(Int(1));
            return TrigAtPiMultiple(f, one.get());
        }
        if (IsSymbol(x, SYM_E) && f == FN_LOG) return Int(1);
        return nullptr;
    }
    if (Object_IsExpression(x)) return ExpressionValue(f, x);
    return nullptr;
}

template <Function F>
Object *Native(Object *call) {
    Object *r = Value(F, Expression_At(call, 1));
    return r ? Object_ReleaseReturn(call, r) : call;
}

Object *Builtin_Sqrt(Object *call) {
    return Arith_Power(Native_TakeArgument(call, 1), Constant(kernel.constants.rationals[RAT_HALF]));
}

// An exact k with b^k = x for positive exact rationals b != 1 and x, found
// from the doubles' quotient of logarithms and checked exactly; null when
// there is none. Borrows both.
Object *ExactLogarithm(Object *b, Object *x) {
    double lb = std::log(std::fabs(Number_ToDouble(b))), lx = std::log(std::fabs(Number_ToDouble(x)));
    if (!std::isfinite(lb) || !std::isfinite(lx) || lb == 0.0) return nullptr;
    double k = std::nearbyint(lx / lb);
    if (!(std::fabs(k) <= 4096)) return nullptr;
    Ref power(Arith_PowerPair(Object_AddRef(b), Int(static_cast<int64_t>(k)), 0));
    return Object_Same(power.get(), x) ? Int(static_cast<int64_t>(k)) : nullptr;
}

bool IsPositiveExact(Object *o) { return (Object_IsInteger(o) || Object_IsRational(o)) && Object_Sign(o) > 0; }

// Log(b, x) = log x / log b: exact when x is an exact power of b, numeric
// when either is inexact, otherwise the quotient of the logarithms.
Object *Builtin_Log(Object *call) {
    if (Expression_Length(call) == 1) return Native<FN_LOG>(call);
    Object *b = Expression_At(call, 1), *x = Expression_At(call, 2);
    if (IsPositiveExact(b) && IsPositiveExact(x) && !Integer_Is(b, 1))
        if (Object *k = ExactLogarithm(b, x)) return Object_ReleaseReturn(call, k);
    Object *lx = Call(FN_LOG, Object_AddRef(x)), *lb = Call(FN_LOG, Object_AddRef(b));
    Object_Release(call);
    return Arith_Times(lx, Arith_Power(lb, Int(-1)));
}

// ArcTan(x, y): the angle of the point (x, y) in (-pi, pi].
Object *ArcTanOfPoint(Object *x, Object *y) {
    if (IsSymbol(x, SYM_Indeterminate) || IsSymbol(y, SYM_Indeterminate)) return Indeterminate();
    bool rx = Number_Is(x) && !Object_IsComplex(x), ry = Number_Is(y) && !Object_IsComplex(y);
    if (!rx || !ry) return nullptr;
    if (Number_IsInexact(x) || Number_IsInexact(y)) {
        Ref u, v;
        u.reset(Number_IsInexact(x) ? Object_AddRef(x) : Arith_Absorb(y, Object_AddRef(x)));
        v.reset(Number_IsInexact(y) ? Object_AddRef(y) : Arith_Absorb(x, Object_AddRef(y)));
        if (!u || !v) return nullptr;
        if (IsMachine(u.get()) || IsMachine(v.get())) {
            double dy = Number_ToDouble(v.get()), dx = Number_ToDouble(u.get());
            if (dx == 0.0 && dy == 0.0) return Indeterminate();
            return Real_FromDouble(std::atan2(dy, dx));
        }
        LocalFloat a, c, r;
        Number_ToBigFloat(v.get(), a.get(), 53);
        Number_ToBigFloat(u.get(), c.get(), 53);
        BigFloat_ArcTan2(r.get(), a.get(), c.get());
        return FromFloat(r.get());
    }
    int sx = Object_Sign(x), sy = Object_Sign(y);
    if (sx == 0) return sy == 0 ? Indeterminate() : PiTimes(Rational_Make(Int(sy), Int(2)));
    Object *angle = Call(FN_ARCTAN, Arith_Times(Object_AddRef(y), Arith_Power(Object_AddRef(x), Int(-1))));
    if (sx > 0) return angle;
    return Arith_Plus(angle, PiTimes(Int(sy < 0 ? -1 : 1)));
}

Object *Builtin_ArcTan(Object *call) {
    if (Expression_Length(call) == 1) return Native<FN_ARCTAN>(call);
    Object *r = ArcTanOfPoint(Expression_At(call, 1), Expression_At(call, 2));
    return r ? Object_ReleaseReturn(call, r) : call;
}

const NativeRow kNatives[] = {
    {SYM_Sqrt, {u"Sqrt(\?)"}, Builtin_Sqrt},
    {SYM_Exp, {u"Exp(\?)"}, Native<FN_EXP>},
    {SYM_Log, {u"Log(\?)", u"Log(\?, \?)"}, Builtin_Log},
    {SYM_Sin, {u"Sin(\?)"}, Native<FN_SIN>},
    {SYM_Cos, {u"Cos(\?)"}, Native<FN_COS>},
    {SYM_Tan, {u"Tan(\?)"}, Native<FN_TAN>},
    {SYM_ArcSin, {u"ArcSin(\?)"}, Native<FN_ARCSIN>},
    {SYM_ArcCos, {u"ArcCos(\?)"}, Native<FN_ARCCOS>},
    {SYM_ArcTan, {u"ArcTan(\?)", u"ArcTan(\?, \?)"}, Builtin_ArcTan},
    {SYM_Sinh, {u"Sinh(\?)"}, Native<FN_SINH>},
    {SYM_Cosh, {u"Cosh(\?)"}, Native<FN_COSH>},
    {SYM_Tanh, {u"Tanh(\?)"}, Native<FN_TANH>},
    {SYM_ArSinh, {u"ArSinh(\?)"}, Native<FN_ARSINH>},
    {SYM_ArCosh, {u"ArCosh(\?)"}, Native<FN_ARCOSH>},
    {SYM_ArTanh, {u"ArTanh(\?)"}, Native<FN_ARTANH>},
};

}  // namespace

Object *Elementary_Exp(Object *z) { return NumericValue(FN_EXP, z); }

Object *Elementary_Log(Object *z) { return NumericValue(FN_LOG, z); }

extern const NativeTable ElementaryNatives = Table_Of(kNatives);
