// String storage: the character helpers.
#include "runtime/strings/string_core.h"

#include <algorithm>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/unicode/string_codec.h"
#include "runtime/unicode/utf8.h"

namespace qor::str {

uint32_t length_at(const Cell& s) {
    const uint32_t n = buffer_of(s)->length();
    return s.w1 < n ? n - s.w1 : 0;
}

uint32_t clamp_index(Cell& s) {
    const uint32_t n = buffer_of(s)->length();
    if (s.w1 > n) s.w1 = n;
    return n - s.w1;
}

Cell& make_at(Cell& cell, uint32_t n, uint32_t unit, TypeId type) {
    const NodeId node = series::alloc_units(n == 0 ? 1 : n, unit);
    cell = Cell{to_int(type), 0, node, 0};
    return cell;
}

void reset(Cell& s) {
    series::Buffer* b = buffer_of(s);
    b->head = 0;
    b->tail = 0;
    b->flags = (b->flags & ~series::flag::unit_mask) | 1;
    s.w1 = 0;
}

series::Buffer* ensure_unit(NodeId node, uint32_t unit) {
    series::Buffer* b = series::buffer(node);
    if (unit <= b->unit()) return b;
    return unicode::widen(node, unit);
}

series::Buffer* reserve(NodeId node, uint64_t extra) {
    series::Buffer* b = series::buffer(node);
    const uint64_t need = uint64_t{b->tail} + (extra << b->unit_shift());
    if (need <= b->capacity) return b;
    if (need > series::max_capacity) error::fire(error::Id::no_memory);
    const uint64_t in_use = need - b->head;
    const uint64_t doubled = uint64_t{b->capacity} * 2;
    return series::expand_copy(node, std::min<uint64_t>(std::max(doubled, in_use), series::max_capacity));
}

series::Buffer* append_char(NodeId node, uint32_t cp) {
    ensure_unit(node, unit_for_append(cp));
    series::Buffer* b = reserve(node, 1);
    put_char(b->tail_ptr(), b->unit(), cp);
    b->tail += b->unit();
    return b;
}

series::Buffer* insert_char(NodeId node, uint32_t pos, uint32_t cp) {
    ensure_unit(node, unit_for_insert(cp));
    series::Buffer* b = reserve(node, 1);
    const uint32_t unit = b->unit();
    const uint32_t length = b->length();
    if (pos > length) pos = length;
    uint8_t* at = b->at(pos);
    std::memmove(at + unit, at, size_t{length - pos} * unit);
    put_char(at, unit, cp);
    b->tail += unit;
    return b;
}

series::Buffer* write_char(NodeId node, uint32_t pos, uint32_t cp) {
    series::Buffer* b = ensure_unit(node, unit_for_insert(cp));
    put_char(b->at(pos), b->unit(), cp);
    return b;
}

void remove_part(NodeId node, uint32_t pos, uint32_t count) {
    series::Buffer* b = series::buffer(node);
    const uint32_t length = b->length();
    if (pos >= length || count == 0) return;
    count = std::min(count, length - pos);
    const uint32_t unit = b->unit();
    uint8_t* at = b->at(pos);
    std::memmove(at, at + size_t{count} * unit, size_t{length - pos - count} * unit);
    b->tail -= count * unit;
}

void append_literal(Cell& s, std::string_view bytes) {
    if (bytes.empty()) return;
    uint32_t need = 1;
    for (unsigned char c : bytes) need = std::max(need, unit_for_append(c));
    ensure_unit(s.w2, need);
    series::Buffer* b = reserve(s.w2, bytes.size());
    const uint32_t unit = b->unit();
    uint8_t* p = b->tail_ptr();
    if (unit == 1) {
        std::memcpy(p, bytes.data(), bytes.size());
    } else {
        for (size_t i = 0; i < bytes.size(); i++) put_char(p + i * unit, unit, static_cast<uint8_t>(bytes[i]));
    }
    b->tail += static_cast<uint32_t>(bytes.size()) * unit;
}

void append_chars(Cell& s, std::u32string_view chars) {
    uint32_t need = 1;
    for (char32_t c : chars) need = std::max(need, unit_for_append(c));
    ensure_unit(s.w2, need);
    series::Buffer* b = reserve(s.w2, chars.size());
    const uint32_t unit = b->unit();
    uint8_t* p = b->tail_ptr();
    for (size_t i = 0; i < chars.size(); i++) put_char(p + i * unit, unit, chars[i]);
    b->tail += static_cast<uint32_t>(chars.size()) * unit;
}

bool equal_literal(const Cell& s, std::string_view bytes) {
    if (length_at(s) < bytes.size()) return false;
    for (size_t i = 0; i < bytes.size(); i++)
        if (char_at(s, static_cast<uint32_t>(i)) != static_cast<uint8_t>(bytes[i])) return false;
    return true;
}

int32_t find_char(const Cell& s, uint32_t cp) {
    const uint32_t n = length_at(s);
    const series::Buffer* b = buffer_of(s);
    const uint32_t unit = b->unit();
    const uint8_t* p = b->at(s.w1);
    if (unit == 1) {
        if (cp > 255) return -1;
        const void* hit = std::memchr(p, static_cast<int>(cp), n);
        return hit ? static_cast<int32_t>(static_cast<const uint8_t*>(hit) - p) : -1;
    }
    for (uint32_t i = 0; i < n; i++)
        if (get_char(p + size_t{i} * unit, unit) == cp) return static_cast<int32_t>(i);
    return -1;
}

uint32_t concatenate(Cell& target, const Cell& source, int32_t limit, uint32_t offset, Mode mode) {
    uint32_t count = length_at(source);
    if (limit >= 0 && static_cast<uint32_t>(limit) < count) count = static_cast<uint32_t>(limit);
    if (count == 0) return 0;
    const NodeId tnode = target.w2, snode = source.w2;
    const uint32_t sunit = series::buffer(snode)->unit();
    ensure_unit(tnode, sunit);
    series::Buffer* t = reserve(tnode, count);  // a source in the target follows the move
    const uint32_t unit = t->unit();
    const uint32_t length = t->length();
    uint32_t pos = mode == Mode::append ? length : std::min(target.w1 + offset, length);
    // A source that is the target itself is copied out first: inserting
    // into the target moves its characters.
    std::vector<uint8_t> copy;
    const series::Buffer* s = series::buffer(snode);
    const uint8_t* from = s->at(source.w1);
    if (snode == tnode) {
        copy.assign(from, from + size_t{count} * sunit);
        from = copy.data();
    }
    if (mode == Mode::insert) {
        uint8_t* at = t->at(pos);
        std::memmove(at + size_t{count} * unit, at, size_t{length - pos} * unit);
    }
    uint8_t* to = t->at(pos);
    if (sunit == unit) {
        std::memmove(to, from, size_t{count} * unit);
    } else {
        for (uint32_t i = 0; i < count; i++)
            put_char(to + size_t{i} * unit, unit, get_char(from + size_t{i} * sunit, sunit));
    }
    const uint32_t end = pos + count;
    if (mode == Mode::insert) t->set_tail_units(t->head_units() + length + count);
    else t->set_tail_units(t->head_units() + std::max(end, length));
    return count;
}

// The shorter range waits in a scratch buffer while the longer one moves,
// so the longer one is moved once and nothing is moved byte by byte. The
// scratch buffer of 64 KiB serves every ordinary case; a longer range
// waits in a buffer of its own, given back at once.
void rotate(uint8_t* p, size_t a, size_t b) {
    if (a == 0 || b == 0) return;
    static std::array<uint8_t, 65536> scratch;
    std::vector<uint8_t> large;
    const size_t shorter = std::min(a, b);
    uint8_t* keep = scratch.data();
    if (shorter > scratch.size()) {
        large.resize(shorter);
        keep = large.data();
    }
    if (a <= b) {
        std::memcpy(keep, p, a);
        std::memmove(p, p + a, b);
        std::memcpy(p + b, keep, a);
    } else {
        std::memcpy(keep, p + a, b);
        std::memmove(p + b, p, a);
        std::memcpy(p, keep, b);
    }
}

std::array<char, 2> byte_to_hex(uint8_t byte) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {digits[byte >> 4], digits[byte & 15]};
}

std::string integer_to_hex(uint32_t value, bool short_form) {
    std::string out(8, '0');
    for (int i = 7; i >= 0; i--, value >>= 4) out[i] = "0123456789ABCDEF"[value & 15];
    if (!short_form) return out;
    const size_t first = out.find_first_not_of('0');
    if (first == std::string::npos) return "00";
    return out.substr(first);
}

Cell& load_at(const uint8_t* bytes, size_t count, Cell& cell, int32_t encoding) {
    NodeId node;
    switch (static_cast<Encoding>(encoding)) {
        case Encoding::utf8: node = unicode::load_utf8(bytes, count, 0, false); break;
        case Encoding::utf16le: node = unicode::load_utf16le(bytes, count / 2, 0, false); break;
        default: error::fire(error::Id::not_done);
    }
    cell = Cell{to_int(TypeId::string), 0, node, 0};
    return cell;
}

Cell* push_new(const uint8_t* bytes, size_t count) {
    Cell* slot = stack::push(unset_cell);
    const NodeId node = unicode::load_utf8(bytes, count, 0, false);
    *slot = Cell{to_int(TypeId::string), 0, node, 0};
    return slot;
}

std::string to_utf8(const Cell& s, int32_t limit) {
    uint32_t n = length_at(s);
    if (limit >= 0 && static_cast<uint32_t>(limit) < n) n = static_cast<uint32_t>(limit);
    const series::Buffer* b = buffer_of(s);
    std::string out(utf8::conversion_room(n, static_cast<int>(b->unit())), '\0');
    const size_t written = utf8::encode_units(b->at(s.w1), n, static_cast<int>(b->unit()),
                                              reinterpret_cast<uint8_t*>(out.data()), false);
    out.resize(written);
    return out;
}

}  // namespace qor::str
