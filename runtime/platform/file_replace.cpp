// Whole-file replacement through a temporary file and rename(2), and the
// small helpers the console's settings file needs (see file_replace.h).
#include "runtime/platform/file_replace.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace qor::platform {

namespace {

bool write_all(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a path names: a symbolic link's target.
std::string real_target(const std::string& path) {
    struct stat link{};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

mode_t default_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

ReplaceResult replace_file(const std::string& path, std::span<const uint8_t> bytes,
                           std::span<const uint8_t> tail) {
    const std::string target = real_target(path);
    struct stat old{};
    const bool exists = stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return ReplaceResult::not_possible;
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = dir + "." + name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return ReplaceResult::not_possible;
    const bool ok = fchmod(fd, exists ? (old.st_mode & 07777) : default_mode()) == 0 && write_all(fd, bytes) &&
                    write_all(fd, tail) && fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (ok && closed && ::rename(temp.c_str(), target.c_str()) == 0) return ReplaceResult::done;
    const int reason = errno;
    ::unlink(temp.c_str());
    errno = reason;
    return ReplaceResult::failed;
}

bool ensure_private_file(const std::string& path, unsigned mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return false;
    const bool ok = fchmod(fd, static_cast<mode_t>(mode)) == 0;
    ::close(fd);
    return ok;
}

bool lock_file_for_process(const std::string& path) {
    // One descriptor per lock file, kept open: the lock goes with the process.
    static std::map<std::string, int> held;
    if (held.count(path)) return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return false;
        }
    }
    held[path] = fd;
    return true;
}

}  // namespace qor::platform
