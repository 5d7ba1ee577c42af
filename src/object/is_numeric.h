// The numeric test: numbers, numeric constants, and expressions of numeric
// functions whose arguments are all numeric.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// Borrows o.
bool Object_IsNumeric(Object *o);

// IsNumeric[x]: True or False. Consumes call.
Object *Builtin_IsNumeric(Object *call);

// The natives of this module, for the registry.
extern const NativeTable IsNumericNatives;
