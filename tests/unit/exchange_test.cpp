#include "kernel_fixture.h"

#include <cmath>
#include <cstring>

namespace {

class ExchangeTest : public KernelTest {
protected:
    static int64_t Input(const char16_t *text) { return Kernel_InputExpression(text); }
    static std::u16string Evaluate(const char16_t *text) {
        int64_t h = Kernel_EvaluateExpression(Input(text));
        std::u16string out = Kernel_OutputExpression(h);
        Kernel_FreeExpression(h);
        return out;
    }
};

TEST_F(ExchangeTest, InputReportsSyntaxErrorsOnlyThroughTheCallback) {
    EXPECT_EQ(Input(u""), 0);
    EXPECT_EQ(Input(u"  /# only a comment\r\n"), 0);
    EXPECT_TRUE(Host().syntaxErrors.empty());
    EXPECT_EQ(Input(u"1 2"), 0);
    ASSERT_EQ(Host().syntaxErrors.size(), 1u);
    EXPECT_EQ(Host().syntaxErrors[0], u"Two objects without separator or operator inbetween: '1 2'");
    Kernel_BindCallback(3, nullptr);
    EXPECT_EQ(Input(u"(a"), 0);
    EXPECT_EQ(Host().syntaxErrors.size(), 1u);
    EXPECT_EQ(Kernel_InputExpression(nullptr), 0);
}

TEST_F(ExchangeTest, UnpairedSurrogatesInTheInputAreHandled) {
    const char16_t text[] = {u'"', 0xD800, u'x', 0xDC00, u'"', 0};
    int64_t h = Input(text);
    ASSERT_NE(h, 0);
    Object *s = reinterpret_cast<Object *>(h);
    ASSERT_TRUE(Object_IsString(s));
    EXPECT_EQ(AsString(s)->count, 3);  // each lone surrogate reads back as one character
    Kernel_FreeExpression(h);
    const char16_t name[] = {0xDBFF, u'a', 0};
    int64_t n = Input(name);
    ASSERT_NE(n, 0);
    Kernel_FreeExpression(n);
}

TEST_F(ExchangeTest, EvaluationConsumesTheHandle) {
    int64_t five = Input(u"5");
    EXPECT_EQ(Kernel_EvaluateExpression(five), five);
    Kernel_FreeExpression(five);
    int64_t call = Input(u"f(x)");
    int64_t held = Kernel_DuplicateExpression(call);
    int64_t result = Kernel_EvaluateExpression(call);
    EXPECT_NE(result, 0);
    EXPECT_EQ(std::u16string(Kernel_OutputExpression(result)), u"f(x)");
    Kernel_FreeExpression(result);
    Kernel_FreeExpression(held);
}

TEST_F(ExchangeTest, SetValueAssignsLikeDefine) {
    int64_t v = 42;
    EXPECT_EQ(Kernel_SetValue(u"n", 1, &v, 0), 0);
    EXPECT_EQ(Evaluate(u"n"), u"42");
    double d = 2.5;
    Kernel_SetValue(u"d", 2, &d, 0);
    EXPECT_EQ(Evaluate(u"d"), u"2.5");
    double inf = -1.0 / 0.0;
    Kernel_SetValue(u"big", 2, &inf, 0);
    EXPECT_EQ(Evaluate(u"big"), u"-Overflow");
    Kernel_SetValue(u"t", 3, "h\xC3\xA9!", 4);
    EXPECT_EQ(Evaluate(u"t"), u"\"h\u00E9!\"");
    Kernel_SetValue(u"b", 4, "\x00\xFF", 2);
    EXPECT_EQ(Evaluate(u"b"), u"'\\0\u00FF'");
    Kernel_SetValue(u"Pi", 1, &v, 0);
    ASSERT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(Host().messages[0], u"Define::Protected: Pi is protected!");
    EXPECT_EQ(Evaluate(u"Pi"), u"Pi");
    EXPECT_EQ(Kernel_SetValue(u"unmade", 5, &v, 0), 0);
    EXPECT_EQ(Symbol_Find(u"unmade"), nullptr);
    EXPECT_EQ(Kernel_SetValue(u"nothing", 1, nullptr, 0), 0);
    EXPECT_EQ(Kernel_SetValue(u"bad", 3, nullptr, 5), 0);
}

TEST_F(ExchangeTest, GetValueConvertsByTypeCode) {
    auto set = [](const char16_t *name, double x) { Kernel_SetValue(name, 2, &x, 0); };
    int64_t out = 99;
    set(u"x", 2.5);
    EXPECT_EQ(Kernel_GetValue(u"x", 1, &out, nullptr), 1);
    EXPECT_EQ(out, 3);
    set(u"x", -2.5);
    Kernel_GetValue(u"x", 1, &out, nullptr);
    EXPECT_EQ(out, -3);
    set(u"x", 1e300);
    Kernel_GetValue(u"x", 1, &out, nullptr);
    EXPECT_EQ(out, INT64_MAX);
    out = 99;
    EXPECT_EQ(Kernel_GetValue(u"unassigned", 1, &out, nullptr), 1);
    EXPECT_EQ(out, 99);

    Evaluate(u"huge = 123456789012345678901234567890");
    Kernel_GetValue(u"huge", 1, &out, nullptr);
    EXPECT_EQ(out, INT64_MAX);
    double d = 0;
    EXPECT_EQ(Kernel_GetValue(u"huge", 2, &d, nullptr), 2);
    EXPECT_NEAR(d, 1.2345678901234568e29, 1e15);
    set(u"o", 1.0 / 0.0);
    Kernel_GetValue(u"o", 2, &d, nullptr);
    EXPECT_TRUE(std::isinf(d) && d > 0);

    Kernel_SetValue(u"s", 3, "abc", 3);
    const void *bytes = nullptr;
    int64_t length = 0;
    EXPECT_EQ(Kernel_GetValue(u"s", 3, &bytes, &length), 3);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::memcmp(bytes, "abc", 3), 0);
    Kernel_SetValue(u"r", 4, "xy", 2);
    EXPECT_EQ(Kernel_GetValue(u"r", 3, &bytes, &length), 4);
    EXPECT_EQ(Kernel_GetValue(u"r", 4, &bytes, &length), 4);
    EXPECT_EQ(Kernel_GetValue(u"x", 3, &bytes, &length), 0);
    EXPECT_EQ(Kernel_GetValue(u"x", 7, &bytes, &length), 0);
}

TEST_F(ExchangeTest, RepeatedReadsOfAnUnchangedValueDoNotGrowMemory) {
    Kernel_SetValue(u"s", 3, "abc", 3);
    const void *bytes = nullptr;
    int64_t length = 0;
    Kernel_GetValue(u"s", 3, &bytes, &length);
    std::vector<int64_t> before = PoolCounts();
    size_t kept = kernel.hostValues.size();
    for (int i = 0; i < 1000; ++i) Kernel_GetValue(u"s", 3, &bytes, &length);
    EXPECT_EQ(PoolCounts(), before);
    EXPECT_EQ(kernel.hostValues.size(), kept);
}

}  // namespace

namespace {

// A 100,000-level nesting goes through parsing, evaluation with definitions,
// formatting and release without exhausting the host thread's stack.
TEST_F(ExchangeTest, DeeplyNestedInputEvaluates) {
    constexpr int kDepth = 100000;
    Kernel_FreeExpression(Kernel_EvaluateExpression(Input(u"g(x?) := x")));
    std::u16string text = u"g(";
    for (int i = 0; i < kDepth; ++i) text += u"f(";
    text += u"g(y)";
    text.append(kDepth + 1, u')');
    int64_t h = Input(text.c_str());
    ASSERT_NE(h, 0);
    int64_t result = Kernel_EvaluateExpression(h);
    // Both g layers, the outermost and the innermost, are rewritten away.
    std::u16string out = Kernel_OutputExpression(result);
    EXPECT_EQ(out.substr(0, 6), u"f(f(f(");
    EXPECT_TRUE(Host().messages.empty());
    Object *bottom = reinterpret_cast<Object *>(result);
    int depth = 0;
    while (Object_IsExpression(bottom)) {
        bottom = Expression_At(bottom, 1);
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(bottom, &Symbol_Find(u"y")->header);
    Kernel_FreeExpression(result);
    Kernel_FreeExpression(Kernel_EvaluateExpression(Input(u"Clear(g)")));
    EXPECT_EQ(kernel.eval.nesting, 0);
    EXPECT_EQ(kernel.settings.recursionDepth, 0);
}

}  // namespace
