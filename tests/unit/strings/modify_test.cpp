// append, insert, change, swap, take, trim, sort and the set operations on
// strings.
#include "tests/unit/strings/strings_fixture.h"

namespace qor::test {
namespace {

using ModifyTest = StringsTest;

Cell tag(std::string_view t) { return text(t, TypeId::tag); }
Cell whole(const Cell& s) { return Cell{s.header, 0, s.w2, 0}; }

TEST_F(ModifyTest, AppendWithDupAndPart) {
    Cell r = act(Action::append, {text("x"), text("ab")}, {off, off, Ref::with(I(3))});
    EXPECT_EQ(utf8_of(r), "xababab");
    EXPECT_EQ(r.w1, 0u);
    EXPECT_EQ(utf8_of(act(Action::append, {text("x"), text("abcd")}, {Ref::with(I(2))})), "xab");
    // Values of other types are formed; a block's values without separators.
    EXPECT_EQ(utf8_of(act(Action::append, {text("n="), I(42)})), "n=42");
    EXPECT_EQ(utf8_of(act(Action::append, {text(""), K({I(1), I(2), I(3)})})), "123");
    EXPECT_EQ(utf8_of(act(Action::append, {text(""), K({I(1), I(2), I(3)})}, {Ref::with(I(2))})), "12");
    // A tag brings its angle brackets.
    EXPECT_EQ(utf8_of(act(Action::append, {text("a"), tag("b")})), "a<b>");
    // Appending a string to itself.
    Cell s = text("ab");
    EXPECT_EQ(utf8_of(act(Action::append, {s, s})), "abab");
    // A huge /dup is refused before anything is written.
    EXPECT_EQ(error_of([&] { act(Action::append, {s, text("abc")}, {off, off, Ref::with(I(0x7FFFFFFF))}); }),
              "internal/no-memory");
    EXPECT_EQ(utf8_of(s), "abab");
}

TEST_F(ModifyTest, AppendingAndInsertingLatin1) {
    Cell a = act(Action::append, {text(""), C(233)});
    EXPECT_EQ(unit_of(a), 2u);
    Cell i = act(Action::insert, {text("ab"), C(233)});
    EXPECT_EQ(unit_of(i), 1u);
    EXPECT_EQ(utf8_of(whole(i)), "\u00E9ab");
}

TEST_F(ModifyTest, Insert) {
    Cell r = act(Action::insert, {text("abc"), tag("b")});
    EXPECT_EQ(utf8_of(whole(r)), "<b>abc");
    EXPECT_EQ(r.w1, 3u);
    Cell s = text("abc");
    s.w1 = 1;
    r = act(Action::insert, {s, text("XY")}, {off, off, Ref::with(I(2))});
    EXPECT_EQ(utf8_of(whole(r)), "aXYXYbc");
    EXPECT_EQ(r.w1, 5u);
    // A formed value rotated into place, and a wide one widening the target.
    s.w1 = 1;
    r = act(Action::insert, {s, K({I(7), text("\u263A")})});
    EXPECT_EQ(utf8_of(whole(r)), "a7\u263AXYXYbc");
    // At the tail the index becomes the new tail.
    Cell t = text("ab");
    t.w1 = 2;
    r = act(Action::insert, {t, C('c')});
    EXPECT_EQ(r.w1, 3u);
    EXPECT_EQ(utf8_of(whole(r)), "abc");
}

TEST_F(ModifyTest, Change) {
    Cell r = act(Action::change, {text("abcde"), text("XY")});
    EXPECT_EQ(utf8_of(whole(r)), "XYcde");
    EXPECT_EQ(r.w1, 2u);
    r = act(Action::change, {text("abcde"), text("XY")}, {Ref::with(I(1))});
    EXPECT_EQ(utf8_of(whole(r)), "XYbcde");
    r = act(Action::change, {text("abcde"), text("XY")}, {Ref::with(I(4))});
    EXPECT_EQ(utf8_of(whole(r)), "XYe");
    r = act(Action::change, {text("ab"), text("XYZ")});
    EXPECT_EQ(utf8_of(whole(r)), "XYZ");
    EXPECT_EQ(r.w1, 3u);
    r = act(Action::change, {text("abc"), I(12345)}, {Ref::with(I(1))});
    EXPECT_EQ(utf8_of(whole(r)), "12345bc");
    Cell t = text("ab");
    t.w1 = 2;
    r = act(Action::change, {t, C(0x263A)});
    EXPECT_EQ(utf8_of(whole(r)), "ab\u263A");
}

// change holds to a model of the text as code points: targets of every
// width, values from another buffer of every width, characters, formed
// values and a text of the target itself, at every position, with and
// without /part and /dup.
TEST_F(ModifyTest, ChangeMatchesAModelOfTheText) {
    auto utf8 = [](std::u32string_view chars) {
        std::string out;
        for (char32_t c : chars) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
            } else if (c < 0x10000) {
                out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                        static_cast<char>(0x80 | (c & 0x3F))};
            } else {
                out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                        static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
            }
        }
        return out;
    };
    const std::u32string targets[] = {U"abcdefgh", U"ab\u00E9cd\u00E9fg", U"a\u263Acdef\u263Agh", U"a\U0001F600cdefg"};
    struct Value {
        std::u32string chars;  // what the value puts in; empty for the target's own text
        enum class Kind { text, character, integer, tag, self } kind;
    };
    const Value values[] = {
        {U"XY", Value::Kind::text},          {U"\u263A\u263A\u263A", Value::Kind::text},
        {U"\U0001F600", Value::Kind::text}, {U"", Value::Kind::text},
        {U"\u00E9", Value::Kind::text},      {U"Z", Value::Kind::character},
        {U"\u263A", Value::Kind::character}, {U"12345", Value::Kind::integer},
        {U"<t>", Value::Kind::tag},          {U"", Value::Kind::self},
    };
    const int32_t parts[] = {-1, 0, 1, 3, 100};  // -1: no /part
    const int32_t dups[] = {-1, 0, 2, 3};        // -1: no /dup
    for (const std::u32string& target : targets) {
        for (const Value& value : values) {
            for (uint32_t at = 0; at <= target.size(); at++) {
                for (int32_t part : parts) {
                    for (int32_t dup : dups) {
                        Cell s = text(utf8(target));
                        s.w1 = at;
                        Cell v;
                        std::u32string inserted = value.chars;
                        switch (value.kind) {
                            case Value::Kind::text: v = text(utf8(value.chars)); break;
                            case Value::Kind::character: v = C(value.chars[0]); break;
                            case Value::Kind::integer: v = I(12345); break;
                            case Value::Kind::tag: v = tag("t"); break;
                            case Value::Kind::self:
                                v = Cell{s.header, 2, s.w2, 0};
                                inserted = target.substr(2);
                                break;
                        }
                        const uint32_t count = dup < 0 ? 1 : static_cast<uint32_t>(dup);
                        std::u32string run;
                        for (uint32_t k = 0; k < count; k++) run += inserted;
                        const uint32_t left = static_cast<uint32_t>(target.size()) - at;
                        const uint32_t replaced = part >= 0 ? std::min<uint32_t>(static_cast<uint32_t>(part), left)
                                                            : std::min<uint32_t>(static_cast<uint32_t>(run.size()), left);
                        const std::u32string expected = target.substr(0, at) + run + target.substr(at + replaced);
                        const Cell r = act(Action::change, {s, v},
                                           {part >= 0 ? Ref::with(I(part)) : off, off, dup >= 0 ? Ref::with(I(dup)) : off});
                        SCOPED_TRACE(utf8(target) + " at " + std::to_string(at) + " with " + utf8(inserted) + " part " +
                                     std::to_string(part) + " dup " + std::to_string(dup));
                        ASSERT_EQ(utf8_of(whole(r)), utf8(expected));
                        ASSERT_EQ(r.w1, std::min<uint32_t>(at + static_cast<uint32_t>(run.size()),
                                                           static_cast<uint32_t>(expected.size())));
                        char32_t widest = 0;
                        for (char32_t c : expected) widest = std::max(widest, c);
                        ASSERT_GE(unit_of(r), widest > 0xFFFF ? 4u : widest > 0xFF ? 2u : 1u);
                    }
                }
            }
        }
    }
}

TEST_F(ModifyTest, SwapAndTake) {
    Cell a = text("ab"), b = text("cd");
    act(Action::swap, {a, b});
    EXPECT_EQ(utf8_of(a), "cb");
    EXPECT_EQ(utf8_of(b), "ad");
    EXPECT_EQ(error_of([&] { act(Action::swap, {a, I(1)}); }), "script/invalid-arg");

    Cell s = text("hello");
    Cell c = act(Action::take, {s});
    EXPECT_EQ(type_of(c), TypeId::char_);
    EXPECT_EQ(c.w2, U'h');
    c = act(Action::take, {s}, {off, off, Ref::on()});
    EXPECT_EQ(c.w2, U'o');
    EXPECT_EQ(utf8_of(act(Action::take, {s}, {Ref::with(I(2))})), "el");
    EXPECT_EQ(utf8_of(s), "l");
    EXPECT_EQ(type_of(act(Action::take, {text("")})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::take, {B({7, 8})})), TypeId::integer);
}

// trim's refinements: head tail auto lines all with.
TEST_F(ModifyTest, Trim) {
    struct Case {
        const char* in;
        std::initializer_list<Ref> refs;
        const char* out;
    };
    const Case cases[] = {
        {"  ab  \n  ", {}, "ab\n"},
        {"  ab  \n  ", {off, Ref::on()}, "  ab"},
        {"  ab  \n  ", {Ref::on()}, "ab  \n  "},
        {"  ab  ", {}, "ab"},
        {" a  \n  b \n c ", {}, "a\nb\nc"},
        {" a \n b ", {off, off, off, Ref::on()}, "a b"},
        {" a b\tc\n", {off, off, off, off, Ref::on()}, "abc"},
        {"a-b-c", {off, off, off, off, off, Ref::with(C('-'))}, "abc"},
        {"a-b_c", {off, off, off, off, off, Ref::with(text("_-"))}, "abc"},
        {"\u3000\u00A0x\u2003", {}, "x"},
        {"a\u263Ab\u00E9c\U0001F600d", {off, off, off, off, off, Ref::with(text("\U0001F600\u263A\u00E9xyz"))}, "abcd"},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8_of(act(Action::trim, {text(c.in)}, c.refs)), c.out) << c.in;
    EXPECT_EQ(error_of([&] { act(Action::trim, {text("a")}, {off, off, Ref::on()}); }), "internal/not-done");
}

// sort's refinements: case skip compare part all reverse stable.
TEST_F(ModifyTest, Sort) {
    EXPECT_EQ(utf8_of(act(Action::sort, {text("bCa")})), "abC");
    EXPECT_EQ(utf8_of(act(Action::sort, {text("bCa")}, {Ref::on()})), "Cab");
    EXPECT_EQ(utf8_of(act(Action::sort, {text("bCa")}, {off, off, off, off, off, Ref::on()})), "Cba");
    EXPECT_EQ(utf8_of(act(Action::sort, {text("\u00E9\u263A\u00C9a")})), "a\u00E9\u00C9\u263A");
    // Records of two characters, compared on their second.
    EXPECT_EQ(utf8_of(act(Action::sort, {text("a3b1c2")}, {off, Ref::with(I(2)), Ref::with(I(2))})), "b1c2a3");
    EXPECT_EQ(utf8_of(act(Action::sort, {text("dcba")}, {off, off, off, Ref::with(I(2))})), "cdba");
    EXPECT_EQ(error_of([&] { act(Action::sort, {text("abc")}, {off, Ref::with(I(2))}); }),
              "script/invalid-refine-arg");
    EXPECT_EQ(error_of([&] { act(Action::sort, {text("abc")}, {off, off, off, off, Ref::on()}); }),
              "script/bad-refines");
}

TEST_F(ModifyTest, SetOperations) {
    auto run = [](string_type::SetOp op, const char* a, const char* b, bool case_sensitive = false) {
        Cell x = text(a);
        Cell y = text(b);
        string_type::set_operation(op, x, &y, case_sensitive, nullptr);
        return utf8_of(x);
    };
    EXPECT_EQ(run(string_type::SetOp::unique, "abcaB", ""), "abc");
    EXPECT_EQ(run(string_type::SetOp::unique, "abcaB", "", true), "abcB");
    EXPECT_EQ(run(string_type::SetOp::exclude, "abc", "b"), "ac");
    EXPECT_EQ(run(string_type::SetOp::intersect, "abcd", "DBx"), "bd");
    EXPECT_EQ(run(string_type::SetOp::union_, "abc", "cde"), "abcde");
    EXPECT_EQ(run(string_type::SetOp::difference, "abc", "cde"), "abde");
}

}  // namespace
}  // namespace qor::test
