// The output formatter's core: the output-form stack, the stack of
// formatting contexts that decides parentheses, the two output forms, and
// the generic head(arguments) layout of compound expressions.
#pragma once

#include <cstdint>
#include <string>

#include "object/object.h"
#include "syntax/format_state.h"

// Empties both stacks and pushes the base context {0, 0}.
void Format_Reset();

// Output-form stack. Push returns false (and changes nothing) when full.
bool Form_Push(int64_t form);
void Form_Pop();
int64_t Form_Current();

// Pushes {precedence, (top flags AND NOT mask) OR (bits AND mask)}. Returns
// false, pushing nothing, when the stack is full: the caller then writes
// Format_CutMarker instead of the operand and must not pop.
bool Context_Push(int64_t precedence, uint64_t bits, uint64_t mask);

// Pops the top entry and answers whether its text needs parentheses against
// the entry now on top: p <= q when that entry's flags are exactly the strict
// bit, else p < q.
bool Context_Pop();

// The test of Context_Pop for precedence p against the current top.
bool Context_WouldNeedParens(int64_t precedence);

// Sets the top entry's flags to (flags AND NOT mask) OR (value AND mask),
// unless value is CONTEXT_FLAGS_QUERY; returns the flags.
constexpr uint64_t CONTEXT_FLAGS_QUERY = uint64_t(-65535);
uint64_t Context_Flags(uint64_t value, uint64_t mask);

// What stands for a part of an expression nested deeper than the stacks.
inline constexpr char16_t Format_CutMarker[] = u"\u00AB\u2026\u00BB";

// Appends o's text in the current form to text. Borrows o.
void Format_Append(Object *o, TextBuffer &text);

// o in the standard form and in the full form. Borrow o.
std::u16string Format_Standard(Object *o);
std::u16string Format_Full(Object *o);

// The generic layout of a compound expression: its head symbol's output
// formatter when that accepts it, else head(arg1, arg2, ...). Appends to
// text; borrows e.
void Format_Expression(Object *e, TextBuffer &text);

// Appends the decimal digits of v (with '-' when negative).
void Format_AppendDecimal(int64_t v, TextBuffer &text);
