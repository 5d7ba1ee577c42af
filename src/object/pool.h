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

// Pool_Alloc without the zero fill, for records whose constructor sets
// every field.
void *Pool_AllocRaw(Pool *pool);

// Takes one record of this pool back. The record's owned storage must
// already be gone.
void Pool_Free(Pool *pool, void *record);

// Takes every record back, calling dropOwned on each first. No reference
// count is read: this is only correct when the whole object world goes.
void Pool_Clear(Pool *pool);

// Clears the pool and returns its slabs to the system.
void Pool_Destroy(Pool *pool);

// Iteration over the live records in allocation order; null at the end.
void *Pool_First(const Pool *pool);
void *Pool_Next(const Pool *pool, const void *record);
