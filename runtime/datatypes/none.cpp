// none!: the explicit absence of a value. The series actions that find
// nothing in none answer none, so `length? none` or `find none 1` is none
// rather than an error.
#include "runtime/datatypes/none.h"

#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"

namespace qor::none {

// ---- helpers

Cell* make_at(Cell& cell) {
    set_header(cell, TypeId::none);
    return &cell;
}

Cell* box() { return make_at(*stack::result()); }
Cell* push() { return make_at(*stack::push_slot()); }
Cell* make_in(Cell& block) { return make_at(*series_tail::block_alloc_tail(block)); }

// ---- actions

namespace {

// Whatever is given: a new none value.
const Cell* make(Cell*, Cell*, TypeId) { return push(); }

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t limit) {
    text_buffer::append_ascii(*buffer, "none");
    return limit - 4;
}

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t limit, int32_t) {
    const std::string_view text = all ? "#(none)" : "none";
    text_buffer::append_ascii(*buffer, text);
    return limit - static_cast<int32_t>(text.size());
}

// Two none values are equal and have no order.
int32_t compare(const Cell*, const Cell* value2, CompareOp op) {
    if (type_of(*value2) != TypeId::none) return -2;
    return is_equality_test(op) || is_sort_order(op) ? 0 : -2;
}

// clear, remove, take, find and select of none: none.
Cell* none_result() { return box(); }
const Cell* none_remove(Cell*, const Cell*, const Cell*) { return box(); }
const Cell* none_take(Cell*, const Cell*, bool, bool) { return box(); }
const Cell* none_find(Cell*, Cell*, const actions::FindArgs&) { return box(); }
// length?: no length, which the dispatcher answers as none.
int32_t none_length(const Cell*) { return -1; }

}  // namespace

// ---- registration

namespace {

// none hashes to -1.
uint32_t hash_none_key(const Cell&) {
    return 0xFFFFFFFF;
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(make);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::clear>(none_result)
        .own<Action::find>(none_find)
        .own<Action::length_q>(none_length)
        .own<Action::remove>(none_remove)
        .own<Action::select>(none_find)
        .own<Action::take>(none_take);
    row.hash(&hash_none_key);
    datatype::register_type(TypeId::none, TypeId::none_id, row);
}

}  // namespace qor::none
