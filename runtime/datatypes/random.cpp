// The random generator and the bounded draw.
#include "runtime/datatypes/random.h"

#include <limits>

#include "runtime/platform/secure_random.h"

namespace qor::random {

namespace {

constexpr size_t twist_offset = 397;

// Seeded at compile time, so the generator is ready before any code runs.
constinit Generator process_generator{Generator::start_seed};

}  // namespace

// Each word is replaced by its partner 397 words on, xored with the mixed
// top bit of this word and low bits of the next, shifted right by one
// (arithmetically: a set top bit stays set in bits 31 and 30), and with the
// matrix constant when that mix is odd. The last word wraps to the first.
void Generator::twist() noexcept {
    for (size_t i = 0; i < state_words; i++) {
        uint32_t next_word = state_[i + 1 < state_words ? i + 1 : 0];
        uint32_t y = (state_[i] & 0x80000000u) | (next_word & 0x7FFFFFFFu);
        uint32_t mixed = state_[(i + twist_offset) % state_words] ^ shift_right(y, 1);
        state_[i] = (y & 1) ? mixed ^ 0x9908B0DFu : mixed;
    }
}

int32_t Generator::next() noexcept {
    if (index_ == state_words) {
        twist();
        index_ = 0;
    }
    uint32_t y = state_[index_++];
    y ^= shift_right(y, 11);
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= shift_right(y, 18);
    return static_cast<int32_t>(y);
}

void init() noexcept { process_generator.seed(Generator::start_seed); }

void seed(int32_t seed_value) noexcept { process_generator.seed(seed_value); }

int32_t next() noexcept { return process_generator.next(); }

std::optional<int32_t> secure_next() noexcept {
    uint8_t bytes[4];
    if (!platform::secure_random_bytes(bytes)) return std::nullopt;
    uint32_t word = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                    uint32_t(bytes[3]) << 24;
    return static_cast<int32_t>(word & 0x7FFFFFFFu);
}

// Draws below the largest multiple of |n| that fits in 31 bits are kept, so
// every residue is equally likely. The most negative n has no positive
// counterpart; one draw d gives -1 - d, which covers -1 down to n exactly.
std::optional<int32_t> int_below(int32_t n, bool secure) noexcept {
    auto draw = [secure]() -> std::optional<int32_t> {
        if (secure) return secure_next();
        return next();
    };
    if (n == 0) return 0;
    if (n == std::numeric_limits<int32_t>::min()) {
        auto d = draw();
        if (!d) return std::nullopt;
        return -1 - *d;
    }
    const int32_t bound = n < 0 ? -n : n;
    const int32_t limit = (std::numeric_limits<int32_t>::max() / bound) * bound;
    std::optional<int32_t> d;
    do {
        d = draw();
        if (!d) return std::nullopt;
    } while (*d >= limit);
    const int32_t result = *d % bound + 1;
    return n < 0 ? -result : result;
}

}  // namespace qor::random
