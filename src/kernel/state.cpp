// The kernel state record and the library's load and unload steps. Loading
// makes the empty pools and containers; unloading returns their storage.
// Neither runs Kernel_Initialize or Kernel_Terminate.
#include "kernel/state.h"

#include "eval/deep_stack.h"
#include "object/crc32c.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"
#include "object/attributes.h"
#include "syntax/syntax_state.h"

KernelState kernel;

namespace {

void Load() {
    NumberState_Init(kernel.numbers);
    Pool_Init(&kernel.strings, "String", sizeof(String), String_DropOwned);
    Pool_Init(&kernel.expressions, "Expression", sizeof(Expression), Expression_DropOwned);
    Pool_Init(&kernel.symbols, "Symbol", sizeof(Symbol), Symbol_DropOwned);
    Pool_Init(&kernel.symbolRecords, "SymbolRecord", sizeof(SymbolRecord), SymbolRecord_DropOwned);
    Pool_Init(&kernel.attributeTable, "Attribute", sizeof(AttributeEntry), nullptr);
    kernel.symbolTable.reserve(512);
    kernel.hardwareCrc = Crc32c_HardwareAvailable();
}

void Unload() {
    DeepStack_Destroy();
    SyntaxState_Destroy();
    kernel.symbolTable.clear();
    NumberState_Destroy(kernel.numbers);
    for (Pool *p : {&kernel.strings, &kernel.expressions, &kernel.symbols, &kernel.symbolRecords,
                    &kernel.attributeTable})
        Pool_Destroy(p);
}

// Defined after `kernel` in this file, so the state is constructed before
// Load runs and destroyed after Unload.
struct LibraryLifetime {
    LibraryLifetime() { Load(); }
    ~LibraryLifetime() { Unload(); }
} lifetime;

}  // namespace
