// UTF-16LE encoding and decoding.
#include "runtime/unicode/utf16.h"

#include <bit>
#include <cstring>

#include "runtime/core/error_fire.h"
#include "runtime/core/runtime_process.h"
#include "runtime/unicode/string_units.h"
#include "runtime/unicode/utf8.h"

namespace qor::utf16 {

static_assert(std::endian::native == std::endian::little, "UTF-16LE units are written in host order");

namespace {

constexpr bool is_high_surrogate(uint16_t u) { return (u >> 10) == 0x36; }  // 0xD800-0xDBFF
constexpr bool is_low_surrogate(uint16_t u) { return (u >> 10) == 0x37; }   // 0xDC00-0xDFFF

uint16_t unit_at(const uint8_t* bytes, size_t i) {
    return static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
}

// The error carries the high surrogate and the unit after it, if any.
[[noreturn]] void raise_lone_high_surrogate(const uint8_t* bytes, size_t at, size_t count) {
    size_t units = at + 1 < count ? 2 : 1;
    error::fire(error::Id::invalid_data, {utf8::binary_value(bytes + 2 * at, units * 2)});
}

template <class Unit>
size_t decode_at_width(const uint8_t* bytes, size_t count, bool crlf, Unit* out) {
    size_t n = 0;
    for (size_t i = 0; i < count; i++) {
        uint32_t u = unit_at(bytes, i);
        if (crlf && u == '\r') continue;
        if (sizeof(Unit) == 4 && is_high_surrogate(static_cast<uint16_t>(u))) {
            uint32_t low = unit_at(bytes, ++i);  // present: scan_width checked the pair
            u = (((u & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000;
        }
        Unit value = static_cast<Unit>(u);
        std::memcpy(out + n++, &value, sizeof value);
    }
    return n;
}

}  // namespace

int encode_char(uint32_t cp, uint16_t* dest) {
    if (cp < 0x10000) {
        dest[0] = static_cast<uint16_t>(cp);
        return 1;
    }
    if (cp > 0x10FFFF) return 0;
    dest[0] = static_cast<uint16_t>(((cp - 0x10000) >> 10) | 0xD800);
    dest[1] = static_cast<uint16_t>((cp & 0x3FF) | 0xDC00);
    return 2;
}

ptrdiff_t encoded_length(const void* units, size_t count, int unit, bool crlf) {
    ptrdiff_t n = 0;
    bool too_big = false;
    units::for_each_unit(units, count, unit, [&](uint32_t cp) {
        n += 1 + (crlf && cp == '\n') + (cp >= 0x10000);
        too_big |= cp > 0x10FFFF;
    });
    return too_big ? -1 : n;
}

size_t encode_units(const void* units, size_t count, int unit, bool crlf, uint16_t* dest) {
    uint16_t* out = dest;
    if (unit == 2 && !crlf) {  // already UTF-16: one copy
        std::memcpy(dest, units, count * 2);
        return count;
    }
    units::for_each_unit(units, count, unit, [&](uint32_t cp) {
        if (crlf && cp == '\n') *out++ = '\r';
        out += encode_char(cp, out);
    });
    return static_cast<size_t>(out - dest);
}

int scan_width(const uint8_t* bytes, size_t count) {
    int width = 1;
    for (size_t i = 0; i < count; i++) {
        uint16_t u = unit_at(bytes, i);
        if (u > 0xFF) width = width < 2 ? 2 : width;
        if (is_high_surrogate(u)) {
            if (i + 1 == count || !is_low_surrogate(unit_at(bytes, i + 1))) raise_lone_high_surrogate(bytes, i, count);
            width = 4;
            i++;
        } else if (is_low_surrogate(u)) {
            width = 4;
        }
    }
    return width;
}

size_t decode_units(const uint8_t* bytes, size_t count, bool crlf, int width, void* dest) {
    switch (width) {
        case 1: return decode_at_width(bytes, count, crlf, static_cast<uint8_t*>(dest));
        case 2: return decode_at_width(bytes, count, crlf, static_cast<uint16_t*>(dest));
        case 4: return decode_at_width(bytes, count, crlf, static_cast<uint32_t*>(dest));
        default: rt::quit(101);
    }
}

}  // namespace qor::utf16
