// The UTF-8 decoder used for text strings. Invalid or truncated sequences
// read as one character U+FFFD; the decoder then moves past the lead byte and
// the continuation bytes that were valid so far (never past a byte it
// rejected), so the bytes after a bad sequence are still read as themselves.
// Decoding backward yields exactly the characters decoding forward does.
// The three-byte form of a lone UTF-16 surrogate is read as that surrogate,
// so that text holding one (which the parser encodes that way) reads back
// unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the character starting at p (p < end); stores its code point and
// returns the address after it.
const unsigned char *Utf8_Next(const unsigned char *p, const unsigned char *end, char32_t *cp);

// Decodes the character that ends at p (begin < p); stores its code point
// and returns its first byte's address.
const unsigned char *Utf8_Previous(const unsigned char *begin, const unsigned char *p, char32_t *cp);

// Number of characters in n bytes.
int64_t Utf8_Count(const unsigned char *p, size_t n);

// Appends code point cp to UTF-16 text (a surrogate pair above U+FFFF).
void Utf16_Append(std::u16string &text, char32_t cp);

// Appends code point cp to UTF-8 bytes.
void Utf8_Append(std::string &bytes, char32_t cp);

// Converts UTF-16 text to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16_ToUtf8(std::u16string_view text);
