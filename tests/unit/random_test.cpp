// The uniform draws under Random: machine words by masking and by
// rejection, magnitudes beyond a word by rejecting leading limbs, each
// checked for its range and, by a chi-square test with a generous bound,
// for bias.
#include <vector>

#include "kernel_fixture.h"
#include "number/bigint.h"
#include "number/random.h"

namespace {

class RandomTest : public KernelTest {
protected:
    // Draws n values of Random_Integer(x) and counts each value of
    // classify, which maps a draw to 0..k-1 (or -1 for out of range).
    template <typename Classify>
    static std::vector<int64_t> Counts(Object *x, int64_t k, int n, Classify classify) {
        std::vector<int64_t> counts(size_t(k), 0);
        for (int i = 0; i < n; ++i) {
            Ref r(Random_Integer(x));
            int64_t c = classify(r.get());
            EXPECT_GE(c, 0);
            EXPECT_LT(c, k);
            if (c >= 0 && c < k) ++counts[size_t(c)];
        }
        return counts;
    }
    // Chi-square of counts against the uniform distribution. With k - 1
    // degrees of freedom, a value above 3 (k - 1) + 30 is far beyond what
    // chance produces in these sizes.
    static bool LooksUniform(const std::vector<int64_t> &counts) {
        double total = 0;
        for (int64_t c : counts) total += double(c);
        double expected = total / double(counts.size()), chi = 0;
        for (int64_t c : counts) chi += (double(c) - expected) * (double(c) - expected) / expected;
        return chi < 3.0 * double(counts.size() - 1) + 30;
    }
};

int64_t Small(Object *r) { return Object_Subtype(r) == SUB_SMALL ? AsInteger(r)->small : -1; }

TEST_F(RandomTest, MachineWordsAreUniformByMaskAndByRejection) {
    for (int64_t x : {0, 1, 5, 7, 10, 1000}) {
        Ref bound(Int(x));
        auto counts = Counts(bound.get(), x + 1, int(200 * (x + 1)), Small);
        EXPECT_TRUE(LooksUniform(counts)) << x;
    }
    Ref negative(Int(-6));
    auto counts = Counts(negative.get(), 7, 1400, [](Object *r) { return -Small(r) <= 6 ? -Small(r) : -1; });
    EXPECT_TRUE(LooksUniform(counts));
}

// 3 * 2^64: the top limb is drawn from two bits and 3 is accepted only
// with a zero low limb, so the top limb is 0, 1 or 2, equally often.
TEST_F(RandomTest, MagnitudesBeyondAWordRejectLeadingLimbs) {
    Ref x(Integer_Multiply(Int(3), Integer_Power(Int(2), Int(64))));
    auto counts = Counts(x.get(), 3, 3000, [](Object *r) -> int64_t {
        if (Object_Subtype(r) == SUB_SMALL) return AsInteger(r)->small >= 0 ? 0 : -1;
        const BigInt *b = AsInteger(r)->big;
        if (b->sign < 0 || b->top > 1) return -1;
        return b->top == 0 ? 0 : b->limbs[1] <= 2 ? int64_t(b->limbs[1]) : -1;
    });
    EXPECT_TRUE(LooksUniform(counts));
    // -2^63 leaves the word when negated.
    Ref most(Int(INT64_MIN));
    for (int i = 0; i < 100; ++i) {
        Ref r(Random_Integer(most.get()));
        ASSERT_TRUE(Object_IsInteger(r.get()));
        EXPECT_LE(Object_Sign(r.get()), 0);
    }
}

TEST_F(RandomTest, TheGeneratorIsSeededOnceAndMovesOn) {
    uint64_t first = Random_Word(), second = Random_Word();
    EXPECT_NE(first, second);
    uint64_t state[4];
    for (int i = 0; i < 4; ++i) state[i] = kernel.randomState[i];
    // A reset leaves the generator where it was.
    Kernel_Reset();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(kernel.randomState[i], state[i]);
}

}  // namespace
