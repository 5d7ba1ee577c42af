// Times the limb-level products, long division and gcd against GMP on the
// same operands and prints one table: our time, GMP's time and the ratio
// for each case. Every case is timed as the best of several rounds of a
// loop long enough for the clock, so that one run gives stable numbers.
#include <gmp.h>

#include <cstdio>
#include <random>
#include <utility>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "number/bigint.h"
#include "number/integer.h"
#include "number/limbs.h"
#include "number/number_text.h"

namespace {

using bench::Time;
using Vec = std::vector<Limb>;

std::mt19937_64 rng(12345);

Vec Random(int64_t n) {
    Vec v(n);
    for (Limb &l : v) l = rng();
    v.back() |= Limb(1) << 63;
    return v;
}

// Prints one row; the target column names the ratio the case must meet.
void Row(const char *name, double ours, double gmp, double target) {
    double ratio = ours / gmp;
    std::printf("%-28s %12.3f %12.3f %8.2f  %4.1fx %s\n", name, ours * 1e6, gmp * 1e6, ratio, target,
                ratio <= target ? "" : "MISSED");
}

void Product(int64_t n, int64_t k) {
    Vec a = Random(n), b = Random(k), r(n + k);
    double ours = Time([&] { Limbs_Mul(r.data(), a.data(), n * 8, b.data(), k * 8, nullptr); });
    double gmp = Time([&] {
        mpn_mul(reinterpret_cast<mp_ptr>(r.data()), reinterpret_cast<mp_srcptr>(a.data()), n,
                reinterpret_cast<mp_srcptr>(b.data()), k);
    });
    char name[64];
    std::snprintf(name, sizeof name, "mul %lld x %lld", static_cast<long long>(n), static_cast<long long>(k));
    Row(name, ours, gmp, k < KARATSUBA_THRESHOLD ? 2.5 : 3.0);
}

void Square(int64_t n) {
    Vec a = Random(n), r(2 * n);
    double ours = Time([&] { Limbs_Mul(r.data(), a.data(), n * 8, a.data(), n * 8, nullptr); });
    double gmp = Time([&] {
        mpn_sqr(reinterpret_cast<mp_ptr>(r.data()), reinterpret_cast<mp_srcptr>(a.data()), n);
    });
    char name[64];
    std::snprintf(name, sizeof name, "square %lld", static_cast<long long>(n));
    Row(name, ours, gmp, 3.0);
}

// Printing and reading an integer of `digits` digits in the base, beside
// mpz_get_str and mpz_set_str on the same value; the texts must agree.
void Text(int64_t digits, int base) {
    mpz_t z;
    mpz_init(z);
    std::string seed(static_cast<size_t>(digits), '0');
    for (char &c : seed) c = "0123456789ABCDEF"[rng() % static_cast<unsigned>(base)];
    seed[0] = '1';
    mpz_set_str(z, seed.c_str(), base);
    BigInt *x = BigInt_New();
    std::vector<Limb> limbs(mpz_size(z));
    mpz_export(limbs.data(), nullptr, -1, 8, 0, 0, z);
    BigInt_SetSmall(x, 1);
    BigInt_Shift(x, x, 64 * static_cast<int64_t>(limbs.size()) - 1);
    std::copy(limbs.begin(), limbs.end(), x->limbs);
    std::u16string text;
    std::vector<char> buffer(static_cast<size_t>(digits) + 2);
    double ours = Time([&] { text = BigInt_ToText(x, base); });
    double gmp = Time([&] { mpz_get_str(buffer.data(), -base, z); });
    if (std::string(text.begin(), text.end()) != buffer.data()) std::printf("texts differ!\n");
    char name[64];
    std::snprintf(name, sizeof name, "print %lld digits base %d", static_cast<long long>(digits), base);
    Row(name, ours, gmp, 3.0);
    ours = Time([&] { Object_Release(Integer_FromText(text, base)); });
    gmp = Time([&] { mpz_set_str(z, buffer.data(), base); });
    std::snprintf(name, sizeof name, "read %lld digits base %d", static_cast<long long>(digits), base);
    Row(name, ours, gmp, 3.0);
    BigInt_Free(x);
    mpz_clear(z);
}

// The product of lo..hi by halves, on both sides: the big products of a
// factorial.
void TreeOurs(BigInt *dst, int64_t lo, int64_t hi) {
    if (hi - lo < 8) {
        BigInt_SetSmall(dst, lo);
        BigInt *f = BigInt_New();
        for (int64_t i = lo + 1; i <= hi; ++i) {
            BigInt_SetSmall(f, i);
            BigInt_Mul(dst, dst, f);
        }
        BigInt_Free(f);
        return;
    }
    int64_t mid = lo + (hi - lo) / 2;
    BigInt *right = BigInt_New();
    TreeOurs(dst, lo, mid);
    TreeOurs(right, mid + 1, hi);
    BigInt_Mul(dst, dst, right);
    BigInt_Free(right);
}

void TreeGmp(mpz_t dst, int64_t lo, int64_t hi) {
    if (hi - lo < 8) {
        mpz_set_ui(dst, static_cast<unsigned long>(lo));
        for (int64_t i = lo + 1; i <= hi; ++i) mpz_mul_ui(dst, dst, static_cast<unsigned long>(i));
        return;
    }
    int64_t mid = lo + (hi - lo) / 2;
    mpz_t right;
    mpz_init(right);
    TreeGmp(dst, lo, mid);
    TreeGmp(right, mid + 1, hi);
    mpz_mul(dst, dst, right);
    mpz_clear(right);
}

// F(n) by doubling on both sides: F(2k) = F(k) (2 F(k+1) - F(k)) and
// F(2k+1) = F(k)^2 + F(k+1)^2, so the work is in squares and products.
void FibOurs(BigInt *f, uint64_t n) {
    BigInt *g = BigInt_New(), *t = BigInt_New(), *u = BigInt_New();
    BigInt_SetSmall(f, 0);
    BigInt_SetSmall(g, 1);
    for (int bit = 63 - __builtin_clzll(n); bit >= 0; --bit) {
        BigInt_Shift(t, g, 1);
        BigInt_Sub(t, t, f);
        BigInt_Mul(t, t, f);  // F(2k)
        BigInt_Mul(u, f, f);
        BigInt_Mul(g, g, g);
        BigInt_Add(g, g, u);  // F(2k+1)
        std::swap(*f, *t);
        if ((n >> bit) & 1) {
            BigInt_Add(t, f, g);
            std::swap(*f, *g);
            std::swap(*g, *t);
        }
    }
    BigInt_Free(g);
    BigInt_Free(t);
    BigInt_Free(u);
}

void FibGmp(mpz_t f, uint64_t n) {
    mpz_t g, t, u;
    mpz_inits(g, t, u, nullptr);
    mpz_set_ui(f, 0);
    mpz_set_ui(g, 1);
    for (int bit = 63 - __builtin_clzll(n); bit >= 0; --bit) {
        mpz_mul_2exp(t, g, 1);
        mpz_sub(t, t, f);
        mpz_mul(t, t, f);
        mpz_mul(u, f, f);
        mpz_mul(g, g, g);
        mpz_add(g, g, u);
        mpz_swap(f, t);
        if ((n >> bit) & 1) {
            mpz_add(t, f, g);
            mpz_swap(f, g);
            mpz_swap(g, t);
        }
    }
    mpz_clears(g, t, u, nullptr);
}

void BigProducts() {
    BigInt *x = BigInt_New();
    mpz_t z;
    mpz_init(z);
    double ours = Time([&] { TreeOurs(x, 1, 1000000); });
    double gmp = Time([&] { TreeGmp(z, 1, 1000000); });
    Row("product tree 1..10^6", ours, gmp, 3.0);
    ours = Time([&] { FibOurs(x, 10000000); });
    gmp = Time([&] { FibGmp(z, 10000000); });
    Row("Fibonacci 10^7 by doubling", ours, gmp, 3.0);
    BigInt_Free(x);
    mpz_clear(z);
}

void Division(int64_t n) {
    Vec a = Random(2 * n), b = Random(n), q(n + 1), r(n);
    double ours = Time([&] { Limbs_DivMod(q.data(), a.data(), 2 * n * 8, b.data(), n * 8, r.data(), 0); });
    double gmp = Time([&] {
        mpn_tdiv_qr(reinterpret_cast<mp_ptr>(q.data()), reinterpret_cast<mp_ptr>(r.data()), 0,
                    reinterpret_cast<mp_srcptr>(a.data()), 2 * n, reinterpret_cast<mp_srcptr>(b.data()), n);
    });
    char name[64];
    std::snprintf(name, sizeof name, "divide %lld / %lld", static_cast<long long>(2 * n), static_cast<long long>(n));
    Row(name, ours, gmp, 3.0);
}

void Gcd(int64_t n) {
    Vec a = Random(n), b = Random(n);
    BigInt *x = BigInt_New(), *y = BigInt_New(), *g = BigInt_New();
    for (auto [rec, v] : {std::pair{x, &a}, std::pair{y, &b}}) {
        BigInt_SetSmall(rec, 1);
        BigInt_Shift(rec, rec, 64 * n - 1);
        std::copy(v->begin(), v->end(), rec->limbs);
    }
    mpz_t X, Y, G;
    mpz_inits(X, Y, G, nullptr);
    mpz_import(X, n, -1, 8, 0, 0, a.data());
    mpz_import(Y, n, -1, 8, 0, 0, b.data());
    double ours = Time([&] { BigInt_Gcd(g, x, y); });
    double gmp = Time([&] { mpz_gcd(G, X, Y); });
    char name[64];
    std::snprintf(name, sizeof name, "gcd %lld, %lld", static_cast<long long>(n), static_cast<long long>(n));
    Row(name, ours, gmp, 3.0);
    mpz_clears(X, Y, G, nullptr);
    BigInt_Free(x);
    BigInt_Free(y);
    BigInt_Free(g);
}

}  // namespace

int main() {
    std::printf("GMP %s; times in microseconds per operation\n\n", gmp_version);
    std::printf("%-28s %12s %12s %8s  %s\n", "case", "ours", "GMP", "ratio", "target");
    for (int64_t n : {1, 2, 4, 8, 19, 20, 32, 64, 128, 512, 1000, 4000, 10000, 100000, 1000000}) Product(n, n);
    Product(20000, 1000);
    Product(1000000, 10000);
    for (int64_t n : {8, 19, 40, 128, 1000, 10000, 100000, 1000000}) Square(n);
    for (int64_t n : {4, 32, 256, 1000, 4000, 10000, 100000, 1000000}) Division(n);
    Gcd(100);
    BigProducts();
    for (int64_t digits : {1000000, 10000000})
        for (int base : {10, 16}) Text(digits, base);
    return 0;
}
