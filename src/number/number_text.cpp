#include "number/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kernel/state.h"
#include "number/bigint.h"
#include "number/integer.h"

namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Removes the zeros at the end of a number text with a point, except one
// directly after the point, so that 2.000 becomes 2.0 and 1.2300 becomes 1.23.
void TrimZeros(std::u16string &text) {
    if (text.find(u'.') == std::u16string::npos) return;
    size_t end = text.size();
    while (end > 1 && text[end - 1] == u'0' && text[end - 2] != u'.') --end;
    text.resize(end);
}

std::u16string Fixed(double x, int decimals) {
    char buffer[400];
    int n = std::snprintf(buffer, sizeof buffer, "%.*f", decimals < 0 ? 0 : decimals, x);
    return std::u16string(buffer, buffer + (n < 0 ? 0 : n));
}

}  // namespace

std::u16string Integer_ToText(int64_t v, int base) {
    if (base < 2 || base > 36) return u"";
    uint64_t m = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
    char16_t digits[64];
    int n = 0;
    do {
        digits[n++] = kDigits[m % unsigned(base)];
        m /= unsigned(base);
    } while (m);
    std::u16string text;
    if (v < 0) text += u'-';
    while (n) text += digits[--n];
    return text;
}

namespace {

// Below this many limbs a number is turned into digits by repeated division
// by the largest power of the base that fits a limb.
constexpr int64_t kSplitLimbs = 40;

struct Radix {
    int base;
    Limb chunk;          // base^chunkDigits, the largest power below 2^64
    int chunkDigits;
    std::vector<BigInt *> powers;  // chunk^(2^i), built on demand
    std::vector<int64_t> powerDigits;

    explicit Radix(int b) : base(b), chunk(unsigned(b)), chunkDigits(1) {
        while (chunk <= ~Limb(0) / unsigned(b)) {
            chunk *= unsigned(b);
            ++chunkDigits;
        }
    }
    ~Radix() {
        for (BigInt *p : powers) BigInt_Free(p);
    }
    // The power to split x at: the largest chunk^(2^i) with at most half of
    // x's limbs.
    size_t SplitFor(const BigInt *x) {
        if (powers.empty()) {
            BigInt *p = BigInt_New();
            BigInt_SetSmall(p, 1);
            p->limbs[0] = chunk;
            BigInt_Normalize(p);
            powers.push_back(p);
            powerDigits.push_back(chunkDigits);
        }
        while (2 * (powers.back()->top + 1) <= x->top + 1) {
            BigInt *p = BigInt_New();
            BigInt_Mul(p, powers.back(), powers.back());
            powers.push_back(p);
            powerDigits.push_back(2 * powerDigits.back());
        }
        size_t i = powers.size() - 1;
        while (i > 0 && 2 * (powers[i]->top + 1) > x->top + 1) --i;
        return i;
    }
};

// Appends the digits of the non-negative x, left-padded with zeros to at
// least `width` digits (0: no padding). x is consumed as scratch.
void AppendDigits(Radix &r, BigInt *x, int64_t width, std::u16string &out) {
    if (x->top + 1 <= kSplitLimbs) {
        std::vector<Limb> limbs(x->limbs, x->limbs + x->top + 1);
        std::u16string digits;
        int64_t n = int64_t(limbs.size());
        while (n > 0) {
            Limb rem = Limbs_DivLimb(limbs.data(), limbs.data(), n * 8, r.chunk);
            while (n > 0 && limbs[size_t(n - 1)] == 0) --n;
            for (int k = 0; k < r.chunkDigits && (n > 0 || rem); ++k) {
                digits += kDigits[rem % unsigned(r.base)];
                rem /= unsigned(r.base);
            }
        }
        while (int64_t(digits.size()) < width) digits += u'0';
        out.append(digits.rbegin(), digits.rend());
        return;
    }
    size_t level = r.SplitFor(x);
    BigInt *q = BigInt_New(), *rem = BigInt_New();
    BigInt_DivMod(q, x, r.powers[level], rem);
    int64_t low = r.powerDigits[level];
    if (q->kind == IntZero) {
        while (width > low) {
            out += u'0';
            --width;
        }
    } else {
        AppendDigits(r, q, width > low ? width - low : 0, out);
    }
    BigInt_Free(q);
    AppendDigits(r, rem, low, out);
    BigInt_Free(rem);
}

}  // namespace

std::u16string BigInt_ToText(const BigInt *b, int base) {
    switch (b->kind) {
    case IntIndeterminate: return u"Error";
    case IntInfinite: return b->sign < 0 ? u"-Overflow" : u"Overflow";
    case IntZero: return u"0";
    case IntUnit: return b->sign < 0 ? u"-1" : u"1";
    default: break;
    }
    if (base < 2 || base > 36) return u"";
    Radix radix(base);
    BigInt *x = BigInt_New();
    BigInt_Abs(x, b);
    std::u16string text = b->sign < 0 ? u"-" : u"";
    AppendDigits(radix, x, 0, text);
    BigInt_Free(x);
    return text;
}

// Digits are gathered in one machine word while the running power of the
// base stays below 2^63 / base, then folded into the limb array with one
// multiply-and-add pass.
Object *Integer_FromText(std::u16string_view text, int base) {
    if (base < 2 || base > 36) return Builtin(SYM_Indeterminate);
    bool negative = false, seen = false;
    std::vector<Limb> limbs{0};
    uint64_t word = 0, power = 1;
    auto fold = [&] {
        Limb carry = Limbs_MulLimb(limbs.data(), limbs.data(), int64_t(limbs.size() * 8), power);
        carry += Limbs_AddLimb(limbs.data(), limbs.data(), int64_t(limbs.size() * 8), word);
        if (carry) limbs.push_back(carry);
        word = 0;
        power = 1;
    };
    const uint64_t limit = (uint64_t(1) << 63) / unsigned(base);
    for (char16_t c : text) {
        int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'z' ? c - u'a' + 10 : c >= u'A' && c <= u'Z' ? c - u'A' + 10 : 99;
        if (d >= base) {
            if (seen) break;
            if (c == u'-') negative = true;
            continue;
        }
        seen = true;
        word = word * unsigned(base) + unsigned(d);
        power *= unsigned(base);
        if (power >= limit) fold();
    }
    fold();
    BigInt *b = BigInt_New();
    std::free(b->limbs);
    b->limbs = static_cast<Limb *>(std::malloc(limbs.size() * sizeof(Limb)));
    if (!b->limbs) {
        BigInt_SetInfinite(b, negative ? -1 : 1);
        Object *overflow = Integer_FromBigInt(b);
        BigInt_Free(b);
        return overflow;
    }
    std::copy(limbs.begin(), limbs.end(), b->limbs);
    b->top = int64_t(limbs.size()) - 1;
    b->size = int64_t(limbs.size() * sizeof(Limb));
    b->sign = negative ? -1 : 1;
    BigInt_Normalize(b);
    Object *n = Integer_FromBigInt(b);
    BigInt_Free(b);
    return n;
}

std::u16string MachineReal_ToText(double x, int64_t digits, std::u16string_view mark) {
    if (std::isnan(x)) return u"NaN";
    if (std::isinf(x)) return x > 0 ? u"+Infinity" : u"-Infinity";
    if (x == 0.0) return u"0.0";
    int e = int(std::floor(std::log10(std::fabs(x))));
    if (e >= -3 && e <= 4) {
        std::u16string text = Fixed(x, int(digits - e - 1));
        TrimZeros(text);
        return text;
    }
    // Subnormal inputs are scaled in two steps so that 10^-e stays finite.
    double m = e < -300 ? x * 1e100 * std::pow(10.0, -e - 100) : x * std::pow(10.0, -e);
    std::u16string text = Fixed(m, int(digits - 1));
    TrimZeros(text);
    text += mark;
    text += Integer_ToText(e, 10);
    return text;
}
