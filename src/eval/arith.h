// Sums, products and powers: the built-ins Plus, Times, Power, Subtract,
// Divide and Minus, and the builders through which the rest of the kernel
// constructs arithmetic, so that results always come out combined and in
// canonical form: numbers folded, like terms and factors collected,
// infinities and Indeterminate absorbed, exact roots extracted.
#pragma once

#include <cstdint>

#include "object/native_table.h"
#include "object/object.h"

// Flag of the pair operations: an uncombinable pair releases both operands
// and returns null (instead of the unevaluated two-argument expression).
constexpr uint64_t ARITH_TRY_ONLY = 1;

// The binary combinations. Each consumes a and b and returns a new
// reference, or null with ARITH_TRY_ONLY when the pair does not combine.
// Without the flag an uncombinable pair gives Plus(a, b) / Times(a, b) with
// the operands in canonical order. The power pair is in power.h.
Object *Arith_PlusPair(Object *a, Object *b, uint64_t flags);
Object *Arith_TimesPair(Object *a, Object *b, uint64_t flags);

// The builders: offer the two-argument expression to user definitions (up
// values of the operands' heads, then definitions of Plus, Times or Power)
// and otherwise combine with the flag clear. Each consumes both operands.
Object *Arith_Plus(Object *a, Object *b);
Object *Arith_Times(Object *a, Object *b);
Object *Arith_Power(Object *base, Object *exponent);

// Whether x is DirectedInfinity with at most one argument, and of which
// kind: 0 not an infinity; 1 a real direction (sign in *re); 2 a complex
// direction (signs of its parts in *re, *im); 4 ComplexInfinity
// (DirectedInfinity()); 8 a direction that is not numeric. Borrows x;
// re and im may be null.
int Infinity_Classify(Object *x, int *re, int *im);

// Numeric absorption: an inexact number u meets a numeric non-number v.
// Borrows u; consumes v and returns its numeric value at u's precision
// (machine for machine numbers, else precision(u) + 32 bits), or null when
// that does not give a number.
Object *Arith_Absorb(Object *u, Object *v);

// Native implementations; each consumes the call.
Object *Builtin_Plus(Object *call);
Object *Builtin_Times(Object *call);
Object *Builtin_Subtract(Object *call);
Object *Builtin_Divide(Object *call);
Object *Builtin_Minus(Object *call);
Object *Builtin_DirectedInfinity(Object *call);

extern const NativeTable ArithNatives;
