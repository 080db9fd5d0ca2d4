// The lexer's entry points: UTF-8 source text to values.
//
// `scan_buffer` cuts the input into tokens with the table automaton
// (lex_tables.h), checks each token and, when loading, builds its value on
// the lexer's value stack. Series under construction wait on that stack
// behind an open marker until their closing token. A listener can watch the
// run (events) and steer it: skip tokens, drop values, suppress errors and
// move the position.
//
// Runs nest: a listener may start another run, whose record is chained
// after the running one and whose cells stack above it. Records keep value
// stack positions as indices, so the stack may grow and move at any time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::lexer {

// Event codes are mask bits.
enum class Event : uint8_t { prescan = 1, scan = 2, load = 4, open = 8, close = 16, error = 32 };
inline constexpr uint8_t all_events = 0x3F;

struct Record;

// What a listener is told. `type` is a datatype id, 0 for none, or for a
// token without a datatype the negative code -(final state - 65). Offsets
// count characters when the input came from a string! (scan_string_value),
// else bytes.
struct EventInfo {
    Event event;
    int32_t type;
    uint32_t line;
    const Cell* value;     // the loaded value (load events), else null
    uint32_t start, end;   // offsets of the token in the input
    uint32_t position;     // the offset the input is reported at
};

// A listener answers true to go on, false to skip, drop or suppress. It may
// set `resume` to another offset (same unit) to move the lexer's position.
struct Listener {
    uint8_t mask = all_events;
    std::function<bool(const EventInfo&, uint32_t& resume)> on_event;
};

struct Options {
    bool one = false;    // stop after the first complete value at top level
    bool scan = true;    // false: prescan only
    bool load = true;    // build values
    bool wrap = false;   // in one mode, still deliver a block
    Listener* listener = nullptr;
    NodeId parent = 0;   // when set, the result is appended to this block
    bool characters = false;  // report offsets in characters (UTF-8 input of a string!)
};

struct Result {
    TypeId type = TypeId::none_id;  // datatype of the last token (error! for an invalid one when not loading)
    uint32_t consumed = 0;          // bytes consumed
};

// Sets up the value stack. Called once by the boot; calling it again resets
// the lexer (only when no run is active).
void init();

// Lexes `length` bytes at `input`, which must stay where they are during the
// run (not inside a series buffer). With load, `dst` (when not null and no
// parent is given) receives a block! of the top-level values, or in one mode
// without wrap the single value. Syntax errors are raised as language errors
// of category syntax.
Result scan_buffer(Cell* dst, const uint8_t* input, size_t length, const Options& options = {});

// Lexes the characters of a string! value from its index (at most `length`
// of them, all when -1), after encoding them as UTF-8 into scratch memory.
Result scan_string_value(Cell* dst, const Cell& string, int32_t length, const Options& options = {});

// Calls `mark` on every value-stack cell in use by an active run; the
// collector's root walk.
void for_each_active_cell(const std::function<void(Cell&)>& mark);

// Number of active runs (0 when idle).
[[nodiscard]] int active_runs();

}  // namespace qor::lexer
