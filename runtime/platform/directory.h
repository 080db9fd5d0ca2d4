// Reading directory entries, with the DIR* stream owned by a Directory.
#pragma once

#include <dirent.h>

#include <optional>
#include <string>

namespace qor::platform {

struct DirectoryEntry {
    std::string name;   // relative to the directory, never "." or ".."
    bool is_directory;  // a directory, or a symbolic link to one
};

class Directory {
public:
    Directory() = default;
    ~Directory();
    Directory(Directory&& other) noexcept : dir_(other.dir_) { other.dir_ = nullptr; }
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens the directory for listing; an invalid Directory on failure.
    [[nodiscard]] static Directory open(const std::string& path);

    [[nodiscard]] bool valid() const { return dir_ != nullptr; }

    // The next entry in the file system's order. At the end nothing is
    // answered and `failed()` tells whether the listing broke off early.
    [[nodiscard]] std::optional<DirectoryEntry> next();
    [[nodiscard]] bool failed() const { return failed_; }

private:
    DIR* dir_ = nullptr;
    bool failed_ = false;
};

}  // namespace qor::platform
