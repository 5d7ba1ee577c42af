#include "kernel_fixture.h"

#include "syntax/formatter.h"

namespace {

class FormatterTest : public KernelTest {};

TEST_F(FormatterTest, GenericLayoutWritesHeadAndArguments) {
    EXPECT_EQ(StandardText(Call(u"f")), u"f()");
    EXPECT_EQ(StandardText(Call(u"f", Sym(u"x"), Sym(u"y"))), u"f(x, y)");
    EXPECT_EQ(StandardText(Expression_New(Call(u"f", Sym(u"x")), Sym(u"y"))), u"f(x)(y)");
    EXPECT_EQ(StandardText(Expression_New(Int(2), Text("s"))), u"2(\"s\")");
    Object *e = Call(u"Define", Sym(u"x"), Int(1));
    EXPECT_EQ(Format_Full(e), u"Define(x, 1)");
    Object_Release(e);
}

TEST_F(FormatterTest, StacksAreBalancedAfterFormatting) {
    int64_t forms = kernel.format.formTop, contexts = kernel.format.contextTop;
    Object_Release(Call(u"f"));
    StandardText(Call(u"f", Call(u"g", Int(-1)), Call(u"Output", Int(1))));
    EXPECT_EQ(kernel.format.formTop, forms);
    EXPECT_EQ(kernel.format.contextTop, contexts);
    EXPECT_EQ(kernel.format.contexts[0].precedence, 0);
    EXPECT_EQ(Form_Current(), FORM_NONE);
}

TEST_F(FormatterTest, ContextPopDecidesParentheses) {
    ASSERT_TRUE(Context_Push(9, 0, 7));
    ASSERT_TRUE(Context_Push(9, 0, 7));
    EXPECT_FALSE(Context_Pop());  // same precedence, not strict
    ASSERT_TRUE(Context_Push(8, 0, 7));
    EXPECT_TRUE(Context_Pop());   // lower precedence inside
    EXPECT_FALSE(Context_Pop());
    ASSERT_TRUE(Context_Push(4, CTX_STRICT, 7));
    ASSERT_TRUE(Context_Push(4, 0, 7));
    EXPECT_TRUE(Context_Pop());   // same precedence under a strict context
    EXPECT_FALSE(Context_Pop());
    // Flags other than the strict bit alone turn the test back to p < q.
    ASSERT_TRUE(Context_Push(4, CTX_STRICT | CTX_MAGNITUDE, 7));
    ASSERT_TRUE(Context_Push(4, 0, 1));
    EXPECT_EQ(Context_Flags(CONTEXT_FLAGS_QUERY, 0), CTX_MAGNITUDE);
    EXPECT_FALSE(Context_Pop());
    EXPECT_FALSE(Context_Pop());
}

TEST_F(FormatterTest, FlagsAreInheritedThroughTheMask) {
    ASSERT_TRUE(Context_Push(1, CTX_MAGNITUDE | CTX_DENOMINATOR, 7));
    ASSERT_TRUE(Context_Push(12, 0, CTX_STRICT));
    EXPECT_EQ(Context_Flags(CONTEXT_FLAGS_QUERY, 0), CTX_MAGNITUDE | CTX_DENOMINATOR);
    EXPECT_EQ(Context_Flags(CTX_STRICT, CTX_STRICT | CTX_MAGNITUDE), CTX_STRICT | CTX_DENOMINATOR);
    Context_Pop();
    Context_Pop();
}

TEST_F(FormatterTest, NestingBeyondTheStacksIsCutNotOverrun) {
    Object *e = Sym(u"x");
    for (int i = 0; i < 5000; ++i) e = Call(u"f", e);
    std::u16string text = Format_Standard(e);
    EXPECT_EQ(text.substr(0, 6), u"f(f(f(");
    EXPECT_NE(text.find(Format_CutMarker), std::u16string::npos);
    EXPECT_EQ(text.back(), u')');
    EXPECT_EQ(kernel.format.contextTop, 0);
    Object *heads = Sym(u"x");
    for (int i = 0; i < 5000; ++i) heads = Expression_New(heads);
    std::u16string headText = Format_Standard(heads);
    EXPECT_NE(headText.find(Format_CutMarker), std::u16string::npos);
    EXPECT_EQ(kernel.format.contextTop, 0);
    Object_Release(e);
    Object_Release(heads);
}

TEST_F(FormatterTest, OutputExchangeFormatsInTheStandardForm) {
    Object *e = Call(u"f", Text("q\"uote"), Int(-3));
    int64_t handle = reinterpret_cast<int64_t>(e);
    EXPECT_EQ(std::u16string(Kernel_OutputExpression(handle)), u"f(\"q\\\"uote\", -3)");
    EXPECT_EQ(Kernel_DuplicateExpression(handle), handle);
    EXPECT_EQ(e->refs, 2);
    EXPECT_EQ(Kernel_FreeExpression(handle), 0);
    EXPECT_EQ(e->refs, 1);
    Object *five = Int(5);
    EXPECT_EQ(Kernel_EvaluateExpression(reinterpret_cast<int64_t>(five)), reinterpret_cast<int64_t>(five));
    Kernel_FreeExpression(handle);
    Kernel_FreeExpression(reinterpret_cast<int64_t>(five));
}

}  // namespace
