#include "syntax/lexer.h"

#include "kernel/state.h"
#include "number/number_text.h"
#include "syntax/regex.h"

namespace {

// Word operators and the characters that stand for them.
const std::pair<const char16_t *, const char16_t *> kWordOperators[] = {
    {u"And", u"\u2227"},          {u"Equal", u"\u2A75"}, {u"GreaterEqual", u"\u2265"},
    {u"LessEqual", u"\u2264"},    {u"Not", u"\u00AC"},   {u"Or", u"\u2228"},
    {u"Rule", u"\u2192"},         {u"Unequal", u"\u2260"}, {u"Xor", u"\u22BB"},
};

const std::pair<const char16_t *, const char16_t *> kConstantNames[] = {
    {u"Pi", u"\u03C0"},
    {u"Infinity", u"\u221E"},
};

// The per-match step of Lexer_Tokenize: the class whose group took part
// decides what becomes of the match. Only one class can be present, since
// the classes are alternatives of one group.
void OnMatch(const CaptureMap &captures, int64_t position) {
    Lexer *lexer = kernel.syntax.currentLexer;
    for (const TokenClass &c : lexer->classes) {
        auto it = captures.find(c.name);
        if (it == captures.end()) continue;
        if (c.action == TOKEN_DROP) return;
        if (c.action == TOKEN_FILTER && !c.filter(lexer->tokens, it->second)) return;
        lexer->tokens.Append(c.name, it->second, position);
        return;
    }
}

void AddClass(Lexer *lexer, TokenClass c) {
    auto [it, added] = lexer->classIndex.emplace(c.name, lexer->classes.size());
    if (added) lexer->classes.push_back(std::move(c));
    else lexer->classes[it->second] = std::move(c);
}

}  // namespace

int64_t Lexer_Create(int64_t slot) {
    if (slot != -1 && !SlotTable<Lexer>::Valid(slot)) return 0;
    auto *lexer = new Lexer();
    lexer->slot = slot;
    if (slot == -1) return reinterpret_cast<int64_t>(lexer);
    Lexer_Free(kernel.syntax.lexerSlots.Put(slot, lexer));
    return slot;
}

Lexer *Lexer_FromHandle(int64_t handle) { return kernel.syntax.lexerSlots.Resolve(handle); }

void Lexer_AddClass(Lexer *lexer, std::u16string_view name, std::u16string_view pattern, int64_t action) {
    AddClass(lexer, {std::u16string(name), std::u16string(pattern), action == TOKEN_DROP ? TOKEN_DROP : TOKEN_KEEP,
                     nullptr});
}

void Lexer_AddClass(Lexer *lexer, std::u16string_view name, std::u16string_view pattern, TokenFilter filter) {
    AddClass(lexer, {std::u16string(name), std::u16string(pattern), TOKEN_FILTER, filter});
}

void Lexer_Build(Lexer *lexer) {
    std::u16string combined;
    for (const TokenClass &c : lexer->classes) {
        if (!combined.empty()) combined += u'|';
        combined += u"(?P<" + c.name + u">" + c.pattern + u")";
    }
    if (lexer->pattern) Regex_Free(lexer->pattern);
    lexer->pattern = Regex_Compile(-1, combined);
}

int64_t Lexer_Tokenize(Lexer *lexer, std::u16string_view text) {
    Lexer *outer = kernel.syntax.currentLexer;
    kernel.syntax.currentLexer = lexer;
    lexer->tokens.Clear();
    lexer->error.clear();
    lexer->text = text.substr(0, text.find(u'\0'));
    int64_t stop = lexer->pattern ? Regex_Scan(lexer->pattern, lexer->text.c_str(), OnMatch) : -1;
    kernel.syntax.currentLexer = outer;
    if (stop >= 0) {
        // Skipping the token's first character and reading on would turn a
        // literal into something else, so nothing of the text is kept.
        lexer->tokens.Clear();
        std::u16string_view excerpt = std::u16string_view(lexer->text).substr(size_t(stop), 10);
        lexer->error = u"Token too long to read at character " + Integer_ToText(stop + 1, 10) + u": '" +
                       std::u16string(excerpt) + u"'";
    }
    return lexer->tokens.count;
}

TokenList &Lexer_Tokens(Lexer *lexer) { return lexer->tokens; }

const std::u16string &Lexer_Text(const Lexer *lexer) { return lexer->text; }

void Lexer_Free(Lexer *lexer) {
    if (!lexer) return;
    if (lexer->pattern) Regex_Free(lexer->pattern);
    kernel.syntax.lexerSlots.Remove(lexer->slot, lexer);
    delete lexer;
}

bool Lexer_BracketFilter(TokenList &, std::u16string_view matched) {
    if (matched == u"(" || matched == u"[" || matched == u"{") ++kernel.syntax.bracketDepth;
    else if (matched == u")" || matched == u"]" || matched == u"}") --kernel.syntax.bracketDepth;
    return true;
}

bool Lexer_LineBreakFilter(TokenList &, std::u16string_view) { return kernel.syntax.bracketDepth <= 0; }

void Tokenizer_Setup() {
    Tokenizer_Teardown();
    SyntaxState &s = kernel.syntax;

    for (const auto &[name, op] : kWordOperators) s.wordOperators.emplace(name, op);
    std::u16string operators;  // goes into character classes only, so order does not matter
    for (const auto &[name, op] : s.wordOperators) operators += op;

    s.delimiterClass = uR"x( \t+\-*/,;)x" u"\u00B0" uR"x(!(){}\[\]:=<>|&?#^~@\n\r.)x" + operators + u"\"";

    for (const auto &[name, text] : kConstantNames) s.constantNames.emplace(name, text);

    Lexer *lexer = Lexer_FromHandle(Lexer_Create(-1));
    Lexer_AddClass(lexer, u"Comment", uR"x(/#.*?\r\n | /\*.*?\*/)x", TOKEN_DROP);
    Lexer_AddClass(lexer, u"String", uR"x("(?:\\.|.)*?"|'(?:\\.|.)*?')x", TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Real", uR"x(\d+\.\d+(?:e-?\d+)?)x", TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Integer", uR"x(\d+)x", TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Slot", uR"x(#\d*)x", TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Mark", uR"x(\?{1,3})x", TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Operator",
                   uR"x(===|=!=|@:=|==|:=|@=|:>|->|!=|<=|>=|\+\+|\-\-|\|\||&&|!!|\.\.|/\?|/:|//|/@|@@|[=:+\-*/)x"
                   u"\u00B0" uR"x(!<>|&^~@)x" + operators + u"\".]",
                   TOKEN_KEEP);
    Lexer_AddClass(lexer, u"Separator", uR"x([(){}\[\],;])x", Lexer_BracketFilter);
    Lexer_AddClass(lexer, u"LineBreak", uR"x(\r\n|\n)x", Lexer_LineBreakFilter);
    Lexer_AddClass(lexer, u"Name", u"[^" + s.delimiterClass + u"]+", TOKEN_KEEP);
    Lexer_Build(lexer);
    s.lexer = lexer;
}

void Tokenizer_Teardown() {
    SyntaxState &s = kernel.syntax;
    Lexer_Free(s.lexer);
    s.lexer = nullptr;
    s.wordOperators.clear();
    s.delimiterClass.clear();
    if (s.namePattern) Regex_Free(s.namePattern);
    s.namePattern = 0;
    s.constantNames.clear();
}
