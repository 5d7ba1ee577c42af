// Cutting program text into inputs for the kernel.
#include "script_text.h"

#include <cstdio>
#include <cstring>

namespace {

// Characters that end a name; a quote right after a name character belongs
// to the name, elsewhere it opens a string.
bool EndsName(unsigned char c) { return std::strchr(" \t+-*/,;!(){}[]:=<>|&?#^~@\n\r.\"", c) != nullptr || c == 0; }

// The length of the line break at text[i], or 0 when there is none.
size_t BreakAt(const std::string &text, size_t i) {
    if (text[i] == '\n') return 1;
    if (text[i] == '\r') return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    return 0;
}

// Walks text once, calling piece(from, to, kind) for consecutive pieces:
// 'b' a line break outside strings, 'c' a line comment before its break,
// 'k' a closed block comment, 's' a string (or the rest of the text in an
// open one), 'o' one other character (or the rest of the text in an open
// block comment). Returns whether the text ends inside a string or a
// comment.
template <class Piece>
bool Walk(const std::string &text, Piece piece) {
    size_t i = 0, n = text.size();
    while (i < n) {
        char c = text[i];
        if (size_t b = BreakAt(text, i)) {
            piece(i, i + b, 'b');
            i += b;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '#') {
            size_t end = i + 2;
            while (end < n && !BreakAt(text, end)) ++end;
            piece(i, end, 'c');
            i = end;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            size_t end = text.find("*/", i + 2);
            if (end == std::string::npos) {
                piece(i, n, 'o');
                return true;
            }
            piece(i, end + 2, 'k');
            i = end + 2;
            continue;
        }
        if (c == '"' || (c == '\'' && (i == 0 || EndsName(static_cast<unsigned char>(text[i - 1]))))) {
            size_t k = i + 1;
            while (k < n && text[k] != c) k += text[k] == '\\' ? 2 : 1;
            if (k >= n) {
                piece(i, n, 's');
                return true;
            }
            piece(i, k + 1, 's');
            i = k + 1;
            continue;
        }
        piece(i, i + 1, 'o');
        ++i;
    }
    return false;
}

int LinesIn(const std::string &text, size_t from, size_t to) {
    int lines = 0;
    for (size_t i = from; i < to; ++i) lines += text[i] == '\n' || (text[i] == '\r' && (i + 1 >= to || text[i + 1] != '\n'));
    return lines;
}

// Appends the piece text[from, to) of the given kind (see Walk) to the
// kernel text out: a line break becomes CR LF, anything else is copied.
void AppendKernelPiece(std::string &out, const std::string &text, size_t from, size_t to, char kind) {
    if (kind == 'b') out += "\r\n";
    else out.append(text, from, to - from);
}

}  // namespace

std::vector<ScriptInput> Script_Cut(const std::string &text, bool *open) {
    std::vector<ScriptInput> inputs;
    int depth = 0, line = 1, startLine = 1;
    std::string current;  // the kernel text of the input so far
    char last = 0;        // the kind of its last piece
    bool content = false;  // the current input has more than blanks and comments
    auto finish = [&] {
        if (content) inputs.push_back({current + (last == 'c' ? "\r\n" : ""), startLine});
        current.clear();
        content = false;
    };
    bool inside = Walk(text, [&](size_t from, size_t to, char kind) {
        AppendKernelPiece(current, text, from, to, kind);
        last = kind;
        if (kind == 'b') {
            ++line;
            if (depth <= 0) finish();
            return;
        }
        if (kind == 'c' || kind == 'k') {
            line += LinesIn(text, from, to);
            return;
        }
        if (kind == 's') {
            if (!content) startLine = line;
            content = true;
            line += LinesIn(text, from, to);
            return;
        }
        char c = text[from];
        if (c == ' ' || c == '\t') return;
        if (!content) startLine = line;
        content = true;
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') --depth;
    });
    finish();
    if (open) *open = inside || depth > 0;
    return inputs;
}

std::string Script_KernelText(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    char last = 0;
    Walk(text, [&](size_t from, size_t to, char kind) {
        AppendKernelPiece(out, text, from, to, kind);
        last = kind;
    });
    if (last == 'c') out += "\r\n";
    return out;
}

std::string Script_SkipPreamble(const std::string &source) {
    size_t at = source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (source.compare(at, 2, "#!") == 0) {
        size_t end = at;
        while (end < source.size() && source[end] != '\n' && source[end] != '\r') ++end;
        at = end;
    }
    return source.substr(at);
}

std::string QuotedString(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 32 || c == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}
