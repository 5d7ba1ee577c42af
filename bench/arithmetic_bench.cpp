// Exact arithmetic against GMP: the power 3^100000 through the whole
// kernel (the text "3^100000" parsed once and evaluated) and through
// Integer_Power directly, both against mpz_pow_ui. Prints one table: our
// time, GMP's time and the ratio for each case, each timed as the best of
// several rounds of a loop long enough for the clock.
#include <gmp.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_timing.h"
#include "number/integer.h"
#include "vorlan.h"

namespace {

using bench::Time;

void Row(const char *name, double ours, double gmp) {
    std::printf("%-34s %12.1f %12.1f %8.2f\n", name, ours * 1e6, gmp * 1e6, ours / gmp);
}

int64_t Input(const char16_t *text) {
    int64_t h = Kernel_InputExpression(text);
    if (!h) {
        std::fprintf(stderr, "bench input does not parse\n");
        std::exit(1);
    }
    return h;
}

// The kernel's decimal text of 3^100000 must be GMP's.
void Verify(int64_t input) {
    int64_t r = Kernel_EvaluateExpression(Kernel_DuplicateExpression(input));
    const char16_t *text = Kernel_OutputExpression(r);
    mpz_t z;
    mpz_init(z);
    mpz_ui_pow_ui(z, 3, 100000);
    char *digits = mpz_get_str(nullptr, 10, z);
    std::string want(digits), got;
    for (const char16_t *p = text; *p; ++p) got += static_cast<char>(*p);
    void (*freefunc)(void *, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(digits, want.size() + 1);
    mpz_clear(z);
    Kernel_FreeExpression(r);
    if (got != want) {
        std::fprintf(stderr, "3^100000 differs from GMP's\n");
        std::exit(1);
    }
}

}  // namespace

int main() {
    Kernel_Initialize();
    std::printf("GMP %s; times in microseconds per operation\n\n", gmp_version);
    std::printf("%-34s %12s %12s %8s\n", "case", "ours", "GMP", "ratio");

    mpz_t z;
    mpz_init(z);
    double gmp = Time([&] { mpz_ui_pow_ui(z, 3, 100000); });
    mpz_clear(z);

    int64_t input = Input(u"3^100000");
    Verify(input);
    double kernel = Time([&] { Kernel_FreeExpression(Kernel_EvaluateExpression(Kernel_DuplicateExpression(input))); });
    Kernel_FreeExpression(input);
    Row("3^100000 evaluated", kernel, gmp);

    double direct = Time([] { Object_Release(Integer_Power(Integer_FromSmall(3), Integer_FromSmall(100000))); });
    Row("3^100000 Integer_Power", direct, gmp);

    Kernel_Terminate();
    return 0;
}
