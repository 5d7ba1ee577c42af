// The dispatch operations: each calls its class slot and supplies the
// default when the slot is empty.
#include "object/object.h"

#include <cmath>
#include <limits>

#include "object/expression.h"

Object *Object_MakeUnique(Object *o) {
    if (o->refs == 1) {
        // The caller is about to change it, so it is no longer evaluated.
        if (Object_Type(o) == TYPE_EXPRESSION) AsExpression(o)->stamp = 0;
        return o;
    }
    --o->refs;
    return o->cls->clone(o);
}

void Object_ToText(Object *o, TextBuffer &text) {
    text.clear();
    o->cls->toText(o, text);
}

int Object_Same(Object *a, Object *b, uint64_t flags) {
    int result = a == b || (Object_Type(a) == Object_Type(b) && a->cls->same(a, b));
    if (flags & OBJ_RELEASE_FIRST) Object_Release(a);
    if (flags & OBJ_RELEASE_SECOND) Object_Release(b);
    return result;
}

int Object_Sign(Object *o) { return o->cls->sign ? o->cls->sign(o) : 0; }

double Object_Precision(Object *o, int64_t *machine) {
    if (o->cls->precision) return o->cls->precision(o, machine);
    if (machine) *machine = 0;
    return std::numeric_limits<double>::infinity();
}

double Object_Accuracy(Object *o) {
    return o->cls->accuracy ? o->cls->accuracy(o) : std::numeric_limits<double>::infinity();
}

int64_t Object_PrecisionAccuracy(Object *o, double *precision, double *accuracy) {
    if (o->cls->precisionAccuracy) return o->cls->precisionAccuracy(o, precision, accuracy);
    if (precision) *precision = std::numeric_limits<double>::infinity();
    if (accuracy) *accuracy = std::numeric_limits<double>::infinity();
    return 0;
}

uint32_t Object_Hash(Object *o, uint32_t seed) { return o->cls->hash(o, seed); }
