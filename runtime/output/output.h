// The console output layer: every text the language prints leaves the
// process here.
//
// Two lists of hooks receive output. String hooks get a `string!` value and a
// newline flag (the default one, `print_string`, writes it to standard
// output); text hooks get raw text right after it was written. The writers
// turn 1-, 2- or 4-byte units into UTF-8 on standard output. On Linux a
// terminal and a pipe get the same bytes: escape sequences pass through
// untouched (the terminal interprets them) and lines end in LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace qor {
struct Cell;
}

namespace qor::output {

using StringHook = void (*)(const Cell& string_value, bool newline);
using TextHook = void (*)(const char* text, size_t length, int flag);

// Sets up the hook lists; called by the runtime boot before anything prints.
void init();

// Appends each non-null hook to its list.
void add_hook(StringHook string_hook, TextHook text_hook);

// The print brackets: called before and after every string print and every
// print of the runtime's print primitive, so that an interface drawn inline
// on the terminal is erased before the text and redrawn after it. The
// interface engine sets them while it draws; null for none.
using PrintBracket = void (*)();
void set_print_brackets(PrintBracket before, PrintBracket after);

// Calls every string hook in order (the print natives come here).
void run_string_hooks(const Cell& string_value, bool newline);

// Calls every text hook in order.
void run_hooks(const char* text, size_t length, int flag);

// The default string hook: the string's text from its index to the tail,
// in the unit width of its buffer, between the print brackets. A string cell holds its head index in word 1 and its node in
// word 2.
void print_string(const Cell& string_value, bool newline);

// Writes `count` units of `width` bytes (1 Latin-1, 2 UCS-2, 4 UCS-4) as
// UTF-8, with a line feed after them when `newline` is set. Any other width
// prints "Error: unknown string encoding: " and the width instead.
void print_units(const void* units, size_t count, int width, bool newline);

// Writes NUL-free bytes unchanged, then runs the text hooks with them.
void write_c_string(std::string_view bytes);

// Formatters: each writes its value and runs the text hooks.
void form_integer(int32_t value);   // "%i"
void form_hex8(uint32_t value);     // "%08X"
void form_float64(double value);    // "%.16g"
void form_float32(float value);     // "%.7g"

// One item of the runtime's print primitive.
struct PrintItem {
    enum class Kind { logic, integer, float64, float32, text, hex } kind;
    union {
        bool logic;
        int32_t integer;
        double float64;
        float float32;
        uint32_t hex;
    };
    std::string_view text;

    PrintItem(bool v) : kind(Kind::logic), logic(v) {}
    PrintItem(int32_t v) : kind(Kind::integer), integer(v) {}
    PrintItem(double v) : kind(Kind::float64), float64(v) {}
    PrintItem(float v) : kind(Kind::float32), float32(v) {}
    PrintItem(const char* v) : kind(Kind::text), hex(0), text(v) {}
    PrintItem(std::string_view v) : kind(Kind::text), hex(0), text(v) {}
    static PrintItem as_hex(uint32_t v) {
        PrintItem item(int32_t(0));
        item.kind = Kind::hex;
        item.hex = v;
        return item;
    }
};

// The runtime's print primitive: the items without separators, between the
// print brackets.
void print(std::initializer_list<PrintItem> items);

// Pushes buffered output to the file descriptor.
void flush();

}  // namespace qor::output
