// PARSE: matching a rules block against an input series.
//
// The engine is one loop over numbered states; nested rule blocks,
// repetitions and keyword rules live on an explicit rule stack (a block of
// cells, three per open rule), so the depth of the rules never uses the
// machine stack. The input series being parsed lives on a value stack
// (`into` pushes the nested series). Both stacks are shared by nested calls
// of `parse` (from a paren, an `if` or a trace callback): each call works
// above the entries it found and cuts both stacks back when it ends or
// raises an error.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"

namespace qor::parse {

// Either stack holding more cells than this raises `parse-stack`.
inline constexpr uint32_t max_stack_cells = 10'000;

// Creates the rule stack and the value stack (boot).
void init();

// One call of the engine. The input, the rules and the callback are cells
// of the data stack (indexes from its bottom) so that they stay rooted.
struct Request {
    uint32_t input_at = 0;     // the input series
    uint32_t rules_at = 0;     // the rules block
    int32_t callback_at = -1;  // the trace callback (function!), or -1
    CompareOp op = CompareOp::equal;
    uint32_t limit = 0;        // absolute index limit of the input; 0: none
};

// Runs the rules over the input. The answer (a logic! or the block of a
// top-level collect) is written into `result`, a cell of the data stack.
// Answers false when a break, continue, return, exit or throw started by
// the rules' code passes through (it stays pending; nothing was written).
bool process(const Request& request, uint32_t result_at);

// The stacks' cells, for the collector and for tests.
[[nodiscard]] const Cell& rule_stack();
[[nodiscard]] const Cell& value_stack();

}  // namespace qor::parse
