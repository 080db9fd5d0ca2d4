// Standard input read from a pipe: UTF-8 characters and lines, no echo.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/piped_input.h"

namespace qor::console {
namespace {

// A pipe holding `bytes`, closed for writing so the reader meets its end.
class FilledPipe {
public:
    explicit FilledPipe(std::string_view bytes) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fds[1]);
        fd_ = fds[0];
    }
    ~FilledPipe() { close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

std::vector<std::u32string> all_lines(std::string_view bytes) {
    FilledPipe pipe(bytes);
    PipedInput input(pipe.fd());
    std::vector<std::u32string> lines;
    for (int guard = 0; guard < 100; ++guard) {
        std::u32string line;
        input.read_line(line);
        if (input.ended() && line.empty()) break;
        lines.push_back(line);
    }
    return lines;
}

TEST(PipedInput, Lines) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::u32string> lines;
    };
    const std::vector<Case> cases = {
        {"plain lines", "one\ntwo\n", {U"one", U"two"}},
        {"a last line without a line end", "one\ntwo", {U"one", U"two"}},
        {"empty lines", "\n\nx\n", {U"", U"", U"x"}},
        {"carriage return is kept", "a\r\nb\n", {U"a\r", U"b"}},
        {"utf-8", "\xC3\xA9t\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80\n", {U"\u00E9t\u00E9 \u4E2D \U0001F600"}},
        {"an impossible lead byte ends the line", "ab\xFF" "cd\n", {U"ab", U"cd"}},
        {"a continuation byte alone ends the line", "ab\x80" "cd\n", {U"ab", U"cd"}},
        {"malformed sequences read as U+FFFE", "a\xC3(\xED\xA0\x80\xE0\x80\x80z\n", {U"a\uFFFE\uFFFE\uFFFEz"}},
        {"a sequence cut by the end", "ab\xC3", {U"ab"}},
        {"nothing", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(all_lines(c.bytes), c.lines) << c.what;
}

TEST(PipedInput, EndIsSeenOnceAndStays) {
    FilledPipe pipe("x");
    PipedInput input(pipe.fd());
    EXPECT_EQ(input.read_char(), 'x');
    EXPECT_FALSE(input.ended());
    EXPECT_EQ(input.read_char(), -1);
    EXPECT_TRUE(input.ended());
    EXPECT_EQ(input.read_char(), -1);
}

TEST(PipedInput, RawReadsTakeBufferedBytesFirst) {
    std::string big(10000, 'z');
    FilledPipe pipe("line\nrest" + big);
    PipedInput input(pipe.fd());
    std::u32string line;
    input.read_line(line);
    EXPECT_EQ(line, U"line");
    std::string rest;
    uint8_t chunk[3000];
    for (int64_t n; (n = input.read_raw(chunk)) > 0;) rest.append(reinterpret_cast<char*>(chunk), size_t(n));
    EXPECT_EQ(rest, "rest" + big);
}

TEST(PipedInput, LongInputIsReadWhole) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t writer = fork();
    if (writer == 0) {
        close(fds[0]);
        const char* p = text.data();
        size_t left = text.size();
        while (left > 0) {
            ssize_t n = write(fds[1], p, left);
            if (n <= 0) _exit(1);
            p += n;
            left -= size_t(n);
        }
        _exit(0);
    }
    close(fds[1]);
    PipedInput input(fds[0]);
    int count = 0;
    for (;;) {
        std::u32string line;
        input.read_line(line);
        if (input.ended() && line.empty()) break;
        ASSERT_EQ(line.size(), 5 + std::to_string(count).size());
        ++count;
    }
    close(fds[0]);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(count, 20000);
}

}  // namespace
}  // namespace qor::console
