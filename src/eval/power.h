// Powers: the pair rule behind Power and Arith_Power (exact integer and
// rational powers and roots, real and complex powers, infinities) and the
// Power built-in.
#pragma once

#include <cstdint>

#include "object/native_table.h"
#include "object/object.h"

// Combines base^exponent; consumes both. Returns the power in canonical
// form, or, when nothing combines, Power(base, exponent) (null with
// ARITH_TRY_ONLY, both operands released).
Object *Arith_PowerPair(Object *base, Object *exponent, uint64_t flags);

// The native of Power; consumes the call.
Object *Builtin_Power(Object *call);

extern const NativeTable PowerNatives;
