// Line input for the console.
#include "console/console_input.h"

#include "console/vt_terminal.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/platform/terminal_mode.h"
#include "runtime/platform/terminal_size.h"

namespace qor::console {

ScreenSize screen_size() {
    if (platform::stdin_is_terminal()) {
        if (auto size = platform::terminal_size()) return {size->columns, size->rows};
    }
    return {80, 50};
}

ConsoleInput::ConsoleInput() : piped_(0) {
    if (platform::stdin_is_terminal()) {
        terminal_ = std::make_unique<VtTerminal>();
        editor_ = std::make_unique<LineEditor>(*terminal_);
    }
}

ConsoleInput::~ConsoleInput() = default;

void ConsoleInput::set_completer(Completer completer) {
    if (editor_) editor_->set_completer(std::move(completer));
}

int ConsoleInput::width() const { return terminal_ ? terminal_->width() : 80; }

bool ConsoleInput::read_line(std::u32string_view prompt, bool hidden, std::u32string& line,
                             History& history) {
    if (!terminal_) {
        piped_.read_line(line);
        return !(piped_.ended() && line.empty());
    }
    terminal_->update_width();
    {
        platform::RawMode raw(0);
        editor_->edit(prompt, line, history, hidden);
    }
    terminal_->write("\n");
    return true;
}

}  // namespace qor::console
