// Times the constants against MPFR at the same precision and prints one
// table: our time, MPFR's time and the ratio for each case. Every constant
// is computed afresh each time: our caches are cleared inside the timed
// call (so that it times the computation, not a copy of a cache; Euler's
// constant recomputes the ln 2 it needs), and so are MPFR's.
#include <mpfr.h>

#include <cstdio>

#include "bench_timing.h"
#include "kernel/state.h"
#include "number/constants.h"
#include "vorlan.h"

namespace {

using bench::DigitsRow;
using bench::Time;

// A constant computed afresh: compute into a local after clearing our
// caches, against the MPFR function after clearing MPFR's.
void Constant(const char *name, int digits, void (*ours)(BigFloat *, double),
              void (*theirs)(mpfr_ptr)) {
    double bits = digits * LOG2_10;
    double t1 = Time([&] {
        NumberState_ClearCaches(kernel.numbers);
        LocalFloat v;
        ours(v.get(), bits);
    });
    mpfr_t r;
    mpfr_init2(r, static_cast<mpfr_prec_t>(bits) + 1);
    double t2 = Time([&] {
        mpfr_free_cache();
        theirs(r);
    });
    mpfr_clear(r);
    DigitsRow(name, digits, t1, t2);
}

}  // namespace

int main() {
    Kernel_Initialize();
    std::printf("MPFR %s; times in microseconds per operation\n\n", mpfr_get_version());
    std::printf("%-28s %12s %12s %8s\n", "case", "ours", "MPFR", "ratio");
    for (int digits : {100, 1000, 10000, 100000, 1000000})
        Constant("pi", digits, Constant_Pi, [](mpfr_ptr r) { mpfr_const_pi(r, MPFR_RNDN); });
    for (int digits : {100, 1000, 10000, 100000, 1000000})
        Constant("e", digits, Constant_E, [](mpfr_ptr r) {
            mpfr_set_ui(r, 1, MPFR_RNDN);
            mpfr_exp(r, r, MPFR_RNDN);
        });
    for (int digits : {100, 1000, 10000, 100000})
        Constant("EulerMascheroni", digits, Constant_EulerGamma, [](mpfr_ptr r) { mpfr_const_euler(r, MPFR_RNDN); });
    for (int digits : {100, 1000, 10000, 100000})
        Constant("ln 2", digits, Constant_Ln2, [](mpfr_ptr r) { mpfr_const_log2(r, MPFR_RNDN); });
    Kernel_Terminate();
    return 0;
}
