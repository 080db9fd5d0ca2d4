// How the console reads a line: the line editor when standard input is a
// terminal, plain lines when it is a pipe or a file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "console/history.h"
#include "console/line_editor.h"
#include "console/piped_input.h"

namespace qor::console {

class VtTerminal;

struct ScreenSize {
    int columns;
    int rows;
};

// The console's size in character cells: the terminal's when standard input
// is one and its size is known, else 80x50.
[[nodiscard]] ScreenSize screen_size();

class ConsoleInput {
public:
    ConsoleInput();
    ~ConsoleInput();

    // Standard input is a terminal (decided once, at construction).
    [[nodiscard]] bool is_console() const { return terminal_ != nullptr || plain_terminal_; }

    void set_completer(Completer completer);

    // Appends the next line to `line`. On a terminal: raw mode for the
    // edit, the prompt and the editing, then a line feed; on a terminal
    // whose TERM is "dumb", the prompt and a line the terminal itself
    // echoes and edits (nothing that moves the cursor is sent). From a pipe:
    // no prompt and no echo. Answers false when the input has ended.
    bool read_line(std::u32string_view prompt, bool hidden, std::u32string& line, History& history);

    // The terminal width (80 with no terminal).
    [[nodiscard]] int width() const;

    // Bytes of standard input read raw, after what line reading fetched ahead.
    [[nodiscard]] PipedInput& piped() { return piped_; }

private:
    bool read_plain_line(std::u32string_view prompt, bool hidden, std::u32string& line, History& history);

    bool plain_terminal_ = false;  // a terminal with TERM=dumb
    std::unique_ptr<VtTerminal> terminal_;
    std::unique_ptr<LineEditor> editor_;
    PipedInput piped_;
};

}  // namespace qor::console
