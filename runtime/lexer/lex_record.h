// The per-run lexer record and the driver services that the scanners and
// loaders use: the value stack, series nesting, events and syntax errors.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/lexer/lex_tables.h"
#include "runtime/lexer/lexer.h"

namespace qor::lexer {

struct Record {
    Record* next = nullptr;    // the run started while this one runs
    Record* parent = nullptr;  // the run that was running when this one started
    uint32_t base = 0;         // first value-stack cell of this run
    uint32_t head = 0;         // first cell of the innermost open series
    uint32_t top = 0;          // next free value-stack cell
    const uint8_t* input = nullptr;
    uint32_t end = 0;          // input length
    uint32_t pos = 0;          // current byte position
    uint32_t token_end = 0;
    uint32_t line = 1;
    uint32_t token_lines = 0;
    int32_t fallback_type = -1;
    TypeId token_type = TypeId::none_id;
    uint8_t start_state = start_normal;
    uint8_t previous_state = 0;
    TypeId series_type = TypeId::none_id;
    TypeId previous_token_type = TypeId::none_id;
    uint32_t string_start = 0;   // where the current brace string began
    uint32_t brace_depth = 0;
    uint32_t brace_flags = 0;    // token flags accumulated over a brace string
    bool brace_new_line = false;
    Listener* listener = nullptr;
    uint8_t event_mask = 0;
    bool load = true;
    bool one = false;
    bool scan = true;
    bool error_raised = false;   // an error is pending (raised inside the run)
    bool characters = false;     // events count characters, not bytes
    uint32_t cache_byte = 0;     // the last byte offset turned into characters...
    uint32_t cache_char = 0;     // ...and its character offset
};

// Raised inside a run to end it early: an error in a run that does not load,
// or a listener that stopped it.
struct Abort {};
// Raised when a listener suppressed an error: the token is dropped and the
// run goes on from the current position.
struct Skip {};

// --- The value stack -------------------------------------------------------

// The stack's cells; valid until the next stack_alloc.
[[nodiscard]] Cell* stack_cells();
// A new unset! cell at the record's top (the stack grows by doubling) with
// the new-line flag when the current token crossed a line feed. Answers its
// index.
uint32_t stack_alloc(Record& r);
// Pushes a finished value (keeping the new-line rule).
void push_value(Record& r, const Cell& value);

// --- Series nesting --------------------------------------------------------

// Open markers are triple! cells: w1 cells from the enclosing head, w2 the
// series type (low 16 bits) and comma count (bits 16-23), w3 the byte offset
// of the opening token.
inline constexpr uint32_t marker_type_mask = 0xFFFF;
inline constexpr uint32_t marker_comma_shift = 16;

void open_series(Record& r, TypeId type, uint32_t start, uint32_t end);
// Closes the innermost series; `expected` is its type, or none_id for
// whatever is open.
void close_series(Record& r, uint32_t start, uint32_t end, TypeId expected, bool quiet);
// The innermost open marker, or null at top level.
[[nodiscard]] Cell* innermost_marker(Record& r);
void close_paths(Record& r);

// --- Events and errors -----------------------------------------------------

// Calls the listener when the event is in its mask; true otherwise.
bool fire_event(Record& r, Event event, int32_t type, const Cell* value, uint32_t start, uint32_t end);

// Syntax error kinds other than a datatype id.
inline constexpr int kind_bad_char = -1;
inline constexpr int kind_malconstruct = -2;
inline constexpr int kind_missing = -3;
inline constexpr int kind_missing_end = -4;
inline constexpr uint32_t no_start = 0xFFFFFFFF;

// Raises the syntax error of `kind` (a datatype id or one of the kinds
// above) with the excerpt from `start` (no_start: the innermost opening).
// Throws Skip when a listener suppressed the error.
[[noreturn]] void syntax_error(Record& r, uint32_t start, uint32_t end, int kind);

// The invalid error of a datatype.
inline void invalid(Record& r, uint32_t start, uint32_t end, TypeId type) {
    syntax_error(r, start, end, to_int(type));
}

// --- Scanners and loaders ----------------------------------------------------

using Routine = void (*)(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load);

struct FinalRoutines {
    Routine scanner;
    Routine loader;
};
// Per final state (index state - 66).
[[nodiscard]] const FinalRoutines& routines_of(uint8_t final_state);

// Whether the "(" at `open` begins a point literal.
[[nodiscard]] bool starts_point(const Record& r, uint32_t open);

// Path-end decision after an element (start state 59).
void scan_path_end(Record& r);

// The scanners and loaders, by file.
namespace scanners {
// Structural tokens and paths.
void end(Record&, uint32_t, uint32_t, uint32_t, bool);
void invalid_token(Record&, uint32_t, uint32_t, uint32_t, bool);
void block_open(Record&, uint32_t, uint32_t, uint32_t, bool);
void block_close(Record&, uint32_t, uint32_t, uint32_t, bool);
void paren_open(Record&, uint32_t, uint32_t, uint32_t, bool);
void paren_close(Record&, uint32_t, uint32_t, uint32_t, bool);
void brace_open(Record&, uint32_t, uint32_t, uint32_t, bool);
void brace_close(Record&, uint32_t, uint32_t, uint32_t, bool);
void map_open(Record&, uint32_t, uint32_t, uint32_t, bool);
void path_slash(Record&, uint32_t, uint32_t, uint32_t, bool);
void construct(Record&, uint32_t, uint32_t, uint32_t, bool);
void comment(Record&, uint32_t, uint32_t, uint32_t, bool);
void comma(Record&, uint32_t, uint32_t, uint32_t, bool);
// Text values.
void string(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_string(Record&, uint32_t, uint32_t, uint32_t, bool);
void word(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_word(Record&, uint32_t, uint32_t, uint32_t, bool);
void issue(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_issue(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_refinement(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_char(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_file(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_binary(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_tag(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_url(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_email(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_raw_string(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_ref(Record&, uint32_t, uint32_t, uint32_t, bool);
// Numbers, dates and times.
void load_integer(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_hex_integer(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_float(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_special_float(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_percent(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_tuple(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_pair(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_point(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_time(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_money(Record&, uint32_t, uint32_t, uint32_t, bool);
void load_date(Record&, uint32_t, uint32_t, uint32_t, bool);
}  // namespace scanners

// The buffer that text is decoded into before it becomes a value.
[[nodiscard]] std::vector<uint32_t>& code_point_scratch();
// A string-family value of `type` holding the code points.
[[nodiscard]] Cell make_text_value(TypeId type, const std::vector<uint32_t>& cps);
// A string-family value of `type` decoded from UTF-8 bytes (no escapes).
[[nodiscard]] Cell make_text_from_utf8(TypeId type, const uint8_t* bytes, size_t n);
// Pushes a word of `type` spelled by input[start, end).
void push_word(Record& r, TypeId type, uint32_t start, uint32_t end);
// Decodes a quoted text body with "^" escapes (when `escapes`) and UTF-8
// into code points; false when an escape or a sequence does not decode.
[[nodiscard]] bool decode_text(const uint8_t* p, const uint8_t* end, bool escapes, std::vector<uint32_t>& out);
// Checks (and with load pushes) a string! from the text body
// input[start, end) with "^" escapes when the flags hold a caret.
void string_body(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load, uint32_t error_start);
// A block-family value holding a copy of the cells.
[[nodiscard]] Cell make_block_value(TypeId type, const Cell* cells, uint32_t count);

}  // namespace qor::lexer
