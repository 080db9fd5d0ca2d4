// handle!: an opaque reference to a platform object (a POSIX file
// descriptor, a terminal widget). The language holds, compares and prints
// handles but does not compute with them; the code that owns the object
// makes them.
//
//   word 1  the kind (below)
//   word 2  the value: the object's platform number (a file descriptor) or
//           an index of the code that owns it
//   word 3  -1
//
// Two handles are equal when their values are; the kind does not count.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"

namespace qor::handle_type {

// The kinds; `mold/all` shows the name of every kind above null.
enum class Kind : uint32_t { null = 0, fd = 1, monitor = 2, window = 3, font = 4, rich_text = 5 };

// The kind's name ("fd", "window"); empty for null and unknown kinds.
[[nodiscard]] std::string_view kind_name(uint32_t kind);

Cell* make_at(Cell& cell, int32_t value, Kind kind);
Cell* box(int32_t value, Kind kind);
Cell* push(int32_t value, Kind kind);

[[nodiscard]] inline int32_t value_of(const Cell& c) { return static_cast<int32_t>(c.w2); }
[[nodiscard]] inline uint32_t kind_of(const Cell& c) { return c.w1; }

void init();  // registers handle! (a child of integer! that inherits nothing)

}  // namespace qor::handle_type
