// Numeric evaluation: turning an expression into an inexact number at
// machine precision or at a target number of decimal digits, and deciding
// numeric questions (comparisons, rounding) that exact arithmetic leaves
// open.
#pragma once

#include <cstdint>

#include "object/native_table.h"

#include "number/number_state.h"
#include "object/object.h"

enum NumericMode : int64_t {
    NUMERIC_CONTEXT = 0,     // use the saved numeric context
    NUMERIC_MACHINE = 1,     // machine precision
    NUMERIC_PRECISION = 2,   // `digits` decimal digits of precision
    NUMERIC_ACCURACY = 3,    // `digits` decimal digits of accuracy
};

// Consumes x and returns its numeric value in the given mode: numbers are
// converted, constant symbols give their values, expressions have their
// arguments evaluated numerically and are evaluated again; anything that
// has no numeric value comes back (partially evaluated) as it is.
Object *Numeric_Evaluate(Object *x, int64_t mode, double digits);

// The numeric relation of two numeric quantities that are not both numbers,
// for Compare: compares their error-bounded values at machine precision
// (their machine values when they have none in arbitrary precision); when
// the values cannot be told apart, again at ExtraPrecisionLimit + machine
// precision digits; when still undecided emits
// Calculate::ExtraPrecisionLimit ("comparison") and returns 0 (no
// relation). Otherwise returns the numeric result bits of the comparison of
// the two values. Borrows both.
uint64_t Numeric_CompareValues(Object *a, Object *b);

// The value of x on which a numeric question is decided, computed with
// `digits` decimal digits of working precision in arbitrary precision, so
// that the result carries an honest error bound even where terms cancel
// (a machine double would not show the cancellation). Unlike Calculate the
// value is neither cut to a target nor reported when it falls short: the
// caller reads its error bound. Consumes x.
Object *Numeric_DecisionValue(Object *x, double digits);

// Calculate(x), Calculate(x, p). Consumes the call.
Object *Builtin_Calculate(Object *call);

// The natives of this module, for the registry.
extern const NativeTable NumericNatives;
