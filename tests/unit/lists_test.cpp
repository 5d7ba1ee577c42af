#include "kernel_fixture.h"

#include <cstring>

#include "eval/lists.h"
#include "object/string.h"

namespace {

constexpr int64_t kDeep = 1000000;

class ListsTest : public KernelTest {
protected:
    // List[List[...List[leaf]...]] with levels Lists; takes over leaf.
    static Object *Nested(int64_t levels, Object *leaf) {
        Object *o = leaf;
        for (int64_t i = 0; i < levels; ++i) o = Expression_New(Sym(u"List"), o);
        return o;
    }
    static Object *Bytes(const char *text) { return String_New(text, int64_t(std::strlen(text)), SUB_BYTES); }
    static int64_t SmallValue(Object *o) {
        EXPECT_TRUE(Object_IsInteger(o));
        int64_t v = AsInteger(o)->small;
        Object_Release(o);
        return v;
    }
};

// The walks keep their own stacks: a million levels cost no C++ stack.
TEST_F(ListsTest, DeeplyNestedArgumentsAreWalkedWithoutRecursion) {
    Object *deep = Nested(kDeep, Sym(u"x"));
    EXPECT_EQ(SmallValue(Builtin_Depth(Call(u"Depth", Object_AddRef(deep)))), kDeep);
    EXPECT_EQ(StandardText(Builtin_Flatten(Call(u"Flatten", Object_AddRef(deep)))), u"{x}");
    EXPECT_EQ(StandardText(Builtin_Flatten(Call(u"Flatten", Object_AddRef(deep), Int(kDeep - 2)))), u"{{x}}");
    EXPECT_EQ(SmallValue(Builtin_Count(Call(u"Count", Object_AddRef(deep), Sym(u"x")))), 1);
    EXPECT_EQ(StandardText(Builtin_Contain(Call(u"Contain", Object_AddRef(deep), Sym(u"x")))), u"True");
    EXPECT_EQ(StandardText(Builtin_Contain(Call(u"Contain", Object_AddRef(deep), Sym(u"y")))), u"False");
    Object_Release(deep);
}

// A part path as long as the expression is deep.
TEST_F(ListsTest, ALongPartPathReachesTheBottom) {
    constexpr int64_t levels = 10000;
    Object *deep = Nested(levels, Sym(u"x"));
    Object *call = Expression_NewSized(Sym(u"Part"), levels + 1);
    AsExpression(call)->elements[1] = deep;
    for (int64_t i = 2; i <= levels + 1; ++i) AsExpression(call)->elements[i] = Int(i % 2 ? 1 : -1);
    EXPECT_EQ(StandardText(Builtin_Part(call)), u"x");
}

// Strings keep their subtype through Part and Partition; joining or
// splitting with a byte string works on bytes.
TEST_F(ListsTest, ByteStringsStayByteStrings) {
    Object *part = Builtin_Part(Call(u"Part", Bytes("h\xe9llo"), Int(2)));
    EXPECT_EQ(Object_Subtype(part), SUB_BYTES);
    EXPECT_EQ(AsString(part)->bytes, 1);
    Object_Release(part);

    Object *joined = Builtin_Join(Call(u"Join", Text("\xc3\xa9"), Bytes("ab")));
    EXPECT_EQ(Object_Subtype(joined), SUB_BYTES);
    EXPECT_EQ(AsString(joined)->count, 4);
    Object_Release(joined);

    Object *texts = Builtin_Join(Call(u"Join", Text("\xc3\xa9"), Text("ab")));
    EXPECT_EQ(Object_Subtype(texts), SUB_UTF8);
    EXPECT_EQ(AsString(texts)->count, 3);
    Object_Release(texts);

    // By bytes, the text's two-byte character splits into two pieces.
    Object *pieces = Builtin_Split(Call(u"Split", Text("\xc3\xa9"), Bytes("")));
    ASSERT_EQ(Expression_Length(pieces), 2);
    EXPECT_EQ(Object_Subtype(Expression_At(pieces, 1)), SUB_BYTES);
    Object_Release(pieces);

    Object *blocks = Builtin_Partition(Call(u"Partition", Bytes("abcde"), Int(2)));
    ASSERT_EQ(Expression_Length(blocks), 2);
    EXPECT_EQ(Object_Subtype(Expression_At(blocks, 2)), SUB_BYTES);
    Object_Release(blocks);
}

// By characters a match never starts inside a character; by bytes it may.
TEST_F(ListsTest, TextSearchesStartAtCharacters) {
    const char *text = "\xc3\xa9\xa9";  // é, then a stray continuation byte
    EXPECT_EQ(SmallValue(Builtin_Count(Call(u"Count", Text(text), Text("\xa9")))), 1);
    EXPECT_EQ(SmallValue(Builtin_Count(Call(u"Count", Text(text), Bytes("\xa9")))), 2);
    EXPECT_EQ(StandardText(Builtin_Split(Call(u"Split", Text("a\xc3\xa9" "b"), Text("\xa9")))), u"{\"a\u00e9b\"}");
}

}  // namespace
