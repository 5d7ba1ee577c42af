// Symbols: named atoms, unique by name through the symbol table, and the
// symbol record that holds what the language attaches to a name (attributes,
// output formatter, message templates).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kernel/state.h"
#include "object/object.h"

// Attribute bits of a symbol record.
enum : uint64_t {
    ATTR_FLAT = 0x001,
    ATTR_LOCKED = 0x002,
    ATTR_PROTECTED = 0x004,
    ATTR_HOLD_FIRST = 0x008,
    ATTR_HOLD_REST = 0x010,
    ATTR_HOLD_ALL = 0x018,
    ATTR_NUMERIC_CONSTANT = 0x020,
    ATTR_NUMERIC_FUNCTION = 0x040,
    ATTR_SEQUENCE_HOLD = 0x080,
    ATTR_ORDERLESS = 0x100,
    ATTR_ONE_IDENTITY = 0x200,
    ATTR_LISTABLE = 0x400,
    ATTR_TEMPORARY = 0x800,
    ATTR_ALL = 0xFFF,
};

// Appends the text of e to text and returns true, or returns false having
// appended nothing, to let the generic layout run. Borrows e.
using OutputFormatter = bool (*)(Object *e, TextBuffer &text);

using MessageMap = std::unordered_map<std::u16string, std::u16string>;

struct Symbol;
struct DefinitionEntry;
struct DefinitionList;

struct SymbolRecord {
    Symbol *symbol;            // back-pointer, not a counted reference
    uint64_t attributes;
    DefinitionEntry *ownValue; // owned; what the bare symbol evaluates to
    OutputFormatter formatter;
    DefinitionList *definitions;  // owned; rules and natives in match order
    MessageMap *messages;      // owned; null until the first message
};

struct Symbol {
    Object header;
    int64_t stamp;           // definition generation of the last self-evaluation
    SymbolRecord *record;    // owned; null while nothing is attached
    char16_t *name;          // owned, zero-terminated
    int64_t nameLength;
};

extern const ObjectClass SymbolClass VORLAN_INTERNAL;

inline bool Object_IsSymbol(const Object *o) { return o->cls == &SymbolClass; }
inline Symbol *AsSymbol(Object *o) { return reinterpret_cast<Symbol *>(o); }
inline std::u16string_view Symbol_Name(const Symbol *s) { return {s->name, size_t(s->nameLength)}; }

// Returns a new reference to the symbol of this name, creating it (with no
// record) when the table has none.
Object *Symbol_Intern(std::u16string_view name);

// Looks a name up without creating it; returns a borrowed symbol or null.
Symbol *Symbol_Find(std::u16string_view name);

// The record of the symbol at the root of o's heads (f[a][b] leads to f), or
// null when the root is not a symbol or, without create, has no record.
// Borrows o; the record belongs to the symbol.
SymbolRecord *Symbol_Record(Object *o, bool create);

// Drops o's record with everything it holds (attributes, own value,
// definitions, messages), so that o is a bare name again; the symbol's
// stamp is cleared and the definition generation advanced, since what o
// evaluates to has changed. Does nothing for a symbol without a record.
// Borrows o.
void Symbol_DeleteRecord(Object *o);

// Stores text under tag in the message map of o's symbol, replacing an older
// text. Returns 1, or 0 when o is not a symbol. Borrows o.
int Symbol_AddMessage(Object *o, std::u16string_view tag, std::u16string_view text);

// The template stored under tag, or null. Borrows s.
const std::u16string *Symbol_Message(const Symbol *s, std::u16string_view tag);

// Empties the symbol table and the symbol records, dropping every symbol
// whatever its reference count (part of the clearing step).
void SymbolTable_Clear();

// Number of symbols in the table.
int64_t SymbolTable_Size();

// Calls visit(symbol) for every symbol in the table, in no particular
// order; visit must not add symbols to the table or remove any. The
// symbols are borrowed.
template <typename Visit>
void SymbolTable_ForEach(Visit visit) {
    for (const auto &entry : kernel.symbolTable) visit(entry.second);
}

// Pool hooks of the clearing step: free a symbol's name, a record's messages.
void Symbol_DropOwned(void *record);
void SymbolRecord_DropOwned(void *record);
