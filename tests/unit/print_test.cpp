#include "kernel_fixture.h"

#include "kernel/print.h"

namespace {

class PrintTest : public KernelTest {};

TEST_F(PrintTest, PrintPassesEachArgumentAndReturnsTheLast) {
    Object *call = Call(u"Print", Text("a"), Call(u"f", Int(2)), Builtin(SYM_Null));
    Object *result = Builtin_Print(call);
    EXPECT_EQ(result, BuiltinBorrowed(SYM_Null));
    Object_Release(result);
    ASSERT_EQ(Host().printed.size(), 2u);
    EXPECT_EQ(Host().printed[0], u"a");
    EXPECT_EQ(Host().printed[1], u"f(2)");
}

TEST_F(PrintTest, PrintWritesStringContentWithoutQuotesOrEscapes) {
    Object_Release(Builtin_Print(Call(u"Print", Text("line\nbreak \"quoted\""), String_New("raw'", 4, SUB_BYTES))));
    ASSERT_EQ(Host().printed.size(), 2u);
    EXPECT_EQ(Host().printed[0], u"line\nbreak \"quoted\"");
    EXPECT_EQ(Host().printed[1], u"raw'");
    // Strings inside other expressions keep their text form.
    Object_Release(Builtin_Print(Call(u"Print", Call(u"f", Text("s")))));
    EXPECT_EQ(Host().printed[2], u"f(\"s\")");
}

TEST_F(PrintTest, PrintWithoutCallbackOrArguments) {
    Kernel_BindCallback(1, nullptr);
    std::vector<int64_t> before = PoolCounts();
    Object *result = Builtin_Print(Call(u"Print", Int(3)));
    EXPECT_EQ(StandardText(result), u"3");
    EXPECT_TRUE(Host().printed.empty());
    EXPECT_EQ(PoolCounts(), before);
    Object *bare = Builtin_Print(Call(u"Print"));
    EXPECT_EQ(bare, BuiltinBorrowed(SYM_Print));
    Object_Release(bare);
}

TEST_F(PrintTest, OutputDropsNullArguments) {
    auto null = [] { return Builtin(SYM_Null); };
    EXPECT_EQ(StandardText(Builtin_Output(Call(u"Output", null(), Sym(u"x")))), u"x");
    Object *none = Builtin_Output(Call(u"Output", null(), null()));
    EXPECT_EQ(none, BuiltinBorrowed(SYM_Null));
    Object_Release(none);
    Object *all = Call(u"Output", Int(1), Int(2));
    EXPECT_EQ(Builtin_Output(all), all);
    Object_Release(all);
    Object *shared = Call(u"Output", Int(1), null(), Int(2), null());
    Object_AddRef(shared);
    Object *result = Builtin_Output(shared);
    EXPECT_NE(result, shared);
    EXPECT_EQ(Expression_Length(result), 2);
    EXPECT_EQ(Expression_Length(shared), 4);
    Object_Release(result);
    Object_Release(shared);
}

TEST_F(PrintTest, OutputPrintsLinesOnlyAtTheTopLevel) {
    EXPECT_EQ(StandardText(Call(u"Output", Int(1), Int(2))), u"1\r\n2");
    EXPECT_EQ(StandardText(Call(u"g", Call(u"Output", Sym(u"a"), Sym(u"b")))), u"g(Output(a, b))");
    EXPECT_EQ(StandardText(Builtin(SYM_Output)), u"Output");
}

}  // namespace
