// String work on 10 MB of text next to the same work in Lua 5.4 and
// Python 3, in one run:
//   - building a 10 MB string by a million appends of a 10-character text
//     (Lua and Python collect the pieces and join them, their idiom);
//   - twenty searches for a text found only at the end of it, with and
//     without case;
//   - twenty comparisons ignoring case of two 10 MB strings that differ only
//     in case (the idiom on the other sides: lower both, then compare).
//
// The string side calls the actions through their dispatchers in a fresh
// frame each time, as the interpreter does; the other sides run as scripts
// through `lua5.4` and `python3` (skipped when not installed). Each line
// prints the three times and the ratios other / ours (above 1: we are
// faster).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "bench/bench_support.h"
#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/series.h"
#include "runtime/words/ownership.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/predefined.h"
#include "runtime/words/symbol.h"
#include "tests/support/core_runtime.h"

using namespace qor;

namespace {

constexpr int append_count = 1'000'000;  // of 10 characters: 10 MB
constexpr int find_count = 20;
constexpr int compare_count = 20;

// One action call in a new frame: arguments, then refinement slots (-1
// absent, else the slot of its argument; 0 for a flag).
Cell call(Action a, std::initializer_list<Cell> args, std::initializer_list<int32_t> refs = {}) {
    const stack::DataStack saved = stack::data;
    stack::data.base = stack::data.top;
    for (const Cell& c : args) stack::push(c);
    actions::dispatcher(a)(std::span<const int32_t>(refs.begin(), refs.size()));
    const Cell result = *stack::data.base;
    stack::data = saved;
    return result;
}

Cell* push_text(std::string_view text) {
    Cell* c = stack::push(unset_cell);
    str::make_at(*c, static_cast<uint32_t>(text.size()));
    str::append_literal(*c, text);
    return c;
}

std::string lua(const std::string& body) { return "lua5.4 -e '" + body + "'"; }
std::string python(const std::string& body) { return "python3 -c '" + body + "'"; }

double bench_append() {
    Cell* s = push_text("");
    Cell* piece = push_text("abcdefghij");
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < append_count; i++) (void)call(Action::append, {*s, *piece}, {-1, -1, -1});
    const double t = bench::seconds_since(t0);
    if (str::length_at(*s) != 10u * append_count) std::printf("append: wrong length\n");
    stack::pop(2);
    return t;
}

// A 10 MB text with "xyz" only at its end.
Cell* push_haystack() {
    std::string big(10u * append_count - 3, 'a');
    for (size_t i = 0; i < big.size(); i += 7) big[i] = 'x';
    big += "xyz";
    return push_text(big);
}

double bench_find(bool case_sensitive) {
    Cell* s = push_haystack();
    Cell* pattern = push_text(case_sensitive ? "xyz" : "XYZ");
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < find_count; i++) {
        const Cell r = call(Action::find, {*s, *pattern},
                            {-1, -1, case_sensitive ? 0 : -1, -1, -1, -1, -1, -1, -1, -1, -1});
        if (type_of(r) == TypeId::none || r.w1 != 10u * append_count - 3) std::printf("find: wrong answer\n");
    }
    const double t = bench::seconds_since(t0);
    stack::pop(2);
    return t;
}

double bench_compare() {
    std::string a(10u * append_count, 'a'), b;
    for (size_t i = 0; i < a.size(); i++) a[i] = static_cast<char>('a' + i % 26);
    b = a;
    for (size_t i = 0; i < b.size(); i += 2) b[i] = static_cast<char>(b[i] - 32);
    Cell* x = push_text(a);
    Cell* y = push_text(b);
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < compare_count; i++)
        if (!actions::compare(*x, *y, CompareOp::equal)) std::printf("compare: not equal\n");
    const double t = bench::seconds_since(t0);
    stack::pop(2);
    return t;
}

}  // namespace

int main() {
    test::start_core_runtime();

    bench::report("append 1,000,000 x 10 characters", bench_append(),
           bench::run_seconds(lua("local t=os.clock() local b={} for i=1,1000000 do b[#b+1]=\"abcdefghij\" end "
                          "local s=table.concat(b) print(os.clock()-t)")),
           bench::run_seconds(python("import time\nt=time.perf_counter()\nb=[]\n"
                             "for i in range(1000000): b.append(\"abcdefghij\")\n"
                             "s=\"\".join(b)\nprint(time.perf_counter()-t)")), 40);

    const std::string lua_haystack =
        "local p={} for i=0,9999996 do p[#p+1]=(i%7==0) and \"x\" or \"a\" end local s=table.concat(p)..\"xyz\" ";
    const std::string py_haystack = "import time\ns=\"\".join(\"x\" if i%7==0 else \"a\" for i in range(9999997))+\"xyz\"\n";
    bench::report("20 finds in 10 MB, case-sensitive", bench_find(true),
           bench::run_seconds(lua(lua_haystack + "local t=os.clock() for i=1,20 do assert(string.find(s,\"xyz\",1,true)) end "
                                         "print(os.clock()-t)")),
           bench::run_seconds(python(py_haystack + "t=time.perf_counter()\nfor i in range(20): assert s.find(\"xyz\")>0\n"
                                           "print(time.perf_counter()-t)")), 40);
    bench::report("20 finds in 10 MB, ignoring case", bench_find(false),
           bench::run_seconds(lua(lua_haystack + "local t=os.clock() for i=1,20 do assert(string.find(s:lower(),\"xyz\",1,true)) end "
                                         "print(os.clock()-t)")),
           bench::run_seconds(python(py_haystack + "t=time.perf_counter()\nfor i in range(20): assert s.lower().find(\"xyz\")>0\n"
                                           "print(time.perf_counter()-t)")), 40);

    const std::string lua_pair =
        "local p={} for i=0,9999999 do local c=97+i%26 if i%2==0 then c=c-32 end p[#p+1]=string.char(c) end "
        "local b=table.concat(p) local a=b:lower() ";
    const std::string py_pair =
        "import time\na=\"\".join(chr(97+i%26) for i in range(10000000))\n"
        "b=\"\".join(chr(97+i%26-32) if i%2==0 else chr(97+i%26) for i in range(10000000))\n";
    bench::report("20 compares of 10 MB, ignoring case", bench_compare(),
           bench::run_seconds(lua(lua_pair + "local t=os.clock() for i=1,20 do assert(a:lower()==b:lower()) end "
                                     "print(os.clock()-t)")),
           bench::run_seconds(python(py_pair + "t=time.perf_counter()\nfor i in range(20): assert a.lower()==b.lower()\n"
                                       "print(time.perf_counter()-t)")), 40);

    memory::release_all();
    return 0;
}
