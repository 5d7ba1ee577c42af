// Elementary functions on BigFloat records: the kernels that numeric
// evaluation uses at arbitrary precision. Each writes its destination
// (which may be the source) and carries an honest error bound: the true
// function of the argument's stored value lies within it, and so does the
// function anywhere in the argument's own error interval. Every kernel
// computes the function of the stored value at a working precision some
// guard bits beyond the argument's, and then adds the argument's error
// carried through the function by the mean value theorem (with a bound on
// the derivative over the whole interval, so that the bound stays tight
// where the derivative vanishes or grows without limit).
//
// Undefined results, arguments outside the domain and intervals that reach
// a pole are FloatIndeterminate; an exact argument (infinite accuracy) is
// indeterminate too, because the value cannot be represented exactly,
// except where it is exact (sin 0 = 0, cos 0 = 1 and the like). Zeros of
// finite accuracy give the function's value at 0 with the error the
// interval forces; FloatUnderflow is a tiny value of its sign and
// FloatOverflow a huge one, each giving the function's limit.
#pragma once

#include "number/bigfloat.h"

// e^x. Saturates to FloatOverflow / FloatUnderflow beyond the exponent
// range; FloatUnderflow gives exactly 1.
void BigFloat_Exp(BigFloat *dst, const BigFloat *x);
// ln x (natural logarithm) for x > 0; zero and FloatUnderflow give
// FloatOverflow with sign -1, FloatOverflow FloatOverflow; an interval
// that reaches zero is indeterminate.
void BigFloat_Log(BigFloat *dst, const BigFloat *x);

// sin x, cos x and tan x. The argument is reduced by multiples of pi/2,
// with pi taken 32 bits beyond the argument's precision (not its
// magnitude), so a huge argument costs what its digits cost; an argument
// with no accuracy left (absolute error 1 or more) gives a zero known to
// accuracy 0 (every value of sin and cos lies within 1 of it). tan is
// indeterminate where the argument's interval may reach a pole.
void BigFloat_Sin(BigFloat *dst, const BigFloat *x);
void BigFloat_Cos(BigFloat *dst, const BigFloat *x);
void BigFloat_Tan(BigFloat *dst, const BigFloat *x);
// arctan x in (-pi/2, pi/2); FloatOverflow gives +-pi/2 at 53 bits.
void BigFloat_ArcTan(BigFloat *dst, const BigFloat *x);
// The angle of the point (x, y) in (-pi, pi]; both zero gives
// FloatIndeterminate, as do two exact arguments. On the negative real
// axis (y a zero, x < 0) the value is pi; its bound does not cover the
// jump to -pi across the cut.
void BigFloat_ArcTan2(BigFloat *dst, const BigFloat *y, const BigFloat *x);
// arcsin x in [-pi/2, pi/2] and arccos x in [0, pi] for |x| <= 1 (stored
// value); beyond that indeterminate. Near +-1 the bound follows the
// square-root behaviour of the functions there.
void BigFloat_ArcSin(BigFloat *dst, const BigFloat *x);
void BigFloat_ArcCos(BigFloat *dst, const BigFloat *x);
// The hyperbolic functions, through e^x; sinh and cosh saturate like e^x,
// tanh reaches +-1.
void BigFloat_Sinh(BigFloat *dst, const BigFloat *x);
void BigFloat_Cosh(BigFloat *dst, const BigFloat *x);
void BigFloat_Tanh(BigFloat *dst, const BigFloat *x);
// The inverse hyperbolic functions through ln: arsinh for every x, arcosh
// for x >= 1, artanh for |x| < 1 (stored value; an interval reaching +-1
// is indeterminate for artanh).
void BigFloat_ArSinh(BigFloat *dst, const BigFloat *x);
void BigFloat_ArCosh(BigFloat *dst, const BigFloat *x);
void BigFloat_ArTanh(BigFloat *dst, const BigFloat *x);
// The n-th root x^(1/n) for n != 0 (n = 0 gives FloatIndeterminate); x < 0
// gives FloatIndeterminate (the caller handles odd roots of negatives).
// 0, an exact 1 and the saturated kinds give their limits (a zero for a
// negative n FloatOverflow); other exact arguments are indeterminate.
void BigFloat_Root(BigFloat *dst, const BigFloat *x, int64_t n);

// Widens b's error bound by a further absolute error of at most
// 2^errorLog2 (the remainder of a truncated series, say): the accuracy
// becomes -log2(2^-accuracy + 2^errorLog2). Finite values only.
void BigFloat_AddError(BigFloat *b, double errorLog2);
// Lowers b's precision (accuracy) to `bits` when it holds more; never
// raises it, so that a value that fell short keeps its honest bound.
void BigFloat_LimitPrecision(BigFloat *b, double bits);
void BigFloat_LimitAccuracy(BigFloat *b, double bits);
// dst = src / d for a small exact divisor d (not zero); the series' terms
// are built this way, in time linear in their length.
void BigFloat_DivSmall(BigFloat *dst, const BigFloat *src, int64_t d);
