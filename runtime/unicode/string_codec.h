// Strings in and out of their external encodings, and widening a string's
// buffer in place.
//
// A string keeps its characters in one series buffer of 1-, 2- or 4-byte
// units. Loading picks the narrowest unit that holds every character:
// up to 255 in 1 byte, up to 0xFFFF in 2, anything else in 4. Converting
// out writes into the string's conversion buffer, a byte series whose node
// the string value carries in word 3 and which is reused while it is large
// enough.
//
// Loading checks the whole input before any storage is touched, so bad
// input raises its error with the target string unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"

namespace qor::unicode {

// Widens the node's string buffer in place to `new_unit` (2 from 1, or 4
// from 1 or 2), growing it first when its capacity is too small. Answers
// the buffer that now holds the series (it may have moved).
series::Buffer* widen(NodeId id, uint32_t new_unit);

// Decodes UTF-8 (a leading byte-order mark skipped; with crlf, CR LF and a
// lone CR become LF) into `target`'s buffer, replacing its content, or into
// a new series when target is 0. A cut final sequence ends the text; the
// bytes taken are written to `consumed` when given. Raises access/
// invalid-utf8 for malformed input. Answers the string's node.
//
// `bytes` must not lie in a series buffer (it would move when the string's
// storage is allocated): use load_utf8_series for those.
NodeId load_utf8(const uint8_t* bytes, size_t count, NodeId target, bool crlf, size_t* consumed = nullptr);

// As load_utf8, the bytes taken from `count` bytes at `offset` from the
// head of the byte series `source`.
NodeId load_utf8_series(NodeId source, size_t offset, size_t count, NodeId target, bool crlf,
                        size_t* consumed = nullptr);

// Decodes `count` UTF-16LE units (with crlf, every CR dropped) into
// `target`'s buffer or a new series; the buffer is flagged as loaded from
// UTF-16. A high surrogate without its low surrogate raises script/
// invalid-data. Same rule for `bytes` as load_utf8.
NodeId load_utf16le(const uint8_t* bytes, size_t count, NodeId target, bool crlf);

// The characters of a string value from its index (at most `length` of
// them when length is not -1) as NUL-terminated UTF-8 in the value's
// conversion buffer, each LF preceded by CR when crlf is set. `length`
// receives the byte count. The address is valid until the next allocation.
[[nodiscard]] const uint8_t* to_utf8(Cell& string, int32_t& length, bool crlf = false);

// The characters from the value's index (at most `length` when not -1) as
// NUL-terminated UTF-16LE in the conversion buffer; `length` receives the
// unit count. Null when a 4-byte unit holds a value above 0x10FFFF.
[[nodiscard]] const uint16_t* to_utf16(Cell& string, int32_t& length, bool crlf);

}  // namespace qor::unicode
