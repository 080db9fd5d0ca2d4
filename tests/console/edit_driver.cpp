// Reads lines with the console's line input until "q" or the end of the
// input, and prints each one in brackets, so a test in a real terminal can
// see what the editor returned. History is kept across lines.
#include <string>

#include "console/console_input.h"
#include "console/history.h"
#include "console/line_render.h"
#include "runtime/platform/fault_signals.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/platform/terminal_title.h"

int main(int argc, char** argv) {
    using namespace qor;
    platform::install_fault_handlers(nullptr, nullptr);
    platform::set_terminal_title("edit driver");
    bool hidden = argc > 1 && std::string(argv[1]) == "--hidden";
    console::ConsoleInput input;
    console::HistoryList history;
    console::ScreenSize size = console::screen_size();
    platform::write_stdout("size " + std::to_string(size.columns) + "x" + std::to_string(size.rows) + "\n");
    for (;;) {
        std::u32string line;
        if (!input.read_line(U">> ", hidden, line, history)) break;
        std::string shown = "[";
        // An escape character is shown as ^[ so the terminal does not act on it.
        for (char32_t c : line) {
            if (c == 0x1B) shown += "^[";
            else console::append_utf8(shown, c);
        }
        shown += "]\n";
        platform::write_stdout(shown);
        if (line == U"q") break;
    }
    platform::write_stdout("bye\n");
    return 0;
}
