// The stable merge sort behind Orderless evaluation and Sort, and duplicate
// removal for the set functions.
#include "eval/sort.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "eval/collation.h"
#include "eval/compare.h"
#include "kernel/state.h"
#include "number/integer.h"
#include "object/expression.h"
#include "object/string.h"

namespace {

// The out-of-order test of a pair (a before b): by the canonical order, or
// by one reusable call f[a, b] of the ordering function.
class PairTest {
public:
    explicit PairTest(Object *f)
        : call_(f ? Expression_New(Object_AddRef(f), Builtin(SYM_Null), Builtin(SYM_Null)) : nullptr) {}
    PairTest(const PairTest &) = delete;
    PairTest &operator=(const PairTest &) = delete;
    ~PairTest() { Object_Release(call_); }

    // Whether b has to move ahead of a. Borrows both.
    bool OutOfOrder(Object *a, Object *b) {
        if (!call_) return Compare(a, b, CMP_REQ_ORDER) & CMP_AFTER;
        // The evaluator may have kept a reference to the previous call, so
        // it is changed only when it is ours alone.
        call_ = Object_MakeUnique(call_);
        Expression *e = AsExpression(call_);
        Object_Release(e->elements[1]);
        Object_Release(e->elements[2]);
        e->elements[1] = Object_AddRef(a);
        e->elements[2] = Object_AddRef(b);
        e->stamp = 0;
        Ref value(Object_Evaluate(Object_AddRef(call_)));
        Object *v = value.get();
        if (v == BuiltinBorrowed(SYM_False)) return true;
        return Object_IsInteger(v) && Object_Subtype(v) == SUB_SMALL && AsInteger(v)->small == -1;
    }

private:
    Object *call_;
};

// Writes the n elements of in, sorted, to out. in and out hold the same
// elements on entry; in serves as scratch for the halves. Returns whether
// anything moved.
bool SortRange(Object **in, Object **out, size_t n, PairTest &test) {
    if (n == 2) {
        if (test.OutOfOrder(in[0], in[1])) {
            out[0] = in[1];
            out[1] = in[0];
            return true;
        }
        out[0] = in[0];
        out[1] = in[1];
        return false;
    }
    if (n == 3) {
        Object *x0 = in[0], *x1 = in[1], *x2 = in[2];
        auto write = [&](Object *a, Object *b, Object *c) {
            out[0] = a;
            out[1] = b;
            out[2] = c;
        };
        if (test.OutOfOrder(x0, x1)) {
            if (test.OutOfOrder(x1, x2)) write(x2, x1, x0);
            else if (test.OutOfOrder(x0, x2)) write(x1, x2, x0);
            else write(x1, x0, x2);
            return true;
        }
        if (!test.OutOfOrder(x1, x2)) {
            write(x0, x1, x2);
            return false;
        }
        if (test.OutOfOrder(x0, x2)) write(x2, x0, x1);
        else write(x0, x2, x1);
        return true;
    }
    // The halves are sorted from out into in, then merged back into out.
    size_t half = n / 2;
    bool changed = SortRange(out, in, half, test);
    changed |= SortRange(out + half, in + half, n - half, test);
    size_t i = 0, j = half, k = 0;
    while (i < half && j < n) {
        if (test.OutOfOrder(in[i], in[j])) {
            out[k++] = in[j++];
            changed = true;
        } else {
            out[k++] = in[i++];
        }
    }
    while (i < half) out[k++] = in[i++];
    while (j < n) out[k++] = in[j++];
    return changed;
}

// The canonical order of machine integers is the order of their values, and
// equal values stay as they are, so a run of them sorts by a stable sort of
// the words: the same permutation the merge sort would make, without a
// comparison call per pair. Returns false, with e untouched and still the
// caller's, when some element is not a machine integer; otherwise consumes e
// and sets *result to it sorted (e itself when nothing had to move).
bool SortMachineIntegers(Object *e, int64_t first, size_t m, Object **result) {
    Object **source = AsExpression(e)->elements + first;
    // Checked before anything is allocated: most sorts of mixed arguments
    // stop at their first element.
    bool sorted = true;
    for (size_t i = 0; i < m; ++i) {
        Object *x = source[i];
        if (!Object_IsInteger(x) || Object_Subtype(x) != SUB_SMALL) return false;
        if (i > 0 && AsInteger(x)->small < AsInteger(source[i - 1])->small) sorted = false;
    }
    if (sorted) {
        *result = e;
        return true;
    }
    std::vector<std::pair<int64_t, Object *>> keyed(m);
    for (size_t i = 0; i < m; ++i) keyed[i] = {AsInteger(source[i])->small, source[i]};
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    e = Object_MakeUnique(e);
    Object **target = AsExpression(e)->elements + first;
    for (size_t i = 0; i < m; ++i) target[i] = keyed[i].second;
    *result = e;
    return true;
}

// Strings in the canonical order: by a stable sort of the references by
// their sort keys (String_AppendSortKey), each built once, so that a
// comparison is a word and, on a tie, a byte comparison of the keys. A
// stable sort by the same order gives the permutation the merge sort would
// make. Only lists that all collate the same way (all as text, or all by
// bytes) go this way: a text string against a byte string is compared by
// bytes, and that mix need not be a consistent order, which a standard sort
// must never be given. Returns false, with e untouched and still the
// caller's, when some element is not a string or the strings mix;
// otherwise consumes e and sets *result to it sorted (e itself when nothing
// had to move).
bool SortStrings(Object *e, int64_t first, size_t m, Object **result) {
    Object **source = AsExpression(e)->elements + first;
    size_t asText = 0;
    for (size_t i = 0; i < m; ++i) {
        if (!Object_IsString(source[i])) return false;
        asText += String_CollatesAsText(source[i]);
    }
    if (asText != 0 && asText != m) return false;
    size_t i = 1;
    while (i < m && String_Order(source[i - 1], source[i]) >= 0) ++i;
    if (i == m) {
        *result = e;
        return true;
    }
    struct Keyed {
        uint64_t word;  // the key's first eight bytes, big-endian, zero-padded
        size_t at, length;
        Object *string;  // borrowed
    };
    std::string keys;
    std::vector<Keyed> keyed(m);
    for (size_t k = 0; k < m; ++k) {
        size_t at = keys.size();
        String_AppendSortKey(source[k], keys);
        keyed[k] = {0, at, keys.size() - at, source[k]};
    }
    for (Keyed &k : keyed)
        for (size_t b = 0; b < 8; ++b) k.word = k.word << 8 | (b < k.length ? uint8_t(keys[k.at + b]) : 0);
    const char *base = keys.data();
    std::stable_sort(keyed.begin(), keyed.end(), [base](const Keyed &a, const Keyed &b) {
        if (a.word != b.word) return a.word < b.word;
        int c = std::memcmp(base + a.at, base + b.at, std::min(a.length, b.length));
        return c != 0 ? c < 0 : a.length < b.length;
    });
    e = Object_MakeUnique(e);
    Object **target = AsExpression(e)->elements + first;
    for (size_t k = 0; k < m; ++k) target[k] = keyed[k].string;
    *result = e;
    return true;
}

}  // namespace

Object *Expression_Sort(Object *e, Object *orderingFunction, int64_t first) {
    int64_t length = Expression_Length(e);
    if (length - first + 1 < 2) return e;
    size_t m = size_t(length - first + 1);
    Object *sorted;
    if (!orderingFunction && (SortMachineIntegers(e, first, m, &sorted) || SortStrings(e, first, m, &sorted)))
        return sorted;
    // Both scratch arrays in one allocation; they borrow the elements.
    std::vector<Object *> scratch(2 * m);
    Object **source = AsExpression(e)->elements + first;
    std::copy(source, source + m, scratch.begin());
    std::copy(source, source + m, scratch.begin() + m);
    PairTest test(orderingFunction);
    if (!SortRange(scratch.data(), scratch.data() + m, m, test)) return e;
    // The sorted array is a permutation of the same references, so storing
    // it moves ownership around without counting.
    e = Object_MakeUnique(e);
    std::copy(scratch.begin() + m, scratch.end(), AsExpression(e)->elements + first);
    return e;
}

Object *Expression_Dedupe(Object *e) {
    int64_t n = Expression_Length(e);
    int64_t kept = 1;
    bool removed = false;
    for (int64_t i = 2; i <= n; ++i) {
        if (!Object_Same(Expression_At(e, kept), Expression_At(e, i))) {
            kept = i;
            continue;
        }
        if (!removed) e = Object_MakeUnique(e);
        removed = true;
        Expression *x = AsExpression(e);
        Object_Release(x->elements[i]);
        x->elements[i] = nullptr;
    }
    return removed ? Expression_Compact(e) : e;
}
