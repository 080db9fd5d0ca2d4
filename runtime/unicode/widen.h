// Widening a string's code units in place: 1 to 2, 1 to 4 or 2 to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::unicode {

// Converts `count` units of `from` bytes at data into units of `to` bytes
// (to > from) in the same memory, which must hold count × to bytes. It
// works from the last unit backwards, so no unit is overwritten before it
// is read. Every code point keeps its value.
void widen_units(uint8_t* data, size_t count, int from, int to);

}  // namespace qor::unicode
