// The attribute table (attribute symbols with their bits and display masks)
// and the three attribute built-ins.
#pragma once

#include <cstdint>

#include "object/native_table.h"

#include "object/object.h"

struct Symbol;

struct AttributeEntry {
    Object *symbol;  // owned reference to the attribute symbol
    uint64_t bits;
    uint64_t mask;
};

// Fills the attribute table with its thirteen entries, in display order.
void Attributes_FillTable();

// A new List of the attribute symbols of s, in table order: an entry shows
// when (attributes AND mask) = bits. Borrows s.
Object *Attributes_List(Symbol *s);

// Applies value to the attributes of s as SetAttributes (set) or
// ClearAttributes (!set) does, with their messages; the record must exist.
// Borrows both.
void Attributes_Apply(Symbol *s, Object *value, bool set);

// Attributes[s], SetAttributes[s, a], ClearAttributes[s, a]. Consume call.
Object *Builtin_Attributes(Object *call);
Object *Builtin_SetAttributes(Object *call);
Object *Builtin_ClearAttributes(Object *call);

// The natives of this module, for the registry.
extern const NativeTable AttributeNatives;
