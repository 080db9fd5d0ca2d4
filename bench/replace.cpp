// replace/all on a long string, binary and block, through the library
// function and the evaluator: each line of the series holds one match. The
// series is made twice as long and the time of the replacement is measured
// again, so the ratio of the two times shows how the work grows: 2 is
// linear.
//
// Three replacements of each: one as long as the pattern, one longer and one
// shorter.
//
//   bench_replace [lines]     (default 80000: 3.7 MB, then 160000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "bench/evaluator.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "tests/support/eval_environment.h"

using namespace qor;

namespace {

// Runs source text; answers the value of its last expression.
Cell run(const std::string& code) {
    stack::data.base = stack::data.top = stack::data.bottom;
    const Cell block = test::load(code);
    stack::push(block);
    interpreter::eval_block(block, false);
    return stack::data.top[-1];
}

// One kind of series: how a line is appended, the pattern, and the
// replacements with their lengths.
struct Kind {
    const char* name;
    const char* line;     // appended once per line
    int line_size;        // its length
    const char* pattern;
    int pattern_size;
};

constexpr Kind kinds[] = {
    {"string", "{a line with a cat in it, and some words after.^/}", 47, "{cat}", 3},
    {"binary", "to binary! {a line with a cat in it, and some words after.^/}", 47, "#{636174}", 3},
    {"block", "[a line with a cat in it and some words after]", 11, "'cat", 1},
};

// Seconds replace/all takes on a series of `lines` lines, each holding the
// pattern once; -1 when the result is wrong.
double time_replace(const Kind& kind, int lines, const std::string& by, int by_size) {
    run("text: make " + std::string(kind.name) + "! 0 loop " + std::to_string(lines) + " [append text " +
        kind.line + "] 'ok");
    const auto start = std::chrono::steady_clock::now();
    run("replace/all text " + std::string(kind.pattern) + " " + by + " 'ok");
    const double seconds = bench::seconds_since(start);
    const long size = static_cast<long>(lines) * (kind.line_size - kind.pattern_size + by_size);
    const Cell ok = run("all [none? find text " + std::string(kind.pattern) + " (length? text) = " +
                        std::to_string(size) + "]");
    run("text: none 'ok");
    return type_of(ok) == TypeId::logic && ok.w1 == 1 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 80000;
    if (lines < 1000 || lines > 4000000) {
        std::fprintf(stderr, "usage: %s [lines, 1000 to 4000000]\n", argv[0]);
        return 2;
    }
    bench::boot_evaluator();
    std::printf("replace/all of cat, once in each line of 47 characters or 11 values: %d lines, then %d\n", lines,
                2 * lines);
    std::printf("%-24s %12s %12s %10s\n", "replacement", "n lines", "2n lines", "2n / n");
    int failures = 0;
    struct By {
        const char* string;  // the replacement for strings and binaries
        const char* block;   // the replacement for blocks
        int size;            // its length in characters
        int block_size;      // its length in values
    };
    for (const Kind& kind : kinds) {
        for (const By by : {By{"{dog}", "'dog", 3, 1}, By{"{tiger}", "[big tiger]", 5, 2}, By{"{ox}", "[]", 2, 0}}) {
            const bool block = std::string(kind.name) == "block";
            const std::string value = block ? by.block : by.string;
            const int size = block ? by.block_size : by.size;
            // The best of three runs of each size, against the noise of
            // collections and of other processes.
            double one = 1e9, two = 1e9;
            for (int run = 0; run < 3; run++) {
                one = std::min(one, time_replace(kind, lines, value, size));
                two = std::min(two, time_replace(kind, 2 * lines, value, size));
            }
            const std::string what = std::string(kind.name) + " -> " + value;
            if (one < 0 || two < 0) {
                std::printf("%-24s wrong result\n", what.c_str());
                failures++;
                continue;
            }
            std::printf("%-24s %10.3f s %10.3f s %10.2f\n", what.c_str(), one, two, two / one);
            std::fflush(stdout);
        }
    }
    std::printf("(2.00: the time doubles with the text; 4.00: it grows with the square)\n");
    return failures ? 1 : 0;
}
