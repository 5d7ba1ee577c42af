// The two stacks of the output formatter, kept in the kernel state.
#pragma once

#include <cstdint>

// Output forms: under the base entry 0 nothing prints.
enum : int64_t {
    FORM_NONE = 0,
    FORM_FULL = 2,
    FORM_STANDARD = 3,
};

// Flag bits of a formatting context.
enum : uint64_t {
    CTX_STRICT = 1,       // an operand of the same precedence needs parentheses
    CTX_MAGNITUDE = 2,    // a negative number prints without its sign
    CTX_DENOMINATOR = 4,  // the power being formatted is a denominator factor
};

struct FormatContext {
    int64_t precedence;
    uint64_t flags;
};

// Capacity of both stacks. It bounds how deeply nested an expression can be
// printed; deeper parts are cut off rather than written past the arrays.
constexpr int64_t kFormatStackCapacity = 2048;

struct FormatState {
    int64_t forms[kFormatStackCapacity];
    int64_t formTop;  // index of the top entry
    FormatContext contexts[kFormatStackCapacity];
    int64_t contextTop;
};
