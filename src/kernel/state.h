// The one process-wide kernel state record. Every mutable datum of the
// kernel lives here; modules reach it through the single object `kernel`.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "eval/eval_state.h"
#include "kernel/settings.h"
#include "kernel/unicode_tables.h"
#include "number/number_state.h"
#include "object/builtins.h"
#include "object/object.h"
#include "object/pool.h"
#include "syntax/format_state.h"
#include "syntax/syntax_state.h"

struct Symbol;
struct Expression;

// Name to symbol; the keys view the names the symbols own.
using SymbolTable = std::unordered_map<std::u16string_view, Symbol *>;

// The shared constant objects that the registry builds and the kernel hands
// out by new reference.
struct KernelConstants {
    Object *integers[9];   // -1, 0, 1, 2, 3, 4, 5, 6, 10
    Object *rationals[5];  // -1/2, 1/2, 1/3, 1/4, 1/6
    Object *reals[6];      // 0.0, -1.0, 1.0, pi, pi/2, -pi/2
    Object *overflow;
    Object *underflow;
    Object *negativeOverflow;
    Object *negativeUnderflow;
    Object *imaginaryUnit;     // Complex(0, 1)
    Object *complexOverflow;
    Object *complexUnderflow;
    Object *complexOne;        // Complex(1.0, 0.0)
    Object *emptyText;
    Object *emptySequence;
    Object *emptyList;
    Object *infinity;          // DirectedInfinity[1]
    Object *negativeInfinity;  // DirectedInfinity[-1]
    Object *complexInfinity;   // DirectedInfinity[]
    Object *sqrt3;             // Power[3, 1/2]
    Object *halfSqrt3;         // Times[1/2, Power[3, 1/2]]
    Object *inverseSqrt3;      // Power[3, -1/2]
    Object *inverseSqrt2;      // Power[2, -1/2]
    Object *piMultiples[5];    // 2 Pi, Pi/2, Pi/3, Pi/4, Pi/6
};

enum ConstantRational { RAT_MINUS_HALF, RAT_HALF, RAT_THIRD, RAT_QUARTER, RAT_SIXTH };

enum ConstantInteger { INT_MINUS_ONE, INT_ZERO, INT_ONE, INT_TWO, INT_THREE, INT_FOUR, INT_FIVE, INT_SIX, INT_TEN };

struct KernelCallbacks {
    void (*print)(const char16_t *text);
    void (*message)(const char16_t *text, const char16_t *symbol, const char16_t *tag);
    void (*syntaxError)(const char16_t *text);
    void *reserved;  // type 4: stored, never called
    int64_t (*abort)();      // type 5: polled while evaluating; non-zero stops
    int64_t abortCountdown;  // evaluations until the next poll
};

struct KernelState {
    // Definition generation: raised by every definition; 1 after the
    // registry, 0 after the clearing step.
    int64_t generation;
    int64_t temporaryCounter;

    FormatState format;
    SyntaxState syntax;
    EvalState eval;

    // Object pools, in the order the clearing step empties them.
    NumberState numbers;
    Pool strings;
    Pool expressions;
    Pool symbols;
    SymbolTable symbolTable;
    Pool symbolRecords;
    Pool attributeTable;

    // Expressions whose count reached zero and whose elements still have to
    // be released, linked through their dead stamp fields; drained by the
    // outermost release so that freeing a deeply nested expression does not
    // recurse, and never allocates, so that a release is safe while an
    // exception unwinds.
    Expression *releaseQueue;
    bool releasing;

    std::array<Object *, SYM_COUNT> builtins;      // one reference to each built-in symbol
    std::array<Object *, TYPE_COUNT> headSymbols;  // head of the atoms of each type id (borrowed)
    KernelConstants constants;

    KernelCallbacks callbacks;
    int64_t messageSuppression;      // messages reach the host only at 0

    KernelSettings settings;

    // The unpacked collation tables: unpacked by Kernel_Initialize, kept
    // by Kernel_Reset, freed by Kernel_Terminate.
    UnicodeTables unicode;

    std::u16string lastOutput;       // text of the last Kernel_OutputExpression
    std::unordered_set<Object *> hostValues;  // values read by Kernel_GetValue, kept until reset

    // The words of the pseudo-random generator: all zero until the first
    // draw seeds them, once per process; reset and terminate leave them.
    uint64_t randomState[4];

    bool hardwareCrc;                // the processor has the CRC-32C instruction
    bool initialized;
};

extern KernelState kernel VORLAN_INTERNAL;

// A new reference to a built-in symbol.
inline Object *Builtin(BuiltinSymbol id) { return Object_AddRef(kernel.builtins[id]); }
// A borrowed built-in symbol, for identity tests.
inline Object *BuiltinBorrowed(BuiltinSymbol id) { return kernel.builtins[id]; }
