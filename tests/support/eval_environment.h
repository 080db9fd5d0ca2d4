// The words a script needs from the environment (the natives, the actions,
// the operators, true, false, none), from the real library, for evaluator
// tests and benchmarks; and a mold of the values they show.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/datatypes/function.h"
#include "runtime/environment/environment.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::test {

// Molds a value as the console shows it.
inline std::string mold_value(const Cell& v) {
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

// Sets a global word. The value must be reachable by the collector:
// loading the word allocates.
inline void define(std::string_view name, const Cell& value) {
    Cell w = word::load(name);
    context::set(w, value);
}

// The environment words the transcripts use: the real library, run into
// the fresh evaluator. A library source that fails is a test failure.
inline void define_environment() {
    const std::optional<environment::Failure> failure = environment::try_run();
    if (failure) throw std::runtime_error(failure->source + ": " + failure->error);
    // The evaluator's transcripts show an error's message, where and near
    // lines, without the call-stack trace line.
    Cell code = load("set in system/state 'stack-trace 0");
    collector::RootGuard guard(code);
    interpreter::eval_block(code, false);
    stack::data.top = stack::data.base = stack::data.bottom;
}

}  // namespace qor::test
