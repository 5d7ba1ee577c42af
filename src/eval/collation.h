// String collation: text strings are ordered in four levels (base letters,
// accents, case and variants, then the number of collation elements of each
// character) through the unpacked Unicode tables; byte strings, and any pair
// that is not two text strings, are ordered by their bytes. Without tables
// every pair is ordered by its bytes.
#pragma once

#include <cstdint>
#include <string>

#include "object/object.h"

// 1 when a sorts before b, -1 when it sorts after, 0 when the collation
// finds no difference (which distinct texts can do: characters without a
// collation entry weigh only at the last level, and all alike there).
// Allocates nothing. Borrows both.
int String_Collate(Object *a, Object *b);

// The byte comparison alone, with String_Collate's signs: the first
// differing byte decides (as unsigned values), else the shorter string comes
// first. Borrows both.
int String_CompareBytes(Object *a, Object *b);

// The canonical order of two strings: String_Collate, and where it finds
// no difference between distinct texts (they differ only in characters
// without collation entries, say) String_CompareBytes, so that 0 means
// equal bytes and a sorted list keeps equal strings together. Borrows both.
int String_Order(Object *a, Object *b);

// Whether String_Collate compares s with another text string by the
// collation rather than by bytes: s is a text string and the tables are
// there. Borrows s.
bool String_CollatesAsText(Object *s);

// Appends to key the sort key of s: bytes that, compared as unsigned bytes
// with the shorter first, order strings as String_Order does among strings
// that collate the same way (all as text, or all by bytes). For text: the
// weights of each level as big-endian 16-bit values, each level ended by a
// zero weight (smaller than any real one), then the bytes of the string for
// the final tie-break; for bytes, the bytes alone. Borrows s.
void String_AppendSortKey(Object *s, std::string &key);
