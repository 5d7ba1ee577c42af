#include "kernel_fixture.h"

namespace {

class SymbolTest : public KernelTest {};

TEST_F(SymbolTest, InterningReturnsTheOneSymbolOfAName) {
    Object *a = Sym(u"x"), *b = Sym(u"x"), *c = Sym(u"X");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->refs, 2);
    EXPECT_NE(a, c);
    EXPECT_EQ(Symbol_Find(u"x"), AsSymbol(a));
    EXPECT_EQ(Object_Clone(a), a);
    EXPECT_EQ(a->refs, 3);
    for (Object *o : {a, a, b, c}) Object_Release(o);
}

TEST_F(SymbolTest, AnyTextIsAcceptedAsAName) {
    const char16_t weird[] = {u'a', 0xD800, u'b', 0};  // an unpaired surrogate
    Object *s = Sym(weird);
    Object *empty = Symbol_Intern(u"");
    EXPECT_EQ(Symbol_Name(AsSymbol(s)), std::u16string_view(weird));
    EXPECT_EQ(Symbol_Name(AsSymbol(empty)), u"");
    EXPECT_NE(Object_Hash(s, 0), Object_Hash(empty, 0));
    Object_Release(s);
    Object_Release(empty);
}

TEST_F(SymbolTest, ASymbolWithoutRecordLeavesTheTableAtCountZero) {
    int64_t size = SymbolTable_Size();
    Object *s = Sym(u"transient");
    EXPECT_EQ(SymbolTable_Size(), size + 1);
    Object_Release(s);
    EXPECT_EQ(Symbol_Find(u"transient"), nullptr);
    EXPECT_EQ(SymbolTable_Size(), size);
}

TEST_F(SymbolTest, ARecordKeepsTheSymbolUnlessItIsTemporary) {
    Object *kept = Sym(u"kept");
    Symbol_Record(kept, true)->attributes |= ATTR_FLAT;
    Object_Release(kept);
    Symbol *found = Symbol_Find(u"kept");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->header.refs, 0);
    Object *again = Sym(u"kept");
    EXPECT_EQ(again, &found->header);
    EXPECT_EQ(AsSymbol(again)->record->attributes, ATTR_FLAT);
    Object_Release(again);

    int64_t records = kernel.symbolRecords.count;
    Object *temporary = Sym(u"temporary");
    Symbol_Record(temporary, true)->attributes |= ATTR_TEMPORARY;
    Object_Release(temporary);
    EXPECT_EQ(Symbol_Find(u"temporary"), nullptr);
    EXPECT_EQ(kernel.symbolRecords.count, records);
}

TEST_F(SymbolTest, RecordFollowsHeadsToTheRootSymbol) {
    Object *f = Sym(u"f");
    Object *e = Expression_New(Expression_New(Object_AddRef(f), Int(1)), Int(2));
    EXPECT_EQ(Symbol_Record(e, false), nullptr);
    SymbolRecord *r = Symbol_Record(e, true);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r, AsSymbol(f)->record);
    EXPECT_EQ(r->symbol, AsSymbol(f));
    Object *numberHead = Expression_New(Int(3), Int(4));
    EXPECT_EQ(Symbol_Record(numberHead, true), nullptr);
    for (Object *o : {f, e, numberHead}) Object_Release(o);
}

TEST_F(SymbolTest, MessagesAreStoredByTagAndReplaced) {
    Object *s = Sym(u"m");
    EXPECT_EQ(Symbol_Message(AsSymbol(s), u"Tag"), nullptr);
    EXPECT_EQ(Symbol_AddMessage(s, u"Tag", u"first"), 1);
    EXPECT_EQ(Symbol_AddMessage(s, u"Tag", u"second"), 1);
    EXPECT_EQ(*Symbol_Message(AsSymbol(s), u"Tag"), u"second");
    EXPECT_EQ(Symbol_Message(AsSymbol(s), u"tag"), nullptr);  // tags are case-sensitive
    Object *n = Int(1);
    EXPECT_EQ(Symbol_AddMessage(n, u"Tag", u"x"), 0);
    Object_Release(s);
    Object_Release(n);
}

TEST_F(SymbolTest, SymbolTextUsesItsOutputFormatter) {
    Object *s = Sym(u"decorated");
    EXPECT_EQ(StandardText(Object_AddRef(s)), u"decorated");
    Symbol_Record(s, true)->formatter = [](Object *, TextBuffer &text) {
        text += u"<d>";
        return true;
    };
    EXPECT_EQ(StandardText(Object_AddRef(s)), u"<d>");
    EXPECT_EQ(StandardText(Expression_New(Object_AddRef(s), Int(1))), u"<d>");
    Symbol_Record(s, false)->formatter = [](Object *, TextBuffer &) { return false; };
    EXPECT_EQ(StandardText(Expression_New(Object_AddRef(s), Int(1))), u"decorated(1)");
    Object_Release(s);
}

}  // namespace
