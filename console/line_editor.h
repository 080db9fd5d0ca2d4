// The terminal line editor: reads one line with the cursor and editing
// keys, browses the history, completes with Tab and reads hidden input. It
// redraws the prompt and the line over as many rows as they take, moving
// the terminal cursor with VT sequences relative to where the prompt
// starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/history.h"

namespace qor::console {

// What the editor needs of the terminal.
class EditorTerminal {
public:
    virtual ~EditorTerminal() = default;
    // The next key code (console/key_codes.h); never key::resized.
    virtual int32_t read_key() = 0;
    // Columns of the terminal, at least 1.
    virtual int width() = 0;
    // The column at which the prompt is about to be drawn (0 when unknown).
    virtual int cursor_column() = 0;
    virtual void write(std::string_view utf8) = 0;
};

// A completion: the line with the word completed and the cursor after it.
struct Completion {
    std::u32string line;
    size_t cursor = 0;
};

// Given the line and the cursor, answers nothing (no completion), one
// completion, or the partly completed line followed by the candidates
// (whose lines are shown and whose cursors are unused).
using Completer = std::function<std::vector<Completion>(const std::u32string& line, size_t cursor)>;

class LineEditor {
public:
    explicit LineEditor(EditorTerminal& terminal) : term_(terminal) {}

    void set_completer(Completer completer) { completer_ = std::move(completer); }

    // Edits `line` (normally empty) after `prompt` until Enter, Ctrl-C,
    // Ctrl-D on an empty line, Esc, a Tab that lists several candidates, or
    // the end of the input. Ctrl-C, Ctrl-D and the end of input leave "q";
    // Esc leaves the line with an escape character appended. The terminal
    // cursor ends at the start of the text's last row.
    void edit(std::u32string_view prompt, std::u32string& line, History& history, bool hidden);

    // The cursor position within the line when the edit ended.
    [[nodiscard]] size_t cursor() const { return cursor_; }

private:
    enum class Step { go_on, done };

    Step on_key(int32_t key);
    void insert_char(char32_t c);
    void fetch_history(size_t i);
    void add_history();
    size_t complete();
    void refresh();
    void move_to_row(int row);
    void place_cursor(int offset, int total);
    void move_to_last_row();

    EditorTerminal& term_;
    Completer completer_;

    // Per edit.
    std::u32string prompt_;
    std::u32string* line_ = nullptr;
    History* history_ = nullptr;
    size_t cursor_ = 0;
    bool hidden_ = false;
    long hist_index_ = -1;
    size_t hist_count_ = 0;
    int width_ = 80;

    // Carried over to the next edit after a Tab that listed candidates.
    std::u32string saved_line_;
    size_t saved_cursor_ = 0;

    // Screen state, rows counted from the prompt's first row.
    bool first_refresh_ = true;
    bool redraw_ = true;
    bool echoed_ = false;  // a character was written straight after the line
    int origin_column_ = 0;
    int cursor_row_ = 0;   // the row the terminal cursor is on
    int total_ = 0;        // cells from the prompt's row start to the text's end
    std::string out_;
};

}  // namespace qor::console
