#include "eval/small_integers.h"

#include <cstdint>

#include "eval/definition.h"
#include "kernel/state.h"
#include "number/integer.h"
#include "object/expression.h"

namespace {

Object *Truth(bool b) { return Builtin(b ? SYM_True : SYM_False); }

// The most negative word is left to the general rules, which may keep it in
// the big form.
Object *Word(int64_t v) { return v == INT64_MIN ? nullptr : Integer_FromSmall(v); }

}  // namespace

Object *SmallIntegers_Apply(Object *call) {
    Object **a = AsExpression(call)->elements;
    int64_t x = AsInteger(a[1])->small, y = AsInteger(a[2])->small, r;
    Object *head = a[0];
    // The head must stand for itself and have no rules but its natives.
    if (!Object_IsSymbol(head)) return nullptr;
    SymbolRecord *record = AsSymbol(head)->record;
    if (!record || record->ownValue || Definitions_HaveUserRules(record)) return nullptr;
    const auto &b = kernel.builtins;
    if (head == b[SYM_Plus]) return __builtin_add_overflow(x, y, &r) ? nullptr : Word(r);
    if (head == b[SYM_Subtract]) return __builtin_sub_overflow(x, y, &r) ? nullptr : Word(r);
    if (head == b[SYM_Times]) return __builtin_mul_overflow(x, y, &r) ? nullptr : Word(r);
    if (head == b[SYM_Less]) return Truth(x < y);
    if (head == b[SYM_LessEqual]) return Truth(x <= y);
    if (head == b[SYM_Greater]) return Truth(x > y);
    if (head == b[SYM_GreaterEqual]) return Truth(x >= y);
    if (head == b[SYM_Equal]) return Truth(x == y);
    if (head == b[SYM_Unequal]) return Truth(x != y);
    return nullptr;
}
