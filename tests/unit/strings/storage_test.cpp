// String storage: widening, the character helpers, loading.
#include "tests/unit/strings/strings_fixture.h"

namespace qor::test {
namespace {

using StorageTest = StringsTest;

// Appending wider and wider code points widens the buffer once per step;
// every earlier character keeps its value and every position stays valid,
// also for a second value positioned inside the string.
TEST_F(StorageTest, WidensFromOneToTwoToFourBytesKeepingEveryPosition) {
    Cell s = text("abc");
    Cell middle = s;
    middle.w1 = 1;
    ASSERT_EQ(unit_of(s), 1u);
    str::append_char(s.w2, 0xE9);  // above 127: two bytes
    EXPECT_EQ(unit_of(s), 2u);
    str::append_char(s.w2, 0x1F600);  // above 0xFFFF: four bytes
    EXPECT_EQ(unit_of(s), 4u);
    EXPECT_EQ(utf8_of(s), "abc\u00E9\U0001F600");
    EXPECT_EQ(str::char_at(middle, 0), U'b');
    EXPECT_EQ(str::char_at(middle, 3), 0x1F600u);
    EXPECT_EQ(str::length_at(middle), 4u);

    // Straight from one to four bytes.
    Cell t = text("xy");
    str::append_char(t.w2, 0x10000);
    EXPECT_EQ(unit_of(t), 4u);
    EXPECT_EQ(utf8_of(t), "xy\U00010000");
}

// A long string widened in the middle of a run of appends keeps all of it.
TEST_F(StorageTest, WideningALongStringKeepsItsText) {
    Cell s = text("");
    std::u32string expected;
    for (uint32_t i = 0; i < 5000; i++) {
        const uint32_t cp = i == 1000 ? 0x400u : i == 3000 ? 0x10400u : 'a' + i % 26;
        str::append_char(s.w2, cp);
        expected.push_back(cp);
    }
    ASSERT_EQ(str::length_at(s), expected.size());
    for (uint32_t i = 0; i < expected.size(); i++) ASSERT_EQ(str::char_at(s, i), expected[i]) << i;
}

TEST_F(StorageTest, AppendWidensForLatin1ButInsertAndWriteDoNot) {
    Cell a = text("");
    str::append_char(a.w2, 233);
    EXPECT_EQ(unit_of(a), 2u);
    Cell b = text("ab");
    str::insert_char(b.w2, 1, 233);
    EXPECT_EQ(unit_of(b), 1u);
    EXPECT_EQ(utf8_of(b), "a\u00E9b");
    str::write_char(b.w2, 0, 0x263A);
    EXPECT_EQ(unit_of(b), 2u);
    EXPECT_EQ(utf8_of(b), "\u263A\u00E9b");
}

TEST_F(StorageTest, RemoveAndConcatenate) {
    Cell s = text("hello");
    str::remove_part(s.w2, 5, 1);  // at the tail: nothing
    str::remove_part(s.w2, 9, 1);  // past it: nothing
    EXPECT_EQ(utf8_of(s), "hello");
    str::remove_part(s.w2, 1, 10);  // a count past the tail is cut
    EXPECT_EQ(utf8_of(s), "h");

    // A wide source widens the target; a narrow source is converted.
    Cell t = text("ab");
    str::concatenate(t, text("\u00E9\u263A"), -1, 0, str::Mode::append);
    EXPECT_EQ(unit_of(t), 2u);
    Cell source = text("XY");
    t.w1 = 1;
    str::concatenate(t, source, -1, 0, str::Mode::insert);
    EXPECT_EQ(utf8_of(Cell{t.header, 0, t.w2, 0}), "aXYb\u00E9\u263A");
    str::concatenate(t, source, 1, 0, str::Mode::overwrite);
    EXPECT_EQ(utf8_of(Cell{t.header, 0, t.w2, 0}), "aXYb\u00E9\u263A");
    t.w1 = 5;
    str::concatenate(t, source, -1, 0, str::Mode::overwrite);  // runs past the old tail
    EXPECT_EQ(utf8_of(Cell{t.header, 0, t.w2, 0}), "aXYb\u00E9XY");

    // A string copied into itself.
    Cell self = text("abc");
    str::concatenate(self, self, -1, 0, str::Mode::insert);
    EXPECT_EQ(utf8_of(self), "abcabc");
}

TEST_F(StorageTest, HexHelpers) {
    EXPECT_EQ(str::integer_to_hex(128, true), "80");
    EXPECT_EQ(str::integer_to_hex(0, true), "00");
    EXPECT_EQ(str::integer_to_hex(128, false), "00000080");
    EXPECT_EQ(str::integer_to_hex(0xDEADBEEF, false), "DEADBEEF");
    const auto h = str::byte_to_hex(0xA5);
    EXPECT_EQ(std::string(h.data(), 2), "A5");
}

TEST_F(StorageTest, LoadingUtf16AndRefusingAnUnknownEncoding) {
    const uint8_t utf16[] = {'a', 0, 0xE9, 0, 0x3A, 0x26};
    Cell s = unset_cell;
    str::load_at(utf16, sizeof utf16, s, -1);
    EXPECT_EQ(utf8_of(s), "a\u00E9\u263A");
    // An unknown encoding is an error the caller can catch, not the end
    // of the process.
    Cell t = unset_cell;
    EXPECT_EQ(error_of([&] { str::load_at(utf16, sizeof utf16, t, 5); }), "internal/not-done");
    EXPECT_EQ(error_of([&] { str::push_new(reinterpret_cast<const uint8_t*>("a\xFF"), 2); }), "access/invalid-utf8");
}

TEST_F(StorageTest, FindCharAndLiterals) {
    Cell s = text("a=b\u263A");
    EXPECT_EQ(str::find_char(s, '='), 1);
    EXPECT_EQ(str::find_char(s, 0x263A), 3);
    EXPECT_EQ(str::find_char(s, 'z'), -1);
    EXPECT_TRUE(str::equal_literal(s, "a=b"));
    EXPECT_FALSE(str::equal_literal(s, "a=bc"));
    str::append_literal(s, "xy");
    EXPECT_EQ(utf8_of(s), "a=b\u263Axy");
    str::reset(s);
    EXPECT_EQ(unit_of(s), 1u);
    EXPECT_EQ(str::length_at(s), 0u);
}

}  // namespace
}  // namespace qor::test
