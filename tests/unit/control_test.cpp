// The control and functional built-ins where the case files cannot look:
// the expression length limit at small settings and at its default, the
// memory a built list takes, and the local symbols that Scope leaves in the
// symbol table however its body ends.
#include <gtest/gtest.h>

#include <string>

#include "eval/evaluate.h"
#include "eval/native_args.h"
#include "kernel_fixture.h"

namespace {

// Lowers the expression length limit for one test and restores it.
struct LengthLimit {
    int64_t saved = kernel.settings.expressionLengthLimit;
    explicit LengthLimit(int64_t limit) { kernel.settings.expressionLengthLimit = limit; }
    ~LengthLimit() { kernel.settings.expressionLengthLimit = saved; }
};

// The names of local symbols (a "$" in the name) that still carry a record:
// a value, definitions or attributes that a finished Scope should have
// taken away.
std::u16string LocalsWithRecords() {
    std::u16string names;
    for (const auto &[name, symbol] : kernel.symbolTable)
        if (name.find(u'$') != std::u16string_view::npos && symbol->record) names += std::u16string(name) + u' ';
    return names;
}

// Parses and evaluates text; returns the result handle for inspection.
Object *EvaluateObject(const char16_t *text) {
    return reinterpret_cast<Object *>(Kernel_EvaluateExpression(Kernel_InputExpression(text)));
}

}  // namespace

class ControlTest : public KernelTest {};

TEST_F(ControlTest, LengthLimitCountsElements) {
    LengthLimit limit(1000);
    const std::u16string refused = u"Kernel::ExpressionLengthLimit: Expression length of 1000 exceeded.";
    struct {
        const char16_t *input;
        const char16_t *result;  // null: a list of 1000 elements
    } cases[] = {
        {u"Iterate(0, 1000)", nullptr},
        {u"Iterate(i, {i, 1000})", nullptr},
        {u"Iterate(i, {i, 1, 1000})", nullptr},
        {u"Iterate(i, {i, 0, 999.5})", nullptr},
        {u"Iterate(i, {i, 2, 2001, 2})", nullptr},
        {u"Iterate(0, 1001)", u"Hold(Iterate(0, 1001))"},
        {u"Iterate(i, {i, 0, 1000})", u"Hold(Iterate(i, {i, 0, 1000}))"},
        {u"Iterate(i, {i, 1, 2, 1/1000})", u"Hold(Iterate(i, {i, 1, 2, 1/1000}))"},
        {u"Iterate(i, {i, 1000, 1, -1})", nullptr},
        {u"Iterate(i, {i, 1000, 0, -1})", u"Hold(Iterate(i, {i, 1000, 0, -1}))"},
    };
    for (const auto &c : cases) {
        Host() = HostRecord();
        Object *r = EvaluateObject(c.input);
        ASSERT_NE(r, nullptr);
        if (c.result) {
            EXPECT_EQ(StandardText(r), c.result) << Narrow(c.input);
            ASSERT_EQ(Host().messages.size(), 1u) << Narrow(c.input);
            EXPECT_EQ(Host().messages[0], refused);
        } else {
            EXPECT_TRUE(Native_IsList(r) && Expression_Length(r) == 1000) << Narrow(c.input);
            EXPECT_TRUE(Host().messages.empty()) << Narrow(c.input);
            Object_Release(r);
        }
    }
}

// A built list costs one expression and its element array; the elements
// themselves are what the body gives (here one shared integer, or one
// integer per element), with nothing left over from the substitutions.
TEST_F(ControlTest, BuiltListsTakeMemoryInProportion) {
    LengthLimit limit(5000);
    std::vector<int64_t> before = PoolCounts();
    Object *shared = EvaluateObject(u"Iterate(7, 5000)");
    std::vector<int64_t> afterShared = PoolCounts();
    Object *counted = EvaluateObject(u"Iterate(i, {i, 5000})");
    std::vector<int64_t> afterCounted = PoolCounts();
    int64_t sharedGrowth = 0, countedGrowth = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        sharedGrowth += afterShared[i] - before[i];
        countedGrowth += afterCounted[i] - afterShared[i];
    }
    EXPECT_LE(sharedGrowth, 20);
    EXPECT_GE(countedGrowth, 5000 - 20);
    EXPECT_LE(countedGrowth, 5000 + 20);
    Object_Release(shared);
    Object_Release(counted);
    EXPECT_EQ(PoolCounts(), before);
}

// The default limit itself: 2^24 elements are built, one more is refused.
TEST_F(ControlTest, DefaultLengthLimitIsTwoToTheTwentyFourth) {
    Object *r = EvaluateObject(u"Iterate(0, 16777216)");
    ASSERT_TRUE(Native_IsList(r));
    EXPECT_EQ(Expression_Length(r), 16777216);
    Object_Release(r);
    EXPECT_EQ(EvaluateText(u"Iterate(0, 16777217)"), u"Hold(Iterate(0, 16777217))");
    ASSERT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(Host().messages[0], u"Kernel::ExpressionLengthLimit: Expression length of 16777216 exceeded.");
}

// However the body ends (a value, a failure with messages, the recursion
// limit, an iteration refused, a nested Scope), no local symbol keeps a
// value, and one that nothing refers to leaves the symbol table.
TEST_F(ControlTest, ScopeLeavesNoLocalBehind) {
    const char16_t *inputs[] = {
        u"Scope({x = 1, f}, f(a?) := a; SetAttributes(x, Listable); x + 1)",
        u"Scope({x = 1}, Iterate(x, {1, 2}))",
        u"Scope({x = 1}, Iterate(x, 10^30))",
        u"Scope({x = 1, y := 2}, (#5 &)(x, y))",
        u"Scope({x = 1}, Scope({x = 2, y = x}, Scope({z = y}, z)))",
    };
    int64_t symbols = SymbolTable_Size();
    for (const char16_t *input : inputs) {
        EvaluateText(input);
        EXPECT_EQ(LocalsWithRecords(), u"") << Narrow(input);
        EXPECT_EQ(SymbolTable_Size(), symbols) << Narrow(input);
    }
    EvaluateText(u"r(n?) := Scope({y = n}, r(n + 1))");
    symbols = SymbolTable_Size();
    Host() = HostRecord();
    EXPECT_EQ(EvaluateText(u"r(0)"), u"Hold(r(0))");
    EXPECT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(LocalsWithRecords(), u"");
    EXPECT_EQ(SymbolTable_Size(), symbols);
}

// A local that escapes in the result survives as a bare name while the
// result holds it, and leaves the table with the result.
TEST_F(ControlTest, EscapedLocalIsABareName) {
    int64_t symbols = SymbolTable_Size();
    Object *r = EvaluateObject(u"Scope({x = 1, f}, f(a?) := a; Hold(x, f))");
    ASSERT_EQ(StandardText(Object_AddRef(r)), u"Hold(x$1, f$1)");
    EXPECT_EQ(LocalsWithRecords(), u"");
    EXPECT_EQ(EvaluateText(u"{x$1, f$1(2)}"), u"{x$1, f$1(2)}");
    Object_Release(r);
    EXPECT_EQ(Symbol_Find(u"x$1"), nullptr);
    EXPECT_EQ(SymbolTable_Size(), symbols);
}

// Slot numbers out of range, built directly so that they reach the
// function as numbers: each is reported once and stays in place.
TEST_F(ControlTest, SlotsOutOfRangeStay) {
    Object *big = EvaluateObject(u"2^64");
    Object *body = Call(u"List", Call(u"Slot", Int(-1)), Call(u"Slot", big), Call(u"Slot", Int(2)),
                        Call(u"Slot", Int(1)));
    Object *call = Expression_New(Call(u"Function", body), Int(9));
    EXPECT_EQ(StandardText(Evaluate_TopLevel(call)), u"{Slot(-1), #18446744073709551616, #2, 9}");
    ASSERT_EQ(Host().messages.size(), 3u);
    EXPECT_EQ(Host().messages[0], u"Function::Slot: Slot number -1 cannot be filled.");
    EXPECT_EQ(Host().messages[1], u"Function::Slot: Slot number 18446744073709551616 cannot be filled.");
    EXPECT_EQ(Host().messages[2], u"Function::Slot: Slot number 2 cannot be filled.");
}

// Deeply nested bodies are filled, mapped and substituted without running
// out of stack.
TEST_F(ControlTest, DeepBodies) {
    EXPECT_EQ(EvaluateText(u"(Function @@ {Nest(g, Slot(1), 100000)})(5) === Nest(g, 5, 100000)"), u"True");
    EXPECT_EQ(EvaluateText(u"Scope({x = 1}, Nest(h, x, 100000)) === Nest(h, 1, 100000)"), u"True");
    EXPECT_EQ(EvaluateText(u"Iterate(Nest(h, i, 100000), {i, 2}) === {Nest(h, 1, 100000), Nest(h, 2, 100000)}"), u"True");
}
