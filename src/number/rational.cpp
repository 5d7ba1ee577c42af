// Rational objects and exact fraction arithmetic.
#include "number/rational.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kernel/state.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/real.h"
#include "syntax/format_state.h"
#include "syntax/formatter.h"

namespace {

Object *NewRational(Object *n, Object *d) {
    auto *q = static_cast<Rational *>(Pool_Alloc(&kernel.numbers.rationals));
    q->header.cls = &RationalClass;
    q->header.refs = 1;
    q->numerator = n;
    q->denominator = d;
    return &q->header;
}

// The parts are shared: an Integer is never changed in place while shared.
Object *Clone(Object *o) {
    Rational *q = AsRational(o);
    return NewRational(Object_AddRef(q->numerator), Object_AddRef(q->denominator));
}

void Release(Object *o) {
    if (--o->refs > 0) return;
    Rational *q = AsRational(o);
    Object_Release(q->numerator);
    Object_Release(q->denominator);
    Pool_Free(&kernel.numbers.rationals, o);
}

// n/d, with parentheses where a fraction binds weaker than its context or
// where a negative number would; the numerator keeps the magnitude flag of
// the context, so a product that prints the sign itself gets 1/2 for -1/2.
void ToText(Object *o, TextBuffer &text) {
    Rational *q = AsRational(o);
    if (Form_Current() == FORM_FULL) {
        text += u"Rational(";
        Format_Append(q->numerator, text);
        text += u", ";
        Format_Append(q->denominator, text);
        text += u")";
        return;
    }
    TextBuffer body;
    if (!Context_Push(1, 0, 1)) {
        text += Format_CutMarker;
        return;
    }
    Format_Append(q->numerator, body);
    body += u"/";
    Format_Append(q->denominator, body);
    Context_Pop();
    bool parens = Context_WouldNeedParens(12);
    if (!parens && Object_Sign(q->numerator) < 0 && !(Context_Flags(CONTEXT_FLAGS_QUERY, 0) & CTX_MAGNITUDE))
        parens = Context_WouldNeedParens(10);
    if (parens) text += u"(" + body + u")";
    else text += body;
}

int Same(Object *a, Object *b) {
    Rational *p = AsRational(a), *q = AsRational(b);
    return Object_Same(p->numerator, q->numerator) && Object_Same(p->denominator, q->denominator);
}

int Sign(Object *o) { return Object_Sign(AsRational(o)->numerator); }

uint32_t Hash(Object *o, uint32_t seed) {
    Rational *q = AsRational(o);
    return Object_Hash(q->denominator, Object_Hash(q->numerator, seed));
}

// The value of an Integer object as a BigInt record (dst is a local).
void IntegerValue(Object *i, BigInt *dst) {
    if (Object_Subtype(i) == SUB_SMALL) BigInt_SetSmall(dst, AsInteger(i)->small);
    else BigInt_Copy(dst, AsInteger(i)->big);
}

// The numerator and denominator of an Integer or Rational, as new
// references.
void Parts(Object *x, Object **n, Object **d) {
    if (Object_IsRational(x)) {
        *n = Object_AddRef(AsRational(x)->numerator);
        *d = Object_AddRef(AsRational(x)->denominator);
    } else {
        *n = Object_AddRef(x);
        *d = Integer_FromSmall(1);
    }
}

// Consumes num and den, of which at least one is a saturated real after an
// integer overflow: their quotient by the real rules, so that an
// overflowed numerator gives Overflow, an overflowed denominator Underflow,
// and both together Indeterminate.
Object *SaturatedQuotient(Object *num, Object *den) {
    Object *reciprocal;
    if (Object_IsInteger(den)) {
        reciprocal = Rational_Make(Integer_FromSmall(1), den);
    } else {
        int sign = Object_Sign(den);
        Object_Release(den);
        reciprocal = Real_NewSaturated(SUB_UNDERFLOW, sign);
    }
    return Number_Multiply(num, reciprocal);
}

// Consumes the numerator and denominator of a result: the normalised
// fraction, or the saturated quotient when either part overflowed.
Object *Fraction(Object *num, Object *den) {
    if (!Object_IsInteger(num) || !Object_IsInteger(den)) return SaturatedQuotient(num, den);
    return Rational_Make(num, den);
}

}  // namespace

const ObjectClass RationalClass = {
    TYPE_RATIONAL, SUB_PLAIN, u"Rational",
    Clone, nullptr, ToText, Release, Same, Sign,
    nullptr, nullptr, nullptr, Hash,
};

Object *Rational_Make(Object *n, Object *d) { return Rational_Normalize(NewRational(n, d)); }

Object *Rational_Normalize(Object *q) {
    Rational *r = AsRational(q);
    // An overflowed part (integer overflow gave a Real) cannot form a
    // fraction; the quotient of the two is the best remaining value, and it
    // is left to the caller's arithmetic, which sees a non-Integer part.
    if (!Object_IsInteger(r->numerator) || !Object_IsInteger(r->denominator)) return q;
    q = Object_MakeUnique(q);
    r = AsRational(q);
    if (Object_Sign(r->denominator) < 0) {
        r->numerator = Integer_Negate(r->numerator);
        r->denominator = Integer_Negate(r->denominator);
    }
    if (Object_Sign(r->denominator) == 0) return Object_ReleaseReturn(q, Object_AddRef(kernel.constants.complexInfinity));
    if (Integer_Is(r->denominator, 1) || Object_Sign(r->numerator) == 0)
        return Object_ReleaseReturn(q, Object_AddRef(r->numerator));
    Object *g = Integer_Gcd(Object_AddRef(r->numerator), Object_AddRef(r->denominator));
    if (Object_Same(g, r->denominator)) {
        Object *v = Integer_DivMod(Object_AddRef(r->numerator), g, nullptr);
        return Object_ReleaseReturn(q, v);
    }
    if (Integer_Is(g, 1)) return Object_ReleaseReturn(g, q);
    r->numerator = Integer_DivMod(r->numerator, Object_AddRef(g), nullptr);
    r->denominator = Integer_DivMod(r->denominator, g, nullptr);
    return q;
}

Object *Rational_Add(Object *a, Object *b) {
    Object *n1, *d1, *n2, *d2;
    Parts(a, &n1, &d1);
    Parts(b, &n2, &d2);
    Object_Release(a);
    Object_Release(b);
    // a/b + c/d = (a*d + c*b) / (b*d)
    Object *left = Integer_Multiply(n1, Object_AddRef(d2));
    Object *right = Integer_Multiply(n2, Object_AddRef(d1));
    Object *den = Integer_Multiply(d1, d2);
    if (!Object_IsInteger(left) || !Object_IsInteger(right)) return SaturatedQuotient(Number_Add(left, right), den);
    return Fraction(Integer_Add(left, right), den);
}

Object *Rational_Multiply(Object *a, Object *b) {
    Object *n1, *d1, *n2, *d2;
    Parts(a, &n1, &d1);
    Parts(b, &n2, &d2);
    Object_Release(a);
    Object_Release(b);
    return Fraction(Integer_Multiply(n1, n2), Integer_Multiply(d1, d2));
}

Object *Rational_Negate(Object *q) {
    if (Object_IsInteger(q)) return Integer_Negate(q);
    q = Object_MakeUnique(q);
    Rational *r = AsRational(q);
    r->numerator = Integer_Negate(r->numerator);
    return q;
}

double Rational_ToDouble(Object *q) {
    Rational *r = AsRational(q);
    BigInt n = {}, d = {};
    IntegerValue(r->numerator, &n);
    IntegerValue(r->denominator, &d);
    // Both parts are scaled to about 64 significant bits before dividing,
    // so that neither leaves the double range on its own.
    int64_t nb = Limbs_HighestBit(n.limbs, n.size), db = Limbs_HighestBit(d.limbs, d.size);
    int64_t ns = nb > 64 ? nb - 64 : 0, ds = db > 64 ? db - 64 : 0;
    if (ns) BigInt_Shift(&n, &n, -ns);
    if (ds) BigInt_Shift(&d, &d, -ds);
    double x = std::ldexp(BigInt_ToDouble(&n) / BigInt_ToDouble(&d), static_cast<int>(std::clamp<int64_t>(ns - ds, -100000, 100000)));
    BigInt_Release(&n);
    BigInt_Release(&d);
    return x;
}
