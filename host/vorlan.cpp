// vorlan: the command-line host of the Vorlan kernel. It drives the kernel
// through the public C interface only, like any other host.
//
//   vorlan [-e TEXT]... [FILE [ARG...]]
//
// The -e texts are evaluated in order, then the script FILE ("-" reads
// standard input); without either, a terminal gets an interactive session
// and anything else is read as a script.
#include <editline/readline.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "reference.h"
#include "script_text.h"
#include "text_codec.h"
#include "vorlan.h"

namespace {

const char kHelp[] =
    "Usage: vorlan [-e TEXT]... [FILE [ARG...]]\n"
    "\n"
    "Vorlan is a symbolic computation language.\n"
    "\n"
    "  vorlan FILE ARG...  Runs the script FILE. It is cut into inputs at line\n"
    "                  breaks outside brackets, strings and comments; all inputs\n"
    "                  are parsed first, and a syntax error is reported as\n"
    "                  FILE:LINE: Syntax error: text, with exit status 1 and\n"
    "                  nothing run. Otherwise the inputs are evaluated in order\n"
    "                  and each result other than Null is printed. A byte-order\n"
    "                  mark and a first line starting with #! are skipped. The\n"
    "                  list of strings ScriptArguments holds FILE and the ARGs.\n"
    "  vorlan - ARG... The same for standard input.\n"
    "  -e TEXT         Evaluates TEXT as one input and prints the result; may be\n"
    "                  repeated, and the texts run in order in one session,\n"
    "                  before FILE when one is given. A syntax error exits with\n"
    "                  status 1 before anything runs.\n"
    "  vorlan          On a terminal: an interactive session with line editing,\n"
    "                  history (kept in ~/.vorlan_history) and Tab completion of\n"
    "                  symbol names; an input continues over lines while brackets\n"
    "                  are open; ?Name shows the reference entry of a built-in;\n"
    "                  Ctrl-C stops a running evaluation (definitions stay) or\n"
    "                  clears the line; end of input (Ctrl-D) leaves. Otherwise\n"
    "                  standard input is run as a script.\n"
    "  -V, --version   Prints the program name and version.\n"
    "  -h, --help      Prints this text.\n"
    "\n"
    "Print output goes to standard output as it arrives; messages go to\n"
    "standard error as Symbol::Tag: text, prefixed with FILE:LINE: in scripts.\n"
    "A file that cannot be read exits with status 2.\n";

// Kernel texts end lines with CR LF (Output joins its lines so); on this
// system a line ends with LF alone.
std::string ForTerminal(const char16_t *text) {
    std::string bytes = ToUtf8(text), out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) out += bytes[i];
    return out;
}

// Whether printed output has left the cursor in the middle of a line.
bool g_openLine = false;

void OnPrint(const char16_t *text) {
    std::string bytes = ForTerminal(text);
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

// "FILE:LINE: " while a script's input is evaluated, so that its messages
// say where they come from; empty elsewhere.
std::string g_where;

void OnMessage(const char16_t *text, const char16_t *symbol, const char16_t *tag) {
    EndPrintedLine();
    std::fflush(stdout);
    std::fprintf(stderr, "%s%s::%s: %s\n", g_where.c_str(), ToUtf8(symbol).c_str(), ToUtf8(tag).c_str(),
                 ForTerminal(text).c_str());
}

std::u16string g_syntaxError;

void OnSyntaxError(const char16_t *text) { g_syntaxError = text; }

// Set by SIGINT; the kernel's abort poll takes it and notes that it did.
volatile sig_atomic_t g_interrupted = 0;
bool g_aborted = false;

void OnInterrupt(int) { g_interrupted = 1; }

int64_t PollAbort() {
    if (!g_interrupted) return 0;
    g_interrupted = 0;
    g_aborted = true;
    return 1;
}

void StartKernel() {
    Kernel_Initialize();
    Kernel_BindCallback(1, reinterpret_cast<void *>(OnPrint));
    Kernel_BindCallback(2, reinterpret_cast<void *>(OnMessage));
    Kernel_BindCallback(3, reinterpret_cast<void *>(OnSyntaxError));
}

// The kernel gives 0 for an input with tokens only when it could not finish
// the call: it ran out of memory (or the user stopped it), and it is still
// usable.
const char kNoMemoryInput[] = "Out of memory: the input could not be read.";
const char kNoMemoryEvaluation[] = "Out of memory: the evaluation was abandoned.";
const char kAborted[] = "Aborted: the evaluation was stopped; every definition made before stays.";

// Evaluates a parsed handle (consumed) and prints the result unless it is
// Null.
void EvaluateAndPrint(int64_t handle) {
    g_interrupted = 0;
    g_aborted = false;
    int64_t result = Kernel_EvaluateExpression(handle);
    EndPrintedLine();
    std::string text;
    if (result) {
        text = ForTerminal(Kernel_OutputExpression(result));
        Kernel_FreeExpression(result);
    }
    std::fflush(stdout);
    // The abort may also come while the result is turned into text, which
    // then is empty.
    if (g_aborted || !result) {
        std::fprintf(stderr, "%s%s\n", g_where.c_str(), g_aborted ? kAborted : kNoMemoryEvaluation);
        g_aborted = false;
        return;
    }
    if (text != "Null") std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// A parsed input: the handle (owned) and the line it starts on.
struct Parsed {
    int64_t handle;
    int line;
};

void FreeParsed(std::vector<Parsed> &parsed) {
    for (const Parsed &p : parsed) Kernel_FreeExpression(p.handle);
    parsed.clear();
}

// Parses every input first, appending to parsed; returns false, after
// reporting the first syntax error as NAME:LINE: Syntax error: text and
// freeing what this call parsed, when one does not parse. An input the
// kernel had no memory for is reported and left out.
bool ParseAll(const std::string &name, const std::vector<ScriptInput> &inputs, std::vector<Parsed> &parsed) {
    size_t before = parsed.size();
    for (const ScriptInput &input : inputs) {
        g_syntaxError.clear();
        if (int64_t h = Kernel_InputExpression(ToUtf16(input.text).c_str())) {
            parsed.push_back({h, input.line});
            continue;
        }
        std::string where = name.empty() ? "" : name + ":" + std::to_string(input.line) + ": ";
        if (g_syntaxError.empty()) {
            // Inputs keep only texts with tokens, so this one ran out of memory.
            std::fprintf(stderr, "%s%s\n", where.c_str(), kNoMemoryInput);
            continue;
        }
        std::fprintf(stderr, "%sSyntax error: %s\n", where.c_str(), ToUtf8(g_syntaxError).c_str());
        for (size_t i = before; i < parsed.size(); ++i) Kernel_FreeExpression(parsed[i].handle);
        parsed.resize(before);
        return false;
    }
    return true;
}

// Gives the symbol ScriptArguments the list of strings args.
void SetScriptArguments(const std::vector<std::string> &args) {
    std::string text = "ScriptArguments = {";
    for (size_t i = 0; i < args.size(); ++i) text += (i ? ", " : "") + QuotedString(args[i]);
    text += "}";
    int64_t h = Kernel_InputExpression(ToUtf16(text).c_str());
    if (h) Kernel_FreeExpression(Kernel_EvaluateExpression(h));
}

struct Script {
    std::string name;  // as given; "-" for standard input
    std::string source;
    std::vector<std::string> args;
};

// Runs the -e texts and then the script, when there is one, in one session.
int Run(const std::vector<std::string> &texts, const Script *script) {
    StartKernel();
    std::vector<ScriptInput> inputs;
    for (const std::string &text : texts) {
        // One -e text is one input, even when it spans lines.
        if (!Script_Cut(text, nullptr).empty()) inputs.push_back({Script_KernelText(text), 1});
    }
    std::vector<Parsed> parsed, scriptParsed;
    bool ok = ParseAll("", inputs, parsed);
    if (ok && script) ok = ParseAll(script->name, Script_Cut(Script_SkipPreamble(script->source), nullptr), scriptParsed);
    if (!ok) {
        FreeParsed(parsed);
        Kernel_Terminate();
        return 1;
    }
    for (const Parsed &p : parsed) EvaluateAndPrint(p.handle);
    if (script) {
        std::vector<std::string> args{script->name};
        args.insert(args.end(), script->args.begin(), script->args.end());
        SetScriptArguments(args);
        for (const Parsed &p : scriptParsed) {
            g_where = script->name + ":" + std::to_string(p.line) + ": ";
            EvaluateAndPrint(p.handle);
        }
        g_where.clear();
    }
    Kernel_Terminate();
    return 0;
}

// Says in one line why the script name cannot be read; returns false.
bool CannotRead(const std::string &name, int error) {
    std::fprintf(stderr, "vorlan: cannot read %s: %s\n", name.c_str(), std::strerror(error));
    return false;
}

// Reads a script file whole; on failure says why in one line and returns
// false.
bool ReadScript(const std::string &name, std::string *source) {
    struct stat info;
    if (stat(name.c_str(), &info) != 0) return CannotRead(name, errno);
    if (S_ISDIR(info.st_mode)) return CannotRead(name, EISDIR);
    FILE *f = std::fopen(name.c_str(), "rb");
    if (!f) return CannotRead(name, errno);
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) source->append(buffer, n);
    bool failed = std::ferror(f);
    int error = errno;
    std::fclose(f);
    return failed ? CannotRead(name, error) : true;
}

// ---- The interactive session ----

// Set when Ctrl-C came while a line was being edited: the line and any
// continued input are dropped.
bool g_lineCancelled = false;

// Reads one character for the line editor, which takes the value as a
// wide character: a UTF-8 sequence is decoded whole (a malformed one gives
// its bytes one by one). Ctrl-C ends the line as if Return had been
// pressed, marked as cancelled.
int ReadByte(FILE *in) {
    for (;;) {
        unsigned char c;
        ssize_t n = read(fileno(in), &c, 1);
        if (n == 1) return c;
        if (n < 0 && errno == EINTR) {
            if (!g_interrupted) continue;
            g_interrupted = 0;
            g_lineCancelled = true;
            return '\n';
        }
        return EOF;
    }
}

int ReadKey(FILE *in) {
    int c = ReadByte(in);
    if (c < 0xC2 || c > 0xF4 || g_lineCancelled) return c;
    int more = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    int value = c & (0x3F >> more);
    for (int k = 0; k < more; ++k) {
        int next = ReadByte(in);
        if (next == EOF || g_lineCancelled) return next;
        if ((next & 0xC0) != 0x80) return 0xFFFD;
        value = (value << 6) | (next & 0x3F);
    }
    return value;
}

// The names offered by Tab: every symbol the kernel knows, built-in or
// made in this session, as Symbols() lists them.
std::vector<std::string> g_names;

void LoadNames() {
    g_names.clear();
    int64_t h = Kernel_InputExpression(u"Symbols()");
    if (!h) return;
    int64_t list = Kernel_EvaluateExpression(h);
    if (!list) return;
    std::string text = ToUtf8(Kernel_OutputExpression(list));
    Kernel_FreeExpression(list);
    if (text.size() < 2) return;
    std::string inner = text.substr(1, text.size() - 2);
    for (size_t start = 0; start < inner.size();) {
        size_t end = inner.find(", ", start);
        if (end == std::string::npos) end = inner.size();
        g_names.push_back(inner.substr(start, end - start));
        start = end + 2;
    }
}

char *NextName(const char *prefix, int state) {
    static size_t next;
    if (state == 0) next = 0;
    size_t length = std::strlen(prefix);
    while (next < g_names.size()) {
        const std::string &name = g_names[next++];
        if (name.compare(0, length, prefix) == 0) return strdup(name.c_str());
    }
    return nullptr;
}

char **CompleteName(const char *prefix, int, int) {
    LoadNames();
    return rl_completion_matches(prefix, NextName);
}

std::string HistoryPath() {
    const char *home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.vorlan_history" : std::string();
}

// Makes sure the line editor reads and writes UTF-8: the user's locale
// when it has one, else C.UTF-8 for the character type alone.
void UseUtf8Locale() {
    std::setlocale(LC_ALL, "");
    const char *ctype = std::setlocale(LC_CTYPE, nullptr);
    std::string name = ctype ? ctype : "";
    if (name.find("UTF-8") == std::string::npos && name.find("utf8") == std::string::npos)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

// Answers ?Name with the built-in's reference entry; returns false when
// the line is no such request.
bool ShowReference(const std::string &line) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '?') return false;
    size_t from = line.find_first_not_of(" \t", at + 1), to = line.find_last_not_of(" \t");
    std::string name = from == std::string::npos ? "" : line.substr(from, to - from + 1);
    std::string entry = Reference_Entry(name);
    if (entry.empty()) std::printf("No reference entry for \"%s\"; Symbols() lists every symbol.\n", name.c_str());
    else std::fputs(entry.c_str(), stdout);
    std::fflush(stdout);
    return true;
}

// Adds an entry to the history and writes the history file (path empty:
// none), so that a session that ends abruptly loses nothing.
void Remember(const std::string &entry, const std::string &path) {
    add_history(entry.c_str());
    if (!path.empty()) write_history(path.c_str());
}

// The kernel's version as MAJOR.MINOR.PATCH, with -BUILD when asked for.
std::string VersionText(bool build) {
    int64_t v = Kernel_Version();
    std::string text = std::to_string((v >> 48) & 0xFFFF) + "." + std::to_string((v >> 32) & 0xFFFF) + "." +
                       std::to_string((v >> 16) & 0xFFFF);
    return build ? text + "-" + std::to_string(v & 0xFFFF) : text;
}

int RunInteractive() {
    UseUtf8Locale();
    StartKernel();
    Kernel_BindCallback(5, reinterpret_cast<void *>(PollAbort));
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the key reader must see EINTR
    sigaction(SIGINT, &action, nullptr);

    rl_catch_signals = 0;
    rl_getc_function = ReadKey;
    rl_attempted_completion_function = CompleteName;
    rl_basic_word_break_characters = " \t\n\"\\'`@$><=;|&{(}),[]+-*/^!~:.#?";
    std::string history = HistoryPath();
    stifle_history(1000);
    if (!history.empty()) read_history(history.c_str());

    std::printf("Vorlan %s. ?Name shows a built-in; Ctrl-C stops; Ctrl-D leaves.\n", VersionText(true).c_str());
    std::string pending;
    for (;;) {
        g_lineCancelled = false;
        char *line = readline(pending.empty() ? "in> " : "..> ");
        if (!line) break;
        std::string text(line);
        std::free(line);
        if (g_lineCancelled) {
            pending.clear();
            continue;
        }
        if (pending.empty() && ShowReference(text)) {
            Remember(text, history);
            continue;
        }
        // A recalled entry of several lines comes back whole, with LF.
        pending += pending.empty() ? text : "\n" + text;
        bool open = false;
        std::vector<ScriptInput> inputs = Script_Cut(pending, &open);
        if (open) continue;
        if (pending.find_first_not_of(" \t\n") != std::string::npos) Remember(pending, history);
        g_syntaxError.clear();
        int64_t h = Kernel_InputExpression(ToUtf16(Script_KernelText(pending)).c_str());
        pending.clear();
        if (h) EvaluateAndPrint(h);
        else if (!g_syntaxError.empty()) std::fprintf(stderr, "Syntax error: %s\n", ToUtf8(g_syntaxError).c_str());
        else if (!inputs.empty()) std::fprintf(stderr, "%s\n", kNoMemoryInput);
    }
    std::printf("\n");
    Kernel_Terminate();
    return 0;
}


}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> texts;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "-V" || a == "--version") {
            std::printf("vorlan %s\n", VersionText(false).c_str());
            return 0;
        }
        if (a == "-e") {
            if (i + 1 == args.size()) {
                std::fprintf(stderr, "vorlan: -e needs a text\n");
                return 2;
            }
            texts.push_back(args[++i]);
            continue;
        }
        if (a == "--") {
            ++i;
            break;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "vorlan: unknown option %s (see vorlan --help)\n", a.c_str());
            return 2;
        }
        break;
    }
    if (i == args.size()) {
        if (!texts.empty()) return Run(texts, nullptr);
        if (isatty(STDIN_FILENO)) return RunInteractive();
        Script stdinScript{"-", "", {}};
        std::stringstream text;
        text << std::cin.rdbuf();
        stdinScript.source = text.str();
        return Run(texts, &stdinScript);
    }
    Script script{args[i], "", std::vector<std::string>(args.begin() + std::ptrdiff_t(i) + 1, args.end())};
    if (script.name == "-") {
        std::stringstream text;
        text << std::cin.rdbuf();
        script.source = text.str();
    } else if (!ReadScript(script.name, &script.source)) {
        return 2;
    }
    return Run(texts, &script);
}
