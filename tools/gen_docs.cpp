// Writes the two generated references, docs/syntax.md and docs/builtins.md,
// from the kernel's own tables: the operators from the grammar's rule table
// (their full forms by parsing examples with the kernel's parser), the
// built-ins from what the registry leaves in the symbol table after start-up
// (attributes, native patterns, own values, message templates). Only the
// one-line descriptions, which the kernel has no use for, come from
// tools/builtin_descriptions.cpp.
//
//   vorlan_gen_docs DOCS_DIR          writes both files into DOCS_DIR
//   vorlan_gen_docs --check DOCS_DIR  compares them with the files there
//
// Both fail when a built-in has no description or a description names no
// built-in, so that the table keeps step with the registry.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "builtin_descriptions.h"
#include "eval/definition.h"
#include "kernel/state.h"
#include "object/attributes.h"
#include "object/builtins.h"
#include "object/expression.h"
#include "object/symbol.h"
#include "syntax/formatter.h"
#include "syntax/grammar.h"
#include "text_codec.h"
#include "vorlan.h"

namespace {

std::string Utf8(std::u16string_view s) { return ToUtf8(s); }

// The full form of the parse of text, or empty when it does not parse.
std::string ParsedFullForm(const std::string &text) {
    Object *e = Parser_ParseText(ToUtf16(text));
    if (!e) return "";
    std::string full = Utf8(Format_Full(e));
    Object_Release(e);
    return full;
}

// A table cell holding code: the pipe would end the cell.
std::string Cell(const std::string &code) {
    std::string out = "`";
    for (char c : code) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out + "`";
}

// ---- Operators -----------------------------------------------------------

std::vector<std::string> Pieces(std::u16string_view elements) {
    std::vector<std::string> pieces;
    std::istringstream in(Utf8(elements));
    for (std::string piece; in >> piece;) pieces.push_back(piece);
    return pieces;
}

bool IsLiteral(const std::string &piece) { return piece.size() >= 3 && piece.front() == '\''; }

bool IsBracket(const std::string &piece) {
    static const std::set<std::string> brackets = {"'('", "')'", "'['", "']'", "'{'", "'}'"};
    return brackets.count(piece) > 0;
}

// The grammar symbols that stand for a parsed operand.
bool IsOperand(const std::string &piece) {
    return piece.rfind("Level", 0) == 0 || piece == "Operand" || piece == "Object" || piece == "Sequence" ||
           piece == "Output";
}

// The parser's number of a level symbol (Level17 is 17), or -1.
int LevelOf(const std::string &symbol) {
    return symbol.rfind("Level", 0) == 0 ? std::stoi(symbol.substr(5)) : -1;
}

struct OperatorRow {
    std::string token;    // as written in the input; "line break" for one
    std::string kind;     // prefix, infix or postfix
    int level;            // -1 for the separators below every level
    std::string assoc;
    std::string example;
    std::string full;
};

// One row per operator of the rule table. A rule describes an operator when
// it has one token that is not a bracket (a literal, or a line break between
// two operands) next to an operand; the rules that only pass a level through,
// or that finish a trailing semicolon in another context, add nothing new.
std::vector<OperatorRow> OperatorRows() {
    std::vector<OperatorRow> rows;
    std::set<std::string> seen;
    for (const GrammarRuleText &rule : Parser_GrammarRules()) {
        std::vector<std::string> p = Pieces(rule.elements);
        std::string result = Utf8(rule.result), head = Utf8(rule.head);
        if (p.size() < 2 || p.size() > 3) continue;
        size_t op = p.size();
        for (size_t i = 0; i < p.size() && op == p.size(); ++i)
            if (IsLiteral(p[i]) && !IsBracket(p[i])) op = i;
        if (op == p.size() && p.size() == 3 && p[1] == "LineBreak" && IsOperand(p[0]) && IsOperand(p[2])) op = 1;
        if (op == p.size()) continue;
        bool left = op > 0 && IsOperand(p[op - 1]);
        bool right = op + 1 < p.size() && IsOperand(p[op + 1]);
        if (!left && !right) continue;

        OperatorRow row;
        bool lineBreak = p[op] == "LineBreak";
        std::string token = lineBreak ? "\n" : p[op].substr(1, p[op].size() - 2);
        row.token = lineBreak ? "line break" : token;
        row.kind = left && right ? "infix" : left ? "postfix" : "prefix";
        if (!seen.insert(row.token + " " + row.kind + " " + head).second) continue;
        row.level = LevelOf(result);
        if (row.level < 0 && result == "Operand") row.level = LevelOf(p[left ? 0 : p.size() - 1]);
        row.assoc = row.kind != "infix" ? "" : result == p[0] ? "left" : result == p[2] ? "right" : "";

        std::string input;
        if (row.kind == "infix") {
            std::string sep = lineBreak ? "\r\n" : token == "," || token == ";" ? token + " " : " " + token + " ";
            input = "a" + sep + "b" + sep + "c";
        } else {
            input = row.kind == "prefix" ? token + "a" : "a" + token;
        }
        row.full = ParsedFullForm(input);
        if (row.full.empty()) {
            // An argument separator parses only inside brackets.
            input = "{" + input + "}";
            row.full = ParsedFullForm(input);
        }
        row.example = lineBreak ? "a \u21B5 b \u21B5 c" : input;
        rows.push_back(row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const OperatorRow &a, const OperatorRow &b) {
        return (a.level < 0 ? -1000 : a.level) > (b.level < 0 ? -1000 : b.level);
    });
    return rows;
}

// Forms written with brackets and marks rather than operators.
const char *const kBracketExamples[] = {
    "f(a, b)", "f()", "a[1, 2]", "{a, b}", "{}", "(a + b)*c", "?", "x?", "x??", "x???", "?h", "x?h", "#", "#2",
};

std::string SyntaxDoc() {
    std::string out;
    out += "# Syntax\n\n";
    out += "This file is generated by `vorlan_gen_docs` from the kernel's grammar table; do\n"
           "not edit it by hand. Each input is cut into tokens, and the parser reduces the\n"
           "tokens by the rules of the grammar, tightest first.\n\n";
    out += "## Tokens\n\n";
    out += "- Numbers: an integer is a run of decimal digits (`42`, of any size); a real has\n"
           "  digits on both sides of the point and may carry an exponent (`1.5`, `2.0e-3`).\n"
           "  A real with fewer than 18 characters before its exponent is a machine double;\n"
           "  a longer one is read at the precision of its digits. `-` is an operator, not\n"
           "  part of the number, and `1.`, `.5` and `1e5` are not reals.\n"
           "- Strings: `\"text\"` is text in UTF-8, `'bytes'` a byte string of one byte per\n"
           "  character. A backslash escapes the next character: `\\n`, `\\t`, `\\r`, `\\0`,\n"
           "  `\\xHH` for a character code in hexadecimal, `\\\\` and the quote itself.\n"
           "- Names: a run of characters that are neither white space, operator characters\n"
           "  nor brackets, such as `x`, `x1`, `Plus` or `a$1`; a name is a symbol, and case\n"
           "  matters. A name cannot start with a digit (`2x` is two tokens).\n"
           "- Patterns and slots: `?`, `??` and `???` are the pattern marks; `#` and `#n` are\n"
           "  the arguments of a pure function.\n"
           "- Comments: `/* ... */` anywhere, and `/#` up to and with the line break that\n"
           "  ends it; both count as white space.\n"
           "- Line breaks outside brackets separate inputs; inside brackets they are white\n"
           "  space.\n\n";
    out += "## Operators\n\n";
    out += "From the tightest binding to the loosest: an operator of higher precedence\n"
           "takes its operands first, so `a + b*c` is `Plus(a, Times(b, c))`.\n"
           "Left-associative operators group from the left, right-associative ones from\n"
           "the right. Each example chains three operands, and its full form shows the\n"
           "grouping; some operators build one call from the whole chain, as `+` does.\n"
           "Increment and Decrement are only parsed: they have no definitions. In the\n"
           "examples \u21B5 stands for a line break.\n\n";
    out += "| Token | Form | Precedence | Associativity | Example | Full form |\n";
    out += "|---|---|---|---|---|---|\n";
    for (const OperatorRow &row : OperatorRows()) {
        out += "| " + (row.token == "line break" ? row.token : Cell(row.token)) + " | " + row.kind + " | " +
               (row.level < 0 ? "separator" : std::to_string(row.level)) + " | " +
               (row.assoc.empty() ? "-" : row.assoc) + " | " + Cell(row.example) + " | " + Cell(row.full) + " |\n";
    }
    out += "\n## Brackets and marks\n\n";
    out += "| Input | Full form |\n|---|---|\n";
    for (const char *example : kBracketExamples) out += "| " + Cell(example) + " | " + Cell(ParsedFullForm(example)) + " |\n";
    return out;
}

// ---- Built-ins -----------------------------------------------------------

// The descriptions by name; fails (with the reasons on stderr) when one is
// missing, doubled or names no built-in.
bool Descriptions(std::map<std::string, std::string> &byName) {
    bool ok = true;
    std::set<std::string> builtins;
    for (int i = 0; i < SYM_COUNT; ++i) builtins.insert(Utf8(BuiltinNames[i]));
    for (size_t i = 0; i < BuiltinDescriptionCount; ++i) {
        const BuiltinDescription &d = BuiltinDescriptions[i];
        if (!builtins.count(d.name)) {
            std::fprintf(stderr, "tools/builtin_descriptions.cpp: %s is no built-in\n", d.name);
            ok = false;
        } else if (!byName.emplace(d.name, d.text).second) {
            std::fprintf(stderr, "tools/builtin_descriptions.cpp: %s is described twice\n", d.name);
            ok = false;
        }
    }
    for (const std::string &name : builtins) {
        if (!byName.count(name)) {
            std::fprintf(stderr, "tools/builtin_descriptions.cpp: the built-in %s has no description\n", name.c_str());
            ok = false;
        }
    }
    return ok;
}

std::string BuiltinEntry(BuiltinSymbol id, const std::string &description) {
    Object *symbol = kernel.builtins[id];
    std::string out = "## " + Utf8(BuiltinNames[id]) + "\n\n" + description + "\n\n";

    Object *attributes = Attributes_List(AsSymbol(symbol));
    std::string names;
    for (int64_t i = 1; i <= Expression_Length(attributes); ++i)
        names += (names.empty() ? "" : ", ") + Utf8(Format_Standard(Expression_At(attributes, i)));
    Object_Release(attributes);
    out += "Attributes: " + (names.empty() ? std::string("none") : names) + "\n\n";

    SymbolRecord *record = Symbol_Record(symbol, false);
    if (!record) return out;
    if (record->ownValue && record->ownValue->right)
        out += "Value: " + Utf8(Format_Full(record->ownValue->right)) + "\n\n";
    std::vector<std::string> patterns;
    for (DefinitionEntry *entry : Definitions_InTrialOrder(record))
        if (entry->flags & DEF_NATIVE) patterns.push_back(Utf8(Format_Standard(entry->left)));
    if (!patterns.empty()) {
        out += "Patterns:\n\n";
        for (const std::string &p : patterns) out += "    " + p + "\n";
        out += "\n";
    }
    if (record->messages && !record->messages->empty()) {
        std::map<std::string, std::string> messages;
        for (const auto &[tag, text] : *record->messages) messages.emplace(Utf8(tag), Utf8(text));
        out += "Messages:\n\n";
        for (const auto &[tag, text] : messages) out += "- " + Utf8(BuiltinNames[id]) + "::" + tag + ": " + text + "\n";
        out += "\n";
    }
    return out;
}

std::string BuiltinsDoc(const std::map<std::string, std::string> &descriptions) {
    std::string out;
    out += "# Built-in symbols\n\n";
    out += "This file is generated by `vorlan_gen_docs` from the kernel's registry; do not\n"
           "edit it by hand. Each entry gives a symbol's description, its attributes, the\n"
           "argument patterns that its native implementation receives (a call that fits\n"
           "none of them stays unevaluated), and the messages it can send. The patterns\n"
           "are printed as the kernel stores them: `Any` is the mark `?`, `AnySequence`\n"
           "is `??` and `AnyNullSequence` is `???`. In the vorlan program, `?Name` prints\n"
           "the entry of one symbol.\n\n";
    std::vector<std::pair<std::string, BuiltinSymbol>> order;
    for (int i = 0; i < SYM_COUNT; ++i) order.emplace_back(Utf8(BuiltinNames[i]), BuiltinSymbol(i));
    std::sort(order.begin(), order.end());
    for (const auto &[name, id] : order) out += BuiltinEntry(id, descriptions.at(name));
    while (out.size() > 1 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') out.pop_back();
    return out;
}

// ---- Files ---------------------------------------------------------------

bool ReadFile(const std::filesystem::path &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

// Writes or, with check, compares one file; returns false on a difference
// or an error, having said which.
bool Emit(const std::filesystem::path &dir, const char *name, const std::string &text, bool check) {
    std::filesystem::path path = dir / name;
    if (check) {
        std::string old;
        if (ReadFile(path, old) && old == text) return true;
        std::fprintf(stderr,
                     "docs/%s is out of date: run `cmake --build BUILD --target docs` "
                     "(or vorlan_gen_docs %s) and commit the result\n",
                     name, dir.string().c_str());
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
        std::fprintf(stderr, "vorlan_gen_docs: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 + check) {
        std::fprintf(stderr, "Usage: vorlan_gen_docs [--check] DOCS_DIR\n");
        return 2;
    }
    std::filesystem::path dir = argv[argc - 1];
    std::map<std::string, std::string> descriptions;
    if (!Descriptions(descriptions)) return 1;
    Kernel_Initialize();
    std::string syntax = SyntaxDoc(), builtins = BuiltinsDoc(descriptions);
    Kernel_Terminate();
    bool ok = Emit(dir, "syntax.md", syntax, check);
    ok = Emit(dir, "builtins.md", builtins, check) && ok;
    return ok ? 0 : 1;
}
