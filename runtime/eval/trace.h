// Tracing: while on, the interpreter reports its steps (events) to a
// callback function, which receives the event word, the code block, the
// offset of the position in it, the value, a reference and the frame's
// stack positions. Tracing is switched off while the callback runs, so a
// callback never traces itself.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::trace {

enum Event : uint32_t {
    init = 0x1,
    end = 0x2,
    prolog = 0x4,
    epilog = 0x8,
    enter = 0x10,
    exit = 0x20,
    open = 0x40,
    return_ = 0x80,
    fetch = 0x100,
    push = 0x200,
    set = 0x400,
    call = 0x800,
    error = 0x1000,
    throw_ = 0x2000,
    catch_ = 0x4000,
    expr = 0x8000,
};

inline constexpr uint32_t all_events = 0x1FFFF;

struct State {
    bool on = false;
    Cell callback = unset_cell;  // a function!
    uint32_t mask = 0;
    bool saved_on = false;       // what functions that ask for tracing switch on
};

extern State state;

// Whether the event is reported at all (the check every step makes).
[[nodiscard]] inline bool wanted(uint32_t event) { return state.on && (state.mask & event) != 0; }

// Reports an event: the code block (its node, or 0 for none) and the
// position in it (-1 for none), the reference and the value (nullptr for
// none). An exit the callback starts is left pending for the caller.
void fire(uint32_t event, NodeId code, int64_t position, const Cell* reference, const Cell* value);

// The event mask a callback asks for: the events named in a block at the
// head of its body, or every event.
[[nodiscard]] uint32_t mask_of(const Cell& callback);

}  // namespace qor::trace
