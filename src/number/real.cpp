#include "number/real.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/state.h"
#include "number/number_text.h"
#include "object/crc32c.h"
#include "syntax/formatter.h"

namespace {

const ObjectClass *ClassOf(uint64_t subtype) {
    switch (subtype) {
    case SUB_OVERFLOW: return &RealOverflowClass;
    case SUB_UNDERFLOW: return &RealUnderflowClass;
    default: return &RealMachineClass;
    }
}

Object *NewReal(const ObjectClass *cls, double value) {
    auto *r = static_cast<Real *>(Pool_Alloc(&kernel.numbers.reals));
    r->header.cls = cls;
    r->header.refs = 1;
    r->value = value;
    return &r->header;
}

Object *Clone(Object *o) { return NewReal(o->cls, AsReal(o)->value); }

void Release(Object *o) {
    if (--o->refs > 0) return;
    Pool_Free(&kernel.numbers.reals, o);
}

// A negative value prints as its magnitude when the context prints the sign
// itself, and in parentheses where a negative number binds weaker than its
// surroundings; body is the text of the magnitude.
void AppendSigned(bool negative, const std::u16string &body, TextBuffer &text) {
    if (!negative) {
        text += body;
    } else if (Context_Flags(CONTEXT_FLAGS_QUERY, 0) & CTX_MAGNITUDE) {
        text += body;
    } else if (Context_WouldNeedParens(10)) {
        text += u"(-" + body + u")";
    } else {
        text += u"-" + body;
    }
}

void ToText(Object *o, TextBuffer &text) {
    double x = AsReal(o)->value;
    switch (Object_Subtype(o)) {
    case SUB_OVERFLOW: AppendSigned(x < 0, u"Overflow", text); break;
    case SUB_UNDERFLOW: AppendSigned(x < 0, u"Underflow", text); break;
    default:
        if (std::isnan(x)) text += u"NaN";
        else AppendSigned(std::signbit(x) && x != 0, MachineReal_ToText(std::fabs(x), kernel.settings.machineRealDigits, u"e"), text);
    }
}

// Equal subtypes and equal doubles; two NaNs are the same.
int Same(Object *a, Object *b) {
    if (a->cls != b->cls) return 0;
    double x = AsReal(a)->value, y = AsReal(b)->value;
    return x == y || (std::isnan(x) && std::isnan(y));
}

int Sign(Object *o) {
    double x = AsReal(o)->value;
    return (x > 0) - (x < 0);
}

int64_t PrecisionAccuracy(Object *o, double *precision, double *accuracy) {
    double x = AsReal(o)->value;
    double p, a;
    switch (Object_Subtype(o)) {
    case SUB_OVERFLOW:
        p = 0;
        a = -std::numeric_limits<double>::infinity();
        break;
    case SUB_UNDERFLOW:
        p = 0;
        a = std::numeric_limits<double>::infinity();
        break;
    default:
        p = kMachinePrecision;
        a = x == 0.0 ? 307.95368556425274 : kMachinePrecision - std::log10(std::fabs(x));
    }
    if (precision) *precision = p;
    if (accuracy) *accuracy = a;
    return Object_Subtype(o) == SUB_MACHINE;
}

double Precision(Object *o, int64_t *machine) {
    double p;
    int64_t m = PrecisionAccuracy(o, &p, nullptr);
    if (machine) *machine = m;
    return p;
}

double Accuracy(Object *o) {
    double a;
    PrecisionAccuracy(o, nullptr, &a);
    return a;
}

uint32_t Hash(Object *o, uint32_t seed) {
    double x = AsReal(o)->value;
    return Crc32c_Update(seed, &x, sizeof x);
}

}  // namespace

#define REAL_CLASS(subtype) \
    {TYPE_REAL, subtype, u"Real", Clone, nullptr, ToText, Release, Same, Sign, Precision, Accuracy, PrecisionAccuracy, Hash}

const ObjectClass RealMachineClass = REAL_CLASS(SUB_MACHINE);
const ObjectClass RealOverflowClass = REAL_CLASS(SUB_OVERFLOW);
const ObjectClass RealUnderflowClass = REAL_CLASS(SUB_UNDERFLOW);

#undef REAL_CLASS

Object *Real_FromDouble(double x) {
    if (std::isinf(x)) return Real_NewSaturated(SUB_OVERFLOW, x > 0 ? 1 : -1);
    return NewReal(&RealMachineClass, x);
}

Object *Real_NewSaturated(uint64_t subtype, int sign) { return NewReal(ClassOf(subtype), sign < 0 ? -1.0 : 1.0); }
