// A large private stack for evaluation. Evaluation recurses once per level of
// expression nesting, so a deeply nested input would overflow the host
// thread's stack; top-level evaluations therefore run on a stack of their
// own, reserved once (address space only; pages are committed as touched).
#pragma once

#include "object/object.h"

// Runs fn(arg) on the deep stack and returns its result; a call made while
// already on it runs directly. Ownership is fn's. Whatever fn throws (it
// ran out of memory, or the host aborted it) is thrown again to the
// caller on its own stack. fn starts with
// the caller's rounding mode and floating-point exception masks, and the
// caller has them back afterwards whatever fn set.
Object *DeepStack_Run(Object *(*fn)(Object *), Object *arg);

// Returns the stack's address space at library unload.
void DeepStack_Destroy();
