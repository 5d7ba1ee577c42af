// BigInt: a sign-magnitude integer over one exactly sized limb array, with
// kinds for infinite and indeterminate results, and the record-level
// arithmetic on it.
//
// Every operation takes its destination record first and ends by
// normalising it. Unless an operation says otherwise, the destination may be
// the same record as any source. Nothing here reports an error: division by
// zero and every operation on an indeterminate record give an indeterminate
// record; exceeding the limb limit or running out of memory while a
// destination grows turns it into a one-limb IntInfinite record with the
// sign of the result, and the operation stops there. The Integer class turns
// those records into messages and symbolic values.
#pragma once

#include <cstdint>

#include "number/limbs.h"

enum BigIntKind : int64_t {
    IntIndeterminate = -2,  // 0/0, inf - inf and the like; sign 0
    IntInfinite = -1,       // sign +1 or -1; also the overflow result
    IntZero = 0,
    IntUnit = 1,            // magnitude exactly 1
    IntRegular = 2,         // any other finite value
};

struct BigInt {
    int64_t sign;   // +1, -1, or 0 for zero and indeterminate
    int64_t kind;   // a BigIntKind
    int64_t top;    // index of the most significant limb (limb count - 1)
    int64_t size;   // byte length of the limb array, (top + 1) * 8
    Limb *limbs;    // owned, allocated with malloc
};

// The limb count a BigInt may not exceed, the value the kernel state's
// limit is set to at load.
constexpr int64_t BIGINT_LIMB_LIMIT = 0x7FFFFFFF;

// Number of scratch records in the kernel state.
constexpr int BIGINT_SCRATCH = 6;

// ---- Records -----------------------------------------------------------------

// Returns a new record from the BigInt pool holding zero.
BigInt *BigInt_New();
// Frees the record's limbs and returns it to the BigInt pool.
void BigInt_Free(BigInt *x);
// The BigInt pool's hook for dropping a record wholesale: frees its limbs.
void BigInt_DropOwned(void *record);
// Frees the limbs of a record that lives outside the pool (the kernel
// state's constants and scratch records) and leaves it empty.
void BigInt_Release(BigInt *x);

// A BigInt local outside the pool that frees its limbs at the end of its
// scope, so that early returns and exceptions free them too.
struct LocalInt {
    BigInt value{};
    LocalInt() = default;
    LocalInt(const LocalInt &) = delete;
    LocalInt &operator=(const LocalInt &) = delete;
    ~LocalInt() { BigInt_Release(&value); }
    BigInt *get() { return &value; }
};

// A read-only record of a word (never a destination).
struct WordInt {
    Limb limb;
    BigInt rec;
    explicit WordInt(Limb v)
        : limb(v), rec{v != 0, v == 0 ? IntZero : v == 1 ? IntUnit : IntRegular, 0, LIMB_BYTES, &limb} {}
    WordInt(const WordInt &) = delete;
    WordInt &operator=(const WordInt &) = delete;
};

// ---- Setting values ------------------------------------------------------------

// dst = v, for every signed 64-bit v (-2^63 gives magnitude 2^63).
void BigInt_SetSmall(BigInt *dst, int64_t v);
// dst = sign (+1 or -1); any other argument gives IntIndeterminate.
void BigInt_SetUnit(BigInt *dst, int64_t sign);
void BigInt_SetZero(BigInt *dst);
// dst = infinity with the given sign; sign 0 gives IntIndeterminate.
void BigInt_SetInfinite(BigInt *dst, int64_t sign);
void BigInt_SetIndeterminate(BigInt *dst);

// dst = src, reallocating dst's array when the sizes differ.
void BigInt_Copy(BigInt *dst, const BigInt *src);
// dst = -src, or dst = -dst when src is null.
void BigInt_Negate(BigInt *dst, const BigInt *src = nullptr);
// dst = |src|, or dst = |dst| when src is null.
void BigInt_Abs(BigInt *dst, const BigInt *src = nullptr);

// ---- Arithmetic ------------------------------------------------------------------

// dst = a + b.
void BigInt_Add(BigInt *dst, const BigInt *a, const BigInt *b);
// dst = a - b.
void BigInt_Sub(BigInt *dst, const BigInt *a, const BigInt *b);
// dst = a * b. An aliased operand is first copied to a scratch record.
void BigInt_Mul(BigInt *dst, const BigInt *a, const BigInt *b);
// Truncating division: quot = a / b rounded toward zero and, when rem is
// not null, rem = a - quot*b, which has the sign of a. quot and rem must be
// different records (the same record for both gives IntIndeterminate);
// either may be a or b. A zero divisor gives IntIndeterminate for both.
void BigInt_DivMod(BigInt *quot, const BigInt *a, const BigInt *b, BigInt *rem);
// dst = a * 2^s for s > 0; for s < 0 the magnitude is shifted right by -s
// bits and the sign kept, so the result is truncated toward zero.
void BigInt_Shift(BigInt *dst, const BigInt *a, int64_t s);
// dst = gcd(|a|, |b|) by Euclid's algorithm; when either is zero or
// infinite, the absolute value of the other (of b when both are).
void BigInt_Gcd(BigInt *dst, const BigInt *a, const BigInt *b);

// dst = a^n, by left-to-right binary powering (square, then multiply when
// the exponent bit is set). a^0 is 1, also for a zero a (the caller decides
// what 0^0 means); an infinite a gives an infinite result (indeterminate
// for n = 0). When the result is certain to exceed the limb limit, dst
// becomes IntInfinite with the result's sign at once, without powering; an
// intermediate that still overflows ends the powering the same way. dst
// may be a.
void BigInt_Power(BigInt *dst, const BigInt *a, uint64_t n);

// dst = base^e mod m, the residue in [0, |m|): a negative base is taken
// to its non-negative residue first, m's sign is ignored, and e >= 0 (x^0
// mod m is 1 mod |m|, so 0 for |m| = 1). An odd modulus uses Montgomery
// products with a sliding window over the exponent; an even one plain
// products reduced by division. A zero modulus, a negative exponent or a
// special operand gives IntIndeterminate; a failed allocation IntInfinite.
// dst may be any of the operands.
void BigInt_PowerMod(BigInt *dst, const BigInt *base, const BigInt *e, const BigInt *m);

// The bitwise operations of BigInt_Logic.
enum BigIntLogic { BIGINT_AND, BIGINT_OR, BIGINT_XOR };

// dst = a op b on the two's complement forms of a and b, sign-extended to
// any width (so -1 has every bit set, and the result's sign is the op of the
// operands' signs). An infinite or indeterminate operand gives
// IntIndeterminate.
void BigInt_Logic(BigInt *dst, const BigInt *a, const BigInt *b, BigIntLogic op);

// The integer k-th root of a, truncated toward zero, with root^k + rem = a
// (rem has the sign of a, or is zero). k >= 1; a negative a needs an odd k.
// k = 0, an even root of a negative a and an indeterminate a give
// IntIndeterminate for both; an infinite a gives an infinite root and an
// indeterminate remainder. rem may be null; root and rem must be different
// records, either may be a.
void BigInt_Root(BigInt *root, BigInt *rem, const BigInt *a, uint64_t k);

// The integer k-th root of a word, rounded down (k >= 1).
Limb BigInt_RootWord(Limb a, uint64_t k);

// The number of bits of |x| for a finite x (0 for zero). Borrows x.
int64_t BigInt_BitLength(const BigInt *x);

// Compares values (isSigned) or magnitudes: -2 when either is
// IntIndeterminate, else -1, 0 or +1. Infinities are larger than every
// finite value of their sign and equal to each other.
int BigInt_Compare(const BigInt *a, const BigInt *b, bool isSigned);

// ---- Conversions -----------------------------------------------------------------

// True when x is finite and lies in [-2^63, 2^63 - 1].
bool BigInt_FitsSmall(const BigInt *x);
// x as a signed 64-bit value, saturating at +-(2^63 - 1); IntIndeterminate
// gives -2^63.
int64_t BigInt_ToSmall(const BigInt *x);
// x as a double, truncated to its top 53 significant bits (rounded toward
// zero); +-infinity from 2^1024 on and for IntInfinite, NaN for
// IntIndeterminate.
double BigInt_ToDouble(const BigInt *x);

// Drops zero limbs from the top (reallocating to the exact size) and sets
// kind from the magnitude; zero gets sign 0. The caller has set the sign of
// a non-zero value.
void BigInt_Normalize(BigInt *x);
