// series!: the abstract parent of every series type (blocks, strings,
// binary!, vector!, image!). Its routines work on any unit size: a value's
// index counts units from the buffer's head, and units convert to bytes by
// the buffer's unit shift, never by assuming cells.
//
// Besides the routines it registers, this file gives the position helpers
// the child types share, and the one place through which every in-place
// change tells the series' owner (`Notice`).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/series.h"
#include "runtime/words/ownership.h"

namespace qor::series_type {

// --- Positions ----------------------------------------------------------------

// Units between the head and the tail of the value's whole buffer.
[[nodiscard]] inline uint32_t length_of_buffer(const Cell& s) { return series::buffer(s.w2)->length(); }

// The position is at or past the tail.
[[nodiscard]] inline bool is_tail(const Cell& s) { return s.w1 >= length_of_buffer(s); }

// Units from the index (or the head) to the tail. An index past the tail is
// pulled back to the tail (the value is changed) and answers 0.
uint32_t length_at(Cell& s, bool from_head = false);

// Adds n to the index when that stays within the tail; answers whether the
// position is now at or past the tail.
bool skip(Cell& s, int32_t n);

// The index `at` (mode 1) or `skip` (mode 0) answers for the integer in the
// current frame's second argument, clamped to 0 .. length; a non-integer
// raises invalid-arg.
[[nodiscard]] uint32_t index_check(int mode);

// The absolute unit offset that pick and poke address with n, or -1 when n
// names no unit (0, before the head, at or past the tail).
[[nodiscard]] int64_t pick_offset(const Cell& s, int32_t n);

// Address of unit i counted from the buffer's head.
[[nodiscard]] inline uint8_t* unit_at(const Cell& s, uint32_t i) { return series::buffer(s.w2)->at(i); }

// The hash! index of a value, 0 when it has none.
[[nodiscard]] inline NodeId hash_index_of(const Cell& s) {
    return type_of(s) == TypeId::hash ? static_cast<NodeId>(s.w3) : 0;
}

// Enters n cells from position `at` into a hash! index. A table that grows
// rebuilds itself from every cell, and then the rest need no entering.
void hash_enter(NodeId index, uint32_t at, uint32_t n);

// The count of a /part argument of remove, reverse and copy: an integer!,
// or a position in the same series (same datatype too), else
// invalid-refine-arg naming `part`.
[[nodiscard]] int64_t part_count(const Cell& s, const Cell& part);

// --- Change notices -------------------------------------------------------------

// One in-place change announced to the series' owner: the before word when
// made, the past-tense word by `done` (only when an owner heard the first).
class Notice {
public:
    Notice(const Cell& target, ownership::Change change, const Cell* value, int32_t index, int32_t count)
        : target_(target), change_(change),
          owned_(may_be_owned(target) && ownership::before(target, change, value, index, count)) {}
    void done(const Cell* value, int32_t index, int32_t count) {
        if (owned_) ownership::after(target_, change_, value, index, count);
    }
    [[nodiscard]] bool owned() const { return owned_; }

private:
    // A series without the owned mark has no owner record: the common case
    // costs one flag test instead of a table lookup.
    static bool may_be_owned(const Cell& target) {
        return type_of(target) == TypeId::image ||
               (series::buffer(target.w2)->flags & ownership::owned_series_flag) != 0;
    }
    Cell target_;
    ownership::Change change_;
    bool owned_;
};

// --- Routines the child types call --------------------------------------------

// copy: the shallow copy of units; the result cell becomes the new series.
const Cell* copy(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types);
// take: taken item(s), or none. Without /part the answer is the item itself.
const Cell* take(Cell* s, const Cell* part, bool deep, bool last);
const Cell* remove(Cell* s, const Cell* part, const Cell* key);
const Cell* reverse(Cell* s, const Cell* part, const Cell* skip);
const Cell* move(Cell* origin, Cell* target, const Cell* part);
const Cell* pick(Cell* s, Cell* index_cell, int32_t n);
const Cell* poke(Cell* s, Cell* index_cell, int32_t n, Cell* value);

// reflect and modify of the field `owned` (the owner recorded for the
// series), on the frame and as the modify routine; bitset! shares them.
Cell* reflect_owned();
const Cell* modify_owned(Cell* target, Cell* field, Cell* value, bool case_sensitive);

// Writes the item at absolute unit offset i as a value: the cell of a block
// type, a char! of a string unit, an integer! of a byte.
void item_value(const Cell& s, uint32_t i, Cell& out);

// Registers series! (no parent).
void init();

// The /compare argument of a sort over a string or vector: an integer is the
// 1-based field of each record to compare by (only with /skip, never with
// /all), answered as a 0-based offset; a function compares whole items.
// Anything else is refused.
struct SortComparator {
    uint32_t offset = 0;
    const Cell* function = nullptr;
};
[[nodiscard]] SortComparator sort_comparator(const Cell* comparator, bool skip, bool all, uint32_t size);

}  // namespace qor::series_type
