// Definitions at scale through the public interface: tables of literal
// values, look-ups among them, memoisation and plain recursion, beside
// CPython doing the same work (dict inserts and look-ups, lru_cache, a
// recursive function). Ours is process CPU time, best of several rounds;
// CPython times itself the same way.
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_kernel.h"
#include "bench_timing.h"

namespace {

using bench::Clock;
using bench::Python;
using bench::Report;
using bench::Run;
using bench::Seconds;

// {g(1), ..., g(n)} = {1, ..., n} as text.
std::string TableText(int64_t n) {
    std::string lhs = "{", rhs = "{";
    for (int64_t i = 1; i <= n; ++i) {
        std::string k = std::to_string(i);
        lhs += (i > 1 ? ",g(" : "g(") + k + ")";
        rhs += (i > 1 ? "," : "") + k;
    }
    return lhs + "} = " + rhs + "}";
}

// Seconds to evaluate the parsed text once, best of rounds, with reset
// (untimed) run before each round.
double Once(const std::string &text, const std::string &reset, int rounds) {
    int64_t h = bench::Input(text);
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        Run(reset);
        auto start = Clock::now();
        Kernel_FreeExpression(Kernel_EvaluateExpression(Kernel_DuplicateExpression(h)));
        best = std::min(best, Seconds(start));
    }
    Kernel_FreeExpression(h);
    return best;
}

// Bytes the allocator has handed out and not taken back (pools included:
// they take their slabs from it).
double InUse() {
    struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
}

const char *kInsert = "def insert(n):\n    d = {}\n    for i in range(1, n + 1):\n        d[i] = i\n    return d\n";

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Kernel_Initialize();
    std::printf("%-46s %13s %13s %8s\n", "workload", "ours", "baseline", "ratio");

    for (int64_t n : {10000, 1000000}) {
        std::string what = "define " + std::to_string(n) + " literal values g(k) = k";
        double ours = Once(TableText(n), "Clear(g)", n > 10000 ? 3 : 5);
        double theirs = Python(kInsert, "insert(" + std::to_string(n) + ")");
        Report(what.c_str(), ours, theirs, "CPython dict inserts");
    }

    // The table of 10^6 stays for the look-ups and the memory figures.
    // The text and its parsed form exist before the first reading, so the
    // difference is what the definitions themselves hold.
    Run("Clear(g)");
    int64_t table = bench::Input(TableText(1000000));
    double before = InUse();
    Kernel_FreeExpression(Kernel_EvaluateExpression(Kernel_DuplicateExpression(table)));
    double after = InUse();
    double look = bench::Ours("g(500000)");
    double lookPy =
        Python(kInsert + std::string("def look(d, k):\n    for _ in range(1000000):\n        d[k]\nd = insert(1000000)\n"),
               "look(d, 500000)") /
        1e6;
    std::printf("%-46s %10.3f us %10.3f us %8.2f  (%s)\n", "look up g(500000) among 10^6", look * 1e6, lookPy * 1e6,
                look / lookPy, "CPython dict look-up; ours through the interface");
    Run("Clear(g)");
    double cleared = InUse();
    Kernel_FreeExpression(table);
    std::printf("%-46s %10.0f B  (Clear gives back %.0f of %.0f MB)\n", "memory per literal definition, 10^6 of them",
                (after - before) / 1e6, (after - cleared) / 1e6, (after - before) / 1e6);

    // Memoised Fibonacci numbers, built bottom-up (the recursion limit is
    // 512 levels), against lru_cache filled in the same order.
    const char *memo = "Clear(mf); mf(0) = 0; mf(1) = 1; mf(n?) := mf(n) = mf(n - 1) + mf(n - 2)";
    for (int64_t n : {1000, 10000}) {
        std::string count = std::to_string(n);
        double ours = Once("Length(Iterate(mf(i), {i, " + count + "}))", memo, 5);
        double theirs = Python(
            "from functools import lru_cache\n"
            "def run(n):\n    @lru_cache(maxsize=None)\n    def f(k):\n        return k if k < 2 else f(k - 1) + f(k - 2)\n"
            "    return len([f(i) for i in range(1, n + 1)])\n",
            "run(" + count + ")");
        Report(("memoised fib(1.." + count + "), mf(n) = ...").c_str(), ours, theirs, "CPython lru_cache");
    }

    Run("fib(n?) := If(n < 2, n, fib(n - 1) + fib(n - 2))");
    Report("fib(25) by a rule with If", bench::Ours("fib(25)"),
           Python("def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)", "fib(25)"),
           "CPython recursive function");
    Run("fr(0) = 0; fr(1) = 1; fr(n?) := fr(n - 1) + fr(n - 2)");
    Report("fib(25) by three rules", bench::Ours("fr(25)"),
           Python("def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)", "fib(25)"),
           "CPython recursive function");
    Kernel_Terminate();
    return 0;
}
