// Symbols, the symbol table and symbol records.
#include "object/symbol.h"

#include <cstring>
#include <limits>

#include "kernel/state.h"
#include "object/crc32c.h"
#include "eval/definition.h"
#include "eval/evaluate.h"
#include "object/expression.h"
#include "syntax/formatter.h"

namespace {

// Releases everything the record holds, definitions included.
void FreeRecord(SymbolRecord *r) {
    Definitions_Clear(r);
    delete r->messages;
    Pool_Free(&kernel.symbolRecords, r);
}

// Removes s from the table and frees it with its name.
void Drop(Symbol *s) {
    kernel.symbolTable.erase(Symbol_Name(s));
    delete[] s->name;
    Pool_Free(&kernel.symbols, s);
}

// Symbols are unique: a clone is the same symbol.
Object *Clone(Object *o) { return Object_AddRef(o); }

// A symbol at count zero leaves the table unless its record holds it there;
// a Temporary symbol loses its record and leaves as well.
void Release(Object *o) {
    if (--o->refs > 0) return;
    Symbol *s = AsSymbol(o);
    if (s->record) {
        if (!(s->record->attributes & ATTR_TEMPORARY)) return;
        FreeRecord(s->record);
        s->record = nullptr;
    }
    Drop(s);
}

void ToText(Object *o, TextBuffer &text) {
    Symbol *s = AsSymbol(o);
    if (s->record && s->record->formatter && s->record->formatter(o, text)) return;
    text.append(s->name, size_t(s->nameLength));
}

// Symbols are unique, so two distinct symbol objects are never the same.
int Same(Object *, Object *) { return 0; }

double Precision(Object *o, int64_t *machine) {
    if (machine) *machine = 0;
    return o == kernel.builtins[SYM_Indeterminate] ? std::numeric_limits<double>::quiet_NaN()
                                                   : std::numeric_limits<double>::infinity();
}

double Accuracy(Object *o) { return Precision(o, nullptr); }

int64_t PrecisionAccuracy(Object *o, double *precision, double *accuracy) {
    double v = Precision(o, nullptr);
    if (precision) *precision = v;
    if (accuracy) *accuracy = v;
    return 0;
}

uint32_t Hash(Object *o, uint32_t seed) {
    Symbol *s = AsSymbol(o);
    return Crc32c_Update(seed, s->name, size_t(s->nameLength) * sizeof(char16_t));
}

}  // namespace

const ObjectClass SymbolClass = {
    TYPE_SYMBOL, SUB_PLAIN, u"Symbol",
    Clone, Symbol_Evaluate, ToText, Release, Same, nullptr,
    Precision, Accuracy, PrecisionAccuracy, Hash,
};

Object *Symbol_Intern(std::u16string_view name) {
    auto found = kernel.symbolTable.find(name);
    if (found != kernel.symbolTable.end()) return Object_AddRef(&found->second->header);
    auto *s = static_cast<Symbol *>(Pool_Alloc(&kernel.symbols));
    s->header.cls = &SymbolClass;
    s->header.refs = 1;
    s->name = new char16_t[name.size() + 1];
    std::memcpy(s->name, name.data(), name.size() * sizeof(char16_t));
    s->name[name.size()] = 0;
    s->nameLength = int64_t(name.size());
    kernel.symbolTable.emplace(Symbol_Name(s), s);
    return &s->header;
}

Symbol *Symbol_Find(std::u16string_view name) {
    auto found = kernel.symbolTable.find(name);
    return found == kernel.symbolTable.end() ? nullptr : found->second;
}

SymbolRecord *Symbol_Record(Object *o, bool create) {
    while (Object_IsExpression(o)) o = Expression_At(o, 0);
    if (!Object_IsSymbol(o)) return nullptr;
    Symbol *s = AsSymbol(o);
    if (!s->record && create) {
        s->record = static_cast<SymbolRecord *>(Pool_Alloc(&kernel.symbolRecords));
        s->record->symbol = s;
    }
    return s->record;
}

void Symbol_DeleteRecord(Object *o) {
    Symbol *s = AsSymbol(o);
    if (!s->record) return;
    FreeRecord(s->record);
    s->record = nullptr;
    s->stamp = 0;
    ++kernel.generation;
}

int Symbol_AddMessage(Object *o, std::u16string_view tag, std::u16string_view text) {
    if (!Object_IsSymbol(o)) return 0;
    SymbolRecord *r = Symbol_Record(o, true);
    if (!r->messages) r->messages = new MessageMap();
    (*r->messages)[std::u16string(tag)] = std::u16string(text);
    return 1;
}

const std::u16string *Symbol_Message(const Symbol *s, std::u16string_view tag) {
    if (!s->record || !s->record->messages) return nullptr;
    auto found = s->record->messages->find(std::u16string(tag));
    return found == s->record->messages->end() ? nullptr : &found->second;
}

void SymbolTable_Clear() {
    kernel.symbolTable.clear();
    Pool_Clear(&kernel.symbols);
    Pool_Clear(&kernel.symbolRecords);
}

int64_t SymbolTable_Size() { return int64_t(kernel.symbolTable.size()); }

void Symbol_DropOwned(void *record) { delete[] static_cast<Symbol *>(record)->name; }

void SymbolRecord_DropOwned(void *record) {
    auto *r = static_cast<SymbolRecord *>(record);
    Definitions_Drop(r);
    delete r->messages;
}
