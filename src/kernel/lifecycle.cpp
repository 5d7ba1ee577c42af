// Kernel_Initialize, Kernel_Terminate, Kernel_Reset, Kernel_Version and the
// clearing step that drops the whole object world at once.
#include "kernel/lifecycle.h"

#include "kernel/export.h"
#include "kernel/state.h"
#include "object/registry.h"
#include "object/symbol.h"
#include "syntax/formatter.h"
#include "syntax/lexer.h"
#include "syntax/grammar.h"
#include "vorlan.h"

// Every pool is emptied without reading a reference count, so every handle
// the host still holds dies here. The pointers the kernel state kept into
// the old world are forgotten with it.
void Kernel_Clear() {
    Pool_Clear(&kernel.expressions);
    kernel.releaseQueue.clear();
    kernel.hostValues.clear();
    kernel.releasing = false;
    SymbolTable_Clear();
    NumberState_Clear(kernel.numbers);
    Pool_Clear(&kernel.strings);
    Pool_Clear(&kernel.symbolRecords);
    Pool_Clear(&kernel.attributeTable);
    kernel.temporaryCounter = 0;
    kernel.generation = 0;
    kernel.builtins = {};
    kernel.headSymbols = {};
    kernel.constants = {};
}

KERNEL_EXPORT int64_t Kernel_Initialize(void) {
    Kernel_Terminate();
    Settings_SetDefaults(kernel.settings);
    Tokenizer_Setup();
    Parser_Setup();
    Format_Reset();
    Registry_Run();
    kernel.initialized = true;
    return 1;
}

KERNEL_EXPORT int64_t Kernel_Terminate(void) {
    kernel.callbacks.print = nullptr;
    kernel.callbacks.message = nullptr;
    kernel.callbacks.reserved = nullptr;
    Kernel_Clear();
    Parser_Teardown();
    Tokenizer_Teardown();
    kernel.initialized = false;
    return 0;
}

KERNEL_EXPORT int64_t Kernel_Reset(void) {
    Kernel_Clear();
    Registry_Run();
    return 0;
}

KERNEL_EXPORT int64_t Kernel_Version(void) { return 0x0000000400030002; }
