// Files on open/read/write/lseek/fstat, each descriptor owned by a File.
#include "runtime/platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qor::platform {

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

File File::open(const std::string& path, unsigned flags) {
    int mode;
    bool reading = (flags & ~open_flag::no_wait) == open_flag::read;
    if (reading) {
        mode = O_RDONLY;
        if (flags & open_flag::no_wait) mode |= O_NONBLOCK;
    } else {
        mode = O_WRONLY | O_CREAT;
        if (flags & open_flag::append) mode |= O_APPEND;
        if (!(flags & (open_flag::append | open_flag::seek))) mode |= O_TRUNC;
    }
    // Descriptors are not inherited by processes the runtime starts.
    int fd;
    do {
        fd = ::open(path.c_str(), mode | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    File file(fd);
    if (file.valid() && reading) {
        // POSIX opens a directory for reading; a file read of one is an error.
        struct stat info{};
        if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) return File();
    }
    return file;
}

int64_t File::size() const {
    struct stat info{};
    if (fstat(fd_, &info) != 0) return -1;
    return S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0;
}

int64_t read_fd(int fd, std::span<uint8_t> buffer) {
    for (;;) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n >= 0) return n;
        if (errno != EINTR) return -1;
    }
}

bool write_fd_all(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

int64_t File::read_some(std::span<uint8_t> buffer) { return read_fd(fd_, buffer); }

int64_t File::read_full(std::span<uint8_t> buffer) {
    size_t total = 0;
    while (total < buffer.size()) {
        int64_t n = read_fd(fd_, buffer.subspan(total));
        if (n < 0) return -1;
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(total);
}

bool File::seek_to(int64_t offset) {
    return offset >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

}  // namespace qor::platform
