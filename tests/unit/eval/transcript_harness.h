// The in-process transcript harness: replays `>> ` input lines through the
// interpreter and compares what the console would print ("== " and the
// molded value; nothing for unset; "*** category/id" for an error, until
// the error catalogue forms messages).
//
// The words a script needs from the environment (the natives, the math
// actions and their operators, true, false, none) are defined here until
// the boot image defines them.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/eval/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/unit/eval/eval_fixture.h"
#include "tests/unit/eval/mini_reader.h"

namespace qor::test {

inline void define(std::string_view name, const Cell& value) {
    Cell w = word::load(name);
    context::set(w, value);
}

// The environment words the transcripts use.
inline void define_environment() {
    natives::define_all();
    define("true", logic::true_value);
    define("false", logic::false_value);
    define("none", none::value);
    const std::string_view two = "value1 [any-type!] value2 [any-type!]";
    const std::string_view one = "value [any-type!]";
    struct ActionSpec {
        Action action;
        std::string_view spec;
        std::string_view op;
    };
    const ActionSpec actions[] = {
        {Action::add, two, "+"},        {Action::subtract, two, "-"},  {Action::multiply, two, "*"},
        {Action::divide, two, "/"},     {Action::remainder, two, "//"}, {Action::negate, one, ""},
        {Action::even_q, one, ""},      {Action::odd_q, one, ""},      {Action::absolute, one, ""},
    };
    for (const ActionSpec& a : actions) {
        const Cell value = natives::make_action(a.action, a.spec);
        define(action_word(a.action), value);
        if (!a.op.empty()) define(a.op, native::make_op(value));
    }
    const std::pair<std::string_view, uint32_t> ops[] = {
        {"=", 25}, {"<>", 26}, {"==", 27}, {"<", 28}, {">", 29}, {"<=", 30}, {">=", 31}, {"=?", 32},
    };
    for (const auto& [op, number] : ops) define(op, native::make_op(natives::make(number)));
}

// Molds the values transcripts show.
inline std::string mold_value(const Cell& v);

inline std::string mold_cells(const Cell& series, const char* open, const char* close, char sep = ' ') {
    std::string out = open;
    const series::Buffer* b = series::buffer(series.w2);
    bool first = true;
    for (uint32_t i = series.w1; i < b->length(); i++) {
        if (!first) out += sep;
        first = false;
        out += mold_value(series::buffer(series.w2)->cells()[i]);
    }
    return out + close;
}

inline std::string mold_value(const Cell& v) {
    switch (type_of(v)) {
        case TypeId::none: return "none";
        case TypeId::logic: return v.w1 ? "true" : "false";
        case TypeId::block: return mold_cells(v, "[", "]");
        case TypeId::paren: return mold_cells(v, "(", ")");
        case TypeId::path: return mold_cells(v, "", "", '/');
        case TypeId::lit_path: return "'" + mold_cells(v, "", "", '/');
        case TypeId::word: return std::string(symbol::spelling(v.w2));
        case TypeId::set_word: return std::string(symbol::spelling(v.w2)) + ":";
        case TypeId::get_word: return ":" + std::string(symbol::spelling(v.w2));
        case TypeId::lit_word: return "'" + std::string(symbol::spelling(v.w2));
        case TypeId::refinement: return "/" + std::string(symbol::spelling(v.w2));
        case TypeId::issue: return "#" + std::string(symbol::spelling(v.w2));
        case TypeId::function: return "?function?";
        case TypeId::native: return "?native?";
        case TypeId::action: return "?action?";
        case TypeId::op: return "?op?";
        default: return mold(v);
    }
}

inline const char* category_name(error::Category c) {
    static const char* const names[] = {"throw", "note", "syntax", "script", "math",
                                        "access", "reserved1", "reserved2", "user", "internal"};
    return names[static_cast<int>(c)];
}

// Evaluates one input line as the console does and answers its output.
inline std::string run_line(std::string_view input) {
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    std::string out;
    try {
        const Cell code = MiniReader(input).read_all();
        stack::mark_native(to_int(Sym::tag_body));
        stack::push(code);  // the code stays referenced
        stack::mark_try(to_int(Sym::tag_body));
        interpreter::eval_block(code, false);
        if (stack::exiting()) {
            out = "*** exit " + std::to_string(stack::take_exit()) + "\n";
        } else {
            const Cell result = stack::data.top[-1];
            if (type_of(result) != TypeId::unset) out = "== " + mold_value(result) + "\n";
        }
    } catch (const error::Raised& e) {
        stack::unwind_for_error();
        out = std::string("*** ") + category_name(e.category) + "/" + std::string(e.id) + "\n";
    }
    return out;
}

struct TranscriptCase {
    std::string input, expected;
};

// The cases of a transcript file.
inline std::vector<TranscriptCase> read_transcript(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<TranscriptCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(">> ", 0) == 0) {
            cases.push_back({line.substr(3), ""});
        } else if (!cases.empty() && !line.empty()) {
            cases.back().expected += line + "\n";
        }
    }
    return cases;
}

}  // namespace qor::test
