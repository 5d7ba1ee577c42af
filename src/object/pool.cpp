// The record allocator behind the pools: slabs of fixed-size slots, each slot
// a PoolLink followed by the payload, recycled through a free list. Under
// AddressSanitizer a free slot's payload is poisoned so that a use of a freed
// object is reported like a use of freed heap memory.
#include "object/pool.h"

#include <cstdlib>
#include <cstring>
#include <new>

struct PoolSlab {
    PoolSlab *next;
    size_t slots;
    alignas(16) unsigned char storage[];
};

namespace {

constexpr size_t kSlabBytes = 64 * 1024;

size_t SlotSize(const Pool *pool) {
    size_t n = sizeof(PoolLink) + pool->recordSize;
    return (n + 15) & ~size_t(15);
}

void *Payload(PoolLink *link) { return link + 1; }

}  // namespace

void Pool_Grow(Pool *pool) {
    size_t slot = SlotSize(pool);
    size_t slots = kSlabBytes / slot;
    if (slots < 16) slots = 16;
    auto *slab = static_cast<PoolSlab *>(std::malloc(sizeof(PoolSlab) + slot * slots));
    if (!slab) throw std::bad_alloc();
    slab->next = pool->slabs;
    slab->slots = slots;
    pool->slabs = slab;
    for (size_t i = slots; i-- > 0;) {
        auto *link = reinterpret_cast<PoolLink *>(slab->storage + i * slot);
        link->next = pool->freeList;
        pool->freeList = link;
        POOL_POISON(Payload(link), pool->recordSize);
    }
}

void Pool_Init(Pool *pool, const char *name, size_t recordSize, void (*dropOwned)(void *)) {
    pool->name = name;
    pool->recordSize = recordSize;
    pool->dropOwned = dropOwned;
    pool->live.prev = pool->live.next = &pool->live;
    pool->count = 0;
    pool->freeList = nullptr;
    pool->slabs = nullptr;
}

void *Pool_Alloc(Pool *pool) {
    void *record = Pool_AllocRaw(pool);
    std::memset(record, 0, pool->recordSize);
    return record;
}

void Pool_Clear(Pool *pool) {
    PoolLink *link = pool->live.next;
    while (link != &pool->live) {
        PoolLink *next = link->next;
        if (pool->dropOwned) pool->dropOwned(Payload(link));
        link->prev = nullptr;
        link->next = pool->freeList;
        pool->freeList = link;
        POOL_POISON(Payload(link), pool->recordSize);
        link = next;
    }
    pool->live.prev = pool->live.next = &pool->live;
    pool->count = 0;
}

void Pool_Destroy(Pool *pool) {
    Pool_Clear(pool);
    while (PoolSlab *slab = pool->slabs) {
        pool->slabs = slab->next;
        size_t slot = SlotSize(pool);
        POOL_UNPOISON(slab->storage, slot * slab->slots);
        std::free(slab);
    }
    pool->freeList = nullptr;
}

void *Pool_First(const Pool *pool) {
    PoolLink *link = pool->live.next;
    return link == &pool->live ? nullptr : Payload(link);
}

void *Pool_Next(const Pool *pool, const void *record) {
    PoolLink *link = Pool_LinkOf(record)->next;
    return link == &pool->live ? nullptr : Payload(link);
}
