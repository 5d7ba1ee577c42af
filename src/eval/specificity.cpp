// Pattern specificity: which of two patterns is the more specific, so that
// a symbol's definitions are kept from the most specific left side to the
// most general. Patterns are compared by aligning their elements, blanks
// by their kinds and heads, and names by what they stand for where they
// were first met.
//
// The comparison recurses once per level of pattern nesting, bounded in
// depth so that deeply nested left sides cannot exhaust the C++ stack.
#include "eval/specificity.h"

#include <algorithm>
#include <vector>

#include "eval/compare.h"
#include "eval/native_args.h"
#include "eval/pattern.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/symbol.h"

namespace {

constexpr uint64_t DIRECTION_BITS = CMP_MORE_SPECIFIC | CMP_MORE_GENERAL;

// Left sides nested deeper than this are reported as incomparable, which
// leaves their place among the definitions to the canonical order.
constexpr int kSpecificityDepthLimit = 1000;

// A name recorded in a binding list during one comparison, so that
// backtracking can take the recording back.
struct Recording {
    BindingList *list;
    size_t index;
    bool added;  // the binding itself was added (otherwise only its pattern set)
};

struct SpecificityContext {
    std::vector<Recording> log;
};

void UndoRecordings(SpecificityContext &ctx, size_t mark) {
    while (ctx.log.size() > mark) {
        Recording r = ctx.log.back();
        ctx.log.pop_back();
        if (r.added) {
            Object_Release(r.list->items.back().name);
            r.list->items.pop_back();
        } else {
            r.list->items[r.index].pattern = nullptr;
        }
    }
}

bool IsPattern(Object *o) {
    return Native_IsCall(o, SYM_Pattern) && Expression_Length(o) == 2 && Object_IsSymbol(Expression_At(o, 1));
}

// The pattern a Pattern[name, p] stands for: p when the name is met for the
// first time (recording p), the recorded pattern when it is met again
// (*repeat set). Without a binding list every occurrence is a first one; so
// too with a busy list, which a running match owns and points into.
Object *PatternMeaning(Object *pattern, BindingList *list, SpecificityContext &ctx, bool *repeat) {
    Object *name = Expression_At(pattern, 1);
    Object *p = Expression_At(pattern, 2);
    *repeat = false;
    if (!list || list->busy) return p;
    for (size_t i = 0; i < list->items.size(); ++i) {
        Binding &binding = list->items[i];
        if (binding.name != name) continue;
        if (binding.pattern) {
            *repeat = true;
            return binding.pattern;
        }
        binding.pattern = p;
        ctx.log.push_back({list, i, false});
        return p;
    }
    list->items.push_back({Object_AddRef(name), nullptr, nullptr, p, nullptr});
    ctx.log.push_back({list, list->items.size() - 1, true});
    return p;
}

// The blank rank of a blank with a head constraint (Any[h] and the like, h
// a symbol), or 0.
int HeadedBlankRank(Object *o) {
    if (!Object_IsExpression(o) || Expression_Length(o) != 1 || !Object_IsSymbol(Expression_At(o, 1))) return 0;
    return Specificity_BlankRank(Expression_At(o, 0));
}

// The blank kind of an argument pattern: the rank of its blank, looking
// through Pattern, Condition and the alternatives of Alternatives (the most
// general of them); 0 when it has none. Iterative over the wrappers.
int BlankKind(Object *o) {
    SmallStack<Object *, 8> pending;
    pending.push(o);
    int kind = 0;
    while (!pending.empty()) {
        Object *p = pending.top();
        pending.pop();
        if (int rank = std::max(Specificity_BlankRank(p), HeadedBlankRank(p))) {
            kind = std::max(kind, rank);
        } else if (IsPattern(p)) {
            pending.push(Expression_At(p, 2));
        } else if (Native_IsCall(p, SYM_Condition) && Expression_Length(p) == 2) {
            pending.push(Expression_At(p, 1));
        } else if (Native_IsCall(p, SYM_Alternatives)) {
            for (int64_t i = 1; i <= Expression_Length(p); ++i) pending.push(Expression_At(p, i));
        }
    }
    return kind;
}

constexpr int KIND_SEQUENCE = 2;       // AnySequence: one or more
constexpr int KIND_NULL_SEQUENCE = 3;  // AnyNullSequence: zero or more

uint64_t Specificity(Object *a, Object *b, BindingList *la, BindingList *lb, SpecificityContext &ctx, int depth);

// Alternatives against Alternatives, or against any other pattern.
uint64_t AlternativesSpecificity(Object *a, Object *b, BindingList *la, BindingList *lb, SpecificityContext &ctx,
                                 int depth) {
    bool aa = Native_IsCall(a, SYM_Alternatives), ab = Native_IsCall(b, SYM_Alternatives);
    if (aa && ab) {
        // a is more specific when each of its alternatives is the same as or
        // more specific than b, more general when a is the same as or more
        // general than each alternative of b.
        bool specific = true, general = true;
        for (int64_t i = 1; i <= Expression_Length(a) && specific; ++i)
            specific = Specificity(Expression_At(a, i), b, la, lb, ctx, depth + 1) & (CMP_SAME | CMP_MORE_SPECIFIC);
        for (int64_t j = 1; j <= Expression_Length(b) && general; ++j)
            general = Specificity(a, Expression_At(b, j), la, lb, ctx, depth + 1) & (CMP_SAME | CMP_MORE_GENERAL);
        if (specific && general) return CMP_SAME;
        return specific ? CMP_MORE_SPECIFIC : general ? CMP_MORE_GENERAL : 0;
    }
    if (ab) return Compare_Mirror(AlternativesSpecificity(b, a, lb, la, ctx, depth));
    // Only a: more general as soon as one alternative is the same or more
    // general, more specific when every alternative is more specific.
    bool allSpecific = true;
    for (int64_t i = 1; i <= Expression_Length(a); ++i) {
        uint64_t c = Specificity(Expression_At(a, i), b, la, lb, ctx, depth + 1);
        if (c & (CMP_SAME | CMP_MORE_GENERAL)) return CMP_MORE_GENERAL;
        if (!(c & CMP_MORE_SPECIFIC)) allSpecific = false;
    }
    return allSpecific ? CMP_MORE_SPECIFIC : 0;
}

// An expression pattern e against an atom.
uint64_t ExpressionAtomSpecificity(Object *e, Object *atom) {
    if (int rank = Specificity_BlankRank(atom)) {
        // A blank covers every single expression; a pattern for sequences is
        // covered only by a blank of the same or a more general kind.
        return rank >= BlankKind(e) ? CMP_MORE_SPECIFIC : 0;
    }
    return Pattern_Match(atom, e, nullptr, nullptr, false, nullptr) ? CMP_MORE_GENERAL : 0;
}

// Folds the specificity of one pair into an alignment's running state;
// false when the pair is incomparable or contradicts the direction so far.
struct AlignState {
    bool allSame;
    uint64_t direction;
};

bool Fold(AlignState &s, uint64_t c) {
    if (!(c & (CMP_SAME | DIRECTION_BITS))) return false;
    if (c & CMP_SAME) return true;
    s.allSame = false;
    uint64_t d = c & DIRECTION_BITS;
    if (s.direction && s.direction != d) return false;
    s.direction = d;
    return true;
}

// One step of the argument alignment.
enum AlignStepKind : uint8_t {
    ALIGN_BOTH_NULL,  // two null sequences paired as the same
    ALIGN_P_NULL,     // a null sequence of P matched nothing
    ALIGN_Q_NULL,     // a null sequence of Q matched nothing
    ALIGN_RUN_P,      // P[i] paired with Q[j .. j+length-1]
    ALIGN_RUN_Q,      // Q[j] paired with P[i .. i+length-1]
};

struct AlignStep {
    int64_t i, j, length;
    AlignStepKind kind;
    bool plain;          // began as a plain pair, so Q may still take the run
    AlignState before, afterPair, after;
    size_t markBefore, markPair;
};

// The pattern of a sequence argument when it is paired with one more
// argument: its name was recorded by its first pairing, so the name is
// looked through rather than counted as a repetition.
Object *WithoutName(Object *p) {
    while (IsPattern(p)) p = Expression_At(p, 2);
    return p;
}

// Two expression patterns: heads, then the arguments aligned with
// backtracking over sequence blanks.
uint64_t AlignSpecificity(Object *P, Object *Q, BindingList *la, BindingList *lb, SpecificityContext &ctx,
                          int depth) {
    uint64_t head = Specificity(Expression_At(P, 0), Expression_At(Q, 0), la, lb, ctx, depth + 1);
    AlignState state{true, 0};
    if (!Fold(state, head)) return 0;
    int64_t n = Expression_Length(P), m = Expression_Length(Q);
    std::vector<int> kindP(size_t(n + 2), 0), kindQ(size_t(m + 2), 0);
    for (int64_t i = 1; i <= n; ++i) kindP[size_t(i)] = BlankKind(Expression_At(P, i));
    for (int64_t j = 1; j <= m; ++j) kindQ[size_t(j)] = BlankKind(Expression_At(Q, j));
    auto pair = [&](Object *p, Object *q) { return Specificity(p, q, la, lb, ctx, depth + 1); };
    std::vector<AlignStep> steps;
    int64_t i = 1, j = 1;

    // Undoes steps from the last, trying each one's remaining ways of
    // pairing; true when one of them holds and the forward phase resumes.
    auto backtrack = [&]() {
        while (!steps.empty()) {
            // Later steps are undone already, so the log ends with this
            // step's own recordings.
            AlignStep &s = steps.back();
            // A null sequence that matched nothing takes one argument of the
            // other side instead.
            if ((s.kind == ALIGN_P_NULL && s.j <= m) || (s.kind == ALIGN_Q_NULL && s.i <= n)) {
                AlignState next = s.before;
                if (Fold(next, pair(Expression_At(P, s.i), Expression_At(Q, s.j)))) {
                    s.kind = s.kind == ALIGN_P_NULL ? ALIGN_RUN_P : ALIGN_RUN_Q;
                    s.length = 1;
                    s.plain = false;
                    s.afterPair = s.after = next;
                    s.markPair = ctx.log.size();
                    i = s.i + 1;
                    j = s.j + 1;
                    return true;
                }
                UndoRecordings(ctx, s.markBefore);
            } else if (s.kind == ALIGN_RUN_P) {
                // A sequence of P takes one more argument of Q. Covering an
                // extra argument makes P the more general there, so a pair
                // that is the same counts as more general.
                int64_t next = s.j + s.length;
                if (kindP[size_t(s.i)] >= KIND_SEQUENCE && next <= m && kindQ[size_t(next)] != KIND_NULL_SEQUENCE) {
                    AlignState extended = s.after;
                    uint64_t c = pair(WithoutName(Expression_At(P, s.i)), Expression_At(Q, next));
                    if (Fold(extended, c & CMP_SAME ? CMP_MORE_GENERAL : c)) {
                        ++s.length;
                        s.after = extended;
                        i = s.i + 1;
                        j = next + 1;
                        return true;
                    }
                }
                // Then a sequence of Q may take the run instead.
                UndoRecordings(ctx, s.markPair);
                if (s.plain && kindQ[size_t(s.j)] >= KIND_SEQUENCE && s.i + 1 <= n &&
                    kindP[size_t(s.i + 1)] != KIND_NULL_SEQUENCE) {
                    AlignState extended = s.afterPair;
                    uint64_t c = pair(Expression_At(P, s.i + 1), WithoutName(Expression_At(Q, s.j)));
                    if (Fold(extended, c & CMP_SAME ? CMP_MORE_SPECIFIC : c)) {
                        s.kind = ALIGN_RUN_Q;
                        s.length = 2;
                        s.after = extended;
                        i = s.i + 2;
                        j = s.j + 1;
                        return true;
                    }
                    UndoRecordings(ctx, s.markPair);
                }
                UndoRecordings(ctx, s.markBefore);
            } else if (s.kind == ALIGN_RUN_Q) {
                int64_t next = s.i + s.length;
                if (kindQ[size_t(s.j)] >= KIND_SEQUENCE && next <= n && kindP[size_t(next)] != KIND_NULL_SEQUENCE) {
                    AlignState extended = s.after;
                    uint64_t c = pair(Expression_At(P, next), WithoutName(Expression_At(Q, s.j)));
                    if (Fold(extended, c & CMP_SAME ? CMP_MORE_SPECIFIC : c)) {
                        ++s.length;
                        s.after = extended;
                        i = next + 1;
                        j = s.j + 1;
                        return true;
                    }
                }
                UndoRecordings(ctx, s.markBefore);
            } else {
                UndoRecordings(ctx, s.markBefore);
            }
            steps.pop_back();
        }
        return false;
    };

    for (;;) {
        if (i > n && j > m) return state.allSame ? CMP_SAME : state.direction;
        AlignStep s{i, j, 1, ALIGN_RUN_P, false, state, state, state, ctx.log.size(), ctx.log.size()};
        bool nullP = i <= n && kindP[size_t(i)] == KIND_NULL_SEQUENCE;
        bool nullQ = j <= m && kindQ[size_t(j)] == KIND_NULL_SEQUENCE;
        uint64_t c;
        if (i <= n && j <= m && nullP && nullQ) {
            s.kind = ALIGN_BOTH_NULL;
            c = CMP_SAME;
        } else if (nullP) {
            // Also when Q is exhausted: a trailing null sequence matches nothing.
            s.kind = ALIGN_P_NULL;
            c = CMP_MORE_GENERAL;
        } else if (nullQ) {
            s.kind = ALIGN_Q_NULL;
            c = CMP_MORE_SPECIFIC;
        } else if (i <= n && j <= m) {
            s.plain = true;
            c = pair(Expression_At(P, i), Expression_At(Q, j));
        } else {
            if (!backtrack()) return 0;
            state = steps.back().after;
            continue;
        }
        AlignState next = state;
        if (Fold(next, c)) {
            s.afterPair = s.after = next;
            s.markPair = ctx.log.size();
            steps.push_back(s);
            state = next;
            i += s.kind == ALIGN_Q_NULL ? 0 : 1;
            j += s.kind == ALIGN_P_NULL ? 0 : 1;
            continue;
        }
        UndoRecordings(ctx, s.markBefore);
        if (!backtrack()) return 0;
        state = steps.back().after;
    }
}

// The specificity of pattern a against pattern b: CMP_SAME,
// CMP_MORE_SPECIFIC, CMP_MORE_GENERAL or 0 (incomparable). Names are
// recorded in la for a and in lb for b.
uint64_t Specificity(Object *a, Object *b, BindingList *la, BindingList *lb, SpecificityContext &ctx, int depth) {
    if (depth > kSpecificityDepthLimit) return 0;
    bool pa = IsPattern(a), pb = IsPattern(b);
    if (pa || pb) {
        bool repeatA = false, repeatB = false;
        Object *ma = pa ? PatternMeaning(a, la, ctx, &repeatA) : a;
        Object *mb = pb ? PatternMeaning(b, lb, ctx, &repeatB) : b;
        uint64_t c = Specificity(ma, mb, la, lb, ctx, depth + 1);
        // A repeated name is a constraint a first occurrence does not have.
        if (repeatA && !repeatB && (c & (CMP_SAME | CMP_MORE_SPECIFIC))) return CMP_MORE_SPECIFIC;
        if (repeatB && !repeatA && (c & (CMP_SAME | CMP_MORE_GENERAL))) return CMP_MORE_GENERAL;
        return c;
    }
    // A condition narrows its pattern: p /? test is more specific than p.
    // Two conditions on the same pattern are the same rule only when their
    // tests are; otherwise neither replaces the other.
    bool ca = Native_IsCall(a, SYM_Condition) && Expression_Length(a) == 2;
    bool cb = Native_IsCall(b, SYM_Condition) && Expression_Length(b) == 2;
    if (ca && cb) {
        uint64_t c = Specificity(Expression_At(a, 1), Expression_At(b, 1), la, lb, ctx, depth + 1);
        return c == CMP_SAME && !Object_Same(Expression_At(a, 2), Expression_At(b, 2)) ? 0 : c;
    }
    if (ca) {
        uint64_t c = Specificity(Expression_At(a, 1), b, la, lb, ctx, depth + 1);
        return c == CMP_SAME ? CMP_MORE_SPECIFIC : c;
    }
    if (cb) {
        uint64_t c = Specificity(a, Expression_At(b, 1), la, lb, ctx, depth + 1);
        return c == CMP_SAME ? CMP_MORE_GENERAL : c;
    }
    bool oa = Native_IsCall(a, SYM_Optional) && Expression_Length(a) >= 1;
    bool ob = Native_IsCall(b, SYM_Optional) && Expression_Length(b) >= 1;
    if (oa && ob) return Specificity(Expression_At(a, 1), Expression_At(b, 1), la, lb, ctx, depth + 1);
    if (oa) {
        uint64_t c = Specificity(Expression_At(a, 1), b, la, lb, ctx, depth + 1);
        return c == CMP_SAME ? CMP_MORE_GENERAL : c;
    }
    if (ob) {
        uint64_t c = Specificity(a, Expression_At(b, 1), la, lb, ctx, depth + 1);
        return c == CMP_SAME ? CMP_MORE_SPECIFIC : c;
    }
    if (Native_IsCall(a, SYM_Alternatives) || Native_IsCall(b, SYM_Alternatives))
        return AlternativesSpecificity(a, b, la, lb, ctx, depth);
    if (Native_IsCall(a, SYM_Options) && Native_IsCall(b, SYM_Options)) return CMP_SAME;
    bool ea = Object_IsExpression(a), eb = Object_IsExpression(b);
    if (!ea && !eb) return Compare(a, b, CMP_REQ_SPECIFICITY) & (CMP_SAME | DIRECTION_BITS);
    if (!eb) return ExpressionAtomSpecificity(a, b);
    if (!ea) return Compare_Mirror(ExpressionAtomSpecificity(b, a));
    int ra = HeadedBlankRank(a), rb = HeadedBlankRank(b);
    if (ra && rb) return Expression_At(a, 1) == Expression_At(b, 1) ? Specificity_Ranks(ra, rb) : 0;
    if (ra) return Expression_At(b, 0) == Expression_At(a, 1) ? CMP_MORE_GENERAL : 0;
    if (rb) return Expression_At(a, 0) == Expression_At(b, 1) ? CMP_MORE_SPECIFIC : 0;
    return AlignSpecificity(a, b, la, lb, ctx, depth);
}

}  // namespace

// 1 for Any, 2 for AnySequence, 3 for AnyNullSequence (from the most
// specific blank to the most general), 0 for every other object.
int Specificity_BlankRank(Object *o) {
    if (o == BuiltinBorrowed(SYM_Any)) return 1;
    if (o == BuiltinBorrowed(SYM_AnySequence)) return 2;
    if (o == BuiltinBorrowed(SYM_AnyNullSequence)) return 3;
    return 0;
}

uint64_t Specificity_Ranks(int ra, int rb) {
    if (ra == rb) return CMP_SAME;
    return ra < rb ? CMP_MORE_SPECIFIC : CMP_MORE_GENERAL;
}

uint64_t Specificity_Compare(Object *a, Object *b, BindingList *la, BindingList *lb) {
    SpecificityContext ctx;
    return Specificity(a, b, la, lb, ctx, 0);
}
