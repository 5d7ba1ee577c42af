// The kernel and CPython side by side for the language benchmarks: text in
// through the public interface, CPython run as a separate process that
// times itself.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_timing.h"
#include "text_codec.h"
#include "vorlan.h"

namespace bench {

inline int64_t Input(const std::string &text) {
    int64_t h = Kernel_InputExpression(ToUtf16(text).c_str());
    if (!h) {
        std::fprintf(stderr, "bench input does not parse: %.60s\n", text.c_str());
        std::exit(1);
    }
    return h;
}

inline void Run(const std::string &text) { Kernel_FreeExpression(Kernel_EvaluateExpression(Input(text))); }

// Seconds per evaluation of text, parsed once.
inline double Ours(const std::string &text) {
    int64_t h = Input(text);
    double s = Time([h] { Kernel_FreeExpression(Kernel_EvaluateExpression(Kernel_DuplicateExpression(h))); });
    Kernel_FreeExpression(h);
    return s;
}

// Seconds of the statement in CPython after the setup, best of five.
inline double Python(const std::string &setup, const std::string &statement) {
    std::string script = "import time, random, sys\nsys.setrecursionlimit(10000)\n" + setup +
                         "\nbest = 1e9\nfor _ in range(5):\n    t = time.process_time()\n    " + statement +
                         "\n    best = min(best, time.process_time() - t)\nprint(best)\n";
    std::string path = "/tmp/vorlan_bench_" + std::to_string(getpid()) + ".py";
    if (FILE *f = std::fopen(path.c_str(), "w")) {
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    FILE *p = popen(("python3 " + path).c_str(), "r");
    double s = -1;
    if (p) {
        if (std::fscanf(p, "%lf", &s) != 1) s = -1;
        pclose(p);
    }
    std::remove(path.c_str());
    return s;
}

inline void Report(const char *what, double ours, double baseline, const char *name) {
    std::printf("%-46s %10.2f ms %10.2f ms %8.2f  (%s)\n", what, ours * 1e3, baseline * 1e3, ours / baseline, name);
}

}  // namespace bench
