// Piped standard input. Bytes are read in blocks (one system call per
// 4 KB, not per byte); read_raw hands out what is buffered first, so the
// two kinds of reader can be mixed without losing bytes.
#include "console/piped_input.h"

#include <algorithm>
#include <cstring>

#include "runtime/platform/file_handle.h"
#include "runtime/unicode/utf8.h"

namespace qor::console {

namespace {
constexpr int32_t malformed_char = 0xFFFE;
}

int PipedInput::next_byte() {
    if (start_ == end_) {
        if (ended_) return -1;
        int64_t n = platform::read_fd(fd_, std::span<uint8_t>(buffer_, sizeof buffer_));
        if (n <= 0) {
            ended_ = true;
            return -1;
        }
        start_ = 0;
        end_ = static_cast<size_t>(n);
    }
    return buffer_[start_++];
}

int32_t PipedInput::read_char() {
    int lead = next_byte();
    if (lead < 0) return -1;
    int length = lead < 0x80 ? 1 : lead >= 0xC0 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
               : lead >= 0xF0 && lead <= 0xF7 ? 4 : 0;
    if (length == 0) return -1;
    if (length == 1) return lead;
    uint8_t bytes[4] = {static_cast<uint8_t>(lead)};
    for (int i = 1; i < length; ++i) {
        int b = next_byte();
        if (b < 0) return -1;
        bytes[i] = static_cast<uint8_t>(b);
    }
    int32_t cp = 0;
    const uint8_t* after = utf8::decode_char(bytes, bytes + length, cp);
    if (cp < 0 || after != bytes + length) return malformed_char;
    return cp;
}

void PipedInput::read_line(std::u32string& line) {
    for (;;) {
        int32_t c = read_char();
        if (c < 0 || c == '\n') return;
        line.push_back(static_cast<char32_t>(c));
    }
}

int64_t PipedInput::read_raw(std::span<uint8_t> buffer) {
    if (start_ < end_) {
        size_t n = std::min(buffer.size(), end_ - start_);
        std::memcpy(buffer.data(), buffer_ + start_, n);
        start_ += n;
        return static_cast<int64_t>(n);
    }
    if (ended_ || buffer.empty()) return 0;
    return platform::read_fd(fd_, buffer);
}

}  // namespace qor::console
