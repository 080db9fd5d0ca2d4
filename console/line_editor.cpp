// Line editing: the keys, the history, completion and the redraw.
//
// The redraw never asks the terminal where its cursor is after the first
// look at the prompt's column: it knows the row the cursor is on (counted
// from the prompt's first row) and moves from there with relative
// sequences. Moving down is done with line feeds, so a row below the
// screen's last one scrolls into existence.
#include "console/line_editor.h"

#include <algorithm>

#include "console/key_codes.h"
#include "console/line_render.h"

namespace qor::console {

namespace {

void append_number(std::string& out, int n) { out += std::to_string(n); }

}  // namespace

void LineEditor::edit(std::u32string_view prompt, std::u32string& line, History& history,
                      bool hidden) {
    prompt_.assign(prompt);
    line_ = &line;
    history_ = &history;
    hidden_ = hidden;
    hist_index_ = -1;
    hist_count_ = history.size();
    first_refresh_ = true;
    echoed_ = false;
    cursor_ = line.size();
    // A Tab that listed candidates left the partly completed line to go on with.
    if (!saved_line_.empty()) {
        size_t start = line.size();
        line += saved_line_;
        cursor_ = start + std::min(saved_cursor_, saved_line_.size());
    }
    redraw_ = true;
    refresh();
    for (;;) {
        redraw_ = true;
        int32_t key = term_.read_key();
        if (key == key::tab && completer_) {
            size_t n = complete();
            if (n > 1) {
                line.clear();
                cursor_ = 0;
                break;
            }
            if (n == 1) key = key::none;
        }
        if (on_key(key) == Step::done) break;
    }
    move_to_last_row();
}

LineEditor::Step LineEditor::on_key(int32_t key) {
    std::u32string& line = *line_;
    switch (key) {
        case key::enter:
            add_history();
            saved_line_.clear();
            return Step::done;
        case key::backspace:
        case key::rubout:
            if (cursor_ > 0) {
                line.erase(--cursor_, 1);
                if (cursor_ == line.size()) {
                    // Deleting at the end: step back and clear what follows.
                    redraw_ = false;
                    refresh();
                    term_.write("\x1B[J");
                } else {
                    refresh();
                }
            }
            return Step::go_on;
        case key::left:
        case key::ctrl('B'):
            if (cursor_ > 0) {
                --cursor_;
                redraw_ = false;
                refresh();
            }
            return Step::go_on;
        case key::right:
        case key::ctrl('F'):
            if (cursor_ < line.size()) {
                ++cursor_;
                redraw_ = false;
                refresh();
            }
            return Step::go_on;
        case key::home:
        case key::ctrl('A'):
            cursor_ = 0;
            refresh();
            return Step::go_on;
        case key::end:
        case key::ctrl('E'):
            cursor_ = line.size();
            refresh();
            return Step::go_on;
        case key::up:
        case key::ctrl('P'):
            if (hist_index_ + 1 < static_cast<long>(hist_count_)) {
                fetch_history(static_cast<size_t>(++hist_index_));
            } else {
                line.clear();
                cursor_ = 0;
            }
            refresh();
            return Step::go_on;
        case key::down:
        case key::ctrl('N'):
            if (hist_index_ < 0) {
                line.clear();
                cursor_ = 0;
            } else {
                fetch_history(static_cast<size_t>(hist_index_--));
            }
            refresh();
            return Step::go_on;
        case key::del:
            if (cursor_ < line.size()) {
                line.erase(cursor_, 1);
                refresh();
            }
            return Step::go_on;
        case key::ctrl('K'):
            if (cursor_ < line.size()) {
                line.erase(cursor_);
                refresh();
            }
            return Step::go_on;
        case key::ctrl('D'):
            if (cursor_ < line.size()) {
                line.erase(cursor_, 1);
                refresh();
                return Step::go_on;
            }
            if (!line.empty()) return Step::go_on;
            line = U"q";
            cursor_ = 1;
            return Step::done;
        case key::ctrl('C'):
        case key::failed:
            // Interrupt, or input that can no longer be read: the console quits.
            line = U"q";
            cursor_ = 1;
            return Step::done;
        case key::escape:
            saved_line_.clear();
            line.push_back(0x1B);
            cursor_ = line.size();
            return Step::done;
        default:
            if (key == key::tab || (key > 31 && key <= 0x10FFFF)) insert_char(static_cast<char32_t>(key));
            return Step::go_on;
    }
}

// At the end of the line the character is echoed alone and the line is not
// rewritten.
void LineEditor::insert_char(char32_t c) {
    std::u32string& line = *line_;
    if (cursor_ == line.size()) {
        line.push_back(c);
        std::string echo;
        if (hidden_) {
            echo = "*";
        } else if (c == '\t') {
            echo = "    ";
        } else {
            append_utf8(echo, c);
        }
        term_.write(echo);
        echoed_ = true;
        redraw_ = false;
    } else {
        line.insert(cursor_, 1, c);
    }
    ++cursor_;
    refresh();
}

void LineEditor::fetch_history(size_t i) {
    *line_ = history_->entry(i);
    cursor_ = line_->size();
}

// Hidden and empty lines are never kept, nor a repeat of the newest entry.
void LineEditor::add_history() {
    const std::u32string& line = *line_;
    if (hidden_ || line.empty()) return;
    if (history_->size() > 0 && history_->entry(0) == line) return;
    history_->add_newest(line);
}

// Answers the number of completions: 0 lets Tab insert a tab; 1 puts the
// completed line in place; more shows the candidates as the line, keeps the
// partly completed line for the next edit, and ends this one.
size_t LineEditor::complete() {
    std::vector<Completion> found = completer_(*line_, cursor_);
    size_t n = found.size();
    if (n == 0) return 0;
    saved_line_ = *line_;
    saved_cursor_ = cursor_;
    std::u32string& line = *line_;
    line.clear();
    if (n == 1) {
        line = found[0].line;
        cursor_ = std::min(found[0].cursor, line.size());
        refresh();
        return 1;
    }
    saved_line_ = found[0].line;
    saved_cursor_ = std::min(found[0].cursor, saved_line_.size());
    for (size_t i = 1; i < n; ++i) {
        line += found[i].line;
        line += U' ';
    }
    cursor_ = line.size();
    refresh();
    return n;
}

namespace {

// The row the terminal cursor is on after writing text that ends `total`
// cells from the first row's start: a text that fills its last row exactly
// leaves the cursor on that row (the wrap is pending until the next
// character).
int row_of_end(int total, int width) {
    return total > 0 && total % width == 0 ? total / width - 1 : total / width;
}

}  // namespace

void LineEditor::move_to_row(int row) {
    if (row < cursor_row_) {
        out_ += "\x1B[";
        append_number(out_, cursor_row_ - row);
        out_ += 'A';
    } else {
        for (int r = cursor_row_; r < row; ++r) out_ += "\r\n";
    }
    out_ += '\r';
    cursor_row_ = row;
}

void LineEditor::refresh() {
    width_ = std::max(1, term_.width());
    out_.clear();
    if (first_refresh_) {
        first_refresh_ = false;
        origin_column_ = std::clamp(term_.cursor_column(), 0, width_ - 1);
        cursor_row_ = 0;
    } else if (redraw_) {
        move_to_row(0);
        if (origin_column_ > 0) {
            out_ += "\x1B[";
            append_number(out_, origin_column_);
            out_ += 'C';
        }
        out_ += "\x1B[J";
    }
    std::string text;
    const std::u32string& line = *line_;
    std::u32string_view view(line);
    int p = render_segment(prompt_, width_ - origin_column_, width_, false, text);
    int s = origin_column_ + p;
    int a = render_segment(view.substr(0, cursor_), width_ - s % width_, width_, hidden_, text);
    int k = s + a;
    int b = render_segment(view.substr(cursor_), width_ - k % width_, width_, hidden_, text);
    int t = k + b;
    if (redraw_) {
        out_ += text;
        cursor_row_ = row_of_end(t, width_);
    } else if (echoed_) {
        cursor_row_ = row_of_end(t, width_);
    }
    echoed_ = false;
    place_cursor(k, t);
    term_.write(out_);
}

// Puts the cursor `offset` cells from the first row's start. A wide
// character at the cursor that did not fit in a row's last cell starts the
// next row, and so does the cursor.
void LineEditor::place_cursor(int offset, int total) {
    int row = offset / width_;
    int col = offset % width_;
    const std::u32string& line = *line_;
    if (col == width_ - 1 && cursor_ < line.size() && !hidden_ && shown_width(line[cursor_]) == 2) {
        ++row;
        col = 0;
    }
    move_to_row(row);
    if (col > 0) {
        out_ += "\x1B[";
        append_number(out_, col);
        out_ += 'C';
    }
    total_ = total;
}

void LineEditor::move_to_last_row() {
    out_.clear();
    move_to_row(std::max(cursor_row_, row_of_end(total_, width_)));
    term_.write(out_);
}

}  // namespace qor::console
