// The part of the kernel state that belongs to the number classes: their
// pools and shared records.
#pragma once

#include <cstdint>

#include "number/bigint.h"
#include "object/pool.h"

struct NumberState {
    Pool bigInts;    // BigInt records (the limbs of an Integer of subtype 3)
    Pool integers;   // Integer objects
    Pool reals;      // Real objects

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

// Drops every number object and record at once (part of the clearing step).
void NumberState_Clear(NumberState &numbers);
