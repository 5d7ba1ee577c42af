#include "number/number_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kernel/abort.h"
#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/newton_division.h"
#include "number/real.h"

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

// Sets dst to sign * the magnitude in limbs[0..n) (n >= 1). When the array
// cannot be allocated dst becomes infinite with that sign, as any record
// that outgrows memory does.
void SetLimbs(BigInt *dst, const Limb *limbs, int64_t n, int64_t sign) {
    Limb *array = static_cast<Limb *>(std::malloc(size_t(n) * sizeof(Limb)));
    if (!array) {
        BigInt_SetInfinite(dst, sign);
        return;
    }
    std::free(dst->limbs);
    dst->limbs = array;
    std::copy(limbs, limbs + n, array);
    dst->top = n - 1;
    dst->size = n * LIMB_BYTES;
    dst->sign = sign;
    BigInt_Normalize(dst);
}

void SetLimbs(BigInt *dst, const std::vector<Limb> &limbs, int64_t sign) {
    SetLimbs(dst, limbs.data(), int64_t(limbs.size()), sign);
}

// Below this many limbs a number is turned into digits by repeated division
// by the largest power of the base that fits a limb.
constexpr int64_t kSplitLimbs = 40;
// Numbers of at least this many limbs poll the host's abort before their
// split.
constexpr int64_t kAbortLimbs = 2048;

struct Radix {
    // A power divided by through its reciprocal: d = the power shifted left
    // by `shift` bits so that its top bit is set, and x its reciprocal.
    struct Divisor {
        int divisions = 0;  // made at the level so far
        int shift = 0;
        std::vector<Limb> d, x;
    };

    int base;
    Limb chunk;          // base^chunkDigits, the largest power below 2^64
    int chunkDigits;
    std::vector<BigInt *> powers;  // chunk^(2^i), built on demand
    std::vector<int64_t> powerDigits;
    std::vector<Divisor> divisors;  // per level
    std::vector<Limb> work;         // the dividend, quotient and scratch of a division

    // Powers of at least this many limbs are divided by with Barrett's
    // method, below it by long division.
    static constexpr int64_t kBarrettLimbs = 40;

    // The bit length of x; far more than any bound for a record that is
    // not a finite number, so that it takes the long division.
    static int64_t Bits(const BigInt *x) {
        if (x->kind < 0) return INT64_MAX / 4;
        return BigInt_BitLength(x);
    }

    explicit Radix(int b) : base(b), chunk(unsigned(b)), chunkDigits(1) {
        while (chunk <= ~Limb(0) / unsigned(b)) {
            chunk *= unsigned(b);
            ++chunkDigits;
        }
    }
    ~Radix() {
        for (BigInt *p : powers) BigInt_Free(p);
    }
    // Makes sure chunk^(2^level) is in powers.
    void Build(size_t level) {
        if (powers.empty()) {
            BigInt *p = BigInt_New();
            BigInt_SetSmall(p, 1);
            p->limbs[0] = chunk;
            BigInt_Normalize(p);
            powers.push_back(p);
            powerDigits.push_back(chunkDigits);
        }
        while (powers.size() <= level) {
            BigInt *p = BigInt_New();
            BigInt_Mul(p, powers.back(), powers.back());
            powers.push_back(p);
            powerDigits.push_back(2 * powerDigits.back());
        }
    }
    // The power to split x at: the smallest chunk^(2^i) whose square
    // exceeds x, so that the quotient and the remainder are both below the
    // power and every number of a level is below the square of its power;
    // but never a power that may exceed x itself (a split that leaves x
    // whole would not end), so one level lower when that one is too long.
    size_t SplitFor(const BigInt *x) {
        int64_t bits = Bits(x), half = (bits + 1) / 2;
        Build(0);
        while (Bits(powers.back()) - 1 < half) Build(powers.size());
        size_t i = powers.size() - 1;
        while (i > 0 && Bits(powers[i - 1]) - 1 >= half) --i;
        if (i > 0 && Bits(powers[i]) > bits - 1) --i;
        return i;
    }

    // The normalised power of the level and its reciprocal, computed when
    // the level first needs them.
    const Divisor &DivisorFor(size_t level) {
        Divisor &v = divisors[level];
        if (v.d.empty()) {
            const BigInt *p = powers[level];
            auto k = p->top + 1;
            v.shift = __builtin_clzll(p->limbs[p->top]);
            v.d.assign(p->limbs, p->limbs + k);
            if (v.shift) Limbs_ShiftLeft(v.d.data(), v.d.data(), k * LIMB_BYTES, v.shift);
            v.x.resize(size_t(k + 1));
            std::vector<Limb> scratch(size_t(Newton_ReciprocalScratchLimbs(k)));
            Newton_Reciprocal(v.x.data(), v.d.data(), k, scratch.data());
        }
        return v;
    }

    // q = x / chunk^(2^level) and rem = x mod it; x is borrowed and may be
    // neither q nor rem.
    //
    // Every number of one level is divided by the same power P of k limbs,
    // so from its second division on a level divides through P's
    // reciprocal, computed once: a number below P^2 (shifted with P to
    // normalise it, so below B^(2k)) takes one block of Barrett's division,
    // two products where a long division takes several. The first division
    // of a level (at the top, a level has one number), small powers, and a
    // record that is not below P^2 (one left infinite by a failed
    // allocation) take the long division.
    void Divide(size_t level, const BigInt *x, BigInt *q, BigInt *rem) {
        const BigInt *p = powers[level];
        int64_t k = p->top + 1;
        if (divisors.size() <= level) divisors.resize(level + 1);
        if (k < kBarrettLimbs || x->kind < 0 || x->top + 1 > 2 * k || ++divisors[level].divisions < 2) {
            BigInt_DivMod(q, x, p, rem);
            return;
        }
        const Divisor &v = DivisorFor(level);
        int64_t need = 3 * k + Newton_BlockScratchLimbs(k, k);
        if (int64_t(work.size()) < need) work.resize(size_t(need));
        Limb *w = work.data(), *qv = w + 2 * k, *scratch = qv + k;
        std::copy(x->limbs, x->limbs + x->top + 1, w);
        std::fill(w + x->top + 1, w + 2 * k, 0);
        Limb out = v.shift ? Limbs_ShiftLeft(w, w, 2 * k * LIMB_BYTES, v.shift) : 0;
        if (out != 0 || Limbs_Compare(w + k, k * LIMB_BYTES, v.d.data(), k * LIMB_BYTES) >= 0) {
            BigInt_DivMod(q, x, p, rem);
            return;
        }
        Newton_DivideBlock(qv, w, v.d.data(), k, k, v.x.data(), k, scratch);
        if (v.shift) Limbs_ShiftRight(w, w, k * LIMB_BYTES, v.shift);
        SetLimbs(q, qv, k, 1);
        SetLimbs(rem, w, k, 1);
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
    // A split of this size takes long enough to poll the host's abort
    // before; the locals free their limbs when the poll throws.
    if (x->top >= kAbortLimbs) Abort_Check();
    size_t level = r.SplitFor(x);
    LocalInt q, rem;
    r.Divide(level, x, q.get(), rem.get());
    int64_t low = r.powerDigits[level];
    if (q.get()->kind == IntZero) {
        while (width > low) {
            out += u'0';
            --width;
        }
    } else {
        AppendDigits(r, q.get(), width > low ? width - low : 0, out);
    }
    BigInt_Release(q.get());  // not held while the lower half recurses
    AppendDigits(r, rem.get(), low, out);
}

// The digits of |b| in base 2^t (t in 1..5): each digit is t bits of the
// magnitude, read straight from the limbs, so the time is linear.
std::u16string PowerOfTwoText(const BigInt *b, int t) {
    int64_t bits = Limbs_HighestBit(b->limbs, b->size) + 1;
    int64_t count = (bits + t - 1) / t;
    std::u16string text = b->sign < 0 ? u"-" : u"";
    size_t at = text.size();
    text.resize(at + size_t(count));
    const Limb mask = (Limb(1) << t) - 1;
    for (int64_t d = 0; d < count; ++d) {
        int64_t bit = d * t, limb = bit / LIMB_BITS;
        int shift = int(bit % LIMB_BITS);
        Limb v = b->limbs[limb] >> shift;
        if (shift + t > LIMB_BITS && limb < b->top) v |= b->limbs[limb + 1] << (LIMB_BITS - shift);
        text[at + size_t(count - 1 - d)] = kDigits[v & mask];
    }
    return text;
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
    if (std::has_single_bit(unsigned(base))) return PowerOfTwoText(b, std::countr_zero(unsigned(base)));
    Radix radix(base);
    BigInt *x = BigInt_New();
    BigInt_Abs(x, b);
    std::u16string text = b->sign < 0 ? u"-" : u"";
    AppendDigits(radix, x, 0, text);
    BigInt_Free(x);
    return text;
}

namespace {

// The values of the ASCII characters as digits: 0-9, a-z and A-Z, and 99
// for any other.
constexpr auto kDigitValues = [] {
    std::array<uint8_t, 128> v{};
    for (int c = 0; c < 128; ++c)
        v[size_t(c)] = c >= '0' && c <= '9'   ? uint8_t(c - '0')
                       : c >= 'a' && c <= 'z' ? uint8_t(c - 'a' + 10)
                       : c >= 'A' && c <= 'Z' ? uint8_t(c - 'A' + 10)
                                              : uint8_t(99);
    return v;
}();

// The value of a digit character (0-9, a-z, A-Z), or 99 for any other.
int DigitValue(char16_t c) { return c < 128 ? kDigitValues[c] : 99; }

// dst = the words w[0..n) (n >= 1) read as the digits of a number in base
// r.chunk, most significant first. Short runs are folded in one
// multiply-and-add pass per word; longer ones are split in two, the high
// part being scaled by chunk^(2^level), so the time follows that of the
// multiplication rather than the square of the length.
void WordsToBigInt(Radix &r, BigInt *dst, const Limb *w, size_t n) {
    if (n <= size_t(kSplitLimbs)) {
        std::vector<Limb> limbs{0};
        for (size_t i = 0; i < n; ++i) {
            int64_t len = int64_t(limbs.size()) * LIMB_BYTES;
            Limb carry = Limbs_MulLimb(limbs.data(), limbs.data(), len, r.chunk);
            carry += Limbs_AddLimb(limbs.data(), limbs.data(), len, w[i]);
            if (carry) limbs.push_back(carry);
        }
        SetLimbs(dst, limbs, 1);
        return;
    }
    size_t level = 0;
    while ((size_t(2) << level) < n) ++level;
    size_t low = size_t(1) << level;
    r.Build(level);
    BigInt *lowPart = BigInt_New();
    WordsToBigInt(r, dst, w, n - low);
    WordsToBigInt(r, lowPart, w + (n - low), low);
    BigInt_Mul(dst, dst, r.powers[level]);
    BigInt_Add(dst, dst, lowPart);
    BigInt_Free(lowPart);
}

// dst = the digits (values below base, most significant first) as a
// non-negative integer; zero when there are none.
void DigitsToBigInt(BigInt *dst, const std::vector<uint8_t> &digits, int base) {
    if (std::has_single_bit(unsigned(base))) {
        // t bits per digit, packed from the last digit up into a word that
        // is stored whenever it fills: linear time.
        int t = std::countr_zero(unsigned(base));
        std::vector<Limb> limbs;
        limbs.reserve((digits.size() * size_t(t)) / LIMB_BITS + 1);
        Limb word = 0;
        int fill = 0;
        for (size_t j = digits.size(); j-- > 0;) {
            Limb v = digits[j];
            word |= v << fill;
            fill += t;
            if (fill >= LIMB_BITS) {
                limbs.push_back(word);
                fill -= LIMB_BITS;
                word = fill ? v >> (t - fill) : 0;
            }
        }
        limbs.push_back(word);
        SetLimbs(dst, limbs, 1);
        return;
    }
    Radix r(base);
    std::vector<Limb> words;
    size_t n = digits.size(), head = n % size_t(r.chunkDigits);
    size_t i = 0;
    if (head || n == 0) {
        Limb word = 0;
        for (; i < head; ++i) word = word * unsigned(base) + digits[i];
        words.push_back(word);
    }
    while (i < n) {
        Limb word = 0;
        for (int k = 0; k < r.chunkDigits; ++k) word = word * unsigned(base) + digits[i++];
        words.push_back(word);
    }
    WordsToBigInt(r, dst, words.data(), words.size());
}

}  // namespace

// The digits are collected first and converted in one pass, so long
// literals cost a few multiplications rather than one pass per digit.
Object *Integer_FromText(std::u16string_view text, int base) {
    if (base < 2 || base > 36) return Builtin(SYM_Indeterminate);
    bool negative = false;
    std::vector<uint8_t> digits(text.size());
    size_t count = 0;
    for (char16_t c : text) {
        int d = DigitValue(c);
        if (d >= base) {
            if (count) break;
            if (c == u'-') negative = true;
            continue;
        }
        digits[count++] = uint8_t(d);
    }
    digits.resize(count);
    BigInt *b = BigInt_New();
    DigitsToBigInt(b, digits, base);
    if (negative) BigInt_Negate(b);
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

namespace {

// v / base^p in doubles. When base^p is not a normal double the division is
// done in two halves, so that the scaling of a subnormal or a huge value
// neither underflows nor overflows.
double DivideByPower(double v, int base, int64_t p) {
    double q = std::pow(double(base), double(p));
    if (std::isnormal(q)) return v / q;
    int64_t half = p / 2;
    return v / std::pow(double(base), double(half)) / std::pow(double(base), double(p - half));
}

}  // namespace

// The digits are produced in doubles, as the value yields them; a rounding
// carry runs into one spare position in front, which then becomes the
// first digit and pushes the exponent up by one.
std::u16string MachineReal_ToBaseText(double x, int64_t count, int base, std::u16string_view mark) {
    if (base < 2 || base > 36) return u"";
    if (x == 0.0) return u"0.0";
    if (!std::isfinite(x)) return MachineReal_ToText(x, 6, mark);
    double v = std::fabs(x);
    int64_t p = int64_t(std::floor(std::log(v) / std::log(double(base))));
    if (p < -3 || p > 0) {
        v = DivideByPower(v, base, p);
        if (v >= base) {
            ++p;
            v /= base;
        } else if (v < 1) {
            --p;
            v *= base;
        }
    } else {
        count -= p;
        p = 0;
    }
    if (count < 1) count = 1;
    // digits[0] is the spare position for a carry out of the first digit.
    std::vector<int> digits(size_t(count) + 1, 0);
    for (int64_t i = 1; i <= count; ++i) {
        int d = std::clamp(int(v), 0, base - 1);
        digits[size_t(i)] = d;
        v = base * (v - d);
    }
    if (2 * v >= base) {
        for (int64_t i = count; i >= 0; --i) {
            if (++digits[size_t(i)] < base) break;
            digits[size_t(i)] = 0;
        }
    }
    int64_t first = 1, end = count;
    if (digits[0]) {
        ++p;
        first = 0;
        end = count - 1;
    }
    std::u16string text = x < 0 ? u"-" : u"";
    text += kDigits[digits[size_t(first)]];
    int64_t i = first + 1;
    while (p > 0 && p <= end - i) {
        text += kDigits[digits[size_t(i++)]];
        --p;
    }
    text += u'.';
    while (i <= end) text += kDigits[digits[size_t(i++)]];
    if (p != 0) {
        text += mark;
        text += Integer_ToText(p, base);
    }
    return text;
}

namespace {

// A pool BigInt record owned by a local.
class LocalBigInt {
public:
    LocalBigInt() : b_(BigInt_New()) {}
    LocalBigInt(const LocalBigInt &) = delete;
    LocalBigInt &operator=(const LocalBigInt &) = delete;
    ~LocalBigInt() { BigInt_Free(b_); }
    BigInt *get() const { return b_; }
    BigInt *operator->() const { return b_; }

private:
    BigInt *b_;
};

int64_t BitLength(uint64_t n) { return 64 - std::countl_zero(n); }

// Sets q and shift so that q * 2^shift is base^n. With bits < 0 the power is
// exact (shift 0). Otherwise every intermediate product is cut to its top
// `bits` bits, so that q * 2^shift lies below base^n by a relative error of
// at most 2 * (bit length of n) * 2^(1 - bits); powers that fit in `bits`
// bits stay exact.
void PowerOfBase(BigInt *q, int64_t *shift, int base, uint64_t n, int64_t bits) {
    BigInt_SetSmall(q, 1);
    *shift = 0;
    LocalBigInt b;
    BigInt_SetSmall(b.get(), base);
    for (int64_t i = BitLength(n) - 1; i >= 0; --i) {
        BigInt_Mul(q, q, q);
        *shift *= 2;
        if ((n >> i) & 1) BigInt_Mul(q, q, b.get());
        int64_t excess = bits < 0 ? 0 : BigInt_BitLength(q) - bits;
        if (excess > 0) {
            BigInt_Shift(q, q, -excess);
            *shift += excess;
        }
    }
}

// dst = m * 2^s with the shift either way (a right shift truncates).
void ShiftBy(BigInt *dst, const BigInt *m, int64_t s) {
    if (s != 0)
        BigInt_Shift(dst, m, s);
    else if (dst != m)
        BigInt_Copy(dst, m);
}

// dst = floor(m * 2^k * base^c) for a non-negative integer m. With bits < 0
// the result is exact; otherwise base^|c| is taken to `bits` bits
// (PowerOfBase), which keeps the work proportional to the digits wanted
// when |c| is far larger than they are.
void ExpandDigits(BigInt *dst, const BigInt *m, int64_t k, int base, int64_t c, int64_t bits) {
    LocalBigInt power;
    int64_t s;
    PowerOfBase(power.get(), &s, base, c >= 0 ? uint64_t(c) : uint64_t(0) - uint64_t(c), bits);
    if (c >= 0) {
        BigInt_Mul(dst, m, power.get());
        ShiftBy(dst, dst, k + s);
        return;
    }
    // m * 2^k / (power * 2^s): the shift goes to whichever side keeps it
    // non-negative.
    LocalBigInt scaled;
    if (k - s >= 0) {
        ShiftBy(scaled.get(), m, k - s);
        BigInt_DivMod(dst, scaled.get(), power.get(), nullptr);
    } else {
        ShiftBy(scaled.get(), power.get(), s - k);
        BigInt_DivMod(dst, m, scaled.get(), nullptr);
    }
}

// A double bit count turned into a digit count, kept inside the range where
// the integer arithmetic on it cannot overflow.
int64_t ClampedCeil(double x) {
    constexpr double kLimit = 4.0e18;
    return int64_t(std::ceil(std::clamp(x, -kLimit, kLimit)));
}

// The number of fraction digits that show an exact value m * 2^(-fractionBits)
// in full: a base with a factor 2^t ends its expansion after
// ceil(fractionBits / t) digits; an odd base never does, and gets one digit
// per bit.
int64_t ExactFractionDigits(int64_t fractionBits, int base) {
    int twos = std::countr_zero(unsigned(base));
    return twos ? (fractionBits + twos - 1) / twos : fractionBits;
}

}  // namespace

// The value |b| = m * 2^(64 * exponent) is expanded as the integer
// T = floor(|b| * base^c), whose last digit is the first one beyond the
// accuracy (c = ceil(accuracy / log2(base)) fraction digits) and decides the
// rounding. Values whose limb exponent is far from their limb count (at
// least 17 limbs above, or 16 limbs below them) take base^|c| to the
// precision plus 64 bits instead of exactly, so a tiny or huge value costs
// no more than its significant digits. The layout is chosen on the rounded
// digits, so a carry that adds a digit in front moves the point as the
// value requires.
std::u16string BigFloat_ToText(const BigFloat *b, int base, std::u16string_view mark) {
    switch (b->kind) {
    case FloatIndeterminate: return u"Error";
    case FloatOverflow: return b->sign < 0 ? u"-Overflow" : u"Overflow";
    case FloatUnderflow: return b->sign < 0 ? u"-Underflow" : u"Underflow";
    default: break;
    }
    bool exact = std::isinf(b->accuracy);
    if (b->kind == FloatZero && exact) return u"0";
    if (base < 2 || base > 36) return u"";
    const double bitsPerDigit = std::log2(double(base));
    std::u16string text;
    if (b->kind == FloatZero) {
        text = u"0.";
        text += mark;
        text += Integer_ToText(std::llround(1 - b->accuracy / bitsPerDigit), base);
        return text;
    }
    if (b->sign < 0) text += u'-';
    LocalBigInt m;
    SetLimbs(m.get(), b->limbs, b->top + 1, 1);
    const int64_t k = b->exponent * LIMB_BITS;
    LocalBigInt t;
    int64_t c;
    if (exact) {
        int64_t low = 0;
        while (b->limbs[low] == 0) ++low;
        int64_t fractionBits = -k - low * LIMB_BITS - std::countr_zero(b->limbs[low]);
        if (fractionBits <= 0) {
            ShiftBy(t.get(), m.get(), k);
            return text + BigInt_ToText(t.get(), base);
        }
        // An exact value with a fraction shows the digits that express it
        // (all of them where the expansion ends), one more deciding rounding.
        c = ExactFractionDigits(fractionBits, base) + 1;
    } else {
        c = ClampedCeil(b->accuracy / bitsPerDigit);
    }
    bool far = !exact && (b->exponent >= 17 || b->exponent < -16 - b->top);
    int64_t bits = far ? ClampedCeil(std::max(BigFloat_Precision(b), 0.0)) + 64 + 2 * BitLength(uint64_t(std::llabs(c))) : -1;
    ExpandDigits(t.get(), m.get(), k, base, c, bits);

    LocalBigInt baseInt, roundDigit;
    BigInt_SetSmall(baseInt.get(), base);
    BigInt_DivMod(t.get(), t.get(), baseInt.get(), roundDigit.get());
    if (2 * BigInt_ToSmall(roundDigit.get()) >= base) {
        LocalBigInt one;
        BigInt_SetSmall(one.get(), 1);
        BigInt_Add(t.get(), t.get(), one.get());
    }
    // The significant digits run from the first non-zero one down to the
    // digit of weight base^-(c - 1).
    if (t->kind != IntZero) {
        std::u16string digits = BigInt_ToText(t.get(), base);
        int64_t length = int64_t(digits.size());
        int64_t e = length - c;  // the power of the base of the first digit
        bool fixed = e >= 0 ? c >= 1 && e < 5 : -e - 1 < 3;
        if (fixed && e >= 0) {
            text.append(digits, 0, size_t(e + 1));
            text += u'.';
            text.append(digits, size_t(e + 1));
        } else if (fixed) {
            text += u"0.";
            text.append(size_t(-e - 1), u'0');
            text += digits;
        } else {
            text += digits[0];
            text += u'.';
            text.append(digits, 1);
            text += mark;
            text += Integer_ToText(e, base);
        }
        return text;
    }
    // No significant digit is non-zero: a value below 1 whose first digit
    // lies within two zeros of the point shows the zeros up to the last
    // significant place; any other shows its first digit, which is not
    // significant, with its exponent.
    int64_t c2 = 1 - int64_t(std::floor(b->magnitude / bitsPerDigit));
    ExpandDigits(t.get(), m.get(), k, base, c2, 128);
    while (t->kind == IntZero) ExpandDigits(t.get(), m.get(), k, base, ++c2, 128);
    std::u16string lead = BigInt_ToText(t.get(), base);
    int64_t e = int64_t(lead.size()) - 1 - c2;
    if (e < 0 && -e - 1 < 3 && c > 1) {
        text += u"0.";
        text.append(size_t(c - 1), u'0');
        return text;
    }
    text += lead[0];
    text += u'.';
    text += mark;
    text += Integer_ToText(e, base);
    return text;
}

namespace {

// Exponents of the reader from this value on saturate at once.
constexpr int64_t kExponentLimit = (int64_t(1) << 56) - 1;
// An exact mantissa is scaled by an exact power of the base up to this many
// bits; beyond, the power is taken to the mantissa's length plus 64 bits
// (the quotient rule of BigFloat_Div), so that a literal such as 1e999999999
// cannot claim gigabytes.
constexpr double kExactPowerBits = double(int64_t(1) << 24);

}  // namespace

// The mantissa's digits are collected and converted in one pass; the point
// gives it an accuracy of log2(base) bits, and the exponent minus the
// number of fraction digits scales it by a power of the base taken to the
// working precision plus 32 bits. A zero mantissa needs no power: scaling
// only moves its accuracy.
Object *Real_FromText(std::u16string_view text, int base, std::u16string_view mark, double precision) {
    if (base < 2 || base > 36) return Builtin(SYM_Indeterminate);
    std::vector<uint8_t> digits;
    int64_t fractionDigits = 0, exponent = 0;
    bool negative = false, signSeen = false, point = false;
    bool inExponent = false, exponentNegative = false, exponentSignAllowed = false;
    for (size_t i = 0; i < text.size();) {
        char16_t ch = text[i];
        int d = DigitValue(ch);
        if (inExponent) {
            if (exponentSignAllowed && (ch == u'+' || ch == u'-')) {
                exponentNegative = ch == u'-';
                exponentSignAllowed = false;
                ++i;
                continue;
            }
            if (d >= base) break;
            exponentSignAllowed = false;
            exponent = exponent * base + d;
            if (exponent >= kExponentLimit)
                return Real_NewSaturated(exponentNegative ? SUB_UNDERFLOW : SUB_OVERFLOW, negative ? -1 : 1);
            ++i;
            continue;
        }
        // The mark counts only after a digit, so that characters skipped
        // before the number cannot start an exponent.
        if (!digits.empty() && !mark.empty() && text.substr(i, mark.size()) == mark) {
            inExponent = exponentSignAllowed = true;
            i += mark.size();
            continue;
        }
        if (d < base) {
            digits.push_back(uint8_t(d));
            if (point) ++fractionDigits;
        } else if (ch == u'.') {
            if (point) break;
            point = true;
        } else if (!digits.empty()) {
            break;
        } else if (ch == u'+' || ch == u'-') {
            if (signSeen) break;
            signSeen = true;
            negative = ch == u'-';
        }
        ++i;
    }
    const double bitsPerDigit = std::log2(double(base));
    const int64_t scale = (exponentNegative ? -exponent : exponent) - fractionDigits;
    LocalBigInt mantissa;
    DigitsToBigInt(mantissa.get(), digits, base);
    LocalFloat value;
    if (mantissa->kind == IntZero) {
        BigFloat_SetZero(value.get(), point ? bitsPerDigit - double(scale) * bitsPerDigit : INFINITY);
        return Real_FromBigFloat(value.get());
    }
    int64_t mantissaBits = BigInt_BitLength(mantissa.get());
    if (negative) BigInt_Negate(mantissa.get());
    BigFloat_FromBigInt(value.get(), mantissa.get());
    if (point) BigFloat_SetAccuracy(value.get(), bitsPerDigit);
    if (precision != -1) BigFloat_SetPrecision(value.get(), precision, 10);
    if (scale != 0) {
        uint64_t n = scale > 0 ? uint64_t(scale) : uint64_t(0) - uint64_t(scale);
        bool exactPower = std::isinf(value->accuracy) && double(n) * bitsPerDigit <= kExactPowerBits;
        double working = std::isinf(value->accuracy) ? double(std::max<int64_t>(mantissaBits, 64) + 64)
                                                      : std::max(BigFloat_Precision(value.get()), 0.0);
        LocalBigInt q;
        int64_t shift;
        PowerOfBase(q.get(), &shift, base, n, exactPower ? -1 : ClampedCeil(working) + 48 + 2 * BitLength(n));
        LocalFloat power;
        BigFloat_FromBigInt(power.get(), q.get());
        BigFloat_Scale(power.get(), shift);
        if (!exactPower) BigFloat_SetPrecision(power.get(), working + 32, 2);
        if (scale > 0)
            BigFloat_Mul(value.get(), value.get(), power.get());
        else
            BigFloat_Div(value.get(), value.get(), power.get());
    }
    return Real_Normalize(Real_FromBigFloat(value.get()));
}

Object *Real_FromDecimalText(std::u16string_view text, double precision) {
    return Real_FromText(text, 10, u"e", precision);
}
