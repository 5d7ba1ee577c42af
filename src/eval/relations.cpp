// The relational built-ins: structural sameness, canonical order, numeric
// equality and the ordering chains, all answered through Compare.
#include "eval/relations.h"

#include <vector>

#include "eval/compare.h"
#include "eval/evaluate.h"
#include "kernel/state.h"
#include "number/integer.h"
#include "object/expression.h"

namespace {

// Consumes call; returns True or False.
Object *Truth(Object *call, bool value) { return Object_ReleaseReturn(call, Builtin(value ? SYM_True : SYM_False)); }

// An undecided relation is offered to the user's rules before it is
// returned. Consumes e; returns the result.
Object *Offered(Object *e) {
    Definition_ApplyUser(&e, nullptr, nullptr, nullptr);
    return e;
}

// Consumes call; returns it without the arguments marked in drop (indexed by
// position), or the call itself when none is marked.
Object *WithoutArguments(Object *call, const std::vector<bool> &drop) {
    bool any = false;
    for (bool d : drop) any = any || d;
    if (!any) return call;
    call = Object_MakeUnique(call);
    Expression *e = AsExpression(call);
    for (int64_t i = 1; i <= e->length; ++i) {
        if (!drop[size_t(i)]) continue;
        Object_Release(e->elements[i]);
        e->elements[i] = nullptr;
    }
    return Expression_Compact(call);
}

// The chains a1 op a2 op ... op an. holds is the set of result bits that
// make a link true, opposite the set that make it false. Consumes call;
// returns True, False, or the chain without the links that are decided.
Object *Chain(Object *call, uint64_t holds, uint64_t opposite) {
    int64_t n = Expression_Length(call);
    std::vector<bool> drop(size_t(n + 1), false);
    // c: the current left operand; pending: how many of the links to its
    // right are still undecided and keep their arguments.
    int64_t c = 1, pending = 0;
    for (int64_t i = 2; i <= n; ++i) {
        uint64_t r = Compare(Expression_At(call, c), Expression_At(call, i), CMP_REQ_NUMERIC);
        if (r & (CMP_FIRST_NOT_NUMERIC | CMP_FIRST_UNORDERED)) {
            pending = 1;
            c = i;
        } else if (r & (CMP_SECOND_NOT_NUMERIC | CMP_SECOND_UNORDERED)) {
            pending = 2;
        } else if (r & holds) {
            c = i;
            if (pending > 0) --pending;
            else drop[size_t(i - 1)] = true;
            if (i == n && pending < 1) drop[size_t(n)] = true;
        } else if (r & opposite) {
            return Truth(call, false);
        }
    }
    int64_t remaining = n;
    for (bool d : drop) remaining -= d;
    if (remaining <= 1) return Truth(call, true);
    return Offered(WithoutArguments(call, drop));
}

}  // namespace

Object *Builtin_Same(Object *call) {
    int64_t n = Expression_Length(call);
    for (int64_t i = 2; i <= n; ++i)
        if (!Object_Same(Expression_At(call, i - 1), Expression_At(call, i))) return Truth(call, false);
    return Truth(call, true);
}

Object *Builtin_Unsame(Object *call) {
    int64_t n = Expression_Length(call);
    for (int64_t i = 1; i <= n; ++i)
        for (int64_t j = i + 1; j <= n; ++j)
            if (Object_Same(Expression_At(call, i), Expression_At(call, j))) return Truth(call, false);
    return Truth(call, true);
}

Object *Builtin_Order(Object *call) {
    if (Expression_Length(call) != 2) return call;
    uint64_t r = Compare(Expression_At(call, 1), Expression_At(call, 2), CMP_REQ_ORDER);
    int64_t order = r & CMP_BEFORE ? 1 : r & CMP_AFTER ? -1 : 0;
    return Object_ReleaseReturn(call, Integer_FromSmall(order));
}

// Equality needs the canonical order as well: an argument that is both
// order-equal and numerically equal to an earlier one is a duplicate.
Object *Builtin_Equal(Object *call) {
    int64_t n = Expression_Length(call);
    std::vector<bool> drop(size_t(n + 1), false);
    int64_t remaining = n;
    bool undecided = false;
    for (int64_t i = 1; i <= n; ++i) {
        if (drop[size_t(i)]) continue;
        for (int64_t j = i + 1; j <= n; ++j) {
            if (drop[size_t(j)]) continue;
            uint64_t r = Compare(Expression_At(call, i), Expression_At(call, j), CMP_REQ_ORDER | CMP_REQ_NUMERIC);
            if ((r & (CMP_ORDER_EQUAL | CMP_EQUAL)) == (CMP_ORDER_EQUAL | CMP_EQUAL)) {
                drop[size_t(j)] = true;
                --remaining;
            } else if (r & CMP_UNEQUAL) {
                return Truth(call, false);
            } else if (!(r & CMP_EQUAL)) {
                undecided = true;
            }
        }
    }
    if (remaining < 2 || !undecided) return Truth(call, true);
    return Offered(WithoutArguments(call, drop));
}

Object *Builtin_Unequal(Object *call) {
    int64_t n = Expression_Length(call);
    bool undecided = false;
    for (int64_t i = 1; i <= n; ++i) {
        for (int64_t j = i + 1; j <= n; ++j) {
            uint64_t r = Compare(Expression_At(call, i), Expression_At(call, j), CMP_REQ_NUMERIC);
            if (r & CMP_EQUAL) return Truth(call, false);
            if (!(r & CMP_UNEQUAL)) undecided = true;
        }
    }
    return undecided ? Offered(call) : Truth(call, true);
}

Object *Builtin_Less(Object *call) { return Chain(call, CMP_LESS, CMP_GREATER | CMP_EQUAL); }

Object *Builtin_LessEqual(Object *call) { return Chain(call, CMP_LESS | CMP_EQUAL, CMP_GREATER); }

Object *Builtin_Greater(Object *call) { return Chain(call, CMP_GREATER, CMP_LESS | CMP_EQUAL); }

Object *Builtin_GreaterEqual(Object *call) { return Chain(call, CMP_GREATER | CMP_EQUAL, CMP_LESS); }

namespace {

const NativeRow kNatives[] = {
    {SYM_Equal, {u"Equal(\?\?\?)"}, Builtin_Equal},
    {SYM_Greater, {u"Greater(\?\?\?)"}, Builtin_Greater},
    {SYM_GreaterEqual, {u"GreaterEqual(\?\?\?)"}, Builtin_GreaterEqual},
    {SYM_Less, {u"Less(\?\?\?)"}, Builtin_Less},
    {SYM_LessEqual, {u"LessEqual(\?\?\?)"}, Builtin_LessEqual},
    {SYM_Order, {u"Order(\?, \?)"}, Builtin_Order},
    {SYM_Same, {u"Same(\?, \?\?)"}, Builtin_Same},
    {SYM_Unequal, {u"Unequal(\?\?\?)"}, Builtin_Unequal},
    {SYM_Unsame, {u"Unsame(\?, \?\?)"}, Builtin_Unsame},
};

}  // namespace

extern const NativeTable RelationNatives = Table_Of(kNatives);
