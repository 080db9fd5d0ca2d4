// Function making, dispatch, exits and value natives: func, function, does,
// has, switch, case, do, break, continue, exit, return, throw, catch, the
// comparison natives, not, type?, reduce, compose, value?, unset, get, set.
#include <algorithm>
#include <cstring>
#include <optional>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/eval/nonlocal_exits.h"
#include "runtime/eval/trace.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

using interpreter::truthy;

uint32_t length(NodeId node) { return series::buffer(node)->length(); }
Cell item(NodeId node, uint32_t i) { return series::buffer(node)->cells()[i]; }
Cell block_of(NodeId node) { return Cell{to_int(TypeId::block), 0, node, 0}; }

// --- Making functions ---------------------------------------------------------

// Clamps a series value's index to its tail.
Cell clamped(Cell v) {
    if (v.w1 > length(v.w2)) v.w1 = length(v.w2);
    return v;
}

void make_function(const Cell& spec, const Cell& body) {
    const Cell fn = *function::push_new(clamped(spec), clamped(body));
    stack::pop();
    *arg(0) = fn;
}

void n_func(bool, std::span<const int32_t>) { make_function(*arg(0), *arg(1)); }

void n_does(bool, std::span<const int32_t>) {
    const Cell body = *arg(0);
    make_function(block_of(series::alloc_cells(1)), body);
}

void n_has(bool, std::span<const int32_t>) {
    const NodeId spec = series::alloc_cells(length(arg(0)->w2) + 1);
    stack::push(block_of(spec));
    *series_tail::alloc_cell(spec) = words_refinement_local();
    for (uint32_t i = arg(0)->w1; i < length(arg(0)->w2); i++) *series_tail::alloc_cell(spec) = item(arg(0)->w2, i);
    stack::pop();
    make_function(block_of(spec), *arg(1));
}

void n_function(bool, std::span<const int32_t>) {
    const Cell body = clamped(*arg(1));
    const Cell spec = *function::push_made_spec(clamped(*arg(0)), body);  // kept while the function is made
    make_function(spec, body);
}

// --- Dispatch -----------------------------------------------------------------

void n_switch(bool, std::span<const int32_t> refs) {
    const Cell value = *arg(0), cases = *arg(1);
    for (uint32_t i = cases.w1; i < length(cases.w2); i++) {
        const Cell c = item(cases.w2, i);
        if (type_of(c) != type_of(value) || !actions::compare(c, value, CompareOp::equal)) continue;
        for (uint32_t k = i + 1; k < length(cases.w2); k++) {
            const Cell b = item(cases.w2, k);
            if (type_of(b) == TypeId::block) {
                interpreter::eval_block(b, true);
                return;
            }
        }
        *arg(0) = none::value;
        return;
    }
    if (refs[0] >= 0) {
        interpreter::eval_block(*arg(static_cast<uint32_t>(refs[0])), true);
        return;
    }
    *arg(0) = none::value;
}

void n_case(bool, std::span<const int32_t> refs) {
    const Cell cases = *arg(0);
    const bool all = refs[0] >= 0;
    uint32_t pos = cases.w1;
    Cell answer = none::value;
    while (pos < length(cases.w2)) {
        pos = interpreter::eval_next(cases.w2, pos, true);
        if (stack::exiting()) return;
        const Cell cond = *--stack::data.top;
        if (pos >= length(cases.w2)) error::fire(error::Id::need_value, {word::load("case")});
        if (type_of(cond) == TypeId::unset) error::fire(error::Id::no_return);
        if (!truthy(cond)) {
            pos++;
            answer = none::value;
            continue;
        }
        const Cell next = item(cases.w2, pos);
        if (type_of(next) == TypeId::block) {
            interpreter::eval_block(next, false);
            pos++;
        } else {
            pos = interpreter::eval_next(cases.w2, pos, true);
        }
        if (stack::exiting()) return;
        answer = *--stack::data.top;
        if (!all) break;
    }
    *arg(0) = answer;
}

void do_value(std::span<const int32_t> refs);
void do_script(const Cell& script, std::span<const int32_t> refs);

// Puts the trace state back however the traced evaluation ends.
struct TraceRestore {
    trace::State saved = trace::state;
    ~TraceRestore() { trace::state = saved; }
};

void n_do(bool, std::span<const int32_t> refs) {
    // A script gets the trace callback as an argument of do-file; it does
    // not trace the loading here.
    const TypeId t = type_of(*arg(0));
    if (t == TypeId::file || t == TypeId::url) return do_script(*arg(0), refs);
    if (refs[3] < 0) {
        do_value(refs);
        return;
    }
    const Cell callback = *arg(static_cast<uint32_t>(refs[3]));
    TraceRestore restore;
    trace::state.callback = callback;
    trace::state.mask = trace::mask_of(callback);
    trace::state.on = true;
    trace::state.saved_on = true;
    trace::fire(trace::init, 0, -1, nullptr, nullptr);
    if (stack::exiting()) return;
    do_value(refs);
}

// A script file or URL runs through the library's do-file, with the trace
// callback (or none) and the /args value (or none).
void do_script(const Cell& script, std::span<const int32_t> refs) {
    const Cell name = word::load("do-file");
    const Cell fn = *context::value_cell(name);
    if (type_of(fn) != TypeId::function) error::fire(error::Id::no_value, {name});
    const Cell args[] = {script, refs[3] >= 0 ? *arg(static_cast<uint32_t>(refs[3])) : none::value,
                         refs[1] >= 0 ? *arg(static_cast<uint32_t>(refs[1])) : none::value};
    interpreter::call_with(fn, args, name);
    if (stack::exiting()) return;
    *arg(0) = *--stack::data.top;
}

// do/expand: the preprocessor's expand runs over the block first (called as
// expand with the block, none and false) and its result is evaluated. Without
// a preprocessor in the library the block is evaluated as it is.
void expand_first() {
    const TypeId t = type_of(*arg(0));
    if (t != TypeId::block && t != TypeId::paren && t != TypeId::hash) return;
    const Cell preprocessor = *context::value_cell(word::load("preprocessor"));
    if (type_of(preprocessor) != TypeId::object) return;
    const Cell name = word::load("expand");
    const Cell fn = *object::get_word_cell(preprocessor, name);
    if (type_of(fn) != TypeId::function) return;
    const Cell args[] = {*arg(0), none::value, logic::false_value};
    interpreter::call_with(fn, args, name);
    if (stack::exiting()) return;
    *arg(0) = *--stack::data.top;
}

void do_value(std::span<const int32_t> refs) {
    if (refs[0] >= 0) {
        expand_first();
        if (stack::exiting()) return;
    }
    const Cell value = *arg(0);
    switch (type_of(value)) {
        case TypeId::block:
        case TypeId::paren:
        case TypeId::hash: {
            const Cell block{to_int(TypeId::block), value.w1, value.w2, 0};
            if (refs[2] < 0) {
                interpreter::eval_block(block, true);
                return;
            }
            const Cell position_word = *arg(static_cast<uint32_t>(refs[2]));
            uint32_t pos = block.w1;
            if (pos >= length(block.w2)) {
                *arg(0) = unset::value;
            } else {
                pos = interpreter::eval_next(block.w2, pos, false);
                if (stack::exiting()) return;
            }
            Cell at = value;
            at.w1 = pos;
            Cell w = position_word;
            context::set(w, at);
            return;
        }
        case TypeId::path: {
            interpreter::eval_path(value, 0, 0, interpreter::PathMode::call);
            if (stack::exiting()) return;
            *arg(0) = stack::data.top[-1];
            return;
        }
        case TypeId::word: {
            const Cell v = *context::value_cell(value);
            if (type_of(v) == TypeId::unset) error::fire(error::Id::no_value, {value});
            *arg(0) = v;
            return;
        }
        case TypeId::string: {
            Cell* code = stack::push(unset::value);
            lexer::scan_string_value(code, value, -1);
            interpreter::eval_block(*code, false);
            if (stack::exiting()) return;
            *arg(0) = stack::data.top[-1];
            return;
        }
        case TypeId::error: error::raise_value(value);
        default: return;  // the value itself
    }
}

// apply: the function is resolved from a word, a path's first word, or a
// function value; its arguments are taken from the block as code.
void n_apply(bool, std::span<const int32_t> refs) {
    const Cell f = *arg(0);
    const Cell args = *arg(1);
    Cell fn = f, name = unset_cell;
    const TypeId t = type_of(f);
    if (is_word_like(t) && t != TypeId::refinement && t != TypeId::issue) {
        fn = *context::value_cell(f);
        name = f;
        set_type_keep_flags(name, TypeId::word);
    } else if (t == TypeId::path) {
        const Cell first = item(f.w2, f.w1);
        fn = *context::value_cell(first);
        name = first;
    }
    if (type_of(fn) == TypeId::op) fn = native::unwrap_op(fn);
    const TypeId ft = type_of(fn);
    if (ft != TypeId::function && ft != TypeId::native && ft != TypeId::action && ft != TypeId::routine)
        error::fire(error::Id::invalid_arg, {f});
    uint32_t mode = interpreter::call_mode::fill_missing;
    if (refs[0] >= 0) mode |= interpreter::call_mode::all;
    if (refs[1] >= 0) mode |= interpreter::call_mode::safer;
    interpreter::eval_function(fn, name, args.w2, args.w1, {}, mode);
    if (stack::exiting()) return;
    *arg(0) = *--stack::data.top;
}

// --- Exits --------------------------------------------------------------------

void n_break(bool, std::span<const int32_t> refs) { stack::throw_break(refs[0] >= 0, false); }
void n_continue(bool, std::span<const int32_t>) { stack::throw_break(false, true); }
void n_exit(bool, std::span<const int32_t>) { stack::throw_exit(false); }
void n_return(bool, std::span<const int32_t>) { stack::throw_exit(true); }

void n_throw(bool, std::span<const int32_t> refs) {
    if (trace::wanted(trace::throw_)) {
        const Cell value = *arg(0);
        trace::fire(trace::throw_, 0, -1, nullptr, &value);
        if (stack::exiting()) return;
    }
    if (refs[0] < 0) stack::push(unset::value);
    stack::throw_throw();
}

// Whether a catch/name takes a throw of this name; empty when the name
// block holds something other than a word.
std::optional<bool> name_matches(const Cell& name, const Cell& wanted) {
    if (type_of(name) != TypeId::word) return false;
    const uint32_t canonical = symbol::resolve_alias(name.w2);
    if (type_of(wanted) == TypeId::block) {
        bool found = false;
        for (uint32_t i = wanted.w1; i < length(wanted.w2); i++) {
            const Cell w = item(wanted.w2, i);
            if (type_of(w) != TypeId::word) return std::nullopt;
            if (symbol::resolve_alias(w.w2) == canonical) found = true;
        }
        return found;
    }
    return symbol::resolve_alias(wanted.w2) == canonical;
}

void n_catch(bool, std::span<const int32_t> refs) {
    const Cell block = *arg(0);
    const Cell wanted = refs[0] >= 0 ? *arg(static_cast<uint32_t>(refs[0])) : unset_cell;
    stack::mark_catch(to_int(Sym::tag_body));
    stack::push(unset::value);
    interpreter::eval_block(block, true);
    if (stack::exiting()) {
        if (stack::pending != stack::exit_throw) return;
        // The catch frame is the last: its base holds the value and the name.
        const Cell value = stack::data.base[0];
        const Cell name = stack::data.base[1];
        const std::optional<bool> matches = refs[0] >= 0 ? name_matches(name, wanted) : true;
        if (!matches) {
            // The throw stops here: the error replaces it.
            stack::take_exit();
            stack::clear_throw_position();
            error::fire(error::Id::invalid_refine_arg, {word::load("name"), wanted});
        }
        if (!*matches) {
            stack::take_exit();
            stack::data.top = stack::data.base + 2;
            stack::throw_throw();  // on to the next catch; this frame goes with it
            return;
        }
        stack::take_exit();
        stack::clear_throw_position();
        stack::data.base[0] = value;
        stack::keep();
        if (trace::wanted(trace::catch_)) {
            trace::fire(trace::catch_, 0, -1, nullptr, &value);
            if (stack::exiting()) return;
        }
    }
    stack::unwind_set_result();
}

bool is_callable_type(TypeId t) {
    return t == TypeId::function || t == TypeId::native || t == TypeId::action || t == TypeId::op ||
           t == TypeId::routine;
}

// --- Comparison and values ----------------------------------------------------

template <CompareOp Op>
void n_compare(bool, std::span<const int32_t>) {
    actions::compare_args(Op);
}

bool same_values(const Cell& a, const Cell& b) {
    if (type_of(a) != type_of(b)) return false;
    switch (type_of(a)) {
        case TypeId::none:
        case TypeId::unset: return true;
        case TypeId::integer:
        case TypeId::char_: return a.w2 == b.w2;
        case TypeId::logic:
        case TypeId::datatype: return a.w1 == b.w1;
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time: return a.w2 == b.w2 && a.w3 == b.w3;
        case TypeId::object: return a.w1 == b.w1;
        case TypeId::bitset: return a.w2 == b.w2;
        case TypeId::pair: return a.w2 == b.w2 && a.w3 == b.w3;
        case TypeId::native:
        case TypeId::action:
        case TypeId::point2d: return a.w1 == b.w1 && a.w2 == b.w2;
        case TypeId::op: return a.w2 == b.w2 && a.w3 == b.w3;
        case TypeId::tuple:
        case TypeId::money: return actions::compare(a, b, CompareOp::strict_equal);
        default:
            if (is_series(type_of(a))) return a.w1 == b.w1 && a.w2 == b.w2;
            return a.w1 == b.w1 && a.w2 == b.w2 && a.w3 == b.w3;
    }
}

void n_same(bool, std::span<const int32_t>) { *arg(0) = same_values(*arg(0), *arg(1)) ? logic::true_value : logic::false_value; }

void n_not(bool, std::span<const int32_t>) { *arg(0) = truthy(*arg(0)) ? logic::false_value : logic::true_value; }

void n_type_q(bool, std::span<const int32_t> refs) {
    const TypeId t = type_of(*arg(0));
    if (refs[0] >= 0) {
        *arg(0) = word::make_cell(TypeId::word, context::global(), to_int(type_name_symbol(to_int(t))),
                                  global_index(type_name_symbol(to_int(t))));
    } else {
        *arg(0) = Cell{to_int(TypeId::datatype), to_int(t), 0, 0};
    }
}

// A new block with room for n cells, on the data stack (so the collector
// sees it while it fills).
Cell* push_new_block(uint32_t room) {
    return stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(std::max<uint32_t>(room, 1)), 0});
}

// Evaluates every expression of the block into a new block, which is pushed
// (the values go straight into it, so any size the memory holds works);
// false when an exit passes through.
bool push_reduced(const Cell& block) {
    const Cell code = block;
    Cell* const out = push_new_block(code.w1 < length(code.w2) ? length(code.w2) - code.w1 : 0);
    uint32_t pos = code.w1;
    while (pos < length(code.w2)) {
        pos = interpreter::eval_next(code.w2, pos, true);
        if (stack::exiting()) return false;
        Cell v = *--stack::data.top;
        clear_new_line(v);
        *series_tail::alloc_cell(out->w2) = v;
    }
    return true;
}

// Puts the values of a block into `out`: appended when out is at its tail
// (the answer is out as it was), else inserted at its position (the answer
// is out after the inserted values).
Cell put_into(const Cell& out, const Cell& values) {
    const bool at_tail = out.w1 >= length(out.w2);
    stack::mark_native(to_int(Sym::tag_body));
    stack::push(out);
    stack::push(values);
    actions::dispatcher(at_tail ? Action::append : Action::insert)({});
    const Cell answer = at_tail ? out : *stack::data.base;
    stack::unwind();
    stack::pop();
    return answer;
}

void n_reduce(bool, std::span<const int32_t> refs) {
    const Cell value = *arg(0);
    const Cell* into = refs[0] >= 0 ? arg(static_cast<uint32_t>(refs[0])) : nullptr;
    if (is_callable_type(type_of(value))) return;  // function values answer themselves
    if (type_of(value) != TypeId::block) {
        // One value evaluated as an expression of its own.
        const NodeId one = series::alloc_cells(1);
        *series_tail::alloc_cell(one) = value;
        const Cell code = block_of(one);
        stack::push(code);
        interpreter::eval_next(one, 0, true);
        if (stack::exiting()) return;
        if (!into) {
            *arg(0) = stack::data.top[-1];
            stack::pop(2);
            return;
        }
        // The result stays on the stack while its holder is allocated.
        const NodeId holder = series::alloc_cells(1);
        *series_tail::alloc_cell(holder) = stack::data.top[-1];
        stack::pop(2);
        *arg(0) = put_into(*into, block_of(holder));
        return;
    }
    if (!push_reduced(value)) return;
    const Cell reduced = stack::data.top[-1];
    *arg(0) = into ? put_into(*into, reduced) : reduced;
    stack::pop();
}

// Composes the block into `out` (a block on the data stack); false when an
// exit passes through. Values go straight into the block, so any size the
// memory holds works.
bool compose_into(const Cell& block, Cell* out, bool deep, bool only) {
    const Cell code = block;
    for (uint32_t i = code.w1; i < length(code.w2); i++) {
        const Cell c = item(code.w2, i);
        if (type_of(c) == TypeId::paren) {
            interpreter::eval_block(Cell{to_int(TypeId::block), c.w1, c.w2, 0}, false);
            if (stack::exiting()) return false;
            const Cell v = stack::data.top[-1];  // kept on the stack while it is spliced
            if (type_of(v) == TypeId::block && !only) {
                for (uint32_t k = v.w1; k < length(v.w2); k++) {
                    const Cell e = item(v.w2, k);
                    *series_tail::alloc_cell(out->w2) = e;
                }
            } else if (type_of(v) != TypeId::unset) {
                *series_tail::alloc_cell(out->w2) = v;
            }
            stack::pop();
        } else if (deep && type_of(c) == TypeId::block) {
            Cell* inner = push_new_block(c.w1 < length(c.w2) ? length(c.w2) - c.w1 : 0);
            if (!compose_into(c, inner, deep, only)) return false;
            Cell b = *inner;
            b.header = c.header;
            stack::pop();
            *series_tail::alloc_cell(out->w2) = b;
        } else {
            *series_tail::alloc_cell(out->w2) = c;
        }
    }
    return true;
}

void n_compose(bool, std::span<const int32_t> refs) {
    if (type_of(*arg(0)) != TypeId::block)
        error::fire(error::Id::expect_val, {Cell{to_int(TypeId::datatype), to_int(TypeId::block), 0, 0},
                                     Cell{to_int(TypeId::datatype), to_int(type_of(*arg(0))), 0, 0}});
    const Cell block = *arg(0);
    Cell* out = push_new_block(block.w1 < length(block.w2) ? length(block.w2) - block.w1 : 0);
    if (!compose_into(block, out, refs[0] >= 0, refs[1] >= 0)) return;
    const Cell composed = *out;
    *arg(0) = refs[2] >= 0 ? put_into(*arg(static_cast<uint32_t>(refs[2])), composed) : composed;
    stack::pop();
}

void n_value_q(bool, std::span<const int32_t>) {
    const Cell w = *arg(0);
    bool has = false;
    if (word::context_of(w) != 0 && word::index_of(w) >= 0 && context::has_values(*context::header(w.w1)))
        has = type_of(*context::value_cell(w)) != TypeId::unset;
    *arg(0) = has ? logic::true_value : logic::false_value;
}

void n_unset(bool, std::span<const int32_t>) {
    const Cell v = *arg(0);
    if (type_of(v) == TypeId::block) {
        for (uint32_t i = v.w1; i < length(v.w2); i++) {
            Cell w = item(v.w2, i);
            if (type_of(w) == TypeId::word) *context::value_cell(w) = unset::value;
        }
    } else {
        *context::value_cell(v) = unset::value;
    }
    *arg(0) = unset::value;
}

bool is_path_type(TypeId t) {
    return t == TypeId::path || t == TypeId::lit_path || t == TypeId::set_path || t == TypeId::get_path;
}

void n_get(bool, std::span<const int32_t> refs) {
    const Cell w = *arg(0);
    if (is_path_type(type_of(w))) {
        Cell path = w;
        set_type_keep_flags(path, TypeId::get_path);
        interpreter::eval_path(path, 0, 0, interpreter::PathMode::get);
        *arg(0) = *--stack::data.top;
        return;
    }
    if (type_of(w) == TypeId::object) {
        // The object's values, as reflect answers them.
        stack::keep();
        stack::push(Cell{to_int(TypeId::word), 0, to_int(Sym::values), static_cast<uint32_t>(word::no_index)});
        actions::get_action<Action::reflect>(TypeId::object)();
        return;
    }
    if (!is_word_like(type_of(w))) error::fire(error::Id::not_done);
    const Cell v = *context::value_cell(w);
    if (type_of(v) == TypeId::unset && refs[0] < 0) error::fire(error::Id::no_value, {w});
    *arg(0) = v;
}

void n_set(bool, std::span<const int32_t> refs) {
    const Cell target = *arg(0), value = *arg(1);
    if (type_of(value) == TypeId::unset && refs[0] < 0) error::fire(error::Id::need_value, {target});
    if (is_word_like(type_of(target))) {
        Cell w = target;
        context::set(w, value);
    } else if (is_path_type(type_of(target))) {
        interpreter::eval_path(target, 0, 0, interpreter::PathMode::set, &value);
        stack::pop();
    } else if (type_of(target) == TypeId::block) {
        const bool spread = type_of(value) == TypeId::block && refs[2] < 0;
        for (uint32_t i = target.w1, k = 0; i < length(target.w2); i++, k++) {
            Cell w = item(target.w2, i);
            if (!is_word_like(type_of(w))) error::fire(error::Id::invalid_arg, {w});
            Cell v = value;
            if (spread) v = value.w1 + k < length(value.w2) ? item(value.w2, value.w1 + k) : none::value;
            if (spread && refs[3] >= 0 && type_of(v) == TypeId::none) continue;
            if (type_of(v) == TypeId::unset && refs[0] < 0) error::fire(error::Id::need_value, {w});
            context::set(w, v);
        }
    } else if (type_of(target) == TypeId::object) {
        Cell object = target;
        object::set_fields(object, value, refs[0] >= 0, refs[2] >= 0, refs[3] >= 0);
        if (stack::exiting()) return;
    } else {
        error::fire(error::Id::not_done);
    }
    *arg(0) = value;
}

}  // namespace

Cell words_refinement_local() { return word::make_cell(TypeId::refinement, 0, to_int(Sym::local), word::no_index); }

void install_control(Table& r);
void install_output(Table& r);
void install_memory(Table& r);
void install_sets(Table& r);
void install_bind(Table& r);
void install_number(Table& r);
void install_host(Table& r);
void install_case(Table& r);
void install_transcode(Table& r);
void install_try(Table& r);
void install_text(Table& r);
void install_compress(Table& r);
void install_maxmin(Table& r);
void install_time(Table& r);
void install_parse(Table& r);
void install_process(Table& r);
void install_runtime(Table& r);

void install(Table& r) {
    install_try(r);
    install_control(r);
    install_output(r);
    install_memory(r);
    install_sets(r);
    install_bind(r);
    install_number(r);
    install_host(r);
    install_runtime(r);
    install_case(r);
    install_transcode(r);
    install_text(r);
    install_compress(r);
    install_maxmin(r);
    install_time(r);
    install_parse(r);
    install_process(r);
    r[Native::func] = n_func;
    r[Native::function] = n_function;
    r[Native::does] = n_does;
    r[Native::has] = n_has;
    r[Native::switch_] = n_switch;
    r[Native::case_] = n_case;
    r[Native::do_] = n_do;
    r[Native::get] = n_get;
    r[Native::set] = n_set;
    r[Native::equal_q] = n_compare<CompareOp::equal>;
    r[Native::not_equal_q] = n_compare<CompareOp::not_equal>;
    r[Native::strict_equal_q] = n_compare<CompareOp::strict_equal>;
    r[Native::lesser_q] = n_compare<CompareOp::lesser>;
    r[Native::greater_q] = n_compare<CompareOp::greater>;
    r[Native::lesser_or_equal_q] = n_compare<CompareOp::lesser_or_equal>;
    r[Native::greater_or_equal_q] = n_compare<CompareOp::greater_or_equal>;
    r[Native::same_q] = n_same;
    r[Native::not_] = n_not;
    r[Native::type_q] = n_type_q;
    r[Native::reduce] = n_reduce;
    r[Native::compose] = n_compose;
    r[Native::value_q] = n_value_q;
    r[Native::break_] = n_break;
    r[Native::continue_] = n_continue;
    r[Native::exit] = n_exit;
    r[Native::return_] = n_return;
    r[Native::throw_] = n_throw;
    r[Native::catch_] = n_catch;
    r[Native::unset] = n_unset;
    r[Native::apply] = n_apply;
}

}  // namespace qor::natives::impl
