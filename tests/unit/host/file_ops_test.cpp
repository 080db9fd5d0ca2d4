// Directory listing, query, size, existence, directory creation, delete and
// rename on real files in a temporary directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "runtime/host/file_ops.h"
#include "runtime/platform/file_system.h"
#include "tests/support/temp_dir.h"

namespace qor::host {
namespace {

class FileOps : public test::TempDirTest {};

TEST_F(FileOps, ListingHoldsFilesAndSubDirectories) {
    put("b.txt", "1");
    put("a.txt", "22");
    put(".hidden", "");
    ASSERT_TRUE(make_dir(path("sub")));
    ASSERT_TRUE(make_dir(path("sub/deeper")));
    put("sub/inner.txt", "x");
    ASSERT_EQ(symlink("sub", path("link-to-dir").c_str()), 0);
    ASSERT_EQ(symlink("gone", path("dangling").c_str()), 0);
    std::vector<std::string> expected = {".hidden", "a.txt", "b.txt", "dangling", "link-to-dir/", "sub/"};

    // The same listing however the directory is spelled; the spelling given
    // is not changed.
    for (std::string spelled : {dir_, dir_ + "/", dir_ + "/.", dir_ + "/sub/.."}) {
        const std::string before = spelled;
        auto names = read_dir(spelled);
        ASSERT_TRUE(names.has_value()) << spelled;
        EXPECT_EQ(*names, expected) << spelled;
        EXPECT_EQ(spelled, before);
    }
    EXPECT_EQ(read_dir(path("sub")), (std::vector<std::string>{"deeper/", "inner.txt"}));
    EXPECT_EQ(read_dir(path("sub/deeper")), std::vector<std::string>{});
    EXPECT_FALSE(read_dir(path("missing")).has_value());
    EXPECT_FALSE(read_dir(path("a.txt")).has_value());

    auto root = read_dir("/");
    ASSERT_TRUE(root.has_value());
    EXPECT_NE(std::find(root->begin(), root->end(), "usr/"), root->end());
}

TEST_F(FileOps, QueryGivesTheLastWriteInUtc) {
    put("f", "data");
    ASSERT_TRUE(make_dir(path("d")));
    // A known time: 2021-03-04 05:06:07.891234567 UTC.
    timespec times[2] = {{1614834367, 891234567}, {1614834367, 891234567}};
    ASSERT_EQ(utimensat(AT_FDCWD, path("f").c_str(), times, 0), 0);
    auto t = query_file(path("f"));
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ((std::vector<int>{t->year, t->month, t->day, t->hour, t->minute, t->second}),
              (std::vector<int>{2021, 3, 4, 5, 6, 7}));
    EXPECT_EQ(t->nanosecond, 891000000);

    EXPECT_FALSE(query_file(path("nope.txt")).has_value());
    EXPECT_FALSE(query_file(path("f") + "/").has_value());   // a file named as a directory
    EXPECT_FALSE(query_file(path("f") + "\\").has_value());
    EXPECT_TRUE(query_file(path("d")).has_value());
    EXPECT_TRUE(query_file(path("d") + "/").has_value());
}

TEST_F(FileOps, SizeAndExistence) {
    put("f", "12345");
    ASSERT_TRUE(make_dir(path("d")));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(file_size(path("f")), 5);
    EXPECT_EQ(file_size(path("fifo")), 0);  // answers at once, no writer needed
    EXPECT_EQ(file_size(path("d")), std::nullopt);
    EXPECT_EQ(file_size(path("d") + "/"), std::nullopt);
    EXPECT_EQ(file_size(path("f") + "/.."), std::nullopt);
    EXPECT_EQ(file_size(path("missing")), std::nullopt);

    EXPECT_TRUE(exists(path("f")));
    EXPECT_TRUE(exists(path("d")));
    EXPECT_TRUE(exists(path("d") + "/"));
    EXPECT_FALSE(exists(path("missing")));
    EXPECT_FALSE(make_dir(path("d")));           // already there
    EXPECT_FALSE(make_dir(path("x/y")));         // parent missing
}

TEST_F(FileOps, DeleteByKindOfSpelling) {
    put("f", "x");
    ASSERT_TRUE(make_dir(path("empty")));
    ASSERT_TRUE(make_dir(path("full")));
    put("full/inside", "x");
    EXPECT_FALSE(delete_path(path("empty")));     // not spelled as a directory: not a file either
    EXPECT_TRUE(delete_path(path("empty/")));
    EXPECT_FALSE(exists(path("empty")));
    EXPECT_FALSE(delete_path(path("full/")));     // only empty directories
    EXPECT_TRUE(exists(path("full/inside")));
    EXPECT_FALSE(delete_path(path("f/")));
    EXPECT_TRUE(delete_path(path("f")));
    EXPECT_FALSE(exists(path("f")));
    EXPECT_FALSE(delete_path(path("f")));
}

TEST_F(FileOps, RenameNeverReplaces) {
    put("old", "old contents");
    put("taken", "precious");
    EXPECT_FALSE(rename_path(path("old"), path("taken")));
    EXPECT_EQ(get("taken"), "precious");
    EXPECT_EQ(get("old"), "old contents");

    EXPECT_TRUE(rename_path(path("old"), path("new")));
    EXPECT_FALSE(exists(path("old")));
    EXPECT_EQ(get("new"), "old contents");
    EXPECT_FALSE(rename_path(path("old"), path("other")));  // source gone

    ASSERT_TRUE(make_dir(path("d1")));
    ASSERT_TRUE(make_dir(path("d2")));
    EXPECT_FALSE(rename_path(path("d1"), path("d2")));      // an empty directory is not replaced either
    EXPECT_TRUE(rename_path(path("d1"), path("d3")));
    EXPECT_TRUE(exists(path("d3")));
}

TEST_F(FileOps, RenameFallbackNeverReplacesEither) {
    put("a", "A");
    put("b", "B");
    ASSERT_TRUE(make_dir(path("d")));
    ASSERT_TRUE(make_dir(path("e")));
    using platform::rename_no_replace_by_link;
    EXPECT_FALSE(rename_no_replace_by_link(path("a"), path("b")));
    EXPECT_EQ(get("b"), "B");
    EXPECT_TRUE(rename_no_replace_by_link(path("a"), path("c")));
    EXPECT_FALSE(exists(path("a")));
    EXPECT_EQ(get("c"), "A");
    EXPECT_FALSE(rename_no_replace_by_link(path("d"), path("e")));
    EXPECT_FALSE(rename_no_replace_by_link(path("d"), path("c")));
    EXPECT_TRUE(rename_no_replace_by_link(path("d"), path("f")));
    EXPECT_TRUE(exists(path("f")));
    EXPECT_FALSE(rename_no_replace_by_link(path("missing"), path("g")));
}

// Names that are not valid UTF-8 are listed with those bytes escaped; the
// valid names around them are listed as they are.
TEST_F(FileOps, NamesThatAreNotUtf8AreEscapedNotDropped) {
    const struct {
        std::string name;
        std::string listed;
    } cases[] = {
        {"bad\xFF\xFE", "bad%FF%FE"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},            // valid: kept
        {"cut\xC3", "cut%C3"},                       // a sequence cut short
        {"over\xC0\xAF", "over%C0%AF"},             // an overlong form
        {"surr\xED\xA0\x80", "surr%ED%A0%80"},     // a surrogate
        {"mix\xF0\x9F\x98\x80\x80", "mix\xF0\x9F\x98\x80%80"},
        {"plain", "plain"},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        put(c.name, "");
        expected.push_back(c.listed);
    }
    std::sort(expected.begin(), expected.end());
    auto names = read_dir(dir_);
    ASSERT_TRUE(names.has_value());
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, expected);
}

}  // namespace
}  // namespace qor::host
