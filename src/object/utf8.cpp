#include "object/utf8.h"

namespace {

// Per lead byte: the number of continuation bytes (0 for ASCII, -1 for a
// byte that cannot start a sequence) and the range the second byte must lie
// in, which rules out overlong forms and values above U+10FFFF.
struct LeadInfo {
    int8_t more;
    unsigned char low, high;
};

constexpr LeadInfo Lead(unsigned b) {
    if (b < 0x80) return {0, 0, 0};
    if (b < 0xC2) return {-1, 0, 0};
    if (b < 0xE0) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b < 0xF0) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b < 0xF4) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

struct LeadTable {
    LeadInfo entries[256];
    constexpr LeadTable() : entries() {
        for (unsigned b = 0; b < 256; ++b) entries[b] = Lead(b);
    }
};

constexpr LeadTable kLeads;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

const unsigned char *Utf8_Next(const unsigned char *p, const unsigned char *end, char32_t *cp) {
    unsigned char b = *p;
    const LeadInfo &info = kLeads.entries[b];
    if (info.more == 0) {
        *cp = b;
        return p + 1;
    }
    if (info.more < 0) {
        *cp = kReplacementCharacter;
        return p + 1;
    }
    char32_t value = b & (0x3F >> info.more);
    const unsigned char *q = p + 1;
    for (int i = 0; i < info.more; ++i, ++q) {
        if (q >= end) {
            *cp = kReplacementCharacter;
            return q;
        }
        unsigned char c = *q;
        bool ok = i == 0 ? (c >= info.low && c <= info.high) : IsContinuation(c);
        if (!ok) {
            *cp = kReplacementCharacter;
            return q;
        }
        value = (value << 6) | (c & 0x3F);
    }
    *cp = value;
    return q;
}

// The character ending at p starts at the nearest byte before p that is not
// a continuation byte, when decoding from there ends exactly at p; otherwise
// the byte before p stands alone.
const unsigned char *Utf8_Previous(const unsigned char *begin, const unsigned char *p, char32_t *cp) {
    const unsigned char *start = p - 1;
    for (int i = 0; i < 3 && start > begin && IsContinuation(*start); ++i) --start;
    if (!IsContinuation(*start)) {
        char32_t value;
        if (Utf8_Next(start, p, &value) == p) {
            *cp = value;
            return start;
        }
    }
    Utf8_Next(p - 1, p, cp);
    return p - 1;
}

int64_t Utf8_Count(const unsigned char *p, size_t n) {
    const unsigned char *end = p + n;
    int64_t count = 0;
    char32_t cp;
    while (p < end) {
        if (*p < 0x80) ++p;
        else p = Utf8_Next(p, end, &cp);
        ++count;
    }
    return count;
}

void Utf16_Append(std::u16string &text, char32_t cp) {
    if (cp < 0x10000) {
        text += char16_t(cp);
    } else {
        cp -= 0x10000;
        text += char16_t(0xD800 + (cp >> 10));
        text += char16_t(0xDC00 + (cp & 0x3FF));
    }
}

void Utf8_Append(std::string &bytes, char32_t cp) {
    if (cp < 0x80) {
        bytes += char(cp);
    } else if (cp < 0x800) {
        bytes += char(0xC0 | (cp >> 6));
        bytes += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        bytes += char(0xE0 | (cp >> 12));
        bytes += char(0x80 | ((cp >> 6) & 0x3F));
        bytes += char(0x80 | (cp & 0x3F));
    } else {
        bytes += char(0xF0 | (cp >> 18));
        bytes += char(0x80 | ((cp >> 12) & 0x3F));
        bytes += char(0x80 | ((cp >> 6) & 0x3F));
        bytes += char(0x80 | (cp & 0x3F));
    }
}

std::string Utf16_ToUtf8(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacementCharacter;
        }
        Utf8_Append(bytes, c);
    }
    return bytes;
}
