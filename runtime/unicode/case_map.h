// Simple case mapping: one code point to one code point, both directions.
//
// Used by `uppercase`, `lowercase`, case-insensitive comparison and
// case-insensitive hashing. The mappings are the simple (single code point)
// case mappings of the Unicode Character Database; characters whose upper
// case exists only as several code points (German sharp s, ligatures,
// Greek letters with iota subscript) keep their own form.
#pragma once

#include <cstdint>

namespace qor::unicode {

enum class CaseDirection : uint8_t { lower = 0, upper = 1 };

// The code point in the asked case, or the code point itself when it has no
// mapping in that direction (also for values that are no code point).
[[nodiscard]] uint32_t convert_case(uint32_t cp, CaseDirection direction);

[[nodiscard]] inline uint32_t to_upper(uint32_t cp) { return convert_case(cp, CaseDirection::upper); }
[[nodiscard]] inline uint32_t to_lower(uint32_t cp) { return convert_case(cp, CaseDirection::lower); }

}  // namespace qor::unicode
