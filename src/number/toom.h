// Toom-3 products: each operand is cut into three pieces, read as a
// polynomial of degree two, and the product polynomial is rebuilt from its
// values at 0, 1, -1, 2 and infinity: five products of a third of the size
// where schoolbook splitting would take nine.
#pragma once

#include <cstdint>

#include "number/limbs.h"

// The product the evaluation points are multiplied with: dst (n + k limbs)
// = x (n limbs) * y (k limbs) for n >= k >= 1, with scratch of the size
// the caller of Toom3_Mul accounts for, a square when x is y with n == k.
using Toom3_SubMul = void (*)(Limb *dst, const Limb *x, int64_t n, const Limb *y, int64_t k, Limb *scratch);

// The piece length of a Toom-3 product whose longer operand has n limbs.
inline int64_t Toom3_Piece(int64_t n) { return (n + 2) / 3; }

// The scratch limbs Toom3_Mul uses itself for a longer operand of n limbs;
// the products at the points need their own scratch for operands of
// Toom3_Piece(n) + 1 limbs on top of it.
inline int64_t Toom3_OwnLimbs(int64_t n) { return 12 * (Toom3_Piece(n) + 1); }

// dst (n + k limbs) = a (n limbs) * b (k limbs), where n >= k > 2 *
// Toom3_Piece(n) so that b has three non-empty pieces too. dst must not
// overlap a, b or scratch; a may be b with n == k, which evaluates once and
// squares at every point. The five products go through sub, with scratch
// from Toom3_OwnLimbs(n) limbs on.
void Toom3_Mul(Limb *dst, const Limb *a, int64_t n, const Limb *b, int64_t k, Limb *scratch, Toom3_SubMul sub);
