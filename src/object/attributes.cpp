#include "object/attributes.h"

#include "eval/native_args.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "object/expression.h"
#include "object/symbol.h"
#include "syntax/formatter.h"

namespace {

const struct {
    BuiltinSymbol symbol;
    uint64_t bits, mask;
} kAttributeTable[] = {
    {SYM_Flat, ATTR_FLAT, ATTR_FLAT},
    {SYM_HoldAll, ATTR_HOLD_ALL, ATTR_HOLD_ALL},
    {SYM_HoldFirst, ATTR_HOLD_FIRST, ATTR_HOLD_ALL},
    {SYM_HoldRest, ATTR_HOLD_REST, ATTR_HOLD_ALL},
    {SYM_Listable, ATTR_LISTABLE, ATTR_LISTABLE},
    {SYM_Locked, ATTR_LOCKED, ATTR_LOCKED},
    {SYM_NumericConstant, ATTR_NUMERIC_CONSTANT, ATTR_NUMERIC_CONSTANT},
    {SYM_NumericFunction, ATTR_NUMERIC_FUNCTION, ATTR_NUMERIC_FUNCTION},
    {SYM_OneIdentity, ATTR_ONE_IDENTITY, ATTR_ONE_IDENTITY},
    {SYM_Orderless, ATTR_ORDERLESS, ATTR_ORDERLESS},
    {SYM_Protected, ATTR_PROTECTED, ATTR_PROTECTED},
    {SYM_SequenceHold, ATTR_SEQUENCE_HOLD, ATTR_SEQUENCE_HOLD},
    {SYM_Temporary, ATTR_TEMPORARY, ATTR_TEMPORARY},
};

const AttributeEntry *Find(Object *attribute) {
    for (void *r = Pool_First(&kernel.attributeTable); r; r = Pool_Next(&kernel.attributeTable, r)) {
        auto *entry = static_cast<AttributeEntry *>(r);
        if (entry->symbol == attribute) return entry;
    }
    return nullptr;
}

void UnknownAttribute(Object *a) { Message_Emit(u"Attributes", u"Attribute", Format_Standard(a)); }

// One element of the value: a known attribute symbol changes the bits, any
// other element is reported and skipped.
void ApplyOne(SymbolRecord *r, Object *a, bool set) {
    const AttributeEntry *entry = Object_IsSymbol(a) ? Find(a) : nullptr;
    if (!entry) {
        UnknownAttribute(a);
        return;
    }
    if (set) {
        // Flat or Orderless can widen what literal left sides with this
        // symbol match; indexed definition lists look again.
        if (entry->bits & (ATTR_FLAT | ATTR_ORDERLESS) & ~r->attributes) ++kernel.eval.literalEpoch;
        r->attributes |= entry->bits;
    } else {
        r->attributes &= ~entry->bits;
    }
}

bool IsSymbolCall(Object *call, int64_t arguments) {
    return Expression_Length(call) == arguments && Object_IsSymbol(Expression_At(call, 1));
}

Object *Change(Object *call, bool set) {
    if (!IsSymbolCall(call, 2)) return call;
    Symbol *s = AsSymbol(Expression_At(call, 1));
    if (set) Symbol_Record(&s->header, true);
    if (s->record) Attributes_Apply(s, Expression_At(call, 2), set);
    return Object_ReleaseReturn(call, Attributes_List(s));
}

}  // namespace

void Attributes_FillTable() {
    for (const auto &row : kAttributeTable) {
        auto *entry = static_cast<AttributeEntry *>(Pool_Alloc(&kernel.attributeTable));
        entry->symbol = Builtin(row.symbol);
        entry->bits = row.bits;
        entry->mask = row.mask;
    }
}

Object *Attributes_List(Symbol *s) {
    uint64_t attributes = s->record ? s->record->attributes : 0;
    int64_t n = 0;
    for (void *r = Pool_First(&kernel.attributeTable); r; r = Pool_Next(&kernel.attributeTable, r)) {
        auto *entry = static_cast<AttributeEntry *>(r);
        n += (attributes & entry->mask) == entry->bits;
    }
    Object *list = Expression_NewSized(Builtin(SYM_List), n);
    int64_t i = 0;
    for (void *r = Pool_First(&kernel.attributeTable); r; r = Pool_Next(&kernel.attributeTable, r)) {
        auto *entry = static_cast<AttributeEntry *>(r);
        if ((attributes & entry->mask) == entry->bits) AsExpression(list)->elements[++i] = Object_AddRef(entry->symbol);
    }
    return list;
}

void Attributes_Apply(Symbol *s, Object *value, bool set) {
    SymbolRecord *r = s->record;
    if (r->attributes & ATTR_LOCKED) {
        Message_Emit(u"Attributes", u"Locked", Format_Full(&s->header));
        return;
    }
    if (Object_IsSymbol(value)) {
        ApplyOne(r, value, set);
    } else if (Native_IsList(value)) {
        for (int64_t i = 1; i <= Expression_Length(value); ++i) ApplyOne(r, Expression_At(value, i), set);
    } else {
        UnknownAttribute(value);
    }
}

Object *Builtin_Attributes(Object *call) {
    if (!IsSymbolCall(call, 1)) return call;
    return Object_ReleaseReturn(call, Attributes_List(AsSymbol(Expression_At(call, 1))));
}

Object *Builtin_SetAttributes(Object *call) { return Change(call, true); }
Object *Builtin_ClearAttributes(Object *call) { return Change(call, false); }

namespace {

const NativeRow kNatives[] = {
    {SYM_Attributes, {u"Attributes(\?Symbol)"}, Builtin_Attributes},
    {SYM_ClearAttributes, {u"ClearAttributes(\?Symbol, \?Symbol | {\?\?\?Symbol})"}, Builtin_ClearAttributes},
    {SYM_SetAttributes, {u"SetAttributes(\?Symbol, \?Symbol | {\?\?\?Symbol})"}, Builtin_SetAttributes},
};

}  // namespace

extern const NativeTable AttributeNatives = Table_Of(kNatives);
