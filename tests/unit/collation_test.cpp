#include "kernel_fixture.h"

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "eval/collation.h"
#include "kernel/unicode_blocks.h"
#include "kernel/unicode_tables.h"

namespace {

class CollationTest : public KernelTest {
protected:
    void TearDown() override {
        for (Object *s : strings_) Object_Release(s);
        KernelTest::TearDown();
    }
    // A string of the given bytes, kept for the test's lifetime; borrowed.
    Object *Keep(const std::string &bytes, uint64_t subtype = SUB_UTF8) {
        strings_.push_back(String_New(bytes.data(), int64_t(bytes.size()), subtype));
        return strings_.back();
    }
    int Collate(const std::string &a, const std::string &b) { return String_Collate(Keep(a), Keep(b)); }

    static uint16_t Field(int32_t element, int k) {
        const unsigned char *e = kernel.unicode.elements + 8 * size_t(element) + 2 * k;
        return uint16_t(e[0] | e[1] << 8);
    }
    static int32_t Position(char32_t cp) {
        int32_t at;
        std::memcpy(&at, kernel.unicode.index + 4 * size_t(cp), 4);
        return at;
    }
    // The list of cp as "PPPP SSSS TTTT; ..." with its count.
    static std::string Row(char32_t cp) {
        int32_t at = Position(cp);
        std::string row;
        char buffer[32];
        for (int k = 0; k < Field(at, 3); ++k) {
            std::snprintf(buffer, sizeof buffer, "%s%04X %04X %04X", k ? ", " : "", Field(at + k, 0), Field(at + k, 1),
                          Field(at + k, 2));
            row += buffer;
        }
        return row + "; " + std::to_string(Field(at, 3));
    }

    std::vector<Object *> strings_;
};

TEST_F(CollationTest, TheUnpackedTablesHoldTheIdentifyingRows) {
    ASSERT_NE(kernel.unicode.index, nullptr);
    EXPECT_EQ(kernel.unicode.elementCount, 38159);
    const std::map<char32_t, std::string> rows = {
        {0x0009, "0201 0020 0002; 1"},
        {0x0020, "0209 0020 0002; 1"},
        {0x002D, "020D 0020 0002; 1"},
        {0x0030, "206B 0020 0002; 1"},
        {0x0031, "206C 0020 0002; 1"},
        {0x0041, "2075 0020 0008; 1"},
        {0x0061, "2075 0020 0002; 1"},
        {0x0062, "208F 0020 0002; 1"},
        {0x007A, "236F 0020 0002; 1"},
        {0x00E4, "2075 0020 0002, 0000 002B 0002; 2"},
        {0x00DF, "22B6 0020 0004, 0000 0118 0004, 22B6 0020 0004; 3"},
        {0x03A9, "2435 0020 0008; 1"},
        {0xFFFD, "FFFD 0020 0002; 1"},
    };
    for (const auto &[cp, row] : rows) EXPECT_EQ(Row(cp), row) << std::hex << uint32_t(cp);
    // No entry: element 0, the one-element list without weights.
    EXPECT_EQ(Position(0x4E00), 0);
    EXPECT_EQ(Position(0x0378), 0);
    EXPECT_EQ(Row(0x4E00), "0000 0000 0000; 1");
    // Every code point with a list has its own, and the lists tile the
    // element table after element 0, their followers holding count 0.
    std::map<int, int> lengths;
    std::set<int32_t> starts;
    int64_t covered = 1;
    for (char32_t cp = 0; cp < char32_t(kUnicodeCodePoints); ++cp) {
        int32_t at = Position(cp);
        if (at == 0) continue;
        EXPECT_TRUE(starts.insert(at).second) << std::hex << uint32_t(cp);
        int n = Field(at, 3);
        ++lengths[n];
        covered += n;
        for (int k = 1; k < n; ++k) ASSERT_EQ(Field(at + k, 3), 0);
    }
    EXPECT_EQ(starts.size(), 32958u);
    EXPECT_EQ(covered, 38159);
    EXPECT_EQ(lengths, (std::map<int, int>{{1, 28981}, {2, 3077}, {3, 655}, {4, 208}, {5, 16}, {6, 15}, {7, 2}, {8, 3},
                                           {18, 1}}));
}

TEST_F(CollationTest, ResetKeepsTheTablesAndTerminateFreesThem) {
    const unsigned char *index = kernel.unicode.index, *elements = kernel.unicode.elements;
    Kernel_Reset();
    EXPECT_EQ(kernel.unicode.index, index);
    EXPECT_EQ(kernel.unicode.elements, elements);
    Kernel_Terminate();
    EXPECT_EQ(kernel.unicode.index, nullptr);
    EXPECT_EQ(kernel.unicode.elements, nullptr);
    Kernel_Initialize();
    EXPECT_NE(kernel.unicode.index, nullptr);
}

TEST_F(CollationTest, MalformedBlocksUnpackToNothing) {
    size_t size = 0;
    const unsigned char *block = kCollationElementBlock;
    size_t n = kCollationElementBlockSize;
    unsigned char *good = UnicodeTables_Unpack(block, n, &size);
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(size, 305272u);
    std::free(good);
    std::vector<unsigned char> copy(block, block + n);
    // A stream cut short, a stated size beyond what the stream holds, a
    // zero or absurd size, a header alone and impossible properties.
    EXPECT_EQ(UnicodeTables_Unpack(copy.data(), n / 2, &size), nullptr);
    copy[0] += 1;
    EXPECT_EQ(UnicodeTables_Unpack(copy.data(), n, &size), nullptr);
    std::memset(copy.data(), 0, 8);
    EXPECT_EQ(UnicodeTables_Unpack(copy.data(), n, &size), nullptr);
    std::memset(copy.data(), 0xFF, 8);
    EXPECT_EQ(UnicodeTables_Unpack(copy.data(), n, &size), nullptr);
    EXPECT_EQ(UnicodeTables_Unpack(block, 13, &size), nullptr);
    EXPECT_EQ(UnicodeTables_Unpack(block, 7, &size), nullptr);
    copy.assign(block, block + n);
    copy[8] = 0xFF;
    EXPECT_EQ(UnicodeTables_Unpack(copy.data(), n, &size), nullptr);
}

TEST_F(CollationTest, TablesThatDoNotFitTogetherAreRefused) {
    size_t indexSize = size_t(kUnicodeCodePoints) * 4, elementSize = size_t(kernel.unicode.elementCount) * 8;
    std::vector<unsigned char> index(kernel.unicode.index, kernel.unicode.index + indexSize);
    std::vector<unsigned char> elements(kernel.unicode.elements, kernel.unicode.elements + elementSize);
    EXPECT_TRUE(UnicodeTables_Valid(index.data(), indexSize, elements.data(), elementSize));
    // The last list cut off, a position past the end, a negative one, a
    // list of no elements.
    EXPECT_FALSE(UnicodeTables_Valid(index.data(), indexSize, elements.data(), elementSize - 8));
    EXPECT_FALSE(UnicodeTables_Valid(index.data(), indexSize - 4, elements.data(), elementSize));
    int32_t past = int32_t(kernel.unicode.elementCount), negative = -1;
    std::memcpy(&index[4 * 0x61], &past, 4);
    EXPECT_FALSE(UnicodeTables_Valid(index.data(), indexSize, elements.data(), elementSize));
    std::memcpy(&index[4 * 0x61], &negative, 4);
    EXPECT_FALSE(UnicodeTables_Valid(index.data(), indexSize, elements.data(), elementSize));
    std::memcpy(&index[4 * 0x61], kernel.unicode.index + 4 * 0x61, 4);
    elements[6] = elements[7] = 0;
    EXPECT_FALSE(UnicodeTables_Valid(index.data(), indexSize, elements.data(), elementSize));
}

TEST_F(CollationTest, WithoutTablesEveryStringGoesByItsBytes) {
    UnicodeTables tables = kernel.unicode;
    kernel.unicode = {};
    EXPECT_EQ(Collate("a", "B"), -1);  // 'B' is the smaller byte
    EXPECT_EQ(Collate("a", "ab"), 1);
    EXPECT_EQ(Collate("\xC3\xA4", "b"), -1);
    EXPECT_EQ(Collate("a\xE4\xB8\x80", "a\xE4\xB8\x81"), 1);
    EXPECT_FALSE(String_CollatesAsText(Keep("a")));
    EXPECT_EQ(EvaluateText(u"Sort({\"b\", \"a\", \"B\", \"\u00e4\"})"), u"{\"B\", \"a\", \"b\", \"\u00e4\"}");
    EXPECT_EQ(EvaluateText(u"Union({\"x\", \"X\", \"x\"})"), u"{\"X\", \"x\"}");
    kernel.unicode = tables;
    EXPECT_EQ(EvaluateText(u"Sort({\"b\", \"a\", \"B\", \"\u00e4\"})"), u"{\"a\", \"\u00e4\", \"b\", \"B\"}");
}

TEST_F(CollationTest, InvalidSequencesCollateAsTheReplacementCharacter) {
    EXPECT_EQ(Collate("\xFF", "\xEF\xBF\xBD"), 0);
    EXPECT_EQ(Collate("a\xFF" "b", "a\xEF\xBF\xBD" "b"), 0);
    // A truncated sequence is one replacement character, and the byte that
    // cut it short is read as itself.
    EXPECT_EQ(Collate("\xE2\x82" "b", "\xEF\xBF\xBD" "b"), 0);
    EXPECT_EQ(Collate("z", "\xC3"), 1);
    // So a shared start that ends inside a character is not skipped: the
    // euro sign against a cut-off sequence and b.
    EXPECT_EQ(Collate("a\xE2\x82\xAC", "a\xE2\x82" "b"), Collate("\xE2\x82\xAC", "\xEF\xBF\xBD" "b"));
    EXPECT_EQ(Collate("a\xE2\x82\xAC", "a\xE2\x82" "b"), 1);
}

TEST_F(CollationTest, ZeroBytesAndEmptyTextsAreCharactersLikeAnyOther) {
    EXPECT_EQ(Collate(std::string("a\0b", 3), std::string("a\0c", 3)), 1);
    EXPECT_EQ(Collate(std::string("a\0", 2), "a"), -1);  // U+0000 weighs only at the last level
    Object *empty = String_New(nullptr, 0, SUB_UTF8);
    strings_.push_back(empty);
    EXPECT_EQ(String_Collate(empty, Keep("")), 0);
    EXPECT_EQ(String_Collate(empty, Keep("\x01")), 1);
    EXPECT_EQ(String_Collate(Keep("\xE4\xB8\x80"), empty), -1);
    EXPECT_EQ(String_Order(empty, Keep("", SUB_BYTES)), 0);
}

// Random texts from pieces where the levels, the skipped common start and
// the decoder meet: the order is a strict total one, a common start of
// whole characters changes nothing, and the sort keys order as it does.
TEST_F(CollationTest, RandomTextsOrderConsistently) {
    const std::vector<std::string> whole = {"a", "A", "b", "s", "ss", "\xC3\x9F", "\xC3\xA4", "a\xCC\x88", "-", " ",
                                            "1", "\xE4\xB8\x80", "\xCD\xB8", "\xCE\xA9", "\xCF\x89", "\xFF",
                                            "\xF0\x9F\x98\x80", std::string(1, '\0'), "\t", "\xEF\xBF\xBD"};
    std::mt19937 random(7);
    auto word = [&](int most) {
        std::string s;
        for (int k = int(random() % unsigned(most + 1)); k > 0; --k) s += whole[random() % whole.size()];
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string p = word(4), x = word(3), y = word(3);
        if (!x.empty() && !y.empty() && x[0] != y[0]) {
            ASSERT_EQ(Collate(p + x, p + y), Collate(x, y)) << p << "|" << x << "|" << y;
        }
    }
    std::vector<Object *> texts;
    for (int i = 0; i < 300; ++i) texts.push_back(Keep(word(5)));
    for (Object *a : texts)
        for (Object *b : texts) {
            int ab = String_Order(a, b);
            ASSERT_EQ(ab, -String_Order(b, a));
            ASSERT_EQ(ab == 0, Object_Same(a, b));
            std::string ka, kb;
            String_AppendSortKey(a, ka);
            String_AppendSortKey(b, kb);
            ASSERT_EQ(ab, ka < kb ? 1 : ka > kb ? -1 : 0);
        }
    std::sort(texts.begin(), texts.end(), [](Object *a, Object *b) { return String_Order(a, b) > 0; });
    for (size_t i = 2; i < texts.size(); ++i) ASSERT_GE(String_Order(texts[i - 2], texts[i]), 0);
}

}  // namespace
