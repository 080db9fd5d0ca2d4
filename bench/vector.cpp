// Element-wise vector math on 10 million elements, next to Python's `array`
// module (the per-element loop a Python user writes without NumPy) and
// NumPy when it is installed, in one run. The operations: a 32-bit integer
// vector plus a scalar and a scalar minus it (both in place), a 64-bit
// float vector times a scalar (in place), and the sum of two integer
// vectors into a new one. Each time is the best of three runs. Ratios are
// other / qor: above 1, qor is faster.
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

constexpr int element_count = 10'000'000;
constexpr int tries = 3;

void reset_stack() { stack::data.base = stack::data.top = stack::data.bottom; }

// Seconds of one program (the best of `tries` runs).
double run(const std::string& body, int runs = tries) {
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        reset_stack();
        const Cell code = test::load(body);
        stack::push(code);
        const auto start = std::chrono::steady_clock::now();
        interpreter::eval_block(code, false);
        best = std::min(best, bench::seconds_since(start));
        reset_stack();
    }
    return best;
}

// The molded result of a program.
std::string result_of(const std::string& body) {
    reset_stack();
    const Cell code = test::load(body);
    stack::push(code);
    interpreter::eval_block(code, false);
    const std::string molded = test::mold_value(stack::data.top[-1]);
    reset_stack();
    return molded;
}

// Both sides run the same operations the same number of times from the
// same start (integer zeros, floats of 1.0), so the elements they print
// afterwards must agree.
const char* python_script = R"(
import array, sys, time
n, tries = int(sys.argv[1]), int(sys.argv[2])
try:
    import numpy
except ImportError:
    numpy = None
def best(f):
    b = 1e30
    for _ in range(tries):
        t = time.perf_counter(); f(); b = min(b, time.perf_counter() - t)
    return b
v = array.array('i', bytes(4 * n))
f = array.array('d', [1.0]) * n
w = array.array('i', bytes(4 * n))
def add():
    for i in range(n): v[i] += 1
def sub():
    for i in range(n): v[i] = 10 - v[i]
def mul():
    for i in range(n): f[i] *= 1.5
def vadd():
    return array.array('i', [x + y for x, y in zip(v, w)])
times = [best(add), best(sub), best(mul), best(vadd)]
check = [v[0], v[n - 1], f[n - 1]]
if numpy is not None:
    nv = numpy.zeros(n, dtype=numpy.int32); nf = numpy.ones(n); nw = numpy.zeros(n, dtype=numpy.int32)
    def nadd(): nv.__iadd__(1)
    def nsub(): numpy.subtract(10, nv, out=nv)
    def nmul(): nf.__imul__(1.5)
    def nvadd(): return nv + nw
    times += [best(nadd), best(nsub), best(nmul), best(nvadd)]
else:
    times += [-1, -1, -1, -1]
print(*times)
print(*check)
)";

void line(const char* what, double ours, double py, double np) {
    std::printf("%-28s qor %8.4f s   python array %8.3f s (x%.1f)", what, ours, py, py / ours);
    if (np >= 0) std::printf("   numpy %8.4f s (x%.2f)", np, np / ours);
    else std::printf("   numpy n/a");
    std::printf("\n");
}

}  // namespace

int main() {
    bench::boot_evaluator();
    const std::string n = std::to_string(element_count);
    run("v: make vector! [integer! 32 " + n + "] f: make vector! [float! 64 " + n + "] f + 1.0 w: make vector! [integer! 32 " + n + "]", 1);
    const double add = run("v + 1");
    const double sub = run("10 - v");
    const double mul = run("f * 1.5");
    const double vadd = run("v + w");
    const std::string check = result_of("reduce [first v last v last f]");

    char script[] = "/tmp/qor-bench-vector-py-XXXXXX";
    const int sfd = mkstemp(script);
    if (sfd < 0) return 1;
    close(sfd);
    std::ofstream(script) << python_script;
    double t[8];
    char c1[32] = "", c2[32] = "", c3[64] = "";
    // $PYTHON names the interpreter (one with NumPy, when there is a choice).
    const char* python = std::getenv("PYTHON");
    FILE* p = popen(((python ? python : "python3") + std::string(" ") + script + " " + n + " " + std::to_string(tries)).c_str(), "r");
    const bool ok = p && std::fscanf(p, "%lf %lf %lf %lf %lf %lf %lf %lf %31s %31s %63s", &t[0], &t[1], &t[2], &t[3],
                                     &t[4], &t[5], &t[6], &t[7], c1, c2, c3) == 11;
    if (p) pclose(p);
    std::remove(script);
    if (!ok) {
        std::printf("python3 could not run\n");
        return 1;
    }
    const std::string py_check = "[" + std::string(c1) + " " + c2 + " " + c3 + "]";
    if (py_check != check) {
        std::printf("results differ: qor %s, python %s\n", check.c_str(), py_check.c_str());
        return 1;
    }
    std::printf("%d elements, best of %d; ratios other / qor (above 1: qor faster)\n", element_count, tries);
    line("integer! 32 + 1 (in place)", add, t[0], t[4]);
    line("10 - integer! 32 (in place)", sub, t[1], t[5]);
    line("float! 64 * 1.5 (in place)", mul, t[2], t[6]);
    line("vector + vector (new)", vadd, t[3], t[7]);
    return 0;
}
