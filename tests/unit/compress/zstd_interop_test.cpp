// Interoperability with the system's zstd tool: it reads every frame we
// write, and we read what it writes at every level, with and without
// checksums, from pipes (no content size) and as several frames in a row.
#include <gtest/gtest.h>

#include <cstring>

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

// Inputs that lead the decoder down each of its paths: text over small
// alphabets (two Huffman codes a look-up), repeats at every period from 1
// to 40 (matches closer than 8, 16 and farther), long repeated paragraphs,
// random bytes (raw literals) and a mix. Each is written by the system tool
// at several levels, with a content size and without (from a pipe), and
// read back into a buffer of exactly its size, where the last sequences
// end at the very end, and into a larger one.
TEST(ZstdInterop, WeReadSystemZstdFramesOfEveryShape) {
    if (!have_zstd()) GTEST_SKIP() << "zstd is not installed";
    Rng rng(81);
    std::vector<Bytes> inputs;
    for (const char* alphabet : {"ab", "etaoinshrdlu", "abcdefghijklmnopqrstuvwxyz0123456789 .,"}) {
        Bytes text(200000);
        const std::size_t n = std::strlen(alphabet);
        // Skewed: the first letters far more often than the last.
        for (auto& b : text) b = static_cast<std::uint8_t>(alphabet[rng.below(static_cast<std::uint32_t>(n)) *
                                                                    rng.below(static_cast<std::uint32_t>(n)) / n]);
        inputs.push_back(std::move(text));
    }
    Bytes periods;
    for (std::uint32_t period = 1; period <= 40; ++period) {
        Bytes unit(period);
        for (auto& b : unit) b = static_cast<std::uint8_t>(rng.next());
        for (std::size_t i = 0; i < 3000 + rng.below(3000); ++i) {
            periods.push_back(unit[i % period]);
            if (rng.below(500) == 0) periods.push_back(static_cast<std::uint8_t>(rng.next()));
        }
    }
    inputs.push_back(std::move(periods));
    Bytes paragraphs;
    const Bytes paragraph = make_text(3000, 82);
    while (paragraphs.size() < 150000) {
        paragraphs.insert(paragraphs.end(), paragraph.begin(), paragraph.begin() + 500 + rng.below(2500));
        const Bytes noise = make_random(rng.below(40), rng.next());
        paragraphs.insert(paragraphs.end(), noise.begin(), noise.end());
    }
    inputs.push_back(std::move(paragraphs));
    inputs.push_back(make_random(70000, 83));
    inputs.push_back(make_mixed(300000, 84));

    TempDir dir;
    const std::string src = "'" + dir.file("in") + "'", dst = "'" + dir.file("out.zst") + "'";
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const Bytes& in = inputs[i];
        write_file(dir.file("in"), in);
        for (const char* level : {"-1", "-3", "-9", "-19"}) {
            for (const bool piped : {false, true}) {
                const std::string cmd = piped ? "cat " + src + " | zstd -q -c " + level + " >" + dst
                                              : "zstd -q -f " + std::string(level) + " " + src + " -o " + dst;
                ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
                const Bytes frame = read_file(dir.file("out.zst"));
                for (const std::size_t extra : {std::size_t{0}, std::size_t{1000}}) {
                    Bytes out(in.size() + extra, 0xA5);
                    auto size = static_cast<std::int32_t>(out.size());
                    ASSERT_EQ(zstd::decompress(out.data(), &size, frame.data(), static_cast<std::int32_t>(frame.size())),
                              Result::Done)
                        << "input " << i << ": " << cmd;
                    ASSERT_EQ(size, static_cast<std::int32_t>(in.size()));
                    ASSERT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << "input " << i << ": " << cmd;
                }
            }
        }
    }
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
