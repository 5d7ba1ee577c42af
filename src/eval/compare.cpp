// The comparison operation: canonical order, numeric relation and pattern
// specificity of two objects, dispatched on the pair of type ids. Pattern
// specificity itself is in specificity.cpp.
//
// Every walk over the structure of two expressions here is iterative
// (canonical order, numeric equality of elements), so that deeply nested
// operands cannot exhaust the C++ stack.
#include "eval/compare.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "eval/arith.h"
#include "eval/native_args.h"
#include "eval/pattern.h"
#include "eval/specificity.h"
#include "kernel/state.h"
#include "eval/collation.h"
#include "eval/numeric.h"
#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/rational.h"
#include "number/real.h"
#include "object/expression.h"
#include "object/is_numeric.h"
#include "object/small_stack.h"
#include "object/string.h"
#include "object/symbol.h"

namespace {

constexpr uint64_t ORDER_BITS = CMP_ORDER_EQUAL | CMP_BEFORE | CMP_AFTER;

// Borrowed last argument; e has at least one.
Object *LastArgument(Object *e) { return Expression_At(e, Expression_Length(e)); }

// ---- Numbers on the real line -----------------------------------------------------

// Where a real number sits: finite values are compared by value; the
// saturated reals sit between the finite values (Underflow next to zero,
// Overflow beyond every finite value); a NaN has no place at all.
enum NumberKind { NUMBER_FINITE, NUMBER_SATURATED, NUMBER_NAN };

NumberKind Classify(Object *o) {
    if (!Object_IsReal(o)) return NUMBER_FINITE;
    switch (Object_Subtype(o)) {
    case SUB_OVERFLOW:
    case SUB_UNDERFLOW: return NUMBER_SATURATED;
    case SUB_BIG: return NUMBER_FINITE;
    default: return std::isnan(AsReal(o)->value) ? NUMBER_NAN : NUMBER_FINITE;
    }
}

// Rank on the extended line: -3 -Overflow, -2 negative, -1 -Underflow, 0 zero,
// 1 Underflow, 2 positive, 3 Overflow.
int Position(Object *o) {
    int sign = Object_Sign(o);
    if (!Object_IsReal(o)) return 2 * sign;
    switch (Object_Subtype(o)) {
    case SUB_OVERFLOW: return 3 * sign;
    case SUB_UNDERFLOW: return sign;
    default: return 2 * sign;
    }
}

// The exact comparisons of machine values below rely on the x87 extended
// format, whose 64-bit mantissa holds every int64 and every double exactly.
static_assert(std::numeric_limits<long double>::digits >= 64);

// The error bound of a machine real, from its accuracy: |x| * 2^-53, and
// 2^-1023 for zero (an accuracy of 307.95 digits).
long double MachineError(double x) {
    return x == 0.0 ? std::ldexp(1.0L, -1023) : std::ldexp(std::fabs(static_cast<long double>(x)), -53);
}

int SignOf(long double x) { return (x > 0) - (x < 0); }

// Sign of (integer - d) for an Integer of subtype 1 or 3 and a finite double,
// with *close set when |integer - d| lies within d's error bound.
int IntegerVersusDouble(Object *integer, double d, bool *close) {
    *close = false;
    if (Object_Subtype(integer) == SUB_SMALL) {
        // Both values are exact in the 64-bit mantissa of long double; the
        // difference is exact whenever the two are within a factor of two of
        // each other, which covers every case where closeness is in question.
        long double diff = static_cast<long double>(AsInteger(integer)->small) - static_cast<long double>(d);
        *close = std::fabs(diff) <= MachineError(d);
        return SignOf(diff);
    }
    const BigInt *v = AsInteger(integer)->big;
    // A subtype-3 integer lies outside the machine-word range, so a double
    // below 2^63 in magnitude is at least 1024 away from it.
    if (std::fabs(d) < 9223372036854775808.0) return static_cast<int>(v->sign);
    // Beyond 2^63 every double is an integer: m * 2^e exactly.
    int e;
    double m = std::frexp(d, &e);
    BigInt *exact = BigInt_New();
    BigInt *diff = BigInt_New();
    BigInt_SetSmall(exact, static_cast<int64_t>(std::ldexp(m, 53)));
    BigInt_Shift(exact, exact, e - 53);
    BigInt_Sub(diff, v, exact);
    int sign = static_cast<int>(diff->sign);
    // Within the error bound when |diff| <= |d| * 2^-53.
    BigInt_Shift(diff, diff, 53);
    *close = BigInt_Compare(diff, exact, false) <= 0;
    BigInt_Free(exact);
    BigInt_Free(diff);
    return sign;
}

int CompareIntegers(Object *a, Object *b) {
    bool sa = Object_Subtype(a) == SUB_SMALL, sb = Object_Subtype(b) == SUB_SMALL;
    if (sa && sb) {
        int64_t x = AsInteger(a)->small, y = AsInteger(b)->small;
        return (x > y) - (x < y);
    }
    if (!sa && !sb) return BigInt_Compare(AsInteger(a)->big, AsInteger(b)->big, true);
    // One operand fits a word and the other, kept in the larger form only
    // when it does not, lies beyond it: its sign decides.
    const BigInt *big = AsInteger(sa ? b : a)->big;
    int64_t word = AsInteger(sa ? a : b)->small;
    int sign = BigInt_FitsSmall(big) ? (BigInt_ToSmall(big) > word) - (BigInt_ToSmall(big) < word)
                                     : static_cast<int>(big->sign);
    return sa ? -sign : sign;
}

// The precision in bits at which an exact operand is converted to meet an
// inexact one: well beyond what the inexact one can resolve.
double MeetingBits(Object *inexact) {
    if (Real_IsBig(inexact)) {
        double p = BigFloat_Precision(AsReal(inexact)->big);
        if (std::isfinite(p)) return std::max(p, 64.0) + 64;
        return 64.0 * (AsReal(inexact)->big->top + 2) + 64;
    }
    return 128;
}

// Sign of (a - b) for two finite real numbers by their records, with *close
// set when they agree within their error bounds.
int CompareRecords(Object *a, Object *b, bool *close) {
    LocalFloat x, y;
    Number_ToBigFloat(a, x.get(), Object_IsReal(a) ? 64 : MeetingBits(b));
    Number_ToBigFloat(b, y.get(), Object_IsReal(b) ? 64 : MeetingBits(a));
    int sign = BigFloat_CompareDigits(x.get(), y.get());
    *close = sign != 0 && BigFloat_Compare(x.get(), y.get()) == 0;
    return sign;
}

// Sign of (a - b) for two finite numbers, with *close set when they agree
// within their error bounds (exact numbers have none).
int CompareFinite(Object *a, Object *b, bool *close) {
    *close = false;
    bool ia = Object_IsInteger(a), ib = Object_IsInteger(b);
    bool ra = Object_IsRational(a), rb = Object_IsRational(b);
    if (ia && ib) return CompareIntegers(a, b);
    if ((ia || ra) && (ib || rb)) {
        // Two exact values: the sign of their exact difference.
        Object *d = Number_Add(Object_AddRef(a), Number_Negate(Object_AddRef(b)));
        int sign = Object_Sign(d);
        Object_Release(d);
        return sign;
    }
    bool ma = Real_IsMachine(a), mb = Real_IsMachine(b);
    if (ia && mb) return IntegerVersusDouble(a, AsReal(b)->value, close);
    if (ib && ma) return -IntegerVersusDouble(b, AsReal(a)->value, close);
    if (ma && mb) {
        double x = AsReal(a)->value, y = AsReal(b)->value;
        // Two doubles close enough for the question to matter are within a
        // factor of two of each other, so their difference is exact.
        long double diff = static_cast<long double>(x) - static_cast<long double>(y);
        *close = std::fabs(diff) <= MachineError(x) + MachineError(y);
        return SignOf(diff);
    }
    return CompareRecords(a, b, close);
}

// Exact numbers first (Integer before Rational), then reals; two reals with
// the same digits by precision, the less precise first.
int TieBreak(Object *a, Object *b) {
    uint64_t ta = Object_Type(a), tb = Object_Type(b);
    auto rank = [](uint64_t t) { return t == TYPE_INTEGER ? 0 : t == TYPE_RATIONAL ? 1 : 2; };
    if (ta != tb) return rank(ta) < rank(tb) ? -1 : 1;
    if (ta != TYPE_REAL) return 0;
    double pa = Object_Precision(a), pb = Object_Precision(b);
    return (pa > pb) - (pa < pb);
}

// Integer, Rational and Real against each other: the canonical order (by
// value; equal values by class and precision) and the numeric relation
// (equal within the error bounds of the reals) at once.
uint64_t CompareNumbers(Object *a, Object *b) {
    NumberKind ka = Classify(a), kb = Classify(b);
    if (ka == NUMBER_NAN || kb == NUMBER_NAN) {
        // A NaN has no numeric value; in the canonical order it follows
        // every other real so that sorting stays total.
        uint64_t r = (ka == NUMBER_NAN ? CMP_FIRST_NOT_NUMERIC : 0) | (kb == NUMBER_NAN ? CMP_SECOND_NOT_NUMERIC : 0);
        if (ka != kb) return r | (ka == NUMBER_NAN ? CMP_AFTER : CMP_BEFORE);
        return r | CMP_ORDER_EQUAL | (Object_Same(a, b) ? CMP_SAME : 0);
    }
    bool close = false;
    int sign;
    if (ka == NUMBER_FINITE && kb == NUMBER_FINITE) {
        sign = CompareFinite(a, b, &close);
    } else {
        int pa = Position(a), pb = Position(b);
        sign = (pa > pb) - (pa < pb);
    }
    if (sign == 0) {
        uint64_t r = CMP_EQUAL | CMP_IDENTICAL;
        int tie = TieBreak(a, b);
        if (tie) return r | (tie < 0 ? CMP_BEFORE : CMP_AFTER);
        return r | CMP_ORDER_EQUAL | (Object_Same(a, b) ? CMP_SAME : 0);
    }
    uint64_t r = sign < 0 ? CMP_BEFORE : CMP_AFTER;
    if (close) return r | CMP_EQUAL;
    return r | CMP_UNEQUAL | (sign < 0 ? CMP_LESS : CMP_GREATER);
}

// Whether o is an Integer, Rational, or a Real with a value (a NaN has none).
bool IsRealNumber(Object *o) {
    uint64_t t = Object_Type(o);
    return (t == TYPE_INTEGER || t == TYPE_RATIONAL || t == TYPE_REAL) && Classify(o) != NUMBER_NAN;
}

// Strings and complex numbers have no size.
uint64_t UnorderedBit(Object *o, uint64_t bit) {
    uint64_t type = Object_Type(o);
    return type == TYPE_STRING || type == TYPE_COMPLEX ? bit : 0;
}

// A Complex operand a against any number b: ordered by real part, then by
// imaginary part (a real b has the imaginary part 0); numerically equal
// when both parts are, and never less or greater. The saturated complex
// values follow every other number and equal only themselves.
uint64_t CompareComplex(Object *a, Object *b) {
    uint64_t unordered = CMP_FIRST_UNORDERED | UnorderedBit(b, CMP_SECOND_UNORDERED);
    uint64_t sa = Object_Subtype(a), sb = Object_IsComplex(b) ? Object_Subtype(b) : SUB_PLAIN;
    if (sa != SUB_PLAIN || sb != SUB_PLAIN) {
        if (sa == sb) return unordered | CMP_ORDER_EQUAL | CMP_SAME | CMP_EQUAL | CMP_IDENTICAL;
        return unordered | CMP_UNEQUAL | (sa < sb ? CMP_BEFORE : CMP_AFTER);
    }
    Object *zero = kernel.constants.integers[INT_ZERO];
    bool complexB = Object_IsComplex(b);
    uint64_t re = CompareNumbers(AsComplex(a)->re, complexB ? AsComplex(b)->re : b);
    uint64_t im = CompareNumbers(AsComplex(a)->im, complexB ? AsComplex(b)->im : zero);
    uint64_t r = unordered;
    if (!(re & CMP_ORDER_EQUAL)) r |= re & ORDER_BITS;
    else if (!(im & CMP_ORDER_EQUAL)) r |= im & ORDER_BITS;
    else r |= CMP_ORDER_EQUAL | (complexB && (re & im & CMP_SAME) ? CMP_SAME : 0);
    if ((re & CMP_UNEQUAL) || (im & CMP_UNEQUAL)) r |= CMP_UNEQUAL;
    else if ((re & CMP_EQUAL) && (im & CMP_EQUAL)) r |= CMP_EQUAL | (re & im & CMP_IDENTICAL);
    return r;
}

// ---- Strings ----------------------------------------------------------------------

// Canonical order of two strings (String_Order): order-equal means equal
// bytes, and the same also needs the same storage kind.
uint64_t StringOrder(Object *a, Object *b) {
    int c = String_Order(a, b);
    if (c != 0) return c > 0 ? CMP_BEFORE : CMP_AFTER;
    return CMP_ORDER_EQUAL | (Object_Subtype(a) == Object_Subtype(b) ? CMP_SAME : 0);
}

uint64_t CompareStrings(Object *a, Object *b) {
    uint64_t order = StringOrder(a, b);
    uint64_t numeric = order & CMP_ORDER_EQUAL ? CMP_EQUAL | CMP_IDENTICAL : CMP_UNEQUAL;
    return order | numeric | CMP_FIRST_UNORDERED | CMP_SECOND_UNORDERED;
}

// ---- Symbols ----------------------------------------------------------------------


// The numeric relation of a numeric constant or expression with another
// numeric quantity, decided by numeric evaluation; the not-numeric bits for
// whichever operand has no numeric value.
uint64_t NumericQuantities(Object *a, Object *b) {
    bool na = Object_IsNumeric(a), nb = Object_IsNumeric(b);
    if (na && nb) return Numeric_CompareValues(a, b);
    return (na ? 0 : CMP_FIRST_NOT_NUMERIC) | (nb ? 0 : CMP_SECOND_NOT_NUMERIC) | UnorderedBit(b, CMP_SECOND_UNORDERED);
}

uint64_t CompareSymbols(Object *a, Object *b, uint64_t request) {
    if (a == b) return CMP_SAME | CMP_ORDER_EQUAL | CMP_EQUAL | CMP_IDENTICAL;
    uint64_t r = request & CMP_REQ_NUMERIC ? NumericQuantities(a, b) : CMP_FIRST_NOT_NUMERIC | CMP_SECOND_NOT_NUMERIC;
    if (request & CMP_REQ_SPECIFICITY) {
        int ra = Specificity_BlankRank(a), rb = Specificity_BlankRank(b);
        if (ra || rb) r |= Specificity_Ranks(ra, rb);
    }
    int c = Symbol_Name(AsSymbol(a)).compare(Symbol_Name(AsSymbol(b)));
    return r | (c < 0 ? CMP_BEFORE : c > 0 ? CMP_AFTER : CMP_ORDER_EQUAL);
}

// A symbol against a number or a string: the symbol comes after it, has no
// numeric value, and is more general only when it is a blank.
uint64_t CompareSymbolAtom(Object *symbol, Object *atom, uint64_t request) {
    uint64_t r = CMP_AFTER;
    if ((request & CMP_REQ_NUMERIC) && !Object_IsString(atom)) r |= NumericQuantities(symbol, atom);
    else r |= CMP_FIRST_NOT_NUMERIC | UnorderedBit(atom, CMP_SECOND_UNORDERED);
    if ((request & CMP_REQ_SPECIFICITY) && Specificity_BlankRank(symbol)) r |= CMP_MORE_GENERAL;
    return r;
}

// ---- Canonical order of expressions -------------------------------------------------

// Orders an atom x against the integer v: x precedes v only when it is a
// number of smaller value (expressions, strings and symbols follow numbers).
bool PrecedesInteger(Object *x, int64_t v) {
    if (Object_IsExpression(x)) return false;
    // A borrowed operand that never outlives the comparison can live on the
    // stack rather than in the pool.
    Integer value{{&IntegerSmallClass, 1}, {v}};
    return Compare(x, &value.header, CMP_REQ_ORDER) & CMP_BEFORE;
}

// The steps of the canonical order that wait for the order of a pair of
// parts before they can decide.
enum OrderStep : uint8_t {
    STEP_TAILS,     // both Plus or both Times: arguments from the last backwards
    STEP_TAIL,      // Plus or Times against another expression: its last argument
    STEP_BASE,      // Power against another expression: its base
    STEP_ELEMENTS,  // same length: elements from the head on
};

struct OrderFrame {
    Object *a, *b;
    int64_t index;    // pairs compared so far
    int64_t neutral;  // 0 for Plus, 1 for Times and Power
    OrderStep step;
    bool mirrored;    // the frame compares (b, a) of its caller; mirror its result
};

using OrderStack = SmallStack<OrderFrame, 16>;

// Starts the comparison of x with y. Either returns true with the result in
// *result, or pushes a frame and sets (*x, *y) to the first pair it needs.
bool OrderBegin(Object **x, Object **y, OrderStack &stack, uint64_t *result) {
    Object *a = *x, *b = *y;
    bool ea = Object_IsExpression(a), eb = Object_IsExpression(b);
    if (!ea && !eb) {
        *result = Compare(a, b, CMP_REQ_ORDER);
        return true;
    }
    if (a == b) {
        *result = CMP_ORDER_EQUAL;
        return true;
    }
    // An expression follows every number and string.
    if (!eb && !Object_IsSymbol(b)) {
        *result = CMP_AFTER;
        return true;
    }
    if (!ea && !Object_IsSymbol(a)) {
        *result = CMP_BEFORE;
        return true;
    }
    auto push = [&](Object *p, Object *q, OrderStep step, int64_t neutral, bool mirrored, Object *first, Object *second) {
        stack.push({p, q, 0, neutral, step, mirrored});
        *x = first;
        *y = second;
        return false;
    };
    // Plus, then Times: placed by the last argument.
    for (BuiltinSymbol head : {SYM_Plus, SYM_Times}) {
        int64_t neutral = head == SYM_Plus ? 0 : 1;
        bool ha = Native_IsCall(a, head), hb = Native_IsCall(b, head);
        bool pa = ha && Expression_Length(a) >= 1, pb = hb && Expression_Length(b) >= 1;
        if (pa && pb) return push(a, b, STEP_TAILS, neutral, false, LastArgument(a), LastArgument(b));
        if (pa && !hb) return push(a, b, STEP_TAIL, neutral, false, LastArgument(a), b);
        if (pb && !ha) return push(b, a, STEP_TAIL, neutral, true, LastArgument(b), a);
    }
    // Power: placed by its base.
    bool ha = Native_IsCall(a, SYM_Power), hb = Native_IsCall(b, SYM_Power);
    if (ha && Expression_Length(a) >= 1 && !hb) return push(a, b, STEP_BASE, 1, false, Expression_At(a, 1), b);
    if (hb && Expression_Length(b) >= 1 && !ha) return push(b, a, STEP_BASE, 1, true, Expression_At(b, 1), a);
    // Any other expression follows a symbol.
    if (!eb) {
        *result = CMP_AFTER;
        return true;
    }
    if (!ea) {
        *result = CMP_BEFORE;
        return true;
    }
    int64_t n = Expression_Length(a), m = Expression_Length(b);
    if (n != m) {
        *result = n < m ? CMP_BEFORE : CMP_AFTER;
        return true;
    }
    return push(a, b, STEP_ELEMENTS, 0, false, Expression_At(a, 0), Expression_At(b, 0));
}

// The place of a Plus, Times or Power p whose deciding part was order-equal
// to the other operand: first only when it has exactly two arguments and
// its other argument precedes the neutral element.
uint64_t PlaceByRest(Object *p, OrderStep step, int64_t neutral) {
    if (Expression_Length(p) != 2) return CMP_AFTER;
    Object *rest = Expression_At(p, step == STEP_BASE ? 2 : 1);
    return PrecedesInteger(rest, neutral) ? CMP_BEFORE : CMP_AFTER;
}

// Gives the frame the order r of its current pair. Returns true with the next
// pair in (*x, *y) when the frame needs one, or false with the frame's own
// result (before mirroring) in *r.
bool OrderContinue(OrderFrame &f, uint64_t *r, Object **x, Object **y) {
    if (*r & (CMP_BEFORE | CMP_AFTER)) {
        *r &= CMP_BEFORE | CMP_AFTER;
        return false;
    }
    ++f.index;
    switch (f.step) {
    case STEP_TAIL:
    case STEP_BASE: *r = PlaceByRest(f.a, f.step, f.neutral); return false;
    case STEP_ELEMENTS:
        if (f.index > Expression_Length(f.a)) {
            *r = CMP_ORDER_EQUAL;
            return false;
        }
        *x = Expression_At(f.a, f.index);
        *y = Expression_At(f.b, f.index);
        return true;
    case STEP_TAILS: break;
    }
    int64_t n = Expression_Length(f.a), m = Expression_Length(f.b);
    if (f.index < n && f.index < m) {
        *x = Expression_At(f.a, n - f.index);
        *y = Expression_At(f.b, m - f.index);
        return true;
    }
    // Every compared pair was order-equal: the arguments left over decide.
    int64_t restA = n - f.index, restB = m - f.index;
    if (restA == 0 && restB == 0) *r = CMP_ORDER_EQUAL;
    else if (restA == 1) *r = PrecedesInteger(Expression_At(f.a, 1), f.neutral) ? CMP_BEFORE : CMP_AFTER;
    else if (restB == 1) *r = PrecedesInteger(Expression_At(f.b, 1), f.neutral) ? CMP_AFTER : CMP_BEFORE;
    else *r = restA > 0 ? CMP_AFTER : CMP_BEFORE;
    return false;
}

// The canonical order of a and b (borrowed). Iterative: a stack of frames
// stands for the nested comparisons, each waiting for the order of a part.
uint64_t CanonicalOrder(Object *a, Object *b) {
    OrderStack stack;
    Object *x = a, *y = b;
    for (;;) {
        uint64_t r;
        if (!OrderBegin(&x, &y, stack, &r)) continue;
        for (;;) {
            if (stack.empty()) return r;
            OrderFrame &f = stack.top();
            if (OrderContinue(f, &r, &x, &y)) break;
            if (f.mirrored) r = Compare_Mirror(r);
            stack.pop();
        }
    }
}

// ---- Numeric relation of expressions ------------------------------------------------

uint64_t SignRelation(int sign) {
    if (sign == 0) return CMP_EQUAL;
    return CMP_UNEQUAL | (sign < 0 ? CMP_LESS : CMP_GREATER);
}

// InfinityDirection's answer for a complex direction.
constexpr int DIRECTION_COMPLEX = 2;

// The direction of DirectedInfinity[d] as relations see it: -1 or +1 when
// d is a non-zero real quantity, DIRECTION_COMPLEX when it is a complex
// one, 0 for every other object (ComplexInfinity and symbolic directions
// included). Borrows o.
int InfinityDirection(Object *o) {
    int re = 0;
    switch (Infinity_Classify(o, &re, nullptr)) {
    case 1: return re;
    case 2: return DIRECTION_COMPLEX;
    default: return 0;
    }
}

// The relation of an infinity of direction d (see InfinityDirection) with
// a finite numeric quantity x: always unequal; less or greater by the sign
// of a real direction, unordered where d or x is complex (a numeric
// constant or expression by its value at machine precision). Borrows x.
uint64_t InfinityVersusFinite(int d, Object *x) {
    Ref value(Number_Is(x) ? Object_AddRef(x) : Numeric_Evaluate(Object_AddRef(x), NUMERIC_MACHINE, 0));
    uint64_t unordered = UnorderedBit(value.get(), CMP_SECOND_UNORDERED);
    if (d == DIRECTION_COMPLEX) unordered |= CMP_FIRST_UNORDERED;
    return unordered ? CMP_UNEQUAL | unordered : SignRelation(d);
}

// The relation of two infinities with directions da and db: real ones by
// their signs; where one is complex, equal only when the directions are.
uint64_t InfinitiesRelation(Object *a, Object *b, int da, int db) {
    if (da != DIRECTION_COMPLEX && db != DIRECTION_COMPLEX) return SignRelation((da > db) - (da < db));
    uint64_t r = Compare(Expression_At(a, 1), Expression_At(b, 1), CMP_REQ_NUMERIC) & (CMP_EQUAL | CMP_UNEQUAL);
    if (da == DIRECTION_COMPLEX) r |= CMP_FIRST_UNORDERED;
    if (db == DIRECTION_COMPLEX) r |= CMP_SECOND_UNORDERED;
    return r;
}

// Whether two expressions of equal length have pairwise numerically equal
// elements, all the way down. Iterative, like the structural same.
bool ElementsEqual(Object *a, Object *b) {
    struct Frame {
        Expression *x, *y;
        int64_t next;
    };
    SmallStack<Frame, 32> stack;
    stack.push({AsExpression(a), AsExpression(b), 0});
    while (!stack.empty()) {
        Frame &f = stack.top();
        if (f.next > f.x->length) {
            stack.pop();
            continue;
        }
        Object *x = f.x->elements[f.next];
        Object *y = f.y->elements[f.next];
        ++f.next;
        bool ex = Object_IsExpression(x), ey = Object_IsExpression(y);
        if (ex != ey) return false;
        if (!ex) {
            if (!(Compare(x, y, CMP_REQ_NUMERIC) & CMP_EQUAL)) return false;
        } else if (Expression_Length(x) != Expression_Length(y)) {
            return false;
        } else {
            stack.push({AsExpression(x), AsExpression(y), 0});
        }
    }
    return true;
}

// Numeric relation of expression a with any object b.
uint64_t ExpressionNumeric(Object *a, Object *b) {
    int da = InfinityDirection(a);
    if (Object_IsExpression(b)) {
        int db = InfinityDirection(b);
        if (da && db) return InfinitiesRelation(a, b, da, db);
        if (!da && !db && Expression_Length(a) == Expression_Length(b) && ElementsEqual(a, b)) return CMP_EQUAL;
        if (!da && !db) return NumericQuantities(a, b);
        if (da && Object_IsNumeric(b)) return InfinityVersusFinite(da, b);
        if (db && Object_IsNumeric(a)) return Compare_Mirror(InfinityVersusFinite(db, a));
        return (da ? 0 : CMP_FIRST_NOT_NUMERIC) | (db ? 0 : CMP_SECOND_NOT_NUMERIC);
    }
    if (!da && (Number_Is(b) || Object_IsSymbol(b))) return NumericQuantities(a, b);
    if (da && Object_IsSymbol(b) && Object_IsNumeric(b)) return InfinityVersusFinite(da, b);
    uint64_t second = UnorderedBit(b, CMP_SECOND_UNORDERED);
    bool numberB = IsRealNumber(b) || Object_IsComplex(b);
    if (!numberB && !second) second = CMP_SECOND_NOT_NUMERIC;
    if (!da) return CMP_FIRST_NOT_NUMERIC | second;
    // An infinity against a finite number, or against a string: unequal.
    if (numberB) return InfinityVersusFinite(da, b);
    return second | (Object_IsString(b) ? CMP_UNEQUAL : 0);
}

// ---- Matrix entries with an expression as first operand ------------------------------

uint64_t CompareExpressions(Object *a, Object *b, uint64_t request, BindingList *la, BindingList *lb) {
    uint64_t r = 0;
    if (request & CMP_REQ_SPECIFICITY) r |= Specificity_Compare(a, b, la, lb);
    if (request & CMP_REQ_ORDER) r |= CanonicalOrder(a, b) & ORDER_BITS;
    if (request & CMP_REQ_NUMERIC) r |= ExpressionNumeric(a, b);
    return r;
}

// Against a number or a string the expression always comes after.
uint64_t CompareExpressionAtom(Object *a, Object *b, uint64_t request, BindingList *la, BindingList *lb) {
    uint64_t r = CMP_AFTER;
    if (request & CMP_REQ_SPECIFICITY) r |= Specificity_Compare(a, b, la, lb);
    if (request & CMP_REQ_NUMERIC) r |= ExpressionNumeric(a, b);
    return r;
}

// ---- The matrix ---------------------------------------------------------------------

using PairFunction = uint64_t (*)(Object *, Object *);
using RequestFunction = uint64_t (*)(Object *, Object *, uint64_t);
using PatternFunction = uint64_t (*)(Object *, Object *, uint64_t, BindingList *, BindingList *);

// Calling-form bits of a matrix entry.
constexpr uint64_t FORM_SWAPPED = 0x1;   // called with (second, first); result mirrored
constexpr uint64_t FORM_LISTS = 0x2;     // also receives the binding lists
constexpr uint64_t FORM_CONSTANT = 0x4;  // the entry holds the result itself
constexpr uint64_t FORM_REQUEST = 0x8;   // also receives the request word

struct ComparisonEntry {
    uint64_t form;
    union {
        uint64_t constant;
        PairFunction pair;
        RequestFunction request;
        PatternFunction pattern;
    };
};

constexpr ComparisonEntry Pair(uint64_t form, PairFunction f) { return {form, {.pair = f}}; }
constexpr ComparisonEntry Req(uint64_t form, RequestFunction f) { return {form, {.request = f}}; }
constexpr ComparisonEntry Pat(uint64_t form, PatternFunction f) { return {form, {.pattern = f}}; }
constexpr ComparisonEntry Const(uint64_t bits) { return {FORM_CONSTANT, {.constant = bits}}; }

// A number before a string, unequal, the string unordered (and the mirror:
// a string after a number); a complex number before a string, both unordered.
constexpr uint64_t NUMBER_STRING = CMP_BEFORE | CMP_UNEQUAL | CMP_SECOND_UNORDERED;
constexpr uint64_t STRING_NUMBER = CMP_AFTER | CMP_UNEQUAL | CMP_FIRST_UNORDERED;
constexpr uint64_t COMPLEX_STRING = NUMBER_STRING | CMP_FIRST_UNORDERED;
constexpr uint64_t STRING_COMPLEX = STRING_NUMBER | CMP_SECOND_UNORDERED;

// Row: type id of the first operand; column: of the second.
constexpr ComparisonEntry ComparisonMatrix[TYPE_COUNT][TYPE_COUNT] = {
    // Expression
    {Pat(10, CompareExpressions), Pat(10, CompareExpressions), Pat(10, CompareExpressionAtom),
     Pat(10, CompareExpressionAtom), Pat(10, CompareExpressionAtom), Pat(10, CompareExpressionAtom),
     Pat(10, CompareExpressionAtom)},
    // Symbol
    {Pat(11, CompareExpressions), Req(8, CompareSymbols), Req(8, CompareSymbolAtom), Req(8, CompareSymbolAtom),
     Req(8, CompareSymbolAtom), Req(8, CompareSymbolAtom), Req(8, CompareSymbolAtom)},
    // Integer
    {Pat(11, CompareExpressionAtom), Req(9, CompareSymbolAtom), Pair(0, CompareNumbers), Pair(1, CompareNumbers),
     Pair(1, CompareNumbers), Pair(1, CompareComplex), Const(NUMBER_STRING)},
    // Real
    {Pat(11, CompareExpressionAtom), Req(9, CompareSymbolAtom), Pair(0, CompareNumbers), Pair(0, CompareNumbers),
     Pair(0, CompareNumbers), Pair(1, CompareComplex), Const(NUMBER_STRING)},
    // Rational
    {Pat(11, CompareExpressionAtom), Req(9, CompareSymbolAtom), Pair(0, CompareNumbers), Pair(1, CompareNumbers),
     Pair(0, CompareNumbers), Pair(1, CompareComplex), Const(NUMBER_STRING)},
    // Complex
    {Pat(11, CompareExpressionAtom), Req(9, CompareSymbolAtom), Pair(0, CompareComplex), Pair(0, CompareComplex),
     Pair(0, CompareComplex), Pair(0, CompareComplex), Const(COMPLEX_STRING)},
    // String
    {Pat(11, CompareExpressionAtom), Req(9, CompareSymbolAtom), Const(STRING_NUMBER), Const(STRING_NUMBER),
     Const(STRING_NUMBER), Const(STRING_COMPLEX), Pair(0, CompareStrings)},
};

}  // namespace

uint64_t Compare(Object *a, Object *b, uint64_t request, BindingList *listA, BindingList *listB) {
    const ComparisonEntry &entry = ComparisonMatrix[Object_Type(a)][Object_Type(b)];
    uint64_t groups = request & (CMP_REQ_SPECIFICITY | CMP_REQ_ORDER | CMP_REQ_NUMERIC);
    bool swapped = entry.form & FORM_SWAPPED;
    Object *x = swapped ? b : a, *y = swapped ? a : b;
    BindingList *lx = swapped ? listB : listA, *ly = swapped ? listA : listB;
    uint64_t r;
    if (entry.form & FORM_CONSTANT) r = entry.constant;
    else if (entry.form & FORM_LISTS) r = entry.pattern(x, y, groups, lx, ly);
    else if (entry.form & FORM_REQUEST) r = entry.request(x, y, groups);
    else r = entry.pair(x, y);
    if (swapped) r = Compare_Mirror(r);
    if (request & CMP_RELEASE_FIRST) Object_Release(a);
    if (request & CMP_RELEASE_SECOND) Object_Release(b);
    return r;
}

uint64_t Compare_Mirror(uint64_t bits) {
    constexpr uint64_t up = 0x2A12;    // 0x2, 0x10, 0x200, 0x800, 0x2000 move to their partners above
    constexpr uint64_t down = 0x5424;  // 0x4, 0x20, 0x400, 0x1000, 0x4000 move to their partners below
    return (bits & ~(up | down)) | ((bits & up) << 1) | ((bits & down) >> 1);
}
