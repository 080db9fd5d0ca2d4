// How many terminal cells a code point takes: none for combining marks,
// two for East Asian wide and fullwidth characters, one otherwise.
#pragma once

#include <cstdint>

namespace qor::unicode {

// 0, 1 or 2. NUL takes none; the other control characters count as one
// cell (the caller decides how to show them).
[[nodiscard]] int char_width(uint32_t cp);

}  // namespace qor::unicode
