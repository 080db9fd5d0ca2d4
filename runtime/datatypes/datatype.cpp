// datatype!: values that name a datatype.
#include "runtime/datatypes/datatype.h"

#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/memory/series_tail.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"

namespace qor::datatype {

// ---- helpers

// Writes the header (no flags) and the named id; other payload words stay.
Cell* make_at(Cell& cell, TypeId named) {
    set_header(cell, TypeId::datatype);
    cell.w1 = to_int(named);
    return &cell;
}

Cell* push(TypeId named) { return make_at(*stack::push_slot(), named); }
Cell* make_in(Cell& block, TypeId named) { return make_at(*series_tail::block_alloc_tail(block), named); }

// ---- actions

namespace {

// The name without its "!".
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const std::string_view n = name_without_bang(named(*value));
    text_buffer::append_ascii(*buffer, n);
    return limit - static_cast<int32_t>(n.size());
}

// The name with its "!"; "#(integer!)" with /all.
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t limit, int32_t) {
    const std::string_view n = name(named(*value));
    if (all) text_buffer::append_ascii(*buffer, "#(");
    text_buffer::append_ascii(*buffer, n);
    if (all) text_buffer::append_ascii(*buffer, ")");
    return limit - static_cast<int32_t>(n.size()) - (all ? 3 : 0);
}

// Only equality: a datatype equals the datatype naming the same type; any
// other value is simply different. Datatypes have no order.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    if (!is_equality_test(op)) return -2;
    return type_of(*value2) == TypeId::datatype && value2->w1 == value1->w1 ? 0 : 1;
}

}  // namespace

// ---- registration

namespace {

// Datatypes hash by their id.
uint32_t hash_datatype_key(const Cell& key) {
    return hash::mix32(key.w1);
}

}  // namespace

void init() {
    ActionRow row;
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.hash(&hash_datatype_key);
    register_type(TypeId::datatype, TypeId::none_id, row);
}

}  // namespace qor::datatype
