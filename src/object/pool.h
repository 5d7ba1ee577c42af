// Per-kind record pools. Every object and auxiliary record of the kernel is
// allocated from the pool of its kind, so that a reset can drop the whole
// object world in one pass, whatever reference counts are left.
//
// A pool hands out zero-filled records of one size, keeps every record it has
// handed out on a doubly linked list (in allocation order), takes single
// records back, and can take all of them back at once. Storage a record owns
// outside the pool (an element array, a byte buffer, limbs) is released on
// Pool_Clear through the pool's dropOwned hook; Pool_Free leaves that to the
// caller, which frees it before giving the record back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "object/sanitizer.h"

#ifdef VORLAN_ASAN
#include <sanitizer/asan_interface.h>
#define POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define POOL_POISON(p, n) ((void)(p), (void)(n))
#define POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

struct PoolLink {
    PoolLink *prev;
    PoolLink *next;
};

struct PoolSlab;

struct Pool {
    const char *name;
    size_t recordSize;                 // payload bytes, without the link
    void (*dropOwned)(void *record);   // frees what a record owns, or null
    PoolLink live;                     // sentinel of the list of live records
    int64_t count;                     // records handed out and not taken back
    PoolLink *freeList;                // recycled slots, linked through next
    PoolSlab *slabs;                   // storage of the record allocator
};

// Makes an empty pool for records of recordSize bytes.
void Pool_Init(Pool *pool, const char *name, size_t recordSize, void (*dropOwned)(void *record));

// Returns a new zero-filled record registered in the pool.
void *Pool_Alloc(Pool *pool);

// Adds a slab of free records; for Pool_AllocRaw.
void Pool_Grow(Pool *pool);

inline PoolLink *Pool_LinkOf(const void *record) {
    return const_cast<PoolLink *>(static_cast<const PoolLink *>(record) - 1);
}

// Pool_Alloc without the zero fill, for records whose constructor sets
// every field. Inline, like Pool_Free: objects are made and dropped at
// every step of an evaluation.
inline void *Pool_AllocRaw(Pool *pool) {
    if (!pool->freeList) Pool_Grow(pool);
    PoolLink *link = pool->freeList;
    pool->freeList = link->next;
    void *record = link + 1;
    POOL_UNPOISON(record, pool->recordSize);
    // Append at the tail so that iteration follows allocation order.
    link->prev = pool->live.prev;
    link->next = &pool->live;
    pool->live.prev->next = link;
    pool->live.prev = link;
    ++pool->count;
    return record;
}

// Takes one record of this pool back. The record's owned storage must
// already be gone.
inline void Pool_Free(Pool *pool, void *record) {
    PoolLink *link = Pool_LinkOf(record);
    link->prev->next = link->next;
    link->next->prev = link->prev;
    link->prev = nullptr;
    link->next = pool->freeList;
    pool->freeList = link;
    --pool->count;
    POOL_POISON(record, pool->recordSize);
}

// Takes every record back, calling dropOwned on each first. No reference
// count is read: this is only correct when the whole object world goes.
void Pool_Clear(Pool *pool);

// Clears the pool and returns its slabs to the system.
void Pool_Destroy(Pool *pool);

// Iteration over the live records in allocation order; null at the end.
void *Pool_First(const Pool *pool);
void *Pool_Next(const Pool *pool, const void *record);
