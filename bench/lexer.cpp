// Lexer benchmark: loads a generated 10 MB source file (words, integers,
// floats, strings and nested blocks) and compares the speed with Python's
// `ast.parse` and Lua's `load` on the same data written as a list literal
// and a table constructor. Prints MB/s of each and the ratios.
//
// Usage: bench_lexer [megabytes] [qor]   (python3 and lua5.4 are run when
// found, unless "qor" asks for the lexer alone)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/memory_record.h"
#include "tests/support/core_runtime.h"

namespace {

// The same data in the three syntaxes.
struct Sources {
    std::string qor, python, lua;
};

// A small deterministic generator (xorshift), so every run lexes the same text.
struct Rng {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<uint32_t>(s >> 11);
    }
};

void item(Sources& out, Rng& rng, int depth) {
    static const char* syllables[] = {"al", "be", "ko", "ri", "ta", "mun", "zed", "ox", "pi", "lu"};
    const uint32_t kind = rng.next() % 10;
    auto all = [&](const std::string& s) {
        out.qor += s;
        out.python += s;
        out.lua += s;
    };
    if (kind < 4) {  // a word from a vocabulary of about a thousand
        const uint32_t n = rng.next() % 1000;
        all(std::string(syllables[n % 10]) + syllables[(n / 10) % 10] + syllables[n / 100]);
    } else if (kind < 6) {
        all(std::to_string(rng.next() % 100000));
    } else if (kind < 7) {
        all(std::to_string(rng.next() % 1000) + "." + std::to_string(rng.next() % 1000));
    } else if (kind < 9 || depth >= 2) {
        std::string s = "\"";
        const uint32_t len = 3 + rng.next() % 12;
        for (uint32_t i = 0; i < len; i++) s += static_cast<char>('a' + rng.next() % 26);
        all(s + "\"");
    } else {
        out.qor += "[";
        out.python += "[";
        out.lua += "{";
        const uint32_t n = 1 + rng.next() % 6;
        for (uint32_t i = 0; i < n; i++) {
            item(out, rng, depth + 1);
            if (i + 1 < n) {
                out.qor += " ";
                out.python += ", ";
                out.lua += ", ";
            }
        }
        out.qor += "]";
        out.python += "]";
        out.lua += "}";
    }
}

Sources generate(size_t bytes) {
    Sources s;
    Rng rng;
    s.python = "data = [\n";
    s.lua = "return {\n";
    while (s.qor.size() < bytes) {
        s.qor += "[";
        s.python += "[";
        s.lua += "{";
        for (int i = 0; i < 8; i++) {
            item(s, rng, 1);
            s.qor += i < 7 ? " " : "";
            s.python += i < 7 ? ", " : "";
            s.lua += i < 7 ? ", " : "";
        }
        s.qor += "]\n";
        s.python += "],\n";
        s.lua += "},\n";
    }
    s.python += "]\n";
    s.lua += "}\n";
    return s;
}

void fresh_runtime() {
    qor::test::start_core_runtime();
    qor::lexer::init();
}

double lex_seconds(const std::string& text) {
    double best = 1e9;
    for (int round = 0; round < 3; round++) {
        fresh_runtime();
        qor::Cell out = qor::unset_cell;
        const auto t0 = std::chrono::steady_clock::now();
        qor::lexer::scan_buffer(&out, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
        qor::memory::release_all();
    }
    return best;
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    const Sources s = generate(megabytes * 1024 * 1024);
    const std::string dir = "/tmp/qor_bench_lexer";
    std::system(("mkdir -p " + dir).c_str());
    write(dir + "/data.qor", s.qor);
    write(dir + "/data.py", s.python);
    write(dir + "/data.lua", s.lua);
    write(dir + "/time.py",
          "import ast, sys, time\ntext = open(sys.argv[1]).read()\nbest = 1e9\nfor _ in range(3):\n"
          "    t = time.perf_counter(); ast.parse(text); best = min(best, time.perf_counter() - t)\nprint(best)\n");
    write(dir + "/time.lua",
          "local f = io.open(arg[1], 'rb'); local text = f:read('a'); f:close()\nlocal best = 1e9\n"
          "for _ = 1, 3 do local t = os.clock(); assert(load(text)); best = math.min(best, os.clock() - t) end\n"
          "print(best)\n");

    const double mb = static_cast<double>(s.qor.size()) / 1e6;
    const double qor = lex_seconds(s.qor);
    const bool alone = argc > 2 && std::strcmp(argv[2], "qor") == 0;
    const double py = alone ? -1 : qor::bench::run_seconds("python3 " + dir + "/time.py " + dir + "/data.py");
    const double lua = alone ? -1 : qor::bench::run_seconds("lua5.4 " + dir + "/time.lua " + dir + "/data.lua");

    std::printf("source: %.1f MB qor, %.1f MB python, %.1f MB lua (same data)\n", mb,
                static_cast<double>(s.python.size()) / 1e6, static_cast<double>(s.lua.size()) / 1e6);
    std::printf("qor lexer load    %8.1f MB/s\n", mb / qor);
    if (py > 0) std::printf("python ast.parse  %8.1f MB/s   qor is %.2fx its speed\n",
                            static_cast<double>(s.python.size()) / 1e6 / py, py / qor);
    else std::printf("python3 not run\n");
    if (lua > 0) std::printf("lua load          %8.1f MB/s   qor is %.2fx its speed\n",
                             static_cast<double>(s.lua.size()) / 1e6 / lua, lua / qor);
    else std::printf("lua5.4 not run\n");
    return 0;
}
