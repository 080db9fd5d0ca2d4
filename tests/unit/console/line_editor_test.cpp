// The line editor: keys to line and cursor, the history, completion, and
// what a terminal shows after the redraws (through a small VT screen).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/history.h"
#include "console/key_codes.h"
#include "console/line_editor.h"
#include "console/line_render.h"

namespace qor::console {
namespace {

// A screen that understands what the editor writes: characters (wide ones
// take two cells, combining marks join the previous cell), CR, LF, cursor
// up and forward, erase below, and SGR sequences (ignored). A row grows on
// demand, so the screen never scrolls.
class Screen {
public:
    explicit Screen(int width) : width_(width) {}

    void write(std::u32string_view text) {
        for (size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c == 0x1B) {
                i = escape(text, i);
            } else if (c == '\r') {
                col_ = 0;
                pending_ = false;
            } else if (c == '\n') {
                ++row_;
                pending_ = false;
            } else {
                put(c);
            }
        }
    }

    std::u32string row_text(int r) const {
        if (r >= static_cast<int>(cells_.size())) return U"";
        std::u32string s;
        for (const auto& cell : cells_[r]) s += cell;
        while (!s.empty() && s.back() == U' ') s.pop_back();
        return s;
    }
    int rows_used() const {
        int n = static_cast<int>(cells_.size());
        while (n > 0 && row_text(n - 1).empty()) --n;
        return n;
    }
    int row() const { return row_; }
    int col() const { return col_; }

private:
    std::vector<std::u32string>& line(int r) {
        while (static_cast<int>(cells_.size()) <= r) cells_.emplace_back(width_, U" ");
        return cells_[r];
    }

    void put(char32_t c) {
        int w = shown_width(c);
        if (w == 0) {
            if (col_ > 0) line(row_)[col_ - 1] += c;
            return;
        }
        if (pending_ || (w == 2 && col_ == width_ - 1)) {
            ++row_;
            col_ = 0;
            pending_ = false;
        }
        line(row_)[col_] = std::u32string(1, c);
        if (w == 2) line(row_)[col_ + 1] = U"";
        col_ += w;
        if (col_ >= width_) {
            col_ = width_ - 1;
            pending_ = true;
        }
    }

    size_t escape(std::u32string_view text, size_t i) {
        EXPECT_LT(i + 1, text.size());
        EXPECT_EQ(text[i + 1], U'[');
        int n = 0;
        bool has_number = false;
        size_t j = i + 2;
        for (; j < text.size() && ((text[j] >= '0' && text[j] <= '9') || text[j] == ';'); ++j) {
            if (text[j] != ';') {
                n = n * 10 + static_cast<int>(text[j] - '0');
                has_number = true;
            }
        }
        if (!has_number) n = 1;
        pending_ = false;
        switch (text[j]) {
            case 'A': row_ = std::max(0, row_ - n); break;
            case 'C': col_ = std::min(width_ - 1, col_ + n); break;
            case 'J':
                for (int r = row_; r < static_cast<int>(cells_.size()); ++r)
                    for (int c = (r == row_ ? col_ : 0); c < width_; ++c) cells_[r][c] = U" ";
                break;
            case 'm': break;
            default: ADD_FAILURE() << "unexpected sequence ending in " << char(text[j]);
        }
        return j;
    }

    int width_;
    int row_ = 0, col_ = 0;
    bool pending_ = false;
    std::vector<std::vector<std::u32string>> cells_;
};

std::u32string from_utf8(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? b : b & (0x3F >> (len - 1));
        for (int k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += c;
        i += static_cast<size_t>(len);
    }
    return out;
}

class FakeTerminal final : public EditorTerminal {
public:
    FakeTerminal(int width, std::vector<int32_t> keys, int column = 0)
        : screen(width), width_(width), keys_(std::move(keys)), column_(column) {
        for (int i = 0; i < column; ++i) screen.write(U"#");
    }
    int32_t read_key() override { return next_ < keys_.size() ? keys_[next_++] : key::failed; }
    int width() override { return width_; }
    int cursor_column() override { return column_; }
    void write(std::string_view utf8) override {
        written += utf8;
        screen.write(from_utf8(utf8));
    }
    void more_keys(std::vector<int32_t> keys) {
        keys_ = std::move(keys);
        next_ = 0;
    }
    bool all_keys_read() const { return next_ == keys_.size(); }

    Screen screen;
    std::string written;

private:
    int width_;
    std::vector<int32_t> keys_;
    size_t next_ = 0;
    int column_;
};

std::vector<int32_t> typed(std::u32string_view text) { return {text.begin(), text.end()}; }

std::vector<int32_t> operator+(std::vector<int32_t> a, const std::vector<int32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr int32_t C(char letter) { return key::ctrl(letter); }

struct EditCase {
    const char* what;
    std::vector<int32_t> keys;
    std::u32string line;
    size_t cursor;
};

TEST(LineEditor, KeysGiveLineAndCursor) {
    const std::vector<EditCase> cases = {
        {"typing", typed(U"hello") + std::vector{key::enter}, U"hello", 5},
        {"left and insert", typed(U"helo") + std::vector{key::left, int32_t('l'), key::enter}, U"hello", 4},
        {"ctrl-b and ctrl-f", typed(U"abc") + std::vector{C('B'), C('B'), C('F'), int32_t('X'), key::enter},
         U"abXc", 3},
        {"left stops at the head", typed(U"ab") + std::vector{key::left, key::left, key::left, int32_t('>'), key::enter},
         U">ab", 1},
        {"right stops at the end", typed(U"ab") + std::vector{key::home, key::right, key::right, key::right, int32_t('!'), key::enter},
         U"ab!", 3},
        {"home and end", typed(U"bc") + std::vector{key::home, int32_t('a'), key::end, int32_t('d'), key::enter},
         U"abcd", 4},
        {"ctrl-a and ctrl-e", typed(U"bc") + std::vector{C('A'), int32_t('a'), C('E'), int32_t('d'), key::enter},
         U"abcd", 4},
        {"backspace at the end", typed(U"abcd") + std::vector{key::backspace, key::rubout, key::enter}, U"ab", 2},
        {"backspace in the middle", typed(U"abcd") + std::vector{key::left, key::rubout, key::enter}, U"abd", 2},
        {"backspace at the head", typed(U"ab") + std::vector{key::home, key::rubout, key::enter}, U"ab", 0},
        {"delete", typed(U"abcd") + std::vector{key::home, key::del, key::right, key::del, key::enter}, U"bd", 1},
        {"delete at the end", typed(U"ab") + std::vector{key::del, key::enter}, U"ab", 2},
        {"ctrl-k", typed(U"hello world") + std::vector{key::home, key::right, key::right, C('K'), key::enter},
         U"he", 2},
        {"ctrl-k at the end", typed(U"ab") + std::vector{C('K'), key::enter}, U"ab", 2},
        {"ctrl-d deletes under the cursor", typed(U"abc") + std::vector{key::home, C('D'), key::enter}, U"bc", 0},
        {"ctrl-d at the end of a line", typed(U"abc") + std::vector{C('D'), key::enter}, U"abc", 3},
        {"ctrl-d on an empty line", {C('D')}, U"q", 1},
        {"ctrl-c anywhere", typed(U"abc") + std::vector{key::left, C('C')}, U"q", 1},
        {"esc", typed(U"abc") + std::vector{key::left, key::escape}, U"abc\x1B", 4},
        {"end of input", typed(U"abc"), U"q", 1},
        {"ignored keys", typed(U"a") + std::vector{key::none, key::insert, key::page_up, key::page_down, 7, 31, int32_t('b'), key::enter},
         U"ab", 2},
        {"tab without completion", typed(U"a\tb") + std::vector{key::enter}, U"a\tb", 3},
        {"wide and supplementary characters", typed(U"\u4E2D\U0001F600") + std::vector{key::left, int32_t(0xE9), key::enter},
         U"\u4E2D\u00E9\U0001F600", 2},
    };
    for (const EditCase& c : cases) {
        FakeTerminal term(80, c.keys);
        LineEditor editor(term);
        HistoryList history;
        std::u32string line;
        editor.edit(U">> ", line, history, false);
        EXPECT_EQ(line, c.line) << c.what;
        EXPECT_EQ(editor.cursor(), c.cursor) << c.what;
        EXPECT_TRUE(term.all_keys_read()) << c.what;
    }
}

// Runs one edit with the given keys on an existing editor and history.
std::u32string run(LineEditor& editor, FakeTerminal& term, HistoryList& history,
                   std::vector<int32_t> keys, bool hidden = false) {
    term.more_keys(std::move(keys));
    std::u32string line;
    editor.edit(U">> ", line, history, hidden);
    return line;
}

TEST(LineEditor, HistoryKeepsEnteredLinesNewestFirst) {
    FakeTerminal term(80, {});
    LineEditor editor(term);
    HistoryList history;
    run(editor, term, history, typed(U"one") + std::vector{key::enter});
    run(editor, term, history, typed(U"two") + std::vector{key::enter});
    run(editor, term, history, typed(U"two") + std::vector{key::enter});   // a repeat is kept once
    run(editor, term, history, typed(U"TWO") + std::vector{key::enter});   // case matters
    run(editor, term, history, {key::enter});                              // empty: not kept
    run(editor, term, history, typed(U"secret") + std::vector{key::enter}, true);  // hidden: not kept
    run(editor, term, history, {C('C')});                                  // ctrl-c: not kept
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history.entry(0), U"TWO");
    EXPECT_EQ(history.entry(1), U"two");
    EXPECT_EQ(history.entry(2), U"one");
}

TEST(LineEditor, HistoryBrowsing) {
    struct Case {
        const char* what;
        std::vector<int32_t> keys;
        std::u32string line;
    };
    const std::vector<Case> cases = {
        {"up shows the newest", {key::up}, U"three"},
        {"ctrl-p as up", {C('P'), C('P')}, U"two"},
        {"up to the oldest", {key::up, key::up, key::up}, U"one"},
        {"up past the oldest empties", {key::up, key::up, key::up, key::up}, U""},
        {"down with nothing chosen empties", typed(U"x") + std::vector{key::down}, U""},
        {"after up up, down shows the same entry", {key::up, key::up, key::down}, U"two"},
        {"then the newer one", {key::up, key::up, key::down, key::down}, U"three"},
        {"then nothing", {key::up, key::up, key::down, key::down, key::down}, U""},
        {"ctrl-n as down", {key::up, key::up, C('N'), C('N')}, U"three"},
        {"an entry can be edited", {key::up, key::up, key::backspace, int32_t('!')}, U"tw!"},
    };
    for (const Case& c : cases) {
        FakeTerminal term(80, {});
        LineEditor editor(term);
        HistoryList history;
        for (const char32_t* l : {U"one", U"two", U"three"}) history.add_newest(l);
        std::u32string line = run(editor, term, history, c.keys + std::vector{key::enter});
        EXPECT_EQ(line, c.line) << c.what;
    }
}

TEST(LineEditor, RedrawShowsTheLineAndPlacesTheCursor) {
    // Width 10, so the prompt and line wrap over several rows.
    FakeTerminal term(10, typed(U"abcdefghijklmnop") +
                              std::vector{key::home, int32_t('X'), key::right, key::right, key::del,
                                          key::end, key::left, key::left, key::left});
    LineEditor editor(term);
    HistoryList history;
    std::u32string line;
    editor.edit(U">> ", line, history, false);  // ends at the end of the keys
    // The screen shows ">> Xabdefghijklmnop" wrapped at 10 columns (the end
    // of the keys then turned the line into "q" without a redraw).
    EXPECT_EQ(term.screen.row_text(0), U">> Xabdefg");
    EXPECT_EQ(term.screen.row_text(1), U"hijklmnop");
    EXPECT_EQ(term.screen.rows_used(), 2);
    // The edit ended with the cursor at the start of the text's last row.
    EXPECT_EQ(term.screen.row(), 1);
    EXPECT_EQ(term.screen.col(), 0);
}

// Places the cursor and answers the screen position after the keys; the
// last key is Ctrl-C only to end the edit (its redraw does not happen).
struct Shown {
    std::u32string row0, row1, row2;
    int row, col;
};

Shown show(int width, std::u32string_view prompt, std::vector<int32_t> keys, int column = 0,
           bool hidden = false) {
    class Watch final : public EditorTerminal {
    public:
        Watch(int w, std::vector<int32_t> k, int column) : fake(w, std::move(k), column) {}
        int32_t read_key() override {
            int32_t key = fake.read_key();
            if (key == key::failed) {
                shown = {fake.screen.row_text(0), fake.screen.row_text(1), fake.screen.row_text(2),
                         fake.screen.row(), fake.screen.col()};
            }
            return key;
        }
        int width() override { return fake.width(); }
        int cursor_column() override { return fake.cursor_column(); }
        void write(std::string_view s) override { fake.write(s); }
        FakeTerminal fake;
        Shown shown{};
    } term(width, std::move(keys), column);
    LineEditor editor(term);
    HistoryList history;
    std::u32string line;
    editor.edit(prompt, line, history, hidden);
    return term.shown;
}

TEST(LineEditor, ScreenAfterEditing) {
    struct Case {
        const char* what;
        int width;
        std::u32string prompt;
        std::vector<int32_t> keys;
        int column;
        bool hidden;
        Shown expected;
    };
    const std::vector<Case> cases = {
        {"typing echoes", 20, U">> ", typed(U"abc"), 0, false, {U">> abc", U"", U"", 0, 6}},
        {"insert in the middle", 20, U">> ", typed(U"ac") + std::vector{key::left, int32_t('b')}, 0, false,
         {U">> abc", U"", U"", 0, 5}},
        {"backspace at the end clears", 20, U">> ", typed(U"abc") + std::vector{key::backspace}, 0, false,
         {U">> ab", U"", U"", 0, 5}},
        {"ctrl-k clears the rest", 20, U">> ", typed(U"abcdef") + std::vector{key::home, key::right, C('K')}, 0, false,
         {U">> a", U"", U"", 0, 4}},
        {"text that fills a row puts the cursor on the next", 8, U">> ", typed(U"abcde"), 0, false,
         {U">> abcde", U"", U"", 1, 0}},
        {"and back with left", 8, U">> ", typed(U"abcde") + std::vector{key::left}, 0, false,
         {U">> abcde", U"", U"", 0, 7}},
        {"wrapping over three rows, cursor in the middle", 6, U">> ",
         typed(U"abcdefghijk") + std::vector{key::home, key::right, key::right, key::right, key::right}, 0, false,
         {U">> abc", U"defghi", U"jk", 1, 1}},
        {"a tab shows as four spaces", 20, U">> ", typed(U"a\tb"), 0, false, {U">> a    b", U"", U"", 0, 9}},
        {"a tab inside the line", 20, U">> ", typed(U"ab") + std::vector{key::left, key::tab}, 0, false,
         {U">> a    b", U"", U"", 0, 8}},
        {"colour sequences in the prompt take no cells", 20, U"\x1B[1;32m>> \x1B[0m",
         typed(U"ab") + std::vector{key::home}, 0, false, {U">> ab", U"", U"", 0, 3}},
        {"wide characters take two cells", 20, U">> ", typed(U"\u4E2D\u6587") + std::vector{key::left}, 0, false,
         {U">> \u4E2D\u6587", U"", U"", 0, 5}},
        {"a wide character never starts in a row's last cell", 6, U">> ",
         typed(U"ab\u4E2D") + std::vector{key::left}, 0, false, {U">> ab", U"\u4E2D", U"", 1, 0}},
        {"combining marks take none", 20, U">> ", typed(U"e\u0301x") + std::vector{key::left}, 0, false,
         {U">> e\u0301x", U"", U"", 0, 4}},
        {"hidden input shows stars", 20, U"pw: ", typed(U"s\u4E2Dcret") + std::vector{key::left, int32_t('!')}, 0, true,
         {U"pw: *******", U"", U"", 0, 10}},
        {"a prompt after other text on the row", 10, U"> ", typed(U"abcdef") + std::vector{key::home}, 4, false,
         {U"####> abcd", U"ef", U"", 0, 6}},
        {"history entry replaces the text", 20, U">> ", typed(U"a long line") + std::vector{key::down}, 0, false,
         {U">>", U"", U"", 0, 3}},
    };
    for (const Case& c : cases) {
        Shown s = show(c.width, c.prompt, c.keys, c.column, c.hidden);
        EXPECT_EQ(s.row0, c.expected.row0) << c.what;
        EXPECT_EQ(s.row1, c.expected.row1) << c.what;
        EXPECT_EQ(s.row2, c.expected.row2) << c.what;
        EXPECT_EQ(s.row, c.expected.row) << c.what;
        EXPECT_EQ(s.col, c.expected.col) << c.what;
    }
}

TEST(LineEditor, MovingTheCursorDoesNotRewriteTheLine) {
    FakeTerminal term(80, typed(U"abcdef"));
    LineEditor editor(term);
    HistoryList history;
    std::u32string line;
    term.more_keys(typed(U"abcdef") + std::vector{key::left, key::left, key::right});
    editor.edit(U">> ", line, history, false);
    // Each character once (the echo), and never again.
    EXPECT_EQ(std::count(term.written.begin(), term.written.end(), 'c'), 1);
}

TEST(LineEditor, CompletionWithOneCandidateReplacesTheLine) {
    FakeTerminal term(80, typed(U"pri") + std::vector{key::tab, int32_t('x'), key::enter});
    LineEditor editor(term);
    std::u32string seen;
    size_t seen_cursor = 99;
    editor.set_completer([&](const std::u32string& line, size_t cursor) {
        seen = line;
        seen_cursor = cursor;
        return std::vector<Completion>{{U"print ", 6}};
    });
    HistoryList history;
    std::u32string line;
    editor.edit(U">> ", line, history, false);
    EXPECT_EQ(seen, U"pri");
    EXPECT_EQ(seen_cursor, 3u);
    EXPECT_EQ(line, U"print x");  // Tab itself inserted nothing
    EXPECT_EQ(term.screen.row_text(0), U">> print x");
}

TEST(LineEditor, CompletionWithSeveralCandidatesListsThemAndGoesOn) {
    FakeTerminal term(80, typed(U"pr") + std::vector{key::tab});
    LineEditor editor(term);
    editor.set_completer([](const std::u32string&, size_t) {
        return std::vector<Completion>{{U"pr", 2}, {U"print", 0}, {U"probe", 0}};
    });
    HistoryList history;
    std::u32string line;
    editor.edit(U">> ", line, history, false);
    EXPECT_EQ(line, U"");
    EXPECT_EQ(term.screen.row_text(0), U">> print probe");
    // The next edit starts from the partly completed line.
    term.more_keys(typed(U"in") + std::vector{key::enter});
    std::u32string next;
    editor.edit(U">> ", next, history, false);
    EXPECT_EQ(next, U"prin");
    // Entered: nothing is carried any further.
    term.more_keys(std::vector{key::enter});
    std::u32string third;
    editor.edit(U">> ", third, history, false);
    EXPECT_EQ(third, U"");
}

TEST(LineEditor, CompletionWithNothingInsertsTheTab) {
    FakeTerminal term(80, typed(U"a") + std::vector{key::tab, key::enter});
    LineEditor editor(term);
    editor.set_completer([](const std::u32string&, size_t) { return std::vector<Completion>{}; });
    HistoryList history;
    std::u32string line;
    editor.edit(U">> ", line, history, false);
    EXPECT_EQ(line, U"a\t");
}

TEST(RenderSegment, CellsUsed) {
    struct Case {
        std::u32string text;
        int room, width;
        int cells;
    };
    const std::vector<Case> cases = {
        {U"abc", 10, 10, 3},
        {U"", 10, 10, 0},
        {U"\t", 10, 10, 4},
        {U"a\tb", 3, 10, 6},                  // the tab's spaces wrap one by one
        {U"\x1B[31mred\x1B[0m", 10, 10, 3},
        {U"\x1B(B", 10, 10, 0},
        {U"\u4E2D", 10, 10, 2},
        {U"a\u4E2D", 2, 10, 4},               // the wide one skips the row's last cell
        {U"\U0001F300", 10, 10, 2},
        {U"e\u0301", 10, 10, 1},
        {U"abcdefghijk", 10, 10, 11},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(render_segment(c.text, c.room, c.width, false, out), c.cells);
    }
    std::string out;
    EXPECT_EQ(render_segment(U"\u4E2D\t", 10, 10, true, out), 2);
    EXPECT_EQ(out, "**");
}

}  // namespace
}  // namespace qor::console
