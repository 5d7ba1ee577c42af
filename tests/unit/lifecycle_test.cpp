#include "kernel_fixture.h"

#include "object/attributes.h"

namespace {

class LifecycleTest : public KernelTest {};

std::vector<int64_t> RegistryCounts() {
    Kernel_Reset();
    return PoolCounts();
}

TEST_F(LifecycleTest, VersionNeedsNoInitialization) {
    EXPECT_EQ(Kernel_Version(), 0x0000000400030002);
    Kernel_Terminate();
    EXPECT_EQ(Kernel_Version(), 0x0000000400030002);
}

TEST_F(LifecycleTest, RepeatedInitializationLeavesOneSetOfBuiltins) {
    std::vector<int64_t> first = PoolCounts();
    EXPECT_EQ(SymbolTable_Size(), SYM_COUNT);
    kernel.settings.recursionLimit = 3;
    EXPECT_EQ(Kernel_Initialize(), 1);
    EXPECT_EQ(PoolCounts(), first);
    EXPECT_EQ(SymbolTable_Size(), SYM_COUNT);
    EXPECT_EQ(kernel.settings.recursionLimit, 512);
    EXPECT_EQ(kernel.settings.expressionLengthLimit, 16777216);
    EXPECT_EQ(kernel.settings.messageArgumentWidth, 60);
    EXPECT_EQ(kernel.settings.extraPrecisionLimit, 32.0);
    EXPECT_EQ(kernel.settings.machineRealDigits, 6);
    EXPECT_EQ(kernel.generation, 1);
    EXPECT_TRUE(kernel.initialized);
}

TEST_F(LifecycleTest, ResetLeavesExactlyWhatTheRegistryMade) {
    std::vector<int64_t> registry = RegistryCounts();
    for (int i = 0; i < 1000; ++i) {
        Object *kept = Call(u"userHead", Int(i), Text("leak"));  // never released: reset drops it
        (void)kept;
    }
    Object *user = Sym(u"userSymbol");
    Symbol_Record(user, true)->attributes |= ATTR_FLAT;
    kernel.settings.messageArgumentWidth = 10;
    EXPECT_EQ(Kernel_Reset(), 0);
    EXPECT_EQ(PoolCounts(), registry);
    EXPECT_EQ(Symbol_Find(u"userSymbol"), nullptr);
    EXPECT_EQ(Symbol_Find(u"userHead"), nullptr);
    EXPECT_EQ(kernel.settings.messageArgumentWidth, 10);  // settings survive a reset
    EXPECT_EQ(kernel.generation, 1);
}

TEST_F(LifecycleTest, ResetRestoresBuiltinAttributesAndMessages) {
    Symbol_Record(BuiltinBorrowed(SYM_Sin), false)->attributes &= ~ATTR_PROTECTED;
    Symbol_AddMessage(BuiltinBorrowed(SYM_Kernel), u"RecursionLimit", u"changed");
    Kernel_Reset();
    EXPECT_EQ(StandardText(Attributes_List(AsSymbol(BuiltinBorrowed(SYM_Sin)))),
              u"{Listable, NumericFunction, Protected}");
    EXPECT_EQ(*Symbol_Message(AsSymbol(BuiltinBorrowed(SYM_Kernel)), u"RecursionLimit"),
              u"Recursion depth of %1 exceeded.");
}

TEST_F(LifecycleTest, TerminateUnbindsAllCallbacksButTheSyntaxErrorOne) {
    Kernel_BindCallback(4, reinterpret_cast<void *>(&Host));
    Kernel_Terminate();
    EXPECT_EQ(kernel.callbacks.print, nullptr);
    EXPECT_EQ(kernel.callbacks.message, nullptr);
    EXPECT_EQ(kernel.callbacks.reserved, nullptr);
    EXPECT_NE(kernel.callbacks.syntaxError, nullptr);
    EXPECT_FALSE(kernel.initialized);
    EXPECT_EQ(SymbolTable_Size(), 0);
    EXPECT_EQ(PoolCounts(), std::vector<int64_t>(PoolCounts().size(), 0));
    Kernel_Initialize();
    EXPECT_EQ(kernel.callbacks.message, nullptr);
    EXPECT_NE(kernel.callbacks.syntaxError, nullptr);
}

TEST_F(LifecycleTest, BindCallbackIgnoresUnknownTypes) {
    auto before = kernel.callbacks;
    EXPECT_EQ(Kernel_BindCallback(7, reinterpret_cast<void *>(&Host)), 0);
    EXPECT_EQ(Kernel_BindCallback(0, reinterpret_cast<void *>(&Host)), 0);
    EXPECT_EQ(kernel.callbacks.print, before.print);
    EXPECT_EQ(kernel.callbacks.message, before.message);
    EXPECT_EQ(kernel.callbacks.syntaxError, before.syntaxError);
    EXPECT_EQ(kernel.callbacks.reserved, before.reserved);
}

TEST_F(LifecycleTest, ConstantsAndHeadSymbolsAreBuilt) {
    EXPECT_EQ(StandardText(Object_AddRef(kernel.constants.integers[INT_MINUS_ONE])), u"-1");
    EXPECT_EQ(StandardText(Object_AddRef(kernel.constants.integers[INT_TEN])), u"10");
    EXPECT_EQ(StandardText(Object_AddRef(kernel.constants.emptyList)), u"{}");
    EXPECT_EQ(StandardText(Object_AddRef(kernel.constants.emptySequence)), u"Sequence()");
    EXPECT_EQ(StandardText(Object_AddRef(kernel.constants.emptyText)), u"\"\"");
    EXPECT_EQ(kernel.headSymbols[TYPE_STRING], BuiltinBorrowed(SYM_String));
    EXPECT_EQ(kernel.headSymbols[TYPE_EXPRESSION], nullptr);
    EXPECT_EQ(kernel.attributeTable.count, 13);
}

}  // namespace
