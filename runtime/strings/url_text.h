// Text of file! and url! values: percent encoding and decoding, the local
// (POSIX) form of a file name, and the current directory.
//
// A file name maps one to one to a POSIX path in UTF-8: the language's
// forward slashes are the platform's, and there are no drive letters.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/core/cell.h"

namespace qor::url_text {

// Percent-encoding modes: the URL set keeps every character a URL may
// hold unescaped; the unreserved set keeps letters, digits and "-._~".
enum class EncodeMode : uint8_t { url_set = 0, unreserved = 254 };

// True for characters below 128 of the set.
[[nodiscard]] bool in_url_set(uint32_t c);
[[nodiscard]] bool in_unreserved_set(uint32_t c);

// Decodes "%" and two hexadecimal digits (either case) at p (3 units of
// `unit` bytes available); true and the byte when they are there.
[[nodiscard]] bool decode_escape(const uint8_t* p, uint32_t unit, uint8_t& byte);

// Appends the value's text with its percent escapes decoded.
void decode(const Cell& text, Cell& output);
// Appends the percent-encoded UTF-8 form of the value's text.
void encode(const Cell& text, Cell& output, EncodeMode mode);

// The local path of a file value, as UTF-8; with `full`, a relative name is
// first given the current directory. A name holding a NUL character raises
// script invalid-arg.
[[nodiscard]] std::string to_local(const Cell& file, bool full);
// The current directory, ending in "/" (empty when it cannot be read).
[[nodiscard]] std::string current_dir();

}  // namespace qor::url_text
