// Fuzzes PARSE: random rules over random string, binary and block input.
// The fuzz bytes pick rule tokens (keywords, literals, counts, datatypes,
// nested blocks, a word naming the rules themselves for recursion) and
// input items. Every run must end, in a result or a script error: the depth
// check bounds recursion and the no-progress stop ends repetitions over
// input that does not move. The collector runs on its own meanwhile, so a
// value the engine forgot to root shows as a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/errors/catalogue.h"
#include "runtime/errors/raise.h"
#include "runtime/eval/natives.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/words/core_roots.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/series.h"
#include "runtime/parse/parse.h"
#include "tests/support/core_runtime.h"
#include "tests/support/eval_environment.h"

namespace {

// Rule tokens. Code that could grow the input without end (insert, change
// under while) is left out; everything else may nest freely. The code in
// parens counts its runs and raises an error after a few thousand, since
// `while` over code that runs is a loop the grammar asks for.
constexpr const char* rule_tokens[] = {
    "[", "]", "any", "some", "opt", "while", "to", "thru", "end", "skip", "fail", "not", "ahead", "|",
    "break", "reject", "copy x", "set x", "remove", "keep", "collect", "into", "none", "quote", "\"a\"",
    "\"ab\"", "#\"b\"", "digits", "0", "1", "2", "1 2", "integer!", "word!", "string!", "block!", "r",
    "'a", "\"\"", "p:", ":p", "case yes", "if (tick)", "(tick)", "collect set y", "keep pick",
    "collect into buf", "quote a", "keep (tick)", "any-string!",
};
constexpr size_t rule_token_count = sizeof rule_tokens / sizeof *rule_tokens;

constexpr const char* block_items[] = {"a", "1", "\"ab\"", "[a 1]", "b", "2.5", "[]", "#\"b\""};
constexpr char text_items[] = {'a', 'b', '1', ' '};

constexpr size_t max_rule_tokens = 32;
// Short input: a grammar that recurses through `to` backtracks
// exponentially in the input's length, as a backtracking regex would.
constexpr size_t max_input_items = 12;

// The input: its kind from the first byte, items from the bytes up to 0xFF.
std::string make_input(const uint8_t*& p, const uint8_t* end) {
    if (p == end) return "\"\"";
    const uint8_t kind = *p++ % 3;
    std::string items;
    size_t n = 0;
    while (p < end && *p != 0xFF && n++ < max_input_items) {
        const uint8_t b = *p++;
        if (kind == 2) items += std::string(block_items[b % 8]) + " ";
        else items += text_items[b % 4];
    }
    if (p < end) p++;
    if (kind == 0) return "\"" + items + "\"";
    if (kind == 1) return "to binary! \"" + items + "\"";
    return "[" + items + "]";
}

std::string make_rules(const uint8_t* p, const uint8_t* end) {
    std::string rules;
    int depth = 0;
    size_t n = 0;
    for (; p < end && n < max_rule_tokens; p++, n++) {
        const char* t = rule_tokens[*p % rule_token_count];
        if (t[0] == ']' && depth == 0) continue;
        depth += t[0] == '[' ? 1 : t[0] == ']' ? -1 : 0;
        rules += t;
        rules += ' ';
    }
    while (depth-- > 0) rules += "] ";
    return rules;
}

void boot() {
    qor::test::start_core_runtime();
    qor::natives::init();
    qor::parse::init();
    qor::lexer::init();
    qor::interpreter::init();
    qor::error::catalogue::init();
    qor::collector::init();
    qor::collector::install_core_roots();
    qor::collector::set_root_marker(qor::collector::Root::lexers, [] {
        qor::lexer::for_each_active_cell([](qor::Cell& cell) { qor::collector::mark_cell(cell); });
    });
    qor::stack::init_calls({qor::to_int(qor::Sym::tag_body), qor::to_int(qor::Sym::tag_anon)});
    qor::test::define_environment();
    qor::collector::set_enabled(true);
}

void run(const std::string& source) {
    using namespace qor;
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    Cell* top = stack::data.top;
    try {
        const Cell code = test::load(source);
        stack::push(code);
        top = stack::data.top;
        stack::mark_try(to_int(Sym::tag_body));
        interpreter::eval_block(code, false);
        if (stack::exiting()) std::abort();  // the rules hold no exits
    } catch (const error::Raised& e) {
        if (e.category != error::Category::script && e.category != error::Category::user) {
            std::fprintf(stderr, "unexpected error in: %s\n", source.c_str());
            std::abort();
        }
        (void)error::catch_raised(e, top, false);
    }
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    // Every call cuts the engine's stacks back, also when it raises.
    if (series::buffer(parse::rule_stack().w2)->length() != 0 || series::buffer(parse::value_stack().w2)->length() != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool booted = (boot(), true);
    (void)booted;
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    const bool strict = p < end && (*p++ & 1);
    const std::string input = make_input(p, end);
    const std::string rules = make_rules(p, end);
    run(std::string("x: y: none n: 0 tick: does [n: n + 1 if n > 3000 [do make error! {enough}] n] buf: copy [] digits: charset \"0123456789\" r: [") + rules + "] parse" +
        (strict ? "/case " : " ") + input + " r");
    return 0;
}
