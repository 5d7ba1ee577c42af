// The built-ins that write to the host: Print and Output.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// Print[a1, ..., an]: passes each argument's text to the print callback
// (strings as their content, Null skipped); the result is the last argument.
// Consumes call.
Object *Builtin_Print(Object *call);

// Output[a1, ..., an]: drops the Null arguments; nothing left gives Null,
// one left gives that argument. Consumes call.
Object *Builtin_Output(Object *call);

// Output formatter: at the top level, the arguments' standard forms on lines
// of their own (joined by CR LF); elsewhere it declines. Borrows e.
bool Format_Output(Object *e, TextBuffer &text);

// The natives and the formatter of this module, for the registry.
extern const NativeTable PrintNatives;
extern const FormatterTable PrintFormatters;
