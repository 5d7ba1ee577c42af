// Integer objects: exact whole numbers, held as a signed 64-bit word
// (subtype 1) whenever the value fits.
#pragma once

#include <cstdint>

#include "object/object.h"

struct BigInt;

struct Integer {
    Object header;
    union {
        int64_t small;   // subtype 1
        BigInt *big;     // subtype 3, owned
    };
};

extern const ObjectClass IntegerSmallClass;

inline bool Object_IsInteger(const Object *o) { return o->cls->type == TYPE_INTEGER; }
inline Integer *AsInteger(Object *o) { return reinterpret_cast<Integer *>(o); }

// Returns a new Integer of subtype 1 holding v.
Object *Integer_FromSmall(int64_t v);
