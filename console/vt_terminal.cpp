// VT terminal I/O for the line editor.
#include "console/vt_terminal.h"

#include <algorithm>
#include <string>

#include "runtime/output/output.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/platform/terminal_input.h"
#include "runtime/platform/terminal_size.h"

namespace qor::console {

namespace {
// How long a terminal may take to answer the cursor-position query before
// the column is taken as 0.
constexpr int cursor_report_timeout_ms = 250;
}

VtTerminal::VtTerminal() : decoder_(*this) {
    platform::watch_terminal_size();
    update_width();
}

void VtTerminal::update_width() {
    auto size = platform::terminal_size();
    width_ = size ? size->columns : 80;
}

int VtTerminal::next_byte(int timeout_ms) {
    if (!typed_ahead_.empty()) {
        int b = typed_ahead_.front();
        typed_ahead_.pop_front();
        return b;
    }
    return platform::read_byte_within(0, timeout_ms);
}

int32_t VtTerminal::read_key() {
    for (;;) {
        int32_t key = decoder_.read_key();
        if (platform::take_size_change()) update_width();
        if (key != key::resized) return key;
    }
}

void VtTerminal::write(std::string_view utf8) {
    output::flush();
    platform::write_stdout(utf8);
}

// Asks the terminal where its cursor is (ESC [ 6 n, answered by
// ESC [ row ; column R). Keys typed meanwhile are kept for read_key.
int VtTerminal::cursor_column() {
    if (!platform::stdout_is_terminal()) return 0;
    write("\x1B[6n");
    std::string report;  // bytes that may still be the start of the answer
    auto keep_typed = [&](size_t count) {
        for (size_t i = 0; i < count; ++i) typed_ahead_.push_back(static_cast<uint8_t>(report[i]));
        report.erase(0, count);
    };
    for (;;) {
        int b = platform::read_byte_within(0, cursor_report_timeout_ms);
        if (b == platform::input_interrupted) continue;
        if (b < 0) break;
        char c = static_cast<char>(b);
        if (c == '\x1B') keep_typed(report.size());  // a new sequence starts here
        report.push_back(c);
        if (report[0] != '\x1B') {
            keep_typed(report.size());
            continue;
        }
        if (report.size() == 2 && c != '[') {
            keep_typed(report.size());
        } else if (report.size() > 2 && c == 'R') {
            size_t semicolon = report.find(';');
            if (semicolon != std::string::npos && semicolon + 1 < report.size() - 1) {
                int column = 0;
                for (size_t i = semicolon + 1; i + 1 < report.size(); ++i)
                    column = std::min(column * 10 + (report[i] - '0'), 100000);
                return column > 0 ? column - 1 : 0;
            }
            keep_typed(report.size());
        } else if (report.size() > 2 && !((c >= '0' && c <= '9') || c == ';')) {
            keep_typed(report.size());
        } else if (report.size() > 24) {
            keep_typed(report.size());
        }
    }
    keep_typed(report.size());
    return 0;
}

}  // namespace qor::console
