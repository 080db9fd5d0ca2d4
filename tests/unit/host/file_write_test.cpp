// Writes: truncation, append, seek without truncation, line ends, /part
// selections, standard output ordering, and failures.
#include <sys/stat.h>

#include "runtime/host/file_read.h"
#include "runtime/host/file_write.h"
#include "runtime/output/output.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace qor::host {
namespace {

std::span<const uint8_t> bytes_of(std::string_view s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }
std::string text(std::span<const uint8_t> b) { return {b.begin(), b.end()}; }

class FileWrite : public test::TempDirTest {};

TEST_F(FileWrite, ModesKeepOrReplaceContents) {
    std::string file = path("f.txt");
    struct Step {
        std::string_view data;
        WriteOptions options;
        bool newline;
        std::string after;
    } steps[] = {
        {"abc", {}, false, "abc"},
        {"line\nend", {}, false, "line\nend"},  // LF stays LF: no CR LF on this platform
        {"xy", {}, false, "xy"},                // a plain write truncates
        {"z", {-1, true}, false, "xyz"},        // append keeps and adds at the end
        {"Q", {1, false}, false, "xQz"},        // seek replaces one byte, keeps the rest
        {"W", {0, false}, false, "WQz"},        // seek 0 writes at the start, no truncation
        {"!", {5, false}, false, std::string("WQz\0\0!", 6)},  // past the end: a gap of zeros
        {"+", {1, true}, false, std::string("WQz\0\0!+", 7)}, // append wins over seek
        {"x", {}, true, "x\n"},                 // /lines on a single value
    };
    for (const Step& s : steps) {
        ASSERT_EQ(write_data(&file, bytes_of(s.data), s.newline, s.options), WriteStatus::ok);
        EXPECT_EQ(get("f.txt"), s.after) << s.data;
    }
}

TEST_F(FileWrite, LinesRoundTrip) {
    std::vector<std::string> lines = {"first", "", "caf\xC3\xA9", "  spaced  ", "last"};
    std::string file = path("lines.txt");
    {
        Output out = Output::open_file(file, {});
        for (const std::string& line : lines) {
            out.write(line);
            out.end_line();
        }
        ASSERT_EQ(out.status(), WriteStatus::ok);
    }
    EXPECT_EQ(get("lines.txt"), "first\n\ncaf\xC3\xA9\n  spaced  \nlast\n");
    ReadResult r = read_file(file);
    ASSERT_EQ(r.status, ReadStatus::ok);
    std::vector<std::string> back;
    for (auto line : split_lines(r.bytes)) back.push_back(text(line));
    EXPECT_EQ(back, lines);
}

TEST_F(FileWrite, PartSelections) {
    struct Case {
        std::string_view data;
        int64_t part;
        std::string text, binary;
    } cases[] = {
        {"hello", 2, "he", "he"},
        {"hello", 0, "", "hello"},          // 0: no text, but the whole binary
        {"hello", -1, "hello", "hello"},    // absent
        {"hello", 9, "hello", "hello"},
        {"\xC3\xA9t\xC3\xA9", 2, "\xC3\xA9t", "\xC3\xA9"},  // text counts characters, binary bytes
        {"\xF0\x9F\x98\x80x", 1, "\xF0\x9F\x98\x80", "\xF0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text(text_part(bytes_of(c.data), c.part)), c.text) << c.data << " " << c.part;
        EXPECT_EQ(text(binary_part(bytes_of(c.data), c.part)), c.binary) << c.data << " " << c.part;
    }
}

TEST_F(FileWrite, FailuresAreReported) {
    std::string missing_dir = path("no/such/file");
    EXPECT_EQ(write_data(&missing_dir, bytes_of("x"), false), WriteStatus::cannot_open);
    EXPECT_EQ(write_data(&dir_, bytes_of("x"), false), WriteStatus::cannot_open);
    // A device that is always full: the open works, the write fails, and
    // every write after the failed one is refused.
    std::string full = "/dev/full";
    Output out = Output::open_file(full, {});
    ASSERT_EQ(out.status(), WriteStatus::ok);
    EXPECT_FALSE(out.write("data"));
    EXPECT_FALSE(out.end_line());
    EXPECT_EQ(out.status(), WriteStatus::write_failed);
    EXPECT_EQ(write_data(&full, bytes_of("x"), true), WriteStatus::write_failed);
}

TEST(StandardOutput, ComesAfterBufferedConsoleOutput) {
    auto result = test::run_in_child([] {
        output::write_c_string("printed ");
        if (write_data(nullptr, bytes_of("written\n"), true) != WriteStatus::ok) _exit(3);
    });
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.output, "printed written\n\n");
}

}  // namespace
}  // namespace qor::host
