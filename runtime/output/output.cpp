// The console output layer: print hooks, the UTF-8 writer and the runtime's
// print primitive.
#include "runtime/output/output.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/memory/series.h"
#include "runtime/platform/standard_streams.h"
#include "runtime/unicode/string_units.h"
#include "runtime/unicode/utf8.h"

namespace qor::output {

namespace {

std::vector<StringHook> string_hooks;
std::vector<TextHook> text_hooks;
PrintBracket bracket_before = nullptr;
PrintBracket bracket_after = nullptr;

void before_print() {
    if (bracket_before) bracket_before();
}
void after_print() {
    if (bracket_after) bracket_after();
}

// Output goes out in runs of about a kilobyte.
constexpr size_t buffer_size = 1024;
constexpr size_t flush_threshold = 1020;
char buffer[buffer_size];
size_t buffered = 0;

void flush_buffer() {
    platform::write_fd_raw(1, buffer, buffered);
    buffered = 0;
}

void put_byte(char byte) {
    buffer[buffered++] = byte;
}

// Encodes one code point; the caller has made room for four bytes. A value
// that is no code point prints as the replacement character.
void put_code_point(uint32_t c) {
    if (c > 0x10FFFF) c = 0xFFFD;
    buffered += static_cast<size_t>(utf8::encode_char(c, reinterpret_cast<uint8_t*>(buffer + buffered)));
    if (buffered > flush_threshold - 4) flush_buffer();
}

// Writes formatter output as text and runs the text hooks with it.
void write_formatted(const char* text, int length) {
    if (length <= 0) return;
    for (int i = 0; i < length; i++) put_code_point(static_cast<unsigned char>(text[i]));
    flush_buffer();
    run_hooks(text, static_cast<size_t>(length), 0);
}

}  // namespace

void init() {
    string_hooks.clear();
    text_hooks.clear();
    string_hooks.reserve(5);
    text_hooks.reserve(5);
    add_hook(print_string, nullptr);
}

void print_string(const Cell& string_value, bool newline) {
    before_print();
    const series::Buffer* b = series::buffer(string_value.w2);
    uint32_t width = b->unit();
    // An index past the tail prints nothing rather than reading past it.
    uint64_t start = b->head + uint64_t{string_value.w1} * width;
    uint64_t count = start < b->tail && width != 0 ? (b->tail - start) / width : 0;
    print_units(b->data() + (count ? start : 0), count, static_cast<int>(width), newline);
    std::fflush(nullptr);
    after_print();
}

void set_print_brackets(PrintBracket before, PrintBracket after) {
    bracket_before = before;
    bracket_after = after;
}

void add_hook(StringHook string_hook, TextHook text_hook) {
    if (string_hook) string_hooks.push_back(string_hook);
    if (text_hook) text_hooks.push_back(text_hook);
}

void run_string_hooks(const Cell& string_value, bool newline) {
    for (StringHook hook : string_hooks) hook(string_value, newline);
}

void run_hooks(const char* text, size_t length, int flag) {
    for (TextHook hook : text_hooks) hook(text, length, flag);
}

void print_units(const void* units, size_t count, int width, bool newline) {
    if (width != 1 && width != 2 && width != 4) {
        char line[64];
        int n = std::snprintf(line, sizeof line, "Error: unknown string encoding: %d\n", width);
        flush_buffer();
        platform::write_fd_raw(1, line, static_cast<size_t>(n));
        return;
    }
    units::for_each_unit(units, count, width, put_code_point);
    if (newline) put_byte('\n');
    flush_buffer();
}

void write_c_string(std::string_view bytes) {
    flush_buffer();
    platform::write_fd_raw(1, bytes.data(), bytes.size());
    run_hooks(bytes.data(), bytes.size(), 0);
}

void form_integer(int32_t value) {
    char text[64];
    write_formatted(text, std::snprintf(text, sizeof text, "%i", value));
}

void form_hex8(uint32_t value) {
    char text[64];
    write_formatted(text, std::snprintf(text, sizeof text, "%08X", value));
}

void form_float64(double value) {
    char text[64];
    write_formatted(text, std::snprintf(text, sizeof text, "%.16g", value));
}

void form_float32(float value) {
    char text[64];
    write_formatted(text, std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value)));
}

void print(std::initializer_list<PrintItem> items) {
    before_print();
    for (const PrintItem& item : items) {
        switch (item.kind) {
            case PrintItem::Kind::logic: write_c_string(item.logic ? "true" : "false"); break;
            case PrintItem::Kind::integer: form_integer(item.integer); break;
            case PrintItem::Kind::float64: form_float64(item.float64); break;
            case PrintItem::Kind::float32: form_float32(item.float32); break;
            case PrintItem::Kind::text: write_c_string(item.text); break;
            case PrintItem::Kind::hex: form_hex8(item.hex); break;
        }
    }
    after_print();
}

void flush() { flush_buffer(); }

}  // namespace qor::output
