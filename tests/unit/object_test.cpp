#include "kernel_fixture.h"

#include <cmath>

#include "syntax/formatter.h"

namespace {

class ObjectTest : public KernelTest {};

TEST_F(ObjectTest, AtomsPassThroughEvaluationUnchanged) {
    Object *five = Int(5);
    Object *text = Text("abc");
    EXPECT_EQ(Object_Evaluate(five), five);
    EXPECT_EQ(five->refs, 1);
    EXPECT_EQ(Object_Evaluate(text), text);
    EXPECT_EQ(text->refs, 1);
    Object_Release(five);
    Object_Release(text);
}

TEST_F(ObjectTest, DefaultsOfEmptySlots) {
    Object *text = Text("abc");
    int64_t machine = 7;
    EXPECT_TRUE(std::isinf(Object_Precision(text, &machine)));
    EXPECT_EQ(machine, 0);
    EXPECT_TRUE(std::isinf(Object_Accuracy(text)));
    double p = 0, a = 0;
    EXPECT_EQ(Object_PrecisionAccuracy(text, &p, &a), 0);
    EXPECT_TRUE(std::isinf(p) && std::isinf(a));
    EXPECT_EQ(Object_Sign(text), 0);

    Object *n = Int(-3);
    EXPECT_TRUE(std::isinf(Object_Precision(n, &machine)));
    EXPECT_EQ(machine, 0);
    EXPECT_EQ(Object_Sign(n), -1);
    Object_Release(text);
    Object_Release(n);
}

TEST_F(ObjectTest, SameNeedsEqualTypes) {
    Object *one = Int(1), *other = Int(1), *two = Int(2);
    Object *text = Text("1"), *symbol = Sym(u"1");
    EXPECT_EQ(Object_Same(one, other), 1);
    EXPECT_EQ(Object_Same(one, two), 0);
    EXPECT_EQ(Object_Same(one, text), 0);
    EXPECT_EQ(Object_Same(text, symbol), 0);
    EXPECT_EQ(Object_Hash(one, 0), Object_Hash(other, 0));
    for (Object *o : {one, other, two, text, symbol}) Object_Release(o);
}

TEST_F(ObjectTest, ReleaseFlagsOfSame) {
    Object *a = Int(9), *b = Int(9);
    Object_AddRef(a);
    Object_AddRef(b);
    Object_Same(a, b, OBJ_RELEASE_FIRST);
    EXPECT_EQ(a->refs, 1);
    EXPECT_EQ(b->refs, 2);
    Object_Same(a, b, OBJ_RELEASE_SECOND);
    EXPECT_EQ(b->refs, 1);
    Object_Release(a);
    Object_Release(b);
}

TEST_F(ObjectTest, ReleaseReturnDropsTheFirstAndPassesTheSecond) {
    std::vector<int64_t> before = PoolCounts();
    Object *call = Call(u"g", Int(1));
    Object *result = Int(2);
    EXPECT_EQ(Object_ReleaseReturn(call, result), result);
    Object_Release(result);
    EXPECT_EQ(PoolCounts(), before);
}

TEST_F(ObjectTest, OwnedReferenceReleasesOnScopeExit) {
    std::vector<int64_t> before = PoolCounts();
    {
        Ref a(Int(1));
        Ref b(Call(u"f", Int(2)));
        Ref moved(std::move(b));
        EXPECT_FALSE(b);
        Object *kept = a.release();
        Object_Release(kept);
    }
    EXPECT_EQ(PoolCounts(), before);
}

TEST_F(ObjectTest, IntegerTextFollowsTheContext) {
    EXPECT_EQ(StandardText(Int(0)), u"0");
    EXPECT_EQ(StandardText(Int(INT64_MIN)), u"-9223372036854775808");
    EXPECT_EQ(StandardText(Int(INT64_MAX)), u"9223372036854775807");
    // As an argument a negative number needs no parentheses.
    EXPECT_EQ(StandardText(Call(u"f", Int(-2))), u"f(-2)");
    // Where a negative number binds weaker than its surroundings it is
    // parenthesized, and a context that prints the sign itself gets the
    // magnitude.
    Object *n = Int(-7);
    Form_Push(FORM_STANDARD);
    TextBuffer text;
    ASSERT_TRUE(Context_Push(11, 0, 7));
    Format_Append(n, text);
    Context_Flags(CTX_MAGNITUDE, CTX_MAGNITUDE);
    Format_Append(n, text);
    Context_Pop();
    Form_Pop();
    EXPECT_EQ(text, u"(-7)7");
    Object_Release(n);
}

}  // namespace
