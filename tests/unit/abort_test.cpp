// Stopping an evaluation through the host's abort poll (callback type 5).
#include "kernel_fixture.h"

#include <string>

namespace {

// The poll the tests bind: counts its calls and answers 1 from call
// g_abortAt on (never when g_abortAt is 0).
int64_t g_polls = 0;
int64_t g_abortAt = 0;

int64_t Poll() {
    ++g_polls;
    return g_abortAt != 0 && g_polls >= g_abortAt ? 1 : 0;
}

class AbortTest : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        g_polls = 0;
        g_abortAt = 0;
        Kernel_BindCallback(5, reinterpret_cast<void *>(Poll));
    }
    // Evaluates text; true when the evaluation gave no handle.
    static bool Aborts(const std::u16string &text) {
        int64_t h = Kernel_EvaluateExpression(Kernel_InputExpression(text.c_str()));
        if (h) Kernel_FreeExpression(h);
        return h == 0;
    }
    // What an abort must leave behind: the evaluator's transient state as
    // between two calls.
    static void ExpectCleanState() {
        EXPECT_EQ(kernel.messageSuppression, 0);
        EXPECT_EQ(kernel.eval.nesting, 0);
    }
};

TEST_F(AbortTest, PollsAtBoundedIntervalsAndChangesNothingWhenItAnswersZero) {
    EXPECT_EQ(EvaluateText(u"Nest(# + 1 &, 0, 100000)"), u"100000");
    // Each step evaluates a few expressions; the poll comes once per
    // kAbortPollInterval of them, so at least this often and not per step.
    EXPECT_GE(g_polls, 100000 / 2048);
    EXPECT_LT(g_polls, 100000);
    Kernel_BindCallback(5, nullptr);
    int64_t before = g_polls;
    EXPECT_EQ(EvaluateText(u"Nest(# + 1 &, 0, 100000)"), u"100000");
    EXPECT_EQ(g_polls, before);
}

TEST_F(AbortTest, AnAbortedLoopReturnsNoHandleAndKeepsWhatCompletedBefore) {
    EXPECT_EQ(EvaluateText(u"g = 7"), u"7");
    EXPECT_EQ(EvaluateText(u"f(x?) := x^2"), u"Null");
    g_abortAt = 3;
    EXPECT_TRUE(Aborts(u"(h = 5; Nest(# + 1 &, 0, 10^12))"));
    EXPECT_EQ(g_polls, 3);
    ExpectCleanState();
    g_abortAt = 0;
    // The definitions made before, and the one the aborted input completed
    // before its loop, stay; the next evaluation runs in full.
    EXPECT_EQ(EvaluateText(u"{g, f(3), h}"), u"{7, 9, 5}");
    EXPECT_EQ(EvaluateText(u"Nest(# + 1 &, 0, 10000)"), u"10000");
    EXPECT_TRUE(Host().messages.empty());
}

TEST_F(AbortTest, AnAbortUnwindsADeepEvaluationFromItsOwnStack) {
    // Deeply nested input runs on the deep evaluation stack; the abort is
    // thrown there and must reach the boundary on the caller's stack.
    std::u16string text;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) text += u"h(";
    text += u"0";
    for (int i = 0; i < depth; ++i) text += u")";
    g_abortAt = 2;
    EXPECT_TRUE(Aborts(text));
    ExpectCleanState();
    g_abortAt = 0;
    EXPECT_EQ(EvaluateText(u"Depth(h(h(h(0))))"), u"3");
}

TEST_F(AbortTest, LongNumberComputationsPoll) {
    // A power polls between squarings once the squares are large.
    g_abortAt = 1;
    EXPECT_TRUE(Aborts(u"3^(10^7)"));
    EXPECT_EQ(g_polls, 1);
    ExpectCleanState();

    // The text of a large integer polls between its splits: an abort there
    // gives the empty text and leaves the handle as it was.
    g_abortAt = 0;
    int64_t big = Kernel_EvaluateExpression(Kernel_InputExpression(u"3^(10^6)"));
    ASSERT_NE(big, 0);
    g_polls = 0;
    g_abortAt = 1;
    EXPECT_EQ(std::u16string(Kernel_OutputExpression(big)), u"");
    EXPECT_EQ(g_polls, 1);
    g_abortAt = 0;
    std::u16string digits = Kernel_OutputExpression(big);
    EXPECT_EQ(digits.size(), 477122u);
    EXPECT_EQ(digits.substr(0, 6), u"179771");
    Kernel_FreeExpression(big);
}

TEST_F(AbortTest, AbortsDuringValueExchangeAndTerminateUnbindsThePoll) {
    EXPECT_EQ(EvaluateText(u"v := Nest(# + 1 &, 0, 10^12)"), u"Null");
    g_abortAt = 1;
    int64_t out = -1;
    EXPECT_EQ(Kernel_GetValue(u"v", 1, &out, nullptr), 0);
    EXPECT_EQ(out, -1);
    ExpectCleanState();

    // Binding 7 is still ignored, and after a restart nothing is polled.
    EXPECT_EQ(Kernel_BindCallback(7, reinterpret_cast<void *>(Poll)), 0);
    Kernel_Terminate();
    Kernel_Initialize();
    BindRecordingCallbacks();
    g_polls = 0;
    EXPECT_EQ(EvaluateText(u"Nest(# + 1 &, 0, 100000)"), u"100000");
    EXPECT_EQ(g_polls, 0);
}

}  // namespace
