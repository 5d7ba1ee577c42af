// Round trips through the binary formats and their behaviour on malformed
// bytes: every fixed integer format in both byte orders across its range,
// the minimal formats at every byte boundary, every binary16 value and
// every rounding boundary between two of them, doubles and floats, text
// through UTF-16, UTF-32 and code page 1252, digit texts of a long
// integer in every base, and random bytes read in every format.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "number/binary_format.h"
#include "number/number_text.h"
#include "number/real.h"
#include "object/utf8.h"

namespace {

class BinaryFormatTest : public KernelTest {
protected:
    // A call of the conversion with BinaryFormat -> format (none when
    // null) and Endianness -> order (none when 0), evaluated. Consumes x;
    // a new reference.
    static Object *Convert(const char16_t *conversion, Object *x, const char *format, int order = 0) {
        Object *rules[2] = {nullptr, nullptr};
        if (format) rules[0] = Call(u"Rule", Sym(u"BinaryFormat"), Text(format));
        if (order) rules[1] = Call(u"Rule", Sym(u"Endianness"), Int(order));
        Object *call = rules[0] ? Call(conversion, x, rules[0], rules[1]) : Call(conversion, x, rules[1]);
        return Object_Evaluate(call);
    }
    static Object *Bytes(const std::string &b) { return String_New(b.data(), int64_t(b.size()), SUB_BYTES); }
    static Object *Utf8(const std::string &b) { return String_New(b.data(), int64_t(b.size()), SUB_UTF8); }
    static std::string Content(Object *s) {
        EXPECT_TRUE(Object_IsString(s));
        return std::string(reinterpret_cast<const char *>(AsString(s)->buffer), size_t(AsString(s)->bytes));
    }
    // The bytes of a ToString result, which must be a byte string.
    // Consumes s.
    static std::string TakeBytes(Object *s) {
        Ref r(s);
        EXPECT_EQ(Object_Subtype(s), SUB_BYTES);
        return Content(s);
    }
    static std::u16string Decimal(__int128 v) {
        bool negative = v < 0;
        unsigned __int128 m = negative ? 0 - static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
        std::u16string digits;
        do {
            digits.insert(digits.begin(), char16_t(u'0' + int(m % 10)));
            m /= 10;
        } while (m);
        return negative ? u"-" + digits : digits;
    }
};

struct IntegerFormat {
    const char *name;
    int bytes;
    bool isSigned;
};

constexpr IntegerFormat kIntegerFormats[] = {
    {"Integer8", 1, true},  {"UnsignedInteger8", 1, false},  {"Integer16", 2, true}, {"UnsignedInteger16", 2, false},
    {"Integer32", 4, true}, {"UnsignedInteger32", 4, false}, {"Integer64", 8, true}, {"UnsignedInteger64", 8, false},
};

TEST_F(BinaryFormatTest, FixedIntegerFormatsRoundTripAcrossTheirRange) {
    std::mt19937_64 random(7);
    for (const IntegerFormat &f : kIntegerFormats) {
        int bits = 8 * f.bytes;
        __int128 lo = f.isSigned ? -(__int128(1) << (bits - 1)) : 0;
        __int128 hi = (f.isSigned ? __int128(1) << (bits - 1) : __int128(1) << bits) - 1;
        std::vector<__int128> values = {lo, lo + 1, 0, 1, hi - 1, hi, hi / 2, hi / 3};
        if (f.isSigned) values.push_back(-1);
        for (int i = 0; i < 200; ++i) values.push_back(lo + static_cast<__int128>(random() % static_cast<uint64_t>(hi - lo)));
        for (int order : {-1, 1}) {
            for (__int128 v : values) {
                std::u16string text = Decimal(v);
                Ref bytes(Convert(u"ToString", Integer_FromText(text, 10), f.name, order));
                ASSERT_EQ(AsString(bytes.get())->bytes, f.bytes) << f.name << " " << Narrow(text);
                // The bytes are the value's, in the byte order.
                unsigned __int128 u = static_cast<unsigned __int128>(v);
                for (int k = 0; k < f.bytes; ++k) {
                    int at = order == 1 ? f.bytes - 1 - k : k;
                    ASSERT_EQ(AsString(bytes.get())->buffer[at], static_cast<unsigned char>(u >> (8 * k)));
                }
                Object *back = Convert(u"ToInteger", bytes.release(), f.name, order);
                ASSERT_EQ(StandardText(back), text) << f.name << " order " << order;
            }
        }
    }
    EXPECT_TRUE(Host().messages.empty());
}

// 2^k, 2^k - 1, -2^k and -2^k - 1 for every k up to 200 cross every byte
// boundary of the minimal formats, where their lengths change.
TEST_F(BinaryFormatTest, MinimalFormatsAreShortestAndRoundTrip) {
    for (int64_t k = 0; k <= 200; ++k) {
        Ref power(Integer_Power(Int(2), Int(k)));
        struct Case {
            Object *value;
            int64_t complementBits;  // bit length of the value, or of -value - 1 when negative
        };
        Ref values[4] = {Ref(Object_AddRef(power.get())), Ref(Integer_Add(Object_AddRef(power.get()), Int(-1))),
                         Ref(Integer_Negate(Object_AddRef(power.get()))),
                         Ref(Integer_Add(Integer_Negate(Object_AddRef(power.get())), Int(-1)))};
        const Case cases[4] = {{values[0].get(), k + 1}, {values[1].get(), k}, {values[2].get(), k}, {values[3].get(), k + 1}};
        for (const Case &c : cases) {
            bool negative = Object_Sign(c.value) < 0;
            for (int order : {-1, 1}) {
                std::string signedBytes = TakeBytes(Convert(u"ToString", Object_AddRef(c.value), "IntegerN", order));
                EXPECT_EQ(int64_t(signedBytes.size()), c.complementBits / 8 + 1) << "k " << k;
                Object *back = Convert(u"ToInteger", Bytes(signedBytes), "IntegerN", order);
                EXPECT_TRUE(Object_Same(back, c.value, OBJ_RELEASE_FIRST)) << "k " << k;
                if (negative) continue;
                std::string unsignedBytes = TakeBytes(Convert(u"ToString", Object_AddRef(c.value), "UnsignedIntegerN", order));
                EXPECT_EQ(int64_t(unsignedBytes.size()), c.complementBits == 0 ? 1 : (c.complementBits - 1) / 8 + 1);
                back = Convert(u"ToInteger", Bytes(unsignedBytes), "UnsignedIntegerN", order);
                EXPECT_TRUE(Object_Same(back, c.value, OBJ_RELEASE_FIRST)) << "k " << k;
            }
        }
    }
    EXPECT_TRUE(Host().messages.empty());
}

float Float(uint32_t bits) { return std::bit_cast<float>(bits); }

// Every binary16 value widens exactly and narrows back to itself; between
// two neighbours, the midpoint goes to the even one and the floats next to
// it to the nearer one; past the largest value lies infinity.
TEST_F(BinaryFormatTest, Binary16RoundsToNearestEven) {
    for (uint32_t h = 0; h < 0x10000; ++h) {
        float x = Half_ToFloat(uint16_t(h));
        if (std::isnan(x)) {
            EXPECT_EQ(h & 0x7C00, 0x7C00u);
            EXPECT_TRUE(std::isnan(Half_ToFloat(Half_FromFloat(x))));
            continue;
        }
        ASSERT_EQ(Half_FromFloat(x), h);
    }
    for (uint16_t sign : {uint16_t(0), uint16_t(0x8000)}) {
        for (uint16_t h = 0; h < 0x7BFF; ++h) {
            uint16_t a = sign | h, b = sign | uint16_t(h + 1);
            float fa = Half_ToFloat(a), fb = Half_ToFloat(b);
            float mid = (fa + fb) / 2;  // exact: a half has 11 significant bits
            ASSERT_EQ(Half_FromFloat(mid), (a & 1) ? b : a) << h;
            ASSERT_EQ(Half_FromFloat(std::nextafter(mid, fa)), a) << h;
            ASSERT_EQ(Half_FromFloat(std::nextafter(mid, fb)), b) << h;
        }
    }
    // Past 65504, the largest value, the next step would be 65536.
    EXPECT_EQ(Half_FromFloat(65520.0f), 0x7C00);
    EXPECT_EQ(Half_FromFloat(std::nextafter(65520.0f, 0.0f)), 0x7BFF);
    EXPECT_EQ(Half_FromFloat(-65520.0f), 0xFC00);
    EXPECT_EQ(Half_FromFloat(1e10f), 0x7C00);
    EXPECT_EQ(Half_FromFloat(-std::numeric_limits<float>::infinity()), 0xFC00);
    EXPECT_TRUE(std::isnan(Half_ToFloat(Half_FromFloat(Float(0x7F800001)))));  // a payload below the kept bits
    EXPECT_EQ(Half_FromFloat(Float(0x00000001)), 0);
    EXPECT_EQ(Half_FromFloat(-0.0f), 0x8000);
}

TEST_F(BinaryFormatTest, RealFormatsRoundTripBitForBit) {
    std::mt19937_64 random(11);
    auto bitsOf = [](const std::string &b) {
        uint64_t v = 0;
        for (size_t i = 0; i < b.size(); ++i) v |= uint64_t(static_cast<unsigned char>(b[i])) << (8 * i);
        return v;
    };
    auto roundTrip = [&](double x, const char *format, uint64_t expected) {
        std::string bytes = TakeBytes(Convert(u"ToString", Real_FromDouble(x), format));
        EXPECT_EQ(bitsOf(bytes), expected) << format << " " << x;
        Ref back(Convert(u"ToReal", Bytes(bytes), format));
        return back.get() && Real_IsMachine(back.get()) ? AsReal(back.get())->value : std::nan("");
    };
    for (uint32_t h = 0; h < 0x7C00; h += 7) {
        for (uint32_t sign : {0u, 0x8000u}) {
            double x = Half_ToFloat(uint16_t(h | sign));
            double back = roundTrip(x, "Real16", h | sign);
            EXPECT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(x));
        }
    }
    for (int i = 0; i < 2000; ++i) {
        uint64_t bits = random();
        double x = std::bit_cast<double>(bits);
        if (!std::isfinite(x)) continue;
        EXPECT_EQ(std::bit_cast<uint64_t>(roundTrip(x, "Real64", bits)), bits);
        float f = static_cast<float>(x);
        // A double narrows to its nearest float; a float comes back whole.
        if (std::isfinite(f)) {
            EXPECT_EQ(roundTrip(x, "Real32", std::bit_cast<uint32_t>(f)), double(f));
            EXPECT_EQ(roundTrip(double(f), "Real32", std::bit_cast<uint32_t>(f)), double(f));
            EXPECT_EQ(bitsOf(TakeBytes(Convert(u"ToString", Real_FromDouble(x), "Real16"))), Half_FromFloat(f));
        }
    }
    EXPECT_TRUE(Host().messages.empty());
}

// Random text: every plane, lone surrogates (in the three-byte form text
// keeps them in) never followed by a low surrogate.
std::string RandomText(std::mt19937_64 &random, int n) {
    std::string text;
    char32_t previous = 0;
    for (int i = 0; i < n; ++i) {
        char32_t cp;
        switch (random() % 5) {
        case 0: cp = char32_t(random() % 0x80); break;
        case 1: cp = char32_t(0x80 + random() % (0xD800 - 0x80)); break;
        case 2: cp = char32_t(0xE000 + random() % 0x2000); break;
        case 3: cp = char32_t(0x10000 + random() % 0x100000); break;
        default: cp = char32_t(0xD800 + random() % 0x800); break;
        }
        if (cp >= 0xDC00 && cp < 0xE000 && previous >= 0xD800 && previous < 0xDC00) cp = u'x';
        Utf8_Append(text, cp);
        previous = cp;
    }
    return text;
}

TEST_F(BinaryFormatTest, TextComesBackUnchangedThroughEveryEncoding) {
    std::mt19937_64 random(13);
    for (int i = 0; i < 300; ++i) {
        std::string text = RandomText(random, int(random() % 40));
        for (const char *encoding : {"UTF8", "UTF16", "UTF32"}) {
            for (int order : {-1, 1}) {
                Object *encoded = Convert(u"ToString", Utf8(text), encoding, order);
                ASSERT_EQ(Object_Subtype(encoded), SUB_BYTES);
                Ref back(Convert(u"ToString", encoded, encoding, order));
                ASSERT_EQ(Object_Subtype(back.get()), SUB_UTF8);
                ASSERT_EQ(Content(back.get()), text) << encoding << " order " << order;
            }
        }
    }
    // Every byte of code page 1252, the five undefined ones included.
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    Object *decoded = Convert(u"ToString", Bytes(all), "ANSI");
    EXPECT_EQ(Object_Subtype(decoded), SUB_UTF8);
    EXPECT_EQ(TakeBytes(Convert(u"ToString", decoded, "ANSI")), all);
    EXPECT_TRUE(Host().messages.empty());
}

// Any sequence of UTF-16 units survives text, so even-length bytes come
// back whole; an odd last byte becomes U+FFFD, which writes as FD FF.
TEST_F(BinaryFormatTest, AnyUtf16BytesComeBackWithTheOddByteMarked) {
    std::mt19937_64 random(17);
    for (int i = 0; i < 2000; ++i) {
        std::string bytes;
        for (int k = int(random() % 12); k > 0; --k) {
            // Surrogate units often, so that pairs and lone halves meet.
            bytes += char(random() % 4 == 0 ? 0xD8 + random() % 8 : random());
        }
        for (int order : {-1, 1}) {
            std::string back = TakeBytes(
                Convert(u"ToString", Convert(u"ToString", Bytes(bytes), "UTF16", order), "UTF16", order));
            std::string expected = bytes.substr(0, bytes.size() & ~size_t(1));
            if (bytes.size() % 2) expected += order == 1 ? "\xFF\xFD" : "\xFD\xFF";
            ASSERT_EQ(back, expected);
        }
    }
}

TEST_F(BinaryFormatTest, DigitTextsOfALongIntegerRoundTripInEveryBase) {
    std::mt19937_64 random(19);
    std::u16string digits(100000, u'0');
    for (char16_t &d : digits) d = char16_t(u'0' + random() % 10);
    digits[0] = u'7';
    Ref n(Integer_FromText(digits, 10));
    Ref negative(Integer_Negate(Object_AddRef(n.get())));
    for (int64_t base = 2; base <= 36; ++base) {
        // The sign is one character in every base: a few bases check it.
        for (Object *v : {n.get(), negative.get()}) {
            if (v == negative.get() && base != 2 && base != 10 && base != 36) continue;
            Object *rule = Call(u"Rule", Sym(u"DigitBase"), Int(base));
            Ref text(Object_Evaluate(Call(u"ToString", Object_AddRef(v), rule)));
            ASSERT_EQ(Object_Subtype(text.get()), SUB_UTF8);
            Object *back = Object_Evaluate(
                Call(u"ToInteger", Object_AddRef(text.get()), Call(u"Rule", Sym(u"DigitBase"), Int(base))));
            ASSERT_TRUE(Object_Same(back, v, OBJ_RELEASE_FIRST)) << "base " << base;
        }
    }
    EXPECT_EQ(StandardText(Object_Evaluate(Call(u"ToString", Object_AddRef(n.get())))), u"\"" + digits + u"\"");
}

// Random bytes read in every format by every conversion, and written from
// text: nothing may crash, and each call reports at most one message.
TEST_F(BinaryFormatTest, RandomBytesInEveryFormatGiveAValueAndAtMostOneMessage) {
    const char *names[] = {"Integer8",  "UnsignedInteger8",  "Integer16", "UnsignedInteger16", "Integer32",
                           "UnsignedInteger32", "Integer64", "UnsignedInteger64", "IntegerN", "UnsignedIntegerN",
                           "Real16", "Real32", "Real64", "Complex32", "Complex64", "Complex128", "ANSI", "UTF8",
                           "UTF16", "UTF32", "int16", "word", "half", "intn", "", "integer8", "Integer8 "};
    std::mt19937_64 random(23);
    for (int i = 0; i < 400; ++i) {
        std::string bytes;
        for (int k = int(random() % 20); k > 0; --k) bytes += char(random());
        for (const char *name : names) {
            for (int order : {-1, 1}) {
                for (const char16_t *conversion : {u"ToString", u"ToInteger", u"ToReal"}) {
                    for (bool text : {false, true}) {
                        Host().messages.clear();
                        int endianness = conversion[2] == u'R' ? 0 : order;
                        Ref r(Convert(conversion, text ? Utf8(bytes) : Bytes(bytes), *name ? name : nullptr, endianness));
                        ASSERT_LE(Host().messages.size(), 1u) << name;
                        if (conversion[2] == u'S') {
                            ASSERT_TRUE(Object_IsString(r.get()));
                        } else if (conversion[2] == u'I') {
                            ASSERT_TRUE(Object_IsInteger(r.get()));
                        }
                    }
                }
            }
        }
    }
}

TEST_F(BinaryFormatTest, EmptyAndShortBytesAreRefusedByTheFixedFormatsOnly) {
    for (const IntegerFormat &f : kIntegerFormats) {
        Host().messages.clear();
        std::string shortBytes(size_t(f.bytes - 1), '\x01');
        EXPECT_EQ(StandardText(Convert(u"ToInteger", Bytes(shortBytes), f.name)), u"0");
        ASSERT_EQ(Host().messages.size(), 1u);
        EXPECT_EQ(Host().messages[0].rfind(u"ToInteger::StringLength: ", 0), 0u);
        // Longer strings give their first bytes.
        std::string longBytes(size_t(f.bytes + 3), '\0');
        longBytes[0] = 5;
        EXPECT_EQ(StandardText(Convert(u"ToInteger", Bytes(longBytes), f.name)), u"5");
    }
    for (const char *name : {"Real16", "Real32", "Real64"}) {
        Host().messages.clear();
        EXPECT_EQ(StandardText(Convert(u"ToReal", Bytes(""), name)), u"0.0");
        EXPECT_EQ(Host().messages.size(), 1u);
    }
    Host().messages.clear();
    EXPECT_EQ(StandardText(Convert(u"ToInteger", Bytes(""), "IntegerN")), u"0");
    EXPECT_EQ(StandardText(Convert(u"ToInteger", Bytes(""), nullptr)), u"0");
    for (const char *name : {"ANSI", "UTF8", "UTF16", "UTF32"}) {
        EXPECT_EQ(StandardText(Convert(u"ToString", Bytes(""), name)), u"\"\"");
        EXPECT_EQ(StandardText(Convert(u"ToString", Utf8(""), name)), u"''");
    }
    EXPECT_TRUE(Host().messages.empty());
}

}  // namespace
