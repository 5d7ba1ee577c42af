// The formatter's stacks, the two output forms and the generic layout.
// Both stacks are fixed arrays in the kernel state; every push is checked,
// and a part of an expression nested deeper than they allow is written as
// the cut marker instead of overrunning them.
#include "syntax/formatter.h"

#include "kernel/state.h"
#include "object/expression.h"
#include "object/symbol.h"

void Format_Reset() {
    FormatState &f = kernel.format;
    f.formTop = 0;
    f.forms[0] = FORM_NONE;
    f.contextTop = 0;
    f.contexts[0] = {0, 0};
}

bool Form_Push(int64_t form) {
    FormatState &f = kernel.format;
    if (f.formTop + 1 >= kFormatStackCapacity) return false;
    f.forms[++f.formTop] = form;
    return true;
}

void Form_Pop() {
    if (kernel.format.formTop > 0) --kernel.format.formTop;
}

int64_t Form_Current() { return kernel.format.forms[kernel.format.formTop]; }

bool Context_Push(int64_t precedence, uint64_t bits, uint64_t mask) {
    FormatState &f = kernel.format;
    if (f.contextTop + 1 >= kFormatStackCapacity) return false;
    uint64_t flags = (f.contexts[f.contextTop].flags & ~mask) | (bits & mask);
    f.contexts[++f.contextTop] = {precedence, flags};
    return true;
}

namespace {

bool NeedsParens(int64_t p, const FormatContext &outer) {
    return outer.flags == CTX_STRICT ? p <= outer.precedence : p < outer.precedence;
}

}  // namespace

bool Context_Pop() {
    FormatState &f = kernel.format;
    if (f.contextTop == 0) return false;
    int64_t p = f.contexts[f.contextTop--].precedence;
    return NeedsParens(p, f.contexts[f.contextTop]);
}

bool Context_WouldNeedParens(int64_t precedence) {
    return NeedsParens(precedence, kernel.format.contexts[kernel.format.contextTop]);
}

uint64_t Context_Flags(uint64_t value, uint64_t mask) {
    FormatContext &top = kernel.format.contexts[kernel.format.contextTop];
    if (value != CONTEXT_FLAGS_QUERY) top.flags = (top.flags & ~mask) | (value & mask);
    return top.flags;
}

void Format_Append(Object *o, TextBuffer &text) { o->cls->toText(o, text); }

namespace {

std::u16string FormatIn(int64_t form, Object *o) {
    std::u16string text;
    if (!Form_Push(form)) return Format_CutMarker;
    Format_Append(o, text);
    Form_Pop();
    return text;
}

}  // namespace

std::u16string Format_Standard(Object *o) { return FormatIn(FORM_STANDARD, o); }
std::u16string Format_Full(Object *o) { return FormatIn(FORM_FULL, o); }

void Format_Expression(Object *e, TextBuffer &text) {
    SymbolRecord *r = Symbol_Record(e, false);
    if (r && r->formatter && r->formatter(e, text)) return;
    int64_t form = Form_Current();
    if (form != FORM_STANDARD && form != FORM_FULL) return;
    size_t start = text.size();
    if (!Context_Push(17, 0, 7)) {
        text += Format_CutMarker;
        return;
    }
    Format_Append(Expression_At(e, 0), text);
    if (Context_Pop()) {
        text.insert(start, 1, u'(');
        text += u')';
    }
    int64_t n = Expression_Length(e);
    if (n == 0) {
        text += u"()";
        return;
    }
    text += u'(';
    if (!Context_Push(1, 0, 7)) {
        text += Format_CutMarker;
    } else {
        for (int64_t i = 1; i <= n; ++i) {
            if (i > 1) text += u", ";
            Format_Append(Expression_At(e, i), text);
        }
        Context_Pop();
    }
    text += u')';
}

void Format_AppendDecimal(int64_t v, TextBuffer &text) {
    char16_t digits[20];
    int n = 0;
    uint64_t m = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
    do {
        digits[n++] = char16_t(u'0' + m % 10);
        m /= 10;
    } while (m);
    if (v < 0) text += u'-';
    while (n) text += digits[--n];
}
