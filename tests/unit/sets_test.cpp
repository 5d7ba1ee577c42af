#include "kernel_fixture.h"

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <vector>

#include "eval/sets.h"

namespace {

class SetsTest : public KernelTest {
protected:
    // The values of a list of small integers; consumes the list.
    static std::vector<int64_t> Values(Object *list) {
        std::vector<int64_t> values;
        for (int64_t i = 1; i <= Expression_Length(list); ++i) values.push_back(AsInteger(Expression_At(list, i))->small);
        Object_Release(list);
        return values;
    }
    // name[{...}, {...}, ...] of the given operands.
    static Object *SetCall(const char16_t *name, const std::vector<std::vector<int64_t>> &operands) {
        Object *call = Expression_NewSized(Sym(name), int64_t(operands.size()));
        for (size_t i = 0; i < operands.size(); ++i) AsExpression(call)->elements[i + 1] = Ints(operands[i]);
        return call;
    }
};

// The merges against the standard set algorithms, on random operands with
// duplicates, empty operands and one to four arguments.
TEST_F(SetsTest, MergesAgreeWithSetAlgebra) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::vector<int64_t>> operands(1 + random() % 4);
        for (std::vector<int64_t> &o : operands) {
            size_t n = random() % 12;
            for (size_t i = 0; i < n; ++i) o.push_back(int64_t(random() % 10) - 3);
        }
        std::set<int64_t> unite(operands[0].begin(), operands[0].end());
        std::set<int64_t> common = unite, rest = unite;
        for (size_t k = 1; k < operands.size(); ++k) {
            std::set<int64_t> t(operands[k].begin(), operands[k].end()), u, c, r;
            std::set_union(unite.begin(), unite.end(), t.begin(), t.end(), std::inserter(u, u.end()));
            std::set_intersection(common.begin(), common.end(), t.begin(), t.end(), std::inserter(c, c.end()));
            std::set_difference(rest.begin(), rest.end(), t.begin(), t.end(), std::inserter(r, r.end()));
            unite = u, common = c, rest = r;
        }
        auto list = [](const std::set<int64_t> &s) { return std::vector<int64_t>(s.begin(), s.end()); };
        EXPECT_EQ(Values(Builtin_Union(SetCall(u"Union", operands))), list(unite));
        EXPECT_EQ(Values(Builtin_Intersection(SetCall(u"Intersection", operands))), list(common));
        EXPECT_EQ(Values(Builtin_Complement(SetCall(u"Complement", operands))), list(rest));
    }
}

// A sorted operand comes back as the same object; nothing is copied.
TEST_F(SetsTest, SortingSortedInputKeepsTheObject) {
    Object *list = Ints({1, 2, 3});
    Object *sorted = Builtin_Sort(Expression_New(Sym(u"Sort"), Object_AddRef(list)));
    EXPECT_EQ(sorted, list);
    Object_Release(sorted);
    Object *unique = Builtin_Union(Expression_New(Sym(u"Union"), Object_AddRef(list)));
    EXPECT_EQ(unique, list);
    Object_Release(unique);
    Object_Release(list);
}

}  // namespace
