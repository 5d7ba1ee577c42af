// vorlan: the command-line host of the Vorlan kernel. It drives the kernel
// through the public C interface only, like any other host.
//
//   vorlan FILE      run a script (FILE "-" reads standard input)
//   vorlan -e TEXT   evaluate one text
//   vorlan           an interactive session on a terminal, a script otherwise
#include <editline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "text_codec.h"
#include "vorlan.h"

namespace {

const char kHelp[] =
    "Usage: vorlan [FILE | -e TEXT | --version | --help]\n"
    "\n"
    "Vorlan is a symbolic computation language.\n"
    "\n"
    "  vorlan FILE     Runs the script FILE. It is cut into inputs at line breaks\n"
    "                  outside brackets, strings and comments; all inputs are\n"
    "                  parsed first, and a syntax error is reported as\n"
    "                  FILE:LINE: Syntax error: text, with exit status 1 and\n"
    "                  nothing run. Otherwise the inputs are evaluated in order\n"
    "                  and each result other than Null is printed.\n"
    "  vorlan -        The same for standard input.\n"
    "  vorlan -e TEXT  Evaluates TEXT as one input and prints the result; a\n"
    "                  syntax error exits with status 1.\n"
    "  vorlan          On a terminal: an interactive session with line editing\n"
    "                  and history; an input continues over lines while brackets\n"
    "                  are open; end of input (Ctrl-D) leaves. Otherwise standard\n"
    "                  input is run as a script.\n"
    "  --version       Prints the kernel version.\n"
    "  --help          Prints this text.\n"
    "\n"
    "Print output goes to standard output as it arrives; messages go to\n"
    "standard error as Symbol::Tag: text.\n";

// Whether printed output has left the cursor in the middle of a line.
bool g_openLine = false;

void OnPrint(const char16_t *text) {
    std::string bytes = ToUtf8(text);
    if (bytes.empty()) return;
    std::fputs(bytes.c_str(), stdout);
    std::fflush(stdout);
    g_openLine = bytes.back() != '\n';
}

// Ends a line that printed output left open, so that what follows starts on
// a line of its own.
void EndPrintedLine() {
    if (!g_openLine) return;
    std::fputc('\n', stdout);
    g_openLine = false;
}

void OnMessage(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    EndPrintedLine();
    std::fflush(stdout);
    std::fprintf(stderr, "%s::%s: %s\n", ToUtf8(symbol).c_str(), ToUtf8(tag).c_str(), ToUtf8(text).c_str());
}

std::u16string g_syntaxError;

void OnSyntaxError(const char16_t *text) { g_syntaxError = text; }

void StartKernel() {
    Kernel_Initialize();
    Kernel_BindCallback(1, reinterpret_cast<void *>(OnPrint));
    Kernel_BindCallback(2, reinterpret_cast<void *>(OnMessage));
    Kernel_BindCallback(3, reinterpret_cast<void *>(OnSyntaxError));
}

// Line ends become CR LF, which is where the kernel's line comments end.
std::string WithCrLf(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

// Characters that end a name; a quote right after a name character belongs
// to the name, elsewhere it opens a string.
bool EndsName(unsigned char c) { return std::strchr(" \t+-*/,;!(){}[]:=<>|&?#^~@\n\r.\"", c) != nullptr || c == 0; }

struct Input {
    std::string text;
    int line;
};

// Scans text for the line breaks that end top-level inputs: those outside
// brackets, strings and comments. `open` reports whether the text ends
// inside one of them.
std::vector<Input> Cut(const std::string &text, bool *open = nullptr) {
    std::vector<Input> inputs;
    int depth = 0, line = 1, startLine = 1;
    size_t start = 0;
    bool inside = false;
    bool content = false;  // the current input has more than blanks and comments
    auto finish = [&](size_t end) {
        if (content) inputs.push_back({text.substr(start, end - start), startLine});
        content = false;
    };
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '#') {
            size_t end = text.find("\r\n", i + 2);
            if (end == std::string::npos) { i = text.size(); inside = true; break; }
            i = end + 2;
            ++line;
            // The comment takes its line break along, which ends the input.
            if (depth <= 0) {
                finish(i);
                start = i;
            }
            continue;
        }
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            size_t end = text.find("*/", i + 2);
            if (end == std::string::npos) { i = text.size(); inside = true; break; }
            for (size_t k = i; k < end; ++k) line += text[k] == '\n';
            i = end + 2;
            continue;
        }
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            if (!content) startLine = line;
            content = true;
        }
        if (c == '"' || (c == '\'' && (i == 0 || EndsName(static_cast<unsigned char>(text[i - 1]))))) {
            size_t k = i + 1;
            while (k < text.size() && text[k] != c) k += text[k] == '\\' ? 2 : 1;
            if (k >= text.size()) { i = text.size(); inside = true; break; }
            for (size_t m = i; m < k; ++m) line += text[m] == '\n';
            i = k + 1;
            continue;
        }
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') --depth;
        if (c == '\n') {
            ++line;
            if (depth <= 0) {
                finish(i + 1);
                start = i + 1;
            }
        }
        ++i;
    }
    finish(text.size());
    if (open) *open = inside || depth > 0;
    return inputs;
}

// The kernel gives 0 for an input with tokens only when it could not finish
// the call: it ran out of memory, and it is still usable.
const char kNoMemoryInput[] = "Out of memory: the input could not be read.";
const char kNoMemoryEvaluation[] = "Out of memory: the evaluation was abandoned.";

// Evaluates a parsed handle and prints the result unless it is Null.
void EvaluateAndPrint(int64_t handle) {
    int64_t result = Kernel_EvaluateExpression(handle);
    EndPrintedLine();
    if (!result) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", kNoMemoryEvaluation);
        return;
    }
    std::string text = ToUtf8(Kernel_OutputExpression(result));
    if (text != "Null") std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    Kernel_FreeExpression(result);
}

int RunScript(const std::string &name, const std::string &source) {
    StartKernel();
    std::vector<Input> inputs = Cut(WithCrLf(source));
    std::vector<int64_t> handles;
    for (const Input &input : inputs) {
        g_syntaxError.clear();
        int64_t h = Kernel_InputExpression(ToUtf16(input.text).c_str());
        if (h) {
            handles.push_back(h);
            continue;
        }
        if (g_syntaxError.empty()) {
            // Cut keeps only inputs with tokens, so this one ran out of memory.
            std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), input.line, kNoMemoryInput);
            continue;
        }
        std::fprintf(stderr, "%s:%d: Syntax error: %s\n", name.c_str(), input.line, ToUtf8(g_syntaxError).c_str());
        Kernel_Terminate();
        return 1;
    }
    for (int64_t h : handles) EvaluateAndPrint(h);
    Kernel_Terminate();
    return 0;
}

int RunText(const std::string &text) {
    StartKernel();
    g_syntaxError.clear();
    int64_t h = Kernel_InputExpression(ToUtf16(text).c_str());
    if (!h && !g_syntaxError.empty()) {
        std::fprintf(stderr, "Syntax error: %s\n", ToUtf8(g_syntaxError).c_str());
        Kernel_Terminate();
        return 1;
    }
    if (h) EvaluateAndPrint(h);
    else if (!Cut(WithCrLf(text)).empty()) std::fprintf(stderr, "%s\n", kNoMemoryInput);
    Kernel_Terminate();
    return 0;
}

int RunInteractive() {
    StartKernel();
    int64_t v = Kernel_Version();
    std::printf("Vorlan %d.%d.%d-%d. End with Ctrl-D.\n", int((v >> 48) & 0xFFFF), int((v >> 32) & 0xFFFF),
                int((v >> 16) & 0xFFFF), int(v & 0xFFFF));
    std::string pending;
    for (;;) {
        char *line = readline(pending.empty() ? "in> " : "..> ");
        if (!line) break;
        std::string text(line);
        std::free(line);
        pending += pending.empty() ? text : "\r\n" + text;
        bool open = false;
        Cut(pending, &open);
        if (open) continue;
        if (pending.find_first_not_of(" \t") != std::string::npos) add_history(pending.c_str());
        g_syntaxError.clear();
        int64_t h = Kernel_InputExpression(ToUtf16(pending).c_str());
        bool tokens = !Cut(pending).empty();
        pending.clear();
        if (h) EvaluateAndPrint(h);
        else if (!g_syntaxError.empty()) std::fprintf(stderr, "Syntax error: %s\n", ToUtf8(g_syntaxError).c_str());
        else if (tokens) std::fprintf(stderr, "%s\n", kNoMemoryInput);
    }
    std::printf("\n");
    Kernel_Terminate();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        int64_t v = Kernel_Version();
        std::printf("%d.%d.%d-%d\n", int((v >> 48) & 0xFFFF), int((v >> 32) & 0xFFFF), int((v >> 16) & 0xFFFF),
                    int(v & 0xFFFF));
        return 0;
    }
    if (args.size() == 2 && args[0] == "-e") return RunText(args[1]);
    if (args.size() == 1 && args[0] != "-" && args[0].rfind("-", 0) != 0) {
        std::ifstream file(args[0], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "vorlan: cannot read %s\n", args[0].c_str());
            return 2;
        }
        std::stringstream text;
        text << file.rdbuf();
        return RunScript(args[0], text.str());
    }
    if (args.empty() && isatty(STDIN_FILENO)) return RunInteractive();
    if (args.empty() || (args.size() == 1 && args[0] == "-")) {
        std::stringstream text;
        text << std::cin.rdbuf();
        return RunScript("-", text.str());
    }
    std::fputs(kHelp, stderr);
    return 2;
}
