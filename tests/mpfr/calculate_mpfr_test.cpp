// Calculate(c, n) through the public interface against MPFR: the text of
// each constant shows n significant digits, and every one of them is the
// correctly rounded digit of the true value.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstdlib>
#include <string>

#include "vorlan.h"

namespace {

std::string Narrow(const char16_t *text) {
    std::string out;
    for (; text && *text; ++text) out += static_cast<char>(*text);
    return out;
}

// The output text of evaluating `input`.
std::string Evaluate(const std::string &input) {
    std::u16string wide(input.begin(), input.end());
    int64_t h = Kernel_EvaluateExpression(Kernel_InputExpression(wide.c_str()));
    std::string text = Narrow(Kernel_OutputExpression(h));
    Kernel_FreeExpression(h);
    return text;
}

// The significant digits of a positive decimal text such as 0.5772 or
// 3.1415 (no exponent), leading zeros dropped.
std::string SignificantDigits(const std::string &text) {
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
    return digits;
}

// The first `count` significant digits of the true value, rounded to
// nearest.
std::string TrueDigits(void (*constant)(mpfr_t), size_t count) {
    mpfr_t x;
    mpfr_init2(x, static_cast<mpfr_prec_t>(count * 4 + 128));
    constant(x);
    mpfr_exp_t e;
    char *s = mpfr_get_str(nullptr, &e, 10, count, x, MPFR_RNDN);
    std::string digits(s);
    mpfr_free_str(s);
    mpfr_clear(x);
    return digits;
}

void Pi(mpfr_t x) { mpfr_const_pi(x, MPFR_RNDN); }
void E(mpfr_t x) {
    mpfr_set_ui(x, 1, MPFR_RNDN);
    mpfr_exp(x, x, MPFR_RNDN);
}
void Euler(mpfr_t x) { mpfr_const_euler(x, MPFR_RNDN); }

class CalculateMpfr : public ::testing::Test {
protected:
    void SetUp() override { Kernel_Initialize(); }
    void TearDown() override {
        Kernel_Terminate();
        mpfr_free_cache();
    }

    static void Check(const char *name, void (*constant)(mpfr_t), int digits) {
        std::string text = Evaluate("Calculate(" + std::string(name) + ", " + std::to_string(digits) + ")");
        std::string ours = SignificantDigits(text);
        ASSERT_EQ(ours.size(), static_cast<size_t>(digits)) << name << " " << digits << ": " << text;
        EXPECT_EQ(ours, TrueDigits(constant, ours.size())) << name << " " << digits;
    }
};

TEST_F(CalculateMpfr, ConstantsAgreeToEveryPrintedDigit) {
    for (int digits : {17, 20, 30, 50, 99, 100, 101, 250, 500, 1000}) {
        Check("Pi", Pi, digits);
        Check("E", E, digits);
        Check("EulerMascheroni", Euler, digits);
    }
}

// Long requests, where the constants come from binary splitting and the
// final division and square root run on the transform products.
TEST_F(CalculateMpfr, LongConstantsAgreeToEveryPrintedDigit) {
    for (int digits : {4321, 20000, 100000}) {
        Check("Pi", Pi, digits);
        Check("E", E, digits);
    }
    for (int digits : {3000, 100000}) Check("EulerMascheroni", Euler, digits);
}

// Smaller requests after larger ones are answered from the caches and must
// still round correctly.
TEST_F(CalculateMpfr, CachedValuesRoundCorrectly) {
    Check("Pi", Pi, 800);
    for (int digits : {21, 333, 799}) Check("Pi", Pi, digits);
    Check("EulerMascheroni", Euler, 400);
    Check("EulerMascheroni", Euler, 37);
}

}  // namespace
