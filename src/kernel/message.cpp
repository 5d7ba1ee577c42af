#include "kernel/message.h"

#include "kernel/state.h"
#include "object/symbol.h"
#include "syntax/formatter.h"

namespace {

void ReplaceAll(std::u16string &text, std::u16string_view what, std::u16string_view with) {
    size_t at = 0;
    while ((at = text.find(what, at)) != std::u16string::npos) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Offset in text after skipping n characters from the start; a surrogate
// pair counts as one character.
size_t AdvanceCharacters(std::u16string_view text, int64_t n) {
    size_t at = 0;
    for (; n > 0 && at < text.size(); --n)
        at += IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]) ? 2 : 1;
    return at;
}

// Offset in text where the last n characters begin.
size_t RetreatCharacters(std::u16string_view text, int64_t n) {
    size_t at = text.size();
    for (; n > 0 && at > 0; --n)
        at -= IsLowSurrogate(text[at - 1]) && at >= 2 && IsHighSurrogate(text[at - 2]) ? 2 : 1;
    return at;
}

int64_t CountCharacters(std::u16string_view text) {
    int64_t n = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(IsLowSurrogate(text[i]) && i > 0 && IsHighSurrogate(text[i - 1]))) ++n;
    return n;
}

}  // namespace

std::u16string Message_Fill(std::u16string_view text, std::u16string_view arg1, std::u16string_view arg2) {
    std::u16string filled(text);
    ReplaceAll(filled, u"%1", arg1);
    ReplaceAll(filled, u"%2", arg2);
    ReplaceAll(filled, u"%%", u"%");
    return filled;
}

int Message_Emit(std::u16string_view symbol, std::u16string_view tag, std::u16string_view arg1,
                 std::u16string_view arg2) {
    auto deliver = kernel.callbacks.message;
    if (!deliver || kernel.messageSuppression != 0) return 0;
    Symbol *s = Symbol_Find(symbol);
    if (!s) return 0;
    const std::u16string *templ = Symbol_Message(s, tag);
    if (!templ) return 0;
    std::u16string filled = Message_Fill(*templ, arg1, arg2);
    std::u16string name(symbol), tagText(tag);
    deliver(filled.c_str(), name.c_str(), tagText.c_str());
    return 1;
}

std::u16string Message_ShortText(Object *o) {
    std::u16string text = Format_Standard(o);
    int64_t w = kernel.settings.messageArgumentWidth;
    if (CountCharacters(text) <= w) return text;
    int64_t head = w / 2 - 1, tail = w - w / 2 - 1;
    std::u16string shortened = text.substr(0, AdvanceCharacters(text, head));
    shortened += u"\u00AB\u2026\u00BB";
    shortened += text.substr(RetreatCharacters(text, tail));
    return shortened;
}

std::u16string Message_IntegerText(int64_t v) {
    std::u16string text;
    Format_AppendDecimal(v, text);
    return text;
}
