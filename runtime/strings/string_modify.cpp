// string!: append, insert, change, swap, take and trim.
//
// The inserted text is first built at the string's tail (copied there when
// it is text, formed there when it is any other value), repeated there for
// /dup by doubling copies, then rotated into place; so no temporary string
// is made, and text taken from the string itself is copied before the
// string moves.
#include <algorithm>
#include <array>
#include <vector>

#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/words/ownership.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"

namespace qor::string_type {

namespace {

constexpr int32_t no_limit = INT32_MAX;

bool is_block_like(TypeId t) { return t == TypeId::block || t == TypeId::paren || t == TypeId::hash; }

// Which action builds the run: they differ in the widening rule of a char!
// and in what /part means.
enum class Kind : uint8_t { append, insert, change };

// Builds the value's text at the tail of S; answers its length in
// characters. `part` is the /part count (append and insert) or -1.
uint32_t build_run(Cell& s, const Cell& value, int32_t part, bool only, Kind kind) {
    const uint32_t start = str::buffer_of(s)->length();
    const TypeId t = type_of(value);
    if (t == TypeId::char_) {
        if (kind == Kind::append) str::append_char(s.w2, value.w2);
        else str::insert_char(s.w2, start, value.w2);
    } else if (t == TypeId::tag) {
        str::append_char(s.w2, '<');
        str::concatenate(s, value, -1, 0, str::Mode::append);
        str::append_char(s.w2, '>');
    } else if (is_any_string(t)) {
        str::concatenate(s, value, part, 0, str::Mode::append);
        return str::buffer_of(s)->length() - start;
    } else if (is_block_like(t)) {
        const Cell block = value;
        uint32_t n = series_tail::cell_count(block);
        // append/part counts values unless /only makes it a character budget.
        if (kind == Kind::append && part >= 0 && !only) {
            n = std::min<uint32_t>(n, static_cast<uint32_t>(part));
            part = -1;
        }
        for (uint32_t i = 0; i < n; i++) {
            const Cell item = *series_tail::cell_at(block, i);
            actions::call_form(item, s, nullptr, no_limit);
            if (part >= 0 && str::buffer_of(s)->length() - start >= static_cast<uint32_t>(part)) break;
        }
    } else {
        actions::call_form(value, s, nullptr, no_limit);
    }
    uint32_t length = str::buffer_of(s)->length() - start;
    if (part >= 0 && static_cast<uint32_t>(part) < length) {
        length = static_cast<uint32_t>(part);
        series::Buffer* b = str::buffer_of(s);
        b->set_tail_units(b->head_units() + start + length);
    }
    return length;
}

// Fills [at + length, at + length * count) with copies of the first
// `length` characters at `at`, doubling the copied run each step.
void repeat_in_place(series::Buffer* b, uint32_t at, uint32_t length, uint32_t count) {
    uint8_t* run = b->at(at);
    const size_t whole = size_t{length} * count * b->unit();
    size_t done = size_t{length} * b->unit();
    while (done < whole) {
        const size_t n = std::min(done, whole - done);
        std::memcpy(run + done, run, n);
        done += n;
    }
}

// Repeats the last `length` characters until there are `count` copies.
void repeat_run(Cell& s, uint32_t length, uint32_t count) {
    if (count <= 1 || length == 0) return;
    const uint64_t extra = uint64_t{length} * (count - 1);
    const uint64_t total = extra + str::buffer_of(s)->length();
    if ((total << 2) > series::max_capacity) {
        // Refused before the string changes: the run built so far goes.
        series::Buffer* b = str::buffer_of(s);
        b->set_tail_units(b->tail_units() - length);
        error::fire(error::Id::no_memory);
    }
    series::Buffer* b = str::reserve(s.w2, extra);
    repeat_in_place(b, b->length() - length, length, count);
    b->tail += static_cast<uint32_t>(extra) * b->unit();
}

uint32_t dup_count(const Cell* dup) {
    if (!dup) return 1;
    const int32_t n = get_int(*dup);
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

// Builds the run at the tail (count copies); answers its length in
// characters. A dup count of 0 builds nothing.
uint32_t build(Cell& s, const Cell& value, int32_t part, bool only, Kind kind, uint32_t count) {
    if (count == 0) return 0;
    const uint32_t length = build_run(s, value, part, only, kind);
    repeat_run(s, length, count);
    return length * count;
}

// Brings the last `run` characters to position `at`.
void rotate_into(Cell& s, uint32_t at, uint32_t run) {
    series::Buffer* b = str::buffer_of(s);
    const uint32_t unit = b->unit();
    const uint32_t length = b->length();
    str::rotate(b->at(at), size_t{length - run - at} * unit, size_t{run} * unit);
}

// The /part count; a negative one limits nothing (as for blocks).
int32_t part_limit(const Cell* part) { return part && get_int(*part) >= 0 ? get_int(*part) : -1; }

const Cell* append_impl(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup) {
    const int32_t limit = part_limit(part);
    const uint32_t at = str::buffer_of(*series)->length();
    series_type::Notice notice(*series, ownership::Change::append, value,
                                                   static_cast<int32_t>(at), limit);
    const Cell v = *value;
    const uint32_t n = build(*series, v, limit, only, Kind::append, dup_count(dup));
    notice.done(value, static_cast<int32_t>(at), static_cast<int32_t>(n));
    series->w1 = 0;
    return series;
}

}  // namespace

const Cell* append(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup) {
    return append_impl(series, value, part, only, dup);
}

const Cell* insert(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup) {
    str::clamp_index(*series);
    const uint32_t at = series->w1;
    const int32_t limit = part_limit(part);
    series_type::Notice notice(*series, ownership::Change::insert, value, static_cast<int32_t>(at), limit);
    const Cell v = *value;
    const uint32_t n = build(*series, v, limit, only, Kind::insert, dup_count(dup));
    rotate_into(*series, at, n);
    notice.done(value, static_cast<int32_t>(at), static_cast<int32_t>(n));
    series->w1 = std::min(at + n, str::buffer_of(*series)->length());
    return series;
}

namespace {

// A value whose characters can go straight into place: a character, or a
// text held in another buffer (a tag gains brackets, and a text of the
// string itself would move while the gap opens, so both are built at the
// tail instead).
bool copies_directly(const Cell& s, const Cell& v) {
    const TypeId t = type_of(v);
    return t == TypeId::char_ || (is_any_string(t) && t != TypeId::tag && v.w2 != s.w2);
}

// Makes the `replaced` characters at `at` take `n` characters' room: the
// rest of the string moves once, by the difference.
series::Buffer* resize_gap(Cell& s, uint32_t at, uint32_t replaced, uint32_t n) {
    series::Buffer* b = n > replaced ? str::reserve(s.w2, n - replaced) : str::buffer_of(s);
    const uint32_t length = b->length();
    std::memmove(b->at(at + n), b->at(at + replaced), size_t{length - at - replaced} * b->unit());
    b->set_tail_units(b->head_units() + length - replaced + n);
    return b;
}

// change with a character or a text of another buffer: the gap is sized
// first, then the characters are written into it.
void change_directly(Cell& s, const Cell& v, uint32_t at, uint32_t replaced, uint32_t length, uint32_t count) {
    const bool is_char = type_of(v) == TypeId::char_;
    str::ensure_unit(s.w2, is_char ? str::unit_for_insert(v.w2) : str::buffer_of(v)->unit());
    series::Buffer* b = resize_gap(s, at, replaced, length * count);
    if (length * count == 0) return;
    const uint32_t unit = b->unit();
    uint8_t* to = b->at(at);
    if (is_char) {
        str::put_char(to, unit, v.w2);
    } else {
        // Read only now: making room may have moved the value's buffer.
        const series::Buffer* from_buffer = str::buffer_of(v);
        const uint32_t from_unit = from_buffer->unit();
        const uint8_t* from = from_buffer->at(v.w1);
        if (from_unit == unit) {
            std::memcpy(to, from, size_t{length} * unit);
        } else {
            for (uint32_t i = 0; i < length; i++)
                str::put_char(to + size_t{i} * unit, unit, str::get_char(from + size_t{i} * from_unit, from_unit));
        }
    }
    repeat_in_place(b, at, length, count);
}

// Brings the run of n characters built at the tail (after old_length) to
// `at` in place of `replaced` characters: as much of the run as fits is
// copied over them, then the rest of the string moves once.
void place_run(Cell& s, uint32_t at, uint32_t replaced, uint32_t old_length, uint32_t n) {
    series::Buffer* b = str::buffer_of(s);
    const uint32_t unit = b->unit();
    const uint32_t over = std::min(replaced, n);
    std::memcpy(b->at(at), b->at(old_length), size_t{over} * unit);
    const size_t rest = size_t{old_length - at - replaced} * unit;
    if (n <= replaced) {
        std::memmove(b->at(at + n), b->at(at + replaced), rest);
    } else {
        std::memmove(b->at(old_length), b->at(old_length + replaced), size_t{n - replaced} * unit);
        str::rotate(b->at(at + replaced), rest, size_t{n - replaced} * unit);
    }
    b->set_tail_units(b->head_units() + old_length - replaced + n);
}

}  // namespace

const Cell* change(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup) {
    const uint32_t left = str::clamp_index(*series);
    const uint32_t at = series->w1;
    const uint32_t count = dup_count(dup);
    const Cell v = *value;
    const uint32_t old_length = str::buffer_of(*series)->length();
    auto replaced_for = [&](uint32_t n) {
        return part ? static_cast<uint32_t>(std::clamp<int32_t>(get_int(*part), 0, static_cast<int32_t>(left)))
                    : std::min(n, left);
    };
    if (left > 0 && copies_directly(*series, v)) {
        const uint32_t length = type_of(v) == TypeId::char_ ? 1 : str::length_at(v);
        const uint64_t n = uint64_t{length} * count;
        // The same refusal as a repeat built at the tail: before anything
        // changes or is announced.
        if (count > 1 && ((n + old_length) << 2) > series::max_capacity) error::fire(error::Id::no_memory);
        const uint32_t replaced = replaced_for(static_cast<uint32_t>(n));
        series_type::Notice notice(*series, ownership::Change::change, value, static_cast<int32_t>(at),
                                   static_cast<int32_t>(replaced));
        change_directly(*series, v, at, replaced, length, count);
        notice.done(value, static_cast<int32_t>(at), static_cast<int32_t>(n));
        series->w1 = std::min(at + static_cast<uint32_t>(n), str::buffer_of(*series)->length());
        return series;
    }
    // The new text goes to the tail first, so its length is known before
    // anything in place changes.
    const uint32_t n = build(*series, v, -1, only, Kind::change, count);
    const uint32_t replaced = replaced_for(n);
    series_type::Notice notice(*series, ownership::Change::change, value, static_cast<int32_t>(at),
                               static_cast<int32_t>(replaced));
    if (left == 0) {
        notice.done(value, static_cast<int32_t>(at), static_cast<int32_t>(n));
        series->w1 = old_length + n;
        return series;
    }
    place_run(*series, at, replaced, old_length, n);
    notice.done(value, static_cast<int32_t>(at), static_cast<int32_t>(n));
    series->w1 = std::min(at + n, str::buffer_of(*series)->length());
    return series;
}

// Exchanges the first characters of two strings (or binaries).
Cell* swap() {
    Cell* s1 = stack::arg(0);
    Cell* s2 = stack::arg(1);
    const TypeId t1 = type_of(*s1), t2 = type_of(*s2);
    if (!(is_any_string(t2) || t2 == TypeId::binary)) error::fire(error::Id::invalid_arg, {*s2});
    if (str::length_at(*s1) == 0 || str::length_at(*s2) == 0) return s1;
    const uint32_t c1 = str::char_at(*s1, 0), c2 = str::char_at(*s2, 0);
    // A binary holds bytes only.
    if ((t1 == TypeId::binary && c2 > 255) || (t2 == TypeId::binary && c1 > 255)) error::fire(error::Id::invalid_arg, {*s2});
    series_type::Notice notice1(*s1, ownership::Change::swap, s2, static_cast<int32_t>(s1->w1), 1);
    series_type::Notice notice2(*s2, ownership::Change::swap, s1, static_cast<int32_t>(s2->w1), 1);
    str::write_char(s1->w2, s1->w1, c2);
    str::write_char(s2->w2, s2->w1, c1);
    notice1.done(s2, static_cast<int32_t>(s1->w1), 1);
    notice2.done(s1, static_cast<int32_t>(s2->w1), 1);
    return s1;
}

// The series! routine: without /part one character (a char!, or an
// integer! for a binary!), with it a new string of the same type.
const Cell* take(Cell* series, const Cell* part, bool deep, bool last) {
    return series_type::take(series, part, deep, last);
}

// ---- trim

namespace {

// Whitespace for /head and /tail: the control characters and spaces of
// Unicode's white space.
bool is_space(uint32_t c) {
    return (c >= 1 && c <= 32) || c == 133 || c == 160 || c == 5760 || c == 6158 || (c >= 8192 && c <= 8202) ||
           c == 8232 || c == 8233 || c == 8239 || c == 8287 || c == 12288;
}

// Blanks stripped around inner line feeds: spaces and tabs, not the other
// control characters.
bool is_blank(uint32_t c) { return c == ' ' || c == '\t' || (c >= 128 && is_space(c)); }

// The characters from the index, read out.
std::u32string read_chars(const Cell& s) {
    const uint32_t n = str::length_at(s);
    std::u32string out(n, U'\0');
    const series::Buffer* b = str::buffer_of(s);
    for (uint32_t i = 0; i < n; i++) out[i] = str::get_char(b->at(s.w1 + i), b->unit());
    return out;
}

// Writes the characters back from the index in the buffer's own unit
// (never wider than what was read) and cuts the tail after them.
void write_chars(Cell& s, const std::u32string& chars) {
    series::Buffer* b = str::buffer_of(s);
    const uint32_t unit = b->unit();
    for (size_t i = 0; i < chars.size(); i++) str::put_char(b->at(s.w1 + static_cast<uint32_t>(i)), unit, chars[i]);
    b->set_tail_units(b->head_units() + s.w1 + static_cast<uint32_t>(chars.size()));
}

// The set of /with: a string's or binary's characters, a char!, an integer!
// (a bitset! is tested member by member instead).
std::u32string with_set(const Cell& with) {
    const TypeId t = type_of(with);
    if (t == TypeId::char_ || t == TypeId::integer) return std::u32string(1, static_cast<char32_t>(with.w2));
    if (is_any_string(t) || t == TypeId::binary) return read_chars(with);
    error::fire(error::Id::invalid_arg, {with});
}

std::u32string trim_lines(const std::u32string& in) {
    std::u32string out;
    bool pending_space = false;
    for (char32_t c : in) {
        if (is_space(c)) {
            pending_space = !out.empty();
            continue;
        }
        if (pending_space) out.push_back(U' ');
        pending_space = false;
        out.push_back(c);
    }
    return out;
}

// Leading and trailing whitespace; without /head or /tail also the blanks
// around each inner line feed, and one line feed kept at the end when the
// trailing whitespace held one.
std::u32string trim_ends(const std::u32string& in, bool head, bool tail) {
    const bool both = head == tail;
    size_t from = 0, to = in.size();
    if (head || both)
        while (from < to && is_space(in[from])) from++;
    bool had_line_feed = false;
    if (tail || both)
        while (to > from && is_space(in[to - 1])) had_line_feed |= in[--to] == U'\n';
    std::u32string out;
    if (!both) {
        out.assign(in, from, to - from);
        return out;
    }
    out.reserve(to - from + 1);
    for (size_t i = from; i < to; i++) {
        const char32_t c = in[i];
        if (c == U'\n') {
            while (!out.empty() && is_blank(out.back())) out.pop_back();
            out.push_back(c);
            while (i + 1 < to && is_blank(in[i + 1])) i++;
            continue;
        }
        out.push_back(c);
    }
    if (had_line_feed) out.push_back(U'\n');
    return out;
}

}  // namespace

const Cell* trim(Cell* series, const actions::TrimArgs& a) {
    if (a.auto_) error::fire(error::Id::not_done);
    str::clamp_index(*series);
    series_type::Notice notice(*series, ownership::Change::trim, nullptr, static_cast<int32_t>(series->w1),
                                         static_cast<int32_t>(str::length_at(*series)));
    const std::u32string in = read_chars(*series);
    std::u32string out;
    if (a.with && type_of(*a.with) == TypeId::bitset) {
        out.reserve(in.size());
        for (char32_t c : in)
            if (!bitset::has(*a.with, c)) out.push_back(c);
    } else if (a.all || a.with) {
        std::u32string set = a.with ? with_set(*a.with) : std::u32string(U"\t\n\r ");
        // Characters below 256 by a table, wider ones by a sorted search.
        std::array<bool, 256> small{};
        for (char32_t c : set)
            if (c < 256) small[c] = true;
        std::sort(set.begin(), set.end());
        out.reserve(in.size());
        for (char32_t c : in) {
            const bool drop = c < 256 ? small[c] : std::binary_search(set.begin(), set.end(), c);
            if (!drop) out.push_back(c);
        }
    } else if (a.lines) {
        out = trim_lines(in);
    } else {
        out = trim_ends(in, a.head, a.tail);
    }
    write_chars(*series, out);
    notice.done(nullptr, static_cast<int32_t>(series->w1), static_cast<int32_t>(out.size()));
    return series;
}

}  // namespace qor::string_type
