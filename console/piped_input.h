// Standard input read as UTF-8 characters and lines when it is not a
// terminal (a pipe or a file): no prompt, no echo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qor::console {

class PipedInput {
public:
    explicit PipedInput(int fd = 0) : fd_(fd) {}

    // The next character, or -1 at the end of the input, after a failed
    // read, or for a byte that cannot start a UTF-8 character (the byte is
    // consumed). A malformed sequence or a surrogate gives U+FFFE; a
    // sequence cut by the end of the input gives -1.
    [[nodiscard]] int32_t read_char();

    // Appends characters up to a line feed (not stored) or -1; a carriage
    // return before the line feed stays in the line.
    void read_line(std::u32string& line);

    // True once a read has met the end of the input (or failed): later
    // lines are all empty, so the console should end.
    [[nodiscard]] bool ended() const { return ended_; }

    // One read of at most buffer.size() bytes, taking first what earlier
    // character reads fetched ahead: the count, 0 at the end, -1 on failure.
    [[nodiscard]] int64_t read_raw(std::span<uint8_t> buffer);

private:
    int next_byte();

    int fd_;
    bool ended_ = false;
    uint8_t buffer_[4096];
    size_t start_ = 0, end_ = 0;
};

}  // namespace qor::console
