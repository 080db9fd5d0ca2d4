// The natives table: the built-in routines the language reaches through
// native! values, by their fixed numbers 1-107 (of 120 slots).
//
// A native routine runs in the frame of its call. Its arguments are the
// cells from the argument base in interface order (mandatory arguments, then
// those of each present refinement); it receives a check flag (non-zero:
// check each argument against its declared typeset first) and one integer per
// refinement of its interface block, in interface order: -1 when absent, else the index of
// the refinement's first argument cell from the argument base. It leaves
// its result in the first argument cell.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/core/action_ids.h"

namespace qor::natives {

inline constexpr uint32_t table_size = 120;
inline constexpr uint32_t native_count = 107;

using Routine = void (*)(bool check, std::span<const int32_t> refinements);

// Allocates and fills the table (the fill counter then reads 108).
void init();

// The routine of a native number (1-based); nullptr for an empty slot.
[[nodiscard]] Routine code(uint32_t number);
// The next free native number.
[[nodiscard]] uint32_t fill_counter();
// Appends routines at the fill counter.
void fill_table(std::span<const Routine> routines);

// A native's word and the text of its interface block.
[[nodiscard]] std::string_view word_of(uint32_t number);
[[nodiscard]] std::string_view spec_text_of(uint32_t number);

// A block read from the plain interface notation used for built-in interface blocks: words,
// 'lit-words, :get-words, /refinements, set-words and [type blocks].
[[nodiscard]] Cell spec_block(std::string_view text);

// The native! value of a number.
[[nodiscard]] Cell make(uint32_t number);
// An action! value of the number with the interface block.
[[nodiscard]] Cell make_action(Action a, std::string_view spec_text);

// Sets every native's word in the global context to its native! value.
void define_all();

// Calls a native from compiled code: with the check flag set, each argument
// of the current frame (the mandatory ones, and those of each present
// refinement) is first checked against its declared typeset (script
// expect-arg with the native's word, the datatype and the argument's word).
void call(uint32_t number, bool check, std::span<const int32_t> refinements);

}  // namespace qor::natives
