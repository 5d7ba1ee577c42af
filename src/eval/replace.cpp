// Replace: rewriting an expression with rules, top-down. The walk over the
// subexpressions keeps its own stack of frames instead of recursing, so a
// deeply nested expression costs heap, not C++ stack. Parts are copied only
// on the way to a change: an unchanged subexpression stays shared and keeps
// its evaluation stamp, so evaluating the result again is cheap where
// nothing was replaced.
#include "eval/replace.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "eval/native_args.h"
#include "eval/pattern.h"
#include "eval/signature.h"
#include "eval/specificity.h"
#include "number/integer.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"

namespace {

constexpr int64_t kUnlimited = std::numeric_limits<int64_t>::max();
constexpr size_t kNoParent = size_t(-1);

// Whether o is lhs -> rhs or lhs :> rhs. Borrows o.
bool IsRule(Object *o) {
    return (Native_IsCall(o, SYM_Rule) || Native_IsCall(o, SYM_RuleDelayed)) && Expression_Length(o) == 2;
}

// Whether both sides of the rule are strings. Borrows rule.
bool IsStringRule(Object *rule) {
    return Object_IsString(Expression_At(rule, 1)) && Object_IsString(Expression_At(rule, 2));
}

// The level bound that o asks for: Infinity, or an Integer (negative acts
// as 0, beyond a machine word as unlimited). False for anything else.
// Borrows o.
bool LevelBound(Object *o, int64_t *levels) {
    if (Native_IsCall(o, SYM_DirectedInfinity) && Expression_Length(o) == 1 && Integer_Is(Expression_At(o, 1), 1)) {
        *levels = kUnlimited;
        return true;
    }
    if (!Object_IsInteger(o)) return false;
    int64_t v;
    if (Native_SmallInteger(o, std::numeric_limits<int64_t>::min(), kUnlimited, &v)) *levels = v < 0 ? 0 : v;
    else *levels = Object_Sign(o) > 0 ? kUnlimited : 0;
    return true;
}

// One rule of a call, with the binding list of its left side's names.
struct RuleEntry {
    Object *lhs;  // borrowed from the rule list
    Object *rhs;  // borrowed from the rule list
    BindingList bindings;
    Signature signature;  // what rules subjects out before the matcher runs
    bool atom;            // lhs is an atom other than a blank: it matches itself only
};

// The rules of one rewrite; their binding lists live as long as it does.
class Rules {
public:
    // Borrows ruleList, which must outlive this.
    explicit Rules(Object *ruleList) {
        int64_t n = Expression_Length(ruleList);
        items_.resize(size_t(n));
        for (int64_t i = 1; i <= n; ++i) {
            RuleEntry &r = items_[size_t(i - 1)];
            Object *rule = Expression_At(ruleList, i);
            r.lhs = Expression_At(rule, 1);
            r.rhs = Expression_At(rule, 2);
            Pattern_CollectNames(r.lhs, &r.bindings);
            Signature_Build(&r.signature, r.lhs);
            r.atom = !Object_IsExpression(r.lhs) && !Specificity_BlankRank(r.lhs);
        }
    }
    ~Rules() {
        for (RuleEntry &r : items_) Bindings_Free(&r.bindings);
    }
    Rules(const Rules &) = delete;
    Rules &operator=(const Rules &) = delete;

    std::vector<RuleEntry> &items() { return items_; }

private:
    std::vector<RuleEntry> items_;
};

// The right side of r with the bindings of its last match substituted, the
// bindings cleared. Returns a new reference, marked not evaluated: a Rule's
// right side was evaluated before the bindings went in.
Object *Substituted(RuleEntry &r) {
    Object *v = Pattern_Substitute(Object_AddRef(r.rhs), &r.bindings, nullptr);
    Bindings_Clear(&r.bindings);
    if (Object_IsExpression(v)) AsExpression(v)->stamp = 0;
    return v;
}

// Tries the rules on e itself (borrowed): the first rule that matches the
// whole of e wins; failing that, under a Flat head, the leftmost partial
// match of any rule (the earlier rule on a tie). Returns null when nothing
// matched, else a new reference to the replacement. *partial is set when
// the replacement is a partial result h[h[prefix], rhs, h[rest]] whose
// prefix arguments and rest are still to be rewritten. A partial match of
// no arguments does not count: replacing it would leave the rest as long
// as e and the rewrite would never end.
Object *RewriteHere(Object *e, Rules &rules, bool *partial) {
    *partial = false;
    SymbolRecord *record = Object_IsExpression(e) ? Symbol_Record(e, false) : nullptr;
    bool flat = record && (record->attributes & ATTR_FLAT);
    bool orderless = record && (record->attributes & ATTR_ORDERLESS);
    for (RuleEntry &r : rules.items()) {
        if (r.atom) {
            if (Object_Same(e, r.lhs)) return Substituted(r);
            continue;
        }
        SignatureVerdict verdict = Signature_Check(&r.signature, r.lhs, e, &r.bindings, flat, orderless);
        if (verdict == SIGNATURE_NO) continue;
        if (verdict == SIGNATURE_YES || Pattern_Match(e, r.lhs, &r.bindings, nullptr, false, nullptr))
            return Substituted(r);
    }
    if (!Object_IsExpression(e)) return nullptr;
    if (!record || !(record->attributes & ATTR_FLAT)) return nullptr;
    Ref best;
    RuleEntry *winner = nullptr;
    int64_t bestPrefix = 0;
    for (RuleEntry &r : rules.items()) {
        if (winner && bestPrefix == 0) break;
        Object *p = nullptr;
        if (!Pattern_Match(e, r.lhs, &r.bindings, nullptr, true, &p)) continue;
        Ref candidate(p);
        if (!p || Expression_Length(Expression_At(p, 2)) == 0 ||
            (winner && Expression_Length(Expression_At(p, 1)) >= bestPrefix)) {
            Bindings_Clear(&r.bindings);
            continue;
        }
        if (winner) Bindings_Clear(&winner->bindings);
        winner = &r;
        bestPrefix = Expression_Length(Expression_At(p, 1));
        best = std::move(candidate);
    }
    if (!winner) return nullptr;
    Object *result = Object_MakeUnique(best.release());
    Object **elements = AsExpression(result)->elements;
    Object_Release(elements[2]);
    elements[2] = Substituted(*winner);
    *partial = true;
    return result;
}

// A subexpression whose arguments first..last are being rewritten.
struct Frame {
    Object *e;       // borrowed from slot `slot` of the parent frame's expression
    size_t parent;   // index of the parent frame
    int64_t slot;
    int64_t next;    // the next argument to visit
    int64_t last;
    int64_t bound;   // level bound of those arguments
    bool writable;   // e and every expression above it are ours alone
};

// Makes the expression of frame k, and those above it, ours to change:
// each is made unique in its parent's slot (a clone when it is shared) and
// loses its evaluation stamp.
void EnsureWritable(std::vector<Frame> &stack, size_t k) {
    std::vector<size_t> chain;
    for (size_t j = k; !stack[j].writable; j = stack[j].parent) chain.push_back(j);
    for (size_t c = chain.size(); c-- > 0;) {
        Frame &f = stack[chain[c]];
        Object **slot = &AsExpression(stack[f.parent].e)->elements[f.slot];
        *slot = Object_MakeUnique(*slot);
        f.e = *slot;
        AsExpression(f.e)->stamp = 0;
        f.writable = true;
    }
}

}  // namespace

Object *Replace_RuleList(Object *e, Object *ruleList, int64_t levels) {
    Rules rules(ruleList);
    // The root sits in a holder so that it is rewritten like any argument.
    Ref holder(Expression_New(Builtin(SYM_List), e));
    std::vector<Frame> stack;
    stack.push_back({holder.get(), kNoParent, 0, 1, 1, levels, true});
    while (!stack.empty()) {
        size_t top = stack.size() - 1;
        Frame &f = stack[top];
        if (f.next > f.last) {
            stack.pop_back();
            continue;
        }
        int64_t i = f.next++, bound = f.bound;
        Object *child = Expression_At(f.e, i);
        bool partial;
        Ref replacement(RewriteHere(child, rules, &partial));
        if (!replacement) {
            if (bound > 0 && Object_IsExpression(child) && Expression_Length(child) > 0)
                stack.push_back({child, top, i, 1, Expression_Length(child), bound - 1, false});
            continue;
        }
        EnsureWritable(stack, top);
        Object **slot = &AsExpression(stack[top].e)->elements[i];
        Object_Release(*slot);
        *slot = replacement.release();
        if (!partial) continue;
        // The rest may hold later occurrences at this same level; the
        // prefix held none, but its arguments may.
        Object *result = *slot;
        stack.push_back({result, top, i, 3, 3, bound, true});
        Object *prefix = Expression_At(result, 1);
        if (bound > 0 && Expression_Length(prefix) > 0)
            stack.push_back({prefix, top + 1, 1, 1, Expression_Length(prefix), bound - 1, false});
    }
    return Object_AddRef(Expression_At(holder.get(), 1));
}

Object *Builtin_Replace(Object *call) {
    int64_t n = Expression_Length(call);
    int64_t levels = kUnlimited;
    if (n < 2 || n > 3 || (n == 3 && !LevelBound(Expression_At(call, 3), &levels))) return call;
    Object *expr = Expression_At(call, 1), *rules = Expression_At(call, 2);
    Object *result;
    if (IsRule(rules)) {
        if (Object_IsString(expr) && IsStringRule(rules))
            return Object_ReleaseReturn(call, String_ReplaceAll(expr, Expression_At(rules, 1), Expression_At(rules, 2)));
        Ref list(Expression_New(Builtin(SYM_List), Object_AddRef(rules)));
        result = Replace_RuleList(Object_AddRef(expr), list.get(), levels);
    } else if (Native_IsList(rules)) {
        bool strings = Object_IsString(expr);
        for (int64_t i = 1; i <= Expression_Length(rules); ++i) {
            Object *rule = Expression_At(rules, i);
            if (!IsRule(rule)) return call;
            strings = strings && IsStringRule(rule);
        }
        if (strings) return Object_ReleaseReturn(call, String_ReplaceMany(expr, rules));
        result = Replace_RuleList(Object_AddRef(expr), rules, levels);
    } else {
        return call;
    }
    Object_Release(call);
    return Object_Evaluate(result);
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Replace,
     {u"Replace(\?, \?)", u"Replace(\?, \?, Alternatives(\?Integer, DirectedInfinity(1)))"},
     Builtin_Replace},
};

}  // namespace

extern const NativeTable ReplaceNatives = Table_Of(kNatives);
