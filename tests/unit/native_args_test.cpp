// The argument helpers of the natives, seen from natives registered the way
// the registry registers built-ins.
#include "kernel_fixture.h"

#include "eval/definition.h"
#include "eval/native_args.h"
#include "syntax/grammar.h"

namespace {

class NativeArgsTest : public KernelTest {
protected:
    // Gives the DigitBase option of the call, or Null without one.
    static Object *DigitBaseOf(Object *call) {
        Object *v = Native_Option(SYM_DigitBase);
        return Object_ReleaseReturn(call, v ? Object_AddRef(v) : Builtin(SYM_Null));
    }
    // Gives the argument's value when it is an integer from -3 to 3, else
    // the call unevaluated.
    static Object *SmallOf(Object *call) {
        int64_t v;
        if (!Native_SmallInteger(Expression_At(call, 1), -3, 3, &v)) return call;
        return Object_ReleaseReturn(call, Integer_FromSmall(v * 100));
    }
};

TEST_F(NativeArgsTest, OptionValuesComeFromTheCallOrTheDefault) {
    Symbol_DefineNative(Parser_ParseText(u"opt(\?, Options(DigitBase -> 10))"), 0, DigitBaseOf, nullptr);
    EXPECT_EQ(EvaluateText(u"opt(1)"), u"10");
    EXPECT_EQ(EvaluateText(u"opt(1, DigitBase -> 16)"), u"16");
    // The first occurrence wins; a delayed rule gives its right side as held.
    EXPECT_EQ(EvaluateText(u"opt(1, DigitBase -> 2, DigitBase -> 3)"), u"2");
    EXPECT_EQ(EvaluateText(u"opt(1, DigitBase :> 2 + 6)"), u"2 + 6");
    // Registered without the option, the native finds none.
    Symbol_DefineNative(Parser_ParseText(u"bare(\?)"), 0, DigitBaseOf, nullptr);
    EXPECT_EQ(EvaluateText(u"bare(1)"), u"Null");
}

TEST_F(NativeArgsTest, SmallIntegersAreCheckedAgainstTheirRange) {
    Symbol_DefineNative(Parser_ParseText(u"small(\?)"), 0, SmallOf, nullptr);
    EXPECT_EQ(EvaluateText(u"{small(-3), small(0), small(3)}"), u"{-300, 0, 300}");
    EXPECT_EQ(EvaluateText(u"{small(4), small(-4), small(2^64), small(-2^64), small(1.0), small(1/2), small(x)}"),
              u"{small(4), small(-4), small(18446744073709551616), small(-18446744073709551616), small(1.0), "
              u"small(1/2), small(x)}");
}

TEST_F(NativeArgsTest, CallsAreRecognisedByTheirHeadSymbol) {
    Object *list = Call(u"List", Int(1));
    Object *head = Call(u"List");
    Object *curried = Expression_New(Call(u"List"), Int(1));
    EXPECT_TRUE(Native_IsList(list));
    EXPECT_TRUE(Native_IsList(head));
    EXPECT_FALSE(Native_IsList(curried));
    EXPECT_FALSE(Native_IsList(BuiltinBorrowed(SYM_List)));
    EXPECT_TRUE(Native_IsCall(list, SYM_List));
    EXPECT_FALSE(Native_IsCall(list, SYM_Hold));
    Object_Release(list);
    Object_Release(head);
    Object_Release(curried);
}

}  // namespace
