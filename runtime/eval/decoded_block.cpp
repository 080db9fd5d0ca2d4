// Decoded forms of blocks: the decoder, the runner and the table that keeps them.
#include "runtime/eval/decoded_block.h"

#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/native_ids.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/eval/decoded_form.h"
#include "runtime/eval/fast_paths.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/eval/natives.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/eval/trace.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"

namespace qor::interpreter::decoded {

uint64_t generation = 1;
Stats counts;

namespace {

// Blocks longer than this are never decoded; the forms together keep at
// most `cell_budget` cells before the table is emptied.
inline constexpr uint32_t max_cells = 2048;
inline constexpr size_t cell_budget = size_t{1} << 20;
inline constexpr size_t table_size = 4096;

struct Entry {
    NodeId node = 0;
    uint32_t start = 0;
    std::unique_ptr<Form> form;  // null until the block's second run
};

std::array<Entry, table_size> table;
size_t cells_kept = 0;

inline Cell as_block(const Cell& v) { return Cell{to_int(TypeId::block), v.w1, v.w2, 0}; }

// The argument cache of a callable when it is already built (decoding
// builds nothing: building can allocate and report errors).
NodeId built_cache(const Cell& fn) {
    const Cell& cached = series::buffer(fn.w3)->cells()[1];
    return type_of(cached) == TypeId::block ? cached.w2 : 0;
}

// The count an argument cache ends with: the locals of a function, the
// refinements of a native; 0 when it ends otherwise.
uint32_t tail_count(NodeId cache) {
    const uint32_t n = series::buffer(cache)->length();
    const Cell last = n > 0 ? series::buffer(cache)->cells()[n - 1] : unset_cell;
    return type_of(last) == TypeId::integer ? last.w2 : 0;
}

// ---------------------------------------------------------------- decoder

// Reads the block's structure from the form's copy of its cells with the
// values the words hold now. Every answer is a prediction the runner
// checks; a structure it cannot predict ends the decoded part.
class Decoder {
public:
    explicit Decoder(Form& f) : f_(f) {}

    // An expression at `pos`: its op index, or no_op when its extent
    // cannot be known.
    uint32_t expr(uint32_t pos, bool chain) {
        const uint32_t index = static_cast<uint32_t>(f_.ops.size());
        f_.ops.emplace_back();
        f_.ops[index].pos = pos;
        if (!primary(index)) return no_op;
        Op& op = f_.ops[index];
        op.chain = chain && op.kind != Kind::set_word && op.kind != Kind::set_path;
        uint32_t q = op.primary_end;
        if (op.chain) {
            std::vector<Step> steps;
            while (q < f_.length) {
                const Cell w = f_.at(q);
                if (type_of(w) != TypeId::word) break;
                const Cell* v = bound_value(w);
                if (!v || type_of(*v) != TypeId::op) break;
                const int fast = internal::fast_code(native::unwrap_op(*v));
                if (fast < 0 || q + 1 >= f_.length) return no_op;
                const uint32_t operand = expr(q + 1, false);
                if (operand == no_op) return no_op;
                steps.push_back(Step{q, fast, operand, *v});
                q = f_.ops[operand].end;
            }
            f_.ops[index].first_step = static_cast<uint32_t>(f_.steps.size());
            f_.ops[index].step_count = static_cast<uint32_t>(steps.size());
            f_.steps.insert(f_.steps.end(), steps.begin(), steps.end());
        }
        f_.ops[index].end = q;
        f_.ops[index].end_word = q < f_.length && type_of(f_.at(q)) == TypeId::word;
        return index;
    }

private:
    Form& f_;

    bool set_args(uint32_t index, std::span<const uint32_t> args, std::span<const Cell> types) {
        f_.ops[index].first_arg = static_cast<uint32_t>(f_.args.size());
        f_.ops[index].arg_count = static_cast<uint32_t>(args.size());
        f_.args.insert(f_.args.end(), args.begin(), args.end());
        f_.types.insert(f_.types.end(), types.begin(), types.end());
        f_.types.resize(f_.args.size(), unset_cell);
        return true;
    }

    // A word holding a callable: its mandatory arguments, each an
    // expression when evaluated, one cell as it is otherwise.
    bool call(uint32_t index, const Cell& fn) {
        const TypeId t = type_of(fn);
        if (t != TypeId::function && t != TypeId::native && t != TypeId::action && t != TypeId::routine) return false;
        const NodeId cache = built_cache(fn);
        if (cache == 0) return false;
        std::vector<uint32_t> args;
        std::vector<Cell> types;
        uint32_t q = f_.ops[index].pos + 1;
        const uint32_t n = series::buffer(cache)->length();
        for (uint32_t i = 0; i < n; i++) {
            const Cell e = series::buffer(cache)->cells()[i];
            if (type_of(e) != TypeId::typeset) break;
            types.push_back(e);
            if (q >= f_.length) return false;
            if (arg_cache::kind_of(e) == arg_cache::Kind::evaluated) {
                const uint32_t a = expr(q, true);
                if (a == no_op) return false;
                args.push_back(a);
                q = f_.ops[a].end;
            } else {
                args.push_back(no_op);
                q++;
            }
        }
        // Nothing but the mandatory arguments: no refinements, no locals
        // (a count may close the cache when it is 0).
        const bool closed_by_count = n > 0 && type_of(series::buffer(cache)->cells()[n - 1]) == TypeId::integer;
        Op& op = f_.ops[index];
        op.kind = t == TypeId::function ? Kind::call_function : Kind::call_native;
        op.value = fn;
        op.primary_end = q;
        op.simple = tail_count(cache) == 0 && (types.size() + (closed_by_count ? 1 : 0) == n);
        // A routine keeps its refinements in its frame, as a function does:
        // only one called with its arguments alone runs from the form.
        if (t == TypeId::routine && !op.simple) return false;
        return set_args(index, args, types);
    }

    // A set-word or set-path: the value's expression after it.
    bool setter(uint32_t index, Kind kind) {
        const uint32_t pos = f_.ops[index].pos;
        if (pos + 1 >= f_.length) return false;
        const uint32_t a = expr(pos + 1, true);
        if (a == no_op) return false;
        const uint32_t args[] = {a};
        f_.ops[index].kind = kind;
        f_.ops[index].primary_end = f_.ops[a].end;
        return set_args(index, args, {});
    }

    bool primary(uint32_t index) {
        const uint32_t pos = f_.ops[index].pos;
        const Cell v = f_.at(pos);
        f_.ops[index].primary_end = pos + 1;
        switch (type_of(v)) {
            case TypeId::paren: f_.ops[index].kind = Kind::paren; return true;
            case TypeId::word: {
                const Cell* slot = bound_value(v);
                if (!slot) return true;  // plain: the context layer answers
                if (is_callable(type_of(*slot))) return call(index, *slot);
                if (is_data(type_of(*slot))) f_.ops[index].kind = Kind::word_read;
                return true;
            }
            case TypeId::set_word: return setter(index, Kind::set_word);
            case TypeId::set_path: return setter(index, Kind::set_path);
            case TypeId::path: {
                // A path that starts with a function calls it with its refinements.
                const series::Buffer* b = series::buffer(v.w2);
                if (v.w1 >= b->length()) return true;
                const Cell first = series::buffer(v.w2)->cells()[v.w1];
                const Cell* slot = type_of(first) == TypeId::word ? bound_value(first) : nullptr;
                if (slot && is_callable(type_of(*slot))) return false;
                f_.ops[index].kind = Kind::path;
                return true;
            }
            case TypeId::lit_word: case TypeId::get_word: case TypeId::issue: case TypeId::lit_path:
            case TypeId::get_path: case TypeId::op:
                return true;
            case TypeId::native: case TypeId::action: case TypeId::function: case TypeId::routine:
                return false;
            default: f_.ops[index].kind = Kind::constant; return true;
        }
    }
};

std::unique_ptr<Form> decode(NodeId code, uint32_t start) {
    auto f = std::make_unique<Form>();
    series::Buffer* b = series::buffer(code);
    f->node = code;
    f->start = start;
    f->length = b->length();
    f->cells.assign(b->cells() + start, b->cells() + f->length);
    Decoder d(*f);
    uint32_t q = start;
    while (q < f->length) {
        const uint32_t op = d.expr(q, true);
        if (op == no_op) break;
        f->exprs.push_back(Expr{q, f->ops[op].end, op});
        q = f->ops[op].end;
    }
    f->plain_from = q;
    compile_programs(*f);
    counts.decoded++;
    return f;
}

// ---------------------------------------------------------------- runner

// Runs one block's form. `off` set: the plain walker takes the rest of
// the expression under way (every step then continues as the plain walker
// would from where it stands).
class Runner {
public:
    Runner(const Form& f, NodeId code, Cell& current) : f_(f), code_(code), current_(current) {}

    bool off = false;
    uint32_t expr_end = 0;
    // The block holds the decoded cells (and length) up to here, checked
    // since the last step that could run code; `all_cells`: every one.
    static constexpr uint32_t all_cells = UINT32_MAX;
    uint32_t verified_to = 0;

    // A constant or a word holding data that ends its expression inside
    // the checked cells (no operator after it, no word after it that could
    // hold one) is pushed here as `expr` pushes it. False: nothing done.
    [[gnu::always_inline]] bool leaf(const Op& op) {
        if (op.step_count != 0 || op.end_word || op.end >= verified_to) return false;
        if (op.kind == Kind::constant) {
            push_value(f_.at(op.pos));
            return true;
        }
        return op.kind == Kind::word_read && push_word_data(op);
    }

    uint32_t expr(uint32_t index) {
        const Op& op = f_.ops[index];
        uint32_t q = primary(op);
        if (stack::exiting()) [[unlikely]] return q;
        if (!op.chain) return q;
        if (off) return internal::infix_look_ahead(code_, q);
        for (uint32_t k = 0; k < op.step_count; k++) {
            const Step& s = f_.steps[op.first_step + k];
            const Cell& w = f_.at(s.pos);
            const Cell* v = bound_value(w);
            if (!v || !same(*v, s.op) || !is_number(type_of(stack::data.top[-1]))) [[unlikely]]
                return plain_look_ahead(s.pos, op.end);
            q = operand(s.operand);
            if (stack::exiting()) [[unlikely]] return q;
            apply(s.fast, w, q);
            if (off) [[unlikely]] return internal::infix_look_ahead(code_, q);
        }
        // The plain walker looks for an operator after the value: a word
        // that holds one now continues the look-ahead there. Inside the
        // expression the cells are the decoded ones; past it they are read.
        if (op.end < verified_to && !op.end_word) return op.end;
        const series::Buffer* b = series::buffer(code_);
        if (op.end < b->length()) {
            const Cell& next = series::buffer(code_)->cells()[op.end];
            if (type_of(next) == TypeId::word) {
                const Cell* v = bound_value(next);
                if (v && type_of(*v) == TypeId::op) [[unlikely]] return plain_look_ahead(op.end, no_op);
            }
        }
        return op.end;
    }

private:
    const Form& f_;
    NodeId code_;
    Cell& current_;  // the interpreter's current-code cell

    // Values are pushed as the plain walker pushes them: without the
    // new-line marker of the cell they came from.
    static void push_value(Cell c) {
        clear_new_line(c);
        stack::push(c);
    }
    uint32_t push_constant(const Op& op) {
        push_value(f_.at(op.pos));
        return op.primary_end;
    }
    // A word read straight from its slot while it holds plain data; false
    // when it holds anything else (the step then runs as the walker's).
    bool push_word_data(const Op& op) {
        const Cell* slot = bound_value(f_.at(op.pos));
        if (!slot || !is_data(type_of(*slot))) return false;
        push_value(*slot);
        return true;
    }

    // An operator's operand: a number or a word holding data is pushed
    // here, anything else is an expression.
    uint32_t operand(uint32_t index) {
        const Op& op = f_.ops[index];
        if (op.kind == Kind::constant) return push_constant(op);
        if (op.kind == Kind::word_read && push_word_data(op)) [[likely]]
            return op.primary_end;
        return expr(index);
    }

    // After anything that may have run code: the block must still hold the
    // decoded cells from `q` to the expression's end, and tracing be off.
    void after_call(uint32_t q) {
        if (off) return;
        const series::Buffer* b = series::buffer(code_);
        if (trace::state.on || b->length() != f_.length ||
            (q < expr_end && !same_cells(series::buffer(code_)->cells() + q, &f_.at(q), expr_end - q))) [[unlikely]]
            off = true;
        verified_to = expr_end;
    }

    [[gnu::noinline, gnu::cold]] uint32_t plain_primary(const Op& op) {
        const uint32_t q = eval_expression(code_, op.pos, eval_flag::no_infix);
        if (stack::exiting()) [[unlikely]] return q;
        after_call(q);
        if (q != op.primary_end) off = true;
        return q;
    }

    [[gnu::noinline, gnu::cold]] uint32_t plain_look_ahead(uint32_t pos, uint32_t expected) {
        const uint32_t q = internal::infix_look_ahead(code_, pos);
        if (stack::exiting()) [[unlikely]] return q;
        after_call(q);
        if (q != expected) off = true;
        return q;
    }

    // The operator's fast path on the two operands on top of the stack.
    void apply(int fast, const Cell& w, uint32_t q) {
        stack::data.top -= 2;
        Cell* const a = stack::data.top;
        const bool compare = fast >= 8;
        if (type_of(a[0]) == TypeId::integer && type_of(a[1]) == TypeId::integer &&
            fast::int_result(compare, compare ? fast - 8 : fast, get_int(a[0]), get_int(a[1]), a[0])) {
            stack::data.top = a + 1;
            return;
        }
        if (fast < 8) fast::arith(static_cast<fast::Arith>(fast), w, a[0], a[1]);
        else fast::compare(fast - 8, w, a[0], a[1]);
        after_call(q);
    }

    // The mandatory arguments of a call whose frame is open, as decoded
    // while the form holds, from the code as the plain walker takes them
    // once it does not.
    uint32_t arguments(const Op& op, const Cell& name, uint32_t q) {
        for (uint32_t i = 0; i < op.arg_count; i++) {
            const Cell& e = f_.types[op.first_arg + i];
            const uint32_t a = f_.args[op.first_arg + i];
            if (!off && a != no_op) {
                const Op& arg = f_.ops[a];
                bool wrote = false;  // arguments hold no sets
                if (leaf(arg) || (arg.micro_count != 0 && run_pure(f_, arg, code_, verified_to, wrote))) q = arg.end;
                else q = expr(a);
            } else {
                q = internal::fetch_one(e, name, code_, q, 0, 0);
                if (!stack::exiting()) after_call(q);
            }
            if (stack::exiting()) [[unlikely]] return q;
            internal::check_arg(e, name);
        }
        return q;
    }

    // The result takes the function value's place below the closed frame.
    uint32_t finish_call(Cell* place, const Cell& name, uint32_t q) {
        *place = place[1];
        stack::data.top = place + 1;
        if (trace::wanted(trace::return_)) [[unlikely]] trace::fire(trace::return_, code_, q, &name, place);
        after_call(q);
        return q;
    }

    uint32_t call_function(const Op& op, const Cell& name) {
        Cell* const place = stack::push(op.value);
        stack::mark_interp_function(name.w2, name.w1, place->w1);
        uint32_t q = arguments(op, name, op.pos + 1);
        if (stack::exiting()) [[unlikely]] return q;
        uint32_t count = 0;
        if (!op.simple) {
            // Refinements off with none for their arguments, then the locals.
            const NodeId cache = arg_cache::of(*place);
            const uint32_t n = series::buffer(cache)->length();
            count = tail_count(cache);
            for (uint32_t j = op.arg_count; j < n; j++) {
                const TypeId t = type_of(series::buffer(cache)->cells()[j]);
                if (t == TypeId::refinement) stack::push(logic::false_value);
                else if (t == TypeId::typeset) stack::push(none::value);
            }
        }
        if (trace::wanted(trace::call)) [[unlikely]] {
            trace::fire(trace::call, code_, q, &name, place);
            if (stack::exiting()) return q;
        }
        if (count > 0) {
            stack::push(logic::false_value);
            for (uint32_t l = 1; l < count; l++) stack::push(none::value);
        }
        if (!run_function_body(*place, &op.links[0])) return q;
        stack::unwind_last();
        if (stack::exiting()) [[unlikely]] return q;
        return finish_call(place, name, q);
    }

    // A block of a control call, through the block's form kept in the call's link.
    void block(const Cell& b, Link& link) { eval_linked(b, link, current_, true); }

    // The blocks of a control call, run through the forms its links keep.
    struct Blocks {
        Runner& runner;
        Link* links;
        void operator()(const Cell& b, int k) { runner.block(b, links[k]); }
        Cell& current() { return runner.current_; }
    };

    // if, either, while and loop (a whole count) run here as their natives
    // run them, the frame of the call open and its arguments in it; the
    // blocks' forms are found through the call's links. False for every
    // other native, which then runs as it is.
    bool control(const Op& op, uint32_t id) {
        Cell* const a = stack::data.base;
        Blocks run{*this, op.links};
        switch (static_cast<Native>(id)) {
            case Native::if_: natives::impl::run_if(a, run); return true;
            case Native::either: natives::impl::run_either(a, run); return true;
            case Native::while_: natives::impl::run_while(a, run); return true;
            case Native::loop:
                if (type_of(a[0]) != TypeId::integer) return false;
                natives::impl::run_loop(a, get_int(a[0]), run);
                return true;
            default: return false;
        }
    }

    [[gnu::noinline]] uint32_t call_native(const Op& op, const Cell& name) {
        Cell* const place = stack::push(op.value);
        stack::mark_interp_native(name.w2, name.w1);
        uint32_t q = arguments(op, name, op.pos + 1);
        if (stack::exiting()) [[unlikely]] return q;
        uint32_t count = 0;
        if (!op.simple) {
            count = tail_count(arg_cache::of(*place));
        }
        int32_t refinements[32];
        const uint32_t refinement_count = count < 32 ? count : 32;
        for (uint32_t r = 0; r < refinement_count; r++) refinements[r] = -1;
        if (trace::wanted(trace::call)) [[unlikely]] {
            trace::fire(trace::call, code_, q, &name, place);
            if (stack::exiting()) return q;
        }
        if (op.simple && type_of(*place) == TypeId::native && !trace::state.on && control(op, place->w1)) {
            if (stack::exiting()) [[unlikely]] return q;
            stack::unwind();
            return finish_call(place, name, q);
        }
        internal::run_routine(*place, std::span<const int32_t>(refinements, refinement_count));
        if (stack::exiting()) [[unlikely]] return q;
        stack::unwind();
        return finish_call(place, name, q);
    }

    uint32_t setter(const Op& op) {
        const uint32_t q = expr(f_.args[op.first_arg]);
        if (stack::exiting()) [[unlikely]] return q;
        const Cell& v = f_.at(op.pos);
        if (op.kind == Kind::set_word) {
            // A word of a function or the global context takes the value in
            // its slot; objects (change handlers), unset values and tracing
            // take the plain route.
            const Cell& value = stack::data.top[-1];
            const Cell* h = nullptr;
            Cell* slot = type_of(value) != TypeId::unset && !trace::state.on ? bound_value(v, &h) : nullptr;
            if (slot && context::kind_of(*h) != context::Kind::object) [[likely]] {
                const bool into_code = !context::values_on_stack(*h) && h->w2 == code_;
                Cell copy = value;
                clear_new_line(copy);
                *slot = copy;
                // Values kept in the code block itself changed it.
                if (into_code) [[unlikely]] after_call(q);
                return q;
            }
            internal::set_from_top(v);
        } else {
            const Cell value = stack::data.top[-1];
            if (type_of(value) == TypeId::unset) error::fire(error::Id::need_value, {v});
            // A field of an object without change handlers is set in place.
            if (internal::object_field_path(v, PathMode::set, &value)) {
                stack::data.top[-1] = value;
                after_call(q);  // the field's values series is checked like any write
                return q;
            }
            eval_path(v, code_, q, PathMode::set, &value);
            stack::data.top[-1] = value;  // the expression's value is the value set
        }
        after_call(q);
        return q;
    }

    uint32_t primary(const Op& op) {
        switch (op.kind) {
            case Kind::constant: return push_constant(op);
            case Kind::word_read:
                if (push_word_data(op)) [[likely]] return op.primary_end;
                return plain_primary(op);
            case Kind::call_function:
            case Kind::call_native: {
                const Cell& name = f_.at(op.pos);
                const Cell* slot = bound_value(name);
                if (!slot || !same(*slot, op.value)) [[unlikely]] return plain_primary(op);
                return op.kind == Kind::call_function ? call_function(op, name) : call_native(op, name);
            }
            case Kind::set_word:
            case Kind::set_path: return setter(op);
            case Kind::paren: {
                eval_linked(as_block(f_.at(op.pos)), op.links[0], current_, false);
                if (stack::exiting()) [[unlikely]] return op.primary_end;
                after_call(op.primary_end);
                return op.primary_end;
            }
            case Kind::path:
                // A field of an object read in place; any other path walks.
                if (internal::object_field_path(f_.at(op.pos), PathMode::call, nullptr)) return op.primary_end;
                break;
            case Kind::plain: break;
        }
        return plain_primary(op);
    }
};

// Runs the block's expressions from the form; false when an exit is
// pending. `stale` is set when the block no longer starts as decoded.
[[gnu::always_inline]] inline bool run_form(Form& f, NodeId code, Cell* result, Cell& current, bool& stale) {
    Pin pin(f);
    counts.runs++;
    Runner runner(f, code, current);
    // The whole block at entry; then an expression's cells when something
    // that could change them ran since.
    if (series::buffer(code)->length() != f.length ||
        !same_cells(series::buffer(code)->cells() + f.start, f.cells.data(), f.length - f.start)) [[unlikely]] {
        stale = true;
        counts.bailouts++;
        return internal::run_expressions(code, f.start, result);
    }
    runner.verified_to = Runner::all_cells;
    size_t first = 0;
    if (f.all_pure) {
        bool wrote = false;
        first = run_pure_exprs(f, code, result, current, wrote);
        if (first == f.exprs.size()) [[likely]] return true;
        if (first == halted) return false;
        if (wrote) runner.verified_to = f.exprs[first - 1].end;  // the later expressions are checked again
    }
    for (size_t k = first; k < f.exprs.size(); k++) {
        const Expr& e = f.exprs[k];
        if (e.end > runner.verified_to) {
            if (series::buffer(code)->length() != f.length ||
                !same_cells(series::buffer(code)->cells() + e.pos, &f.at(e.pos), e.end - e.pos)) [[unlikely]] {
                counts.bailouts++;
                return internal::run_expressions(code, e.pos, result);
            }
            runner.verified_to = e.end;
        }
        current.w1 = e.pos;
        const Op& op = f.ops[e.op];
        bool wrote = false;
        if (op.micro_count != 0 && run_pure(f, op, code, runner.verified_to, wrote)) [[likely]] {
            if (internal::halt_requested()) [[unlikely]] return false;
            *result = stack::data.top[-1];
            stack::data.top = result + 1;
            if (wrote) [[unlikely]] runner.verified_to = e.end;  // the later expressions are checked again
            continue;
        }
        runner.expr_end = e.end;
        runner.off = false;
        const uint32_t q = runner.expr(e.op);
        if (stack::exiting()) [[unlikely]] return false;
        if (internal::halt_requested()) [[unlikely]] return false;
        *result = stack::data.top[-1];
        stack::data.top = result + 1;
        if (trace::wanted(trace::expr)) [[unlikely]] {
            trace::fire(trace::expr, code, q, nullptr, result);
            if (stack::exiting()) return false;
        }
        if (runner.off || q != e.end || trace::state.on) [[unlikely]] {
            counts.bailouts++;
            return internal::run_expressions(code, q, result);
        }
    }
    // Cells past the decoded ones (appended since, or never decoded) run
    // plain; so does the exit event when tracing was switched on meanwhile.
    if (f.plain_from == f.length && series::buffer(code)->length() == f.length && !trace::state.on) [[likely]]
        return true;
    return internal::run_expressions(code, f.plain_from, result);
}

void drop(Entry& e) {
    if (!e.form) return;
    cells_kept -= e.form->cells.size();
    e.form.reset();
    generation++;
}

}  // namespace

bool run(NodeId code, uint32_t pos, Cell* result, Cell& current) {
    Entry& e = table[code & (table_size - 1)];
    if (e.node == code && e.start == pos) [[likely]] {
        if (!e.form) {
            const uint32_t length = series::buffer(code)->length();
            if (length <= pos || length - pos > max_cells) return internal::run_expressions(code, pos, result);
            if (cells_kept + (length - pos) > cell_budget) clear();
            e.form = decode(code, pos);
            cells_kept += e.form->cells.size();
        }
        bool stale = false;
        const bool ok = run_form(*e.form, code, result, current, stale);
        // A block changed at its start is decoded again at its next run.
        if (stale && e.node == code && e.form && e.form->running == 0) drop(e);
        return ok;
    }
    if (!e.form || e.form->running == 0) {
        drop(e);
        e.node = code;
        e.start = pos;
    }
    return internal::run_expressions(code, pos, result);
}

namespace {

// A block's run through the form the link keeps while the table's
// generation stands; otherwise through the table, the link then taking
// the block's form when it has one.
bool run_linked(NodeId code, uint32_t pos, Cell* result, Cell& current, Link& link) {
    if (link.generation == generation && link.node == code && link.start == pos) [[likely]] {
        Form& f = *link.form;
        bool stale = false;
        const bool ok = run_form(f, code, result, current, stale);
        if (stale) {
            Entry& e = table[code & (table_size - 1)];
            if (e.form.get() == &f && f.running == 0) drop(e);
        }
        return ok;
    }
    const bool ok = run(code, pos, result, current);
    const Entry& e = table[code & (table_size - 1)];
    if (e.node == code && e.start == pos && e.form) link = Link{e.form.get(), generation, code, pos};
    return ok;
}

}  // namespace

bool is_code(NodeId node) { return table[node & (table_size - 1)].node == node; }

const Form* form_of(NodeId node, uint32_t start, Link& link) {
    if (link.generation == generation && link.node == node && link.start == start) [[likely]] return link.form;
    const Entry& e = table[node & (table_size - 1)];
    if (e.node != node || e.start != start || !e.form) return nullptr;
    link = Link{e.form.get(), generation, node, start};
    return link.form;
}

void eval_linked(const Cell& b, Link& link, Cell& current, bool into_result) {
    if (trace::state.on) [[unlikely]] return eval_block(b, into_result);  // switched on meanwhile
    stack::check_native_depth();
    const Cell saved = current;
    struct Restore {
        Cell& current;
        const Cell& saved;
        ~Restore() { current = saved; }
    } restore{current, saved};
    stack::RoutineScope evaluating(false);
    Cell* const result = stack::push(unset::value);
    current = Cell{to_int(TypeId::block), b.w1, b.w2, 0};
    if (internal::halt_requested()) [[unlikely]] return;
    if (!run_linked(b.w2, b.w1, result, current, link)) return;
    if (into_result) *stack::data.base = *result;
}

Stats stats() { return counts; }

void clear() {
    for (Entry& e : table) {
        if (e.form && e.form->running > 0) continue;
        drop(e);
        e.node = 0;
    }
}

namespace {

// The collection's mark callback: the forms not running go, and the cells
// the running ones remember are marked.
void mark_running_forms() {
    clear();
    for (Entry& e : table) {
        if (!e.form) continue;
        Form& f = *e.form;
        collector::mark_cells(f.cells.data(), f.cells.data() + f.cells.size());
        for (Op& op : f.ops) collector::mark_cell(op.value);
        for (Step& step : f.steps) collector::mark_cell(step.op);
    }
}

}  // namespace

void init() {
    static const bool registered = (collector::add_mark_callback(mark_running_forms), true);
    (void)registered;
    clear();
}

}  // namespace qor::interpreter::decoded
