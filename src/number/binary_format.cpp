// Conversions between numbers, text and raw bytes.
//
// ToString writes a value as text (digits in DigitBase) or, given a
// BinaryFormat, as the bytes of that format in a byte string; ToInteger and
// ToReal read them back. Integer formats and the UTF-16 and UTF-32 text
// encodings follow Endianness; the real and complex formats are always
// little-endian.
//
// Nothing is dropped without a rule, so that malformed bytes never pass
// silently:
//  - text that is not valid UTF-8 reads as U+FFFD per bad sequence (the
//    decoder of every text string);
//  - a lone UTF-16 surrogate, in text or in UTF-16 or UTF-32 bytes, stays
//    itself (text keeps it in its three-byte form), so that any sequence of
//    UTF-16 units comes back unchanged; only a high surrogate followed by a
//    low one combines into one code point;
//  - an incomplete last unit of UTF-16 or UTF-32 bytes (a trailing odd
//    byte, or one to three bytes after the last whole UTF-32 unit) and a
//    UTF-32 unit above U+10FFFF read as U+FFFD;
//  - code points that code page 1252 cannot show, best fit included, are
//    written as '?', the code page's default character.
//
// Every failure emits one message and gives the built-in's failure value:
// the empty string, the integer 0 or the real 0.0. A value that does not
// fit the format it is written in is written all the same (its low bytes,
// or its nearest float) after the InsufficientBinaryFormat message.
#include "number/binary_format.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "eval/compare.h"
#include "eval/native_args.h"
#include "eval/numeric.h"
#include "kernel/message.h"
#include "kernel/state.h"
#include "number/bestfit1252_table.h"
#include "number/bigfloat.h"
#include "number/bigint.h"
#include "number/complex.h"
#include "number/integer.h"
#include "number/number_arith.h"
#include "number/number_text.h"
#include "number/rational.h"
#include "number/real.h"
#include "number/rounding.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"
#include "object/utf8.h"

namespace {

// ---- Formats ----------------------------------------------------------------------------

enum FormatKind { FORMAT_INTEGER, FORMAT_INTEGER_N, FORMAT_REAL, FORMAT_COMPLEX, FORMAT_TEXT };
enum Encoding { ENCODING_NONE, ENCODING_ANSI, ENCODING_UTF8, ENCODING_UTF16, ENCODING_UTF32 };

struct Format {
    std::string_view name;
    std::string_view writeAliases[3];  // the other names ToString accepts
    std::string_view readAliases[2];   // the other names ToInteger and ToReal accept
    FormatKind kind;
    int bytes;  // the width of a fixed format; of each part of a complex one
    bool isSigned;
    Encoding encoding;
};

// "word" is the signed 16-bit format. Only ToString knows the long
// aliases; the complex and text formats cannot be read at all.
const Format kFormats[] = {
    {"Integer8", {"int8", "byte"}, {"int8"}, FORMAT_INTEGER, 1, true, ENCODING_NONE},
    {"UnsignedInteger8", {"uint8"}, {"uint8"}, FORMAT_INTEGER, 1, false, ENCODING_NONE},
    {"Integer16", {"int16", "word"}, {"int16"}, FORMAT_INTEGER, 2, true, ENCODING_NONE},
    {"UnsignedInteger16", {"uint16"}, {"uint16"}, FORMAT_INTEGER, 2, false, ENCODING_NONE},
    {"Integer32", {"int32", "long", "dword"}, {"int32"}, FORMAT_INTEGER, 4, true, ENCODING_NONE},
    {"UnsignedInteger32", {"uint32"}, {"uint32"}, FORMAT_INTEGER, 4, false, ENCODING_NONE},
    {"Integer64", {"int64", "quad", "qword"}, {"int64"}, FORMAT_INTEGER, 8, true, ENCODING_NONE},
    {"UnsignedInteger64", {"uint64"}, {"uint64"}, FORMAT_INTEGER, 8, false, ENCODING_NONE},
    {"IntegerN", {"intn"}, {"intn"}, FORMAT_INTEGER_N, 0, true, ENCODING_NONE},
    {"UnsignedIntegerN", {"uintn"}, {"uintn"}, FORMAT_INTEGER_N, 0, false, ENCODING_NONE},
    {"Real16", {"float16", "half"}, {"float16", "half"}, FORMAT_REAL, 2, true, ENCODING_NONE},
    {"Real32", {"float32", "single"}, {"float32", "single"}, FORMAT_REAL, 4, true, ENCODING_NONE},
    {"Real64", {"float64", "double"}, {"float64", "double"}, FORMAT_REAL, 8, true, ENCODING_NONE},
    {"Complex32", {}, {}, FORMAT_COMPLEX, 2, true, ENCODING_NONE},
    {"Complex64", {}, {}, FORMAT_COMPLEX, 4, true, ENCODING_NONE},
    {"Complex128", {}, {}, FORMAT_COMPLEX, 8, true, ENCODING_NONE},
    {"ANSI", {}, {}, FORMAT_TEXT, 0, false, ENCODING_ANSI},
    {"UTF8", {}, {}, FORMAT_TEXT, 0, false, ENCODING_UTF8},
    {"UTF16", {}, {}, FORMAT_TEXT, 0, false, ENCODING_UTF16},
    {"UTF32", {}, {}, FORMAT_TEXT, 0, false, ENCODING_UTF32},
};

bool Readable(const Format &f) { return f.kind == FORMAT_INTEGER || f.kind == FORMAT_INTEGER_N || f.kind == FORMAT_REAL; }

// The format of that name (compared exactly) among the names ToString
// accepts, or those the readers accept; null when there is none.
const Format *FindFormat(std::string_view name, bool reading) {
    for (const Format &f : kFormats) {
        if (reading && !Readable(f)) continue;
        if (f.name == name) return &f;
        if (reading) {
            for (std::string_view alias : f.readAliases)
                if (!alias.empty() && alias == name) return &f;
        } else {
            for (std::string_view alias : f.writeAliases)
                if (!alias.empty() && alias == name) return &f;
        }
    }
    return nullptr;
}

// ---- Options ----------------------------------------------------------------------------

enum Conversion { TO_STRING, TO_INTEGER, TO_REAL };

const char16_t *const kConversionNames[] = {u"ToString", u"ToInteger", u"ToReal"};

struct Options {
    int base = 10;
    int order = BYTES_LITTLE_ENDIAN;
    Ref formatOption;            // the BinaryFormat value; null when it has none
    std::string_view formatName;  // the bytes of that string; empty for none
};

// Emits the message of the conversion's tag with the standard form of
// argument (borrowed) as %1.
void Complain(Conversion c, const char16_t *tag, Object *argument) {
    Message_Emit(kConversionNames[c], tag, Message_ShortText(argument));
}

// The value of an option of the call being applied, evaluated: a default
// comes from the pattern as written (-1 is Minus(1) there). A new
// reference; null when the built-in has no such option.
Object *OptionValue(BuiltinSymbol name) {
    Object *v = Native_Option(name);
    return v ? Object_Evaluate(Object_AddRef(v)) : nullptr;
}

// The options of the call being applied, checked in the order each
// built-in checks them. False after the message of the first that fails.
bool ReadOptions(Conversion c, Options *o) {
    Ref format(OptionValue(SYM_BinaryFormat)), order(OptionValue(SYM_Endianness)), base(OptionValue(SYM_DigitBase));
    auto formatValid = [&] {
        if (!format) return true;
        if (!Object_IsString(format.get())) {
            Complain(c, u"BinaryFormat", format.get());
            return false;
        }
        String *s = AsString(format.get());
        o->formatName = std::string_view(reinterpret_cast<const char *>(s->buffer), size_t(s->bytes));
        o->formatOption = std::move(format);
        return true;
    };
    auto orderValid = [&] {
        int64_t v = 0;
        if (!order) return true;
        if (!Native_SmallInteger(order.get(), -1, 1, &v) || v == 0) {
            Complain(c, u"Endianness", order.get());
            return false;
        }
        o->order = static_cast<int>(v);
        return true;
    };
    auto baseValid = [&] {
        int64_t v = 0;
        if (!base) return true;
        if (!Native_SmallInteger(base.get(), 2, 36, &v)) {
            Complain(c, u"DigitBase", base.get());
            return false;
        }
        o->base = static_cast<int>(v);
        return true;
    };
    if (c == TO_STRING) return formatValid() && orderValid() && baseValid();
    return orderValid() && baseValid() && formatValid();
}

// The failure value of each conversion. A new reference.
Object *Failure(Conversion c) {
    switch (c) {
    case TO_STRING: return Object_AddRef(kernel.constants.emptyText);
    case TO_INTEGER: return Object_AddRef(kernel.constants.integers[INT_ZERO]);
    default: return Object_AddRef(kernel.constants.reals[0]);
    }
}

// The UTF-16 text of UTF-8 bytes, every byte read (zero bytes included).
std::u16string Utf8ToText(const unsigned char *p, int64_t n) {
    std::u16string text;
    if (n == 0) return text;  // p may be null then
    text.reserve(size_t(n));
    const unsigned char *end = p + n;
    while (p < end) {
        if (*p < 0x80) {
            text += char16_t(*p++);
            continue;
        }
        char32_t cp;
        p = Utf8_Next(p, end, &cp);
        Utf16_Append(text, cp);
    }
    return text;
}

// The whole content of a string as UTF-16 text: a text string decoded, a
// byte string one character per byte. Borrows s.
std::u16string ContentText(Object *s) {
    String *str = AsString(s);
    if (Object_Subtype(s) == SUB_UTF8) return Utf8ToText(str->buffer, str->bytes);
    if (str->bytes == 0) return u"";
    return std::u16string(str->buffer, str->buffer + str->bytes);
}

std::u16string FormatNameText(const Options &o) {
    return Utf8ToText(reinterpret_cast<const unsigned char *>(o.formatName.data()), int64_t(o.formatName.size()));
}

// ---- Floats -----------------------------------------------------------------------------

uint32_t FloatBits(float x) { return std::bit_cast<uint32_t>(x); }

// The bits of d narrowed to a float format of 2, 4 or 8 bytes; binary16
// goes through binary32.
uint64_t NarrowBits(double d, int bytes) {
    switch (bytes) {
    case 2: return Half_FromFloat(static_cast<float>(d));
    case 4: return FloatBits(static_cast<float>(d));
    default: return std::bit_cast<uint64_t>(d);
    }
}

double WidenBits(uint64_t bits, int bytes) {
    switch (bytes) {
    case 2: return Half_ToFloat(static_cast<uint16_t>(bits));
    case 4: return std::bit_cast<float>(static_cast<uint32_t>(bits));
    default: return std::bit_cast<double>(bits);
    }
}

// ---- ToString ---------------------------------------------------------------------------

// The bytes of a ToString result, and whether any part of it was raw
// bytes, which makes the whole a byte string.
struct Output {
    std::string bytes;
    bool binary = false;
};

// The bytes of a string; an empty one may have no buffer.
void AppendContent(Output &out, String *s) {
    if (s->bytes > 0) out.bytes.append(reinterpret_cast<const char *>(s->buffer), size_t(s->bytes));
}

// Number texts are ASCII.
void AppendAscii(Output &out, std::u16string_view text) {
    size_t at = out.bytes.size();
    out.bytes.resize(at + text.size());
    for (size_t i = 0; i < text.size(); ++i) out.bytes[at + i] = static_cast<char>(text[i]);
}

// The n low bytes of w, in the byte order.
void AppendWord(Output &out, uint64_t w, int n, int order) {
    for (int i = 0; i < n; ++i) {
        int byte = order == BYTES_BIG_ENDIAN ? n - 1 - i : i;
        out.bytes += static_cast<char>((w >> (8 * byte)) & 0xFF);
    }
    out.binary = true;
}

std::u16string IntegerText(Object *n, int base) {
    if (Object_Subtype(n) == SUB_SMALL) return Integer_ToText(AsInteger(n)->small, base);
    return BigInt_ToText(AsInteger(n)->big, base);
}

// The number of digits of a machine real in a base: those of 53 bits.
int64_t MachineDigits(int base) { return std::lround(53 * std::log(2.0) / std::log(double(base))); }

// The text of an Integer, Rational or Real in the base. Borrows x.
std::u16string RealNumberText(Object *x, int base) {
    switch (Object_Type(x)) {
    case TYPE_INTEGER: return IntegerText(x, base);
    case TYPE_RATIONAL:
        return IntegerText(AsRational(x)->numerator, base) + u"/" + IntegerText(AsRational(x)->denominator, base);
    default: break;
    }
    switch (Object_Subtype(x)) {
    case SUB_MACHINE: return MachineReal_ToBaseText(AsReal(x)->value, MachineDigits(base), base, u"e");
    case SUB_BIG: return BigFloat_ToText(AsReal(x)->big, base, u"e");
    case SUB_OVERFLOW: return AsReal(x)->value < 0 ? u"-Overflow" : u"Overflow";
    default: return AsReal(x)->value < 0 ? u"-Underflow" : u"Underflow";
    }
}

std::u16string ComplexText(Object *z, int base) {
    if (Object_Subtype(z) == SUB_OVERFLOW) return u"ComplexOverflow";
    if (Object_Subtype(z) == SUB_UNDERFLOW) return u"ComplexUnderflow";
    Complex *c = AsComplex(z);
    std::u16string text = RealNumberText(c->re, base);
    if (Number_Sign(c->im) >= 0) text += u'+';
    text += RealNumberText(c->im, base);
    text += u"*I";
    return text;
}

// The low 64 bits of the Integer x in two's complement.
uint64_t LowWord(Object *x) {
    if (Object_Subtype(x) == SUB_SMALL) return static_cast<uint64_t>(AsInteger(x)->small);
    const BigInt *b = AsInteger(x)->big;
    return b->sign < 0 ? 0 - b->limbs[0] : b->limbs[0];
}

// Whether the Integer x lies in the range of the fixed integer format f.
bool FitsInteger(Object *x, const Format &f) {
    if (Object_Subtype(x) != SUB_SMALL) {
        const BigInt *b = AsInteger(x)->big;
        return f.bytes == 8 && !f.isSigned && b->sign > 0 && b->top == 0;
    }
    int64_t v = AsInteger(x)->small;
    int bits = 8 * f.bytes;
    if (bits == 64) return f.isSigned || v >= 0;
    if (f.isSigned) return v >= -(int64_t(1) << (bits - 1)) && v < (int64_t(1) << (bits - 1));
    return v >= 0 && v < (int64_t(1) << bits);
}

// Whether the Integer x is one of the integers the float format of that
// width holds without rounding, as far as the format promises.
bool FitsFloat(Object *x, int bytes) {
    if (Object_Subtype(x) != SUB_SMALL) return false;
    int64_t v = AsInteger(x)->small;
    switch (bytes) {
    case 2: return v >= -2047 && v < 2048;
    case 4: return v >= -16777215 && v < 16777216;
    default: return v >= -((int64_t(1) << 53) - 1) && v < (int64_t(1) << 53);
    }
}

void Insufficient(const Options &o, Object *x) {
    Message_Emit(u"ToString", u"InsufficientBinaryFormat", FormatNameText(o), Message_ShortText(x));
}

// The value of the Integer x in two's complement over the limbs of its
// magnitude and one more, so that the top limb holds only sign bits.
std::vector<Limb> TwosComplement(Object *x) {
    if (Object_Subtype(x) == SUB_SMALL) {
        int64_t v = AsInteger(x)->small;
        return {static_cast<Limb>(v), v < 0 ? ~Limb(0) : 0};
    }
    const BigInt *b = AsInteger(x)->big;
    std::vector<Limb> limbs(b->limbs, b->limbs + b->top + 1);
    limbs.push_back(0);
    if (b->sign < 0) Limbs_Negate(limbs.data(), limbs.data(), int64_t(limbs.size()) * LIMB_BYTES);
    return limbs;
}

// IntegerN and UnsignedIntegerN: the fewest bytes that hold x, two's
// complement with room for the sign bit, or the magnitude alone. A
// negative x written unsigned is complained about and keeps the length
// its complement would need.
void AppendMinimal(Output &out, Object *x, const Options &o, bool isSigned) {
    std::vector<Limb> value = TwosComplement(x);
    bool negative = Object_Sign(x) < 0;
    int64_t len = int64_t(value.size()) * LIMB_BYTES;
    // The highest bit that differs from the sign: that of x, or of its
    // complement -x - 1 when x is negative.
    int64_t b;
    if (negative) {
        std::vector<Limb> complement(value.size());
        Bytes_Not(complement.data(), value.data(), len);
        b = Limbs_HighestBit(complement.data(), len);
    } else {
        b = Limbs_HighestBit(value.data(), len);
    }
    if (!isSigned && negative) Insufficient(o, x);
    int64_t n = isSigned ? (b + 1) / 8 + 1 : (b < 0 ? 1 : b / 8 + 1);
    size_t at = out.bytes.size();
    out.bytes.resize(at + size_t(n));
    for (int64_t i = 0; i < n; ++i) {
        int64_t byte = o.order == BYTES_BIG_ENDIAN ? n - 1 - i : i;
        out.bytes[at + size_t(i)] = static_cast<char>((value[size_t(byte / 8)] >> (8 * (byte % 8))) & 0xFF);
    }
    out.binary = true;
}

bool WriteInteger(Object *x, const Options &o, const Format *f, Output &out) {
    if (!f) {
        AppendAscii(out, IntegerText(x, o.base));
        return true;
    }
    switch (f->kind) {
    case FORMAT_INTEGER:
        if (!FitsInteger(x, *f)) Insufficient(o, x);
        AppendWord(out, LowWord(x), f->bytes, o.order);
        return true;
    case FORMAT_INTEGER_N: AppendMinimal(out, x, o, f->isSigned); return true;
    case FORMAT_REAL:
        if (!FitsFloat(x, f->bytes)) Insufficient(o, x);
        AppendWord(out, NarrowBits(Number_ToDouble(x), f->bytes), f->bytes, BYTES_LITTLE_ENDIAN);
        return true;
    default: Complain(TO_STRING, u"BinaryFormat", o.formatOption.get()); return false;
    }
}

// A Rational or Real: its text, or its nearest float in a real format.
bool WriteRealNumber(Object *x, const Options &o, const Format *f, Output &out) {
    if (!f) {
        AppendAscii(out, RealNumberText(x, o.base));
        return true;
    }
    if (f->kind != FORMAT_REAL) {
        Complain(TO_STRING, u"BinaryFormat", o.formatOption.get());
        return false;
    }
    AppendWord(out, NarrowBits(Number_ToDouble(x), f->bytes), f->bytes, BYTES_LITTLE_ENDIAN);
    return true;
}

// A complex number: its text, or its parts in a complex format. The parts
// of ComplexOverflow are written as +infinity and those of
// ComplexUnderflow as 0, the floats nearest to what they stand for.
bool WriteComplex(Object *z, const Options &o, const Format *f, Output &out) {
    if (!f) {
        AppendAscii(out, ComplexText(z, o.base));
        return true;
    }
    if (f->kind != FORMAT_COMPLEX) {
        Complain(TO_STRING, u"BinaryFormat", o.formatOption.get());
        return false;
    }
    double re = 0, im = 0;
    if (Object_Subtype(z) == SUB_OVERFLOW) {
        re = im = HUGE_VAL;
    } else if (Object_Subtype(z) == SUB_PLAIN) {
        re = Number_ToDouble(AsComplex(z)->re);
        im = Number_ToDouble(AsComplex(z)->im);
    }
    AppendWord(out, NarrowBits(re, f->bytes), f->bytes, BYTES_LITTLE_ENDIAN);
    AppendWord(out, NarrowBits(im, f->bytes), f->bytes, BYTES_LITTLE_ENDIAN);
    return true;
}

// The byte of code page 1252 that stands for cp, best fit included.
unsigned char BestFit(char32_t cp) {
    size_t lo = 0, hi = kBestFit1252Count;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (kBestFit1252[mid].codePoint < cp) lo = mid + 1;
        else hi = mid;
    }
    if (lo < kBestFit1252Count && kBestFit1252[lo].codePoint == cp) return kBestFit1252[lo].byte;
    return '?';
}

// Text to the bytes of an encoding: code page 1252, UTF-16 units (pairs
// above U+FFFF) or UTF-32 units.
void EncodeText(const unsigned char *p, int64_t n, Encoding e, int order, Output &out) {
    const unsigned char *end = p + n;
    out.binary = true;
    while (p < end) {
        char32_t cp;
        p = Utf8_Next(p, end, &cp);
        switch (e) {
        case ENCODING_ANSI: out.bytes += static_cast<char>(BestFit(cp)); break;
        case ENCODING_UTF16:
            if (cp < 0x10000) {
                AppendWord(out, cp, 2, order);
            } else {
                AppendWord(out, 0xD800 + ((cp - 0x10000) >> 10), 2, order);
                AppendWord(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), 2, order);
            }
            break;
        default: AppendWord(out, cp, 4, order); break;
        }
    }
}

// The unit of `size` bytes at p in the byte order.
uint32_t ReadUnit(const unsigned char *p, int size, int order) {
    uint32_t u = 0;
    for (int i = 0; i < size; ++i) u |= uint32_t(p[order == BYTES_BIG_ENDIAN ? size - 1 - i : i]) << (8 * i);
    return u;
}

// Bytes of an encoding to text (see the top of the file for what does not
// decode).
void DecodeText(const unsigned char *p, int64_t n, Encoding e, int order, Output &out) {
    std::string &text = out.bytes;
    switch (e) {
    case ENCODING_ANSI:
        for (int64_t i = 0; i < n; ++i) Utf8_Append(text, kCodePage1252[p[i]]);
        return;
    case ENCODING_UTF16:
        for (int64_t i = 0; i + 1 < n; i += 2) {
            char32_t u = ReadUnit(p + i, 2, order);
            if (u >= 0xD800 && u < 0xDC00 && i + 3 < n) {
                char32_t low = ReadUnit(p + i + 2, 2, order);
                if (low >= 0xDC00 && low < 0xE000) {
                    u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            Utf8_Append(text, u);
        }
        if (n % 2) Utf8_Append(text, kReplacementCharacter);
        return;
    default:
        for (int64_t i = 0; i + 3 < n; i += 4) {
            char32_t u = ReadUnit(p + i, 4, order);
            Utf8_Append(text, u > 0x10FFFF ? kReplacementCharacter : u);
        }
        if (n % 4) Utf8_Append(text, kReplacementCharacter);
        return;
    }
}

bool WriteString(Object *s, const Options &o, const Format *f, Output &out) {
    String *str = AsString(s);
    bool isText = Object_Subtype(s) == SUB_UTF8;
    if (!f) {
        AppendContent(out, str);
        if (!isText) out.binary = true;
        return true;
    }
    if (f->kind != FORMAT_TEXT) {
        Complain(TO_STRING, u"BinaryFormat", o.formatOption.get());
        return false;
    }
    if (f->encoding == ENCODING_UTF8) {
        AppendContent(out, str);
        if (isText) out.binary = true;
    } else if (isText) {
        EncodeText(str->buffer, str->bytes, f->encoding, o.order, out);
    } else {
        DecodeText(str->buffer, str->bytes, f->encoding, o.order, out);
    }
    return true;
}

// Appends the conversion of x; false after the message when x cannot be
// written in the format. Borrows x.
bool Write(Object *x, const Options &o, const Format *f, Output &out) {
    switch (Object_Type(x)) {
    case TYPE_INTEGER: return WriteInteger(x, o, f, out);
    case TYPE_RATIONAL:
    case TYPE_REAL: return WriteRealNumber(x, o, f, out);
    case TYPE_COMPLEX: return WriteComplex(x, o, f, out);
    case TYPE_STRING: return WriteString(x, o, f, out);
    case TYPE_SYMBOL: {
        std::u16string_view name = Symbol_Name(AsSymbol(x));
        out.bytes += Utf16_ToUtf8(name);
        return true;
    }
    default: break;
    }
    bool list = Native_IsList(x);
    if (!list && !Write(Expression_At(x, 0), o, f, out)) return false;
    out.bytes += list ? '{' : '(';
    for (int64_t i = 1; i <= Expression_Length(x); ++i) {
        if (i > 1) out.bytes += ", ";
        if (!Write(Expression_At(x, i), o, f, out)) return false;
    }
    out.bytes += list ? '}' : ')';
    return true;
}

// ToString(x, options). Consumes the call.
Object *Builtin_ToString(Object *call) {
    Options o;
    if (!ReadOptions(TO_STRING, &o)) return Object_ReleaseReturn(call, Failure(TO_STRING));
    const Format *f = nullptr;
    if (!o.formatName.empty() && !(f = FindFormat(o.formatName, false))) {
        Complain(TO_STRING, u"BinaryFormat", o.formatOption.get());
        return Object_ReleaseReturn(call, Failure(TO_STRING));
    }
    Object *x = Expression_At(call, 1);
    if (Object_IsString(x) && !f) return Object_ReleaseReturn(call, Object_AddRef(x));
    Output out;
    if (!Write(x, o, f, out)) return Object_ReleaseReturn(call, Failure(TO_STRING));
    Object_Release(call);
    return String_New(out.bytes.data(), int64_t(out.bytes.size()), out.binary ? SUB_BYTES : SUB_UTF8);
}

// ---- ToInteger --------------------------------------------------------------------------

// The format a reader was given, among those of the kinds it reads: null
// with *ok set when none was given, null with *ok cleared after the
// message when the name is not one of them.
const Format *ReadingFormat(Conversion c, const Options &o, bool *ok) {
    *ok = true;
    if (o.formatName.empty()) return nullptr;
    const Format *f = FindFormat(o.formatName, true);
    bool fits = f && (c == TO_REAL ? f->kind == FORMAT_REAL : f->kind != FORMAT_REAL);
    if (fits) return f;
    Complain(c, u"BinaryFormat", o.formatOption.get());
    *ok = false;
    return nullptr;
}

// Whether the byte string s has the bytes of the fixed format f, after
// the message when it has not. Borrows s.
bool LongEnough(Conversion c, const Options &o, const Format &f, Object *s) {
    if (AsString(s)->bytes >= f.bytes) return true;
    Message_Emit(kConversionNames[c], u"StringLength", FormatNameText(o), Message_ShortText(s));
    return false;
}

// The integer of a byte string. Borrows s; null after the message.
Object *DecodeInteger(Object *s, const Options &o) {
    bool ok;
    const Format *f = ReadingFormat(TO_INTEGER, o, &ok);
    if (!ok) return nullptr;
    String *str = AsString(s);
    if (f && f->kind == FORMAT_INTEGER) {
        if (!LongEnough(TO_INTEGER, o, *f, s)) return nullptr;
        return Integer_FromBytes(str->buffer, f->bytes, o.order, f->isSigned);
    }
    return Integer_FromBytes(str->buffer, str->bytes, o.order, f && f->isSigned);
}

// A real truncated toward zero, after the Precision warning when its error
// reaches the units digit. Borrows x.
Object *TruncateReal(Object *x) {
    bool imprecise = false;
    if (Real_IsMachine(x)) imprecise = std::fabs(AsReal(x)->value) >= 0x1p53;
    else if (Real_IsBig(x)) imprecise = AsReal(x)->big->accuracy < 1;
    if (imprecise) Complain(TO_INTEGER, u"Precision", x);
    return Round_Number(x, ROUND_TRUNC);
}

// The outcome of one attempt at truncating a numeric value.
enum Outcome { SETTLED, UNSETTLED, NOT_A_NUMBER };

// Whether the inexact real v certainly truncates to the Integer c: it lies
// strictly inside (c, c + 1) for c > 0, (c - 1, c) for c < 0 or (-1, 1)
// for c = 0, beyond its error bound. Borrows both.
bool Settles(Object *v, Object *c) {
    int s = Object_Sign(c);
    Ref lo(s > 0 ? Object_AddRef(c) : Number_Add(Object_AddRef(c), Integer_FromSmall(-1)));
    Ref hi(s < 0 ? Object_AddRef(c) : Number_Add(Object_AddRef(c), Integer_FromSmall(1)));
    return (Compare(v, lo.get(), CMP_REQ_NUMERIC) & CMP_GREATER) && (Compare(v, hi.get(), CMP_REQ_NUMERIC) & CMP_LESS);
}

// Truncates the numeric value v of a quantity: the real part of a complex
// value; *result receives the integer when it is certain. Borrows v.
Outcome TruncateValue(Object *v, Object **result) {
    if (!Number_Is(v)) return NOT_A_NUMBER;
    if (Object_IsComplex(v)) {
        if (Object_Subtype(v) == SUB_OVERFLOW) {
            *result = Object_AddRef(v);
            return SETTLED;
        }
        v = Object_Subtype(v) == SUB_UNDERFLOW ? kernel.constants.integers[INT_ZERO] : AsComplex(v)->re;
    }
    Ref c(Round_Number(v, ROUND_TRUNC));
    if (!c || !Number_Is(c.get())) return UNSETTLED;
    bool exact = !Number_IsInexact(v) || Object_Subtype(v) == SUB_OVERFLOW || Object_Subtype(v) == SUB_UNDERFLOW;
    if (!exact && !Settles(v, c.get())) return UNSETTLED;
    *result = c.release();
    return SETTLED;
}

// The truncation of a symbol or expression by its numeric value, taken at
// machine precision and then with ExtraPrecisionLimit digits more, with
// the error bounds of arbitrary precision, so that cancellation shows; a
// quantity that has no value in arbitrary precision is judged by its
// machine value. Borrows x; null after the message when neither attempt
// settles it.
Object *TruncateQuantity(Object *x) {
    Object *result = nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        double digits = attempt == 0 ? kMachinePrecision : kMachinePrecision + kernel.settings.extraPrecisionLimit;
        Ref v(Numeric_DecisionValue(Object_AddRef(x), digits));
        Outcome outcome = TruncateValue(v.get(), &result);
        if (outcome == SETTLED) return result;
        if (outcome == NOT_A_NUMBER) {
            if (attempt == 1) break;
            Ref m(Numeric_Evaluate(Object_AddRef(x), NUMERIC_MACHINE, 0));
            if (TruncateValue(m.get(), &result) == SETTLED) return result;
            break;
        }
    }
    Message_Emit(u"ToInteger", u"ExtraPrecisionLimit",
                 Message_IntegerText(std::llround(kernel.settings.extraPrecisionLimit)));
    return nullptr;
}

// ToInteger of x. Borrows x; a new reference, or null after the message.
Object *IntegerOf(Object *x, const Options &o) {
    switch (Object_Type(x)) {
    case TYPE_INTEGER: return Object_AddRef(x);
    case TYPE_REAL: return TruncateReal(x);
    case TYPE_RATIONAL: return Round_Number(x, ROUND_TRUNC);
    case TYPE_COMPLEX:
        if (Object_Subtype(x) == SUB_OVERFLOW) return Object_AddRef(x);
        if (Object_Subtype(x) == SUB_UNDERFLOW) return Integer_FromSmall(0);
        return IntegerOf(AsComplex(x)->re, o);
    case TYPE_STRING:
        if (Object_Subtype(x) == SUB_UTF8) return Integer_FromText(ContentText(x), o.base);
        return DecodeInteger(x, o);
    default: return TruncateQuantity(x);
    }
}

// ToInteger(x, options). Consumes the call.
Object *Builtin_ToInteger(Object *call) {
    Options o;
    Object *r = ReadOptions(TO_INTEGER, &o) ? IntegerOf(Expression_At(call, 1), o) : nullptr;
    return Object_ReleaseReturn(call, r ? r : Failure(TO_INTEGER));
}

// ---- ToReal -----------------------------------------------------------------------------

int DigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'z') return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
    return 99;
}

// m * base^d rounded to a double: correctly through the library's decimal
// reader in base 10, exactly by the exponent in the bases that are powers
// of two, and through extended precision in the others.
double ScaleMantissa(uint64_t m, int base, int64_t d) {
    if (m == 0) return 0.0;
    int64_t limit = 100000;  // far past the double range in every base
    d = d > limit ? limit : d < -limit ? -limit : d;
    if (base == 10) {
        char text[48];
        std::snprintf(text, sizeof text, "%llue%lld", static_cast<unsigned long long>(m), static_cast<long long>(d));
        return std::strtod(text, nullptr);
    }
    if ((base & (base - 1)) == 0) return std::ldexp(double(m), static_cast<int>(d * std::countr_zero(unsigned(base))));
    long double power = 1, b = base;
    for (uint64_t n = uint64_t(d < 0 ? -d : d); n; n >>= 1, b *= b)
        if (n & 1) power *= b;
    return static_cast<double>(d < 0 ? static_cast<long double>(m) / power : static_cast<long double>(m) * power);
}

// The machine reading of a number text, by the scan of Real_FromText with
// the mark "e": true with *out set when the mantissa fits the 53 bits of a
// double and the scaled value is a normal double; false when only an
// arbitrary-precision real holds it.
bool MachineValue(std::u16string_view text, int base, double *out) {
    constexpr uint64_t kMantissaLimit = uint64_t(1) << 56;
    constexpr int64_t kExponentLimit = (int64_t(1) << 56) - 1;
    uint64_t m = 0;
    int64_t fractionDigits = 0, exponent = 0;
    bool digit = false, negative = false, signSeen = false, point = false;
    bool inExponent = false, exponentNegative = false, exponentSignAllowed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t ch = text[i];
        int d = DigitValue(ch);
        if (inExponent) {
            if (exponentSignAllowed && (ch == u'+' || ch == u'-')) {
                exponentNegative = ch == u'-';
                exponentSignAllowed = false;
                continue;
            }
            if (d >= base) break;
            exponentSignAllowed = false;
            exponent = exponent * base + d;
            if (exponent >= kExponentLimit) return false;
            continue;
        }
        if (digit && ch == u'e') {
            inExponent = exponentSignAllowed = true;
            continue;
        }
        if (d < base) {
            if (m > (kMantissaLimit - uint64_t(d)) / uint64_t(base)) return false;
            m = m * uint64_t(base) + uint64_t(d);
            digit = true;
            if (point) ++fractionDigits;
        } else if (ch == u'.') {
            if (point) break;
            point = true;
        } else if (digit) {
            break;
        } else if (ch == u'+' || ch == u'-') {
            if (signSeen) break;
            signSeen = true;
            negative = ch == u'-';
        }
    }
    if (m >= (uint64_t(1) << 53)) return false;
    double v = ScaleMantissa(m, base, (exponentNegative ? -exponent : exponent) - fractionDigits);
    if (m != 0 && (!std::isfinite(v) || v < DBL_MIN)) return false;
    *out = negative ? -v : v;
    return true;
}

// A number text read as a machine real when a double holds it, otherwise
// as an arbitrary-precision real with all its digits.
Object *ReadReal(std::u16string_view text, int base) {
    double v;
    if (MachineValue(text, base, &v)) return Real_FromDouble(v);
    return Real_FromText(text, base, u"e", -1);
}

// The real of a byte string: a float format, or without one its
// characters as a number text. Borrows s; null after the message.
Object *DecodeReal(Object *s, const Options &o) {
    bool ok;
    const Format *f = ReadingFormat(TO_REAL, o, &ok);
    if (!ok) return nullptr;
    if (!f) return ReadReal(ContentText(s), o.base);
    if (!LongEnough(TO_REAL, o, *f, s)) return nullptr;
    uint64_t bits = 0;
    for (int i = 0; i < f->bytes; ++i) bits |= uint64_t(AsString(s)->buffer[i]) << (8 * i);
    return Real_Normalize(Real_FromDouble(WidenBits(bits, f->bytes)));
}

// ToReal(x, options). Consumes the call.
Object *Builtin_ToReal(Object *call) {
    Options o;
    if (!ReadOptions(TO_REAL, &o)) return Object_ReleaseReturn(call, Failure(TO_REAL));
    Object *x = Expression_At(call, 1);
    Object *r;
    if (!Object_IsString(x)) r = Numeric_Evaluate(Object_AddRef(x), NUMERIC_MACHINE, 0);
    else if (Object_Subtype(x) == SUB_UTF8) r = ReadReal(ContentText(x), o.base);
    else r = DecodeReal(x, o);
    return Object_ReleaseReturn(call, r ? r : Failure(TO_REAL));
}

const NativeRow kNatives[] = {
    {SYM_ToInteger, {u"ToInteger(\?, Options(DigitBase -> 10, BinaryFormat -> \"\", Endianness -> -1))"}, Builtin_ToInteger},
    {SYM_ToReal, {u"ToReal(\?, Options(DigitBase -> 10, BinaryFormat -> \"\"))"}, Builtin_ToReal},
    {SYM_ToString, {u"ToString(\?, Options(DigitBase -> 10, BinaryFormat -> \"\", Endianness -> -1))"}, Builtin_ToString},
};

}  // namespace

Object *Integer_FromBytes(const unsigned char *p, int64_t n, int order, bool isSigned) {
    if (n <= 0) return Integer_FromSmall(0);
    int64_t count = (n + LIMB_BYTES - 1) / LIMB_BYTES;
    std::vector<Limb> limbs(size_t(count), 0);
    for (int64_t i = 0; i < n; ++i) {
        Limb byte = p[order == BYTES_BIG_ENDIAN ? n - 1 - i : i];
        limbs[size_t(i / 8)] |= byte << (8 * (i % 8));
    }
    bool negative = isSigned && (p[order == BYTES_BIG_ENDIAN ? 0 : n - 1] & 0x80);
    if (negative) {
        // Sign-extend to the whole top limb, then take the magnitude.
        for (int64_t i = n; i < count * LIMB_BYTES; ++i) limbs[size_t(i / 8)] |= Limb(0xFF) << (8 * (i % 8));
        Limbs_Negate(limbs.data(), limbs.data(), count * LIMB_BYTES);
    }
    if (count == 1) {
        Limb m = limbs[0];
        if (!negative && m < (Limb(1) << 63)) return Integer_FromSmall(static_cast<int64_t>(m));
        // -2^63 is the magnitude 2^63, which also reads as a negative word.
        if (negative && m <= (Limb(1) << 63)) return Integer_FromSmall(static_cast<int64_t>(0 - m));
    }
    Object *r = Integer_FromBigInt();
    BigInt *b = AsInteger(r)->big;
    // 2^(64 (count - 1)) has exactly count limbs, all of which are then
    // overwritten; past the limb limit it is the overflow record already.
    BigInt_SetSmall(b, 1);
    if (count > 1) BigInt_Shift(b, b, 64 * (count - 1));
    if (b->kind != IntInfinite) {
        std::memcpy(b->limbs, limbs.data(), size_t(count) * LIMB_BYTES);
        b->sign = negative ? -1 : 1;
        BigInt_Normalize(b);
    }
    return Integer_Normalize(r);
}

uint16_t Half_FromFloat(float x) {
    uint32_t bits = FloatBits(x);
    uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000);
    bits &= 0x7FFFFFFF;
    if (bits >= 0x7F800000) {
        if (bits == 0x7F800000) return sign | 0x7C00;
        return static_cast<uint16_t>(sign | 0x7E00 | ((bits >> 13) & 0x3FF));
    }
    // From 65520 on (halfway between the largest half and 2^16) the nearest
    // even is infinity.
    if (bits >= 0x477FF000) return sign | 0x7C00;
    uint32_t q, rest, half;
    if (bits < 0x38800000) {
        // Below 2^-14: a subnormal half, counted in units of 2^-24.
        if (bits < 0x33000000) return sign;  // at most 2^-25, which ties to 0
        uint32_t mantissa = (bits & 0x7FFFFF) | 0x800000;
        int shift = 126 - static_cast<int>(bits >> 23);
        q = mantissa >> shift;
        rest = mantissa & ((uint32_t(1) << shift) - 1);
        half = uint32_t(1) << (shift - 1);
    } else {
        q = ((bits >> 23) - 112) << 10 | ((bits >> 13) & 0x3FF);
        rest = bits & 0x1FFF;
        half = 0x1000;
    }
    // A carry out of the mantissa moves into the exponent, as it should.
    if (rest > half || (rest == half && (q & 1))) ++q;
    return static_cast<uint16_t>(sign | q);
}

float Half_ToFloat(uint16_t h) {
    uint32_t sign = uint32_t(h & 0x8000) << 16;
    uint32_t exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
    if (exponent == 0) {
        float v = std::ldexp(static_cast<float>(mantissa), -24);
        return sign ? -v : v;
    }
    if (exponent == 31) return std::bit_cast<float>(sign | 0x7F800000 | (mantissa << 13));
    return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
}

extern const NativeTable BinaryFormatNatives = Table_Of(kNatives);
