#include "kernel_fixture.h"

#include <limits>
#include <random>
#include <string>

#include "eval/replace.h"
#include "object/builtins.h"

namespace {

class ReplaceTest : public KernelTest {
protected:
    static Object *Str(const std::string &bytes, uint64_t subtype) {
        return String_New(bytes.data(), int64_t(bytes.size()), subtype);
    }
    static std::string BytesOf(Object *s) {
        String *x = AsString(s);
        return x->buffer ? std::string(reinterpret_cast<char *>(x->buffer), size_t(x->bytes)) : std::string();
    }
    // ReplaceAll of three byte strings; the bytes of the result.
    static std::string All(const std::string &s, const std::string &lhs, const std::string &rhs) {
        Ref a(Str(s, SUB_BYTES)), l(Str(lhs, SUB_BYTES)), r(Str(rhs, SUB_BYTES));
        Ref out(String_ReplaceAll(a.get(), l.get(), r.get()));
        return BytesOf(out.get());
    }
    // A list of rules over byte strings; a new reference.
    static Object *RuleList(const std::vector<std::pair<std::string, std::string>> &rules, uint64_t subtype) {
        Object *list = Expression_NewSized(Builtin(SYM_List), int64_t(rules.size()));
        for (size_t i = 0; i < rules.size(); ++i)
            AsExpression(list)->elements[i + 1] =
                Expression_New(Builtin(SYM_Rule), Str(rules[i].first, subtype), Str(rules[i].second, subtype));
        return list;
    }
    // f[f[...f[leaf]...]] with depth levels of f; a new reference.
    static Object *Chain(int64_t depth, Object *leaf) {
        Object *e = leaf;
        for (int64_t i = 0; i < depth; ++i) e = Expression_New(Sym(u"f"), e);
        return e;
    }
    // The innermost atom of a chain, and the chain's depth. Borrows e.
    static Object *Leaf(Object *e, int64_t *depth) {
        *depth = 0;
        while (Object_IsExpression(e)) {
            e = Expression_At(e, 1);
            ++*depth;
        }
        return e;
    }
};

TEST_F(ReplaceTest, ReplaceAllScansLeftToRightWithoutOverlap) {
    EXPECT_EQ(All("banana", "an", "AN"), "bANANa");
    EXPECT_EQ(All("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(All("aaa", "aa", "b"), "ba");
    EXPECT_EQ(All("abc", "abc", ""), "");
    EXPECT_EQ(All("abc", "abcd", "x"), "abc");
    EXPECT_EQ(All("", "a", "x"), "");
    EXPECT_EQ(All(std::string("a\0b", 3), std::string("\0", 1), "-"), "a-b");
}

TEST_F(ReplaceTest, EmptyLeftSideInsertsAtEveryBoundary) {
    EXPECT_EQ(All("ab", "", "-"), "-a-b-");
    EXPECT_EQ(All("", "", "-"), "-");
    EXPECT_EQ(All("ab", "", ""), "ab");
    Ref s(Str("ab", SUB_BYTES)), empty(Str("", SUB_BYTES));
    Ref out(String_ReplaceAll(s.get(), empty.get(), empty.get()));
    EXPECT_EQ(out.get(), s.get()) << "nothing changed, so the subject itself comes back";
}

TEST_F(ReplaceTest, TextIsReplacedByWholeCharacters) {
    // U+00E9 is C3 A9 and U+20AC is E2 82 AC.
    Ref s(Str("h\xC3\xA9\xE2\x82\xAC", SUB_UTF8));
    Ref e(Str("\xC3\xA9", SUB_UTF8)), x(Str("x", SUB_UTF8)), empty(Str("", SUB_UTF8));
    Ref one(String_ReplaceAll(s.get(), e.get(), x.get()));
    EXPECT_EQ(BytesOf(one.get()), "hx\xE2\x82\xAC");
    EXPECT_EQ(Object_Subtype(one.get()), uint64_t(SUB_UTF8));
    EXPECT_EQ(AsString(one.get())->count, 3);
    Ref inserted(String_ReplaceAll(s.get(), empty.get(), x.get()));
    EXPECT_EQ(BytesOf(inserted.get()), "xhx\xC3\xA9x\xE2\x82\xACx");
    // A broken sequence as text matches no part of a whole character...
    Ref lead(Str("\xE2", SUB_UTF8));
    Ref untouched(String_ReplaceAll(s.get(), lead.get(), x.get()));
    EXPECT_EQ(BytesOf(untouched.get()), BytesOf(s.get()));
    // ...but as bytes it does, and the result is a byte string.
    Ref leadByte(Str("\xE2", SUB_BYTES));
    Ref bytes(String_ReplaceAll(s.get(), leadByte.get(), x.get()));
    EXPECT_EQ(BytesOf(bytes.get()), "h\xC3\xA9x\x82\xAC");
    EXPECT_EQ(Object_Subtype(bytes.get()), uint64_t(SUB_BYTES));
}

TEST_F(ReplaceTest, ReplaceManyIsOnePassAndTheFirstRuleWins) {
    auto many = [](const std::string &s, const std::vector<std::pair<std::string, std::string>> &rules) {
        Ref subject(Str(s, SUB_BYTES)), list(RuleList(rules, SUB_BYTES));
        Ref out(String_ReplaceMany(subject.get(), list.get()));
        return BytesOf(out.get());
    };
    EXPECT_EQ(many("ab", {{"a", "b"}, {"b", "a"}}), "ba");
    EXPECT_EQ(many("abc", {{"a", "x"}, {"ab", "y"}}), "xbc");
    EXPECT_EQ(many("abc", {{"ab", "y"}, {"a", "x"}}), "yc");
    EXPECT_EQ(many("abc", {{"bc", ""}, {"a", ""}}), "");
    EXPECT_EQ(many("abc", {{"b", "bbb"}}), "abbbc");
    EXPECT_EQ(many("ab", {{"", "-"}, {"a", "x"}}), "-a-b-");
    EXPECT_EQ(many("", {{"", "-"}}), "-");
    EXPECT_EQ(many("", {}), "");
    EXPECT_EQ(many("abc", {}), "abc");
}

// Compares the scan with a plain reference over random subjects and rules
// that lengthen, shorten and keep the length.
TEST_F(ReplaceTest, ReplaceManyAgreesWithAReferenceScan) {
    std::mt19937 random(7);
    auto word = [&](size_t most) {
        std::string w(random() % (most + 1), 'a');
        for (char &c : w) c = "abc"[random() % 3];
        return w;
    };
    for (int trial = 0; trial < 500; ++trial) {
        std::string s = word(12);
        std::vector<std::pair<std::string, std::string>> rules;
        for (size_t k = random() % 4; k > 0; --k) {
            std::string lhs = word(3);
            if (lhs.empty()) lhs = "a";
            rules.push_back({lhs, word(4)});
        }
        std::string expected;
        for (size_t at = 0; at < s.size();) {
            bool done = false;
            for (auto &[lhs, rhs] : rules)
                if (s.compare(at, lhs.size(), lhs) == 0) {
                    expected += rhs;
                    at += lhs.size();
                    done = true;
                    break;
                }
            if (!done) expected += s[at++];
        }
        Ref subject(Str(s, SUB_BYTES)), list(RuleList(rules, SUB_BYTES));
        Ref out(String_ReplaceMany(subject.get(), list.get()));
        ASSERT_EQ(BytesOf(out.get()), expected) << "subject " << s;
    }
}

TEST_F(ReplaceTest, DeepChainIsRewrittenWithoutRecursion) {
    constexpr int64_t kDepth = 100000;
    Ref rule(Expression_New(Builtin(SYM_Rule), Sym(u"a"), Sym(u"b")));
    Ref list(Expression_New(Builtin(SYM_List), Object_AddRef(rule.get())));
    Ref original(Chain(kDepth, Sym(u"a")));
    Ref rewritten(Replace_RuleList(Object_AddRef(original.get()), list.get(), std::numeric_limits<int64_t>::max()));
    int64_t depth;
    EXPECT_EQ(Leaf(rewritten.get(), &depth), Sym(u"b"));
    Object_Release(Sym(u"b"));
    EXPECT_EQ(depth, kDepth);
    // The input was shared, so it was copied on the way down, not changed.
    EXPECT_EQ(Leaf(original.get(), &depth), Sym(u"a"));
    Object_Release(Sym(u"a"));

    // A bound short of the leaf leaves the chain shared and untouched.
    Ref bounded(Replace_RuleList(Object_AddRef(original.get()), list.get(), kDepth - 1));
    EXPECT_EQ(bounded.get(), original.get());
}

TEST_F(ReplaceTest, DeepInputsThroughTheInterface) {
    EXPECT_EQ(EvaluateText(u"Depth(Nest(g, a, 100000) /: {g(x?) :> x})"), u"99999");
    EXPECT_EQ(EvaluateText(u"Count(Nest(g, a, 100000) /: a -> b, b)"), u"1");
    EXPECT_EQ(EvaluateText(u"SetAttributes(h, Flat); Depth(Nest(h, a, 100000) /: h(a) -> c)"), u"0");
    EXPECT_EQ(EvaluateText(u"Length(Replace(Nest(g, a, 100000), a -> b, 10^40))"), u"1");
    EXPECT_TRUE(Host().messages.empty());
}

}  // namespace
