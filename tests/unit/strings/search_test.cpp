// find and select on strings.
#include "tests/unit/strings/strings_fixture.h"

namespace qor::test {
namespace {

using SearchTest = StringsTest;

// find's refinements in order: part only case same any with skip last
// reverse tail match.
struct FindRefs {
    std::optional<Cell> part = std::nullopt, skip = std::nullopt;
    bool case_ = false, any = false, last = false, reverse = false, tail = false, match = false;
};

Cell find(const Cell& series, const Cell& value, const FindRefs& r = {}) {
    auto v = [](const std::optional<Cell>& c) { return c ? Ref::with(*c) : off; };
    auto f = [](bool b) { return b ? Ref::on() : off; };
    return act(Action::find, {series, value},
               {v(r.part), off, f(r.case_), off, f(r.any), off, v(r.skip), f(r.last), f(r.reverse), f(r.tail),
                f(r.match)});
}

// The 1-based position a find answered, 0 for none.
int position(const Cell& r) { return type_of(r) == TypeId::none ? 0 : static_cast<int>(r.w1) + 1; }

TEST_F(SearchTest, FindCases) {
    struct Case {
        const char* series;
        uint32_t index;
        Cell value;
        FindRefs refs;
        int expected;
    };
    const Case cases[] = {
        {"abc", 0, text("B"), {}, 2},
        {"abc", 0, text("B"), {.case_ = true}, 0},
        {"abc", 0, text("b"), {.case_ = true}, 2},
        {"abc", 0, text("B"), {.tail = true}, 3},
        {"abc", 0, C('C'), {}, 3},
        {"abcabc", 0, text("bc"), {.last = true}, 5},
        {"abcabc", 0, text("bc"), {}, 2},
        {"abcabc", 0, text("BC"), {.last = true, .tail = true}, 7},
        {"abcabc", 0, text("bc"), {.reverse = true}, 0},  // at the head
        {"abcabc", 4, text("bc"), {.reverse = true}, 2},
        {"abcabc", 6, text("c"), {.reverse = true}, 6},
        {"abcabc", 0, text("ca"), {.part = I(3)}, 0},
        {"abcabc", 0, text("ca"), {.part = I(4)}, 3},
        {"abcabc", 0, text("ab"), {.match = true}, 1},
        {"abcabc", 0, text("bc"), {.match = true}, 0},
        {"aXbXcX", 0, C('x'), {.skip = I(2)}, 0},
        {"XaXbXc", 0, C('b'), {.skip = I(2)}, 0},
        {"XaXbXc", 0, C('X'), {.skip = I(2)}, 1},
        {"a\u00E9b\u263A", 0, text("\u00C9B"), {}, 2},  // wide text folds through the case tables
        {"a\u00E9b\u263A", 0, C(0x263A), {}, 4},
        {"abc", 3, C('c'), {}, 0},  // at the tail
        {"abc", 0, text(""), {}, 0},  // an empty pattern finds nothing
        {"a1b", 0, I(1), {}, 2},  // other values are formed
    };
    for (const Case& c : cases) {
        Cell s = text(c.series);
        s.w1 = c.index;
        EXPECT_EQ(position(find(s, c.value, c.refs)), c.expected) << c.series << " at " << c.index;
    }
}

TEST_F(SearchTest, FindErrors) {
    EXPECT_EQ(error_of([&] { find(text("abc"), C('a'), {.skip = I(0)}); }), "script/out-of-range");
    EXPECT_EQ(error_of([&] { find(text("abc"), C('a'), {.any = true}); }), "internal/not-done");
    EXPECT_EQ(error_of([&] { find(text("abc"), B({1})); }), "script/invalid-arg");
    EXPECT_EQ(error_of([&] { find(text("abc"), C('a'), {.part = text("x")}); }), "script/invalid-refine-arg");
}

// A 10 MB search is a memchr run, and finds the one match at the end.
TEST_F(SearchTest, FindInALongString) {
    std::string big(10'000'000, 'a');
    big.replace(big.size() - 3, 3, "xyz");
    Cell s = text(big);
    EXPECT_EQ(position(find(s, text("xyz"), {.case_ = true})), 9'999'998);
    EXPECT_EQ(position(find(s, text("XYZ"))), 9'999'998);
}

TEST_F(SearchTest, Select) {
    EXPECT_EQ(act(Action::select, {text("a=b"), C('=')}).w2, U'b');
    EXPECT_EQ(type_of(act(Action::select, {text("a=b"), C('=')})), TypeId::char_);
    EXPECT_EQ(act(Action::select, {text("key:value"), text("KEY:")}).w2, U'v');
    EXPECT_EQ(type_of(act(Action::select, {text("a="), C('=')})), TypeId::none);
    EXPECT_EQ(type_of(act(Action::select, {B({1, 2, 3}), I(2)})), TypeId::integer);
    EXPECT_EQ(act(Action::select, {B({1, 2, 3}), I(2)}).w2, 3u);
}

}  // namespace
}  // namespace qor::test
