// Rounding through the public interface: Floor of exact rationals, and
// Floor of numeric expressions, which are decided on error-bounded values
// in arbitrary precision, beside CPython flooring Fractions and doubles.
// Ours is process CPU time, best of several rounds; CPython times itself
// the same way.
#include <cstdio>
#include <string>

#include "bench_kernel.h"
#include "bench_timing.h"

namespace {

using bench::Python;
using bench::Report;

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Kernel_Initialize();
    std::printf("%-46s %13s %13s %8s\n", "workload", "ours", "baseline", "ratio");

    const std::string n = "100000";
    Report("Floor(k/7 + 1/3), k = 1..10^5", bench::Ours("Length(Iterate(Floor(k/7 + 1/3), {k, " + n + "}))"),
           Python("from fractions import Fraction as F\nimport math\n",
                  "[math.floor(F(k, 7) + F(1, 3)) for k in range(1, " + n + " + 1)]"),
           "CPython math.floor of Fractions");
    Report("Floor(k*Sqrt(2)), k = 1..10^5", bench::Ours("Length(Iterate(Floor(k*Sqrt(2)), {k, " + n + "}))"),
           Python("import math\n", "[math.floor(k*math.sqrt(2)) for k in range(1, " + n + " + 1)]"),
           "CPython math.floor of doubles");
    Report("Floor(k*Sqrt(2)), exact reference", bench::Ours("Length(Iterate(Floor(k*Sqrt(2)), {k, " + n + "}))"),
           Python("import math\n", "[math.isqrt(2*k*k) for k in range(1, " + n + " + 1)]"),
           "CPython math.isqrt(2 k^2), exact");
    Report("Floor(Sqrt(k)), k = 1..10^5", bench::Ours("Length(Iterate(Floor(Sqrt(k)), {k, " + n + "}))"),
           Python("import math\n", "[math.floor(math.sqrt(k)) for k in range(1, " + n + " + 1)]"),
           "CPython math.floor(math.sqrt(k))");
    Report("Round(k*Pi/3), k = 1..10^5", bench::Ours("Length(Iterate(Round(k*Pi/3), {k, " + n + "}))"),
           Python("import math\n", "[round(k*math.pi/3) for k in range(1, " + n + " + 1)]"),
           "CPython round of doubles");
    Kernel_Terminate();
    return 0;
}
