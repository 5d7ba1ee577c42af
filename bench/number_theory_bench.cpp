// Times the number theory functions against GMP on the same arguments and
// prints one table: our time, GMP's time (milliseconds of CPU time, the
// best of several runs) and the ratio, with the target each case must meet.
// Factorials, binomials and Fibonacci numbers follow the cost of the
// largest products; primality the cost of the modular powers.
#include <gmp.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_timing.h"
#include "number/bigint.h"
#include "number/number_theory.h"
#include "vorlan.h"

namespace {

using bench::Clock;
using bench::Seconds;

// The best of `runs` runs of f, in seconds; short cases repeat until the
// run lasts 40 ms.
template <typename F>
double Best(int runs, F f) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        int64_t reps = 0;
        auto start = Clock::now();
        double elapsed;
        do {
            f();
            ++reps;
            elapsed = Seconds(start);
        } while (elapsed < 0.04);
        best = std::min(best, elapsed / double(reps));
    }
    return best;
}

void Row(const char *name, double ours, double gmp, double target) {
    double ratio = ours / gmp;
    std::printf("%-30s %12.3f %12.3f %8.2f  %4.1fx %s\n", name, ours * 1e3, gmp * 1e3, ratio, target,
                ratio <= target ? "" : "MISSED");
}

// A prime of about `bits` bits: the first one after a fixed odd start.
void PrimeOfBits(mpz_ptr p, unsigned bits) {
    gmp_randstate_t state;
    gmp_randinit_mt(state);
    gmp_randseed_ui(state, bits);
    mpz_urandomb(p, state, bits);
    mpz_setbit(p, bits - 1);
    mpz_nextprime(p, p);
    gmp_randclear(state);
}

void ToRecord(BigInt *x, mpz_srcptr z) {
    std::vector<Limb> mag(mpz_size(z));
    size_t count = 0;
    mpz_export(mag.data(), &count, -1, sizeof(Limb), 0, 0, z);
    BigInt_SetSmall(x, 1);
    BigInt_Shift(x, x, int64_t(count - 1) * 64);
    std::copy(mag.begin(), mag.begin() + long(count), x->limbs);
    BigInt_Normalize(x);
}

}  // namespace

int main() {
    Kernel_Initialize();
    BigInt *r = BigInt_New();
    mpz_t z;
    mpz_init(z);
    std::printf("%-30s %12s %12s %8s  %s\n", "case", "ours ms", "GMP ms", "ratio", "target");
    char name[64];
    for (uint64_t n : {100000ull, 1000000ull}) {
        int runs = n > 100000 ? 3 : 5;
        double ours = Best(runs, [&] { NumberTheory_Factorial(r, n); });
        double gmp = Best(runs, [&] { mpz_fac_ui(z, n); });
        std::snprintf(name, sizeof name, "Factorial(%llu)", static_cast<unsigned long long>(n));
        Row(name, ours, gmp, 3.0);
    }
    for (uint64_t n : {1000000ull, 10000000ull}) {
        int runs = n > 1000000 ? 3 : 5;
        double ours = Best(runs, [&] { NumberTheory_Fibonacci(r, n); });
        double gmp = Best(runs, [&] { mpz_fib_ui(z, n); });
        std::snprintf(name, sizeof name, "Fibonacci(%llu)", static_cast<unsigned long long>(n));
        Row(name, ours, gmp, 3.0);
    }
    {
        double ours = Best(5, [&] { NumberTheory_Binomial(r, 100000, 50000); });
        double gmp = Best(5, [&] { mpz_bin_uiui(z, 100000, 50000); });
        Row("Binomial(100000, 50000)", ours, gmp, 3.0);
    }
    for (unsigned bits : {1000u, 4000u}) {
        PrimeOfBits(z, bits);
        BigInt *p = BigInt_New();
        ToRecord(p, z);
        bool prime = false;
        // GMP declares the test pure: its result is kept so that the call
        // is not optimised away.
        volatile int gmpPrime = 0;
        double ours = Best(3, [&] { prime = NumberTheory_IsPrime(p); });
        double gmp = Best(3, [&] { gmpPrime = mpz_probab_prime_p(z, 25); });
        std::snprintf(name, sizeof name, "IsPrime(%u-bit prime)%s", bits, prime && gmpPrime ? "" : " WRONG");
        Row(name, ours, gmp, 2.0);
        BigInt_Free(p);
    }
    mpz_clear(z);
    BigInt_Free(r);
    Kernel_Terminate();
    return 0;
}
