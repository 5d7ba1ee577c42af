// Polynomial expansion.
//
// Expanding a sum expands its terms and sums again; a product expands its
// factors, multiplies them and distributes its sums over the other factors;
// a positive integer power of a sum is multiplied out. The result is the
// evaluated sum of all the terms, and it is the one that multiplying out
// one sum at a time gives, the product of each term with the remaining
// factors evaluated and expanded again. Done that way literally, the same
// partial products are evaluated again and again, a power of a sum of m
// terms re-expands the powers of the sum of the last m - 1, and a product
// of k sums of two terms visits 2^k partial products. Instead:
//  - a power of a sum of m terms enumerates the compositions of its
//    exponent into m parts once, each term's coefficient an exact
//    multinomial built up binomial by binomial along the enumeration;
//  - a product of sums multiplies the running sum by one sum at a time and
//    combines like terms after each, so (x + 1) (x + 2) ... (x + 200)
//    never holds more than a few hundred terms;
//  - terms are collected in a list that is summed (one evaluation of Plus)
//    whenever it has grown to twice what the last sum left, so that memory
//    stays proportional to the result plus one batch, even when most terms
//    cancel.
// Exact coefficients add and multiply associatively, so combining earlier
// gives the same canonical sum as combining at the end; inexact ones are
// rounded in another order, so they may differ from it in the last bits.
//
// Expansion recurses once per level of nesting of the expression (never per
// term, factor or summand) and leaves parts deeper than kMaxDepth alone.
#include "eval/expand.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "eval/native_args.h"
#include "kernel/state.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "object/expression.h"

namespace {

// Levels of nesting beyond which expansion leaves an expression as it is;
// each level takes a few hundred bytes of the evaluation stack, of which
// this is a small part.
constexpr int64_t kMaxDepth = 100000;

// Terms collected before the first intermediate sum.
constexpr size_t kFirstBatch = 4096;

// Whether o is Power(s, n) with s a sum of at least two terms and n a
// positive machine integer; n goes to *n. Borrows o.
bool IsPowerOfSum(Object *o, int64_t *n) {
    if (!Native_IsCall(o, SYM_Power) || Expression_Length(o) != 2) return false;
    Object *base = Expression_At(o, 1);
    if (!Native_IsCall(base, SYM_Plus) || Expression_Length(base) < 2) return false;
    return Native_SmallInteger(Expression_At(o, 2), 1, INT64_MAX, n);
}

// Whether expansion gives the factor o back: it is neither a sum nor a
// power of one. Borrows o.
bool IsExpandedFactor(Object *o) {
    int64_t n;
    return !Native_IsCall(o, SYM_Plus) && !IsPowerOfSum(o, &n);
}

// Whether expansion gives the term o back: an expanded factor, or a product
// of them. Borrows o.
bool IsExpandedTerm(Object *o) {
    if (!Native_IsCall(o, SYM_Times)) return IsExpandedFactor(o);
    for (int64_t i = 1; i <= Expression_Length(o); ++i)
        if (!IsExpandedFactor(Expression_At(o, i))) return false;
    return true;
}

// Whether the term o is, or has a factor that is, a power of a sum with
// any exponent: such a term may combine with a sum it is multiplied by.
// Borrows o.
bool HasSumBase(Object *o) {
    auto sumBase = [](Object *f) { return Native_IsCall(f, SYM_Power) && Expression_Length(f) == 2 && Native_IsCall(Expression_At(f, 1), SYM_Plus); };
    if (!Native_IsCall(o, SYM_Times)) return sumBase(o);
    for (int64_t i = 1; i <= Expression_Length(o); ++i)
        if (sumBase(Expression_At(o, i))) return true;
    return false;
}

// The terms of a sum under construction. Whenever the list has doubled
// since the last intermediate sum, what it holds is summed, so that like
// terms combine as they come.
class Terms {
public:
    // Adds term, or the terms of a sum one by one. Consumes term.
    void Add(Object *term) {
        Append(term);
        if (terms_.size() < limit_) return;
        Append(Sum());
        limit_ = std::max(kFirstBatch, 2 * terms_.size());
    }

    // The evaluated sum of the terms added; leaves the list empty. Returns
    // a new reference.
    Object *Sum() {
        Object *sum = Expression_NewSized(Builtin(SYM_Plus), int64_t(terms_.size()));
        Object **elements = AsExpression(sum)->elements;
        for (size_t i = 0; i < terms_.size(); ++i) elements[i + 1] = terms_[i].release();
        terms_.clear();
        return Object_Evaluate(sum);
    }

private:
    // Consumes term.
    void Append(Object *term) {
        Ref held(term);
        if (!Native_IsCall(term, SYM_Plus)) {
            terms_.push_back(std::move(held));
            return;
        }
        for (int64_t i = 1; i <= Expression_Length(term); ++i) {
            Ref t(Object_AddRef(Expression_At(term, i)));
            terms_.push_back(std::move(t));
        }
    }

    std::vector<Ref> terms_;
    size_t limit_ = kFirstBatch;
};

// The evaluated product of the n factors. Borrows them; returns a new
// reference.
Object *Product(Object *const *factors, size_t n) {
    if (n == 1) return Object_AddRef(factors[0]);
    Object *p = Expression_NewSized(Builtin(SYM_Times), int64_t(n));
    for (size_t i = 0; i < n; ++i) AsExpression(p)->elements[i + 1] = Object_AddRef(factors[i]);
    return Object_Evaluate(p);
}

// The evaluated product a t; borrows both, returns a new reference. The
// running product of a distribution starts as 1, which leaves t alone.
Object *Times2(Object *a, Object *t) {
    if (Integer_Is(a, 1)) return Object_AddRef(t);
    Object *factors[2] = {a, t};
    return Product(factors, 2);
}

Object *Expand(Object *e, int64_t depth);

// Adds the expansion of the evaluated term to terms: the term itself when
// it holds nothing to multiply out. Consumes term.
void AddExpanded(Terms &terms, Object *term, int64_t depth) {
    terms.Add(IsExpandedTerm(term) ? term : Expand(term, depth + 1));
}

// Expands each term of the sum e and sums again; e itself when no term
// changes. Consumes e.
Object *ExpandSum(Object *e, int64_t depth) {
    Ref sum(e);
    int64_t n = Expression_Length(e), i = 1;
    while (i <= n && IsExpandedTerm(Expression_At(e, i))) ++i;
    if (i > n) return sum.release();
    Terms terms;
    for (int64_t k = 1; k < i; ++k) terms.Add(Object_AddRef(Expression_At(e, k)));
    for (; i <= n; ++i) AddExpanded(terms, Object_AddRef(Expression_At(e, i)), depth);
    return terms.Sum();
}

// The first sum among the factors of the evaluated product p distributed
// one term at a time, the product of each term with all the other factors,
// the other sums among them, evaluated and expanded again. This is for
// products in which a term may combine with another sum ((c + 1/(z - 1))
// (z - 1) is 1 - c + c z), where only the product with that sum itself
// shows what the term becomes. Borrows p and sum (a factor of p); returns a
// new reference.
Object *DistributeFirst(Object *p, Object *sum, int64_t depth) {
    int64_t n = Expression_Length(p);
    Terms terms;
    for (int64_t i = 1; i <= Expression_Length(sum); ++i) {
        Object *q = Expression_NewSized(Builtin(SYM_Times), n);
        Object **elements = AsExpression(q)->elements;
        for (int64_t k = 1; k <= n; ++k) {
            Object *f = Expression_At(p, k);
            elements[k] = Object_AddRef(f == sum ? Expression_At(sum, i) : f);
        }
        terms.Add(Expand(Object_Evaluate(q), depth + 1));
    }
    return terms.Sum();
}

// Multiplies out the sums among the factors of the evaluated product p:
// the product of the other factors is multiplied by the sums one at a time,
// like terms combined after each. Consumes p.
Object *Distribute(Object *p, int64_t depth) {
    Ref product(p);
    std::vector<Object *> sums, others;  // borrowed from p
    for (int64_t i = 1; i <= Expression_Length(p); ++i) {
        Object *f = Expression_At(p, i);
        (Native_IsCall(f, SYM_Plus) ? sums : others).push_back(f);
    }
    if (sums.empty()) return product.release();
    for (Object *s : sums)
        for (int64_t i = 1; i <= Expression_Length(s); ++i)
            if (HasSumBase(Expression_At(s, i))) return DistributeFirst(p, sums[0], depth);
    Ref first(others.empty() ? Integer_FromSmall(1) : Product(others.data(), others.size()));
    std::vector<Ref> running;
    running.push_back(std::move(first));
    for (size_t k = 0;; ++k) {
        Object *s = sums[k];
        Terms terms;
        for (const Ref &a : running)
            for (int64_t i = 1; i <= Expression_Length(s); ++i) AddExpanded(terms, Times2(a.get(), Expression_At(s, i)), depth);
        running.clear();
        Ref sum(terms.Sum());
        if (k + 1 == sums.size()) return sum.release();
        // The terms of the sum so far are the running products of the next
        // round.
        if (!Native_IsCall(sum.get(), SYM_Plus)) {
            running.push_back(std::move(sum));
            continue;
        }
        running.reserve(size_t(Expression_Length(sum.get())));
        for (int64_t i = 1; i <= Expression_Length(sum.get()); ++i) running.emplace_back(Object_AddRef(Expression_At(sum.get(), i)));
    }
}

// Expands the factors of the product e, multiplies them and distributes
// the sums among them. Consumes e.
Object *ExpandProduct(Object *e, int64_t depth) {
    Ref product(e);
    int64_t n = Expression_Length(e);
    bool changed = false;
    std::vector<Ref> factors;
    factors.reserve(size_t(n));
    for (int64_t i = 1; i <= n; ++i) {
        Object *f = Expression_At(e, i);
        Object *g = IsExpandedFactor(f) ? Object_AddRef(f) : Expand(Object_AddRef(f), depth + 1);
        changed |= g != f;
        factors.emplace_back(g);
    }
    if (changed) {
        Object *p = Expression_NewSized(Builtin(SYM_Times), n);
        for (int64_t i = 1; i <= n; ++i) AsExpression(p)->elements[i] = factors[size_t(i - 1)].release();
        product.reset(Object_Evaluate(p));
        // Expanded factors that multiply to something else than a product:
        // a sum ((1 + x)^(1/2) (1 + x)^(1/2)), or equal sums giving a power.
        if (!Native_IsCall(product.get(), SYM_Times))
            return IsExpandedTerm(product.get()) ? product.release() : Expand(product.release(), depth + 1);
    }
    return Distribute(product.release(), depth);
}

// One level of the enumeration of the compositions of an exponent: term j
// takes exponent k of the rem left for terms j to m - 1.
struct Level {
    int64_t rem;
    int64_t k;
    size_t chosen;      // factors chosen by the levels before
    Ref coefficient;    // the multinomial coefficient of those choices
    Ref binomial;       // Binomial(rem, k)
};

// Multiplies out the power e = s^n of the sum s of m terms t_1, ..., t_m:
// the sum, over the exponents k_1 + ... + k_m = n, of the multinomial
// coefficient n! / (k_1! ... k_m!) times the expanded powers t_j^k_j, each
// product evaluated and expanded. The powers are those that expanding
// (t_j + ... + t_m)^r as t_j times the sum of the rest, one term after the
// other, meets: every t_j^k_j down to the last term with a positive
// exponent, and the last term's t_m^0 when the one before it takes all that
// is left, but none of the zeroth powers after that (the zeroth power of a
// sum of several terms is 1). Zeroth powers are 1 except for an inexact
// number, whose zeroth power 1.0 stays a factor. Consumes e.
Object *ExpandPower(Object *e, int64_t n, int64_t depth) {
    Ref power(e);
    Object *s = Expression_At(e, 1);
    size_t m = size_t(Expression_Length(s));
    // powers[j * (n + 1) + k]: the expanded t_j^k, for k from 0 to n.
    if (uint64_t(n) >= SIZE_MAX / sizeof(Ref) / m) throw std::bad_alloc();
    size_t row = size_t(n) + 1;
    std::vector<Ref> powers;
    powers.reserve(m * row);
    for (size_t j = 0; j < m; ++j) {
        Object *t = Expression_At(s, int64_t(j + 1));
        for (int64_t k = 0; k <= n; ++k) {
            Object *p = k == 1 ? Object_AddRef(t) : Object_Evaluate(Expression_New(Builtin(SYM_Power), Object_AddRef(t), Integer_FromSmall(k)));
            powers.emplace_back(IsExpandedTerm(p) ? p : Expand(p, depth + 1));
        }
    }

    Terms terms;
    std::vector<Object *> chosen;  // borrowed from powers; the coefficient first
    chosen.push_back(nullptr);
    auto choose = [&](size_t j, int64_t k) {
        Object *p = powers[j * row + size_t(k)].get();
        if (!Integer_Is(p, 1)) chosen.push_back(p);
    };
    std::vector<Level> levels;
    levels.push_back({n, 0, 1, Ref(Integer_FromSmall(1)), Ref(Integer_FromSmall(1))});
    while (!levels.empty()) {
        size_t j = levels.size() - 1;
        Level &l = levels.back();
        if (l.k > l.rem) {
            levels.pop_back();
            continue;
        }
        int64_t k = l.k, rem = l.rem;
        chosen.resize(l.chosen);
        choose(j, k);
        Ref coefficient(Number_Multiply(Object_AddRef(l.coefficient.get()), Object_AddRef(l.binomial.get())));
        // On to the next choice at this level; a binomial beyond the limit
        // of integers stays the Overflow it became.
        if (k < rem && Object_IsInteger(l.binomial.get())) {
            Object *b = Integer_Multiply(l.binomial.release(), Integer_FromSmall(rem - k));
            l.binomial.reset(Object_IsInteger(b) ? Integer_DivMod(b, Integer_FromSmall(k + 1), nullptr) : b);
        }
        l.k = k + 1;
        if (k == rem) {
            // The terms after j take exponent 0.
            if (j + 2 == m) choose(j + 1, 0);
            Object **factors = chosen.data();
            size_t count = chosen.size();
            if (Integer_Is(coefficient.get(), 1)) {
                ++factors;
                --count;
            } else {
                chosen[0] = coefficient.get();
            }
            Object *term = count == 0 ? Integer_FromSmall(1) : Product(factors, count);
            AddExpanded(terms, term, depth);
            continue;
        }
        // The last term takes all that is left.
        int64_t left = rem - k;
        levels.push_back({left, j + 2 == m ? left : 0, chosen.size(), std::move(coefficient), Ref(Integer_FromSmall(1))});
    }
    return terms.Sum();
}

// Consumes e; returns its expansion.
Object *Expand(Object *e, int64_t depth) {
    if (!Object_IsExpression(e) || depth > kMaxDepth) return e;
    if (Native_IsCall(e, SYM_Plus)) return ExpandSum(e, depth);
    if (Native_IsCall(e, SYM_Times)) return ExpandProduct(e, depth);
    int64_t n;
    if (IsPowerOfSum(e, &n)) return ExpandPower(e, n, depth);
    return e;
}

}  // namespace

Object *Builtin_Expand(Object *call) { return Expand(Native_TakeArgument(call, 1), 0); }

namespace {

const NativeRow kNatives[] = {
    {SYM_Expand, {u"Expand(\?)"}, Builtin_Expand},
};

}  // namespace

extern const NativeTable ExpandNatives = Table_Of(kNatives);
