// Integer objects: exact whole numbers, held as a signed 64-bit word
// (subtype 1) whenever the value fits.
#pragma once

#include <cstdint>

#include "object/object.h"

struct BigInt;

struct Integer {
    Object header;
    union {
        int64_t small;   // subtype 1
        BigInt *big;     // subtype 3, owned
    };
};

extern const ObjectClass IntegerSmallClass VORLAN_INTERNAL;
extern const ObjectClass IntegerBigClass VORLAN_INTERNAL;

inline bool Object_IsInteger(const Object *o) { return o->cls->type == TYPE_INTEGER; }
inline Integer *AsInteger(Object *o) { return reinterpret_cast<Integer *>(o); }
// Whether o is the Integer v (a value that fits a word is always held in
// one, so only subtype 1 needs looking at).
inline bool Integer_Is(Object *o, int64_t v) {
    return Object_IsInteger(o) && Object_Subtype(o) == SUB_SMALL && AsInteger(o)->small == v;
}

// Returns a new Integer of subtype 1 holding v.
Object *Integer_FromSmall(int64_t v);

// Returns a new Integer holding a copy of b, normalised: subtype 1 when the
// value fits a word, subtype 3 otherwise, and for a special record what
// Integer_Normalize makes of it. With b null, returns a subtype-3 object
// holding zero for the caller to compute into and normalise.
Object *Integer_FromBigInt(const BigInt *b = nullptr);

// Converts o in place to subtype 1 (saturating, see BigInt_ToSmall) or to
// subtype 3; nothing happens when o already has that subtype. The caller
// holds the only reference.
void Integer_SetSubtype(Object *o, uint64_t subtype);

// Consumes o and returns it in the smaller form: a subtype-3 value that
// fits a word becomes subtype 1 in place. An overflow record (the limb
// limit was exceeded or memory ran out) emits Integer::Overflow and gives
// Overflow; an indeterminate record gives Indeterminate. o is released when
// it is replaced.
Object *Integer_Normalize(Object *o);

// The machine-word fast paths of integer arithmetic. Each consumes its
// operands and returns the normalised result, exact until the limb limit:
// word results that overflow continue as BigInt.
Object *Integer_Add(Object *x, Object *y);
Object *Integer_Multiply(Object *x, Object *y);
Object *Integer_Negate(Object *x);
// The non-negative greatest common divisor; gcd(0, 0) = 0.
Object *Integer_Gcd(Object *x, Object *y);

// base^exponent for an Integer exponent >= 0 (base^0 is 1, also for a zero
// base: what 0^0 means is the caller's decision). Both machine words and a
// power that fits one: exponentiation by squaring on words; otherwise
// BigInt_Power. A power that exceeds the limb limit, which an exponent
// beyond a word always does for |base| >= 2, emits Integer::Overflow and
// gives Overflow or -Overflow at once. Consumes both.
Object *Integer_Power(Object *base, Object *exponent);

// The integer k-th root of x (k >= 1), truncated toward zero; when
// remainder is not null it receives x - root^k. An even root of a negative
// x gives Indeterminate (for both). Consumes x.
Object *Integer_Root(Object *x, uint64_t k, Object **remainder);

// Truncating division: returns x / y rounded toward zero and, when
// remainder is not null, stores x - quotient*y there (it has the sign of
// x). A zero divisor gives Indeterminate for both. Consumes x and y.
Object *Integer_DivMod(Object *x, Object *y, Object **remainder);
