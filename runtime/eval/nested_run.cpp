// Nested runs: the function bodies, `either` and `if` branches and parens
// that a pure program reaches run inside it when their blocks' forms are
// pure and set nothing (Form::inlinable). No frame, no code position and
// no exit of their own can be seen, since such a run raises no error (an
// operator whose action would compute the value, which may raise one,
// declines instead) and calls nothing but more of the same. A block whose
// form cannot run so is remembered, in the op that reaches it, until the
// table's forms change; one without a form yet, or whose cells changed,
// is tried again next time. A run that declines part way has done nothing
// the language can see, and the whole program that reached it declines.
//
// The runner goes down into a block and back up without recursion: each
// block it enters keeps, in a table of levels, what going back to the step
// that entered it needs. A call then costs its body's steps and a few
// stores, and a recursion deeper than the table runs as calls from there
// on, which report a stack overflow where there is one.
#include "runtime/datatypes/arg_cache.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interrupt.h"
#include "runtime/eval/pure_steps.h"
#include "runtime/memory/call_stack.h"

namespace qor::interpreter::decoded {

uint64_t epoch = 0;

namespace {

// What going back up from a block needs: the program under way in the
// block above (its form, its expression, the step after the one
// that went down, the program's base), where the value goes, and
// for a call the function's values header and the frame index it held.
struct Level {
    const Form* form;
    uint32_t saved;
    const Expr* expr;
    const Micro* next;
    Cell* base;
    Cell* value;
    Cell* header;
};

// Two levels per call of a function whose body branches to a paren (the
// call's and the paren's): deeper than plain calls go before their stack
// overflows.
constexpr size_t max_levels = 12 * 1024;
Level levels[max_levels];
bool running = false;  // a nested run is under way

// The form of the block a nested run enters, holding the block's cells;
// nullptr when there is none to take now (`never` set when the block's
// form cannot run nested). `nested`: found inside a nested run, where a
// block checked once in the run's epoch stays as it was.
[[gnu::always_inline]] inline const Form* nested_form(const Cell& block, Link& link, bool& never, bool nested) {
    if (nested && link.checked == epoch && link.node == block.w2 && link.start == block.w1) [[likely]]
        return link.form;
    const Form* bf = form_of(block.w2, block.w1, link);
    if (!bf) return nullptr;
    if (!bf->inlinable) {
        never = true;
        return nullptr;
    }
    series::Buffer* b = series::buffer(block.w2);
    if (b->length() != bf->length || !same_cells(b->cells() + bf->start, bf->cells.data(), bf->length - bf->start))
        return nullptr;
    if (nested) link.checked = epoch;
    return bf;
}

// What an operator computes itself in a nested run, which raises no
// error: integers (a sum out of range becoming a float), and floats with
// + - *. Anything else declines.
bool quiet_operator(const Micro& m, const Cell* a) {
    if (m.code != MicroCode::arith) return false;
    const TypeId x = type_of(a[0]), y = type_of(a[1]);
    return (x == TypeId::integer && y == TypeId::integer) ||
           (x == TypeId::float_ && y == TypeId::float_ && m.fast <= static_cast<int>(fast::Arith::multiply));
}

// The steps' codes in the nested runner: the program's steps, with the
// fused operand pairs of a word and an integer constant, by far the most
// common, and end checks of cells that were no words when decoded (known:
// the cells are the decoded ones all through) apart.
enum class Thread : uint8_t {
    unexpected,  // a set or an append: no inlinable form has one
    constant,
    word,
    fused,
    word_int_arith,
    word_int_compare,
    word_int_branch,  // a comparison, the condition of the branch after it
    field,
    operate,
    next,
    end_check,
    call_check,
    call,
    branch_check,
    branch,
    paren,
    done,
};

Thread thread_of(const Micro* m, const Micro* end) {
    switch (m->code) {
        case MicroCode::constant: return m->fused ? Thread::fused : Thread::constant;
        case MicroCode::word:
            if (!m->fused) return Thread::word;
            if (end - m < 3 || m[1].code != MicroCode::constant || type_of(m[1].value) != TypeId::integer)
                return Thread::fused;
            if (m[2].code == MicroCode::arith) return Thread::word_int_arith;
            return end - m > 3 && m[3].code == MicroCode::branch ? Thread::word_int_branch : Thread::word_int_compare;
        case MicroCode::field: return Thread::field;
        case MicroCode::arith:
        case MicroCode::compare: return Thread::operate;
        case MicroCode::end_check: return m->fused ? Thread::end_check : Thread::next;
        case MicroCode::call_check: return Thread::call_check;
        case MicroCode::call: return Thread::call;
        case MicroCode::branch_check: return Thread::branch_check;
        case MicroCode::branch: return Thread::branch;
        case MicroCode::paren: return Thread::paren;
        case MicroCode::done: return Thread::done;
        case MicroCode::set_word:
        case MicroCode::set_field:
        case MicroCode::append: break;
    }
    return Thread::unexpected;
}

}  // namespace

void thread_program(Micro* m, uint32_t n) {
    for (uint32_t k = 0; k < n; k++) m[k].thread = static_cast<uint8_t>(thread_of(m + k, m + n));
}

bool inline_check(const Form& f, const Micro& m, NodeId code, bool nested) {
    if (!word_holds(m, f, code)) return false;
    const Cell& fn = m.value;
    const Cell body = *function::part(fn, function::Part::body);
    const Op& call = f.ops[m.call_op];
    if (type_of(body) != TypeId::block || (fn.header & (function::flag_trace | function::flag_no_trace)))
        return decline_for_good(f, call);
    bool never = false;
    call.inline_body = nested_form(body, call.links[0], never, nested);
    if (never) return decline_for_good(f, call);
    if (!call.inline_body) return false;
    if (nested && !m.on_stack) m.held = epoch;
    return true;
}

bool run_nested(const Form& entry_form, const Micro& entry, Cell*& entry_top) {
    // A block known unable to run nested goes the long way at once; and the
    // table of levels serves one run at a time.
    if (entry_form.ops[entry.call_op].declined == generation || running) [[unlikely]] return false;
    epoch++;
    // However the run ends (declined, or an error thrown from a slow
    // path), the functions' frame indexes and the data top are put back.
    struct Unwind {
        size_t depth = 0;
        Cell* top = stack::data.top;
        Unwind() { running = true; }
        ~Unwind() {
            while (depth > 0) {
                const Level& l = levels[--depth];
                if (l.header) l.header->w2 = l.saved;
            }
            stack::data.top = top;
            running = false;
        }
    } unwind;
    size_t& depth = unwind.depth;

    // The program under way: its form, its expression, its step, where it
    // started pushing, the data top. Its block is the form's.
    const Form* f = &entry_form;
    const Expr* expr = nullptr;
    const Micro* m = &entry;
    Cell* base = entry_top;
    Cell* top = entry_top;

    // Whether the programs of the form `bf` have room on the data stack
    // from `from`: each pushes at most one cell per step.
    const auto room = [](const Form* bf, const Cell* from) {
        return stack::data.limit - from > static_cast<ptrdiff_t>(bf->most_steps) + 1;
    };
    // Goes down into the block of `bf`, its value to go to `value`; false
    // when the run declines.
    const auto enter = [&](const Form* bf, Cell* value, Cell* header) {
        if (depth == max_levels || !room(bf, top)) [[unlikely]] return false;
        Level& l = levels[depth++];
        l.form = f;
        l.expr = expr;
        l.next = m + 1;
        l.base = base;
        l.value = value;
        l.header = header;
        f = bf;
        base = top;
        expr = bf->exprs.data();
        return true;
    };
    // The block whose step `m` goes down to, found through the op's link.
    const auto block_form = [&](const Op& op, const Cell& block, Link& link) -> const Form* {
        bool never = false;
        const Form* bf = nested_form(block, link, never, true);
        if (never) decline_for_good(*f, op);
        return bf;
    };

    bool chosen = false;  // a branch's choice

    // Each step goes straight on to the next one's code (an indirect jump
    // of its own is far easier to predict than one shared by all steps).
    // The labels in the order of Thread.
    static void* const steps[] = {
        &&unexpected, &&constant,   &&word,         &&fused,  &&word_int_arith, &&word_int_compare,
        &&word_int_branch, &&field, &&operate,      &&next,   &&end_check,      &&call_check,
        &&call,       &&branch_check, &&branch,     &&paren,  &&done,
    };
    static_assert(sizeof(steps) / sizeof(steps[0]) == static_cast<size_t>(Thread::done) + 1);
#define QOR_NEXT goto* steps[m->thread]

    QOR_NEXT;

constant:
    *top++ = m->value;
    ++m;
    QOR_NEXT;

word: {
    const Cell* slot = heap_slot(*m, f->at(m->pos), f->node);
    if (!slot || !is_data(type_of(*slot))) [[unlikely]] return false;
    Cell c = *slot;
    clear_new_line(c);
    *top++ = c;
    ++m;
    QOR_NEXT;
}

fused:
    // An operand pair and its operator over integers in one step; the
    // steps one by one otherwise.
    if (fused_int(*f, m, f->node, *top, true)) [[likely]] {
        top++;
        m += 3;
        QOR_NEXT;
    }
    if (m->code == MicroCode::constant) goto constant;
    goto word;

word_int_arith:
word_int_compare: {
    // A word's value and an integer constant.
    const Cell* x = heap_slot(*m, f->at(m->pos), f->node);
    if (x && type_of(*x) == TypeId::integer && holds(m[2], *f, f->node, true)) [[likely]] {
        const int32_t y = get_int(m[1].value);
        if (m->thread == static_cast<uint8_t>(Thread::word_int_compare)) {
            *top++ = fast::int_compare(m[2].fast, get_int(*x), y) ? logic::true_value : logic::false_value;
            m += 3;
            QOR_NEXT;
        }
        int32_t r = 0;
        if (fast::int_arith(static_cast<fast::Arith>(m[2].fast), get_int(*x), y, r)) [[likely]] {
            fast::put_int(*top++, r);
            m += 3;
            QOR_NEXT;
        }
    }
    goto word;
}

word_int_branch: {
    // The comparison chooses the branch's block at once; its cell only
    // holds the place where the block's value goes.
    const Cell* x = heap_slot(*m, f->at(m->pos), f->node);
    if (x && type_of(*x) == TypeId::integer && holds(m[2], *f, f->node, true)) [[likely]] {
        chosen = fast::int_compare(m[2].fast, get_int(*x), get_int(m[1].value));
        top++;
        m += 3;
        goto choose;
    }
    goto word;
}

field: {
    // As the path walk reads a field: no unset value, no function.
    const Cell& path = f->at(m->pos);
    if (const Cell* field = cached_field(f->fields[m->index], path, false)) [[likely]] {
        const TypeId t = type_of(*field);
        if (t == TypeId::unset || is_callable(t)) return false;
        *top++ = *field;
        ++m;
        QOR_NEXT;
    }
    // The path's words are bound as it is walked: a write.
    epoch++;
    stack::data.top = top;
    if (!internal::object_field_path(path, PathMode::call, nullptr)) return false;
    top = stack::data.top;
    fill_field(f->fields[m->index], path);
    ++m;
    QOR_NEXT;
}

operate: {
    if (!holds(*m, *f, f->node, true)) [[unlikely]] return false;
    Cell* const a = top - 2;
    const bool arith = m->code == MicroCode::arith;
    if (type_of(a[0]) == TypeId::integer && type_of(a[1]) == TypeId::integer &&
        fast::int_result(!arith, m->fast, get_int(a[0]), get_int(a[1]), a[0])) [[likely]] {
        top = a + 1;
        ++m;
        QOR_NEXT;
    }
    if (!quiet_operator(*m, a)) return false;
    stack::data.top = a;
    fast::arith(static_cast<fast::Arith>(m->fast), f->at(m->pos), a[0], a[1]);
    top = stack::data.top;
    ++m;
    QOR_NEXT;
}

end_check:
    if (!no_operator_at(f->node, m->pos)) return false;
next:
    ++m;
    QOR_NEXT;

call_check:
    // A function that cannot run inline is known as such at once; one
    // checked in this epoch, with its body's form, holds still.
    if (m->held != epoch && (f->ops[m->call_op].declined == generation || !inline_check(*f, *m, f->node, true)))
        return false;
    ++m;
    QOR_NEXT;

branch_check:
    if (f->ops[m->call_op].declined == generation || !holds(*m, *f, f->node, true)) return false;
    ++m;
    QOR_NEXT;

call: {
    // The arguments are the top cells, checked as a call checks them; the
    // function's words name them while its body runs, as they would name
    // its frame. Ctrl-C declines: the call then goes the long way, which
    // halts.
    const Op& op = f->ops[m->call_op];
    if (interrupt::requested()) [[unlikely]] return false;
    Cell* const args = top - op.arg_count;
    for (uint32_t i = 0; i < op.arg_count; i++)
        if (!arg_cache::admits(f->types[op.first_arg + i], type_of(args[i]))) return false;
    Cell& header = *series::buffer(m->value.w1)->cells();
    if (m->tail && depth > 0 && !levels[depth - 1].header && expr + 1 == f->exprs.data() + f->exprs.size()) {
        // The body's value is this block's (a paren's, a branch's): the
        // body goes back up where this block would, the frame index put
        // back on the way.
        if (!room(op.inline_body, top)) return decline_for_good(*f, op);
        Level& l = levels[depth - 1];
        l.header = &header;
        l.saved = header.w2;
        f = op.inline_body;
        expr = f->exprs.data();
        base = top;
    } else {
        // A recursion this deep runs as calls from here on: trying again at
        // every level of it would repeat the whole descent each time.
        if (!enter(op.inline_body, args, &header)) return decline_for_good(*f, op);
        levels[depth - 1].saved = header.w2;
    }
    header.w2 = context::stack_values_ref(stack::index_of(args));
    goto start;
}

branch: {
    // The condition on top; an unset one, which `either` refuses with an
    // error, declines. `if` on a false one is none.
    const Cell& cond = top[-1];
    if (m->fast != 0 && type_of(cond) == TypeId::unset) return false;
    chosen = interpreter::truthy(cond);
    goto choose;
}

choose: {
    // `m` is the branch, `chosen` its choice, the condition's cell on top.
    const Op& op = f->ops[m->call_op];
    if (!chosen && m->fast == 0) {
        top[-1] = none::value;
        if (depth == 0) [[unlikely]] {  // the entry step, done
            entry_top = top;
            return true;
        }
        ++m;
        QOR_NEXT;
    }
    const uint32_t k = chosen ? 0 : 1;
    const Cell& block = f->at(m->blocks[k]);
    const Form* bf = block_form(op, block, op.links[k]);
    if (!bf) return false;
    if (m->tail && depth > 0 && expr + 1 == f->exprs.data() + f->exprs.size()) {
        // The chosen block's value is this block's: it runs in this
        // block's place, and goes back up where this block would.
        if (!room(bf, top)) return false;
        f = bf;
        expr = bf->exprs.data();
        base = top - 1;
        goto start;
    }
    if (!enter(bf, top - 1, nullptr)) return decline_for_good(*f, op);
    goto start;
}

paren: {
    const Op& op = f->ops[m->call_op];
    if (op.declined == generation) return false;
    const Cell& block = f->at(m->pos);
    const Form* bf = block_form(op, block, op.links[0]);
    if (!bf) return false;
    if (!enter(bf, top, nullptr)) return decline_for_good(*f, op);
    goto start;
}

done: {
    // The end of a program: the next expression of its block, or back up
    // to the step after the one that went down, the block's value where
    // that step leaves it.
    const Cell value = top[-1];
    if (++expr != f->exprs.data() + f->exprs.size()) goto start;
    const Level& l = levels[--depth];
    if (l.header) l.header->w2 = l.saved;
    f = l.form;
    expr = l.expr;
    m = l.next;
    base = l.base;
    top = l.value;
    *top++ = value;
    if (depth == 0) {
        entry_top = top;
        return true;
    }
    QOR_NEXT;
}

start:
    // The program of the expression `expr`, from `base`.
    m = f->micro.data() + expr->program;
    top = base;
    QOR_NEXT;

unexpected:
    return false;  // a set or an append: no inlinable form has one
#undef QOR_NEXT
}

}  // namespace qor::interpreter::decoded
