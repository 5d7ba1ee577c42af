// The part of the kernel state that belongs to the number classes: their
// pools and shared records.
#pragma once

#include "object/pool.h"

struct NumberState {
    Pool bigInts;    // BigInt records (the limbs of an Integer of subtype 3)
    Pool integers;   // Integer objects
};

// Creates the empty pools at library load.
void NumberState_Init(NumberState &numbers);

// Returns the pools' storage at library unload.
void NumberState_Destroy(NumberState &numbers);

// Drops every number object and record at once (part of the clearing step).
void NumberState_Clear(NumberState &numbers);
