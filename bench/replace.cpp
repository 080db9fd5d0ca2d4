// replace/all on a long text, through the library function and the
// evaluator: each line of the text holds one match. The text is made
// twice as long and the time of the replacement is measured again, so the
// ratio of the two times shows how the work grows: 2 is linear.
//
// Three replacements: one as long as the pattern (nothing after the match
// moves), one longer and one shorter (the rest of the string moves by the
// difference at every match, once).
//
//   bench_replace [lines]     (default 80000: 3.7 MB, then 160000)
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

// Seconds replace/all takes on a text of `lines` lines, each holding "cat"
// once; -1 when the result is wrong.
double time_replace(int lines, const std::string& by) {
    run("text: make string! 0 loop " + std::to_string(lines) +
        " [append text {a line with a cat in it, and some words after.^/}] 'ok");
    const auto start = std::chrono::steady_clock::now();
    run("replace/all text {cat} {" + by + "} 'ok");
    const double seconds = bench::seconds_since(start);
    const Cell ok = run("all [none? find text {cat} (length? text) = " +
                        std::to_string(static_cast<long>(lines) * (47 - 3 + static_cast<long>(by.size()))) + "]");
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
    std::printf("replace/all of \"cat\", once in each 47-character line: %d lines (%.1f MB), then %d\n", lines,
                lines * 47 / 1e6, 2 * lines);
    std::printf("%-24s %12s %12s %10s\n", "replacement", "n lines", "2n lines", "2n / n");
    int failures = 0;
    for (const char* by : {"dog", "tiger", "ox"}) {
        const double one = time_replace(lines, by);
        const double two = time_replace(2 * lines, by);
        const std::string what = std::string("\"cat\" -> \"") + by + "\"";
        if (one < 0 || two < 0) {
            std::printf("%-24s wrong result\n", what.c_str());
            failures++;
            continue;
        }
        std::printf("%-24s %10.3f s %10.3f s %10.2f\n", what.c_str(), one, two, two / one);
        std::fflush(stdout);
    }
    std::printf("(2.00: the time doubles with the text; 4.00: it grows with the square)\n");
    return failures ? 1 : 0;
}
