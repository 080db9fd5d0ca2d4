// Writing bytes to a file or to standard output, and the bytes that /part
// selects of the data to write.
//
// Text is written as UTF-8 with LF line ends, as the platform keeps text;
// no CR LF conversion happens, with or without /binary. The caller turns the
// value into bytes (a string! to UTF-8, any other value molded first), lets
// `text_part` or `binary_part` apply /part, and writes. A negative /part
// given by the user writes nothing at all: the caller returns before
// opening anything.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/platform/file_handle.h"

namespace qor::host {

// The line end written after each line of /lines.
inline constexpr std::string_view line_end = "\n";

struct WriteOptions {
    int64_t seek = -1;    // write from this byte offset, keeping the rest; negative: no seek
    bool append = false;  // keep the contents and write at the end
};

enum class WriteStatus {
    ok,
    cannot_open,   // the destination could not be opened (or positioned)
    write_failed,  // a write failed; what came after it was not written
};

// A destination: a file opened for writing, or standard output. Without
// seek or append an existing file is truncated. A file is closed when the
// Output goes; standard output never is.
class Output {
public:
    [[nodiscard]] static Output open_file(const std::string& path, const WriteOptions& options);
    // Standard output, after the console output layer has written what it
    // holds, so the bytes come out in order.
    [[nodiscard]] static Output standard_output();

    // Writes the bytes; after a failure nothing more is written.
    bool write(std::span<const uint8_t> bytes);
    bool write(std::string_view bytes) {
        return write({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    }
    bool end_line() { return write(line_end); }

    [[nodiscard]] WriteStatus status() const { return status_; }

private:
    Output(platform::File file, int fd, WriteStatus status) : file_(std::move(file)), fd_(fd), status_(status) {}
    platform::File file_;  // the open file, or invalid for standard output
    int fd_;
    WriteStatus status_;
};

// Writes one piece of data, with a line end after it when `newline` is set
// (/lines given a value that is not a block). A null path is standard output.
// Without seek or append a regular file is replaced through a temporary
// file in its directory and a rename: a failure leaves the old content.
// After write_failed, `os_error` (when given) holds the system's error number.
[[nodiscard]] WriteStatus write_data(const std::string* path, std::span<const uint8_t> bytes, bool newline,
                                     const WriteOptions& options = {}, int* os_error = nullptr);

// The first `part` characters of UTF-8 text; all of it when part is
// negative (absent), nothing when it is 0.
[[nodiscard]] std::span<const uint8_t> text_part(std::span<const uint8_t> utf8, int64_t part);

// The first `part` bytes of binary data when 0 < part < its length;
// otherwise all of it (a part of 0 writes a whole binary!).
[[nodiscard]] std::span<const uint8_t> binary_part(std::span<const uint8_t> bytes, int64_t part);

}  // namespace qor::host
