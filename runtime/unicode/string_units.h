// Reading the code units of a string buffer: 1 (Latin-1), 2 (UCS-2) or 4
// (UCS-4) bytes each, in host order and possibly unaligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/core/runtime_process.h"

namespace qor::units {

template <class Unit>
[[nodiscard]] inline uint32_t unit_at(const unsigned char* p, size_t i) {
    Unit u;
    std::memcpy(&u, p + i * sizeof(Unit), sizeof(Unit));
    return u;
}

// The unit of width `unit` (1, 2 or 4) at p.
[[nodiscard]] inline uint32_t read_unit(const uint8_t* p, uint32_t unit) {
    if (unit == 1) return *p;
    if (unit == 2) {
        uint16_t u;
        std::memcpy(&u, p, 2);
        return u;
    }
    uint32_t u;
    std::memcpy(&u, p, 4);
    return u;
}

// Calls f(code point) for each of `count` units of width `unit`.
template <class F>
void for_each_unit(const void* units, size_t count, int unit, F&& f) {
    const auto* p = static_cast<const unsigned char*>(units);
    switch (unit) {
        case 1: for (size_t i = 0; i < count; i++) f(unit_at<uint8_t>(p, i)); break;
        case 2: for (size_t i = 0; i < count; i++) f(unit_at<uint16_t>(p, i)); break;
        case 4: for (size_t i = 0; i < count; i++) f(unit_at<uint32_t>(p, i)); break;
        default: rt::quit(101);  // a unit no string buffer can have
    }
}

}  // namespace qor::units
