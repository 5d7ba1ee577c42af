#include "object/is_numeric.h"

#include "kernel/state.h"
#include "object/expression.h"
#include "object/small_stack.h"
#include "object/symbol.h"

namespace {

bool HasAttribute(Object *o, uint64_t bit) {
    SymbolRecord *r = Symbol_Record(o, false);
    return r && (r->attributes & bit);
}

}  // namespace

// Walks the expression with an explicit stack, so that the depth of the
// input cannot exhaust the C++ stack.
bool Object_IsNumeric(Object *o) {
    SmallStack<Object *, 32> pending;
    pending.push(o);
    while (!pending.empty()) {
        Object *x = pending.top();
        pending.pop();
        switch (Object_Type(x)) {
        case TYPE_INTEGER:
        case TYPE_REAL:
        case TYPE_RATIONAL:
        case TYPE_COMPLEX: break;
        case TYPE_SYMBOL:
            if (!HasAttribute(x, ATTR_NUMERIC_CONSTANT)) return false;
            break;
        case TYPE_EXPRESSION:
            if (!HasAttribute(x, ATTR_NUMERIC_FUNCTION)) return false;
            for (int64_t i = 1; i <= Expression_Length(x); ++i) pending.push(Expression_At(x, i));
            break;
        default: return false;
        }
    }
    return true;
}

Object *Builtin_IsNumeric(Object *call) {
    if (Expression_Length(call) != 1) return call;
    bool numeric = Object_IsNumeric(Expression_At(call, 1));
    return Object_ReleaseReturn(call, Builtin(numeric ? SYM_True : SYM_False));
}

namespace {

const NativeRow kNatives[] = {
    {SYM_IsNumeric, {u"IsNumeric(\?)"}, Builtin_IsNumeric},
};

}  // namespace

extern const NativeTable IsNumericNatives = Table_Of(kNatives);
