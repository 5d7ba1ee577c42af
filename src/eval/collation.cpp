// Four-level string collation over the unpacked Unicode tables.
//
// At each level a string is the sequence of the nonzero fields of that
// level in the collation elements of its characters, in order; two strings
// compare as those sequences do, a sequence that runs out first coming
// first, and the next level is read only when a level ends in a tie. The
// fourth "weight" of a character is the number of elements in its list,
// stored in its first element (the following elements hold 0 there).
#include "eval/collation.h"

#include <algorithm>
#include <cstring>

#include "kernel/state.h"
#include "object/string.h"
#include "object/utf8.h"

namespace {

constexpr int kLevels = 4;

// The start and end of a string's bytes (both null for an empty string
// without a buffer).
struct Bytes {
    const unsigned char *begin, *end;
};

Bytes BytesOf(Object *s) {
    String *x = AsString(s);
    return {x->buffer, x->buffer ? x->buffer + x->bytes : nullptr};
}

// A reading position in one string at one level: the next character, and
// within the current character's list the element to read next.
class WeightCursor {
public:
    WeightCursor(const UnicodeTables &tables, const unsigned char *p, const unsigned char *end)
        : tables_(tables), p_(p), end_(end) {}

    // The next nonzero weight at level, or 0 when the string is exhausted;
    // the cursor stays on the element it was read from.
    uint16_t Next(int level) {
        for (;;) {
            if (!element_) {
                if (p_ >= end_) return 0;
                char32_t cp;
                if (*p_ < 0x80) cp = *p_++;
                else p_ = Utf8_Next(p_, end_, &cp);
                if (cp >= char32_t(kUnicodeCodePoints)) cp = kReplacementCharacter;
                element_ = tables_.elements + 8 * size_t(UnicodeTables_Position(tables_.index, cp));
                left_ = UnicodeTables_Field(element_, 3);
            }
            uint16_t w = UnicodeTables_Field(element_, level);
            if (w) return w;
            Advance();
        }
    }

    // Moves past the element just read.
    void Advance() {
        if (!element_) return;
        element_ += 8;
        if (--left_ == 0) element_ = nullptr;
    }

private:
    const UnicodeTables &tables_;
    const unsigned char *p_, *end_;
    const unsigned char *element_ = nullptr;
    int left_ = 0;
};

// The length of the longest common prefix of x and y that ends on a
// character boundary reached by complete characters in both. Such a prefix
// adds the same weights to both strings at every level, so the comparison
// may start after it. The place after an ASCII byte is always such a
// boundary; from the last one the characters up to the first difference
// are decoded, and since a sequence that decodes as U+FFFD may depend on
// the byte after it, the prefix stops before one.
size_t CommonCharacters(Bytes x, Bytes y) {
    size_t n = std::min(size_t(x.end - x.begin), size_t(y.end - y.begin));
    size_t same = 0;
    for (uint64_t u, v; same + 8 <= n; same += 8) {
        std::memcpy(&u, x.begin + same, 8);
        std::memcpy(&v, y.begin + same, 8);
        if (u != v) break;
    }
    while (same < n && x.begin[same] == y.begin[same]) ++same;
    size_t i = same;
    while (i > 0 && x.begin[i - 1] >= 0x80) --i;
    size_t safe = i;
    while (i < same) {
        char32_t cp;
        const unsigned char *next = Utf8_Next(x.begin + i, x.begin + same, &cp);
        size_t length = size_t(next - (x.begin + i));
        if (cp == kReplacementCharacter && !(length == 3 && std::memcmp(x.begin + i, "\xEF\xBF\xBD", 3) == 0)) break;
        safe = i += length;
    }
    return safe;
}

// Every character weighs at least 1 at the last level, so the empty text
// comes before every other.
int Collate(Bytes x, Bytes y) {
    bool xEmpty = x.begin == x.end, yEmpty = y.begin == y.end;
    if (xEmpty || yEmpty) return xEmpty == yEmpty ? 0 : xEmpty ? 1 : -1;
    size_t skip = CommonCharacters(x, y);
    for (int level = 0; level < kLevels; ++level) {
        WeightCursor a(kernel.unicode, x.begin + skip, x.end), b(kernel.unicode, y.begin + skip, y.end);
        for (;;) {
            uint16_t wa = a.Next(level), wb = b.Next(level);
            if (wa != wb) return wa < wb ? 1 : -1;
            if (wa == 0) break;
            a.Advance();
            b.Advance();
        }
    }
    return 0;
}

}  // namespace

int String_CompareBytes(Object *a, Object *b) {
    Bytes x = BytesOf(a), y = BytesOf(b);
    size_t m = size_t(x.end - x.begin), n = size_t(y.end - y.begin);
    int c = std::min(m, n) ? std::memcmp(x.begin, y.begin, std::min(m, n)) : 0;
    if (c) return c < 0 ? 1 : -1;
    return m == n ? 0 : m < n ? 1 : -1;
}

bool String_CollatesAsText(Object *s) { return Object_Subtype(s) == SUB_UTF8 && kernel.unicode.index; }

int String_Collate(Object *a, Object *b) {
    if (!String_CollatesAsText(a) || !String_CollatesAsText(b)) return String_CompareBytes(a, b);
    return Collate(BytesOf(a), BytesOf(b));
}

int String_Order(Object *a, Object *b) {
    int c = String_Collate(a, b);
    return c ? c : String_CompareBytes(a, b);
}

void String_AppendSortKey(Object *s, std::string &key) {
    Bytes x = BytesOf(s);
    if (String_CollatesAsText(s)) {
        auto put = [&key](uint16_t w) {
            key += char(w >> 8);
            key += char(w & 0xFF);
        };
        for (int level = 0; level < kLevels; ++level) {
            WeightCursor c(kernel.unicode, x.begin, x.end);
            for (uint16_t w; (w = c.Next(level)) != 0; c.Advance()) put(w);
            put(0);
        }
    }
    if (x.begin) key.append(reinterpret_cast<const char *>(x.begin), size_t(x.end - x.begin));
}
