// File and directory operations on names: listing a directory, a file's
// last-write date and size, existence, creating a directory, deleting and
// renaming. Paths are local UTF-8 paths. None of these raises: failures
// answer nothing or false, and the caller decides what the language says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qor::host {

// The names in a directory, "." and ".." left out, each directory's name
// followed by "/". Sorted by byte value (code-point order), so a listing is
// the same from run to run whatever order the file system keeps. Nothing
// when the directory cannot be listed. "/" lists the root directory. A name
// that is not valid UTF-8 is listed with each byte outside a valid sequence
// written as "%" and two upper-case hexadecimal digits, so one such name
// never keeps the others from being listed.
[[nodiscard]] std::optional<std::vector<std::string>> read_dir(const std::string& path);

// A calendar time in UTC, to the millisecond.
struct FileTime {
    int year, month, day;  // month and day from 1
    int hour, minute, second;
    int32_t nanosecond;    // whole milliseconds × 1,000,000
};

// The last-write time of a file or directory; nothing when it does not
// exist, or when the path ends in "/" or "\" and names something that is
// not a directory.
[[nodiscard]] std::optional<FileTime> query_file(const std::string& path);

// The size in bytes of a file that can be opened for reading; nothing for a
// directory spelling, a directory, or a file that cannot be opened. Pipes
// and devices are 0. (A size above the integer! range is the caller's to
// refuse.)
[[nodiscard]] std::optional<int64_t> file_size(const std::string& path);

// True when a file or directory of that name exists.
[[nodiscard]] bool exists(const std::string& path);

// Creates one directory; true on success.
[[nodiscard]] bool make_dir(const std::string& path);

// Removes an empty directory when the spelling names a directory, else a
// file; true on success.
[[nodiscard]] bool delete_path(const std::string& path);

// Renames a file or directory; false, and nothing replaced, when the new
// name exists.
[[nodiscard]] bool rename_path(const std::string& from, const std::string& to);

}  // namespace qor::host
