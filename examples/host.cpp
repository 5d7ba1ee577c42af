// The host of host.c in C++: the kernel session and every expression handle
// are owned by objects that give them back when they go out of scope, and
// text is std::u16string on the kernel's side and std::string on ours.
//
//     c++ -std=c++17 host.cpp $(pkg-config --cflags --libs vorlan) -o host
//
// Arguments are evaluated one by one, or else each line of standard input.
// Results (except Null) and Print output go to standard output, messages
// and syntax errors to standard error; the exit status is 1 when an input
// had a syntax error.
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#include "vorlan.h"

namespace {

// ---- UTF-8 and UTF-16 ------------------------------------------------------

// Malformed UTF-8 becomes U+FFFD, one per byte that starts no sequence.
std::u16string ToUtf16(const std::string &s) {
    std::u16string text;
    text.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        size_t follow = b < 0x80 ? 0 : b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : 4;
        char32_t c = follow == 0 ? b : b & (0x3F >> follow);
        size_t k = 1;
        for (; follow < 4 && k <= follow && i + k < s.size() && (s[i + k] & 0xC0) == 0x80; ++k)
            c = (c << 6) | (s[i + k] & 0x3F);
        char32_t min = follow == 1 ? 0x80 : follow == 2 ? 0x800 : follow == 3 ? 0x10000 : 0;
        if (follow == 4 || k <= follow || c < min || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            text += u'\uFFFD';
            ++i;
            continue;
        }
        i += follow + 1;
        if (c >= 0x10000) {
            text += char16_t(0xD800 + ((c - 0x10000) >> 10));
            text += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += char16_t(c);
        }
    }
    return text;
}

// A lone surrogate becomes U+FFFD.
std::string ToUtf8(const char16_t *text) {
    std::string s;
    for (; *text; ++text) {
        char32_t c = *text;
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            s += char(c);
        } else if (c < 0x800) {
            s += char(0xC0 | (c >> 6));
            s += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += char(0xE0 | (c >> 12));
            s += char(0x80 | ((c >> 6) & 0x3F));
            s += char(0x80 | (c & 0x3F));
        } else {
            s += char(0xF0 | (c >> 18));
            s += char(0x80 | ((c >> 12) & 0x3F));
            s += char(0x80 | ((c >> 6) & 0x3F));
            s += char(0x80 | (c & 0x3F));
        }
    }
    return s;
}

// ---- Ownership -------------------------------------------------------------

// One reference to a kernel expression; frees it when destroyed. Handle 0
// (a syntax error, or a call that ran out of memory) holds nothing.
class Expression {
public:
    explicit Expression(int64_t handle = 0) : handle_(handle) {}
    Expression(Expression &&other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
    Expression &operator=(Expression &&other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    Expression(const Expression &) = delete;
    Expression &operator=(const Expression &) = delete;
    ~Expression() {
        if (handle_) Kernel_FreeExpression(handle_);
    }

    static Expression Parse(const std::u16string &text) { return Expression(Kernel_InputExpression(text.c_str())); }
    // Evaluation consumes the reference and gives a new one.
    Expression Evaluate() && { return Expression(Kernel_EvaluateExpression(std::exchange(handle_, 0))); }
    // Copied at once: the kernel's text lives only until its next call.
    std::string Text() const { return ToUtf8(Kernel_OutputExpression(handle_)); }
    explicit operator bool() const { return handle_ != 0; }

private:
    int64_t handle_;
};

// The kernel from Initialize to Terminate. Expressions must die before it:
// Terminate invalidates every handle.
class Session {
public:
    Session() { Kernel_Initialize(); }
    ~Session() { Kernel_Terminate(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
};

// ---- Callbacks -------------------------------------------------------------

bool lineOpen = false;  // Print output left a line unfinished
int syntaxErrors = 0;

void EndPrintedLine() {
    if (lineOpen) std::cout << '\n';
    lineOpen = false;
}

// Diagnostics go to standard error, after what standard output holds.
std::ostream &Diagnostics() {
    EndPrintedLine();
    std::cout.flush();
    return std::cerr;
}

void OnPrint(const char16_t *text) {
    std::cout << ToUtf8(text);
    if (*text) lineOpen = true;
}

void OnMessage(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    Diagnostics() << ToUtf8(symbol) << "::" << ToUtf8(tag) << ": " << ToUtf8(text) << '\n';
}

void OnSyntaxError(const char16_t *text) {
    Diagnostics() << "Syntax error: " << ToUtf8(text) << '\n';
    ++syntaxErrors;
}

// A text without tokens gives no expression and no error; a syntax error
// was reported by OnSyntaxError.
void Run(const std::string &input) {
    Expression parsed = Expression::Parse(ToUtf16(input));
    if (!parsed) return;
    Expression value = std::move(parsed).Evaluate();
    EndPrintedLine();
    if (!value) {
        Diagnostics() << "out of memory: the evaluation was abandoned\n";
        return;
    }
    std::string text = value.Text();
    if (text != "Null") std::cout << text << '\n';
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        int64_t v = Kernel_Version();
        std::cout << "vorlan.h " << VORLAN_VERSION_STRING << ", library " << ((v >> 48) & 0xFFFF) << '.'
                  << ((v >> 32) & 0xFFFF) << '.' << ((v >> 16) & 0xFFFF) << '-' << (v & 0xFFFF) << '\n';
        return 0;
    }

    Session kernel;
    // Initialize unbinds callbacks 1, 2 and 4, so bind after it.
    Kernel_BindCallback(1, reinterpret_cast<void *>(OnPrint));
    Kernel_BindCallback(2, reinterpret_cast<void *>(OnMessage));
    Kernel_BindCallback(3, reinterpret_cast<void *>(OnSyntaxError));

    if (argc > 1) {
        for (int i = 1; i < argc; ++i) Run(argv[i]);
    } else {
        // Each line goes to the kernel with the line end it knows, CR LF,
        // which also ends a line comment.
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos) continue;  // a lone line end is no input
            Run(line + "\r\n");
        }
    }
    std::cout.flush();
    return syntaxErrors ? 1 : 0;
}
