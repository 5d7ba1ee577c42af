// The exported functions that move expressions across the library boundary.
// Handles are object addresses; the kernel does not check them.
#include "kernel/export.h"
#include "kernel/state.h"
#include "syntax/formatter.h"
#include "vorlan.h"

namespace {

Object *FromHandle(int64_t handle) { return reinterpret_cast<Object *>(handle); }
int64_t ToHandle(Object *o) { return reinterpret_cast<int64_t>(o); }

}  // namespace

KERNEL_EXPORT int64_t Kernel_EvaluateExpression(int64_t handle) {
    return ToHandle(Object_Evaluate(FromHandle(handle)));
}

KERNEL_EXPORT const char16_t *Kernel_OutputExpression(int64_t handle) {
    kernel.lastOutput = Format_Standard(FromHandle(handle));
    return kernel.lastOutput.c_str();
}

KERNEL_EXPORT int64_t Kernel_DuplicateExpression(int64_t handle) {
    Object_AddRef(FromHandle(handle));
    return handle;
}

KERNEL_EXPORT int64_t Kernel_FreeExpression(int64_t handle) {
    Object_Release(FromHandle(handle));
    return 0;
}
