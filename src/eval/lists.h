// The list and structure built-ins: taking expressions (and strings, as
// sequences of characters) apart and putting them together by position and
// by structure. They work on any head, not only List.
#pragma once

#include "object/native_table.h"
#include "object/object.h"

// Each consumes the call expression and returns a new reference to the
// result; where a call cannot be answered it is returned itself (for Part,
// the unevaluated remainder) after its message.
Object *Builtin_Length(Object *call);
Object *Builtin_Head(Object *call);
Object *Builtin_Depth(Object *call);
Object *Builtin_Part(Object *call);
Object *Builtin_Flatten(Object *call);
Object *Builtin_Partition(Object *call);
Object *Builtin_Join(Object *call);
Object *Builtin_Split(Object *call);
Object *Builtin_Count(Object *call);
Object *Builtin_Contain(Object *call);
Object *Builtin_Select(Object *call);

// The natives of this module, for the registry.
extern const NativeTable ListNatives;
