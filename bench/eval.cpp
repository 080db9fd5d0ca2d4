// Interpreter speed: recursive fib 30, a 10-million-step counting loop,
// loops of 3 million calls of a one- and a three-argument function, 3
// million updates of an object's field and a foreach over a million values. Prints one line per program with its
// time in seconds (bench/eval.sh compares them with Lua and Python). A
// program's name as the argument runs that one alone.
#include <chrono>
#include <cstdio>
#include <string_view>

#include "bench/evaluator.h"
#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/memory_record.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "tests/support/eval_environment.h"

using namespace qor;

namespace {

struct Program {
    const char* name;
    const char* code;
    int32_t expected;
};

const Program programs[] = {
    {"fib30", "fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]] fib 30", 832040},
    {"count10M", "n: 0 i: 0 while [i < 10000000] [n: n + 1 i: i + 1] n", 10000000},
    {"call3M", "f: func [x] [x + 1] n: 0 loop 3000000 [n: f n] n", 3000000},
    {"call3args", "g: func [a b c] [a + b + c] n: 0 loop 3000000 [n: g n 1 0] n", 3000000},
    {"field3M", "o: make object! [x: 0] loop 3000000 [o/x: o/x + 1] o/x", 3000000},
    {"foreach1M", "b: make block! 1000000 loop 1000000 [append b 1] s: 0 foreach v b [s: s + v] s", 1000000},
};

}  // namespace

int main(int argc, char** argv) {
    bench::boot_evaluator();
    for (const Program& p : programs) {
        if (argc > 1 && std::string_view(argv[1]) != p.name) continue;  // one program by name
        stack::data.base = stack::data.top = stack::data.bottom;
        const Cell code = test::load(p.code);
        stack::push(code);
        const auto start = std::chrono::steady_clock::now();
        interpreter::eval_block(code, false);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const Cell result = stack::data.top[-1];
        if (type_of(result) != TypeId::integer || get_int(result) != p.expected) {
            std::printf("%s wrong result\n", p.name);
            return 1;
        }
        std::printf("%s %.4f\n", p.name, seconds);
    }
    return 0;
}
