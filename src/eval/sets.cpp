// Sorting and the set built-ins. Each set operation sorts its operands into
// the canonical order (the merge sort of sort.cpp) and then walks them once,
// side by side, so that after the sorts the work is linear.
#include "eval/sets.h"

#include <string_view>

#include "eval/compare.h"
#include "eval/sort.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "syntax/formatter.h"

namespace {

// The canonical order of a against b: negative when a comes first, 0 when
// they are equal in it, positive when b comes first. Borrows both.
int Order(Object *a, Object *b) {
    uint64_t c = Compare(a, b, CMP_REQ_ORDER);
    if (c & CMP_ORDER_EQUAL) return 0;
    return c & CMP_AFTER ? 1 : -1;
}

// The arguments of x in canonical order. Borrows x; returns a new reference
// (x itself when it was sorted already).
Object *Sorted(Object *x) { return Expression_Sort(Object_AddRef(x), nullptr, 1); }

// As Sorted, each element once.
Object *SortedSet(Object *x) { return Expression_Dedupe(Sorted(x)); }

// The checks every set built-in makes: the first argument is an expression,
// and every further one an expression with its head. Emits the message
// under name and returns false when they fail. Borrows call.
bool HeadsAgree(Object *call, std::u16string_view name) {
    Object *first = Expression_At(call, 1);
    if (!Object_IsExpression(first)) {
        Message_Emit(name, u"Head", Format_Standard(first));
        return false;
    }
    Object *head = Expression_At(first, 0);
    for (int64_t i = 2; i <= Expression_Length(call); ++i) {
        Object *a = Expression_At(call, i);
        if (Object_IsExpression(a) && Object_Same(Expression_At(a, 0), head)) continue;
        Message_Emit(name, u"Heads", Format_Standard(head), Format_Standard(Object_Head(a)));
        return false;
    }
    return true;
}

// The merge of the sorted sets s and t, each element once. Consumes both;
// returns a new expression with the head of s.
Object *Merge(Object *s, Object *t) {
    Ref left(s), right(t);
    int64_t ls = Expression_Length(s), lt = Expression_Length(t);
    Object *merged = Expression_NewSized(Object_AddRef(Expression_At(s, 0)), ls + lt);
    Object **out = AsExpression(merged)->elements;
    int64_t i = 1, j = 1, k = 0;
    while (i <= ls && j <= lt) {
        Object *a = Expression_At(s, i), *b = Expression_At(t, j);
        int order = Order(a, b);
        if (order <= 0) {
            out[++k] = Object_AddRef(a);
            ++i;
            j += order == 0;
        } else {
            out[++k] = Object_AddRef(b);
            ++j;
        }
    }
    while (i <= ls) out[++k] = Object_AddRef(Expression_At(s, i++));
    while (j <= lt) out[++k] = Object_AddRef(Expression_At(t, j++));
    return Expression_Compact(merged);
}

// Keeps the elements of the sorted set s that are (keepCommon) or are not
// in the sorted t. Consumes s and t; returns s, made unique when something
// is dropped.
Object *Filter(Object *s, Object *t, bool keepCommon) {
    Ref other(t);
    int64_t ls = Expression_Length(s), lt = Expression_Length(t);
    bool dropped = false;
    auto drop = [&](int64_t i) {
        if (!dropped) s = Object_MakeUnique(s);
        dropped = true;
        Expression *x = AsExpression(s);
        Object_Release(x->elements[i]);
        x->elements[i] = nullptr;
    };
    int64_t i = 1, j = 1;
    while (i <= ls && j <= lt) {
        int order = Order(Expression_At(s, i), Expression_At(t, j));
        if (order == 0) {
            if (!keepCommon) drop(i);
            ++i;
            ++j;
        } else if (order < 0) {
            if (keepCommon) drop(i);
            ++i;
        } else {
            ++j;
        }
    }
    // Past the end of t nothing of s is common to both.
    if (keepCommon)
        while (i <= ls) drop(i++);
    return dropped ? Expression_Compact(s) : s;
}

enum class SetOperation { Union, Intersection, Complement };

// Union, Intersection or Complement (by which) of the arguments of call,
// after the common checks. Consumes call.
Object *Combine(Object *call, SetOperation which, std::u16string_view name) {
    if (!HeadsAgree(call, name)) return call;
    Object *s = SortedSet(Expression_At(call, 1));
    for (int64_t i = 2; i <= Expression_Length(call); ++i) {
        Object *x = Expression_At(call, i);
        switch (which) {
        case SetOperation::Union:
            s = Merge(s, SortedSet(x));
            break;
        case SetOperation::Intersection:
            s = Filter(s, Sorted(x), true);
            break;
        case SetOperation::Complement:
            s = Filter(s, Sorted(x), false);
            break;
        }
    }
    return Object_ReleaseReturn(call, s);
}

}  // namespace

Object *Builtin_Sort(Object *call) {
    Object *x = Expression_At(call, 1);
    if (!Object_IsExpression(x)) return Object_ReleaseReturn(call, Object_AddRef(x));
    Object *f = Expression_Length(call) == 2 ? Expression_At(call, 2) : nullptr;
    Object *sorted = Expression_Sort(Object_AddRef(x), f, 1);
    return Object_ReleaseReturn(call, sorted);
}

Object *Builtin_Union(Object *call) { return Combine(call, SetOperation::Union, u"Union"); }

Object *Builtin_Intersection(Object *call) { return Combine(call, SetOperation::Intersection, u"Intersection"); }

Object *Builtin_Complement(Object *call) { return Combine(call, SetOperation::Complement, u"Complement"); }

namespace {

const NativeRow kNatives[] = {
    {SYM_Complement, {u"Complement(\?\?)"}, Builtin_Complement},
    {SYM_Intersection, {u"Intersection(\?\?)"}, Builtin_Intersection},
    {SYM_Sort, {u"Sort(\?)", u"Sort(\?, \?)"}, Builtin_Sort},
    {SYM_Union, {u"Union(\?\?)"}, Builtin_Union},
};

}  // namespace

extern const NativeTable SetNatives = Table_Of(kNatives);
