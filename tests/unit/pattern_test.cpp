#include "kernel_fixture.h"

#include <map>

#include "eval/pattern.h"
#include "number/real.h"
#include "syntax/formatter.h"
#include "syntax/grammar.h"

namespace {

class PatternTest : public KernelTest {
protected:
    // The expression of a text, unevaluated; a new reference.
    static Object *Parse(const char16_t *text) {
        Object *e = Parser_ParseText(text);
        EXPECT_NE(e, nullptr) << Narrow(text);
        return e;
    }

    static void SetAttribute(const char16_t *name, uint64_t bits) {
        Object *s = Sym(name);
        Symbol_Record(s, true)->attributes |= bits;
        Object_Release(s);
    }

    // The standard form of every binding's value, by name.
    static std::map<std::u16string, std::u16string> ValuesOf(const BindingList &list) {
        std::map<std::u16string, std::u16string> values;
        for (const Binding &b : list.items)
            values[std::u16string(Symbol_Name(AsSymbol(b.name)))] = b.value ? Format_Standard(b.value) : u"<none>";
        return values;
    }

    struct Outcome {
        bool matched;
        std::map<std::u16string, std::u16string> values;
    };

    // Matches subject against pattern (both consumed) with the pattern's
    // names collected first, the way a definition entry does.
    static Outcome MatchObjects(Object *subject, Object *pattern) {
        BindingList list;
        Pattern_CollectNames(pattern, &list);
        MatchState *state = MatchState_New();
        Outcome o;
        o.matched = Pattern_Match(subject, pattern, &list, state, false, nullptr) != 0;
        o.values = ValuesOf(list);
        Bindings_Free(&list);
        MatchState_Free(state);
        Object_Release(subject);
        Object_Release(pattern);
        return o;
    }

    static Outcome Match(const char16_t *subject, const char16_t *pattern) {
        return MatchObjects(Parse(subject), Parse(pattern));
    }

    static bool Matches(const char16_t *subject, const char16_t *pattern) { return Match(subject, pattern).matched; }

    // The partial-match result of subject against pattern, "<full>" for a
    // full match and "<none>" for no match.
    static std::u16string Partial(const char16_t *subject, const char16_t *pattern) {
        Object *s = Parse(subject);
        Object *p = Parse(pattern);
        BindingList list;
        Pattern_CollectNames(p, &list);
        Object *result = nullptr;
        int matched = Pattern_Match(s, p, &list, nullptr, true, &result);
        std::u16string text = !matched ? u"<none>" : result ? StandardText(result) : u"<full>";
        Bindings_Free(&list);
        Object_Release(s);
        Object_Release(p);
        return text;
    }

    // f[f[...f[leaf]...]] nested depth levels; a new reference.
    static Object *Nest(const char16_t *head, Object *leaf, int depth) {
        Object *e = leaf;
        for (int i = 0; i < depth; ++i) e = Call(head, e);
        return e;
    }
};

using ValueMap = std::map<std::u16string, std::u16string>;

TEST_F(PatternTest, SequencesStartShortAndTheRightmostGrows) {
    Outcome o = Match(u"f(1, 2, 3)", u"f(x?\?, y?\?)");
    EXPECT_TRUE(o.matched);
    EXPECT_EQ(o.values, (ValueMap{{u"x", u"1"}, {u"y", u"Sequence(2, 3)"}}));

    o = Match(u"f(1)", u"f(x?\?\?, y?)");
    EXPECT_TRUE(o.matched);
    EXPECT_EQ(o.values, (ValueMap{{u"x", u"Sequence()"}, {u"y", u"1"}}));

    o = Match(u"f(1, 2, 3, 4)", u"f(x?, y?\?\?, z?\?)");
    EXPECT_EQ(o.values, (ValueMap{{u"x", u"1"}, {u"y", u"Sequence()"}, {u"z", u"Sequence(2, 3, 4)"}}));

    EXPECT_FALSE(Matches(u"f()", u"f(x?\?)"));
    EXPECT_TRUE(Matches(u"f()", u"f(x?\?\?)"));
    EXPECT_FALSE(Matches(u"f(1, 2)", u"f(x?)"));
    EXPECT_FALSE(Matches(u"g(1)", u"f(x?)"));
    // The head is matched like any element; a blank head binds it.
    EXPECT_EQ(Match(u"g(1)", u"h?(x?)").values, (ValueMap{{u"h", u"g"}, {u"x", u"1"}}));
}

TEST_F(PatternTest, RepeatedNamesMustStandForTheSameThing) {
    EXPECT_TRUE(Matches(u"f(1, 1)", u"f(x?, x?)"));
    EXPECT_FALSE(Matches(u"f(1, 2)", u"f(x?, x?)"));
    Object *mixed = Call(u"f", Int(1), Real_FromDouble(1.0));
    EXPECT_FALSE(MatchObjects(mixed, Parse(u"f(x?, x?)")).matched);

    Outcome o = Match(u"f(1, 2, 1, 2)", u"f(x?\?, x?\?)");
    EXPECT_TRUE(o.matched);
    EXPECT_EQ(o.values.at(u"x"), u"Sequence(1, 2)");
    EXPECT_FALSE(Matches(u"f(1, 2, 1)", u"f(x?\?, x?\?)"));
    EXPECT_FALSE(Matches(u"f(1, 2, 2, 1)", u"f(x?\?, x?\?)"));
    EXPECT_EQ(Match(u"f(1, 2, 3, 1, 2)", u"f(x?\?, y?, x?\?)").values,
              (ValueMap{{u"x", u"Sequence(1, 2)"}, {u"y", u"3"}}));
    // A sequence of one argument is the argument itself, on either side.
    EXPECT_TRUE(Matches(u"f(1, 1)", u"f(x?, x?\?)"));
    EXPECT_TRUE(Matches(u"f(1, 1)", u"f(x?\?, x?)"));
    EXPECT_TRUE(Matches(u"f(1, 1)", u"f(x?, x?\?\?)"));
    EXPECT_FALSE(Matches(u"f(1, 1, 1)", u"f(x?, x?\?)"));
    // Two empty sequences are the same.
    EXPECT_EQ(Match(u"f(1)", u"f(x?\?\?, 1, x?\?\?)").values.at(u"x"), u"Sequence()");
    // Names inside nested expressions bind across levels.
    EXPECT_TRUE(Matches(u"f(g(a), a)", u"f(g(x?), x?)"));
    EXPECT_FALSE(Matches(u"f(g(a), b)", u"f(g(x?), x?)"));
}

TEST_F(PatternTest, TypedBlanksTestTheHead) {
    EXPECT_TRUE(Matches(u"f(3)", u"f(x?Integer)"));
    Object *real = Call(u"f", Real_FromDouble(3.5));
    EXPECT_FALSE(MatchObjects(real, Parse(u"f(x?Integer)")).matched);
    real = Call(u"f", Real_FromDouble(3.5));
    EXPECT_TRUE(MatchObjects(real, Parse(u"f(x?Real)")).matched);
    EXPECT_FALSE(Matches(u"f(3)", u"f(x?Real)"));
    EXPECT_TRUE(Matches(u"f(g(1))", u"f(?g)"));
    EXPECT_TRUE(Matches(u"f('text')", u"f(?String)"));

    EXPECT_EQ(Match(u"f(1, 2, a)", u"f(x?\?Integer, y?)").values,
              (ValueMap{{u"x", u"Sequence(1, 2)"}, {u"y", u"a"}}));
    EXPECT_FALSE(Matches(u"f(1, a, 2)", u"f(x?\?Integer, y?)"));
    EXPECT_EQ(Match(u"f(a)", u"f(x?\?\?Integer, y?)").values, (ValueMap{{u"x", u"Sequence()"}, {u"y", u"a"}}));
    EXPECT_FALSE(Matches(u"f(a, b)", u"f(x?\?\?Integer, y?)"));
}

TEST_F(PatternTest, OptionalElementsFallBackToTheirDefault) {
    EXPECT_EQ(Match(u"f(1)", u"f(x?, y? : 5)").values, (ValueMap{{u"x", u"1"}, {u"y", u"5"}}));
    EXPECT_EQ(Match(u"f(1, 2)", u"f(x?, y? : 5)").values, (ValueMap{{u"x", u"1"}, {u"y", u"2"}}));
    EXPECT_FALSE(Matches(u"f(1, 2, 3)", u"f(x?, y? : 5)"));
    // The default is matched against the optional pattern on its own, so a
    // sequence pattern binds the whole default.
    EXPECT_EQ(Match(u"f(1)", u"f(x?, y?\? : g(0))").values.at(u"y"), u"g(0)");
    // A typed optional whose argument has the wrong head leaves it to the
    // next element.
    EXPECT_EQ(Match(u"f(a)", u"f(n?Integer : 0, s?)").values, (ValueMap{{u"n", u"0"}, {u"s", u"a"}}));
    // A default that does not fit the pattern gives no match.
    EXPECT_FALSE(Matches(u"f()", u"f(n?Integer : a)"));
}

TEST_F(PatternTest, AlternativesAreRetriedOnBacktracking) {
    EXPECT_TRUE(Matches(u"f(b)", u"f(a | b)"));
    EXPECT_FALSE(Matches(u"f(c)", u"f(a | b)"));
    EXPECT_TRUE(Matches(u"b", u"a | b"));
    EXPECT_FALSE(Matches(u"f()", u"f(a | b)"));
    // The first alternative fits the first argument but leaves the rest
    // unmatched; the second one, as a sequence, has to grow to two
    // arguments.
    Outcome o = Match(u"f(a, b, c)", u"f(a | x?\?, c)");
    EXPECT_TRUE(o.matched);
    EXPECT_EQ(o.values.at(u"x"), u"Sequence(a, b)");
    // Names of the alternative not taken stay unbound.
    EXPECT_EQ(Match(u"f(2)", u"f(x?Real | y?Integer)").values, (ValueMap{{u"x", u"Sequence()"}, {u"y", u"2"}}));
}

TEST_F(PatternTest, ConditionsSeeTheBindingsAndFailedTestsBacktrack) {
    // True and False evaluate to themselves, so a test that is a name holds
    // exactly when the name is bound to True.
    EXPECT_TRUE(Matches(u"f(True)", u"f(x? /? x)"));
    EXPECT_FALSE(Matches(u"f(False)", u"f(x? /? x)"));
    // The test fails for the first split and holds for a later one.
    EXPECT_EQ(Match(u"f(True, a, True)", u"f(x?\?, y? /? y, z?\?\?)").values,
              (ValueMap{{u"x", u"Sequence(True, a)"}, {u"y", u"True"}, {u"z", u"Sequence()"}}));
    // At top level a failed test asks the pattern for its next match too.
    EXPECT_EQ(Match(u"f(a, True)", u"f(x?\?\?, y?\?) /? y").values, (ValueMap{{u"x", u"a"}, {u"y", u"True"}}));
    // ... including alternatives of an inner element that is not the last
    // one: t is bound only by the second alternative of the first element.
    EXPECT_EQ(Match(u"f(h(True, a))", u"f(h(u? | t?, v? | w?)) /? t").values,
              (ValueMap{{u"u", u"Sequence()"}, {u"t", u"True"}, {u"v", u"a"}, {u"w", u"Sequence()"}}));
    // When the pattern under a condition fails, it keeps what it can still
    // offer: here the optional element falls back to its default.
    EXPECT_EQ(Match(u"f(a)", u"f((x?Integer : 0) /? True, y?)").values, (ValueMap{{u"x", u"0"}, {u"y", u"a"}}));
}

TEST_F(PatternTest, ConditionTestsRunThroughTheEvaluator) {
    auto matching = [](Object *subject, const char16_t *pattern) {
        return StandardText(Object_Evaluate(Call(u"Matching", subject, Parse(pattern))));
    };
    EXPECT_EQ(matching(Call(u"f", Int(2)), u"f(x? /? x > 0)"), u"True");
    EXPECT_EQ(matching(Call(u"f", Int(-1)), u"f(x? /? x > 0)"), u"False");
    SetAttribute(u"o", ATTR_ORDERLESS);
    EXPECT_EQ(matching(Call(u"o", Int(-1), Int(2)), u"o(x? /? x > 0, y? /? y < 0)"), u"True");
    // A test over a sequence name is given the run of arguments.
    EXPECT_EQ(matching(Call(u"f", Int(1), Int(2), Int(3)), u"f(x?\?, y?\?) /? Same({x}, {1, 2})"), u"True");
}

TEST_F(PatternTest, FlatHeadsGroupRunsOfArguments) {
    SetAttribute(u"f", ATTR_FLAT);
    EXPECT_EQ(Match(u"f(a, b, c)", u"f(x?, y?)").values, (ValueMap{{u"x", u"a"}, {u"y", u"f(b, c)"}}));
    EXPECT_EQ(Match(u"f(a, b, c)", u"f(x?, y?, z?)").values, (ValueMap{{u"x", u"a"}, {u"y", u"b"}, {u"z", u"c"}}));
    // A single argument is bound as itself unless grouping is needed.
    EXPECT_EQ(Match(u"f(a, b, c)", u"f(x?, c)").values.at(u"x"), u"f(a, b)");
    // ?f groups only under the head f.
    EXPECT_EQ(Match(u"f(a, b, c)", u"f(x?f, c)").values.at(u"x"), u"f(a, b)");
    EXPECT_FALSE(Matches(u"f(a, b, c)", u"f(x?g, c)"));
    // Repeated names compare groupings as wholes.
    EXPECT_TRUE(Matches(u"f(a, b, a, b)", u"f(x?, x?)"));
    EXPECT_FALSE(Matches(u"f(a, b, a)", u"f(x?, x?)"));
    // Without Flat the same pattern needs exactly two arguments.
    EXPECT_FALSE(Matches(u"g(a, b, c)", u"g(x?, y?)"));
}

TEST_F(PatternTest, PartialMatchesFindTheWindowInAFlatArgumentList) {
    SetAttribute(u"f", ATTR_FLAT);
    EXPECT_EQ(Partial(u"f(c, a, b, d)", u"f(a, b)"), u"f(f(c), f(a, b), f(d))");
    EXPECT_EQ(Partial(u"f(a, b, d)", u"f(a, b)"), u"f(f(), f(a, b), f(d))");
    EXPECT_EQ(Partial(u"f(c, a, b)", u"f(a, b)"), u"f(f(c), f(a, b), f())");
    EXPECT_EQ(Partial(u"f(a, b)", u"f(a, b)"), u"<full>");
    EXPECT_EQ(Partial(u"f(c, a, d, b)", u"f(a, b)"), u"<none>");
    EXPECT_EQ(Partial(u"f(c, 1, 2, d)", u"f(x?Integer, y?Integer)"), u"f(f(c), f(1, 2), f(d))");
    // The leftmost window wins; a condition around the pattern still holds.
    EXPECT_EQ(Partial(u"f(a, b, a, b)", u"f(a, b)"), u"f(f(), f(a, b), f(a, b))");
    EXPECT_EQ(Partial(u"f(False, True, d)", u"f(x?) /? x"), u"f(f(False), f(True), f(d))");
    // Heads that are not Flat get no partial match.
    EXPECT_EQ(Partial(u"g(c, a, b, d)", u"g(a, b)"), u"<none>");
}

TEST_F(PatternTest, OrderlessSubjectsArePermutedOnAPrivateCopy) {
    SetAttribute(u"f", ATTR_ORDERLESS);
    EXPECT_TRUE(Matches(u"f(a, b)", u"f(b, a)"));
    EXPECT_TRUE(Matches(u"f(a, b, c)", u"f(c, a, b)"));
    EXPECT_FALSE(Matches(u"f(a, b, b)", u"f(a, a, b)"));
    // The condition fails for the first ordering and holds after a swap.
    EXPECT_EQ(Match(u"f(False, True)", u"f(x? /? x, y?)").values, (ValueMap{{u"x", u"True"}, {u"y", u"False"}}));
    EXPECT_EQ(Match(u"f(a, b, True)", u"f(x?, y? /? y, z?)").values.at(u"y"), u"True");
    EXPECT_EQ(Match(u"f(1, a, 2)", u"f(x?Integer, y?Symbol, z?)").values,
              (ValueMap{{u"x", u"1"}, {u"y", u"a"}, {u"z", u"2"}}));
    EXPECT_TRUE(Matches(u"f(a, b, a)", u"f(x?, x?, b)"));
    // A subject given out of canonical order still meets every ordering.
    EXPECT_TRUE(Matches(u"f(c, b, a)", u"f(a, x?, c)"));

    // The subject itself is never reordered.
    Object *subject = Parse(u"f(False, True)");
    Object *pattern = Parse(u"f(x? /? x, y?)");
    EXPECT_EQ(Pattern_Match(subject, pattern, nullptr, nullptr, false, nullptr), 1);
    EXPECT_EQ(StandardText(subject), u"f(False, True)");
    Object_Release(pattern);
}

TEST_F(PatternTest, FlatAndOrderlessPartialMatchesBringArgumentsToTheFront) {
    SetAttribute(u"f", ATTR_FLAT | ATTR_ORDERLESS);
    EXPECT_EQ(Partial(u"f(a, b, c)", u"f(c, a)"), u"f(f(), f(c, a), f(b))");
    EXPECT_EQ(Partial(u"f(a, b, c)", u"f(a, d)"), u"<none>");
}

TEST_F(PatternTest, UnknownOptionsAreReportedAndAccepted) {
    Outcome o = Match(u"f(0, b -> 5, c :> 7, b -> 6)", u"f(x?, Options(a -> 1, b -> 2))");
    EXPECT_TRUE(o.matched);
    EXPECT_EQ(o.values, (ValueMap{{u"x", u"0"}, {u"a", u"1"}, {u"b", u"5"}}));
    ASSERT_EQ(Host().messages.size(), 1u);
    EXPECT_EQ(Host().messages[0], u"Options::Unknown: Option c is unknown.");

    EXPECT_FALSE(Matches(u"f(0, b -> 5, 3)", u"f(x?, Options(b -> 2))"));
    EXPECT_EQ(Match(u"f(0)", u"f(x?, Options(b -> 2))").values.at(u"b"), u"2");
}

TEST_F(PatternTest, SubstituteReplacesNamesAndCopiesOnlyWhatIsShared) {
    BindingList list;
    Object *pattern = Parse(u"f(x?, y?\?\?)");
    Pattern_CollectNames(pattern, &list);
    Object *subject = Parse(u"f(1)");
    ASSERT_EQ(Pattern_Match(subject, pattern, &list, nullptr, false, nullptr), 1);

    // Bound names, heads included; the unbound sequence y becomes empty.
    uint64_t flags = 0;
    Object *e = Pattern_Substitute(Parse(u"x(g(x, y), z)"), &list, &flags);
    EXPECT_TRUE(flags & SUBST_CHANGED);
    EXPECT_EQ(StandardText(e), u"1(g(1, Sequence()), z)");

    // Unshared: changed in place. Shared: the holder keeps the original.
    Object *own = Parse(u"g(h(x), k(z))");
    Object *inner = Expression_At(own, 1);
    Object *result = Pattern_Substitute(own, &list, nullptr);
    EXPECT_EQ(result, own);
    EXPECT_EQ(Expression_At(result, 1), inner);
    EXPECT_EQ(StandardText(result), u"g(h(1), k(z))");

    Object *shared = Parse(u"g(h(x), k(z))");
    Object *untouched = Object_AddRef(Expression_At(shared, 2));
    result = Pattern_Substitute(Object_AddRef(shared), &list, nullptr);
    EXPECT_NE(result, shared);
    EXPECT_EQ(Expression_At(result, 2), untouched);  // unchanged parts are shared
    EXPECT_EQ(StandardText(result), u"g(h(1), k(z))");
    EXPECT_EQ(StandardText(shared), u"g(h(x), k(z))");
    Object_Release(untouched);

    // Copy mode never writes into its argument.
    Object *copied = Parse(u"g(x)");
    Object_AddRef(copied);
    flags = SUBST_COPY;
    result = Pattern_Substitute(copied, &list, &flags);
    EXPECT_NE(result, copied);
    EXPECT_EQ(StandardText(copied), u"g(x)");
    EXPECT_EQ(StandardText(result), u"g(1)");

    flags = 0;
    result = Pattern_Substitute(Parse(u"g(z)"), &list, &flags);
    EXPECT_FALSE(flags & SUBST_CHANGED);
    Object_Release(result);

    Bindings_Free(&list);
    Object_Release(subject);
    Object_Release(pattern);
}

TEST_F(PatternTest, CollectNamesFollowsFirstAppearance) {
    BindingList list;
    Object *pattern = Parse(u"f(y?, g(x?\?, y?), Options(a -> 1, b :> 2, 3), z? : 0)");
    Pattern_CollectNames(pattern, &list);
    std::vector<std::u16string> names;
    for (const Binding &b : list.items) names.emplace_back(Symbol_Name(AsSymbol(b.name)));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"y", u"x", u"a", u"b", u"z"}));
    EXPECT_EQ(Format_Standard(list.items[2].defaultValue), u"1");
    EXPECT_EQ(list.items[0].defaultValue, nullptr);
    Bindings_Free(&list);
    Object_Release(pattern);
}

TEST_F(PatternTest, BindingsAreForgottenOnFailureAndNothingLeaks) {
    SetAttribute(u"o", ATTR_ORDERLESS);
    SetAttribute(u"f", ATTR_FLAT);
    BindingList list;
    Object *pattern = Parse(u"f(x?\?, o(y?, z? /? z), w? : 1)");
    Pattern_CollectNames(pattern, &list);
    MatchState *state = MatchState_New();
    Object *hit = Parse(u"f(a, b, o(True, False))");
    Object *miss = Parse(u"f(a, b, o(False, False))");
    Object *window = Parse(u"f(b)");
    std::vector<int64_t> before = PoolCounts();

    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(Pattern_Match(hit, pattern, &list, state, false, nullptr), 1);
        EXPECT_EQ(ValuesOf(list),
                  (ValueMap{{u"x", u"Sequence(a, b)"}, {u"y", u"False"}, {u"z", u"True"}, {u"w", u"1"}}));
        Bindings_Clear(&list);
        ASSERT_EQ(Pattern_Match(miss, pattern, &list, state, false, nullptr), 0);
        for (const Binding &b : list.items) {
            EXPECT_EQ(b.value, nullptr);
            EXPECT_EQ(b.definingState, nullptr);
        }
        Object *result = nullptr;
        ASSERT_EQ(Pattern_Match(hit, window, nullptr, nullptr, true, &result), 1);
        EXPECT_EQ(StandardText(result), u"f(f(a), f(b), f(o(True, False)))");
        EXPECT_EQ(PoolCounts(), before);
    }
    Object_Release(hit);
    Object_Release(miss);
    Object_Release(window);
    Bindings_Free(&list);
    MatchState_Free(state);
    Object_Release(pattern);
}

TEST_F(PatternTest, ABusyBindingListIsLeftAlone) {
    BindingList list;
    Object *pattern = Parse(u"f(x?)");
    Pattern_CollectNames(pattern, &list);
    list.busy = true;
    Object *subject = Parse(u"f(1)");
    EXPECT_EQ(Pattern_Match(subject, pattern, &list, nullptr, false, nullptr), 1);
    EXPECT_EQ(list.items[0].value, nullptr);
    list.busy = false;
    Bindings_Free(&list);
    Object_Release(subject);
    Object_Release(pattern);
}

TEST_F(PatternTest, MatchingBuiltinAnswersTrueOrFalse) {
    EXPECT_EQ(StandardText(Builtin_Matching(Parse(u"Matching(f(1, 2), f(x?\?))"))), u"True");
    EXPECT_EQ(StandardText(Builtin_Matching(Parse(u"Matching(f(1, 2), g(x?\?))"))), u"False");
}

TEST_F(PatternTest, DeepSubjectsAndPatternsCostNoNativeStack) {
    constexpr int depth = 100000;
    std::vector<int64_t> before = PoolCounts();
    {
        // A shallow pattern against a deep subject.
        Object *subject = Nest(u"f", Sym(u"a"), depth);
        Object *shallow = Parse(u"f(f(x?))");
        EXPECT_EQ(Pattern_Match(subject, shallow, nullptr, nullptr, false, nullptr), 1);
        Object_Release(shallow);

        // A deep literal pattern against an equal and an unequal subject.
        for (const char16_t *leaf : {u"a", u"b"}) {
            Object *literal = Nest(u"f", Sym(leaf), depth);
            EXPECT_EQ(Pattern_Match(subject, literal, nullptr, nullptr, false, nullptr), leaf[0] == u'a');
            Object_Release(literal);
        }

        // A deep pattern with a name at the bottom, and a substitution of
        // the name throughout a deep expression.
        BindingList list;
        Object *pattern = Nest(u"f", Parse(u"x?"), depth);
        Pattern_CollectNames(pattern, &list);
        ASSERT_EQ(Pattern_Match(subject, pattern, &list, nullptr, false, nullptr), 1);
        EXPECT_EQ(Format_Standard(list.items[0].value), u"a");
        Object *e = Pattern_Substitute(Nest(u"g", Sym(u"x"), depth), &list, nullptr);
        Object *bottom = e;
        while (Object_IsExpression(bottom)) bottom = Expression_At(bottom, 1);
        EXPECT_EQ(Format_Standard(bottom), u"a");
        Object_Release(e);
        Bindings_Free(&list);
        Object_Release(pattern);
        Object_Release(subject);
    }
    EXPECT_EQ(PoolCounts(), before);
}

}  // namespace
