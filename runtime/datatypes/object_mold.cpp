// object!: form and mold, and the field writer error! and port! share.
#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/cycle_marker.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/actions.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::object {

namespace {

bool is_handler_field(uint32_t sym) {
    const uint32_t s = symbol::resolve_alias(sym);
    return s == symbol::resolve_alias(to_int(Sym::on_change_star)) ||
           s == symbol::resolve_alias(to_int(Sym::on_deep_change_star));
}

}  // namespace

int32_t form_fields(const Cell& object_in, Cell& buffer, bool only, bool all, bool flat, const Cell* part,
                    int32_t limit, bool indent, int32_t level, bool mold) {
    const Cell object = object_in;
    const NodeId ctx = object.w1;
    const uint32_t n = context::word_count(ctx);
    if (n == 0) return limit;
    const std::string_view separator = flat ? " " : "\n";
    const bool indented = indent && !flat;
    if (mold && !flat && !only) limit = text_buffer::put(buffer, "\n", limit);
    cycle::Scope scope(ctx);
    for (uint32_t i = 0; i < n && (!part || limit > 0); i++) {
        const Cell word = *context::word_at(ctx, i);
        if (!all && is_handler_field(word.w2)) continue;
        if (indented) limit = text_buffer::indent(buffer, level, limit);
        Cell name = word;
        name.header = to_int(TypeId::word);
        limit = actions::call_mold(name, buffer, false, all, flat, part, limit, level);
        limit = text_buffer::put(buffer, ": ", limit);
        // Molding may move the values block: the value is read afresh.
        Cell value = *context::value_cell_at(ctx, i);
        if (type_of(value) == TypeId::none_id) value = unset_cell;
        if (type_of(value) == TypeId::word) limit = text_buffer::put(buffer, "'", limit);
        limit = actions::call_mold(value, buffer, false, all, flat, part, limit, level);
        if (i + 1 < n || indent) limit = text_buffer::put(buffer, separator, limit);
    }
    return limit;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    if (cycle_marker::write(*value, *buffer, limit, true)) return limit;
    return form_fields(*value, *buffer, false, false, false, part, limit, false, 0, false);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    if (cycle_marker::write(*value, *buffer, limit, true)) return limit;
    const Cell object = *value;
    if (!only) limit = text_buffer::put(*buffer, "make object! [", limit);
    limit = form_fields(object, *buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent > 0) limit = text_buffer::indent(*buffer, indent, limit);
    if (!only) limit = text_buffer::put(*buffer, "]", limit);
    return limit;
}

}  // namespace qor::object
