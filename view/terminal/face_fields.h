// The fields of faces (and of their font and para objects, and of the
// system object) that the terminal engine reads, by name.
//
// Faces are ordinary objects: a field is found by its word, so a face made
// from any prototype that has the field works. The symbols of the names are
// interned once and checked against their spelling when used, so they stay
// right when a test starts a fresh symbol table.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::tui {

enum class Name : uint8_t {
    text, color, font, para, options, draw, pane, state, hint, wrap_q, align, v_align, right, center, middle,
    bottom, done, system, view, awake, screens, size, platform, mouse_event_q,
    count_
};

// The symbol id of a name.
[[nodiscard]] uint32_t symbol_of(Name name);

// Interns every name, so that reading fields allocates nothing afterwards
// (rendering reads texts in place and must not allocate).
void intern_names();

// The value of an object's field, or none when the value is not an object
// or has no such field. The answer is a copy.
[[nodiscard]] Cell field(const Cell& object, Name name);

// Whether a value is the word of a name (ignoring case).
[[nodiscard]] bool is_word(const Cell& value, Name name);

// system/view/<name>, or none.
[[nodiscard]] Cell view_field(Name name);

}  // namespace qor::tui
