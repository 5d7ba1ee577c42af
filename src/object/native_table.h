// The table of natives that each module implementing built-ins keeps beside
// its code, and the registry walks at start-up. A row names the built-in
// symbol, the argument patterns that receive the native (in registration
// order, in the language's own notation), and the native itself.
#pragma once

#include <cstddef>

#include "object/builtins.h"
#include "object/object.h"

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
