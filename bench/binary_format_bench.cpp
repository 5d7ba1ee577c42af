// ToString and ToInteger of a million-digit integer, through the built-ins,
// beside GMP on the same value: digit texts in base 10 and base 16 against
// mpz_get_str and mpz_set_str, and the IntegerN bytes against mpz_export
// and mpz_import. Each case is process CPU time, the best of several rounds
// (bench::Time); the target column is the ratio each case must meet.
#include <gmp.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "bench_timing.h"
#include "kernel/state.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/number_text.h"
#include "object/expression.h"
#include "object/string.h"
#include "object/symbol.h"
#include "vorlan.h"

namespace {

using bench::Time;

void Row(const char *name, double ours, double gmp, double target) {
    double ratio = ours / gmp;
    std::printf("%-38s %10.2f ms %10.2f ms %8.2f  %4.1fx %s\n", name, ours * 1e3, gmp * 1e3, ratio, target,
                ratio <= target ? "" : "MISSED");
}

// f(x, option -> value), evaluated. Consumes x and value; a new reference.
Object *Call(const char16_t *f, Object *x, const char16_t *option, Object *value) {
    Object *rule = Expression_New(Symbol_Intern(u"Rule"), Symbol_Intern(option), value);
    return Object_Evaluate(Expression_New(Symbol_Intern(f), x, rule));
}

Object *Base(int base) { return Integer_FromSmall(base); }

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Kernel_Initialize();
    std::mt19937_64 random(29);
    std::string decimal(1000000, '0');
    for (char &c : decimal) c = char('0' + random() % 10);
    decimal[0] = '9';
    Ref n(Integer_FromText(std::u16string(decimal.begin(), decimal.end()), 10));
    mpz_t g;
    mpz_init_set_str(g, decimal.c_str(), 10);

    std::printf("%-38s %13s %13s %8s\n", "case (10^6 decimal digits)", "ours", "GMP", "ratio");
    for (int base : {10, 16}) {
        Ref text(Call(u"ToString", Object_AddRef(n.get()), u"DigitBase", Base(base)));
        char *digits = mpz_get_str(nullptr, base, g);
        std::string theirs(digits);
        std::free(digits);
        String *s = AsString(text.get());
        // mpz_get_str writes lower-case letters; ours are upper case.
        bool same = int64_t(theirs.size()) == s->bytes;
        for (size_t i = 0; same && i < theirs.size(); ++i) same = std::toupper(theirs[i]) == s->buffer[i];
        if (!same) std::printf("base %d: the texts differ\n", base);

        double ours = Time([&] { Object_Release(Call(u"ToString", Object_AddRef(n.get()), u"DigitBase", Base(base))); });
        double gmp = Time([&] { std::free(mpz_get_str(nullptr, base, g)); });
        std::string name = "ToString, base " + std::to_string(base);
        Row(name.c_str(), ours, gmp, 3.0);
        // What the digit conversion alone takes, the most of the built-in's
        // time.
        double digitsOnly = Time([&] { BigInt_ToText(AsInteger(n.get())->big, base); });
        Row("  of which BigInt_ToText", digitsOnly, gmp, 3.0);

        mpz_t back;
        mpz_init(back);
        ours = Time([&] { Object_Release(Call(u"ToInteger", Object_AddRef(text.get()), u"DigitBase", Base(base))); });
        gmp = Time([&] { mpz_set_str(back, theirs.c_str(), base); });
        mpz_clear(back);
        name = "ToInteger, base " + std::to_string(base);
        Row(name.c_str(), ours, gmp, 3.0);
        std::u16string wide(theirs.begin(), theirs.end());
        digitsOnly = Time([&] { Object_Release(Integer_FromText(wide, base)); });
        Row("  of which Integer_FromText", digitsOnly, gmp, 3.0);
    }

    // The bytes of IntegerN: a copy of the limbs either way.
    Object *format = String_New("IntegerN", 8, SUB_UTF8);
    Ref bytes(Call(u"ToString", Object_AddRef(n.get()), u"BinaryFormat", Object_AddRef(format)));
    double ours = Time([&] { Object_Release(Call(u"ToString", Object_AddRef(n.get()), u"BinaryFormat", Object_AddRef(format))); });
    size_t count = 0;
    std::string buffer(size_t(AsString(bytes.get())->bytes) + 8, '\0');
    double gmp = Time([&] { mpz_export(buffer.data(), &count, -1, 1, 0, 0, g); });
    Row("ToString, IntegerN", ours, gmp, 3.0);
    Object *again = Call(u"ToInteger", Object_AddRef(bytes.get()), u"BinaryFormat", Object_AddRef(format));
    if (!Object_Same(again, n.get(), OBJ_RELEASE_FIRST)) std::printf("IntegerN: the bytes do not read back\n");
    ours = Time([&] { Object_Release(Call(u"ToInteger", Object_AddRef(bytes.get()), u"BinaryFormat", Object_AddRef(format))); });
    mpz_t back;
    mpz_init(back);
    gmp = Time([&] { mpz_import(back, count, -1, 1, 0, 0, buffer.data()); });
    mpz_clear(back);
    Row("ToInteger, IntegerN", ours, gmp, 3.0);

    Object_Release(format);
    mpz_clear(g);
    // Terminating drops every object, so the references go first.
    bytes.reset();
    n.reset();
    Kernel_Terminate();
    return 0;
}
