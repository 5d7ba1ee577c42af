// The clock of the benchmarks: every case is timed the same way, so that
// the ratios against the baselines compare like with like.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdint>

namespace bench {

// The process's CPU time: on a shared machine, wall time counts what the
// other processes did too.
struct ProcessClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ProcessClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept {
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return time_point(duration(int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};

using Clock = ProcessClock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Seconds per call of f: the best of five rounds, each repeating f in
// batches (so that reading the clock does not weigh on the short cases)
// until it has run for at least 40 ms.
template <typename F>
double Time(F f) {
    int64_t batch = 1;
    for (auto start = Clock::now(); Seconds(start) < 0.001; batch *= 2)
        for (int64_t i = 0; i < batch; ++i) f();
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        int64_t reps = 0;
        auto start = Clock::now();
        double elapsed;
        do {
            for (int64_t i = 0; i < batch; ++i) f();
            reps += batch;
            elapsed = Seconds(start);
        } while (elapsed < 0.04);
        if (elapsed / reps < best) best = elapsed / reps;
    }
    return best;
}

// One row of a table against MPFR at a number of digits: our time, the
// baseline's, in microseconds, and their ratio.
inline void DigitsRow(const char *name, int digits, double ours, double baseline) {
    char label[64];
    std::snprintf(label, sizeof label, "%s, %d digits", name, digits);
    std::printf("%-28s %12.1f %12.1f %8.2f\n", label, ours * 1e6, baseline * 1e6, ours / baseline);
}

}  // namespace bench
