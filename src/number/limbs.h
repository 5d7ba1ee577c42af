// Limb primitives: arithmetic on little-endian arrays of unsigned 64-bit
// limbs (limb i has weight 2^(64*i)). These are the loops under every exact
// integer and every arbitrary-precision real of the kernel.
//
// Lengths are byte counts. For the arithmetic primitives they are multiples
// of 8 (one limb is 8 bytes); the byte-wise logic primitives accept any
// count, because the binary formats run them over byte buffers. Unless a
// function says otherwise, a destination may not overlap a source except by
// being exactly the same array.
#pragma once

#include <cstdint>

// unsigned long long rather than uint64_t: it is 64 bits on every target
// (uint64_t is unsigned long on some, unsigned long long on others), and the
// carry intrinsics take pointers to exactly this type.
using Limb = unsigned long long;

constexpr int64_t LIMB_BYTES = 8;
constexpr int LIMB_BITS = 64;

// Products whose shorter operand has fewer limbs than this use the
// size-specialised kernels; from here on the product recurses.
constexpr int64_t KARATSUBA_THRESHOLD = 20;

// Squares of fewer than SQR_KARATSUBA_THRESHOLD limbs use the squaring
// kernels, which multiply each pair of distinct limbs once; from there on
// Karatsuba squaring (three half-size squares per level) takes over.
constexpr int64_t SQR_KARATSUBA_THRESHOLD = 40;
static_assert(SQR_KARATSUBA_THRESHOLD >= KARATSUBA_THRESHOLD, "a square below the product threshold never recurses");

// Products whose shorter operand has at least this many limbs, and squares
// of at least this many, are taken by Toom-3 (three pieces per operand)...
constexpr int64_t TOOM3_THRESHOLD = 200;

// ... and from this many on by number-theoretic transforms, where the
// transform length (a power of two) is at least five eighths used, and
// from four times this many on always; a product just past a power of two
// takes the transform of that length modulo B^L - 1 and a short product of
// the few limbs above it.
constexpr int64_t NTT_THRESHOLD = 7000;

// Long division switches from the schoolbook method to divide-and-conquer
// recursion when the divisor has at least DIV_DC_THRESHOLD limbs, whatever
// the quotient length (even a short quotient gains, because its product
// with the divisor runs through the multiplication kernels); the recursion
// falls back to the schoolbook method for divisor blocks below
// DIV_DC_THRESHOLD limbs.
constexpr int64_t DIV_DC_THRESHOLD = 60;

// From this many limbs in both the divisor and the quotient on, long
// division computes the divisor's reciprocal by Newton iteration and
// divides by Barrett's method, two products per block of quotient limbs.
constexpr int64_t DIV_NEWTON_THRESHOLD = 7000;

// dst = x + y over xlen bytes; requires xlen >= ylen >= 8. The limbs of x
// above ylen are carried through. dst may be x, or y. Returns the carry out
// of the top limb (0 or 1).
Limb Limbs_Add(Limb *dst, const Limb *x, int64_t xlen, const Limb *y, int64_t ylen);

// dst = x - y over xlen bytes; requires xlen >= ylen >= 8. dst may be x or
// y. Returns the borrow out of the top limb (0 or 1).
Limb Limbs_Sub(Limb *dst, const Limb *x, int64_t xlen, const Limb *y, int64_t ylen);

// Compares the magnitudes of x (xlen bytes) and y (ylen bytes), of any
// lengths: the extra top limbs of the longer one are checked for non-zero
// first. Returns -1, 0 or +1.
int Limbs_Compare(const Limb *x, int64_t xlen, const Limb *y, int64_t ylen);

// dst = src + v over len bytes, propagating the carry only as far as it
// goes; untouched limbs are copied when dst is not src. Returns the carry
// out of the top limb.
Limb Limbs_AddLimb(Limb *dst, const Limb *src, int64_t len, Limb v);

// dst = src - v over len bytes with borrow propagation, as Limbs_AddLimb.
// Returns the borrow out of the top limb.
Limb Limbs_SubLimb(Limb *dst, const Limb *src, int64_t len, Limb v);

// dst = 0 - src over len bytes (two's complement). dst may be src. Returns 1
// when src was non-zero, else 0.
Limb Limbs_Negate(Limb *dst, const Limb *src, int64_t len);

// dst = src * m over len bytes. dst may be src. Returns the carry limb (the
// limb of the product above len).
Limb Limbs_MulLimb(Limb *dst, const Limb *src, int64_t len, Limb m);

// dst -= src * m over len bytes. Returns the borrow limb: the amount to
// subtract from the limb above dst to complete the subtraction.
Limb Limbs_SubMulLimb(Limb *dst, const Limb *src, int64_t len, Limb m);

// dst = src / d over len bytes, from the top limb down; d must not be zero.
// dst may be src. Returns the remainder.
Limb Limbs_DivLimb(Limb *dst, const Limb *src, int64_t len, Limb d);

// The number of scratch bytes Limbs_Mul needs for operands of alen and blen
// bytes (0 when the size-specialised kernels do the whole product).
int64_t Limbs_MulScratchBytes(int64_t alen, int64_t blen);

// dst (alen + blen bytes) = a * b; alen, blen >= 8. dst must not overlap a
// or b; when a and b are the same array of the same length the product is
// a square, which costs about two thirds of a general product. When the
// shorter operand has KARATSUBA_THRESHOLD limbs or more the product
// recurses or transforms and needs Limbs_MulScratchBytes of scratch: pass
// it, or pass null to have it allocated and freed here. Returns false only
// when that allocation failed (dst is then garbage), else true.
bool Limbs_Mul(Limb *dst, const Limb *a, int64_t alen, const Limb *b, int64_t blen, Limb *scratch);

// Long division of a * 2^(8*shift) (a of alen bytes, shift a multiple of 8)
// by b (blen bytes), with alen + shift >= blen. quot, when not null,
// receives the (alen + shift - blen)/8 + 1 quotient limbs; rem, when not
// null, the blen bytes of the remainder. Neither may overlap a or b.
// Returns 0, writing nothing, when the top limb of b is zero; -1 when the
// work buffer could not be allocated; else 1.
int Limbs_DivMod(Limb *quot, const Limb *a, int64_t alen, const Limb *b, int64_t blen, Limb *rem,
                 int64_t shift);

// The long division of Limbs_DivMod on a work array the caller provides:
// w (wlen bytes, wlen >= blen + 8) is divided in place by b, and its top
// limb must be zero. quot, when not null, receives (wlen - blen)/8 quotient
// limbs. Afterwards the low blen bytes of w hold the remainder and the limbs
// above it are zero. Returns 0, changing nothing, when the top limb of b is
// zero, else 1.
int Limbs_DivModInPlace(Limb *quot, Limb *w, int64_t wlen, const Limb *b, int64_t blen);

// The square root with remainder of a (alen bytes, top limb non-zero):
// root receives the ceil(n/2) limbs of floor(sqrt(a)), for a of n limbs,
// and rem, when not null, the n limbs of a - root^2. Neither may overlap a
// or the other. Returns 0 exactly when a is a perfect square; otherwise,
// with rem, the byte length of the remainder without its zero top limbs,
// and without it some positive value (the root alone skips the last
// square whenever the top limbs already show a positive remainder).
// Returns -1, with root and rem undefined, when the work buffer could not
// be allocated.
int64_t Limbs_SqrtRem(Limb *root, Limb *rem, const Limb *a, int64_t alen);

// dst = src << s over len bytes, for s in 1..63; dst may be src. Returns the
// bits shifted out of the top limb (in the low s bits).
Limb Limbs_ShiftLeft(Limb *dst, const Limb *src, int64_t len, int s);

// dst = src >> s over len bytes, for s in 1..63; dst may be src. Returns
// the bits shifted out of the bottom limb (in the high s bits).
Limb Limbs_ShiftRight(Limb *dst, const Limb *src, int64_t len, int s);

// The 0-based index of the highest set bit of x (len bytes), or -1 when all
// limbs are zero.
int64_t Limbs_HighestBit(const Limb *x, int64_t len);

// Bit number bit of x (0 or 1); the caller keeps bit inside the array.
int Limbs_TestBit(const Limb *x, int64_t bit);

// Compares x (xlen bytes) with y (ylen bytes) scaled by 2^(64*e), e of
// either sign. Both terms are aligned to the lower of their two unit limbs
// (x's when e >= 0, y's when e < 0) and the result is the bit length of the
// exact difference in those units: 0 when the two are equal, negated when
// the y term is the larger.
int64_t Limbs_DifferenceBits(const Limb *x, int64_t xlen, const Limb *y, int64_t ylen, int64_t e);

// Byte-wise logic over len bytes of any count: whole limbs first, then the
// 1 to 7 remaining bytes. dst may be any of the sources.
void Bytes_And(void *dst, const void *x, const void *y, int64_t len);
void Bytes_Or(void *dst, const void *x, const void *y, int64_t len);
void Bytes_Xor(void *dst, const void *x, const void *y, int64_t len);
void Bytes_Not(void *dst, const void *src, int64_t len);
