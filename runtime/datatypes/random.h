// The process-wide pseudo-random generator behind the `random` action, and
// the secure source behind /secure.
//
// The generator is a 624-word Mersenne Twister whose right shifts are
// arithmetic shifts of signed 32-bit words. That gives a different sequence
// from the published MT19937, and it is the sequence `random` is defined by,
// so it must not be "corrected". The state is not twisted before the first
// 624 outputs after seeding: those temper the seeded words themselves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace qor::random {

class Generator {
public:
    static constexpr int32_t start_seed = 19650218;
    static constexpr size_t state_words = 624;

    constexpr explicit Generator(int32_t seed_value = start_seed) noexcept { seed(seed_value); }

    // Fills the state from the seed and restarts the output at its first word.
    constexpr void seed(int32_t seed_value) noexcept {
        state_[0] = static_cast<uint32_t>(seed_value);
        for (uint32_t i = 1; i < state_words; i++) {
            uint32_t prev = state_[i - 1];
            state_[i] = 1812433253u * (prev ^ shift_right(prev, 30)) + i;
        }
        index_ = 0;
    }

    // The next output, from 0 to 2^31 - 1: the last tempering step always
    // clears the sign bit.
    [[nodiscard]] int32_t next() noexcept;

private:
    // Arithmetic right shift of the word read as signed: the sign bit is
    // copied into the vacated bits.
    static constexpr uint32_t shift_right(uint32_t word, int count) noexcept {
        return static_cast<uint32_t>(static_cast<int32_t>(word) >> count);
    }

    void twist() noexcept;

    // Words are kept unsigned so that multiplication and left shifts wrap.
    std::array<uint32_t, state_words> state_{};
    size_t index_ = 0;
};

// Restarts the process-wide generator from the start seed (a fresh process
// already starts there).
void init() noexcept;

// Reseeds the process-wide generator; the same seed gives the same sequence.
void seed(int32_t seed_value) noexcept;

// The next output of the process-wide generator, from 0 to 2^31 - 1.
[[nodiscard]] int32_t next() noexcept;

// Four bytes of the secure source read as a little-endian word with the sign
// bit cleared, from 0 to 2^31 - 1. Never touches the generator. Nothing when
// the source fails: the native turns that into an error.
[[nodiscard]] std::optional<int32_t> secure_next() noexcept;

// A uniform random integer from 1 to n for n > 0, from -1 down to n for
// n < 0, and 0 for n = 0; drawn from the secure source when `secure`, else
// from the generator. Nothing only when the secure source fails.
[[nodiscard]] std::optional<int32_t> int_below(int32_t n, bool secure) noexcept;

}  // namespace qor::random
