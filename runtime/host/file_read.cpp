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

// A file whose size is known: one positioned read of what part and seek
// select. A file that shrank meanwhile gives what it still holds.
ReadStatus read_sized(platform::File& file, int64_t size, const ReadOptions& options, ReadTarget& target) {
    int64_t start = std::max<int64_t>(options.seek, 0);
    if (start >= size) {
        target.done(0);
        return ReadStatus::ok;
    }
    int64_t count = size - start;
    if (options.part > 0 && options.part < count) count = options.part;
    if (count > options.limit) return ReadStatus::too_large;
    if (start > 0 && !file.seek_to(start)) return ReadStatus::cannot_open;
    uint8_t* into = target.room(0, static_cast<size_t>(count));
    int64_t got = file.read_full({into, static_cast<size_t>(count)});
    if (got < 0) return ReadStatus::cannot_open;
    target.done(static_cast<size_t>(got));
    return ReadStatus::ok;
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
// the room geometrically. Reading stops one byte past the limit, so an
// endless device fails instead of filling memory.
ReadStatus read_stream(platform::File& file, const ReadOptions& options, ReadTarget& target) {
    if (!skip_stream(file, std::max<int64_t>(options.seek, 0))) return ReadStatus::cannot_open;
    int64_t wanted = options.part > 0 ? options.part : INT64_MAX;
    int64_t past_limit = options.limit < INT64_MAX ? options.limit + 1 : INT64_MAX;
    int64_t ceiling = std::min(wanted, past_limit);
    size_t have = 0, room = 0;
    uint8_t* into = nullptr;
    while (static_cast<int64_t>(have) < ceiling) {
        if (have == room) {
            room = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(std::max(stream_chunk, room * 2)), ceiling));
            into = target.room(have, room);
        }
        int64_t got = file.read_some({into + have, room - have});
        if (got < 0) return ReadStatus::cannot_open;
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    if (static_cast<int64_t>(have) > options.limit) return ReadStatus::too_large;
    target.done(have);
    return ReadStatus::ok;
}

// Reads into a vector.
class VectorTarget final : public ReadTarget {
public:
    explicit VectorTarget(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint8_t* room(size_t, size_t n) override {
        if (bytes_.size() < n) bytes_.resize(n);
        return bytes_.data();
    }
    void done(size_t n) override { bytes_.resize(n); }

private:
    std::vector<uint8_t>& bytes_;
};

}  // namespace

ReadStatus read_file_into(const std::string& path, const ReadOptions& options, ReadTarget& target) {
    platform::File file = platform::File::open(path, platform::open_flag::read);
    if (!file.valid()) return ReadStatus::cannot_open;
    int64_t size = file.size();
    if (size < 0) return ReadStatus::cannot_open;
    if (options.part == 0) {
        target.done(0);
        return ReadStatus::ok;
    }
    return size > 0 ? read_sized(file, size, options, target) : read_stream(file, options, target);
}

ReadResult read_file(const std::string& path, const ReadOptions& options) {
    ReadResult result;
    VectorTarget target(result.bytes);
    result.status = read_file_into(path, options, target);
    if (result.status != ReadStatus::ok) result.bytes.clear();
    return result;
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
