#include "syntax/symbol_names.h"

#include <string>
#include <vector>

#include "eval/sort.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"
#include "syntax/formatter.h"
#include "syntax/regex.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The index after the character of text that starts at i.
size_t NextCharacter(std::u16string_view text, size_t i) {
    bool pair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
    return i + (pair ? 2 : 1);
}

// The handle of the compiled name check: a first character that is neither
// a delimiter nor a digit, then anything but delimiters, up to the end. It
// is built from the tokenizer's delimiter class, so a name that ToSymbol
// accepts reads back as one Name token; the front end frees it with that
// class.
int64_t NamePattern() {
    SyntaxState &s = kernel.syntax;
    if (!s.namePattern) {
        const std::u16string &d = s.delimiterClass;
        s.namePattern = Regex_Compile(-1, u"^[^" + d + u"0123456789][^" + d + u"]*$");
    }
    return s.namePattern;
}

}  // namespace

// The usual greedy match with one point of return: the last star seen
// takes one more character whenever what follows it fails, which settles
// every pattern in at most pattern length times name length steps.
bool SymbolNames_WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    constexpr size_t kNoStar = std::u16string_view::npos;
    size_t p = 0, n = 0;
    size_t afterStar = kNoStar, starTook = 0;  // pattern index after the last star; where its run ends
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            afterStar = ++p;
            starTook = n;
        } else if (p < pattern.size() && pattern[p] == u'?') {
            ++p;
            n = NextCharacter(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (afterStar != kNoStar) {
            p = afterStar;
            n = starTook = NextCharacter(name, starTook);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

Object *Builtin_ToSymbol(Object *call) {
    if (Expression_Length(call) != 1 || !Object_IsString(Expression_At(call, 1))) return call;
    Object *s = Expression_At(call, 1);
    int64_t hasZero = 0;
    std::u16string name = String_Text(s, &hasZero);
    if (!hasZero && Regex_Search(NamePattern(), name.c_str()))
        return Object_ReleaseReturn(call, Object_Evaluate(Symbol_Intern(name)));
    Message_Emit(u"ToSymbol", u"Name", Format_Standard(s));
    return Object_ReleaseReturn(call, Expression_NewEvaluated(Builtin(SYM_ToSymbol), Object_AddRef(s)));
}

Object *Builtin_Symbols(Object *call) {
    int64_t n = Expression_Length(call);
    if (n > 1 || (n == 1 && !Object_IsString(Expression_At(call, 1)))) return call;
    std::vector<Symbol *> chosen;
    if (n == 0) {
        chosen.reserve(size_t(SymbolTable_Size()));
        SymbolTable_ForEach([&](Symbol *s) { chosen.push_back(s); });
    } else {
        int64_t hasZero = 0;
        std::u16string pattern = String_Text(Expression_At(call, 1), &hasZero);
        if (!hasZero)
            SymbolTable_ForEach([&](Symbol *s) {
                if (SymbolNames_WildcardMatch(pattern, Symbol_Name(s))) chosen.push_back(s);
            });
    }
    Object *list = Expression_NewSized(Builtin(SYM_List), int64_t(chosen.size()));
    for (size_t i = 0; i < chosen.size(); ++i) AsExpression(list)->elements[i + 1] = Object_AddRef(&chosen[i]->header);
    return Object_ReleaseReturn(call, Expression_Sort(list, nullptr, 1));
}

namespace {

const NativeRow kNatives[] = {
    {SYM_Symbols, {u"Symbols()", u"Symbols(\?String)"}, Builtin_Symbols},
    {SYM_ToSymbol, {u"ToSymbol(\?String)"}, Builtin_ToSymbol},
};

}  // namespace

extern const NativeTable SymbolNameNatives = Table_Of(kNatives);
