// The language's working set through the public interface (sorting, sets,
// iteration, pure functions, recursion), beside CPython doing the same work
// on the same data. Each CPython figure is measured by the interpreter
// itself (process CPU time, best of five), so its start-up is not counted;
// ours is the best of several rounds of process CPU time as well.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_kernel.h"
#include "bench_timing.h"
#include "text_codec.h"
#include "vorlan.h"

namespace {

using bench::Ours;
using bench::Python;
using bench::Report;
using bench::Run;

// The values as a list literal: {...} for Vorlan, [...] for CPython.
std::string ListText(const std::vector<int64_t> &values, bool python = false) {
    std::string text = python ? "[" : "{";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) text += ',';
        text += std::to_string(values[i]);
    }
    return text + (python ? "]" : "}");
}

}  // namespace

int main() {
    Kernel_Initialize();
    std::printf("%-46s %13s %13s %8s\n", "workload", "ours", "baseline", "ratio");

    std::mt19937_64 random(12345);
    std::vector<int64_t> ints(1000000);
    for (int64_t &v : ints) v = int64_t(random() % 2000000000) - 1000000000;
    std::string list = ListText(ints);
    std::string pyList = "l = " + ListText(ints, true);
    Run("x = " + list);
    double sortOurs = Ours("Sort(x)");
    Report("Sort of 10^6 random integers", sortOurs, Python(pyList, "sorted(l)"), "CPython sorted");
    std::vector<int64_t> copy;
    double floor = bench::Time([&] {
        copy = ints;
        std::sort(copy.begin(), copy.end());
    });
    Report("Sort of 10^6 random integers", sortOurs, floor, "std::sort of int64, the floor");

    std::string words = "{", pyWords = "w = [";
    for (int i = 0; i < 100000; ++i) {
        std::string word;
        for (int k = 0; k < 10; ++k) word += char('a' + random() % 26);
        if (i) {
            words += ',';
            pyWords += ',';
        }
        words += '"';
        words += word;
        words += '"';
        pyWords += '\'';
        pyWords += word;
        pyWords += '\'';
    }
    Run("s = " + words + "}");
    Report("Sort of 10^5 strings of 10 letters", Ours("Sort(s)"), Python(pyWords + "]", "sorted(w)"), "CPython sorted");

    Report("Iterate(i^2, {i, 10^6})", Ours("Iterate(i^2, {i, 10^6})"), Python("", "[i*i for i in range(10**6)]"),
           "CPython list comprehension");
    Report("Map((# + 1)&, 10^6 integers)", Ours("Map((# + 1)&, x)"), Python(pyList, "[v + 1 for v in l]"),
           "CPython list comprehension");

    std::vector<int64_t> other(1000000);
    for (int64_t &v : other) v = int64_t(random() % 2000000000) - 1000000000;
    Run("y = " + ListText(other));
    Report("Union of two 10^6-element integer lists", Ours("Union(x, y)"),
           Python(pyList + "\nm = " + ListText(other, true), "sorted(set(l) | set(m))"), "CPython sorted(set | set)");

    // Ten rules over 10^5 elements: each element is one of twenty values, so
    // half of them are rewritten.
    std::vector<int64_t> small(100000);
    for (int64_t &v : small) v = int64_t(random() % 20);
    Run("z = " + ListText(small));
    std::string rules = "{", pyRules = "d = {";
    for (int k = 0; k < 10; ++k) {
        std::string from = std::to_string(2 * k), to = std::to_string(100 + k);
        rules += (k ? ", " : "") + from + " -> " + to;
        pyRules += (k ? ", " : "") + from + ": " + to;
    }
    Report("Replace: 10 rules over 10^5 elements", Ours("z /: " + rules + "}"),
           Python("l = " + ListText(small, true) + "\n" + pyRules + "}", "[d.get(v, v) for v in l]"),
           "CPython dict look-up per element");

    Run("fib(n?) := If(n < 2, n, fib(n - 1) + fib(n - 2))");
    Report("fib(25), recursive with If", Ours("fib(25)"),
           Python("def fib(n):\n    return n if n < 2 else fib(n - 1) + fib(n - 2)", "fib(25)"),
           "CPython recursive function");
    Kernel_Terminate();
    return 0;
}
