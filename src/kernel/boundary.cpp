// Recovery after a call was abandoned at the library boundary.
#include "kernel/boundary.h"

#include "eval/definition.h"
#include "kernel/state.h"
#include "syntax/formatter.h"

void Boundary_Recover() noexcept {
    KernelSettings &s = kernel.settings;
    s.recursionDepth = 0;
    s.recursionLimitReported = 0;
    kernel.eval.currentBindings = nullptr;
    kernel.eval.nesting = 0;
    kernel.eval.nestingReported = false;
    kernel.messageSuppression = 0;
    Format_Reset();
    Definitions_AbandonMatches();
}
