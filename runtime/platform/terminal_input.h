// Byte reads from a terminal or pipe with a time limit, for key decoding.
#pragma once

namespace qor::platform {

// Answers of read_byte_within besides a byte 0-255.
inline constexpr int input_end = -1;          // end of input, or a failed read
inline constexpr int input_timeout = -2;      // nothing arrived in time
inline constexpr int input_interrupted = -3;  // a signal (a size change) came first

// Reads one byte from `fd`, waiting at most `timeout_ms` milliseconds
// (for ever when negative).
[[nodiscard]] int read_byte_within(int fd, int timeout_ms);

}  // namespace qor::platform
