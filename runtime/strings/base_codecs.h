// Base-2, base-16, base-58 and base-64 text for bytes: the encoders and
// decoders behind `enbase`, `debase` and the mold of binary!.
//
// Decoders read text of 1-, 2- or 4-byte units; ";" starts a comment that
// runs to the next line feed. They answer nothing for malformed text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qor::base {

[[nodiscard]] std::string encode_base2(std::span<const uint8_t> bytes);
[[nodiscard]] std::string encode_base16(std::span<const uint8_t> bytes);
[[nodiscard]] std::string encode_base58(std::span<const uint8_t> bytes);
[[nodiscard]] std::string encode_base64(std::span<const uint8_t> bytes);

// `count` characters of `unit` bytes at `text`.
using Decoded = std::optional<std::vector<uint8_t>>;
[[nodiscard]] Decoded decode_base2(const uint8_t* text, size_t count, uint32_t unit);
[[nodiscard]] Decoded decode_base16(const uint8_t* text, size_t count, uint32_t unit);
[[nodiscard]] Decoded decode_base58(const uint8_t* text, size_t count, uint32_t unit);
[[nodiscard]] Decoded decode_base64(const uint8_t* text, size_t count, uint32_t unit);

}  // namespace qor::base
