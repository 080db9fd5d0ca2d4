// Interoperability with the system's gzip tool: it reads every gzip stream
// we write, and we read what `gzip -1` to `gzip -9` write on the same data.
#include <gtest/gtest.h>

#include <string>

#include "runtime/compress/deflate.h"
#include "tests/unit/compress/deflate_test_util.h"

namespace qor::test {
namespace {

std::vector<Bytes> gzip_inputs() {
    return {{}, {'q'}, make_text(150000), make_binary(150000), make_random(40000), make_mixed(200000)};
}

TEST(GzipInterop, SystemGzipReadsOurStreams) {
    if (!have_command("gzip --version")) GTEST_SKIP() << "gzip is not installed";
    TempDir dir;
    for (const Bytes& in : gzip_inputs())
        for (int level : {-1, 1, 2, 3, 4, 5, 6, 7, 8, 9}) {
            const std::string packed = dir.file("x.gz"), plain = dir.file("x");
            write_file(packed, encode(gzip::compress, in, level));
            ASSERT_EQ(std::system(("gzip -dc '" + packed + "' >'" + plain + "'").c_str()), 0)
                << "size " << in.size() << " level " << level;
            EXPECT_EQ(read_file(plain), in) << "size " << in.size() << " level " << level;
        }
}

TEST(GzipInterop, WeReadSystemGzipStreams) {
    if (!have_command("gzip --version")) GTEST_SKIP() << "gzip is not installed";
    TempDir dir;
    for (const Bytes& in : gzip_inputs()) {
        const std::string plain = dir.file("data.bin");
        write_file(plain, in);
        for (int level = 1; level <= 9; ++level) {
            // -N stores the name: the FNAME field must be skipped.
            const std::string packed = dir.file("x.gz");
            const std::string flags = level % 2 ? " -N" : " -n";
            ASSERT_EQ(std::system(("gzip -c -" + std::to_string(level) + flags + " '" + plain + "' >'" + packed + "'").c_str()), 0);
            Result r;
            EXPECT_EQ(decode(gzip::decompress, read_file(packed), &r), in) << "size " << in.size() << " level " << level;
            EXPECT_EQ(r, Result::Done);
        }
    }
}

}  // namespace
}  // namespace qor::test
