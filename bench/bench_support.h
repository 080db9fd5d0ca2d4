// What the benchmarks share: a wall-clock timer and a processor-time one,
// running a script that prints its own seconds, and one report line next to
// Lua 5.4 and Python 3.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace qor::bench {

inline double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of the calling thread. Unlike wall time it leaves out the
// time other programs hold the processor, so two codecs timed in turn on a
// busy machine still compare fairly.
inline double thread_cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs a command and reads the seconds it prints (two numbers when `second`
// is given); negative when it could not run.
inline double run_seconds(const std::string& command, double* second = nullptr) {
    FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return -1;
    double first = -1, other = -1;
    const int wanted = second ? 2 : 1;
    if (std::fscanf(p, "%lf %lf", &first, &other) < wanted) first = other = -1;
    if (pclose(p) != 0) first = other = -1;
    if (second) *second = other;
    return first;
}

// One line: our time, then each other tool's time and how many times ours
// fits in it (n/a when the tool could not run).
inline void report(const char* what, double ours, double lua_s, double py_s, int width = 34) {
    std::printf("%-*s qor %7.3f s", width, what, ours);
    if (lua_s >= 0) std::printf("   lua5.4 %7.3f s (x%.2f)", lua_s, lua_s / ours);
    else std::printf("   lua5.4      n/a          ");
    if (py_s >= 0) std::printf("   python3 %7.3f s (x%.2f)", py_s, py_s / ours);
    else std::printf("   python3 n/a");
    std::printf("\n");
}

}  // namespace qor::bench
