// map!: mold and form (one body writes the live pairs in block order), and
// reflect of its words, values and body.
#include <algorithm>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/cycle_marker.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"

namespace qor::map {

namespace {

int32_t put_text(Cell& buffer, std::string_view text, int32_t limit) {
    text_buffer::append_ascii(buffer, text);
    return limit - int32_t(text.size());
}

// Copied out: molding the previous cell may have moved the block.
Cell cell_copy(const Cell& m, uint32_t i) { return series::buffer(m.w2)->cells()[i]; }

uint32_t cell_count(const Cell& m) { return series::buffer(m.w2)->length(); }

enum class Layout { lines, flat, only_lines, form };

// The live pairs: key molded, a space, value molded. Lines layouts end each
// pair with a line break (indented one level deeper unless /only); flat
// separates pairs by spaces; form separates them by line breaks.
int32_t write_pairs(const Cell& m, Cell& buffer, Layout layout, bool all, const Cell* part, int32_t limit,
                    int32_t indent) {
    cycle::Scope scope(m.w2);
    bool first = true;
    for (uint32_t i = 0; i + 1 < cell_count(m); i += 2) {
        if (part && limit <= 0) break;
        const Cell key = cell_copy(m, i);
        if (cell_copy(m, i + 1).header == 0) continue;
        if (!first && (layout == Layout::flat || layout == Layout::form))
            limit = put_text(buffer, layout == Layout::flat ? " " : "\n", limit);
        first = false;
        if (layout == Layout::lines) limit = text_buffer::indent(buffer, indent + 1, limit);
        limit = actions::call_mold(key, buffer, false, all, layout == Layout::flat, part, limit, indent + 1);
        limit = put_text(buffer, " ", limit);
        limit = actions::call_mold(cell_copy(m, i + 1), buffer, false, all, layout == Layout::flat, part, limit,
                                   indent + 1);
        if (layout == Layout::lines || layout == Layout::only_lines) limit = put_text(buffer, "\n", limit);
    }
    return limit;
}

}  // namespace

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    if (cycle_marker::write(*value, *buffer, limit, true)) return limit;
    const Cell m = *value;
    const bool empty = size(m) == 0;
    if (only) return write_pairs(m, *buffer, flat ? Layout::flat : Layout::only_lines, all, part, limit, indent);
    limit = put_text(*buffer, "#[", limit);
    if (!empty) {
        if (!flat) limit = put_text(*buffer, "\n", limit);
        limit = write_pairs(m, *buffer, flat ? Layout::flat : Layout::lines, all, part, limit, indent);
        if (!flat && indent >= 1) limit = text_buffer::indent(*buffer, indent, limit);
    }
    return put_text(*buffer, "]", limit);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    if (cycle_marker::write(*value, *buffer, limit, false)) return limit;
    return write_pairs(*value, *buffer, Layout::form, false, part, limit, 0);
}

// reflect: a new block of the keys (as words), the values, or both.
Cell* reflect() {
    const Cell m = *stack::arg(0);
    const Cell field = *stack::arg(1);
    const uint32_t sym = is_word_like(type_of(field)) ? symbol::resolve_alias(field.w2) : 0;
    const bool words = sym == symbol::resolve_alias(to_int(Sym::words));
    const bool values = sym == symbol::resolve_alias(to_int(Sym::values));
    const bool body = sym == symbol::resolve_alias(to_int(Sym::body));
    if (!words && !values && !body) error::fire(error::Id::not_done);
    const int32_t live = size(m);
    Cell* out = block::push_new(std::max(body ? live * 2 : live, 1));
    for (uint32_t i = 0; i + 1 < cell_count(m); i += 2) {
        Cell key = cell_copy(m, i);
        const Cell value = cell_copy(m, i + 1);
        if (value.header == 0) continue;
        if (words) {
            if (type_of(key) == TypeId::set_word) set_header(key, TypeId::word);
            block::append_cell(*out, key);
        } else if (values) {
            block::append_cell(*out, value);
        } else {
            key.header |= cell_flag::new_line;
            block::append_cell(*out, key);
            block::append_cell(*out, value);
        }
    }
    return stack::set_result(*out);
}

}  // namespace qor::map
