// The relational built-ins: structural sameness, canonical order, numeric
// equality and the ordering chains, all answered through Compare.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// The relational built-ins. Each consumes the call and returns True, False,
// an integer (Order), or the call itself (or a reduced copy of it) when the
// relation cannot be decided.
Object *Builtin_Same(Object *call);
Object *Builtin_Unsame(Object *call);
Object *Builtin_Order(Object *call);
Object *Builtin_Equal(Object *call);
Object *Builtin_Unequal(Object *call);
Object *Builtin_Less(Object *call);
Object *Builtin_LessEqual(Object *call);
Object *Builtin_Greater(Object *call);
Object *Builtin_GreaterEqual(Object *call);

extern const NativeTable RelationNatives;
