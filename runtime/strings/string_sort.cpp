// string!: sort, and the string side of the set operations.
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/words/ownership.h"
#include "runtime/sort/record_sort.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"

namespace qor::string_type {

namespace {

// What the record comparison needs.
struct SortContext {
    uint32_t unit;
    uint32_t offset;  // the character of each record compared (0-based)
    uint32_t width;   // characters compared: 1, or the record size with /all
    bool fold_wide;   // units 2 and 4 fold through the case tables
    bool fold_ascii;  // unit 1 folds A-Z only
    bool reverse;
    const Cell* function;
    TypeId type;
};

uint32_t sort_key(const SortContext& c, uint32_t ch) {
    if (c.fold_ascii) return (ch - 'A' < 26u) ? ch + 32 : ch;
    if (c.fold_wide) return str::fold(ch);
    return ch;
}

int32_t compare_records(const void* a, const void* b, void* arg, void*) {
    const SortContext& c = *static_cast<const SortContext*>(arg);
    const uint8_t* pa = static_cast<const uint8_t*>(a) + size_t{c.offset} * c.unit;
    const uint8_t* pb = static_cast<const uint8_t*>(b) + size_t{c.offset} * c.unit;
    for (uint32_t i = 0; i < c.width; i++) {
        const uint32_t x = sort_key(c, str::get_char(pa + size_t{i} * c.unit, c.unit));
        const uint32_t y = sort_key(c, str::get_char(pb + size_t{i} * c.unit, c.unit));
        if (x != y) return (x < y ? -1 : 1) * (c.reverse ? -1 : 1);
    }
    return 0;
}

// A function! comparator: called with the later record first, its answer
// read by the rule every sort with a function follows.
int32_t compare_by_function(const void* a, const void* b, void* arg, void*) {
    const SortContext& c = *static_cast<const SortContext*>(arg);
    Cell* x = stack::push(unset_cell);
    Cell* y = stack::push(unset_cell);
    auto record = [&](Cell& out, const void* p) {
        const uint8_t* bytes = static_cast<const uint8_t*>(p);
        if (c.width == 1) {
            char_::make_at(out, str::get_char(bytes + size_t{c.offset} * c.unit, c.unit));
            return;
        }
        str::make_at(out, c.width, c.unit, c.type);
        series::Buffer* buf = str::buffer_of(out);
        std::memcpy(buf->data(), bytes, size_t{c.width} * c.unit);
        buf->set_tail_units(c.width);
    };
    record(*x, b);
    record(*y, a);
    if (c.reverse) std::swap(*x, *y);
    const int32_t order = block::call_comparator(*c.function, *x, *y);
    stack::pop(2);
    return order;
}

// Stores the sorted copy (of `unit`-wide characters) at start. The
// comparator may have widened the string or changed its length meanwhile:
// the characters go in at the string's present width, and only where the
// string still reaches.
void write_back(const Cell& series, uint32_t start, const std::vector<uint8_t>& copy, uint32_t unit) {
    const NodeId node = series.w2;
    series::Buffer* b = str::buffer_of(series);
    const size_t count = copy.size() / unit;
    if (b->unit() == unit && size_t{start} + count <= b->length()) {
        std::memcpy(b->at(start), copy.data(), copy.size());
        return;
    }
    for (size_t i = 0; i < count && start + i < str::buffer_of(series)->length(); i++)
        (void)str::write_char(node, static_cast<uint32_t>(start + i), str::get_char(copy.data() + i * unit, unit));
}

}  // namespace

const Cell* sort(Cell* series, const actions::SortArgs& a) {
    const uint32_t left = str::clamp_index(*series);
    uint32_t start = series->w1;
    uint32_t range = left;
    if (a.part) {
        int64_t n;
        if (type_of(*a.part) == TypeId::integer) n = get_int(*a.part);
        else if (type_of(*a.part) == type_of(*series) && a.part->w2 == series->w2)
            n = int64_t{a.part->w1} - start;
        else error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, *a.part});
        if (n < 0) {
            const uint32_t back = static_cast<uint32_t>(std::min<int64_t>(-n, start));
            start -= back;
            series->w1 = start;
            range = back;
        } else {
            range = static_cast<uint32_t>(std::min<int64_t>(n, left));
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
    const uint32_t unit = str::buffer_of(*series)->unit();
    SortContext c{unit, 0, a.all ? size : 1, unit != 1 && !a.case_sensitive,
                  unit == 1 && !a.case_sensitive, a.reverse, nullptr, type_of(*series)};
    if (type_of(*series) == TypeId::binary) c.fold_ascii = c.fold_wide = false;
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
    // A comparator function may allocate, and the buffer may move: the
    // records are sorted in a copy that nothing moves.
    series::Buffer* b = str::buffer_of(*series);
    const size_t width = size_t{size} * unit;
    if (c.function) {
        std::vector<uint8_t> copy(b->at(start), b->at(start) + records * width);
        sort::stable_sort(copy.data(), records, width, &c, nullptr, compare);
        write_back(*series, start, copy, unit);
    } else if (a.stable && !a.case_sensitive) {
        sort::stable_sort(b->at(start), records, width, &c, nullptr, compare);
    } else {
        sort::quick_sort(b->at(start), records, width, &c, nullptr, compare);
    }
    notice.done(nullptr, static_cast<int32_t>(start), static_cast<int32_t>(range));
    return series;
}

// ---- set operations

namespace {

// The first characters of a text's records, folded unless case matters.
std::unordered_set<char32_t> record_starts(const std::u32string& text, uint32_t size, bool case_sensitive) {
    std::unordered_set<char32_t> out;
    for (size_t i = 0; i < text.size(); i += size) out.insert(case_sensitive ? text[i] : str::fold(text[i]));
    return out;
}

std::u32string chars_of(const Cell& s) {
    const uint32_t n = str::length_at(s);
    std::u32string out(n, U'\0');
    for (uint32_t i = 0; i < n; i++) out[i] = str::char_at(s, i);
    return out;
}

}  // namespace

void set_operation(SetOp op, Cell& a, const Cell* b, bool case_sensitive, const Cell* skip) {
    uint32_t size = 1;
    if (skip) {
        const int32_t s = get_int(*skip);
        if (type_of(*skip) != TypeId::integer || s < 1)
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *skip});
        size = static_cast<uint32_t>(s);
    }
    const std::u32string x = chars_of(a);
    const std::u32string y = b ? chars_of(*b) : std::u32string();
    std::u32string out;
    std::unordered_set<char32_t> seen;
    auto take_from = [&](const std::u32string& from, const std::u32string& other, bool in_other_wanted,
                         bool test_other) {
        const auto in_other = test_other ? record_starts(other, size, case_sensitive) : std::unordered_set<char32_t>{};
        for (size_t i = 0; i < from.size(); i += size) {
            const char32_t key = case_sensitive ? from[i] : str::fold(from[i]);
            if (test_other && in_other.contains(key) != in_other_wanted) continue;
            if (!seen.insert(key).second) continue;
            out.append(from, i, std::min<size_t>(size, from.size() - i));
        }
    };
    switch (op) {
        case SetOp::unique: take_from(x, y, false, false); break;
        case SetOp::union_: take_from(x, y, false, false); take_from(y, x, false, false); break;
        case SetOp::intersect: take_from(x, y, true, true); break;
        case SetOp::exclude: take_from(x, y, false, true); break;
        case SetOp::difference: take_from(x, y, false, true); take_from(y, x, false, true); break;
    }
    const TypeId type = type_of(a);
    Cell* r = stack::push(unset_cell);
    str::make_at(*r, static_cast<uint32_t>(out.size()), 1, type);
    str::append_chars(*r, out);
    a = *r;
    stack::pop();
}

}  // namespace qor::string_type
