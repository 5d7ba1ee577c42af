// The elementary functions as users call them, Calculate(f(1/3), d) through
// the public interface, against MPFR computing the same function of 1/3 at
// the same precision (the argument rounded to d digits first, as numeric
// evaluation does). Our constant caches stay warm between repetitions, as
// MPFR's do.
#include <mpfr.h>

#include <cstdio>
#include <string>

#include "bench_kernel.h"

namespace {

struct Case {
    const char *name;     // the Vorlan function
    const char *numerator;
    const char *denominator;
    int (*mpfr)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
};

const Case kCases[] = {
    {"Exp", "1", "3", mpfr_exp},
    {"Log", "2", "3", mpfr_log},
    {"Sin", "1", "3", mpfr_sin},
    {"ArcTan", "1", "3", mpfr_atan},
};

double Mpfr(const Case &c, int digits) {
    auto bits = static_cast<mpfr_prec_t>(digits * 3.321928094887362) + 1;
    mpfr_t x, r;
    mpfr_init2(x, bits);
    mpfr_init2(r, bits);
    mpfr_set_str(x, c.numerator, 10, MPFR_RNDN);
    mpfr_div_ui(x, x, static_cast<unsigned long>(std::stoul(c.denominator)), MPFR_RNDN);
    double s = bench::Time([&] { c.mpfr(r, x, MPFR_RNDN); });
    mpfr_clear(x);
    mpfr_clear(r);
    return s;
}

}  // namespace

int main() {
    Kernel_Initialize();
    std::printf("Calculate(f(x), d) against MPFR %s; CPU time, best of rounds\n\n", mpfr_get_version());
    std::printf("%-34s %14s %14s %8s\n", "case", "ours", "MPFR", "ratio");
    for (int digits : {100, 1000, 10000}) {
        for (const Case &c : kCases) {
            std::string text = std::string("Calculate(") + c.name + "(" + c.numerator + "/" + c.denominator + "), " +
                               std::to_string(digits) + ")";
            bench::Run(text);  // fills the constant caches
            double ours = bench::Ours(text);
            double theirs = Mpfr(c, digits);
            std::printf("%-34s %11.2f us %11.2f us %8.2f\n", text.c_str(), ours * 1e6, theirs * 1e6, ours / theirs);
        }
    }
    Kernel_Terminate();
    return 0;
}
