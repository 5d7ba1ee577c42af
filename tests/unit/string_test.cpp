#include "kernel_fixture.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "object/utf8.h"

namespace {

class StringTest : public KernelTest {
protected:
    static Object *Bytes(std::initializer_list<unsigned char> bytes, uint64_t subtype) {
        std::vector<unsigned char> v(bytes);
        return String_New(v.data(), int64_t(v.size()), subtype);
    }
};

TEST_F(StringTest, CountsDependOnTheSubtype) {
    Object *euroText = Bytes({0xE2, 0x82, 0xAC}, SUB_UTF8);
    EXPECT_EQ(AsString(euroText)->count, 1);
    EXPECT_EQ(AsString(euroText)->bytes, 3);
    Object *euroBytes = Bytes({0xE2, 0x82, 0xAC}, SUB_BYTES);
    EXPECT_EQ(AsString(euroBytes)->count, 3);

    String_SetSubtype(euroText, SUB_BYTES);
    EXPECT_EQ(AsString(euroText)->count, 3);
    EXPECT_EQ(Object_Same(euroText, euroBytes), 1);
    String_SetSubtype(euroText, SUB_UTF8);
    EXPECT_EQ(AsString(euroText)->count, 1);
    EXPECT_EQ(AsString(euroText)->bytes, 3);

    Object *ff = Bytes({0xFF}, SUB_UTF8);
    EXPECT_EQ(AsString(ff)->count, 1);
    EXPECT_EQ(String_Text(ff), u"\uFFFD");
    for (Object *o : {euroText, euroBytes, ff}) Object_Release(o);
}

TEST_F(StringTest, CharacterCountConstructionMeasuresTheBytes) {
    const char *text = "a\xE2\x82\xAC" "b\xF0\x9F\x98\x80" "c";
    Object *s = String_New(text, 3, SUB_UTF8 | STRING_CHARACTERS);
    EXPECT_EQ(AsString(s)->count, 3);
    EXPECT_EQ(AsString(s)->bytes, 5);
    EXPECT_EQ(String_Text(s), u"a\u20ACb");
    Object_Release(s);
}

TEST_F(StringTest, EmptyStringsHaveNoBuffer) {
    Object *a = String_New(nullptr, 0, SUB_UTF8);
    Object *b = String_New("", 0, SUB_BYTES);
    EXPECT_EQ(AsString(a)->buffer, nullptr);
    EXPECT_EQ(String_Text(a), u"");
    EXPECT_EQ(StandardText(Object_AddRef(a)), u"\"\"");
    EXPECT_EQ(StandardText(Object_AddRef(b)), u"''");
    EXPECT_EQ(Object_Same(a, b), 0);
    Object *c = Object_Clone(a);
    EXPECT_EQ(Object_Same(a, c), 1);
    for (Object *o : {a, b, c}) Object_Release(o);
}

TEST_F(StringTest, SameNeedsEqualSubtypesAndBytes) {
    Object *a = Text("abc"), *b = Text("abc"), *c = Text("abd");
    Object *bytes = String_New("abc", 3, SUB_BYTES);
    EXPECT_EQ(Object_Same(a, b), 1);
    EXPECT_EQ(Object_Same(a, c), 0);
    EXPECT_EQ(Object_Same(a, bytes), 0);
    EXPECT_EQ(Object_Hash(a, 3), Object_Hash(b, 3));
    EXPECT_EQ(Object_Hash(a, 3), Object_Hash(bytes, 3));  // the hash sees only the bytes
    for (Object *o : {a, b, c, bytes}) Object_Release(o);
}

TEST_F(StringTest, TextStopsAtTheFirstZeroByte) {
    Object *s = Bytes({0x41, 0x00, 0x42}, SUB_BYTES);
    int64_t zero = 0;
    EXPECT_EQ(String_Text(s, &zero), u"A");
    EXPECT_EQ(zero, 1);
    Object *latin = Bytes({0x41, 0xE9, 0xFF}, SUB_BYTES);
    EXPECT_EQ(String_Text(latin, &zero), u"A\u00E9\u00FF");
    EXPECT_EQ(zero, 0);
    Object *astral = Text("\xF0\x9F\x98\x80");
    EXPECT_EQ(String_Text(astral), u"\U0001F600");
    for (Object *o : {s, latin, astral}) Object_Release(o);
}

TEST_F(StringTest, TextFormEscapesWhatTheParserCouldNotReadBack) {
    EXPECT_EQ(StandardText(Text("\"\n")), u"\"\\\"\\n\"");
    EXPECT_EQ(StandardText(Bytes({0x27, 0x00, 0x41}, SUB_BYTES)), u"'\\'\\0A'");
    EXPECT_EQ(StandardText(Bytes({7, 8, 9, 10, 11, 12, 13}, SUB_BYTES)), u"'\\a\\b\\t\\n\\v\\f\\r'");
    EXPECT_EQ(StandardText(Bytes({1, 6, 14, 31, 127, 160, 161, 0xFF}, SUB_BYTES)),
              u"'\\x01\\x06\\x0E\\x1F\\x7F\\xA0\u00A1\u00FF'");
    EXPECT_EQ(StandardText(Text("a\\b'c")), u"\"a\\\\b'c\"");
    EXPECT_EQ(StandardText(Bytes({'"'}, SUB_BYTES)), u"'\"'");
    // Code points 127..160 are escaped in text strings too; above 255 they
    // are written as themselves.
    EXPECT_EQ(StandardText(Text("\xC2\x80\xC2\xA0\xE2\x82\xAC\xF0\x9F\x98\x80")), u"\"\\x80\\xA0\u20AC\U0001F600\"");
}

TEST_F(StringTest, TextFormIsEmptyOutsideTheTwoForms) {
    Object *s = Text("abc");
    TextBuffer text = u"old";
    Object_ToText(s, text);  // the base form prints nothing
    EXPECT_EQ(text, u"");
    Object_Release(s);
}

TEST_F(StringTest, CharAddressWalksFromTheNearestPlace) {
    // Characters of 1, 2, 3 and 4 bytes, repeated.
    std::string bytes;
    std::vector<size_t> offsets;
    for (int i = 0; i < 50; ++i) {
        for (const char *c : {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
            offsets.push_back(bytes.size());
            bytes += c;
        }
    }
    offsets.push_back(bytes.size());
    Object *s = String_New(bytes.data(), int64_t(bytes.size()), SUB_UTF8);
    const auto *base = AsString(s)->buffer;
    int64_t n = AsString(s)->count;
    ASSERT_EQ(n, 200);
    std::mt19937 random(7);
    std::vector<int64_t> order;
    for (int64_t i = 1; i <= n + 1; ++i) order.push_back(i);
    for (int64_t i = n + 1; i >= 1; --i) order.push_back(i);
    for (int k = 0; k < 500; ++k) order.push_back(1 + int64_t(random() % (n + 1)));
    for (int64_t i : order) {
        ASSERT_EQ(String_CharAddress(s, i) - base, int64_t(offsets[i - 1])) << "character " << i;
        EXPECT_EQ(AsString(s)->cursorIndex, i);
    }
    Object *raw = String_New(bytes.data(), 10, SUB_BYTES);
    EXPECT_EQ(String_CharAddress(raw, 4) - AsString(raw)->buffer, 3);
    Object_Release(s);
    Object_Release(raw);
}

TEST_F(StringTest, CloneCopiesTheBytes) {
    Object *a = Text("hello");
    Object *b = Object_MakeUnique(Object_AddRef(a));
    ASSERT_NE(a, b);
    EXPECT_NE(AsString(a)->buffer, AsString(b)->buffer);
    AsString(b)->buffer[0] = 'j';
    EXPECT_EQ(String_Text(a), u"hello");
    EXPECT_EQ(String_Text(b), u"jello");
    Object_Release(a);
    Object_Release(b);
}

TEST_F(StringTest, AdoptedBuffersBecomeTheStrings) {
    auto *buffer = static_cast<unsigned char *>(std::malloc(8));
    std::memcpy(buffer, "adopt", 5);
    Object *s = String_New(buffer, 5, SUB_BYTES | STRING_ADOPT);
    EXPECT_EQ(AsString(s)->buffer, buffer);
    EXPECT_EQ(String_Text(s), u"adopt");
    Object_Release(s);
}

}  // namespace
