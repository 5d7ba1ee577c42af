#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "object/utf8.h"

namespace {

std::vector<char32_t> Forward(const std::vector<unsigned char> &b, std::vector<size_t> *starts = nullptr) {
    std::vector<char32_t> out;
    const unsigned char *p = b.data(), *end = b.data() + b.size();
    while (p < end) {
        if (starts) starts->push_back(size_t(p - b.data()));
        char32_t c;
        const unsigned char *q = Utf8_Next(p, end, &c);
        EXPECT_GT(q, p);
        EXPECT_LE(q, end);
        p = q;
        out.push_back(c);
    }
    return out;
}

std::vector<char32_t> Backward(const std::vector<unsigned char> &b, std::vector<size_t> *starts = nullptr) {
    std::vector<char32_t> out;
    const unsigned char *begin = b.data(), *p = b.data() + b.size();
    while (p > begin) {
        char32_t c;
        const unsigned char *q = Utf8_Previous(begin, p, &c);
        EXPECT_LT(q, p);
        EXPECT_GE(q, begin);
        p = q;
        if (starts) starts->insert(starts->begin(), size_t(p - begin));
        out.insert(out.begin(), c);
    }
    return out;
}

TEST(Utf8, DecodesWellFormedSequences) {
    std::vector<unsigned char> b = {'A', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF};
    std::vector<char32_t> expected = {U'A', 0xE9, 0x20AC, 0x1F600, 0x10FFFF};
    EXPECT_EQ(Forward(b), expected);
    EXPECT_EQ(Backward(b), expected);
    EXPECT_EQ(Utf8_Count(b.data(), b.size()), 5);
}

// Overlong forms, values above U+10FFFF, stray continuation
// bytes and truncated sequences each read as U+FFFD, and never swallow the
// byte that proved the sequence wrong.
TEST(Utf8, MalformedInputReadsAsReplacementCharacters) {
    struct Case {
        std::vector<unsigned char> bytes;
        std::vector<char32_t> expected;
    } cases[] = {
        {{0xC0, 0xAF}, {0xFFFD, 0xFFFD}},
        {{0xE0, 0x80, 0xAF}, {0xFFFD, 0xFFFD, 0xFFFD}},
        {{0xED, 0xA0, 0x80}, {0xD800}},
        {{0xF4, 0x90, 0x80, 0x80}, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
        {{0x80, 'A'}, {0xFFFD, U'A'}},
        {{0xE2, 0x82, 'A'}, {0xFFFD, U'A'}},
        {{0xE2, 0x82}, {0xFFFD}},
        {{0xF0, 0x9F, 0x98}, {0xFFFD}},
        {{0xFF}, {0xFFFD}},
        {{0xC2, 0xE2, 0x82, 0xAC}, {0xFFFD, 0x20AC}},
        {{0xE2, 0x82, 0xAC, 0x82}, {0x20AC, 0xFFFD}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Forward(c.bytes), c.expected);
        EXPECT_EQ(Backward(c.bytes), c.expected);
        EXPECT_EQ(Utf8_Count(c.bytes.data(), c.bytes.size()), int64_t(c.expected.size()));
    }
}

// Reading backward must cut any byte sequence into exactly the characters
// reading forward does, or the string cursor would drift.
TEST(Utf8, BackwardAndForwardAgreeOnRandomBytes) {
    std::mt19937 random(2024);
    const unsigned char interesting[] = {0x00, 'a', 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                         0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::vector<unsigned char> b(random() % 12);
        for (auto &x : b) x = interesting[random() % sizeof interesting];
        std::vector<size_t> forwardStarts, backwardStarts;
        auto forward = Forward(b, &forwardStarts);
        auto backward = Backward(b, &backwardStarts);
        ASSERT_EQ(forward, backward);
        ASSERT_EQ(forwardStarts, backwardStarts);
    }
}

TEST(Utf8, Utf16ConversionReplacesUnpairedSurrogates) {
    std::u16string text = u"a";
    text += char16_t(0xD800);
    text += u"b";
    text += char16_t(0xDC00);
    text += u"\U0001F600";
    EXPECT_EQ(Utf16_ToUtf8(text), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xF0\x9F\x98\x80");
    std::u16string back;
    for (char32_t c : {U'x', char32_t(0x20AC), char32_t(0x1F600)}) Utf16_Append(back, c);
    EXPECT_EQ(back, u"x\u20AC\U0001F600");
}

}  // namespace
