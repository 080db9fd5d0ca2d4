// unset!: the value of nothing.
#include "runtime/datatypes/unset.h"

#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"

namespace qor::unset {

// ---- helpers

Cell* push() {
    Cell* c = stack::push_slot();
    set_header(*c, TypeId::unset);
    return c;
}

// ---- actions

namespace {

// Whatever is given: a new unset value.
const Cell* make(Cell*, Cell*, TypeId) { return push(); }

int32_t form(const Cell*, Cell*, const Cell*, int32_t limit) { return limit; }

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t limit, int32_t) {
    const std::string_view text = all ? "#(unset)" : "unset";
    text_buffer::append_ascii(*buffer, text);
    return limit - static_cast<int32_t>(text.size());
}

// Two unset values are equal and have no order.
int32_t compare(const Cell*, const Cell* value2, CompareOp op) {
    if (type_of(*value2) != TypeId::unset) return -2;
    return is_equality_test(op) || is_sort_order(op) ? 0 : -2;
}

}  // namespace

// ---- registration

namespace {

// unset hashes to -2.
uint32_t hash_unset_key(const Cell&) {
    return 0xFFFFFFFE;
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(make);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.hash(&hash_unset_key);
    datatype::register_type(TypeId::unset, TypeId::none_id, row);
}

}  // namespace qor::unset
