// Numeric evaluation: Calculate, the conversions of numbers to a target
// precision, and the decision of numeric comparisons that exact arithmetic
// leaves open.
#include "eval/numeric.h"

#include <cmath>

#include "eval/compare.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/complex.h"
#include "number/constants.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/real.h"
#include "object/expression.h"
#include "object/is_numeric.h"

namespace {

// Saves the numeric context and restores it on every path out.
class ContextScope {
public:
    ContextScope(int64_t mode, double digits) : saved_(kernel.numbers.numeric) {
        kernel.numbers.numeric = {mode, digits};
    }
    ContextScope(const ContextScope &) = delete;
    ContextScope &operator=(const ContextScope &) = delete;
    ~ContextScope() { kernel.numbers.numeric = saved_; }

private:
    NumericContext saved_;
};

// An Integer, Rational or Real re-expressed in the mode: a machine real in
// mode 1; a record of `digits` digits of precision (mode 2) or accuracy
// (mode 3) otherwise. A machine real stays one in every mode, and an
// arbitrary-precision real is never given more precision than it has. The
// exact 0 stays exact outside machine precision: a record of it would be a
// Real without error, and a complex number on an axis would get a part
// that has no precision. Consumes o; returns the value.
Object *ConvertReal(Object *o, int64_t mode, double digits) {
    if (mode == NUMERIC_MACHINE) {
        if (Object_IsReal(o) && !Real_IsBig(o)) return o;
        double d = Number_ToDouble(o);
        Object *r = Real_Normalize(Real_FromDouble(d));
        // A non-zero value below the double range is an underflow.
        if (Real_IsMachine(r) && AsReal(r)->value == 0.0 && Object_Sign(o) != 0)
            r = Object_ReleaseReturn(r, Real_NewSaturated(SUB_UNDERFLOW, Object_Sign(o)));
        return Object_ReleaseReturn(o, r);
    }
    if ((Object_IsReal(o) && !Real_IsBig(o)) || Integer_Is(o, 0)) return o;
    double bits = digits * LOG2_10;
    if (Real_IsBig(o)) {
        const BigFloat *b = AsReal(o)->big;
        double have = mode == NUMERIC_ACCURACY ? b->accuracy : BigFloat_Precision(b);
        if (!(have > bits)) return o;
        o = Object_MakeUnique(o);
        if (mode == NUMERIC_ACCURACY) BigFloat_SetAccuracy(AsReal(o)->big, bits);
        else BigFloat_SetPrecision(AsReal(o)->big, digits, 10);
        return o;
    }
    BigFloat f = {};
    double conversion = bits;
    if (mode == NUMERIC_ACCURACY) conversion += std::fmax(0.0, std::log2(std::fabs(Number_ToDouble(o)) + 1.0));
    Number_ToBigFloat(o, &f, conversion + 16);
    if (mode == NUMERIC_ACCURACY) BigFloat_SetAccuracy(&f, bits);
    else BigFloat_SetPrecision(&f, digits, 10);
    Object *r = Real_Normalize(Real_FromBigFloat(&f));
    BigFloat_Release(&f);
    return Object_ReleaseReturn(o, r);
}

// The numeric value of a number. Consumes o.
Object *ConvertNumber(Object *o, int64_t mode, double digits) {
    if (!Object_IsComplex(o)) return ConvertReal(o, mode, digits);
    if (Object_Subtype(o) != SUB_PLAIN) return o;
    Complex *c = AsComplex(o);
    Object *re = ConvertReal(Object_AddRef(c->re), mode, digits);
    Object *im = ConvertReal(Object_AddRef(c->im), mode, digits);
    Object_Release(o);
    return Complex_Make(re, im);
}

// Every argument of e replaced by its numeric value in the mode, then the
// whole evaluated again so that numeric functions see inexact arguments.
// Consumes e.
Object *EvaluateArguments(Object *e, int64_t mode, double digits) {
    int64_t n = Expression_Length(e);
    Object *copy = Expression_NewSized(Object_AddRef(Expression_At(e, 0)), n);
    for (int64_t i = 1; i <= n; ++i)
        AsExpression(copy)->elements[i] = Numeric_Evaluate(Object_AddRef(Expression_At(e, i)), mode, digits);
    Object_Release(e);
    return Object_Evaluate(copy);
}

// How far below a target a precision figure may read and still count as
// reaching it, in bits. A value cut to d digits reads back a hair less:
// its precision is the double sum of accuracy and magnitude, and the
// magnitude is recomputed from the mantissa the cut truncated. Such
// shortfalls stay far below a thousandth of a bit; a lost digit is 3.3 bits.
constexpr double kCutRoundingBits = 1.0 / 1024;

// Whether a Real result has at least `digits` of precision (or accuracy);
// when it has, it is cut to exactly that. *slot is owned by the caller's
// container: its reference is consumed and replaced by the result's.
bool SettleReal(Object **slot, int64_t mode, double digits) {
    Object *o = *slot;
    if (!Real_IsBig(o)) return true;
    const BigFloat *b = AsReal(o)->big;
    double reached = mode == NUMERIC_ACCURACY ? b->accuracy : BigFloat_Precision(b);
    if (!(reached >= digits * LOG2_10 - kCutRoundingBits)) return false;
    o = Object_MakeUnique(o);
    if (mode == NUMERIC_ACCURACY) BigFloat_SetAccuracy(AsReal(o)->big, digits * LOG2_10);
    else BigFloat_SetPrecision(AsReal(o)->big, digits, 10);
    *slot = o;
    return true;
}

// Cuts an arbitrary-precision result (or each Real part of a Complex one)
// to the target; emits the extra-precision message when the target was not
// reached. Consumes r.
Object *Settle(Object *r, int64_t mode, double digits) {
    bool reached = true;
    if (Object_IsReal(r)) {
        reached = SettleReal(&r, mode, digits);
    } else if (Object_IsComplex(r) && Object_Subtype(r) == SUB_PLAIN) {
        r = Object_MakeUnique(r);
        Complex *c = AsComplex(r);
        reached = SettleReal(&c->re, mode, digits);
        reached = SettleReal(&c->im, mode, digits) && reached;
    }
    if (!reached) {
        Message_Emit(u"Calculate", u"ExtraPrecisionLimit",
                     Message_IntegerText(std::llround(kernel.settings.extraPrecisionLimit)), u"calculation");
    }
    return r;
}

// Modes 2 and 3 on an expression: the arguments are evaluated with the
// extra working precision in the context, and the result is cut to the
// target.
Object *EvaluateToDigits(Object *e, int64_t mode, double digits) {
    Object *r;
    {
        ContextScope scope(mode, digits + kernel.settings.extraPrecisionLimit);
        r = EvaluateArguments(e, NUMERIC_CONTEXT, 0);
    }
    return Settle(r, mode, digits);
}

}  // namespace

Object *Numeric_Evaluate(Object *x, int64_t mode, double digits) {
    if (mode == NUMERIC_CONTEXT && Object_Type(x) != TYPE_EXPRESSION) {
        mode = kernel.numbers.numeric.mode;
        digits = kernel.numbers.numeric.digits;
    }
    switch (Object_Type(x)) {
    case TYPE_INTEGER:
    case TYPE_REAL:
    case TYPE_RATIONAL:
    case TYPE_COMPLEX: return ConvertNumber(x, mode, digits);
    case TYPE_SYMBOL: {
        if (mode == NUMERIC_ACCURACY) {
            // A constant's accuracy target: its magnitude is small, so the
            // digits of accuracy plus its integer digits are enough precision.
            Object *v = Constant_Numeric(x, NUMERIC_PRECISION, digits + 2);
            return Number_Is(v) ? ConvertNumber(v, mode, digits) : v;
        }
        return Constant_Numeric(x, mode, digits);
    }
    case TYPE_EXPRESSION:
        if (mode == NUMERIC_PRECISION || mode == NUMERIC_ACCURACY) return EvaluateToDigits(x, mode, digits);
        return EvaluateArguments(x, mode, digits);
    default: return x;
    }
}

Object *Numeric_DecisionValue(Object *x, double digits) {
    if (!Object_IsExpression(x)) return Numeric_Evaluate(x, NUMERIC_PRECISION, digits);
    ContextScope scope(NUMERIC_PRECISION, digits);
    return EvaluateArguments(x, NUMERIC_CONTEXT, 0);
}

uint64_t Numeric_CompareValues(Object *a, Object *b) {
    constexpr uint64_t relation = CMP_EQUAL | CMP_UNEQUAL | CMP_LESS | CMP_GREATER | CMP_IDENTICAL;
    // digits 0 asks the machine values, otherwise the error-bounded ones.
    auto attempt = [&](double digits, uint64_t *bits) {
        Ref x(digits ? Numeric_DecisionValue(Object_AddRef(a), digits) : Numeric_Evaluate(Object_AddRef(a), NUMERIC_MACHINE, 0));
        Ref y(digits ? Numeric_DecisionValue(Object_AddRef(b), digits) : Numeric_Evaluate(Object_AddRef(b), NUMERIC_MACHINE, 0));
        bool numbers = Number_Is(x.get()) && Number_Is(y.get());
        *bits = numbers ? Compare(x.get(), y.get(), CMP_REQ_NUMERIC) : 0;
        if (!numbers) *bits = (Number_Is(x.get()) ? 0 : CMP_FIRST_NOT_NUMERIC) | (Number_Is(y.get()) ? 0 : CMP_SECOND_NOT_NUMERIC);
        return numbers;
    };
    // Machine doubles do not show what cancellation cost, so the values
    // are taken with error bounds, first at machine precision; a quantity
    // without a value in arbitrary precision is compared by its machine
    // value alone.
    uint64_t bits;
    if (!attempt(kMachinePrecision, &bits)) {
        attempt(0, &bits);
        return bits;
    }
    if (!(bits & CMP_EQUAL)) return bits;
    if (!attempt(kernel.settings.extraPrecisionLimit + kMachinePrecision, &bits)) return bits;
    if (!(bits & CMP_EQUAL)) return bits;
    Message_Emit(u"Calculate", u"ExtraPrecisionLimit",
                 Message_IntegerText(std::llround(kernel.settings.extraPrecisionLimit)), u"comparison");
    return bits & ~relation;
}

Object *Builtin_Calculate(Object *call) {
    Object *x = Expression_At(call, 1);
    if (Expression_Length(call) == 1)
        return Object_ReleaseReturn(call, Numeric_Evaluate(Object_AddRef(x), NUMERIC_MACHINE, 0));
    Object *p = Expression_At(call, 2);
    if (p == BuiltinBorrowed(SYM_Indeterminate)) return Object_ReleaseReturn(call, Builtin(SYM_Indeterminate));
    double digits;
    if (Object_IsInteger(p) || Object_IsReal(p) || Object_Type(p) == TYPE_RATIONAL) {
        digits = Number_ToDouble(p);
    } else if (Object_IsNumeric(p)) {
        Object *v = Numeric_Evaluate(Object_AddRef(p), NUMERIC_MACHINE, 0);
        bool real = Object_IsReal(v);
        digits = real ? Number_ToDouble(v) : 0;
        Object_Release(v);
        if (!real) return call;
    } else {
        return call;
    }
    // A target that is not a positive count of digits, or that needs more
    // limbs than a number may have, cannot be met; the call stays as it is
    // rather than running out of memory halfway.
    double limitDigits = static_cast<double>(kernel.numbers.limbLimit) * LIMB_BITS / LOG2_10;
    if (!(digits > 0) || !(digits <= limitDigits)) return call;
    Object *r = Numeric_Evaluate(Object_AddRef(x), NUMERIC_PRECISION, digits);
    // An expression's value was checked against the target; an inexact
    // number asked for more digits than it has is checked here.
    if (!Object_IsExpression(x) && Number_IsInexact(x)) r = Settle(r, NUMERIC_PRECISION, digits);
    return Object_ReleaseReturn(call, r);
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Calculate, {u"Calculate(\?)", u"Calculate(\?, \?)"}, Builtin_Calculate},
};

}  // namespace

extern const NativeTable NumericNatives = Table_Of(kNatives);
