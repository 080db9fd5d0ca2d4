// Reading a whole file (or the part of it that /part and /seek select) into
// bytes, and splitting bytes into lines.
//
// The caller turns the bytes into the value asked for: a binary!, a string!
// decoded from UTF-8, or with /lines a block of the lines. Counts are bytes
// of the file whatever the value. Nothing read (an empty file, a part of 0, a
// seek at or past the end) is an empty string! (an empty binary! with
// /binary), also with /lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qor::host {

// The most bytes one series buffer holds (its capacity is below 2 GiB):
// no read answers more.
inline constexpr int64_t max_read_size = 0x7FFFFFF0;

// True when a file value's spelling names a directory, by spelling alone:
// it ends in "/" or "\", or is ".", "..", or ends in "/." or "/.." (either
// separator).
[[nodiscard]] bool names_directory(std::string_view spelling);

enum class ReadStatus {
    ok,
    cannot_open,  // missing, unreadable, a directory, or a read that failed
    too_large,    // more than the limit would be answered; nothing is answered
    no_memory,    // the system gave no memory for the bytes of a stream
};

struct ReadOptions {
    int64_t part = -1;              // at most this many bytes; 0 reads nothing; negative: no limit
    int64_t seek = -1;              // start at this byte offset; negative: at the start
    int64_t limit = max_read_size;  // the most bytes a read may answer
};

struct ReadResult {
    ReadStatus status = ReadStatus::cannot_open;
    std::vector<uint8_t> bytes;
};

// Where a read puts the bytes, so that they can go straight into their
// final place. `room` answers a buffer of at least n bytes whose first
// `kept` bytes are the ones read so far (the buffer may have moved since
// the last call); the reader asks again before it writes past what it was
// given. `done` tells how many bytes the read left in it, after a read
// that succeeded.
class ReadTarget {
public:
    virtual ~ReadTarget() = default;
    [[nodiscard]] virtual uint8_t* room(size_t kept, size_t n) = 0;
    virtual void done(size_t n) = 0;
};

// Reads the file at a local path into the target. Regular files are read
// from the offset for the size they have, in one call for room; pipes,
// FIFOs, devices and the kernel's generated files (which report no size)
// are read until they end or pass the limit, into space that grows in place,
// and then given to the target in one call for room.
[[nodiscard]] ReadStatus read_file_into(const std::string& path, const ReadOptions& options, ReadTarget& target);

// The same into a vector of bytes.
[[nodiscard]] ReadResult read_file(const std::string& path, const ReadOptions& options = {});

// The lines of the bytes, each a view into them: a line ends at a line feed,
// and one carriage return directly before it is dropped; text after the last
// line feed is a last line; a final line feed adds no empty line.
[[nodiscard]] std::vector<std::span<const uint8_t>> split_lines(std::span<const uint8_t> bytes);

}  // namespace qor::host
