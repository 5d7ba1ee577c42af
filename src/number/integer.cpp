// Integer objects and their class records.
#include "number/integer.h"

#include "kernel/state.h"
#include "object/crc32c.h"
#include "syntax/formatter.h"

namespace {

Object *NewInteger(const ObjectClass *cls) {
    auto *i = static_cast<Integer *>(Pool_Alloc(&kernel.numbers.integers));
    i->header.cls = cls;
    i->header.refs = 1;
    return &i->header;
}

Object *SmallClone(Object *o) { return Integer_FromSmall(AsInteger(o)->small); }

void SmallRelease(Object *o) {
    if (--o->refs > 0) return;
    Pool_Free(&kernel.numbers.integers, o);
}

// A negative value prints as its magnitude when the enclosing context prints
// the sign itself, and in parentheses where a negative number would bind
// weaker than its surroundings.
void SmallToText(Object *o, TextBuffer &text) {
    int64_t v = AsInteger(o)->small;
    if (v >= 0) {
        Format_AppendDecimal(v, text);
        return;
    }
    if (Context_Flags(CONTEXT_FLAGS_QUERY, 0) & CTX_MAGNITUDE) {
        size_t at = text.size();
        Format_AppendDecimal(v, text);
        text.erase(at, 1);
        return;
    }
    bool parens = Context_WouldNeedParens(10);
    if (parens) text += u'(';
    Format_AppendDecimal(v, text);
    if (parens) text += u')';
}

int SmallSame(Object *a, Object *b) {
    if (Object_Subtype(b) != SUB_SMALL) return 0;
    return AsInteger(a)->small == AsInteger(b)->small;
}

int SmallSign(Object *o) {
    int64_t v = AsInteger(o)->small;
    return (v > 0) - (v < 0);
}

uint32_t SmallHash(Object *o, uint32_t seed) {
    int64_t v = AsInteger(o)->small;
    return Crc32c_Update(seed, &v, sizeof v);
}

}  // namespace

const ObjectClass IntegerSmallClass = {
    TYPE_INTEGER, SUB_SMALL, u"Integer",
    SmallClone, nullptr, SmallToText, SmallRelease, SmallSame, SmallSign,
    nullptr, nullptr, nullptr, SmallHash,
};

Object *Integer_FromSmall(int64_t v) {
    Object *o = NewInteger(&IntegerSmallClass);
    AsInteger(o)->small = v;
    return o;
}
