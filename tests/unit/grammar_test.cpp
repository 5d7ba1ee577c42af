#include "kernel_fixture.h"

#include <string>

#include "syntax/grammar.h"

namespace {

class GrammarTest : public KernelTest {
protected:
    // open^depth + "1" + close^depth, parsed; a new reference or null.
    static Object *ParseNested(std::u16string_view open, std::u16string_view close, int64_t depth) {
        std::u16string text;
        text.reserve(size_t(depth) * (open.size() + close.size()) + 1);
        for (int64_t i = 0; i < depth; ++i) text += open;
        text += u'1';
        for (int64_t i = 0; i < depth; ++i) text += close;
        return Parser_ParseText(text);
    }

    // How many times `head` wraps the innermost 1, following argument
    // `index` down; -1 when the tree has another shape.
    static int64_t Nesting(Object *e, const char16_t *head, int64_t index) {
        int64_t depth = 0;
        while (Object_IsExpression(e)) {
            Object *h = Expression_At(e, 0);
            if (!Object_IsSymbol(h) || Symbol_Name(AsSymbol(h)) != head || Expression_Length(e) < index) return -1;
            e = Expression_At(e, index);
            ++depth;
        }
        return Integer_Is(e, 1) ? depth : -1;
    }
};

// Parentheses nest to a depth at which the parser used to spend a long
// time copying the text inside each pair (its time grew with the square of
// the depth); the other bracket kinds, and parentheses inside calls, nest
// deeply too.
TEST_F(GrammarTest, DeepNestingOfEveryBracketKind) {
    Object *e = ParseNested(u"(", u")", 200000);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(Integer_Is(e, 1));
    Object_Release(e);

    struct Kind {
        const char16_t *open, *close, *head;
        int64_t index;
    };
    for (const Kind &k : {Kind{u"f(", u")", u"f", 1}, Kind{u"{", u"}", u"List", 1}, Kind{u"a[", u"]", u"Part", 2},
                          Kind{u"g((", u"))", u"g", 1}}) {
        constexpr int64_t kDepth = 50000;
        e = ParseNested(k.open, k.close, kDepth);
        ASSERT_NE(e, nullptr) << Narrow(k.open);
        EXPECT_EQ(Nesting(e, k.head, k.index), kDepth) << Narrow(k.open);
        Object_Release(e);
    }
}

// Through the public interface a string literal of any length is read as a
// String, in either quotes; one the tokenizer cannot read is a syntax error
// with a message saying so, never a different expression.
TEST_F(GrammarTest, LiteralsAreReadWholeOrRefusedWithAMessage) {
    for (char16_t quote : {u'\'', u'"'}) {
        std::u16string text = quote + std::u16string(3000000, u'a') + quote;
        int64_t h = Kernel_InputExpression(text.c_str());
        ASSERT_NE(h, 0);
        Object *e = reinterpret_cast<Object *>(h);
        EXPECT_EQ(Object_Type(e), TYPE_STRING);
        EXPECT_EQ(Object_Length(e), 3000000);
        Kernel_FreeExpression(h);
    }
    EXPECT_TRUE(Host().syntaxErrors.empty());

    std::u16string text = u"'";
    for (int i = 0; i < 1100000; ++i) text += u"\\n";
    text += u"'";
    EXPECT_EQ(Kernel_InputExpression(text.c_str()), 0);
    ASSERT_EQ(Host().syntaxErrors.size(), 1u);
    EXPECT_EQ(Narrow(Host().syntaxErrors[0]), "Token too long to read at character 1: ''\\n\\n\\n\\n\\'");
    // The grammar's own errors still come through.
    EXPECT_EQ(Kernel_InputExpression(u"1 2"), 0);
    ASSERT_EQ(Host().syntaxErrors.size(), 2u);
    EXPECT_EQ(Narrow(Host().syntaxErrors[1]), "Two objects without separator or operator inbetween: '1 2'");
}

}  // namespace
