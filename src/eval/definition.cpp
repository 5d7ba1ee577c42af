#include "eval/definition.h"

#include <algorithm>

#include "eval/compare.h"
#include "eval/native_args.h"
#include "eval/specificity.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/attributes.h"
#include "object/expression.h"

namespace {

// Sets the entry's argument-count ranges when its left side is a call of
// bare blanks around a root symbol; see DefinitionEntry.
void SetArity(DefinitionEntry *e) {
    e->arity.clear();
    Object *level = e->left;
    while (Object_IsExpression(level)) {
        int64_t lo = 0, hi = 0;
        for (int64_t i = 1; i <= Expression_Length(level); ++i) {
            // Any takes one argument, AnySequence one or more,
            // AnyNullSequence any number.
            switch (Specificity_BlankRank(Expression_At(level, i))) {
            case 1:
                ++lo;
                if (hi != INT64_MAX) ++hi;
                break;
            case 2:
                ++lo;
                hi = INT64_MAX;
                break;
            case 3: hi = INT64_MAX; break;
            default: e->arity.clear(); return;
            }
        }
        e->arity.push_back({lo, hi});
        level = Expression_At(level, 0);
    }
    if (!Object_IsSymbol(level)) e->arity.clear();
}

// Whether the entry is decided by its argument counts and subject has them
// around the same root symbol. Borrows both.
bool MatchesByArity(const DefinitionEntry *e, Object *subject) {
    if (e->arity.empty()) return false;
    Object *level = subject, *pattern = e->left;
    for (const auto &[lo, hi] : e->arity) {
        if (!Object_IsExpression(level)) return false;
        int64_t n = Expression_Length(level);
        if (n < lo || n > hi) return false;
        level = Expression_At(level, 0);
        pattern = Expression_At(pattern, 0);
    }
    return level == pattern;
}

DefinitionEntry *NewEntry(SymbolRecord *r, Object *lhs, uint64_t flags) {
    auto *e = new DefinitionEntry{};
    e->owner = r;
    e->left = Object_AddRef(lhs);
    e->flags = flags;
    e->state = MatchState_New();
    Pattern_CollectNames(lhs, &e->bindings);
    SetArity(e);
    return e;
}

void FreeEntry(DefinitionEntry *e) {
    Object_Release(e->left);
    Object_Release(e->right);
    Bindings_Free(&e->bindings);
    MatchState_Free(e->state);
    delete e;
}

// Removes an entry that has left its list: at once, or, when a match with
// it is still running (a Condition test cleared or redefined its own rule),
// by the last user.
void RetireEntry(DefinitionEntry *e) {
    if (e->users > 0) e->dead = true;
    else FreeEntry(e);
}

// Empties an entry for refilling: the payload goes, the left side becomes
// lhs (borrowed) and its names are collected again.
void Refill(DefinitionEntry *e, Object *lhs, uint64_t flags) {
    Object_Release(e->right);
    e->right = nullptr;
    e->native = nullptr;
    e->flags = flags;
    Object *old = e->left;
    e->left = Object_AddRef(lhs);
    Object_Release(old);
    Bindings_Free(&e->bindings);
    e->bindings = BindingList();
    Pattern_CollectNames(lhs, &e->bindings);
    SetArity(e);
}

DefinitionList &ListOf(SymbolRecord *r) {
    if (!r->definitions) r->definitions = new DefinitionList();
    return *r->definitions;
}

// Empties an entry in its place in the record for refilling; an entry in
// use is retired and a fresh one takes its place.
DefinitionEntry *Renew(DefinitionEntry *e, Object *lhs, uint64_t flags) {
    if (e->users == 0) {
        Refill(e, lhs, flags);
        return e;
    }
    DefinitionEntry *fresh = NewEntry(e->owner, lhs, flags);
    RetireEntry(e);
    return fresh;
}

DefinitionEntry *FindOwn(SymbolRecord *r, Object *lhs, uint64_t flags) {
    if (r->ownValue) {
        if (flags & FIND_REPLACE) r->ownValue = Renew(r->ownValue, lhs, DEF_OWN);
        return r->ownValue;
    }
    if (flags & FIND_CREATE) r->ownValue = NewEntry(r, lhs, DEF_OWN);
    return r->ownValue;
}

// Locates or creates the entry of a left side, keeping the list ordered from
// the most specific to the most general left side, and by canonical order
// among left sides the specificity cannot order.
DefinitionEntry *FindExact(SymbolRecord *r, Object *lhs, uint64_t flags) {
    if (Object_IsSymbol(lhs)) return FindOwn(r, lhs, flags);
    DefinitionList &list = ListOf(r);
    BindingList names;
    Pattern_CollectNames(lhs, &names);
    size_t insertAt = list.size();
    bool placed = false;  // the insertion point is decided
    DefinitionEntry *found = nullptr;
    for (size_t i = 0; i < list.size(); ++i) {
        DefinitionEntry *e = list[i];
        uint64_t c = Compare(lhs, e->left, CMP_REQ_SPECIFICITY | CMP_REQ_ORDER, &names, &e->bindings);
        Bindings_Clear(&names);
        Bindings_Clear(&e->bindings);
        if ((c & CMP_MORE_SPECIFIC) && !placed) {
            insertAt = i;
            break;
        }
        if (c & CMP_SAME) {
            if (flags & FIND_REPLACE) list[i] = Renew(e, lhs, 0);
            found = list[i];
            break;
        }
        if ((c & CMP_BEFORE) && !(c & CMP_MORE_GENERAL) && !placed) {
            insertAt = i;
            placed = true;
        }
    }
    if (!found && (flags & FIND_CREATE)) {
        found = NewEntry(r, lhs, 0);
        list.insert(list.begin() + std::ptrdiff_t(insertAt), found);
    }
    Bindings_Free(&names);
    return found;
}

bool IsFlat(SymbolRecord *r) { return r && (r->attributes & ATTR_FLAT); }

DefinitionEntry *FindMatching(SymbolRecord *r, Object *subject, uint64_t flags, Object **partial) {
    if (!r->definitions) return nullptr;
    // Copy the list: a Condition test evaluated during matching may define
    // new rules for this very symbol, or clear them. Short lists, the
    // common case, are copied onto the stack.
    constexpr size_t kInlineEntries = 16;
    DefinitionEntry *inlineCopy[kInlineEntries];
    DefinitionList heapCopy;
    const DefinitionList &list = *r->definitions;
    size_t count = list.size();
    DefinitionEntry **entries = inlineCopy;
    if (count <= kInlineEntries) {
        std::copy(list.begin(), list.end(), inlineCopy);
    } else {
        heapCopy = list;
        entries = heapCopy.data();
    }
    DefinitionEntry *found = nullptr;
    // Every entry of the copy is held until the scan is over, so that one
    // retired by a test is not freed under it.
    for (size_t i = 0; i < count; ++i) ++entries[i]->users;
    for (size_t i = 0; i < count; ++i) {
        DefinitionEntry *e = entries[i];
        if (e->dead) continue;
        if ((e->flags & DEF_SUB) != (flags & DEF_SUB)) continue;
        if ((flags & FIND_SKIP_NATIVE) && (e->flags & DEF_NATIVE)) continue;
        if (MatchesByArity(e, subject)) {
            if (partial) *partial = nullptr;
            found = e;
            break;
        }
        Object *result = nullptr;
        bool matched = Pattern_Match(subject, e->left, &e->bindings, e->state, false, nullptr);
        if (!matched && !e->dead) {
            Bindings_Clear(&e->bindings);
            SymbolRecord *flatRecord = (flags & DEF_SUB) ? Symbol_Record(e->left, false) : r;
            if (partial && IsFlat(flatRecord)) matched = Pattern_Match(subject, e->left, &e->bindings, e->state, true, &result);
        }
        if (matched && e->dead) {
            Object_Release(result);
            matched = false;
        }
        if (matched) {
            if (partial) *partial = result;
            found = e;
            break;
        }
        Bindings_Clear(&e->bindings);
    }
    for (size_t i = 0; i < count; ++i)
        if (--entries[i]->users == 0 && entries[i]->dead) FreeEntry(entries[i]);
    return found;
}

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
        r->attributes |= flags & ATTR_ALL;
        if (flags & (DEF_VALUE | DEF_NATIVE)) {
            DefinitionEntry *e = Definition_Find(r, lhs, FIND_EXACT | FIND_REPLACE | FIND_CREATE, nullptr);
            e->flags |= flags & (DEF_VALUE | DEF_NATIVE | DEF_DELAYED | DEF_SUB);
            if (flags & DEF_NATIVE) {
                e->native = native;
            } else {
                Object_Release(e->right);
                e->right = Object_AddRef(value);
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

void Definitions_AbandonMatches() {
    auto abandon = [](DefinitionEntry *e) {
        e->users = 0;
        e->bindings.busy = false;
        Bindings_Clear(&e->bindings);
    };
    for (void *p = Pool_First(&kernel.symbolRecords); p; p = Pool_Next(&kernel.symbolRecords, p)) {
        auto *r = static_cast<SymbolRecord *>(p);
        if (r->ownValue) abandon(r->ownValue);
        if (r->definitions)
            for (DefinitionEntry *e : *r->definitions) abandon(e);
    }
}

void Definitions_Clear(SymbolRecord *r) {
    if (r->ownValue) RetireEntry(r->ownValue);
    r->ownValue = nullptr;
    if (r->definitions) {
        DefinitionList entries;
        entries.swap(*r->definitions);
        for (DefinitionEntry *e : entries) RetireEntry(e);
    }
}

void Definitions_Drop(SymbolRecord *r) {
    auto drop = [](DefinitionEntry *e) {
        MatchState_Free(e->state);
        delete e;
    };
    if (r->ownValue) drop(r->ownValue);
    r->ownValue = nullptr;
    if (r->definitions)
        for (DefinitionEntry *e : *r->definitions) drop(e);
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
