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

// Every bracket kind nests to a depth at which the parser used to spend
// minutes copying the text inside each pair of parentheses.
TEST_F(GrammarTest, DeepNestingOfEveryBracketKind) {
    constexpr int64_t kDepth = 300000;
    Object *e = ParseNested(u"(", u")", kDepth);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(Integer_Is(e, 1));
    Object_Release(e);

    struct Kind {
        const char16_t *open, *close, *head;
        int64_t index;
    };
    for (const Kind &k : {Kind{u"f(", u")", u"f", 1}, Kind{u"{", u"}", u"List", 1}, Kind{u"a[", u"]", u"Part", 2},
                          Kind{u"g((", u"))", u"g", 1}}) {
        e = ParseNested(k.open, k.close, kDepth);
        ASSERT_NE(e, nullptr) << Narrow(k.open);
        EXPECT_EQ(Nesting(e, k.head, k.index), kDepth) << Narrow(k.open);
        Object_Release(e);
    }
}

}  // namespace
