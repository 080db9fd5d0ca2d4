// Line input for the console.
#include "console/console_input.h"

#include <cstdlib>
#include <cstring>

#include "console/vt_terminal.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/platform/terminal_mode.h"
#include "runtime/platform/terminal_size.h"
#include "runtime/unicode/utf8.h"

namespace qor::console {

ScreenSize screen_size() {
    if (platform::stdin_is_terminal()) {
        if (auto size = platform::terminal_size()) return {size->columns, size->rows};
    }
    return {80, 50};
}

namespace {

bool dumb_terminal() {
    const char* term = std::getenv("TERM");
    return term != nullptr && std::strcmp(term, "dumb") == 0;
}

}  // namespace

ConsoleInput::ConsoleInput() : piped_(0) {
    if (!platform::stdin_is_terminal()) return;
    if (dumb_terminal()) {
        plain_terminal_ = true;
        return;
    }
    terminal_ = std::make_unique<VtTerminal>();
    editor_ = std::make_unique<LineEditor>(*terminal_);
}

ConsoleInput::~ConsoleInput() = default;

void ConsoleInput::set_completer(Completer completer) {
    if (editor_) editor_->set_completer(std::move(completer));
}

int ConsoleInput::width() const { return terminal_ ? terminal_->width() : 80; }

bool ConsoleInput::read_line(std::u32string_view prompt, bool hidden, std::u32string& line,
                             History& history) {
    if (plain_terminal_) return read_plain_line(prompt, hidden, line, history);
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

// A terminal that takes no cursor control: the prompt, then the line as the
// terminal's own line discipline edits it. The end of the input (Ctrl-D on
// an empty line) gives "q" once, as in the editor; the history is kept by
// the editor's rules.
bool ConsoleInput::read_plain_line(std::u32string_view prompt, bool hidden, std::u32string& line,
                                   History& history) {
    if (piped_.ended()) return false;
    std::string text;
    uint8_t bytes[4];
    for (char32_t c : prompt) text.append(reinterpret_cast<char*>(bytes), static_cast<size_t>(utf8::encode_char(c, bytes)));
    platform::write_stdout(text);
    piped_.read_line(line);
    if (piped_.ended() && line.empty()) {
        line.assign(1, U'q');
        platform::write_stdout("\n");
        return true;
    }
    if (!hidden && !line.empty() && (history.size() == 0 || history.entry(0) != line)) history.add_newest(line);
    return true;
}

}  // namespace qor::console
