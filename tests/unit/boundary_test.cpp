// The library boundary: out of memory anywhere in a call ends that call with
// its failure value and leaves a working kernel; handle 0 and a kernel that
// is not initialized are refused without touching the object layer.
#include "kernel_fixture.h"

#include <new>

#include "eval/definition.h"
#include "kernel/boundary.h"

namespace {

class BoundaryTest : public KernelTest {
protected:

    // A native that runs out of memory after evaluating its argument, the
    // way a deep allocation would.
    static Object *Exhausted(Object *call) {
        Object_Release(call);
        throw std::bad_alloc();
    }
    static void DefineExhausted() {
        Symbol_DefineNative(Call(u"exhausted", Sym(u"Any")), 0, Exhausted, nullptr);
    }
};

TEST_F(BoundaryTest, OutOfMemoryAbandonsTheCallAndKeepsWhatIsStored) {
    DefineExhausted();
    EXPECT_EQ(EvaluateText(u"a = 5"), u"5");
    EvaluateText(u"fact(0) := 1");
    EvaluateText(u"fact(n?) := n*fact(n - 1)");
    // Deep inside rules, with bindings made and definitions being applied.
    EvaluateText(u"g(x?) := h(x + 1)");
    EvaluateText(u"h(y?) := exhausted(y)");
    for (int i = 0; i < 600; ++i) {
        int64_t input = Kernel_InputExpression(u"g(a)");
        ASSERT_NE(input, 0);
        ASSERT_EQ(Kernel_EvaluateExpression(input), 0);
    }
    // The definition depth went back to zero each time: otherwise the
    // recursion limit would cut fact short.
    EXPECT_EQ(EvaluateText(u"fact(20)"), u"2432902008176640000");
    EXPECT_EQ(EvaluateText(u"{a, g(a)}"), u"");
    EXPECT_TRUE(Host().messages.empty());
    EXPECT_EQ(Kernel_GetValue(u"exhaustedValue", 1, nullptr, nullptr), 1);
    EvaluateText(u"exhaustedValue := exhausted(1)");
    EXPECT_EQ(EvaluateText(u"{a, 1 + 1}"), u"{5, 2}");
    int64_t out = 0;
    EXPECT_EQ(Kernel_GetValue(u"exhaustedValue", 1, &out, nullptr), 0);
    EXPECT_EQ(EvaluateText(u"a"), u"5");
}

TEST_F(BoundaryTest, RecoveryPutsTheTransientStateBack) {
    kernel.settings.recursionDepth = 7;
    kernel.settings.recursionLimitReported = 1;
    kernel.messageSuppression = 2;
    Boundary_Call<int>(0, []() -> int { throw std::bad_alloc(); });
    EXPECT_EQ(kernel.settings.recursionDepth, 0);
    EXPECT_EQ(kernel.settings.recursionLimitReported, 0);
    EXPECT_EQ(kernel.messageSuppression, 0);
    EXPECT_EQ(Boundary_Call<int>(0, [] { return 3; }), 3);
}

TEST_F(BoundaryTest, HandleZeroIsRefused) {
    EXPECT_EQ(Kernel_EvaluateExpression(0), 0);
    EXPECT_EQ(std::u16string(Kernel_OutputExpression(0)), u"");
    EXPECT_EQ(Kernel_DuplicateExpression(0), 0);
    EXPECT_EQ(Kernel_FreeExpression(0), 0);
    // What a syntax error hands over goes straight back in.
    int64_t bad = Kernel_InputExpression(u"(1");
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(std::u16string(Kernel_OutputExpression(Kernel_EvaluateExpression(bad))), u"");
    EXPECT_EQ(EvaluateText(u"1 + 1"), u"2");
}

TEST_F(BoundaryTest, AKernelThatIsNotInitializedRefusesEveryCall) {
    int64_t held = Kernel_InputExpression(u"f(1)");
    ASSERT_NE(held, 0);
    Kernel_Terminate();
    // After Terminate the kernel is in the state the library was loaded in:
    // no front end, no registry.
    EXPECT_EQ(Kernel_Reset(), 0);
    EXPECT_EQ(Kernel_Reset(), 0);
    EXPECT_EQ(Kernel_InputExpression(u"1 + 1"), 0);
    EXPECT_EQ(Kernel_EvaluateExpression(held), 0);
    EXPECT_EQ(std::u16string(Kernel_OutputExpression(held)), u"");
    EXPECT_EQ(Kernel_DuplicateExpression(held), 0);
    EXPECT_EQ(Kernel_FreeExpression(held), 0);
    int64_t v = 3;
    EXPECT_EQ(Kernel_SetValue(u"x", 1, &v, 0), 0);
    EXPECT_EQ(Kernel_GetValue(u"x", 1, &v, nullptr), 0);
    EXPECT_EQ(Kernel_Initialize(), 1);
    BindRecordingCallbacks();
    EXPECT_EQ(EvaluateText(u"1 + 1"), u"2");
}

TEST(BoundaryProcessTest, ResetBeforeTheFirstInitializeDoesNothing) {
    // A re-executed child process: the kernel there was never initialized.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Kernel_Reset();
            Kernel_Reset();
            bool refused = Kernel_InputExpression(u"1") == 0 && Kernel_EvaluateExpression(0) == 0;
            Kernel_Initialize();
            int64_t h = Kernel_EvaluateExpression(Kernel_InputExpression(u"2 + 3"));
            bool works = std::u16string(Kernel_OutputExpression(h)) == u"5";
            std::exit(refused && works ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
