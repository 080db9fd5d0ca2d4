// One full-screen frame of changing coloured text, 200 x 60 cells, built
// and flushed by the terminal engine, next to ncurses doing the same, in
// one run.
//
// The view is a window of 60 row faces; each row is ten runs of 20 letters,
// each run in a foreground colour of its own (SGR sequences in the face
// text), on a background colour per row. Every frame one cell in ten
// changes its letter. Our side renders the whole window into the grid and
// writes what changed (flush_screen); ncurses draws every run with its
// colour pair into its screen and refreshes. Both write to a file. Whole
// frames (everything written, as after a print or a resize) are timed
// apart from changing ones; the bytes of a changing frame are shown next to
// the cells that changed, one byte each being the least a frame can take
// before cursor moves and colour changes.
#include <curses.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "runtime/environment/environment.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "app/startup.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/screen.h"
#include "tests/support/view_faces.h"

using namespace qor;

namespace {

constexpr int width = 200;
constexpr int height = 60;
constexpr int runs = 10;
constexpr int run_length = width / runs;
constexpr int frames = 500;
constexpr int full_frames = 100;

char letter(int row, int column, int frame) {
    const int shift = column % 10 == 0 ? frame : 0;
    return static_cast<char>('a' + (row * 7 + column * 3 + shift) % 26);
}

int run_colour(int row, int run) { return 16 + (row * runs + run) % 216; }
int row_colour(int row) { return 232 + row % 24; }

off_t file_size(int fd) {
    struct stat s{};
    fstat(fd, &s);
    return s.st_size;
}

int temp_file(char* name) {
    const int fd = mkstemp(name);
    if (fd < 0) std::exit(1);
    unlink(name);
    return fd;
}

// ---- Our side --------------------------------------------------------------

void set_field(const Cell& object, std::string_view name, const Cell& value) {
    const int32_t i = context::find_word(object.w1, symbol::make(name), true);
    *context::value_cell_at(object.w1, static_cast<uint32_t>(i)) = value;
}

struct Row {
    NodeId text;                  // the face text's string node
    std::vector<uint32_t> at;     // where each column's letter is in it
};

std::vector<Row> make_rows() {
    test::eval_source(R"(
        rows: copy []
        loop 60 [append rows make object! [text: none color: none pane: none state: reduce [none]]]
        screen: make object! [text: none color: none pane: rows state: reduce [none]]
    )");
    std::vector<Row> rows(height);
    const Cell block = test::global_value("rows");
    for (int r = 0; r < height; r++) {
        std::string text;
        for (int k = 0; k < runs; k++) {
            text += "\x1B[38;5;" + std::to_string(run_colour(r, k)) + "m";
            for (int c = 0; c < run_length; c++) {
                rows[r].at.push_back(static_cast<uint32_t>(text.size()));
                text += letter(r, k * run_length + c, 0);
            }
        }
        const Cell face = *series_tail::cell_at(block, static_cast<uint32_t>(r));
        Cell* s = str::push_new(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        set_field(face, "text", *s);
        rows[r].text = s->w2;
        stack::pop();
        // A grey tuple that maps to the row's palette entry.
        const uint8_t v = static_cast<uint8_t>(8 + 10 * (r % 24));
        Cell grey{to_int(TypeId::tuple) | 3u << cell_flag::tuple_length_shift, 0, 0, 0};
        const uint8_t bytes[4] = {v, v, v, 0};
        std::memcpy(&grey.w1, bytes, 4);
        set_field(face, "color", grey);
    }
    return rows;
}

struct Result {
    double full_ms;
    double frame_ms;
    double frame_bytes;
};

Result ours() {
    rt::boot();
    rt::finish_boot();
    environment::run();
    stack::init_calls();
    std::vector<Row> rows = make_rows();
    tui::Widget* root = test::show_face(test::global_value("screen"), nullptr, {0, 0, width, height});
    const Cell block = test::global_value("rows");
    for (int r = 0; r < height; r++) test::show_face(*series_tail::cell_at(block, static_cast<uint32_t>(r)), root, {0, float(r), width, 1});
    tui::add_window(root);
    tui::activate_window(root);
    char name[] = "/tmp/qor-frame-XXXXXX";
    tui::Backend& b = tui::backend();
    // The frames go to a file, as if it were the terminal.
    b.terminal.open = true;
    b.terminal.out_fd = temp_file(name);
    b.terminal.columns = width;
    b.terminal.rows = height;
    b.terminal.full_screen = true;
    tui::intern_names();

    // Whole frames: what the terminal shows is forgotten before each.
    double total = 0;
    for (int f = 0; f < full_frames; f++) {
        b.shown_valid = false;
        b.terminal.dirty = true;
        const auto t0 = std::chrono::steady_clock::now();
        tui::flush_screen();
        total += bench::seconds_since(t0);
    }
    const double full = total * 1000 / full_frames;
    const off_t first_bytes = file_size(b.terminal.out_fd);

    total = 0;
    for (int f = 1; f <= frames; f++) {
        for (int r = 0; r < height; r++) {
            series::Buffer* s = series::buffer(rows[r].text);
            for (int c = 0; c < width; c += 10) *s->at(rows[r].at[c]) = static_cast<uint8_t>(letter(r, c, f));
        }
        b.terminal.dirty = true;
        const auto t0 = std::chrono::steady_clock::now();
        tui::flush_screen();
        total += bench::seconds_since(t0);
    }
    const double bytes = double(file_size(b.terminal.out_fd) - first_bytes) / frames;
    close(b.terminal.out_fd);
    return {full, total * 1000 / frames, bytes};
}

// ---- ncurses -----------------------------------------------------------------

Result theirs() {
    char name[] = "/tmp/qor-frame-curses-XXXXXX";
    const int fd = temp_file(name);
    FILE* out = fdopen(fd, "w");
    FILE* in = std::fopen("/dev/null", "r");
    setenv("LINES", "60", 1);
    setenv("COLUMNS", "200", 1);
    use_env(TRUE);
    SCREEN* screen = newterm("xterm-256color", out, in);
    if (!screen) return {-1, -1, -1};
    start_color();
    for (int r = 0; r < height; r++)
        for (int k = 0; k < runs; k++)
            init_pair(static_cast<short>(1 + r * runs + k), static_cast<short>(run_colour(r, k)),
                      static_cast<short>(row_colour(r)));
    const auto draw = [](int f) {
        char text[run_length];
        for (int r = 0; r < height; r++) {
            for (int k = 0; k < runs; k++) {
                for (int c = 0; c < run_length; c++) text[c] = letter(r, k * run_length + c, f);
                attrset(COLOR_PAIR(1 + r * runs + k));
                mvaddnstr(r, k * run_length, text, run_length);
            }
        }
        refresh();
    };
    double total = 0;
    for (int f = 0; f < full_frames; f++) {
        const auto t0 = std::chrono::steady_clock::now();
        clearok(stdscr, TRUE);
        draw(0);
        std::fflush(out);
        total += bench::seconds_since(t0);
    }
    const double full = total * 1000 / full_frames;
    const off_t first_bytes = file_size(fd);
    total = 0;
    for (int f = 1; f <= frames; f++) {
        const auto t0 = std::chrono::steady_clock::now();
        draw(f);
        std::fflush(out);
        total += bench::seconds_since(t0);
    }
    const double bytes = double(file_size(fd) - first_bytes) / frames;
    endwin();
    delscreen(screen);
    std::fclose(out);
    std::fclose(in);
    return {full, total * 1000 / frames, bytes};
}

}  // namespace

int main() {
    const Result q = ours();
    const Result c = theirs();
    const int changed = height * width / 10;
    std::printf("200x60 coloured frame, %d frames, %d cells change a frame\n", frames, changed);
    std::printf("  whole frame     qor %7.3f ms   ncurses %7.3f ms (x%.2f)\n", q.full_ms, c.full_ms,
                c.full_ms / q.full_ms);
    std::printf("  changing frame  qor %7.3f ms   ncurses %7.3f ms (x%.2f)\n", q.frame_ms, c.frame_ms,
                c.frame_ms / q.frame_ms);
    std::printf("  bytes a frame   qor %7.0f      ncurses %7.0f      (changed cells: %d)\n", q.frame_bytes,
                c.frame_bytes, changed);
    return 0;
}
