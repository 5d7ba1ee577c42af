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

struct FormatterRow {
    BuiltinSymbol symbol;
    OutputFormatter formatter;
};

// A module's rows, as the registry walks them.
template <typename Row>
struct RowTable {
    const Row *rows;
    size_t count;
};

using NativeTable = RowTable<NativeRow>;
using FormatterTable = RowTable<FormatterRow>;

template <typename Row, size_t N>
constexpr RowTable<Row> Table_Of(const Row (&rows)[N]) {
    return {rows, N};
}
