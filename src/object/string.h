// String objects: bytes read either one byte per character (subtype 6, byte
// strings, which also carry raw data) or as UTF-8 text (subtype 7). Both
// share one layout; changing the subtype reinterprets the same bytes.
#pragma once

#include <cstdint>
#include <string>

#include "object/object.h"

struct String {
    Object header;
    unsigned char *buffer;  // owned; null for an empty string made without one
    int64_t count;          // characters
    int64_t bytes;          // byte length; the bytes are not zero-terminated
    int64_t cursorIndex;    // 1-based character index of the cursor (subtype 7)
    int64_t cursorOffset;   // byte offset of that character
};

constexpr uint64_t STRING_ADOPT = 0x10000;       // take over src as the buffer, without copying
constexpr uint64_t STRING_CHARACTERS = 0x20000;  // n counts UTF-8 characters, not bytes

extern const ObjectClass StringBytesClass VORLAN_INTERNAL;
extern const ObjectClass StringTextClass VORLAN_INTERNAL;

inline bool Object_IsString(const Object *o) { return o->cls->type == TYPE_STRING; }
inline String *AsString(Object *o) { return reinterpret_cast<String *>(o); }

// A new string of subtype (flags without the STRING_ bits: 6 or 7) from n
// bytes of src, or n characters with STRING_CHARACTERS. With STRING_ADOPT
// the string owns src, which must come from malloc; otherwise the bytes are
// copied, or zero-filled when src is null.
Object *String_New(const void *src, int64_t n, uint64_t flags);

// Reinterprets the unique string s as subtype 6 or 7; returns s.
Object *String_SetSubtype(Object *s, uint64_t subtype);

// Address of the first byte of character i (1 <= i <= count + 1); moves the
// cursor of a text string there. Borrows s.
const unsigned char *String_CharAddress(Object *s, int64_t i);

// The content as UTF-16 text (byte strings through Latin-1, text strings as
// UTF-8), up to the first zero byte; *hasZero tells whether there was one.
std::u16string String_Text(Object *s, int64_t *hasZero = nullptr);

// Replaces every occurrence of lhs in s by rhs, left to right, resuming
// after each occurrence. An empty lhs occurs at every character boundary,
// both ends included. When any of the three is a byte string the work is
// on bytes and the result is a byte string; otherwise on the characters of
// text. Borrows all three; returns a new reference (s itself when nothing
// changed).
Object *String_ReplaceAll(Object *s, Object *lhs, Object *rhs);

// One pass over s: at each position the first rule (List of two-argument
// Rule or RuleDelayed with string sides) whose left side occurs there
// emits its right side and the scan resumes after the occurrence; where no
// rule occurs one character is copied. Inserted text is never scanned
// again. Byte strings and empty left sides as for String_ReplaceAll.
// Borrows s and rules; returns a new reference.
Object *String_ReplaceMany(Object *s, Object *rules);

// Pool hook of the clearing step: frees the byte buffer.
void String_DropOwned(void *record);
