// Action lookup, the comparison layer and the typed entry points.
#include "runtime/datatypes/actions.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"

#include <algorithm>

namespace qor::actions {

namespace detail {
// The dispatchers in action order (defined with them).
extern const Dispatcher dispatchers[action_count];
}  // namespace detail

namespace {
Dispatcher dispatch_table[action_count];
}  // namespace

namespace {

// hash! and map! tables compare keys with the `compare` action; 0 means the
// comparison holds.
int32_t compare_keys(const Cell& a, const Cell& b, int op) {
    return compare(a, b, static_cast<CompareOp>(op)) ? 0 : 1;
}

}  // namespace

void init() {
    for (int n = 0; n < action_count; n++) dispatch_table[n] = detail::dispatchers[n];
    hashtable::set_key_compare(compare_keys);
}

Dispatcher dispatcher(Action a) { return dispatch_table[to_int(a) - 1]; }

void not_supported(Action a, TypeId type) {
    error::expect_arg(error::WordArg{action_word(a)}, type, error::WordArg{action_arg_words[to_int(a)].first});
}

EvalPathRoutine get_path_action(const Cell& value, const Cell& element) {
    const Routine r = datatype::routine(type_of(value), Action::eval_path);
    if (!r) error::fire(error::Id::bad_path_type2, {element, datatype::value(type_of(value))});
    return restore<Action::eval_path>(r);
}

EvalPathRoutine get_path_action(const Cell& value, const Cell& element, const Cell* path, int32_t index) {
    if (path == nullptr || !is_any_block(type_of(*path)) || type_of(*path) == TypeId::block || index < 0)
        return get_path_action(value, element);
    const Routine r = datatype::routine(type_of(value), Action::eval_path);
    if (r) return restore<Action::eval_path>(r);
    // The path cut after the element that produced the value: its head and
    // the `index` elements after it.
    const Cell whole = *path;
    const uint32_t n = static_cast<uint32_t>(index) + 1;
    const NodeId node = series::alloc_cells(n);
    series::Buffer* cut = series::buffer(node);
    std::copy_n(series::buffer(whole.w2)->cells() + whole.w1, n, cut->cells());
    cut->set_tail_units(n);
    Cell shown = whole;
    set_header(shown, TypeId::path);
    const Cell cut_path{to_int(TypeId::path), 0, node, 0};
    error::fire(error::Id::bad_path_type, {shown, datatype::value(type_of(value)), cut_path});
}

bool compare(const Cell& value1, const Cell& value2, CompareOp op) {
    const int32_t r = get_action_of<Action::compare>(value1)(&value1, &value2, op);
    if (r == -2) {
        if (is_ordering_test(op)) error::fire(error::Id::invalid_compare, {value1, value2});
        return op == CompareOp::not_equal;
    }
    switch (op) {
        case CompareOp::equal:
        case CompareOp::strict_equal:
        case CompareOp::same:
        case CompareOp::equal_series:
        case CompareOp::equal_series_alt:
        case CompareOp::find_key: return r == 0;
        case CompareOp::not_equal: return r != 0;
        case CompareOp::lesser: return r < 0;
        case CompareOp::lesser_or_equal: return r <= 0;
        case CompareOp::greater: return r > 0;
        case CompareOp::greater_or_equal: return r >= 0;
        default: error::unreachable();
    }
}

Cell* compare_args(CompareOp op) {
    const bool holds = compare(*stack::arg(0), *stack::arg(1), op);
    return logic::box(holds);
}

int32_t compare_order(const Cell& value1, const Cell& value2, CompareOp op) {
    const auto three_way = [](uint32_t a, uint32_t b) { return int32_t(a > b) - int32_t(a < b); };
    switch (type_of(value1)) {
        case TypeId::logic: return int32_t(logic::is_true(value1)) - int32_t(logic::is_true(value2));
        case TypeId::native:
        case TypeId::action:
        case TypeId::op: return three_way(value1.w1, value2.w1);
        case TypeId::function:
        case TypeId::routine: return three_way(value1.w3, value2.w3);
        default: return get_action_of<Action::compare>(value1)(&value1, &value2, op);
    }
}

int32_t pick_index(const Cell& index) {
    switch (type_of(index)) {
        case TypeId::logic: return logic::get(index) ? 1 : 2;
        case TypeId::integer:
        case TypeId::char_: return get_int(index);
        default: return 0;
    }
}

int32_t call_form(const Cell& value, Cell& buffer, const Cell* part, int32_t limit) {
    return get_action_of<Action::form>(value)(&value, &buffer, part, limit);
}

int32_t call_mold(const Cell& value, Cell& buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                  int32_t indent) {
    return get_action_of<Action::mold>(value)(&value, &buffer, only, all, flat, part, limit, indent);
}

// make and to of a datatype go to the type it names; of any other value to
// the value's own type, with the value as the prototype.
static TypeId target_type(const Cell& prototype) {
    return type_of(prototype) == TypeId::datatype ? datatype::named(prototype) : type_of(prototype);
}

const Cell* call_make(Cell& prototype, Cell& spec) {
    const TypeId t = target_type(prototype);
    return get_action<Action::make>(t)(&prototype, &spec, t);
}

const Cell* call_to(Cell& prototype, Cell& spec) {
    const TypeId t = target_type(prototype);
    return get_action<Action::to>(t)(&prototype, &spec, t);
}

const Cell* call_copy(Cell& value, Cell& result, const Cell* part, bool deep, const Cell* types) {
    return get_action_of<Action::copy>(value)(&value, &result, part, deep, types);
}

const Cell* call_find(Cell& series, Cell& value, const FindArgs& args) {
    return get_action_of<Action::find>(series)(&series, &value, args);
}

Cell* call_eval_path(const EvalPathArgs& args) {
    return get_path_action(*args.parent, *args.element, args.path, args.index)(args);
}

}  // namespace qor::actions
