// Unpacking the embedded collation tables into the kernel state, once per
// initialization; Kernel_Reset leaves them in place.
#pragma once

#include <cstddef>
#include <cstdint>

// The unpacked tables as the collation reads them, or both null.
struct UnicodeTables {
    const unsigned char *index;     // 0x110000 little-endian int32 positions
    const unsigned char *elements;  // elementCount records of four little-endian uint16
    int64_t elementCount;
};

constexpr int64_t kUnicodeCodePoints = 0x110000;

// The position of cp's list in the element table, read from the index
// table (cp < kUnicodeCodePoints).
inline int32_t UnicodeTables_Position(const unsigned char *index, char32_t cp) {
    const unsigned char *p = index + 4 * size_t(cp);
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// Field k of an element: the weight of level k (0 to 2), or for k = 3 the
// length of the list it starts (0 for the following elements).
inline uint16_t UnicodeTables_Field(const unsigned char *element, int k) {
    return uint16_t(element[2 * k] | element[2 * k + 1] << 8);
}

// Unpacks one block (unpacked size, five property bytes, raw LZMA stream)
// into a new buffer from malloc, whose size it stores in *size. Returns
// null, allocating nothing, when the block is malformed, the stream does
// not decode to exactly the stated size, or memory runs out.
unsigned char *UnicodeTables_Unpack(const unsigned char *block, size_t blockSize, size_t *size);

// Checks that an index table and an element table fit together: every
// position lies inside the element table and the list it starts fits
// there too. The collation reads the tables without bounds checks, so
// tables that fail this are never installed.
bool UnicodeTables_Valid(const unsigned char *index, size_t indexSize, const unsigned char *elements,
                         size_t elementSize);

// Unpacks and checks both embedded tables into kernel.unicode when they are
// not there yet. Any failure leaves both pointers null, and collation then
// compares strings by their bytes.
void UnicodeTables_Load();

// Frees the tables and sets the pointers to null.
void UnicodeTables_Free();
