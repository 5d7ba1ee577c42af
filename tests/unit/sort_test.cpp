#include "kernel_fixture.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "eval/definition.h"
#include "eval/sort.h"
#include "number/number_arith.h"
#include "number/real.h"

namespace {

class SortTest : public KernelTest {
protected:
    // The values of a list of small integers; borrows the list.
    static std::vector<int64_t> Values(Object *list) {
        std::vector<int64_t> values;
        for (int64_t i = 1; i <= Expression_Length(list); ++i) values.push_back(AsInteger(Expression_At(list, i))->small);
        return values;
    }
    static Object *Bytes(const char *text) { return String_New(text, int64_t(std::strlen(text)), SUB_BYTES); }
    // Sorts list (consumed), which a fast path takes, and the same objects
    // with a symbol behind them, which sends the sort down the general path
    // (the symbol sorts after every number and string): both must put the
    // objects in the same order.
    static void ExpectTheGeneralSortsOrder(Object *list) {
        int64_t n = Expression_Length(list);
        Object *general = Expression_NewSized(Sym(u"List"), n + 1);
        for (int64_t i = 1; i <= n; ++i) AsExpression(general)->elements[i] = Object_AddRef(Expression_At(list, i));
        AsExpression(general)->elements[n + 1] = Sym(u"z");
        list = Expression_Sort(list, nullptr, 1);
        general = Expression_Sort(general, nullptr, 1);
        for (int64_t i = 1; i <= n; ++i) EXPECT_EQ(Expression_At(list, i), Expression_At(general, i)) << n << " at " << i;
        Object_Release(list);
        Object_Release(general);
    }
};

TEST_F(SortTest, SortedInputIsReturnedUntouched) {
    for (const std::vector<int64_t> &values : std::vector<std::vector<int64_t>>{{}, {1}, {1, 2}, {1, 2, 2}, {1, 2, 3, 4, 5}}) {
        Object *list = Ints(values);
        AsExpression(list)->stamp = 7;
        Object *sorted = Expression_Sort(list, nullptr, 1);
        EXPECT_EQ(sorted, list);
        EXPECT_EQ(AsExpression(sorted)->stamp, 7);
        Object_Release(sorted);
    }
}

TEST_F(SortTest, EveryOrderOfTwoAndThreeElementsSorts) {
    for (std::vector<int64_t> values : {std::vector<int64_t>{1, 2}, std::vector<int64_t>{1, 2, 3}}) {
        do {
            Object *sorted = Expression_Sort(Ints(values), nullptr, 1);
            std::vector<int64_t> expected = values;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(Values(sorted), expected);
            Object_Release(sorted);
        } while (std::next_permutation(values.begin(), values.end()));
    }
}

TEST_F(SortTest, LongShuffledListsSort) {
    std::mt19937 random(12345);
    for (int n : {4, 5, 7, 64, 1000}) {
        std::vector<int64_t> values(static_cast<size_t>(n));
        for (auto &v : values) v = int64_t(random() % 50) - 25;
        Object *sorted = Expression_Sort(Ints(values), nullptr, 1);
        std::sort(values.begin(), values.end());
        EXPECT_EQ(Values(sorted), values) << n;
        Object_Release(sorted);
    }
}

TEST_F(SortTest, TiesKeepTheirInputOrder) {
    // Equal text in the two storage kinds is order-equal but distinguishable.
    for (int n : {1, 2, 3, 5}) {
        std::vector<Object *> ties;
        Object *list = Expression_NewSized(Sym(u"List"), 2 * n);
        for (int i = 0; i < n; ++i) {
            ties.push_back(i % 2 ? Text("m") : Bytes("m"));
            AsExpression(list)->elements[2 * i + 1] = Text(i % 3 ? "z" : "a");
            AsExpression(list)->elements[2 * i + 2] = ties.back();
        }
        Object *sorted = Expression_Sort(list, nullptr, 1);
        std::vector<Object *> order;
        for (int64_t i = 1; i <= Expression_Length(sorted); ++i)
            if (String_Text(Expression_At(sorted, i)) == u"m") order.push_back(Expression_At(sorted, i));
        EXPECT_EQ(order, ties) << n;
        Object_Release(sorted);
    }
}

TEST_F(SortTest, ASharedExpressionIsCopiedAndTheHeadNeverMoves) {
    Object *list = Call(u"z", Int(3), Int(1), Int(2));
    Object_AddRef(list);
    Object *sorted = Expression_Sort(list, nullptr, 1);
    EXPECT_NE(sorted, list);
    EXPECT_EQ(Values(sorted), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(Values(list), (std::vector<int64_t>{3, 1, 2}));
    EXPECT_EQ(Expression_At(sorted, 0), Expression_At(list, 0));
    Object_Release(sorted);
    Object_Release(list);
}

TEST_F(SortTest, SortingCanStartPastTheFirstArgument) {
    Object *sorted = Expression_Sort(Ints({9, 3, 1, 2}), nullptr, 2);
    EXPECT_EQ(Values(sorted), (std::vector<int64_t>{9, 1, 2, 3}));
    Object_Release(sorted);
    Object *single = Ints({2, 1});
    EXPECT_EQ(Expression_Sort(single, nullptr, 2), single);
    Object_Release(single);
}

// Ordering functions as natives: "descending" answers False when its first
// argument is the smaller, "reversing" always answers -1, "keeping" 0.
Object *Descending(Object *call) {
    bool smaller = AsInteger(Expression_At(call, 1))->small < AsInteger(Expression_At(call, 2))->small;
    return Object_ReleaseReturn(call, Builtin(smaller ? SYM_False : SYM_True));
}
Object *Reversing(Object *call) { return Object_ReleaseReturn(call, Integer_FromSmall(-1)); }
Object *Keeping(Object *call) { return Object_ReleaseReturn(call, Integer_FromSmall(0)); }

TEST_F(SortTest, AnOrderingFunctionDecidesThroughItsValue) {
    struct Case {
        const char16_t *name;
        NativeFunction native;
        std::vector<int64_t> input, expected;
    } cases[] = {
        {u"descending", Descending, {1, 3, 2, 3, 5, 4}, {5, 4, 3, 3, 2, 1}},
        {u"reversing", Reversing, {1, 2}, {2, 1}},
        {u"keeping", Keeping, {3, 1, 2, 5, 4}, {3, 1, 2, 5, 4}},
    };
    for (const Case &c : cases) {
        Symbol_DefineNative(Call(c.name, Sym(u"Any"), Sym(u"Any")), 0, c.native, nullptr);
        Object *f = Sym(c.name);
        Object *sorted = Expression_Sort(Ints(c.input), f, 1);
        EXPECT_EQ(Values(sorted), c.expected) << Narrow(c.name);
        Object_Release(sorted);
        Object_Release(f);
    }
    // Equal elements keep their input order under an ordering function too.
    Object *f = Sym(u"descending");
    Object *list = Call(u"List", Int(2), Int(7), Int(2));
    Object *first = Expression_At(list, 1), *last = Expression_At(list, 3);
    Object *sorted = Expression_Sort(list, f, 1);
    EXPECT_EQ(Expression_At(sorted, 2), first);
    EXPECT_EQ(Expression_At(sorted, 3), last);
    Object_Release(sorted);
    Object_Release(f);
}

TEST_F(SortTest, AnOrderingFunctionThatNeverAnswersLeavesTheOrder) {
    Object *f = Sym(u"undefinedOrder");
    Object *list = Ints({3, 1, 2, 5, 4});
    EXPECT_EQ(Expression_Sort(list, f, 1), list);
    EXPECT_EQ(Values(list), (std::vector<int64_t>{3, 1, 2, 5, 4}));
    Object_Release(list);
    Object_Release(f);
}

TEST_F(SortTest, DedupeRemovesAdjacentDuplicatesOnly) {
    Object *deduped = Expression_Dedupe(Ints({1, 1, 2, 2, 2, 3, 1}));
    EXPECT_EQ(Values(deduped), (std::vector<int64_t>{1, 2, 3, 1}));
    Object_Release(deduped);
    // Integers and reals of equal value are not the same.
    Object *mixed = Expression_Dedupe(Call(u"List", Int(1), Real_FromDouble(1.0), Real_FromDouble(1.0)));
    EXPECT_EQ(Expression_Length(mixed), 2);
    Object_Release(mixed);
    Object *unique = Ints({1, 2, 3});
    AsExpression(unique)->stamp = 5;
    EXPECT_EQ(Expression_Dedupe(unique), unique);
    EXPECT_EQ(AsExpression(unique)->stamp, 5);
    Object_Release(unique);
    Object *empty = Ints({});
    EXPECT_EQ(Expression_Dedupe(empty), empty);
    Object_Release(empty);
}

TEST_F(SortTest, DedupeOfASharedExpressionLeavesTheOriginal) {
    Object *list = Ints({4, 4, 5});
    Object_AddRef(list);
    Object *deduped = Expression_Dedupe(list);
    EXPECT_NE(deduped, list);
    EXPECT_EQ(Values(deduped), (std::vector<int64_t>{4, 5}));
    EXPECT_EQ(Values(list), (std::vector<int64_t>{4, 4, 5}));
    Object_Release(deduped);
    Object_Release(list);
}

TEST_F(SortTest, SortingLeaksNothing) {
    std::vector<int64_t> before = PoolCounts();
    Object *sorted = Expression_Dedupe(Expression_Sort(Ints({5, 3, 5, 1, 3, 3, 9, 0}), nullptr, 1));
    EXPECT_EQ(Values(sorted), (std::vector<int64_t>{0, 1, 3, 5, 9}));
    Object_Release(sorted);
    EXPECT_EQ(PoolCounts(), before);
}

}  // namespace

namespace {

// Machine integers take the sort of their words; everything else, the merge
// sort of pairs. Both must give the same permutation.
TEST_F(SortTest, MachineIntegersSortAsEveryOtherValueWould) {
    std::mt19937 random(777);
    for (int n : {2, 3, 17, 1000}) {
        std::vector<int64_t> values(static_cast<size_t>(n));
        for (auto &v : values) v = int64_t(random() % 40) + 1000;  // many ties, none a shared constant
        Object *fast = Ints(values);
        ExpectTheGeneralSortsOrder(fast);
    }
}

TEST_F(SortTest, EveryOrderOfTwoAndThreeRealsSorts) {
    for (std::vector<double> values : {std::vector<double>{1.5, 2.5}, std::vector<double>{1.5, 2.5, 3.5}}) {
        do {
            Object *list = Expression_NewSized(Sym(u"List"), int64_t(values.size()));
            for (size_t i = 0; i < values.size(); ++i) AsExpression(list)->elements[i + 1] = Real_FromDouble(values[i]);
            Object *sorted = Expression_Sort(list, nullptr, 1);
            for (int64_t i = 1; i < Expression_Length(sorted); ++i)
                EXPECT_LT(Number_ToDouble(Expression_At(sorted, i)), Number_ToDouble(Expression_At(sorted, i + 1)));
            Object_Release(sorted);
        } while (std::next_permutation(values.begin(), values.end()));
    }
}

// Strings take the keyed sort of their references; the merge sort of pairs
// must give the same permutation, ties (duplicates, and equal text in the
// two subtypes) in their input order.
TEST_F(SortTest, StringsSortAsEveryOtherValueWould) {
    // Lists of one storage kind only: a text string against a byte string
    // is compared by bytes, and a mix of the two orders need not be
    // consistent, so that only its own algorithm decides it.
    const std::vector<std::string> pieces = {"a", "A", "ab", "b", "-", " ", "1", "\xC3\xA9", "e\xCC\x81",
                                             "\xEE\x80\x80", "\xF0\x90\x80\x80", "\xED\xA0\x80", "\xE4\xB8\x80",
                                             "\xEF\xBF\xBF", "\xFF", std::string(1, '\0')};
    std::mt19937 random(99);
    for (uint64_t subtype : {SUB_UTF8, SUB_BYTES})
        for (int n : {2, 3, 17, 1000}) {
            Object *fast = Expression_NewSized(Sym(u"List"), n);
            for (int i = 1; i <= n; ++i) {
                std::string text;
                for (size_t k = random() % 5; k > 0; --k) text += pieces[random() % pieces.size()];
                AsExpression(fast)->elements[i] = String_New(text.data(), int64_t(text.size()), subtype);
            }
            ExpectTheGeneralSortsOrder(fast);
        }
}

TEST_F(SortTest, SortedStringsAreReturnedUntouched) {
    Object *list = Call(u"List", Text("a"), Bytes("a"), Text("a"), Text("b\xC3\xA9"));
    AsExpression(list)->stamp = 9;
    Object *sorted = Expression_Sort(list, nullptr, 1);
    EXPECT_EQ(sorted, list);
    EXPECT_EQ(AsExpression(sorted)->stamp, 9);
    // From the second argument on, a string out of place before them moves
    // nothing.
    Object *tail = Call(u"List", Text("z"), Text("a"), Text("b"));
    EXPECT_EQ(Expression_Sort(tail, nullptr, 2), tail);
    Object_Release(sorted);
    Object_Release(tail);
}

}  // namespace
