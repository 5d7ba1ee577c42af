// Sums and products of number objects of every class pair.
#include "number/number_arith.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/rational.h"
#include "number/real.h"

namespace {

// The classes and subtypes the pair rules tell apart.
enum Kind {
    K_INTEGER,
    K_RATIONAL,
    K_MACHINE,
    K_BIG,
    K_OVERFLOW,
    K_UNDERFLOW,
    K_COMPLEX,
    K_COMPLEX_OVERFLOW,
    K_COMPLEX_UNDERFLOW,
};

Kind KindOf(Object *o) {
    switch (Object_Type(o)) {
    case TYPE_INTEGER: return K_INTEGER;
    case TYPE_RATIONAL: return K_RATIONAL;
    case TYPE_REAL:
        switch (Object_Subtype(o)) {
        case SUB_BIG: return K_BIG;
        case SUB_OVERFLOW: return K_OVERFLOW;
        case SUB_UNDERFLOW: return K_UNDERFLOW;
        default: return K_MACHINE;
        }
    default:
        switch (Object_Subtype(o)) {
        case SUB_OVERFLOW: return K_COMPLEX_OVERFLOW;
        case SUB_UNDERFLOW: return K_COMPLEX_UNDERFLOW;
        default: return K_COMPLEX;
        }
    }
}

bool IsExact(Kind k) { return k == K_INTEGER || k == K_RATIONAL; }
bool IsComplexKind(Kind k) { return k >= K_COMPLEX; }

void IntegerToBigFloat(Object *i, BigFloat *dst) {
    if (Object_Subtype(i) == SUB_SMALL) {
        BigFloat_SetSmall(dst, AsInteger(i)->small);
    } else {
        BigFloat_FromBigInt(dst, AsInteger(i)->big);
    }
}

enum class Op { Add, Multiply };

// log2 |x| of a finite non-zero exact number, roughly: enough to size a
// conversion.
double ExactMagnitude(Object *o) {
    double d = std::fabs(Number_ToDouble(o));
    if (d == 0.0) return 0.0;
    if (std::isinf(d)) return 1024.0;
    return std::log2(d);
}

// Whether the double r of a machine sum or product of a and b left the
// normal range: it is subnormal or infinite, or it is a product that
// rounded to 0 (or had a factor whose double is 0) while neither factor is
// zero. A sum can only be 0 by cancelling exactly, which is its true value.
// Borrows a and b.
bool LeftDoubleRange(Op op, double r, Object *a, Object *b) {
    int c = std::fpclassify(r);
    if (c == FP_SUBNORMAL || c == FP_INFINITE) return true;
    return op == Op::Multiply && c == FP_ZERO && !Number_IsZero(a) && !Number_IsZero(b);
}

// Consumes a and b; returns the Real made from the record, normalised.
Object *FromRecord(Object *a, Object *b, const BigFloat *r) {
    Object_Release(a);
    Object_Release(b);
    return Real_Normalize(Real_FromBigFloat(r));
}

// The operation on two records.
void Combine(Op op, BigFloat *dst, const BigFloat *x, const BigFloat *y) {
    if (op == Op::Add) BigFloat_Add(dst, x, y);
    else BigFloat_Mul(dst, x, y);
}

double CombineDoubles(Op op, double x, double y) { return op == Op::Add ? x + y : x * y; }

// An exact operand meeting an arbitrary-precision one: the conversion
// carries 32 bits more than the other operand can justify in the result,
// so it adds no error of its own that matters.
double ConversionBits(Op op, Object *exact, const BigFloat *other) {
    double bits = op == Op::Add ? other->accuracy + ExactMagnitude(exact) : BigFloat_Precision(other);
    if (!std::isfinite(bits)) bits = 64;
    return std::max(bits, 32.0) + 32;
}

// Reals and exact numbers without Complex and without saturated values,
// by the subtype-pair rules: machine arithmetic whenever a machine real
// takes part (continued in arbitrary precision when the double result
// leaves the normal range), BigFloat arithmetic otherwise. Consumes both.
Object *RealPair(Op op, Object *a, Object *b) {
    Kind ka = KindOf(a), kb = KindOf(b);
    if (ka == K_MACHINE || kb == K_MACHINE) {
        double x = Number_ToDouble(a), y = Number_ToDouble(b);
        double r = CombineDoubles(op, x, y);
        if (!LeftDoubleRange(op, r, a, b)) {
            Object_Release(a);
            Object_Release(b);
            return Real_Normalize(Real_FromDouble(r));
        }
        // Out of the double range, above or below: redo it with records of
        // about 53 bits.
        LocalFloat fx, fy, fr;
        for (auto [o, f] : {std::pair{a, fx.get()}, std::pair{b, fy.get()}}) {
            Kind k = KindOf(o);
            if (k == K_MACHINE) {
                BigFloat_FromDouble(f, AsReal(o)->value);
            } else {
                Number_ToBigFloat(o, f, 64);
                if (IsExact(k)) BigFloat_SetPrecision(f, 53, 2);
            }
        }
        Combine(op, fr.get(), fx.get(), fy.get());
        return FromRecord(a, b, fr.get());
    }
    LocalFloat fx, fy, fr;
    if (ka == K_BIG && kb == K_BIG) {
        Combine(op, fr.get(), AsReal(a)->big, AsReal(b)->big);
        return FromRecord(a, b, fr.get());
    }
    // One exact operand and one arbitrary-precision real. The exact 0 times
    // a finite record is exactly 0; as a record it would be a zero without
    // error bound, a Real that claims to be exact.
    Object *exact = ka == K_BIG ? b : a;
    const BigFloat *other = AsReal(ka == K_BIG ? a : b)->big;
    if (op == Op::Multiply && Integer_Is(exact, 0) && BigFloat_IsFinite(other))
        return Object_ReleaseReturn(ka == K_BIG ? a : b, exact);
    Number_ToBigFloat(exact, fx.get(), ConversionBits(op, exact, other));
    Combine(op, fr.get(), other, fx.get());
    return FromRecord(a, b, fr.get());
}

Object *Saturated(uint64_t subtype, int sign) {
    if (subtype == SUB_OVERFLOW)
        return Object_AddRef(sign < 0 ? kernel.constants.negativeOverflow : kernel.constants.overflow);
    return Object_AddRef(sign < 0 ? kernel.constants.negativeUnderflow : kernel.constants.underflow);
}

// A sum with an Overflow or Underflow real (and no Complex operand).
Object *SaturatedSum(Object *a, Object *b) {
    Kind ka = KindOf(a), kb = KindOf(b);
    if (kb == K_OVERFLOW && ka != K_OVERFLOW) std::swap(a, b), std::swap(ka, kb);
    if (ka == K_OVERFLOW) {
        if (kb == K_OVERFLOW && Object_Sign(a) != Object_Sign(b)) {
            Object_Release(a);
            Object_Release(b);
            return Complex_NewSaturated(SUB_OVERFLOW);
        }
        return Object_ReleaseReturn(b, a);
    }
    if (kb == K_UNDERFLOW && ka != K_UNDERFLOW) std::swap(a, b), std::swap(ka, kb);
    if (kb == K_UNDERFLOW) {
        if (Object_Sign(a) != Object_Sign(b)) {
            Object_Release(a);
            Object_Release(b);
            return Complex_NewSaturated(SUB_UNDERFLOW);
        }
        return Object_ReleaseReturn(b, a);
    }
    // a is Underflow, b a finite number: the tiny value disappears unless b
    // is zero.
    if (Number_IsZero(b)) return Object_ReleaseReturn(b, a);
    return Object_ReleaseReturn(a, b);
}

// A product with an Overflow or Underflow real (and no Complex operand):
// the special kinds of BigFloat multiplication decide.
Object *SaturatedProduct(Object *a, Object *b) {
    LocalFloat fx, fy, fr;
    Number_ToBigFloat(a, fx.get(), 64);
    Number_ToBigFloat(b, fy.get(), 64);
    BigFloat_Mul(fr.get(), fx.get(), fy.get());
    Object_Release(a);
    Object_Release(b);
    if (fr->kind == FloatOverflow || fr->kind == FloatUnderflow)
        return Saturated(fr->kind == FloatOverflow ? SUB_OVERFLOW : SUB_UNDERFLOW, static_cast<int>(fr->sign));
    if (fr->kind == FloatIndeterminate) return Builtin(SYM_Indeterminate);
    return Real_Normalize(Real_FromBigFloat(fr.get()));
}

// A number converted to machine precision: machine reals stay, exact
// numbers and arbitrary-precision reals become doubles. Consumes o.
Object *ToMachine(Object *o) {
    switch (KindOf(o)) {
    case K_INTEGER:
    case K_RATIONAL:
    case K_BIG: {
        double d = Number_ToDouble(o);
        return Object_ReleaseReturn(o, Real_Normalize(Real_FromDouble(d)));
    }
    case K_COMPLEX: {
        Complex *c = AsComplex(o);
        Object *re = ToMachine(Object_AddRef(c->re)), *im = ToMachine(Object_AddRef(c->im));
        Object_Release(o);
        return Complex_Make(re, im);
    }
    default: return o;
    }
}

// Sums and products with at least one Complex operand.
Object *ComplexPair(Op op, Object *a, Object *b) {
    Kind ka = KindOf(a), kb = KindOf(b);
    if (op == Op::Multiply && ((ka == K_COMPLEX_OVERFLOW && kb == K_COMPLEX_UNDERFLOW) ||
                               (ka == K_COMPLEX_UNDERFLOW && kb == K_COMPLEX_OVERFLOW))) {
        Object_Release(a);
        Object_Release(b);
        return Builtin(SYM_Indeterminate);
    }
    // Put the Complex operand first; when both are, the saturated one, and
    // ComplexOverflow before ComplexUnderflow.
    auto rank = [](Kind k) { return k == K_COMPLEX_OVERFLOW ? 3 : k == K_COMPLEX_UNDERFLOW ? 2 : k == K_COMPLEX ? 1 : 0; };
    if (rank(kb) > rank(ka)) std::swap(a, b), std::swap(ka, kb);
    if (ka == K_COMPLEX_OVERFLOW) return Object_ReleaseReturn(b, a);
    if (ka == K_COMPLEX_UNDERFLOW) {
        if (kb == K_COMPLEX_UNDERFLOW) return Object_ReleaseReturn(b, a);
        if (op == Op::Multiply) {
            // A zero factor gives that zero; any other number keeps the
            // product too small to represent.
            if (Number_IsZero(b)) return Object_ReleaseReturn(a, b);
            return Object_ReleaseReturn(b, a);
        }
        if (Number_IsZero(b)) return Object_ReleaseReturn(b, a);
        Object_Release(a);
        b = ToMachine(b);
        if (IsComplexKind(KindOf(b))) return b;
        return Complex_Make(b, Real_FromDouble(0.0));
    }
    Complex *x = AsComplex(a);
    if (op == Op::Add) {
        if (kb == K_COMPLEX) {
            Complex *y = AsComplex(b);
            Object *re = Number_Add(Object_AddRef(x->re), Object_AddRef(y->re));
            Object *im = Number_Add(Object_AddRef(x->im), Object_AddRef(y->im));
            Object_Release(a);
            Object_Release(b);
            return Complex_Make(re, im);
        }
        Object *re = Number_Add(Object_AddRef(x->re), b);
        Object *im = Object_AddRef(x->im);
        Object_Release(a);
        return Complex_Make(re, im);
    }
    if (kb == K_COMPLEX) {
        // (p + q i)(r + s i) = (pr - qs) + (ps + qr) i
        Complex *y = AsComplex(b);
        Object *pr = Number_Multiply(Object_AddRef(x->re), Object_AddRef(y->re));
        Object *qs = Number_Multiply(Object_AddRef(x->im), Object_AddRef(y->im));
        Object *ps = Number_Multiply(Object_AddRef(x->re), Object_AddRef(y->im));
        Object *qr = Number_Multiply(Object_AddRef(x->im), Object_AddRef(y->re));
        Object_Release(a);
        Object_Release(b);
        return Complex_Make(Number_Add(pr, Number_Negate(qs)), Number_Add(ps, qr));
    }
    if (kb == K_INTEGER && Object_Sign(b) == 0) return Object_ReleaseReturn(a, b);
    Object *re = Number_Multiply(Object_AddRef(x->re), Object_AddRef(b));
    Object *im = Number_Multiply(Object_AddRef(x->im), b);
    Object_Release(a);
    return Complex_Make(re, im);
}

// The dispatch shared by sums and products.
Object *Pair(Op op, Object *a, Object *b) {
    Kind ka = KindOf(a), kb = KindOf(b);
    if (ka == K_INTEGER && kb == K_INTEGER) return op == Op::Add ? Integer_Add(a, b) : Integer_Multiply(a, b);
    if (IsExact(ka) && IsExact(kb)) return op == Op::Add ? Rational_Add(a, b) : Rational_Multiply(a, b);
    if (IsComplexKind(ka) || IsComplexKind(kb)) return ComplexPair(op, a, b);
    bool saturated = ka == K_OVERFLOW || ka == K_UNDERFLOW || kb == K_OVERFLOW || kb == K_UNDERFLOW;
    if (saturated) return op == Op::Add ? SaturatedSum(a, b) : SaturatedProduct(a, b);
    return RealPair(op, a, b);
}

}  // namespace

bool Number_Is(const Object *o) {
    uint64_t t = Object_Type(o);
    return t == TYPE_INTEGER || t == TYPE_REAL || t == TYPE_RATIONAL || t == TYPE_COMPLEX;
}

bool Number_IsInexact(Object *o) {
    if (Object_IsReal(o)) return true;
    if (!Object_IsComplex(o)) return false;
    if (Object_Subtype(o) != SUB_PLAIN) return true;
    return Object_IsReal(AsComplex(o)->re) || Object_IsReal(AsComplex(o)->im);
}

bool Number_IsZero(Object *o) {
    switch (KindOf(o)) {
    case K_INTEGER:
    case K_MACHINE:
    case K_BIG: return Object_Sign(o) == 0;
    case K_COMPLEX: return Number_IsZero(AsComplex(o)->re) && Number_IsZero(AsComplex(o)->im);
    default: return false;
    }
}

int Number_Sign(Object *o) { return Object_IsComplex(o) ? 0 : Object_Sign(o); }

Object *Number_Add(Object *a, Object *b) { return Pair(Op::Add, a, b); }

Object *Number_Multiply(Object *a, Object *b) { return Pair(Op::Multiply, a, b); }

Object *Number_Negate(Object *a) {
    switch (KindOf(a)) {
    case K_INTEGER: return Integer_Negate(a);
    case K_RATIONAL: return Rational_Negate(a);
    case K_MACHINE:
    case K_OVERFLOW:
    case K_UNDERFLOW:
        a = Object_MakeUnique(a);
        AsReal(a)->value = -AsReal(a)->value;
        return a;
    case K_BIG:
        a = Object_MakeUnique(a);
        BigFloat_Negate(AsReal(a)->big, AsReal(a)->big);
        return a;
    case K_COMPLEX: {
        Complex *c = AsComplex(a);
        Object *re = Number_Negate(Object_AddRef(c->re)), *im = Number_Negate(Object_AddRef(c->im));
        Object_Release(a);
        return Complex_Make(re, im);
    }
    default: return a;
    }
}

double Number_ToDouble(Object *o) {
    switch (KindOf(o)) {
    case K_INTEGER:
        if (Object_Subtype(o) == SUB_SMALL) return static_cast<double>(AsInteger(o)->small);
        return BigInt_ToDouble(AsInteger(o)->big);
    case K_RATIONAL: return Rational_ToDouble(o);
    case K_MACHINE: return AsReal(o)->value;
    case K_BIG: return BigFloat_ToDouble(AsReal(o)->big);
    case K_OVERFLOW: return AsReal(o)->value * HUGE_VAL;
    case K_UNDERFLOW: return AsReal(o)->value * 0.0;
    default: return std::nan("");
    }
}

bool Number_ToBigFloat(Object *o, BigFloat *dst, double bits) {
    switch (KindOf(o)) {
    case K_INTEGER: IntegerToBigFloat(o, dst); return true;
    case K_RATIONAL: {
        // The numerator is given a little more precision than asked for, so
        // that the quotient reaches `bits` before it is cut to them.
        LocalFloat d;
        IntegerToBigFloat(AsRational(o)->numerator, dst);
        IntegerToBigFloat(AsRational(o)->denominator, d.get());
        BigFloat_SetPrecision(dst, bits + 8, 2);
        BigFloat_Div(dst, dst, d.get());
        BigFloat_SetPrecision(dst, bits, 2);
        return true;
    }
    case K_MACHINE: BigFloat_FromDouble(dst, AsReal(o)->value); return true;
    case K_BIG: BigFloat_Copy(dst, AsReal(o)->big); return true;
    case K_OVERFLOW: BigFloat_SetSpecial(dst, FloatOverflow, AsReal(o)->value < 0 ? -1 : 1); return true;
    case K_UNDERFLOW: BigFloat_SetSpecial(dst, FloatUnderflow, AsReal(o)->value < 0 ? -1 : 1); return true;
    default: return false;
    }
}
