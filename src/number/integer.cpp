// Integer objects and their class records.
#include "number/integer.h"

#include "kernel/message.h"
#include "kernel/state.h"
#include "number/bigint.h"
#include "number/number_text.h"
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

// A subtype-3 operand that was not normalised yet may still hold a value
// that fits a word; its own comparison handles the mixed pair.
int SmallSame(Object *a, Object *b) {
    if (Object_Subtype(b) != SUB_SMALL) return b->cls->same(b, a);
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
    // Every field is set here, so the record needs no zero fill first.
    auto *i = static_cast<Integer *>(Pool_AllocRaw(&kernel.numbers.integers));
    i->header.cls = &IntegerSmallClass;
    i->header.refs = 1;
    i->small = v;
    return &i->header;
}

// ---- Integers of any size (subtype 3) ------------------------------------------

namespace {

BigInt *Big(Object *o) { return AsInteger(o)->big; }

// |v| as an unsigned word, so that -2^63 gives 2^63.
uint64_t Magnitude(int64_t v) { return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v); }

// A read-only BigInt view of a machine word, so that a subtype-1 operand
// can meet a BigInt without allocating. It is only ever an operand, never a
// destination, so its array is never resized.
struct WordView {
    Limb limb;
    BigInt rec;
    explicit WordView(int64_t v) {
        limb = Magnitude(v);
        rec.sign = (v > 0) - (v < 0);
        rec.kind = limb == 0 ? IntZero : limb == 1 ? IntUnit : IntRegular;
        rec.top = 0;
        rec.size = LIMB_BYTES;
        rec.limbs = &limb;
    }
    WordView(const WordView &) = delete;
    WordView &operator=(const WordView &) = delete;
    const BigInt *get() const { return &rec; }
};


Object *BigClone(Object *o) {
    Object *c = NewInteger(&IntegerBigClass);
    AsInteger(c)->big = BigInt_New();
    BigInt_Copy(Big(c), Big(o));
    return c;
}

void BigRelease(Object *o) {
    if (--o->refs > 0) return;
    BigInt_Free(Big(o));
    Pool_Free(&kernel.numbers.integers, o);
}

// As SmallToText: the magnitude alone when the context prints the sign, and
// parentheses around a negative number where it would bind too weakly.
void BigToText(Object *o, TextBuffer &text) {
    const BigInt *b = Big(o);
    std::u16string digits = BigInt_ToText(b, 10);
    if (b->sign >= 0 || b->kind < 0) {
        text += digits;
        return;
    }
    if (Context_Flags(CONTEXT_FLAGS_QUERY, 0) & CTX_MAGNITUDE) {
        text.append(digits, 1);
        return;
    }
    bool parens = Context_WouldNeedParens(10);
    if (parens) text += u'(';
    text += digits;
    if (parens) text += u')';
}

int BigSame(Object *a, Object *b) {
    if (Object_Subtype(b) == SUB_SMALL)
        return BigInt_FitsSmall(Big(a)) && BigInt_ToSmall(Big(a)) == AsInteger(b)->small;
    return BigInt_Compare(Big(a), Big(b), true) == 0;
}

int BigSign(Object *o) { return static_cast<int>(Big(o)->sign); }

// The limbs' CRC, complemented for negative values so that x and -x differ.
uint32_t BigHash(Object *o, uint32_t seed) {
    const BigInt *b = Big(o);
    uint32_t h = Crc32c_Update(seed, b->limbs, static_cast<size_t>(b->size));
    return b->sign < 0 ? ~h : h;
}

// The larger of two owned operands' subtypes decides which one carries a
// mixed result: the subtype-3 one, made unique.
Object *BigCarrier(Object *&x, Object *&y) {
    if (Object_Subtype(x) != SUB_BIG) std::swap(x, y);
    return x = Object_MakeUnique(x);
}

}  // namespace

const ObjectClass IntegerBigClass = {
    TYPE_INTEGER, SUB_BIG, u"Integer",
    BigClone, nullptr, BigToText, BigRelease, BigSame, BigSign,
    nullptr, nullptr, nullptr, BigHash,
};

Object *Integer_FromBigInt(const BigInt *b) {
    Object *o = NewInteger(&IntegerBigClass);
    AsInteger(o)->big = BigInt_New();
    if (!b) return o;
    BigInt_Copy(Big(o), b);
    return Integer_Normalize(o);
}

void Integer_SetSubtype(Object *o, uint64_t subtype) {
    if (Object_Subtype(o) == subtype) return;
    Integer *i = AsInteger(o);
    if (subtype == SUB_SMALL) {
        BigInt *b = i->big;
        i->small = BigInt_ToSmall(b);
        BigInt_Free(b);
        i->header.cls = &IntegerSmallClass;
    } else {
        BigInt *b = BigInt_New();
        BigInt_SetSmall(b, i->small);
        i->big = b;
        i->header.cls = &IntegerBigClass;
    }
}

Object *Integer_Normalize(Object *o) {
    if (Object_Subtype(o) == SUB_SMALL) return o;
    const BigInt *b = Big(o);
    if (BigInt_FitsSmall(b)) {
        Integer_SetSubtype(o, SUB_SMALL);
        return o;
    }
    if (b->kind == IntInfinite) {
        Object *overflow = b->sign < 0 ? kernel.constants.negativeOverflow : kernel.constants.overflow;
        Object_Release(o);
        Message_Emit(u"Integer", u"Overflow", u"", u"");
        return Object_AddRef(overflow);
    }
    if (b->kind == IntIndeterminate) {
        Object_Release(o);
        return Builtin(SYM_Indeterminate);
    }
    return o;
}

Object *Integer_Add(Object *x, Object *y) {
    if (Object_Subtype(x) == SUB_SMALL && Object_Subtype(y) == SUB_SMALL) {
        int64_t a = AsInteger(x)->small, b = AsInteger(y)->small;
        auto s = static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
        Object_Release(y);
        x = Object_MakeUnique(x);
        // Adding a negative number must make the sum smaller, and adding a
        // non-negative one must not; otherwise the sum wrapped.
        if ((s < a) == (b < 0)) {
            AsInteger(x)->small = s;
            return x;
        }
        Integer_SetSubtype(x, SUB_BIG);
        WordView wb(b);
        BigInt_Add(Big(x), Big(x), wb.get());
        return Integer_Normalize(x);
    }
    Object *r = BigCarrier(x, y);
    if (Object_Subtype(y) == SUB_SMALL) {
        WordView wy(AsInteger(y)->small);
        BigInt_Add(Big(r), Big(r), wy.get());
    } else {
        BigInt_Add(Big(r), Big(r), Big(y));
    }
    Object_Release(y);
    return Integer_Normalize(r);
}

Object *Integer_Multiply(Object *x, Object *y) {
    if (Object_Subtype(x) == SUB_SMALL && Object_Subtype(y) == SUB_SMALL) {
        int64_t a = AsInteger(x)->small, b = AsInteger(y)->small;
        __int128 p = static_cast<__int128>(a) * b;
        auto lo = static_cast<int64_t>(p);
        Object_Release(y);
        x = Object_MakeUnique(x);
        // The product fits when its high half is the sign extension of the
        // low half.
        if (static_cast<int64_t>(p >> 64) == (lo < 0 ? -1 : 0)) {
            AsInteger(x)->small = lo;
            return x;
        }
        WordView wa(a), wb(b);
        Integer_SetSubtype(x, SUB_BIG);
        BigInt_Mul(Big(x), wa.get(), wb.get());
        return Integer_Normalize(x);
    }
    Object *r = BigCarrier(x, y);
    if (Object_Subtype(y) == SUB_SMALL) {
        WordView wy(AsInteger(y)->small);
        BigInt_Mul(Big(r), Big(r), wy.get());
    } else {
        BigInt_Mul(Big(r), Big(r), Big(y));
    }
    Object_Release(y);
    return Integer_Normalize(r);
}

Object *Integer_Negate(Object *x) {
    x = Object_MakeUnique(x);
    if (Object_Subtype(x) == SUB_SMALL) {
        int64_t v = AsInteger(x)->small;
        if (v != INT64_MIN) {
            AsInteger(x)->small = -v;
            return x;
        }
        // 2^63 does not fit a word.
        Integer_SetSubtype(x, SUB_BIG);
    }
    BigInt_Negate(Big(x));
    return Integer_Normalize(x);
}

Object *Integer_Gcd(Object *x, Object *y) {
    if (Object_Subtype(x) == SUB_SMALL && Object_Subtype(y) == SUB_SMALL) {
        int64_t a = AsInteger(x)->small, b = AsInteger(y)->small;
        // d starts from the larger operand and g from the smaller, both
        // made non-negative; the first step swaps them when needed.
        uint64_t d = Magnitude(a > b ? a : b), g = Magnitude(a > b ? b : a);
        while (g != 0) {
            uint64_t r = d % g;
            d = g;
            g = r;
        }
        Object_Release(y);
        x = Object_MakeUnique(x);
        if (d <= static_cast<uint64_t>(INT64_MAX)) {
            AsInteger(x)->small = static_cast<int64_t>(d);
            return x;
        }
        // Only gcd(-2^63, 0) and gcd(-2^63, -2^63) reach 2^63.
        AsInteger(x)->small = INT64_MIN;
        Integer_SetSubtype(x, SUB_BIG);
        BigInt_Abs(Big(x));
        return x;
    }
    Object *r = BigCarrier(x, y);
    if (Object_Subtype(y) == SUB_SMALL) {
        WordView wy(AsInteger(y)->small);
        BigInt_Gcd(Big(r), Big(r), wy.get());
    } else {
        BigInt_Gcd(Big(r), Big(r), Big(y));
    }
    Object_Release(y);
    return Integer_Normalize(r);
}

Object *Integer_Power(Object *base, Object *exponent) {
    Ref b(base), e(exponent);
    if (Object_Subtype(exponent) == SUB_BIG) {
        // Only 0, 1 and -1 have powers this high that fit the limb limit.
        const BigInt *n = Big(exponent);
        bool odd = n->limbs[0] & 1;
        if (Object_Subtype(base) == SUB_SMALL && Magnitude(AsInteger(base)->small) <= 1)
            return AsInteger(base)->small == -1 && !odd ? Integer_FromSmall(1) : b.release();
        Object *r = Integer_FromBigInt();
        BigInt_SetInfinite(Big(r), Object_Sign(base) < 0 && odd ? -1 : 1);
        return Integer_Normalize(r);
    }
    auto n = static_cast<uint64_t>(AsInteger(exponent)->small);
    if (n == 0) return Integer_FromSmall(1);
    if (n == 1) return b.release();
    if (Object_Subtype(base) == SUB_SMALL) {
        int64_t v = AsInteger(base)->small;
        uint64_t m = Magnitude(v);
        if (m <= 1) return v == -1 && n % 2 == 0 ? Integer_FromSmall(1) : b.release();
        // |v| < 2^bits, so |v|^n < 2^(n*bits) fits when n*bits <= 63, and so
        // does every square taken on the way.
        auto bits = static_cast<uint64_t>(64 - __builtin_clzll(m));
        if (n * bits <= 63) {
            int64_t r = 1, square = v;
            for (uint64_t k = n;; k >>= 1) {
                if (k & 1) r *= square;
                if (k == 1) break;
                square *= square;
            }
            return Integer_FromSmall(r);
        }
        WordView view(v);
        Object *r = Integer_FromBigInt();
        BigInt_Power(Big(r), view.get(), n);
        return Integer_Normalize(r);
    }
    Object *r = Integer_FromBigInt();
    BigInt_Power(Big(r), Big(base), n);
    return Integer_Normalize(r);
}

Object *Integer_Root(Object *x, uint64_t k, Object **remainder) {
    Ref owned(x);
    Object *root = Integer_FromBigInt();
    Object *rem = remainder ? Integer_FromBigInt() : nullptr;
    if (Object_Subtype(x) == SUB_SMALL) {
        WordView view(AsInteger(x)->small);
        BigInt_Root(Big(root), rem ? Big(rem) : nullptr, view.get(), k);
    } else {
        BigInt_Root(Big(root), rem ? Big(rem) : nullptr, Big(x), k);
    }
    if (remainder) *remainder = Integer_Normalize(rem);
    return Integer_Normalize(root);
}

Object *Integer_DivMod(Object *x, Object *y, Object **remainder) {
    Ref a(x), b(y);
    Object *q = Integer_FromBigInt();
    Object *r = remainder ? Integer_FromBigInt() : nullptr;
    WordView va(Object_Subtype(x) == SUB_SMALL ? AsInteger(x)->small : 0);
    WordView vb(Object_Subtype(y) == SUB_SMALL ? AsInteger(y)->small : 0);
    BigInt_DivMod(Big(q), Object_Subtype(x) == SUB_SMALL ? va.get() : Big(x),
                  Object_Subtype(y) == SUB_SMALL ? vb.get() : Big(y), r ? Big(r) : nullptr);
    if (remainder) *remainder = Integer_Normalize(r);
    return Integer_Normalize(q);
}
