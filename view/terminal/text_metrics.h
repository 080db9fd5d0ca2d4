// Caret and size metrics of a text laid out in character cells: each
// character takes its display width, a line feed starts a new line, and a
// line wraps when it would pass the width limit.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::tui {

// What text_box_metrics answers for each option number.
namespace metric {
inline constexpr int32_t caret_to_position = 0;   // point2D! of a 1-based caret index
inline constexpr int32_t position_to_caret = 1;   // integer! caret index of a point
inline constexpr int32_t line_height = 2;         // float! 1.0
inline constexpr int32_t text_size = 3;           // point2D! widest line x lines
inline constexpr int32_t line_count = 4;          // integer!
inline constexpr int32_t position_to_char = 5;    // integer! character index of a point
inline constexpr int32_t caret_lower_edge = 6;    // point2D! below the caret's row
}  // namespace metric

// The width limit of a face size: its x (a pair or a point, truncated),
// or the largest integer for anything else.
[[nodiscard]] int32_t width_limit(const Cell& size);

// The metric `type` of the string laid out within the face size; `arg` is
// the index or the position the option needs. Unknown options answer none.
[[nodiscard]] Cell text_box_metrics(const Cell& text, const Cell& size, const Cell& arg, int32_t type);

}  // namespace qor::tui
