#include "syntax/grammar.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "kernel/state.h"
#include "number/integer.h"
#include "number/number_text.h"
#include "number/real.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"
#include "object/utf8.h"
#include "syntax/lexer.h"

namespace {

void SetText(Token *t, std::u16string text) {
    t->text = std::move(text);
    t->literal = Grammar_LiteralId(kernel.syntax.grammar, t->text);
}

// Takes the value out of a token (the token keeps null).
Object *Take(Token *t) {
    Object *v = t->value;
    t->value = nullptr;
    return v;
}

void SetValue(Token *t, Object *v) {
    Object_Release(t->value);
    t->value = v;
}

Object *Head(const std::u16string &name) { return Symbol_Intern(name); }

// Replaces the head of the expression e (consumed) with head (consumed).
Object *WithHead(Object *e, Object *head) {
    e = Object_MakeUnique(e);
    Object_Release(AsExpression(e)->elements[0]);
    AsExpression(e)->elements[0] = head;
    return e;
}

bool IsSequence(Token *t) { return t->cls == u"Sequence"; }

void Reduce_Name(TokenList &tokens, const std::u16string &) {
    Token *t = tokens.cursor;
    SetValue(t, Symbol_Intern(t->text));
}

void Reduce_String(TokenList &tokens, const std::u16string &) {
    Token *t = tokens.cursor;
    SetValue(t, Parser_StringValue(t->text));
}

// A run of decimal digits as an Integer (a new reference). Up to 18 digits
// always fit a machine word; a longer run is read as a big integer, which
// comes back as a word when its value fits.
Object *DecimalInteger(std::u16string_view digits) {
    if (digits.size() > 18) return Integer_FromText(digits, 10);
    int64_t n = 0;
    for (char16_t c : digits) n = n * 10 + (c - u'0');
    return Integer_FromSmall(n);
}

void Reduce_Integer(TokenList &tokens, const std::u16string &) {
    Token *t = tokens.cursor;
    SetValue(t, DecimalInteger(t->text));
}

// A real literal with 18 or more characters before its exponent carries
// more digits than a double holds and is read at its own precision. A
// shorter one becomes a machine real unless the double cannot hold it
// (infinite, subnormal, or zero for non-zero digits); it is then read at
// machine precision as an arbitrary-precision real.
void Reduce_Real(TokenList &tokens, const std::u16string &) {
    Token *t = tokens.cursor;
    const std::u16string &text = t->text;
    size_t mantissaEnd = std::min(text.find(u'e'), text.size());
    if (mantissaEnd >= 18) {
        SetValue(t, Real_FromDecimalText(text, -1));
        return;
    }
    std::string ascii(text.begin(), text.end());
    double d = std::strtod(ascii.c_str(), nullptr);
    bool nonZeroDigits = text.find_first_of(u"123456789") < mantissaEnd;
    if (std::isinf(d) || std::fpclassify(d) == FP_SUBNORMAL || (d == 0.0 && nonZeroDigits))
        SetValue(t, Real_FromDecimalText(text, kMachinePrecision));
    else
        SetValue(t, Real_FromDouble(d));
}

// "#" alone is the first slot; a slot number too large for a machine word
// stays a big integer rather than wrapping round to another slot.
void Reduce_Slot(TokenList &tokens, const std::u16string &) {
    Token *t = tokens.cursor;
    Object *n = t->text.size() == 1 ? Integer_FromSmall(1) : DecimalInteger(std::u16string_view(t->text).substr(1));
    SetValue(t, Expression_New(Builtin(SYM_Slot), n));
}

void Reduce_Mark(TokenList &tokens, const std::u16string &) {
    Token *t = tokens.cursor;
    BuiltinSymbol id = t->text.size() == 1 ? SYM_Any : t->text.size() == 2 ? SYM_AnySequence : SYM_AnyNullSequence;
    SetValue(t, Builtin(id));
}

void Reduce_AnyHead(TokenList &tokens, const std::u16string &) {
    Token *any = tokens.cursor, *name = any->next;
    SetValue(any, Expression_New(Take(any), Symbol_Intern(name->text)));
    tokens.Delete(name);
    tokens.cursor = any;
}

void Reduce_Pattern(TokenList &tokens, const std::u16string &) {
    Token *name = tokens.cursor, *blank = name->next;
    SetValue(name, Expression_New(Builtin(SYM_Pattern), Symbol_Intern(name->text), Take(blank)));
    tokens.Delete(blank);
    tokens.cursor = name;
}

// f( and x[: the bracket goes, the operand waits for its arguments.
void Reduce_Open(TokenList &tokens, const std::u16string &) {
    Token *operand = tokens.cursor;
    tokens.Delete(operand->next);
    tokens.cursor = operand;
}

void Reduce_Call(TokenList &tokens, const std::u16string &) {
    Token *call = tokens.cursor, *middle = call->next;
    Object *head = Take(call);
    if (middle->text == u")" && !middle->value) {
        SetValue(call, Expression_New(head));
    } else if (IsSequence(middle)) {
        SetValue(call, WithHead(Take(middle), head));
        tokens.Delete(middle->next);
    } else {
        SetValue(call, Expression_New(head, Take(middle)));
        tokens.Delete(middle->next);
    }
    tokens.Delete(call->next);
    tokens.cursor = call;
}

void Reduce_Part(TokenList &tokens, const std::u16string &) {
    Token *part = tokens.cursor, *middle = part->next;
    Object *x = Take(part);
    if (IsSequence(middle)) {
        Object *e = WithHead(Take(middle), Builtin(SYM_Part));
        SetValue(part, Expression_Insert(e, x, 1));
    } else {
        SetValue(part, Expression_New(Builtin(SYM_Part), x, Take(middle)));
    }
    tokens.Delete(middle->next);
    tokens.Delete(middle);
    tokens.cursor = part;
}

// The inner token keeps its value. Its text only has to stop a flat
// operator from merging into it ((a + b) + c stays Plus[Plus[a, b], c]), so
// it becomes "()", which is no head name and no literal of the grammar; a
// fixed text rather than the inner one wrapped keeps deep nesting linear.
void Reduce_Parenthesis(TokenList &tokens, const std::u16string &) {
    Token *open = tokens.cursor, *inner = open->next;
    SetText(inner, u"()");
    tokens.Delete(inner->next);
    tokens.Delete(open);
    tokens.cursor = inner;
}

void Reduce_List(TokenList &tokens, const std::u16string &) {
    Token *open = tokens.cursor, *inner = open->next;
    if (inner->text == u"}" && !inner->value) {
        SetValue(inner, Expression_New(Builtin(SYM_List)));
        SetText(inner, u"{}");
    } else {
        SetValue(inner, IsSequence(inner) ? WithHead(Take(inner), Builtin(SYM_List))
                                          : Expression_New(Builtin(SYM_List), Take(inner)));
        SetText(inner, u"List");
        tokens.Delete(inner->next);
    }
    tokens.Delete(open);
    tokens.cursor = inner;
}

void Reduce_Infix(TokenList &tokens, const std::u16string &head) {
    Token *left = tokens.cursor, *op = left->next, *right = op->next;
    SetValue(left, Expression_New(Head(head), Take(left), Take(right)));
    SetText(left, head);
    tokens.Delete(right);
    tokens.Delete(op);
    tokens.cursor = left;
}

// Appends right to the left operand when that is already the same flat
// operator written without parentheses (its text is the head name).
void AppendFlat(Token *left, Object *right, const std::u16string &head) {
    Object *l = left->value;
    if (left->text == head && Object_IsExpression(l) && Object_IsSymbol(Expression_At(l, 0)) &&
        Symbol_Name(AsSymbol(Expression_At(l, 0))) == head) {
        SetValue(left, Expression_Insert(Object_MakeUnique(Take(left)), right, -1));
        return;
    }
    SetValue(left, Expression_New(Head(head), Take(left), right));
    SetText(left, head);
}

void Reduce_Flat(TokenList &tokens, const std::u16string &head) {
    Token *left = tokens.cursor, *op = left->next, *right = op->next;
    AppendFlat(left, Take(right), head);
    tokens.Delete(right);
    tokens.Delete(op);
    tokens.cursor = left;
}

void Reduce_TrailingSemicolon(TokenList &tokens, const std::u16string &head) {
    Token *left = tokens.cursor;
    AppendFlat(left, Builtin(SYM_Null), head);
    tokens.Delete(left->next);
    tokens.cursor = left;
}

void Reduce_Prefix(TokenList &tokens, const std::u16string &head) {
    Token *first = tokens.cursor;
    if (!head.empty()) {
        Token *x = first->next;
        SetValue(x, Expression_New(Head(head), Take(x)));
        tokens.Delete(first);
        tokens.cursor = x;
        return;
    }
    Token *op = first->next, *x = op->next;
    SetValue(x, Expression_New(Take(first), Take(x)));
    tokens.Delete(op);
    tokens.Delete(first);
    tokens.cursor = x;
}

void Reduce_Postfix(TokenList &tokens, const std::u16string &head) {
    Token *x = tokens.cursor, *op = x->next;
    if (!head.empty()) {
        SetValue(x, Expression_New(Head(head), Take(x)));
    } else {
        Token *f = op->next;
        SetValue(x, Expression_New(Take(f), Take(x)));
        tokens.Delete(f);
    }
    tokens.Delete(op);
    tokens.cursor = x;
}

struct RuleRow {
    const char16_t *result;
    const char16_t *elements;
    int64_t flags;
    GrammarAction action;
    const char16_t *head;
};

constexpr int64_t K1 = RULE_KEEP_FIRST, K2 = RULE_KEEP_SECOND;

// The grammar, tightest first: a rule listed earlier reduces or shifts before
// a later one can, which gives the precedence levels; left-recursive rules
// make left-associative operators, right-recursive ones right-associative.
const RuleRow kRules[] = {
    {u"^", u"^ LineBreak", K1, nullptr, u""},
    {u"$", u"LineBreak $", K1, nullptr, u""},
    {u"LineBreak", u"LineBreak LineBreak", K1, nullptr, u""},
    {u"Expression", u"Operand '('", 0, Reduce_Open, u""},
    {u"Part", u"Operand '['", 0, Reduce_Open, u""},
    {u"Any", u"Mark", 0, Reduce_Mark, u""},
    {u"AnyHead", u"Any Name", 0, Reduce_AnyHead, u""},
    {u"AnyHead", u"Any", K1, nullptr, u""},
    {u"", u"Name Mark", K1, nullptr, u""},
    {u"Pattern", u"Name AnyHead", 0, Reduce_Pattern, u""},
    {u"Pattern", u"AnyHead", K1, nullptr, u""},
    {u"Operand", u"Pattern", K1, nullptr, u""},
    {u"Operand", u"Slot", 0, Reduce_Slot, u""},
    {u"Operand", u"Name", 0, Reduce_Name, u""},
    {u"Operand", u"String", 0, Reduce_String, u""},
    {u"Operand", u"Integer", 0, Reduce_Integer, u""},
    {u"Operand", u"Real", 0, Reduce_Real, u""},
    {u"Operand", u"Expression ')'", 0, Reduce_Call, u""},
    {u"Operand", u"Expression Object ')'", 0, Reduce_Call, u""},
    {u"Operand", u"Expression Sequence ')'", 0, Reduce_Call, u""},
    {u"Operand", u"Part Object ']'", 0, Reduce_Part, u""},
    {u"Operand", u"Part Sequence ']'", 0, Reduce_Part, u""},
    {u"Operand", u"'(' Object ')'", 0, Reduce_Parenthesis, u""},
    {u"Operand", u"'(' Sequence ')'", 0, Reduce_Parenthesis, u""},
    {u"Operand", u"'{' '}'", 0, Reduce_List, u""},
    {u"Operand", u"'{' Object '}'", 0, Reduce_List, u""},
    {u"Operand", u"'{' Sequence '}'", 0, Reduce_List, u""},
    {u"Level24", u"Operand", K1, nullptr, u""},
    {u"Level23", u"Level24 '@' Level23", 0, Reduce_Prefix, u""},
    {u"Level23", u"Level24", K1, nullptr, u""},
    {u"Level22", u"Level23 '/@' Level22", 0, Reduce_Infix, u"Map"},
    {u"Level22", u"Level23 '@@' Level22", 0, Reduce_Infix, u"Apply"},
    {u"Level22", u"Level23", K1, nullptr, u""},
    {u"Operand", u"Level21 '!'", 0, Reduce_Postfix, u"Factorial"},
    {u"Operand", u"Level21 '++'", 0, Reduce_Postfix, u"Increment"},
    {u"Operand", u"Level21 '--'", 0, Reduce_Postfix, u"Decrement"},
    {u"Level21", u"Level22", K1, nullptr, u""},
    {u"Level20", u"Level20 '~' Level21", 0, Reduce_Flat, u"Join"},
    {u"Level20", u"Level21", K1, nullptr, u""},
    {u"Level19", u"Level20 '^' Level19", 0, Reduce_Infix, u"Power"},
    {u"Level19", u"Level20", K1, nullptr, u""},
    {u"Level18", u"Level18 '*' Level19", 0, Reduce_Flat, u"Times"},
    {u"Level18", u"Level18 '/' Level19", 0, Reduce_Infix, u"Divide"},
    {u"Level18", u"Level19", K1, nullptr, u""},
    {u"Level17", u"'-' Level17", 0, Reduce_Prefix, u"Minus"},
    {u"Level17", u"Level17 '+' Level18", 0, Reduce_Flat, u"Plus"},
    {u"Level17", u"Level17 '-' Level18", 0, Reduce_Infix, u"Subtract"},
    {u"Level17", u"Level18", K1, nullptr, u""},
    {u"Level16", u"Level16 '==' Level17", 0, Reduce_Flat, u"Equal"},
    {u"Level16", u"Level16 '!=' Level17", 0, Reduce_Flat, u"Unequal"},
    {u"Level16", u"Level16 '<=' Level17", 0, Reduce_Flat, u"LessEqual"},
    {u"Level16", u"Level16 '>=' Level17", 0, Reduce_Flat, u"GreaterEqual"},
    {u"Level16", u"Level16 '<' Level17", 0, Reduce_Flat, u"Less"},
    {u"Level16", u"Level16 '>' Level17", 0, Reduce_Flat, u"Greater"},
    {u"Level16", u"Level17", K1, nullptr, u""},
    {u"Level15", u"Level15 '=!=' Level16", 0, Reduce_Flat, u"Unsame"},
    {u"Level15", u"Level15 '===' Level16", 0, Reduce_Flat, u"Same"},
    {u"Level15", u"Level15 '..' Level16", 0, Reduce_Flat, u"Span"},
    {u"Level15", u"Level16", K1, nullptr, u""},
    {u"Level14", u"'!' Level14", 0, Reduce_Prefix, u"Not"},
    {u"Level14", u"Level15", K1, nullptr, u""},
    {u"Level13", u"Level13 '||' Level14", 0, Reduce_Flat, u"Or"},
    {u"Level13", u"Level13 '&&' Level14", 0, Reduce_Flat, u"And"},
    {u"Level13", u"Level13 '\u2227' Level14", 0, Reduce_Flat, u"And"},
    {u"Level13", u"Level13 '!!' Level14", 0, Reduce_Flat, u"Xor"},
    {u"Level13", u"Level14", K1, nullptr, u""},
    {u"Level12", u"Level12 '|' Level13", 0, Reduce_Flat, u"Alternatives"},
    {u"Level12", u"Level13", K1, nullptr, u""},
    {u"Level11", u"Level12 '/?' Level11", 0, Reduce_Infix, u"Condition"},
    {u"Level11", u"Level12", K1, nullptr, u""},
    {u"Level10", u"Level10 ':' Level11", 0, Reduce_Infix, u"Optional"},
    {u"Level10", u"Level11", K1, nullptr, u""},
    {u"Level09", u"Level10 ':>' Level09", 0, Reduce_Infix, u"RuleDelayed"},
    {u"Level09", u"Level10 '->' Level09", 0, Reduce_Infix, u"Rule"},
    {u"Level09", u"Level10", K1, nullptr, u""},
    {u"Level08", u"Level08 '/:' Level09", 0, Reduce_Infix, u"Replace"},
    {u"Level08", u"Level09", K1, nullptr, u""},
    {u"Level07", u"Level07 '//' Level08", 0, Reduce_Postfix, u""},
    {u"Level07", u"Level08", K1, nullptr, u""},
    {u"Operand", u"Level07 '&'", 0, Reduce_Postfix, u"Function"},
    {u"Level06", u"Level07", K1, nullptr, u""},
    {u"Level05", u"Level06 '@:=' Level05", 0, Reduce_Infix, u"SubDefineDelayed"},
    {u"Level05", u"Level06 '@=' Level05", 0, Reduce_Infix, u"SubDefine"},
    {u"Level05", u"Level06 ':=' Level05", 0, Reduce_Infix, u"DefineDelayed"},
    {u"Level05", u"Level06 '=' Level05", 0, Reduce_Infix, u"Define"},
    {u"Level05", u"Level06", K1, nullptr, u""},
    {u"Level04", u"Level04 ';' Level05", 0, Reduce_Flat, u"Compound"},
    {u"Level04", u"Level04 ';' $", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level04 ';' LineBreak", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level04 ';' ';'", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level04 ';' ','", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level04 ';' ')'", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level04 ';' '}'", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level04 ';' ']'", 0, Reduce_TrailingSemicolon, u"Compound"},
    {u"Level04", u"Level05", K1, nullptr, u""},
    {u"Object", u"Level04", K1, nullptr, u""},
    {u"Sequence", u"Sequence ',' Object", 0, Reduce_Flat, u"Sequence"},
    {u"Sequence", u"Object ',' Object", 0, Reduce_Flat, u"Sequence"},
    {u"Output", u"Output LineBreak Object", 0, Reduce_Flat, u"Output"},
    {u"Output", u"Object LineBreak Object", 0, Reduce_Flat, u"Output"},
    {u"*", u"^ Object $", K2, nullptr, u""},
    {u"*", u"^ Output $", K2, nullptr, u""},
};

// Hexadecimal digit value; any other character counts as 0.
unsigned HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return 0;
}

// The character a backslash escape of c (code 127 or less) stands for.
char32_t Unescape(char16_t c) {
    switch (c) {
    case u'0': return 0;
    case u'a': case u'A': return 7;
    case u'b': case u'B': return 8;
    case u't': case u'T': return 9;
    case u'n': case u'N': return 10;
    case u'v': case u'V': return 11;
    case u'f': case u'F': return 12;
    case u'r': case u'R': return 13;
    default: return c;
    }
}

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Encodes one UTF-16 code unit, or a surrogate pair, as UTF-8; a lone
// surrogate takes the three-byte form of its own value.
size_t AppendUtf8(std::string &bytes, std::u16string_view s, size_t i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        Utf8_Append(bytes, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
        return 2;
    }
    if (IsSurrogate(c)) {
        bytes += char(0xE0 | (c >> 12));
        bytes += char(0x80 | ((c >> 6) & 0x3F));
        bytes += char(0x80 | (c & 0x3F));
        return 1;
    }
    Utf8_Append(bytes, c);
    return 1;
}

}  // namespace

Object *Parser_StringValue(std::u16string_view literal) {
    bool bytesForm = !literal.empty() && literal.front() == u'\'';
    std::u16string_view s = literal.size() >= 2 ? literal.substr(1, literal.size() - 2) : std::u16string_view{};
    std::string bytes;
    bytes.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char16_t c = s[i];
        if (c == u'\\' && i + 1 < s.size()) {
            char16_t e = s[i + 1];
            if (e == u'x' && i + 3 < s.size()) {
                unsigned v = HexValue(s[i + 2]) * 16 + HexValue(s[i + 3]);
                if (bytesForm || v < 0x80) bytes += char(v);
                else Utf8_Append(bytes, v);
                i += 4;
                continue;
            }
            if (e <= 127) {
                bytes += char(Unescape(e));
                i += 2;
                continue;
            }
            if (bytesForm) {
                bytes += char(e & 0xFF);
                i += 2;
                continue;
            }
            ++i;  // a backslash before a character above 127 is dropped
            continue;
        }
        if (bytesForm) {
            bytes += char(c & 0xFF);
            ++i;
        } else {
            i += AppendUtf8(bytes, s, i);
        }
    }
    return String_New(bytes.data(), int64_t(bytes.size()), bytesForm ? SUB_BYTES : SUB_UTF8);
}

std::u16string Parser_ErrorText(const TokenList &tokens, std::u16string_view input) {
    const Token *first = tokens.first;
    const Token *second = first ? first->next : nullptr;
    const Token *third = second ? second->next : nullptr;
    if (!second || !third || second->cls != u"Object" || third->cls != u"Object") return u"Unknown";
    int64_t p = third->position;
    int64_t from = p > 5 ? p - 6 : 0;
    int64_t length = p > 5 ? 10 : p + 5;
    std::u16string_view excerpt = from < int64_t(input.size()) ? input.substr(size_t(from), size_t(length)) : std::u16string_view{};
    return u"Two objects without separator or operator inbetween: '" + std::u16string(excerpt) + u"'";
}

void Parser_Setup() {
    Grammar *g = Grammar_Create(Parser_ErrorText);
    for (const RuleRow &r : kRules) Grammar_AddRule(g, r.result, r.elements, r.flags, r.action, r.head);
    kernel.syntax.grammar = g;
}

std::vector<GrammarRuleText> Parser_GrammarRules() {
    std::vector<GrammarRuleText> rules;
    for (const RuleRow &r : kRules) rules.push_back({r.result, r.elements, r.head});
    return rules;
}

void Parser_Teardown() {
    if (kernel.syntax.grammar) Grammar_Free(kernel.syntax.grammar);
    kernel.syntax.grammar = nullptr;
}

Object *Parser_ParseText(std::u16string_view text, bool *syntaxError) {
    if (syntaxError) *syntaxError = false;
    kernel.syntax.bracketDepth = 0;
    Lexer *lexer = kernel.syntax.lexer;
    if (Lexer_Tokenize(lexer, text) == 0) {
        if (syntaxError) *syntaxError = !lexer->error.empty();
        return nullptr;
    }
    Object *e = Grammar_Parse(kernel.syntax.grammar, Lexer_Tokens(lexer), Lexer_Text(lexer));
    if (!e && syntaxError) *syntaxError = true;
    return e;
}

const std::u16string &Parser_LastError() {
    const Lexer *lexer = kernel.syntax.lexer;
    return lexer && !lexer->error.empty() ? lexer->error : Grammar_LastError(kernel.syntax.grammar);
}
