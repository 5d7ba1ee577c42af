// The hash table of a symbol's literal definitions: left sides without any
// pattern (g(5000), mf(17), f(a, "x")), which match exactly the subjects that
// are the same expression, found by a structural hash and confirmed by
// Object_Same. Entries leave the table only all at once, so the table needs
// no deletion marks.
#pragma once

#include <cstdint>
#include <vector>

#include "object/object.h"

struct DefinitionEntry;

struct LiteralIndex {
    std::vector<DefinitionEntry *> slots;  // open addressing; empty or a power of two long
    int64_t count = 0;
};

// The structural hash under which a literal left side is filed: equal for
// any two objects that Object_Same calls the same. Borrows o.
uint64_t LiteralIndex_Hash(Object *o);

// The entry whose left side is the same as subject (borrowed), whose hash is
// hash, or null.
DefinitionEntry *LiteralIndex_Find(const LiteralIndex *index, Object *subject, uint64_t hash);

// Files entry (not owned by the table) under entry->hash; no entry with the
// same left side may be filed yet.
void LiteralIndex_Insert(LiteralIndex *index, DefinitionEntry *entry);

// Puts fresh in the slot of old (same left side, same hash).
void LiteralIndex_Replace(LiteralIndex *index, DefinitionEntry *old, DefinitionEntry *fresh);

// Forgets every entry (the caller owns them).
void LiteralIndex_Clear(LiteralIndex *index);

// Calls visit(entry) for every filed entry, in slot order.
template <typename Visit>
void LiteralIndex_ForEach(const LiteralIndex *index, Visit visit) {
    for (DefinitionEntry *e : index->slots)
        if (e) visit(e);
}
