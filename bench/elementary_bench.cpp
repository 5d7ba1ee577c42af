// Times the elementary kernels against MPFR at the same precision: exp,
// log, sin and arctan of an argument of d decimal digits (1/3 or 2/3
// converted to d digits, as numeric evaluation passes it), at 100, 1,000
// and 10,000 digits. The constants the kernels use (pi for the reduction
// of sin, ln 2 for log) are cached on both sides, as they are in a
// session: each side computes them once before the timing.
#include <mpfr.h>

#include <cstdio>

#include "bench_timing.h"
#include "kernel/state.h"
#include "number/bigfloat_functions.h"
#include "number/constants.h"
#include "vorlan.h"

namespace {

using bench::DigitsRow;
using bench::Time;

using Ours = void (*)(BigFloat *, const BigFloat *);
using Theirs = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// f(p/3) at `digits` digits on both sides.
void Case(const char *name, int digits, int64_t p, Ours ours, Theirs theirs) {
    double bits = digits * LOG2_10;
    LocalFloat x, three, y;
    BigFloat_SetSmall(x.get(), p);
    BigFloat_SetPrecision(x.get(), bits, 2);
    BigFloat_SetSmall(three.get(), 3);
    BigFloat_Div(x.get(), x.get(), three.get());
    BigFloat_SetPrecision(x.get(), bits, 2);
    mpfr_t xm, r;
    mpfr_init2(xm, static_cast<mpfr_prec_t>(bits));
    mpfr_init2(r, static_cast<mpfr_prec_t>(bits));
    mpfr_set_si(xm, p, MPFR_RNDN);
    mpfr_div_ui(xm, xm, 3, MPFR_RNDN);
    // Warm the caches of both sides.
    ours(y.get(), x.get());
    theirs(r, xm, MPFR_RNDN);
    DigitsRow(name, digits, Time([&] { ours(y.get(), x.get()); }), Time([&] { theirs(r, xm, MPFR_RNDN); }));
    mpfr_clear(xm);
    mpfr_clear(r);
}

}  // namespace

int main() {
    Kernel_Initialize();
    std::printf("MPFR %s; times in microseconds per operation, CPU time, best of 5 rounds\n\n", mpfr_get_version());
    std::printf("%-28s %12s %12s %8s\n", "case", "ours", "MPFR", "ratio");
    for (int digits : {100, 1000, 10000}) {
        Case("exp(1/3)", digits, 1, BigFloat_Exp, mpfr_exp);
        Case("log(2/3)", digits, 2, BigFloat_Log, mpfr_log);
        Case("sin(1/3)", digits, 1, BigFloat_Sin, mpfr_sin);
        Case("atan(1/3)", digits, 1, BigFloat_ArcTan, mpfr_atan);
    }
    Kernel_Terminate();
    return 0;
}
