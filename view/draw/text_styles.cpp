// Styled characters of rich text and the style ranges applied to them.
#include "view/draw/text_styles.h"

#include <algorithm>

#include "runtime/datatypes/pair.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/unicode/string_units.h"
#include "view/draw/keywords.h"

namespace qor::draw {

namespace {

// The cells of the range, cut at the end of the run; empty when the range
// lies outside it.
std::span<tui::GridCell> range_of(std::span<tui::GridCell> cells, int64_t start, int64_t length) {
    const auto n = static_cast<int64_t>(cells.size());
    const int64_t from = std::clamp<int64_t>(start, 0, n);
    const int64_t to = std::clamp<int64_t>(length > 0 ? start + length : start, from, n);
    return cells.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from));
}

// A colour value: a tuple!, or a word whose value is one; false otherwise.
bool colour_value(const Cell& v, Cell& out) {
    if (type_of(v) == TypeId::tuple) {
        out = v;
        return true;
    }
    return type_of(v) == TypeId::word && keyword_of(v) == Kw::none_ && value_of_word(v, out) &&
           type_of(out) == TypeId::tuple;
}

// After a style word: an optional colour or lit-word, which is read over.
uint32_t skip_style_option(const Cell& data, uint32_t i, uint32_t n) {
    if (i >= n) return i;
    const Cell& v = *series_tail::cell_at(data, i);
    Cell colour;
    if (type_of(v) == TypeId::lit_word || colour_value(v, colour)) return i + 1;
    return i;
}

}  // namespace

void style_foreground(std::span<tui::GridCell> cells, int64_t start, int64_t length, uint32_t colour) {
    for (tui::GridCell& c : range_of(cells, start, length)) c.fg = colour;
}

void style_background(std::span<tui::GridCell> cells, int64_t start, int64_t length, uint32_t colour) {
    for (tui::GridCell& c : range_of(cells, start, length)) c.bg = colour;
}

void style_attribute(std::span<tui::GridCell> cells, int64_t start, int64_t length, uint32_t bit) {
    for (tui::GridCell& c : range_of(cells, start, length)) c.attrs |= bit;
}

void apply_text_styles(std::span<tui::GridCell> cells, const Cell& data, Colours& colours) {
    if (type_of(data) != TypeId::block) return;
    refresh_keywords();
    const uint32_t n = series_tail::cell_count(data);
    bool have_range = false;
    int64_t start = 0, length = 0;
    for (uint32_t i = 0; i < n;) {
        const Cell v = *series_tail::cell_at(data, i++);
        if (type_of(v) == TypeId::pair) {
            have_range = true;
            start = int64_t{pair::x(v)} - 1;
            length = pair::y(v);
            continue;
        }
        if (!have_range) continue;
        Cell colour;
        switch (keyword_of(v)) {
            case Kw::bold: style_attribute(cells, start, length, tui::attr::bold); i = skip_style_option(data, i, n); break;
            case Kw::italic: style_attribute(cells, start, length, tui::attr::italic); i = skip_style_option(data, i, n); break;
            case Kw::underline:
                style_attribute(cells, start, length, tui::attr::underline);
                i = skip_style_option(data, i, n);
                break;
            case Kw::strike: style_attribute(cells, start, length, tui::attr::strike); i = skip_style_option(data, i, n); break;
            case Kw::backdrop:
                if (i < n && colour_value(*series_tail::cell_at(data, i), colour)) {
                    style_background(cells, start, length, colours.of_tuple(colour));
                    i++;
                }
                break;
            default:
                if (colour_value(v, colour)) style_foreground(cells, start, length, colours.of_tuple(colour));
                break;  // border, fonts and anything else change nothing
        }
    }
}

void text_cells(const Cell& text, uint32_t fg, uint32_t bg, std::vector<tui::GridCell>& out) {
    out.clear();
    if (!is_any_string(type_of(text))) return;
    const series::Buffer* b = series::buffer(text.w2);
    if (text.w1 >= b->length()) return;
    const uint32_t unit = b->unit();
    const uint8_t* p = b->at(text.w1);
    const uint32_t count = b->length() - text.w1;
    out.reserve(count);
    for (uint32_t i = 0; i < count; i++) out.push_back(tui::GridCell{units::read_unit(p + size_t{i} * unit, unit), bg, fg, 0});
}

}  // namespace qor::draw
