// binary!: conversion to bytes, hexadecimal form and mold, comparison,
// insert, append, change, trim and the bitwise actions.
#include "runtime/strings/binary.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word_type.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/words/ownership.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/base_codecs.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/utf8.h"

namespace qor::binary_type {

// ---- byte helpers

uint32_t length_at(const Cell& b) { return str::length_at(b); }

Cell& make_at(Cell& cell, uint32_t n) { return str::make_at(cell, n, 1, TypeId::binary); }

Cell& load_at(Cell& cell, std::span<const uint8_t> bytes) {
    make_at(cell, static_cast<uint32_t>(bytes.size()));
    append_memory(cell, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return cell;
}

void append_memory(Cell& b, const uint8_t* bytes, uint32_t n) {
    if (n == 0) return;
    series::Buffer* buf = str::reserve(b.w2, n);
    std::memcpy(buf->tail_ptr(), bytes, n);
    buf->tail += n;
}

std::vector<uint8_t> bytes_of(const Cell& b) {
    const uint32_t n = length_at(b);
    const uint8_t* p = str::buffer_of(b)->at(b.w1);
    return {p, p + n};
}

// poke stores the low byte of an integer! or char!, whatever its range;
// other values are refused.
void poke_byte(Cell& b, uint32_t at, const Cell& value) {
    const TypeId t = type_of(value);
    if (t != TypeId::integer && t != TypeId::char_) error::fire(error::Id::invalid_arg, {value});
    *str::buffer_of(b)->at(at) = static_cast<uint8_t>(value.w2);
}

namespace {

void append_utf8(const Cell& text, std::vector<uint8_t>& out) {
    const std::string s = str::to_utf8(text);
    out.insert(out.end(), s.begin(), s.end());
}

void append_double(double d, std::vector<uint8_t>& out) {
    const uint64_t u = std::bit_cast<uint64_t>(d);
    for (int s = 56; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(u >> s));
}

void append_tuple(const Cell& t, std::vector<uint8_t>& out) {
    const uint32_t n = (t.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&t.w1);
    out.insert(out.end(), bytes, bytes + std::min<uint32_t>(n, 12));
}

}  // namespace

void value_bytes(const Cell& value, std::vector<uint8_t>& out, BytesMode mode) {
    const TypeId t = type_of(value);
    switch (t) {
        case TypeId::char_: {
            uint8_t b[4];
            const int n = utf8::encode_char(value.w2, b);
            out.insert(out.end(), b, b + n);
            return;
        }
        case TypeId::integer: {
            const int32_t v = get_int(value);
            if (v < -128 || v > 255) error::fire(error::Id::invalid_arg, {value});
            out.push_back(static_cast<uint8_t>(v));
            return;
        }
        case TypeId::binary: {
            const uint32_t n = length_at(value);
            const uint8_t* p = str::buffer_of(value)->at(value.w1);
            out.insert(out.end(), p, p + n);
            return;
        }
        case TypeId::tuple: append_tuple(value, out); return;
        case TypeId::block:
        case TypeId::paren:
        case TypeId::hash: {
            // A block that holds itself has no bytes: refuse it instead of
            // walking it until the native stack ends.
            if (cycle::find(value.w2)) error::fire(error::Id::no_cycle);
            cycle::Scope scope(value.w2);
            const uint32_t n = series_tail::cell_count(value);
            for (uint32_t i = 0; i < n; i++) {
                const Cell item = *series_tail::cell_at(value, i);  // forming an item may move the block
                value_bytes(item, out, mode);
            }
            return;
        }
        default: break;
    }
    if (is_any_string(t)) {
        append_utf8(value, out);
        return;
    }
    if (mode == BytesMode::insert) error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::binary), value});
    Cell* text = stack::push(unset_cell);
    str::make_at(*text, 16);
    actions::call_form(value, *text, nullptr, INT32_MAX);
    append_utf8(*text, out);
    stack::pop();
}

// ---- to

const Cell* to(Cell* prototype, Cell* spec, TypeId) {
    std::vector<uint8_t> bytes;
    const TypeId t = type_of(*spec);
    switch (t) {
        case TypeId::integer: {
            const uint32_t u = spec->w2;
            for (int s = 24; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(u >> s));
            break;
        }
        case TypeId::float_:
        case TypeId::percent: append_double(get_double(*spec), bytes); break;
        case TypeId::issue: {
            Cell* text = stack::push(unset_cell);
            str::make_at(*text, 16);
            word_type::append_spelling(*spec, *text);
            const series::Buffer* b = str::buffer_of(*text);
            base::Decoded d = base::decode_base16(b->head_ptr(), b->length(), b->unit());
            stack::pop();
            if (!d) error::fire(error::Id::invalid_data, {*spec});
            bytes = std::move(*d);
            break;
        }
        case TypeId::bitset: {
            const series::Buffer* b = series::buffer(spec->w2);
            bytes.assign(b->head_ptr(), b->tail_ptr());
            break;
        }
        case TypeId::image: {
            // The stored pixel words of the whole image, byte for byte.
            const Cell img = *spec;
            image_type::extract_channel(img, image_type::Channel::argb, *prototype);
            return prototype;
        }
        case TypeId::char_: case TypeId::binary: case TypeId::tuple:
        case TypeId::block: case TypeId::paren: case TypeId::hash:
            value_bytes(*spec, bytes, BytesMode::insert);
            break;
        default:
            if (!is_any_string(t)) error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::binary), *spec});
            value_bytes(*spec, bytes, BytesMode::insert);
    }
    load_at(*prototype, bytes);
    return prototype;
}

// ---- form and mold

namespace {

void newline_indent(Cell& buffer, int32_t level) {
    str::append_char(buffer.w2, '\n');
    for (int32_t i = 0; i < level; i++) str::append_literal(buffer, "    ");
}

// "#{...}" in base 16. Up to 30 bytes stay on one line; more go on lines
// of 32 bytes between the braces, the closing brace on its own line at the
// value's level.
int32_t form_hex(const Cell& value, Cell& buffer, bool only, bool flat, const Cell* part, int32_t budget,
                 int32_t level) {
    const uint32_t n = length_at(value);
    const NodeId node = value.w2;
    const uint32_t index = value.w1;
    if (!only) {
        str::append_literal(buffer, "#{");
        budget -= 2;
    }
    const bool lines = n > 30 && !flat;
    if (lines) newline_indent(buffer, level + 1);
    for (uint32_t i = 0; i < n; i++) {
        const auto hex = str::byte_to_hex(*series::buffer(node)->at(index + i));
        str::append_literal(buffer, {hex.data(), 2});
        budget -= 2;
        if (part && budget < 1) return budget;
        if (lines && (i + 1) % 32 == 0 && i + 1 < n) newline_indent(buffer, level + 1);
    }
    if (lines) newline_indent(buffer, level);
    if (!only) {
        str::append_char(buffer.w2, '}');
        budget -= 1;
    }
    return budget;
}

}  // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    return form_hex(*value, *buffer, false, false, part, limit, 0);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    return form_hex(*value, *buffer, only, flat, part, limit, indent);
}

// ---- compare

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::binary) return -2;
    op = fold_equality(op);
    if (a->w2 == b->w2 && a->w1 == b->w1) return 0;
    if (op == CompareOp::same) return -1;
    const uint32_t na = length_at(*a), nb = length_at(*b);
    const bool equality = op == CompareOp::equal || op == CompareOp::not_equal ||
                          op == CompareOp::strict_equal || op == CompareOp::find_key;
    if (equality && na != nb) return 1;
    const uint32_t n = std::min(na, nb);
    const int r = n ? std::memcmp(str::buffer_of(*a)->at(a->w1), str::buffer_of(*b)->at(b->w1), n) : 0;
    if (r != 0) return r > 0 ? 1 : -1;
    return (na > nb) - (na < nb);
}

// ---- insert, append, change

namespace {

// The bytes of the value with /part applied: a block counts items (bytes
// with /only), anything else is cut to the part.
std::vector<uint8_t> bytes_with_part(const Cell& value, const Cell* part, bool only, BytesMode mode) {
    std::vector<uint8_t> bytes;
    const TypeId t = type_of(value);
    const int32_t limit = part ? std::max(0, get_int(*part)) : -1;
    if ((t == TypeId::block || t == TypeId::paren || t == TypeId::hash) && limit >= 0 && !only) {
        const uint32_t n = std::min<uint32_t>(series_tail::cell_count(value), static_cast<uint32_t>(limit));
        for (uint32_t i = 0; i < n; i++) {
            const Cell item = *series_tail::cell_at(value, i);
            value_bytes(item, bytes, mode);
        }
        return bytes;
    }
    if (t == TypeId::binary && limit >= 0) {
        // Only the bytes taken are read, so a part of a long binary costs
        // its own length.
        const uint32_t n = std::min<uint32_t>(length_at(value), static_cast<uint32_t>(limit));
        const uint8_t* p = str::buffer_of(value)->at(value.w1);
        bytes.assign(p, p + n);
        return bytes;
    }
    value_bytes(value, bytes, mode);
    if (limit >= 0 && static_cast<uint32_t>(limit) < bytes.size()) bytes.resize(static_cast<uint32_t>(limit));
    return bytes;
}

uint32_t dup_count(const Cell* dup) {
    if (!dup) return 1;
    const int32_t n = get_int(*dup);
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

// Room for `total` more bytes, with an overflow check of the new length.
series::Buffer* make_room(NodeId node, uint64_t total) {
    const series::Buffer* b = series::buffer(node);
    if (total > series::max_capacity || uint64_t{b->tail - b->head} + total > series::max_capacity)
        error::fire(error::Id::no_memory);
    return str::reserve(node, total);
}

// Writes the bytes at `at`, then doubles them up to `count` copies.
void write_repeated(uint8_t* at, const std::vector<uint8_t>& bytes, uint32_t count) {
    const size_t size = bytes.size();
    if (size == 0 || count == 0) return;
    std::memcpy(at, bytes.data(), size);
    size_t done = size;
    const size_t total = size * count;
    while (done < total) {
        const size_t n = std::min(done, total - done);
        std::memcpy(at + done, at, n);
        done += n;
    }
}

const Cell* insert_bytes(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup, bool appending) {
    const uint32_t length = str::clamp_index(*series) + series->w1;
    const uint32_t at = appending ? length : series->w1;
    const uint32_t count = dup_count(dup);
    const std::vector<uint8_t> bytes = bytes_with_part(*value, part, only, BytesMode::insert);
    const uint64_t total = uint64_t{bytes.size()} * count;
    const auto change = appending ? ownership::Change::append : ownership::Change::insert;
    series_type::Notice notice(*series, change, value, static_cast<int32_t>(at), static_cast<int32_t>(total));
    series::Buffer* b = make_room(series->w2, total);
    uint8_t* p = b->at(at);
    std::memmove(p + total, p, length - at);
    write_repeated(p, bytes, count);
    b->tail += static_cast<uint32_t>(total);
    notice.done(value, static_cast<int32_t>(at), static_cast<int32_t>(total));
    series->w1 = appending ? 0 : at + static_cast<uint32_t>(total);
    return series;
}

}  // namespace

const Cell* insert(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup) {
    return insert_bytes(series, value, part, only, dup, false);
}

const Cell* append(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup) {
    return insert_bytes(series, value, part, only, dup, true);
}

const Cell* change(Cell* series, Cell* value, const Cell* part, bool, const Cell* dup) {
    const uint32_t left = str::clamp_index(*series);
    const uint32_t at = series->w1;
    const uint32_t count = dup_count(dup);
    const std::vector<uint8_t> bytes = bytes_with_part(*value, nullptr, false, BytesMode::change);
    const uint64_t written = uint64_t{bytes.size()} * count;
    if (written > series::max_capacity) error::fire(error::Id::no_memory);
    uint64_t replaced = part ? static_cast<uint64_t>(std::max(0, get_int(*part))) : written;
    replaced = std::min<uint64_t>(replaced, left);
    series_type::Notice notice(*series, ownership::Change::change, nullptr, static_cast<int32_t>(at),
                                         static_cast<int32_t>(replaced));
    series::Buffer* b = written > replaced ? make_room(series->w2, written - replaced) : str::buffer_of(*series);
    uint8_t* p = b->at(at);
    std::memmove(p + written, p + replaced, left - replaced);
    write_repeated(p, bytes, count);
    b->tail = static_cast<uint32_t>(b->tail + written - replaced);
    notice.done(nullptr, static_cast<int32_t>(at), static_cast<int32_t>(written));
    series->w1 = std::min<uint32_t>(at + static_cast<uint32_t>(written), b->length());
    return series;
}

// ---- trim

const Cell* trim(Cell* series, const actions::TrimArgs& a) {
    if (a.auto_ || a.lines) error::fire(error::Id::not_done);
    if (a.with) return string_type::trim(series, a);
    str::clamp_index(*series);
    series::Buffer* b = str::buffer_of(*series);
    uint8_t* start = b->at(series->w1);
    uint8_t* end = b->tail_ptr();
    uint8_t* out;
    if (a.all) {
        out = std::remove(start, end, uint8_t{0});
    } else {
        uint8_t* from = start;
        uint8_t* to = end;
        if (!a.tail || a.head)
            while (from < to && *from == 0) from++;
        if (!a.head || a.tail)
            while (to > from && to[-1] == 0) to--;
        std::memmove(start, from, static_cast<size_t>(to - from));
        out = start + (to - from);
    }
    b->tail = static_cast<uint32_t>(out - b->data());
    // Told once, after the trim.
    series_type::Notice notice(*series, ownership::Change::trim, nullptr, static_cast<int32_t>(series->w1), 0);
    (void)notice;
    return series;
}

// ---- bitwise actions

namespace {

enum class Bitwise : uint8_t { and_, or_, xor_ };

// A new binary as long as the longer operand, byte by byte over the common
// length; beyond it zero bytes for and~, the longer operand's bytes else.
Cell* bitwise(Bitwise op) {
    Cell* a = stack::arg(0);
    const Cell* b = stack::arg(1);
    if (type_of(*b) != TypeId::binary) error::fire(error::Id::invalid_arg, {*b});
    const std::vector<uint8_t> x = bytes_of(*a), y = bytes_of(*b);
    const std::vector<uint8_t>& longer = x.size() >= y.size() ? x : y;
    std::vector<uint8_t> out(longer.size(), 0);
    const size_t common = std::min(x.size(), y.size());
    for (size_t i = 0; i < common; i++)
        out[i] = op == Bitwise::and_ ? x[i] & y[i] : op == Bitwise::or_ ? x[i] | y[i] : x[i] ^ y[i];
    if (op != Bitwise::and_)
        for (size_t i = common; i < longer.size(); i++) out[i] = longer[i];
    load_at(*a, out);
    return a;
}

Cell* and_t() { return bitwise(Bitwise::and_); }
Cell* or_t() { return bitwise(Bitwise::or_); }
Cell* xor_t() { return bitwise(Bitwise::xor_); }

Cell* complement() {
    Cell* a = stack::arg(0);
    const uint32_t n = length_at(*a);
    uint8_t* p = str::buffer_of(*a)->at(a->w1);
    for (uint32_t i = 0; i < n; i++) p[i] = static_cast<uint8_t>(~p[i]);
    return a;
}

}  // namespace

namespace {

// A binary keeps its series and hashes by its bytes from its index.
void mark_binary_value(Cell& c) {
    collector::mark_series(&c.w2);
}

uint32_t hash_binary_key(const Cell& key) {
    series::Buffer* b = series::buffer(key.w2);
    const uint32_t length = b->length();
    const uint32_t index = std::min(key.w1, length);
    return hash::murmur3(b->at(index), length - index);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::to>(to).own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::and_t>(and_t).own<Action::or_t>(or_t).own<Action::xor_t>(xor_t);
    row.own<Action::complement>(complement);
    row.own<Action::append>(append).own<Action::insert>(insert).own<Action::change>(change);
    row.own<Action::trim>(trim);
    for (Action inherited : {Action::make, Action::random, Action::reflect, Action::eval_path, Action::at,
                             Action::back, Action::clear, Action::copy, Action::find, Action::head,
                             Action::head_q, Action::index_q, Action::length_q, Action::move, Action::next,
                             Action::pick, Action::poke, Action::remove, Action::reverse, Action::select,
                             Action::sort, Action::skip, Action::swap, Action::tail, Action::tail_q,
                             Action::take, Action::modify})
        row.inherit(inherited);
    row.mark(&mark_binary_value).hash(&hash_binary_key);
    datatype::register_type(TypeId::binary, TypeId::string, row);
}

}  // namespace qor::binary_type
