// Compound expressions: a head and n arguments in one array of references
// (position 0 the head, 1..n the arguments), exactly sized when it is not
// held in the record, with an evaluation stamp.
#pragma once

#include <cstdint>

#include "object/object.h"
#include "object/small_stack.h"

// Slots held in the record itself: a head and up to three arguments, the
// size of most calls, need no separate array.
constexpr int64_t kExpressionInlineSlots = 4;

struct Expression {
    Object header;
    int64_t stamp;       // 0: not evaluated since built or changed
    int64_t verified;    // generation in which the whole tree was last found evaluated
    int64_t length;      // number of arguments
    Object **elements;   // length + 1 slots: inlineSlots, or an owned array
    Object *inlineSlots[kExpressionInlineSlots];
};

extern const ObjectClass ExpressionClass VORLAN_INTERNAL;

inline bool Object_IsExpression(const Object *o) { return o->cls == &ExpressionClass; }
inline Expression *AsExpression(Object *o) { return reinterpret_cast<Expression *>(o); }
inline int64_t Expression_Length(Object *e) { return AsExpression(e)->length; }
// Borrowed element i (0 the head).
inline Object *Expression_At(Object *e, int64_t i) { return AsExpression(e)->elements[i]; }

// head[a1, ..., a4] with the absent (null) arguments skipped; stamp 0. Takes
// over every reference passed in.
Object *Expression_New(Object *head, Object *a1 = nullptr, Object *a2 = nullptr, Object *a3 = nullptr,
                       Object *a4 = nullptr);

// As Expression_New, stamped with the current definition generation: the
// result counts as already evaluated.
Object *Expression_NewEvaluated(Object *head, Object *a1 = nullptr, Object *a2 = nullptr,
                                Object *a3 = nullptr, Object *a4 = nullptr);

// head with n null argument slots that the caller fills before the
// expression leaves its hands. Takes over head.
Object *Expression_NewSized(Object *head, int64_t n);

// Inserts element into the unique expression e at position p: -1 or past the
// end appends; 1..L inserts before argument p; -(L+1)..-2 counts from the
// end; 0 or below -(L+1) makes element the new head, the old head becoming
// the first argument. Takes over element; returns e.
Object *Expression_Insert(Object *e, Object *element, int64_t position);

// Removes the null argument slots of the unique expression e; returns e.
Object *Expression_Compact(Object *e);

// Replaces arguments of the unique expression e whose head is head (by
// identity) with their own arguments: only argument k when k > 0, every one
// in one left-to-right pass when k = 0. Borrows head; returns e.
Object *Expression_Splice(Object *e, Object *head, int64_t position);

// Whether some argument of e is an expression with the head head (by
// identity), that is, whether Expression_Splice(e, head, 0) would change e.
// Borrows both.
inline bool Expression_HasArgumentWithHead(Object *e, Object *head) {
    Expression *x = AsExpression(e);
    for (int64_t i = 1; i <= x->length; ++i) {
        Object *a = x->elements[i];
        if (Object_IsExpression(a) && AsExpression(a)->elements[0] == head) return true;
    }
    return false;
}

// The head of o: element 0 of an expression, the head symbol of an atom's
// type (null before the registry has run). Borrowed.
Object *Object_Head(Object *o);

// Arguments of an expression, characters of a string, 0 for other atoms.
int64_t Object_Length(Object *o);

// Pool hook of the clearing step: frees the element array.
void Expression_DropOwned(void *record);

// Calls visit(atom) for every atom of o in pre-order (head before
// arguments), without recursion; stops early when visit returns false.
// Returns false when it was stopped. Borrows o.
template <typename Visit>
bool Expression_ForEachAtom(Object *o, Visit visit) {
    if (!Object_IsExpression(o)) return visit(o);
    struct Frame {
        Expression *e;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    stack.push({AsExpression(o), 0});
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > f.e->length) {
            stack.pop();
            continue;
        }
        Object *element = f.e->elements[f.next++];
        if (Object_IsExpression(element)) stack.push({AsExpression(element), 0});
        else if (!visit(element)) return false;
    }
    return true;
}
