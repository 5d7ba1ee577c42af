// Cutting program text into inputs for the kernel, as the vorlan host
// reads scripts and interactive lines.
#pragma once

#include <string>
#include <vector>

struct ScriptInput {
    std::string text;  // what the kernel parses (see Script_KernelText)
    int line;          // the 1-based line the input starts on
};

// Cuts text (UTF-8, lines ended by LF, CR LF or CR) into top-level inputs:
// a line break ends an input when it lies outside brackets, strings and
// comments. Inputs of nothing but blanks and comments are left out. open,
// when given, reports whether the text ends inside a bracket, a string or a
// comment.
std::vector<ScriptInput> Script_Cut(const std::string &text, bool *open);

// The text the kernel gets for an input: each line break outside strings
// becomes CR LF, where the kernel's line comments end; a line break inside
// a string stays exactly as written; a final line comment gets its line
// end.
std::string Script_KernelText(const std::string &text);

// A script's text without what precedes the program: a UTF-8 byte-order
// mark, and a first line starting with #! (its line break stays, so line
// numbers still count from the file's first line).
std::string Script_SkipPreamble(const std::string &source);

// text as a double-quoted string literal that reads back as text: the
// quote and the backslash escaped, control characters as \xHH.
std::string QuotedString(const std::string &text);
