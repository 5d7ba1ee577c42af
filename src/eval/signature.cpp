#include "eval/signature.h"

#include <algorithm>

#include "eval/native_args.h"
#include "eval/specificity.h"
#include "object/attributes.h"
#include "object/expression.h"
#include "object/symbol.h"

namespace {

constexpr int64_t kAny = INT64_MAX;

// Nesting of wrappers (Pattern, Condition, Alternatives, Optional) beyond
// which an argument pattern is taken to cover any number of arguments.
constexpr int kSpanDepthLimit = 32;

bool IsConstruct(Object *o) {
    for (BuiltinSymbol id : {SYM_Any, SYM_AnySequence, SYM_AnyNullSequence, SYM_Pattern, SYM_Condition, SYM_Optional,
                             SYM_Alternatives, SYM_Options})
        if (o == BuiltinBorrowed(id)) return true;
    return false;
}

using Span = std::pair<int64_t, int64_t>;

Span RankSpan(int rank) {
    switch (rank) {
    case 1: return {1, 1};
    case 2: return {1, kAny};
    default: return {0, kAny};
    }
}

// How many arguments of a subject one argument pattern p (borrowed) can take
// when the head is not Flat: a blank of its kind, what a wrapper lets its
// inner pattern take, and exactly one for anything else. Shapes the matcher
// treats in ways not modelled here count as "any number".
Span ArgumentSpan(Object *p, int depth) {
    if (depth > kSpanDepthLimit) return {0, kAny};
    if (!Object_IsExpression(p)) {
        int rank = Specificity_BlankRank(p);
        return rank ? RankSpan(rank) : Span{1, 1};
    }
    Object *h = Expression_At(p, 0);
    int64_t n = Expression_Length(p);
    if (int rank = Specificity_BlankRank(h)) {
        if (n == 1 && Object_IsSymbol(Expression_At(p, 1))) return RankSpan(rank);
        return {0, kAny};
    }
    if (h == BuiltinBorrowed(SYM_Pattern)) {
        if (n == 2 && Object_IsSymbol(Expression_At(p, 1))) return ArgumentSpan(Expression_At(p, 2), depth + 1);
        return {0, kAny};
    }
    if (h == BuiltinBorrowed(SYM_Condition)) {
        if (n == 2) return ArgumentSpan(Expression_At(p, 1), depth + 1);
        return {0, kAny};
    }
    if (h == BuiltinBorrowed(SYM_Optional)) {
        if (n == 2) return {0, ArgumentSpan(Expression_At(p, 1), depth + 1).second};
        return {0, kAny};
    }
    if (h == BuiltinBorrowed(SYM_Alternatives)) {
        if (n == 0) return {0, kAny};
        Span s{kAny, 0};
        for (int64_t i = 1; i <= n; ++i) {
            Span a = ArgumentSpan(Expression_At(p, i), depth + 1);
            s.first = std::min(s.first, a.first);
            s.second = std::max(s.second, a.second);
        }
        return s;
    }
    if (h == BuiltinBorrowed(SYM_Options) || h == BuiltinBorrowed(SYM_Sequence)) return {0, kAny};
    return {1, 1};
}

// Sets the argument-count ranges of a left side of bare blanks; see
// Signature::arity.
void BuildArity(Signature *s, Object *lhs) {
    Object *level = lhs;
    while (Object_IsExpression(level)) {
        int64_t lo = 0, hi = 0;
        for (int64_t i = 1; i <= Expression_Length(level); ++i) {
            // Any takes one argument, AnySequence one or more,
            // AnyNullSequence any number.
            switch (Specificity_BlankRank(Expression_At(level, i))) {
            case 1:
                ++lo;
                if (hi != kAny) ++hi;
                break;
            case 2:
                ++lo;
                hi = kAny;
                break;
            case 3: hi = kAny; break;
            default: s->arity.clear(); return;
            }
        }
        s->arity.push_back({lo, hi});
        level = Expression_At(level, 0);
    }
    if (!Object_IsSymbol(level)) s->arity.clear();
}

// Whether subject has the argument counts of a bare-blank left side around
// the same root symbol. Borrows both.
bool MatchesByArity(const Signature *s, Object *lhs, Object *subject) {
    Object *level = subject, *pattern = lhs;
    for (const auto &[lo, hi] : s->arity) {
        if (!Object_IsExpression(level)) return false;
        int64_t n = Expression_Length(level);
        if (n < lo || n > hi) return false;
        level = Expression_At(level, 0);
        pattern = Expression_At(pattern, 0);
    }
    return level == pattern;
}

// Whether every argument of base is a single blank, unnamed or under a name
// used nowhere else in it.
bool IsPositional(Object *base) {
    if (!Object_IsSymbol(Expression_At(base, 0))) return false;
    Object *any = BuiltinBorrowed(SYM_Any);
    int64_t n = Expression_Length(base);
    for (int64_t i = 1; i <= n; ++i) {
        Object *a = Expression_At(base, i);
        if (a == any) continue;
        if (!Native_IsCall(a, SYM_Pattern) || Expression_Length(a) != 2 || !Object_IsSymbol(Expression_At(a, 1)) ||
            Expression_At(a, 2) != any)
            return false;
        for (int64_t j = 1; j < i; ++j) {
            Object *b = Expression_At(base, j);
            if (b != any && Expression_At(b, 1) == Expression_At(a, 1)) return false;
        }
    }
    return true;
}

}  // namespace

void Signature_Build(Signature *s, Object *lhs) {
    *s = Signature();
    if (!Object_IsExpression(lhs)) return;
    // A condition narrows its pattern: the counts and literal arguments of
    // the pattern still rule subjects out.
    bool condition = Native_IsCall(lhs, SYM_Condition) && Expression_Length(lhs) == 2;
    Object *base = condition ? Expression_At(lhs, 1) : lhs;
    if (!Object_IsExpression(base)) return;
    // A pattern construct at the top (x?, a | b, Any(h)) is no call: its
    // arguments say nothing about the subject's.
    Object *root = base;
    while (Object_IsExpression(root)) root = Expression_At(root, 0);
    if (IsConstruct(root)) return;
    BuildArity(s, lhs);
    Object *head = Expression_At(base, 0);
    s->callHead = Object_IsExpression(head) && Object_IsSymbol(Expression_At(head, 0)) && !IsConstruct(Expression_At(head, 0));
    int64_t lo = 0, hi = 0;
    bool aligned = true;  // every argument so far takes exactly one
    for (int64_t i = 1; i <= Expression_Length(base); ++i) {
        Object *a = Expression_At(base, i);
        Span span = ArgumentSpan(a, 0);
        lo += span.first;
        hi = (hi == kAny || span.second == kAny) ? kAny : hi + span.second;
        if (!aligned) continue;
        if (!Object_IsExpression(a)) {
            if (!IsConstruct(a)) s->filters.push_back({i, a, false});
        } else if (Object *h = Expression_At(a, 0); Object_IsSymbol(h) && !IsConstruct(h)) {
            s->filters.push_back({i, h, true});
        }
        aligned = span == Span{1, 1};
    }
    s->minArgs = lo;
    s->maxArgs = hi;
    s->positional = !condition && IsPositional(base);
}

SignatureVerdict Signature_Check(const Signature *s, Object *lhs, Object *subject, BindingList *bindings, bool flat,
                                 bool orderless) {
    if (!Object_IsExpression(subject)) return SIGNATURE_MAYBE;
    int64_t n = Expression_Length(subject);
    // Under a Flat head a blank may take a run of arguments grouped, so
    // counts decide nothing there.
    if (!flat && (n < s->minArgs || n > s->maxArgs)) return SIGNATURE_NO;
    if (s->callHead && !Object_IsExpression(Expression_At(subject, 0))) return SIGNATURE_NO;
    if (!s->arity.empty() && MatchesByArity(s, lhs, subject)) return SIGNATURE_YES;
    if (flat || orderless) return SIGNATURE_MAYBE;
    Object **a = AsExpression(subject)->elements;
    for (const ArgumentFilter &f : s->filters) {
        if (f.position > n) return SIGNATURE_NO;
        Object *arg = a[f.position];
        if (!f.head) {
            if (Object_IsExpression(arg) || !Object_Same(arg, f.object)) return SIGNATURE_NO;
        } else if (Object_IsExpression(arg) && Expression_At(arg, 0) != f.object) {
            return SIGNATURE_NO;
        }
    }
    if (!s->positional || bindings->busy || a[0] != Expression_At(lhs, 0)) return SIGNATURE_MAYBE;
    // The names were collected in order of appearance, one per named
    // argument; each takes the argument at its position.
    Bindings_Clear(bindings);
    size_t k = 0;
    for (int64_t i = 1; i <= n; ++i) {
        Object *p = Expression_At(lhs, i);
        if (!Object_IsExpression(p)) continue;
        if (k >= bindings->items.size()) return SIGNATURE_MAYBE;
        bindings->items[k++].value = Object_AddRef(a[i]);
    }
    return SIGNATURE_YES;
}

bool Signature_IsLiteral(Object *lhs) {
    return Expression_ForEachAtom(lhs, [](Object *atom) {
        if (!Object_IsSymbol(atom)) return true;
        if (IsConstruct(atom)) return false;
        SymbolRecord *r = AsSymbol(atom)->record;
        return !(r && (r->attributes & (ATTR_FLAT | ATTR_ORDERLESS)));
    });
}
