// Times arbitrary-precision real arithmetic against MPFR on the same values
// at the same precision and prints one row per case: our time, MPFR's time
// and the ratio. Our operations also carry their error bounds, which MPFR's
// do not. Every case is timed as the best of several rounds of a loop long
// enough for the clock.
#include <gmp.h>
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "bench_timing.h"
#include "number/bigfloat.h"

namespace {

using bench::Time;

std::mt19937_64 rng(2024);

void Row(const char *name, double ours, double mpfr) {
    std::printf("%-34s %12.3f %12.3f %8.2f\n", name, ours * 1e6, mpfr * 1e6, ours / mpfr);
}

// b = a random value in [1, 2) with `bits` bits of precision, and m the same
// value as an MPFR number of that precision.
void RandomPair(BigFloat *b, mpfr_ptr m, int64_t bits) {
    int64_t n = (bits + 63) / 64;
    BigFloat_Release(b);
    b->limbs = static_cast<Limb *>(std::malloc(n * sizeof(Limb)));
    for (int64_t i = 0; i < n; ++i) b->limbs[i] = rng();
    b->limbs[n - 1] |= Limb(1) << 63;
    // Only the top `bits` bits, so that MPFR holds the value exactly.
    if (bits % 64 != 0) b->limbs[0] &= ~Limb(0) << (64 - bits % 64);
    b->top = n - 1;
    b->size = n * 8;
    b->exponent = -n;
    b->sign = 1;
    b->kind = FloatRegular;
    b->accuracy = INFINITY;
    BigFloat_Normalize(b);
    mpz_t z;
    mpz_init(z);
    mpz_import(z, static_cast<size_t>(b->top + 1), -1, sizeof(Limb), 0, 0, b->limbs);
    mpfr_set_z_2exp(m, z, 64 * b->exponent, MPFR_RNDN);
    mpz_clear(z);
    BigFloat_SetPrecision(b, static_cast<double>(bits), 2);
}

void Cases(int64_t digits) {
    auto bits = static_cast<int64_t>(std::ceil(static_cast<double>(digits) * LOG2_10));
    BigFloat a{}, b{}, r{};
    mpfr_t x, y, z;
    mpfr_inits2(bits, x, y, z, nullptr);
    RandomPair(&a, x, bits);
    RandomPair(&b, y, bits);
    char name[64];
    std::snprintf(name, sizeof name, "product %lld digits", static_cast<long long>(digits));
    Row(name, Time([&] { BigFloat_Mul(&r, &a, &b); }), Time([&] { mpfr_mul(z, x, y, MPFR_RNDN); }));
    std::snprintf(name, sizeof name, "quotient %lld digits", static_cast<long long>(digits));
    Row(name, Time([&] { BigFloat_Div(&r, &a, &b); }), Time([&] { mpfr_div(z, x, y, MPFR_RNDN); }));
    std::snprintf(name, sizeof name, "square root %lld digits", static_cast<long long>(digits));
    Row(name, Time([&] { BigFloat_Sqrt(&r, &a); }), Time([&] { mpfr_sqrt(z, x, MPFR_RNDN); }));
    std::snprintf(name, sizeof name, "sum %lld digits", static_cast<long long>(digits));
    Row(name, Time([&] { BigFloat_Add(&r, &a, &b); }), Time([&] { mpfr_add(z, x, y, MPFR_RNDN); }));
    mpfr_clears(x, y, z, nullptr);
    BigFloat_Release(&a);
    BigFloat_Release(&b);
    BigFloat_Release(&r);
}

}  // namespace

int main() {
    std::printf("MPFR %s; times in microseconds per operation\n\n", mpfr_get_version());
    std::printf("%-34s %12s %12s %8s\n", "case", "ours", "MPFR", "ratio");
    for (int64_t digits : {1000, 10000, 100000, 1000000}) Cases(digits);
    return 0;
}
