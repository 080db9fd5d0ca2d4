// series!: the routines that cut, reorder and move units: remove, reverse,
// take, copy and move. They work in bytes through the buffer's unit shift,
// so every series type shares them; a hash! keeps its index in step.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/unicode/string_codec.h"

namespace qor::series_type {

using ownership::Change;

namespace {

[[noreturn]] void no_memory() { error::fire(error::Id::no_memory); }

// Closes a gap of n units at unit `at` of the buffer (the units after it
// move down).
void close_gap(const Cell& s, uint32_t at, uint32_t n) {
    series::Buffer* b = series::buffer(s.w2);
    const int shift = b->unit_shift();
    const uint32_t length = b->length();
    std::memmove(b->at(at), b->at(at + n), size_t(length - at - n) << shift);
    b->tail -= n << shift;
}

// Keeps a hash! index in step with n cells removed at `at` (before the
// cells move; `rest` cells follow the removed ones).
void hash_removed(const Cell& s, uint32_t at, uint32_t n, uint32_t rest) {
    const NodeId index = hash_index_of(s);
    if (!index) return;
    hashtable::remove_range(index, int32_t(at), int32_t(n));
    if (hashtable::reindex_range(index, -int32_t(n), int32_t(at + n), int32_t(rest), true) != 0)
        hashtable::rebuild(index, int32_t(length_of_buffer(s)));
}

// After a hash! block's cells were rearranged wholesale.
void hash_rebuild(const Cell& s) {
    if (NodeId index = hash_index_of(s)) hashtable::rebuild(index, int32_t(length_of_buffer(s)));
}

}  // namespace

// --- remove -------------------------------------------------------------------

const Cell* remove(Cell* s, const Cell* part, const Cell* key) {
    int64_t count = part ? part_count(*s, *part) : 1;
    if (count < 1) return s;
    if (key) {
        actions::FindArgs args;
        args.case_sensitive = true;
        const Cell* found = actions::call_find(*s, *const_cast<Cell*>(key), args);
        if (type_of(*found) == TypeId::none) return &none::value;
        s->w1 = found->w1;
        count++;
    }
    const uint32_t length = length_of_buffer(*s);
    if (s->w1 >= length) return s;
    const uint32_t at = s->w1;
    const uint32_t n = static_cast<uint32_t>(std::min<int64_t>(count, length - at));
    Notice notice(*s, Change::remove, nullptr, int32_t(at), int32_t(n));
    hash_removed(*s, at, n, length - at - n);
    close_gap(*s, at, n);
    notice.done(nullptr, int32_t(at), 0);
    return s;
}

// --- reverse ------------------------------------------------------------------

const Cell* reverse(Cell* s, const Cell* part, const Cell* skip) {
    const uint32_t length = length_of_buffer(*s);
    if (s->w1 >= length) return s;
    int64_t count = part ? part_count(*s, *part) : int64_t{length - s->w1};
    if (count < 1) return s;
    count = std::min<int64_t>(count, length - s->w1);
    int64_t size = 1;
    if (skip) {
        if (type_of(*skip) != TypeId::integer) error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *skip});
        size = get_int(*skip);
        if (size == count) return s;
        if (size < 1) error::fire(error::Id::out_of_range, {*skip});
        if (count < size || count % size != 0)
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *skip});
    }
    Notice notice(*s, Change::reverse, nullptr, int32_t(s->w1), int32_t(count));
    series::Buffer* b = series::buffer(s->w2);
    const size_t record = size_t(size) << b->unit_shift();
    std::vector<uint8_t> scratch(record);
    uint8_t* lo = b->at(s->w1);
    uint8_t* hi = lo + (size_t(count) << b->unit_shift()) - record;
    for (; lo < hi; lo += record, hi -= record) {
        std::memcpy(scratch.data(), lo, record);
        std::memcpy(lo, hi, record);
        std::memcpy(hi, scratch.data(), record);
    }
    hash_rebuild(*s);
    notice.done(nullptr, int32_t(s->w1), int32_t(count));
    return s;
}

// --- copy ---------------------------------------------------------------------

namespace {

// A new series value of the source's datatype holding `count` units from
// `start`; written to `result` (which may be the source's own cell).
void copy_units(const Cell& source, uint32_t start, uint32_t count, Cell& result) {
    const Cell src = source;
    const uint32_t unit = series::buffer(src.w2)->unit();
    const NodeId fresh = series::alloc(count, unit);
    series::Buffer* from = series::buffer(src.w2);  // after the allocation: it may have moved
    series::Buffer* to = series::buffer(fresh);
    to->flags |= from->flags & (series::flag::utf16_loaded | series::flag::complemented);
    std::memcpy(to->data(), from->at(start), size_t{count} << from->unit_shift());
    to->set_tail_units(count);
    result.header = (src.header & (cell_flag::type_mask | cell_flag::new_line));
    result.w1 = 0;
    result.w2 = fresh;
    result.w3 = type_of(src) == TypeId::vector ? src.w3 : 0;
}

}  // namespace

const Cell* copy(Cell* value, Cell* result, const Cell* part, bool, const Cell*) {
    const uint32_t length = length_of_buffer(*value);
    int64_t start = value->w1;
    int64_t count = start < length ? int64_t{length} - start : 0;
    if (part) {
        if (type_of(*part) == TypeId::pair) {
            const int64_t x = static_cast<int32_t>(part->w2), y = static_cast<int32_t>(part->w3);
            start = std::max<int64_t>(0, x < 0 ? start + x : start + x - 1);
            count = y < x ? 0 : y - x;
        } else {
            count = part_count(*value, *part);
        }
        if (count < 0) {
            count = -count;
            start -= count;
            if (start < 0) {
                start = 0;
                count = value->w1;
            }
        }
    }
    if (start > length) {
        start = length;
        count = 0;
    }
    count = std::min<int64_t>(count, int64_t{length} - start);
    if (result != value) *result = unset_cell;
    copy_units(*value, uint32_t(start), uint32_t(count), *result);
    return result;
}

// --- take ---------------------------------------------------------------------

const Cell* take(Cell* s, const Cell* part, bool, bool last) {
    const uint32_t length = length_of_buffer(*s);
    if (s->w1 >= length) return &none::value;
    const uint32_t index = s->w1;
    const uint32_t available = length - index;
    int64_t count = 1;
    if (part) {
        if (type_of(*part) == TypeId::integer) {
            count = get_int(*part);
        } else {
            (void)part_count(*s, *part);  // checks the datatype and the series
            if (part->w1 < index) count = 0;
            else count = last ? int64_t{length} - part->w1 : int64_t{part->w1} - index;
        }
    }
    const int64_t given = count;
    Notice notice(*s, Change::take, nullptr, int32_t(index), int32_t(given));

    // The range taken: the last `count` units, the units from the position,
    // or (a negative count) the units before it. A count of 0 takes nothing.
    uint32_t from = index, n = 0;
    if (count > 0) {
        n = static_cast<uint32_t>(std::min<int64_t>(count, available));
        from = last ? length - n : index;
    } else if (count < 0 && !last) {
        n = static_cast<uint32_t>(std::min<int64_t>(-count, index));
        from = index - n;
    }

    if (!part) {
        // The item itself: a cell of a block, a char! of a string.
        Cell item;
        item_value(*s, from, item);
        hash_removed(*s, from, 1, length - from - 1);
        close_gap(*s, from, 1);
        notice.done(nullptr, int32_t(index), int32_t(given));
        return stack::set_result(item);
    }
    Cell* result = stack::push_slot();
    *result = unset_cell;
    copy_units(*s, from, n, *result);
    hash_removed(*s, from, n, length - from - n);
    close_gap(*s, from, n);
    if (from < index) s->w1 = from;  // the position follows the units it stood after
    // A hash! taken from a hash! has an index of its own.
    if (type_of(*s) == TypeId::hash) result->w3 = hashtable::init(int32_t(n), result, hashtable::Kind::hash, 0);
    notice.done(nullptr, int32_t(index), int32_t(given));
    return result;
}

// --- move ---------------------------------------------------------------------

namespace {

bool is_movable(TypeId t) {
    return is_any_block(t) || is_any_string(t) || t == TypeId::binary || t == TypeId::vector || t == TypeId::image;
}

// Opens a gap of n units at unit `at` of the target's buffer, growing it to
// twice the needed size when short.
void open_gap(const Cell& target, uint32_t at, uint32_t n) {
    series::Buffer* b = series::buffer(target.w2);
    const int shift = b->unit_shift();
    const uint64_t needed = uint64_t{b->tail} + (uint64_t{n} << shift);
    if (needed > series::max_capacity) no_memory();
    if (needed > b->capacity) b = series::expand_copy(target.w2, std::min<uint64_t>(needed * 2, series::max_capacity));
    const uint32_t length = b->length();
    std::memmove(b->at(at + n), b->at(at), size_t(length - at) << shift);
    b->tail += n << shift;
}

// Reads n code points of a string from unit `from`.
std::u32string code_points(const Cell& s, uint32_t from, uint32_t n) {
    series::Buffer* b = series::buffer(s.w2);
    std::u32string out(n, U'\0');
    for (uint32_t i = 0; i < n; i++) {
        uint32_t v = 0;
        std::memcpy(&v, b->at(from + i), b->unit());
        out[i] = v;
    }
    return out;
}

// Moves between two different series.
void move_across(Cell& origin, Cell& target, uint32_t count) {
    const TypeId ot = type_of(origin), tt = type_of(target);
    if (is_any_block(ot) != is_any_block(tt))
        error::fire(error::Id::move_bad, {datatype::value(ot), datatype::value(tt)});
    const uint32_t ou = series::buffer(origin.w2)->unit(), tu = series::buffer(target.w2)->unit();
    if (ou != tu && (ot == TypeId::binary || tt == TypeId::binary || ot == TypeId::vector || tt == TypeId::vector))
        error::fire(error::Id::move_bad, {datatype::value(ot), datatype::value(tt)});
    // Vector elements move only between vectors of one element type: their
    // bytes mean nothing in any other series.
    if ((ot == TypeId::vector || tt == TypeId::vector) && (ot != tt || origin.w3 != target.w3))
        error::fire(error::Id::move_bad, {datatype::value(ot), datatype::value(tt)});

    const uint32_t t_at = std::min(target.w1, length_of_buffer(target));
    Notice notice(target, Change::move, &origin, int32_t(origin.w1), int32_t(count));
    const uint32_t o_at = origin.w1;
    const uint32_t o_rest = length_of_buffer(origin) - o_at - count;
    if (ou == tu) {
        const uint32_t t_rest = length_of_buffer(target) - t_at;
        open_gap(target, t_at, count);
        std::memcpy(unit_at(target, t_at), unit_at(origin, o_at), size_t{count} * ou);
        if (NodeId index = hash_index_of(target)) {
            if (hashtable::reindex_range(index, int32_t(count), int32_t(t_at), int32_t(t_rest), true) != 0) {
                hashtable::rebuild(index, int32_t(length_of_buffer(target)));
            } else {
                hash_enter(index, t_at, count);
            }
        }
    } else {
        // Strings of different widths: widen the target when the moved code
        // points need it, then write them one by one.
        const std::u32string moved = code_points(origin, o_at, count);
        uint32_t need = tu;
        for (char32_t c : moved) need = std::max<uint32_t>(need, c > 0xFFFF ? 4 : c > 0xFF ? 2 : 1);
        if (need > tu) (void)unicode::widen(target.w2, need);
        open_gap(target, t_at, count);
        series::Buffer* b = series::buffer(target.w2);
        for (uint32_t i = 0; i < count; i++) {
            const uint32_t v = moved[i];
            if (b->unit() == 1) *b->at(t_at + i) = uint8_t(v);
            else if (b->unit() == 2) {
                const uint16_t u = uint16_t(v);
                std::memcpy(b->at(t_at + i), &u, 2);
            } else {
                std::memcpy(b->at(t_at + i), &v, 4);
            }
        }
    }
    hash_removed(origin, o_at, count, o_rest);
    close_gap(origin, o_at, count);
    notice.done(&origin, int32_t(target.w1), int32_t(count));
}

// Moves `count` units within one series from `o` to target position `t`
// (already cut to the length and checked against the moved range).
void move_within(Cell& target, uint32_t o, uint32_t t, uint32_t count, uint32_t length, const Cell& origin) {
    Notice notice(target, Change::move, &origin, int32_t(o), int32_t(count));
    series::Buffer* b = series::buffer(target.w2);
    const int shift = b->unit_shift();
    const size_t bytes = size_t{count} << shift;
    std::vector<uint8_t> moved(b->at(o), b->at(o) + bytes);
    uint32_t lands, hash_to;
    if (t > o) {
        // Forward: the units after the moved range up to and including the
        // one at the target move down; at the tail, all the rest does.
        const uint32_t end = t == length ? length : t + 1;
        std::memmove(b->at(o), b->at(o + count), size_t(end - o - count) << shift);
        lands = end - count;
        hash_to = end;
    } else {
        // Backward: the units from the target up to the origin move up.
        std::memmove(b->at(t + count), b->at(t), size_t(o - t) << shift);
        lands = t;
        hash_to = t;
    }
    std::memcpy(b->at(lands), moved.data(), bytes);
    if (NodeId index = hash_index_of(target)) hashtable::move_range(index, int32_t(hash_to), int32_t(o), int32_t(count));
    notice.done(&origin, int32_t(target.w1) - int32_t(count), int32_t(count));
}

}  // namespace

const Cell* move(Cell* origin, Cell* target, const Cell* part) {
    if (!is_movable(type_of(*target)))
        error::expect_arg(error::WordArg{"move"}, type_of(*target), error::WordArg{"target"});
    const uint32_t o_length = length_of_buffer(*origin);
    if (origin->w1 >= o_length) return target;
    int64_t count = 1;
    if (part) {
        if (type_of(*part) != TypeId::integer) error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, *part});
        count = get_int(*part);
        if (count < 1) return target;
        count = std::min<int64_t>(count, o_length - origin->w1);
    }
    const uint32_t n = static_cast<uint32_t>(count);
    if (origin->w2 != target->w2) {
        move_across(*origin, *target, n);
        return target;
    }
    const uint32_t o = origin->w1;
    const uint32_t t = std::min(target->w1, o_length);
    if (t == o) return target;
    // A target inside the moved range (past its first unit) has no place to
    // receive it: refused rather than computed into a negative length.
    if (t > o && t < o + n) error::fire(error::Id::invalid_arg, {*target});
    if (t > o && t != o_length && o_length - t < n) return origin;
    move_within(*target, o, t, n, o_length, *origin);
    return target;
}

}  // namespace qor::series_type
