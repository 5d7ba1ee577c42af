// Parts of numbers, rounding and extremes.
//
// Every function dispatches on the kind of its argument: numbers are taken
// apart or rounded directly; the positive numeric constants count as
// positive reals; expressions get the few rewrites that hold for every
// value (Abs(-2 x) is 2 Abs(x)); anything else stays as it is. Rounding a
// numeric expression asks its numeric value, first at machine precision,
// then with extra precision, and accepts an integer only when the value
// lies strictly inside the interval that integer stands for; an exact
// integer in disguise never does, and then the call stays unevaluated with
// a message rather than guessing.
#include "number/rounding.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "eval/arith.h"
#include "eval/compare.h"
#include "eval/evaluate.h"
#include "eval/native_args.h"
#include "eval/numeric.h"
#include "eval/power.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "number/real.h"
#include "object/expression.h"
#include "object/is_numeric.h"
#include "object/symbol.h"

namespace {

// Extra decimal digits (32 bits) at which the exact partner of an
// arbitrary-precision real is converted.
constexpr double kGuardDigits = 9.632959861247398;

// New references to an Integer and to Indeterminate.
Object *Int(int64_t v) { return Integer_FromSmall(v); }
Object *Indeterminate() { return Builtin(SYM_Indeterminate); }

// The identity and kind tests below borrow their operand.
bool IsIndeterminate(Object *o) { return o == BuiltinBorrowed(SYM_Indeterminate); }

// DirectedInfinity with no argument or one.
bool IsInfinity(Object *o) { return Native_IsCall(o, SYM_DirectedInfinity) && Expression_Length(o) <= 1; }

bool IsNumericConstant(Object *o) {
    if (!Object_IsSymbol(o)) return false;
    SymbolRecord *r = Symbol_Record(o, false);
    return r && (r->attributes & ATTR_NUMERIC_CONSTANT);
}

bool IsPlainComplex(Object *o) { return Object_IsComplex(o) && Object_Subtype(o) == SUB_PLAIN; }

// An Integer, Rational or Real (not a Complex).
bool IsRealNumber(Object *o) { return Object_IsInteger(o) || Object_IsRational(o) || Object_IsReal(o); }

// f(x) for the built-in f, evaluated. Consumes x.
Object *Apply(BuiltinSymbol f, Object *x) { return Object_Evaluate(Expression_New(Builtin(f), x)); }

// -x through the arithmetic, a sum term by term (the product builder
// leaves -1 outside a sum). Consumes x.
Object *Negated(Object *x) {
    if (!Native_IsCall(x, SYM_Plus)) return Arith_Times(Int(-1), x);
    Ref sum(x);
    int64_t n = Expression_Length(x);
    Object *r = Expression_NewSized(Builtin(SYM_Plus), n);
    for (int64_t i = 1; i <= n; ++i) AsExpression(r)->elements[i] = Arith_Times(Int(-1), Object_AddRef(Expression_At(x, i)));
    return Object_Evaluate(r);
}

// Whether x is a real quantity for certain: a real number, a numeric
// constant, or a numeric expression whose value at machine precision is a
// real number. Borrows x.
bool IsRealQuantity(Object *x) {
    if (Number_Is(x)) return IsRealNumber(x);
    if (IsNumericConstant(x)) return true;
    if (!Object_IsExpression(x) || !Object_IsNumeric(x)) return false;
    Ref v(Numeric_Evaluate(Object_AddRef(x), NUMERIC_MACHINE, 0));
    return IsRealNumber(v.get());
}

// The working precisions of the two attempts at a numeric decision:
// machine precision, then ExtraPrecisionLimit digits more.
double AttemptDigits(int attempt) {
    return attempt == 0 ? kMachinePrecision : kMachinePrecision + kernel.settings.extraPrecisionLimit;
}

// Whether the numeric quantity x contains a step function (a rounding, a
// sign, an argument, a remainder). Such a call still standing in x is one
// that could not be decided, and evaluated numerically it would answer
// from the digits of an uncertain value (Floor of -2.2e-16 +- 1e-15 is -1
// by its digits), so no decision built on it can be trusted. Borrows x.
bool HasOpenStep(Object *x) {
    static constexpr BuiltinSymbol kSteps[] = {SYM_Floor, SYM_Ceil, SYM_Round, SYM_Trunc, SYM_Sign, SYM_Arg, SYM_Mod};
    return !Expression_ForEachAtom(x, [](Object *a) {
        for (BuiltinSymbol s : kSteps)
            if (a == BuiltinBorrowed(s)) return false;
        return true;
    });
}

// The sign of a numeric quantity x by the numeric comparison with 0: -1, 0
// or 1, and 2 when it cannot be decided (not numeric, complex, or too
// close to 0 to tell, which the comparison reports). Borrows x.
int SignOf(Object *x) {
    if (HasOpenStep(x)) return 2;
    uint64_t r = Compare(x, kernel.constants.integers[INT_ZERO], CMP_REQ_NUMERIC);
    if (r & CMP_GREATER) return 1;
    if (r & CMP_LESS) return -1;
    if ((r & CMP_EQUAL) && !(r & (CMP_FIRST_UNORDERED | CMP_SECOND_UNORDERED))) return 0;
    return 2;
}

// The arguments left in a sum or product whose unused slots are null: the
// only one alone, else the compacted expression evaluated. Consumes rest.
Object *Remaining(Object *rest) {
    rest = Expression_Compact(rest);
    if (Expression_Length(rest) == 1) return Object_ReleaseReturn(rest, Object_AddRef(Expression_At(rest, 1)));
    return Object_Evaluate(rest);
}

// Rewrites a Plus or Times expression e through f applied to each argument:
// the arguments on which f gives something other than an f call come out
// (combined by the head of e), and f is applied to the product or sum of
// the rest. Borrows e; null when f comes out of no argument.
Object *Distribute(Object *e, BuiltinSymbol f) {
    Object *head = Expression_At(e, 0);
    bool sum = head == BuiltinBorrowed(SYM_Plus);
    int64_t n = Expression_Length(e);
    Ref out, rest(Expression_NewSized(Object_AddRef(head), n));
    int64_t kept = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(e, i);
        Ref r(Apply(f, Object_AddRef(a)));
        if (Native_IsCall(r.get(), f)) {
            AsExpression(rest.get())->elements[++kept] = Object_AddRef(a);
            continue;
        }
        if (!out) out.reset(r.release());
        else out.reset(sum ? Arith_Plus(out.release(), r.release()) : Arith_Times(out.release(), r.release()));
    }
    if (!out) return nullptr;
    if (kept == 0) return out.release();
    Object *applied = Apply(f, Remaining(rest.release()));
    return sum ? Arith_Plus(out.release(), applied) : Arith_Times(out.release(), applied);
}

// Splits the product e into its real factors (IsRealQuantity) and the rest:
// returns the product of the real factors times f(rest), or null when
// there is no real factor or nothing else. Borrows e.
Object *RealFactorsOut(Object *e, BuiltinSymbol f) {
    int64_t n = Expression_Length(e);
    Ref real, rest(Expression_NewSized(Builtin(SYM_Times), n));
    int64_t kept = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(e, i);
        if (!IsRealQuantity(a)) {
            AsExpression(rest.get())->elements[++kept] = Object_AddRef(a);
            continue;
        }
        real.reset(real ? Arith_Times(real.release(), Object_AddRef(a)) : Object_AddRef(a));
    }
    if (!real || kept == 0) return nullptr;
    return Arith_Times(real.release(), Apply(f, Remaining(rest.release())));
}

// The head of x when it is a one-argument call of one of the parts
// functions (Re, Im, Abs, Arg, Conjugate, Sign), else null. Borrows x.
Object *PartsHead(Object *x) {
    if (!Object_IsExpression(x) || Expression_Length(x) != 1) return nullptr;
    Object *h = Expression_At(x, 0);
    for (BuiltinSymbol s : {SYM_Re, SYM_Im, SYM_Abs, SYM_Arg, SYM_Conjugate, SYM_Sign})
        if (h == BuiltinBorrowed(s)) return h;
    return nullptr;
}

// Re(x), Im(x), Abs(x) and Arg(x) are real for every x.
bool IsRealPart(Object *x) {
    Object *h = PartsHead(x);
    return h && h != BuiltinBorrowed(SYM_Conjugate) && h != BuiltinBorrowed(SYM_Sign);
}

// ---- Abs ------------------------------------------------------------------------

// |x| for a number x. Borrows x; returns a new reference.
Object *AbsNumber(Object *x) {
    if (Object_IsComplex(x)) {
        if (Object_Subtype(x) == SUB_OVERFLOW) return Object_AddRef(kernel.constants.overflow);
        if (Object_Subtype(x) == SUB_UNDERFLOW) return Object_AddRef(kernel.constants.underflow);
        Complex *c = AsComplex(x);
        Object *squares = Arith_Plus(Arith_Times(Object_AddRef(c->re), Object_AddRef(c->re)),
                                     Arith_Times(Object_AddRef(c->im), Object_AddRef(c->im)));
        return Arith_Power(squares, Object_AddRef(kernel.constants.rationals[RAT_HALF]));
    }
    if (Real_IsMachine(x)) return Real_FromDouble(std::fabs(AsReal(x)->value));
    return Object_Sign(x) < 0 ? Number_Negate(Object_AddRef(x)) : Object_AddRef(x);
}

// Abs of a product: the numeric factors whose absolute values combine come
// out. Borrows e; returns the rewritten product, or null when none does.
Object *AbsProduct(Object *e) {
    int64_t n = Expression_Length(e);
    Ref out, rest(Expression_NewSized(Builtin(SYM_Times), n));
    int64_t kept = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(e, i);
        Ref r(Object_IsNumeric(a) ? Apply(SYM_Abs, Object_AddRef(a)) : nullptr);
        if (!r || Native_IsCall(r.get(), SYM_Abs)) {
            AsExpression(rest.get())->elements[++kept] = Object_AddRef(a);
            continue;
        }
        out.reset(out ? Arith_Times(out.release(), r.release()) : r.release());
    }
    if (!out) return nullptr;
    if (kept == 0) return out.release();
    return Arith_Times(out.release(), Apply(SYM_Abs, Remaining(rest.release())));
}

// The natives below consume the call and return the result.
Object *Builtin_Abs(Object *call) {
    Object *x = Expression_At(call, 1);
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (Number_Is(x)) return Object_ReleaseReturn(call, AbsNumber(x));
    if (IsNumericConstant(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (!Object_IsExpression(x)) return call;
    if (Native_IsCall(x, SYM_Times)) {
        if (Object *r = AbsProduct(x)) return Object_ReleaseReturn(call, r);
    }
    // |x^e| = |x|^e for a real exponent; a complex one also turns the phase
    // of x into a magnitude.
    if (Native_IsCall(x, SYM_Power) && Expression_Length(x) == 2 && IsRealNumber(Expression_At(x, 2))) {
        Object *base = Apply(SYM_Abs, Object_AddRef(Expression_At(x, 1)));
        return Object_ReleaseReturn(call, Arith_Power(base, Object_AddRef(Expression_At(x, 2))));
    }
    if (Native_IsCall(x, SYM_Abs) && Expression_Length(x) == 1) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (IsInfinity(x)) return Object_ReleaseReturn(call, Object_AddRef(kernel.constants.infinity));
    switch (SignOf(x)) {
    case 0:
    case 1: return Object_ReleaseReturn(call, Object_AddRef(x));
    case -1: return Object_ReleaseReturn(call, Negated(Object_AddRef(x)));
    default: return call;
    }
}

// ---- Sign -----------------------------------------------------------------------

Object *Builtin_Sign(Object *call) {
    Object *x = Expression_At(call, 1);
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (IsRealNumber(x)) return Object_ReleaseReturn(call, Int(Object_Sign(x)));
    if (IsPlainComplex(x)) {
        if (Number_IsZero(x)) return Object_ReleaseReturn(call, Int(0));
        Object *inverse = Arith_Power(AbsNumber(x), Int(-1));
        return Object_ReleaseReturn(call, Arith_Times(Object_AddRef(x), inverse));
    }
    if (IsNumericConstant(x)) return Object_ReleaseReturn(call, Int(1));
    if (!Object_IsExpression(x)) return call;
    if (Native_IsCall(x, SYM_Times)) {
        if (Object *r = Distribute(x, SYM_Sign)) return Object_ReleaseReturn(call, r);
    }
    // Sign(x^n) = Sign(x)^n for an integer n, whatever x is.
    if (Native_IsCall(x, SYM_Power) && Expression_Length(x) == 2 && Object_IsInteger(Expression_At(x, 2))) {
        Object *base = Apply(SYM_Sign, Object_AddRef(Expression_At(x, 1)));
        return Object_ReleaseReturn(call, Arith_Power(base, Object_AddRef(Expression_At(x, 2))));
    }
    if (Native_IsCall(x, SYM_Sign) && Expression_Length(x) == 1) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (IsInfinity(x) && Expression_Length(x) == 1) return Object_ReleaseReturn(call, Object_AddRef(Expression_At(x, 1)));
    int s = SignOf(x);
    return s == 2 ? call : Object_ReleaseReturn(call, Int(s));
}

// ---- Re, Im, Conjugate ----------------------------------------------------------

// The rules that Re and Im share for an expression x: real quantities,
// sums and products with real factors. Borrows x; returns the part, or
// null when no rule applies.
Object *PartOfExpression(Object *x, BuiltinSymbol f) {
    bool re = f == SYM_Re;
    if (IsRealPart(x)) return re ? Object_AddRef(x) : Int(0);
    if (Native_IsCall(x, SYM_Conjugate) && Expression_Length(x) == 1) {
        Object *p = Apply(f, Object_AddRef(Expression_At(x, 1)));
        return re ? p : Negated(p);
    }
    if (IsInfinity(x) && Expression_Length(x) == 1 && IsRealQuantity(Expression_At(x, 1)))
        return re ? Object_AddRef(x) : Int(0);
    if (IsRealQuantity(x)) return re ? Object_AddRef(x) : Int(0);
    if (Native_IsCall(x, SYM_Plus)) return Distribute(x, f);
    if (Native_IsCall(x, SYM_Times)) return RealFactorsOut(x, f);
    return nullptr;
}

// Re(x) or Im(x), by f. Consumes the call.
Object *Builtin_ReIm(Object *call, BuiltinSymbol f) {
    Object *x = Expression_At(call, 1);
    bool re = f == SYM_Re;
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (Object_IsComplex(x)) {
        if (Object_Subtype(x) != SUB_PLAIN) return Object_ReleaseReturn(call, Indeterminate());
        return Object_ReleaseReturn(call, Object_AddRef(re ? AsComplex(x)->re : AsComplex(x)->im));
    }
    if (IsRealNumber(x) || IsNumericConstant(x)) return Object_ReleaseReturn(call, re ? Object_AddRef(x) : Int(0));
    if (!Object_IsExpression(x)) return call;
    Object *r = PartOfExpression(x, f);
    return r ? Object_ReleaseReturn(call, r) : call;
}

Object *Builtin_Re(Object *call) { return Builtin_ReIm(call, SYM_Re); }
Object *Builtin_Im(Object *call) { return Builtin_ReIm(call, SYM_Im); }

Object *Builtin_Conjugate(Object *call) {
    Object *x = Expression_At(call, 1);
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (IsPlainComplex(x)) {
        Complex *c = AsComplex(x);
        Object *im = Number_Negate(Object_AddRef(c->im));
        return Object_ReleaseReturn(call, Complex_Make(Object_AddRef(c->re), im));
    }
    if (Number_Is(x) || IsNumericConstant(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (!Object_IsExpression(x)) return call;
    if (Native_IsCall(x, SYM_Conjugate) && Expression_Length(x) == 1)
        return Object_ReleaseReturn(call, Object_AddRef(Expression_At(x, 1)));
    if (IsRealPart(x) || IsRealQuantity(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (IsInfinity(x) && Expression_Length(x) == 1 && IsRealQuantity(Expression_At(x, 1)))
        return Object_ReleaseReturn(call, Object_AddRef(x));
    if (Native_IsCall(x, SYM_Plus) || Native_IsCall(x, SYM_Times)) {
        if (Object *r = Distribute(x, SYM_Conjugate)) return Object_ReleaseReturn(call, r);
    }
    // An integer power has no branch cut to cross.
    if (Native_IsCall(x, SYM_Power) && Expression_Length(x) == 2 && Object_IsInteger(Expression_At(x, 2))) {
        Ref base(Apply(SYM_Conjugate, Object_AddRef(Expression_At(x, 1))));
        if (!Native_IsCall(base.get(), SYM_Conjugate))
            return Object_ReleaseReturn(call, Arith_Power(base.release(), Object_AddRef(Expression_At(x, 2))));
    }
    return call;
}

// ---- Arg ------------------------------------------------------------------------

// The angle of the point (re, im): ArcTan(re, im), evaluated. Consumes both.
Object *Angle(Object *re, Object *im) { return Object_Evaluate(Expression_New(Builtin(SYM_ArcTan), re, im)); }

Object *Builtin_Arg(Object *call) {
    Object *x = Expression_At(call, 1);
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (IsRealNumber(x)) return Object_ReleaseReturn(call, Object_Sign(x) < 0 ? Builtin(SYM_Pi) : Int(0));
    if (IsPlainComplex(x)) {
        Complex *c = AsComplex(x);
        return Object_ReleaseReturn(call, Angle(Object_AddRef(c->re), Object_AddRef(c->im)));
    }
    if (IsNumericConstant(x)) return Object_ReleaseReturn(call, Int(0));
    if (!Object_IsExpression(x)) return call;
    if (Native_IsCall(x, SYM_Abs) && Expression_Length(x) == 1) return Object_ReleaseReturn(call, Int(0));
    if (IsInfinity(x) && Expression_Length(x) == 1)
        return Object_ReleaseReturn(call, Apply(SYM_Arg, Object_AddRef(Expression_At(x, 1))));
    if (!Object_IsNumeric(x)) return call;
    if (IsRealQuantity(x)) {
        int s = SignOf(x);
        if (s == 2) return call;
        return Object_ReleaseReturn(call, s < 0 ? Builtin(SYM_Pi) : Int(0));
    }
    // A complex quantity whose parts come out.
    Ref re(Apply(SYM_Re, Object_AddRef(x))), im(Apply(SYM_Im, Object_AddRef(x)));
    if (Native_IsCall(re.get(), SYM_Re) || Native_IsCall(im.get(), SYM_Im)) return call;
    return Object_ReleaseReturn(call, Angle(re.release(), im.release()));
}

// ---- Numerator, Denominator ------------------------------------------------------

// The denominator of a real number (1 for Integers and Reals). Borrows x.
Object *DenominatorOf(Object *x) {
    return Object_IsRational(x) ? Object_AddRef(AsRational(x)->denominator) : Int(1);
}

// The least common multiple of the denominators of the parts of a Complex.
// Borrows c.
Object *ComplexDenominator(Object *c) {
    Ref d1(DenominatorOf(AsComplex(c)->re)), d2(DenominatorOf(AsComplex(c)->im));
    if (Integer_Is(d1.get(), 1)) return d2.release();
    if (Integer_Is(d2.get(), 1)) return d1.release();
    Object *g = Integer_Gcd(Object_AddRef(d1.get()), Object_AddRef(d2.get()));
    Object *q = Integer_DivMod(d1.release(), g, nullptr);
    return Integer_Multiply(q, d2.release());
}

// Whether the exponent e makes a power a denominator: a negative real
// number, or a product that begins with one. Borrows e.
bool NegativeExponent(Object *e) {
    if (Native_IsCall(e, SYM_Times) && Expression_Length(e) >= 1) e = Expression_At(e, 1);
    return IsRealNumber(e) && Object_Sign(e) < 0;
}

// The numerator (denominator) of one factor. Borrows x; returns a new
// reference.
Object *FactorPart(Object *x, bool numerator) {
    if (Number_Is(x)) {
        if (IsRealNumber(x)) return numerator ? Object_AddRef(Object_IsRational(x) ? AsRational(x)->numerator : x)
                                              : DenominatorOf(x);
        if (!IsPlainComplex(x)) return numerator ? Object_AddRef(x) : Int(1);
        Object *d = ComplexDenominator(x);
        return numerator ? Arith_Times(Object_AddRef(x), d) : d;
    }
    if (Native_IsCall(x, SYM_Power) && Expression_Length(x) == 2 && NegativeExponent(Expression_At(x, 2))) {
        if (numerator) return Int(1);
        return Arith_Power(Object_AddRef(Expression_At(x, 1)), Negated(Object_AddRef(Expression_At(x, 2))));
    }
    return numerator ? Object_AddRef(x) : Int(1);
}

// Numerator(x) or Denominator(x). Consumes the call.
Object *NumeratorOrDenominator(Object *call, bool numerator) {
    Object *x = Expression_At(call, 1);
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (Number_Is(x)) {
        if (Object_IsComplex(x) && !IsPlainComplex(x)) return call;
        return Object_ReleaseReturn(call, FactorPart(x, numerator));
    }
    if (Object_IsSymbol(x)) return Object_ReleaseReturn(call, numerator ? Object_AddRef(x) : Int(1));
    if (!Object_IsExpression(x)) return call;
    if (!Native_IsCall(x, SYM_Times)) return Object_ReleaseReturn(call, FactorPart(x, numerator));
    Ref r(Int(1));
    for (int64_t i = 1; i <= Expression_Length(x); ++i) r.reset(Arith_Times(r.release(), FactorPart(Expression_At(x, i), numerator)));
    return Object_ReleaseReturn(call, r.release());
}

Object *Builtin_Numerator(Object *call) { return NumeratorOrDenominator(call, true); }
Object *Builtin_Denominator(Object *call) { return NumeratorOrDenominator(call, false); }

// ---- Rounding ---------------------------------------------------------------------

// The integer next to a tiny value of the given sign (a new reference).
Object *TinyRounded(int sign, RoundMode mode) {
    if (mode == ROUND_FLOOR && sign < 0) return Int(-1);
    if (mode == ROUND_CEIL && sign > 0) return Int(1);
    return Int(0);
}

// A new reference to Overflow or -Overflow.
Object *Saturated(int sign) {
    return Object_AddRef(sign < 0 ? kernel.constants.negativeOverflow : kernel.constants.overflow);
}

// t moved one step away from zero (direction sign). Consumes t.
Object *Step(Object *t, int sign) { return Integer_Add(t, Int(sign < 0 ? -1 : 1)); }

// The rounding of t + f, where t is the value truncated toward zero, sign
// the sign of the value, f its fraction described by whether it has the
// half bit and any bit below it, odd whether t is odd. Consumes t.
Object *FinishRounding(Object *t, int sign, bool half, bool sticky, bool odd, RoundMode mode) {
    bool fraction = half || sticky;
    switch (mode) {
    case ROUND_FLOOR: return fraction && sign < 0 ? Step(t, -1) : t;
    case ROUND_CEIL: return fraction && sign > 0 ? Step(t, 1) : t;
    case ROUND_NEAREST: return half && (sticky || odd) ? Step(t, sign) : t;
    default: return t;
    }
}

// A finite BigFloat rounded to an Integer. The stored digits decide; the
// error bound is the caller's concern. Borrows b.
Object *RoundFloat(const BigFloat *b, RoundMode mode) {
    switch (b->kind) {
    case FloatZero: return Int(0);
    case FloatIndeterminate: return Indeterminate();
    case FloatOverflow: return Saturated(static_cast<int>(b->sign));
    case FloatUnderflow: return TinyRounded(static_cast<int>(b->sign), mode);
    default: break;
    }
    int sign = static_cast<int>(b->sign);
    int64_t n = b->top + 1;
    BigInt view{b->sign, IntRegular, b->top, b->size, b->limbs};
    if (b->exponent >= 0) {
        Object *r = Integer_FromBigInt();
        // An integer beyond the limb limit is an overflow, found before any
        // limb is allocated.
        if (b->exponent > kernel.numbers.limbLimit - n) {
            BigInt_SetInfinite(AsInteger(r)->big, sign);
        } else {
            BigInt_Copy(AsInteger(r)->big, &view);
            BigInt_Normalize(AsInteger(r)->big);
            BigInt_Shift(AsInteger(r)->big, AsInteger(r)->big, b->exponent * LIMB_BITS);
        }
        return Integer_Normalize(r);
    }
    // The fraction occupies the lowest `fractional` limbs.
    int64_t fractional = -b->exponent;
    if (fractional > n) return TinyRounded(sign, mode);
    const Limb top = Limb(1) << (LIMB_BITS - 1);
    const Limb *limbs = b->limbs;
    bool half = limbs[fractional - 1] & top;
    bool sticky = limbs[fractional - 1] & (top - 1);
    for (int64_t i = 0; i + 1 < fractional && !sticky; ++i) sticky = limbs[i] != 0;
    bool odd = fractional < n && (limbs[fractional] & 1);
    Object *t = Integer_FromBigInt();
    if (fractional < n) {
        BigInt_Copy(AsInteger(t)->big, &view);
        BigInt_Normalize(AsInteger(t)->big);
        BigInt_Shift(AsInteger(t)->big, AsInteger(t)->big, -fractional * LIMB_BITS);
    }
    return FinishRounding(Integer_Normalize(t), sign, half, sticky, odd, mode);
}

// x rounded half to even.
double RoundHalfEven(double x) {
    if (std::fabs(x - std::trunc(x)) == 0.5) return 2 * std::round(x / 2);
    return std::round(x);
}

// A double rounded to a new Integer (Indeterminate for NaN).
Object *RoundDouble(double x, RoundMode mode) {
    if (std::isnan(x)) return Indeterminate();
    if (std::isinf(x)) return Saturated(x < 0 ? -1 : 1);
    double r;
    switch (mode) {
    case ROUND_FLOOR: r = std::floor(x); break;
    case ROUND_CEIL: r = std::ceil(x); break;
    case ROUND_NEAREST: r = RoundHalfEven(x); break;
    default: r = std::trunc(x);
    }
    if (r >= -0x1p63 && r < 0x1p63) return Int(static_cast<int64_t>(r));
    // Beyond the word every double is a whole number, held exactly.
    LocalFloat f;
    BigFloat_FromDouble(f.get(), r);
    return RoundFloat(f.get(), mode);
}

// A Rational rounded: the truncated quotient adjusted by the remainder.
// Borrows q; returns the Integer.
Object *RoundRational(Object *q, RoundMode mode) {
    Object *num = AsRational(q)->numerator, *den = AsRational(q)->denominator;
    Object *rem = nullptr;
    Object *t = Integer_DivMod(Object_AddRef(num), Object_AddRef(den), &rem);
    Ref r(rem);
    int sign = Object_Sign(num);
    if (mode != ROUND_NEAREST) return FinishRounding(t, sign, true, true, false, mode);
    // 2|r| against the denominator.
    Object *twice = Integer_Multiply(Object_Sign(rem) < 0 ? Integer_Negate(r.release()) : r.release(), Int(2));
    Ref d(Integer_Add(twice, Integer_Negate(Object_AddRef(den))));
    int c = Object_Sign(d.get());
    bool odd = Object_Subtype(t) == SUB_SMALL ? (AsInteger(t)->small & 1) : (AsInteger(t)->big->limbs[0] & 1);
    return FinishRounding(t, sign, c >= 0, c > 0, odd, mode);
}

}  // namespace

Object *Round_Number(Object *x, RoundMode mode) {
    switch (Object_Type(x)) {
    case TYPE_INTEGER: return Object_AddRef(x);
    case TYPE_RATIONAL: return RoundRational(x, mode);
    case TYPE_REAL:
        switch (Object_Subtype(x)) {
        case SUB_MACHINE: return RoundDouble(AsReal(x)->value, mode);
        case SUB_BIG: return RoundFloat(AsReal(x)->big, mode);
        case SUB_OVERFLOW: return Object_AddRef(x);
        default: return TinyRounded(Object_Sign(x), mode);
        }
    case TYPE_COMPLEX: {
        if (Object_Subtype(x) == SUB_OVERFLOW) return Object_AddRef(x);
        if (Object_Subtype(x) == SUB_UNDERFLOW)
            return mode == ROUND_NEAREST || mode == ROUND_TRUNC ? Int(0) : nullptr;
        Object *re = Round_Number(AsComplex(x)->re, mode);
        return Complex_Make(re, Round_Number(AsComplex(x)->im, mode));
    }
    default: return nullptr;
    }
}

namespace {

// The open interval, in halves around the candidate c, inside which a
// value must lie for c to be its rounding: Floor (c, c + 1), Ceil
// (c - 1, c), Round (c - 1/2, c + 1/2), Trunc like Floor above 0, like Ceil
// below, and (-1, 1) at 0.
void Interval(RoundMode mode, Object *c, int *lo, int *hi) {
    if (mode == ROUND_TRUNC) {
        int s = Object_Sign(c);
        mode = s > 0 ? ROUND_FLOOR : s < 0 ? ROUND_CEIL : ROUND_TRUNC;
    }
    switch (mode) {
    case ROUND_FLOOR: *lo = 0, *hi = 2; break;
    case ROUND_CEIL: *lo = -2, *hi = 0; break;
    case ROUND_NEAREST: *lo = -1, *hi = 1; break;
    default: *lo = -2, *hi = 2;
    }
}

// c + halves/2. Borrows c; returns a new reference.
Object *Offset(Object *c, int halves) {
    if (halves == 0) return Object_AddRef(c);
    return Number_Add(Object_AddRef(c), Rational_Make(Int(halves), Int(2)));
}

// Whether the real value v certainly rounds to c: it lies strictly inside
// c's interval, beyond the error bound of v. Borrows both.
bool Settles(Object *v, Object *c, RoundMode mode) {
    if (!Object_IsInteger(c)) return false;
    int lo, hi;
    Interval(mode, c, &lo, &hi);
    Ref low(Offset(c, lo)), high(Offset(c, hi));
    return (Compare(v, low.get(), CMP_REQ_NUMERIC) & CMP_GREATER) && (Compare(v, high.get(), CMP_REQ_NUMERIC) & CMP_LESS);
}

// The outcome of one attempt at rounding a numeric value.
enum Outcome { SETTLED, UNSETTLED, NOT_A_NUMBER };

// Rounds the numeric value v of some quantity; *result receives the integer
// when it is certain. An exact value is its own proof; an inexact one must
// lie inside the interval of its candidate, part by part for a Complex.
// Borrows v.
Outcome RoundValue(Object *v, RoundMode mode, Object **result) {
    if (!Number_Is(v)) return NOT_A_NUMBER;
    if (!Number_IsInexact(v)) {
        *result = Round_Number(v, mode);
        return SETTLED;
    }
    Object *parts[2] = {v, nullptr};
    if (Object_IsComplex(v)) {
        if (!IsPlainComplex(v)) return UNSETTLED;
        parts[0] = AsComplex(v)->re;
        parts[1] = AsComplex(v)->im;
    }
    Ref rounded[2];
    for (int i = 0; i < 2 && parts[i]; ++i) {
        Object *p = parts[i];
        // Above the range, or no value: nothing to round.
        if (Object_IsReal(p) && (Object_Subtype(p) == SUB_OVERFLOW || std::isnan(Number_ToDouble(p)))) return UNSETTLED;
        rounded[i].reset(Round_Number(p, mode));
        if (!Number_IsInexact(p) || Object_Subtype(p) == SUB_UNDERFLOW) continue;
        if (!Settles(p, rounded[i].get(), mode)) return UNSETTLED;
    }
    *result = parts[1] ? Complex_Make(rounded[0].release(), rounded[1].release()) : rounded[0].release();
    return SETTLED;
}


// The rounding of the numeric quantity q, when the two attempts settle it,
// else null. A quantity that has no value in arbitrary precision (a
// function known only on machine numbers) is judged by its machine value.
// Borrows q; *unsettled tells whether the values were numbers too close
// to tell, *complex whether they were complex.
Object *DecideRounding(Object *q, RoundMode mode, bool *unsettled, bool *complex) {
    *unsettled = false;
    *complex = false;
    Object *result = nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        Ref v(Numeric_DecisionValue(Object_AddRef(q), AttemptDigits(attempt)));
        Outcome o = RoundValue(v.get(), mode, &result);
        if (o == SETTLED) return result;
        if (o == NOT_A_NUMBER) {
            if (attempt == 1) break;
            Ref m(Numeric_Evaluate(Object_AddRef(q), NUMERIC_MACHINE, 0));
            return RoundValue(m.get(), mode, &result) == SETTLED ? result : nullptr;
        }
        *unsettled = true;
        *complex = Object_IsComplex(v.get());
    }
    return nullptr;
}

Object *RoundNumeric(Object *x, RoundMode mode, BuiltinSymbol function, bool split);


// A real numeric quantity rounded: a number directly, an expression by
// its numeric value. Borrows x; null when undecided.
Object *RoundPart(Object *x, RoundMode mode, BuiltinSymbol function) {
    if (Number_Is(x)) return Round_Number(x, mode);
    if (Object_IsSymbol(x) || !Object_IsNumeric(x)) return Object_Evaluate(Expression_New(Builtin(function), Object_AddRef(x)));
    return RoundNumeric(x, mode, function, false);
}

// The rounding of the numeric expression x. A complex value whose parts
// cannot be told apart from integers as a whole (3 + I 2^(1/2): the real
// part 3 carries an error bound once evaluated) is rounded part by part
// when its real and imaginary parts come out symbolically, so that an
// exact part stays exact. Borrows x; null when undecided, after the
// message of `function` when the values were numbers too close to tell.
Object *RoundNumeric(Object *x, RoundMode mode, BuiltinSymbol function, bool split) {
    bool unsettled = HasOpenStep(x), complex = false;
    if (!unsettled) {
        if (Object *r = DecideRounding(x, mode, &unsettled, &complex)) return r;
    }
    if (!unsettled) return nullptr;
    if (split && complex) {
        Ref re(Apply(SYM_Re, Object_AddRef(x))), im(Apply(SYM_Im, Object_AddRef(x)));
        if (!Native_IsCall(re.get(), SYM_Re) && !Native_IsCall(im.get(), SYM_Im)) {
            Ref a(RoundPart(re.get(), mode, function));
            Ref b(a && Object_IsInteger(a.get()) ? RoundPart(im.get(), mode, function) : nullptr);
            if (b && Object_IsInteger(b.get())) return Complex_Make(a.release(), b.release());
            return nullptr;
        }
    }
    Message_Emit(BuiltinNames[function], u"ExtraPrecisionLimit",
                 Message_IntegerText(std::llround(kernel.settings.extraPrecisionLimit)));
    return nullptr;
}

// The roundings of the positive constants: Floor, Ceil and Round of each.
struct ConstantRounding {
    BuiltinSymbol symbol;
    int64_t floor, ceil, round;
};

const ConstantRounding kConstantRoundings[] = {
    {SYM_E, 2, 3, 3},
    {SYM_Pi, 3, 4, 3},
    {SYM_EulerMascheroni, 0, 1, 1},
    {SYM_GoldenRatio, 1, 2, 2},
    {SYM_GoldenAngle, 2, 3, 2},
    {SYM_MachinePrecision, 15, 16, 16},
};

// Floor, Ceil, Round or Trunc of the call's argument, by mode; function
// names the built-in for the message. Consumes the call.
Object *RoundCall(Object *call, RoundMode mode, BuiltinSymbol function) {
    Object *x = Expression_At(call, 1);
    if (IsIndeterminate(x)) return Object_ReleaseReturn(call, Indeterminate());
    if (Number_Is(x)) {
        Object *r = Round_Number(x, mode);
        return r ? Object_ReleaseReturn(call, r) : call;
    }
    if (Object_IsSymbol(x)) {
        for (const ConstantRounding &c : kConstantRoundings) {
            if (x != BuiltinBorrowed(c.symbol)) continue;
            int64_t v = mode == ROUND_CEIL ? c.ceil : mode == ROUND_NEAREST ? c.round : c.floor;
            return Object_ReleaseReturn(call, Int(v));
        }
        return call;
    }
    if (IsInfinity(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (!Object_IsExpression(x)) return call;
    // A rounding is a whole number already, whatever its argument.
    for (BuiltinSymbol f : {SYM_Floor, SYM_Ceil, SYM_Round, SYM_Trunc})
        if (Native_IsCall(x, f) && Expression_Length(x) == 1) return Object_ReleaseReturn(call, Object_AddRef(x));
    if (!Object_IsNumeric(x)) return call;
    Object *r = RoundNumeric(x, mode, function, true);
    return r ? Object_ReleaseReturn(call, r) : call;
}

Object *Builtin_Floor(Object *call) { return RoundCall(call, ROUND_FLOOR, SYM_Floor); }
Object *Builtin_Ceil(Object *call) { return RoundCall(call, ROUND_CEIL, SYM_Ceil); }
Object *Builtin_Round(Object *call) { return RoundCall(call, ROUND_NEAREST, SYM_Round); }
Object *Builtin_Trunc(Object *call) { return RoundCall(call, ROUND_TRUNC, SYM_Trunc); }

// ---- Mod ------------------------------------------------------------------------------

// The floored remainder of two Integers, b not zero: it has the sign of b.
// Borrows both.
Object *IntegerMod(Object *a, Object *b) {
    if (Object_Subtype(a) == SUB_SMALL && Object_Subtype(b) == SUB_SMALL) {
        int64_t x = AsInteger(a)->small, y = AsInteger(b)->small;
        // -2^63 rem -1 traps on the machine; every remainder by -1 is 0.
        if (y == -1) return Int(0);
        int64_t r = x % y;
        if (r != 0 && (r < 0) != (y < 0)) r += y;
        return Int(r);
    }
    Object *rem = nullptr;
    Object_Release(Integer_DivMod(Object_AddRef(a), Object_AddRef(b), &rem));
    if (Object_Sign(rem) != 0 && Object_Sign(rem) != Object_Sign(b)) return Integer_Add(rem, Object_AddRef(b));
    return rem;
}

// a - b Floor(a/b) for two numbers (b not zero), the floor taken of each
// part of a complex quotient. Borrows both.
Object *ModByFloor(Object *a, Object *b) {
    Ref q(Arith_Times(Object_AddRef(a), Arith_Power(Object_AddRef(b), Int(-1))));
    Ref f(Round_Number(q.get(), ROUND_FLOOR));
    if (!f || !Number_Is(f.get())) return Indeterminate();
    return Arith_Plus(Object_AddRef(a), Negated(Arith_Times(Object_AddRef(b), f.release())));
}

// The floored remainder of machine doubles, as a new Real.
Object *MachineMod(double x, double y) {
    double r = std::fmod(x, y);
    if (r != 0 && (r < 0) != (y < 0)) r += y;
    return Real_Normalize(Real_FromDouble(r));
}

// Two real numbers, at least one of them a Real, b not zero. Borrows both;
// returns the remainder.
Object *RealMod(Object *a, Object *b) {
    bool machine = (Object_IsReal(a) && !Real_IsBig(a)) || (Object_IsReal(b) && !Real_IsBig(b));
    if (machine) return MachineMod(Number_ToDouble(a), Number_ToDouble(b));
    // Arbitrary precision: the exact partner at the Real's precision.
    Object *real = Object_IsReal(a) ? a : b;
    double digits = Object_Precision(real) + kGuardDigits;
    Ref x(Object_IsReal(a) ? Object_AddRef(a) : Numeric_Evaluate(Object_AddRef(a), NUMERIC_PRECISION, digits));
    Ref y(Object_IsReal(b) ? Object_AddRef(b) : Numeric_Evaluate(Object_AddRef(b), NUMERIC_PRECISION, digits));
    return ModByFloor(x.get(), y.get());
}

// Mod of two numbers, b not zero. Borrows both; returns the remainder, or
// null for the saturated complex values.
Object *NumberMod(Object *a, Object *b) {
    if (Object_IsInteger(a) && Object_IsInteger(b)) return IntegerMod(a, b);
    if (IsRealNumber(a) && IsRealNumber(b) && (Object_IsReal(a) || Object_IsReal(b))) return RealMod(a, b);
    if (Object_IsComplex(a) && !IsPlainComplex(a)) return nullptr;
    if (Object_IsComplex(b) && !IsPlainComplex(b)) return nullptr;
    return ModByFloor(a, b);
}

Object *Builtin_Mod(Object *call) {
    Ref a(Object_AddRef(Expression_At(call, 1))), b(Object_AddRef(Expression_At(call, 2)));
    if (IsIndeterminate(a.get()) || IsIndeterminate(b.get())) return Object_ReleaseReturn(call, Indeterminate());
    if (Number_Is(b.get()) && Number_IsZero(b.get())) return Object_ReleaseReturn(call, Indeterminate());
    // An inexact number meets a numeric quantity at its own precision.
    if (Number_Is(a.get()) != Number_Is(b.get())) {
        Ref &n = Number_Is(a.get()) ? a : b, &other = Number_Is(a.get()) ? b : a;
        if (Number_IsInexact(n.get()) && Object_IsNumeric(other.get())) {
            Object *v = Arith_Absorb(n.get(), Object_AddRef(other.get()));
            if (!v) return call;
            other.reset(v);
            if (Number_IsZero(b.get())) return Object_ReleaseReturn(call, Indeterminate());
        }
    }
    if (Number_Is(a.get()) && Number_Is(b.get())) {
        Object *r = NumberMod(a.get(), b.get());
        return r ? Object_ReleaseReturn(call, r) : call;
    }
    if (!Object_IsNumeric(a.get()) || !Object_IsNumeric(b.get())) return call;
    // Numeric quantities: a - b Floor(a/b) once the floor is certain.
    Ref q(Arith_Times(Object_AddRef(a.get()), Arith_Power(Object_AddRef(b.get()), Int(-1))));
    Ref f;
    if (Number_Is(q.get())) {
        f.reset(Round_Number(q.get(), ROUND_FLOOR));
    } else if (Object_IsNumeric(q.get()) && !HasOpenStep(q.get())) {
        bool unsettled, complex;
        f.reset(DecideRounding(q.get(), ROUND_FLOOR, &unsettled, &complex));
    }
    if (!f || !Object_IsInteger(f.get())) return call;
    Object *r = Arith_Plus(a.release(), Negated(Arith_Times(b.release(), f.release())));
    return Object_ReleaseReturn(call, r);
}

// ---- Max, Min -----------------------------------------------------------------------

// Max (greatest = true) and Min: a running extreme over the arguments, lists
// spliced in place as they are met; arguments whose relation to the
// extreme cannot be decided are kept beside it. Consumes the call.
Object *Extreme(Object *call, bool greatest) {
    int64_t n = Expression_Length(call);
    Object *head = Expression_At(call, 0);
    Object *start = greatest ? kernel.constants.negativeInfinity : kernel.constants.infinity;
    if (n == 0) return Object_ReleaseReturn(call, Object_AddRef(start));
    if (n == 1 && !Native_IsList(Expression_At(call, 1))) return Object_ReleaseReturn(call, Object_AddRef(Expression_At(call, 1)));
    uint64_t beats = greatest ? CMP_GREATER : CMP_LESS;
    uint64_t yields = greatest ? CMP_LESS : CMP_GREATER;
    Ref m(Object_AddRef(start));
    bool set = false;
    std::vector<Object *> kept;  // borrowed from call
    // The lists being walked, innermost last, each with its next position.
    struct Frame {
        Object *list;
        int64_t next;
    };
    std::vector<Frame> frames{{call, 1}};
    while (!frames.empty()) {
        Frame &f = frames.back();
        if (f.next > Expression_Length(f.list)) {
            frames.pop_back();
            continue;
        }
        Object *a = Expression_At(f.list, f.next++);
        if (Native_IsList(a)) {
            frames.push_back({a, 1});
            continue;
        }
        uint64_t r = Compare(a, m.get(), CMP_REQ_NUMERIC);
        bool replaces = r & beats;
        if (!replaces && (r & CMP_EQUAL)) {
            // Among equal values the canonically later (Max) or earlier
            // (Min) one, so that the result does not depend on the order.
            uint64_t order = Compare(m.get(), a, CMP_REQ_ORDER);
            replaces = order & (greatest ? CMP_BEFORE : CMP_AFTER);
            if (!replaces) continue;
        }
        if (replaces) {
            m.reset(Object_AddRef(a));
            set = true;
            continue;
        }
        if (r & yields) continue;
        bool duplicate = false;
        for (Object *k : kept) duplicate = duplicate || Object_Same(k, a);
        if (!duplicate) kept.push_back(a);
    }
    if (kept.empty()) return Object_ReleaseReturn(call, m.release());
    if (!set && kept.size() == 1) return Object_ReleaseReturn(call, Object_AddRef(kept[0]));
    auto count = static_cast<int64_t>(kept.size() + (set ? 1 : 0));
    // Unchanged: the call itself, already in its final form.
    bool same = !set && count == n;
    for (int64_t i = 0; same && i < count; ++i) same = kept[size_t(i)] == Expression_At(call, i + 1);
    if (same) return call;
    Object *result = Expression_NewSized(Object_AddRef(head), count);
    for (size_t i = 0; i < kept.size(); ++i) AsExpression(result)->elements[i + 1] = Object_AddRef(kept[i]);
    if (set) AsExpression(result)->elements[count] = m.release();
    Object_Release(call);
    Definition_ApplyUser(&result, nullptr, nullptr, nullptr);
    return result;
}

Object *Builtin_Max(Object *call) { return Extreme(call, true); }
Object *Builtin_Min(Object *call) { return Extreme(call, false); }

// ---- ShiftLeft, ShiftRight ------------------------------------------------------------

// A shift count: k (positive to the left) when it fits a word, else only
// its sign; exponent is the count as an Integer (borrowed).
struct ShiftCount {
    bool huge;
    int sign;
    int64_t k;
    Object *exponent;
};

// The overflow of an integer result with the given sign: Integer::Overflow
// and a new reference to Overflow or -Overflow.
Object *IntegerOverflow(int sign) {
    Object *r = Integer_FromBigInt();
    BigInt_SetInfinite(AsInteger(r)->big, sign);
    return Integer_Normalize(r);
}

// x * 2^k computed exactly. Consumes x.
Object *TimesPowerOfTwo(Object *x, const ShiftCount &s) {
    return Arith_Times(x, Arith_Power(Int(2), Object_AddRef(s.exponent)));
}

// An Integer shifted. Borrows x; returns a new reference.
Object *ShiftInteger(Object *x, const ShiftCount &s, bool rationalize) {
    if (Object_Sign(x) == 0) return Int(0);
    if (rationalize && s.sign < 0) return TimesPowerOfTwo(Object_AddRef(x), s);
    if (s.huge) return s.sign > 0 ? IntegerOverflow(Object_Sign(x)) : Int(0);
    int64_t k = s.k;
    if (Object_Subtype(x) == SUB_SMALL) {
        int64_t v = AsInteger(x)->small;
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        int bits = 63 - __builtin_clzll(magnitude);  // floor(log2 |v|)
        if (k < 0) {
            uint64_t m = 0 - static_cast<uint64_t>(k);
            if (v >= 0) return Int(m >= 64 ? 0 : v >> m);
            return Int(m <= static_cast<uint64_t>(bits) ? v >> m : 0);
        }
        if (k + bits <= 62) return Int(static_cast<int64_t>(static_cast<uint64_t>(v) << k));
    }
    Object *r = Integer_FromBigInt();
    if (Object_Subtype(x) == SUB_SMALL) BigInt_SetSmall(AsInteger(r)->big, AsInteger(x)->small);
    else BigInt_Copy(AsInteger(r)->big, AsInteger(x)->big);
    BigInt_Shift(AsInteger(r)->big, AsInteger(r)->big, k);
    return Integer_Normalize(r);
}

// Beyond this many bits a scaled real saturates: its accuracy, a double,
// would no longer resolve single bits, and its precision would be lost.
constexpr int64_t kScaleLimit = int64_t(1) << 48;

// A Real scaled by 2^k, saturating beyond the range. Borrows x; returns a
// new reference.
Object *ShiftReal(Object *x, const ShiftCount &s) {
    if (Object_Subtype(x) == SUB_OVERFLOW || Object_Subtype(x) == SUB_UNDERFLOW || Number_IsZero(x))
        return Object_AddRef(x);
    int sign = Object_Sign(x);
    bool saturate = s.huge || s.k > kScaleLimit || s.k < -kScaleLimit;
    if (saturate) return Real_NewSaturated(s.sign > 0 ? SUB_OVERFLOW : SUB_UNDERFLOW, sign);
    if (Real_IsMachine(x)) {
        // Past 4096 bits either way every double saturates.
        int e = static_cast<int>(s.k > 4096 ? 4096 : s.k < -4096 ? -4096 : s.k);
        double r = std::ldexp(AsReal(x)->value, e);
        if (r == 0) return Real_NewSaturated(SUB_UNDERFLOW, sign);
        return Real_FromDouble(r);
    }
    Object *r = Object_Clone(x);
    BigFloat_Scale(AsReal(r)->big, s.k);
    BigFloat_Normalize(AsReal(r)->big);
    return Real_Normalize(r);
}

// A number shifted; null when the shift has no meaning for it. Borrows x.
Object *ShiftNumber(Object *x, const ShiftCount &s, bool rationalize) {
    switch (Object_Type(x)) {
    case TYPE_INTEGER: return ShiftInteger(x, s, rationalize);
    case TYPE_RATIONAL: return TimesPowerOfTwo(Object_AddRef(x), s);
    case TYPE_REAL: return ShiftReal(x, s);
    case TYPE_COMPLEX: {
        if (!IsPlainComplex(x)) return Object_AddRef(x);
        Object *re = ShiftNumber(AsComplex(x)->re, s, rationalize);
        return Complex_Make(re, ShiftNumber(AsComplex(x)->im, s, rationalize));
    }
    default: return nullptr;
    }
}

// ShiftLeft (left) or ShiftRight. Consumes the call.
Object *Shift(Object *call, bool left) {
    Object *x = Expression_At(call, 1);
    Object *n = Expression_Length(call) >= 2 && Object_IsInteger(Expression_At(call, 2)) ? Expression_At(call, 2) : nullptr;
    Ref exponent(n ? Object_AddRef(n) : Int(1));
    if (!left) exponent.reset(Integer_Negate(exponent.release()));
    ShiftCount s{false, Object_Sign(exponent.get()), 0, exponent.get()};
    if (Object_Subtype(exponent.get()) == SUB_BIG) s.huge = true;
    else s.k = AsInteger(exponent.get())->small;
    if (!s.huge && s.k == 0 && Number_Is(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    Object *option = Native_Option(SYM_Rationalize);
    bool rationalize = option == BuiltinBorrowed(SYM_True);
    Object *r = Number_Is(x) ? ShiftNumber(x, s, rationalize) : nullptr;
    return r ? Object_ReleaseReturn(call, r) : call;
}

Object *Builtin_ShiftLeft(Object *call) { return Shift(call, true); }
Object *Builtin_ShiftRight(Object *call) { return Shift(call, false); }

const NativeRow kNatives[] = {
    {SYM_Abs, {u"Abs(\?)"}, Builtin_Abs},
    {SYM_Arg, {u"Arg(\?)"}, Builtin_Arg},
    {SYM_Ceil, {u"Ceil(\?)"}, Builtin_Ceil},
    {SYM_Conjugate, {u"Conjugate(\?)"}, Builtin_Conjugate},
    {SYM_Denominator, {u"Denominator(\?)"}, Builtin_Denominator},
    {SYM_Floor, {u"Floor(\?)"}, Builtin_Floor},
    {SYM_Im, {u"Im(\?)"}, Builtin_Im},
    {SYM_Max, {u"Max(\?\?\?)"}, Builtin_Max},
    {SYM_Min, {u"Min(\?\?\?)"}, Builtin_Min},
    {SYM_Mod, {u"Mod(\?, \?)"}, Builtin_Mod},
    {SYM_Numerator, {u"Numerator(\?)"}, Builtin_Numerator},
    {SYM_Re, {u"Re(\?)"}, Builtin_Re},
    {SYM_Round, {u"Round(\?)"}, Builtin_Round},
    {SYM_ShiftLeft,
     {u"ShiftLeft(\?, Options(Rationalize -> False))", u"ShiftLeft(\?, \?Integer, Options(Rationalize -> False))"},
     Builtin_ShiftLeft},
    {SYM_ShiftRight,
     {u"ShiftRight(\?, Options(Rationalize -> False))", u"ShiftRight(\?, \?Integer, Options(Rationalize -> False))"},
     Builtin_ShiftRight},
    {SYM_Sign, {u"Sign(\?)"}, Builtin_Sign},
    {SYM_Trunc, {u"Trunc(\?)"}, Builtin_Trunc},
};

}  // namespace

extern const NativeTable RoundingNatives = Table_Of(kNatives);
