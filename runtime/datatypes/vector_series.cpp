// vector!: find, select, sort and path access. Elements are numbers, so a
// search compares a number with each element by value and a sort orders
// elements numerically (by their element size: 1, 2, 4 or 8 bytes).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/vector.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/sort/record_sort.h"

namespace qor::vector_type {

namespace {

[[nodiscard]] series::Buffer* buffer_of(const Cell& v) { return series::buffer(v.w2); }

// An element as a double: exact for every integer element.
[[nodiscard]] double element_number(const series::Buffer* b, uint32_t i, TypeId element) {
    return is_float_kind(element) ? read_float(b->at(i), b->unit()) : read_int(b->at(i), b->unit(), element);
}

// The number a value stands for in a search; false when it is no number.
[[nodiscard]] bool number_of(const Cell& value, double& out) {
    switch (type_of(value)) {
        case TypeId::integer:
        case TypeId::char_: out = get_int(value); return true;
        case TypeId::float_:
        case TypeId::percent: out = get_double(value); return true;
        default: return false;
    }
}

// The count of a /part refinement: an integer, or a position in the same
// vector.
[[nodiscard]] int64_t part_of(const Cell& v, const Cell& part) {
    if (type_of(part) == TypeId::integer) return get_int(part);
    if (type_of(part) == TypeId::vector && part.w2 == v.w2) return int64_t{part.w1} - int64_t{v.w1};
    error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, part});
}

}  // namespace

const Cell* find(Cell* series, Cell* value, const actions::FindArgs& a) {
    const series::Buffer* b = buffer_of(*series);
    const uint32_t length = b->length();
    const uint32_t start = std::min(series->w1, length);
    if (a.any || a.with) error::fire(error::Id::not_done);
    uint32_t step = 1;
    if (a.skip) {
        if (type_of(*a.skip) != TypeId::integer || get_int(*a.skip) < 1) error::fire(error::Id::out_of_range, {*a.skip});
        step = static_cast<uint32_t>(get_int(*a.skip));
    }
    // The positions [lo, hi) searched.
    uint32_t lo = start, hi = length;
    if (a.part) {
        const int64_t count = part_of(*series, *a.part);
        if (count < 1) return &none::value;
        if (a.reverse) lo = static_cast<uint32_t>(std::max<int64_t>(0, int64_t{start} - count));
        else hi = static_cast<uint32_t>(std::min<int64_t>(length, int64_t{start} + count));
    }
    if (a.reverse) {
        hi = start;
        if (!a.part) lo = 0;
    }
    double wanted;
    if (!number_of(*value, wanted) || lo >= hi) return &none::value;
    const TypeId element = element_type(*series);
    int64_t found = -1;
    if (a.reverse || a.last) {
        for (int64_t at = int64_t{hi} - 1; at >= lo; at -= step) {
            if (element_number(b, static_cast<uint32_t>(at), element) == wanted) {
                found = at;
                break;
            }
            if (a.match) break;
        }
    } else {
        for (uint32_t at = lo; at < hi; at += step) {
            if (element_number(b, at, element) == wanted) {
                found = at;
                break;
            }
            if (a.match || hi - at <= step) break;
        }
    }
    if (found < 0) return &none::value;
    series->w1 = static_cast<uint32_t>(found) + (a.tail ? 1 : 0);
    return series;
}

// The element after the one found, or none.
const Cell* select(Cell* series, Cell* value, const actions::FindArgs& a) {
    actions::FindArgs f = a;
    f.tail = true;
    f.match = false;
    const Cell* r = find(series, value, f);
    if (type_of(*r) == TypeId::none || series->w1 >= buffer_of(*series)->length()) return &none::value;
    Cell item;
    item_value(*series, series->w1, item);
    *series = item;
    return series;
}

// ---- sort

namespace {

struct SortContext {
    uint32_t unit;
    TypeId element;
    uint32_t offset;  // the element of each record compared
    uint32_t width;   // elements compared: 1, or the record size with /all
    bool reverse;
    const Cell* function;
};

double record_number(const SortContext& c, const void* record, uint32_t i) {
    const uint8_t* p = static_cast<const uint8_t*>(record) + size_t{c.offset + i} * c.unit;
    return is_float_kind(c.element) ? read_float(p, c.unit) : read_int(p, c.unit, c.element);
}

int32_t compare_records(const void* a, const void* b, void* arg, void*) {
    const SortContext& c = *static_cast<const SortContext*>(arg);
    for (uint32_t i = 0; i < c.width; i++) {
        const double x = record_number(c, a, i), y = record_number(c, b, i);
        if (x != y && !std::isnan(x) && !std::isnan(y)) return (x < y ? -1 : 1) * (c.reverse ? -1 : 1);
    }
    return 0;
}

// A function! comparator gets the compared elements as values, the later
// record first (the rule every sort with a function follows).
int32_t compare_by_function(const void* a, const void* b, void* arg, void*) {
    const SortContext& c = *static_cast<const SortContext*>(arg);
    Cell x, y;
    auto value_of = [&c](const void* record, Cell& out) {
        const uint8_t* p = static_cast<const uint8_t*>(record) + size_t{c.offset} * c.unit;
        if (is_float_kind(c.element)) {
            out = Cell{to_int(c.element), 0, 0, 0};
            set_double(out, read_float(p, c.unit));
        } else {
            out = Cell{to_int(c.element), 0, static_cast<uint32_t>(read_int(p, c.unit, c.element)), 0};
        }
    };
    value_of(b, x);
    value_of(a, y);
    if (c.reverse) std::swap(x, y);
    return block::call_comparator(*c.function, x, y);
}

}  // namespace

const Cell* sort(Cell* series, const actions::SortArgs& a) {
    const uint32_t length = buffer_of(*series)->length();
    if (series->w1 > length) series->w1 = length;
    uint32_t start = series->w1;
    uint32_t range = length - start;
    if (a.part) {
        const int64_t n = part_of(*series, *a.part);
        if (n < 0) {
            const uint32_t back = static_cast<uint32_t>(std::min<int64_t>(-n, start));
            start -= back;
            series->w1 = start;
            range = back;
        } else {
            range = static_cast<uint32_t>(std::min<int64_t>(n, range));
        }
    }
    uint32_t size = 1;
    if (a.skip) {
        const int32_t s = get_int(*a.skip);
        if (type_of(*a.skip) != TypeId::integer || s < 1 || range % static_cast<uint32_t>(s) != 0 ||
            range < static_cast<uint32_t>(s))
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *a.skip});
        size = static_cast<uint32_t>(s);
    } else if (a.all) {
        error::fire(error::Id::bad_refines);
    }
    const uint32_t unit = buffer_of(*series)->unit();
    SortContext c{unit, element_type(*series), 0, a.all ? size : 1, a.reverse, nullptr};
    sort::Compare compare = compare_records;
    if (a.comparator) {
        const series_type::SortComparator by =
            series_type::sort_comparator(a.comparator, static_cast<bool>(a.skip), a.all, size);
        c.offset = by.offset;
        if (by.function) {
            c.function = by.function;
            compare = compare_by_function;
        }
    }
    const uint32_t records = range / size;
    if (records < 2) return series;
    series_type::Notice notice(*series, ownership::Change::sort, nullptr, static_cast<int32_t>(start),
                               static_cast<int32_t>(range));
    // A comparator function may allocate and move the buffer: the records
    // are sorted in a copy that nothing moves.
    const size_t width = size_t{size} * unit;
    series::Buffer* b = buffer_of(*series);
    std::vector<uint8_t> copy(b->at(start), b->at(start) + records * width);
    sort::stable_sort(copy.data(), records, width, &c, nullptr, compare);
    std::memcpy(buffer_of(*series)->at(start), copy.data(), copy.size());
    notice.done(nullptr, static_cast<int32_t>(start), static_cast<int32_t>(range));
    return series;
}

// ---- path access

Cell* eval_path(const actions::EvalPathArgs& a) {
    Cell& v = *a.parent;
    const Cell& key = *a.element;
    if (type_of(key) == TypeId::integer) {
        const int64_t at = series_type::pick_offset(v, get_int(key));
        if (a.value) {
            if (at < 0) error::fire(error::Id::out_of_range, {key});
            const Cell value = *a.value;
            series_type::Notice notice(v, ownership::Change::poke, &value, int32_t(at), 1);
            poke(v, static_cast<uint32_t>(at), value);
            notice.done(&value, int32_t(at), 1);
            v = value;
            return a.parent;
        }
        if (at < 0) {
            v = none::value;
            return a.parent;
        }
        Cell item;
        item_value(v, static_cast<uint32_t>(at), item);
        v = item;
        return a.parent;
    }
    if (type_of(key) == TypeId::word) error::fire(error::Id::invalid_path, {key, *a.path});
    actions::FindArgs f;
    Cell k = key;
    if (!a.value) return const_cast<Cell*>(select(a.parent, &k, f));
    Cell probe = v;
    f.tail = true;
    const Cell* r = find(&probe, &k, f);
    if (type_of(*r) == TypeId::none || probe.w1 >= buffer_of(probe)->length())
        error::fire(error::Id::bad_path_set, {*a.path, key});
    const Cell value = *a.value;
    poke(v, probe.w1, value);
    v = value;
    return a.parent;
}

}  // namespace qor::vector_type
