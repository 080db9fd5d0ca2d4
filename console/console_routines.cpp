// The console's built-in routines (see console_routines.h).
#include "console/console_routines.h"

#include <cstring>
#include <memory>
#include <string>

#include "console/completer.h"
#include "console/console_input.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/unset.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/output/output.h"
#include "runtime/platform/terminal_title.h"
#include "runtime/memory/series_tail.h"
#include "runtime/core/runtime_process.h"
#include "runtime/eval/interrupt.h"
#include "runtime/output/output.h"
#include "runtime/platform/file_replace.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::console {

namespace {

// What `_set-buffer-history` handed over for the next `_read-input`. The
// cells are copies: the caller's values keep their own indexes.
struct EditorValues {
    Cell line = unset_cell;
    Cell history = unset_cell;
};
EditorValues editor_values;

void mark_editor_values() {
    collector::mark_cell(editor_values.line);
    collector::mark_cell(editor_values.history);
}

// The console's one line input, made at first use (it decides once whether
// standard input is a terminal).
ConsoleInput& input() {
    static std::unique_ptr<ConsoleInput> the_input = [] {
        auto made = std::make_unique<ConsoleInput>();
        made->set_completer(library_completion);
        return made;
    }();
    return *the_input;
}

Cell* arg(uint32_t i) { return stack::data.base + i; }

std::u32string chars_of(const Cell& string) { return text_buffer::chars(string); }

void append_chars(Cell& string, std::u32string_view chars) {
    for (char32_t c : chars) text_buffer::append_char(string, c);
}

// The value of a field of an object, or null.
Cell* field(const Cell& object, std::string_view name) {
    if (type_of(object) != TypeId::object) return nullptr;
    const int32_t i = context::find_word(object.w1, symbol::make(name), true);
    return i < 0 ? nullptr : context::value_cell_at(object.w1, static_cast<uint32_t>(i));
}

// system/console, or null while the system object has no console object.
Cell* console_object() {
    const int32_t i = context::find_word(context::global(), to_int(Sym::system), true);
    if (i < 0) return nullptr;
    const Cell system = *context::value_cell_at(context::global(), static_cast<uint32_t>(i));
    Cell* console = field(system, "console");
    return console && type_of(*console) == TypeId::object ? console : nullptr;
}

// Refreshes system/console/size from the terminal (TIOCGWINSZ), around
// each edit.
void update_size() {
    if (!input().is_console()) return;
    const ScreenSize size = screen_size();
    set_console_size(size.columns, size.rows);
}

void r_set_buffer_history() {
    editor_values.line = *arg(0);
    editor_values.history = *arg(1);
    *arg(0) = unset::value;
}

void r_read_input() {
    const std::u32string prompt = chars_of(*arg(0));
    const bool hidden = type_of(*arg(1)) == TypeId::logic && arg(1)->w1 != 0;
    *arg(0) = unset::value;
    if (type_of(editor_values.line) != TypeId::string || type_of(editor_values.history) != TypeId::block) return;
    update_size();
    // The block is read from its head, whatever index the caller's value has.
    Cell* history_cell = stack::push(editor_values.history);
    history_cell->w1 = 0;
    stack::push(editor_values.line);
    BlockHistory history(history_cell);
    std::u32string line;
    output::flush();  // what was printed comes before the prompt
    // A user types at this console: from now on Ctrl-C during an evaluation
    // returns to the prompt instead of ending the process. A Ctrl-C that
    // came before the prompt is not for the next command; while the line is
    // edited Ctrl-C is a key, and one pressed the moment the line is handed
    // over is for the command it starts, so it must not be dropped after.
    if (input().is_console()) {
        platform::set_interrupts_halt(true);
        interrupt::forget();
    }
    const bool more = input().read_line(prompt, hidden, line, history);
    update_size();  // the terminal may have been resized while the line was edited
    if (!more) {
        // Piped input is over: nothing will come but empty lines.
        rt::quit(0);
    }
    Cell* buffer = stack::data.top - 1;
    append_chars(*buffer, line);
    history.commit(*buffer);
    stack::pop();
    stack::pop();
}

void r_console_init() {
    std::string title;
    for (char32_t c : chars_of(*arg(0))) title += c < 0x80 ? static_cast<char>(c) : '?';
    platform::set_terminal_title(title);
    const ScreenSize size = screen_size();
    set_console_size(size.columns > 0 ? size.columns : 80, size.rows > 0 ? size.rows : 50);
    *arg(0) = unset::value;
}

void r_terminate_console() {}

void r_input_stdin() {
    std::u32string line;
    input().piped().read_line(line);
    Cell* result = stack::push(unset::value);
    text_buffer::make(*result, 256);
    append_chars(*result, line);
    *arg(0) = *result;
    stack::pop();
}

void r_read_stdin() {
    Cell buffer = *arg(0);
    const int32_t room = get_int(*arg(1));
    *arg(0) = unset::value;
    if (room <= 0) return;
    std::string bytes(static_cast<size_t>(room), '\0');
    const int64_t n = input().piped().read_raw({reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()});
    if (n <= 0) return;
    // The bytes go at the binary's head; its tail moves on by their count.
    (void)series_tail::reserve(buffer.w2, static_cast<uint32_t>(n));
    std::memcpy(series::buffer(buffer.w2)->head_ptr(), bytes.data(), static_cast<size_t>(n));
}

// Before the settings file is read again and written at quit: a lock that
// makes consoles quitting at once take turns (it goes with the process),
// and the file kept private to the user (mode 0600).
void r_lock_cfg() {
    const std::string path = url_text::to_local(*arg(0), false);
    *arg(0) = unset::value;
    (void)platform::lock_file_for_process(path + ".lock");
    (void)platform::ensure_private_file(path, 0600);
}

}  // namespace

size_t BlockHistory::size() const {
    const series::Buffer* b = series::buffer(block_->w2);
    return b->length() > block_->w1 ? b->length() - block_->w1 : 0;
}

std::u32string BlockHistory::entry(size_t i) const {
    const Cell e = series::buffer(block_->w2)->cells()[block_->w1 + i];
    return text_buffer::chars(e);
}

void BlockHistory::add_newest(std::u32string_view) { pending_ = true; }

void BlockHistory::commit(const Cell& line) {
    if (!pending_) return;
    pending_ = false;
    const Cell value = line;  // a copy: growing the block may move the stack's view
    (void)series_tail::block_alloc_tail(*block_);
    series::Buffer* b = series::buffer(block_->w2);
    Cell* cells = b->cells();
    const uint32_t n = b->length();
    std::memmove(cells + block_->w1 + 1, cells + block_->w1, (n - 1 - block_->w1) * sizeof(Cell));
    cells[block_->w1] = value;
    cells[block_->w1].w1 = 0;
}

bool set_console_size(int columns, int rows) {
    Cell* console = console_object();
    if (!console) return false;
    Cell* size = field(*console, "size");
    if (!size) return false;
    *size = Cell{to_int(TypeId::pair), 0, static_cast<uint32_t>(columns), static_cast<uint32_t>(rows)};
    return true;
}

void register_routines() {
    static bool marked = false;
    if (!marked) collector::add_mark_callback(mark_editor_values);
    marked = true;
    routine::register_code("_set-buffer-history", r_set_buffer_history);
    routine::register_code("_read-input", r_read_input);
    routine::register_code("system/console/init", r_console_init);
    routine::register_code("_terminate-console", r_terminate_console);
    routine::register_code("input-stdin", r_input_stdin);
    routine::register_code("read-stdin", r_read_stdin);
    routine::register_code("_lock-cfg", r_lock_cfg);
}

}  // namespace qor::console
