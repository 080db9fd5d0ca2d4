// The text buffer of form and mold.
#include "runtime/datatypes/text_buffer.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory/series.h"
#include "runtime/strings/string_core.h"

namespace qor::text_buffer {

namespace {

uint32_t read_unit(const uint8_t* p, uint32_t unit) {
    switch (unit) {
        case 1: return *p;
        case 2: {
            uint16_t u;
            std::memcpy(&u, p, 2);
            return u;
        }
        default: {
            uint32_t u;
            std::memcpy(&u, p, 4);
            return u;
        }
    }
}

void write_unit(uint8_t* p, uint32_t unit, uint32_t c) {
    switch (unit) {
        case 1: *p = static_cast<uint8_t>(c); break;
        case 2: {
            const uint16_t u = static_cast<uint16_t>(c);
            std::memcpy(p, &u, 2);
            break;
        }
        default: std::memcpy(p, &c, 4); break;
    }
}

// The buffer with room for n more units after its tail: grown to twice its
// capacity, or more when that is not enough.
series::Buffer* with_room(uint32_t node, uint32_t n) {
    series::Buffer* b = series::buffer(node);
    const uint64_t needed = uint64_t{b->tail - b->head} + uint64_t{n} * b->unit();
    if (uint64_t{b->tail} + uint64_t{n} * b->unit() <= b->capacity) return b;
    return series::expand_copy(node, std::max<uint64_t>(uint64_t{b->capacity} * 2, needed));
}

}  // namespace

void make(Cell& cell, uint32_t capacity) {
    const uint32_t node = series::alloc_units(capacity, 1);
    set_header(cell, TypeId::string);
    cell.w1 = 0;
    cell.w2 = node;
    cell.w3 = 0;
}

void append_ascii(Cell& buffer, std::string_view text) {
    if (text.empty()) return;
    series::Buffer* b = with_room(buffer.w2, static_cast<uint32_t>(text.size()));
    const uint32_t unit = b->unit();
    uint8_t* p = b->tail_ptr();
    if (unit == 1) {
        std::memcpy(p, text.data(), text.size());
    } else {
        for (size_t i = 0; i < text.size(); i++) write_unit(p + i * unit, unit, static_cast<uint8_t>(text[i]));
    }
    b->tail += static_cast<uint32_t>(text.size()) * unit;
}

// A 1-byte string takes code points up to 127 here, a 2-byte one up to
// 0xFFFF; a wider code point widens the whole string first.
void append_char(Cell& buffer, uint32_t c) { str::append_char(buffer.w2, c); }

int32_t indent(Cell& buffer, int32_t level, int32_t budget) {
    for (int32_t i = 0; i < level; i++) append_ascii(buffer, "    ");
    return level > 0 ? budget - 4 * level : budget;
}

uint32_t length(const Cell& buffer) {
    const uint32_t n = series::buffer(buffer.w2)->length();
    return buffer.w1 < n ? n - buffer.w1 : 0;
}

void cut(Cell& buffer, uint32_t count) {
    series::Buffer* b = series::buffer(buffer.w2);
    if (length(buffer) > count) b->set_tail_units(b->head_units() + buffer.w1 + count);
}

uint32_t char_at(const Cell& buffer, uint32_t i) {
    series::Buffer* b = series::buffer(buffer.w2);
    return read_unit(b->at(buffer.w1 + i), b->unit());
}

std::u32string chars(const Cell& string) {
    const uint32_t n = length(string);
    series::Buffer* b = series::buffer(string.w2);
    std::u32string out(n, U'\0');
    for (uint32_t i = 0; i < n; i++) out[i] = read_unit(b->at(string.w1 + i), b->unit());
    return out;
}

uint32_t bytes(const Cell& binary, uint8_t* out, uint32_t max) {
    const uint32_t n = std::min(length(binary), max);
    std::memcpy(out, series::buffer(binary.w2)->at(binary.w1), n);
    return n;
}

int32_t put(Cell& buffer, std::string_view text, int32_t budget) {
    append_ascii(buffer, text);
    return budget - static_cast<int32_t>(text.size());
}

}  // namespace qor::text_buffer
