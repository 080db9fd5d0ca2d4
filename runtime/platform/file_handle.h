// Open files as owned file descriptors on UTF-8 POSIX paths.
//
// A `File` closes its descriptor when it goes out of scope, so every path out
// of an operation closes what it opened. Reads and writes retry interrupted
// calls; a write loops until every byte is written.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qor::platform {

// What an open asks for; the bits combine.
//   read   an existing file, for reading only
//   write  for writing, created when missing; truncated unless append or
//          seek is also asked, in which case the contents are kept
//   append every write goes to the end of the file
//   seek   the caller positions writes itself (the contents are kept)
//   no_wait with read: a FIFO opens at once instead of waiting for a writer
namespace open_flag {
inline constexpr unsigned read = 1;
inline constexpr unsigned write = 2;
inline constexpr unsigned append = 4;
inline constexpr unsigned seek = 8;
inline constexpr unsigned no_wait = 16;
}  // namespace open_flag

class File {
public:
    File() = default;
    explicit File(int fd) : fd_(fd) {}
    ~File();
    File(File&& other) noexcept : fd_(other.release()) {}
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens the path with the open_flag bits; an invalid File on failure.
    // A directory never opens as a file: reading one fails as a missing
    // file would.
    [[nodiscard]] static File open(const std::string& path, unsigned flags);

    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    [[nodiscard]] int fd() const { return fd_; }

    // The size of a regular file in bytes; 0 for pipes, devices and the
    // kernel's generated files, whose length is known only by reading them;
    // -1 when it cannot be asked.
    [[nodiscard]] int64_t size() const;

    // One read: the count read, 0 at the end of the file, -1 on failure.
    [[nodiscard]] int64_t read_some(std::span<uint8_t> buffer);

    // Reads until the buffer is full or the file ends: the count read, or
    // -1 when a read fails.
    [[nodiscard]] int64_t read_full(std::span<uint8_t> buffer);

    // Moves to a byte offset from the start; false when the file cannot seek.
    [[nodiscard]] bool seek_to(int64_t offset);

    // Gives up ownership without closing.
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// The same operations on a descriptor the caller keeps (standard streams).
[[nodiscard]] int64_t read_fd(int fd, std::span<uint8_t> buffer);
[[nodiscard]] bool write_fd_all(int fd, std::span<const uint8_t> bytes);

}  // namespace qor::platform
