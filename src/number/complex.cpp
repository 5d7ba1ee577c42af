// Complex objects: the class records, normalisation and the saturated
// values. Their arithmetic lives with the other number pairs in
// number_arith.cpp.
#include "number/complex.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernel/state.h"
#include "number/integer.h"
#include "number/real.h"
#include "object/crc32c.h"
#include "syntax/format_state.h"
#include "syntax/formatter.h"

namespace {

Object *NewComplex(const ObjectClass *cls, Object *re, Object *im) {
    auto *c = static_cast<Complex *>(Pool_Alloc(&kernel.numbers.complexes));
    c->header.cls = cls;
    c->header.refs = 1;
    c->re = re;
    c->im = im;
    return &c->header;
}

// Parts are shared with one more reference each; numbers are never changed
// in place while shared.
Object *Clone(Object *o) {
    Complex *c = AsComplex(o);
    if (Object_Subtype(o) != SUB_PLAIN) return NewComplex(o->cls, nullptr, nullptr);
    return NewComplex(o->cls, Object_AddRef(c->re), Object_AddRef(c->im));
}

void Release(Object *o) {
    if (--o->refs > 0) return;
    Complex *c = AsComplex(o);
    Object_Release(c->re);
    Object_Release(c->im);
    Pool_Free(&kernel.numbers.complexes, o);
}

// "I", "-I" or the text of im followed by "*I".
void AppendImaginary(Object *im, TextBuffer &text) {
    if (Integer_Is(im, 1)) {
        text += u"I";
    } else if (Integer_Is(im, -1)) {
        text += u"-I";
    } else {
        Format_Append(im, text);
        text += u"*I";
    }
}

// The standard layout: a pure imaginary value binds like the unit (18), a
// negated unit (10) or a product (11); with a real part the value binds
// like a sum (9) and its parts are written without spaces: 1+2*I, 0.5-I.
void ToText(Object *o, TextBuffer &text) {
    if (Object_Subtype(o) == SUB_OVERFLOW) {
        text += u"ComplexOverflow";
        return;
    }
    if (Object_Subtype(o) == SUB_UNDERFLOW) {
        text += u"ComplexUnderflow";
        return;
    }
    Complex *c = AsComplex(o);
    if (Form_Current() == FORM_FULL) {
        text += u"Complex(";
        Format_Append(c->re, text);
        text += u", ";
        Format_Append(c->im, text);
        text += u")";
        return;
    }
    if (Integer_Is(c->re, 0)) {
        int64_t precedence = Integer_Is(c->im, 1) ? 18 : Integer_Is(c->im, -1) ? 10 : 11;
        TextBuffer body;
        AppendImaginary(c->im, body);
        if (Context_WouldNeedParens(precedence)) text += u"(" + body + u")";
        else text += body;
        return;
    }
    if (!Context_Push(9, 0, 7)) {
        text += Format_CutMarker;
        return;
    }
    TextBuffer body;
    Format_Append(c->re, body);
    if (Object_Sign(c->im) >= 0 && !Integer_Is(c->im, -1)) body += u"+";
    AppendImaginary(c->im, body);
    if (Context_Pop()) text += u"(" + body + u")";
    else text += body;
}

int Same(Object *a, Object *b) {
    if (a->cls != b->cls) return 0;
    if (Object_Subtype(a) != SUB_PLAIN) return 1;
    return Object_Same(AsComplex(a)->re, AsComplex(b)->re) && Object_Same(AsComplex(a)->im, AsComplex(b)->im);
}

int64_t PrecisionAccuracy(Object *o, double *precision, double *accuracy) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (Object_Subtype(o) != SUB_PLAIN) {
        if (precision) *precision = 0;
        if (accuracy) *accuracy = Object_Subtype(o) == SUB_OVERFLOW ? -inf : inf;
        return 0;
    }
    Complex *c = AsComplex(o);
    double p1, a1, p2, a2;
    int64_t m1 = Object_PrecisionAccuracy(c->re, &p1, &a1);
    int64_t m2 = Object_PrecisionAccuracy(c->im, &p2, &a2);
    if (precision) *precision = std::min(p1, p2);
    if (accuracy) *accuracy = std::min(a1, a2);
    return m1 || m2;
}

uint32_t Hash(Object *o, uint32_t seed) {
    if (Object_Subtype(o) != SUB_PLAIN) {
        auto subtype = static_cast<uint8_t>(Object_Subtype(o));
        return Crc32c_Update(seed, &subtype, 1);
    }
    return Object_Hash(AsComplex(o)->im, Object_Hash(AsComplex(o)->re, seed));
}

#define COMPLEX_CLASS(subtype) \
    {TYPE_COMPLEX, subtype, u"Complex", Clone, nullptr, ToText, Release, Same, nullptr,              \
     Slot_Precision<PrecisionAccuracy>, Slot_Accuracy<PrecisionAccuracy>, PrecisionAccuracy, Hash}

}  // namespace

const ObjectClass ComplexClass = COMPLEX_CLASS(SUB_PLAIN);
const ObjectClass ComplexOverflowClass = COMPLEX_CLASS(SUB_OVERFLOW);
const ObjectClass ComplexUnderflowClass = COMPLEX_CLASS(SUB_UNDERFLOW);

#undef COMPLEX_CLASS

Object *Complex_Make(Object *re, Object *im) {
    Object *c = NewComplex(&ComplexClass, re, im);
    if (!re && !im) return c;
    return Complex_Normalize(c);
}

Object *Complex_MakeImaginary(Object *im) { return Complex_Make(Integer_FromSmall(0), im); }

Object *Complex_NewSaturated(uint64_t subtype) {
    return NewComplex(subtype == SUB_OVERFLOW ? &ComplexOverflowClass : &ComplexUnderflowClass, nullptr, nullptr);
}

namespace {

bool IsSaturated(Object *o, uint64_t subtype) { return Object_IsReal(o) && Object_Subtype(o) == subtype; }

bool IsRealNumber(Object *o) {
    uint64_t t = Object_Type(o);
    return t == TYPE_INTEGER || t == TYPE_REAL || t == TYPE_RATIONAL;
}

bool IsZeroPart(Object *o) { return IsRealNumber(o) && Object_Sign(o) == 0 && !IsSaturated(o, SUB_UNDERFLOW); }

}  // namespace

Object *Complex_Normalize(Object *c) {
    Complex *z = AsComplex(c);
    if (Integer_Is(z->im, 0)) return Object_ReleaseReturn(c, Object_AddRef(z->re));
    auto saturate = [&](uint64_t subtype) { return Object_ReleaseReturn(c, Complex_NewSaturated(subtype)); };
    if (IsSaturated(z->re, SUB_OVERFLOW) || IsSaturated(z->im, SUB_OVERFLOW)) return saturate(SUB_OVERFLOW);
    bool reTiny = IsSaturated(z->re, SUB_UNDERFLOW), imTiny = IsSaturated(z->im, SUB_UNDERFLOW);
    if (reTiny && (imTiny || IsZeroPart(z->im))) return saturate(SUB_UNDERFLOW);
    if (imTiny && IsZeroPart(z->re)) return saturate(SUB_UNDERFLOW);
    if (!IsRealNumber(z->re) || !IsRealNumber(z->im)) return Object_ReleaseReturn(c, Builtin(SYM_Indeterminate));
    if (reTiny || imTiny) {
        c = Object_MakeUnique(c);
        z = AsComplex(c);
        Object *&tiny = reTiny ? z->re : z->im;
        Object_Release(tiny);
        tiny = Real_FromDouble(0.0);
    }
    return c;
}
