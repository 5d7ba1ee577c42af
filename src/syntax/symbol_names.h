// Symbol names from text and symbol listings: ToSymbol, which accepts
// exactly the texts the tokenizer reads as one name, and Symbols, which
// lists the symbol table, optionally through a wildcard pattern.
#pragma once

#include <string_view>

#include "object/native_table.h"
#include "object/object.h"

// Whether name matches the wildcard pattern as a whole: "*" stands for any
// run of characters (the empty one too), "?" for exactly one character, and
// every other character for itself, case and all. A surrogate pair is one
// character.
bool SymbolNames_WildcardMatch(std::u16string_view pattern, std::u16string_view name);

// ToSymbol[s]: the symbol named by the string s, evaluated (so a symbol
// with a value gives the value). A text that is no valid name gives the
// Name message and the call itself, marked as evaluated. Consumes call.
Object *Builtin_ToSymbol(Object *call);

// Symbols[] and Symbols[pattern]: the List of the symbols in the table,
// all of them or those whose names match the wildcard pattern, in
// canonical order; a pattern holding a zero byte matches nothing. Consumes
// call.
Object *Builtin_Symbols(Object *call);

// The natives of this module, for the registry.
extern const NativeTable SymbolNameNatives;
