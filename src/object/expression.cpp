// Expression objects: construction, the in-place reshaping operations the
// built-ins use, and the Expression class slots. The walks over nested
// expressions (release, same, hash, precision) are iterative, so an
// expression nested a million levels deep costs heap, not C++ stack.
#include "object/expression.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "eval/evaluate.h"
#include "kernel/state.h"
#include "object/string.h"
#include "syntax/formatter.h"

namespace {

// A zero-filled array of exactly n slots.
Object **NewArray(int64_t n) {
    auto **a = static_cast<Object **>(std::calloc(size_t(n), sizeof(Object *)));
    if (!a) throw std::bad_alloc();
    return a;
}

bool HasInlineSlots(const Expression *e) { return e->elements == e->inlineSlots; }

// Gives e the array a (owned), freeing the one it had.
void SetArray(Expression *e, Object **a) {
    if (!HasInlineSlots(e)) std::free(e->elements);
    e->elements = a;
}

// Resizes e's array from oldSlots to n slots; new slots are null.
void ResizeArray(Expression *e, int64_t oldSlots, int64_t n) {
    if (HasInlineSlots(e)) {
        if (n <= kExpressionInlineSlots) {
            for (int64_t i = oldSlots; i < n; ++i) e->inlineSlots[i] = nullptr;
            return;
        }
        Object **a = NewArray(n);
        std::memcpy(a, e->inlineSlots, size_t(oldSlots) * sizeof(Object *));
        e->elements = a;
        return;
    }
    auto **a = static_cast<Object **>(std::realloc(e->elements, size_t(n) * sizeof(Object *)));
    if (!a) throw std::bad_alloc();
    if (n > oldSlots) std::memset(a + oldSlots, 0, size_t(n - oldSlots) * sizeof(Object *));
    e->elements = a;
}

// The array comes first, so that a failed allocation leaves no half-made
// record in the pool.
Expression *Allocate(Object *head, int64_t n) {
    Object **elements = n + 1 > kExpressionInlineSlots ? NewArray(n + 1) : nullptr;
    Expression *e;
    try {
        e = static_cast<Expression *>(Pool_AllocRaw(&kernel.expressions));
    } catch (...) {
        std::free(elements);
        throw;
    }
    e->header.cls = &ExpressionClass;
    e->header.refs = 1;
    e->stamp = 0;
    e->verified = 0;
    for (Object *&slot : e->inlineSlots) slot = nullptr;
    e->length = n;
    e->elements = elements ? elements : e->inlineSlots;
    e->elements[0] = head;
    return e;
}

Object *Clone(Object *o) {
    Expression *src = AsExpression(o);
    Expression *e = Allocate(Object_AddRef(src->elements[0]), src->length);
    for (int64_t i = 1; i <= src->length; ++i) e->elements[i] = Object_AddRef(src->elements[i]);
    return &e->header;
}

void Free(Expression *e) {
    if (!HasInlineSlots(e)) std::free(e->elements);
    Pool_Free(&kernel.expressions, e);
}

// At count zero the expression joins the release queue; only the outermost
// release drains it, so nested expressions are freed in a loop. A dead
// expression's stamp is never read again, so it holds the queue's link.
void Release(Object *o) {
    if (--o->refs > 0) return;
    Expression *dead = AsExpression(o);
    dead->stamp = reinterpret_cast<intptr_t>(kernel.releaseQueue);
    kernel.releaseQueue = dead;
    if (kernel.releasing) return;
    kernel.releasing = true;
    while (Expression *e = kernel.releaseQueue) {
        kernel.releaseQueue = reinterpret_cast<Expression *>(e->stamp);
        for (int64_t i = 0; i <= e->length; ++i) Object_Release(e->elements[i]);
        Free(e);
    }
    kernel.releasing = false;
}

int Same(Object *a, Object *b) {
    struct Frame {
        Expression *x, *y;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    auto enter = [&](Object *x, Object *y) {
        if (AsExpression(x)->length != AsExpression(y)->length) return false;
        stack.push({AsExpression(x), AsExpression(y), 0});
        return true;
    };
    if (!enter(a, b)) return 0;
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > f.x->length) {
            stack.pop();
            continue;
        }
        Object *x = f.x->elements[f.next];
        Object *y = f.y->elements[f.next];
        ++f.next;
        if (x == y) continue;
        if (Object_Type(x) != Object_Type(y)) return 0;
        if (Object_IsExpression(x)) {
            if (!enter(x, y)) return 0;
        } else if (!x->cls->same(x, y)) {
            return 0;
        }
    }
    return 1;
}

// The hash folds every atom in pre-order: the head seeded with the seed,
// then each argument seeded with the running hash.
uint32_t Hash(Object *o, uint32_t seed) {
    uint32_t h = seed;
    Expression_ForEachAtom(o, [&](Object *atom) {
        h = atom->cls->hash(atom, h);
        return true;
    });
    return h;
}

// The least precision and accuracy over every atom; NaN as soon as one atom
// gives NaN, and then the machine flag is 0.
int64_t PrecisionAccuracy(Object *o, double *precision, double *accuracy) {
    double p = std::numeric_limits<double>::infinity();
    double a = p;
    int64_t machine = 0;
    bool nan = false;
    Expression_ForEachAtom(o, [&](Object *atom) {
        double ep, ea;
        int64_t m = Object_PrecisionAccuracy(atom, &ep, &ea);
        if (std::isnan(ep) || std::isnan(ea)) {
            nan = true;
            return false;
        }
        if (m) machine = 1;
        if (ep < p) p = ep;
        if (ea < a) a = ea;
        return true;
    });
    if (nan) {
        p = a = std::numeric_limits<double>::quiet_NaN();
        machine = 0;
    }
    if (precision) *precision = p;
    if (accuracy) *accuracy = a;
    return machine;
}

}  // namespace

const ObjectClass ExpressionClass = {
    TYPE_EXPRESSION, SUB_PLAIN, u"Expression",
    Clone, Expression_Evaluate, Format_Expression, Release, Same, nullptr,
    Slot_Precision<PrecisionAccuracy>, Slot_Accuracy<PrecisionAccuracy>, PrecisionAccuracy, Hash,
};

Object *Expression_New(Object *head, Object *a1, Object *a2, Object *a3, Object *a4) {
    Object *args[4] = {a1, a2, a3, a4};
    int64_t n = 0;
    for (Object *a : args) n += a != nullptr;
    Expression *e = Allocate(head, n);
    int64_t i = 1;
    for (Object *a : args)
        if (a) e->elements[i++] = a;
    return &e->header;
}

Object *Expression_NewEvaluated(Object *head, Object *a1, Object *a2, Object *a3, Object *a4) {
    Object *e = Expression_New(head, a1, a2, a3, a4);
    AsExpression(e)->stamp = kernel.generation;
    return e;
}

Object *Expression_NewSized(Object *head, int64_t n) { return &Allocate(head, n)->header; }

Object *Expression_Insert(Object *o, Object *element, int64_t p) {
    Expression *e = AsExpression(o);
    int64_t L = e->length;
    ResizeArray(e, L + 1, L + 2);
    e->stamp = 0;
    e->length = L + 1;
    Object **a = e->elements;
    int64_t at;  // slot that receives the element
    if (p == -1 || p >= L + 1) at = L + 1;
    else if (p >= 1) at = p;
    else if (p <= -2 && p >= -(L + 1)) at = L + 2 + p;
    else at = 0;
    std::memmove(a + at + 1, a + at, size_t(L + 1 - at) * sizeof(Object *));
    a[at] = element;
    return o;
}

Object *Expression_Compact(Object *o) {
    Expression *e = AsExpression(o);
    e->stamp = 0;
    int64_t kept = 0;
    for (int64_t i = 1; i <= e->length; ++i)
        if (e->elements[i]) e->elements[++kept] = e->elements[i];
    if (kept != e->length) {
        ResizeArray(e, kept + 1, kept + 1);
        e->length = kept;
    }
    return o;
}

Object *Expression_Splice(Object *o, Object *head, int64_t k) {
    Expression *e = AsExpression(o);
    e->stamp = 0;
    auto spliced = [&](Object *arg) { return Object_IsExpression(arg) && Expression_At(arg, 0) == head; };
    if (k > 0) {
        if (k > e->length || !spliced(e->elements[k])) return o;
        Object *inner = e->elements[k];
        int64_t m = Expression_Length(inner);
        int64_t n = e->length;
        if (m > 1) ResizeArray(e, n + 1, n + m);
        Object **a = e->elements;
        std::memmove(a + k + m, a + k + 1, size_t(n - k) * sizeof(Object *));
        for (int64_t j = 0; j < m; ++j) a[k + j] = Object_AddRef(Expression_At(inner, j + 1));
        if (m < 1) ResizeArray(e, n + 1, n + m);
        e->length = n - 1 + m;
        Object_Release(inner);
        return o;
    }
    int64_t total = 0;
    bool any = false;
    for (int64_t i = 1; i <= e->length; ++i) {
        Object *arg = e->elements[i];
        if (spliced(arg)) {
            total += Expression_Length(arg);
            any = true;
        } else {
            ++total;
        }
    }
    if (!any) return o;
    Object **a = NewArray(total + 1);
    a[0] = e->elements[0];
    int64_t at = 1;
    for (int64_t i = 1; i <= e->length; ++i) {
        Object *arg = e->elements[i];
        if (!spliced(arg)) {
            a[at++] = arg;
            continue;
        }
        for (int64_t j = 1; j <= Expression_Length(arg); ++j) a[at++] = Object_AddRef(Expression_At(arg, j));
        Object_Release(arg);
    }
    SetArray(e, a);
    e->length = total;
    return o;
}

Object *Object_Head(Object *o) {
    if (Object_IsExpression(o)) return Expression_At(o, 0);
    return kernel.headSymbols[Object_Type(o)];
}

int64_t Object_Length(Object *o) {
    if (Object_IsExpression(o)) return Expression_Length(o);
    if (Object_Type(o) == TYPE_STRING) return AsString(o)->count;
    return 0;
}

void Expression_DropOwned(void *record) {
    auto *e = static_cast<Expression *>(record);
    if (!HasInlineSlots(e)) std::free(e->elements);
}
