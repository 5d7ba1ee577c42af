// What the MPFR differential tests share: an MPFR number that frees itself
// and the exact transfer of a BigFloat's stored value into MPFR.
#pragma once

#include <gmp.h>
#include <mpfr.h>

#include <algorithm>

#include "number/bigfloat.h"

namespace mpfr_support {

struct Mpfr {
    mpfr_t v;
    explicit Mpfr(mpfr_prec_t prec = 64) { mpfr_init2(v, prec); }
    Mpfr(const Mpfr &) = delete;
    Mpfr &operator=(const Mpfr &) = delete;
    ~Mpfr() { mpfr_clear(v); }
    operator mpfr_ptr() { return v; }
};

// out = the stored value of a finite b, exactly (out's precision is raised
// to hold every limb).
inline void ToMpfr(mpfr_ptr out, const BigFloat *b) {
    if (b->kind == FloatZero) {
        mpfr_set_zero(out, 1);
        return;
    }
    mpz_t z;
    mpz_init(z);
    mpz_import(z, static_cast<size_t>(b->top + 1), -1, sizeof(Limb), 0, 0, b->limbs);
    if (b->sign < 0) mpz_neg(z, z);
    mpfr_set_prec(out, std::max<mpfr_prec_t>(64, static_cast<mpfr_prec_t>(64 * (b->top + 1))));
    mpfr_set_z_2exp(out, z, 64 * b->exponent, MPFR_RNDN);
    mpz_clear(z);
}

}  // namespace mpfr_support
