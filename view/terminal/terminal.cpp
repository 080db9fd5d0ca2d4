// The view's terminal mode on a VT terminal: termios raw input, the modes
// and cursor sequences, the window size and the print brackets.
#include "view/terminal/terminal.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>

#include "runtime/datatypes/object.h"
#include "runtime/output/output.h"
#include "runtime/platform/env_vars.h"
#include "runtime/platform/terminal_mode.h"
#include "runtime/platform/terminal_size.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "view/terminal/backend.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/frame_writer.h"
#include "view/terminal/screen.h"

namespace qor::tui {

namespace {

std::optional<platform::RawMode> raw_mode;

TerminalState& term() { return backend().terminal; }

// Around every console print while the mode is open: the area is erased
// first, and redrawn whole by the next frame.
void before_print() {
    TerminalState& t = term();
    if (!t.open) return;
    std::string out;
    erase_area(out);
    write_out(out);
    t.frame_drawn = false;
    backend().shown_valid = false;
    std::fflush(nullptr);
}

void after_print() {
    TerminalState& t = term();
    if (!t.open) return;
    t.dirty = true;
    if (!t.full_screen) t.ask_cursor = true;
}

// Tells the first screen face its size, as a pair.
void store_screen_size(int columns, int rows) {
    const Cell screens = view_field(Name::screens);
    if (type_of(screens) != TypeId::block || series_tail::cell_count(screens) == 0) return;
    const Cell screen = *series_tail::cell_at(screens, 0);
    if (type_of(screen) != TypeId::object) return;
    const int32_t i = context::find_word(screen.w1, symbol_of(Name::size), true);
    if (i < 0 || !context::values(screen.w1)) return;
    *context::value_cell_at(screen.w1, static_cast<uint32_t>(i)) =
        Cell{to_int(TypeId::pair), 0, static_cast<uint32_t>(columns), static_cast<uint32_t>(rows)};
}

// Reads what arrives on the terminal for a short while, until the cursor
// reports asked for have come, and drops it.
void drain_replies() {
    TerminalState& t = term();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (t.replies_awaited > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{t.in_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        uint8_t bytes[256];
        const ssize_t n = ::read(t.in_fd, bytes, sizeof bytes);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; i++)
            if (bytes[i] == 'R') t.replies_awaited--;
    }
    t.replies_awaited = 0;
    backend().input.clear();
}

}  // namespace

bool true_colour_terminal(std::string_view colorterm, std::string_view term_name) {
    if (colorterm.find("24bit") != std::string_view::npos || colorterm.find("truecolor") != std::string_view::npos)
        return true;
    return colorterm.find("256") == std::string_view::npos && term_name.find("256") == std::string_view::npos;
}

bool open_terminal() {
    TerminalState& t = term();
    if (t.open) return true;
    if (isatty(t.in_fd) != 1 || isatty(t.out_fd) != 1) return false;
    raw_mode.emplace(t.in_fd, true);
    if (!raw_mode->active()) {
        raw_mode.reset();
        return false;
    }
    platform::watch_terminal_size();
    t.open = true;
    t.true_colour = true_colour_terminal(platform::get_env("COLORTERM").value_or(""),
                                         platform::get_env("TERM").value_or(""));
    t.cursor_hidden = false;
    t.frame_drawn = false;
    t.lines_up = 0;
    backend().shown_valid = false;
    update_screen_size();
    if (!t.full_screen) t.ask_cursor = true;
    output::set_print_brackets(before_print, after_print);
    publish_restore_sequence();
    return true;
}

void close_terminal() {
    TerminalState& t = term();
    if (!t.open) return;
    std::string out;
    leave_area(out);
    if (backend().mouse_reporting) mouse_off(out);
    if (t.alternate_screen) leave_alternate_screen(out);
    show_cursor(out);
    write_out(out);
    drain_replies();
    output::set_print_brackets(nullptr, nullptr);
    platform::set_restore_sequence(t.out_fd, "", 0);
    raw_mode.reset();
    t.open = false;
    t.frame_drawn = false;
    backend().shown_valid = false;
}

void write_out(std::string_view bytes) {
    const int fd = term().out_fd;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // a terminal that cannot be written to loses the frame
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void set_mode(std::string& out, int mode) {
    out += "\x1B[?";
    out += std::to_string(mode);
    out += 'h';
}

void reset_mode(std::string& out, int mode) {
    out += "\x1B[?";
    out += std::to_string(mode);
    out += 'l';
}

void mouse_on(std::string& out) {
    for (int mode : {1000, 1003, 1015, 1006}) set_mode(out, mode);
}

void mouse_off(std::string& out) {
    for (int mode : {1000, 1003, 1015, 1006}) reset_mode(out, mode);
}

void hide_cursor(std::string& out) {
    if (term().cursor_hidden) return;
    reset_mode(out, 25);
    term().cursor_hidden = true;
}

void show_cursor(std::string& out) {
    if (!term().cursor_hidden) return;
    set_mode(out, 25);
    term().cursor_hidden = false;
}

void enter_alternate_screen(std::string& out) {
    set_mode(out, 1049);
    out += "\x1B[2J";
    term().alternate_screen = true;
}

void leave_alternate_screen(std::string& out) {
    reset_mode(out, 1049);
    term().alternate_screen = false;
}

// Erased to the end of the screen even when the area is one row high.
void erase_area(std::string& out) {
    TerminalState& t = term();
    if (!t.frame_drawn) return;
    out += '\r';
    if (t.lines_up > 0) append_csi(out, t.lines_up, 'A');
    out += "\x1B[0J";
    t.lines_up = 0;
}

// From the row the cursor is on (lines_up below the top) to the area's last
// row, then onto the line below it.
void leave_area(std::string& out) {
    TerminalState& t = term();
    if (!t.frame_drawn || t.alternate_screen) return;
    const int below = backend().shown.height() - 1 - t.lines_up;
    if (below > 0) append_csi(out, below, 'B');
    out += "\r\n";
}

void update_screen_size() {
    TerminalState& t = term();
    const auto size = platform::terminal_size();
    const int columns = size && size->columns > 0 ? size->columns : 80;
    const int rows = size && size->rows > 0 ? size->rows : 24;
    const bool changed = columns != t.columns || rows != t.rows;
    t.columns = columns;
    t.rows = rows;
    store_screen_size(columns, rows);
    if (!changed || !t.open) return;
    t.dirty = true;
    backend().shown_valid = false;
    // The windows may change while they hear of it: they are held by id.
    std::vector<uint32_t> windows;
    for (const Widget* root : backend().windows) windows.push_back(root->id);
    for (uint32_t id : windows) {
        Widget* root = find_widget(id);
        if (!root) continue;
        event::Record r;
        r.x = static_cast<float>(columns);
        r.y = static_cast<float>(rows);
        deliver(*root, event::Type::resize, r, 0);
    }
    if (t.full_screen) flush_screen();
}

void clamp_origin() {
    TerminalState& t = term();
    if (t.full_screen) {
        t.origin_row = t.origin_column = 0;
        return;
    }
    const int height = backend().grid.height();
    if (t.origin_row + height > t.rows) t.origin_row = std::max(0, t.rows - height);
}

void publish_restore_sequence() {
    TerminalState& t = term();
    std::string out;
    const bool hidden = t.cursor_hidden;
    const bool alternate = t.alternate_screen;
    leave_area(out);
    if (backend().mouse_reporting) mouse_off(out);
    if (alternate) reset_mode(out, 1049);
    if (hidden) set_mode(out, 25);
    platform::set_restore_sequence(t.out_fd, out.data(), out.size());
}

}  // namespace qor::tui
