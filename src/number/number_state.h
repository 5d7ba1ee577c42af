// The part of the kernel state that belongs to the number classes: their
// pools and shared records.
#pragma once

#include <cstdint>

#include "number/bigfloat.h"
#include "number/bigint.h"
#include "object/pool.h"

// The numeric context: the mode and digit target that numeric evaluation
// in context mode stands for. Every nested numeric evaluation saves and
// restores it.
struct NumericContext {
    int64_t mode;
    double digits;
};

// The arbitrary-precision values of the constants computed so far; they
// live until the kernel is reset or terminated.
struct ConstantCaches {
    BigFloat pi;
    BigFloat e;
    BigFloat euler;
    BigFloat ln2;
};

struct NumberState {
    Pool bigInts;    // BigInt records (the limbs of an Integer of subtype 3)
    Pool integers;   // Integer objects
    Pool reals;      // Real objects
    Pool bigFloats;  // BigFloat records (the value of a Real of subtype 3)
    Pool rationals;  // Rational objects
    Pool complexes;  // Complex objects

    NumericContext numeric;
    ConstantCaches caches;

    // The limb count no BigInt may exceed; set at load to BIGINT_LIMB_LIMIT.
    int64_t limbLimit;
    // Shared operands, built at load and never changed: 1 and 2.
    BigInt one;
    BigInt two;
    // Temporaries of the record-level operations (operand copies, gcd
    // buffers). Their arrays are kept between calls so that repeated
    // operations of similar sizes do not allocate; they live outside the
    // pool, so a reset leaves them alone.
    BigInt scratch[BIGINT_SCRATCH];
};

// Creates the empty pools at library load.
void NumberState_Init(NumberState &numbers);

// Returns the pools' storage at library unload.
void NumberState_Destroy(NumberState &numbers);

// Frees the constant caches (kept outside the pools).
void NumberState_ClearCaches(NumberState &numbers);

// Drops every number object and record at once (part of the clearing step).
void NumberState_Clear(NumberState &numbers);
