// Fast paths over integers, floats and blocks.
#include "runtime/eval/fast_paths.h"

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/series.h"
#include "runtime/core/symbol_ids.h"

namespace qor::fast {

namespace {

// Opens a native frame named by the word with the operands pushed.
void open_frame(const Cell& word, std::initializer_list<Cell> operands) {
    const bool named = is_word_like(type_of(word));
    stack::mark_native(named ? word.w2 : to_int(Sym::tag_anon), named ? word.w1 : 0);
    for (const Cell& c : operands) stack::push(c);
}

void dispatch(Action a, const Cell& word, std::initializer_list<Cell> operands) {
    open_frame(word, operands);
    actions::dispatcher(a)({});
    stack::unwind();
}

Cell integer(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

Cell float_cell(double d) {
    Cell c{to_int(TypeId::float_), 0, 0, 0};
    set_double(c, d);
    return c;
}


}  // namespace

// The operands may be cells of the stack at its top: each is read before
// the result is pushed.
void arith(Arith code, const Cell& word, const Cell& a, const Cell& b) {
    if (code == static_cast<Arith>(3) || code == static_cast<Arith>(4)) error::unreachable();
    const TypeId ta = type_of(a), tb = type_of(b);
    if (ta == TypeId::integer && tb == TypeId::integer) {
        const int32_t x = get_int(a), y = get_int(b);
        int32_t r = 0;
        if (int_arith(code, x, y, r)) {
            stack::push(integer(r));
            return;
        }
        const double dx = x, dy = y;
        stack::push(float_cell(code == Arith::add ? dx + dy : code == Arith::subtract ? dx - dy : dx * dy));
        return;
    }
    if (ta == TypeId::float_ && tb == TypeId::float_ && static_cast<int>(code) <= 2) {
        const double x = get_double(a), y = get_double(b);
        stack::push(float_cell(code == Arith::add ? x + y : code == Arith::subtract ? x - y : x * y));
        return;
    }
    static constexpr Action actions_of[] = {Action::add, Action::subtract, Action::multiply, Action::add,
                                            Action::add, Action::or_t,    Action::and_t,    Action::xor_t};
    const Cell x = a, y = b;
    dispatch(actions_of[static_cast<int>(code)], word, {x, y});
}

void compare(int code, const Cell& word, const Cell& a, const Cell& b) {
    if (code < 0 || code >= compare_codes) error::unreachable();
    if (type_of(a) == TypeId::integer && type_of(b) == TypeId::integer) {
        stack::push(int_compare(code, get_int(a), get_int(b)) ? logic::true_value : logic::false_value);
        return;
    }
    const Cell x = a, y = b;
    open_frame(word, {x, y});
    actions::compare_args(static_cast<CompareOp>(code));
    stack::unwind();
}

void pick(const Cell& value, int32_t index, const Cell& word) {
    if (type_of(value) == TypeId::block) {
        const series::Buffer* buf = series::buffer(value.w2);
        const int64_t n = static_cast<int64_t>(buf->length()) - value.w1;
        if (index >= 1 && index <= n) {
            stack::push(series::buffer(value.w2)->cells()[value.w1 + static_cast<uint32_t>(index) - 1]);
        } else {
            stack::push(none::value);
        }
        return;
    }
    open_frame(word, {value, integer(index)});
    Cell element = integer(index);
    actions::EvalPathArgs args{};
    args.parent = stack::data.base;
    args.element = &element;
    args.path = stack::data.base;
    args.index = 0;
    args.get_mode = true;
    args.last = true;
    const Cell r = *actions::call_eval_path(args);
    *stack::data.base = r;
    stack::unwind();
}

}  // namespace qor::fast
