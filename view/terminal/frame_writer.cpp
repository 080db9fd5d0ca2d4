// The frame writer: SGR codes for colours and attributes, and one frame of
// the grid with its cursor movements.
#include "view/terminal/frame_writer.h"

#include <array>
#include <charconv>

#include "runtime/unicode/utf8.h"

namespace qor::tui {

namespace {

void append_number(std::string& out, int64_t n) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    (void)ec;
    out.append(digits, end);
}

void append_utf8(std::string& out, uint32_t c) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(utf8::encode_char(c, bytes)));
}

// The SGR codes of a basic slot: foreground, background.
constexpr std::array<std::array<int, 2>, 18> basic_codes = {{
    {30, 40}, {31, 41}, {32, 42}, {33, 43}, {34, 44}, {35, 45}, {36, 46}, {37, 47}, {0, 0}, {39, 49},
    {90, 100}, {91, 101}, {92, 102}, {93, 103}, {94, 104}, {95, 105}, {96, 106}, {97, 107},
}};

struct AttributeCode {
    uint32_t bit;
    int on;
    int off;
};
// In the order they are compared. Bold and dim share their off code.
constexpr std::array<AttributeCode, 6> attribute_codes = {{
    {attr::dim, 2, 22}, {attr::reverse, 7, 27}, {attr::bold, 1, 22},
    {attr::italic, 3, 23}, {attr::strike, 9, 29}, {attr::underline, 4, 24},
}};

constexpr uint32_t intensity = attr::bold | attr::dim;

void append_sgr(std::string& out, int code) { append_csi(out, code, 'm'); }

bool caret_in(const CellGrid& g, const FramePlacement& p) {
    return p.show_caret && p.caret_column >= 0 && p.caret_row >= 0 && p.caret_column < g.width() &&
           p.caret_row < g.height();
}

}  // namespace

void append_csi(std::string& out, int64_t n, char final) {
    out += "\x1B[";
    append_number(out, n);
    out += final;
}

uint32_t visible_char(uint32_t c) {
    if (c == 0) return ' ';
    if (c < 0x20) return 0x2400 + c;  // the control pictures: TAB as U+2409, ESC as U+241B
    if (c == 0x7F) return 0x2421;
    if ((c >= 0x80 && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0xFFFD;
    return c;
}

void vt_color(std::string& out, uint32_t c, bool foreground, bool true_colour) {
    c = at_depth(c, true_colour);
    out += "\x1B[";
    switch (colour::kind(c)) {
        case colour::kind_default: out += foreground ? "39" : "49"; break;
        case colour::kind_basic: {
            const uint32_t slot = c & 0xFF;
            append_number(out, slot < basic_codes.size() ? basic_codes[slot][foreground ? 0 : 1] : 0);
            break;
        }
        case colour::kind_palette:
            out += foreground ? "38;5;" : "48;5;";
            append_number(out, c & 0xFF);
            break;
        case colour::kind_rgb:
            out += foreground ? "38;2;" : "48;2;";
            append_number(out, c >> 16 & 0xFF);
            out += ';';
            append_number(out, c >> 8 & 0xFF);
            out += ';';
            append_number(out, c & 0xFF);
            break;
        default: out += '0'; break;
    }
    out += 'm';
}

// Bold and dim are switched off together by code 22, so when either goes
// off, 22 comes first and the one the cell keeps is switched on again.
Style sgr_attributes(std::string& out, Style running, const GridCell& cell, bool true_colour) {
    const uint32_t had = running.attrs;
    const uint32_t wants = cell.attrs;
    const bool intensity_off = (had & intensity & ~wants) != 0;
    bool off_written = false;
    for (const AttributeCode& a : attribute_codes) {
        const bool on = (wants & a.bit) != 0;
        if ((a.bit & intensity) != 0) {
            if (intensity_off && !off_written) {
                append_sgr(out, 22);
                off_written = true;
            }
            if (on && (intensity_off || (had & a.bit) == 0)) append_sgr(out, a.on);
            continue;
        }
        if (on != ((had & a.bit) != 0)) append_sgr(out, on ? a.on : a.off);
    }
    if (cell.fg != running.fg) vt_color(out, cell.fg, true, true_colour);
    if (cell.bg != running.bg) vt_color(out, cell.bg, false, true_colour);
    return Style{cell.bg, cell.fg, cell.attrs};
}

void write_frame(std::string& out, const CellGrid& grid, FramePlacement& p) {
    const int width = grid.width();
    const int height = grid.height();
    if (width < 1 || height < 1) return;
    if (p.full_screen) {
        out += "\x1B[H";
    } else {
        out += '\r';
        if (p.lines_up > 0) append_csi(out, p.lines_up, 'A');
        out += "\x1B[0J";
    }
    Style running;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const GridCell& cell = grid.at(x, y);
            if (cell.attrs & attr::continuation) continue;
            running = sgr_attributes(out, running, cell, p.true_colour);
            append_utf8(out, (cell.attrs & attr::masked) ? '*' : visible_char(cell.ch));
        }
        if (y + 1 < height) {
            // The line break paints nothing: the background is reset first.
            running.bg = 0;
            out += "\x1B[49m\r\n";
        }
    }
    running = sgr_attributes(out, running, GridCell{}, p.true_colour);
    if (caret_in(grid, p)) {
        out += '\r';
        if (height - p.caret_row - 1 > 0) append_csi(out, height - p.caret_row - 1, 'A');
        if (p.caret_column > 0) append_csi(out, p.caret_column, 'C');
        p.lines_up = p.caret_row;
    } else {
        p.lines_up = height - 1;
    }
}

namespace {

// The cursor of a frame of changes, relative to the area. The column is
// unknown (-1) at the start and after a write that reached the terminal's
// last column (the terminal then waits to wrap).
struct Cursor {
    int column = -1;
    int row = 0;
};

void move_to(std::string& out, Cursor& at, int column, int row) {
    if (row > at.row) append_csi(out, row - at.row, 'B');
    if (row < at.row) append_csi(out, at.row - row, 'A');
    at.row = row;
    if (column == at.column) return;
    if (at.column >= 0 && column > at.column) {
        append_csi(out, column - at.column, 'C');
    } else {
        out += '\r';
        if (column > 0) append_csi(out, column, 'C');
    }
    at.column = column;
}

bool is_continuation(const CellGrid& g, int x, int y) {
    return g.contains(x, y) && (g.at(x, y).attrs & attr::continuation) != 0;
}

// Unchanged cells up to this many are written through rather than skipped
// with a cursor move, which costs about as much.
constexpr int max_gap = 6;

}  // namespace

void write_changes(std::string& out, const CellGrid& grid, const CellGrid& shown, FramePlacement& p) {
    const int width = grid.width();
    const int height = grid.height();
    if (width < 1 || height < 1) return;
    Cursor at;
    if (p.full_screen) {
        out += "\x1B[H";
        at.column = 0;
    } else {
        at.row = p.lines_up;
    }
    Style running;
    for (int y = 0; y < height; y++) {
        int x = 0;
        while (x < width) {
            if (grid.at(x, y) == shown.at(x, y)) {
                x++;
                continue;
            }
            // A run of changes: from the start of a wide character, through
            // gaps of a few unchanged cells, to the end of a wide one.
            int start = x;
            if (start > 0 && (is_continuation(grid, start, y) || is_continuation(shown, start, y))) start--;
            int end = x;
            for (int gap = 0; x < width && gap <= max_gap; x++) {
                if (grid.at(x, y) == shown.at(x, y)) {
                    gap++;
                } else {
                    gap = 0;
                    end = x;
                }
            }
            while (is_continuation(grid, end + 1, y) || is_continuation(shown, end + 1, y)) end++;
            x = end + 1;
            move_to(out, at, start, y);
            for (int c = start; c <= end; c++) {
                const GridCell& cell = grid.at(c, y);
                if (cell.attrs & attr::continuation) continue;
                running = sgr_attributes(out, running, cell, p.true_colour);
                append_utf8(out, (cell.attrs & attr::masked) ? '*' : visible_char(cell.ch));
            }
            at.column = end + 1 >= p.columns ? -1 : end + 1;
        }
    }
    running = sgr_attributes(out, running, GridCell{}, p.true_colour);
    if (caret_in(grid, p)) move_to(out, at, p.caret_column, p.caret_row);
    p.lines_up = at.row;
}

}  // namespace qor::tui
