// File and directory operations over the platform's file-system calls.
#include "runtime/host/file_ops.h"

#include <time.h>

#include <algorithm>

#include "runtime/host/file_read.h"
#include "runtime/platform/directory.h"
#include "runtime/platform/file_handle.h"
#include "runtime/platform/file_system.h"

namespace qor::host {

std::optional<std::vector<std::string>> read_dir(const std::string& path) {
    platform::Directory directory = platform::Directory::open(path);
    if (!directory.valid()) return std::nullopt;
    std::vector<std::string> names;
    while (auto entry = directory.next()) {
        if (entry->is_directory) entry->name += '/';
        names.push_back(std::move(entry->name));
    }
    if (directory.failed()) return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<FileTime> query_file(const std::string& path) {
    auto status = platform::path_status(path);
    if (!status) return std::nullopt;
    if (!path.empty() && (path.back() == '/' || path.back() == '\\') && !status->is_directory) return std::nullopt;
    time_t seconds = static_cast<time_t>(status->modified_seconds);
    tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) return std::nullopt;
    return FileTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                    parts.tm_hour, parts.tm_min, parts.tm_sec,
                    status->modified_nanoseconds / 1000000 * 1000000};
}

std::optional<int64_t> file_size(const std::string& path) {
    if (names_directory(path)) return std::nullopt;
    // Asking the size of a FIFO must not wait for a writer to appear.
    platform::File file = platform::File::open(path, platform::open_flag::read | platform::open_flag::no_wait);
    if (!file.valid()) return std::nullopt;
    int64_t size = file.size();
    if (size < 0) return std::nullopt;
    return size;
}

bool exists(const std::string& path) { return platform::path_exists(path); }

bool make_dir(const std::string& path) { return platform::make_directory(path); }

bool delete_path(const std::string& path) {
    return names_directory(path) ? platform::remove_directory(path) : platform::remove_file(path);
}

bool rename_path(const std::string& from, const std::string& to) { return platform::rename_no_replace(from, to); }

}  // namespace qor::host
