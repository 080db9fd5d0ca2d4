// The argument cache of a function, native or action: its interface block read once
// into the form that argument collection walks on every call.
//
// One entry per argument or refinement, in interface order:
//   an argument   a typeset! cell of the accepted datatypes; header bits
//                 20-21 the kind (0 evaluated, 1 get-word: taken as it is,
//                 2 lit-word: taken literally); word 3 (unused by the
//                 datatype bits) the argument's symbol, for messages
//   a refinement  a refinement! cell (the declared word)
// then, last, an integer!: for functions and routines the number of locals to set up
// (the /local flag and its words; present only when there are locals), for
// natives and actions the number of refinements. The set-word `return:`
// takes no argument and leaves no entry. An entry's position is the value's
// position in a function's frame.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace qor::arg_cache {

inline constexpr uint32_t kind_shift = 20;
inline constexpr uint32_t kind_mask = 3u << 20;

enum class Kind : uint32_t { evaluated = 0, get = 1, literal = 2 };

[[nodiscard]] inline Kind kind_of(const Cell& entry) {
    return static_cast<Kind>((entry.header & kind_mask) >> kind_shift);
}

// Whether the typeset entry admits the datatype (ids below 64).
[[nodiscard]] inline bool admits(const Cell& entry, TypeId t) {
    const uint32_t id = to_int(t);
    const uint32_t word = id < 32 ? entry.w1 : entry.w2;
    const uint32_t byte = (id & 31) >> 3;
    return (word >> (byte * 8) & (0x80u >> (id & 7))) != 0;
}

// Builds and stores the cache of the value; answers its node.
NodeId make_for(const Cell& fn);

// The cache of the value (built on first use); answers its node. Functions
// and routines keep it in cell 1 of their parts block, natives and actions in cell 1 of
// their two-cell block.
[[nodiscard]] inline NodeId of(const Cell& fn) {
    const Cell& cached = series::buffer(fn.w3)->cells()[1];
    if (type_of(cached) == TypeId::block) [[likely]] return cached.w2;
    return make_for(fn);
}

// Builds the cache of an interface block.
NodeId build(const Cell& spec, bool for_native);

// The typeset a type word names (a datatype, a typeset value, or one of the
// standard typeset names before the library defines them); script
// invalid-type-spec otherwise.
void add_type_word(Cell& typeset, const Cell& word);

// Whether add_type_word knows the name without its word having a value: a
// datatype name or one of the standard typeset names.
[[nodiscard]] bool is_standard_type_name(uint32_t sym);

}  // namespace qor::arg_cache
