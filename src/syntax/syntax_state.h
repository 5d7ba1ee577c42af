// The part of the kernel state that belongs to the language front end.
#pragma once

#include <cstdint>

struct Lexer;
struct Grammar;

struct SyntaxState {
    Lexer *lexer;          // the kernel's tokenizer, built by Kernel_Initialize
    Grammar *grammar;      // the kernel's parser
    int64_t bracketDepth;  // bracket nesting of the text being tokenized
};
