// Row layout of the editor's prompt and line.
#include "console/line_render.h"

#include "runtime/unicode/char_width.h"

namespace qor::console {

namespace {

constexpr int tab_spaces = 4;

// Pictographs that terminals draw two cells wide whatever their East Asian
// width says.
bool is_pictograph(char32_t c) { return c >= 0x1F300 && c <= 0x1F5FF; }

}  // namespace

int shown_width(char32_t c) {
    if (c == '\t') return tab_spaces;
    if (is_pictograph(c)) return 2;
    return unicode::char_width(c);
}

void append_utf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int render_segment(std::u32string_view text, int first_room, int width, bool hidden,
                   std::string& out) {
    if (width < 1) width = 1;
    int total = 0;
    int room = first_room > 0 ? first_room : width;
    int used = 0;
    // Adds a character of `cells` cells to the current row, moving to the
    // next row first when the row is full, or when a wide character would
    // get only the row's last cell (that cell stays empty and counts).
    auto place = [&](int cells) {
        if (used >= room) {
            total += used;
            used = 0;
            room = width;
        }
        if (cells == 2 && room - used == 1) {
            total += used + 1;
            used = 0;
            room = width;
        }
        used += cells;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (hidden) {
            out += '*';
            place(1);
        } else if (c == '\t') {
            for (int s = 0; s < tab_spaces; ++s) {
                out += ' ';
                place(1);
            }
        } else if (c == 0x1B) {
            // An escape sequence passes through and takes no cells.
            out += '\x1B';
            if (i + 1 < text.size() && (text[i + 1] == '[' || text[i + 1] == '(')) {
                append_utf8(out, text[++i]);
                while (i + 1 < text.size()) {
                    char32_t s = text[++i];
                    append_utf8(out, s);
                    if (!((s >= '0' && s <= '9') || s == ';')) break;
                }
            }
        } else {
            append_utf8(out, c);
            int cells = shown_width(c);
            if (cells > 0) place(cells);
        }
    }
    return total + used;
}

}  // namespace qor::console
