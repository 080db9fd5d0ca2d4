// The key codes the line editor receives: a character's code point, or a
// negative code for a key that has no character.
#pragma once

#include <cstdint>

namespace qor::console::key {

inline constexpr int32_t failed = -1;  // the input cannot be read any more
inline constexpr int32_t none = 0;     // a key the editor ignores
inline constexpr int32_t up = -20;
inline constexpr int32_t down = -21;
inline constexpr int32_t right = -22;
inline constexpr int32_t left = -23;
inline constexpr int32_t end = -24;
inline constexpr int32_t home = -25;
inline constexpr int32_t insert = -26;
inline constexpr int32_t del = -27;
inline constexpr int32_t page_up = -28;
inline constexpr int32_t page_down = -29;
// Not a key: the terminal's size changed while waiting for one.
inline constexpr int32_t resized = -100;

inline constexpr int32_t tab = 9;
inline constexpr int32_t enter = 13;
inline constexpr int32_t escape = 27;
inline constexpr int32_t backspace = 8;
inline constexpr int32_t rubout = 127;

// Ctrl and a letter: Ctrl-A is 1, Ctrl-Z 26.
constexpr int32_t ctrl(char letter) { return letter - 'A' + 1; }

}  // namespace qor::console::key
