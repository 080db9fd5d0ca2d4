// Whole-file reads: one sized read for regular files, a read loop for
// streams, both using the count actually read.
#include "runtime/host/file_read.h"

#include <algorithm>
#include <cstring>

#include "runtime/platform/file_handle.h"

namespace qor::host {

bool names_directory(std::string_view s) {
    auto separator = [](char c) { return c == '/' || c == '\\'; };
    size_t n = s.size();
    if (n == 0) return false;
    char last = s[n - 1];
    if (separator(last)) return true;
    if (last != '.') return false;
    if (n == 1 || separator(s[n - 2])) return true;  // "." or ".../."
    if (s[n - 2] != '.') return false;
    return n == 2 || separator(s[n - 3]);            // ".." or ".../.."
}

namespace {

constexpr size_t stream_chunk = 64 * 1024;

ReadResult failed(ReadStatus status) { return ReadResult{status, {}}; }

// A file whose size is known: one positioned read of what part and seek
// select. A file that shrank meanwhile gives what it still holds.
ReadResult read_sized(platform::File& file, int64_t size, const ReadOptions& options) {
    int64_t start = std::max<int64_t>(options.seek, 0);
    if (start >= size) return ReadResult{ReadStatus::ok, {}};
    int64_t count = size - start;
    if (options.part > 0 && options.part < count) count = options.part;
    if (count > options.limit) return failed(ReadStatus::too_large);
    if (start > 0 && !file.seek_to(start)) return failed(ReadStatus::cannot_open);
    ReadResult result{ReadStatus::ok, std::vector<uint8_t>(static_cast<size_t>(count))};
    int64_t got = file.read_full(result.bytes);
    if (got < 0) return failed(ReadStatus::cannot_open);
    result.bytes.resize(static_cast<size_t>(got));
    return result;
}

// Reads and drops the first `count` bytes of a stream; false when a read
// fails. Streams that can seek skip without reading.
bool skip_stream(platform::File& file, int64_t count) {
    if (count == 0 || file.seek_to(count)) return true;
    std::vector<uint8_t> scratch(stream_chunk);
    while (count > 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(count, stream_chunk));
        int64_t got = file.read_some({scratch.data(), want});
        if (got < 0) return false;
        if (got == 0) return true;
        count -= got;
    }
    return true;
}

// A stream of unknown length: read until it ends (or part is met), growing
// the buffer geometrically. Reading stops one byte past the limit, so an
// endless device fails instead of filling memory.
ReadResult read_stream(platform::File& file, const ReadOptions& options) {
    if (!skip_stream(file, std::max<int64_t>(options.seek, 0))) return failed(ReadStatus::cannot_open);
    int64_t wanted = options.part > 0 ? options.part : INT64_MAX;
    int64_t past_limit = options.limit < INT64_MAX ? options.limit + 1 : INT64_MAX;
    int64_t ceiling = std::min(wanted, past_limit);
    ReadResult result{ReadStatus::ok, {}};
    size_t have = 0;
    while (static_cast<int64_t>(have) < ceiling) {
        if (have == result.bytes.size()) {
            size_t grown = std::max(stream_chunk, result.bytes.size() * 2);
            result.bytes.resize(static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(grown), ceiling)));
        }
        int64_t got = file.read_some({result.bytes.data() + have, result.bytes.size() - have});
        if (got < 0) return failed(ReadStatus::cannot_open);
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    if (static_cast<int64_t>(have) > options.limit) return failed(ReadStatus::too_large);
    result.bytes.resize(have);
    return result;
}

}  // namespace

ReadResult read_file(const std::string& path, const ReadOptions& options) {
    platform::File file = platform::File::open(path, platform::open_flag::read);
    if (!file.valid()) return failed(ReadStatus::cannot_open);
    int64_t size = file.size();
    if (size < 0) return failed(ReadStatus::cannot_open);
    if (options.part == 0) return ReadResult{ReadStatus::ok, {}};
    return size > 0 ? read_sized(file, size, options) : read_stream(file, options);
}

std::vector<std::span<const uint8_t>> split_lines(std::span<const uint8_t> bytes) {
    std::vector<std::span<const uint8_t>> lines;
    const uint8_t* start = bytes.data();
    const uint8_t* end = start + bytes.size();
    while (start < end) {
        auto* feed = static_cast<const uint8_t*>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
        if (feed == nullptr) {
            lines.emplace_back(start, end);
            break;
        }
        const uint8_t* line_end = (feed > start && feed[-1] == '\r') ? feed - 1 : feed;
        lines.emplace_back(start, line_end);
        start = feed + 1;
    }
    return lines;
}

}  // namespace qor::host
