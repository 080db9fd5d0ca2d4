// Draws for the `random` actions of the scalar datatypes: from the
// process-wide generator, or from the secure source with /secure. A secure
// source that fails raises internal `not-done` rather than giving a number
// that is not random.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/random.h"

namespace qor::random_draw {

[[nodiscard]] inline int32_t checked(std::optional<int32_t> v) {
    if (!v) error::fire(error::Id::not_done);
    return *v;
}

// A number from 0 to 2^31 - 1.
[[nodiscard]] inline int32_t next(bool secure) { return secure ? checked(random::secure_next()) : random::next(); }

// From 1 to n (n > 0), -1 down to n (n < 0), 0 for 0.
[[nodiscard]] inline int32_t below(int32_t n, bool secure) { return checked(random::int_below(n, secure)); }

}  // namespace qor::random_draw
