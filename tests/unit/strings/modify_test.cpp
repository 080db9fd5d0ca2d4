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
