// Interoperability with the system's zstd tool: it reads every frame we
// write, and we read what it writes at every level, with and without
// checksums, from pipes (no content size) and as several frames in a row.
#include <gtest/gtest.h>

#include "tests/unit/compress/zstd_test_util.h"

namespace qor::test {
namespace {

bool have_zstd() { return have_command("zstd --version"); }

TEST(ZstdInterop, SystemZstdReadsOurFrames) {
    if (!have_zstd()) GTEST_SKIP() << "zstd is not installed";
    TempDir dir;
    const Bytes inputs[] = {make_mixed(140000, 51), make_text(9000, 52), {}, Bytes(5000, 7)};
    for (int level = 1; level <= 19; ++level) {
        for (const Bytes& in : inputs) {
            write_file(dir.file("in.zst"), zstd_encode(in, level));
            ASSERT_EQ(std::system(("zstd -q -d -f '" + dir.file("in.zst") + "' -o '" + dir.file("out") + "'").c_str()), 0)
                << "level " << level << " size " << in.size();
            EXPECT_EQ(read_file(dir.file("out")), in) << "level " << level << " size " << in.size();
        }
    }
}

TEST(ZstdInterop, WeReadSystemZstdFrames) {
    if (!have_zstd()) GTEST_SKIP() << "zstd is not installed";
    TempDir dir;
    const Bytes in = make_mixed(140000, 61);
    write_file(dir.file("in"), in);
    const std::string src = "'" + dir.file("in") + "'", dst = "'" + dir.file("out.zst") + "'";
    for (int level = 1; level <= 19; ++level) {
        static const char* const kFlags[] = {" --check", " --no-check", " --no-check --no-content-size"};
        const std::string cmd = "zstd -q -f -" + std::to_string(level) + kFlags[level % 3] + " " + src + " -o " + dst;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        EXPECT_EQ(zstd_decode(read_file(dir.file("out.zst"))), in) << cmd;
    }
    // A stream from a pipe: no content size.
    ASSERT_EQ(std::system(("cat " + src + " | zstd -q -c -5 >" + dst).c_str()), 0);
    EXPECT_EQ(zstd_decode(read_file(dir.file("out.zst"))), in);
}

TEST(ZstdInterop, SeveralFramesAndSkippableFrames) {
    if (!have_zstd()) GTEST_SKIP() << "zstd is not installed";
    TempDir dir;
    const Bytes a = make_text(40000, 71), b = make_binary(30000, 72);
    write_file(dir.file("a"), a);
    write_file(dir.file("b"), b);
    ASSERT_EQ(std::system(("zstd -q -f -3 --check '" + dir.file("a") + "' -o '" + dir.file("a.zst") + "'").c_str()), 0);
    ASSERT_EQ(std::system(("zstd -q -f -12 '" + dir.file("b") + "' -o '" + dir.file("b.zst") + "'").c_str()), 0);
    const Bytes skippable = cat({{0x53, 0x2A, 0x4D, 0x18}, le(6, 4), {1, 2, 3, 4, 5, 6}});
    const Bytes stream = cat({read_file(dir.file("a.zst")), skippable, read_file(dir.file("b.zst")),
                              zstd_encode(a, 7), skippable});
    EXPECT_EQ(zstd_decode(stream), cat({a, b, a}));
    // And the system tool reads the same concatenation.
    write_file(dir.file("all.zst"), stream);
    ASSERT_EQ(std::system(("zstd -q -d -f '" + dir.file("all.zst") + "' -o '" + dir.file("all") + "'").c_str()), 0);
    EXPECT_EQ(read_file(dir.file("all")), cat({a, b, a}));
}

}  // namespace
}  // namespace qor::test
