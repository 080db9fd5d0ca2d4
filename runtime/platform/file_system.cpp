// File-system operations on stat/lstat/mkdir/rmdir/unlink/renameat2.
#include "runtime/platform/file_system.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qor::platform {

std::optional<PathStatus> path_status(const std::string& path) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return PathStatus{S_ISDIR(info.st_mode), static_cast<int64_t>(info.st_size),
                      static_cast<int64_t>(info.st_mtim.tv_sec),
                      static_cast<int32_t>(info.st_mtim.tv_nsec)};
}

bool path_exists(const std::string& path) {
    struct stat info{};
    return lstat(path.c_str(), &info) == 0;
}

bool make_directory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool remove_directory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool remove_file(const std::string& path) { return unlink(path.c_str()) == 0; }

bool rename_no_replace_by_link(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) == 0) {
        if (unlink(from.c_str()) == 0) return true;
        unlink(to.c_str());  // keep the single old name, as before the call
        return false;
    }
    if (errno != EPERM && errno != ENOTSUP) return false;
    struct stat target{};
    if (lstat(to.c_str(), &target) == 0 || errno != ENOENT) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool rename_no_replace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) return rename_no_replace_by_link(from, to);
    return false;
}

}  // namespace qor::platform
