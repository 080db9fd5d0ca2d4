// Pure expressions of decoded forms: the compiler that gives an
// expression made of constants, words holding data, object fields, the
// operators with fast paths, parens, calls, `either` and `if` over literal
// blocks, and a set or an append at the end its flat program; the runner
// of such programs, which hands the parens, branches and function bodies
// they reach to the nested runner (nested_run.cpp); and the loops of
// while, loop, foreach and repeat that run whole iterations of blocks
// made of them. Once an iteration has run with nothing but the programs,
// a loop lays its blocks out and runs the later iterations trusted:
// straight from the cells the programs found, without checking them
// again, for as long as nothing else runs.
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/native_ids.h"
#include "runtime/eval/decoded_form.h"
#include "runtime/eval/fast_paths.h"
#include "runtime/eval/interrupt.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/eval/pure_steps.h"
#include "runtime/eval/trace.h"
#include "runtime/eval/path_cache.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/ownership.h"
#include "runtime/words/word.h"

namespace qor::interpreter::decoded {

namespace {

// ---------------------------------------------------------------- compiler

// Appends the program of an op that is pure (see MicroCode); false, with
// nothing appended, when it is not. A set may only end the program.
// `scope_end`: the end of the expression the op lies in, past which the
// look-ahead reads the block as it is.
bool compile_branch(Form& f, uint32_t index, uint32_t scope_end);

bool compile_pure(Form& f, uint32_t index, bool allow_set, uint32_t scope_end) {
    const size_t mark = f.micro.size();
    const size_t fields = f.fields.size();
    const auto refuse = [&] {
        f.micro.resize(mark);
        f.fields.resize(fields);
        return false;
    };
    const Op& op = f.ops[index];
    switch (op.kind) {
        case Kind::constant: {
            Cell c = f.at(op.pos);
            clear_new_line(c);
            f.micro.push_back(Micro{MicroCode::constant, 0, op.pos, c});
            break;
        }
        case Kind::word_read: f.micro.push_back(Micro{MicroCode::word, 0, op.pos}); break;
        case Kind::path: {
            Micro m{MicroCode::field, 0, op.pos};
            m.index = static_cast<uint32_t>(f.fields.size());
            f.fields.emplace_back();
            f.micro.push_back(m);
            break;
        }
        case Kind::call_function: {
            // A call with only its arguments: the check, each argument's
            // program, the call.
            if (!op.simple) return false;
            Micro check{MicroCode::call_check, 0, op.pos, op.value};
            check.call_op = index;
            f.micro.push_back(check);
            for (uint32_t i = 0; i < op.arg_count; i++) {
                const uint32_t a = f.args[op.first_arg + i];
                if (a == no_op || !compile_pure(f, a, false, scope_end)) return refuse();
            }
            Micro call{MicroCode::call, 0, op.pos, op.value};
            call.call_op = index;
            f.micro.push_back(call);
            break;
        }
        case Kind::paren: {
            Micro paren{MicroCode::paren, 0, op.pos};
            paren.call_op = index;
            f.micro.push_back(paren);
            break;
        }
        case Kind::call_native: {
            if (type_of(op.value) == TypeId::native) {
                if (!compile_branch(f, index, scope_end)) return refuse();
                break;
            }
            // `append series value` ends an expression as a set does: its
            // arguments' programs, the end check, then the append.
            const bool append = type_of(op.value) == TypeId::action && op.value.w1 == to_int(Action::append);
            if (!allow_set || !append || op.arg_count != 2 || op.step_count != 0) return false;
            for (uint32_t i = 0; i < op.arg_count; i++) {
                const uint32_t a = f.args[op.first_arg + i];
                if (a == no_op || !compile_pure(f, a, false, scope_end)) return refuse();
            }
            if (op.end_word || op.end >= scope_end) {
                Micro check{MicroCode::end_check, 0, op.end};
                check.fused = op.end_word;
                f.micro.push_back(check);
            }
            f.micro.push_back(Micro{MicroCode::append, 0, op.pos, op.value});
            return true;
        }
        case Kind::set_word:
        case Kind::set_path:
            if (!allow_set || !compile_pure(f, f.args[op.first_arg], false, scope_end)) return refuse();
            f.micro.push_back(Micro{op.kind == Kind::set_word ? MicroCode::set_word : MicroCode::set_field, 0, op.pos});
            if (op.kind == Kind::set_path) {
                f.micro.back().index = static_cast<uint32_t>(f.fields.size());
                f.fields.emplace_back();
            }
            return true;
        default: return false;
    }
    if (!op.chain) return true;
    for (uint32_t k = 0; k < op.step_count; k++) {
        const Step& s = f.steps[op.first_step + k];
        if (!compile_pure(f, s.operand, false, scope_end)) return refuse();
        const bool arith = s.fast < 8;
        // A constant or word then a constant or word, right before: fused.
        const size_t n = f.micro.size();
        const auto leaf = [](const Micro& m) { return m.code == MicroCode::constant || m.code == MicroCode::word; };
        if (n >= mark + 2 && leaf(f.micro[n - 2]) && leaf(f.micro[n - 1]) && !f.micro[n - 2].fused &&
            (n < mark + 3 || !f.micro[n - 3].fused))
            f.micro[n - 2].fused = true;
        f.micro.push_back(Micro{arith ? MicroCode::arith : MicroCode::compare,
                                static_cast<uint8_t>(arith ? s.fast : s.fast - 8), s.pos, s.op});
    }
    if (op.end_word || op.end >= scope_end) {
        Micro check{MicroCode::end_check, 0, op.end};
        check.fused = op.end_word;
        f.micro.push_back(check);
    }
    return true;
}

// `either cond [a] [b]` and `if cond [a]` with literal blocks: the check,
// the condition's program, the choice. False, with something appended
// perhaps (the caller takes it back), for any other native call.
bool compile_branch(Form& f, uint32_t index, uint32_t scope_end) {
    const Op& op = f.ops[index];
    const bool either = op.value.w1 == to_int(Native::either);
    if ((!either && op.value.w1 != to_int(Native::if_)) || !op.simple || op.arg_count != (either ? 3u : 2u))
        return false;
    for (uint32_t k = 1; k < op.arg_count; k++) {
        const uint32_t a = f.args[op.first_arg + k];
        if (a == no_op || f.ops[a].kind != Kind::constant || f.ops[a].step_count != 0 ||
            type_of(f.at(f.ops[a].pos)) != TypeId::block)
            return false;
    }
    Micro check{MicroCode::branch_check, 0, op.pos, op.value};
    check.call_op = index;
    f.micro.push_back(check);
    const uint32_t cond = f.args[op.first_arg];
    if (cond == no_op || !compile_pure(f, cond, false, scope_end)) return false;
    Micro branch{MicroCode::branch, static_cast<uint8_t>(either ? 1 : 0), op.pos, op.value};
    branch.call_op = index;
    for (uint32_t k = 1; k < op.arg_count; k++) branch.blocks[k - 1] = f.ops[f.args[op.first_arg + k]].pos;
    f.micro.push_back(branch);
    return true;
}

// The shape of a program (see Op::shape): a fused operand pair and its
// operator, then an end check and a set-word, each perhaps.
uint8_t shape_of(const Micro* m, uint32_t n) {
    if (n < 3 || !m[0].fused || (m[2].code != MicroCode::arith && m[2].code != MicroCode::compare)) return 0;
    uint32_t k = 3;
    if (k < n && m[k].code == MicroCode::end_check) k++;
    if (k == n) return 1;
    return k + 1 == n && m[k].code == MicroCode::set_word ? 2 : 0;
}

// Marks the branch or call that only end checks of cells known not to be
// words follow (see Micro::tail).
void mark_tail(Micro* m, uint32_t n) {
    uint32_t k = n;
    while (k > 0 && m[k - 1].code == MicroCode::end_check && !m[k - 1].fused) k--;
    if (k > 0 && (m[k - 1].code == MicroCode::branch || m[k - 1].code == MicroCode::call)) m[k - 1].tail = true;
}

}  // namespace

void compile_programs(Form& f) {
    for (size_t i = 0; i < f.exprs.size(); i++) {
        Expr& e = f.exprs[i];
        const uint32_t last_op = i + 1 < f.exprs.size() ? f.exprs[i + 1].op : static_cast<uint32_t>(f.ops.size());
        const auto give = [&](uint32_t index, bool allow_set) {
            const uint32_t first = static_cast<uint32_t>(f.micro.size());
            if (!compile_pure(f, index, allow_set, e.end)) return;
            Op& op = f.ops[index];
            op.micro_first = first;
            op.micro_count = static_cast<uint32_t>(f.micro.size()) - first;
            op.shape = shape_of(&f.micro[first], op.micro_count);
            mark_tail(&f.micro[first], op.micro_count);
            f.micro.push_back(Micro{MicroCode::done});
            thread_program(&f.micro[first], op.micro_count + 1);
        };
        give(e.op, true);
        e.program = f.ops[e.op].micro_first;
        e.steps = f.ops[e.op].micro_count;
        f.most_steps = std::max(f.most_steps, e.steps);
        for (uint32_t k = e.op; k < last_op; k++) {
            const Op& op = f.ops[k];
            if (op.kind != Kind::call_function && op.kind != Kind::call_native) continue;
            for (uint32_t j = 0; j < op.arg_count; j++)
                if (f.args[op.first_arg + j] != no_op) give(f.args[op.first_arg + j], false);
        }
    }
    f.all_pure = !f.exprs.empty() && f.plain_from == f.length;
    for (const Expr& e : f.exprs) f.all_pure = f.all_pure && f.ops[e.op].micro_count != 0;
    f.inlinable = f.all_pure;
    for (const Expr& e : f.exprs) {
        const Op& op = f.ops[e.op];
        for (uint32_t i = 0; i < op.micro_count; i++) {
            const MicroCode c = f.micro[op.micro_first + i].code;
            if (c == MicroCode::set_word || c == MicroCode::set_field || c == MicroCode::append) f.inlinable = false;
        }
    }
}

// ---------------------------------------------------------------- runner

void fill_field(FieldCache& c, const Cell& path) {
    c.links = 0;
    series::Buffer* p = series::buffer(path.w2);
    if (p->length() != path.w1 + 2) return;
    const Cell first = p->cells()[path.w1];
    Cell element = p->cells()[path.w1 + 1];
    if (type_of(first) != TypeId::word || type_of(element) != TypeId::word) return;
    const Cell* h = nullptr;
    Cell* holder = bound_value(first, &h);
    if (!holder || context::values_on_stack(*h) || type_of(*holder) != TypeId::object) return;
    const NodeId ctx = holder->w1;
    const Cell as_written = element;
    if (!path_cache::bind(path.w2, path.w1 + 1, ctx, element)) return;
    c = FieldCache{0, first, as_written, holder, ctx, series::buffer(ctx)->cells()->w2,
                   context::value_cell_at(ctx, element.w3), context::word_at(ctx, element.w3)};
    c.links = node::link_count();
}

bool no_operator_at(NodeId code, uint32_t pos) { return !internal::operator_at(code, pos); }

namespace {

// A program of shape 1 or 2 in one step, over integers: true with the
// value in `value` (and the word set); false with nothing done, when the
// steps one by one are to be tried.
[[gnu::always_inline]] inline bool shaped(const Form& f, const Op& op, const Micro* m, NodeId code,
                                          uint32_t verified_to, bool& wrote, Cell& value) {
    if (!fused_int(f, m, code, value, false)) return false;
    const Micro* last = m + op.micro_count - 1;
    if (op.micro_count > 3 && m[3].code == MicroCode::end_check && !ends_here(m[3], code, verified_to)) return false;
    if (op.shape == 2) {
        Cell* slot = heap_slot(*last, f.at(last->pos), code);
        if (!slot || last->object) return false;
        if (last->in_code) wrote = true;
        *slot = value;
    }
    return true;
}

// `append series value` at the end of a program, while the word still
// holds the append action: the value goes to the block's tail as append
// puts it there, when that is all append would do. That is a block! (no
// hash index to keep, no owner to tell, not code whose forms hold its
// cells) with room for one more cell (no allocation: nothing moves), and
// one value that is data and not a block (append would splice it). The
// series at its head is the value. False, with nothing done, otherwise.
[[gnu::noinline]] bool pure_append(const Form& f, const Micro& m, NodeId code, Cell*& top) {
    if (!word_holds(m, f, code)) return false;
    Cell* const a = top - 2;
    const Cell value = a[1];
    if (type_of(a[0]) != TypeId::block || is_any_block(type_of(value)) || !is_data(type_of(value))) return false;
    series::Buffer* b = series::buffer(a[0].w2);
    if ((b->flags & ownership::owned_series_flag) || uint64_t{b->tail} + series::cell_unit > b->capacity ||
        is_code(a[0].w2))
        return false;
    b->cells()[b->length()] = value;
    b->tail += series::cell_unit;
    a[0].w1 = 0;
    top = a + 1;
    return true;
}

// An op's pure program, its value into `out` (which it may use meanwhile
// as a cell of its own). Values are handed on in registers where they
// can be: a cell written in parts and read back whole at once waits for
// the writes to reach the cache.
[[gnu::always_inline]] inline bool pure_program(const Form& f, const Op& op, NodeId code, uint32_t verified_to,
                                                bool& wrote, Cell& out) {
    Cell* const base = stack::data.top;
    // A program pushes at most one cell per step.
    if (stack::data.limit - base <= static_cast<ptrdiff_t>(op.micro_count) + 1) [[unlikely]] return false;
    const Micro* m = f.micro.data() + op.micro_first;
    if (op.shape != 0 && shaped(f, op, m, code, verified_to, wrote, out)) [[likely]] return true;
    Cell* top = base;
    const auto fail = [&] {
        stack::data.top = base;
        return false;
    };
    for (const Micro* const end = m + op.micro_count; m != end; ++m) {
        switch (m->code) {
            case MicroCode::constant:
            case MicroCode::word: {
                if (m->fused && fused_int(f, m, code, *top, false)) [[likely]] {
                    top++;
                    m += 2;
                    break;
                }
                if (m->code == MicroCode::constant) {
                    *top++ = m->value;
                    break;
                }
                const Cell* slot = heap_slot(*m, f.at(m->pos), code);
                if (!slot || !is_data(type_of(*slot))) [[unlikely]] return fail();
                Cell c = *slot;
                clear_new_line(c);
                *top++ = c;
                break;
            }
            case MicroCode::field: {
                // As the path walk reads a field: no unset value, no function.
                const Cell& path = f.at(m->pos);
                if (const Cell* field = cached_field(f.fields[m->index], path, false)) [[likely]] {
                    const TypeId t = type_of(*field);
                    if (t == TypeId::unset || is_callable(t)) return fail();
                    *top++ = *field;
                    break;
                }
                stack::data.top = top;
                if (!internal::object_field_path(path, PathMode::call, nullptr)) return fail();
                top = stack::data.top;
                fill_field(f.fields[m->index], path);
                break;
            }
            case MicroCode::arith:
            case MicroCode::compare: {
                const Cell& w = f.at(m->pos);
                if (!word_holds(*m, f, code)) [[unlikely]] return fail();
                Cell* const a = top - 2;
                const bool arith = m->code == MicroCode::arith;
                if (type_of(a[0]) == TypeId::integer && type_of(a[1]) == TypeId::integer) [[likely]] {
                    if (!fast::int_result(!arith, m->fast, get_int(a[0]), get_int(a[1]), a[0])) [[unlikely]]
                        return fail();
                    top = a + 1;
                    break;
                }
                if (!is_number(type_of(a[0])) || !is_number(type_of(a[1]))) return fail();
                stack::data.top = a;
                if (arith) fast::arith(static_cast<fast::Arith>(m->fast), w, a[0], a[1]);
                else fast::compare(m->fast, w, a[0], a[1]);
                top = stack::data.top;
                break;
            }
            case MicroCode::set_word: {
                // As the runner's set: objects (change handlers) and unset
                // values go the plain way.
                const Cell& value = top[-1];
                Cell* slot = type_of(value) != TypeId::unset ? heap_slot(*m, f.at(m->pos), code) : nullptr;
                if (!slot || m->object) return fail();
                if (m->in_code) wrote = true;
                Cell copy = value;  // the marker cleared before the store, not in memory after it
                clear_new_line(copy);
                *slot = copy;
                break;
            }
            case MicroCode::set_field: {
                const Cell value = top[-1];
                if (type_of(value) == TypeId::unset) return fail();
                const Cell& path = f.at(m->pos);
                const FieldCache& cache = f.fields[m->index];
                if (Cell* field = cached_field(cache, path, true)) [[likely]] {
                    // As an object's word is set without change events.
                    cache.word->header |= cell_flag::changed;
                    *field = value;
                    if (cache.values == code) wrote = true;
                } else {
                    stack::data.top = top;
                    if (!internal::object_field_path(path, PathMode::set, &value)) return fail();
                    fill_field(f.fields[m->index], path);
                    wrote = true;  // the object's values are checked like any write
                }
                base[0] = value;
                top = base + 1;
                break;
            }
            case MicroCode::end_check:
                if (!ends_here(*m, code, verified_to)) return fail();
                break;
            case MicroCode::call_check:
                // A function that cannot run inline is known as such at once.
                if (f.ops[m->call_op].declined == generation || !inline_check(f, *m, code, false)) return fail();
                break;
            case MicroCode::call:
            case MicroCode::branch:
            case MicroCode::paren:
                if (!run_nested(f, *m, top)) return fail();
                break;
            case MicroCode::append:
                if (!pure_append(f, *m, code, top)) return fail();
                break;
            case MicroCode::branch_check:
                if (f.ops[m->call_op].declined == generation || !word_holds(*m, f, code)) return fail();
                break;
            case MicroCode::done: break;  // past the program's end
        }
    }
    out = top[-1];
    stack::data.top = base;
    return true;
}

}  // namespace

bool run_pure(const Form& f, const Op& op, NodeId code, uint32_t verified_to, bool& wrote) {
    Cell value;
    if (!pure_program(f, op, code, verified_to, wrote, value)) return false;
    stack::push(value);
    return true;
}

namespace {

// A program run in a loop iteration that is known to change nothing its
// steps' caches rest on (see trustworthy): every word's value cell and
// every field's cell is the one cached, every operator's word still holds
// its operator, and every set writes data into a cell no operator or
// object is read from. The steps then only read, compute and write. False,
// with nothing done, when an operand is no integer, a result leaves the
// range, a value is unset or a word after the expression holds an
// operator: the full program then runs.
[[gnu::noinline]] bool trusted_program(const Form& f, const Op& op, NodeId code, Cell& out) {
    Cell* const base = stack::data.top;
    if (stack::data.limit - base <= static_cast<ptrdiff_t>(op.micro_count) + 1) [[unlikely]] return false;
    Cell* top = base;
    const Micro* m = f.micro.data() + op.micro_first;
    for (const Micro* const end = m + op.micro_count; m != end; ++m) {
        switch (m->code) {
            case MicroCode::constant: *top++ = m->value; break;
            case MicroCode::word: {
                Cell c = *m->slot;
                clear_new_line(c);
                *top++ = c;
                break;
            }
            case MicroCode::field: *top++ = *f.fields[m->index].value; break;
            case MicroCode::arith:
            case MicroCode::compare: {
                Cell* const a = top - 2;
                if (type_of(a[0]) != TypeId::integer || type_of(a[1]) != TypeId::integer) [[unlikely]] return false;
                if (!fast::int_result(m->code == MicroCode::compare, m->fast, get_int(a[0]), get_int(a[1]), a[0]))
                    [[unlikely]] return false;
                top = a + 1;
                break;
            }
            case MicroCode::set_word: {  // a set is always the last step
                Cell copy = top[-1];
                if (type_of(copy) == TypeId::unset) [[unlikely]] return false;
                clear_new_line(copy);
                *m->slot = copy;
                break;
            }
            case MicroCode::set_field: {
                const Cell value = top[-1];
                const FieldCache& cache = f.fields[m->index];
                if (type_of(value) == TypeId::unset || cache.values == code) [[unlikely]] return false;
                cache.word->header |= cell_flag::changed;
                *cache.value = value;
                break;
            }
            case MicroCode::end_check:
                if (m->fused && !no_operator_at(code, m->pos)) [[unlikely]] return false;
                break;
            case MicroCode::call_check: break;  // the body found last stands
            case MicroCode::call:
                if (!run_nested(f, *m, top)) return false;
                break;
            case MicroCode::append:
                if (!pure_append(f, *m, code, top)) return false;
                break;
            case MicroCode::branch_check:
            case MicroCode::branch:
            case MicroCode::paren: return false;  // never laid out for trusted runs
            case MicroCode::done: break;            // past the program's end
        }
    }
    out = top[-1];
    return true;
}

// Runs the block's expressions through their programs from expression
// `from`, each value into `result`, as run_pure_exprs answers.
[[gnu::always_inline]] inline size_t pure_exprs(const Form& f, NodeId code, Cell* result, Cell& current, bool& wrote,
                                                size_t from = 0) {
    const size_t n = f.exprs.size();
    for (size_t k = from; k < n; k++) {
        const Expr& e = f.exprs[k];
        current.w1 = e.pos;
        Cell value;
        if (!pure_program(f, f.ops[e.op], code, UINT32_MAX, wrote, value)) [[unlikely]] return k;
        *result = value;
        if (internal::halt_requested()) [[unlikely]] return halted;
        if (wrote) [[unlikely]] return k + 1;
    }
    return n;
}

}  // namespace

size_t run_pure_exprs(const Form& f, NodeId code, Cell* result, Cell& current, bool& wrote) {
    return pure_exprs(f, code, result, current, wrote);
}

// ---------------------------------------------------------------- loops

namespace {

// The all-pure form a link keeps for a block, checked against the block's
// cells; nullptr when there is none. `plain` is set when the link keeps a
// form that is not all pure.
Form* pure_form(const Cell& b, const Link& link, bool& plain) {
    if (link.generation != generation || link.node != b.w2 || link.start != b.w1) return nullptr;
    Form* f = link.form;
    if (!f->all_pure) {
        plain = true;
        return nullptr;
    }
    series::Buffer* buffer = series::buffer(b.w2);
    if (buffer->length() != f->length ||
        !same_cells(buffer->cells() + f->start, f->cells.data(), f->length - f->start)) [[unlikely]]
        return nullptr;
    return f;
}

// One run of a block through its all-pure form, into the frame's first
// slot, as eval_linked runs it: the current code is the block's meanwhile
// and `saved` after. False when an exit is pending. `clean` is cleared
// when anything but the pure programs ran, or one wrote into a series:
// only then may the blocks have changed.
bool run_pure_block(Form& f, const Cell& b, Cell& current, const Cell& saved, bool& clean, size_t from = 0) {
    Pin pin(f);
    counts.runs++;
    stack::RoutineScope evaluating(false);
    Cell* const result = stack::push(unset::value);
    if (from > 0) *result = *stack::data.base;  // the value of the expressions run before
    current = Cell{to_int(TypeId::block), b.w1, b.w2, 0};
    bool wrote = false;
    const size_t ran = pure_exprs(f, b.w2, result, current, wrote, from);
    bool ok = ran != halted;
    if (ok && ran != f.exprs.size()) {
        // The rest of the block as the plain walker runs it.
        counts.bailouts++;
        clean = false;
        stack::check_native_depth();
        ok = internal::run_expressions(b.w2, f.exprs[ran].pos, result);
    }
    if (wrote) clean = false;
    current = saved;
    if (ok) *stack::data.base = *result;
    return ok;
}

// A block's expressions laid out for trusted runs (see trustworthy): the
// value cells of a one-operator program's operands and of its set word,
// or the program to run step by step.
struct TrustedBlock {
    struct Expr {
        const Op* op;
        const Cell* x;  // shaped: the operands, the word set (or nullptr)
        const Cell* y;
        Cell* set;
        uint32_t pos;
        uint8_t fast;
        bool compare;
        bool shaped;
    };
    static constexpr size_t room = 16;
    const Form* form = nullptr;
    uint32_t count = 0;
    Expr exprs[room];

    // False when the block has more expressions than there is room for.
    bool lay_out(const Form& f) {
        if (f.exprs.size() > room) return false;
        form = &f;
        count = static_cast<uint32_t>(f.exprs.size());
        for (uint32_t k = 0; k < count; k++) {
            const Op& op = f.ops[f.exprs[k].op];
            const Micro* m = f.micro.data() + op.micro_first;
            Expr& e = exprs[k];
            e = Expr{&op, nullptr, nullptr, nullptr, f.exprs[k].pos, 0, false, false};
            // A word after the expression is read again each time: step by step.
            if (op.shape == 0 || (op.micro_count > 3 && m[3].code == MicroCode::end_check && m[3].fused)) continue;
            e.shaped = true;
            e.x = m[0].code == MicroCode::constant ? &m[0].value : m[0].slot;
            e.y = m[1].code == MicroCode::constant ? &m[1].value : m[1].slot;
            e.fast = m[2].fast;
            e.compare = m[2].code == MicroCode::compare;
            if (op.shape == 2) e.set = m[op.micro_count - 1].slot;
        }
        return true;
    }

    // One run, each value straight into the loop frame's result slot:
    // nothing else is kept, since nothing but the programs runs. Answers
    // how many expressions ran: all, or up to one whose trusted run
    // declined (nothing of it done); `halted` when Ctrl-C asked for a halt.
    size_t run(const Cell& b, Cell& current) const {
        counts.runs++;
        current = Cell{to_int(TypeId::block), b.w1, b.w2, 0};
        Cell* const out = stack::data.base;
        for (uint32_t k = 0; k < count; k++) {
            const Expr& e = exprs[k];
            current.w1 = e.pos;
            if (e.shaped) [[likely]] {
                if (type_of(*e.x) != TypeId::integer || type_of(*e.y) != TypeId::integer ||
                    !fast::int_result(e.compare, e.fast, get_int(*e.x), get_int(*e.y), *out)) [[unlikely]]
                    return k;
                if (e.set) *e.set = *out;
            } else if (!trusted_program(*form, *e.op, b.w2, *out)) [[unlikely]] {
                return k;
            }
            if (internal::halt_requested()) [[unlikely]] return halted;
        }
        return count;
    }
};

// One run of a loop's block through its all-pure form: trusted as far as
// it goes when the loop has laid the block out, the rest as
// run_pure_block runs it.
[[gnu::always_inline]] inline bool loop_block(Form& f, const Cell& b, Cell& current, const Cell& saved, bool& clean,
                                              const TrustedBlock* trusted) {
    if (!trusted) return run_pure_block(f, b, current, saved, clean);
    const size_t ran = trusted->run(b, current);
    if (ran == trusted->count) [[likely]] {
        current = saved;
        return true;
    }
    if (ran == halted) {
        current = saved;
        return false;
    }
    return run_pure_block(f, b, current, saved, clean, ran);
}

// What a loop does after its body's run: as the natives' loops do.
PureLoop after_pure_body() {
    const natives::impl::Step step = natives::impl::end_body();
    if (step == natives::impl::Step::pass) return PureLoop::stopped;
    return step == natives::impl::Step::leave ? PureLoop::ended : PureLoop::go_on;
}

// Whether a loop's blocks, whose forms are all pure and unchanged, may run
// their programs trusted for as long as the loop stays unchanged: every
// step's cache was filled at the current buffer positions and names a
// cell of a heap context (a word in a running function's frame is read
// the long way); words and fields read hold data, operator words hold
// their operators and functions called inline, sets go neither into an
// object's word nor into the code, fields set have no change handlers; and
// no set (nor the loop's own word) writes the cell of an operator's or a
// called function's word, of a word holding an object whose field is
// used, or into the body of a function called inline. Only the programs run meanwhile, and they
// set only data, so what holds now holds after every iteration.
bool trustworthy(std::initializer_list<const Form*> forms, const Cell* written) {
    constexpr size_t max_sets = 32;
    const Cell* sets[max_sets];
    size_t set_count = 0;
    if (written) sets[set_count++] = written;
    const uint64_t links = node::link_count();
    const auto cached = [&](const Micro& m) { return m.links == links && !m.on_stack && m.slot != nullptr; };
    for (const Form* f : forms) {
        for (const Expr& e : f->exprs) {
            const Op& op = f->ops[e.op];
            for (uint32_t i = 0; i < op.micro_count; i++) {
                const Micro& m = f->micro[op.micro_first + i];
                switch (m.code) {
                    case MicroCode::constant:
                    case MicroCode::end_check: break;
                    case MicroCode::word:
                        if (!cached(m) || !is_data(type_of(*m.slot))) return false;
                        break;
                    case MicroCode::arith:
                    case MicroCode::compare:
                    case MicroCode::call_check:
                        if (!cached(m) || !same(*m.slot, m.value)) return false;
                        break;
                    case MicroCode::call:
                    case MicroCode::append: break;  // checked as they run
                    case MicroCode::set_word:
                        if (!cached(m) || m.object || m.in_code || set_count == max_sets) return false;
                        sets[set_count++] = m.slot;
                        break;
                    case MicroCode::branch_check:
                    case MicroCode::branch:
                    case MicroCode::paren: return false;
                    case MicroCode::done: break;
                    case MicroCode::field:
                    case MicroCode::set_field: {
                        const bool to_set = m.code == MicroCode::set_field;
                        const Cell* field = cached_field(f->fields[m.index], f->at(m.pos), to_set);
                        if (!field) return false;
                        if (to_set) {
                            if (set_count == max_sets) return false;
                            sets[set_count++] = field;
                        } else {
                            const TypeId t = type_of(*field);
                            if (t == TypeId::unset || is_callable(t)) return false;
                        }
                        break;
                    }
                }
            }
        }
    }
    // The bodies called inline, as their checks last found them, against
    // the cells set.
    for (const Form* f : forms) {
        for (const Micro& m : f->micro) {
            if (m.code != MicroCode::call_check) continue;
            const Op& call = f->ops[m.call_op];
            if (!call.inline_body || call.links[0].form != call.inline_body) return false;
            series::Buffer* b = series::buffer(call.links[0].node);
            const Cell* begin = b->cells();
            const Cell* end = begin + b->length();
            for (size_t k = 0; k < set_count; k++)
                if (sets[k] >= begin && sets[k] < end) return false;
        }
    }
    // The cells read as operators, functions and objects, against the cells set.
    for (const Form* f : forms) {
        for (const Micro& m : f->micro) {
            const Cell* read = nullptr;
            if (m.code == MicroCode::arith || m.code == MicroCode::compare || m.code == MicroCode::call_check)
                read = m.slot;
            else if (m.code == MicroCode::field || m.code == MicroCode::set_field) read = f->fields[m.index].holder;
            if (!read) continue;
            for (size_t k = 0; k < set_count; k++)
                if (sets[k] == read) return false;
        }
    }
    return true;
}

// After an iteration in which only pure programs ran, wrote into no
// series, and neither allocated nor moved one (nor did a collection drop
// forms), the blocks, the forms and the trace switch are as they were: the
// next iteration runs without checking them again. Once such an iteration
// has run, its programs' caches are filled and the blocks can be judged
// and laid out for trusted runs.
template <size_t N>
struct Unchanged {
    uint64_t links = 0;
    uint64_t forms = 0;
    bool clean = false;
    enum class Trust : uint8_t { unknown, yes, no } trust = Trust::unknown;
    TrustedBlock blocks[N];

    [[nodiscard]] bool holds() const { return clean && links == node::link_count() && forms == generation; }
    void checked() {
        links = node::link_count();
        forms = generation;
        clean = true;
        trust = Trust::unknown;
    }
    // The block's layout while the loop may run it trusted, else nullptr.
    [[nodiscard]] const TrustedBlock* trusted(size_t k) const { return trust == Trust::yes ? &blocks[k] : nullptr; }
    // After an iteration. `written`: a cell the loop itself sets before each.
    void judge(const Form* const (&loop_forms)[N], const Cell* written = nullptr) {
        if (trust != Trust::unknown || !holds()) [[likely]] return;
        trust = Trust::no;
        for (size_t k = 0; k < N; k++)
            if (!blocks[k].lay_out(*loop_forms[k])) return;
        const bool ok = N == 1 ? trustworthy({loop_forms[0]}, written)
                               : trustworthy({loop_forms[0], loop_forms[N - 1]}, written);
        if (ok) trust = Trust::yes;
    }
};

// Before an iteration of a loop with one block: unless the loop is
// unchanged since the last check, the block's all-pure form, checked
// again. False, with how the loop goes on in `next`, when the block has
// none or tracing is on.
bool body_form(Unchanged<1>& unchanged, const Cell& body, Link& link, Form*& b, PureLoop& next) {
    if (unchanged.holds()) [[likely]] return true;
    bool plain = false;
    b = trace::state.on ? nullptr : pure_form(body, link, plain);
    if (!b) {
        next = plain ? PureLoop::plain : PureLoop::go_on;
        return false;
    }
    unchanged.checked();
    return true;
}

}  // namespace

PureLoop while_pure(const Cell& cond, const Cell& body, Link* links, Cell& current) {
    const Cell saved = current;
    Form* c = nullptr;
    Form* b = nullptr;
    Unchanged<2> unchanged;
    bool& clean = unchanged.clean;
    bool plain = false;
    for (;;) {
        if (!unchanged.holds()) {
            if (trace::state.on) [[unlikely]] return PureLoop::go_on;
            c = pure_form(cond, links[0], plain);
            b = c ? pure_form(body, links[1], plain) : nullptr;
            if (!b) return plain ? PureLoop::plain : PureLoop::go_on;
            unchanged.checked();
        }
        if (!loop_block(*c, cond, current, saved, clean, unchanged.trusted(0)) &&
            natives::impl::cond_exit_passes())
            return PureLoop::stopped;
        stack::keep();
        if (!natives::impl::strict_truthy(*stack::data.base)) return PureLoop::ended;
        // Plain code in the condition may have changed the body: it is
        // checked again, and runs as any block when it no longer holds.
        if (unchanged.holds() || (!trace::state.on && (b = pure_form(body, links[1], plain)))) {
            loop_block(*b, body, current, saved, clean, unchanged.trusted(1));
        } else {
            eval_linked(body, links[1], current, true);
            clean = false;
        }
        unchanged.judge({c, b});
        const PureLoop after = after_pure_body();
        if (after != PureLoop::go_on) return after;
    }
}

PureLoop loop_pure(const Cell& body, int64_t& remaining, Link& link, Cell& current) {
    const Cell saved = current;
    Form* b = nullptr;
    Unchanged<1> unchanged;
    bool& clean = unchanged.clean;
    PureLoop next = PureLoop::go_on;
    while (remaining > 0) {
        if (!body_form(unchanged, body, link, b, next)) return next;
        loop_block(*b, body, current, saved, clean, unchanged.trusted(0));
        remaining--;
        unchanged.judge({b});
        const PureLoop after = after_pure_body();
        if (after != PureLoop::go_on) return after;
    }
    return PureLoop::ended;
}

namespace {

// A loop that sets a word before each run of its body (foreach, repeat):
// whole iterations while the body's form is all pure and holds, the word
// set in place, as the context sets it, from `take()` for as long as
// `more()`. As while_pure otherwise.
template <class More, class Take>
PureLoop word_loop(const Cell& word, More&& more, Take&& take, const Cell& body, Link& link, Cell& current) {
    const Cell saved = current;
    Form* b = nullptr;
    Cell* slot = nullptr;
    Unchanged<1> unchanged;
    bool& clean = unchanged.clean;
    PureLoop next = PureLoop::go_on;
    for (;;) {
        if (!more()) return PureLoop::ended;
        if (!unchanged.holds()) {
            if (!body_form(unchanged, body, link, b, next)) return next;
            // An object's word has change handlers to call.
            const Cell* h = nullptr;
            slot = bound_value(word, &h);
            if (!slot || context::kind_of(*h) == context::Kind::object) return PureLoop::plain;
        }
        const Cell item = take();
        // A function or an unset value in the word: the programs check
        // their words again.
        const bool data = is_data(type_of(item));
        if (!data) clean = false;
        *slot = item;
        loop_block(*b, body, current, saved, clean, data ? unchanged.trusted(0) : nullptr);
        unchanged.judge({b}, slot);
        const PureLoop after = after_pure_body();
        if (after != PureLoop::go_on) return after;
    }
}

}  // namespace

PureLoop foreach_pure(const Cell& word, const Cell& series, uint32_t& pos, const Cell& body, Link& link,
                      Cell& current) {
    return word_loop(
        word, [&] { return pos < series::buffer(series.w2)->length(); },
        [&] { return series::buffer(series.w2)->cells()[pos++]; }, body, link, current);
}

PureLoop repeat_pure(const Cell& word, int64_t& next, int64_t last, const Cell& body, Link& link, Cell& current) {
    return word_loop(
        word, [&] { return next <= last; },
        [&] { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(next++), 0}; }, body, link, current);
}

bool body_pure(const Cell& body, Link& link, Cell& current) {
    if (trace::state.on) [[unlikely]] return false;
    bool plain = false;
    Form* f = pure_form(body, link, plain);
    if (!f) return false;
    const Cell saved = current;
    bool clean = true;
    run_pure_block(*f, body, current, saved, clean);
    return true;
}

}  // namespace qor::interpreter::decoded
