// Benchmarks of the language through the public interface (the cost of one
// call, rule application, definition order, Orderless matching) and of printing a long
// integer, with GMP's decimal conversion as the baseline for the latter.
#include <gmp.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_timing.h"
#include "number/bigint.h"
#include "number/number_text.h"
#include "vorlan.h"

namespace {

using bench::Clock;
using bench::Seconds;

int64_t Input(const std::u16string &text) {
    int64_t h = Kernel_InputExpression(text.c_str());
    if (!h) {
        std::fprintf(stderr, "bench input does not parse\n");
        std::exit(1);
    }
    return h;
}

void Run(const std::u16string &text) { Kernel_FreeExpression(Kernel_EvaluateExpression(Input(text))); }

// Evaluates the same unevaluated call n times; returns microseconds per
// evaluation.
double EvaluateRepeatedly(const std::u16string &text, int n) {
    int64_t h = Input(text);
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) Kernel_FreeExpression(Kernel_EvaluateExpression(Kernel_DuplicateExpression(h)));
    double us = Seconds(start) * 1e6 / n;
    Kernel_FreeExpression(h);
    return us;
}

// Microseconds per evaluation of text that evaluates to itself at once: what
// a call through the interface costs when evaluation has nothing to do. The
// best of bench::Time's rounds, since the case is short enough for the other
// processes on the machine to show.
double EvaluateTrivially(const std::u16string &text) {
    int64_t h = Input(text);
    double us = bench::Time([h] { Kernel_FreeExpression(Kernel_EvaluateExpression(Kernel_DuplicateExpression(h))); }) * 1e6;
    Kernel_FreeExpression(h);
    return us;
}

void PrintPowerOfTwo(int64_t bits) {
    BigInt *b = BigInt_New();
    BigInt_SetSmall(b, 1);
    BigInt_Shift(b, b, bits);
    auto start = Clock::now();
    std::u16string text = BigInt_ToText(b, 10);
    double ours = Seconds(start);
    BigInt_Free(b);
    mpz_t g;
    mpz_init(g);
    mpz_ui_pow_ui(g, 2, static_cast<unsigned long>(bits));
    start = Clock::now();
    char *digits = mpz_get_str(nullptr, 10, g);
    double theirs = Seconds(start);
    bool same = text.size() == std::char_traits<char>::length(digits);
    std::free(digits);
    mpz_clear(g);
    std::printf("%-44s %10.1f ms %10.1f ms %8.2f%s\n", ("decimal text of 2^" + std::to_string(bits)).c_str(), ours * 1e3,
                theirs * 1e3, ours / theirs, same ? "" : "  (length differs!)");
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Kernel_Initialize();
    std::printf("%-44s %13s\n", "case", "time");
    std::printf("%-44s %10.3f us\n", "evaluation of a bare symbol through the interface", EvaluateTrivially(u"x"));
    Run(u"f(x?) := x");
    std::printf("%-44s %10.3f us\n", "user rule f(x?) := x applied (1,000,000 times)", EvaluateRepeatedly(u"f(1)", 1000000));

    for (int i = 1; i < 100; ++i) {
        std::string n = std::to_string(i);
        Run(u"g(" + std::u16string(n.begin(), n.end()) + u") := " + std::u16string(n.begin(), n.end()));
    }
    Run(u"g(x?) := 0");
    std::printf("%-44s %10.3f us\n", "100 definitions, the most general applies", EvaluateRepeatedly(u"g(1000)", 10000));

    Run(u"SetAttributes(o, Orderless)");
    // The sorted arguments start with 1, so the literal 10 first in the
    // pattern makes the matcher search the orderings of the arguments.
    Run(u"o(10, a?, b?, c?, d?, e?, f?, g?, h?, i?) := done");
    std::printf("%-44s %10.3f us\n", "Orderless match, 10 arguments", EvaluateRepeatedly(u"o(10, 9, 8, 7, 6, 5, 4, 3, 2, 1)", 10000));

    // Symbolic sums without expansion: the arguments are sorted and then
    // combined in one pass; 100,000 copies of one symbol collect into one
    // term step by step.
    std::u16string distinct = u"Plus(", copies = u"Plus(";
    for (int i = 0; i < 100000; ++i) {
        std::string n = std::to_string(i);
        distinct += (i ? u", s" : u"s") + std::u16string(n.begin(), n.end());
        copies += i ? u", x" : u"x";
    }
    distinct += u")";
    copies += u")";
    std::printf("%-44s %10.3f ms\n", "Plus of 100,000 distinct symbols", EvaluateRepeatedly(distinct, 5) / 1e3);
    std::printf("%-44s %10.3f ms\n", "Plus of 100,000 copies of one symbol", EvaluateRepeatedly(copies, 5) / 1e3);

    std::printf("\n%-44s %13s %13s %8s\n", "case", "ours", "GMP", "ratio");
    PrintPowerOfTwo(100000);
    PrintPowerOfTwo(1000000);
    Kernel_Terminate();
    return 0;
}
