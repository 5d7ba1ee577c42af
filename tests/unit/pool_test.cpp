#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "object/pool.h"
#include "object/sanitizer.h"

namespace {

struct Record {
    int64_t value;
    char *owned;
};

int g_dropped = 0;

void DropRecord(void *r) {
    ++g_dropped;
    delete[] static_cast<Record *>(r)->owned;
}

class PoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        Pool_Init(&pool, "test", sizeof(Record), DropRecord);
        g_dropped = 0;
    }
    void TearDown() override { Pool_Destroy(&pool); }
    Pool pool;
};

TEST_F(PoolTest, RecordsAreZeroFilledEvenWhenRecycled) {
    auto *r = static_cast<Record *>(Pool_Alloc(&pool));
    EXPECT_EQ(r->value, 0);
    EXPECT_EQ(r->owned, nullptr);
    r->value = 42;
    Pool_Free(&pool, r);
    auto *again = static_cast<Record *>(Pool_Alloc(&pool));
    EXPECT_EQ(again, r);  // the freed slot is handed out first
    EXPECT_EQ(again->value, 0);
    EXPECT_EQ(pool.count, 1);
}

TEST_F(PoolTest, CountsAndIteratesInAllocationOrder) {
    std::vector<Record *> records;
    for (int i = 0; i < 5000; ++i) {
        records.push_back(static_cast<Record *>(Pool_Alloc(&pool)));
        records.back()->value = i;
    }
    EXPECT_EQ(pool.count, 5000);
    for (int i = 0; i < 5000; i += 2) Pool_Free(&pool, records[i]);
    EXPECT_EQ(pool.count, 2500);
    int64_t expected = 1;
    for (void *r = Pool_First(&pool); r; r = Pool_Next(&pool, r)) {
        EXPECT_EQ(static_cast<Record *>(r)->value, expected);
        expected += 2;
    }
    EXPECT_EQ(expected, 5001);
}

TEST_F(PoolTest, ClearDropsEveryRecordWithItsOwnedStorage) {
    for (int i = 0; i < 100; ++i) {
        auto *r = static_cast<Record *>(Pool_Alloc(&pool));
        r->owned = new char[16];
    }
    Pool_Clear(&pool);
    EXPECT_EQ(g_dropped, 100);
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(Pool_First(&pool), nullptr);
    auto *fresh = static_cast<Record *>(Pool_Alloc(&pool));
    EXPECT_EQ(fresh->owned, nullptr);
    EXPECT_EQ(pool.count, 1);
}

}  // namespace

#ifdef VORLAN_ASAN
// Under AddressSanitizer, with either compiler, a freed record is poisoned:
// reading it is reported like a use of freed heap memory.
TEST_F(PoolTest, FreedRecordsArePoisonedUnderAddressSanitizer) {
    auto *r = static_cast<Record *>(Pool_Alloc(&pool));
    Pool_Free(&pool, r);
    volatile int64_t *value = &r->value;
    EXPECT_DEATH((void)*value, "use-after-poison");
}
#endif
