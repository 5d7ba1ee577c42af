// Definitions kept in the literal index against the same definitions kept
// as one ordered list, the hash the index files them under, and the cheap
// facts that rule subjects out before the matcher runs.
#include <random>
#include <string>
#include <vector>

#include "eval/definition.h"
#include "eval/literal_index.h"
#include "eval/signature.h"
#include "kernel_fixture.h"
#include "number/complex.h"
#include "number/real.h"
#include "text_codec.h"

namespace {

class DefinitionTest : public KernelTest {
protected:
    static std::string Run(const std::string &text) { return ToUtf8(EvaluateText(ToUtf16(text).c_str())); }
};

// Object_Same objects whose bits differ must hash alike, or a literal left
// side would be missed for a subject that matches it.
TEST_F(DefinitionTest, SameObjectsHashAlike) {
    struct Pair {
        Object *a, *b;
    } pairs[] = {
        {Real_FromDouble(0.0), Real_FromDouble(-0.0)},
        {Complex_Make(Real_FromDouble(-0.0), Real_FromDouble(1.0)), Complex_Make(Real_FromDouble(0.0), Real_FromDouble(1.0))},
        {Call(u"f", Real_FromDouble(0.0), Text("x")), Call(u"f", Real_FromDouble(-0.0), Text("x"))},
        {Call(u"f", Call(u"g", Int(1)), Int(2)), Call(u"f", Call(u"g", Int(1)), Int(2))},
    };
    for (Pair &p : pairs) {
        ASSERT_TRUE(Object_Same(p.a, p.b));
        EXPECT_EQ(LiteralIndex_Hash(p.a), LiteralIndex_Hash(p.b));
        Object_Release(p.a);
        Object_Release(p.b);
    }
    // Nesting is part of the hash: these differ only in where g closes.
    Object *x = Call(u"f", Call(u"g", Sym(u"a")), Sym(u"b"));
    Object *y = Call(u"f", Call(u"g", Sym(u"a"), Sym(u"b")));
    EXPECT_NE(LiteralIndex_Hash(x), LiteralIndex_Hash(y));
    Object_Release(x);
    Object_Release(y);
}

TEST_F(DefinitionTest, LiteralLeftSides) {
    auto literal = [](const char16_t *text) {
        int64_t h = Kernel_InputExpression(text);
        Object *o = reinterpret_cast<Object *>(h);
        bool result = Signature_IsLiteral(o);
        Kernel_FreeExpression(h);
        return result;
    };
    EXPECT_TRUE(literal(u"g(5000)"));
    EXPECT_TRUE(literal(u"f(a, \"x\", h(1.5))"));
    EXPECT_FALSE(literal(u"g(x?)"));
    EXPECT_FALSE(literal(u"g(1 | 2)"));
    EXPECT_FALSE(literal(u"g(Any)"));
    // Plus is Orderless: its arguments match in any order.
    EXPECT_FALSE(literal(u"g(Plus(a, b))"));
}

// The verdicts of the cheap facts agree with the matcher on left sides of
// every kind, and on the bare patterns of rules: a NO must never hide a
// match, a YES must be a match.
TEST_F(DefinitionTest, SignatureAgreesWithTheMatcher) {
    const char16_t *patterns[] = {u"f(x?)",        u"f(x?, y?)",     u"f(x?, x?)",  u"f(1, y?)",      u"f(g(z?), 2)",
                                  u"f(x\?\?)",       u"f(x\?\?\?, 1)",    u"f(1 | 2)",   u"f(Optional(x?, 0))", u"f(x? /? x > 1)",
                                  u"f(?Integer)",  u"Function(\?)(\?\?\?)",
                                  // Constructs at the top, as rules have them.
                                  u"x?", u"?f", u"f(1) | f(2)", u"f(x?) /? x > 1"};
    const char16_t *subjects[] = {u"f()",     u"f(1)",    u"f(2)",      u"f(1, 2)",    u"f(2, 2)", u"f(g(1), 2)",
                                  u"f(g, 2)", u"f(h(1), 2)", u"f(1, 2, 1)", u"f(a, b, c)", u"Function(a)(1)", u"Function(a)"};
    for (const char16_t *p : patterns) {
        Object *pattern = reinterpret_cast<Object *>(Kernel_InputExpression(p));
        Signature signature;
        Signature_Build(&signature, pattern);
        BindingList names;
        Pattern_CollectNames(pattern, &names);
        for (const char16_t *s : subjects) {
            Object *subject = reinterpret_cast<Object *>(Kernel_InputExpression(s));
            bool matches = Pattern_Match(subject, pattern, nullptr, nullptr, false, nullptr);
            SignatureVerdict v = Signature_Check(&signature, pattern, subject, &names, false, false);
            if (v == SIGNATURE_NO) {
                EXPECT_FALSE(matches) << ToUtf8(p) << " against " << ToUtf8(s);
            } else if (v == SIGNATURE_YES) {
                EXPECT_TRUE(matches) << ToUtf8(p) << " against " << ToUtf8(s);
            }
            Bindings_Clear(&names);
            Object_Release(subject);
        }
        Bindings_Free(&names);
        Object_Release(pattern);
    }
}

// Random definitions, literal and pattern left sides interleaved, made for
// two symbols: ind keeps its literals in the index, one has been made to
// keep every entry in one ordered list (a literal with a head that later
// became Orderless turns its index off). Every subject must find the same
// rule in both.
TEST_F(DefinitionTest, IndexedAndSingleListTryRulesInTheSameOrder) {
    const std::vector<std::string> literals = {"1", "2", "3", "a", "b", "k(1)", "k(2)", "m(1)", "\"s\"", "2.5"};
    const std::vector<std::string> patterns = {
        "x?",           "x? /? x > 1",     "k(y?)",          "1 | 2",        "x?Integer",    "x? /? flag",
        "Optional(x?, 0)", "k(1) /? flag", "m(y?) /? y < 2", "y:1",          "x?Symbol",     "k(y?) /? y > 1"};
    std::mt19937 random(2026);
    Run("SetAttributes(u, {})");
    Run("one(u(9)) = never");
    Run("SetAttributes(u, Orderless)");
    Run("one(u(9))");  // the first search after the change turns the index off
    for (int round = 0; round < 300; ++round) {
        std::string arg;
        if (random() % 2) arg = literals[random() % literals.size()];
        else arg = patterns[random() % patterns.size()];
        std::string rhs = "r" + std::to_string(round);
        bool delayed = random() % 3 == 0;
        std::string op = delayed ? " := " : " = ";
        Run("ind(" + arg + ")" + op + rhs);
        Run("one(" + arg + ")" + op + rhs);
        if (round % 10 != 9) continue;
        for (const char *flag : {"True", "False"}) {
            Run(std::string("flag = ") + flag);
            for (const std::string &s : literals) {
                std::string a = Run("ind(" + s + ")"), b = Run("one(" + s + ")");
                // The heads differ; the rules they found must not.
                EXPECT_EQ(a.substr(0, 3) == "ind" ? a.substr(3) : a, b.substr(0, 3) == "one" ? b.substr(3) : b)
                    << "round " << round << ", subject " << s << ", flag " << flag;
            }
        }
    }
}

// Defining one literal among many and clearing them costs time and memory
// in proportion to them; the table is gone after Clear, with every object
// its entries held.
TEST_F(DefinitionTest, ManyLiteralsAndClear) {
    Run("t(0) = 0; Clear(t)");
    std::vector<int64_t> before = PoolCounts();
    std::string lhs = "{", rhs = "{";
    for (int i = 1; i <= 20000; ++i) {
        lhs += (i > 1 ? ",t(" : "t(") + std::to_string(i) + ")";
        rhs += (i > 1 ? "," : "") + std::to_string(i * 2);
    }
    Run(lhs + "} = " + rhs + "}");
    EXPECT_EQ(Run("{t(1), t(12345), t(20000), t(20001)}"), "{2, 24690, 40000, t(20001)}");
    Run("t(x?) := general");
    Run("t(12345) = changed");
    EXPECT_EQ(Run("{t(12345), t(12346), t(20001)}"), "{changed, 24692, general}");
    SymbolRecord *r = AsSymbol(Symbol_Intern(u"t"))->record;
    ASSERT_NE(r, nullptr);
    ASSERT_NE(r->definitions, nullptr);
    EXPECT_EQ(r->definitions->literals.count, 20000);
    EXPECT_EQ(r->definitions->ordered->items.size(), 1u);
    Object_Release(&r->symbol->header);
    Run("Clear(t)");
    EXPECT_EQ(r->definitions, nullptr);
    EXPECT_EQ(PoolCounts(), before);
    EXPECT_EQ(Run("t(1)"), "t(1)");
}

}  // namespace
