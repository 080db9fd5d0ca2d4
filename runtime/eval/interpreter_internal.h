// The interpreter's step routines, shared by the plain walker
// (interpreter.cpp) and the decoded-block runner (decoded_block.cpp), which
// runs the same steps in the same order from a pre-decoded form of a block.
// Not for use outside the evaluator.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interrupt.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::interpreter::internal {

// The value cell of a bound word: one index into its context's values (on
// the data stack for a running function). nullptr when the word has no
// value to offer (unbound, or a function context that is not running); the
// context layer's slower lookup then gives the error.
inline Cell* bound_value(const Cell& word, const Cell** context_cell = nullptr) {
    const NodeId ctx = word::context_of(word);
    const int32_t index = word::index_of(word);
    if (ctx == 0 || index < 0) [[unlikely]] return nullptr;
    const Cell& h = *series::buffer(ctx)->cells();
    if (!context::has_values(h)) [[unlikely]] return nullptr;
    if (context_cell) *context_cell = &h;
    if (context::values_on_stack(h))
        return stack::data.bottom + context::stack_values_index(h.w2) + static_cast<uint32_t>(index);
    return series::buffer(h.w2)->cells() + index;
}

// Whether a word holding an operator stands in the block at the position:
// the operator then takes the value before it as its left operand.
inline bool operator_at(NodeId code, uint32_t pos) {
    series::Buffer* b = series::buffer(code);
    if (pos >= b->length()) return false;
    const Cell& w = b->cells()[pos];
    if (type_of(w) != TypeId::word) return false;
    const Cell* value = bound_value(w);
    return value != nullptr && type_of(*value) == TypeId::op;
}

inline bool is_callable(TypeId t) {
    return t == TypeId::native || t == TypeId::action || t == TypeId::function || t == TypeId::routine;
}

// Fetches one argument of the cache entry's kind from the code, pushes it
// and answers the next position (mode: call_mode bits).
uint32_t fetch_one(const Cell& entry, const Cell& name, NodeId code, uint32_t pos, uint32_t flags, uint32_t mode);
// Raises the argument-type error for the value on top of the stack.
[[noreturn]] void refuse_arg(const Cell& entry, const Cell& name);
// Raises the argument-type error when the value on top of the stack is not
// of a type the entry admits.
inline void check_arg(const Cell& entry, const Cell& name) {
    if (!arg_cache::admits(entry, type_of(stack::data.top[-1]))) [[unlikely]] refuse_arg(entry, name);
}
// The operator look-ahead after a value, from `pos`; answers the position after it.
uint32_t infix_look_ahead(NodeId code, uint32_t pos);
// `o/x` and `o/x: v` for an object word and a cached field: read or set in
// place and pushed; false (nothing done) for every other path.
bool object_field_path(const Cell& path, PathMode mode, const Cell* value);
// Sets the word of a set-word to the value on top of the stack.
void set_from_top(const Cell& set_word);
// The fast path code of an operator's function (0-2 arithmetic, 8 + the
// comparison code), -1 when it has none.
int fast_code(const Cell& fn);
// The plain expression loop of a block from `pos`, each value into
// `result`; false when an exit is pending.
bool run_expressions(NodeId code, uint32_t pos, Cell* result);
// Runs a native's, action's or routine!'s code in the frame made for it,
// with the refinement slots found (a routine! has none: its frame holds
// its refinements); an exit the code started stays pending.
void run_routine(const Cell& fn, std::span<const int32_t> refinements);
// Whether Ctrl-C asks for a halt (and the halt throw started).
inline bool halt_requested() { return interrupt::requested() && interrupt::take(); }

}  // namespace qor::interpreter::internal
