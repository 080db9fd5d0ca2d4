// Running the embedded environment library at start-up.
#include "runtime/environment/environment.h"
#include "runtime/environment/system_hooks.h"

#include <cstdio>
#include <string_view>

#include "runtime/environment/sources.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/output/output.h"
#include "runtime/core/runtime_process.h"
#include "runtime/core/symbol_ids.h"

namespace qor::environment {

namespace {

constexpr std::string_view category_names[] = {"throw",     "note",      "syntax", "script", "math",
                                                "access",    "reserved1", "reserved2", "user", "internal"};

std::string error_name(const error::Raised& e) {
    return std::string(category_names[static_cast<int>(e.category)]) + "/" + std::string(error::spelling(e.id));
}

// Loads one source and evaluates it at top level in the global context,
// under a try frame so that an error unwinds to here.
std::optional<Failure> run_source(const Source& source) {
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    try {
        Cell code;
        lexer::scan_buffer(&code, source.bytes, source.size);
        stack::mark_native(to_int(Sym::tag_body));
        stack::push(code);  // the code stays reachable while it runs
        stack::mark_try(to_int(Sym::tag_body));
        interpreter::eval_block(code, false);
        if (stack::exiting()) {
            stack::take_exit();
            return Failure{source.name, "a break, return, exit or throw left the top level"};
        }
    } catch (const error::Raised& e) {
        stack::unwind_for_error();
        return Failure{source.name, error_name(e)};
    }
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    return std::nullopt;
}

// Test builds collect at every allocation once the library is loaded. Its
// load runs the natives the tests exercise afterwards, and collecting at each
// of its allocations would make every start of a test build take many
// seconds, so the load collects as a release build does.
struct LoadWithoutStress {
    bool stress = collector::stress();
    LoadWithoutStress() { collector::set_stress(false); }
    ~LoadWithoutStress() { collector::set_stress(stress); }
};

}  // namespace

std::optional<Failure> try_run() {
    LoadWithoutStress load;
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    try {
        define_builtins();
        define_system_hooks();
    } catch (const error::Raised& e) {
        return Failure{"built-in words", error_name(e)};
    }
    for (const Source& source : sources())
        if (auto failure = run_source(source)) return failure;
    // The interface blocks live in the library: each listed native must be
    // defined there under its word with its number.
    if (auto word = natives::first_undefined()) return Failure{"environment/natives.qor", "native " + *word + " is not defined"};
    return std::nullopt;
}

void run() {
    const std::optional<Failure> failure = try_run();
    if (!failure) return;
    output::flush();
    std::fprintf(stderr, "*** environment library: %s: %s\n", failure->source.c_str(), failure->error.c_str());
    std::fflush(stderr);
    rt::quit(99);
}

}  // namespace qor::environment
