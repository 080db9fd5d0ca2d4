// The words a script needs from the environment (the natives, the math
// actions and their operators, true, false, none), defined for evaluator
// tests and benchmarks until the boot image defines them; and a mold of the
// values they show.
#pragma once

#include <string>
#include <string_view>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/eval/actions.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::test {

// The value must be reachable by the collector: loading the word allocates.
inline void define(std::string_view name, const Cell& value) {
    Cell w = word::load(name);
    context::set(w, value);
}

// The environment words the transcripts use.
inline void define_environment() {
    natives::define_all();
    for (uint32_t t = 1; t <= type_name_count; t++)
        define(symbol::spelling(type_name_symbol(t)), Cell{to_int(TypeId::datatype), t, 0, 0});
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
        {Action::append, "series [any-type!] value [any-type!] /part length [any-type!] /only /dup count [any-type!]", ""},
        {Action::head, "series [any-type!]", ""},
        {Action::tail, "series [any-type!]", ""},
        {Action::next, "series [any-type!]", ""},
        {Action::insert, "series [any-type!] value [any-type!] /part length [any-type!] /only /dup count [any-type!]", ""},
        {Action::copy, "value [any-type!] /part length [any-type!] /deep /types kind [any-type!]", ""},
        {Action::make, "type [any-type!] spec [any-type!]", ""},
        {Action::length_q, "series [any-type!]", ""},
        {Action::form, "value [any-type!] /part limit [integer!]", ""},
        {Action::mold, "value [any-type!] /only /all /flat /part limit [integer!]", ""},
    };
    for (const ActionSpec& a : actions) {
        Cell value = natives::make_action(a.action, a.spec);
        collector::RootGuard guard(value);
        define(action_word(a.action), value);
        if (a.op.empty()) continue;
        Cell op = native::make_op(value);
        collector::RootGuard op_guard(op);
        define(a.op, op);
    }
    const std::pair<std::string_view, uint32_t> ops[] = {
        {"=", 25}, {"<>", 26}, {"==", 27}, {"<", 28}, {">", 29}, {"<=", 30}, {">=", 31}, {"=?", 32},
    };
    for (const auto& [op, number] : ops) {
        Cell value = natives::make(number);
        collector::RootGuard guard(value);
        Cell op_value = native::make_op(value);
        collector::RootGuard op_guard(op_value);
        define(op, op_value);
    }
}

// Molds a value as the console shows it. Function values mold by their
// kind until their datatype registers its mold.
inline std::string mold_value(const Cell& v) {
    switch (type_of(v)) {
        case TypeId::function: return "?function?";
        case TypeId::native: return "?native?";
        case TypeId::action: return "?action?";
        case TypeId::op: return "?op?";
        default: break;
    }
    Cell buffer = none::value;
    collector::RootGuard guard(buffer);
    text_buffer::make(buffer);
    actions::call_mold(v, buffer, false, false, false, nullptr, 0, 0);
    std::string out;
    for (uint32_t i = 0; i < text_buffer::length(buffer); i++) {
        const char32_t c = text_buffer::char_at(buffer, i);
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// Loads source text into a block with the lexer.
inline Cell load(std::string_view text) {
    Cell block;
    lexer::scan_buffer(&block, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return block;
}

}  // namespace qor::test
