// Conversions between numbers, text and raw bytes: the built-ins ToString,
// ToInteger and ToReal with their options DigitBase, BinaryFormat and
// Endianness, and the byte codecs beneath them.
#pragma once

#include <cstdint>

#include "object/native_table.h"
#include "object/object.h"

// The byte orders, as the Endianness option names them.
constexpr int BYTES_LITTLE_ENDIAN = -1;
constexpr int BYTES_BIG_ENDIAN = 1;

// The Integer held in the n bytes at p, in the byte order: two's
// complement when isSigned (negative when the most significant byte has
// its top bit set), unsigned otherwise; no bytes hold 0. Returns a new
// reference (Overflow, after its message, beyond the limb limit).
Object *Integer_FromBytes(const unsigned char *p, int64_t n, int order, bool isSigned);

// Binary16 from binary32, rounded to nearest with ties to even (NaN stays
// NaN, its payload cut to the top ten bits); and back, exactly.
uint16_t Half_FromFloat(float x);
float Half_ToFloat(uint16_t h);

// The natives of this module, for the registry.
extern const NativeTable BinaryFormatNatives;
