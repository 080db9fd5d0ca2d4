// UTF-8: decoding, encoding and measuring.
//
// Two decoders serve different callers:
// - `decode_char` is strict: the DFA of Björn Höhrmann's flexible and
//   economical UTF-8 decoder. It rejects overlong forms, surrogates, values
//   above 0x10FFFF and cut sequences, answering -1 without raising.
// - `decode_char_checked` is the lenient loader's decoder. It takes what
//   text files in the wild hold (two-byte forms are not checked for
//   overlong encodings, surrogates other than U+DC00-U+DCFF pass), and
//   raises access/invalid-utf8 for bytes that cannot be UTF-8 at all.
// The encoders write standard UTF-8 and raise script/invalid-char for
// values above 0x10FFFF.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::utf8 {

// The decoder's answer for an invalid or cut sequence.
inline constexpr int32_t invalid = -1;

// Decodes one character of [p, end) (p < end) into `cp` and answers the
// pointer after it. An invalid sequence gives -1 and stops after the byte
// that made it invalid; a sequence cut by `end` gives -1 and answers `end`.
[[nodiscard]] const uint8_t* decode_char(const uint8_t* p, const uint8_t* end, int32_t& cp);

// Characters in [start, end), counting every byte that is not a
// continuation byte.
[[nodiscard]] size_t count_chars(const uint8_t* start, const uint8_t* end);

// The pointer after n characters from start, or end when there are fewer.
[[nodiscard]] const uint8_t* skip_chars(const uint8_t* start, const uint8_t* end, size_t n);

// Length of the sequence a byte starts: 4 for 0xF0-0xFF, 3 for 0xE0-0xEF,
// 2 for 0xC0-0xDF, else 0.
[[nodiscard]] constexpr int lead_length(uint8_t byte) {
    return byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
}

// Bytes the encoding of a code point takes (1-4); raises invalid-char above
// 0x10FFFF.
[[nodiscard]] int char_length(uint32_t cp);

// Writes the code point at dest (room for 4 bytes) and answers the bytes
// written; raises invalid-char above 0x10FFFF.
int encode_char(uint32_t cp, uint8_t* dest);

// The lenient decoder. Answers the code point at p and its byte length, or
// -1 (length 0) when fewer than `available` bytes remain than the lead byte
// announces. Raises access/invalid-utf8 with the bytes at p (at most 4, and
// never more than remain) for a continuation byte as lead, a lead byte
// 0xF8-0xFF, a bad continuation byte, a three-byte value in U+DC00-U+DCFF or
// a four-byte value above 0x10FFFF.
[[nodiscard]] int32_t decode_char_checked(const uint8_t* p, size_t available, int& length);

// Raises access/invalid-utf8 with the bytes at p, at most 4 of `available`.
[[noreturn]] void raise_invalid(const uint8_t* p, size_t available);

// A new binary! value holding a copy of n (at most 8) bytes: the argument
// of the encoding errors.
[[nodiscard]] Cell binary_value(const uint8_t* bytes, size_t n);

// Room for the UTF-8 form of `count` units with line feeds possibly turned
// into CR LF, plus a NUL: unit + 1 bytes a character (4 for 4-byte units).
[[nodiscard]] constexpr size_t conversion_room(size_t count, int unit) {
    return count * static_cast<size_t>(unit == 4 ? 4 : unit + 1) + 1;
}

// Encodes `count` units of `unit` bytes at dest (conversion_room bytes) and
// answers the bytes written, no NUL. With crlf, each line feed is preceded
// by a carriage return.
size_t encode_units(const void* units, size_t count, int unit, uint8_t* dest, bool crlf);

// Decodes UTF-8 text for loading into a string: skips a leading byte-order
// mark, decodes with the lenient decoder, stops at a cut final sequence and
// with crlf drops the CR of each CR LF and turns a lone CR into LF. Each code
// point goes to sink.put(cp). Answers the bytes consumed.
template <class Sink>
size_t decode_text(const uint8_t* bytes, size_t count, bool crlf, Sink& sink) {
    size_t pos = 0;
    if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) pos = 3;
    while (pos < count) {
        int length = 0;
        int32_t cp = decode_char_checked(bytes + pos, count - pos, length);
        if (cp == invalid) break;
        pos += static_cast<size_t>(length);
        if (crlf && cp == '\r') {
            if (pos < count && bytes[pos] == '\n') continue;
            cp = '\n';
        }
        sink.put(static_cast<uint32_t>(cp));
    }
    return pos;
}

}  // namespace qor::utf8
