#include "eval/literal_index.h"

#include <cmath>
#include <cstring>

#include "eval/definition.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/rational.h"
#include "number/real.h"
#include "object/expression.h"

namespace {

uint64_t Mix(uint64_t h, uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

// One atom's contribution. The cases where Object_Same is coarser than the
// bits are folded together: an integer held in the big form with a small
// value, the two zeros of a machine real, every NaN.
uint64_t AtomHash(Object *atom) {
    if (Object_IsSymbol(atom)) return reinterpret_cast<uintptr_t>(atom);
    switch (Object_Type(atom)) {
    case TYPE_INTEGER: {
        const Integer *i = AsInteger(atom);
        if (Object_Subtype(atom) == SUB_SMALL) return uint64_t(i->small);
        if (BigInt_FitsSmall(i->big)) return uint64_t(BigInt_ToSmall(i->big));
        break;
    }
    case TYPE_REAL:
        if (Object_Subtype(atom) != SUB_BIG) {
            double x = AsReal(atom)->value;
            if (x == 0.0) x = 0.0;
            if (std::isnan(x)) return 0x7FF8000000000000ull;
            uint64_t bits;
            std::memcpy(&bits, &x, sizeof bits);
            return bits ^ Object_Subtype(atom);
        }
        break;
    case TYPE_RATIONAL:
        return Mix(AtomHash(AsRational(atom)->numerator), AtomHash(AsRational(atom)->denominator));
    case TYPE_COMPLEX:
        if (AsComplex(atom)->re) return Mix(AtomHash(AsComplex(atom)->re), AtomHash(AsComplex(atom)->im));
        break;
    default: break;
    }
    return Object_Hash(atom, 0) ^ (uint64_t(Object_Type(atom)) << 40);
}

size_t SlotOf(const LiteralIndex *index, uint64_t hash) {
    return size_t(hash * 0x9E3779B97F4A7C15ull >> 7) & (index->slots.size() - 1);
}

void Place(LiteralIndex *index, DefinitionEntry *e) {
    size_t mask = index->slots.size() - 1;
    size_t i = SlotOf(index, e->hash);
    while (index->slots[i]) i = (i + 1) & mask;
    index->slots[i] = e;
}

}  // namespace

uint64_t LiteralIndex_Hash(Object *o) {
    uint64_t h = 0;
    if (!Object_IsExpression(o)) return AtomHash(o);
    // Lengths go in with the atoms, so that f(g(a), b) and f(g(a, b))
    // differ.
    struct Frame {
        Expression *e;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    stack.push({AsExpression(o), 0});
    h = Mix(h, uint64_t(AsExpression(o)->length));
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > f.e->length) {
            stack.pop();
            continue;
        }
        Object *x = f.e->elements[f.next++];
        if (Object_IsExpression(x)) {
            h = Mix(h, uint64_t(AsExpression(x)->length) | 0x100000000ull);
            stack.push({AsExpression(x), 0});
        } else {
            h = Mix(h, AtomHash(x));
        }
    }
    return h;
}

DefinitionEntry *LiteralIndex_Find(const LiteralIndex *index, Object *subject, uint64_t hash) {
    if (index->count == 0) return nullptr;
    size_t mask = index->slots.size() - 1;
    for (size_t i = SlotOf(index, hash);; i = (i + 1) & mask) {
        DefinitionEntry *e = index->slots[i];
        if (!e) return nullptr;
        if (e->hash == hash && Object_Same(e->left, subject)) return e;
    }
}

void LiteralIndex_Insert(LiteralIndex *index, DefinitionEntry *entry) {
    // At most half full, so that probes stay short.
    if (size_t(index->count + 1) * 2 > index->slots.size()) {
        std::vector<DefinitionEntry *> old;
        old.swap(index->slots);
        index->slots.assign(old.empty() ? 16 : old.size() * 2, nullptr);
        for (DefinitionEntry *e : old)
            if (e) Place(index, e);
    }
    Place(index, entry);
    ++index->count;
}

void LiteralIndex_Replace(LiteralIndex *index, DefinitionEntry *old, DefinitionEntry *fresh) {
    size_t mask = index->slots.size() - 1;
    for (size_t i = SlotOf(index, old->hash);; i = (i + 1) & mask) {
        if (index->slots[i] == old) {
            index->slots[i] = fresh;
            return;
        }
    }
}

void LiteralIndex_Clear(LiteralIndex *index) {
    index->slots.clear();
    index->slots.shrink_to_fit();
    index->count = 0;
}
