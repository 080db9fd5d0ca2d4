// Ownership tracking: telling an object when a series it holds changes.
//
// An object whose class has an on-deep-change* handler owns the series held
// in its fields (and the series nested in those). A global record table maps
// each owned series (by node) to a copy of the value as registered, the
// owner object and the field word through which the owner holds it. Every
// routine that changes a series in place announces the change before it,
// with the action word, and after it, with the past-tense word; the owner's
// handler runs with the word and the extent of the change.
//
// Marks that keep the table cheap to consult: series flag bit 17 (the series
// has a record); for an image! the value cell's own header bit 16; on an
// object's context! cell header bit 16 (the object owns series itself: an
// outer owner never takes it over).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"
#include "runtime/core/symbol_ids.h"

namespace qor::ownership {

// Room the table is made with, and payload cells per record.
inline constexpr uint32_t table_room = 1000;
inline constexpr uint32_t record_cells = 3;

// Header bit 16 of an object's context! cell and of an image! cell.
inline constexpr uint32_t owns_flag = 1u << 16;
// Series flag bit 17: the series has an ownership record.
inline constexpr uint32_t owned_series_flag = 1u << 17;

// Makes the (empty) table. Called by the boot; a second call starts afresh.
void init();
[[nodiscard]] NodeId table();

// Registers `owner` (an object!) and its field `word` as the owner of the
// value and of everything it contains. A series that already has an owner
// keeps it. Each series and object is walked once per call, however often
// it is shared.
void own_deep(const Cell& value, const Cell& owner, const Cell& word);

// own_deep, then marks the owner as owning series itself.
void set_deep_owned(const Cell& value, const Cell& owner, const Cell& word);

// Removes the ownership of a value and of what it contains.
void clear_deep(const Cell& value);

// The owner cell of a series' record, or nullptr (valid until the next
// allocation).
[[nodiscard]] Cell* owner_of(NodeId series);

// Tells the owner of the value (a series, bitset! or object!) of a change:
// runs its on-deep-change* handler with the action word, the new value (or
// nullptr when none is written), the index and the count. True when a
// handler ran.
bool check(const Cell& value, const Cell& action_word, const Cell* new_value, int32_t index, int32_t count);

// --- The in-place changes and their words -----------------------------------

// Each change of a series in place, as announced before and after it.
enum class Change : uint8_t {
    change, clear, append, move, poke, put, random, reverse, sort, swap, take, trim,
    insert, remove, uppercase, lowercase, set_path,
};

struct ChangeWords {
    Sym before;  // Sym::none_: the change is not announced before
    Sym after;   // Sym::none_: not announced after
};

[[nodiscard]] constexpr ChangeWords words_of(Change c) {
    switch (c) {
        case Change::change: return {Sym::change, Sym::changed};
        case Change::clear: return {Sym::clear, Sym::cleared};
        case Change::append: return {Sym::append, Sym::appended};
        case Change::move: return {Sym::move, Sym::moved};
        case Change::poke: return {Sym::poke, Sym::poked};
        case Change::put: return {Sym::put, Sym::put_ed};
        case Change::random: return {Sym::random, Sym::randomized};
        case Change::reverse: return {Sym::reverse, Sym::reversed};
        case Change::sort: return {Sym::sort, Sym::sorted};
        case Change::swap: return {Sym::swap, Sym::swaped};
        case Change::take: return {Sym::take, Sym::taken};
        case Change::trim: return {Sym::trim, Sym::trimmed};
        case Change::insert: return {Sym::none_, Sym::inserted};
        case Change::remove: return {Sym::none_, Sym::removed};
        case Change::uppercase: return {Sym::uppercase, Sym::none_};
        case Change::lowercase: return {Sym::lowercase, Sym::none_};
        case Change::set_path: return {Sym::set_path, Sym::none_};
    }
    return {Sym::none_, Sym::none_};
}

// Announces a change before it is made. Answers whether the value has an
// owner with change handlers, that is whether `after` must be called.
bool before(const Cell& value, Change change, const Cell* new_value, int32_t index, int32_t count);
// Announces the change after it was made (only when `before` answered true).
void after(const Cell& value, Change change, const Cell* new_value, int32_t index, int32_t count);

// --- The object's deep-change handler ----------------------------------------

// Runs an owner's on-deep-change* handler: owner, field word, target series,
// action word, new value (nullptr: none), index, count. The object datatype
// installs it; without it no handler runs.
using OnDeepChange = void (*)(const Cell& owner, const Cell& word, const Cell& target, const Cell& action,
                              const Cell* new_value, int32_t index, int32_t count);
void install_on_deep_change(OnDeepChange handler);

}  // namespace qor::ownership
