#include "kernel_fixture.h"

#include "object/attributes.h"

namespace {

class AttributesTest : public KernelTest {
protected:
    // Runs a native on a call built from the arguments; returns the result's
    // standard form.
    static std::u16string Run(Object *(*native)(Object *), const char16_t *head, Object *a, Object *b = nullptr) {
        return StandardText(native(Call(head, a, b)));
    }
    static std::u16string AttributesOf(const char16_t *name) {
        return Run(Builtin_Attributes, u"Attributes", Sym(name));
    }
    static Object *List(Object *a, Object *b = nullptr, Object *c = nullptr) { return Call(u"List", a, b, c); }
};

TEST_F(AttributesTest, RegisteredAttributesAreListedInTableOrder) {
    EXPECT_EQ(AttributesOf(u"Plus"), u"{Flat, Listable, Locked, NumericFunction, OneIdentity, Orderless, Protected}");
    EXPECT_EQ(AttributesOf(u"Times"), u"{Flat, Listable, Locked, NumericFunction, OneIdentity, Orderless, Protected}");
    EXPECT_EQ(AttributesOf(u"GreatestCommonDivisor"), u"{Flat, Listable, NumericFunction, OneIdentity, Orderless}");
    EXPECT_EQ(AttributesOf(u"ArcTan"), u"{Listable, NumericFunction, Protected}");
    EXPECT_EQ(AttributesOf(u"Random"), u"{NumericFunction, Protected}");
    EXPECT_EQ(AttributesOf(u"Sort"), u"{Protected}");
    EXPECT_EQ(AttributesOf(u"Pattern"), u"{HoldFirst, Locked, Protected}");
    EXPECT_EQ(AttributesOf(u"RuleDelayed"), u"{HoldRest, Locked, Protected, SequenceHold}");
    EXPECT_EQ(AttributesOf(u"Condition"), u"{HoldAll, Locked, Protected}");
    EXPECT_EQ(AttributesOf(u"Power"), u"{Listable, Locked, NumericFunction, Protected}");
    EXPECT_EQ(AttributesOf(u"Infinity"), u"{Locked, Protected}");
    EXPECT_EQ(AttributesOf(u"neverSeen"), u"{}");
}

TEST_F(AttributesTest, HoldAttributesShowAsOneName) {
    EXPECT_EQ(Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"f"), Sym(u"HoldAll")), u"{HoldAll}");
    EXPECT_EQ(Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"g"), Sym(u"HoldFirst")), u"{HoldFirst}");
    EXPECT_EQ(Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"g"), Sym(u"HoldRest")), u"{HoldAll}");
    EXPECT_EQ(Run(Builtin_ClearAttributes, u"ClearAttributes", Sym(u"g"), Sym(u"HoldFirst")), u"{HoldRest}");
    EXPECT_TRUE(Host().messages.empty());
}

TEST_F(AttributesTest, LockedSymbolsRefuseChanges) {
    EXPECT_EQ(Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"Plus"), Sym(u"Temporary")),
              u"{Flat, Listable, Locked, NumericFunction, OneIdentity, Orderless, Protected}");
    ASSERT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(Host().messages[0], u"Attributes::Locked: Plus is locked!");
    Run(Builtin_ClearAttributes, u"ClearAttributes", Sym(u"Plus"), Sym(u"Flat"));
    EXPECT_EQ(Host().messages.size(), 2u);
    // Protected is not Locked: Sin's attributes can still change.
    EXPECT_EQ(Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"Sin"), Sym(u"Temporary")),
              u"{Listable, NumericFunction, Protected, Temporary}");
    EXPECT_EQ(Host().messages.size(), 2u);
}

TEST_F(AttributesTest, UnknownAttributesAreReportedAndTheRestApplied) {
    EXPECT_EQ(Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"f"), List(Sym(u"Flat"), Sym(u"Foo"))), u"{Flat}");
    ASSERT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(Host().messages[0], u"Attributes::Attribute: Foo is an unknown attribute.");
    // Non-symbols inside a list and a value that is neither a symbol nor a
    // list are reported with their standard form.
    Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"f"), List(Int(3), Sym(u"Orderless")));
    Run(Builtin_SetAttributes, u"SetAttributes", Sym(u"f"), Call(u"g", Int(-1)));
    ASSERT_EQ(Host().messages.size(), 3u);
    EXPECT_EQ(Host().messages[1], u"Attributes::Attribute: 3 is an unknown attribute.");
    EXPECT_EQ(Host().messages[2], u"Attributes::Attribute: g(-1) is an unknown attribute.");
    EXPECT_EQ(AttributesOf(u"f"), u"{Flat, Orderless}");
}

TEST_F(AttributesTest, ClearingASymbolWithoutRecordCreatesNothing) {
    int64_t records = kernel.symbolRecords.count;
    EXPECT_EQ(Run(Builtin_ClearAttributes, u"ClearAttributes", Sym(u"g"), Sym(u"Flat")), u"{}");
    EXPECT_EQ(Run(Builtin_ClearAttributes, u"ClearAttributes", Sym(u"g"), Sym(u"Foo")), u"{}");
    EXPECT_TRUE(Host().messages.empty());
    EXPECT_EQ(kernel.symbolRecords.count, records);
    EXPECT_EQ(Symbol_Find(u"g"), nullptr);
}

TEST_F(AttributesTest, NonSymbolTargetsLeaveTheCallUnchanged) {
    Object *call = Call(u"SetAttributes", Int(1), Sym(u"Flat"));
    EXPECT_EQ(Builtin_SetAttributes(call), call);
    Object *query = Call(u"Attributes", Text("x"));
    EXPECT_EQ(Builtin_Attributes(query), query);
    Object_Release(call);
    Object_Release(query);
}

}  // namespace
