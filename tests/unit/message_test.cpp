#include "kernel_fixture.h"

#include "kernel/message.h"

namespace {

class MessageTest : public KernelTest {
protected:
    // A symbol with a text of exactly n characters in the standard form.
    static Object *NameOfLength(size_t n) { return Symbol_Intern(std::u16string(n, u'x')); }
};

TEST_F(MessageTest, PlaceholdersAreFilledInOrder) {
    EXPECT_EQ(Message_Fill(u"%1 is locked!", u"f", u""), u"f is locked!");
    EXPECT_EQ(Message_Fill(u"100%% sure", u"", u""), u"100% sure");
    EXPECT_EQ(Message_Fill(u"no placeholders", u"a", u"b"), u"no placeholders");
    EXPECT_EQ(Message_Fill(u"%2 and %1", u"one", u"two"), u"two and one");
    // A %2 that the first argument brings in is replaced by the second.
    EXPECT_EQ(Message_Fill(u"[%1]", u"%2", u"two"), u"[two]");
    // The first argument's own %1 is not filled again.
    EXPECT_EQ(Message_Fill(u"%1%1", u"%1", u""), u"%1%1");
}

TEST_F(MessageTest, EmitDeliversRegisteredTemplates) {
    EXPECT_EQ(Message_Emit(u"Kernel", u"RecursionLimit", Message_IntegerText(512)), 1);
    EXPECT_EQ(Message_Emit(u"Integer", u"Overflow"), 1);
    ASSERT_EQ(Host().messages.size(), 2u);
    EXPECT_EQ(Host().messages[0], u"Kernel::RecursionLimit: Recursion depth of 512 exceeded.");
    EXPECT_EQ(Host().messages[1], u"Integer::Overflow: Integer overflow during computation with integers detected.");
}

TEST_F(MessageTest, MissingSymbolsTagsAndCallbacksDropTheMessage) {
    EXPECT_EQ(Message_Emit(u"NoSuchSymbol", u"Tag"), 0);
    EXPECT_EQ(Message_Emit(u"Kernel", u"NoSuchTag"), 0);
    EXPECT_EQ(Symbol_Find(u"NoSuchSymbol"), nullptr);
    Object *plain = Sym(u"plain");
    EXPECT_EQ(Message_Emit(u"plain", u"Tag"), 0);
    Object_Release(plain);

    ++kernel.messageSuppression;
    EXPECT_EQ(Message_Emit(u"Integer", u"Overflow"), 0);
    --kernel.messageSuppression;

    Kernel_BindCallback(2, nullptr);
    EXPECT_EQ(Message_Emit(u"Integer", u"Overflow"), 0);
    EXPECT_TRUE(Host().messages.empty());
}

TEST_F(MessageTest, ShortTextKeepsBothEndsOfLongTexts) {
    EXPECT_EQ(Message_ShortText(Int(-42)), u"-42");
    Object *sixty = NameOfLength(60);
    EXPECT_EQ(Message_ShortText(sixty), std::u16string(60, u'x'));
    Object_Release(sixty);

    std::u16string name;
    for (int i = 0; i < 61; ++i) name += char16_t(u'A' + i % 26);
    Object *sixtyOne = Symbol_Intern(name);
    std::u16string text = Message_ShortText(sixtyOne);
    EXPECT_EQ(text, name.substr(0, 29) + u"\u00AB\u2026\u00BB" + name.substr(32));
    EXPECT_EQ(text.size(), 61u);
    Object_Release(sixtyOne);

    // A character outside the basic plane counts as one and is never cut in
    // half.
    std::u16string astral;
    for (int i = 0; i < 70; ++i) astral += u"\U0001F600";
    Object *wide = Symbol_Intern(astral);
    std::u16string shortened = Message_ShortText(wide);
    EXPECT_EQ(shortened, astral.substr(0, 58) + u"\u00AB\u2026\u00BB" + astral.substr(astral.size() - 58));
    Object_Release(wide);
}

TEST_F(MessageTest, ShortTextFollowsTheWidthSetting) {
    kernel.settings.messageArgumentWidth = 10;
    Object *s = Symbol_Intern(u"abcdefghijklmnop");
    EXPECT_EQ(Message_ShortText(s), u"abcd\u00AB\u2026\u00BBmnop");
    Object_Release(s);
}

TEST_F(MessageTest, IntegerText) {
    EXPECT_EQ(Message_IntegerText(0), u"0");
    EXPECT_EQ(Message_IntegerText(-16777216), u"-16777216");
    EXPECT_EQ(Message_IntegerText(INT64_MIN), u"-9223372036854775808");
}

}  // namespace
