// Money arithmetic next to Python's decimal on the same values, in one run:
// 2,000 pairs of amounts (up to 10 integer digits and 5 decimals) added,
// and each amount multiplied by an integer factor (1 to 9,999), 500 times
// over. Both sides run the same script shape: a loop over the pairs doing
// the operation, and the same loop doing nothing but fetch the values (the
// loop's own cost), so each line shows the whole loop and the operation
// alone (the difference). Each time is the best of five runs. The ratios
// are python / qor: above 1, money! is faster.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "bench/bench_support.h"
#include "bench/evaluator.h"
#include "tests/support/eval_environment.h"

using namespace qor;

namespace {

constexpr int pair_count = 2000;
constexpr int rounds = 500;

// The same values on both sides: a small generator, written out as text.
struct Values {
    std::string qor_block;  // "[a b f a b f ...]" as money and integers
    std::string lines;      // "a b f" per line, for Python
};

Values make_values() {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state](uint64_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % bound;
    };
    auto amount = [&next]() {
        char text[40];
        std::snprintf(text, sizeof text, "%s%llu.%05llu", next(4) == 0 ? "-" : "",
                      static_cast<unsigned long long>(next(10'000'000'000ull)),
                      static_cast<unsigned long long>(next(100'000)));
        return std::string(text);
    };
    Values v;
    v.qor_block = "[";
    for (int i = 0; i < pair_count; i++) {
        const std::string a = amount(), b = amount(), f = std::to_string(1 + next(9999));
        auto money = [](const std::string& t) { return t[0] == '-' ? "-$" + t.substr(1) : "$" + t; };
        v.qor_block += money(a) + " " + money(b) + " " + f + " ";
        v.lines += a + " " + b + " " + f + "\n";
    }
    v.qor_block += "]";
    return v;
}

// The molded result of a program.
std::string result_of(const std::string& body) {
    stack::data.base = stack::data.top = stack::data.bottom;
    const Cell code = test::load(body);
    stack::push(code);
    interpreter::eval_block(code, false);
    const std::string molded = test::mold_value(stack::data.top[-1]);
    stack::data.base = stack::data.top = stack::data.bottom;
    return molded;
}

constexpr int tries = 5;  // each time is the best of these, on both sides

// Seconds of one program (the best of `tries` runs), after `values:
// <block>` was set.
double run(const std::string& body) {
    double best = 1e30;
    for (int i = 0; i < tries; i++) {
        stack::data.base = stack::data.top = stack::data.bottom;
        const Cell code = test::load(body);
        stack::push(code);
        const auto start = std::chrono::steady_clock::now();
        interpreter::eval_block(code, false);
        best = std::min(best, bench::seconds_since(start));
        stack::data.base = stack::data.top = stack::data.bottom;
    }
    return best;
}

const char* python_script = R"(
import decimal, sys, time
rows = [line.split() for line in open(sys.argv[1])]
values = [(decimal.Decimal(a), decimal.Decimal(b), int(f)) for a, b, f in rows]
def timed(body):
    best = 1e30
    for _ in range(int(sys.argv[3])):
        t = time.perf_counter()
        for _ in range(int(sys.argv[2])):
            body()
        best = min(best, time.perf_counter() - t)
    return best
def loop():
    for a, b, f in values: a
def add():
    for a, b, f in values: a + b
def multiply():
    for a, b, f in values: a * f
print(timed(loop), timed(add), timed(multiply))
check = sum(a + b + a * f for a, b, f in values[:100])
print(("-$" if check < 0 else "$") + format(abs(check), ".5f"))
)";

void line(const char* what, double ours, double ours_loop, double py, double py_loop) {
    const double op = ours - ours_loop, py_op = py - py_loop;
    std::printf("%-22s qor %7.3f s  python %7.3f s  (x%.2f)   operation alone: qor %6.1f ns  python %6.1f ns  (x%.2f)\n",
                what, ours, py, py / ours, op * 1e9 / (pair_count * rounds), py_op * 1e9 / (pair_count * rounds),
                py_op / op);
}

}  // namespace

int main() {
    bench::boot_evaluator();
    const Values v = make_values();
    const std::string rounds_text = std::to_string(rounds);
    if (run("values: " + v.qor_block) < 0) return 1;
    const std::string check =
        result_of("s: $0 foreach [a b f] copy/part values 300 [s: s + a + b + (a * f)] mold/all s");
    const double loop = run("loop " + rounds_text + " [foreach [a b f] values [a]]");
    const double add = run("loop " + rounds_text + " [foreach [a b f] values [a + b]]");
    const double multiply = run("loop " + rounds_text + " [foreach [a b f] values [a * f]]");

    char data[] = "/tmp/qor-bench-money-XXXXXX";
    char script[] = "/tmp/qor-bench-money-py-XXXXXX";
    const int fd = mkstemp(data), sfd = mkstemp(script);
    if (fd < 0 || sfd < 0) return 1;
    close(fd);
    close(sfd);
    std::ofstream(data) << v.lines;
    std::ofstream(script) << python_script;
    double py_loop = -1, py_add = -1, py_multiply = -1;
    char py_check[64] = "";
    FILE* p = popen(("python3 " + std::string(script) + " " + data + " " + rounds_text + " " + std::to_string(tries)).c_str(), "r");
    if (!p || std::fscanf(p, "%lf %lf %lf %63s", &py_loop, &py_add, &py_multiply, py_check) != 4) py_loop = -1;
    if (p) pclose(p);
    std::remove(data);
    std::remove(script);
    if (py_loop < 0) {
        std::printf("python3 could not run\n");
        return 1;
    }
    // Both sides must have computed the same amounts.
    if ("\"" + std::string(py_check) + "\"" != check) {
        std::printf("results differ: qor %s, python %s\n", check.c_str(), py_check);
        return 1;
    }
    std::printf("%d pairs x %d rounds; ratios python / qor (above 1: qor faster)\n", pair_count, rounds);
    line("money + money", add, loop, py_add, py_loop);
    line("money * integer", multiply, loop, py_multiply, py_loop);
    return 0;
}
