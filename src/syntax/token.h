// Tokens and the token list that the tokenizer fills and the parser rewrites
// in place: a doubly linked list with a cursor.
#pragma once

#include <cstdint>
#include <string>

#include "object/object.h"

struct Token {
    std::u16string cls;   // token class, later the grammar symbol
    std::u16string text;  // matched text, later the parser's bookkeeping
    Object *value;        // owned reference, or null
    int64_t position;     // index of the first character in the input
    int32_t symbol;       // the parser's number for cls, -1 when it has none
    int32_t literal;      // the parser's number for text, -1 when it has none
    Token *prev;
    Token *next;
};

struct TokenList {
    Token *first = nullptr;
    Token *last = nullptr;
    Token *cursor = nullptr;
    int64_t count = 0;

    TokenList() = default;
    TokenList(const TokenList &) = delete;
    TokenList &operator=(const TokenList &) = delete;
    ~TokenList() { Clear(); }

    // Appends a token without a value; returns it.
    Token *Append(std::u16string cls, std::u16string text, int64_t position);
    // Inserts a token without a value before / after an existing one (null
    // for an empty list); returns it.
    Token *InsertBefore(Token *at, std::u16string cls, std::u16string text, int64_t position);
    Token *InsertAfter(Token *at, std::u16string cls, std::u16string text, int64_t position);
    // Unlinks and frees t, releasing its value; when t is the cursor, the
    // cursor moves to the previous token.
    void Delete(Token *t);
    // Frees every token, releasing the values.
    void Clear();
};
