// Directory listing on opendir/readdir; entry kinds from d_type, or from
// fstatat when the file system does not report them.
#include "runtime/platform/directory.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace qor::platform {

Directory::~Directory() {
    if (dir_ != nullptr) closedir(dir_);
}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (dir_ != nullptr) closedir(dir_);
        dir_ = other.dir_;
        failed_ = other.failed_;
        other.dir_ = nullptr;
    }
    return *this;
}

Directory Directory::open(const std::string& path) {
    Directory directory;
    directory.dir_ = opendir(path.c_str());
    return directory;
}

namespace {

bool is_dot_or_dot_dot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A symbolic link counts as what it points to, so a link to a directory is
// listed (and read) as a directory.
bool entry_is_directory(DIR* dir, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
    struct stat info{};
    return fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<DirectoryEntry> Directory::next() {
    if (dir_ == nullptr) return std::nullopt;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir_);
        if (entry == nullptr) {
            failed_ = errno != 0;
            return std::nullopt;
        }
        if (is_dot_or_dot_dot(entry->d_name)) continue;
        return DirectoryEntry{entry->d_name, entry_is_directory(dir_, entry)};
    }
}

}  // namespace qor::platform
