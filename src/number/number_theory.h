// Number theory: GreatestCommonDivisor (also GCD), Factorial, Binomial,
// Fibonacci, Bernoulli, IsPrime, IsEven and IsOdd. Exact on integers of
// any size, with numeric methods for inexact arguments of the functions
// that extend to the reals and the complex plane.
#pragma once

#include <cstdint>

#include "object/native_table.h"

struct BigInt;

// Whether |n| is prime: a table below 20, trial division by the primes to
// 19, then deterministic strong-probable-prime tests.
bool NumberTheory_IsPrimeWord(uint64_t n);
// Whether |n| is prime, for a record of any size (false for special
// records, zero and one).
bool NumberTheory_IsPrime(const BigInt *n);

// dst = n! for n >= 0, as a record (IntInfinite when it exceeds the limb
// limit or memory).
void NumberTheory_Factorial(BigInt *dst, uint64_t n);
// dst = F(n), the Fibonacci number, for n >= 0.
void NumberTheory_Fibonacci(BigInt *dst, uint64_t n);
// dst = Binomial(n, k) for 0 <= k <= n.
void NumberTheory_Binomial(BigInt *dst, uint64_t n, uint64_t k);

extern const NativeTable NumberTheoryNatives;
