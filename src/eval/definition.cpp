#include "eval/definition.h"

#include <algorithm>
#include <optional>

#include "eval/compare.h"
#include "eval/native_args.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/attributes.h"
#include "object/expression.h"

// Why a literal entry may be tried out of its place. The literal entries of
// a symbol are found by hashing the subject; the ordered entries are tried
// as before. Trying a hit only after the ordered entries of the gaps before
// it keeps the order of trial exact: a literal left side matches only the
// subjects that are the same as it (no pattern construct, no Flat or
// Orderless head, checked again whenever a symbol gains those attributes),
// two distinct literal left sides never match the same subject, and so the
// first entry in list order that matches a subject is either an ordered
// entry before the literal's gap or the literal itself. In practice the
// literal comes first: it is strictly more specific than every pattern
// that matches it (each blank, sequence, alternative or optional it meets
// is more general than the argument it covers), except where a Condition
// wraps a literal-like pattern (f(1) /? test is more specific than f(1)),
// where a name repeats a literal, or where an Orderless head reorders; the
// gaps keep those cases right.

namespace {

constexpr uint64_t KIND_BITS = DEF_NATIVE | DEF_SUB;
constexpr uint64_t LITERAL_TRAPS = ATTR_FLAT | ATTR_ORDERLESS;

bool IsBlankHead(Object *head) {
    for (BuiltinSymbol id : {SYM_Alternatives, SYM_Any, SYM_AnySequence, SYM_AnyNullSequence, SYM_Optional, SYM_Pattern})
        if (head == BuiltinBorrowed(id)) return true;
    return false;
}

bool IsCondition(Object *o) {
    return Native_IsCall(o, SYM_Condition) && Expression_Length(o) == 2;
}

// The records a definition goes to: the root of the left side, or for a
// sub-definition the roots of its arguments, each once.
std::vector<SymbolRecord *> Targets(Object *lhs, uint64_t flags) {
    std::vector<SymbolRecord *> targets;
    auto add = [&](Object *root) {
        SymbolRecord *r = Symbol_Record(root, true);
        if (r && std::find(targets.begin(), targets.end(), r) == targets.end()) targets.push_back(r);
    };
    if (!(flags & DEF_SUB) || !Object_IsExpression(lhs)) {
        add(IsCondition(lhs) ? Expression_At(lhs, 1) : lhs);
        return targets;
    }
    for (int64_t i = 1; i <= Expression_Length(lhs); ++i) {
        Object *a = Expression_At(lhs, i);
        if (Object_IsSymbol(a)) add(a);
        else if (IsCondition(a)) add(Expression_At(a, 1));
        else if (Object_IsExpression(a) && !IsBlankHead(Expression_At(a, 0))) add(a);
    }
    return targets;
}

const char16_t *AssignmentName(uint64_t flags) {
    if (flags & DEF_SUB) return (flags & DEF_DELAYED) ? u"SubDefineDelayed" : u"SubDefine";
    return (flags & DEF_DELAYED) ? u"DefineDelayed" : u"Define";
}

bool Searching() { return kernel.eval.definitionScans > 0; }

// A new entry for the left side lhs (borrowed; the entry takes a
// reference) of the given kind bits.
DefinitionEntry *NewEntry(SymbolRecord *r, Object *lhs, uint64_t kind, bool literal) {
    auto *e = new DefinitionEntry{};
    e->owner = r;
    e->left = Object_AddRef(lhs);
    e->flags = kind;
    e->literal = literal;
    Pattern_CollectNames(lhs, &e->bindings);
    if (!literal) Signature_Build(&e->signature, lhs);
    return e;
}

void FreeEntry(DefinitionEntry *e) {
    Object_Release(e->left);
    Object_Release(e->right);
    Bindings_Free(&e->bindings);
    if (e->state) MatchState_Free(e->state);
    delete e;
}

// Removes an entry that has left its list: at once, or, while a search runs
// (a Condition test cleared or redefined a rule), when the last search ends.
void RetireEntry(DefinitionEntry *e) {
    if (!Searching()) return FreeEntry(e);
    e->dead = true;
    kernel.eval.retiredEntries.push_back(e);
}

// A retired literal may still be the greatest of its gap in its owner's
// list; the entry now in the index for the same left side (or none)
// takes its place there before it is freed.
void ForgetGapMaximum(DefinitionEntry *e) {
    DefinitionList *list = e->literal && e->owner ? e->owner->definitions : nullptr;
    if (!list) return;
    for (DefinitionEntry *&m : list->gapMax)
        if (m == e) m = LiteralIndex_Find(&list->literals, e->left, e->hash);
}

void FreeRetired() {
    std::vector<DefinitionEntry *> retired;
    retired.swap(kernel.eval.retiredEntries);
    for (DefinitionEntry *e : retired) {
        ForgetGapMaximum(e);
        FreeEntry(e);
    }
}

// Holds the ordered array of one search and counts the search, so that
// nothing it may still visit is freed under it; unwinding ends it too.
class SearchGuard {
public:
    explicit SearchGuard(EntryArray *a) : array_(a) {
        ++array_->refs;
        ++kernel.eval.definitionScans;
    }
    SearchGuard(const SearchGuard &) = delete;
    SearchGuard &operator=(const SearchGuard &) = delete;
    ~SearchGuard() {
        if (--array_->refs == 0) delete array_;
        if (--kernel.eval.definitionScans == 0 && !kernel.eval.retiredEntries.empty()) FreeRetired();
    }

private:
    EntryArray *array_;
};

void Account(DefinitionList *list, const DefinitionEntry *e, int64_t d) {
    if (e->flags & DEF_SUB) {
        list->subEntries += d;
        kernel.eval.subDefinitions += d;
    } else if (!(e->flags & DEF_NATIVE)) {
        list->userEntries += d;
    }
}

// Empties an entry for refilling: the payload goes, the left side becomes
// lhs (borrowed) and its names are collected again.
void Refill(DefinitionEntry *e, Object *lhs, uint64_t kind) {
    Object_Release(e->right);
    e->right = nullptr;
    e->compiled.built = false;
    e->native = nullptr;
    e->flags = kind;
    Object *old = e->left;
    e->left = Object_AddRef(lhs);
    Object_Release(old);
    Bindings_Free(&e->bindings);
    e->bindings = BindingList();
    Pattern_CollectNames(lhs, &e->bindings);
    if (!e->literal) Signature_Build(&e->signature, lhs);
}

// Empties an entry in its place for refilling with lhs (borrowed); while a
// search may hold it, a fresh entry takes its place and it is retired.
// Returns the entry to fill; the caller puts a fresh one where e was.
DefinitionEntry *Renew(DefinitionList *list, DefinitionEntry *e, Object *lhs, uint64_t kind) {
    if (list) Account(list, e, -1);
    DefinitionEntry *result = e;
    if (!Searching()) {
        Refill(e, lhs, kind);
    } else {
        result = NewEntry(e->owner, lhs, kind, e->literal);
        result->hash = e->hash;
        result->gap = e->gap;
        RetireEntry(e);
    }
    if (list) Account(list, result, 1);
    return result;
}

DefinitionList *ListOf(SymbolRecord *r) {
    if (!r->definitions) {
        auto *list = new DefinitionList();
        list->ordered = new EntryArray{1, {}};
        list->gapMax.assign(1, nullptr);
        list->indexed = !(r->attributes & LITERAL_TRAPS);
        list->epoch = kernel.eval.literalEpoch;
        r->definitions = list;
    }
    return r->definitions;
}

// The ordered entries for changing: a copy when a search holds them.
std::vector<DefinitionEntry *> &Writable(DefinitionList *list) {
    if (list->ordered->refs > 1) {
        auto *copy = new EntryArray{1, list->ordered->items};
        --list->ordered->refs;
        list->ordered = copy;
    }
    return list->ordered->items;
}

bool OrderedBefore(const DefinitionEntry *a, const DefinitionEntry *b) {
    return Compare(a->left, b->left, CMP_REQ_ORDER) & CMP_BEFORE;
}

// The literal entries of each gap, in canonical order when sorted is set.
std::vector<std::vector<DefinitionEntry *>> LiteralsByGap(DefinitionList *list, bool sorted) {
    std::vector<std::vector<DefinitionEntry *>> byGap(list->ordered->items.size() + 1);
    LiteralIndex_ForEach(&list->literals, [&](DefinitionEntry *e) { byGap[size_t(e->gap)].push_back(e); });
    if (sorted)
        for (auto &gap : byGap) std::stable_sort(gap.begin(), gap.end(), OrderedBefore);
    return byGap;
}

// Every entry of the list in the order of trial, as one list would hold
// them: each gap's literals, in canonical order, before the ordered entry
// that closes the gap.
std::vector<DefinitionEntry *> TrialOrder(DefinitionList *list) {
    std::vector<std::vector<DefinitionEntry *>> byGap = LiteralsByGap(list, true);
    std::vector<DefinitionEntry *> merged;
    merged.reserve(list->ordered->items.size() + size_t(list->literals.count));
    for (size_t g = 0; g < byGap.size(); ++g) {
        merged.insert(merged.end(), byGap[g].begin(), byGap[g].end());
        if (g < list->ordered->items.size()) merged.push_back(list->ordered->items[g]);
    }
    return merged;
}

// Moves every literal entry into the ordered array at its place in the
// order of trial; the list stays unindexed until it is cleared.
void Unindex(DefinitionList *list) {
    std::vector<DefinitionEntry *> merged = TrialOrder(list);
    for (DefinitionEntry *e : merged) {
        if (!e->literal) continue;
        e->literal = false;
        Signature_Build(&e->signature, e->left);
    }
    Writable(list).swap(merged);
    LiteralIndex_Clear(&list->literals);
    list->gapMax.clear();
    list->indexed = false;
}

// Unindexes the list when a symbol has gained Flat or Orderless since it
// was last looked at and that defeats the index: the record's own root, or
// a head inside a literal left side. Called through Checked.
void Revalidate(SymbolRecord *r, DefinitionList *list) {
    list->epoch = kernel.eval.literalEpoch;
    bool sound = !(r->attributes & LITERAL_TRAPS);
    LiteralIndex_ForEach(&list->literals, [&](DefinitionEntry *e) { sound = sound && Signature_IsLiteral(e->left); });
    if (!sound) Unindex(list);
}

void Checked(SymbolRecord *r, DefinitionList *list) {
    if (list->indexed && list->epoch != kernel.eval.literalEpoch) Revalidate(r, list);
}

DefinitionEntry *FindOwn(SymbolRecord *r, Object *lhs, uint64_t flags) {
    if (r->ownValue) {
        if (flags & FIND_REPLACE) r->ownValue = Renew(nullptr, r->ownValue, lhs, DEF_OWN);
        return r->ownValue;
    }
    if (flags & FIND_CREATE) r->ownValue = NewEntry(r, lhs, DEF_OWN, false);
    return r->ownValue;
}

// Puts a new ordered entry for lhs (borrowed) at position at.
DefinitionEntry *InsertOrdered(DefinitionList *list, SymbolRecord *r, size_t at, Object *lhs, uint64_t kind) {
    DefinitionEntry *e = NewEntry(r, lhs, kind, false);
    try {
        std::vector<DefinitionEntry *> &items = Writable(list);
        items.insert(items.begin() + std::ptrdiff_t(at), e);
    } catch (...) {
        FreeEntry(e);
        throw;
    }
    Account(list, e, 1);
    return e;
}

// Refills ordered entry i for lhs (borrowed).
DefinitionEntry *ReplaceOrdered(DefinitionList *list, size_t i, Object *lhs, uint64_t kind) {
    DefinitionEntry *old = list->ordered->items[i];
    DefinitionEntry *e = Renew(list, old, lhs, kind);
    if (e != old) Writable(list)[i] = e;
    return e;
}

// The exact search of a list holding every entry in order: the new left
// side goes before the first entry it is more specific than, or before the
// first it precedes canonically without being more general, unless an
// entry further on is the same left side.
DefinitionEntry *FindInOrder(DefinitionList *list, SymbolRecord *r, Object *lhs, uint64_t flags) {
    uint64_t kind = flags & KIND_BITS;
    BindingList names;
    Pattern_CollectNames(lhs, &names);
    const std::vector<DefinitionEntry *> &items = list->ordered->items;
    size_t insertAt = items.size();
    bool placed = false;  // the insertion point is decided
    DefinitionEntry *found = nullptr;
    for (size_t i = 0; i < items.size(); ++i) {
        DefinitionEntry *e = items[i];
        uint64_t c = Compare(lhs, e->left, CMP_REQ_SPECIFICITY | CMP_REQ_ORDER, &names, &e->bindings);
        Bindings_Clear(&names);
        Bindings_Clear(&e->bindings);
        if ((c & CMP_MORE_SPECIFIC) && !placed) {
            insertAt = i;
            break;
        }
        if (c & CMP_SAME) {
            found = (flags & FIND_REPLACE) ? ReplaceOrdered(list, i, lhs, kind) : e;
            break;
        }
        if ((c & CMP_BEFORE) && !(c & CMP_MORE_GENERAL) && !placed) {
            insertAt = i;
            placed = true;
        }
    }
    Bindings_Free(&names);
    if (!found && (flags & FIND_CREATE)) found = InsertOrdered(list, r, insertAt, lhs, kind);
    return found;
}

// The exact search for a literal left side in an indexed list: the same
// left side through the hash; otherwise the gap where the single-list scan
// would have put it. Against a literal of another gap the scan stops only
// where the new one comes first canonically, which within a gap sorted
// canonically is decided by the gap's greatest literal.
DefinitionEntry *FindLiteral(DefinitionList *list, SymbolRecord *r, Object *lhs, uint64_t flags) {
    uint64_t kind = flags & KIND_BITS;
    uint64_t hash = LiteralIndex_Hash(lhs);
    if (DefinitionEntry *e = LiteralIndex_Find(&list->literals, lhs, hash)) {
        if (!(flags & FIND_REPLACE)) return e;
        DefinitionEntry *fresh = Renew(list, e, lhs, kind);
        if (fresh != e) LiteralIndex_Replace(&list->literals, e, fresh);
        return fresh;
    }
    const std::vector<DefinitionEntry *> &items = list->ordered->items;
    size_t n = items.size();
    size_t gap = SIZE_MAX;
    bool belowMax = false;  // the new literal precedes its gap's greatest
    BindingList none;
    for (size_t g = 0; g <= n; ++g) {
        if (gap == SIZE_MAX) {
            DefinitionEntry *m = list->gapMax[g];
            if (m && (Compare(lhs, m->left, CMP_REQ_ORDER) & CMP_BEFORE)) {
                gap = g;
                belowMax = true;
            }
        }
        if (g == n) break;
        DefinitionEntry *e = items[g];
        uint64_t c = Compare(lhs, e->left, CMP_REQ_SPECIFICITY | CMP_REQ_ORDER, &none, &e->bindings);
        Bindings_Clear(&e->bindings);
        if ((c & CMP_MORE_SPECIFIC) && gap == SIZE_MAX) {
            gap = g;
            break;
        }
        // A pattern that compares the same (a named literal, x:1) is the
        // entry of this left side, as in the single list.
        if (c & CMP_SAME) return (flags & FIND_REPLACE) ? ReplaceOrdered(list, g, lhs, kind) : e;
        if ((c & CMP_BEFORE) && !(c & CMP_MORE_GENERAL) && gap == SIZE_MAX) gap = g;
    }
    if (!(flags & FIND_CREATE)) return nullptr;
    if (gap == SIZE_MAX) gap = n;
    DefinitionEntry *e = NewEntry(r, lhs, kind, true);
    e->hash = hash;
    e->gap = int64_t(gap);
    try {
        LiteralIndex_Insert(&list->literals, e);
    } catch (...) {
        FreeEntry(e);
        throw;
    }
    if (!belowMax) list->gapMax[gap] = e;
    Account(list, e, 1);
    return e;
}

// The exact search for any other left side in an indexed list: the scan of
// the single list, where each gap's literals come, in canonical order,
// before the ordered entry that closes the gap. Literals are compared
// unsorted first, as most new patterns (more general than all of them)
// pass every one; a gap is sorted only when one of its literals stops the
// scan.
DefinitionEntry *FindPattern(DefinitionList *list, SymbolRecord *r, Object *lhs, uint64_t flags) {
    if (list->literals.count == 0) {
        DefinitionEntry *e = FindInOrder(list, r, lhs, flags);
        list->gapMax.resize(list->ordered->items.size() + 1, nullptr);
        return e;
    }
    uint64_t kind = flags & KIND_BITS;
    BindingList names;
    Pattern_CollectNames(lhs, &names);
    auto compare = [&](DefinitionEntry *e) {
        uint64_t c = Compare(lhs, e->left, CMP_REQ_SPECIFICITY | CMP_REQ_ORDER, &names, &e->bindings);
        Bindings_Clear(&names);
        Bindings_Clear(&e->bindings);
        return c;
    };
    auto stops = [](uint64_t c) { return (c & CMP_MORE_SPECIFIC) || ((c & CMP_BEFORE) && !(c & CMP_MORE_GENERAL)); };
    std::vector<std::vector<DefinitionEntry *>> byGap = LiteralsByGap(list, false);
    const std::vector<DefinitionEntry *> &items = list->ordered->items;
    size_t n = items.size();
    // The insertion point: before literal k of gap g (in canonical order),
    // or before ordered entry g when k is SIZE_MAX.
    size_t atGap = SIZE_MAX, atLiteral = SIZE_MAX;
    bool now = false;  // insert without scanning further
    DefinitionEntry *found = nullptr;
    bool same = false;
    for (size_t g = 0; g <= n && !now && !found && !same; ++g) {
        std::vector<DefinitionEntry *> &literals = byGap[g];
        bool stopped = false;
        for (DefinitionEntry *e : literals) {
            uint64_t c = compare(e);
            if (c & CMP_SAME) same = true;
            if (stops(c)) stopped = true;
        }
        if (same) break;
        if (stopped && atGap == SIZE_MAX) {
            std::stable_sort(literals.begin(), literals.end(), OrderedBefore);
            for (size_t k = 0; k < literals.size(); ++k) {
                uint64_t c = compare(literals[k]);
                if (!stops(c)) continue;
                atGap = g;
                atLiteral = k;
                now = (c & CMP_MORE_SPECIFIC) != 0;
                break;
            }
            if (now) break;
        }
        if (g == n) break;
        uint64_t c = compare(items[g]);
        if ((c & CMP_MORE_SPECIFIC) && atGap == SIZE_MAX) {
            atGap = g;
            now = true;
        } else if (c & CMP_SAME) {
            found = (flags & FIND_REPLACE) ? ReplaceOrdered(list, g, lhs, kind) : items[g];
        } else if ((c & CMP_BEFORE) && !(c & CMP_MORE_GENERAL) && atGap == SIZE_MAX) {
            atGap = g;
        }
    }
    Bindings_Free(&names);
    // A pattern the same as a literal left side: rare enough to leave to
    // the single list.
    if (same) {
        Unindex(list);
        return FindInOrder(list, r, lhs, flags);
    }
    if (found || !(flags & FIND_CREATE)) return found;
    if (atGap == SIZE_MAX) atGap = n;
    DefinitionEntry *e = InsertOrdered(list, r, atGap, lhs, kind);
    // Entry atGap is new: later gaps move up by one, and the literals of
    // gap atGap from the insertion point on now follow the new entry.
    LiteralIndex_ForEach(&list->literals, [&](DefinitionEntry *x) {
        if (size_t(x->gap) > atGap) ++x->gap;
    });
    std::vector<DefinitionEntry *> &split = byGap[atGap];
    if (atLiteral != SIZE_MAX) {
        for (size_t k = atLiteral; k < split.size(); ++k) ++split[k]->gap;
        list->gapMax.insert(list->gapMax.begin() + std::ptrdiff_t(atGap), atLiteral ? split[atLiteral - 1] : nullptr);
    } else {
        list->gapMax.insert(list->gapMax.begin() + std::ptrdiff_t(atGap) + 1, nullptr);
    }
    return e;
}

// Locates or creates the entry of a left side; see the list's comment.
DefinitionEntry *FindExact(SymbolRecord *r, Object *lhs, uint64_t flags) {
    if (Object_IsSymbol(lhs)) return FindOwn(r, lhs, flags);
    DefinitionList *list = ListOf(r);
    Checked(r, list);
    if (!list->indexed) return FindInOrder(list, r, lhs, flags);
    bool literal = !(flags & KIND_BITS) && !IsCondition(lhs) && Symbol_Record(lhs, false) == r &&
                   Signature_IsLiteral(lhs);
    return literal ? FindLiteral(list, r, lhs, flags) : FindPattern(list, r, lhs, flags);
}

DefinitionEntry *FindMatching(SymbolRecord *r, Object *subject, uint64_t flags, Object **partial) {
    DefinitionList *list = r->definitions;
    if (!list) return nullptr;
    bool sub = flags & DEF_SUB;
    bool skipNative = flags & FIND_SKIP_NATIVE;
    if (sub ? list->subEntries == 0 : skipNative && list->userEntries == 0) return nullptr;
    Checked(r, list);
    EntryArray *array = list->ordered;
    size_t limit = array->items.size();
    DefinitionEntry *literal = nullptr;
    if (!sub && list->literals.count > 0 && Object_IsExpression(subject)) {
        literal = LiteralIndex_Find(&list->literals, subject, LiteralIndex_Hash(subject));
        if (literal) limit = size_t(literal->gap);
    }
    if (partial) *partial = nullptr;
    if (limit == 0) return literal;
    // The head that governs the arguments' matching.
    SymbolRecord *root = sub ? Symbol_Record(subject, false) : r;
    bool flat = root && (root->attributes & ATTR_FLAT);
    bool orderless = root && (root->attributes & ATTR_ORDERLESS);
    // The cheap facts evaluate nothing; the search is held only once the
    // matcher, which may run Condition tests, has to decide.
    std::optional<SearchGuard> guard;
    for (size_t i = 0; i < limit; ++i) {
        DefinitionEntry *e = array->items[i];
        if (e->dead) continue;
        if ((e->flags & DEF_SUB) != (flags & DEF_SUB)) continue;
        if (skipNative && (e->flags & DEF_NATIVE)) continue;
        SignatureVerdict verdict = Signature_Check(&e->signature, e->left, subject, &e->bindings, flat, orderless);
        if (verdict == SIGNATURE_NO) continue;
        if (verdict == SIGNATURE_YES) return e;
        if (!guard) guard.emplace(array);
        if (!e->state) e->state = MatchState_New();
        Object *result = nullptr;
        bool matched = Pattern_Match(subject, e->left, &e->bindings, e->state, false, nullptr);
        if (!matched && !e->dead) {
            Bindings_Clear(&e->bindings);
            SymbolRecord *flatRecord = sub ? Symbol_Record(e->left, false) : r;
            if (partial && flatRecord && (flatRecord->attributes & ATTR_FLAT))
                matched = Pattern_Match(subject, e->left, &e->bindings, e->state, true, &result);
        }
        if (matched && e->dead) {
            Object_Release(result);
            matched = false;
        }
        if (matched) {
            if (partial) *partial = result;
            return e;
        }
        Bindings_Clear(&e->bindings);
    }
    return literal && !literal->dead ? literal : nullptr;
}

}  // namespace

namespace {

// Symbol_Define and Symbol_DefineNative: stores value (borrowed; a new
// reference goes into each entry) or native at every target of lhs
// (consumed).
Object *Define(Object *lhs, uint64_t flags, Object *value, NativeFunction native, OutputFormatter formatter) {
    std::vector<SymbolRecord *> targets = Targets(lhs, flags);
    if (!targets.empty()) ++kernel.generation;
    Object *last = nullptr;
    for (SymbolRecord *r : targets) {
        last = &r->symbol->header;
        if (r->attributes & ATTR_PROTECTED) {
            Message_Emit(AssignmentName(flags), u"Protected", Symbol_Name(r->symbol));
            continue;
        }
        if (formatter) r->formatter = formatter;
        // A symbol gaining Flat or Orderless can widen what literal left
        // sides with it match.
        if ((flags & LITERAL_TRAPS) & ~r->attributes) ++kernel.eval.literalEpoch;
        r->attributes |= flags & ATTR_ALL;
        if (flags & (DEF_VALUE | DEF_NATIVE)) {
            DefinitionEntry *e =
                Definition_Find(r, lhs, FIND_EXACT | FIND_REPLACE | FIND_CREATE | (flags & KIND_BITS), nullptr);
            e->flags |= flags & (DEF_VALUE | DEF_NATIVE | DEF_DELAYED | DEF_SUB);
            if (flags & DEF_NATIVE) {
                e->native = native;
            } else {
                Object_Release(e->right);
                e->right = Object_AddRef(value);
                e->compiled.built = false;
            }
        }
        r->symbol->stamp = 0;
    }
    Object_Release(lhs);
    return last;
}

}  // namespace

Object *Symbol_Define(Object *lhs, uint64_t flags, Object *value, OutputFormatter formatter) {
    Ref owned(flags & DEF_VALUE ? value : nullptr);
    return Define(lhs, flags & ~DEF_NATIVE, value, nullptr, formatter);
}

Object *Symbol_DefineNative(Object *lhs, uint64_t flags, NativeFunction native, OutputFormatter formatter) {
    return Define(lhs, (flags & ~DEF_VALUE) | DEF_NATIVE, nullptr, native, formatter);
}

DefinitionEntry *Definition_Find(SymbolRecord *r, Object *lhs, uint64_t flags, Object **partial) {
    if (flags & FIND_EXACT) return FindExact(r, lhs, flags);
    return FindMatching(r, lhs, flags, partial);
}

std::vector<DefinitionEntry *> Definitions_InTrialOrder(SymbolRecord *r) {
    return r->definitions ? TrialOrder(r->definitions) : std::vector<DefinitionEntry *>();
}

namespace {

// Calls visit(entry) for every entry of the record, own value included.
template <typename Visit>
void ForEachEntry(SymbolRecord *r, Visit visit) {
    if (r->ownValue) visit(r->ownValue);
    if (DefinitionList *list = r->definitions) {
        for (DefinitionEntry *e : list->ordered->items) visit(e);
        LiteralIndex_ForEach(&list->literals, visit);
    }
}

}  // namespace

void Definitions_AbandonMatches() {
    for (void *p = Pool_First(&kernel.symbolRecords); p; p = Pool_Next(&kernel.symbolRecords, p)) {
        ForEachEntry(static_cast<SymbolRecord *>(p), [](DefinitionEntry *e) {
            e->bindings.busy = false;
            Bindings_Clear(&e->bindings);
        });
    }
}

void Definitions_Clear(SymbolRecord *r) {
    DefinitionEntry *own = r->ownValue;
    DefinitionList *list = r->definitions;
    r->ownValue = nullptr;
    r->definitions = nullptr;
    if (own) RetireEntry(own);
    if (!list) return;
    // A search still holding the ordered array frees it when it ends.
    kernel.eval.subDefinitions -= list->subEntries;
    EntryArray *array = list->ordered;
    for (DefinitionEntry *e : array->items) RetireEntry(e);
    LiteralIndex_ForEach(&list->literals, RetireEntry);
    if (--array->refs == 0) delete array;
    delete list;
}

void Definitions_Drop(SymbolRecord *r) {
    ForEachEntry(r, [](DefinitionEntry *e) {
        if (e->state) MatchState_Free(e->state);
        delete e;
    });
    r->ownValue = nullptr;
    if (DefinitionList *list = r->definitions) {
        kernel.eval.subDefinitions -= list->subEntries;
        delete list->ordered;
        delete list;
    }
    r->definitions = nullptr;
}



namespace {

// The left side as it is stored: a copy with its head and arguments
// evaluated and sequences spliced, so that f(1 + 1) = 3 defines f(2). The
// test of a conditional left side p /? test stays as written: it is
// evaluated with the bindings at every match, and evaluating it now would
// freeze it against the values of the moment. Borrows lhs; returns a new
// expression.
Object *PrepareLeftSide(Object *lhs) {
    if (IsCondition(lhs) && Object_IsExpression(Expression_At(lhs, 1))) {
        return Expression_New(Object_AddRef(Expression_At(lhs, 0)), PrepareLeftSide(Expression_At(lhs, 1)),
                              Object_AddRef(Expression_At(lhs, 2)));
    }
    Object *e = Object_MakeUnique(Object_Clone(lhs));
    Object **elements = AsExpression(e)->elements;
    for (int64_t i = 0; i <= Expression_Length(e); ++i) elements[i] = Object_Evaluate(elements[i]);
    return Expression_Splice(e, BuiltinBorrowed(SYM_Sequence), 0);
}

// One assignment of rhs (borrowed) to lhs (borrowed), as the four built-ins
// share it; flags carry DEF_DELAYED and DEF_SUB.
void Assign(Object *lhs, Object *rhs, uint64_t flags) {
    const char16_t *name = AssignmentName(flags);
    if (Native_IsList(lhs) && Native_IsList(rhs)) {
        if (Expression_Length(lhs) != Expression_Length(rhs)) {
            Message_Emit(name, u"List");
            return;
        }
        for (int64_t i = 1; i <= Expression_Length(lhs); ++i) Assign(Expression_At(lhs, i), Expression_At(rhs, i), flags);
        return;
    }
    if (flags == 0 && Native_IsCall(lhs, SYM_Attributes) &&
        Expression_Length(lhs) == 1 && Object_IsSymbol(Expression_At(lhs, 1))) {
        Symbol *s = AsSymbol(Expression_At(lhs, 1));
        if (s->record && !(s->record->attributes & ATTR_LOCKED)) s->record->attributes &= ~ATTR_ALL;
        Symbol_Record(&s->header, true);
        Attributes_Apply(s, rhs, true);
        return;
    }
    if (Object_IsSymbol(lhs)) {
        if (flags & DEF_SUB) Message_Emit(name, u"Symbol");
        else Symbol_Define(Object_AddRef(lhs), DEF_VALUE | flags, Object_AddRef(rhs), nullptr);
        return;
    }
    if (!Object_IsExpression(lhs)) {
        Message_Emit(name, u"Atomic");
        return;
    }
    Symbol_Define(PrepareLeftSide(lhs), DEF_VALUE | flags, Object_AddRef(rhs), nullptr);
}

Object *AssignmentBuiltin(Object *call, uint64_t flags) {
    if (Expression_Length(call) != 2) return call;
    Assign(Expression_At(call, 1), Expression_At(call, 2), flags);
    Object *result = (flags & DEF_DELAYED) ? Builtin(SYM_Null) : Object_AddRef(Expression_At(call, 2));
    return Object_ReleaseReturn(call, result);
}

void ClearOne(Object *s) {
    if (Native_IsList(s)) {
        for (int64_t i = 1; i <= Expression_Length(s); ++i) ClearOne(Expression_At(s, i));
        return;
    }
    if (!Object_IsSymbol(s)) {
        Message_Emit(u"Clear", u"Symbol");
        return;
    }
    SymbolRecord *r = AsSymbol(s)->record;
    if (!r) return;
    if (r->attributes & ATTR_PROTECTED) {
        Message_Emit(u"Clear", u"Protected", Symbol_Name(AsSymbol(s)));
        return;
    }
    Definitions_Clear(r);
}

}  // namespace

Object *Builtin_Define(Object *call) { return AssignmentBuiltin(call, 0); }
Object *Builtin_DefineDelayed(Object *call) { return AssignmentBuiltin(call, DEF_DELAYED); }
Object *Builtin_SubDefine(Object *call) { return AssignmentBuiltin(call, DEF_SUB); }
Object *Builtin_SubDefineDelayed(Object *call) { return AssignmentBuiltin(call, DEF_SUB | DEF_DELAYED); }

Object *Builtin_Clear(Object *call) {
    if (Expression_Length(call) != 1) return call;
    ClearOne(Expression_At(call, 1));
    return Object_ReleaseReturn(call, Builtin(SYM_Null));
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Clear, {u"Clear(\?)"}, Builtin_Clear},
    {SYM_Define, {u"Define(\?, \?)"}, Builtin_Define},
    {SYM_DefineDelayed, {u"DefineDelayed(\?, \?)"}, Builtin_DefineDelayed},
    {SYM_SubDefine, {u"SubDefine(\?, \?)"}, Builtin_SubDefine},
    {SYM_SubDefineDelayed, {u"SubDefineDelayed(\?, \?)"}, Builtin_SubDefineDelayed},
};

}  // namespace

extern const NativeTable DefinitionNatives = Table_Of(kNatives);
