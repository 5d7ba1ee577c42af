// BigFloat: an arbitrary-precision binary real with a tracked error bound.
//
// The value is sign * (sum of limb[i] * 2^(64*i)) * 2^(64*exponent). The
// record also carries its accuracy a in bits (the absolute error is at most
// 2^-a; +infinity for an exact value) and its magnitude m (log2 of the
// absolute value, from the top 64 significant bits and the exponent; -a for
// a zero). Precision is a + m bits. Every operation propagates the bound,
// so a result never claims more bits than its inputs justify: sums add
// absolute errors, products and quotients add relative errors, and
// BigFloat_Normalize drops the limbs that lie entirely below the accuracy
// (keeping 12 guard bits).
//
// Every operation takes its destination record first and may be given the
// same record as a source. Records either live in the BigFloat pool
// (BigFloat_New / BigFloat_Free) or are locals and kernel-state records that
// start zero-initialised ({}) and are emptied with BigFloat_Release. Nothing
// here reports an error: undefined results are FloatIndeterminate and
// magnitudes beyond the exponent range FloatOverflow or FloatUnderflow; a
// failed allocation leaves the destination FloatOverflow with the result's
// sign, as BigInt does.
#pragma once

#include <cstdint>

#include "number/limbs.h"

struct BigInt;

enum BigFloatKind : int64_t {
    FloatIndeterminate = -3,
    FloatUnderflow = -2,
    FloatOverflow = -1,
    FloatZero = 0,
    FloatUnit = 1,     // exactly +-1: one limb 1, exponent 0
    FloatRegular = 2,
};

struct BigFloat {
    int64_t sign;       // -1, 0, +1
    int64_t kind;       // a BigFloatKind
    int64_t exponent;   // in limbs
    int64_t top;        // index of the most significant limb
    int64_t size;       // byte length of the limb array, (top + 1) * 8
    double accuracy;    // bits; +infinity when exact
    double magnitude;   // log2 |value|; -accuracy for a zero
    Limb *limbs;        // owned, malloc'd; null only in a zero-initialised record
};

// Guard bits kept beyond the accuracy by BigFloat_Normalize.
constexpr int BIGFLOAT_GUARD_BITS = 12;
// Exponents (in limbs) beyond +-this are FloatOverflow / FloatUnderflow.
constexpr int64_t BIGFLOAT_EXPONENT_LIMIT = 0x1FFFFFFFFFFFFFF;
// log2(10): bits per decimal digit.
constexpr double LOG2_10 = 3.321928094887362;

// ---- Records -----------------------------------------------------------------

// A new pool record holding an exact zero.
BigFloat *BigFloat_New();
// Frees the limbs and returns the record to the pool.
void BigFloat_Free(BigFloat *b);
// The pool's hook for dropping a record wholesale: frees its limbs.
void BigFloat_DropOwned(void *record);
// Frees the limbs of a record outside the pool and leaves it zero-initialised.
void BigFloat_Release(BigFloat *b);

// A BigFloat local that empties itself when it goes out of scope, so that
// early returns free the limbs.
struct LocalFloat {
    BigFloat value{};
    LocalFloat() = default;
    LocalFloat(const LocalFloat &) = delete;
    LocalFloat &operator=(const LocalFloat &) = delete;
    ~LocalFloat() { BigFloat_Release(&value); }
    BigFloat *operator->() { return &value; }
    BigFloat *get() { return &value; }
};

// ---- Setting values ------------------------------------------------------------

// dst = src (limbs copied).
void BigFloat_Copy(BigFloat *dst, const BigFloat *src);
// dst = a zero known to `accuracy` bits (+infinity: the exact zero).
void BigFloat_SetZero(BigFloat *dst, double accuracy);
// dst = v exactly (infinite accuracy).
void BigFloat_SetSmall(BigFloat *dst, int64_t v);
// dst = the exact value of the integer record src; an infinite record gives
// FloatOverflow with its sign, an indeterminate one FloatIndeterminate.
void BigFloat_FromBigInt(BigFloat *dst, const BigInt *src);
// dst = a special kind (FloatIndeterminate, FloatOverflow, FloatUnderflow)
// with the given sign (0 for FloatIndeterminate). FloatOverflow carries
// accuracy -inf and magnitude +inf, FloatUnderflow the reverse,
// FloatIndeterminate NaN for both; their limbs are never read.
void BigFloat_SetSpecial(BigFloat *dst, int64_t kind, int64_t sign);
// dst = x: NaN gives FloatIndeterminate, +-infinity FloatOverflow, 0.0 a zero
// of accuracy 1023 bits; otherwise the 53-bit integer mantissa with accuracy
// 1 bit, scaled by the binary exponent, so the precision is
// 1 + log2(mantissa) bits.
void BigFloat_FromDouble(BigFloat *dst, double x);
// b as a double, truncated to its top 53 significant bits; subnormal below
// 2^-1022, +-infinity from 2^1024; FloatOverflow +-infinity, FloatUnderflow
// +-0.0, FloatIndeterminate NaN.
double BigFloat_ToDouble(const BigFloat *b);

// ---- Precision -----------------------------------------------------------------

// Precision in bits (accuracy + magnitude); +infinity when exact.
inline double BigFloat_Precision(const BigFloat *b) { return b->accuracy + b->magnitude; }
// True for FloatZero and FloatUnit/FloatRegular, false for the special kinds.
inline bool BigFloat_IsFinite(const BigFloat *b) { return b->kind >= FloatZero; }

// Sets the accuracy to `bits` (which may also raise it: the stored digits
// are then taken as that accurate) and normalises.
void BigFloat_SetAccuracy(BigFloat *b, double bits);
// Sets the accuracy so that the precision is p digits of `base` (p*log2(base)
// bits; base 2 takes p as bits) and normalises. A zero keeps its accuracy.
void BigFloat_SetPrecision(BigFloat *b, double p, int base);
// b = b * 2^k exactly: accuracy -= k, magnitude += k.
void BigFloat_Scale(BigFloat *b, int64_t k);
// Overflow / underflow of the exponent, top zero limbs stripped, limbs
// wholly below accuracy + 12 guard bits dropped, kind and magnitude set.
void BigFloat_Normalize(BigFloat *b);

// The position of the top bit of a finite non-zero value (0 = the units
// bit, negative below); the caller tests for zero first.
int64_t BigFloat_TopBit(const BigFloat *b);

// ---- Arithmetic ------------------------------------------------------------------

// dst = -src.
void BigFloat_Negate(BigFloat *dst, const BigFloat *src);
// dst = a + b and dst = a - b, exact on the stored mantissas; the accuracy
// is min(A1, A2) - log2(1 + 2^(min - max)). A zero operand still lends its
// error bound (an exact zero is neutral); limbs that lie below the result's
// accuracy and guard bits are not added at all.
void BigFloat_Add(BigFloat *dst, const BigFloat *a, const BigFloat *b);
void BigFloat_Sub(BigFloat *dst, const BigFloat *a, const BigFloat *b);
// dst = a * b, exact on the stored mantissas; relative errors add.
void BigFloat_Mul(BigFloat *dst, const BigFloat *a, const BigFloat *b);
// dst = a / b; relative errors add (plus the rounding of the quotient). A
// zero divisor gives FloatIndeterminate for a zero dividend and
// FloatOverflow otherwise. Two exact operands give an exact quotient when
// the division is exact, otherwise one with max(bit lengths, 64) + 64 bits
// of precision.
void BigFloat_Div(BigFloat *dst, const BigFloat *a, const BigFloat *b);
// dst = sqrt(src) by Newton iteration from a machine estimate; the relative
// error halves. A negative operand gives FloatIndeterminate; an exact
// operand gives an exact root when it is a perfect square, otherwise a root
// with max(bit length, 64) + 64 bits of precision.
void BigFloat_Sqrt(BigFloat *dst, const BigFloat *src);
// dst = base^n for any signed 64-bit n (n = 0 gives an exact 1; negative n
// divides), by binary powering with the error propagation of Mul. An exact
// power too long for the limb limit gives FloatOverflow (FloatUnderflow for
// negative n) at once; FloatIndeterminate stays indeterminate even for n = 0.
void BigFloat_PowerSmall(BigFloat *dst, const BigFloat *base, int64_t n);

// ---- Comparison ------------------------------------------------------------------

// Numeric comparison within the error bounds: 0 when |a - b| is at most the
// sum of the two absolute errors (the values cannot be told apart), else -1
// or +1. Special kinds: FloatIndeterminate gives -2; FloatOverflow is beyond
// every finite value of its sign; FloatUnderflow is a tiny value of its sign.
int BigFloat_Compare(const BigFloat *a, const BigFloat *b);
// Comparison of the stored digits alone, ignoring the error bounds: -1, 0,
// +1 (-2 for FloatIndeterminate).
int BigFloat_CompareDigits(const BigFloat *a, const BigFloat *b);
