#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/state.h"
#include "object/utf8.h"
#include "syntax/lexer.h"
#include "syntax/regex.h"

namespace {

// The kernel's tokenizer, built afresh for each test.
class TokenizerTest : public ::testing::Test {
protected:
    void SetUp() override { Tokenizer_Setup(); }
    void TearDown() override { Tokenizer_Teardown(); }

    // "Class text" of each token, in UTF-8 for readable failures.
    static std::vector<std::string> Tokens(std::u16string_view text) {
        kernel.syntax.bracketDepth = 0;
        Lexer *lexer = kernel.syntax.lexer;
        int64_t n = Lexer_Tokenize(lexer, text);
        std::vector<std::string> out;
        for (Token *t = Lexer_Tokens(lexer).first; t; t = t->next) out.push_back(Utf16_ToUtf8(t->cls + u" " + t->text));
        EXPECT_EQ(n, int64_t(out.size()));
        return out;
    }

    using List = std::vector<std::string>;
};

TEST_F(TokenizerTest, CommentsAreDroppedWithTheirLineEnd) {
    EXPECT_EQ(Tokens(u"a/# note\r\nb"), (List{"Name a", "Name b"}));
    EXPECT_EQ(Tokens(u"a /* x\r\n y */ b"), (List{"Name a", "Name b"}));
    EXPECT_EQ(Tokens(u"/* c */ \t /# d\r\n  \r "), List{});
    // A line comment without CR LF is no comment.
    EXPECT_EQ(Tokens(u"/# open"), (List{"Operator /", "Slot #", "Name open"}));
    EXPECT_EQ(Tokens(u"/* open"), (List{"Operator /", "Operator *", "Name open"}));
}

TEST_F(TokenizerTest, NumbersAndNames) {
    EXPECT_EQ(Tokens(u"1.5e-3"), List{"Real 1.5e-3"});
    EXPECT_EQ(Tokens(u"1e5"), (List{"Integer 1", "Name e5"}));
    EXPECT_EQ(Tokens(u"1."), (List{"Integer 1", "Operator ."}));
    EXPECT_EQ(Tokens(u"2.5E3"), (List{"Real 2.5", "Name E3"}));
    EXPECT_EQ(Tokens(u"2x x2"), (List{"Integer 2", "Name x", "Name x2"}));
    EXPECT_EQ(Tokens(u"$tmp x' a_b\\c \u03C0"), (List{"Name $tmp", "Name x'", "Name a_b\\c", "Name \u03C0"}));
    EXPECT_EQ(Tokens(u"a.b"), (List{"Name a", "Operator .", "Name b"}));
}

TEST_F(TokenizerTest, OperatorsLongestFirst) {
    EXPECT_EQ(Tokens(u"x=>=y"), (List{"Name x", "Operator =", "Operator >=", "Name y"}));
    EXPECT_EQ(Tokens(u"a===b"), (List{"Name a", "Operator ===", "Name b"}));
    EXPECT_EQ(Tokens(u"f@@g"), (List{"Name f", "Operator @@", "Name g"}));
    EXPECT_EQ(Tokens(u"@@@"), (List{"Operator @@", "Operator @"}));
    EXPECT_EQ(Tokens(u"a->b:>c"), (List{"Name a", "Operator ->", "Name b", "Operator :>", "Name c"}));
    EXPECT_EQ(Tokens(u"x//f/@g/?h/:k"),
              (List{"Name x", "Operator //", "Name f", "Operator /@", "Name g", "Operator /?", "Name h", "Operator /:",
                    "Name k"}));
    EXPECT_EQ(Tokens(u"a=!=b..c@:=d"),
              (List{"Name a", "Operator =!=", "Name b", "Operator ..", "Name c", "Operator @:=", "Name d"}));
    EXPECT_EQ(Tokens(u"x \u2265 y\u2227z"), (List{"Name x", "Operator \u2265", "Name y", "Operator \u2227", "Name z"}));
    EXPECT_EQ(Tokens(u"x\u00B0"), (List{"Name x", "Operator \u00B0"}));
}

TEST_F(TokenizerTest, MarksAndSlots) {
    EXPECT_EQ(Tokens(u"????"), (List{"Mark ???", "Mark ?"}));
    EXPECT_EQ(Tokens(u"x??Integer"), (List{"Name x", "Mark ??", "Name Integer"}));
    EXPECT_EQ(Tokens(u"# #12 ##"), (List{"Slot #", "Slot #12", "Slot #", "Slot #"}));
}

TEST_F(TokenizerTest, Strings) {
    EXPECT_EQ(Tokens(u"\"a\\\"b\""), List{"String \"a\\\"b\""});
    EXPECT_EQ(Tokens(u"'it''s'"), (List{"String 'it'", "String 's'"}));
    EXPECT_EQ(Tokens(u"\"two\r\nlines\""), List{"String \"two\r\nlines\""});
    EXPECT_EQ(Tokens(u"\"\\\\\"x"), (List{"String \"\\\\\"", "Name x"}));
    // Unterminated strings.
    EXPECT_EQ(Tokens(u"\"open"), (List{"Operator \"", "Name open"}));
    EXPECT_EQ(Tokens(u"'open"), List{"Name 'open"});
}

TEST_F(TokenizerTest, LineBreaksOnlyOutsideBrackets) {
    EXPECT_EQ(Tokens(u"{a\n,b}"), (List{"Separator {", "Name a", "Separator ,", "Name b", "Separator }"}));
    EXPECT_EQ(Tokens(u"a\n\nb"), (List{"Name a", "LineBreak \n", "LineBreak \n", "Name b"}));
    EXPECT_EQ(Tokens(u"f(a\r\n)\r\nb"),
              (List{"Name f", "Separator (", "Name a", "Separator )", "LineBreak \r\n", "Name b"}));
    // A CR without LF is skipped like a space.
    EXPECT_EQ(Tokens(u"a\rb"), (List{"Name a", "Name b"}));
    // The depth outlives the text: unbalanced brackets are the parser's concern.
    Tokens(u"f([{");
    EXPECT_EQ(kernel.syntax.bracketDepth, 3);
}

TEST_F(TokenizerTest, PositionsAndTextCopy) {
    Lexer *lexer = kernel.syntax.lexer;
    EXPECT_EQ(Lexer_Tokenize(lexer, u"ab + 12"), 3);
    std::vector<int64_t> positions;
    for (Token *t = Lexer_Tokens(lexer).first; t; t = t->next) positions.push_back(t->position);
    EXPECT_EQ(positions, (std::vector<int64_t>{0, 3, 5}));
    EXPECT_TRUE(Lexer_Text(lexer) == u"ab + 12");
    // A new text replaces the list.
    EXPECT_EQ(Lexer_Tokenize(lexer, u"  "), 0);
    EXPECT_EQ(Lexer_Tokens(lexer).first, nullptr);
}

TEST_F(TokenizerTest, UnpairedSurrogatesAreNameCharacters) {
    Lexer *lexer = kernel.syntax.lexer;
    for (std::u16string text : {std::u16string(u"a\xD800" u"b"), std::u16string(u"\xDC00"), std::u16string(u"x\xD800")}) {
        ASSERT_EQ(Lexer_Tokenize(lexer, text), 1);
        EXPECT_TRUE(Lexer_Tokens(lexer).first->cls == u"Name");
        EXPECT_TRUE(Lexer_Tokens(lexer).first->text == text);
    }
    EXPECT_EQ(Tokens(u"\xD835\xDC65 = 1"), (List{"Name \U0001D465", "Operator =", "Integer 1"}));
}

// A plain string literal of any length is one String. One that the pattern
// engine runs out of room on (every character escaped) is refused with the
// whole text, rather than having its quote skipped and its content read as
// other tokens.
TEST_F(TokenizerTest, LongLiterals) {
    Lexer *lexer = kernel.syntax.lexer;
    for (char16_t quote : {u'"', u'\''}) {
        std::u16string literal = quote + std::u16string(3000000, u'x') + quote;
        ASSERT_EQ(Lexer_Tokenize(lexer, u"f(" + literal + u")"), 4);
        Token *t = Lexer_Tokens(lexer).first->next->next;
        EXPECT_TRUE(t->cls == u"String" && t->text == literal && t->position == 2);
        EXPECT_TRUE(lexer->error.empty());
    }

    std::u16string escaped = u"\"";
    for (int i = 0; i < 1100000; ++i) escaped += u"\\t";
    escaped += u"\"";
    EXPECT_EQ(Lexer_Tokenize(lexer, u"x = " + escaped), 0);
    EXPECT_EQ(Lexer_Tokens(lexer).first, nullptr);
    EXPECT_EQ(Utf16_ToUtf8(lexer->error), "Token too long to read at character 5: '\"\\t\\t\\t\\t\\'");
    // The next text starts afresh.
    EXPECT_EQ(Tokens(u"\"\\t\""), List{"String \"\\t\""});
    EXPECT_TRUE(lexer->error.empty());

    std::u16string digits(1200000, u'9');
    ASSERT_EQ(Lexer_Tokenize(lexer, digits + u"+1"), 3);
    EXPECT_TRUE(Lexer_Tokens(lexer).first->cls == u"Integer");
}

// Inputs that made the tokenizer's patterns backtrack without end, from
// fuzzing: an unterminated string full of backslashes, and comment openers
// without their ends. Each is now tokenized in time linear in its length.
TEST_F(TokenizerTest, UnterminatedLiteralsAndCommentsAreLinear) {
    std::u16string backslashes = u"\"Co" + std::u16string(200001, u'\\');
    List tokens = Tokens(backslashes);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0], "Operator \"");
    EXPECT_EQ(tokens[1], "Name " + Utf16_ToUtf8(backslashes.substr(1)));

    std::u16string openers;
    for (int i = 0; i < 100000; ++i) openers += u"/#a/*a";
    EXPECT_EQ(Lexer_Tokenize(kernel.syntax.lexer, openers), 600000);
    // A string that ends after many escaped quotes is still one String,
    // and an unterminated one ends at the last escaped quote.
    std::u16string quotes = u"\"";
    for (int i = 0; i < 100000; ++i) quotes += u"\\\"";
    EXPECT_EQ(Tokens(quotes + u"\""), List{"String " + Utf16_ToUtf8(quotes) + "\""});
    EXPECT_EQ(Tokens(u"\"a\\\"b\\\"c"), (List{"String \"a\\\"b\\\"", "Name c"}));
}

// The delimiter class is what the symbol-name check builds its pattern from.
TEST_F(TokenizerTest, DelimiterClassSeparatesNames) {
    const std::u16string &d = kernel.syntax.delimiterClass;
    int64_t valid = Regex_Compile(-1, u"^[^" + d + u"0123456789][^" + d + u"]*$");
    for (const char16_t *name : {u"x2", u"x'", u"$tmp", u"\u03C0", u"a\\b"}) EXPECT_TRUE(Regex_Search(valid, name));
    for (const char16_t *name : {u"2x", u"a b", u"a.b", u"", u"a\u2227b", u"a\"b", u"a-b", u"a\tb", u"a\nb", u"a]b"})
        EXPECT_FALSE(Regex_Search(valid, name)) << Utf16_ToUtf8(name);
    Regex_Free(valid);
}

TEST_F(TokenizerTest, SetupFillsTheMapsAndTeardownEmptiesThem) {
    EXPECT_EQ(kernel.syntax.wordOperators.size(), 9u);
    EXPECT_TRUE(kernel.syntax.wordOperators.at(u"And") == u"\u2227");
    EXPECT_TRUE(kernel.syntax.constantNames.at(u"Pi") == u"\u03C0");
    EXPECT_EQ(kernel.syntax.lexer->classes.size(), 10u);
    Tokenizer_Setup();  // again: replaces everything without leaking
    EXPECT_EQ(kernel.syntax.wordOperators.size(), 9u);
    EXPECT_EQ(Tokens(u"a"), List{"Name a"});
    Tokenizer_Teardown();
    EXPECT_EQ(kernel.syntax.lexer, nullptr);
    EXPECT_TRUE(kernel.syntax.wordOperators.empty() && kernel.syntax.constantNames.empty());
    EXPECT_TRUE(kernel.syntax.delimiterClass.empty());
}

// Keeps the digit tokens of even digits only.
bool EvenDigit(TokenList &, std::u16string_view matched) { return (matched[0] - u'0') % 2 == 0; }

TEST(Lexer, ClassesFiltersAndSlots) {
    EXPECT_EQ(Lexer_Create(3), 3);
    Lexer *lexer = Lexer_FromHandle(3);
    ASSERT_NE(lexer, nullptr);
    Lexer_AddClass(lexer, u"Word", u"[a-z]+", TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Digit", u"\\d", EvenDigit);
    Lexer_AddClass(lexer, u"Dash", u"-+", TOKEN_DROP);
    EXPECT_EQ(Lexer_Tokenize(lexer, u"ab 12"), 0);  // not built yet
    Lexer_Build(lexer);
    EXPECT_EQ(Lexer_Tokenize(lexer, u"ab--1234 cd"), 4);
    std::vector<std::u16string> texts;
    for (Token *t = Lexer_Tokens(lexer).first; t; t = t->next) texts.push_back(t->cls + u":" + t->text);
    EXPECT_TRUE(texts == (std::vector<std::u16string>{u"Word:ab", u"Digit:2", u"Digit:4", u"Word:cd"}));

    // A class added again under its name is replaced in its place.
    Lexer_AddClass(lexer, u"Word", u"[a-z]", TOKEN_KEEP);
    Lexer_Build(lexer);
    EXPECT_EQ(lexer->classes.size(), 3u);
    EXPECT_EQ(Lexer_Tokenize(lexer, u"ab"), 2);

    // Creating into a used slot frees the lexer there.
    EXPECT_EQ(Lexer_Create(3), 3);
    EXPECT_EQ(Lexer_Tokenize(Lexer_FromHandle(3), u"ab"), 0);
    Lexer_Free(Lexer_FromHandle(3));
    EXPECT_EQ(Lexer_FromHandle(3), nullptr);
    EXPECT_EQ(Lexer_Create(70000), 0);
}

}  // namespace
