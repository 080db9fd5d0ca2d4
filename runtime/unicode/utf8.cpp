// UTF-8 decoding, encoding and measuring.
#include "runtime/unicode/utf8.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/error_fire.h"
#include "runtime/memory/series.h"
#include "runtime/core/runtime_process.h"
#include "runtime/unicode/string_units.h"

namespace qor::utf8 {

namespace {

// Björn Höhrmann's UTF-8 DFA: 256 byte classes, then the transitions of 9
// states (multiples of 12; 0 accepts, 12 rejects) by class.
constexpr uint8_t accept = 0;
constexpr uint8_t reject = 12;
constexpr uint8_t dfa[256 + 108] = {
    // 0x00-0x7F
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    // 0x80-0xFF
    1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,
    7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,
    8,8,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,
    10,3,3,3,3,3,3,3,3,3,3,3,3,4,3,3,11,6,6,6,5,8,8,8,8,8,8,8,8,8,8,8,
    // transitions
    0,12,24,36,60,96,84,12,12,12,48,72, 12,12,12,12,12,12,12,12,12,12,12,12,
    12,0,12,12,12,12,12,0,12,0,12,12,   12,24,12,12,12,12,12,24,12,24,12,12,
    12,12,12,12,12,12,12,24,12,12,12,12, 12,24,12,12,12,12,12,12,12,24,12,12,
    12,12,12,12,12,12,12,36,12,36,12,12, 12,36,12,12,12,12,12,36,12,36,12,12,
    12,36,12,12,12,12,12,12,12,12,12,12,
};

[[noreturn]] void raise_invalid_char(uint32_t cp) {
    Cell value{to_int(TypeId::integer), 0, cp, 0};
    error::fire(error::Id::invalid_char, {value});
}

}  // namespace

const uint8_t* decode_char(const uint8_t* p, const uint8_t* end, int32_t& cp) {
    uint8_t byte = *p++;
    uint8_t cls = dfa[byte];
    uint32_t value = (0xFFu >> cls) & byte;
    uint32_t state = dfa[256 + cls];
    while (state != accept && state != reject) {
        if (p == end) {
            cp = invalid;
            return end;
        }
        byte = *p++;
        cls = dfa[byte];
        value = (byte & 0x3Fu) | (value << 6);
        state = dfa[256 + state + cls];
    }
    cp = state == accept ? static_cast<int32_t>(value) : invalid;
    return p;
}

size_t count_chars(const uint8_t* start, const uint8_t* end) {
    size_t n = 0;
    for (const uint8_t* p = start; p < end; p++) n += (*p & 0xC0) != 0x80;
    return n;
}

const uint8_t* skip_chars(const uint8_t* start, const uint8_t* end, size_t n) {
    const uint8_t* p = start;
    while (n > 0 && p < end) {
        p++;
        while (p < end && (*p & 0xC0) == 0x80) p++;
        n--;
    }
    return p;
}

int char_length(uint32_t cp) {
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    if (cp <= 0x10FFFF) return 4;
    raise_invalid_char(cp);
}

int encode_char(uint32_t cp, uint8_t* dest) {
    if (cp < 0x80) {
        dest[0] = static_cast<uint8_t>(cp);
        return 1;
    }
    if (cp < 0x800) {
        dest[0] = static_cast<uint8_t>(0xC0 | cp >> 6);
        dest[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        dest[0] = static_cast<uint8_t>(0xE0 | cp >> 12);
        dest[1] = static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F));
        dest[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp > 0x10FFFF) raise_invalid_char(cp);
    dest[0] = static_cast<uint8_t>(0xF0 | cp >> 18);
    dest[1] = static_cast<uint8_t>(0x80 | (cp >> 12 & 0x3F));
    dest[2] = static_cast<uint8_t>(0x80 | (cp >> 6 & 0x3F));
    dest[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
}

int32_t decode_char_checked(const uint8_t* p, size_t available, int& length) {
    length = 0;
    if (available == 0) return invalid;
    uint32_t lead = p[0];
    if (lead < 0x80) {
        length = 1;
        return static_cast<int32_t>(lead);
    }
    if (lead < 0xC0 || lead >= 0xF8) raise_invalid(p, available);
    int n = lead_length(static_cast<uint8_t>(lead));
    // Bad continuation bytes are reported even when the sequence is cut, so
    // that a malformed end of input is never dropped silently.
    size_t present = std::min(available, static_cast<size_t>(n));
    for (size_t i = 1; i < present; i++) {
        if ((p[i] & 0xC0) != 0x80) raise_invalid(p, available);
    }
    if (available < static_cast<size_t>(n)) return invalid;
    uint32_t value = lead & (0x7Fu >> n);
    for (int i = 1; i < n; i++) value = value << 6 | (p[i] & 0x3Fu);
    if ((n == 3 && value >= 0xDC00 && value <= 0xDCFF) || value > 0x10FFFF) raise_invalid(p, available);
    length = n;
    return static_cast<int32_t>(value);
}

void raise_invalid(const uint8_t* p, size_t available) {
    error::fire(error::Id::invalid_utf8, {binary_value(p, std::min<size_t>(available, 4))});
}

size_t encode_units(const void* units, size_t count, int unit, uint8_t* dest, bool crlf) {
    uint8_t* out = dest;
    units::for_each_unit(units, count, unit, [&](uint32_t cp) {
        if (crlf && cp == '\n') *out++ = '\r';
        out += encode_char(cp, out);
    });
    return static_cast<size_t>(out - dest);
}

Cell binary_value(const uint8_t* bytes, size_t n) {
    uint8_t copy[8];  // the bytes may lie in a series that the allocation moves
    size_t kept = std::min(n, sizeof copy);
    std::memcpy(copy, bytes, kept);
    NodeId id = series::alloc_bytes(kept);
    series::Buffer* b = series::buffer(id);
    std::memcpy(b->data(), copy, kept);
    b->tail = static_cast<uint32_t>(kept);
    return Cell{to_int(TypeId::binary), 0, id, 0};
}

}  // namespace qor::utf8
