// Aborting a running evaluation at the host's request.
#include "kernel/abort.h"

void Abort_Check() {
    kernel.callbacks.abortCountdown = kAbortPollInterval;
    if (auto poll = kernel.callbacks.abort; poll && poll() != 0) throw KernelAbort{};
}
