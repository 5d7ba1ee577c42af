#include "kernel_fixture.h"
#include "syntax/formatter.h"

#include <cmath>

namespace {

class ExpressionTest : public KernelTest {};

TEST_F(ExpressionTest, ConstructorsSkipAbsentArgumentsAndOwnTheirElements) {
    Object *e0 = Expression_New(Sym(u"h"));
    EXPECT_EQ(Expression_Length(e0), 0);
    EXPECT_EQ(StandardText(e0), u"h()");

    Object *e = Expression_New(Sym(u"h"), Sym(u"a"), nullptr, Sym(u"b"));
    EXPECT_EQ(Expression_Length(e), 2);
    EXPECT_EQ(AsExpression(e)->stamp, 0);
    EXPECT_EQ(StandardText(e), u"h(a, b)");

    Object *evaluated = Expression_NewEvaluated(Sym(u"h"));
    EXPECT_EQ(AsExpression(evaluated)->stamp, kernel.generation);
    Object_Release(evaluated);
}

TEST_F(ExpressionTest, InsertPlacesTheElementByPosition) {
    struct Case {
        int64_t position;
        const char16_t *expected;
    } cases[] = {
        {-1, u"f(a, b, x)"}, {3, u"f(a, b, x)"},  {99, u"f(a, b, x)"}, {1, u"f(x, a, b)"}, {2, u"f(a, x, b)"},
        {-2, u"f(a, x, b)"}, {-3, u"f(x, a, b)"}, {0, u"x(f, a, b)"},  {-4, u"x(f, a, b)"},
    };
    for (const Case &c : cases) {
        Object *e = Call(u"f", Sym(u"a"), Sym(u"b"));
        e = Expression_Insert(e, Sym(u"x"), c.position);
        EXPECT_EQ(Expression_Length(e), 3);
        EXPECT_EQ(StandardText(e), c.expected) << "position " << c.position;
    }
    Object *empty = Call(u"f");
    EXPECT_EQ(StandardText(Expression_Insert(empty, Sym(u"x"), 1)), u"f(x)");
}

TEST_F(ExpressionTest, InsertClearsTheStamp) {
    Object *e = Expression_NewEvaluated(Sym(u"f"));
    Expression_Insert(e, Sym(u"x"), -1);
    EXPECT_EQ(AsExpression(e)->stamp, 0);
    Object_Release(e);
}

TEST_F(ExpressionTest, CompactRemovesNullSlots) {
    Object *e = Expression_NewSized(Sym(u"f"), 4);
    AsExpression(e)->elements[1] = Sym(u"a");
    AsExpression(e)->elements[3] = Sym(u"b");
    Expression_Compact(e);
    EXPECT_EQ(Expression_Length(e), 2);
    EXPECT_EQ(StandardText(e), u"f(a, b)");

    Object *full = Call(u"f", Sym(u"a"));
    Expression_Compact(full);
    EXPECT_EQ(StandardText(full), u"f(a)");

    Object *none = Expression_NewSized(Sym(u"f"), 3);
    EXPECT_EQ(StandardText(Expression_Compact(none)), u"f()");
}

TEST_F(ExpressionTest, SpliceAtZeroDissolvesOneLevelInOnePass) {
    Object *seq = Sym(u"Sequence");
    Object *e = Call(u"f", Sym(u"a"), Call(u"Sequence", Sym(u"b"), Sym(u"c")), Sym(u"d"), Call(u"Sequence"));
    Expression_Splice(e, seq, 0);
    EXPECT_EQ(StandardText(e), u"f(a, b, c, d)");

    Object *nested = Call(u"f", Call(u"Sequence", Call(u"Sequence", Sym(u"x"))));
    Expression_Splice(nested, seq, 0);
    EXPECT_EQ(StandardText(nested), u"f(Sequence(x))");

    Object *untouched = Call(u"f", Call(u"g", Sym(u"x")));
    Expression_Splice(untouched, seq, 0);
    EXPECT_EQ(StandardText(untouched), u"f(g(x))");
    Object_Release(seq);
}

TEST_F(ExpressionTest, SpliceAtOnePositionOnlyTouchesThatArgument) {
    Object *seq = Sym(u"Sequence");
    auto build = [&] {
        return Call(u"f", Call(u"Sequence", Sym(u"a")), Call(u"Sequence", Sym(u"b"), Sym(u"c"), Sym(u"d")),
                    Call(u"Sequence"), Sym(u"e"));
    };
    EXPECT_EQ(StandardText(Expression_Splice(build(), seq, 2)), u"f(Sequence(a), b, c, d, Sequence(), e)");
    EXPECT_EQ(StandardText(Expression_Splice(build(), seq, 1)), u"f(a, Sequence(b, c, d), Sequence(), e)");
    EXPECT_EQ(StandardText(Expression_Splice(build(), seq, 3)), u"f(Sequence(a), Sequence(b, c, d), e)");
    EXPECT_EQ(StandardText(Expression_Splice(build(), seq, 4)), u"f(Sequence(a), Sequence(b, c, d), Sequence(), e)");
    Object_Release(seq);
}

TEST_F(ExpressionTest, SplicedElementsAreSharedNotStolen) {
    Object *inner = Call(u"Sequence", Sym(u"a"), Sym(u"b"));
    Object *e = Call(u"f", Object_AddRef(inner));
    Object *seq = Sym(u"Sequence");
    Expression_Splice(e, seq, 0);
    EXPECT_EQ(inner->refs, 1);
    EXPECT_EQ(StandardText(inner), u"Sequence(a, b)");
    EXPECT_EQ(StandardText(e), u"f(a, b)");
    Object_Release(seq);
}

TEST_F(ExpressionTest, HeadAndLengthOfEveryKindOfObject) {
    Object *e = Call(u"f", Int(1));
    Object *head = Object_Head(e);
    EXPECT_EQ(Symbol_Name(AsSymbol(head)), u"f");
    Object *five = Int(5), *text = Text("abc"), *x = Sym(u"x");
    EXPECT_EQ(Object_Head(five), BuiltinBorrowed(SYM_Integer));
    EXPECT_EQ(Object_Head(text), BuiltinBorrowed(SYM_String));
    EXPECT_EQ(Object_Head(x), BuiltinBorrowed(SYM_Symbol));
    EXPECT_EQ(Object_Length(text), 3);
    EXPECT_EQ(Object_Length(five), 0);
    EXPECT_EQ(Object_Length(e), 1);
    for (Object *o : {e, five, text, x}) Object_Release(o);
}

TEST_F(ExpressionTest, MakeUniqueCopiesSharedExpressionsAndClearsTheStamp) {
    Object *e = Expression_NewEvaluated(Sym(u"f"), Sym(u"a"));
    Object_AddRef(e);
    Object *unique = Object_MakeUnique(e);
    ASSERT_NE(unique, e);
    EXPECT_EQ(unique->refs, 1);
    EXPECT_EQ(e->refs, 1);
    EXPECT_EQ(Expression_At(unique, 1), Expression_At(e, 1));
    EXPECT_EQ(AsExpression(unique)->stamp, 0);
    EXPECT_NE(AsExpression(e)->stamp, 0);

    Object *same = Object_MakeUnique(e);
    EXPECT_EQ(same, e);
    EXPECT_EQ(AsExpression(same)->stamp, 0);
    Object_Release(unique);
    Object_Release(same);
}

TEST_F(ExpressionTest, SameComparesStructure) {
    Object *a = Call(u"f", Int(1), Call(u"g", Sym(u"x")));
    Object *b = Call(u"f", Int(1), Call(u"g", Sym(u"x")));
    Object *c = Call(u"f", Int(1), Call(u"g", Sym(u"y")));
    Object *d = Call(u"f", Int(1));
    EXPECT_EQ(Object_Same(a, b), 1);
    EXPECT_EQ(Object_Same(a, c), 0);
    EXPECT_EQ(Object_Same(a, d), 0);
    EXPECT_EQ(Object_Hash(a, 7), Object_Hash(b, 7));
    EXPECT_NE(Object_Hash(a, 7), Object_Hash(c, 7));
    // The flags release the operands once the answer is known.
    EXPECT_EQ(Object_Same(a, b, OBJ_RELEASE_FIRST | OBJ_RELEASE_SECOND), 1);
    Object_Release(c);
    Object_Release(d);
}

TEST_F(ExpressionTest, HashFoldsTheAtomsInOrder) {
    Object *f = Sym(u"f"), *x = Sym(u"x"), *y = Sym(u"y");
    Object *e = Call(u"f", Object_AddRef(x), Object_AddRef(y));
    uint32_t expected = Object_Hash(y, Object_Hash(x, Object_Hash(f, 99)));
    EXPECT_EQ(Object_Hash(e, 99), expected);
    Object *swapped = Call(u"f", Object_AddRef(y), Object_AddRef(x));
    EXPECT_NE(Object_Hash(swapped, 99), expected);
    for (Object *o : {f, x, y, e, swapped}) Object_Release(o);
}

TEST_F(ExpressionTest, PrecisionOfSymbolicExpressionsIsInfiniteUnlessIndeterminate) {
    Object *e = Call(u"f", Int(1), Sym(u"x"));
    int64_t machine = 5;
    EXPECT_TRUE(std::isinf(Object_Precision(e, &machine)));
    EXPECT_EQ(machine, 0);
    Object *bad = Call(u"f", Sym(u"x"), Builtin(SYM_Indeterminate));
    EXPECT_TRUE(std::isnan(Object_Precision(bad, &machine)));
    EXPECT_TRUE(std::isnan(Object_Accuracy(bad)));
    double p = 0, a = 0;
    EXPECT_EQ(Object_PrecisionAccuracy(e, &p, &a), 0);
    EXPECT_TRUE(std::isinf(p) && std::isinf(a));
    Object_Release(e);
    Object_Release(bad);
}

TEST_F(ExpressionTest, BuildingAndReleasingReturnsEveryPoolToItsCount) {
    std::vector<int64_t> before = PoolCounts();
    {
        Object *e = Call(u"fresh", Int(1000), Text("text"), Call(u"g", Int(-5)));
        Object *copy = Object_Clone(e);
        Object_Release(e);
        Object_Release(copy);
    }
    EXPECT_EQ(PoolCounts(), before);
}

TEST_F(ExpressionTest, MillionLevelNestingIsReleasedComparedAndHashedWithoutRecursion) {
    constexpr int kDepth = 1000000;
    std::vector<int64_t> before = PoolCounts();
    Object *f = Sym(u"f");
    Object *a = Sym(u"x"), *b = Sym(u"x");
    for (int i = 0; i < kDepth; ++i) {
        a = Expression_New(Object_AddRef(f), a);
        b = Expression_New(Object_AddRef(f), b);
    }
    EXPECT_EQ(Object_Same(a, b), 1);
    EXPECT_EQ(Object_Hash(a, 1), Object_Hash(b, 1));
    EXPECT_TRUE(std::isinf(Object_Precision(a)));
    std::u16string text = Format_Standard(a);
    EXPECT_LT(text.size(), size_t(kDepth));
    Object_Release(a);
    Object_Release(b);
    Object_Release(f);
    EXPECT_EQ(PoolCounts(), before);
}

}  // namespace
