// block!: form and mold (the line-break and indentation layout that paren!
// and nested blocks share), and the path step on a block.
#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/cycle_marker.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"

namespace qor::block {

namespace {

int32_t put_text(Cell& buffer, std::string_view text, int32_t limit) {
    text_buffer::append_ascii(buffer, text);
    return limit - int32_t(text.size());
}

// The cell at position i from the head, copied: molding the previous cell
// may have moved the buffer.
Cell cell_copy(const Cell& b, uint32_t i) { return series::buffer(b.w2)->cells()[i]; }

bool ends_in_break(const Cell& buffer) {
    const uint32_t n = text_buffer::length(buffer);
    if (n == 0) return false;
    const uint32_t c = text_buffer::char_at(buffer, n - 1);
    return c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

int32_t mold_items(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                   int32_t indent) {
    const Cell b = *value;
    bool opened_on_new_line = false;
    {
        cycle::Scope scope(b.w2);
        for (uint32_t i = b.w1; i < series::buffer(b.w2)->length(); i++) {
            if (part && limit <= 0) break;
            const Cell cell = cell_copy(b, i);
            const bool first = i == b.w1;
            if (!flat && has_flag(cell, cell_flag::new_line)) {
                if (first && !only) {
                    indent++;
                    opened_on_new_line = true;
                }
                if (!(only && first)) limit = put_text(*buffer, "\n", limit);
                limit = text_buffer::indent(*buffer, indent, limit);
            } else if (!first) {
                limit = put_text(*buffer, " ", limit);
            }
            limit = actions::call_mold(cell, *buffer, false, all, flat, part, limit, indent);
        }
    }
    if (opened_on_new_line) {
        limit = put_text(*buffer, "\n", limit);
        limit = text_buffer::indent(*buffer, indent - 1, limit);
    }
    return limit;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    if (cycle_marker::write(*value, *buffer, limit, true)) return limit;
    if (!only) limit = put_text(*buffer, "[", limit);
    limit = mold_items(value, buffer, only, all, flat, part, limit, indent);
    if (!only) limit = put_text(*buffer, "]", limit);
    return limit;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    if (cycle_marker::write(*value, *buffer, limit, false)) return limit;
    const Cell b = *value;
    cycle::Scope scope(b.w2);
    for (uint32_t i = b.w1; i < series::buffer(b.w2)->length(); i++) {
        if (part && limit <= 0) break;
        limit = actions::call_form(cell_copy(b, i), *buffer, part, limit);
        if (i + 1 < series::buffer(b.w2)->length() && !ends_in_break(*buffer)) limit = put_text(*buffer, " ", limit);
    }
    return limit;
}

// A path step: an integer picks or pokes; a word reads the value after it;
// other elements select, or set the cell after a found key.
Cell* eval_path(const actions::EvalPathArgs& args) {
    Cell& parent = *args.parent;
    const Cell element = *args.element;
    if (type_of(element) == TypeId::integer) {
        const int32_t n = get_int(element);
        if (!args.value) return stack::push(*series_type::pick(&parent, args.element, n));
        series_type::poke(&parent, args.element, n, args.value);
        return args.value;
    }
    if (!args.value) {
        if (type_of(element) == TypeId::word && type_of(parent) != TypeId::hash)
            return stack::push(*find_word(parent, element, args.case_sensitive));
        actions::FindArgs f;
        f.only = true;
        f.case_sensitive = args.case_sensitive;
        return stack::push(*select(&parent, args.element, f));
    }
    actions::FindArgs f;
    f.case_sensitive = args.case_sensitive;
    const Cell found = *find(&parent, args.element, f);
    if (type_of(found) == TypeId::none) error::fire(error::Id::bad_path_set, {args.path ? *args.path : none::value, element});
    Cell at = found;
    series_type::poke(&at, nullptr, 2, args.value);
    return args.value;
}

}  // namespace qor::block
