// Action dispatch: from an action call on the data stack to the routine of
// the first argument's datatype, and the comparison layer over `compare`.
//
// A dispatcher runs inside the action's frame: its arguments are the cells
// from the argument base, and it receives one number per refinement of the
// action's interface block, in interface order: -1 when the refinement is absent, else the
// index of the refinement's first argument cell from the argument base. It
// leaves the result in the result slot (the argument base).
//
// Beside the dispatchers, `call_*` helpers take typed arguments directly;
// the rest of the runtime calls actions through them.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"
#include "runtime/datatypes/registry.h"
#include "runtime/core/error_fire.h"

namespace qor::actions {

using Dispatcher = void (*)(std::span<const int32_t> refinements);

// Fills the dispatch table (after every datatype has registered).
void init();

// The dispatcher of an action; nullptr for set-path, which has none.
[[nodiscard]] Dispatcher dispatcher(Action a);

// Raises the error of an unsupported action: script `expect-arg` with the
// action's word, the datatype and the word of the action's first argument.
[[noreturn]] void not_supported(Action a, TypeId type);

// The routine of action A for a type; an empty entry raises the
// not-supported error.
template <Action A>
[[nodiscard]] inline routine_t<A> get_action(TypeId type) {
    const Routine r = datatype::routine(type, A);
    if (!r) [[unlikely]] not_supported(A, type);
    return restore<A>(r);
}

// The routine for the value's own datatype.
template <Action A>
[[nodiscard]] inline routine_t<A> get_action_of(const Cell& value) {
    return get_action<A>(type_of(value));
}

// The lookup of path evaluation: an empty entry raises `bad-path-type2`
// with the element and the datatype.
[[nodiscard]] EvalPathRoutine get_path_action(const Cell& value, const Cell& element);
// The same during a path walk: a value without path access raises
// bad-path-type with the path, the value's datatype and the path cut after
// the element that produced the value (`index` elements after the head).
// Without a path (or with one that is not of the path family) as above.
[[nodiscard]] EvalPathRoutine get_path_action(const Cell& value, const Cell& element, const Cell* path,
                                             int32_t index);

// Comparison. `compare` answers whether the comparison named by the code
// holds; values that cannot be compared are unequal, and raise script
// `invalid-compare` for an ordering test (3-6).
[[nodiscard]] bool compare(const Cell& value1, const Cell& value2, CompareOp op);
// The result slot becomes a logic! holding `compare` of the first two arguments.
Cell* compare_args(CompareOp op);
// -1, 0 or 1 for sorting (logic by truth, natives, actions and ops by their
// code, functions and routines by their parts block, all else by their
// compare routine).
[[nodiscard]] int32_t compare_order(const Cell& value1, const Cell& value2, CompareOp op);

// The number `pick` and `poke` receive: true 1, false 2, an integer or char
// its value, anything else 0.
[[nodiscard]] int32_t pick_index(const Cell& index);

// Typed entry points.
int32_t call_form(const Cell& value, Cell& buffer, const Cell* part, int32_t limit);
int32_t call_mold(const Cell& value, Cell& buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                  int32_t indent);
const Cell* call_make(Cell& prototype, Cell& spec);
const Cell* call_to(Cell& prototype, Cell& spec);
const Cell* call_copy(Cell& value, Cell& result, const Cell* part, bool deep, const Cell* types);
const Cell* call_find(Cell& series, Cell& value, const FindArgs& args);
Cell* call_eval_path(const EvalPathArgs& args);

}  // namespace qor::actions
