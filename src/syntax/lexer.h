// The data-driven tokenizer. A lexer holds an ordered list of token classes,
// each a name, a pattern and an action; building the lexer joins the classes
// into one pattern of named groups, tried left to right, so the order of the
// classes is their priority. Tokenizing scans the text with that pattern and
// turns each match into a token of the class whose group took part.
//
// Lexer_Create follows the handle convention of the pattern engine (-1
// allocates, 0..65535 is a slot); the other operations take the record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "syntax/token.h"

// Decides whether a match becomes a token; may look at and change the list.
using TokenFilter = bool (*)(TokenList &tokens, std::u16string_view matched);

// What becomes of a match of a class.
enum : int64_t {
    TOKEN_DROP = -1,   // dropped, e.g. comments
    TOKEN_KEEP = 0,    // appended as a token
    TOKEN_FILTER = 1,  // appended when the class's filter says so
};

struct TokenClass {
    std::u16string name;     // also the group name in the combined pattern
    std::u16string pattern;
    int64_t action;          // TOKEN_DROP, TOKEN_KEEP or TOKEN_FILTER
    TokenFilter filter;      // for TOKEN_FILTER
};

struct Lexer {
    int64_t pattern = 0;   // handle of the combined pattern, 0 until built
    std::u16string text;   // copy of the text being tokenized
    std::unordered_map<std::u16string, size_t> classIndex;  // name → index in classes
    std::vector<TokenClass> classes;                         // in the order added
    TokenList tokens;
    std::u16string error;  // why the last text gave no tokens, or empty
    int64_t slot = -1;     // slot holding the lexer, or -1
};

// Makes an empty lexer: slot -1 returns its address as the handle, a slot
// 0..65535 stores it there (freeing a lexer already there) and returns the
// slot number; any other slot is refused with 0.
int64_t Lexer_Create(int64_t slot);

// The lexer behind a handle (borrowed), or null.
Lexer *Lexer_FromHandle(int64_t handle);

// Appends a class whose matches are kept (TOKEN_KEEP) or dropped
// (TOKEN_DROP). A class of a name already present is replaced in its place.
void Lexer_AddClass(Lexer *lexer, std::u16string_view name, std::u16string_view pattern, int64_t action);

// Appends a class whose matches pass through filter.
void Lexer_AddClass(Lexer *lexer, std::u16string_view name, std::u16string_view pattern, TokenFilter filter);

// Joins the classes into the combined pattern and compiles it, replacing an
// earlier build.
void Lexer_Build(Lexer *lexer);

// Replaces the token list with the tokens of text (up to its first NUL).
// Returns the number of tokens: 0 for text of nothing but white space and
// comments, or for a lexer not yet built, and 0 with the message in
// lexer->error when a token is too long for the pattern engine to read:
// the text is then refused as a whole rather than cut into other tokens.
int64_t Lexer_Tokenize(Lexer *lexer, std::u16string_view text);

// The token list (owned by the lexer; the parser rewrites it in place) and
// the text it was made from.
TokenList &Lexer_Tokens(Lexer *lexer);
const std::u16string &Lexer_Text(const Lexer *lexer);

// Frees the lexer with its classes, tokens and compiled pattern, and clears
// its slot.
void Lexer_Free(Lexer *lexer);

// The filters of the kernel's lexer. The bracket filter counts the nesting
// of ( [ { in kernel.syntax.bracketDepth and keeps every separator; the
// line-break filter keeps a line break only outside brackets, so an input
// continues over lines while a bracket is open.
bool Lexer_BracketFilter(TokenList &tokens, std::u16string_view matched);
bool Lexer_LineBreakFilter(TokenList &tokens, std::u16string_view matched);

// Builds the kernel's tokenizer at start-up: fills the word-operator map, the
// delimiter class text and the constant-name map, and makes and builds the
// lexer with the language's ten token classes into kernel.syntax.lexer. A
// tokenizer already there is freed first.
void Tokenizer_Setup();

// Frees the kernel's lexer and the name check made from the delimiter
// text, and empties the maps and the delimiter text.
void Tokenizer_Teardown();
