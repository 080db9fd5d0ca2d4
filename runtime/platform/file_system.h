// File-system operations on names: existence, status, creating and removing
// directories, removing and renaming files. Paths are UTF-8 POSIX paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qor::platform {

struct PathStatus {
    bool is_directory;
    int64_t size;                // bytes
    int64_t modified_seconds;    // last write, seconds since 1970 UTC
    int32_t modified_nanoseconds;
};

// The status of what the path names (symbolic links followed); nothing when
// it does not exist or cannot be asked.
[[nodiscard]] std::optional<PathStatus> path_status(const std::string& path);

// True when the name exists, even as a symbolic link to nothing.
[[nodiscard]] bool path_exists(const std::string& path);

// Creates one directory (its parent must exist); true on success.
[[nodiscard]] bool make_directory(const std::string& path);

// Removes an empty directory; true on success.
[[nodiscard]] bool remove_directory(const std::string& path);

// Removes a file (never a directory); true on success.
[[nodiscard]] bool remove_file(const std::string& path);

// Renames a file or directory. Fails, replacing nothing, when the new name
// already exists.
[[nodiscard]] bool rename_no_replace(const std::string& from, const std::string& to);

// The same for file systems without an atomic no-replace rename (which
// rename_no_replace falls back to): a hard link, which fails when the new
// name exists, then removing the old name. Directories cannot be linked;
// for them the check and the rename are two steps.
[[nodiscard]] bool rename_no_replace_by_link(const std::string& from, const std::string& to);

}  // namespace qor::platform
