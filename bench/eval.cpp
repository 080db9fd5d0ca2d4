// Interpreter speed: recursive fib 27, a 10-million-step counting loop and
// a loop of 3 million function calls. Prints one line per program with its
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
    {"fib27", "fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]] fib 27", 196418},
    {"count10M", "n: 0 loop 10000000 [n: n + 1] n", 10000000},
    {"call3M", "f: func [x] [x + 1] n: 0 loop 3000000 [n: f n] n", 3000000},
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
