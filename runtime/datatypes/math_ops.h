// Operation codes of the scalar arithmetic routines, shared by integer!,
// char!, float! and the datatypes that hand their arithmetic to them.
#pragma once

#include <cstdint>

namespace qor {

enum class MathOp : uint8_t {
    add = 0,
    subtract = 1,
    multiply = 2,
    divide = 3,
    remainder = 4,
    or_ = 5,
    and_ = 6,
    xor_ = 7,
};

// The refinements of `round`, as its routines receive them.
struct RoundFlags {
    bool even = false;
    bool down = false;
    bool half_down = false;
    bool floor = false;
    bool ceiling = false;
    bool half_ceiling = false;
};

}  // namespace qor
