// The built-in routines of the environment other than the type tests:
// quitting, quiet setters, bit shifts, the current directory, directories
// and files, OS information, colours and addresses as tuples, UTF-8
// counting, data- and call-stack introspection, the clipboard and standard
// output; and the constant null-handle.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/environment/routines.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/words/call_listing.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/eval/trace.h"
#include "runtime/host/clipboard.h"
#include "runtime/host/file_ops.h"
#include "runtime/host/file_write.h"
#include "runtime/host/os_info.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/output/output.h"
#include "runtime/platform/current_dir.h"
#include "runtime/platform/terminal_mode.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::environment {

namespace {

Cell* arg(uint32_t i) { return stack::data.base + i; }


// ---- quitting and quiet setting

// Ends the process at once: what was printed is flushed, no further
// language code runs.
void quit_return() {
    const int status = integer::get(*arg(0));
    output::flush();
    std::fflush(nullptr);
    platform::restore_terminal();
    _exit(status);
}

void set_quiet() {
    Cell word = *arg(0);
    const TypeId t = type_of(word);
    if (t != TypeId::word && t != TypeId::set_word && t != TypeId::lit_word && t != TypeId::get_word)
        error::expect_arg(word::load("set-quiet"), t, word::load("word"));
    context::set_word_value(word, *arg(1), word::context_of(word), false);
    *arg(0) = *arg(1);
}

void set_slot_quiet() {
    const Cell series = *arg(0);
    switch (type_of(series)) {
        case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
        case TypeId::set_path: case TypeId::get_path:
            break;
        default: error::expect_arg(word::load("set-slot-quiet"), TypeId::block, word::load("series"));
    }
    series::Buffer* b = series::buffer(series.w2);
    if (series.w1 < b->length()) b->cells()[series.w1] = *arg(1);
}

// ---- shifts: arithmetic or logical right, and left; counts of 32 or more
// shift every bit out, negative counts shift nothing.

int32_t shifted(int32_t data, int32_t bits, bool left, bool logical) {
    if (bits < 0) bits = 0;
    const uint32_t u = static_cast<uint32_t>(data);
    if (left) return bits >= 32 ? 0 : static_cast<int32_t>(u << bits);
    if (logical) return bits >= 32 ? 0 : static_cast<int32_t>(u >> bits);
    if (bits >= 32) return data < 0 ? -1 : 0;
    return data >> bits;  // arithmetic on negative values
}

void shift_routine(bool left, bool logical) {
    integer::box(shifted(integer::get(*arg(0)), integer::get(*arg(1)), left, logical));
}
void shift_right() { shift_routine(false, false); }
void shift_left() { shift_routine(true, false); }
void shift_logical() { shift_routine(false, true); }

// ---- output state, directories and files

void last_lf() { logic::box(natives::impl::last_print_newline()); }

// A file! value of a local path, in the result slot.
void box_file(const std::string& path) {
    Cell* s = str::push_new(reinterpret_cast<const uint8_t*>(path.data()), path.size());
    set_type_keep_flags(*s, TypeId::file);
    *stack::data.base = *s;
    stack::pop();
}

void get_current_dir() {
    const std::string dir = platform::get_current_dir();
    if (dir.empty()) {
        *stack::data.base = none::value;
        return;
    }
    box_file(dir.back() == '/' ? dir : dir + "/");
}

void set_current_dir() {
    if (!platform::set_current_dir(url_text::to_local(*arg(0), false)))
        error::fire(error::Id::cannot_open, {*arg(0)});
}

void create_dir() {
    if (!host::make_dir(url_text::to_local(*arg(0), false)))
        error::fire(error::Id::no_create, {*arg(0)});
}

void exists() { logic::box(host::exists(url_text::to_local(*arg(0), false))); }

// An object [name arch version build], the version a tuple of three bytes.
void os_info() {
    const host::OsInfo info = host::os_info();
    const size_t depth = stack::depth();
    Cell* spec = block::push_new(8);
    const Cell* name = str::push_new(reinterpret_cast<const uint8_t*>(info.name.data()), info.name.size());
    const Cell* ver = tuple::push(info.version);
    auto field = [&](std::string_view key, const Cell& value) {
        const Cell* kept = stack::push(value);
        Cell* w = word::load_in(key, spec->w2);
        set_type_keep_flags(*w, TypeId::set_word);
        block::append_cell(*spec, *kept);
        stack::pop();
    };
    field("name", *name);
    field("arch", word::load(info.arch));
    field("version", *ver);
    field("build", Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(info.build), 0});
    const Cell* object = object::push_new(*spec, nullptr, true);
    *stack::data.base = *object;
    stack::data.top = stack::data.bottom + depth;
}

// ---- colours and addresses

// The arguments as 32-bit words; the first negative one raises invalid-arg.
template <size_t N>
std::array<uint32_t, N> components() {
    std::array<uint32_t, N> c{};
    for (size_t i = 0; i < N; i++) {
        const int32_t v = get_int(*arg(i));
        if (v < 0) error::fire(error::Id::invalid_arg, {*arg(i)});
        c[i] = static_cast<uint32_t>(v);
    }
    return c;
}

// r.g.b, each component modulo 256.
void as_color() {
    const auto c = components<3>();
    const uint8_t b[3] = {static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2])};
    tuple::make_at(*arg(0), b);
}

// a.b.c.d: the components shifted into place and combined with or, so a
// component above 255 runs into the next one.
void as_ipv4() {
    const auto c = components<4>();
    const uint32_t word = c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24;
    const uint8_t b[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word >> 16),
                          static_cast<uint8_t>(word >> 24)};
    tuple::make_at(*arg(0), b);
}

// ---- UTF-8 counting and introspection

// Characters decoded from start's index up to pos's index in start's buffer;
// each lead byte announces its sequence's length.
void count_chars() {
    const Cell start = *arg(0), pos = *arg(1);
    const series::Buffer* b = series::buffer(start.w2);
    const uint32_t end = pos.w1 < b->length() ? pos.w1 : b->length();
    const uint8_t* p = b->data();
    int32_t count = 0;
    for (uint32_t i = start.w1; i < end; count++) {
        const uint8_t lead = p[i];
        i += lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    }
    integer::box(count);
}

void stack_size() { integer::box(static_cast<int32_t>(stack::depth())); }

void pick_stack() {
    const int32_t i = integer::get(*arg(0));
    if (i > 0 && static_cast<size_t>(i) < stack::depth()) *stack::data.base = stack::data.bottom[i - 1];
    else *stack::data.base = none::value;
}

void frame_index() { integer::box(static_cast<int32_t>(stack::data.base - stack::data.bottom)); }

void collect_calls() { stack::collect_calls(1, arg(0)->w2, stack::call_depth()); }

void tracing() { logic::box(trace::state.on); }

// Tracing can only be switched on inside a traced evaluation, where a
// callback is there to receive the events.
void set_tracing() { trace::state.on = logic::get(*arg(0)) && trace::state.saved_on; }

// ---- the clipboard

void read_clipboard() { host::clipboard::read(*stack::data.base); }

void write_clipboard() { logic::box(host::clipboard::write(*arg(0))); }

// ---- standard output: a string as UTF-8, a binary as its bytes, any other
// value molded.

void write_stdout() {
    const Cell data = *arg(0);
    std::string bytes;
    if (type_of(data) == TypeId::binary) {
        const series::Buffer* b = series::buffer(data.w2);
        if (data.w1 < b->length()) bytes.assign(reinterpret_cast<const char*>(b->data()) + data.w1, b->length() - data.w1);
    } else if (is_any_string(type_of(data))) {
        bytes = str::to_utf8(data);
    } else {
        Cell* buffer = stack::push(none::value);
        text_buffer::make(*buffer);
        actions::call_mold(data, *buffer, false, false, false, nullptr, 0, 0);
        bytes = str::to_utf8(*buffer);
        stack::pop();
    }
    host::Output out = host::Output::standard_output();
    out.write(bytes);
}

}  // namespace

void define_system_routines() {
    host::clipboard::init();
    define_routine("quit-return",
                   R"spec(["Stops evaluation and exits the program with a given status"
                       status [integer!] "Process termination value to return"])spec",
                   quit_return);
    define_routine("set-quiet",
                   R"spec(["Set an object's field to a value without triggering eventual object's events"
                       word [any-type!] value [any-type!] return: [any-type!]])spec",
                   set_quiet);
    define_routine("set-slot-quiet",
                   R"spec(["Set a value in series without triggering eventual owner's events"
                       series [any-type!] value [any-type!]])spec",
                   set_slot_quiet);
    define_routine("shift-right", R"spec(["Shift bits to the right" data [integer!] bits [integer!]])spec", shift_right);
    define_routine("shift-left", R"spec(["Shift bits to the left" data [integer!] bits [integer!]])spec", shift_left);
    define_routine("shift-logical", R"spec(["Shift bits to the right (unsigned)" data [integer!] bits [integer!]])spec",
                   shift_logical);
    define_routine("last-lf?", R"spec(["Internal Use Only"])spec", last_lf);
    define_routine("get-current-dir", R"spec(["Returns the platform's current directory for the process"])spec",
                   get_current_dir);
    define_routine("set-current-dir", R"spec(["Sets the platform's current process directory" path [file!]])spec",
                   set_current_dir);
    define_routine("create-dir", R"spec(["Create the given directory" path [file!]])spec", create_dir);
    define_routine("exists?", R"spec(["Returns TRUE if the file exists" path [file!] return: [logic!]])spec", exists);
    define_routine("os-info", R"spec(["Returns detailed operating system version information"])spec", os_info);
    define_routine("as-color",
                   R"spec(["Combine R, G and B values into a tuple" r [integer!] g [integer!] b [integer!]])spec",
                   as_color);
    define_routine("as-ipv4",
                   R"spec(["Combine a, b, c and d values into a tuple" a [integer!] b [integer!] c [integer!] d [integer!]])spec",
                   as_ipv4);
    define_routine("as-rgba",
                   R"spec(["Combine R, G, B and A color components into a tuple" r [integer!] g [integer!] b [integer!] a [integer!]])spec",
                   as_ipv4);
    define_routine("count-chars",
                   R"spec(["Count UTF-8 encoded characters between two positions in a binary series"
                       start [binary!] pos [binary!] return: [integer!]])spec",
                   count_chars);
    define_routine("stack-size?", R"spec([return: [integer!]])spec", stack_size);
    define_routine("pick-stack", R"spec([idx [integer!]])spec", pick_stack);
    define_routine("frame-index?", R"spec([return: [integer!]])spec", frame_index);
    define_routine("collect-calls", R"spec([blk [block!]])spec", collect_calls);
    define_routine("tracing?", R"spec([])spec", tracing);
    define_routine("set-tracing", R"spec(["Internal Use Only" on [logic!]])spec", set_tracing);
    define_routine("read-clipboard",
                   R"spec(["Return the contents of the system clipboard"
                       return: [any-type!] "false on failure, none if empty, otherwise: string!, block! of files!, or an image!"])spec",
                   read_clipboard);
    define_routine("write-clipboard",
                   R"spec(["Write content to the system clipboard"
                       data [any-type!] "string!, block! of files!, an image! or none!"
                       return: [logic!] "indicates success"])spec",
                   write_clipboard);
    define_routine("write-stdout", R"spec([data [any-type!] "Write data to STDOUT"])spec", write_stdout);

    Cell null_handle = unset_cell;
    handle_type::make_at(null_handle, 0, handle_type::Kind::null);
    Cell w = word::load("null-handle");
    context::set(w, null_handle);
}

}  // namespace qor::environment
