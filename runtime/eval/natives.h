// The natives table: the built-in routines the language reaches through
// native! values, by their fixed numbers (core/native_ids.h lists them).
//
// A native routine runs in the frame of its call. Its arguments are the
// cells from the argument base in interface order (mandatory arguments, then
// those of each present refinement); it receives a check flag (always false
// from the evaluator, which has checked the arguments) and one integer per
// refinement of its interface block, in interface order: -1 when absent,
// else the index of the refinement's first argument cell from the argument
// base. It leaves its result in the first argument cell.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/core/action_ids.h"
#include "runtime/core/cell.h"
#include "runtime/core/native_ids.h"

namespace qor::natives {

using NativeFn = void (*)(bool check, std::span<const int32_t> refinements);

// The table as the routine files fill it: one slot per native, by name.
class Table {
public:
    NativeFn& operator[](Native n) { return slots_[to_int(n) - 1]; }
    [[nodiscard]] NativeFn at(uint32_t number) const {
        return number >= 1 && number <= table_size ? slots_[number - 1] : nullptr;
    }
    NativeFn slots_[table_size] = {};
};

// Fills the table: every listed native gets its routine.
void init();

// The routine of a native number; nullptr for a number no native has.
[[nodiscard]] NativeFn code(uint32_t number);

// A block read from the plain interface notation used for built-in interface blocks: words,
// 'lit-words, :get-words, /refinements, set-words and [type blocks].
[[nodiscard]] Cell spec_block(std::string_view text);

// An action! value of the number with the interface block.
[[nodiscard]] Cell make_action(Action a, std::string_view spec_text);

// The check the boot makes once the environment has run: every listed
// native's word is set in the global context to the native! of its number.
// Answers the first word that is not, or nothing.
[[nodiscard]] std::optional<std::string> first_undefined();

// What lets time pass inside `wait`: the interface engine runs its event
// loop for the duration and answers true, or answers false and the process
// sleeps. Null: always sleep.
using WaitHook = bool (*)(double seconds);
void set_wait_hook(WaitHook hook);

}  // namespace qor::natives
