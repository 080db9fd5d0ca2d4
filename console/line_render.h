// Lays out editor text on terminal rows: how many cells a run of text
// takes when it starts with a given room on its first row, and the bytes
// that show it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qor::console {

// Cells a character takes as the editor shows it: a tab is four spaces,
// wide characters two, combining marks none.
[[nodiscard]] int shown_width(char32_t c);

// Appends the text to `out` as UTF-8 and answers the cells it uses,
// counting from the first row's start, which has `first_room` cells left of
// `width`. A tab shows as four spaces; an escape sequence (ESC, then "[" or
// "(" with digits and ";" up to one final character) is written whole and
// takes no cells; a wide character that would start in a row's last cell
// moves to the next row, and the skipped cell counts as used. With `hidden`
// each character shows as one "*".
int render_segment(std::u32string_view text, int first_room, int width, bool hidden,
                   std::string& out);

// Appends the UTF-8 form of a code point (U+FFFD for one that has none).
void append_utf8(std::string& out, char32_t c);

}  // namespace qor::console
