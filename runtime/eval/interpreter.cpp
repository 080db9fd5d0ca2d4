// The interpreter: blocks, expressions, calls and paths.
#include "runtime/eval/interpreter.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/evaluation.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/eval/eval_roots.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/fast_paths.h"
#include "runtime/eval/interrupt.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/eval/decoded_block.h"
#include "runtime/eval/natives.h"
#include "runtime/eval/path_cache.h"
#include "runtime/eval/trace.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::interpreter {

namespace {

Cell current = unset_cell;

// Code access through the node, so a moved or changed block stays safe.
inline uint32_t length(NodeId node) { return series::buffer(node)->length(); }
inline Cell cell_at(NodeId node, uint32_t i) { return series::buffer(node)->cells()[i]; }

inline Cell as_block(const Cell& v) { return Cell{to_int(TypeId::block), v.w1, v.w2, 0}; }

inline Cell retyped(const Cell& v, TypeId t) {
    Cell c = v;
    set_type_keep_flags(c, t);
    clear_new_line(c);
    return c;
}

using internal::bound_value;
using internal::is_callable;

// The value of a word for evaluation.
inline Cell word_value(const Cell& word) {
    const Cell* slot = bound_value(word);
    return slot ? *slot : *context::value_cell(word);
}

// Restores the current-code cell when an evaluation ends, however it ends.
struct CurrentCode {
    Cell saved = current;
    ~CurrentCode() { current = saved; }
};

// The word an error names a call by.
Cell call_word(const Cell& name) {
    if (type_of(name) == TypeId::word) return name;
    return word::make_cell(TypeId::word, 0, to_int(Sym::tag_anon), word::no_index);
}
Cell arg_word(const Cell& entry) { return word::make_cell(TypeId::word, 0, entry.w3, word::no_index); }

// Checks the value just fetched for an argument against its typeset.
using internal::check_arg;

// Fetches one argument of the entry's kind from the code and pushes it.
uint32_t fetch_one(const Cell& entry, const Cell& name, NodeId code, uint32_t pos, uint32_t flags,
                   uint32_t mode = 0) {
    const arg_cache::Kind kind = arg_cache::kind_of(entry);
    if (pos >= length(code)) {
        if (mode & call_mode::fill_missing) {
            stack::push(none::value);
            return pos;
        }
        if (kind == arg_cache::Kind::literal && arg_cache::admits(entry, TypeId::unset)) {
            stack::push(unset::value);
            return pos;
        }
        error::fire(error::Id::no_arg, {call_word(name), arg_word(entry)});
    }
    if (mode & call_mode::values) [[unlikely]] {
        stack::push(cell_at(code, pos));
        return pos + 1;
    }
    if (kind == arg_cache::Kind::evaluated) return eval_expression(code, pos, flags);
    const Cell v = cell_at(code, pos);
    if (kind == arg_cache::Kind::literal) {
        switch (type_of(v)) {
            case TypeId::paren: eval_block(as_block(v), false); return pos + 1;
            case TypeId::get_word: stack::push(word_value(v)); return pos + 1;
            case TypeId::get_path: eval_path(v, code, pos + 1, PathMode::get); return pos + 1;
            default: break;
        }
    }
    Cell copy = v;
    clear_new_line(copy);
    stack::push(copy);
    return pos + 1;
}

bool run_traced_body(const Cell& fn, const Cell& body);

// Restores the trace switch a function's trace flags changed.
struct TraceSwitch {
    bool saved = trace::state.on;
    ~TraceSwitch() { trace::state.on = saved; }
};

// Runs an interpreted function body in the call frame; answers false when
// an exit other than return or exit passes through. A caller that calls
// the function again and again keeps the body's decoded form in `link`.
bool run_body(const Cell& fn, decoded::Link* link = nullptr) {
    stack::set_context_values(fn.w1, context::stack_values_ref(stack::index_of(stack::data.base)));
    stack::set_body_flag(true);
    const Cell body = *function::part(fn, function::Part::body);
    if (type_of(body) != TypeId::block) {
        *stack::data.base = none::value;
        return true;
    }
    if (fn.header & (function::flag_trace | function::flag_no_trace)) [[unlikely]] {
        TraceSwitch restore;
        trace::state.on = (fn.header & function::flag_no_trace) ? false : trace::state.saved_on;
        return run_traced_body(fn, body);
    }
    if (trace::state.on) [[unlikely]] return run_traced_body(fn, body);
    if (link) decoded::eval_linked(body, *link, current, true);
    else eval_block(body, true);
    if (stack::exiting()) [[unlikely]] {
        if (stack::pending != stack::exit_return && stack::pending != stack::exit_exit) return false;
        stack::take_exit();
    }
    return true;
}

// The body of a function run while tracing: prolog before, epilog after
// (with a pending exit kept across the callback).
bool run_traced_body(const Cell& fn, const Cell& body) {
    trace::fire(trace::prolog, body.w2, body.w1, &fn, nullptr);
    if (stack::exiting()) return false;
    eval_block(body, true);
    const uint32_t pending = stack::take_exit();
    const Cell result = *stack::data.base;
    if (pending == stack::exit_none || pending == stack::exit_return || pending == stack::exit_exit) {
        trace::fire(trace::epilog, body.w2, -1, &fn, &result);
        if (stack::exiting()) return false;
        return true;
    }
    stack::pending = pending;
    return false;
}

// Runs a routine whose arguments are in the frame: its code leaves the
// result in the first argument cell; without arguments that cell starts
// unset.
void call_routine(const Cell& r) {
    const routine::RoutineFn code = routine::code(routine::code_number(r));
    if (!code) error::fire(error::Id::not_done);
    if (stack::data.top == stack::data.base) stack::push(unset::value);
    code();
}

// Finds a refinement among the cache entries from `from`: its entry index
// and its ordinal among the refinements; false when absent.
bool find_refinement(NodeId cache, uint32_t from, uint32_t sym, uint32_t& entry, uint32_t& ordinal) {
    const uint32_t canonical = symbol::resolve_alias(sym);
    uint32_t r = 0;
    for (uint32_t j = from; j < length(cache); j++) {
        const Cell e = cell_at(cache, j);
        if (type_of(e) != TypeId::refinement) continue;
        if (symbol::resolve_alias(e.w2) == canonical) {
            entry = j;
            ordinal = r;
            return true;
        }
        r++;
    }
    return false;
}

// Collects the arguments of a call whose frame is open, calls it, and
// closes the frame. `left` is an operator's left operand.
uint32_t fetch_and_call(const Cell& fn, const Cell& name, NodeId code, uint32_t pos, const PathRefinements& path,
                        const Cell* left, uint32_t mode) {
    const NodeId cache = arg_cache::of(fn);
    const bool is_function = type_of(fn) == TypeId::function;
    // Functions and routines keep every refinement in their frame, natives
    // and actions get slot numbers for the refinements given.
    const bool framed = is_function || type_of(fn) == TypeId::routine;
    const uint32_t n = length(cache);
    const uint32_t arg_flags = left ? eval_flag::no_infix : 0;
    Cell* const base = stack::data.base;

    // Mandatory arguments.
    uint32_t i = 0;
    for (; i < n; i++) {
        const Cell e = cell_at(cache, i);
        if (type_of(e) != TypeId::typeset) break;
        if (i == 0 && left) {
            stack::push(*left);
        } else {
            pos = fetch_one(e, name, code, pos, arg_flags, mode);
            if (stack::exiting()) [[unlikely]] return pos;
        }
        if (!(mode & call_mode::fill_missing) || type_of(stack::data.top[-1]) != TypeId::none) check_arg(e, name);
    }
    const Cell last = n > 0 ? cell_at(cache, n - 1) : unset_cell;
    const uint32_t count = type_of(last) == TypeId::integer ? last.w2 : 0;

    // Refinements: functions and routines get every one as false with none arguments.
    int32_t refinements[32];
    const uint32_t refinement_count = framed ? 0 : (count < 32 ? count : 32);
    if (framed) {
        for (uint32_t j = i; j < n; j++) {
            const TypeId t = type_of(cell_at(cache, j));
            if (t == TypeId::refinement) stack::push(logic::false_value);
            else if (t == TypeId::typeset) stack::push(none::value);
        }
    } else {
        for (uint32_t r = 0; r < refinement_count; r++) refinements[r] = -1;
    }

    // Every refinement supplied from the code in interface order: a value that
    // turns it on or off, then its arguments.
    if (mode & call_mode::all) {
        uint32_t ordinal = 0;
        for (uint32_t j = i; j < n; j++) {
            if (type_of(cell_at(cache, j)) != TypeId::refinement) continue;
            bool on = false;
            if (pos < length(code)) {
                pos = eval_expression(code, pos, 0);
                if (stack::exiting()) [[unlikely]] return pos;
                on = truthy(*--stack::data.top);
            }
            if (framed) base[j] = on ? logic::true_value : logic::false_value;
            else if (ordinal < refinement_count && on) refinements[ordinal] = static_cast<int32_t>(stack::data.top - base);
            for (uint32_t k = j + 1; k < n; k++) {
                const Cell e = cell_at(cache, k);
                if (type_of(e) != TypeId::typeset) break;
                if (!on && (mode & call_mode::safer)) {
                    if (pos < length(code)) pos++;
                    continue;
                }
                pos = fetch_one(e, name, code, pos, 0, call_mode::fill_missing);
                if (stack::exiting()) [[unlikely]] return pos;
                if (framed) {
                    base[k] = stack::data.top[-1];
                    stack::pop();
                } else if (!on) {
                    stack::pop();
                }
            }
            ordinal++;
        }
    }

    // Refinements given in the path, in path order.
    uint32_t given = 0;
    if (path.path) {
        for (uint32_t k = path.from; k < length(path.path); k++) {
            const Cell element = cell_at(path.path, k);
            bool on = true;
            Cell flag = logic::true_value;  // what a function's refinement cell receives
            if (type_of(element) == TypeId::get_word) {
                flag = word_value(element);
                on = truthy(flag);
            } else if (type_of(element) != TypeId::word && type_of(element) != TypeId::refinement) {
                error::fire(error::Id::bad_refine, {element});
            }
            uint32_t entry = 0, ordinal = 0;
            if (!find_refinement(cache, i, element.w2, entry, ordinal))
                error::fire(error::Id::no_refine, {call_word(name), element});
            if (ordinal < 32 && (given >> ordinal & 1))
                error::fire(error::Id::dup_refine, {Cell{to_int(TypeId::path), path.from - 1, path.path, 0}});
            if (ordinal < 32) given |= 1u << ordinal;
            if (framed) {
                base[entry] = flag;
            } else if (ordinal < refinement_count && on) {
                refinements[ordinal] = static_cast<int32_t>(stack::data.top - base);
            }
            for (uint32_t j = entry + 1; j < n; j++) {
                const Cell e = cell_at(cache, j);
                if (type_of(e) != TypeId::typeset) break;
                pos = fetch_one(e, name, code, pos, 0);
                if (stack::exiting()) [[unlikely]] return pos;
                check_arg(e, name);
                if (framed) {
                    base[j] = stack::data.top[-1];
                    stack::pop();
                }
            }
        }
    }

    // The call.
    if (trace::wanted(trace::call)) [[unlikely]] {
        trace::fire(trace::call, code, pos, &name, &fn);
        if (stack::exiting()) return pos;
    }
    if (framed && count > 0) {
        stack::push(logic::false_value);
        for (uint32_t l = 1; l < count; l++) stack::push(none::value);
    }
    if (is_function) {
        if (!run_body(fn)) return pos;
        stack::unwind_last();
        return pos;
    }
    internal::run_routine(fn, std::span<const int32_t>(refinements, refinement_count));
    if (stack::exiting()) [[unlikely]] return pos;
    stack::unwind();
    return pos;
}

uint32_t call(const Cell& fn, const Cell& name, NodeId code, uint32_t pos, const PathRefinements& path,
              bool infix, uint32_t mode = 0) {
    const bool named = type_of(name) == TypeId::word;
    const uint32_t sym = named ? name.w2 : to_int(Sym::tag_anon);
    const NodeId ctx = named ? name.w1 : 0;
    if (trace::wanted(trace::open)) [[unlikely]] {
        trace::fire(trace::open, code, pos, nullptr, &fn);
        if (stack::exiting()) return pos;
    }
    Cell left;
    if (infix) {
        // The left operand leaves the stack for the frame to open under it:
        // the argument cache is built first, as building it allocates and
        // the operand is out of the collector's sight until pushed again.
        (void)arg_cache::of(fn);
        left = *--stack::data.top;
    }
    // The function value holds the place of the result below the frame, so
    // the function (its body, its interface block) stays referenced while it runs even
    // when its word is set to something else meanwhile.
    Cell* const place = stack::push(fn);
    switch (type_of(fn)) {
        case TypeId::function: stack::mark_interp_function(sym, ctx, fn.w1); break;
        case TypeId::native:
        case TypeId::action:
        case TypeId::routine: stack::mark_interp_native(sym, ctx); break;
        default: error::unreachable();
    }
    pos = fetch_and_call(*place, name, code, pos, path, infix ? &left : nullptr, mode);
    if (stack::exiting()) [[unlikely]] return pos;
    *place = place[1];
    stack::data.top = place + 1;
    if (trace::wanted(trace::return_)) [[unlikely]] trace::fire(trace::return_, code, pos, &name, place);
    return pos;
}

// The fast path of an operator over numbers: 0-2 the arithmetic codes, 8 +
// the comparison code, or -1 when the operator has none.
int fast_code(const Cell& fn) {
    if (type_of(fn) == TypeId::action) {
        switch (static_cast<Action>(fn.w1)) {
            case Action::add: return 0;
            case Action::subtract: return 1;
            case Action::multiply: return 2;
            default: return -1;
        }
    }
    if (type_of(fn) == TypeId::native) {
        switch (static_cast<Native>(fn.w1)) {
            case Native::equal_q: return 8 + to_int(CompareOp::equal);
            case Native::not_equal_q: return 8 + to_int(CompareOp::not_equal);
            case Native::strict_equal_q: return 8 + to_int(CompareOp::strict_equal);
            case Native::lesser_q: return 8 + to_int(CompareOp::lesser);
            case Native::greater_q: return 8 + to_int(CompareOp::greater);
            case Native::lesser_or_equal_q: return 8 + to_int(CompareOp::lesser_or_equal);
            case Native::greater_or_equal_q: return 8 + to_int(CompareOp::greater_or_equal);
            default: return -1;
        }
    }
    return -1;
}

inline bool is_number(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::money; }

// The right operand of an operator when it needs no evaluation step: a
// number, or a word whose value is neither unset nor a function. Pushes it
// and answers true; answers false (nothing pushed) for anything else.
inline bool simple_operand(const Cell& v) {
    const TypeId t = type_of(v);
    Cell value;
    if (t == TypeId::integer || t == TypeId::float_) {
        value = v;
    } else if (t == TypeId::word) {
        const Cell* slot = bound_value(v);
        if (!slot) return false;
        const TypeId vt = type_of(*slot);
        if (vt != TypeId::integer && vt != TypeId::float_) return false;
        value = *slot;
    } else {
        return false;
    }
    clear_new_line(value);
    stack::push(value);
    return true;
}

// After an expression: while an operator word follows, it takes the value
// just computed as its left operand and one operand from the code.
// Arithmetic and comparison of numbers take the fast paths, without a frame.
uint32_t infix_look_ahead(NodeId code, uint32_t pos) {
    while (pos < length(code)) {
        const Cell w = cell_at(code, pos);
        if (type_of(w) != TypeId::word) break;
        const Cell* value = bound_value(w);
        if (!value || type_of(*value) != TypeId::op) break;
        const Cell fn = native::unwrap_op(*value);
        if (trace::wanted(trace::fetch)) [[unlikely]] {
            trace::fire(trace::fetch, code, pos, nullptr, &w);
            if (stack::exiting()) break;
        }
        const int fast = trace::state.on ? -1 : fast_code(fn);
        if (fast >= 0 && pos + 1 < length(code) && is_number(type_of(stack::data.top[-1]))) {
            if (!simple_operand(cell_at(code, pos + 1))) {
                pos = eval_expression(code, pos + 1, eval_flag::no_infix);
                if (stack::exiting()) [[unlikely]] break;
            } else {
                pos += 2;
            }
            // The operands are read in place: the result then takes the left one's cell.
            stack::data.top -= 2;
            if (fast < 8) fast::arith(static_cast<fast::Arith>(fast), w, stack::data.top[0], stack::data.top[1]);
            else fast::compare(fast - 8, w, stack::data.top[0], stack::data.top[1]);
            continue;
        }
        pos = call(fn, w, code, pos + 1, {}, true);
        if (stack::exiting()) [[unlikely]] break;
    }
    return pos;
}

// Sets the word of a set-word to the value on top of the stack. Words of
// objects go through the context layer, which marks the field and runs the
// object's change handler.
void set_from_top(const Cell& set_word) {
    const Cell& value = stack::data.top[-1];
    if (type_of(value) == TypeId::unset) [[unlikely]] error::fire(error::Id::need_value, {set_word});
    if (trace::wanted(trace::set)) [[unlikely]] {
        trace::fire(trace::set, 0, -1, &set_word, &value);
        if (stack::exiting()) return;
    }
    const Cell* h = nullptr;
    Cell* slot = bound_value(set_word, &h);
    if (slot && context::kind_of(*h) != context::Kind::object) [[likely]] {
        Cell copy = value;
        clear_new_line(copy);
        *slot = copy;
        return;
    }
    Cell word = set_word;
    context::set(word, value);
}

}  // namespace

bool run_function_body(const Cell& fn, decoded::Link* link) { return run_body(fn, link); }

namespace {

// A sort comparator's call: its answer, or none once an exit passes through
// (the exit stays pending, the comparator is not run again, and the exit
// ends the sort's caller).
Cell call_comparator(const Cell& fn, const Cell& first, const Cell& second) {
    if (stack::exiting()) return none::value;
    const Cell args[] = {first, second};
    call_with(fn, args);
    stack::leave_routine_if_exiting();
    if (stack::exiting()) return none::value;
    return *--stack::data.top;
}

}  // namespace

void init() {
    current = unset_cell;
    decoded::init();
    install_roots();
    block::install_comparator_call(call_comparator);
    evaluation::install({eval_block, call_with, current_code});
}

const Cell& current_code() { return current; }
Cell& current_code_cell() { return current; }
Cell& trace_callback_cell() { return trace::state.callback; }
Cell& throw_code_cell() {
    static Cell code = unset_cell;
    return code;
}

namespace {

// Where Ctrl-C halts: every loop iteration and function body passes here,
// and every expression of a block.
using internal::halt_requested;

// The expressions of a block from `pos`, each value kept in the result slot
// (the data stack's top is cut back to it), then the exit event when
// tracing wants it. False when an exit is pending. Inlined into both
// block evaluations, the framed and the lean one.
[[gnu::always_inline]] inline bool run_expressions(NodeId code, uint32_t pos, Cell* result) {
    while (pos < length(code)) {
        current.w1 = pos;
        pos = eval_expression(code, pos, 0);
        if (stack::exiting()) [[unlikely]] return false;
        if (halt_requested()) [[unlikely]] return false;
        *result = stack::data.top[-1];
        stack::data.top = result + 1;
        // Also when an expression of this block switched tracing on.
        if (trace::wanted(trace::expr)) [[unlikely]] {
            trace::fire(trace::expr, code, pos, nullptr, result);
            if (stack::exiting()) return false;
        }
    }
    if (trace::wanted(trace::exit)) [[unlikely]] {
        trace::fire(trace::exit, code, length(code), nullptr, result);
        if (stack::exiting()) return false;
    }
    return true;
}

// A block evaluated while nothing traces: no frame of its own. The
// enclosing frame's argument base stays the base, the result slot is
// pushed on top of it, and an exit unwinds past the block as it would past
// its frame. Blocks nest on the native stack, whose depth is checked.
void eval_block_lean(const Cell& block, bool into_result) {
    const NodeId code = block.w2;
    const uint32_t pos = block.w1;
    stack::check_native_depth();
    CurrentCode restore;
    stack::RoutineScope evaluating(false);
    Cell* const result = stack::push(unset::value);
    current = Cell{to_int(TypeId::block), pos, code, 0};
    if (halt_requested()) [[unlikely]] return;
    if (!decoded::run(code, pos, result, current)) return;
    if (into_result) *stack::data.base = *result;
}

}  // namespace

void eval_block(const Cell& block, bool into_result) {
    if (!trace::state.on) [[likely]] return eval_block_lean(block, into_result);
    const NodeId code = block.w2;
    const uint32_t pos = block.w1;
    CurrentCode restore;
    stack::RoutineScope evaluating(false);
    stack::mark_eval_block(to_int(Sym::tag_body));
    Cell* const result = stack::push(unset::value);
    current = Cell{to_int(TypeId::block), pos, code, 0};
    if (halt_requested()) [[unlikely]] return;
    trace::fire(trace::enter, code, pos, nullptr, nullptr);
    if (stack::exiting()) return;
    if (!run_expressions(code, pos, result)) return;
    if (into_result) stack::unwind_set_result();
    else stack::unwind();
}

void eval_block_linked(const Cell& block, decoded::Link& link) { decoded::eval_linked(block, link, current, true); }

uint32_t eval_next(NodeId code, uint32_t pos, bool push) {
    Cell* const old_top = stack::data.top;
    stack::mark_interp_native(to_int(Sym::tag_body));
    pos = eval_expression(code, pos, 0);
    if (stack::exiting()) [[unlikely]] return pos;
    const Cell value = stack::data.top[-1];
    stack::unwind();
    if (push) {
        *old_top = value;
    } else {
        stack::data.top = old_top;
        *stack::data.base = value;
    }
    return pos;
}

uint32_t eval_function(const Cell& fn, const Cell& name, NodeId code, uint32_t pos, const PathRefinements& path,
                       uint32_t mode) {
    return call(fn, name, code, pos, path, false, mode);
}

namespace {

// A function! called with values: its frame is laid out directly, with no
// code to read them from and nothing allocated but its argument cache the
// first time. Arguments it takes beyond those given are none.
void call_function_with(const Cell& fn, std::span<const Cell> args, const Cell& name) {
    const bool named = type_of(name) == TypeId::word;
    Cell* const place = stack::push(fn);
    const NodeId cache = arg_cache::of(*place);
    stack::mark_interp_function(named ? name.w2 : to_int(Sym::tag_anon), named ? name.w1 : 0, place->w1);
    const uint32_t n = length(cache);
    size_t given = 0;
    bool in_refinements = false;
    for (uint32_t j = 0; j < n; j++) {
        const Cell e = cell_at(cache, j);
        switch (type_of(e)) {
            case TypeId::typeset:
                stack::push(!in_refinements && given < args.size() ? args[given++] : none::value);
                break;
            case TypeId::refinement:
                in_refinements = true;
                stack::push(logic::false_value);
                break;
            case TypeId::integer:
                // The locals: the /local flag off, then none for each word.
                if (e.w2 > 0) {
                    stack::push(logic::false_value);
                    for (uint32_t l = 1; l < e.w2; l++) stack::push(none::value);
                }
                break;
            default: break;
        }
    }
    if (!run_body(*place)) return;
    stack::unwind_last();
    *place = place[1];
    stack::data.top = place + 1;
}

}  // namespace

// The arguments must not point into a series buffer: making the code block
// may move buffers.
void call_with(const Cell& fn, std::span<const Cell> args, const Cell& name) {
    const Cell callee = type_of(fn) == TypeId::op ? native::unwrap_op(fn) : fn;
    if (type_of(callee) == TypeId::function) return call_function_with(callee, args, name);
    const NodeId code = series::alloc_cells(args.size());
    Cell* const code_cell = stack::push(Cell{to_int(TypeId::block), 0, code, 0});
    series::Buffer* b = series::buffer(code);
    std::copy(args.begin(), args.end(), b->cells());
    b->set_tail_units(b->head_units() + static_cast<uint32_t>(args.size()));
    (void)call(callee, name, code, 0, {}, false, call_mode::values);
    if (stack::exiting()) return;
    *code_cell = stack::data.top[-1];  // the result takes the code block's place
    stack::data.top = code_cell + 1;
}

uint32_t eval_expression(NodeId code, uint32_t pos, uint32_t flags) {
    const Cell v = cell_at(code, pos++);
    bool called = false;
    switch (type_of(v)) {
        case TypeId::paren: eval_block(as_block(v), false); break;
        case TypeId::word: {
            const Cell value = word_value(v);
            const TypeId t = type_of(value);
            if (is_callable(t)) {
                called = true;
                pos = call(value, v, code, pos, {}, false);
            } else if (t == TypeId::unset) {
                error::fire(error::Id::no_value, {v});
            } else if (t == TypeId::op) {
                error::fire(error::Id::no_op_arg, {v});
            } else {
                Cell copy = value;
                clear_new_line(copy);
                stack::push(copy);
            }
            break;
        }
        case TypeId::set_word:
            if (pos >= length(code)) error::fire(error::Id::need_value, {v});
            pos = eval_expression(code, pos, 0);
            if (stack::exiting()) [[unlikely]] return pos;
            set_from_top(v);
            return pos;
        case TypeId::lit_word: stack::push(retyped(v, TypeId::word)); break;
        case TypeId::get_word: stack::push(word_value(v)); break;
        case TypeId::issue: {
            const uint32_t canonical = symbol::resolve_alias(v.w2);
            if (pos < length(code) && type_of(cell_at(code, pos)) == TypeId::block &&
                (canonical == symbol::resolve_alias(to_int(Sym::system)) ||
                 canonical == symbol::resolve_alias(to_int(Sym::system_global))))
                error::fire(error::Id::qor_system);
            stack::push(retyped(v, TypeId::issue));
            break;
        }
        case TypeId::native:
        case TypeId::action:
        case TypeId::function:
        case TypeId::routine:
            if (flags & eval_flag::literal_functions) {
                stack::push(v);
            } else {
                pos = call(v, unset_cell, code, pos, {}, false);
            }
            break;
        case TypeId::op: error::fire(error::Id::not_done);
        case TypeId::path: pos = eval_path(v, code, pos, PathMode::call); break;
        case TypeId::lit_path: stack::push(retyped(v, TypeId::path)); break;
        case TypeId::get_path: pos = eval_path(v, code, pos, PathMode::get); break;
        case TypeId::set_path: {
            if (pos >= length(code)) error::fire(error::Id::need_value, {v});
            pos = eval_expression(code, pos, 0);
            if (stack::exiting()) [[unlikely]] return pos;
            const Cell value = stack::data.top[-1];
            if (type_of(value) == TypeId::unset) error::fire(error::Id::need_value, {v});
            eval_path(v, code, pos, PathMode::set, &value);
            stack::data.top[-1] = value;  // the expression's value is the value set
            return pos;
        }
        default: {
            Cell copy = v;
            clear_new_line(copy);
            stack::push(copy);
            break;
        }
    }
    if (stack::exiting()) [[unlikely]] return pos;
    if (trace::wanted(trace::push) && !called && !is_callable(type_of(v)) && type_of(v) != TypeId::path)
        [[unlikely]] {
        trace::fire(trace::push, code, pos, nullptr, &stack::data.top[-1]);
        if (stack::exiting()) return pos;
    }
    if (!(flags & eval_flag::no_infix)) pos = infix_look_ahead(code, pos);
    return pos;
}

namespace {

// Values that live inside their cell, not behind a node: a set-path into
// one (a date's year, a time's hour) changes the walk's copy of the value,
// which must then be stored back where it came from.
bool held_in_cell(TypeId t) {
    switch (t) {
        case TypeId::time: case TypeId::date: case TypeId::pair: case TypeId::tuple:
        case TypeId::point2d: case TypeId::point3d: case TypeId::money:
            return true;
        default:
            return false;
    }
}

// Stores the value of level i of a set-path walk back into its container,
// and on up while the container is itself a value held in its cell. The
// levels lie on the stack as the first word's value, then an element and
// the value it reached for each step: level i is at levels[2 i], its
// element at levels[2 i - 1].
void store_back(Cell* levels, uint32_t i, Cell first, Cell path) {
    while (held_in_cell(type_of(levels[2 * i]))) {
        if (i == 0) {
            Cell word = first;
            context::set(word, levels[0]);
            return;
        }
        actions::EvalPathArgs args{};
        args.parent = &levels[2 * (i - 1)];
        args.element = &levels[2 * i - 1];
        args.value = &levels[2 * i];
        args.path = &path;
        args.grand_parent = i >= 2 ? &levels[2 * (i - 2)] : nullptr;
        args.previous = i >= 2 ? &levels[2 * i - 3] : &first;
        args.index = static_cast<int32_t>(i - 1);
        args.event = true;
        actions::call_eval_path(args);
        if (stack::exiting()) [[unlikely]] return;
        i--;
    }
}

}  // namespace

namespace {

// `o/x` and `o/x: v` for an object word and a field whose index the path
// cache holds: the field is read or set in place, with no walk. Answers
// false (nothing done) for every other path, for a field whose value the
// walk must handle (unset, or a function to call) and for an object with
// change handlers.
bool object_field_path(const Cell& path, PathMode mode, const Cell* value) {
    const NodeId p = path.w2;
    const uint32_t head = path.w1;
    if (head + 2 != length(p)) return false;
    const Cell first = cell_at(p, head);
    if (type_of(first) != TypeId::word) return false;
    const Cell* holder = bound_value(first);
    if (!holder || type_of(*holder) != TypeId::object) return false;
    const Cell object = *holder;
    Cell element = cell_at(p, head + 1);
    if (type_of(element) != TypeId::word || !path_cache::bind(p, head + 1, object.w1, element)) return false;
    if (mode == PathMode::set) {
        if (object.w3 != 0) return false;
        const Cell v = *value;
        context::set_word_value(element, v, object.w1, false);
        stack::push(v);
        return true;
    }
    const Cell field = *context::value_cell_at(object.w1, element.w3);
    const TypeId t = type_of(field);
    if (t == TypeId::unset || (mode == PathMode::call && is_callable(t))) return false;
    stack::push(field);
    return true;
}

}  // namespace

uint32_t eval_path(const Cell& path_value, NodeId code, uint32_t pos, PathMode mode, const Cell* value) {
    if (object_field_path(path_value, mode, value)) return pos;
    Cell path = path_value;
    clear_new_line(path);
    const NodeId p = path.w2;
    const uint32_t head = path.w1;
    if (head >= length(p)) error::fire(error::Id::empty_path);
    const Cell first = cell_at(p, head);
    if (type_of(first) != TypeId::word) error::fire(error::Id::word_first, {path});
    Cell* const old_top = stack::data.top;
    Cell current_value = *context::value_cell(first);
    if (type_of(current_value) == TypeId::unset) error::fire(error::Id::unset_path, {path, first});
    if (is_callable(type_of(current_value)) && head + 1 <= length(p)) {
        if (mode == PathMode::set) error::fire(error::Id::invalid_path_set, {path});
        if (mode == PathMode::get) error::fire(error::Id::invalid_path_get, {path});
        return call(current_value, first, code, pos, {p, head + 1}, false);
    }
    // The walk keeps its values on the stack: parent, then the current value.
    // A set-path keeps every level instead (see store_back), each step's
    // element and the value it reached.
    Cell* parent = stack::push(none::value);
    Cell* cur = stack::push(current_value);
    Cell* const levels = cur;
    Cell previous = first;
    for (uint32_t k = head + 1; k < length(p); k++) {
        Cell element = cell_at(p, k);
        if (type_of(element) == TypeId::get_word) {
            element = *context::value_cell(element);
        } else if (type_of(element) == TypeId::paren) {
            // The value stays on the stack, above the walk's cells, while
            // the step runs.
            eval_block(as_block(element), false);
            if (stack::exiting()) [[unlikely]] return pos;
            element = stack::data.top[-1];
        }
        const bool last = k + 1 == length(p);
        // A field of an object: its index comes from the cache when it can.
        const bool field = type_of(*cur) == TypeId::object && type_of(element) == TypeId::word;
        const NodeId field_ctx = field ? cur->w1 : 0;
        const bool cached = field && element.w1 != field_ctx && path_cache::bind(p, k, field_ctx, element);
        Cell grand_parent = *parent;
        actions::EvalPathArgs args{};
        Cell set_value = value ? *value : unset_cell;
        args.parent = cur;
        args.element = &element;
        args.value = mode == PathMode::set && last ? &set_value : nullptr;
        args.path = &path;
        args.grand_parent = type_of(grand_parent) == TypeId::none ? nullptr : &grand_parent;
        args.previous = &previous;
        args.index = static_cast<int32_t>(k - head - 1);
        args.case_sensitive = false;
        args.get_mode = mode == PathMode::get;
        args.last = last;
        args.event = true;
        const Cell next = *actions::call_eval_path(args);
        if (field && !cached) path_cache::remember(p, k, field_ctx, element);
        stack::data.top = cur + 1;
        if (mode == PathMode::set && !last) {
            stack::push(element);
            parent = cur;
            cur = stack::push(next);
        } else if (mode == PathMode::set) {
            store_back(levels, static_cast<uint32_t>(k - head - 1), first, path);
            if (stack::exiting()) [[unlikely]] return pos;
        } else {
            *parent = *cur;
            *cur = next;
        }
        previous = element;
        if (mode == PathMode::call && is_callable(type_of(next))) {
            stack::data.top = old_top;
            return call(next, unset_cell, code, pos, {p, k + 1}, false);
        }
    }
    const Cell result = *cur;
    stack::data.top = old_top;
    stack::push(result);
    return pos;
}

namespace internal {

uint32_t fetch_one(const Cell& entry, const Cell& name, NodeId code, uint32_t pos, uint32_t flags, uint32_t mode) {
    return interpreter::fetch_one(entry, name, code, pos, flags, mode);
}
void refuse_arg(const Cell& entry, const Cell& name) {
    error::expect_arg(call_word(name), type_of(stack::data.top[-1]), arg_word(entry));
}
uint32_t infix_look_ahead(NodeId code, uint32_t pos) { return interpreter::infix_look_ahead(code, pos); }
bool object_field_path(const Cell& path, PathMode mode, const Cell* value) {
    return interpreter::object_field_path(path, mode, value);
}
void set_from_top(const Cell& set_word) { interpreter::set_from_top(set_word); }
int fast_code(const Cell& fn) { return interpreter::fast_code(fn); }
bool run_expressions(NodeId code, uint32_t pos, Cell* result) {
    return interpreter::run_expressions(code, pos, result);
}

void run_routine(const Cell& fn, std::span<const int32_t> refinements) {
    try {
        stack::RoutineScope in_routine(true);
        if (type_of(fn) == TypeId::native) {
            const natives::NativeFn routine = natives::code(fn.w1);
            if (!routine) error::fire(error::Id::not_done);
            routine(false, refinements);
        } else if (type_of(fn) == TypeId::routine) {
            call_routine(fn);
        } else {
            actions::dispatcher(static_cast<Action>(fn.w1))(refinements);
        }
    } catch (const stack::ExitUnderway&) {
        // A call back into the language inside the routine started an exit.
    }
}

}  // namespace internal

}  // namespace qor::interpreter
