// Sums and products: the n-ary Plus and Times, their pair combinations, the
// builders the rest of the kernel constructs arithmetic with, Subtract,
// Divide, Minus and the normal form of DirectedInfinity.
//
// The n-ary built-ins rely on the evaluator having flattened and sorted
// their arguments: numbers come first and like terms sit next to each
// other, so one left-to-right pass over adjacent pairs collects them. The
// pair operations dispatch on the kinds of the two operands (number, symbol,
// expression); a combined result may itself be rebuilt through the builders
// (x + x becomes Times(2, x)), so user rules see every intermediate form.
#include "eval/arith.h"

#include "eval/native_args.h"
#include "eval/power.h"

#include <cmath>
#include <utility>

#include "eval/compare.h"
#include "eval/evaluate.h"
#include "eval/numeric.h"
#include "kernel/state.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "object/expression.h"
#include "object/is_numeric.h"
#include "object/symbol.h"

namespace {

// Extra decimal digits (32 bits) at which a numeric partner of an
// arbitrary-precision number is evaluated, so that its own rounding does
// not show in the combined result.
constexpr double kAbsorbGuardDigits = 9.632959861247398;

bool IsIndeterminate(Object *o) { return o == BuiltinBorrowed(SYM_Indeterminate); }

// DirectedInfinity with no argument or one: the forms that absorb numbers.
bool IsInfinity(Object *o) { return Native_IsCall(o, SYM_DirectedInfinity) && Expression_Length(o) <= 1; }

Object *SmallInteger(ConstantInteger which) { return Object_AddRef(kernel.constants.integers[which]); }

// The dispatch kinds of an operand, in the order in which the pair
// operations expect them (a number on the left of a symbol, a symbol on the
// left of an expression).
enum Kind { KIND_NUMBER, KIND_SYMBOL, KIND_EXPRESSION, KIND_OTHER };

Kind KindOf(Object *o) {
    if (Number_Is(o)) return KIND_NUMBER;
    if (Object_IsSymbol(o)) return KIND_SYMBOL;
    if (Object_IsExpression(o)) return KIND_EXPRESSION;
    return KIND_OTHER;
}

// Puts the operand of the lower kind first; the combinations here are
// commutative.
void OrderByKind(Ref &a, Ref &b) {
    if (KindOf(a.get()) > KindOf(b.get())) std::swap(a, b);
}

// Whether arguments from..n of a are the same as arguments from..m of b.
bool SameTail(Object *a, int64_t fromA, Object *b, int64_t fromB) {
    int64_t n = Expression_Length(a), m = Expression_Length(b);
    if (n - fromA != m - fromB) return false;
    for (int64_t i = fromA, j = fromB; i <= n; ++i, ++j)
        if (!Object_Same(Expression_At(a, i), Expression_At(b, j))) return false;
    return true;
}

// Consumes e (an expression whose head is Plus or Times) and other;
// returns e with other added as arguments (all of other's arguments when it
// has the same head), evaluated again so the new terms are collected.
Object *AppendAndEvaluate(Object *e, Object *other) {
    Ref re(e), ro(other);
    Object *head = Expression_At(e, 0);
    bool merge = Object_IsExpression(other) && Expression_At(other, 0) == head;
    int64_t n = Expression_Length(e), m = merge ? Expression_Length(other) : 1;
    Object *sum = Expression_NewSized(Object_AddRef(head), n + m);
    Object **elements = AsExpression(sum)->elements;
    for (int64_t i = 1; i <= n; ++i) elements[i] = Object_AddRef(Expression_At(e, i));
    if (merge) {
        for (int64_t i = 1; i <= m; ++i) elements[n + i] = Object_AddRef(Expression_At(other, i));
    } else {
        elements[n + 1] = ro.release();
    }
    return Object_Evaluate(sum);
}

// Consumes product (a Times expression) and coefficient; returns the
// product with its first argument replaced by coefficient (inserted in
// front when replace is false), evaluated again: a coefficient of 0 or 1,
// or Indeterminate, changes the shape of the whole product.
Object *WithCoefficient(Object *product, Object *coefficient, bool replace) {
    Object *p = Object_MakeUnique(product);
    if (replace) {
        Object_Release(AsExpression(p)->elements[1]);
        AsExpression(p)->elements[1] = coefficient;
    } else {
        p = Expression_Insert(p, coefficient, 1);
    }
    AsExpression(p)->stamp = 0;
    return Object_Evaluate(p);
}

// The kind of the direction d of an infinity, as Infinity_Classify reports
// it: 1 real, 2 complex, 8 not numeric. A numeric direction that is not a
// number is judged by its value at machine precision. Borrows d.
int DirectionKind(Object *d, int *re, int *im) {
    Ref value;
    if (!Number_Is(d)) {
        if (!Object_IsNumeric(d)) return 8;
        value.reset(Numeric_Evaluate(Object_AddRef(d), NUMERIC_MACHINE, 0));
        if (!Number_Is(value.get())) return 8;
        d = value.get();
    }
    if (!Object_IsComplex(d)) {
        if (re) *re = Number_Sign(d);
        return 1;
    }
    bool parts = Object_Subtype(d) == SUB_PLAIN;
    if (re) *re = parts ? Object_Sign(AsComplex(d)->re) : 0;
    if (im) *im = parts ? Object_Sign(AsComplex(d)->im) : 0;
    return 2;
}

// Whether arguments from..n of the expression e are all positive real
// quantities, so that a product of them leaves a direction as it is.
// Borrows e.
bool PositiveFactors(Object *e, int64_t from) {
    for (int64_t i = from; i <= Expression_Length(e); ++i) {
        int re = 0;
        if (DirectionKind(Expression_At(e, i), &re, nullptr) != 1 || re <= 0) return false;
    }
    return true;
}

// The denominator of an Integer or Rational, as a new reference.
Object *DenominatorOf(Object *x) {
    return Object_IsRational(x) ? Object_AddRef(AsRational(x)->denominator) : SmallInteger(INT_ONE);
}

// An exact complex number z, not zero, times the positive number that makes
// its parts coprime Integers: it points the same way, and all numbers that
// point one way get the same parts. z itself when a part would overflow.
// Consumes z.
Object *CoprimeParts(Object *z) {
    Object *re = AsComplex(z)->re, *im = AsComplex(z)->im;
    Object *scale = Number_Multiply(DenominatorOf(re), DenominatorOf(im));
    Ref a(Number_Multiply(Object_AddRef(re), Object_AddRef(scale)));
    Ref b(Number_Multiply(Object_AddRef(im), scale));
    if (!Object_IsInteger(a.get()) || !Object_IsInteger(b.get())) return z;
    Object *g = Integer_Gcd(Object_AddRef(a.get()), Object_AddRef(b.get()));
    Object *m = Integer_DivMod(a.release(), Object_AddRef(g), nullptr);
    Object *n = Integer_DivMod(b.release(), g, nullptr);
    Object_Release(z);
    return Complex_Make(m, n);
}

// Consumes d; returns the direction of DirectedInfinity(d) in normal form:
// the Integer 1 or -1 for a real direction, the Integer 0 for a zero one
// (ComplexInfinity), Indeterminate for Indeterminate, a complex number
// divided by its size (a unit Complex when the size is rational or the
// number inexact, else the number with coprime Integer parts times the
// power -1/2 of its squared size), and d itself otherwise. A product of a
// number and positive real factors points where the number does, so the
// factors are dropped: a unit direction times a number normalises again
// from the number alone.
Object *NormalDirection(Object *d) {
    if (IsIndeterminate(d)) return d;
    if (Number_Is(d) && !Object_IsComplex(d)) {
        int sign = Number_Sign(d);
        Object_Release(d);
        return SmallInteger(sign > 0 ? INT_ONE : sign < 0 ? INT_MINUS_ONE : INT_ZERO);
    }
    if (Object_IsComplex(d)) {
        if (Object_Subtype(d) != SUB_PLAIN) return d;
        if (Number_IsZero(d)) return Object_ReleaseReturn(d, SmallInteger(INT_ZERO));
        if (!Number_IsInexact(d)) d = CoprimeParts(d);
        Object *re = AsComplex(d)->re, *im = AsComplex(d)->im;
        Object *square = Number_Add(Number_Multiply(Object_AddRef(re), Object_AddRef(re)),
                                    Number_Multiply(Object_AddRef(im), Object_AddRef(im)));
        Object *half = Object_AddRef(kernel.constants.rationals[RAT_MINUS_HALF]);
        Object *scale = Arith_Power(square, half);
        return Number_Is(scale) ? Number_Multiply(d, scale) : Arith_Times(d, scale);
    }
    if (Native_IsCall(d, SYM_Times) && Expression_Length(d) > 1 && Number_Is(Expression_At(d, 1)) && PositiveFactors(d, 2))
        return Object_ReleaseReturn(d, NormalDirection(Object_AddRef(Expression_At(d, 1))));
    int re = 0;
    if (DirectionKind(d, &re, nullptr) == 1 && re != 0)
        return Object_ReleaseReturn(d, SmallInteger(re > 0 ? INT_ONE : INT_MINUS_ONE));
    return d;
}

// Consumes a normal direction (see NormalDirection); returns the infinity
// it stands for, or Indeterminate.
Object *InfinityFromNormal(Object *d) {
    const KernelConstants &c = kernel.constants;
    if (IsIndeterminate(d)) return d;
    if (Integer_Is(d, 1)) return Object_ReleaseReturn(d, Object_AddRef(c.infinity));
    if (Integer_Is(d, -1)) return Object_ReleaseReturn(d, Object_AddRef(c.negativeInfinity));
    if (Integer_Is(d, 0)) return Object_ReleaseReturn(d, Object_AddRef(c.complexInfinity));
    return Expression_NewEvaluated(Builtin(SYM_DirectedInfinity), d);
}

// Consumes d; returns DirectedInfinity(d) normalised to unit magnitude.
Object *InfinityOf(Object *d) { return InfinityFromNormal(NormalDirection(d)); }

Object *ComplexInfinity() { return Object_AddRef(kernel.constants.complexInfinity); }

// Consumes both operands; returns head(a, b) (head Plus or Times) with the
// operands in canonical order, marked evaluated: the builders have already
// offered it to the user's rules.
Object *Uncombined(BuiltinSymbol head, Object *a, Object *b) {
    if (Compare(a, b, CMP_REQ_ORDER) & CMP_AFTER) std::swap(a, b);
    return Expression_NewEvaluated(Builtin(head), a, b);
}

// ---- Sums -------------------------------------------------------------------

// The combinations of a sum of two operands. Each returns the combined
// result, taking what it uses from a and b, or null with a and b left as
// they were when the pair does not combine.

Object *NumberPlusSymbol(Ref &n, Ref &s) {
    if (Integer_Is(n.get(), 0)) return s.release();
    if (Number_IsInexact(n.get()) && Object_IsNumeric(s.get())) {
        if (Object *v = Arith_Absorb(n.get(), Object_AddRef(s.get()))) return Number_Add(n.release(), v);
    }
    return nullptr;
}

Object *NumberPlusExpression(Ref &n, Ref &e) {
    if (Integer_Is(n.get(), 0)) return e.release();
    if (Native_IsCall(e.get(), SYM_Plus)) return AppendAndEvaluate(e.release(), n.release());
    if (IsInfinity(e.get())) return e.release();
    if (Number_IsInexact(n.get()) && Object_IsNumeric(e.get())) {
        if (Object *v = Arith_Absorb(n.get(), Object_AddRef(e.get()))) return Number_Add(n.release(), v);
    }
    return nullptr;
}

// c * s for a number c, given the expression; null for other shapes.
Object *CoefficientOf(Object *e, Object *s) {
    if (!Native_IsCall(e, SYM_Times) || Expression_Length(e) != 2) return nullptr;
    Object *c = Expression_At(e, 1);
    return Number_Is(c) && Object_Same(Expression_At(e, 2), s) ? c : nullptr;
}

Object *SymbolPlusExpression(Ref &s, Ref &e) {
    if (Object *c = CoefficientOf(e.get(), s.get()))
        return Arith_Times(Arith_Plus(SmallInteger(INT_ONE), Object_AddRef(c)), s.release());
    if (Native_IsCall(e.get(), SYM_Plus)) return AppendAndEvaluate(e.release(), s.release());
    if (IsInfinity(e.get())) return e.release();
    return nullptr;
}

// Whether two directions of infinities compare equal.
bool SameDirection(Object *d1, Object *d2) {
    return Object_Same(d1, d2) || (Compare(d1, d2, CMP_REQ_NUMERIC) & CMP_EQUAL);
}

Object *ExpressionPlusExpression(Ref &a, Ref &b) {
    if (Native_IsCall(a.get(), SYM_Plus)) return AppendAndEvaluate(a.release(), b.release());
    if (Native_IsCall(b.get(), SYM_Plus)) return AppendAndEvaluate(b.release(), a.release());

    bool ia = IsInfinity(a.get()), ib = IsInfinity(b.get());
    if (ia && ib) {
        // Opposite, unrelated or undirected infinities cancel to nothing
        // definite.
        if (Expression_Length(a.get()) == 1 && Expression_Length(b.get()) == 1 &&
            SameDirection(Expression_At(a.get(), 1), Expression_At(b.get(), 1)))
            return a.release();
        return Builtin(SYM_Indeterminate);
    }
    if (ia) return a.release();
    if (ib) return b.release();

    Object *x = a.get(), *y = b.get();
    bool ta = Native_IsCall(x, SYM_Times) && Expression_Length(x) > 1, tb = Native_IsCall(y, SYM_Times) && Expression_Length(y) > 1;
    if (ta && tb) {
        bool ca = Number_Is(Expression_At(x, 1)), cb = Number_Is(Expression_At(y, 1));
        if (ca && cb && SameTail(x, 2, y, 2)) {
            Object *c = Arith_Plus(Object_AddRef(Expression_At(x, 1)), Object_AddRef(Expression_At(y, 1)));
            return WithCoefficient(a.release(), c, true);
        }
        if (!ca && cb && SameTail(x, 1, y, 2)) {
            Object *c = Arith_Plus(SmallInteger(INT_ONE), Object_AddRef(Expression_At(y, 1)));
            return WithCoefficient(a.release(), c, false);
        }
        if (ca && !cb && SameTail(x, 2, y, 1)) {
            Object *c = Arith_Plus(SmallInteger(INT_ONE), Object_AddRef(Expression_At(x, 1)));
            return WithCoefficient(b.release(), c, false);
        }
        if (Object_Same(x, y)) return Arith_Times(SmallInteger(INT_TWO), a.release());
        return nullptr;
    }
    if (Object *c = CoefficientOf(x, y))
        return Arith_Times(Arith_Plus(SmallInteger(INT_ONE), Object_AddRef(c)), b.release());
    if (Object *c = CoefficientOf(y, x))
        return Arith_Times(Arith_Plus(SmallInteger(INT_ONE), Object_AddRef(c)), a.release());
    if (Object_Same(x, y)) return Arith_Times(SmallInteger(INT_TWO), a.release());
    return nullptr;
}

Object *CombinePlus(Ref &a, Ref &b) {
    if (IsIndeterminate(a.get()) || IsIndeterminate(b.get())) return Builtin(SYM_Indeterminate);
    OrderByKind(a, b);
    switch (KindOf(a.get()) * 4 + KindOf(b.get())) {
    case KIND_NUMBER * 4 + KIND_NUMBER: return Number_Add(a.release(), b.release());
    case KIND_NUMBER * 4 + KIND_SYMBOL: return NumberPlusSymbol(a, b);
    case KIND_NUMBER * 4 + KIND_EXPRESSION: return NumberPlusExpression(a, b);
    case KIND_SYMBOL * 4 + KIND_SYMBOL:
        if (a.get() == b.get()) return Arith_Times(SmallInteger(INT_TWO), a.release());
        return nullptr;
    case KIND_SYMBOL * 4 + KIND_EXPRESSION: return SymbolPlusExpression(a, b);
    case KIND_EXPRESSION * 4 + KIND_EXPRESSION: return ExpressionPlusExpression(a, b);
    default: return nullptr;
    }
}

// ---- Products ---------------------------------------------------------------

Object *NumberTimesSymbol(Ref &n, Ref &s) {
    if (Number_IsZero(n.get())) return n.release();
    if (Integer_Is(n.get(), 1)) return s.release();
    if (Number_IsInexact(n.get()) && Object_IsNumeric(s.get())) {
        if (Object *v = Arith_Absorb(n.get(), Object_AddRef(s.get()))) return Number_Multiply(n.release(), v);
    }
    return nullptr;
}

Object *NumberTimesExpression(Ref &n, Ref &e) {
    if (IsInfinity(e.get())) {
        if (Number_IsZero(n.get())) return Builtin(SYM_Indeterminate);
        if (Expression_Length(e.get()) == 0) return ComplexInfinity();
        if (Number_Sign(n.get()) > 0) return e.release();
        return InfinityOf(Arith_Times(Object_AddRef(Expression_At(e.get(), 1)), n.release()));
    }
    if (Number_IsZero(n.get())) return n.release();
    if (Integer_Is(n.get(), 1)) return e.release();
    if (Number_IsInexact(n.get()) && Object_IsNumeric(e.get())) {
        if (Object *v = Arith_Absorb(n.get(), Object_AddRef(e.get()))) return Number_Multiply(n.release(), v);
    }
    if (Native_IsCall(e.get(), SYM_Times)) return AppendAndEvaluate(e.release(), n.release());
    return nullptr;
}

// Whether e is Power(x, exponent) with x the same as base.
bool IsPowerOf(Object *e, Object *base) {
    return Native_IsCall(e, SYM_Power) && Expression_Length(e) == 2 && Object_Same(Expression_At(e, 1), base);
}

// base^(1 + exponent of power), consuming base.
Object *RaiseByOne(Object *base, Object *power) {
    return Arith_Power(base, Arith_Plus(SmallInteger(INT_ONE), Object_AddRef(Expression_At(power, 2))));
}

Object *SymbolTimesExpression(Ref &s, Ref &e) {
    if (IsPowerOf(e.get(), s.get()) && Number_Is(Expression_At(e.get(), 2))) return RaiseByOne(s.release(), e.get());
    if (Native_IsCall(e.get(), SYM_Times)) return AppendAndEvaluate(e.release(), s.release());
    if (IsInfinity(e.get()) && Expression_Length(e.get()) == 0) return e.release();
    return nullptr;
}

Object *ExpressionTimesExpression(Ref &a, Ref &b) {
    if (Native_IsCall(a.get(), SYM_Times)) return AppendAndEvaluate(a.release(), b.release());
    if (Native_IsCall(b.get(), SYM_Times)) return AppendAndEvaluate(b.release(), a.release());

    Object *x = a.get(), *y = b.get();
    bool ia = IsInfinity(x), ib = IsInfinity(y);
    if (ia && ib) {
        if (Expression_Length(x) == 0 || Expression_Length(y) == 0) return ComplexInfinity();
        return InfinityOf(Arith_Times(Object_AddRef(Expression_At(x, 1)), Object_AddRef(Expression_At(y, 1))));
    }
    if ((ia && Expression_Length(x) == 0) || (ib && Expression_Length(y) == 0)) return ComplexInfinity();
    if (ia || ib) return nullptr;

    bool pa = Native_IsCall(x, SYM_Power) && Expression_Length(x) == 2, pb = Native_IsCall(y, SYM_Power) && Expression_Length(y) == 2;
    if (pa && pb) {
        Object *b1 = Expression_At(x, 1), *e1 = Expression_At(x, 2);
        Object *b2 = Expression_At(y, 1), *e2 = Expression_At(y, 2);
        if (Object_Same(b1, b2))
            return Arith_Power(Object_AddRef(b1), Arith_Plus(Object_AddRef(e1), Object_AddRef(e2)));
        if (Number_Is(b1) && Number_Is(b2) && Object_Same(e1, e2))
            return Arith_Power(Arith_Times(Object_AddRef(b1), Object_AddRef(b2)), Object_AddRef(e1));
    }
    if (IsPowerOf(x, y)) return RaiseByOne(b.release(), x);
    if (IsPowerOf(y, x)) return RaiseByOne(a.release(), y);
    if (Object_Same(x, y)) return Arith_Power(a.release(), SmallInteger(INT_TWO));
    return nullptr;
}

Object *CombineTimes(Ref &a, Ref &b) {
    if (IsIndeterminate(a.get()) || IsIndeterminate(b.get())) return Builtin(SYM_Indeterminate);
    OrderByKind(a, b);
    switch (KindOf(a.get()) * 4 + KindOf(b.get())) {
    case KIND_NUMBER * 4 + KIND_NUMBER: return Number_Multiply(a.release(), b.release());
    case KIND_NUMBER * 4 + KIND_SYMBOL: return NumberTimesSymbol(a, b);
    case KIND_NUMBER * 4 + KIND_EXPRESSION: return NumberTimesExpression(a, b);
    case KIND_SYMBOL * 4 + KIND_SYMBOL:
        if (a.get() == b.get()) return Arith_Power(a.release(), SmallInteger(INT_TWO));
        return nullptr;
    case KIND_SYMBOL * 4 + KIND_EXPRESSION: return SymbolTimesExpression(a, b);
    case KIND_EXPRESSION * 4 + KIND_EXPRESSION: return ExpressionTimesExpression(a, b);
    default: return nullptr;
    }
}

using Combine = Object *(*)(Ref &a, Ref &b);

Object *Pair(Combine combine, BuiltinSymbol head, Object *a, Object *b, uint64_t flags) {
    Ref ra(a), rb(b);
    if (Object *r = combine(ra, rb)) return r;
    if (flags & ARITH_TRY_ONLY) return nullptr;
    return Uncombined(head, ra.release(), rb.release());
}

// Consumes both operands; returns head(a, b) as a user definition rewrites
// it, or the pair operation's result.
Object *Build(BuiltinSymbol head, Object *a, Object *b,
              Object *(*pair)(Object *, Object *, uint64_t)) {
    Object *rewritten = nullptr;
    if (Definition_ApplyUser(&rewritten, BuiltinBorrowed(head), a, b)) {
        Object_Release(a);
        Object_Release(b);
        return rewritten;
    }
    return pair(a, b, 0);
}

// The one pass of the n-ary Plus and Times over adjacent arguments.
// neutral is the Integer that a combined pair vanishes into (0 for Plus, 1
// for Times). Consumes call.
Object *Fold(Object *call, Object *(*pair)(Object *, Object *, uint64_t), int64_t neutral) {
    int64_t n = Expression_Length(call);
    if (n == 0) return Object_ReleaseReturn(call, Integer_FromSmall(neutral));
    if (n == 1) return Object_ReleaseReturn(call, Object_AddRef(Expression_At(call, 1)));
    call = Object_MakeUnique(call);
    Object **elements = AsExpression(call)->elements;
    bool changed = false;
    int64_t i = 1, j = 2;
    while (j <= n) {
        Object *r = pair(Object_AddRef(elements[i]), Object_AddRef(elements[j]), ARITH_TRY_ONLY);
        if (!r) {
            i = j++;
            continue;
        }
        changed = true;
        if (IsIndeterminate(r)) return Object_ReleaseReturn(call, r);
        Object_Release(elements[j]);
        elements[j] = nullptr;
        if (Integer_Is(r, neutral)) {
            Object_Release(r);
            Object_Release(elements[i]);
            elements[i] = nullptr;
            i = j + 1;
            j = i + 1;
            // The argument after a vanished pair is paired with nothing when
            // it is the last one, so its absorption is decided here.
            if (i == n && IsIndeterminate(elements[i])) return Object_ReleaseReturn(call, Builtin(SYM_Indeterminate));
        } else {
            // An infinity absorbs the arguments before it as well: they
            // were passed over while the pair that made it was still apart.
            for (int64_t k = i - 1; k >= 1 && IsInfinity(r); --k) {
                if (!elements[k]) continue;
                Object *absorbed = pair(Object_AddRef(elements[k]), Object_AddRef(r), ARITH_TRY_ONLY);
                if (!absorbed) break;
                Object_Release(r);
                if (IsIndeterminate(absorbed)) return Object_ReleaseReturn(call, absorbed);
                Object_Release(elements[k]);
                elements[k] = nullptr;
                r = absorbed;
            }
            Object_Release(elements[i]);
            elements[i] = r;
            ++j;
        }
    }
    if (!changed) return call;
    call = Expression_Compact(call);
    switch (Expression_Length(call)) {
    case 0: return Object_ReleaseReturn(call, Integer_FromSmall(neutral));
    case 1: return Object_ReleaseReturn(call, Object_AddRef(Expression_At(call, 1)));
    default: Definition_ApplyUser(&call, nullptr, nullptr, nullptr); return call;
    }
}

// The two arguments of a call of fixed length 2, as new references.
std::pair<Object *, Object *> Arguments(Object *call) {
    return {Object_AddRef(Expression_At(call, 1)), Object_AddRef(Expression_At(call, 2))};
}

}  // namespace

Object *Arith_PlusPair(Object *a, Object *b, uint64_t flags) { return Pair(CombinePlus, SYM_Plus, a, b, flags); }

Object *Arith_TimesPair(Object *a, Object *b, uint64_t flags) { return Pair(CombineTimes, SYM_Times, a, b, flags); }

Object *Arith_Plus(Object *a, Object *b) { return Build(SYM_Plus, a, b, Arith_PlusPair); }

Object *Arith_Times(Object *a, Object *b) { return Build(SYM_Times, a, b, Arith_TimesPair); }

Object *Arith_Power(Object *base, Object *exponent) { return Build(SYM_Power, base, exponent, Arith_PowerPair); }

int Infinity_Classify(Object *x, int *re, int *im) {
    if (!IsInfinity(x)) return 0;
    if (Expression_Length(x) == 0) return 4;
    return DirectionKind(Expression_At(x, 1), re, im);
}

Object *Arith_Absorb(Object *u, Object *v) {
    int64_t machine = 0;
    double precision = Object_Precision(u, &machine);
    Object *value = machine || !std::isfinite(precision)
                        ? Numeric_Evaluate(v, NUMERIC_MACHINE, 0)
                        : Numeric_Evaluate(v, NUMERIC_PRECISION, precision + kAbsorbGuardDigits);
    if (Number_Is(value)) return value;
    Object_Release(value);
    return nullptr;
}

Object *Builtin_Plus(Object *call) { return Fold(call, Arith_PlusPair, 0); }

Object *Builtin_Times(Object *call) { return Fold(call, Arith_TimesPair, 1); }

Object *Builtin_Subtract(Object *call) {
    auto [a, b] = Arguments(call);
    Object_Release(call);
    return Arith_Plus(a, Arith_Times(SmallInteger(INT_MINUS_ONE), b));
}

Object *Builtin_Divide(Object *call) {
    auto [a, b] = Arguments(call);
    Object_Release(call);
    return Arith_Times(a, Arith_Power(b, SmallInteger(INT_MINUS_ONE)));
}

Object *Builtin_Minus(Object *call) {
    Object *a = Object_AddRef(Expression_At(call, 1));
    Object_Release(call);
    if (Number_Is(a)) return Number_Negate(a);
    if (IsIndeterminate(a)) return a;
    return Arith_Times(SmallInteger(INT_MINUS_ONE), a);
}

Object *Builtin_DirectedInfinity(Object *call) {
    Object *d = Expression_At(call, 1);
    if (IsIndeterminate(d)) return Object_ReleaseReturn(call, Builtin(SYM_Indeterminate));
    Object *normal = NormalDirection(Object_AddRef(d));
    if (Object_Same(normal, d)) {
        Object_Release(normal);
        return call;
    }
    Object_Release(call);
    return InfinityFromNormal(normal);
}

namespace {

const NativeRow kNatives[] = {
    {SYM_DirectedInfinity, {u"DirectedInfinity(\?)"}, Builtin_DirectedInfinity},
    {SYM_Divide, {u"Divide(\?, \?)"}, Builtin_Divide},
    {SYM_Minus, {u"Minus(\?)"}, Builtin_Minus},
    {SYM_Plus, {u"Plus(\?\?\?)"}, Builtin_Plus},
    {SYM_Subtract, {u"Subtract(\?, \?)"}, Builtin_Subtract},
    {SYM_Times, {u"Times(\?\?\?)"}, Builtin_Times},
};

}  // namespace

extern const NativeTable ArithNatives = Table_Of(kNatives);
