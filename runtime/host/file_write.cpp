// Writes through an Output: open flags from the options, full-write loops,
// and the first failure kept; a whole new content through a temporary file
// renamed over the old one.
#include "runtime/host/file_write.h"

#include "runtime/output/output.h"
#include <cerrno>
#include "runtime/output/output.h"
#include "runtime/platform/file_replace.h"

namespace qor::host {

Output Output::open_file(const std::string& path, const WriteOptions& options) {
    unsigned flags = platform::open_flag::write;
    if (options.append) flags |= platform::open_flag::append;
    if (options.seek >= 0) flags |= platform::open_flag::seek;
    platform::File file = platform::File::open(path, flags);
    if (!file.valid()) return Output(platform::File(), -1, WriteStatus::cannot_open);
    // With append every write goes to the end, wherever seek put it.
    if (options.seek > 0 && !options.append && !file.seek_to(options.seek))
        return Output(platform::File(), -1, WriteStatus::cannot_open);
    int fd = file.fd();
    return Output(std::move(file), fd, WriteStatus::ok);
}

Output Output::standard_output() {
    output::flush();
    return Output(platform::File(), 1, WriteStatus::ok);
}

bool Output::write(std::span<const uint8_t> bytes) {
    if (status_ != WriteStatus::ok) return false;
    if (!platform::write_fd_all(fd_, bytes)) status_ = WriteStatus::write_failed;
    return status_ == WriteStatus::ok;
}

WriteStatus write_data(const std::string* path, std::span<const uint8_t> bytes, bool newline,
                       const WriteOptions& options, int* os_error) {
    // A whole new content replaces the file in one step, so a failure keeps
    // the old content.
    if (path != nullptr && !options.append && options.seek < 0) {
        const auto tail = newline ? std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(line_end.data()),
                                                            line_end.size())
                                  : std::span<const uint8_t>();
        switch (platform::replace_file(*path, bytes, tail)) {
            case platform::ReplaceResult::done: return WriteStatus::ok;
            case platform::ReplaceResult::failed:
                if (os_error) *os_error = errno;
                return WriteStatus::write_failed;
            case platform::ReplaceResult::not_possible: break;
        }
    }
    Output out = path != nullptr ? Output::open_file(*path, options) : Output::standard_output();
    out.write(bytes);
    if (newline) out.end_line();
    if (out.status() == WriteStatus::write_failed && os_error) *os_error = errno;
    return out.status();
}

std::span<const uint8_t> text_part(std::span<const uint8_t> utf8, int64_t part) {
    if (part < 0) return utf8;
    // A character starts at every byte that is not a continuation byte.
    size_t i = 0;
    for (int64_t chars = 0; i < utf8.size(); ++i) {
        if ((utf8[i] & 0xC0) != 0x80 && chars++ == part) break;
    }
    return utf8.first(i);
}

std::span<const uint8_t> binary_part(std::span<const uint8_t> bytes, int64_t part) {
    if (part > 0 && static_cast<uint64_t>(part) < bytes.size()) return bytes.first(static_cast<size_t>(part));
    return bytes;
}

}  // namespace qor::host
