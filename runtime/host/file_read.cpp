// Whole-file reads: one sized read for regular files, a read loop for
// streams, both using the count actually read.
#include "runtime/host/file_read.h"

#include <algorithm>
#include <cstring>

#include "runtime/platform/file_handle.h"
#include "runtime/platform/memory_region.h"

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

// Address space for a stream's bytes: reserved for the most the read may
// take and committed step by step as bytes arrive, so the buffer grows in
// place (no doubling, no copies) and holds memory only for what was read.
// The space is aligned for large pages and asks for them, since the memory
// a long stream fills costs more in page faults than in reading. Released
// when the read ends.
class StreamSpace {
public:
    explicit StreamSpace(size_t most)
        : most_(most), reserved_(most + platform::large_page_size), raw_(platform::os_reserve(reserved_)) {
        if (!raw_) return;
        const auto at = reinterpret_cast<uintptr_t>(raw_);
        const uintptr_t align = platform::large_page_size;
        base_ = reinterpret_cast<uint8_t*>((at + align - 1) & ~(align - 1));
        platform::os_prefer_large_pages(base_, most_);
    }
    ~StreamSpace() {
        if (raw_) platform::os_free(raw_, reserved_);
    }
    StreamSpace(const StreamSpace&) = delete;
    StreamSpace& operator=(const StreamSpace&) = delete;

    [[nodiscard]] bool valid() const { return base_ != nullptr; }
    [[nodiscard]] uint8_t* data() const { return base_; }
    [[nodiscard]] size_t committed() const { return committed_; }

    // Commits the next step; false when the space is full or the OS refuses.
    [[nodiscard]] bool grow() {
        const size_t step = std::min(commit_step, most_ - committed_);
        if (step == 0 || !platform::os_commit(base_ + committed_, step)) return false;
        committed_ += step;
        return true;
    }

private:
    static constexpr size_t commit_step = 16 * platform::large_page_size;
    size_t most_;
    size_t reserved_;
    void* raw_;
    uint8_t* base_ = nullptr;
    size_t committed_ = 0;
};

// A stream of unknown length: read until it ends (or part is met) into a
// growing space, stopping as soon as the total passes the limit, so an
// endless device fails after reading just past the limit instead of filling
// memory. The bytes then go to the target in one copy.
ReadStatus read_stream(platform::File& file, const ReadOptions& options, ReadTarget& target) {
    if (!skip_stream(file, std::max<int64_t>(options.seek, 0))) return ReadStatus::cannot_open;
    const int64_t wanted = options.part > 0 ? options.part : INT64_MAX;
    const int64_t past_limit = options.limit < INT64_MAX ? options.limit + 1 : INT64_MAX;
    const auto ceiling = static_cast<size_t>(std::min(wanted, past_limit));
    StreamSpace space(ceiling);
    if (!space.valid()) return ReadStatus::no_memory;
    size_t have = 0;
    while (have < ceiling) {
        if (have == space.committed() && !space.grow()) return ReadStatus::no_memory;
        const int64_t got = file.read_some({space.data() + have, space.committed() - have});
        if (got < 0) return ReadStatus::cannot_open;
        if (got == 0) break;
        have += static_cast<size_t>(got);
    }
    if (static_cast<int64_t>(have) > options.limit) return ReadStatus::too_large;
    if (have > 0) std::memcpy(target.room(0, have), space.data(), have);
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
