// A rule-driven bottom-up parser. The grammar is an ordered list of rules,
// each reducing a run of tokens that ends at the cursor to one token; the
// engine tries the rules in order at every step, so precedence and
// associativity follow from the order of the rules alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "object/object.h"
#include "syntax/token.h"

struct Grammar;

// Builds the values of a reduction. Called with the list's cursor on the
// leftmost matched token; deletes the tokens it consumed and leaves the
// cursor on the result token. head is the rule's head name.
using GrammarAction = void (*)(TokenList &tokens, const std::u16string &head);

// Returns the message of a failed parse from what is left of the token list
// and the input text.
using GrammarErrorText = std::u16string (*)(const TokenList &tokens, std::u16string_view input);

// Keep flags of a rule without an action: bit i-1 keeps matched token i,
// bit i+2 keeps it as the result.
constexpr int64_t RULE_KEEP_FIRST = 8;
constexpr int64_t RULE_KEEP_SECOND = 16;

Grammar *Grammar_Create(GrammarErrorText onError);

// Appends a rule: result symbol, the elements as one text split at spaces (a
// piece in single quotes is a literal matched against token text, any other
// piece a symbol matched against the token class), and either keep flags or
// an action with its head name.
void Grammar_AddRule(Grammar *g, std::u16string_view result, std::u16string_view elements, int64_t flags,
                     GrammarAction action = nullptr, std::u16string_view head = {});

// Parses the token list in place. Returns the value of the one remaining
// token (a new reference, taken from the token) or null; on failure the last
// error is set and every remaining value released.
Object *Grammar_Parse(Grammar *g, TokenList &tokens, std::u16string_view input);

const std::u16string &Grammar_LastError(const Grammar *g);

void Grammar_Free(Grammar *g);

// The number the grammar gives a token text, or -1; actions that rewrite a
// token's text call it to keep the token's literal field in step.
int32_t Grammar_LiteralId(const Grammar *g, std::u16string_view text);
