// The output formatters of the operator symbols: infix, prefix and postfix
// layouts with the parentheses that the formatting contexts call for. Each
// takes the object being formatted (borrowed), appends its text and returns
// true, or returns false having appended nothing so that the generic
// head(arguments) layout runs. All of them decline outside the standard
// form, for another head, or for a number of arguments they do not handle.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

bool Format_Plus(Object *e, TextBuffer &text);
bool Format_Subtract(Object *e, TextBuffer &text);
bool Format_Times(Object *e, TextBuffer &text);
bool Format_Power(Object *e, TextBuffer &text);
bool Format_Rule(Object *e, TextBuffer &text);          // Rule and RuleDelayed
bool Format_Logic(Object *e, TextBuffer &text);         // And, Or, Xor
bool Format_Not(Object *e, TextBuffer &text);
bool Format_Span(Object *e, TextBuffer &text);
bool Format_Comparison(Object *e, TextBuffer &text);    // Equal, Unequal, Less, LessEqual, Greater, GreaterEqual
bool Format_Join(Object *e, TextBuffer &text);
bool Format_Factorial(Object *e, TextBuffer &text);
bool Format_Part(Object *e, TextBuffer &text);
bool Format_List(Object *e, TextBuffer &text);
bool Format_Slot(Object *e, TextBuffer &text);
bool Format_DirectedInfinity(Object *e, TextBuffer &text);
bool Format_Blank(Object *e, TextBuffer &text);         // Any, AnySequence, AnyNullSequence
bool Format_InternalForm(Object *e, TextBuffer &text);

// The symbols these formatters write, for the registry.
extern const FormatterTable OperatorFormatters;
