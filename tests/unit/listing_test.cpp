// Listings read back: every line Definitions prints for a built-in or a
// user definition parses again, as the assignment that made it or as the
// registered pattern; and the name check's life across reset and
// shut-down, and the wildcard match of symbol listings.
#include <string>
#include <vector>

#include "eval/definition.h"
#include "eval/evaluate.h"
#include "eval/native_args.h"
#include "kernel_fixture.h"
#include "syntax/formatter.h"
#include "syntax/grammar.h"
#include "syntax/symbol_names.h"

namespace {

class ListingTest : public KernelTest {
protected:
    // The lines Definitions prints for s (borrowed).
    static std::vector<std::u16string> Listing(Object *s) {
        Host().printed.clear();
        Object *result = Evaluate_TopLevel(Expression_New(Builtin(SYM_Definitions), Object_AddRef(s)));
        EXPECT_EQ(result, BuiltinBorrowed(SYM_Null));
        Object_Release(result);
        return Host().printed;
    }

    // The entries a listing of s shows, in its order.
    static std::vector<DefinitionEntry *> Shown(Object *s) {
        std::vector<DefinitionEntry *> shown;
        SymbolRecord *r = AsSymbol(s)->record;
        if (!r) return shown;
        if (r->ownValue && r->ownValue->right) shown.push_back(r->ownValue);
        for (DefinitionEntry *e : Definitions_InTrialOrder(r))
            if (e->right || e->native) shown.push_back(e);
        return shown;
    }

    static BuiltinSymbol AssignmentHead(uint64_t flags) {
        if (flags & DEF_SUB) return (flags & DEF_DELAYED) ? SYM_SubDefineDelayed : SYM_SubDefine;
        return (flags & DEF_DELAYED) ? SYM_DefineDelayed : SYM_Define;
    }

    // e (borrowed) with its head and arguments evaluated, as an assignment
    // stores a left side; a new reference.
    static Object *ArgumentsEvaluated(Object *e) {
        Object *x = Object_MakeUnique(Object_Clone(e));
        Object **elements = AsExpression(x)->elements;
        for (int64_t i = 0; i <= Expression_Length(x); ++i) elements[i] = Object_Evaluate(elements[i]);
        return x;
    }

    // Checks that each line of s's listing parses: a native's line as its
    // stored pattern (up to what evaluating the arguments settles, as the
    // formatter writes DirectedInfinity(1) as Infinity), an assignment's as
    // a call of the assignment that made it.
    static void ExpectParses(Object *s) {
        std::string name = Narrow(Symbol_Name(AsSymbol(s)));
        std::vector<std::u16string> lines = Listing(s);
        std::vector<DefinitionEntry *> shown = Shown(s);
        if (shown.empty()) {
            EXPECT_EQ(lines, std::vector<std::u16string>{u"/* no definitions */"}) << name;
            return;
        }
        ASSERT_EQ(lines.size(), shown.size()) << name;
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string line = name + ": " + Narrow(lines[i]);
            bool syntaxError = false;
            Ref parsed(Parser_ParseText(lines[i], &syntaxError));
            ASSERT_FALSE(syntaxError) << line << ": " << Narrow(Parser_LastError());
            ASSERT_TRUE(parsed.get()) << line;
            const DefinitionEntry *e = shown[i];
            if (e->right) {
                EXPECT_TRUE(Native_IsCall(parsed.get(), AssignmentHead(e->flags))) << line;
                EXPECT_EQ(Expression_Length(parsed.get()), 2) << line;
                continue;
            }
            ASSERT_TRUE(Object_IsExpression(parsed.get())) << line;
            Ref read(ArgumentsEvaluated(parsed.get())), stored(ArgumentsEvaluated(e->left));
            EXPECT_TRUE(Object_Same(read.get(), stored.get())) << line << " stored as " << Narrow(Format_Full(e->left));
        }
    }
};

TEST_F(ListingTest, EveryBuiltinListingParses) {
    for (int id = 0; id < SYM_COUNT; ++id) ExpectParses(BuiltinBorrowed(BuiltinSymbol(id)));
}

// Running the listed lines again, after the symbols were cleared, makes
// the same definitions: the listing of each symbol comes out the same.
TEST_F(ListingTest, UserDefinitionsReadBack) {
    // Each shape on a head of its own, as left sides that differ only in
    // the names of their patterns would replace one another.
    const char16_t *definitions[] = {
        u"u(x?, y?:1) := x + y",
        u"u(x?Integer, y\?\?) := {x, y}",
        u"u(x\?\?\?) := Length({x})",
        u"u(1 | 2) = small",
        u"u(x? /? x > 0, z?) := x - z",
        u"u(\"q\\\"uote\", 'b\\x80') = \"line\\nbreak\"",
        u"u(a, b, c) = -1/3",
        u"u(0.5) = -2.25",
        u"rules(r?) := r -> (s :> t)",
        u"parts(p?List) := p[1] + p[[2]]",
        u"compound(f?) := (m = f; m^-2)",
        u"function(g?, h?) := (#1 + g) & (h)",
        u"logic(n?) := !n && (n || False)",
        u"factorial(k?) := k!",
        u"output(o?) := Output(o, 2)",
        u"w(v(x?)) @:= x",
        u"w(v(1)) @= -x",
        u"own := RandomNumber + 1",
        u"assigned = (side = 1)",
    };
    for (const char16_t *text : definitions) EvaluateText(text);
    EXPECT_TRUE(Host().messages.empty());
    const char16_t *names[] = {u"u", u"rules", u"parts", u"compound", u"function", u"logic",
                               u"factorial", u"output", u"v", u"own", u"assigned"};
    std::vector<std::vector<std::u16string>> listed;
    for (const char16_t *name : names) {
        Ref s(Sym(name));
        listed.push_back(Listing(s.get()));
        EXPECT_FALSE(listed.back().empty());
        Object_Release(Evaluate_TopLevel(Expression_New(Builtin(SYM_Clear), s.release())));
    }
    EXPECT_EQ(listed[0].size(), 8u);
    for (const std::vector<std::u16string> &lines : listed)
        for (const std::u16string &line : lines) EvaluateText(line.c_str());
    EXPECT_TRUE(Host().messages.empty());
    for (size_t i = 0; i < std::size(names); ++i) {
        Ref s(Sym(names[i]));
        EXPECT_EQ(Listing(s.get()), listed[i]) << Narrow(names[i]);
    }
}

// The name check is compiled once and lives with the front end: a reset
// keeps it (the tokenizer's delimiters have not changed), shut-down frees
// it, and the next start builds it again.
TEST_F(ListingTest, NameCheckLivesWithTheFrontEnd) {
    EXPECT_EQ(kernel.syntax.namePattern, 0);
    EXPECT_EQ(EvaluateText(u"ToSymbol(\"ok1\")"), u"ok1");
    int64_t pattern = kernel.syntax.namePattern;
    EXPECT_NE(pattern, 0);
    Kernel_Reset();
    BindRecordingCallbacks();
    EXPECT_EQ(kernel.syntax.namePattern, pattern);
    EXPECT_EQ(EvaluateText(u"ToSymbol(\"1ok\")"), u"ToSymbol(\"1ok\")");
    EXPECT_EQ(EvaluateText(u"ToSymbol(\"ok2\")"), u"ok2");
    Kernel_Terminate();
    EXPECT_EQ(kernel.syntax.namePattern, 0);
    Kernel_Initialize();
    BindRecordingCallbacks();
    EXPECT_EQ(EvaluateText(u"ToSymbol(\"ok3\")"), u"ok3");
    EXPECT_EQ(EvaluateText(u"ToSymbol(\"o k\")"), u"ToSymbol(\"o k\")");
}

TEST_F(ListingTest, WildcardMatch) {
    struct Case {
        const char16_t *pattern, *name;
        bool matches;
    } cases[] = {
        {u"", u"", true},           {u"", u"a", false},          {u"*", u"", true},
        {u"**", u"abc", true},      {u"?", u"", false},          {u"*?", u"", false},
        {u"a*", u"a", true},        {u"a***", u"abc", true},     {u"*c", u"abc", true},
        {u"*ab", u"aab", true},     {u"a*b*c", u"abxbc", true},  {u"a*b*c", u"abxbd", false},
        {u"*a*a", u"aaa", true},    {u"*a*a*a*a", u"aaa", false}, {u"a?c", u"abc", true},
        {u"a?c", u"ac", false},     {u"ABC", u"abc", false},     {u"a", u"ab", false},
        {u"?", u"\U0001F600", true}, {u"??", u"\U0001F600", false}, {u"*?x", u"\U0001F600x", true},
        {u"?\U0001F600", u"a\U0001F600", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SymbolNames_WildcardMatch(c.pattern, c.name), c.matches)
            << Narrow(c.pattern) << " against " << Narrow(c.name);
}

TEST_F(ListingTest, DefinitionsWithoutPrintCallback) {
    EvaluateText(u"quiet = 1");
    Kernel_BindCallback(1, nullptr);
    Ref s(Sym(u"quiet"));
    std::vector<int64_t> before = PoolCounts();
    EXPECT_TRUE(Listing(s.get()).empty());
    EXPECT_EQ(PoolCounts(), before);
}

}  // namespace
