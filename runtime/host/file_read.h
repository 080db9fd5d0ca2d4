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

// Series lengths and the /part and /seek counts are signed 32-bit, so no
// read answers more bytes than this.
inline constexpr int64_t max_read_size = 0x7FFFFFFF;

// True when a file value's spelling names a directory, by spelling alone:
// it ends in "/" or "\", or is ".", "..", or ends in "/." or "/.." (either
// separator).
[[nodiscard]] bool names_directory(std::string_view spelling);

enum class ReadStatus {
    ok,
    cannot_open,  // missing, unreadable, a directory, or a read that failed
    too_large,    // more than the limit would be answered; nothing is read
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

// Reads the file at a local path. Regular files are read from the offset
// for the size they have; pipes, FIFOs, devices and the kernel's generated
// files (which report no size) are read until they end.
[[nodiscard]] ReadResult read_file(const std::string& path, const ReadOptions& options = {});

// The lines of the bytes, each a view into them: a line ends at a line feed,
// and one carriage return directly before it is dropped; text after the last
// line feed is a last line; a final line feed adds no empty line.
[[nodiscard]] std::vector<std::span<const uint8_t>> split_lines(std::span<const uint8_t> bytes);

}  // namespace qor::host
