// File and directory operations over the platform's file-system calls.
#include "runtime/host/file_ops.h"

#include <time.h>

#include <algorithm>

#include "runtime/host/file_read.h"
#include "runtime/platform/directory.h"
#include "runtime/platform/file_handle.h"
#include "runtime/platform/file_system.h"

namespace qor::host {

namespace {

// The length of the well-formed UTF-8 sequence at i (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0.
size_t valid_sequence(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) return 1;
    size_t n = 0;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) n = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) n = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4) n = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else return 0;
    if (i + n > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < n; k++)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

// The name with every byte outside a valid UTF-8 sequence percent-escaped.
std::string readable_name(std::string name) {
    size_t i = 0;
    while (i < name.size() && valid_sequence(name, i) == 1) i++;
    if (i == name.size()) return name;  // plain ASCII: the common case
    std::string out = name.substr(0, i);
    while (i < name.size()) {
        if (const size_t n = valid_sequence(name, i)) {
            out.append(name, i, n);
            i += n;
            continue;
        }
        const auto b = static_cast<uint8_t>(name[i++]);
        out += '%';
        out += "0123456789ABCDEF"[b >> 4];
        out += "0123456789ABCDEF"[b & 15];
    }
    return out;
}

}  // namespace

std::optional<std::vector<std::string>> read_dir(const std::string& path) {
    platform::Directory directory = platform::Directory::open(path);
    if (!directory.valid()) return std::nullopt;
    std::vector<std::string> names;
    while (auto entry = directory.next()) {
        if (entry->is_directory) entry->name += '/';
        names.push_back(readable_name(std::move(entry->name)));
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
