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

struct BigFloat;

// The full-length form of a double in base 2..36 with `count` digits: the
// digits produced from the value and rounded by the next one, the point
// placed by the exponent, trailing zeros kept, and the mark and exponent (in
// the same base) when the exponent is not 0; "0.0" for zero; NaN and the
// infinities give the words of MachineReal_ToText; the empty text for
// another base.
std::u16string MachineReal_ToBaseText(double x, int64_t count, int base, std::u16string_view mark);

// The display form of an arbitrary-precision real in base 2..36: only the
// digits its accuracy justifies; fixed notation for fewer than 6 integer
// digits and for values below 1 with fewer than 3 zeros after the point,
// otherwise the first digit, the point, the other significant digits, the
// mark and the exponent. A value none of whose significant digits is
// non-zero shows the zeros up to its last significant place when its first
// digit lies within two zeros of the point, otherwise that first digit, the
// point, the mark and its exponent. An exact value shows its integer digits,
// or all the fraction digits that express it when it has a fraction. A zero
// prints "0" when exact and "0." with the mark and the exponent of its
// accuracy otherwise. Special kinds print as "Error", "Overflow",
// "Underflow" (with "-" by sign). b is only read.
std::u16string BigFloat_ToText(const BigFloat *b, int base, std::u16string_view mark);

// Reads a real in base 2..36 with the given exponent mark: the mantissa has
// an accuracy of one unit of its last digit when it has a point and is
// exact otherwise; `precision` (decimal digits; -1 for as many as given)
// then sets its precision; the exponent scales by a power of the base. The
// mark starts the exponent only after a mantissa digit; text before the
// first digit is skipped, and the number ends at the first character that
// cannot continue it.
// Returns a new Real of subtype 3 (or Overflow / Underflow for an exponent
// of 2^56 - 1 or more); another base gives Indeterminate.
Object *Real_FromText(std::u16string_view text, int base, std::u16string_view mark, double precision);

// Real_FromText in base 10 with the mark "e".
Object *Real_FromDecimalText(std::u16string_view text, double precision);
