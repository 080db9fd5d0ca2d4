// UTF-16LE: the platform's wide text and UTF-16 input.
//
// Strings keep 1-, 2- or 4-byte units; UTF-16 text goes out with code
// points above 0xFFFF as surrogate pairs and comes in at the narrowest unit
// width that holds it. (Little-endian is the host's byte order.)
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::utf16 {

// Writes the code point as one unit (below 0x10000) or a surrogate pair (up
// to 0x10FFFF) and answers the units written; 0 above 0x10FFFF.
int encode_char(uint32_t cp, uint16_t* dest);

// Units the UTF-16 form of `count` string units of `unit` bytes takes, not
// counting a NUL: one per character, one more per line feed with crlf and
// per code point from 0x10000 up. Answers -1 when a 4-byte unit holds a
// value above 0x10FFFF.
[[nodiscard]] ptrdiff_t encoded_length(const void* units, size_t count, int unit, bool crlf);

// Writes the UTF-16 form of `count` string units at dest (encoded_length
// units of room, checked by the caller) and answers the units written, no
// NUL. With crlf each line feed is preceded by a carriage return.
size_t encode_units(const void* units, size_t count, int unit, bool crlf, uint16_t* dest);

// The narrowest string unit (1, 2 or 4) that holds `count` UTF-16LE units:
// 1 when every high byte is 0, 4 as soon as a surrogate appears, else 2.
// Raises script/invalid-data with the offending bytes for a high surrogate
// that is not followed by a low surrogate, so bad input is refused before
// anything is written.
[[nodiscard]] int scan_width(const uint8_t* bytes, size_t count);

// Converts `count` UTF-16LE units (already checked by scan_width) into
// string units of `width` bytes at dest and answers the units written.
// Surrogate pairs become one code point at width 4; with crlf every
// carriage return is dropped. A lone low surrogate is kept as its value.
size_t decode_units(const uint8_t* bytes, size_t count, bool crlf, int width, void* dest);

}  // namespace qor::utf16
