// Polynomial expansion through the public interface beside SymPy's expand
// on the same inputs: a power of a sum of four terms, a long product of
// sums, a sum that collapses, and a wide sum times a short one. Ours is
// process CPU time, best of several rounds; SymPy times itself the same
// way, with its cache cleared before every expansion so that each round
// computes the expansion again.
#include <cstdio>
#include <string>

#include "bench_kernel.h"

namespace {

using bench::Python;
using bench::Report;

const char *kSetup =
    "from sympy import symbols, expand, Add, Mul\n"
    "from sympy.core.cache import clear_cache\n"
    "x, y, z, a, b = symbols('x y z a b')\n";

struct Workload {
    const char *what;
    std::string ours;    // the Vorlan input
    std::string setup;   // Python lines that build e
};

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Kernel_Initialize();
    std::printf("%-46s %13s %13s %8s\n", "workload", "ours", "baseline", "ratio");

    std::string product;
    for (int i = 1; i <= 200; ++i) product += (i > 1 ? "*(x + " : "(x + ") + std::to_string(i) + ")";
    std::string powers = "1";
    for (int i = 1; i <= 10000; ++i) powers += " + x^" + std::to_string(i);
    std::string symbols = "s1";
    for (int i = 2; i <= 10000; ++i) symbols += " + s" + std::to_string(i);

    const Workload workloads[] = {
        {"Expand((1 + x + y + z)^20), 1771 terms", "Expand((1 + x + y + z)^20)", "e = (1 + x + y + z)**20"},
        {"Expand((x + 1) (x + 2) ... (x + 200))", "Expand(" + product + ")",
         "e = Mul(*[x + i for i in range(1, 201)])"},
        {"Expand((1 + x + ... + x^10000) (1 - x))", "Expand((" + powers + ")*(1 - x))",
         "e = Add(*[x**i for i in range(10001)]) * (1 - x)"},
        {"Expand((s1 + ... + s10000) (a + b))", "Expand((" + symbols + ")*(a + b))",
         "e = Add(*symbols('s1:10001')) * (a + b)"},
    };
    for (const Workload &w : workloads) {
        double ours = bench::Ours(w.ours);
        double theirs = Python(kSetup + w.setup, "clear_cache(); expand(e)");
        Report(w.what, ours, theirs, "SymPy expand");
    }
    Kernel_Terminate();
    return 0;
}
