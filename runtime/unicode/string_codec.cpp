// Strings in and out of UTF-8 and UTF-16LE, and widening in place.
#include "runtime/unicode/string_codec.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/runtime_process.h"
#include "runtime/unicode/utf16.h"
#include "runtime/unicode/utf8.h"
#include "runtime/unicode/widen.h"

namespace qor::unicode {

namespace {

// Counts the characters of a text and finds its largest code point.
struct Measure {
    size_t chars = 0;
    uint32_t largest = 0;
    void put(uint32_t cp) {
        chars++;
        largest = std::max(largest, cp);
    }
};

// Stores code points in units of a fixed width.
struct Store {
    uint8_t* out;
    uint32_t unit;
    void put(uint32_t cp) {
        switch (unit) {
            case 1: *out = static_cast<uint8_t>(cp); break;
            case 2: { uint16_t u = static_cast<uint16_t>(cp); std::memcpy(out, &u, 2); break; }
            default: std::memcpy(out, &cp, 4); break;
        }
        out += unit;
    }
};

[[nodiscard]] constexpr uint32_t unit_for(uint32_t largest) {
    return largest > 0xFFFF ? 4 : largest > 0xFF ? 2 : 1;
}

// An empty buffer of `unit` with room for `count` units (at least one):
// target's, replacing its content and unit, or a new series'.
series::Buffer* prepare(NodeId& target, size_t count, uint32_t unit) {
    size_t need = std::max<size_t>(count, 1) * unit;
    if (target == 0) {
        target = series::alloc_units(std::max<size_t>(count, 1), unit);
        return series::buffer(target);
    }
    series::Buffer* b = series::buffer(target);
    if (b->capacity < need) b = series::expand(target, need);
    b->flags = (b->flags & ~series::flag::unit_mask) | unit;
    b->head = 0;
    b->tail = 0;
    return b;
}

template <class Bytes>
NodeId load_utf8_from(Bytes&& bytes_now, size_t count, NodeId target, bool crlf, size_t* consumed) {
    Measure measure;
    size_t used = utf8::decode_text(bytes_now(), count, crlf, measure);  // raises before any change
    uint32_t unit = unit_for(measure.largest);
    series::Buffer* b = prepare(target, measure.chars, unit);  // may move a source in a series
    Store store{b->data(), unit};
    utf8::decode_text(bytes_now(), count, crlf, store);
    b->tail = static_cast<uint32_t>(measure.chars * unit);
    if (consumed) *consumed = used;
    return target;
}

// The characters of a string value from its index: where they start and
// how many there are (an index past the tail counts as the tail).
struct Span {
    const uint8_t* start;
    size_t count;
    uint32_t unit;
};

Span span_of(const Cell& string, int32_t limit) {
    series::Buffer* b = series::buffer(string.w2);
    uint32_t length = b->length();
    uint32_t index = std::min(string.w1, length);
    size_t count = length - index;
    if (limit >= 0 && static_cast<size_t>(limit) < count) count = static_cast<size_t>(limit);
    return {b->at(index), count, b->unit()};
}

// The value's conversion buffer with room for `bytes`, made or grown as
// needed. Allocates: string buffers are to be looked up again afterwards.
series::Buffer* conversion_buffer(Cell& string, size_t bytes) {
    if (string.w3 != 0) {
        series::Buffer* b = series::buffer(string.w3);
        if (b->capacity >= bytes) return b;
        b = series::expand(string.w3, bytes);
        b->tail = 0;
        return b;
    }
    NodeId id = series::alloc_bytes(bytes);
    string.w3 = id;
    return series::buffer(id);
}

}  // namespace

series::Buffer* widen(NodeId id, uint32_t new_unit) {
    series::Buffer* b = series::buffer(id);
    uint32_t old_unit = b->unit();
    if (!(new_unit > old_unit && (new_unit == 2 || new_unit == 4) && old_unit != 0)) rt::quit(101);
    uint64_t count = b->tail / old_unit;  // every unit from the data start
    uint64_t need = count * new_unit + new_unit;
    if (b->capacity < need) {
        b = series::expand_copy(id, need);  // the head comes to the data start
        count = b->tail / old_unit;
    }
    widen_units(b->data(), count, static_cast<int>(old_unit), static_cast<int>(new_unit));
    b->head = b->head / old_unit * new_unit;
    b->tail = static_cast<uint32_t>(count * new_unit);
    b->flags = (b->flags & ~series::flag::unit_mask) | new_unit;
    return b;
}

NodeId load_utf8(const uint8_t* bytes, size_t count, NodeId target, bool crlf, size_t* consumed) {
    return load_utf8_from([bytes] { return bytes; }, count, target, crlf, consumed);
}

NodeId load_utf8_series(NodeId source, size_t offset, size_t count, NodeId target, bool crlf, size_t* consumed) {
    return load_utf8_from([source, offset] { return series::buffer(source)->head_ptr() + offset; }, count, target,
                          crlf, consumed);
}

NodeId load_utf16le(const uint8_t* bytes, size_t count, NodeId target, bool crlf) {
    uint32_t unit = static_cast<uint32_t>(utf16::scan_width(bytes, count));  // raises before any change
    series::Buffer* b = prepare(target, count, unit);
    size_t kept = utf16::decode_units(bytes, count, crlf, static_cast<int>(unit), b->data());
    b->tail = static_cast<uint32_t>(kept * unit);
    b->flags |= series::flag::utf16_loaded;
    return target;
}

const uint8_t* to_utf8(Cell& string, int32_t& length, bool crlf) {
    Span s = span_of(string, length);
    series::Buffer* out = conversion_buffer(string, utf8::conversion_room(s.count, static_cast<int>(s.unit)));
    s = span_of(string, length);  // after the allocation
    size_t n = utf8::encode_units(s.start, s.count, static_cast<int>(s.unit), out->data(), crlf);
    out->data()[n] = 0;
    out->tail = static_cast<uint32_t>(n);
    length = static_cast<int32_t>(n);
    return out->data();
}

const uint16_t* to_utf16(Cell& string, int32_t& length, bool crlf) {
    Span s = span_of(string, length);
    ptrdiff_t units = utf16::encoded_length(s.start, s.count, static_cast<int>(s.unit), crlf);
    if (units < 0) return nullptr;
    series::Buffer* out = conversion_buffer(string, (static_cast<size_t>(units) + 1) * 2);
    s = span_of(string, length);  // after the allocation
    auto* wide = reinterpret_cast<uint16_t*>(out->data());  // data areas are 8-byte aligned
    size_t n = utf16::encode_units(s.start, s.count, static_cast<int>(s.unit), crlf, wide);
    wide[n] = 0;
    out->tail = static_cast<uint32_t>(n * 2);
    length = static_cast<int32_t>(n);
    return wide;
}

}  // namespace qor::unicode
