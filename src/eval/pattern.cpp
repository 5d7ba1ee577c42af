// The pattern matcher: a depth-first search with backtracking over the
// elements of a pattern. Every pattern element owns a match state that
// records how far it got, so that a failure further right can ask it for its
// next alternative: a longer sequence, a different grouping under a Flat
// head, another alternative, or the default of an optional element.
// Orderless subjects are searched by permuting a private copy of their
// arguments.
//
// The search runs on an explicit stack of frames instead of the C++ stack:
// each frame is one pattern element being matched, resumable at a program
// counter after the element below it reports. A pattern nested 100,000
// levels deep therefore costs heap, not native stack, and so do
// Pattern_Substitute and Pattern_CollectNames, which walk iteratively.
#include "eval/pattern.h"

#include <cstdint>
#include <functional>
#include <utility>

#include "eval/compare.h"
#include "eval/sort.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/small_stack.h"
#include "object/symbol.h"
#include "syntax/formatter.h"

// Status values of a match state.
enum : int32_t {
    MATCH_FRESH = 0,     // not tried yet
    MATCH_OPEN = 1,      // matched a sequence that may take one more argument
    MATCH_RETRY = 2,     // matched, and has untried alternatives
    MATCH_SETTLED = 3,   // matched, no alternatives left
    MATCH_FAILED = 4,
};

struct MatchState {
    int32_t status;
    int64_t sequenceStart;   // first consumed argument of a sequence; 0 for a single element
    int64_t count;           // arguments consumed
    Object *groupingHead;    // head wrapping a sequence grouped under a Flat head; borrowed
    int64_t alternative;     // current alternative of an Alternatives element (1-based)
    Object *parent;          // expression whose arguments are consumed; borrowed
    int64_t start;           // where in parent this element starts
    SymbolRecord *parentRecord;  // record of parent's root head, for Flat and Orderless
    int64_t bindingSlot;     // index of the binding this element binds, or -1
    MatchChildren *children; // states of the sub-elements, or null
};

// The states of an expression pattern's head (0) and arguments (1..n), or
// of an Alternatives element's alternatives (0..n-1), plus the private copy
// of an Orderless subject once a permutation has been tried.
struct MatchChildren {
    int64_t capacity;
    int64_t size;
    Object *copy;            // owned, or null
    MatchState *states;      // capacity entries
};

MatchChildrenCache::~MatchChildrenCache() {
    for (MatchChildren *c : arrays) {
        delete[] c->states;
        delete c;
    }
}

namespace {

// Arrays kept for reuse beyond this many are freed: a deep pattern would
// otherwise leave a free list as long as its depth behind.
constexpr size_t kCachedChildrenArrays = 256;

void InitState(MatchState *s) {
    *s = MatchState{};
    s->bindingSlot = -1;
}

MatchChildren *AcquireChildren(int64_t n) {
    std::vector<MatchChildren *> &cache = kernel.eval.matchChildren.arrays;
    MatchChildren *c;
    if (!cache.empty()) {
        c = cache.back();
        cache.pop_back();
    } else {
        c = new MatchChildren{};
    }
    if (c->capacity < n) {
        delete[] c->states;
        c->states = nullptr;
        c->capacity = 0;
        c->states = new MatchState[size_t(n)];
        c->capacity = n;
    }
    c->size = n;
    c->copy = nullptr;
    return c;
}

// Takes back an array whose states and copy have already been let go.
void RecycleChildren(MatchChildren *c) {
    std::vector<MatchChildren *> &cache = kernel.eval.matchChildren.arrays;
    if (cache.size() < kCachedChildrenArrays) {
        cache.push_back(c);
        return;
    }
    delete[] c->states;
    delete c;
}

bool InRange(const MatchState *s, const MatchState *lo, const MatchState *hi) {
    std::less<const MatchState *> less;
    return s && !less(s, lo) && less(s, hi);
}

// Forgets the value, pattern and defining state of every binding made by a
// state in [lo, hi).
void ForgetRange(BindingList *list, const MatchState *lo, const MatchState *hi) {
    if (!list) return;
    for (Binding &b : list->items) {
        if (!InRange(b.definingState, lo, hi)) continue;
        b.value = nullptr;
        b.pattern = nullptr;
        b.definingState = nullptr;
    }
}

// Gives back the states below s (their bindings forgotten when list is
// given, their private copies released) and makes s fresh again, keeping
// where it sits: parent, parent record and start.
void ResetState(MatchState *s, BindingList *list) {
    ForgetRange(list, s, s + 1);
    SmallStack<MatchChildren *, 16> pending;
    if (s->children) pending.push(s->children);
    while (!pending.empty()) {
        MatchChildren *c = pending.top();
        pending.pop();
        ForgetRange(list, c->states, c->states + c->size);
        for (int64_t i = 0; i < c->size; ++i)
            if (c->states[i].children) pending.push(c->states[i].children);
        Object_Release(c->copy);
        c->copy = nullptr;
        RecycleChildren(c);
    }
    Object *parent = s->parent;
    SymbolRecord *record = s->parentRecord;
    int64_t start = s->start;
    InitState(s);
    s->parent = parent;
    s->parentRecord = record;
    s->start = start;
}

// Argument i of e (0 is the head), or null past the end.
Object *ArgumentOrNull(Object *e, int64_t i) { return i <= Expression_Length(e) ? Expression_At(e, i) : nullptr; }

bool IsSequenceState(const MatchState *s) { return s->sequenceStart >= 1; }

// A binding made by a Pattern element that consumed a run of arguments (its
// value is then the run's parent). Option values carry no pattern and are
// always single elements.
bool IsSequenceBinding(const Binding &b) {
    return b.definingState && b.pattern && IsSequenceState(b.definingState);
}

// Element j (0-based) of the run a sequence binding stands for.
Object *SequenceElement(const Binding &b, int64_t j) {
    const MatchState *d = b.definingState;
    return Expression_At(d->parent, d->sequenceStart + j);
}

// The value a binding stands for, as a new reference: a run of one argument
// as the argument itself, other runs cut out as Sequence[...] (or h[...]
// when grouped under a Flat head h), a single element as itself, and a name
// never bound as its default or Sequence[].
Object *OwnedValue(const Binding &b) {
    if (!b.value) return b.defaultValue ? Object_AddRef(b.defaultValue) : Sequence_Empty();
    if (!IsSequenceBinding(b)) return Object_AddRef(b.value);
    const MatchState *d = b.definingState;
    if (d->count == 1 && !d->groupingHead) return Object_AddRef(SequenceElement(b, 0));
    return Sequence_Extract(d->parent, d->sequenceStart, d->count, d->groupingHead);
}

int64_t FindBinding(const BindingList *list, Object *name) {
    for (size_t i = 0; i < list->items.size(); ++i)
        if (list->items[i].name == name) return int64_t(i);
    return -1;
}

int64_t AddBinding(BindingList *list, Object *name, Object *defaultValue) {
    list->items.push_back(Binding{Object_AddRef(name), nullptr, defaultValue, nullptr, nullptr});
    return int64_t(list->items.size()) - 1;
}

bool IsRuleWithSymbol(Object *o) {
    if (!Object_IsExpression(o) || Expression_Length(o) != 2) return false;
    Object *h = Expression_At(o, 0);
    return (h == BuiltinBorrowed(SYM_Rule) || h == BuiltinBorrowed(SYM_RuleDelayed)) &&
           Object_IsSymbol(Expression_At(o, 1));
}

// Replaces, in e (consumed), every symbol for which lookup gives a new
// reference by that reference, heads and held parts included. Only the
// parts that change are copied: an expression owned solely through the
// path from e is changed in place (unless copyMode), any other is cloned.
// Changed expressions lose their evaluation stamp. Sets *changed when
// anything was replaced. Iterative, so depth costs heap only.
template <typename Lookup>
Object *SubstituteTree(Object *e, bool copyMode, bool *changed, Lookup lookup) {
    if (!Object_IsExpression(e)) {
        Object *v = lookup(e);
        if (!v) return e;
        *changed = true;
        Object_Release(e);
        return v;
    }
    struct Frame {
        Object *node;   // borrowed: the expression being walked
        Object *out;    // owned clone carrying the changes, when not in place
        int64_t next;
        bool inPlace;
        bool changed;
    };
    // Puts v (a new reference) at slot i of the frame's result.
    auto store = [](Frame &f, int64_t i, Object *v) {
        f.changed = true;
        Object *target = f.node;
        if (!f.inPlace) {
            if (!f.out) f.out = Object_Clone(f.node);
            target = f.out;
        }
        Object **slot = &AsExpression(target)->elements[i];
        Object_Release(*slot);
        *slot = v;
    };
    SmallStack<Frame, 32> stack;
    stack.push({e, nullptr, 0, !copyMode && e->refs == 1, false});
    for (;;) {
        Frame &f = stack.top();
        if (f.next <= Expression_Length(f.node)) {
            int64_t i = f.next++;
            Object *child = Expression_At(f.node, i);
            if (Object_IsExpression(child)) {
                stack.push({child, nullptr, 0, f.inPlace && child->refs == 1, false});
                continue;
            }
            if (Object *v = lookup(child)) store(f, i, v);
            continue;
        }
        Frame done = f;
        stack.pop();
        if (done.changed) AsExpression(done.inPlace ? done.node : done.out)->stamp = 0;
        if (stack.empty()) {
            *changed = *changed || done.changed;
            if (done.out) {
                Object_Release(e);
                return done.out;
            }
            return e;
        }
        Frame &parent = stack.top();
        if (!done.changed) continue;
        if (done.inPlace) parent.changed = true;  // the child changed where the parent holds it
        else store(parent, parent.next - 1, done.out);
    }
}

// The search of one Pattern_Match call: a stack of frames, one per pattern
// element under way, binding names in the match's binding list (whose
// values are borrowed pointers into the subject while the search runs).
class Matcher {
public:
    explicit Matcher(BindingList *list) : list_(list) {}

    // Matches s against p (both borrowed) with the top-level state S.
    // Returns 1 or 0; a partial result, when the match made one, waits in
    // TakePartialResult.
    int Run(Object *s, Object *p, MatchState *S, bool partial) {
        Call(s, p, S, partial);
        while (!stack_.empty()) Step();
        return ret_;
    }

    // The partial-match result (owned by the caller from now on), or null.
    Object *TakePartialResult() { return std::exchange(partial_, nullptr); }

    ~Matcher() { Object_Release(partial_); }

private:
    enum Kind : uint8_t { DISPATCH, ALTERNATIVES, CONDITION, OPTIONAL, PATTERN, EXPRESSION };

    // One pattern element being matched. The fields after S are the
    // element's working variables, used as each kind needs them.
    struct Frame {
        Object *s;         // subject element, or null past the last argument
        Object *p;         // pattern element
        MatchState *S;
        Object *subject;   // expression: s or its private copy; optional: saved parent
        SymbolRecord *savedRecord;  // optional: saved parent record
        int64_t k;         // expression: pattern position; alternatives: current one; optional: saved start
        int64_t m;         // expression: subject position
        int64_t g;         // expression: arguments skipped before a partial-match window
        int64_t before;    // count of the child being called, before the call
        Kind kind;
        uint8_t pc;
        bool partial;
        bool ordered;      // expression: the arguments are known to be in canonical order
    };

    BindingList *list_;
    SmallStack<Frame, 16> stack_;
    int ret_ = 0;
    Object *matched_ = nullptr;   // the single element the last successful element matched
    Object *partial_ = nullptr;   // owned partial-match result

    // Pushes a frame for s against p. The caller's frame reference is
    // invalid afterwards: callers return right after.
    void Call(Object *s, Object *p, MatchState *S, bool partial = false) {
        Frame f{};
        f.s = s;
        f.p = p;
        f.S = S;
        f.kind = DISPATCH;
        f.partial = partial;
        stack_.push(f);
    }

    // Resumes f at pc once the element pushed now reports.
    void Enter(Frame &f, uint8_t pc, Object *s, Object *p, MatchState *S, bool partial = false) {
        f.pc = pc;
        Call(s, p, S, partial);
    }

    void Return(int result) {
        stack_.pop();
        ret_ = result;
    }

    void Succeed(Object *s) {
        matched_ = s;
        Return(1);
    }

    void Fail(MatchState *S) {
        S->status = MATCH_FAILED;
        Return(0);
    }

    void Forget(MatchState *S) { ForgetRange(list_, S, S + 1); }

    void Step() {
        Frame &f = stack_.top();
        switch (f.kind) {
        case DISPATCH: return Dispatch(f);
        case ALTERNATIVES: return StepAlternatives(f);
        case CONDITION: return StepCondition(f);
        case OPTIONAL: return StepOptional(f);
        case PATTERN: return StepPattern(f);
        case EXPRESSION: return StepExpression(f);
        }
    }

    static bool FlatContext(const MatchState *S) {
        return S->parentRecord && (S->parentRecord->attributes & ATTR_FLAT);
    }

    // Switches an element that took one argument as itself to the grouping
    // parent-head[argument] of a Flat context.
    static void StartGrouping(MatchState *S) {
        S->status = MATCH_OPEN;
        S->groupingHead = Expression_At(S->parent, 0);
        S->sequenceStart = S->start;
        S->count = 1;
    }

    // The leaf elements are decided here; composite ones get their kind and
    // run on.
    void Dispatch(Frame &f) {
        Object *s = f.s;
        Object *p = f.p;
        MatchState *S = f.S;
        if (p == BuiltinBorrowed(SYM_Any) && s) {
            if (!FlatContext(S)) {
                S->status = MATCH_SETTLED;
                S->count = 1;
            } else if (S->status == MATCH_FRESH) {
                S->status = MATCH_RETRY;
                S->count = 1;
            } else if (S->status == MATCH_RETRY) {
                StartGrouping(S);
            } else {
                ++S->count;
            }
            return Succeed(s);
        }
        if (p == BuiltinBorrowed(SYM_AnySequence) && s) return GrowSequence(S, s, 1);
        if (p == BuiltinBorrowed(SYM_AnyNullSequence) && (S->status == MATCH_FRESH || s))
            return GrowSequence(S, s, 0);
        if (Object_IsExpression(p) && Object_IsSymbol(Expression_At(p, 0))) {
            Object *h = Expression_At(p, 0);
            int64_t n = Expression_Length(p);
            if (n == 1 && Object_IsSymbol(Expression_At(p, 1))) {
                Object *type = Expression_At(p, 1);
                if (h == BuiltinBorrowed(SYM_Any) && s) return MatchTypedAny(S, s, type);
                if (h == BuiltinBorrowed(SYM_AnySequence) && s) {
                    if (Object_Head(s) != type) return Fail(S);
                    return GrowSequence(S, s, 1);
                }
                if (h == BuiltinBorrowed(SYM_AnyNullSequence)) {
                    if (S->status == MATCH_FRESH || (s && Object_Head(s) == type)) return GrowSequence(S, s, 0);
                    return Fail(S);
                }
            }
            Kind kind = DISPATCH;
            if (h == BuiltinBorrowed(SYM_Alternatives)) kind = ALTERNATIVES;
            else if (h == BuiltinBorrowed(SYM_Condition) && n == 2) kind = CONDITION;
            else if (h == BuiltinBorrowed(SYM_Optional) && n == 2) kind = OPTIONAL;
            else if (h == BuiltinBorrowed(SYM_Options)) return MatchOptions(S, s);
            else if (h == BuiltinBorrowed(SYM_Pattern) && n == 2 && Object_IsSymbol(Expression_At(p, 1)))
                kind = PATTERN;
            if (kind != DISPATCH) {
                f.kind = kind;
                f.pc = 0;
                return Step();
            }
        }
        if (!s) return Fail(S);
        if (!Object_IsExpression(s) || !Object_IsExpression(p)) {
            if (!Object_Same(s, p)) return Fail(S);
            S->status = MATCH_SETTLED;
            S->count = 1;
            return Succeed(s);
        }
        f.kind = EXPRESSION;
        f.pc = 0;
        StepExpression(f);
    }

    // A sequence element: a fresh one opens a run of `first` arguments (0 or
    // 1) at its start, an open one takes one argument more.
    void GrowSequence(MatchState *S, Object *s, int64_t first) {
        if (S->status == MATCH_FRESH) {
            S->status = MATCH_OPEN;
            S->sequenceStart = S->start;
            S->count = first;
        } else {
            ++S->count;
        }
        Succeed(s);
    }

    // Any[h]: one element with head h; under a Flat head h also the
    // groupings h[...] of a run of arguments.
    void MatchTypedAny(MatchState *S, Object *s, Object *type) {
        bool headMatches = Object_Head(s) == type;
        if (!FlatContext(S)) {
            if (!headMatches) return Fail(S);
            S->status = MATCH_SETTLED;
            S->count = 1;
            return Succeed(s);
        }
        if (S->status == MATCH_FRESH) {
            S->status = MATCH_RETRY;
            if (!headMatches) return Return(0);
            S->count = 1;
            return Succeed(s);
        }
        if (S->status == MATCH_RETRY) {
            if (Expression_At(S->parent, 0) != type) return Fail(S);
            StartGrouping(S);
            return Succeed(s);
        }
        ++S->count;
        Succeed(s);
    }

    // Options[...]: a run of trailing rules name -> value. The values of the
    // whole run are recomputed on every growth, because growing forgets what
    // the element bound before.
    void MatchOptions(MatchState *S, Object *s) {
        if (S->status == MATCH_FRESH) {
            S->status = MATCH_OPEN;
            S->sequenceStart = S->start;
            S->count = 0;
            return Succeed(s);
        }
        if (!s || !IsRuleWithSymbol(s)) return Fail(S);
        Object *name = Expression_At(s, 1);
        if (FindBinding(list_, name) < 0) Message_Emit(u"Options", u"Unknown", Format_Standard(name));
        S->status = MATCH_OPEN;
        ++S->count;
        if (!S->parent) return Succeed(s);
        for (int64_t j = S->sequenceStart; j < S->sequenceStart + S->count; ++j) {
            Object *rule = Expression_At(S->parent, j);
            int64_t slot = FindBinding(list_, Expression_At(rule, 1));
            if (slot < 0) continue;
            Binding &b = list_->items[size_t(slot)];
            if (b.value) continue;   // the first occurrence wins
            b.value = Expression_At(rule, 2);
            b.pattern = nullptr;
            b.definingState = S;
        }
        Succeed(s);
    }

    // The children of an Alternatives element start where it starts.
    void PrepareAlternatives(MatchState *S, int64_t n) {
        if (S->children) ResetState(S, list_);
        S->children = AcquireChildren(n);
        for (int64_t i = 0; i < n; ++i) InitState(&S->children->states[i]);
    }

    static void Mirror(MatchState *S, const MatchState *C) {
        S->sequenceStart = C->sequenceStart;
        S->count = C->count;
        S->groupingHead = C->groupingHead;
    }

    // An alternative that reported with status 1 or 2 can still give another
    // match: at top level (no parent) only status 2 can, since there is no
    // argument list to grow into.
    static bool CanContinue(const MatchState *S, const MatchState *C) {
        return C->status == MATCH_RETRY || (C->status == MATCH_OPEN && S->parent);
    }

    // Alternatives[p1, ..., pn]: the first alternative that matches. When
    // retried, the current alternative is asked for its next match first
    // (a longer sequence, say) and only then the following alternatives are
    // tried, each from the element's start.
    void StepAlternatives(Frame &f) {
        MatchState *S = f.S;
        int64_t n = Expression_Length(f.p);
        for (;;) {
            switch (f.pc) {
            case 0: {
                if (S->status == MATCH_FRESH) {
                    PrepareAlternatives(S, n);
                    S->alternative = 0;
                }
                int64_t i = S->alternative;
                if (i >= 1) {
                    MatchState *C = &S->children->states[i - 1];
                    if (CanContinue(S, C)) {
                        Forget(C);
                        C->count = S->count;
                        f.k = i;
                        return Enter(f, 2, f.s, Expression_At(f.p, i), C);
                    }
                    ResetState(C, list_);
                }
                f.k = i + 1;
                f.pc = 1;
                continue;
            }
            case 1: {
                if (f.k > n) {
                    S->sequenceStart = 0;
                    S->count = 0;
                    S->groupingHead = nullptr;
                    return Fail(S);
                }
                MatchState *C = &S->children->states[f.k - 1];
                C->parent = S->parent;
                C->parentRecord = S->parentRecord;
                C->start = S->start;
                S->alternative = f.k;
                Object *element = S->parent ? ArgumentOrNull(S->parent, S->start) : f.s;
                return Enter(f, 2, element, Expression_At(f.p, f.k), C);
            }
            case 2: {
                MatchState *C = &S->children->states[f.k - 1];
                Mirror(S, C);
                if (ret_) {
                    S->status = C->status == MATCH_SETTLED && f.k < n ? MATCH_RETRY : C->status;
                    return Return(1);
                }
                if (C->status == MATCH_FRESH) C->status = MATCH_FAILED;
                if (CanContinue(S, C)) {
                    S->status = C->status;
                    // Inside an argument list the enclosing search calls
                    // again (after moving its position); at top level ask
                    // the alternative right away.
                    if (S->parent) return Return(0);
                    Forget(C);
                    return Enter(f, 2, f.s, Expression_At(f.p, f.k), C);
                }
                ResetState(C, list_);
                S->sequenceStart = 0;
                S->count = 0;
                S->groupingHead = nullptr;
                ++f.k;
                f.pc = 1;
                continue;
            }
            }
        }
    }

    // Substitutes the current bindings into test and evaluates it. A name
    // bound to a run of arguments is given the run cut out as a sequence.
    bool TestHolds(Object *test) {
        bool changed = false;
        Object *t = SubstituteTree(Object_AddRef(test), false, &changed, [this](Object *atom) -> Object * {
            if (!Object_IsSymbol(atom)) return nullptr;
            int64_t slot = FindBinding(list_, atom);
            return slot < 0 ? nullptr : OwnedValue(list_->items[size_t(slot)]);
        });
        Object *result = Object_Evaluate(t);
        bool holds = result == BuiltinBorrowed(SYM_True);
        Object_Release(result);
        return holds;
    }

    // Condition[q, test]: q, if test holds with q's bindings. A failed test
    // leaves the state as q left it, so that the enclosing search can ask q
    // for another match; at top level that is done here.
    void StepCondition(Frame &f) {
        MatchState *S = f.S;
        Object *q = Expression_At(f.p, 1);
        if (f.pc == 0) return Enter(f, 1, f.s, q, S, f.partial);
        if (!ret_) {
            if (S->status == MATCH_FRESH) S->status = MATCH_FAILED;
            return Return(0);
        }
        if (TestHolds(Expression_At(f.p, 2))) return Return(1);
        if (!S->parent && S->status == MATCH_RETRY) {
            Forget(S);
            return Enter(f, 1, f.s, q, S, f.partial);
        }
        Return(0);
    }

    // Optional[q, default]: what q matches; when retried, nothing, with q's
    // names bound by matching default against q on its own (outside the
    // argument list, so that a sequence pattern binds the default itself).
    void StepOptional(Frame &f) {
        MatchState *S = f.S;
        Object *q = Expression_At(f.p, 1);
        switch (f.pc) {
        case 0:
            if (S->status == MATCH_FRESH || S->status == MATCH_OPEN) return Enter(f, 1, f.s, q, S);
            f.subject = S->parent;
            f.savedRecord = S->parentRecord;
            f.k = S->start;
            ResetState(S, list_);
            S->parent = nullptr;
            S->parentRecord = nullptr;
            S->start = 0;
            return Enter(f, 2, Expression_At(f.p, 2), q, S);
        case 1:
            if (ret_) {
                if (S->status != MATCH_OPEN) S->status = MATCH_RETRY;
                return Return(1);
            }
            S->status = MATCH_RETRY;
            return Return(0);
        default:
            S->parent = f.subject;
            S->parentRecord = f.savedRecord;
            S->start = f.k;
            S->count = 0;
            if (!ret_) return Fail(S);
            S->status = MATCH_SETTLED;
            return Return(1);
        }
    }

    // Pattern[name, q]: what q matches, binding name. A name bound before
    // must stand for the same thing again.
    void StepPattern(Frame &f) {
        MatchState *S = f.S;
        Object *name = Expression_At(f.p, 1);
        Object *q = Expression_At(f.p, 2);
        if (f.pc == 0) return Enter(f, 1, f.s, q, S);
        if (!ret_) return Return(0);
        Object *single = matched_;
        int64_t slot = FindBinding(list_, name);
        if (slot < 0) slot = AddBinding(list_, name, nullptr);
        S->bindingSlot = slot;
        Binding &b = list_->items[size_t(slot)];
        if (!b.definingState) {
            b.pattern = q;
            b.definingState = S;
        }
        if (!b.value) {
            b.value = IsSequenceState(S) ? S->parent : single;
            return Return(1);
        }
        if (b.definingState == S) return Return(1);
        Return(SameAsBefore(b, S, single));
    }

    // A repeated name failing to match: the element gives back what it
    // just took (a Flat element keeps status 2 so it can still group).
    static int Mismatch(MatchState *S) {
        if (S->status != MATCH_RETRY) S->status = MATCH_FAILED;
        if (S->count > 0) --S->count;
        return 0;
    }

    // Whether what S matched is the same as the earlier value of b. A
    // sequence is checked one argument at a time as it grows: a match so
    // far that is still too short fails with the state unchanged, so that
    // the enclosing search lets it grow.
    static int SameAsBefore(const Binding &b, MatchState *S, Object *single) {
        bool firstIsSequence = IsSequenceBinding(b);
        const MatchState *first = b.definingState;
        if (firstIsSequence && IsSequenceState(S)) {
            int64_t n = S->count;
            if (n == 0) {
                if (first->count != 0) return 0;
                S->status = MATCH_SETTLED;
                return 1;
            }
            Object *newest = Expression_At(S->parent, S->sequenceStart + n - 1);
            if (n > first->count || !Object_Same(newest, SequenceElement(b, n - 1))) return Mismatch(S);
            if (n < first->count) return 0;
            bool sameGrouping = first->groupingHead == S->groupingHead ||
                                (first->groupingHead && S->groupingHead &&
                                 Object_Same(first->groupingHead, S->groupingHead));
            if (!sameGrouping) return Mismatch(S);
            S->status = MATCH_SETTLED;
            return 1;
        }
        if (firstIsSequence) {
            if (first->count >= 1 && Object_Same(SequenceElement(b, 0), single)) {
                if (first->count > 1) return 0;
                if (!first->groupingHead) {
                    S->status = MATCH_SETTLED;
                    return 1;
                }
            }
            return Mismatch(S);
        }
        if (IsSequenceState(S)) {
            if (S->count == 0) return 0;
            if (S->count == 1 && !S->groupingHead &&
                Object_Same(Expression_At(S->parent, S->sequenceStart), b.value)) {
                S->status = MATCH_SETTLED;
                return 1;
            }
            return Mismatch(S);
        }
        if (Object_Same(single, b.value)) {
            S->status = MATCH_SETTLED;
            return 1;
        }
        return Mismatch(S);
    }

    // The states of an expression pattern's head and arguments, all with
    // the subject as their parent.
    void PrepareExpression(MatchState *S, Object *s, int64_t n) {
        if (S->children) ResetState(S, list_);
        S->children = AcquireChildren(n);
        SymbolRecord *record = Symbol_Record(s, false);
        for (int64_t i = 0; i < n; ++i) {
            MatchState *C = &S->children->states[i];
            InitState(C);
            C->parent = s;
            C->parentRecord = record;
        }
    }

    // Points every state below S that consumes the arguments of `from` at
    // `to` instead (an Alternatives element passes its parent on to its
    // alternatives, so those are followed too).
    static void RePoint(MatchState *S, Object *from, Object *to) {
        SmallStack<MatchChildren *, 16> pending;
        pending.push(S->children);
        while (!pending.empty()) {
            MatchChildren *c = pending.top();
            pending.pop();
            for (int64_t i = 0; i < c->size; ++i) {
                MatchState *C = &c->states[i];
                if (C->parent != from) continue;
                C->parent = to;
                if (C->children) pending.push(C->children);
            }
        }
    }

    // The private copy of an Orderless subject that the permutation search
    // reorders, made on first need.
    void EnsureCopy(Frame &f) {
        MatchChildren *c = f.S->children;
        if (c->copy) return;
        c->copy = Object_Clone(f.s);
        RePoint(f.S, f.s, c->copy);
        f.subject = c->copy;
    }

    // Puts arguments from..end of the working subject back into canonical
    // order; the original subject is copied only if they are not in order.
    void SortBack(Frame &f, int64_t from) {
        if (from >= Expression_Length(f.subject)) return;
        MatchChildren *c = f.S->children;
        Object *old = f.subject;
        // The copy is held only here, so it is sorted in place; the original
        // is shared, so sorting it yields a new copy when anything moves.
        Object *sorted = Expression_Sort(c->copy ? old : Object_AddRef(old), nullptr, from);
        if (sorted == old) {
            if (!c->copy) Object_Release(sorted);
            return;
        }
        c->copy = sorted;
        RePoint(f.S, old, sorted);
        f.subject = sorted;
    }

    static bool AnyChildOpen(const MatchState *S) {
        const MatchChildren *c = S->children;
        for (int64_t i = 1; i < c->size; ++i)
            if (c->states[i].status == MATCH_OPEN || c->states[i].status == MATCH_RETRY) return true;
        return false;
    }

    // h[h[prefix], h[matched], h[rest]] for a window g+1..m-1.
    static Object *PartialResult(Object *subject, int64_t g, int64_t m) {
        Object *h = Expression_At(subject, 0);
        int64_t n = Expression_Length(subject);
        return Expression_New(Object_AddRef(h), Sequence_Extract(subject, 1, g, h),
                              Sequence_Extract(subject, g + 1, m - g - 1, h), Sequence_Extract(subject, m, n - m + 1, h));
    }

    enum : uint8_t { EXPR_START, EXPR_HEAD, EXPR_FORWARD, EXPR_AFTER, EXPR_BACKTRACK, EXPR_EXHAUSTED };

    // An expression against an expression: the heads, then the arguments
    // left to right, each pattern argument taking what its state allows;
    // on a failure the search steps back to the nearest element that has an
    // alternative. Under an Orderless head the arguments of a private copy
    // are permuted; in partial mode under a Flat head the pattern may match
    // a window of the arguments.
    void StepExpression(Frame &f) {
        MatchState *S = f.S;
        int64_t np = Expression_Length(f.p);
        int64_t ns = Expression_Length(f.s);
        for (;;) {
            switch (f.pc) {
            case EXPR_START:
                if (S->status == MATCH_FRESH || !S->children) {
                    PrepareExpression(S, f.s, np + 1);
                    f.subject = f.s;
                    return Enter(f, EXPR_HEAD, Expression_At(f.s, 0), Expression_At(f.p, 0), &S->children->states[0]);
                }
                // Asked for another match: resume the search from the last
                // element, where the previous match ended.
                f.subject = S->children->copy ? S->children->copy : f.s;
                f.k = np;
                if (IsSequenceState(S)) {
                    f.g = S->sequenceStart - 1;
                    f.m = S->sequenceStart + S->count;
                } else {
                    f.g = 0;
                    f.m = ns + 1;
                }
                S->status = MATCH_SETTLED;
                f.pc = EXPR_BACKTRACK;
                continue;
            case EXPR_HEAD:
                if (!ret_) return Fail(S);
                S->children->states[0].status = MATCH_SETTLED;
                S->status = MATCH_SETTLED;
                f.k = 1;
                f.m = 1;
                f.g = 0;
                f.pc = EXPR_FORWARD;
                continue;
            case EXPR_FORWARD: {
                if (f.k > np) {
                    f.pc = EXPR_EXHAUSTED;
                    continue;
                }
                MatchState *C = &S->children->states[f.k];
                if (C->status == MATCH_FRESH) C->start = f.m;
                f.before = C->count;
                return Enter(f, EXPR_AFTER, ArgumentOrNull(f.subject, f.m), Expression_At(f.p, f.k), C);
            }
            case EXPR_AFTER: {
                MatchState *C = &S->children->states[f.k];
                f.m += C->count - f.before;
                if (ret_) {
                    ++f.k;
                    f.pc = EXPR_FORWARD;
                    continue;
                }
                if (C->status == MATCH_FRESH) C->status = MATCH_FAILED;
                f.pc = EXPR_BACKTRACK;
                continue;
            }
            case EXPR_BACKTRACK: {
                if (f.k == 0) {
                    if (f.partial && !Orderless(S) && f.g + 1 < ns) {
                        ++f.g;
                        f.m = f.g + 1;
                        f.k = 1;
                        f.pc = EXPR_FORWARD;
                        continue;
                    }
                    S->sequenceStart = 0;
                    S->count = 0;
                    return Fail(S);
                }
                MatchState *C = &S->children->states[f.k];
                switch (C->status) {
                case MATCH_FRESH:
                case MATCH_OPEN:
                    Forget(C);
                    if (C->status == MATCH_FRESH) C->start = f.m;
                    f.before = C->count;
                    return Enter(f, EXPR_AFTER, ArgumentOrNull(f.subject, f.m), Expression_At(f.p, f.k), C);
                case MATCH_RETRY:
                    f.m -= C->count;
                    C->count = 0;
                    Forget(C);
                    f.before = 0;
                    return Enter(f, EXPR_AFTER, ArgumentOrNull(f.subject, f.m), Expression_At(f.p, f.k), C);
                default:
                    if (Orderless(S)) {
                        Permute(f, C);
                        continue;
                    }
                    f.m -= C->count;
                    ResetState(C, list_);
                    --f.k;
                    continue;
                }
            }
            case EXPR_EXHAUSTED:
                if (f.m > ns && !(f.partial && f.g >= 1)) {
                    Object_Release(std::exchange(partial_, nullptr));
                    S->sequenceStart = 0;
                    S->count = 1;
                    S->status = (Orderless(S) && ns >= 2) || AnyChildOpen(S) ? MATCH_RETRY : MATCH_SETTLED;
                    return Succeed(f.s);
                }
                if (f.partial) {
                    Object_Release(partial_);
                    partial_ = PartialResult(f.subject, f.g, f.m);
                    S->sequenceStart = f.g + 1;
                    S->count = f.m - f.g - 1;
                    S->status = MATCH_RETRY;
                    return Succeed(f.s);
                }
                f.k = np;
                f.pc = EXPR_BACKTRACK;
                continue;
            }
        }
    }

    static bool Orderless(const MatchState *S) {
        const SymbolRecord *r = S->children->states[0].parentRecord;
        return r && (r->attributes & ATTR_ORDERLESS);
    }

    // The permutation search for child C, which has settled or failed at
    // the current position. Each position is offered the distinct arguments
    // that follow it in increasing canonical order (the part after it is
    // kept sorted), so the orderings of the remaining arguments are visited
    // in lexicographic order. Leaves f.pc at the forward phase when C has a
    // new argument to try, at backtracking when C is exhausted.
    void Permute(Frame &f, MatchState *C) {
        if (!f.ordered && !f.S->children->copy) {
            // The scheme needs the arguments sorted to start with. A
            // subject held out of canonical order is sorted into the copy
            // and the search starts over on it; this happens at most once.
            f.ordered = true;
            SortBack(f, 1);
            if (f.S->children->copy) {
                for (int64_t i = 1; i < f.S->children->size; ++i) ResetState(&f.S->children->states[i], list_);
                f.k = 1;
                f.m = 1;
                f.pc = EXPR_FORWARD;
                return;
            }
        }
        int64_t ns = Expression_Length(f.subject);
        if (C->count == 1) {
            C->count = 0;
            --f.m;
        }
        for (;;) {
            if (f.m <= ns) {
                Object **a = AsExpression(f.subject)->elements;
                int64_t i = f.m + 1;
                while (i <= ns && !(Compare(a[i], a[f.m], CMP_REQ_ORDER) & CMP_AFTER)) ++i;
                if (i <= ns) {
                    EnsureCopy(f);
                    a = AsExpression(f.subject)->elements;
                    std::swap(a[f.m], a[i]);
                    if (IsSequenceState(C) && C->count > 0) {
                        Forget(C);
                        C->status = MATCH_OPEN;
                    } else {
                        ResetState(C, list_);
                    }
                    f.pc = EXPR_FORWARD;
                    return;
                }
            }
            SortBack(f, f.m);
            if (C->count > 0) {
                --C->count;
                --f.m;
                continue;
            }
            ResetState(C, list_);
            --f.k;
            f.pc = EXPR_BACKTRACK;
            return;
        }
    }
};

// Adds the names of pattern to list (see Pattern_CollectNames).
void AddName(BindingList *list, Object *name, Object *defaultValue) {
    int64_t slot = FindBinding(list, name);
    if (slot < 0) {
        AddBinding(list, name, defaultValue ? Object_AddRef(defaultValue) : nullptr);
        return;
    }
    Binding &b = list->items[size_t(slot)];
    if (!b.defaultValue && defaultValue) b.defaultValue = Object_AddRef(defaultValue);
}

}  // namespace

MatchState *MatchState_New() {
    auto *s = new MatchState;
    InitState(s);
    return s;
}

void MatchState_Free(MatchState *state) {
    if (!state) return;
    ResetState(state, nullptr);
    delete state;
}

int Pattern_Match(Object *subject, Object *pattern, BindingList *bindings, MatchState *state, bool partial,
                  Object **partialResult) {
    if (partialResult) *partialResult = nullptr;
    // A list already in use further up the stack is left alone: its values
    // are borrowed by that match.
    bool busy = bindings && bindings->busy;
    BindingList temporaryList;
    BindingList *list = bindings && !busy ? bindings : &temporaryList;
    if (list == &temporaryList) Pattern_CollectNames(pattern, list);
    else Bindings_Clear(list);
    MatchState temporaryState;
    InitState(&temporaryState);
    MatchState *S = state && !busy ? state : &temporaryState;
    ResetState(S, nullptr);
    S->parent = nullptr;
    S->parentRecord = nullptr;
    S->start = 0;

    if (partial) {
        SymbolRecord *r = Object_IsExpression(subject) ? Symbol_Record(subject, false) : nullptr;
        partial = r && (r->attributes & ATTR_FLAT);
    }
    // A Condition test may redefine the very rule whose pattern this is.
    Ref holdSubject(Object_AddRef(subject));
    Ref holdPattern(Object_AddRef(pattern));

    list->busy = true;
    Matcher matcher(list);
    int result = matcher.Run(subject, pattern, S, partial);
    list->busy = false;

    for (Binding &b : list->items) {
        b.value = result ? OwnedValue(b) : nullptr;
        b.pattern = nullptr;
        b.definingState = nullptr;
    }
    ResetState(S, nullptr);
    Object *partialMatch = matcher.TakePartialResult();
    if (result && partialResult) *partialResult = partialMatch;
    else Object_Release(partialMatch);
    if (list == &temporaryList) Bindings_Free(list);
    return result;
}

void Pattern_CollectNames(Object *pattern, BindingList *bindings) {
    Object *patternHead = BuiltinBorrowed(SYM_Pattern);
    Object *optionsHead = BuiltinBorrowed(SYM_Options);
    struct Frame {
        Object *e;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    auto visit = [&](Object *o) {
        if (!Object_IsExpression(o)) return;
        Object *h = Expression_At(o, 0);
        int64_t n = Expression_Length(o);
        if (h == patternHead && n == 2 && Object_IsSymbol(Expression_At(o, 1))) {
            AddName(bindings, Expression_At(o, 1), nullptr);
            return;
        }
        if (h == optionsHead) {
            for (int64_t i = 1; i <= n; ++i) {
                Object *rule = Expression_At(o, i);
                if (IsRuleWithSymbol(rule)) AddName(bindings, Expression_At(rule, 1), Expression_At(rule, 2));
            }
            return;
        }
        stack.push({o, 0});
    };
    visit(pattern);
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > Expression_Length(f.e)) {
            stack.pop();
            continue;
        }
        visit(Expression_At(f.e, f.next++));
    }
}

Object *Pattern_Substitute(Object *e, BindingList *bindings, uint64_t *flags) {
    if (!bindings || bindings->items.empty()) return e;
    bool changed = false;
    bool copyMode = flags && (*flags & SUBST_COPY);
    Object *result = SubstituteTree(e, copyMode, &changed, [bindings](Object *atom) -> Object * {
        if (!Object_IsSymbol(atom)) return nullptr;
        int64_t slot = FindBinding(bindings, atom);
        if (slot < 0) return nullptr;
        Object *value = bindings->items[size_t(slot)].value;
        return value ? Object_AddRef(value) : Sequence_Empty();
    });
    if (changed && flags) *flags |= SUBST_CHANGED;
    return result;
}

void Bindings_Clear(BindingList *bindings) {
    if (bindings->busy) return;
    for (Binding &b : bindings->items) {
        Object_Release(b.value);
        b.value = nullptr;
        b.pattern = nullptr;
        b.definingState = nullptr;
    }
}

void Bindings_Free(BindingList *bindings) {
    for (Binding &b : bindings->items) {
        Object_Release(b.name);
        Object_Release(b.defaultValue);
        if (!bindings->busy) Object_Release(b.value);
    }
    bindings->items.clear();
    bindings->busy = false;
}

Object *Sequence_Empty() {
    if (kernel.constants.emptySequence) return Object_AddRef(kernel.constants.emptySequence);
    return Expression_New(Builtin(SYM_Sequence));
}

Object *Sequence_Extract(Object *e, int64_t start, int64_t count, Object *head) {
    if (!head && count == 0) return Sequence_Empty();
    Object *result = Expression_NewSized(head ? Object_AddRef(head) : Builtin(SYM_Sequence), count);
    for (int64_t i = 0; i < count; ++i) AsExpression(result)->elements[i + 1] = Object_AddRef(Expression_At(e, start + i));
    return result;
}

Object *Builtin_Matching(Object *call) {
    if (Expression_Length(call) != 2) return call;
    int matched = Pattern_Match(Expression_At(call, 1), Expression_At(call, 2), nullptr, nullptr, false, nullptr);
    Object_Release(call);
    return Builtin(matched ? SYM_True : SYM_False);
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Matching, {u"Matching(\?, \?)"}, Builtin_Matching},
};

}  // namespace

extern const NativeTable PatternNatives = Table_Of(kNatives);
