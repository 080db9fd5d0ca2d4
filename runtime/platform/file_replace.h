// Replacing a file's whole content safely: the bytes go to a temporary file
// in the same directory, which is then renamed over the old file, so a write
// that fails midway (a full disk, a signal) leaves the old content whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qor::platform {

enum class ReplaceResult {
    done,
    not_possible,  // no temporary file could be made there, or the path is
                   // not a regular file: the caller writes in place
    failed,        // the new content could not be written; the old is kept
};

// Writes `bytes` (and `tail` after them) as the whole new content of the
// file at `path`. A file that exists keeps its permission bits; a new one
// gets 0666 less the umask. A symbolic link is followed: the file it names
// is replaced, the link stays.
[[nodiscard]] ReplaceResult replace_file(const std::string& path, std::span<const uint8_t> bytes,
                                         std::span<const uint8_t> tail);

// Makes the file with the permission bits when it does not exist, and sets
// them when it does; false when neither could be done.
bool ensure_private_file(const std::string& path, unsigned mode);

// Takes an exclusive lock on the file (made when missing) for the rest of
// the process; waits while another process holds it. False when the lock
// file cannot be opened.
bool lock_file_for_process(const std::string& path);

}  // namespace qor::platform
