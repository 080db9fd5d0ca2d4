// The path datatypes: make, to, form and mold, and the registrations.
#include "runtime/datatypes/path.h"

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/cycle_marker.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"

namespace qor::path {

namespace {

const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    const TypeId st = type_of(*spec);
    if (is_any_block(st)) return block::make(prototype, spec, type);
    if (st != TypeId::integer && st != TypeId::float_ && st != TypeId::percent)
        error::fire(error::Id::bad_make_arg, {datatype::value(type), *spec});
    const double d = st == TypeId::integer ? double(get_int(*spec)) : get_double(*spec);
    const int32_t n = d < 1.0 ? 1 : d > 1e6 ? 1000000 : int32_t(d);
    Cell* result = stack::push(none::value);
    block::make_at(*result, n);
    set_header(*result, type);
    return result;
}

const Cell* to(Cell* prototype, Cell* spec, TypeId type) {
    const TypeId st = type_of(*spec);
    if (st == TypeId::object || st == TypeId::typeset || st == TypeId::map) {
        Cell* result = stack::push(none::value);
        block::make_at(*result, 1);
        block::append_cell(*result, *spec);
        set_header(*result, type);
        return result;
    }
    return block::to(prototype, spec, type);
}

// The elements from the index joined by "/", through form or mold.
template <bool Mold>
int32_t write_elements(const Cell* value, Cell* buffer, bool all, bool flat, const Cell* part, int32_t limit) {
    if (cycle_marker::write(*value, *buffer, limit, Mold)) return limit;
    const Cell p = *value;
    cycle::Scope scope(p.w2);
    for (uint32_t i = p.w1; i < series::buffer(p.w2)->length(); i++) {
        const Cell element = series::buffer(p.w2)->cells()[i];
        if (Mold) limit = actions::call_mold(element, *buffer, false, all, flat, part, limit, 0);
        else limit = actions::call_form(element, *buffer, part, limit);
        if (part && limit <= 0) break;
        if (i + 1 < series::buffer(p.w2)->length()) {
            text_buffer::append_ascii(*buffer, "/");
            limit--;
        }
    }
    return limit;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    return write_elements<false>(value, buffer, false, false, part, limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* part, int32_t limit, int32_t) {
    return write_elements<true>(value, buffer, all, flat, part, limit);
}

int32_t mold_lit(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                 int32_t) {
    text_buffer::append_ascii(*buffer, "'");
    return mold(value, buffer, only, all, flat, part, limit - 1, 0);
}

int32_t mold_get(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                 int32_t indent) {
    text_buffer::append_ascii(*buffer, ":");
    return mold(value, buffer, only, all, flat, part, limit - 1, indent);
}

int32_t mold_set(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                 int32_t indent) {
    limit = mold(value, buffer, only, all, flat, part, limit, indent);
    text_buffer::append_ascii(*buffer, ":");
    return limit - 1;
}

// Every action of the parent except random, sort and trim.
datatype::ActionRow inherited_row() {
    datatype::ActionRow row;
    for (int n = 1; n <= action_count; n++) {
        const Action a = Action(n);
        if (a != Action::random && a != Action::sort && a != Action::trim) row.inherit(a);
    }
    return row;
}

}  // namespace

void init_path() {
    datatype::ActionRow row = inherited_row();
    row.own<Action::make>(&make)
        .own<Action::to>(&to)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold)
        .own<Action::copy>(&block::copy);
    datatype::register_type(TypeId::path, TypeId::block, row);
}

void init_lit_path() {
    datatype::ActionRow row = inherited_row();
    row.own<Action::mold>(&mold_lit);
    datatype::register_type(TypeId::lit_path, TypeId::path, row);
}

void init_set_path() {
    datatype::ActionRow row = inherited_row();
    row.own<Action::mold>(&mold_set);
    datatype::register_type(TypeId::set_path, TypeId::path, row);
}

void init_get_path() {
    datatype::ActionRow row = inherited_row();
    row.own<Action::mold>(&mold_get);
    datatype::register_type(TypeId::get_path, TypeId::path, row);
}

}  // namespace qor::path
