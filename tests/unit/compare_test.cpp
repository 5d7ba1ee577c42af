#include "kernel_fixture.h"

#include <cmath>
#include <vector>

#include "eval/compare.h"
#include "eval/relations.h"
#include "eval/pattern.h"
#include "eval/sort.h"
#include "number/real.h"

namespace {

class CompareTest : public KernelTest {
protected:
    static Object *Real(double x) { return Real_FromDouble(x); }
    static Object *Big(int64_t high) { return Integer_Multiply(Int(high), Int(int64_t(1) << 40)); }
    static Object *Blank() { return Sym(u"Any"); }
    static Object *Named(const char16_t *name, Object *p) { return Call(u"Pattern", Sym(name), p); }
    static Object *Str(const char *bytes, uint64_t subtype) {
        return String_New(bytes, int64_t(std::char_traits<char>::length(bytes)), subtype);
    }

    // Compares and releases both operands.
    static uint64_t Cmp(Object *a, Object *b, uint64_t request, BindingList *la = nullptr, BindingList *lb = nullptr) {
        return Compare(a, b, request | CMP_RELEASE_FIRST | CMP_RELEASE_SECOND, la, lb);
    }
    static uint64_t Order(Object *a, Object *b) { return Cmp(a, b, CMP_REQ_ORDER) & 0x38; }
    static uint64_t Numeric(Object *a, Object *b) { return Cmp(a, b, CMP_REQ_NUMERIC) & 0x7FC0; }
    static uint64_t Specificity(Object *a, Object *b, BindingList *la = nullptr, BindingList *lb = nullptr) {
        return Cmp(a, b, CMP_REQ_SPECIFICITY, la, lb) & 0x7;
    }

    // Whether result is the same as expected; consumes both.
    static bool Is(Object *result, Object *expected) {
        return Object_Same(result, expected, OBJ_RELEASE_FIRST | OBJ_RELEASE_SECOND);
    }
    static bool IsSymbol(Object *result, const char16_t *name) { return Is(result, Sym(name)); }

    static void FreeNames(BindingList &list) {
        for (Binding &b : list.items) Object_Release(b.name);
        list.items.clear();
    }
};

// ---- Dispatch and mirror -------------------------------------------------------

TEST_F(CompareTest, MirrorExchangesThePairedBitsAndKeepsTheRest) {
    EXPECT_EQ(Compare_Mirror(0x2A12), 0x5424u);
    EXPECT_EQ(Compare_Mirror(0x5424), 0x2A12u);
    EXPECT_EQ(Compare_Mirror(0x1C9), 0x1C9u);
    for (uint64_t bits : {0x310u, 0x520u, 0xC9u, 0x4110u, 0x6110u, 0x2A12u, 0x7FFFu})
        EXPECT_EQ(Compare_Mirror(Compare_Mirror(bits)), bits);
}

TEST_F(CompareTest, EveryPairOfClassesSatisfiesTheMirrorIdentity) {
    std::vector<Object *> objects = {
        Int(-3), Int(0), Int(2), Big(1 << 30), Real(-2.5), Real(0.0), Real(2.0), Real(std::nan("")),
        Real_NewSaturated(SUB_OVERFLOW, 1), Real_NewSaturated(SUB_UNDERFLOW, -1), Text("a"), Str("a", SUB_BYTES),
        Text("b"), Sym(u"a"), Sym(u"x"), Blank(), Sym(u"AnySequence"), Call(u"f", Sym(u"x")),
        Call(u"Times", Int(2), Sym(u"x")), Call(u"Plus", Int(-1), Sym(u"x")), Call(u"Power", Sym(u"x"), Int(2)),
        Call(u"DirectedInfinity", Int(1)), Named(u"x", Blank()), Call(u"Any", Sym(u"Integer")),
        Call(u"Alternatives", Int(1), Int(2)), Call(u"Optional", Named(u"y", Blank()), Int(0)),
    };
    for (Object *a : objects) {
        for (Object *b : objects) {
            uint64_t ab = Compare(a, b, CMP_REQ_ORDER | CMP_REQ_NUMERIC);
            uint64_t ba = Compare(b, a, CMP_REQ_ORDER | CMP_REQ_NUMERIC);
            EXPECT_EQ(ab & 0x7FF8, Compare_Mirror(ba) & 0x7FF8)
                << Narrow(StandardText(Object_AddRef(a))) << " vs " << Narrow(StandardText(Object_AddRef(b)));
            uint64_t sab = Compare(a, b, CMP_REQ_SPECIFICITY) & 7;
            uint64_t sba = Compare(b, a, CMP_REQ_SPECIFICITY) & 7;
            EXPECT_EQ(sab, Compare_Mirror(sba) & 7)
                << Narrow(StandardText(Object_AddRef(a))) << " vs " << Narrow(StandardText(Object_AddRef(b)));
        }
    }
    for (Object *o : objects) Object_Release(o);
}

TEST_F(CompareTest, ReleaseFlagsReleaseTheNamedOperands) {
    Object *a = Int(1), *b = Int(2);
    Object_AddRef(a);
    Object_AddRef(b);
    Compare(a, b, CMP_REQ_ORDER | CMP_RELEASE_FIRST);
    EXPECT_EQ(a->refs, 1);
    EXPECT_EQ(b->refs, 2);
    Compare(a, b, CMP_REQ_ORDER | CMP_RELEASE_SECOND);
    EXPECT_EQ(b->refs, 1);
    Object_Release(a);
    Object_Release(b);
}

// ---- Numbers -------------------------------------------------------------------

TEST_F(CompareTest, IntegersGiveOrderAndRelationTogether) {
    EXPECT_EQ(Cmp(Int(1), Int(2), CMP_REQ_NUMERIC), 0x310u);
    EXPECT_EQ(Cmp(Int(2), Int(1), CMP_REQ_NUMERIC), 0x520u);
    EXPECT_EQ(Cmp(Int(7), Int(7), CMP_REQ_NUMERIC), 0xC9u);
    EXPECT_EQ(Cmp(Int(INT64_MIN), Int(INT64_MAX), CMP_REQ_NUMERIC), 0x310u);
}

TEST_F(CompareTest, BigIntegersCompareWithWordsAndEachOther) {
    EXPECT_EQ(Order(Big(1 << 30), Int(INT64_MAX)), CMP_AFTER);
    EXPECT_EQ(Order(Int(INT64_MIN), Big(-(1 << 30))), CMP_AFTER);
    EXPECT_EQ(Order(Big(-(1 << 30)), Int(0)), CMP_BEFORE);
    EXPECT_EQ(Order(Big(1 << 30), Big((1 << 30) + 1)), CMP_BEFORE);
    EXPECT_EQ(Cmp(Big(1 << 30), Big(1 << 30), CMP_REQ_NUMERIC), 0xC9u);
    EXPECT_EQ(Numeric(Big(-(1 << 30)), Big(1 << 30)), CMP_LESS | CMP_UNEQUAL);
}

TEST_F(CompareTest, AnIntegerComesBeforeARealOfTheSameValue) {
    EXPECT_EQ(Cmp(Int(1), Real(1.0), CMP_REQ_NUMERIC), CMP_BEFORE | CMP_EQUAL | CMP_IDENTICAL);
    EXPECT_EQ(Order(Real(1.0), Int(1)), CMP_AFTER);
    EXPECT_EQ(Order(Int(1), Real(0.5)), CMP_AFTER);
    EXPECT_EQ(Order(Real(-0.5), Int(0)), CMP_BEFORE);
    EXPECT_EQ(Cmp(Real(2.5), Real(2.5), CMP_REQ_NUMERIC), 0xC9u);
    // 2^70 as an integer and as a double.
    EXPECT_EQ(Cmp(Big(1 << 30), Real(std::ldexp(1.0, 70)), CMP_REQ_NUMERIC), CMP_BEFORE | CMP_EQUAL | CMP_IDENTICAL);
}

TEST_F(CompareTest, RealsAreEqualWithinTheirErrorButOrderedByValue) {
    double one = 1.0, next = std::nextafter(1.0, 2.0);
    EXPECT_EQ(Cmp(Real(one), Real(next), CMP_REQ_NUMERIC), CMP_BEFORE | CMP_EQUAL);
    EXPECT_EQ(Cmp(Real(next), Real(one), CMP_REQ_NUMERIC), CMP_AFTER | CMP_EQUAL);
    double far = std::nextafter(std::nextafter(next, 2.0), 2.0);
    EXPECT_EQ(Numeric(Real(one), Real(far)), CMP_LESS | CMP_UNEQUAL);
    // An exact operand has no error of its own.
    EXPECT_EQ(Numeric(Int(1), Real(next)), CMP_LESS | CMP_UNEQUAL);
    // 2^53 + 1 is within half a unit of 2^53 as a double.
    EXPECT_EQ(Cmp(Int((int64_t(1) << 53) + 1), Real(std::ldexp(1.0, 53)), CMP_REQ_NUMERIC), CMP_AFTER | CMP_EQUAL);
    EXPECT_EQ(Numeric(Int((int64_t(1) << 53) + 3), Real(std::ldexp(1.0, 53))), CMP_GREATER | CMP_UNEQUAL);
    // Big integers against doubles beyond the word range.
    Object *big = Integer_Add(Big(1 << 30), Int(1));  // 2^70 + 1
    EXPECT_EQ(Cmp(big, Real(std::ldexp(1.0, 70)), CMP_REQ_NUMERIC), CMP_AFTER | CMP_EQUAL);
    EXPECT_EQ(Numeric(Big(1 << 30), Real(std::ldexp(1.0, 71))), CMP_LESS | CMP_UNEQUAL);
    EXPECT_EQ(Numeric(Big(-(1 << 30)), Real(-1.0e3)), CMP_LESS | CMP_UNEQUAL);
    // Zero carries an error of 2^-1023.
    EXPECT_EQ(Numeric(Real(0.0), Real(1e-320)), CMP_EQUAL);
    EXPECT_EQ(Numeric(Int(0), Real(1e-320)), CMP_LESS | CMP_UNEQUAL);
}

TEST_F(CompareTest, SaturatedRealsSitAtTheEndsAndNextToZero) {
    std::vector<Object *> ascending = {
        Real_NewSaturated(SUB_OVERFLOW, -1), Real(-1e300), Big(-(1 << 30)), Int(-1),
        Real_NewSaturated(SUB_UNDERFLOW, -1), Int(0), Real_NewSaturated(SUB_UNDERFLOW, 1), Real(1e-300),
        Big(1 << 30), Real_NewSaturated(SUB_OVERFLOW, 1),
    };
    for (size_t i = 0; i < ascending.size(); ++i)
        for (size_t j = i + 1; j < ascending.size(); ++j)
            EXPECT_EQ(Compare(ascending[i], ascending[j], CMP_REQ_NUMERIC) & 0x7F38, CMP_BEFORE | CMP_LESS | CMP_UNEQUAL)
                << i << " " << j;
    EXPECT_EQ(Compare(ascending[9], ascending[9], CMP_REQ_NUMERIC) & 0x7FC9, 0xC9u);
    for (Object *o : ascending) Object_Release(o);
}

TEST_F(CompareTest, ANaNHasNoNumericValueAndSortsLast) {
    EXPECT_EQ(Cmp(Real(std::nan("")), Int(1), CMP_REQ_NUMERIC), CMP_AFTER | CMP_FIRST_NOT_NUMERIC);
    EXPECT_EQ(Cmp(Real(std::nan("")), Real(std::nan("")), CMP_REQ_NUMERIC),
              CMP_SAME | CMP_ORDER_EQUAL | CMP_FIRST_NOT_NUMERIC | CMP_SECOND_NOT_NUMERIC);
}

// ---- Strings and symbols ----------------------------------------------------------

TEST_F(CompareTest, StringsCollateAndAreUnordered) {
    EXPECT_EQ(Cmp(Text("a"), Text("b"), CMP_REQ_NUMERIC), CMP_BEFORE | CMP_UNEQUAL | 0x6000);
    EXPECT_EQ(Cmp(Text("a"), Text("a"), CMP_REQ_NUMERIC),
              CMP_SAME | CMP_ORDER_EQUAL | CMP_EQUAL | CMP_IDENTICAL | 0x6000);
    // Equal text in two storage kinds: order-equal, but not the same.
    EXPECT_EQ(Order(Text("a"), Str("a", SUB_BYTES)), CMP_ORDER_EQUAL);
    EXPECT_EQ(Cmp(Text("a"), Str("a", SUB_BYTES), CMP_REQ_SPECIFICITY) & 7, 0u);
    EXPECT_EQ(Order(Text("Z"), Text("a")), CMP_AFTER);
    EXPECT_EQ(Order(Text("A"), Text("b")), CMP_BEFORE);
    EXPECT_EQ(Order(Text("ab"), Text("a")), CMP_AFTER);
    // Against a byte string, or between byte strings, the bytes decide.
    EXPECT_EQ(Order(Text("Z"), Str("a", SUB_BYTES)), CMP_BEFORE);
    EXPECT_EQ(Order(Str("Z", SUB_BYTES), Str("a", SUB_BYTES)), CMP_BEFORE);
    // Texts that differ only in characters without collation entries are
    // told apart by their bytes, so they are neither equal nor the same.
    EXPECT_EQ(Cmp(Text("a\xE4\xB8\x81"), Text("a\xE4\xB8\x80"), CMP_REQ_NUMERIC | CMP_REQ_SPECIFICITY),
              CMP_AFTER | CMP_UNEQUAL | 0x6000);
    // Numbers come before strings, which are unordered against them.
    EXPECT_EQ(Cmp(Int(5), Text("a"), CMP_REQ_NUMERIC), 0x4110u);
    EXPECT_EQ(Cmp(Text("a"), Real(5.0), CMP_REQ_NUMERIC), CMP_AFTER | CMP_UNEQUAL | CMP_FIRST_UNORDERED);
}

TEST_F(CompareTest, SymbolsOrderByNameAfterStrings) {
    EXPECT_EQ(Cmp(Sym(u"x"), Sym(u"x"), CMP_REQ_NUMERIC), 0xC9u);
    EXPECT_EQ(Cmp(Sym(u"a"), Sym(u"b"), CMP_REQ_NUMERIC), CMP_BEFORE | CMP_FIRST_NOT_NUMERIC | CMP_SECOND_NOT_NUMERIC);
    EXPECT_EQ(Order(Sym(u"B"), Sym(u"a")), CMP_BEFORE);
    EXPECT_EQ(Order(Sym(u"ab"), Sym(u"a")), CMP_AFTER);
    EXPECT_EQ(Order(Sym(u"a"), Text("z")), CMP_AFTER);
    EXPECT_EQ(Cmp(Sym(u"a"), Int(3), CMP_REQ_NUMERIC), CMP_AFTER | CMP_FIRST_NOT_NUMERIC);
    EXPECT_EQ(Cmp(Text("a"), Sym(u"a"), CMP_REQ_NUMERIC), CMP_BEFORE | CMP_SECOND_NOT_NUMERIC | CMP_FIRST_UNORDERED);
}

// ---- Canonical order of expressions -------------------------------------------------

TEST_F(CompareTest, MixedInputSortsIntoCanonicalOrder) {
    auto times = [] { return Call(u"Times", Int(2), Sym(u"x")); };
    auto power = [] { return Call(u"Power", Sym(u"x"), Int(2)); };
    Object *input = Expression_New(Sym(u"List"), Sym(u"b"), Text("b"), Int(2), Sym(u"a"));
    input = Expression_Insert(input, Call(u"f", Sym(u"x")), -1);
    input = Expression_Insert(input, Real(1.5), -1);
    input = Expression_Insert(input, power(), -1);
    input = Expression_Insert(input, times(), -1);
    input = Expression_Insert(input, Sym(u"x"), -1);
    Object *expected = Expression_New(Sym(u"List"), Real(1.5), Int(2), Text("b"), Sym(u"a"));
    expected = Expression_Insert(expected, Sym(u"b"), -1);
    expected = Expression_Insert(expected, Sym(u"x"), -1);
    expected = Expression_Insert(expected, times(), -1);
    expected = Expression_Insert(expected, power(), -1);
    expected = Expression_Insert(expected, Call(u"f", Sym(u"x")), -1);
    EXPECT_TRUE(Is(Expression_Sort(input, nullptr, 1), expected));
}

TEST_F(CompareTest, PlusTimesAndPowerArePlacedByTheirDecidingPart) {
    auto x = [] { return Sym(u"x"); };
    // Against the part itself, the rest of the expression decides.
    EXPECT_EQ(Order(Call(u"Times", Int(-1), x()), x()), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Times", Int(3), x()), x()), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"Times", Int(-1), Int(2), x()), x()), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"Plus", Int(-1), x()), x()), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Plus", Int(1), x()), x()), CMP_AFTER);
    EXPECT_EQ(Order(x(), Call(u"Plus", Int(-1), x())), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"Power", x(), Int(-1)), x()), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Power", x(), Real(0.5)), x()), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Power", x(), Int(3)), x()), CMP_AFTER);
    // Otherwise the part is compared with the other operand.
    EXPECT_EQ(Order(Call(u"Times", Int(2), Sym(u"a")), x()), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Power", Sym(u"y"), Int(2)), x()), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"Plus", x(), Sym(u"y")), Call(u"f", Sym(u"y"))), CMP_BEFORE);
    // Two sums: arguments from the last backwards, then what is left over.
    EXPECT_EQ(Order(Call(u"Plus", Int(2), x()), Call(u"Plus", x(), Sym(u"y"))), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Plus", Sym(u"a"), Sym(u"b")), Call(u"Plus", Sym(u"b"))), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"Plus", Int(-2), Sym(u"b")), Call(u"Plus", Sym(u"b"))), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Plus", Sym(u"b")), Call(u"Plus", Sym(u"a"), Sym(u"c"), Sym(u"b"))), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"Plus", Sym(u"a"), Sym(u"b")), Call(u"Plus", Sym(u"a"), Sym(u"b"))), CMP_ORDER_EQUAL);
    EXPECT_EQ(Order(Call(u"Times", Int(3), x()), Call(u"Times", Int(2), x())), CMP_AFTER);
    // A sum against a product: the sum's last term decides.
    EXPECT_EQ(Order(Call(u"Plus", Int(1), x()), Call(u"Times", Int(2), x())), CMP_BEFORE);
    // Two powers compare like any other expressions.
    EXPECT_EQ(Order(Call(u"Power", x(), Int(2)), Call(u"Power", x(), Int(3))), CMP_BEFORE);
}

TEST_F(CompareTest, OtherExpressionsOrderByLengthThenElements) {
    EXPECT_EQ(Order(Call(u"g", Sym(u"a")), Call(u"f", Sym(u"a"), Sym(u"b"))), CMP_BEFORE);
    EXPECT_EQ(Order(Call(u"g", Sym(u"a")), Call(u"f", Sym(u"b"))), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"f", Sym(u"a"), Int(2)), Call(u"f", Sym(u"a"), Int(1))), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"f", Sym(u"a")), Call(u"f", Sym(u"a"))), CMP_ORDER_EQUAL);
    EXPECT_EQ(Order(Call(u"f"), Sym(u"z")), CMP_AFTER);
    EXPECT_EQ(Order(Call(u"f"), Int(1)), CMP_AFTER);
    EXPECT_EQ(Order(Text("a"), Call(u"f")), CMP_BEFORE);
}

// Builds head[head[...head[leaf]...]] with depth levels.
Object *Nest(const char16_t *head, int depth, Object *leaf) {
    for (int i = 0; i < depth; ++i) leaf = Expression_New(Symbol_Intern(head), leaf);
    return leaf;
}

TEST_F(CompareTest, DeeplyNestedExpressionsCompareWithoutExhaustingTheStack) {
    constexpr int depth = 100000;
    EXPECT_EQ(Order(Nest(u"f", depth, Int(1)), Nest(u"f", depth, Int(2))), CMP_BEFORE);
    EXPECT_EQ(Order(Nest(u"Plus", depth, Sym(u"b")), Nest(u"Plus", depth, Sym(u"a"))), CMP_AFTER);
    EXPECT_EQ(Order(Nest(u"Power", depth, Sym(u"b")), Nest(u"Times", depth, Sym(u"b"))), CMP_AFTER);
    EXPECT_EQ(Numeric(Nest(u"f", depth, Int(1)), Nest(u"f", depth, Real(1.0))), CMP_EQUAL);
    // Specificity gives up beyond its depth bound: incomparable.
    EXPECT_EQ(Specificity(Nest(u"f", depth, Int(1)), Nest(u"f", depth, Blank())), 0u);
    EXPECT_EQ(Specificity(Nest(u"f", 100, Int(1)), Nest(u"f", 100, Blank())), CMP_MORE_SPECIFIC);
}

// ---- Relations ----------------------------------------------------------------------

TEST_F(CompareTest, OrderGivesOneZeroOrMinusOne) {
    EXPECT_TRUE(Is(Builtin_Order(Call(u"Order", Int(1), Real(1.0))), Int(1)));
    EXPECT_TRUE(Is(Builtin_Order(Call(u"Order", Sym(u"a"), Sym(u"a"))), Int(0)));
    EXPECT_TRUE(Is(Builtin_Order(Call(u"Order", Sym(u"b"), Sym(u"a"))), Int(-1)));
    Object *call = Call(u"Order", Int(1));
    EXPECT_EQ(Builtin_Order(call), call);
    Object_Release(call);
}

TEST_F(CompareTest, SameAndUnsameCompareStructure) {
    EXPECT_TRUE(IsSymbol(Builtin_Same(Call(u"Same", Int(1), Int(1), Int(1))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Same(Call(u"Same", Int(1), Real(1.0))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Same(Call(u"Same", Call(u"f", Sym(u"x")), Call(u"f", Sym(u"x")))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Same(Call(u"Same")), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Unsame(Call(u"Unsame", Int(1), Int(2), Int(1))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Unsame(Call(u"Unsame", Int(1), Real(1.0))), u"True"));
}

TEST_F(CompareTest, ChainsDecideOrDropTheirDecidedLinks) {
    auto x = [] { return Sym(u"x"); };
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", Int(1), Int(2), Int(3))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", Int(1), Int(3), Int(2))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", Int(3), x(), Int(2))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", x(), x())), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", Int(1))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_LessEqual(Call(u"LessEqual", Int(1), Real(1.0), Int(2))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Greater(Call(u"Greater", Int(3), Real(2.5), Int(-1))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Greater(Call(u"Greater", Int(1), Int(1))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_GreaterEqual(Call(u"GreaterEqual", Int(1), Int(2))), u"False"));
    // Undecided links stay; decided ones next to them go.
    Object *open = Call(u"Less", Int(1), x(), Int(3));
    EXPECT_EQ(Builtin_Less(open), open);
    Object_Release(open);
    EXPECT_TRUE(Is(Builtin_Less(Call(u"Less", x(), Int(1), Int(2))), Call(u"Less", x(), Int(1))));
    EXPECT_TRUE(Is(Builtin_Less(Call(u"Less", Int(1), Int(2), x())), Call(u"Less", Int(2), x())));
    EXPECT_TRUE(Is(Builtin_Less(Call(u"Less", Text("a"), Int(1), Int(2))), Call(u"Less", Text("a"), Int(1))));
    // Infinities compare by their direction.
    Object *inf = Call(u"DirectedInfinity", Int(1));
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", Int(1), Object_AddRef(inf))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Greater(Call(u"Greater", Call(u"DirectedInfinity", Real(-2.0)), Int(5))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Less(Call(u"Less", Call(u"DirectedInfinity", Int(-1)), inf)), u"True"));
    Object *symbolic = Call(u"Less", Call(u"DirectedInfinity", x()), Int(1));
    EXPECT_EQ(Builtin_Less(symbolic), symbolic);
    Object_Release(symbolic);
}

TEST_F(CompareTest, ChainsCopyASharedCallBeforeDroppingArguments) {
    Object *call = Call(u"Less", Sym(u"x"), Int(1), Int(2));
    Object_AddRef(call);
    Object *reduced = Builtin_Less(call);
    EXPECT_NE(reduced, call);
    EXPECT_EQ(Expression_Length(call), 3);
    EXPECT_EQ(call->refs, 1);
    Object_Release(reduced);
    Object_Release(call);
}

TEST_F(CompareTest, EqualDropsDuplicatesAndDecidesNumbers) {
    auto x = [] { return Sym(u"x"); };
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal", x(), x())), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal", Int(1), Real(1.0))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal", Int(1), Int(2))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal", Text("a"), Text("a"))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal", Text("a"), Int(1))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal", Call(u"f", Int(1)), Call(u"f", Real(1.0)))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Equal(Call(u"Equal")), u"True"));
    Object *open = Call(u"Equal", x(), Sym(u"y"));
    EXPECT_EQ(Builtin_Equal(open), open);
    Object_Release(open);
    Object *structural = Call(u"Equal", Call(u"f", Int(1)), Call(u"f", Int(2)));
    EXPECT_EQ(Builtin_Equal(structural), structural);
    Object_Release(structural);
    EXPECT_TRUE(Is(Builtin_Equal(Call(u"Equal", x(), x(), Sym(u"y"))), Call(u"Equal", x(), Sym(u"y"))));
}

TEST_F(CompareTest, UnequalNeedsEveryPairUnequal) {
    EXPECT_TRUE(IsSymbol(Builtin_Unequal(Call(u"Unequal", Int(1), Int(2), Int(1))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Unequal(Call(u"Unequal", Int(1), Int(2), Int(3))), u"True"));
    EXPECT_TRUE(IsSymbol(Builtin_Unequal(Call(u"Unequal", Int(1), Real(1.0))), u"False"));
    EXPECT_TRUE(IsSymbol(Builtin_Unequal(Call(u"Unequal", Int(1))), u"True"));
    Object *open = Call(u"Unequal", Sym(u"x"), Int(2));
    EXPECT_EQ(Builtin_Unequal(open), open);
    Object_Release(open);
}

// ---- Pattern specificity ------------------------------------------------------------

TEST_F(CompareTest, BlanksRankFromSpecificToGeneral) {
    auto seq = [] { return Sym(u"AnySequence"); };
    auto nullSeq = [] { return Sym(u"AnyNullSequence"); };
    EXPECT_EQ(Specificity(Blank(), seq()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(seq(), nullSeq()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(nullSeq(), Blank()), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(Blank(), Blank()), CMP_SAME);
    EXPECT_EQ(Specificity(Int(1), Blank()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(Sym(u"a"), seq()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(Text("s"), nullSeq()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(Sym(u"a"), Sym(u"b")), 0u);
    EXPECT_EQ(Specificity(Int(1), Int(2)), 0u);
    EXPECT_EQ(Specificity(Int(1), Real(1.0)), 0u);
    EXPECT_EQ(Specificity(Int(1), Int(1)), CMP_SAME);
    // Any single expression is covered by a blank.
    EXPECT_EQ(Specificity(Call(u"g", Int(1)), Blank()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(Call(u"f", Call(u"g", Int(1))), Call(u"f", Blank())), CMP_MORE_SPECIFIC);
}

TEST_F(CompareTest, NamesAreNotComparedButRepeatedNamesAreConstraints) {
    auto f = [](Object *a, Object *b = nullptr) { return Call(u"f", a, b); };
    EXPECT_EQ(Specificity(f(Int(1)), f(Named(u"x", Blank()))), CMP_MORE_SPECIFIC);
    BindingList la, lb;
    EXPECT_EQ(Specificity(f(Named(u"x", Blank())), f(Named(u"y", Blank())), &la, &lb), CMP_SAME);
    ASSERT_EQ(la.items.size(), 1u);
    EXPECT_EQ(la.items[0].name, &Symbol_Find(u"x")->header);
    EXPECT_EQ(la.items[0].pattern, BuiltinBorrowed(SYM_Any));
    FreeNames(la);
    FreeNames(lb);
    EXPECT_EQ(Specificity(f(Named(u"x", Blank()), Named(u"x", Blank())), f(Named(u"x", Blank()), Named(u"y", Blank())), &la,
                   &lb),
              CMP_MORE_SPECIFIC);
    FreeNames(la);
    FreeNames(lb);
    EXPECT_EQ(Specificity(f(Named(u"x", Blank()), Named(u"y", Blank())), f(Named(u"x", Blank()), Named(u"x", Blank())), &la,
                   &lb),
              CMP_MORE_GENERAL);
    FreeNames(la);
    FreeNames(lb);
    // A name collected before the comparison (without a pattern) is filled in.
    la.items.push_back({Sym(u"x"), nullptr, nullptr, nullptr, nullptr});
    Object *named = Named(u"x", Int(1));
    EXPECT_EQ(Compare(named, Int(1), CMP_REQ_SPECIFICITY | CMP_RELEASE_SECOND, &la, &lb) & 7, CMP_SAME);
    ASSERT_EQ(la.items.size(), 1u);
    EXPECT_EQ(la.items[0].pattern, Expression_At(named, 2));
    Object_Release(named);
    FreeNames(la);
    // A name whose recorded pattern names itself ends at the depth bound.
    EXPECT_EQ(Specificity(Named(u"x", Named(u"x", Blank())), Blank(), &la, &lb), 0u);
    FreeNames(la);
    // Without lists every occurrence is a first one.
    EXPECT_EQ(Specificity(f(Named(u"x", Blank()), Named(u"x", Blank())), f(Named(u"x", Blank()), Named(u"y", Blank()))),
              CMP_SAME);
}

TEST_F(CompareTest, SequenceArgumentsAlignWithBacktracking) {
    auto seq = [](const char16_t *name) { return Named(name, Sym(u"AnySequence")); };
    auto nullSeq = [](const char16_t *name) { return Named(name, Sym(u"AnyNullSequence")); };
    auto f = [](Object *a = nullptr, Object *b = nullptr, Object *c = nullptr) { return Call(u"f", a, b, c); };
    EXPECT_EQ(Specificity(f(seq(u"x")), f(Int(1), Int(2))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(f(Int(1), Int(2)), f(seq(u"x"))), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(f(Sym(u"AnySequence")), f(Sym(u"AnySequence"), Sym(u"AnySequence"))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(f(seq(u"x"), Int(1)), f(Int(2), Int(3), Int(1))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(f(Int(2), Int(3), Int(1)), f(seq(u"x"), Int(1))), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(f(nullSeq(u"x"), Int(1)), f(Int(1))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(f(nullSeq(u"x")), f()), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(f(nullSeq(u"x")), f(nullSeq(u"y"))), CMP_SAME);
    EXPECT_EQ(Specificity(f(nullSeq(u"x")), f(seq(u"y"))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(f(Int(1), Int(2)), f(Int(1))), 0u);
    EXPECT_EQ(Specificity(f(Int(1), Named(u"x", Blank())), f(Named(u"x", Blank()), Int(1))), 0u);
    EXPECT_EQ(Specificity(Call(u"g", Int(1)), f(Int(1))), 0u);
    // The recordings of abandoned pairings are taken back.
    BindingList la, lb;
    EXPECT_EQ(Specificity(f(seq(u"x"), Named(u"y", Int(1))), f(Int(2), Int(3), Named(u"z", Int(1))), &la, &lb),
              CMP_MORE_GENERAL);
    ASSERT_EQ(la.items.size(), 2u);
    EXPECT_EQ(la.items[0].name, &Symbol_Find(u"x")->header);
    EXPECT_EQ(la.items[1].name, &Symbol_Find(u"y")->header);
    ASSERT_EQ(lb.items.size(), 1u);
    FreeNames(la);
    FreeNames(lb);
}

TEST_F(CompareTest, OptionalAlternativesAndOptions) {
    auto x = [] { return Named(u"x", Blank()); };
    auto alt = [](Object *a, Object *b, Object *c = nullptr) { return Call(u"Alternatives", a, b, c); };
    EXPECT_EQ(Specificity(Call(u"Optional", x(), Int(0)), x()), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(x(), Call(u"Optional", x(), Int(0))), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(Call(u"Optional", x(), Int(0)), Call(u"Optional", Named(u"y", Blank()), Int(1))), CMP_SAME);
    EXPECT_EQ(Specificity(Call(u"Optional", Int(1), Int(0)), Blank()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(alt(Int(1), Int(2)), Int(1)), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(alt(Int(1), Int(2)), Blank()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(alt(Int(1), Int(2)), Int(3)), 0u);
    EXPECT_EQ(Specificity(alt(Int(1), Int(2)), alt(Int(1), Int(2))), CMP_SAME);
    EXPECT_EQ(Specificity(alt(Int(1), Int(2)), alt(Int(1), Int(2), Int(3))), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(alt(Int(1), Int(2), Int(3)), alt(Int(1), Int(2))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(Call(u"Options", Int(1)), Call(u"Options")), CMP_SAME);
}

TEST_F(CompareTest, BlanksWithAHead) {
    auto headed = [](const char16_t *blank, const char16_t *h) { return Call(blank, Sym(h)); };
    EXPECT_EQ(Specificity(headed(u"Any", u"Integer"), headed(u"AnySequence", u"Integer")), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(headed(u"Any", u"Integer"), headed(u"Any", u"Integer")), CMP_SAME);
    EXPECT_EQ(Specificity(headed(u"Any", u"Integer"), headed(u"Any", u"Real")), 0u);
    EXPECT_EQ(Specificity(headed(u"Any", u"g"), Call(u"g", Int(1))), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(headed(u"Any", u"g"), Call(u"h", Int(1))), 0u);
    EXPECT_EQ(Specificity(headed(u"Any", u"g"), Blank()), CMP_MORE_SPECIFIC);
    EXPECT_EQ(Specificity(headed(u"AnySequence", u"g"), Blank()), 0u);
    EXPECT_EQ(Specificity(Call(u"f", headed(u"AnySequence", u"g")), Call(u"f", Int(1), Int(2))), 0u);
    // Against an atom, an expression pattern is more general when it matches it.
    EXPECT_EQ(Specificity(headed(u"Any", u"Integer"), Int(1)), CMP_MORE_GENERAL);
    EXPECT_EQ(Specificity(Real(1.5), headed(u"Any", u"Integer")), 0u);
    EXPECT_EQ(Specificity(Call(u"f", Int(1)), Int(1)), 0u);
    // A condition narrows a blank.
    EXPECT_EQ(Specificity(Call(u"Condition", Named(u"x", Blank()), Sym(u"t")), Named(u"y", Blank())), CMP_MORE_SPECIFIC);
}

}  // namespace
