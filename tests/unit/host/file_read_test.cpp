// Whole-file reads: part and seek, streams read to their end, sizes past the
// series limit, and line splitting.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "runtime/host/file_read.h"
#include "runtime/host/file_write.h"
#include "tests/support/temp_dir.h"

namespace qor::host {
namespace {

std::string text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::span<const uint8_t> bytes_of(std::string_view s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

class FileRead : public test::TempDirTest {};

TEST_F(FileRead, PartAndSeekCountBytesOfTheFile) {
    std::string file = path("letters.txt");
    ASSERT_EQ(write_data(&file, bytes_of("abcdef"), false), WriteStatus::ok);
    // "\xC3\xA9" is one character but two bytes: part and seek count bytes.
    std::string accented = path("accented.txt");
    ASSERT_EQ(write_data(&accented, bytes_of("\xC3\xA9t\xC3\xA9"), false), WriteStatus::ok);
    struct Case {
        const std::string* file;
        int64_t part, seek;
        std::string expected;
    } cases[] = {
        {&file, -1, -1, "abcdef"},
        {&file, -1, 2, "cdef"},      // seek 2 gives the tail
        {&file, 3, -1, "abc"},
        {&file, 2, 3, "de"},
        {&file, 10, -1, "abcdef"},   // part past the end gives what there is
        {&file, 0, -1, ""},          // part 0 reads nothing
        {&file, -1, 6, ""},          // seek at the end
        {&file, -1, 100, ""},        // seek past the end never reads a negative count
        {&file, -7, -1, "abcdef"},   // a negative part is no part
        {&accented, 2, -1, "\xC3\xA9"},
        {&accented, -1, 1, "\xA9t\xC3\xA9"},
    };
    for (const Case& c : cases) {
        ReadResult r = read_file(*c.file, {c.part, c.seek});
        EXPECT_EQ(r.status, ReadStatus::ok) << c.part << " " << c.seek;
        EXPECT_EQ(text(r.bytes), c.expected) << c.part << " " << c.seek;
    }
}

TEST_F(FileRead, EmptyMissingAndDirectory) {
    put("empty", "");
    ReadResult empty = read_file(path("empty"));
    EXPECT_EQ(empty.status, ReadStatus::ok);
    EXPECT_TRUE(empty.bytes.empty());
    // A missing file is the failure the language reports as "cannot open".
    EXPECT_EQ(read_file(path("nope.txt")).status, ReadStatus::cannot_open);
    // A directory is not a file, though POSIX would open it.
    EXPECT_EQ(read_file(dir_).status, ReadStatus::cannot_open);
    // Unreadable (skipped as root, who reads everything).
    put("secret", "x");
    chmod(path("secret").c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(read_file(path("secret")).status, ReadStatus::cannot_open);
    }
}

TEST_F(FileRead, LargeFileIsReadWhole) {
    // Bigger than any one read chunk, with every byte value.
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    put("big.bin", data);
    ReadResult r = read_file(path("big.bin"));
    ASSERT_EQ(r.status, ReadStatus::ok);
    EXPECT_TRUE(text(r.bytes) == data);
    ReadResult tail = read_file(path("big.bin"), {-1, 1000000});
    EXPECT_TRUE(text(tail.bytes) == data.substr(1000000));
}

TEST(FileReadSpecial, ProcFileIsReadWhole) {
    // The kernel reports a size of 0 for its generated files.
    ReadResult r = read_file("/proc/self/status");
    ASSERT_EQ(r.status, ReadStatus::ok);
    std::string status = text(r.bytes);
    EXPECT_EQ(status.rfind("Name:", 0), 0u);
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(), '\n');
    // The last field of the file is there, so nothing was cut off.
    EXPECT_NE(status.find("\nnonvoluntary_ctxt_switches:"), std::string::npos);
    // With seek the same file is read from an offset, not from the start.
    ReadResult skipped = read_file("/proc/self/status", {-1, 5});
    ASSERT_EQ(skipped.status, ReadStatus::ok);
    EXPECT_NE(text(skipped.bytes).rfind("Name:", 0), 0u);
}

TEST_F(FileRead, FifoIsReadWholeAndSeekDropsOnlyItsBytes) {
    std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // More than a pipe holds, written in uneven pieces, so the reader sees
    // many short reads.
    std::string data;
    for (int i = 0; data.size() < 300000; ++i) data += std::to_string(i) + ",";
    // A reader that stops early closes the pipe under the writer.
    signal(SIGPIPE, SIG_IGN);
    auto feed = [&] {
        int fd = open(fifo.c_str(), O_WRONLY);
        for (size_t at = 0; at < data.size();) {
            size_t piece = std::min<size_t>(data.size() - at, 1000 + at % 3333);
            ssize_t n = write(fd, data.data() + at, piece);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        close(fd);
    };
    std::thread writer(feed);
    ReadResult whole = read_file(fifo);
    writer.join();
    ASSERT_EQ(whole.status, ReadStatus::ok);
    EXPECT_TRUE(text(whole.bytes) == data);

    writer = std::thread(feed);
    ReadResult middle = read_file(fifo, {1000, 70000});
    writer.join();
    ASSERT_EQ(middle.status, ReadStatus::ok);
    EXPECT_EQ(text(middle.bytes), data.substr(70000, 1000));
}

TEST_F(FileRead, TooLargeIsAnErrorNeverATruncatedRead) {
    // Sparse files: no disk space used. 4 GiB + 5 has the low 32 bits of
    // its size equal to 5, the classic truncated read.
    for (int64_t size : {int64_t(3) << 30, (int64_t(4) << 30) + 5}) {
        std::string file = path("huge");
        int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
        ReadResult whole = read_file(file);
        EXPECT_EQ(whole.status, ReadStatus::too_large) << size;
        EXPECT_TRUE(whole.bytes.empty());
        // A part that fits is fine, even far into the file.
        ReadResult piece = read_file(file, {10, size - 4});
        EXPECT_EQ(piece.status, ReadStatus::ok);
        EXPECT_EQ(piece.bytes, std::vector<uint8_t>(4, 0));
    }
}

TEST(FileReadSpecial, EndlessDeviceStopsAtTheLimit) {
    ReadResult capped = read_file("/dev/zero", {-1, -1, 1 << 20});
    EXPECT_EQ(capped.status, ReadStatus::too_large);
    ReadResult part = read_file("/dev/zero", {100, -1});
    ASSERT_EQ(part.status, ReadStatus::ok);
    EXPECT_EQ(part.bytes, std::vector<uint8_t>(100, 0));
    // Exactly the limit is still a read; the space grows over several
    // steps, and what is kept is what was read.
    ReadResult at_limit = read_file("/dev/zero", {int64_t{100} << 20, -1, int64_t{100} << 20});
    ASSERT_EQ(at_limit.status, ReadStatus::ok);
    EXPECT_EQ(at_limit.bytes.size(), size_t{100} << 20);
    EXPECT_EQ(read_file("/dev/zero", {-1, -1, int64_t{100} << 20}).status, ReadStatus::too_large);
}

TEST(SplitLines, Table) {
    struct Case {
        std::string_view bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},                       // a final line feed adds no empty line
        {"a\r\nb\n\nc", {"a", "b", "", "c"}},
        {"a\rb\n", {"a\rb"}},                 // a lone CR stays
        {"a\r\r\n", {"a\r"}},                 // only one CR is dropped
        {"\n\n", {"", ""}},
        {"\r\n", {""}},
        {"x\r", {"x\r"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (auto line : split_lines(bytes_of(c.bytes))) got.emplace_back(line.begin(), line.end());
        EXPECT_EQ(got, c.lines) << testing::PrintToString(std::string(c.bytes));
    }
}

TEST(NamesDirectory, BySpellingOnly) {
    struct Case {
        std::string_view spelling;
        bool directory;
    } cases[] = {
        {"", false},      {"a", false},     {"a/", true},     {"a\\", true},
        {".", true},      {"..", true},     {"...", false},   {"a.", false},
        {"a/.", true},    {"a\\.", true},   {"a/..", true},   {"a\\..", true},
        {"a..", false},   {"/", true},      {"x/y.txt", false}, {"b/a..", false},
    };
    for (const Case& c : cases) EXPECT_EQ(names_directory(c.spelling), c.directory) << c.spelling;
}

}  // namespace
}  // namespace qor::host
