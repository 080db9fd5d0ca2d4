// The steps of pure programs (see decoded_form.h) as both their runners
// take them, the runner of whole programs and the runner of the blocks
// they reach nested: a word's value cell through the step's cache, the
// checks that a word still holds its operator or function, object fields,
// the end check and the fused integer operators. Internal to the
// decoded-block runner.
#pragma once

#include "runtime/eval/decoded_form.h"
#include "runtime/eval/fast_paths.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::interpreter::decoded {

// Nothing writes while a nested run (see run_nested) is under way: it
// sets and appends nothing, allocates nothing and runs no other code. What
// one of its steps checked (a word holding its operator or function, a
// block's cells being its form's) therefore holds until the run ends. Each
// run opens an epoch of its own; a step notes the epoch it checked in and
// skips the check while that lasts. A word in a function's frame names
// another frame in the next call: it is checked every time.
extern uint64_t epoch;

// The value cell of a step's word, found through what the step keeps
// while no buffer moved: the word's cell is the decoded one (the form
// checks that), so its context and index are too.
[[gnu::always_inline]] inline Cell* heap_slot(const Micro& m, const Cell& word, NodeId code) {
    if (m.links == node::link_count()) [[likely]] {
        if (!m.on_stack) return m.slot;
        const uint32_t frame = m.slot->w2;
        if (frame == 0) [[unlikely]] return nullptr;  // the function is not running
        return stack::data.bottom + context::stack_values_index(frame) + m.index;
    }
    const Cell* h = nullptr;
    Cell* slot = bound_value(word, &h);
    if (!slot) return nullptr;
    m.links = node::link_count();
    m.on_stack = context::values_on_stack(*h);
    m.slot = m.on_stack ? const_cast<Cell*>(h) : slot;
    m.index = static_cast<uint32_t>(word::index_of(word));
    m.in_code = !m.on_stack && h->w2 == code;
    m.object = context::kind_of(*h) == context::Kind::object;
    return slot;
}

// Whether the word of a step still holds the value it held when decoded
// (an operator, a function, the append action).
[[gnu::always_inline]] inline bool word_holds(const Micro& m, const Form& f, NodeId code) {
    const Cell* v = heap_slot(m, f.at(m.pos), code);
    return v && same(*v, m.value);
}

// word_holds in a program that runs nested, once per epoch for a word
// outside any frame.
[[gnu::always_inline]] inline bool holds(const Micro& m, const Form& f, NodeId code, bool nested) {
    if (nested && m.held == epoch) [[likely]] return true;
    if (!word_holds(m, f, code)) return false;
    if (nested && !m.on_stack) m.held = epoch;
    return true;
}

// The value cell of the object field `o/x` names, through the step's
// cache; nullptr when the cache does not hold (or, to set, when the object
// has change handlers).
inline Cell* cached_field(const FieldCache& c, const Cell& path, bool to_set) {
    if (c.links != node::link_count()) return nullptr;
    series::Buffer* p = series::buffer(path.w2);
    if (p->length() != path.w1 + 2) return nullptr;
    const Cell* cells = p->cells() + path.w1;
    if (!same(cells[0], c.first) || !same(cells[1], c.element)) return nullptr;
    const Cell& object = *c.holder;
    if (type_of(object) != TypeId::object || object.w1 != c.ctx || (to_set && object.w3 != 0)) return nullptr;
    return c.value;
}

// Fills a field step's cache after the path reached its field the long
// way (the path cache then knows the field).
void fill_field(FieldCache& c, const Cell& path);

// Whether the cell after an expression, read from the block, is no word
// holding an operator.
bool no_operator_at(NodeId code, uint32_t pos);

// Whether the end check of a program lets the expression end there: a
// cell checked since the last code ran is known (`fused`: it was a word);
// others are read.
inline bool ends_here(const Micro& m, NodeId code, uint32_t verified_to) {
    return (m.pos < verified_to && !m.fused) || no_operator_at(code, m.pos);
}

// An integer operand of a fused operator: a constant, or the value of a
// word; nullptr when the word has none to offer.
inline const Cell* int_operand(const Micro& m, const Form& f, NodeId code) {
    return m.code == MicroCode::constant ? &m.value : heap_slot(m, f.at(m.pos), code);
}

// A fused operand pair and its operator (m[0], m[1], m[2]) over integers,
// into `value`; false, with nothing done, for anything else (the steps
// then run one by one).
[[gnu::always_inline]] inline bool fused_int(const Form& f, const Micro* m, NodeId code, Cell& value,
                                            bool nested) {
    // Integers are data: the words need no other check.
    const Cell* x = int_operand(m[0], f, code);
    const Cell* y = int_operand(m[1], f, code);
    if (!x || !y || type_of(*x) != TypeId::integer || type_of(*y) != TypeId::integer ||
        !holds(m[2], f, code, nested))
        return false;
    return fast::int_result(m[2].code == MicroCode::compare, m[2].fast, get_int(*x), get_int(*y), value);
}

// Remembers that the block the op reaches (a body, a branch, a paren)
// cannot run nested; the form it lies in then runs its expressions as any
// form does. Answers false, for the step that declines.
[[gnu::cold]] inline bool decline_for_good(const Form& f, const Op& op) {
    op.declined = generation;
    f.all_pure = false;
    return false;
}

// The check before an inline call's arguments: the call's word holds the
// function still, and the function's body can run nested. The form found
// waits in the call's op. `nested`: the check runs inside a nested run.
bool inline_check(const Form& f, const Micro& m, NodeId code, bool nested);

// Runs the call, `either` or `if`, or paren that the step `m` of a program
// of `f` reaches (its check passed; a call's arguments, a branch's
// condition on top), nested, and whatever that reaches in turn: true with
// its value in place of the arguments or condition (pushed for a paren),
// `top` moved past it; false, with nothing done, when the run declines.
bool run_nested(const Form& f, const Micro& m, Cell*& top);

}  // namespace qor::interpreter::decoded
