// The tables that each module implementing built-ins keeps beside its code,
// and the registry walks at start-up. A native row names the built-in
// symbol, the argument patterns that receive the native (in registration
// order, in the language's own notation), and the native itself; a
// formatter row names the symbol whose expressions the formatter writes.
#pragma once

#include <cstddef>

#include "object/builtins.h"
#include "object/object.h"
#include "object/symbol.h"

struct NativeRow {
    BuiltinSymbol symbol;
    const char16_t *patterns[2];  // the second is null for one pattern
    NativeFunction native;
};

struct NativeTable {
    const NativeRow *rows;
    size_t count;
};

template <size_t N>
constexpr NativeTable NativeTable_Of(const NativeRow (&rows)[N]) {
    return {rows, N};
}

struct FormatterRow {
    BuiltinSymbol symbol;
    OutputFormatter formatter;
};

struct FormatterTable {
    const FormatterRow *rows;
    size_t count;
};

template <size_t N>
constexpr FormatterTable FormatterTable_Of(const FormatterRow (&rows)[N]) {
    return {rows, N};
}
