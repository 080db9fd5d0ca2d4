// The key codes the line editor receives: a character's code point, or a
// negative code for a key that has no character.
#pragma once

#include <cstdint>

#include "runtime/datatypes/event.h"

namespace qor::console::key {

inline constexpr int32_t failed = -1;  // the input cannot be read any more
inline constexpr int32_t none = 0;     // a key the editor ignores
// The special keys have the codes events carry.
inline constexpr int32_t up = event::key::up;
inline constexpr int32_t down = event::key::down;
inline constexpr int32_t right = event::key::right;
inline constexpr int32_t left = event::key::left;
inline constexpr int32_t end = event::key::end;
inline constexpr int32_t home = event::key::home;
inline constexpr int32_t insert = event::key::insert;
inline constexpr int32_t del = event::key::del;
inline constexpr int32_t page_up = event::key::page_up;
inline constexpr int32_t page_down = event::key::page_down;
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
