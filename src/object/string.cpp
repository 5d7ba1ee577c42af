#include "object/string.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "kernel/state.h"
#include "object/crc32c.h"
#include "object/expression.h"
#include "object/utf8.h"
#include "syntax/formatter.h"

namespace {

// Buffers are sized to the byte length rounded up to whole 8-byte words.
size_t Rounded(int64_t bytes) { return (size_t(bytes) + 7) & ~size_t(7); }

unsigned char *NewBuffer(int64_t bytes) {
    auto *b = static_cast<unsigned char *>(std::calloc(1, Rounded(bytes)));
    if (!b) throw std::bad_alloc();
    return b;
}

Object *Allocate(uint64_t subtype) {
    auto *s = static_cast<String *>(Pool_Alloc(&kernel.strings));
    s->header.cls = subtype == SUB_BYTES ? &StringBytesClass : &StringTextClass;
    s->header.refs = 1;
    s->cursorIndex = 1;
    return &s->header;
}

Object *Clone(Object *o) {
    String *src = AsString(o);
    Object *c = Allocate(Object_Subtype(o));
    String *s = AsString(c);
    if (src->buffer && src->bytes) {
        s->buffer = NewBuffer(src->bytes);
        std::memcpy(s->buffer, src->buffer, size_t(src->bytes));
    }
    s->count = src->count;
    s->bytes = src->bytes;
    s->cursorIndex = src->cursorIndex;
    s->cursorOffset = src->cursorOffset;
    return c;
}

void Release(Object *o) {
    if (--o->refs > 0) return;
    std::free(AsString(o)->buffer);
    Pool_Free(&kernel.strings, o);
}

int Same(Object *a, Object *b) {
    String *x = AsString(a), *y = AsString(b);
    return a->cls == b->cls && x->bytes == y->bytes &&
           (x->bytes == 0 || std::memcmp(x->buffer, y->buffer, size_t(x->bytes)) == 0);
}

uint32_t Hash(Object *o, uint32_t seed) {
    String *s = AsString(o);
    return s->bytes ? Crc32c_Update(seed, s->buffer, size_t(s->bytes)) : seed;
}

void AppendHex(TextBuffer &text, unsigned v) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    text += u"\\x";
    text += digits[v >> 4];
    text += digits[v & 15];
}

// Appends one character of a string's text form, escaped so that the parser
// reads it back as the same character.
void AppendEscaped(TextBuffer &text, char32_t c, char16_t quote) {
    static const char16_t controls[] = u"abtnvfr";
    if (c == 0) text += u"\\0";
    else if (c >= 7 && c <= 13) {
        text += u'\\';
        text += controls[c - 7];
    } else if (c < 32 || (c >= 127 && c <= 160)) AppendHex(text, unsigned(c));
    else if (c == u'\\') text += u"\\\\";
    else if (c == quote) {
        text += u'\\';
        text += quote;
    } else Utf16_Append(text, c);
}

// Byte strings print between single quotes, text strings between double
// quotes; outside the full and standard forms nothing is written.
void ToText(Object *o, TextBuffer &text) {
    int64_t form = Form_Current();
    if (form != FORM_FULL && form != FORM_STANDARD) return;
    String *s = AsString(o);
    const unsigned char *p = s->buffer, *end = s->buffer + s->bytes;
    if (Object_Subtype(o) == SUB_BYTES) {
        text += u'\'';
        for (; p < end; ++p) AppendEscaped(text, *p, u'\'');
        text += u'\'';
        return;
    }
    text += u'"';
    while (p < end) {
        char32_t c;
        p = Utf8_Next(p, end, &c);
        AppendEscaped(text, c, u'"');
    }
    text += u'"';
}

}  // namespace

const ObjectClass StringBytesClass = {
    TYPE_STRING, SUB_BYTES, u"String",
    Clone, nullptr, ToText, Release, Same, nullptr, nullptr, nullptr, nullptr, Hash,
};

const ObjectClass StringTextClass = {
    TYPE_STRING, SUB_UTF8, u"String",
    Clone, nullptr, ToText, Release, Same, nullptr, nullptr, nullptr, nullptr, Hash,
};

Object *String_New(const void *src, int64_t n, uint64_t flags) {
    uint64_t subtype = flags & ~uint64_t(STRING_ADOPT | STRING_CHARACTERS);
    auto *bytes = static_cast<const unsigned char *>(src);
    int64_t count = n, length = n;
    if (subtype == SUB_UTF8) {
        if (flags & STRING_CHARACTERS) {
            const unsigned char *p = bytes;
            char32_t cp;
            // n characters take at most 4n bytes; the walk stays inside them.
            for (int64_t i = 0; i < n; ++i) p = Utf8_Next(p, bytes + 4 * n, &cp);
            length = p - bytes;
        } else {
            count = bytes ? Utf8_Count(bytes, size_t(n)) : n;
        }
    }
    Object *o = Allocate(subtype);
    String *s = AsString(o);
    s->count = count;
    s->bytes = length;
    if (flags & STRING_ADOPT) {
        s->buffer = const_cast<unsigned char *>(bytes);
    } else if (count != 0) {
        s->buffer = NewBuffer(length);
        if (bytes) std::memcpy(s->buffer, bytes, size_t(length));
    }
    return o;
}

Object *String_SetSubtype(Object *o, uint64_t subtype) {
    if (Object_Subtype(o) == subtype) return o;
    String *s = AsString(o);
    if (subtype == SUB_BYTES) {
        o->cls = &StringBytesClass;
        if (s->buffer) s->count = s->bytes;
    } else {
        o->cls = &StringTextClass;
        if (s->buffer) s->count = Utf8_Count(s->buffer, size_t(s->bytes));
        s->cursorIndex = 1;
        s->cursorOffset = 0;
    }
    return o;
}

// The walk to character i starts from whichever of the end, the cursor and
// the start is nearest, so reading a string in order costs one step a call.
const unsigned char *String_CharAddress(Object *o, int64_t i) {
    String *s = AsString(o);
    if (Object_Subtype(o) == SUB_BYTES) return s->buffer + (i - 1);
    if (Object_Subtype(o) != SUB_UTF8) return nullptr;
    const unsigned char *begin = s->buffer, *end = s->buffer + s->bytes;
    int64_t n = s->count, f = s->cursorIndex;
    const unsigned char *p;
    char32_t cp;
    auto back = [&](const unsigned char *from, int64_t steps) {
        while (steps-- > 0 && from > begin) from = Utf8_Previous(begin, from, &cp);
        return from;
    };
    auto forward = [&](const unsigned char *from, int64_t steps) {
        while (steps-- > 0 && from < end) from = Utf8_Next(from, end, &cp);
        return from;
    };
    if (n - i < i - f) p = back(end, n + 1 - i);
    else if (i < f) p = f - i < i ? back(begin + s->cursorOffset, f - i) : forward(begin, i - 1);
    else p = forward(begin + s->cursorOffset, i - f);
    s->cursorIndex = i;
    s->cursorOffset = p - begin;
    return p;
}

std::u16string String_Text(Object *o, int64_t *hasZero) {
    String *s = AsString(o);
    const unsigned char *p = s->buffer, *end = s->buffer + s->bytes;
    const void *zero = s->bytes ? std::memchr(p, 0, size_t(s->bytes)) : nullptr;
    if (hasZero) *hasZero = zero != nullptr;
    if (zero) end = static_cast<const unsigned char *>(zero);
    std::u16string text;
    text.reserve(size_t(end - p));
    if (Object_Subtype(o) == SUB_BYTES) {
        for (; p < end; ++p) text += char16_t(*p);
        return text;
    }
    while (p < end) {
        char32_t c;
        p = Utf8_Next(p, end, &c);
        Utf16_Append(text, c);
    }
    return text;
}

void String_DropOwned(void *record) { std::free(static_cast<String *>(record)->buffer); }

namespace {

// The bytes of a string, borrowed from it.
std::string_view StringBytes(Object *s) {
    String *x = AsString(s);
    return x->buffer ? std::string_view(reinterpret_cast<const char *>(x->buffer), size_t(x->bytes)) : std::string_view();
}

struct StringRule {
    std::string_view lhs, rhs;  // borrowed from the strings of the call
};

// Whether lhs occurs at offset at of text and, for text, ends on a
// character boundary (a left side holding a broken sequence could
// otherwise end inside a character of the subject).
bool OccursAt(std::string_view text, size_t at, std::string_view lhs, bool byBytes) {
    if (text.substr(at).substr(0, lhs.size()) != lhs) return false;
    if (byBytes) return true;
    auto *begin = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char *p = begin + at, *end = begin + at + lhs.size();
    char32_t cp;
    while (p < end) p = Utf8_Next(p, begin + text.size(), &cp);
    return p == end;
}

// The one scan behind both string replacements: see String_ReplaceMany.
// An empty left side emits its right side and then lets one character
// through, so that it is applied once at each boundary instead of forever
// at the same one. Borrows s; returns a new reference.
Object *ReplaceScan(Object *s, const std::vector<StringRule> &rules, bool byBytes) {
    std::string_view text = StringBytes(s);
    uint64_t subtype = byBytes ? SUB_BYTES : SUB_UTF8;
    auto *begin = reinterpret_cast<const unsigned char *>(text.data());
    std::string out;
    bool changed = false;
    for (size_t at = 0;;) {
        const StringRule *applied = nullptr;
        for (const StringRule &r : rules)
            if (OccursAt(text, at, r.lhs, byBytes)) {
                applied = &r;
                break;
            }
        if (applied) {
            out.append(applied->rhs);
            changed = changed || !applied->lhs.empty() || !applied->rhs.empty();
            at += applied->lhs.size();
            if (!applied->lhs.empty()) continue;
        }
        if (at >= text.size()) break;
        size_t next = at + 1;
        if (!byBytes) {
            char32_t cp;
            next = size_t(Utf8_Next(begin + at, begin + text.size(), &cp) - begin);
        }
        out.append(text.substr(at, next - at));
        at = next;
    }
    if (!changed && Object_Subtype(s) == subtype) return Object_AddRef(s);
    return String_New(out.data(), int64_t(out.size()), subtype);
}

}  // namespace

Object *String_ReplaceAll(Object *s, Object *lhs, Object *rhs) {
    bool byBytes = Object_Subtype(s) == SUB_BYTES || Object_Subtype(lhs) == SUB_BYTES || Object_Subtype(rhs) == SUB_BYTES;
    return ReplaceScan(s, {{StringBytes(lhs), StringBytes(rhs)}}, byBytes);
}

Object *String_ReplaceMany(Object *s, Object *rules) {
    bool byBytes = Object_Subtype(s) == SUB_BYTES;
    std::vector<StringRule> list;
    for (int64_t i = 1; i <= Expression_Length(rules); ++i) {
        Object *lhs = Expression_At(Expression_At(rules, i), 1), *rhs = Expression_At(Expression_At(rules, i), 2);
        byBytes = byBytes || Object_Subtype(lhs) == SUB_BYTES || Object_Subtype(rhs) == SUB_BYTES;
        list.push_back({StringBytes(lhs), StringBytes(rhs)});
    }
    return ReplaceScan(s, list, byBytes);
}
