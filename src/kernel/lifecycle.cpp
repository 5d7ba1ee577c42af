// Kernel_Initialize, Kernel_Terminate, Kernel_Reset, Kernel_Version and the
// clearing step that drops the whole object world at once.
#include "kernel/lifecycle.h"

#include "kernel/boundary.h"
#include "kernel/export.h"
#include "kernel/state.h"
#include "kernel/unicode_tables.h"
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
    kernel.releaseQueue = nullptr;
    kernel.releasing = false;
    kernel.hostValues.clear();
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

std::vector<PoolCount> Kernel_LiveCounts() {
    const NumberState &n = kernel.numbers;
    std::vector<PoolCount> counts;
    const Pool *pools[] = {&n.integers,  &n.bigInts,          &n.reals,         &n.bigFloats,
                           &n.rationals, &n.complexes,        &kernel.strings,  &kernel.expressions,
                           &kernel.symbols, &kernel.symbolRecords, &kernel.attributeTable};
    for (const Pool *p : pools)
        counts.push_back({p->name, p->count});
    return counts;
}

// A kernel whose set-up ran out of memory stays uninitialized: the other
// exported functions then refuse to work rather than run on a half-built
// symbol world, and the next Kernel_Initialize starts clean.
KERNEL_EXPORT int64_t Kernel_Initialize(void) {
    Kernel_Terminate();
    UnicodeTables_Load();
    Boundary_Call<int>(0, [] {
        Settings_SetDefaults(kernel.settings);
        Tokenizer_Setup();
        Parser_Setup();
        Format_Reset();
        Registry_Run();
        kernel.initialized = true;
        return 0;
    });
    return 1;
}

KERNEL_EXPORT int64_t Kernel_Terminate(void) {
    kernel.callbacks.print = nullptr;
    kernel.callbacks.message = nullptr;
    kernel.callbacks.reserved = nullptr;
    kernel.callbacks.abort = nullptr;
    kernel.initialized = false;
    UnicodeTables_Free();
    Boundary_Call<int>(0, [] {
        Kernel_Clear();
        Parser_Teardown();
        Tokenizer_Teardown();
        return 0;
    });
    return 0;
}

// Without an initialized kernel there is no front end to register the
// built-ins with, so a reset then does nothing.
KERNEL_EXPORT int64_t Kernel_Reset(void) {
    if (!kernel.initialized) return 0;
    kernel.initialized = false;
    Boundary_Call<int>(0, [] {
        Kernel_Clear();
        Registry_Run();
        kernel.initialized = true;
        return 0;
    });
    return 0;
}

KERNEL_EXPORT int64_t Kernel_Version(void) { return 0x0000000400030002; }
