// The words the draw dialect and the rich-text styles know: command
// keywords, argument keywords, and the face fields they read.
//
// Their symbols are interned at the start of each run (`refresh`), so that
// matching a word is one lookup of its case-folded symbol, and a run that
// starts after the symbol table was made anew still matches.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::draw {

enum class Kw : uint8_t {
    none_,  // not a keyword
    // commands
    pen, fill_pen, box, line, line_width, line_join, line_cap, line_pattern, triangle, polygon, circle,
    ellipse, anti_alias, font, text, arc, curve, spline, image, clip, shape, rotate, scale, translate, skew,
    transform, push, matrix, reset_matrix, invert_matrix,
    // argument words
    off, on, linear, radial, diamond, pattern, bitmap, pad, repeat, reflect, tile, flip_x, flip_y, flip_xy,
    clamp, closed, border, crop, shadow, inset, replace, intersect, union_, xor_, exclude, miter, bevel,
    miter_bevel, round, flat, square,
    // shape sub-dialect
    move, hline, vline, curv, qcurve, qcurv, close, sweep, large,
    // rich-text styles
    bold, italic, underline, strike, backdrop,
    // face fields
    type, rich_text, data, color, size, para, state,
    count_
};

// Interns every keyword (the first run after the symbol table was made anew
// rebuilds the table). Allocates only when a spelling is new.
void refresh_keywords();

// The keyword of a word of any kind (by its case-folded symbol), or none_.
[[nodiscard]] Kw keyword_of(const Cell& word);

// The symbol of a keyword.
[[nodiscard]] uint32_t symbol_of(Kw kw);

// The value of a word into `out`; false when the word is unbound or its
// value is unset.
[[nodiscard]] bool value_of_word(const Cell& word, Cell& out);

// The value of an object's field named by the keyword, or none.
[[nodiscard]] Cell field_of(const Cell& object, Kw name);

}  // namespace qor::draw
