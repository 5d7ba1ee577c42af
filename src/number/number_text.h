// Conversions between numbers and text: integers in digit bases 2 to 36,
// the display form of machine reals, and the readers of number literals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "object/object.h"

// v in base 2..36 with upper-case digits and a leading "-" for negative
// values; the empty text for any other base.
std::u16string Integer_ToText(int64_t v, int base);

struct BigInt;

// b in base 2..36: "Error" for an indeterminate record, "Overflow" or
// "-Overflow" for an infinite one, else the digits with a leading "-" for
// negative values; the empty text for any other base. Long numbers are split
// at powers of the base, so the time grows well below the square of the
// digit count.
std::u16string BigInt_ToText(const BigInt *b, int base);

// Reads an integer in base 2..36: a "-" before the first digit negates;
// characters that are not digits of the base are skipped before the first
// digit and end the number after it. Another base gives Indeterminate.
// Returns a new reference.
Object *Integer_FromText(std::u16string_view text, int base);

// The display form of a finite non-negative double with `digits`
// significant digits: fixed notation for decimal exponents -3..4, otherwise
// a mantissa, the exponent mark and the decimal exponent; trailing zeros are
// removed but one digit always follows the point.
std::u16string MachineReal_ToText(double x, int64_t digits, std::u16string_view mark);
