// handle!: an opaque reference to a platform object.
#include "runtime/datatypes/handle.h"

#include <array>

#include "runtime/datatypes/registry.h"
#include "runtime/memory/handle_table.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"

namespace qor::handle_type {

namespace {
constexpr std::array<std::string_view, 6> kind_names = {"", "fd", "monitor", "window", "font", "rich-text"};
}  // namespace

// ---- helpers

std::string_view kind_name(uint32_t kind) { return kind < kind_names.size() ? kind_names[kind] : ""; }

Cell* make_at(Cell& cell, int32_t value, Kind kind) {
    cell = Cell{to_int(TypeId::handle), static_cast<uint32_t>(kind), static_cast<uint32_t>(value), 0xFFFFFFFFu};
    return &cell;
}

Cell* box(int32_t value, Kind kind) { return make_at(*stack::result(), value, kind); }
Cell* push(int32_t value, Kind kind) { return make_at(*stack::push_slot(), value, kind); }

// ---- actions

namespace {

// Eight upper-case hexadecimal digits and "h": 42 forms as 0000002Ah.
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    limit = text_buffer::put(*buffer, str::integer_to_hex(value->w2, false), limit);
    return text_buffer::put(*buffer, "h", limit);
}

// Without /all only the datatype's name; with it "#[handle! 0000002Ah window]".
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* part, int32_t limit, int32_t) {
    if (!all) return text_buffer::put(*buffer, "handle!", limit);
    limit = text_buffer::put(*buffer, "#[handle! ", limit);
    limit = form(value, buffer, part, limit);
    const std::string_view name = kind_name(kind_of(*value));
    if (!name.empty()) {
        limit = text_buffer::put(*buffer, " ", limit);
        limit = text_buffer::put(*buffer, name, limit);
    }
    return text_buffer::put(*buffer, "]", limit);
}

// By value only; anything but a handle is different (and never raises
// the cannot-compare error).
int32_t compare(const Cell* value1, const Cell* value2, CompareOp) {
    if (type_of(*value2) != TypeId::handle) return 1;
    const int32_t a = value_of(*value1), b = value_of(*value2);
    return (a > b) - (a < b);
}

}  // namespace

// ---- registration

namespace {

// A handle keeps its entry in the handle table.
void mark_handle_value(Cell& c) {
    const auto index = static_cast<int32_t>(c.w3);
    if (index >= 0 && static_cast<uint32_t>(index) < handle::capacity()) handle::mark(index);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.mark(&mark_handle_value);
    datatype::register_type(TypeId::handle, TypeId::integer, row);
}

}  // namespace qor::handle_type
