#include "eval/native_args.h"

#include "eval/pattern.h"
#include "number/integer.h"

bool Native_SmallInteger(Object *o, int64_t min, int64_t max, int64_t *value) {
    // A big integer lies outside every range of machine words.
    if (!Object_IsInteger(o) || Object_Subtype(o) != SUB_SMALL) return false;
    int64_t v = AsInteger(o)->small;
    if (v < min || v > max) return false;
    *value = v;
    return true;
}

Object *Native_Option(BuiltinSymbol name) {
    const BindingList *list = kernel.eval.currentBindings;
    if (!list) return nullptr;
    for (const Binding &b : list->items)
        if (b.name == BuiltinBorrowed(name)) return b.value ? b.value : b.defaultValue;
    return nullptr;
}
