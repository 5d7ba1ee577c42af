// Aborting a running evaluation at the host's request.
//
// The host binds callback type 5, a function of no arguments that returns
// non-zero when the evaluation under way should stop (typically because
// the user pressed Ctrl-C and a signal handler raised a flag). The kernel
// calls it at bounded intervals: once every kAbortPollInterval expression
// evaluations, and between the large steps of the long number loops (the
// squarings of a power, the splits of a radix conversion). When it answers
// non-zero the kernel throws KernelAbort at that point; the throw unwinds
// to the library boundary like running out of memory does, the boundary
// puts the transient state back, and the exported call returns its failure
// value (a null handle from Kernel_EvaluateExpression). Poll points sit
// only where no definition, attribute or table is half-changed, so every
// symbol and definition is as the last completed step left it.
#pragma once

#include <cstdint>

#include "kernel/state.h"

// What the kernel throws when the host asks it to stop. Deliberately not a
// std::exception, so that no handler meant for something else takes it.
struct KernelAbort {};

// Expression evaluations between two polls: short enough that a poll comes
// every fraction of a millisecond, long enough that a host callback costs
// nothing measurable.
constexpr int64_t kAbortPollInterval = 2048;

// Calls the abort callback, when one is bound, and throws KernelAbort when
// it answers non-zero. Restarts the countdown of Abort_Tick.
void Abort_Check();

// The cheap poll of the evaluator: counts one evaluation and checks once
// every kAbortPollInterval of them.
inline void Abort_Tick() {
    if (kernel.callbacks.abort && --kernel.callbacks.abortCountdown < 0) Abort_Check();
}
