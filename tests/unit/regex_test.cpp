#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/utf8.h"
#include "syntax/regex.h"

namespace {

// A compiled pattern for the length of a test.
class Pattern {
public:
    explicit Pattern(std::u16string_view text) : handle_(Regex_Compile(-1, text)) {}
    ~Pattern() { Regex_Free(handle_); }
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;

    int64_t handle() const { return handle_; }

    int64_t Match(const std::u16string &subject, int64_t start = 0) {
        CaptureMap captures;
        return Match(subject, start, captures);
    }
    int64_t Match(const std::u16string &subject, int64_t start, CaptureMap &captures) {
        return Regex_Match(subject.c_str(), start, Regex_FromHandle(handle_), captures);
    }

private:
    int64_t handle_;
};

// Each subject with the length the pattern matches at index 0.
void ExpectLengths(std::u16string_view pattern, std::vector<std::pair<std::u16string, int64_t>> cases) {
    Pattern p(pattern);
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(p.Match(cases[i].first), cases[i].second) << Utf16_ToUtf8(pattern) << ", case " << i;
}

int64_t scannedCount;

TEST(Regex, AlternativesAreTriedInOrder) {
    ExpectLengths(u"==|===", {{u"===", 2}});
    ExpectLengths(u"===|==", {{u"===", 3}, {u"==", 2}});
    ExpectLengths(u"a|ab", {{u"ab", 1}});
    // A later alternative is taken when the earlier one cannot complete the match.
    ExpectLengths(u"(?:a|ab)c", {{u"abc", 3}, {u"ac", 2}, {u"ab", -1}});
}

TEST(Regex, LazyRepeatStopsAtTheFirstTerminatorAcrossLineEnds) {
    // The comment pattern of the tokenizer: the spaces around | are ignored.
    ExpectLengths(u"/#.*?\\r\\n | /\\*.*?\\*/", {
        {u"/# one\r\n two\r\n", 8},
        {u"/* a\r\n * b */ c */", 13},
        {u"/**/", 4},
        {u"/# no line end", -1},
        {u"/* open", -1},
        {u"/#\r", -1},
    });
}

TEST(Regex, CountedAndQuantifiedRepeats) {
    ExpectLengths(u"\\?{1,3}", {{u"?", 1}, {u"??", 2}, {u"???", 3}, {u"????", 3}, {u"x", -1}, {u"", -1}});
    ExpectLengths(u"a{3}", {{u"aaaa", 3}, {u"aa", -1}});
    ExpectLengths(u"a{2,}", {{u"aaaaa", 5}, {u"a", -1}});
    ExpectLengths(u"a{,2}", {{u"aaa", 2}, {u"", 0}});
    ExpectLengths(u"a{0}b", {{u"ab", -1}, {u"b", 1}});
    // The quantifier applies to the last character of a run only.
    ExpectLengths(u"ab*", {{u"abbb", 4}, {u"abab", 2}, {u"a", 1}, {u"b", -1}});
    ExpectLengths(u"ab+c", {{u"abbc", 4}, {u"ac", -1}});
    ExpectLengths(u"(?:ab)+", {{u"ababa", 4}});
}

TEST(Regex, LazyRepeats) {
    ExpectLengths(u"a*?b", {{u"aaab", 4}, {u"b", 1}});
    ExpectLengths(u"a+?", {{u"aaa", 1}});
    ExpectLengths(u"a{2,}?", {{u"aaaa", 2}});
    ExpectLengths(u"(?:ab)*?c", {{u"ababc", 5}, {u"abab", -1}});
}

TEST(Regex, PossessiveRepeatsGiveNothingBack) {
    ExpectLengths(u"a*+a", {{u"aaa", -1}});
    ExpectLengths(u"a*a", {{u"aaa", 3}});
    ExpectLengths(u"a++b", {{u"aab", 3}});
    ExpectLengths(u"(?:aa|a)*+a", {{u"aaa", -1}});
    ExpectLengths(u"(?:aa|a)*a", {{u"aaa", 3}});
    ExpectLengths(u"(?:ab)?+b", {{u"abb", 3}, {u"ab", -1}});
}

TEST(Regex, SpacesBetweenAtomsAreIgnoredButNotInsideLiterals) {
    ExpectLengths(u"a b", {{u"a b", 3}, {u"ab", -1}});
    ExpectLengths(u"\\d \\d", {{u"12", 2}, {u"1 2", -1}});
    // A run of literal characters takes a following space along.
    ExpectLengths(u"x (y) z", {{u"xyz", -1}, {u"x yz", 4}});
    ExpectLengths(u"(x) | (y)", {{u"y", 1}});
    ExpectLengths(u"\\ ", {{u" ", 1}});
}

TEST(Regex, ClassesAndComplements) {
    ExpectLengths(u"[^ab]", {{u"\u20AC", 1}, {u"c", 1}, {u"a", -1}, {u"", -1}});
    ExpectLengths(u"[\\D]", {{u"\u20AC", 1}, {u"x", 1}, {u"5", -1}});
    ExpectLengths(u"[^\\D]", {{u"5", 1}, {u"x", -1}});
    ExpectLengths(u"[\\D\\S]", {{u"5", 1}, {u" ", 1}, {u"\u20AC", 1}});
    ExpectLengths(u"[\\Dx]", {{u"x", 1}, {u"7", -1}});
    ExpectLengths(u"[\\d\\s]+", {{u"1 \t2\r\nx", 6}});
    ExpectLengths(u"[\\w]+", {{u"a_Z9-", 4}, {u"\u00E9", -1}});
    ExpectLengths(u"[a-c]+", {{u"abcd", 3}});
    ExpectLengths(u"[-a]+", {{u"-a-", 3}});
    ExpectLengths(u"[a-]+", {{u"-a-b", 3}});
    ExpectLengths(u"[\\]\\-]+", {{u"]-]x", 3}});
    ExpectLengths(u"[\\n\\t]+", {{u"\n\t\n", 3}, {u"n", -1}});
    ExpectLengths(u"[\u03B1-\u03C9]+", {{u"\u03C0\u03B1x", 2}, {u"\u03A9", -1}});
    ExpectLengths(u"[^\u2227 ]+", {{u"ab\u2227", 2}});
    ExpectLengths(u"\\.", {{u".", 1}, {u"x", -1}});
    ExpectLengths(u".", {{u"\r", 1}, {u"\n", 1}, {u"", -1}});
}

TEST(Regex, AnchorsSeeAbsoluteIndexes) {
    Pattern start(u"^a"), end(u"a$"), word(u"\\bx"), after(u"x\\b");
    EXPECT_EQ(start.Match(u"aa", 0), 1);
    EXPECT_EQ(start.Match(u"aa", 1), -1);
    EXPECT_EQ(end.Match(u"aa", 1), 1);
    EXPECT_EQ(end.Match(u"aa", 0), -1);
    EXPECT_EQ(word.Match(u"x", 0), 1);
    EXPECT_EQ(word.Match(u"ax", 1), -1);
    EXPECT_EQ(word.Match(u" x", 1), 1);
    EXPECT_EQ(after.Match(u"xy", 0), -1);
    EXPECT_EQ(after.Match(u"x-", 0), 1);
    EXPECT_EQ(after.Match(u"x\u00E9", 0), 1);
}

TEST(Regex, LookbehindNeverReachesBeforeTheSubject) {
    Pattern behind(u"(?<=a)b"), notBehind(u"(?<!a)b");
    EXPECT_EQ(behind.Match(u"ab", 1), 1);
    EXPECT_EQ(behind.Match(u"b", 0), -1);
    EXPECT_EQ(behind.Match(u"cb", 1), -1);
    // A negative lookbehind at index 0 fails as well.
    EXPECT_EQ(notBehind.Match(u"b", 0), -1);
    EXPECT_EQ(notBehind.Match(u"cb", 1), 1);
    EXPECT_EQ(notBehind.Match(u"ab", 1), -1);
    // A body of varying length cannot be looked behind.
    EXPECT_EQ(Pattern(u"(?<=a+)b").Match(u"aab", 2), -1);
}

TEST(Regex, Lookahead) {
    ExpectLengths(u"a(?=b)", {{u"ab", 1}, {u"ac", -1}});
    ExpectLengths(u"a(?!b)", {{u"ab", -1}, {u"ac", 1}, {u"a", 1}});
    // A negative lookahead fails when any alternative of its body matches.
    ExpectLengths(u"(?!a|b)", {{u"b", -1}, {u"c", 0}});
    ExpectLengths(u"(?=a|b)b", {{u"b", 1}});
}

TEST(Regex, ReplaceTrimsTrailingZeros) {
    Pattern p(u"(?<!\\.)0+$");
    std::pair<std::u16string, std::u16string> cases[] = {
        {u"1.2300", u"1.23"}, {u"1.000", u"1.0"}, {u"0", u"0"},         {u"000", u"0"},
        {u"100", u"1"},       {u"10.0", u"10.0"}, {u"1.05", u"1.05"},   {u"", u""},
    };
    for (const auto &[in, out] : cases) EXPECT_TRUE(Regex_Replace(p.handle(), in.c_str(), u"", nullptr) == out);
}

TEST(Regex, CapturesHoldTheGroupsOfTheSuccessfulPath) {
    Pattern p(u"(?P<x>a)|(?P<y>b)");
    CaptureMap c;
    ASSERT_EQ(p.Match(u"b", 0, c), 1);
    EXPECT_TRUE(c.at(u"0") == u"b");
    EXPECT_TRUE(c.at(u"y") == u"b");
    EXPECT_TRUE(c.at(u"2") == u"b");
    EXPECT_FALSE(c.contains(u"x"));
    EXPECT_FALSE(c.contains(u"1"));

    // A group of an abandoned alternative leaves no capture behind.
    Pattern abandoned(u"(?P<x>a)c|ab");
    c.clear();
    ASSERT_EQ(abandoned.Match(u"ab", 0, c), 2);
    EXPECT_FALSE(c.contains(u"x"));

    // Backtracking into an earlier iteration restores that iteration's capture.
    Pattern repeated(u"(?:(?P<g>a+)b)*ab");
    c.clear();
    ASSERT_EQ(repeated.Match(u"aabab", 0, c), 5);
    EXPECT_TRUE(c.at(u"g") == u"aa");

    // A failed match removes the root capture and nothing else.
    c = {{u"0", u"old"}, {u"k", u"v"}};
    EXPECT_EQ(p.Match(u"z", 0, c), -1);
    EXPECT_FALSE(c.contains(u"0"));
    EXPECT_TRUE(c.contains(u"k"));
}

TEST(Regex, BacktrackingRestoresNestedRepeatCounts) {
    // The inner \d+ gives back a digit after the optional group completed.
    ExpectLengths(u"(?:a\\d+)?5", {{u"a125", 4}, {u"5", 1}});
    ExpectLengths(u"(?:a+b)+ab", {{u"aabab", 5}});
    ExpectLengths(u"(?:(?:ab){2})+c", {{u"ababababc", 9}, {u"abababc", -1}});
}

TEST(Regex, BackReferences) {
    ExpectLengths(u"(a+)b\\1", {{u"aabaa", 5}, {u"aaba", -1}});
    // A group that has not captured matches nothing.
    ExpectLengths(u"\\1(a)", {{u"aa", -1}});
    ExpectLengths(u"\\7", {{u"7", -1}});
}

// A repeat over alternatives needs no choice point per iteration unless an
// earlier alternative has matched, so a long plain string literal is read
// whole; one in which every character is escaped keeps an entry per escape
// and exhausts the stack, and the match is then given up, which is told
// apart from a failure.
TEST(Regex, ExhaustedChoiceStackGivesUpTheMatch) {
    Pattern p(uR"x("(?:\\.|.)*?")x");
    std::u16string plain = u"\"" + std::u16string(3000000, u'x') + u"\"";
    EXPECT_EQ(p.Match(plain), int64_t(plain.size()));
    std::u16string escapes = u"\"";
    for (int i = 0; i < 1100000; ++i) escapes += u"\\a";
    escapes += u"\"";
    EXPECT_EQ(p.Match(escapes), REGEX_EXHAUSTED);
    EXPECT_EQ(p.Match(escapes.substr(0, 200001) + u"\""), 200002);
    EXPECT_EQ(p.Match(u"\"a\\\"b\""), 6);
    // Greedy repeats of one unit need no stack per character.
    std::u16string digits(1200000, u'7');
    EXPECT_EQ(Pattern(u"\\d+").Match(digits), int64_t(digits.size()));

    // A scan stops at the match it gave up and says where.
    std::u16string text = u"ab " + escapes;
    EXPECT_EQ(Regex_Scan(p.handle(), text.c_str(), [](const CaptureMap &, int64_t) {}), 3);
    EXPECT_EQ(Regex_Scan(p.handle(), u"\"a\" \"b\"", [](const CaptureMap &, int64_t) {}), -1);
}

// Repeats over alternatives that can cover the same text in several ways
// used to take time exponential in the subject's length when the match
// fails; each boundary of such a repeat is now explored once per position.
TEST(Regex, AmbiguousRepeatsFailInLinearTime) {
    std::u16string backslashes = u"\"Co" + std::u16string(200000, u'\\');
    EXPECT_EQ(Pattern(uR"x("(?:\\.|.)*?")x").Match(backslashes), -1);
    std::u16string as(200000, u'a'), abs;
    for (int i = 0; i < 100000; ++i) abs += u"ab";
    EXPECT_EQ(Pattern(u"(?:a|a)*b").Match(as), -1);
    EXPECT_EQ(Pattern(u"(?:a|aa)+?b").Match(as), -1);
    EXPECT_EQ(Pattern(u"(?:(?:a|b)+)*c").Match(abs), -1);
    EXPECT_EQ(Pattern(u"x|(?:(?:ab|a)(?:b|))*c").Match(abs), -1);
    // The same subjects with an ending that matches.
    EXPECT_EQ(Pattern(u"(?:a|a)*b").Match(as + u"b"), int64_t(as.size()) + 1);
    EXPECT_EQ(Pattern(u"(?:(?:a|b)+)*c").Match(abs + u"c"), int64_t(abs.size()) + 1);

    // A scan remembers across its matches what failed: a comment opener
    // without its end, repeated, is scanned to the end once and not once per
    // opener.
    Pattern comment(u"/#.*?\\r\\n | /\\*.*?\\*/ | .");
    std::u16string openers;
    for (int i = 0; i < 100000; ++i) openers += u"/#a/*a";
    scannedCount = 0;
    EXPECT_EQ(Regex_Scan(comment.handle(), openers.c_str(), [](const CaptureMap &, int64_t) { ++scannedCount; }), -1);
    EXPECT_EQ(scannedCount, int64_t(openers.size()));
}

// Remembering failed states changes no result: each pattern is compared with
// the same pattern followed by an alternative holding a back-reference, which
// never matches and turns the remembering off, on every subject up to a
// length over a small alphabet, by lengths and captures and by whole scans.
TEST(Regex, RememberingFailuresKeepsEveryResult) {
    const std::u16string patterns[] = {
        uR"x("(?:\\.|.)*?")x",       u"(?:a|ab)*c",           u"(?:a|ab)*?c",
        u"(?:(a)|b(a)?)*\"",          u"(?:(?:a|b)+)*c",       u"(?:a|b|ab)+?(c|\\\\)",
        u"(?:a(?=b)|b|\\\\.)*\"",    u"(?:(?P<n>a)|ab|(?<!a)b)*c", u"(?:a*b|ba)*c?\\\\",
        u"(?:a|ab)*+c|(?:ab|a)*\\\\", u"(?:(?:a|)b)*c",
    };
    const char16_t alphabet[] = {u'a', u'b', u'c', u'"', u'\\'};
    std::vector<std::u16string> subjects{u""};
    for (size_t from = 0; from < subjects.size() && subjects[from].size() < 5; ++from)
        for (char16_t ch : alphabet) subjects.push_back(subjects[from] + ch);
    for (const std::u16string &text : patterns) {
        Pattern memo(text), plain(u"(?:" + text + u")|\\9");
        ASSERT_GT(Regex_FromHandle(memo.handle())->memoCount, 0) << Utf16_ToUtf8(text);
        ASSERT_EQ(Regex_FromHandle(plain.handle())->memoCount, 0);
        for (const std::u16string &s : subjects) {
            for (int64_t start = 0; start <= int64_t(s.size()); ++start) {
                CaptureMap a, b;
                ASSERT_EQ(memo.Match(s, start, a), plain.Match(s, start, b)) << Utf16_ToUtf8(text) << " on " << Utf16_ToUtf8(s);
                ASSERT_TRUE(a == b) << Utf16_ToUtf8(text) << " on " << Utf16_ToUtf8(s);
            }
            auto mark = [](const CaptureMap &c, int64_t at) {
                std::u16string out = u"<" + std::u16string(1, char16_t(u'0' + at)) + c.at(u"0");
                for (const char16_t *key : {u"1", u"2", u"n"})
                    if (c.contains(key)) out += u"|" + c.at(key);
                return out + u">";
            };
            ASSERT_TRUE(Regex_Replace(memo.handle(), s.c_str(), u"", mark) ==
                        Regex_Replace(plain.handle(), s.c_str(), u"", mark))
                << Utf16_ToUtf8(text) << " on " << Utf16_ToUtf8(s);
        }
    }
}

std::vector<std::pair<int64_t, std::u16string>> scanned;

TEST(Regex, ScanSearchAndReplaceMoveOnePastEmptyMatches) {
    Pattern p(u"a*");
    scanned.clear();
    Regex_Scan(p.handle(), u"baab", [](const CaptureMap &c, int64_t at) { scanned.push_back({at, c.at(u"0")}); });
    ASSERT_EQ(scanned.size(), 3u);
    EXPECT_EQ(scanned[0].first, 0);
    EXPECT_TRUE(scanned[1] == std::make_pair(int64_t(1), std::u16string(u"aa")));
    EXPECT_EQ(scanned[2].first, 3);

    Pattern x(u"x*");
    EXPECT_TRUE(Regex_Replace(x.handle(), u"abc", u"-", nullptr) == u"-a-b-c");

    Pattern digits(u"\\d+");
    auto bracket = [](const CaptureMap &c, int64_t) { return u"<" + c.at(u"0") + u">"; };
    EXPECT_TRUE(Regex_Replace(digits.handle(), u"a12b3", u"", bracket) == u"a<12>b<3>");

    EXPECT_TRUE(Regex_Search(digits.handle(), u"abc1"));
    EXPECT_FALSE(Regex_Search(digits.handle(), u"abc"));
    // No attempt is made at the terminating zero itself.
    EXPECT_FALSE(Regex_Search(Pattern(u"$").handle(), u""));
}

TEST(Regex, SlotHandles) {
    EXPECT_EQ(Regex_Compile(7, u"a"), 7);
    ASSERT_NE(Regex_FromHandle(7), nullptr);
    EXPECT_TRUE(Regex_Search(7, u"xa"));
    // Compiling into a used slot frees the program there.
    EXPECT_EQ(Regex_Compile(7, u"b"), 7);
    EXPECT_FALSE(Regex_Search(7, u"xa"));
    Regex_Free(7);
    EXPECT_EQ(Regex_FromHandle(7), nullptr);
    EXPECT_FALSE(Regex_Search(7, u"b"));

    EXPECT_EQ(Regex_Compile(65535, u"a"), 65535);
    Regex_Free(65535);
    EXPECT_EQ(Regex_Compile(65536, u"a"), 0);
    EXPECT_EQ(Regex_Compile(-2, u"a"), 0);

    int64_t address = Regex_Compile(-1, u"a");
    EXPECT_GT(address, 65535);
    EXPECT_EQ(Regex_FromHandle(address)->groupCount, 1);
    Regex_Free(address);
}

// Patterns outside the dialect build some tree and never crash or hang,
// whatever they are matched against.
TEST(Regex, MalformedPatternsAreHarmless) {
    const std::u16string patterns[] = {
        u"(", u")", u"a)b", u"(((", u"[", u"[^", u"[a-", u"[z-a]", u"\\", u"a\\", u"*", u"+a", u"{", u"a{",
        u"a{2", u"a{99999999999}", u"(?P<n", u"(?", u"(?x)", u"a**", u"(a*)*b", u"(?:)*", u"(?:a?)+?", u"()+",
        u"(|)", u"|", u"a||b", u"(?=)*", u"(?!a*)+", u"(?<=(?=a)a)", u"\\9", u"[\\", u"(?<!(a|bc))d",
        std::u16string(u"a\0b", 3),
    };
    const std::u16string subjects[] = {u"", u"a", u"aab(c)", u"?*{}", u"\xD800\xDC00", std::u16string(12, u'a')};
    for (const std::u16string &text : patterns) {
        Pattern p(text);
        ASSERT_NE(p.handle(), 0);
        for (const std::u16string &s : subjects) {
            for (int64_t start = 0; start <= int64_t(s.size()); ++start) {
                int64_t d = p.Match(s, start);
                EXPECT_GE(d, -1);
                EXPECT_LE(d, int64_t(s.size()) - start);
            }
        }
    }
    // Nesting depth costs no machine stack, in compiling or in matching.
    std::u16string deep(100000, u'(');
    ExpectLengths(deep, {{u"", 0}, {u"a", 0}});
    ExpectLengths(deep + u"a" + std::u16string(100000, u')'), {{u"a", 1}, {u"b", -1}});
}

}  // namespace
