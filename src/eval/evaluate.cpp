// Evaluation is the recursion of the evaluate slots: an expression
// evaluates its head and (as the head's hold attributes allow) its
// arguments, normalises the argument list (sequences, Flat, OneIdentity,
// Listable, Orderless), then tries the definitions of its arguments' symbols
// and of its head symbol in their stored order.
#include "eval/evaluate.h"

#include "eval/deep_stack.h"
#include "eval/definition.h"
#include "eval/native_args.h"
#include "eval/rule_template.h"
#include "eval/small_integers.h"
#include "eval/sort.h"
#include "kernel/abort.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/small_stack.h"
#include "object/symbol.h"

namespace {

void EvaluateArguments(Object *e, int64_t from, int64_t to) {
    Object **elements = AsExpression(e)->elements;
    for (int64_t i = from; i <= to; ++i) elements[i] = Object_Evaluate(elements[i]);
}

Object *MarkEvaluated(Object *e) {
    Expression *x = AsExpression(e);
    // Whatever changes an expression in place clears its stamp first, so a
    // verification can be stale only when the stamp changes here.
    if (x->stamp != kernel.generation) x->verified = 0;
    x->stamp = kernel.generation;
    return e;
}

// Replaces the middle part of a partial Flat match result by the applied
// definition; consumes partial, returns the new expression to go on with.
Object *ApplyPartial(DefinitionEntry *entry, Object *partial) {
    Object *p = Object_MakeUnique(partial);
    Object **elements = AsExpression(p)->elements;
    elements[2] = Definition_Apply(entry, elements[2]);
    return p;
}

// Threads a Listable call over its list arguments when they all have the
// same length; returns null (e untouched) when they do not or there are none.
Object *Thread(Object *e) {
    int64_t n = Expression_Length(e), length = -1;
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(e, i);
        if (!Native_IsList(a)) continue;
        if (length >= 0 && Expression_Length(a) != length) return nullptr;
        length = Expression_Length(a);
    }
    if (length < 0) return nullptr;
    Object *result = Expression_NewSized(Builtin(SYM_List), length);
    for (int64_t k = 1; k <= length; ++k) {
        Object *item = Expression_NewSized(Object_AddRef(Expression_At(e, 0)), n);
        for (int64_t i = 1; i <= n; ++i) {
            Object *a = Expression_At(e, i);
            AsExpression(item)->elements[i] = Object_AddRef(Native_IsList(a) ? Expression_At(a, k) : a);
        }
        AsExpression(result)->elements[k] = item;
    }
    return result;
}

// Tries the sub-definitions stored with the arguments' symbols. Returns the
// found entry (with *partial set for a partial Flat match) or null.
DefinitionEntry *FindSubDefinition(Object *e, uint64_t flags, Object **partial) {
    if (!Definitions_AnySubRules()) return nullptr;
    for (int64_t i = 1; i <= Expression_Length(e); ++i) {
        // The record of the argument's symbol: the argument itself, or the
        // root of its head; numbers and strings have none.
        SymbolRecord *ri = Symbol_Record(Expression_At(e, i), false);
        if (!ri) continue;
        if (DefinitionEntry *entry = Definition_Find(ri, e, DEF_SUB | flags, partial)) return entry;
    }
    return nullptr;
}

// The deepest nesting of expression evaluations the evaluation stack holds
// with room to spare; deeper parts stay unevaluated, with a message.
constexpr int64_t kMaxEvaluationNesting = 400000;

struct NestingGuard {
    NestingGuard() { ++kernel.eval.nesting; }
    ~NestingGuard() { --kernel.eval.nesting; }
};

Object *EvaluateWithRecord(Object *e, SymbolRecord *r) {
    uint64_t a = r->attributes;
    int64_t n = Expression_Length(e);
    switch (a & ATTR_HOLD_ALL) {
    case ATTR_HOLD_ALL: break;
    case ATTR_HOLD_REST: EvaluateArguments(e, 1, n >= 1 ? 1 : 0); break;
    case ATTR_HOLD_FIRST: EvaluateArguments(e, 2, n); break;
    default: EvaluateArguments(e, 1, n);
    }
    // Asked again now that the arguments have their values.
    if (SmallIntegers_Candidate(e)) {
        if (Object *v = SmallIntegers_Apply(e)) return Object_ReleaseReturn(e, v);
    }
    // The expression before the last partial Flat rewrite: a rewrite that
    // gives the same expression back (g(1) = 1 on g(1, 2) under Flat) would
    // be found again and again, so reaching it again ends the evaluation.
    Ref previous;
    for (;;) {
        Object *sequence = BuiltinBorrowed(SYM_Sequence);
        if (!(a & ATTR_SEQUENCE_HOLD) && Expression_HasArgumentWithHead(e, sequence))
            e = Expression_Splice(e, sequence, 0);
        if ((a & ATTR_FLAT) && Expression_HasArgumentWithHead(e, Expression_At(e, 0)))
            e = Expression_Splice(e, Expression_At(e, 0), 0);
        if ((a & ATTR_ONE_IDENTITY) && Expression_Length(e) == 1 && Object_IsSymbol(Expression_At(e, 0)))
            return Object_ReleaseReturn(e, Object_AddRef(Expression_At(e, 1)));
        if (a & ATTR_LISTABLE) {
            if (Object *threaded = Thread(e)) {
                Object_Release(e);
                return Expression_Evaluate(threaded, nullptr);
            }
        }
        if (a & ATTR_ORDERLESS) e = Expression_Sort(e, nullptr, 1);
        if (previous && Object_Same(e, previous.get())) return MarkEvaluated(e);
        previous.reset();
        Object *partial = nullptr;
        DefinitionEntry *entry = FindSubDefinition(e, 0, &partial);
        if (!entry) entry = Definition_Find(r, e, 0, &partial);
        if (!entry) return MarkEvaluated(e);
        if (!partial) return Definition_Apply(entry, e);
        previous.reset(e);
        e = ApplyPartial(entry, partial);
    }
}

}  // namespace

int64_t Expression_IsEvaluated(Object *e) {
    int64_t stamp = AsExpression(e)->stamp;
    if (stamp == 0) return 0;
    // Every definition raises the generation, so a tree found evaluated in
    // the current generation is still evaluated: neither it nor its parts
    // need to be walked again. Without this, a tree met again at every
    // level of a deep rewrite would be walked once per level.
    int64_t generation = kernel.generation;
    if (AsExpression(e)->verified == generation) return stamp;
    struct Frame {
        Expression *e;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    stack.push({AsExpression(e), 0});
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > f.e->length) {
            stack.pop();
            continue;
        }
        int64_t outer = f.e->stamp;
        Object *element = f.e->elements[f.next++];
        if (Object_IsExpression(element)) {
            int64_t s = AsExpression(element)->stamp;
            if (s == 0 || s > outer) return 0;
            if (AsExpression(element)->verified != generation) stack.push({AsExpression(element), 0});
        } else if (Object_IsSymbol(element)) {
            int64_t s = AsSymbol(element)->stamp;
            if (s == 0 || s > outer) return 0;
        }
    }
    AsExpression(e)->verified = generation;
    return stamp;
}

Object *Expression_Evaluate(Object *e, int64_t *) {
    if (AsExpression(e)->stamp && Expression_IsEvaluated(e)) return e;
    // Every evaluation that does work counts toward the host's abort poll.
    Abort_Tick();
    if (SmallIntegers_Candidate(e)) {
        if (Object *v = SmallIntegers_Apply(e)) return Object_ReleaseReturn(e, v);
    }
    if (kernel.eval.nesting >= kMaxEvaluationNesting) {
        if (!kernel.eval.nestingReported) {
            kernel.eval.nestingReported = true;
            Message_Emit(u"Kernel", u"RecursionLimit", Message_IntegerText(kMaxEvaluationNesting));
        }
        return e;
    }
    NestingGuard guard;
    AsExpression(e)->stamp = 0;
    e = Object_MakeUnique(e);
    Object **elements = AsExpression(e)->elements;
    // A head symbol without a value, already stamped, is its own value
    // (what Symbol_Evaluate would say) without the call.
    Object *head = elements[0];
    if (!Object_IsSymbol(head) || !AsSymbol(head)->stamp || (AsSymbol(head)->record && AsSymbol(head)->record->ownValue))
        elements[0] = Object_Evaluate(head);
    if (SymbolRecord *r = Symbol_Record(e, false)) return EvaluateWithRecord(e, r);
    EvaluateArguments(e, 1, Expression_Length(e));
    e = Expression_Splice(e, BuiltinBorrowed(SYM_Sequence), 0);
    if (DefinitionEntry *entry = FindSubDefinition(e, 0, nullptr)) return Definition_Apply(entry, e);
    return MarkEvaluated(e);
}

Object *Symbol_Evaluate(Object *o, int64_t *options) {
    Symbol *s = AsSymbol(o);
    if (s->record && s->record->ownValue) return Definition_Apply(s->record->ownValue, o);
    if (s->stamp == 0) s->stamp = kernel.generation;
    if (options && (*options & EVAL_NULL_IF_UNCHANGED)) {
        Object_Release(o);
        return nullptr;
    }
    return o;
}

namespace {

// Whether slot s of t, filled with values, is a call of Sequence at its top,
// which the evaluation of its parent would splice.
bool SplicesAway(const RuleTemplate *t, const TemplateSlot &s, Object *const *values) {
    Object *sequence = BuiltinBorrowed(SYM_Sequence);
    switch (s.kind) {
    case TemplateSlot::CONSTANT: return Native_IsCall(s.constant, SYM_Sequence);
    case TemplateSlot::NAME: return !values[s.index] || Native_IsCall(values[s.index], SYM_Sequence);
    default: {
        const TemplateSlot &head = t->slots[size_t(t->nodes[size_t(s.index)].firstSlot)];
        if (head.kind == TemplateSlot::CONSTANT) return head.constant == sequence;
        return head.kind == TemplateSlot::NAME && values[head.index] == sequence;
    }
    }
}

// Whether If is still what its natives make it: no value, no user rule, no
// attribute but HoldRest (and protection), and no sub-definition anywhere
// that could claim an If call.
bool PlainIf() {
    SymbolRecord *r = AsSymbol(BuiltinBorrowed(SYM_If))->record;
    return r && !r->ownValue && !Definitions_HaveUserRules(r) && !Definitions_AnySubRules() &&
           (r->attributes & ~(ATTR_PROTECTED | ATTR_LOCKED)) == ATTR_HOLD_REST;
}

// A right side If(c, a, b) evaluated the way the evaluation of the whole
// call goes, without building the branch it does not take: c is built and
// evaluated (inside one more level of nesting, as the If call's own
// evaluation would be), then the branch chosen by True or False is built
// and evaluated one definition level deeper, as the If native does it. In
// every case where that evaluation would go another way (a part that
// splices, a condition that is neither True nor False, a limit reached,
// If given rules of its own) the whole call is built with the evaluated
// condition and evaluated in full. args are the slots of the root, If
// first; values are the bindings' values (owned by the caller). Returns the
// evaluated result.
Object *EvaluateIf(const RuleTemplate *t, const TemplateSlot *args, Object *const *values) {
    Object *condition = nullptr;
    Object *result = nullptr;
    {
        NestingGuard guard;
        condition = Object_Evaluate(RuleTemplate_ApplySlot(t, args[1], values));
        KernelSettings &settings = kernel.settings;
        int64_t branch = condition == BuiltinBorrowed(SYM_True) ? 2 : condition == BuiltinBorrowed(SYM_False) ? 3 : 0;
        if (branch && !Native_IsCall(condition, SYM_Sequence) && PlainIf() &&
            settings.recursionDepth + 1 <= settings.recursionLimit && !settings.recursionLimitReported) {
            Object_Release(condition);
            ++settings.recursionDepth;
            result = Object_Evaluate(RuleTemplate_ApplySlot(t, args[branch], values));
            if (Object_IsExpression(result)) MarkEvaluated(result);
            --settings.recursionDepth;
            return result;
        }
    }
    Object *call = Expression_NewSized(Builtin(SYM_If), 3);
    Object **elements = AsExpression(call)->elements;
    elements[1] = condition;
    elements[2] = RuleTemplate_ApplySlot(t, args[2], values);
    elements[3] = RuleTemplate_ApplySlot(t, args[3], values);
    return Object_Evaluate(call);
}

// The right side of entry with its bindings filled in, evaluated; the
// bindings are cleared. Consumes nothing.
Object *EvaluateRightSide(DefinitionEntry *entry) {
    if (!entry->compiled.built) RuleTemplate_Build(&entry->compiled, entry->right, &entry->bindings);
    const RuleTemplate *t = &entry->compiled;
    std::vector<Binding> &items = entry->bindings.items;
    constexpr size_t kInline = 8;
    Object *inlineValues[kInline];
    std::vector<Object *> heapValues;
    Object **values = inlineValues;
    if (items.size() > kInline) {
        heapValues.resize(items.size());
        values = heapValues.data();
    }
    for (size_t i = 0; i < items.size(); ++i) values[i] = items[i].value;
    // The root's slots when it is a call If(c, a, b), else null.
    const TemplateSlot *args = nullptr;
    if (t->root.kind == TemplateSlot::NODE && t->nodes[size_t(t->root.index)].slots == 4) {
        args = &t->slots[size_t(t->nodes[size_t(t->root.index)].firstSlot)];
        if (args[0].kind != TemplateSlot::CONSTANT || args[0].constant != BuiltinBorrowed(SYM_If)) args = nullptr;
    }
    bool ifShape = args && kernel.eval.nesting < kMaxEvaluationNesting && PlainIf() &&
                   !SplicesAway(t, args[2], values) && !SplicesAway(t, args[3], values);
    if (!ifShape) {
        Object *result = RuleTemplate_Apply(t, values);
        Bindings_Clear(&entry->bindings);
        return Object_Evaluate(result);
    }
    // The condition may match this very entry again and rebind it, so the
    // values are held apart from it.
    for (size_t i = 0; i < items.size(); ++i)
        if (values[i]) Object_AddRef(values[i]);
    Bindings_Clear(&entry->bindings);
    struct Release {
        Object **values;
        size_t n;
        ~Release() {
            for (size_t i = 0; i < n; ++i) Object_Release(values[i]);
        }
    } release{values, items.size()};
    return EvaluateIf(t, args, values);
}

}  // namespace

Object *Definition_Apply(DefinitionEntry *entry, Object *e) {
    KernelSettings &settings = kernel.settings;
    ++settings.recursionDepth;
    if (settings.recursionDepth > settings.recursionLimit || settings.recursionLimitReported) {
        if (!settings.recursionLimitReported) {
            settings.recursionLimitReported = 1;
            Message_Emit(u"Kernel", u"RecursionLimit", Message_IntegerText(settings.recursionLimit));
        }
        --settings.recursionDepth;
        Bindings_Clear(&entry->bindings);
        if (Object_IsExpression(e)) MarkEvaluated(e);
        return e;
    }
    Object *outermost = settings.recursionDepth == 1 ? Object_AddRef(e) : nullptr;
    Object *result;
    if (entry->right) {
        if (entry->bindings.items.empty()) {
            Object_Release(e);
            result = Object_Evaluate(Object_AddRef(entry->right));
        } else {
            Object_Release(e);
            result = EvaluateRightSide(entry);
        }
    } else if (entry->bindings.items.empty()) {
        result = entry->native(e);
    } else {
        BindingList *saved = kernel.eval.currentBindings;
        kernel.eval.currentBindings = &entry->bindings;
        result = entry->native(e);
        kernel.eval.currentBindings = saved;
        Bindings_Clear(&entry->bindings);
    }
    if (Object_IsExpression(result)) MarkEvaluated(result);
    --settings.recursionDepth;
    if (settings.recursionDepth == 0) {
        if (settings.recursionLimitReported) {
            settings.recursionLimitReported = 0;
            Object_Release(result);
            return Expression_NewEvaluated(Builtin(SYM_Hold), outermost);
        }
        Object_Release(outermost);
    }
    return result;
}

namespace {

// Whether a user rule could apply to head(a, b), or to e when head is null:
// one of the head's root, or a sub-definition of an argument's symbol. All
// borrowed.
bool UserRulesPossible(Object *head, Object *a, Object *b, Object *e) {
    auto sub = [](Object *x) {
        SymbolRecord *r = x ? Symbol_Record(x, false) : nullptr;
        return r && Definitions_HaveSubRules(r);
    };
    if (!head) {
        SymbolRecord *r = Symbol_Record(e, false);
        if (r && Definitions_HaveUserRules(r)) return true;
        if (!Object_IsExpression(e)) return false;
        for (int64_t i = 1; i <= Expression_Length(e); ++i)
            if (sub(Expression_At(e, i))) return true;
        return false;
    }
    SymbolRecord *r = Symbol_Record(head, false);
    return (r && Definitions_HaveUserRules(r)) || sub(a) || sub(b);
}

}  // namespace

bool Definition_ApplyUser(Object **slot, Object *head, Object *a, Object *b) {
    if (!UserRulesPossible(head, a, b, head ? nullptr : *slot)) return false;
    Ref candidate(head ? Expression_New(Object_AddRef(head), a ? Object_AddRef(a) : nullptr, b ? Object_AddRef(b) : nullptr)
                       : Object_AddRef(*slot));
    Object *partial = nullptr;
    DefinitionEntry *entry = FindSubDefinition(candidate.get(), FIND_SKIP_NATIVE, &partial);
    if (!entry) {
        SymbolRecord *r = Symbol_Record(candidate.get(), false);
        if (r) entry = Definition_Find(r, candidate.get(), FIND_SKIP_NATIVE, &partial);
    }
    if (!entry) return false;
    Object *result = partial ? Object_Evaluate(ApplyPartial(entry, partial)) : Definition_Apply(entry, candidate.release());
    Object_Release(*slot);
    *slot = result;
    return true;
}

Object *Evaluate_TopLevel(Object *o) {
    kernel.eval.nestingReported = false;
    return DeepStack_Run([](Object *x) { return Object_Evaluate(x); }, o);
}
