// Repeating a unit over a buffer: `insert`, `append` and `change` with /dup
// write one copy of the value and let this fill the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qor {

// `dest` already holds one unit; fills unit × count bytes by copying the
// filled part onto the rest, doubling the copied length each step, then the
// remainder. Answers the end of the filled bytes.
inline uint8_t* fill_pattern(uint8_t* dest, size_t unit, size_t count) {
    const size_t total = unit * count;
    if (count == 0) return dest;
    size_t filled = unit;
    while (filled * 2 <= total) {
        std::memcpy(dest + filled, dest, filled);
        filled *= 2;
    }
    std::memcpy(dest + filled, dest, total - filled);
    return dest + total;
}

}  // namespace qor
