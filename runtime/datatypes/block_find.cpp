// block!: find and select. A scan tests cells (or runs of cells, for a
// block value without /only) with the compare action; a hash! answers from
// its index where the rules allow.
#include <algorithm>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"

namespace qor::block {

namespace {

enum class MatchKind : uint8_t { value, datatype, typeset };

// One search: what is looked for and how cells are tested.
struct Search {
    Cell value;
    MatchKind kind = MatchKind::value;
    CompareOp op = CompareOp::find_key;
    actions::CompareRoutine compare = nullptr;  // of the value's datatype
    uint32_t n = 0;                             // cells of a sequence; 0 for one cell

    [[nodiscard]] bool matches(const Cell& cell, const Cell& wanted) const {
        switch (kind) {
            case MatchKind::datatype: return type_of(cell) == datatype::named(wanted);
            case MatchKind::typeset: return typeset::has(wanted, type_of(cell));
            case MatchKind::value: break;
        }
        if (type_of(wanted) == type_of(value) && compare) return compare(&wanted, &cell, op) == 0;
        const actions::Routine r = datatype::routine(type_of(wanted), Action::compare);
        return r && actions::restore<Action::compare>(r)(&wanted, &cell, op) == 0;
    }
};

// The answer: a copy of the series at a position, pushed, or none.
const Cell* at_position(const Cell& series, int64_t position) {
    Cell* r = stack::push(series);
    r->w1 = static_cast<uint32_t>(position);
    return r;
}

// The result of a search: the matching position and the length matched,
// or -1.
struct Found {
    int64_t position = -1;
};

Found search(const Cell& s, const Cell& value, const actions::FindArgs& args) {
    const uint32_t length = series::buffer(s.w2)->length();
    if (length == 0) return {};
    // A position left past the tail (the block was cut through another
    // value) searches from the tail.
    const int64_t pos = std::min<int64_t>(s.w1, length);
    if (pos >= length && !args.reverse) return {};

    int64_t skip = 1;
    if (args.skip) {
        if (type_of(*args.skip) != TypeId::integer)
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *args.skip});
        skip = get_int(*args.skip);
        if (skip < 1) error::fire(error::Id::out_of_range, {*args.skip});
    }
    // The /part range ends just before `part_end`.
    int64_t part_end = length;
    if (args.part) {
        int64_t count;
        if (type_of(*args.part) == TypeId::integer) {
            count = get_int(*args.part);
            if (count < 1) return {};
        } else {
            count = series_type::part_count(s, *args.part);
        }
        part_end = std::min<int64_t>(pos + count, length);
    }

    Search q;
    q.value = value;
    const TypeId vt = type_of(value);
    if (!args.only && vt == TypeId::datatype) q.kind = MatchKind::datatype;
    else if (!args.only && vt == TypeId::typeset) q.kind = MatchKind::typeset;
    q.op = args.same ? CompareOp::same : args.case_sensitive ? CompareOp::strict_equal : CompareOp::find_key;
    if (const actions::Routine r = datatype::routine(vt, Action::compare)) q.compare = actions::restore<Action::compare>(r);
    const bool sequence = is_any_block(vt) && !args.only;
    q.n = sequence ? length_at(value) : 0;

    // A hash! looks single values up in its index.
    const NodeId index = series_type::hash_index_of(s);
    if (index && !args.match && !sequence && q.kind == MatchKind::value &&
        !(vt == TypeId::object && !args.same)) {
        const int32_t p = hashtable::find(index, value, int32_t(pos), int32_t(skip), to_int(q.op), args.last,
                                          args.reverse);
        if (p < 0 || (!args.reverse && p >= part_end)) return {};
        return {p};
    }

    const int64_t span = q.n;
    int64_t step = skip, start = pos, low = 0, high = part_end;
    if (args.last) {
        step = -skip;
        start = args.part ? part_end - 1 : (span > 0 ? int64_t{length} - span : int64_t{length} - 1);
        high = length;
    } else if (args.reverse) {
        step = -skip;
        start = args.part ? part_end - 1 : pos - (span > 0 ? span : 1);
        high = length;
        if (start < 0) return {};
    }

    const Cell* cells = series::buffer(s.w2)->cells();
    const Cell* wanted = sequence ? series::buffer(value.w2)->cells() + value.w1 : &value;
    for (int64_t p = start; p >= low && p < high; p += step) {
        bool hit;
        if (span == 0) {
            hit = q.matches(cells[p], *wanted);
        } else {
            hit = p + span <= high;
            for (int64_t i = 0; hit && i < span; i++) hit = q.matches(cells[p + i], wanted[i]);
        }
        if (hit) return {p};
        if (args.match) break;
    }
    return {};
}

}  // namespace

const Cell* find(Cell* s, Cell* value, const actions::FindArgs& args) {
    const Found f = search(*s, *value, args);
    if (f.position < 0) return &none::value;
    int64_t at = f.position;
    if (args.tail) {
        const bool sequence = is_any_block(type_of(*value)) && !args.only;
        const int64_t span = sequence ? length_at(*value) : 0;
        const bool backwards = args.last || args.reverse;
        int64_t skip = args.skip ? get_int(*args.skip) : 1;
        at += span > 0 ? span : backwards ? 1 : skip;
        at = std::min<int64_t>(at, series::buffer(s->w2)->length());
    }
    return at_position(*s, at);
}

const Cell* select(Cell* s, Cell* value, const actions::FindArgs& args) {
    actions::FindArgs a = args;
    a.tail = false;
    a.match = false;
    const Found f = search(*s, *value, a);
    if (f.position < 0) return &none::value;
    const bool sequence = is_any_block(type_of(*value)) && !args.only;
    const int64_t after = f.position + (sequence ? length_at(*value) : 1);
    if (after >= series::buffer(s->w2)->length()) return &none::value;
    return stack::push(series::buffer(s->w2)->cells()[after]);
}

}  // namespace qor::block
