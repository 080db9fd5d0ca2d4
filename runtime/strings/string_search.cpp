// string!: find, select and path access into a string.
//
// The pattern is read once into code points (folded when the search ignores
// case); the series is read in place with its own unit. A case-sensitive
// search of a 1-byte string for a 1-byte pattern runs on memchr.
#include <algorithm>
#include <array>
#include <string>
#include <string.h>

#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"

namespace qor::string_type {

namespace {

// What is looked for: a run of code points, or a set of them.
struct Pattern {
    std::u32string chars;
    const Cell* bitset = nullptr;
};

// The pattern's code points (folded when asked). A binary! series looks
// for the UTF-8 bytes of a text.
Pattern make_pattern(const Cell& series, const Cell& value, bool fold) {
    Pattern p;
    const TypeId st = type_of(series), vt = type_of(value);
    const bool in_binary = st == TypeId::binary;
    auto add_text = [&](const Cell& text) {
        if (in_binary && vt != TypeId::binary) {
            for (unsigned char c : str::to_utf8(text)) p.chars.push_back(c);
            return;
        }
        const uint32_t n = str::length_at(text);
        p.chars.reserve(n);
        for (uint32_t i = 0; i < n; i++) p.chars.push_back(str::char_at(text, i));
    };
    if (vt == TypeId::char_) {
        p.chars.push_back(value.w2);
    } else if (vt == TypeId::bitset) {
        p.bitset = &value;
    } else if (vt == TypeId::binary) {
        if (!in_binary) error::fire(error::Id::invalid_arg, {value});
        add_text(value);
    } else if (is_any_string(vt)) {
        add_text(value);
    } else if (in_binary && (vt == TypeId::integer || vt == TypeId::float_)) {
        const int32_t n = vt == TypeId::integer ? get_int(value) : integer::from_double_checked(get_double(value));
        p.chars.push_back(static_cast<uint32_t>(n));
    } else {
        // Words by their spelling, anything else by its formed text.
        Cell* text = stack::push(unset_cell);
        str::make_at(*text, 16);
        actions::call_form(value, *text, nullptr, INT32_MAX);
        add_text(*text);
        stack::pop();
    }
    if (fold)
        for (char32_t& c : p.chars) c = str::fold(c);
    return p;
}

// Whether the pattern matches at unit position `at`.
template <bool Fold>
bool matches_at(const series::Buffer* b, uint32_t at, const Pattern& p) {
    const uint32_t unit = b->unit();
    if (p.bitset) return bitset::has(*p.bitset, str::get_char(b->at(at), unit));
    const uint8_t* s = b->at(at);
    for (size_t i = 0; i < p.chars.size(); i++) {
        uint32_t c = str::get_char(s + i * unit, unit);
        if (Fold) c = str::fold(c);
        if (c != p.chars[i]) return false;
    }
    return true;
}

// Forward scan of start positions [lo, hi] with step 1 for an exact
// pattern in a 1-byte string: the C library's substring search.
int64_t scan_bytes(const series::Buffer* b, uint32_t lo, uint32_t hi, const Pattern& p) {
    std::string bytes(p.chars.size(), '\0');
    for (size_t i = 0; i < p.chars.size(); i++) {
        if (p.chars[i] > 255) return -1;
        bytes[i] = static_cast<char>(p.chars[i]);
    }
    const uint8_t* base = b->at(0);
    const void* hit = memmem(base + lo, size_t{hi - lo} + bytes.size(), bytes.data(), bytes.size());
    return hit ? static_cast<const uint8_t*>(hit) - base : -1;
}

// Latin-1 folded: every 1-byte character's folded form, itself 1 byte.
struct Fold1 {
    std::array<uint8_t, 256> table{};
    Fold1() {
        for (uint32_t c = 0; c < 256; c++) {
            const uint32_t f = str::fold(c);
            table[c] = static_cast<uint8_t>(f < 256 ? f : c);
        }
    }
};

// Forward scan ignoring case in a 1-byte string: one table read per
// character until the first pattern character matches.
int64_t scan_bytes_folded(const series::Buffer* b, uint32_t lo, uint32_t hi, const Pattern& p) {
    static const Fold1 fold1;
    const uint8_t* base = b->at(0);
    const uint32_t first = p.chars[0];
    if (first > 255) return -1;
    const size_t n = p.chars.size();
    for (uint32_t at = lo; at <= hi; at++) {
        if (fold1.table[base[at]] != first) continue;
        size_t i = 1;
        while (i < n && fold1.table[base[at + i]] == p.chars[i]) i++;
        if (i == n) return at;
    }
    return -1;
}

}  // namespace

const Cell* find(Cell* series, Cell* value, const actions::FindArgs& a) {
    const series::Buffer* b = str::buffer_of(*series);
    const uint32_t length = b->length();
    const uint32_t index = series->w1;
    if (length == 0 || (!a.reverse && index >= length)) return &none::value;
    if (a.any || a.with) error::fire(error::Id::not_done);
    uint32_t step = 1;
    if (a.skip) {
        const int32_t s = get_int(*a.skip);
        if (type_of(*a.skip) != TypeId::integer || s < 1) error::fire(error::Id::out_of_range, {*a.skip});
        step = static_cast<uint32_t>(s);
    }
    // The range [lo, hi) that the search covers.
    const uint32_t start = std::min(index, length);
    uint32_t lo, hi;
    int64_t count = -1;
    if (a.part) {
        if (type_of(*a.part) == TypeId::integer) count = get_int(*a.part);
        else if (type_of(*a.part) == type_of(*series) && a.part->w2 == series->w2)
            count = int64_t{a.part->w1} - int64_t{index};
        else error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, *a.part});
        if (count < 1) return &none::value;
    }
    if (a.reverse) {
        if (a.match || start == 0) return &none::value;
        hi = start;
        lo = count < 0 ? 0 : static_cast<uint32_t>(std::max<int64_t>(0, int64_t{start} - count));
    } else {
        lo = start;
        hi = count < 0 ? length : static_cast<uint32_t>(std::min<int64_t>(length, int64_t{start} + count));
    }
    const bool fold = is_any_string(type_of(*series)) && !a.case_sensitive && !a.same;
    const Cell pattern_value = *value;
    const Pattern p = make_pattern(*series, pattern_value, fold);
    b = str::buffer_of(*series);  // forming a value may have moved it
    const uint32_t plen = p.bitset ? 1 : static_cast<uint32_t>(p.chars.size());
    if (plen == 0 || hi - lo < plen) return &none::value;
    const uint32_t last_start = hi - plen;
    int64_t found = -1;
    if (a.reverse || a.last) {
        for (int64_t at = last_start; at >= lo; at -= step) {
            if (fold ? matches_at<true>(b, static_cast<uint32_t>(at), p) : matches_at<false>(b, static_cast<uint32_t>(at), p)) {
                found = at;
                break;
            }
            if (a.match) break;
        }
    } else if (!p.bitset && step == 1 && !a.match && b->unit() == 1) {
        if (!fold) found = scan_bytes(b, lo, last_start, p);
        else found = scan_bytes_folded(b, lo, last_start, p);
    } else {
        for (uint32_t at = lo; at <= last_start; at += step) {
            if (fold ? matches_at<true>(b, at, p) : matches_at<false>(b, at, p)) {
                found = at;
                break;
            }
            if (a.match) break;
            if (last_start - at < step) break;
        }
    }
    if (found < 0) return &none::value;
    series->w1 = static_cast<uint32_t>(found) + (a.tail ? plen : 0);
    return series;
}

const Cell* select(Cell* series, Cell* value, const actions::FindArgs& a) {
    actions::FindArgs f = a;
    f.tail = true;
    f.match = false;
    const Cell* r = find(series, value, f);
    if (type_of(*r) == TypeId::none) return r;
    const series::Buffer* b = str::buffer_of(*series);
    if (series->w1 >= b->length()) return &none::value;
    const uint32_t c = str::get_char(b->at(series->w1), b->unit());
    if (type_of(*series) == TypeId::binary) integer::make_at(*series, static_cast<int32_t>(c));
    else char_::make_at(*series, c);
    return series;
}

namespace {

// The absolute position of the 1-based n from the index, or -1.
int64_t pick_offset(const Cell& s, int32_t n) {
    const int64_t at = n > 0 ? int64_t{s.w1} + n - 1 : int64_t{s.w1} + n;
    if (n == 0 || at < 0 || at >= str::buffer_of(s)->length()) return -1;
    return at;
}

// Writes the value at an absolute position: a char! (or an integer! byte
// into a binary!).
void poke_at(Cell& s, uint32_t at, const Cell& v) {
    if (type_of(s) == TypeId::binary) {
        binary_type::poke_byte(s, at, v);
        return;
    }
    if (type_of(v) != TypeId::char_) error::fire(error::Id::invalid_arg, {v});
    str::write_char(s.w2, at, v.w2);
}

}  // namespace

Cell* eval_path(const actions::EvalPathArgs& a) {
    Cell& s = *a.parent;
    const Cell& key = *a.element;
    if (type_of(key) == TypeId::integer) {
        const int64_t at = pick_offset(s, get_int(key));
        if (a.value) {
            if (at < 0) error::fire(error::Id::out_of_range, {key});
            const Cell v = *a.value;
            poke_at(s, static_cast<uint32_t>(at), v);
            *a.parent = v;
            return a.parent;
        }
        if (at < 0) {
            *a.parent = none::value;
            return a.parent;
        }
        const uint32_t c = str::char_at(Cell{s.header, 0, s.w2, 0}, static_cast<uint32_t>(at));
        if (type_of(s) == TypeId::binary) integer::make_at(s, static_cast<int32_t>(c));
        else char_::make_at(s, c);
        return a.parent;
    }
    if (type_of(key) == TypeId::word) error::fire(error::Id::invalid_path, {key, *a.path});
    actions::FindArgs f;
    f.case_sensitive = a.case_sensitive;
    Cell k = key;
    if (!a.value) return const_cast<Cell*>(select(a.parent, &k, f));
    Cell probe = s;
    f.tail = true;
    const Cell* r = find(&probe, &k, f);
    if (type_of(*r) == TypeId::none || probe.w1 >= str::buffer_of(probe)->length())
        error::fire(error::Id::bad_path_set, {*a.path, key});
    const Cell v = *a.value;
    poke_at(s, probe.w1, v);
    *a.parent = v;
    return a.parent;
}

}  // namespace qor::string_type
