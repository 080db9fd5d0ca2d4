// Reading, writing, querying, renaming and deleting files through file!
// values, on a real temporary directory.
#include "tests/support/temp_dir.h"
#include "tests/unit/strings/strings_fixture.h"

namespace qor::test {
namespace {

class FilePortTest : public StringsTest {
protected:
    void SetUp() override {
        StringsTest::SetUp();
        char pattern[] = "/tmp/qor-strings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        StringsTest::TearDown();
    }
    Cell f(const std::string& name) const { return file(dir_ + "/" + name); }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
    }
    std::string get(const std::string& name) const {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string dir_;
};

// read's refinements: part seek binary lines info as.
TEST_F(FilePortTest, Read) {
    put("t.txt", "a\xC3\xA9z");
    Cell r = act(Action::read, {f("t.txt")});
    EXPECT_EQ(type_of(r), TypeId::string);
    EXPECT_EQ(utf8_of(r), "a\u00E9z");
    r = act(Action::read, {f("t.txt")}, {off, off, Ref::on()});
    EXPECT_EQ(type_of(r), TypeId::binary);
    EXPECT_EQ(bytes_of(r), (std::vector<uint8_t>{'a', 0xC3, 0xA9, 'z'}));
    put("abc.txt", "abcdef");
    EXPECT_EQ(utf8_of(act(Action::read, {f("abc.txt")}, {Ref::with(I(2)), Ref::with(I(1))})), "bc");

    put("lines.txt", "a\r\nb\n\nc");
    r = act(Action::read, {f("lines.txt")}, {off, off, off, Ref::on()});
    ASSERT_EQ(type_of(r), TypeId::block);
    ASSERT_EQ(series_tail::cell_count(r), 4u);
    EXPECT_EQ(utf8_of(*series_tail::cell_at(r, 0)), "a");
    EXPECT_EQ(utf8_of(*series_tail::cell_at(r, 2)), "");
    EXPECT_EQ(utf8_of(*series_tail::cell_at(r, 3)), "c");

    EXPECT_EQ(error_of([&] { act(Action::read, {f("missing")}); }), "access/cannot-open");
    EXPECT_EQ(error_of([&] { act(Action::read, {f("t.txt")}, {off, off, off, off, off, Ref::with(none_v)}); }),
              "internal/not-done");
}

TEST_F(FilePortTest, ReadDirectory) {
    put("b.txt", "");
    std::filesystem::create_directory(dir_ + "/sub");
    const Cell r = act(Action::read, {f("")});
    ASSERT_EQ(type_of(r), TypeId::block);
    ASSERT_EQ(series_tail::cell_count(r), 2u);
    EXPECT_EQ(type_of(*series_tail::cell_at(r, 0)), TypeId::file);
    EXPECT_EQ(utf8_of(*series_tail::cell_at(r, 0)), "b.txt");
    EXPECT_EQ(utf8_of(*series_tail::cell_at(r, 1)), "sub/");
}

// write's refinements: binary lines info append part seek allow as.
TEST_F(FilePortTest, Write) {
    act(Action::write, {f("w.txt"), text("x\n\u00E9")});
    EXPECT_EQ(get("w.txt"), "x\n\xC3\xA9");
    act(Action::write, {f("w.txt"), text("yz")}, {off, off, off, Ref::on()});
    EXPECT_EQ(get("w.txt"), "x\n\xC3\xA9yz");
    act(Action::write, {f("w.txt"), text("abcde")}, {off, off, off, off, Ref::with(I(2))});
    EXPECT_EQ(get("w.txt"), "ab");
    act(Action::write, {f("w.txt"), B({1, 2, 3})}, {off, off, off, off, Ref::with(I(0))});
    EXPECT_EQ(get("w.txt"), "\x01\x02\x03");
    act(Action::write, {f("w.txt"), B({9})}, {off, off, off, off, off, Ref::with(I(1))});
    EXPECT_EQ(get("w.txt"), "\x01\x09\x03");
    act(Action::write, {f("w.txt"), K({text("x"), I(1)})}, {off, Ref::on()});
    EXPECT_EQ(get("w.txt"), "x\n1\n");
    act(Action::write, {f("w.txt"), I(42)});
    EXPECT_EQ(get("w.txt"), "42");
    EXPECT_EQ(error_of([&] { act(Action::write, {f("w.txt"), I(1)}, {off, off, off, off, Ref::with(F(1.0))}); }),
              "script/invalid-refine-arg");
    EXPECT_EQ(error_of([&] { act(Action::write, {f("no/such/dir/x"), I(1)}); }), "access/cannot-open");
}

TEST_F(FilePortTest, QueryRenameDelete) {
    put("q.txt", "1");
    const Cell date = act(Action::query, {f("q.txt")});
    EXPECT_EQ(type_of(date), TypeId::date);
    EXPECT_GE(date.w1 >> 17, 2020u);
    EXPECT_EQ(type_of(act(Action::query, {f("missing")})), TypeId::none);
    EXPECT_EQ(act(Action::rename, {f("q.txt"), f("r.txt")}).w1, 1u);
    EXPECT_EQ(get("r.txt"), "1");
    EXPECT_EQ(act(Action::delete_, {f("r.txt")}).w1, 1u);
    EXPECT_EQ(act(Action::delete_, {f("r.txt")}).w1, 0u);
}

TEST_F(FilePortTest, LocalPaths) {
    EXPECT_EQ(url_text::to_local(file("/usr/lib/x"), true), "/usr/lib/x");
    const std::string cwd = url_text::current_dir();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(cwd.back(), '/');
    EXPECT_EQ(url_text::to_local(file("a/b"), true), cwd + "a/b");
    EXPECT_EQ(url_text::to_local(file("a/b"), false), "a/b");
}

}  // namespace
}  // namespace qor::test
