// The output formatters of the operator symbols. Each one checks that it was
// handed a call of its own symbol in the standard form, pushes its own
// formatting context (precedence and strict flag), writes its operands, and
// pops; the pop answers whether the enclosing context needs the operator's
// text in parentheses. The operands' own formatters compare their
// precedence against the context pushed here, so each operator decides
// only for itself whether it needs grouping.
#include "eval/native_args.h"
#include "syntax/operators.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "kernel/state.h"
#include "number/integer.h"
#include "object/expression.h"
#include "object/symbol.h"
#include "syntax/formatter.h"

namespace {

// Precedences of the layouts; a higher one binds tighter.
enum : int64_t {
    PREC_ARGUMENT = 1,
    PREC_RULE = 4,
    PREC_LOGIC = 5,
    PREC_NOT = 6,
    PREC_SPAN = 7,
    PREC_COMPARISON = 8,
    PREC_SUM = 9,
    PREC_NEGATIVE = 10,
    PREC_PRODUCT = 11,
    PREC_RATIONAL = 12,
    PREC_POWER = 13,
    PREC_JOIN = 14,
    PREC_FACTORIAL = 15,
    PREC_PART = 16,
};

// Every formatter's context replaces all three flags with its own.
constexpr uint64_t kAllFlags = CTX_STRICT | CTX_MAGNITUDE | CTX_DENOMINATOR;

constexpr int64_t kUnbounded = INT64_MAX;

// The formatters write only for a call of their own symbol (not the bare
// symbol, not a call whose head is itself a call) with an argument count
// they lay out, and only in the standard form.
bool Accepts(Object *e, BuiltinSymbol head, int64_t least, int64_t most) {
    if (Form_Current() != FORM_STANDARD || !Native_IsCall(e, head)) return false;
    int64_t n = Expression_Length(e);
    return n >= least && n <= most;
}

struct Spelling {
    BuiltinSymbol head;
    const char16_t *text;
};

// The operator text of e among the symbols that share one formatter, or
// null when e is none of them (or not acceptable to the formatter).
const char16_t *SpellingOf(Object *e, std::initializer_list<Spelling> table, int64_t least, int64_t most) {
    for (const Spelling &s : table)
        if (Accepts(e, s.head, least, most)) return s.text;
    return nullptr;
}

// Integer, Real or Rational: the numbers that have a sign.
bool IsRealNumber(Object *o) {
    uint64_t t = Object_Type(o);
    return t == TYPE_INTEGER || t == TYPE_REAL || t == TYPE_RATIONAL;
}

bool IsNumber(Object *o) { return IsRealNumber(o) || Object_Type(o) == TYPE_COMPLEX; }

bool IsNegative(Object *o) { return IsRealNumber(o) && Object_Sign(o) < 0; }

// Only the exact integer: a real -1.0 keeps its exponent in the text.
bool IsMinusOne(Object *o) { return Integer_Is(o, -1); }

// Pushes a formatter's own context. On a full stack it writes the cut
// marker in place of the whole operator and answers false; the caller then
// writes nothing more and pops nothing.
bool Open(int64_t precedence, uint64_t flags, TextBuffer &text) {
    if (Context_Push(precedence, flags, kAllFlags)) return true;
    text += Format_CutMarker;
    return false;
}

// Pops the context of Open and wraps the text written since start in
// parentheses when the enclosing context asks for them.
void Close(size_t start, TextBuffer &text) {
    if (!Context_Pop()) return;
    text.insert(start, 1, u'(');
    text += u')';
}

void AppendArguments(Object *e, int64_t first, int64_t last, std::u16string_view separator, TextBuffer &text) {
    for (int64_t i = first; i <= last; ++i) {
        if (i > first) text += separator;
        Format_Append(Expression_At(e, i), text);
    }
}

// Arguments first to last of e in a context of their own that only governs
// how they group, as the elements of a list, the indexes of a part or the
// divisor of a reciprocal: the text around them is never grouped for it, so
// the pop's answer is not wanted.
void AppendInContext(Object *e, int64_t first, int64_t last, int64_t precedence, uint64_t flags,
                     std::u16string_view separator, TextBuffer &text) {
    if (!Context_Push(precedence, flags, kAllFlags)) {
        text += Format_CutMarker;
        return;
    }
    AppendArguments(e, first, last, separator, text);
    Context_Pop();
}

// The shape most operators share: prefix, the arguments joined by the
// separator, suffix, all in one context, grouped as a whole when needed.
bool Operator(Object *e, int64_t precedence, uint64_t flags, std::u16string_view prefix,
              std::u16string_view separator, std::u16string_view suffix, TextBuffer &text) {
    size_t start = text.size();
    if (!Open(precedence, flags, text)) return true;
    text += prefix;
    AppendArguments(e, 1, Expression_Length(e), separator, text);
    text += suffix;
    Close(start, text);
    return true;
}

// base^exponent. The base is grouped at the power's own precedence, which
// makes (a^b)^c and (-2)^x while a^b^c stays bare. With the magnitude flag
// the exponent is a negative number written without its sign, for the
// reciprocal layouts.
void AppendPower(Object *base, Object *exponent, uint64_t exponentFlags, TextBuffer &text) {
    size_t start = text.size();
    if (!Open(PREC_POWER, CTX_STRICT, text)) return;
    Format_Append(base, text);
    text += u'^';
    Context_Flags(exponentFlags, kAllFlags);
    Format_Append(exponent, text);
    Close(start, text);
}

// A product factor that belongs under the fraction bar: a power with a
// negative exponent.
bool IsDenominatorFactor(Object *f) {
    return Native_IsCall(f, SYM_Power) && Expression_Length(f) == 2 && IsNegative(Expression_At(f, 2));
}

}  // namespace

bool Format_Plus(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_Plus, 2, kUnbounded)) return false;
    size_t start = text.size();
    if (!Open(PREC_SUM, 0, text)) return true;
    Format_Append(Expression_At(e, 1), text);
    for (int64_t i = 2; i <= Expression_Length(e); ++i) {
        size_t term = text.size();
        Format_Append(Expression_At(e, i), text);
        // A term whose text starts with a minus sign (a negative number, a
        // product led by a negative number) is subtracted: a - 2*b, not
        // a + -2*b.
        if (term < text.size() && text[term] == u'-') text.replace(term, 1, u" - ");
        else text.insert(term, u" + ");
    }
    Close(start, text);
    return true;
}

bool Format_Subtract(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_Subtract, 2, 2)) return false;
    size_t start = text.size();
    if (!Open(PREC_SUM, 0, text)) return true;
    Format_Append(Expression_At(e, 1), text);
    text += u" - ";
    // Subtraction groups to the left, so a sum or difference on the right
    // keeps its parentheses: a - (b - c), but a - b - c.
    Context_Flags(CTX_STRICT, CTX_STRICT);
    Format_Append(Expression_At(e, 2), text);
    Close(start, text);
    return true;
}

bool Format_Times(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_Times, 2, kUnbounded)) return false;
    size_t start = text.size();
    if (!Open(PREC_PRODUCT, 0, text)) return true;
    TextBuffer numerators, denominators;
    int64_t n = 0, k = 0, first = 1;
    Object *lead = Expression_At(e, 1);
    if (IsMinusOne(lead)) {
        text += u'-';
        first = 2;
    } else if (IsNumber(lead)) {
        // A leading number is written as a coefficient, at the precedence of
        // a negative number, so -2*x keeps its sign bare where x*(-2) does not.
        AppendInContext(e, 1, 1, PREC_NEGATIVE, 0, u"", numerators);
        n = 1;
        first = 2;
    }
    for (int64_t i = first; i <= Expression_Length(e); ++i) {
        Object *f = Expression_At(e, i);
        bool below = IsDenominatorFactor(f);
        TextBuffer &side = below ? denominators : numerators;
        if ((below ? k++ : n++) > 0) side += u'*';
        // The power formatter reads the flag to leave out its own "1/".
        Context_Flags(below ? uint64_t(CTX_DENOMINATOR) : 0, CTX_DENOMINATOR);
        Format_Append(f, side);
    }
    if (n > 0) text += numerators;
    else text += u'1';
    if (k == 1) {
        text += u'/';
        text += denominators;
    } else if (k > 1) {
        text += u"/(";
        text += denominators;
        text += u')';
    }
    Close(start, text);
    return true;
}

bool Format_Power(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_Power, 2, 2)) return false;
    Object *base = Expression_At(e, 1), *exponent = Expression_At(e, 2);
    if (!IsNegative(exponent)) {
        AppendPower(base, exponent, 0, text);
        return true;
    }
    // A negative exponent makes a reciprocal. As a factor of a product the
    // product writes the fraction bar and only the divisor is written here.
    bool inDenominator = Context_Flags(CONTEXT_FLAGS_QUERY, 0) & CTX_DENOMINATOR;
    size_t start = text.size();
    if (!inDenominator) {
        if (!Open(PREC_PRODUCT, 0, text)) return true;
        text += u"1/";
    }
    // The divisor of 1/x is grouped unless it binds tighter than a quotient,
    // so that 1/(x*y), 1/(1/2) and 1/(-2) do not read back as a longer chain
    // of products and quotients.
    if (IsMinusOne(exponent)) AppendInContext(e, 1, 1, PREC_RATIONAL, CTX_STRICT, u"", text);
    else AppendPower(base, exponent, CTX_MAGNITUDE, text);
    if (!inDenominator) Close(start, text);
    return true;
}

bool Format_Rule(Object *e, TextBuffer &text) {
    const char16_t *arrow = SpellingOf(e, {{SYM_Rule, u" -> "}, {SYM_RuleDelayed, u" :> "}}, 2, 2);
    return arrow && Operator(e, PREC_RULE, CTX_STRICT, u"", arrow, u"", text);
}

bool Format_Logic(Object *e, TextBuffer &text) {
    const char16_t *op =
        SpellingOf(e, {{SYM_And, u" && "}, {SYM_Or, u" || "}, {SYM_Xor, u" !! "}}, 2, kUnbounded);
    return op && Operator(e, PREC_LOGIC, CTX_STRICT, u"", op, u"", text);
}

bool Format_Not(Object *e, TextBuffer &text) {
    return Accepts(e, SYM_Not, 1, 1) && Operator(e, PREC_NOT, 0, u"!", u"", u"", text);
}

bool Format_Span(Object *e, TextBuffer &text) {
    return Accepts(e, SYM_Span, 2, kUnbounded) && Operator(e, PREC_SPAN, CTX_STRICT, u"", u"..", u"", text);
}

bool Format_Comparison(Object *e, TextBuffer &text) {
    const char16_t *op = SpellingOf(e,
                                    {{SYM_Equal, u" == "},
                                     {SYM_Unequal, u" != "},
                                     {SYM_LessEqual, u" <= "},
                                     {SYM_GreaterEqual, u" >= "},
                                     {SYM_Less, u" < "},
                                     {SYM_Greater, u" > "}},
                                    2, kUnbounded);
    return op && Operator(e, PREC_COMPARISON, CTX_STRICT, u"", op, u"", text);
}

bool Format_Join(Object *e, TextBuffer &text) {
    return Accepts(e, SYM_Join, 2, kUnbounded) && Operator(e, PREC_JOIN, 0, u"", u"~", u"", text);
}

bool Format_Factorial(Object *e, TextBuffer &text) {
    return Accepts(e, SYM_Factorial, 1, 1) && Operator(e, PREC_FACTORIAL, 0, u"", u"", u"!", text);
}

bool Format_Part(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_Part, 2, kUnbounded)) return false;
    size_t start = text.size();
    if (!Open(PREC_PART, 0, text)) return true;
    Format_Append(Expression_At(e, 1), text);
    text += u'[';
    AppendInContext(e, 2, Expression_Length(e), PREC_ARGUMENT, 0, u",", text);
    text += u']';
    Close(start, text);
    return true;
}

bool Format_List(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_List, 0, kUnbounded)) return false;
    text += u'{';
    AppendInContext(e, 1, Expression_Length(e), PREC_ARGUMENT, 0, u", ", text);
    text += u'}';
    return true;
}

bool Format_Slot(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_Slot, 0, 1)) return false;
    // Only a slot number that reads back as the digits after "#" is written
    // that way; any other argument keeps the call layout.
    Object *k = Expression_Length(e) == 1 ? Expression_At(e, 1) : nullptr;
    if (k && (Object_Type(k) != TYPE_INTEGER || Object_Sign(k) < 0)) return false;
    text += u'#';
    if (k) Format_Append(k, text);
    return true;
}

bool Format_DirectedInfinity(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_DirectedInfinity, 0, 1)) return false;
    int sign = 0;
    if (Expression_Length(e) == 1) {
        Object *direction = Expression_At(e, 1);
        if (!IsRealNumber(direction)) return false;
        sign = Object_Sign(direction);
    }
    if (sign == 0) text += u"ComplexInfinity";
    else if (sign > 0) text += u"Infinity";
    else if (Context_WouldNeedParens(PREC_NEGATIVE)) text += u"(-Infinity)";
    else text += u"-Infinity";
    return true;
}

bool Format_Blank(Object *e, TextBuffer &text) {
    const char16_t *mark =
        SpellingOf(e, {{SYM_Any, u"?"}, {SYM_AnySequence, u"??"}, {SYM_AnyNullSequence, u"???"}}, 1, 1);
    if (!mark || !Object_IsSymbol(Expression_At(e, 1))) return false;
    text += mark;
    text += Symbol_Name(AsSymbol(Expression_At(e, 1)));
    return true;
}

bool Format_InternalForm(Object *e, TextBuffer &text) {
    if (!Accepts(e, SYM_InternalForm, 1, 1)) return false;
    if (!Form_Push(FORM_FULL)) {
        text += Format_CutMarker;
        return true;
    }
    AppendInContext(e, 1, 1, PREC_ARGUMENT, 0, u"", text);
    Form_Pop();
    return true;
}

namespace {

const FormatterRow kFormatters[] = {
    {SYM_And, Format_Logic},
    {SYM_Any, Format_Blank},
    {SYM_AnyNullSequence, Format_Blank},
    {SYM_AnySequence, Format_Blank},
    {SYM_DirectedInfinity, Format_DirectedInfinity},
    {SYM_Equal, Format_Comparison},
    {SYM_Factorial, Format_Factorial},
    {SYM_Greater, Format_Comparison},
    {SYM_GreaterEqual, Format_Comparison},
    {SYM_InternalForm, Format_InternalForm},
    {SYM_Join, Format_Join},
    {SYM_Less, Format_Comparison},
    {SYM_LessEqual, Format_Comparison},
    {SYM_List, Format_List},
    {SYM_Not, Format_Not},
    {SYM_Or, Format_Logic},
    {SYM_Part, Format_Part},
    {SYM_Plus, Format_Plus},
    {SYM_Power, Format_Power},
    {SYM_Rule, Format_Rule},
    {SYM_RuleDelayed, Format_Rule},
    {SYM_Slot, Format_Slot},
    {SYM_Span, Format_Span},
    {SYM_Subtract, Format_Subtract},
    {SYM_Times, Format_Times},
    {SYM_Unequal, Format_Comparison},
    {SYM_Xor, Format_Logic},
};

}  // namespace

extern const FormatterTable OperatorFormatters = Table_Of(kFormatters);
