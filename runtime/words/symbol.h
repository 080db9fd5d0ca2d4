// The symbol table: every word spelling, interned once.
//
// Words carry a symbol id, so word equality is an integer comparison. Symbol
// id n is the cell at index n - 1 of the symbol block; an entry (a cell of the
// internal type symbol!) holds:
//   word 1  alias: -1 (any value <= 0) for a canonical symbol, else the id of
//           the first symbol spelled the same ignoring ASCII case
//   word 2  node of the spelling as a string! series, 0 until first needed
//   word 3  node of the spelling's UTF-8 bytes, a NUL byte after the tail
// Comparisons that ignore case compare canonical ids (`resolve_alias`).
// Ids are never reused and entries never removed.
//
// The runtime interns its own spellings first, in a fixed order, so their
// ids are the constants of symbol_ids.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"
#include "runtime/memory/node.h"
#include "runtime/core/symbol_ids.h"

namespace qor::symbol {

// Room the symbol block and its index are made with.
inline constexpr uint32_t initial_room = 4000;

// Makes the symbol block and its hash index (empty). Called by the boot
// once the memory manager runs; a second call starts a fresh table (tests).
void init_table();

// The symbol block's node and the index's node (for the collector and the
// root block).
[[nodiscard]] NodeId block();
[[nodiscard]] NodeId index();

// Number of symbols interned.
[[nodiscard]] uint32_t count();

// Interns UTF-8 bytes, case-sensitively first: the same bytes always answer
// the same id; a spelling equal to an existing one ignoring ASCII case gets a
// new id aliased to the first such symbol.
[[nodiscard]] uint32_t make(std::string_view utf8);
[[nodiscard]] inline Sym make_sym(std::string_view utf8) { return static_cast<Sym>(make(utf8)); }

// The id of a symbol equal ignoring ASCII case if there is one (nothing is
// made), else a new canonical symbol.
[[nodiscard]] uint32_t make_any_case(std::string_view utf8);

// Interns the text of a string value from its index (its UTF-8 form).
[[nodiscard]] uint32_t make_from_string(const Cell& string_value);

// The entry of an id (no string form is built). The address is valid until
// the next allocation.
[[nodiscard]] Cell* entry(uint32_t id);

// The entry with its string form built when missing (may allocate).
[[nodiscard]] Cell* get(uint32_t id);

// Builds the entry's string form when it is missing; answers its node.
NodeId ensure_string_form(uint32_t id);

// The alias when it is greater than 0, else the id itself.
[[nodiscard]] uint32_t resolve_alias(uint32_t id);
// The raw alias field.
[[nodiscard]] int32_t alias_of(uint32_t id);

// The spelling's UTF-8 bytes (valid until the next allocation).
[[nodiscard]] std::string_view spelling(uint32_t id);
[[nodiscard]] inline std::string_view spelling(Sym s) { return spelling(to_int(s)); }

// Compares two spellings code point by code point, folding case except for
// the strict codes (strict-equal?, sort/case): -1, 0 or 1, the shorter first
// when one is a prefix of the other. Codes are those of the compare action.
[[nodiscard]] int32_t compare_spellings(uint32_t a, uint32_t b, int op);

// The compare routine of symbol! cells (entries of the symbol table).
[[nodiscard]] int32_t compare_entries(const Cell* a, const Cell* b, CompareOp op);

}  // namespace qor::symbol
