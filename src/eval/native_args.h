// Argument helpers shared by the natives: the checks every built-in makes of
// the call it receives. All borrow their operands, except where said.
#pragma once

#include <cstdint>

#include "kernel/state.h"
#include "object/builtins.h"
#include "object/expression.h"

// Whether o is a call of the built-in head: an expression whose head is
// that symbol, with any arguments.
inline bool Native_IsCall(Object *o, BuiltinSymbol head) {
    return Object_IsExpression(o) && Expression_At(o, 0) == BuiltinBorrowed(head);
}

// Whether o is a list.
inline bool Native_IsList(Object *o) { return Native_IsCall(o, SYM_List); }

// Whether o is an integer between min and max inclusive; its value goes to
// *value when it is.
bool Native_SmallInteger(Object *o, int64_t min, int64_t max, int64_t *value);

// The value of the option name in the call being applied: what the call
// gave in an Options pattern, or the pattern's default. Null when the native
// was not registered with that option. Borrowed.
Object *Native_Option(BuiltinSymbol name);

// Consumes call and returns its argument i as a new reference. An unshared
// call gives the argument up rather than sharing it, so that evaluating it
// does not have to copy it first.
inline Object *Native_TakeArgument(Object *call, int64_t i) {
    Object **slot = &AsExpression(call)->elements[i];
    Object *a = *slot;
    if (call->refs == 1) *slot = nullptr;
    else Object_AddRef(a);
    Object_Release(call);
    return a;
}
