// Random numbers.
//
// The generator is xoshiro256**: four words of state in the kernel state
// record, seeded once per process by splitmix64 from the thread identifier
// and the monotonic clock. There is no way to set the seed from the
// language; the words only ever move forward.
//
// Random(x) draws from what x describes:
//  - an Integer x: an Integer between 0 and x, both included, uniformly;
//  - a Real: a real between 0 (included) and x (excluded), uniformly, with
//    the precision of x (53 random bits for a machine real, as many bits as
//    x has for an arbitrary-precision one);
//  - a Rational p/q: a multiple of 1/q between 0 and p/q, both included;
//  - a Complex number: its real and imaginary parts drawn apart, a point of
//    the rectangle between 0 and x;
//  - a String: one of its characters, as a string of the same kind;
//  - a compound expression: one of its arguments.
// Empty strings, expressions without arguments, symbols and the saturated
// numbers describe nothing to draw from, and the call stays as it is.
// Every uniform draw rejects the words that would bias it instead of
// folding them in.
#include "number/random.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <vector>

#include "eval/native_args.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/rational.h"
#include "number/real.h"
#include "object/expression.h"
#include "object/string.h"

namespace {

uint64_t SplitMix(uint64_t *x) {
    uint64_t z = (*x += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
}

// splitmix64 is a bijection of its counter, so four consecutive outputs
// are never all zero, the one state xoshiro cannot leave.
void Seed(uint64_t s[4]) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t x = (static_cast<uint64_t>(syscall(SYS_gettid)) << 40) ^ static_cast<uint64_t>(now.tv_sec) * 1000000000 ^
                 static_cast<uint64_t>(now.tv_nsec);
    for (int i = 0; i < 4; ++i) s[i] = SplitMix(&x);
}

// A uniform integer in [0, x] for x < 2^63, from 63-bit words: masked when
// x + 1 is a power of two, otherwise reduced modulo x + 1 after rejecting
// the words at the top that a whole period does not cover.
uint64_t WordBelow(uint64_t x) {
    constexpr uint64_t kTop = (uint64_t(1) << 63) - 1;
    uint64_t r = Random_Word() >> 1;
    if ((x & (x + 1)) == 0) return r & x;
    uint64_t n = x + 1, limit = kTop - 1 - kTop % n;
    while (r > limit) r = Random_Word() >> 1;
    return r % n;
}

// Replaces the magnitude of the finite non-zero x by a uniform one in
// [0, |x|], keeping the sign: limbs are drawn from the top down within the
// bit length of x, and the draw starts over as soon as its leading limbs
// exceed those of x.
void BigBelow(BigInt *x) {
    int64_t n = x->top + 1;
    std::vector<Limb> bound(x->limbs, x->limbs + n);
    int topBits = 64 - std::countl_zero(bound[n - 1]);
    Limb mask = topBits == 64 ? ~Limb(0) : (Limb(1) << topBits) - 1;
    for (bool done = false; !done;) {
        bool below = false;
        done = true;
        for (int64_t i = n - 1; i >= 0; --i) {
            Limb w = Random_Word();
            if (i == n - 1) w &= mask;
            x->limbs[i] = w;
            if (below) continue;
            if (w > bound[i]) {
                done = false;
                break;
            }
            below = w < bound[i];
        }
    }
    BigInt_Normalize(x);
}

// k >= 1 uniform random bits as a non-negative BigInt in dst.
void RandomBits(BigInt *dst, int64_t k) {
    BigInt_SetSmall(dst, 1);
    BigInt_Shift(dst, dst, k - 1);
    if (dst->kind == IntInfinite) return;
    int64_t n = dst->top + 1;
    int topBits = static_cast<int>(k - 64 * (n - 1));
    for (int64_t i = 0; i < n; ++i) dst->limbs[i] = Random_Word();
    if (topBits < 64) dst->limbs[n - 1] &= (Limb(1) << topBits) - 1;
    BigInt_Normalize(dst);
}

// A uniform real in [0, x) with x's precision. Borrows x; a new reference,
// or null for the saturated reals.
Object *RandomReal(Object *x) {
    if (Real_IsMachine(x)) return Real_FromDouble(AsReal(x)->value * (double(Random_Word() >> 11) * 0x1p-53));
    if (!Real_IsBig(x)) return nullptr;
    const BigFloat *b = AsReal(x)->big;
    // As many random bits as x has significant ones, but no more than its
    // mantissa holds: an exact-valued real has infinite precision.
    double bits = BigFloat_Precision(b), stored = 64.0 * double(b->top + 2);
    if (!(bits <= stored)) bits = stored;
    int64_t k = bits >= 1 ? static_cast<int64_t>(std::ceil(bits)) : 1;
    BigInt r{};
    RandomBits(&r, k);
    LocalFloat u, product;
    BigFloat_FromBigInt(u.get(), &r);
    BigInt_Release(&r);
    BigFloat_Scale(u.get(), -k);
    BigFloat_Mul(product.get(), b, u.get());
    return Real_Normalize(Real_FromBigFloat(product.get()));
}

// One draw from what x describes (see the top of the file). Borrows x;
// returns a new reference, or null when there is nothing to draw from.
Object *Draw(Object *x) {
    switch (Object_Type(x)) {
    case TYPE_INTEGER: return Random_Integer(x);
    case TYPE_REAL: return RandomReal(x);
    case TYPE_RATIONAL: {
        Rational *q = AsRational(x);
        return Rational_Make(Random_Integer(q->numerator), Object_AddRef(q->denominator));
    }
    case TYPE_COMPLEX: {
        if (Object_Subtype(x) != SUB_PLAIN) return nullptr;
        Ref re(Draw(AsComplex(x)->re)), im(Draw(AsComplex(x)->im));
        if (!re || !im) return nullptr;
        return Complex_Make(re.release(), im.release());
    }
    case TYPE_STRING: {
        String *s = AsString(x);
        if (s->count == 0) return nullptr;
        int64_t i = 1 + static_cast<int64_t>(WordBelow(uint64_t(s->count - 1)));
        const unsigned char *first = String_CharAddress(x, i), *next = String_CharAddress(x, i + 1);
        return String_New(first, next - first, Object_Subtype(x));
    }
    case TYPE_EXPRESSION: {
        int64_t n = Expression_Length(x);
        if (n == 0) return nullptr;
        return Object_AddRef(Expression_At(x, 1 + static_cast<int64_t>(WordBelow(uint64_t(n - 1)))));
    }
    default: return nullptr;
    }
}

// Random(x), Random(x, count). Consumes the call.
Object *Builtin_Random(Object *call) {
    Object *x = Expression_At(call, 1);
    int64_t count = 0;
    if (Expression_Length(call) == 2) {
        Object *c = Expression_At(call, 2);
        if (!Object_IsInteger(c) || Object_Sign(c) < 1) {
            Message_Emit(u"Random", u"Count", Message_ShortText(c));
            return call;
        }
        int64_t limit = kernel.settings.expressionLengthLimit;
        if (!Native_SmallInteger(c, 1, limit, &count)) {
            Message_Emit(u"Kernel", u"ExpressionLengthLimit", Message_IntegerText(limit));
            return Expression_NewEvaluated(Builtin(SYM_Hold), call);
        }
    }
    Object *first = Draw(x);
    if (!first) return call;
    if (count == 0) return Object_ReleaseReturn(call, first);
    Ref list(Expression_NewSized(Builtin(SYM_List), count));
    // Unfilled slots are null, which the release of a half-built list skips.
    AsExpression(list.get())->elements[1] = first;
    for (int64_t k = 2; k <= count; ++k) AsExpression(list.get())->elements[k] = Draw(x);
    return Object_ReleaseReturn(call, list.release());
}

const NativeRow kNatives[] = {
    {SYM_Random, {u"Random(\?)", u"Random(\?, \?)"}, Builtin_Random},
};

}  // namespace

uint64_t Random_Word() {
    uint64_t *s = kernel.randomState;
    if ((s[0] | s[1] | s[2] | s[3]) == 0) Seed(s);
    uint64_t result = std::rotl(s[1] * 5, 7) * 9;
    uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = std::rotl(s[3], 45);
    return result;
}

Object *Random_Integer(Object *x) {
    if (Object_Subtype(x) == SUB_SMALL && AsInteger(x)->small != INT64_MIN) {
        int64_t v = AsInteger(x)->small;
        if (v >= 0) return Integer_FromSmall(static_cast<int64_t>(WordBelow(uint64_t(v))));
        return Integer_FromSmall(-static_cast<int64_t>(WordBelow(uint64_t(-v))));
    }
    // A big integer, or -2^63, whose magnitude leaves the word. The result
    // is built in a copy of x, so it has x's sign and room for its limbs.
    Object *r = Integer_FromBigInt();
    BigInt *big = AsInteger(r)->big;
    if (Object_Subtype(x) == SUB_SMALL) BigInt_SetSmall(big, AsInteger(x)->small);
    else BigInt_Copy(big, AsInteger(x)->big);
    BigBelow(big);
    return Integer_Normalize(r);
}

extern const NativeTable RandomNatives = Table_Of(kNatives);
