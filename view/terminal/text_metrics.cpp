// Text metrics in character cells.
#include "view/terminal/text_metrics.h"

#include <algorithm>
#include <climits>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/char_width.h"

namespace qor::tui {

namespace {

Cell point_cell(int32_t x, int32_t y) {
    Cell c{};
    point::make2d_at(c, static_cast<float>(x), static_cast<float>(y));
    return c;
}

Cell integer_cell(int32_t n) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(n), 0}; }

// Truncated coordinates of a pair or a point; (0, 0) for anything else.
void coordinates(const Cell& v, int32_t& x, int32_t& y) {
    x = y = 0;
    if (type_of(v) == TypeId::pair) {
        x = pair::x(v);
        y = pair::y(v);
    } else if (type_of(v) == TypeId::point2d) {
        const auto clamp = [](float f) {
            return f >= 2147483647.0f ? INT32_MAX : f <= -2147483648.0f ? INT32_MIN : static_cast<int32_t>(f);
        };
        x = clamp(point::coordinate(v, 0));
        y = clamp(point::coordinate(v, 1));
    }
}

// The text from its index, a character at a time.
struct Chars {
    const Cell& text;
    uint32_t count;
    explicit Chars(const Cell& t) : text(t), count(str::length_at(t)) {}
    [[nodiscard]] uint32_t operator[](uint32_t i) const { return str::char_at(text, i); }
};

int width_of_char(uint32_t c) { return std::max(0, unicode::char_width(c)); }

// Caret index to the cell where the character at that index starts
// (lower: the row below it).
Cell caret_position(const Chars& t, int32_t limit, int32_t index, bool lower) {
    int64_t column = 0, row = 0, last = 0;
    const uint32_t end = index <= 0 ? 0 : std::min<uint32_t>(static_cast<uint32_t>(index), t.count);
    for (uint32_t i = 0; i < end; i++) {
        const uint32_t c = t[i];
        if (c == '\n') {
            row++;
            column = last = 0;
            continue;
        }
        last = width_of_char(c);
        column += last;
        // The character that passed the width starts the next row.
        if (column > limit) {
            row++;
            column = last;
        }
    }
    if (lower) return point_cell(static_cast<int32_t>(column), static_cast<int32_t>(row + 1));
    return point_cell(static_cast<int32_t>(column - last), static_cast<int32_t>(row));
}

// A cell position to the 1-based index of the character there.
Cell caret_index(const Chars& t, int32_t limit, const Cell& position, bool char_index) {
    int32_t x = 0, y = 0;
    coordinates(position, x, y);
    uint32_t i = 0;
    int64_t row = 0, column = 0;
    while (i < t.count && row < y) {
        const uint32_t c = t[i];
        if (c == '\n') {
            row++;
            column = 0;
            i++;
        } else if (column >= limit) {
            row++;
            column = 0;
        } else {
            column += width_of_char(c);
            i++;
        }
    }
    while (i < t.count && column < x) {
        const uint32_t c = t[i];
        if (c == '\n' || column >= limit) break;
        column += width_of_char(c);
        i++;
    }
    const int64_t index = i + 1;
    return integer_cell(static_cast<int32_t>(char_index && i >= t.count ? index - 1 : index));
}

struct Extent {
    int64_t widest = 0;
    int64_t lines = 1;
};

Extent extent(const Chars& t, int32_t limit) {
    Extent e;
    int64_t column = 0;
    for (uint32_t i = 0; i < t.count; i++) {
        const uint32_t c = t[i];
        if (c == '\n') {
            e.lines++;
            column = 0;
            continue;
        }
        const int w = width_of_char(c);
        if (column > 0 && column + w > limit) {
            e.lines++;
            column = 0;
        }
        column += w;
        e.widest = std::max(e.widest, column);
    }
    return e;
}

}  // namespace

int32_t width_limit(const Cell& size) {
    int32_t x = 0, y = 0;
    if (type_of(size) != TypeId::pair && type_of(size) != TypeId::point2d) return INT32_MAX;
    coordinates(size, x, y);
    return x;
}

Cell text_box_metrics(const Cell& text, const Cell& size, const Cell& arg, int32_t type) {
    const Chars t(text);
    const int32_t limit = width_limit(size);
    switch (type) {
        case metric::caret_to_position:
        case metric::caret_lower_edge:
            return caret_position(t, limit, type_of(arg) == TypeId::integer ? get_int(arg) : 0,
                                  type == metric::caret_lower_edge);
        case metric::position_to_caret:
        case metric::position_to_char: return caret_index(t, limit, arg, type == metric::position_to_char);
        case metric::line_height: {
            Cell c{};
            float_::make_at(c, 1.0);
            return c;
        }
        case metric::text_size: {
            const Extent e = extent(t, limit);
            return point_cell(static_cast<int32_t>(std::min<int64_t>(e.widest, INT32_MAX)),
                              static_cast<int32_t>(std::min<int64_t>(e.lines, INT32_MAX)));
        }
        case metric::line_count:
            return integer_cell(static_cast<int32_t>(std::min<int64_t>(extent(t, limit).lines, INT32_MAX)));
        default: return none::value;
    }
}

}  // namespace qor::tui
