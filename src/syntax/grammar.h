// The kernel's grammar: the rules of the language and the actions that
// build expressions from tokens.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "syntax/parser.h"

// Builds the kernel's grammar into kernel.syntax.grammar.
void Parser_Setup();

// Frees it.
void Parser_Teardown();

// One rule of the grammar as its table writes it: the result symbol, the
// elements (one text split at spaces, quoted pieces are literals) and the
// head name its action builds, empty for none. The documentation generator
// reads the operators from these, so that they cannot drift from the parser.
struct GrammarRuleText {
    std::u16string_view result;
    std::u16string_view elements;
    std::u16string_view head;
};

// The rules in the order of the table, tightest first.
std::vector<GrammarRuleText> Parser_GrammarRules();

// Tokenizes and parses text with the kernel's lexer and grammar. Returns the
// expression (a new reference), or null: for a syntax error *syntaxError is
// set and the message is in Parser_LastError; a text without tokens is no
// error.
Object *Parser_ParseText(std::u16string_view text, bool *syntaxError = nullptr);

// The message of the last syntax error of Parser_ParseText: the lexer's when
// the text could not be cut into tokens, else the grammar's.
const std::u16string &Parser_LastError();

// The message of a failed parse: the two-objects text with an excerpt of the
// input when the first two remaining tokens are objects, else "Unknown".
std::u16string Parser_ErrorText(const TokenList &tokens, std::u16string_view input);

// Decodes the text of a string literal (with its quotes) into a String
// object: one byte per character between single quotes, UTF-8 between
// double quotes. Returns a new reference.
Object *Parser_StringValue(std::u16string_view literal);
