#include "number/real.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/number_text.h"
#include "object/expression.h"
#include "object/crc32c.h"
#include "syntax/formatter.h"

namespace {

const ObjectClass *ClassOf(uint64_t subtype) {
    switch (subtype) {
    case SUB_BIG: return &RealBigClass;
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

uint32_t Hash(Object *o, uint32_t seed) {
    double x = AsReal(o)->value;
    return Crc32c_Update(seed, &x, sizeof x);
}

// ---- Arbitrary-precision reals (subtype 3) ----

BigFloat *Big(Object *o) { return AsReal(o)->big; }

Object *BigClone(Object *o) { return Real_FromBigFloat(Big(o)); }

void BigRelease(Object *o) {
    if (--o->refs > 0) return;
    BigFloat_Free(Big(o));
    Pool_Free(&kernel.numbers.reals, o);
}

// The digits its accuracy justifies, in base 10; the sign follows the
// context like every negative number.
void BigToText(Object *o, TextBuffer &text) {
    std::u16string body = BigFloat_ToText(Big(o), 10, u"e");
    bool negative = !body.empty() && body[0] == u'-';
    AppendSigned(negative, negative ? body.substr(1) : body, text);
}

// Same header words, accuracy and limbs: the same digits known equally well.
int BigSame(Object *a, Object *b) {
    if (a->cls != b->cls) return 0;
    const BigFloat *x = Big(a), *y = Big(b);
    if (x->sign != y->sign || x->kind != y->kind || x->exponent != y->exponent || x->top != y->top) return 0;
    if (!(x->accuracy == y->accuracy)) return 0;
    return std::memcmp(x->limbs, y->limbs, static_cast<size_t>(x->size)) == 0;
}

int BigSign(Object *o) { return static_cast<int>(Big(o)->sign); }

int64_t BigPrecisionAccuracy(Object *o, double *precision, double *accuracy) {
    const BigFloat *b = Big(o);
    double p = std::isinf(b->accuracy) ? b->accuracy : (b->accuracy + b->magnitude) / LOG2_10;
    if (precision) *precision = p;
    if (accuracy) *accuracy = b->accuracy / LOG2_10;
    return 0;
}

// The limbs' CRC, complemented for negative values, as for integers.
uint32_t BigHash(Object *o, uint32_t seed) {
    const BigFloat *b = Big(o);
    uint32_t h = Crc32c_Update(seed, b->limbs, static_cast<size_t>(b->size));
    return b->sign < 0 ? ~h : h;
}

}  // namespace

#define REAL_CLASS(subtype) \
    {TYPE_REAL, subtype, u"Real", Clone, nullptr, ToText, Release, Same, Sign,                      \
     Slot_Precision<PrecisionAccuracy>, Slot_Accuracy<PrecisionAccuracy>, PrecisionAccuracy, Hash}

const ObjectClass RealMachineClass = REAL_CLASS(SUB_MACHINE);
const ObjectClass RealBigClass = {
    TYPE_REAL, SUB_BIG, u"Real",
    BigClone, nullptr, BigToText, BigRelease, BigSame, BigSign,
    Slot_Precision<BigPrecisionAccuracy>, Slot_Accuracy<BigPrecisionAccuracy>, BigPrecisionAccuracy, BigHash,
};
const ObjectClass RealOverflowClass = REAL_CLASS(SUB_OVERFLOW);
const ObjectClass RealUnderflowClass = REAL_CLASS(SUB_UNDERFLOW);

#undef REAL_CLASS

Object *Real_FromDouble(double x) {
    if (std::isinf(x)) return Real_NewSaturated(SUB_OVERFLOW, x > 0 ? 1 : -1);
    return NewReal(&RealMachineClass, x);
}

Object *Real_NewSaturated(uint64_t subtype, int sign) { return NewReal(ClassOf(subtype), sign < 0 ? -1.0 : 1.0); }

Object *Real_FromBigFloat(const BigFloat *b) {
    Object *o = NewReal(&RealBigClass, 0.0);
    AsReal(o)->big = BigFloat_New();
    if (b) BigFloat_Copy(AsReal(o)->big, b);
    return o;
}

void Real_SetSubtype(Object *o, uint64_t subtype) {
    Real *r = AsReal(o);
    uint64_t from = Object_Subtype(o);
    if (from == subtype) return;
    if (from == SUB_BIG) {
        BigFloat *b = r->big;
        if (subtype == SUB_MACHINE) {
            double d = BigFloat_ToDouble(b);
            if (std::isinf(d)) {
                subtype = SUB_OVERFLOW;
                d = d > 0 ? 1.0 : -1.0;
            } else if (d == 0.0 && b->kind != FloatZero) {
                subtype = SUB_UNDERFLOW;
                d = b->sign < 0 ? -1.0 : 1.0;
            }
            r->value = d;
        } else {
            r->value = static_cast<double>(b->sign);
        }
        BigFloat_Free(b);
    } else if (subtype == SUB_BIG) {
        double d = r->value;
        r->big = BigFloat_New();
        if (from == SUB_MACHINE) BigFloat_FromDouble(r->big, d);
        else BigFloat_SetSpecial(r->big, from == SUB_OVERFLOW ? FloatOverflow : FloatUnderflow, d < 0 ? -1 : 1);
    } else if (from == SUB_MACHINE) {
        double d = r->value;
        r->value = static_cast<double>((d > 0) - (d < 0));
    }
    o->cls = ClassOf(subtype);
}

Object *Real_Normalize(Object *o, uint64_t flags) {
    if (!Object_IsReal(o)) return o;
    if (Real_IsMachine(o)) {
        double d = AsReal(o)->value;
        if (std::isnan(d)) return Object_ReleaseReturn(o, Builtin(SYM_Indeterminate));
        if (std::isinf(d)) return Object_ReleaseReturn(o, Real_NewSaturated(SUB_OVERFLOW, d > 0 ? 1 : -1));
        return o;
    }
    if (!Real_IsBig(o)) return o;
    const BigFloat *b = Big(o);
    switch (b->kind) {
    case FloatIndeterminate: return Object_ReleaseReturn(o, Builtin(SYM_Indeterminate));
    case FloatOverflow: return Object_ReleaseReturn(o, Real_NewSaturated(SUB_OVERFLOW, static_cast<int>(b->sign)));
    case FloatUnderflow: return Object_ReleaseReturn(o, Real_NewSaturated(SUB_UNDERFLOW, static_cast<int>(b->sign)));
    default: break;
    }
    if ((flags & REAL_DEMOTE) && BigFloat_Precision(b) <= 53.0) {
        o = Object_MakeUnique(o);
        Real_SetSubtype(o, SUB_MACHINE);
    }
    return o;
}

namespace {

// The argument of a one-argument call, borrowed.
Object *Argument(Object *call) { return Expression_At(call, 1); }

}  // namespace

Object *Builtin_Precision(Object *call) {
    int64_t machine = 0;
    double p = Object_Precision(Argument(call), &machine);
    Object *result;
    if (machine) result = Builtin(SYM_MachinePrecision);
    else if (std::isnan(p)) result = Builtin(SYM_Indeterminate);
    else if (std::isinf(p)) result = Object_AddRef(kernel.constants.infinity);
    else result = Real_FromDouble(p);
    return Object_ReleaseReturn(call, result);
}

Object *Builtin_Accuracy(Object *call) {
    double a = Object_Accuracy(Argument(call));
    Object *result;
    if (std::isnan(a)) result = Builtin(SYM_Indeterminate);
    else if (std::isinf(a)) result = Object_AddRef(a > 0 ? kernel.constants.infinity : kernel.constants.negativeInfinity);
    else result = Real_FromDouble(a - 1);
    return Object_ReleaseReturn(call, result);
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Accuracy, {u"Accuracy(\?)"}, Builtin_Accuracy},
    {SYM_Precision, {u"Precision(\?)"}, Builtin_Precision},
};

}  // namespace

extern const NativeTable RealNatives = Table_Of(kNatives);
