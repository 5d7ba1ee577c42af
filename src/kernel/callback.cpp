// Binding of the host callbacks.
#include "kernel/export.h"
#include "kernel/state.h"
#include "vorlan.h"

KERNEL_EXPORT int64_t Kernel_BindCallback(int64_t type, void *function) {
    KernelCallbacks &c = kernel.callbacks;
    switch (type) {
    case 1: c.print = reinterpret_cast<Kernel_TextCallback>(function); break;
    case 2: c.message = reinterpret_cast<Kernel_MessageCallback>(function); break;
    case 3: c.syntaxError = reinterpret_cast<Kernel_TextCallback>(function); break;
    case 4: c.reserved = function; break;
    case 5:
        c.abort = reinterpret_cast<Kernel_AbortCallback>(function);
        c.abortCountdown = 0;
        break;
    default: break;
    }
    return 0;
}
