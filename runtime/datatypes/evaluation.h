// The evaluator's services that datatypes call: evaluating a spec block
// (`make` of an object or an error), calling a function with arguments (an
// object's call through a field) and the code being run (an error's `near`).
//
// The evaluator sits above the datatypes, so it installs these when it
// starts (`interpreter::init`) instead of being included by them.
#pragma once

#include <span>

#include "runtime/core/cell.h"

namespace qor::evaluation {

struct Services {
    void (*eval_block)(const Cell& block, bool into_result) = nullptr;
    void (*call_with)(const Cell& fn, std::span<const Cell> args, const Cell& name) = nullptr;
    const Cell& (*current_code)() = nullptr;
};

// Sets the services; the interpreter calls it from its init.
void install(const Services& services);

// Evaluates a block; with `into_result` its last value is the result.
void eval_block(const Cell& block, bool into_result);

// Calls a function with the given arguments, under the given word name.
void call_with(const Cell& fn, std::span<const Cell> args, const Cell& name);

// The code being evaluated, unset before the evaluator has run any.
[[nodiscard]] const Cell& current_code();

}  // namespace qor::evaluation
