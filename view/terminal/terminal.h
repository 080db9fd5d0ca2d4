// The view's terminal mode: raw key and mouse input, the escape sequences
// the engine writes besides colours, the window's size, and the print
// brackets through which every console print first erases the drawn area
// and afterwards has it redrawn.
//
// The mode is open only while the outermost event loop runs, and only when
// standard input and output are both terminals: scripts and pipes never
// see it. Every way out of the process (quit, a fatal signal, Ctrl-C, which
// keeps interrupting) hands the terminal back: raw mode off, mouse reporting
// off, the cursor shown, the main screen, the cursor below the drawn area.
#pragma once

#include <string>
#include <string_view>

namespace qor::tui {

// Opens the mode when the terminal's input and output are terminals; the
// first frame then asks for the cursor position (unless full-screen).
// Answers whether the mode is open.
bool open_terminal();

// Leaves the drawn area, switches mouse reporting off, leaves the alternate
// screen, shows the cursor and puts the terminal's mode back; input still
// pending (a cursor report on its way) is read and dropped.
void close_terminal();

// Writes the bytes at once to the terminal, over partial writes and
// interrupted calls.
void write_out(std::string_view bytes);

// The sequences, appended to a frame or written on their own.
void set_mode(std::string& out, int mode);     // "\e[?%dh"
void reset_mode(std::string& out, int mode);   // "\e[?%dl"
void mouse_on(std::string& out);               // modes 1000, 1003, 1015, 1006
void mouse_off(std::string& out);
void hide_cursor(std::string& out);            // when shown
void show_cursor(std::string& out);            // when hidden
void enter_alternate_screen(std::string& out); // mode 1049, then "\e[2J"
void leave_alternate_screen(std::string& out);

// The erase before a print: back to the area's top, cleared to the end of
// the screen. Appends nothing when no frame is on the terminal.
void erase_area(std::string& out);

// Leaving the drawn area for good: the cursor goes to the line below it.
void leave_area(std::string& out);

// Reads the window's size (80 x 24 when it cannot be read), and when it
// changed while the mode is open, tells every window.
void update_screen_size();

// Keeps the drawn area's origin on the screen: at the home of the alternate
// screen, else no lower than the screen leaves room for the grid.
void clamp_origin();

// Refreshes what the process writes on its way out if it ends while the
// mode is open.
void publish_restore_sequence();

// The colour depth a terminal with these variables shows: true colour unless
// COLORTERM or TERM asks for 256 colours (COLORTERM naming 24bit or
// truecolor wins).
[[nodiscard]] bool true_colour_terminal(std::string_view colorterm, std::string_view term);

}  // namespace qor::tui
