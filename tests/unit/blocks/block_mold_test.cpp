// Text of blocks, parens and paths: new-line markers and indentation,
// /only, /flat, /part, form's separators, cycles, and the path types.
#include "runtime/datatypes/path.h"
#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

using MoldTest = BlocksTest;

std::string mold_with(const Cell& v, bool only, bool flat, int32_t part = -1) {
    return text_of(act(Action::mold, {v}, {only ? Ref::on() : off, off, flat ? Ref::on() : off,
                                          part >= 0 ? Ref::with(I(part)) : off}));
}

TEST_F(MoldTest, LinesBreakAtMarkersAndIndentByFour) {
    EXPECT_EQ(M(parse_block("1 a [b 2]")), "[1 a [b 2]]");
    // First value marked: each value on its own line, one level deeper.
    const Cell opened = K({NL(I(1)), NL(I(2))});
    EXPECT_EQ(M(opened), "[\n    1\n    2\n]");
    // Only later values marked: breaks at the block's own level.
    const Cell later = K({I(1), NL(I(2)), I(3)});
    EXPECT_EQ(M(later), "[1\n2 3]");
    const Cell nested = K({NL(I(1)), NL(K({NL(W("a")), NL(W("b"))}))});
    EXPECT_EQ(M(nested), "[\n    1\n    [\n        a\n        b\n    ]\n]");
    EXPECT_EQ(mold_with(opened, true, false), "1\n2");
    EXPECT_EQ(mold_with(nested, false, true), "[1 [a b]]");
}

TEST_F(MoldTest, PartStopsBeforeTheNextValue) {
    const Cell b = parse_block("100 200 300");
    EXPECT_EQ(mold_with(b, false, false, 6), "[100 2");
    EXPECT_EQ(mold_with(b, false, false, 0), "");
}

TEST_F(MoldTest, FormSeparatesWithBlanks) {
    EXPECT_EQ(form(parse_block("1 a [b 2]")), "1 a b 2");
    EXPECT_EQ(form(K({NL(I(1)), I(2)})), "1 2");
}

TEST_F(MoldTest, CyclesWriteTheirMarker) {
    Cell b = parse_block("1");
    block::append_cell(b, b);
    EXPECT_EQ(M(b), "[1 [...]]");
    EXPECT_EQ(form(b), "1 ...");
    EXPECT_EQ(cycle::depth(), 0);
    // A paren inside itself has no marker: it nests until the walk is too deep.
    Cell p = typed(parse_block("1"), TypeId::paren);
    block::append_cell(p, p);
    EXPECT_EQ(error_of([&] { M(p); }), "internal/too-deep");
    EXPECT_EQ(cycle::depth(), 0);
}

TEST_F(MoldTest, ParenTextAndItsMissingTrim) {
    const Cell p = typed(parse_block("1 2"), TypeId::paren);
    EXPECT_EQ(M(p), "(1 2)");
    EXPECT_EQ(mold_with(p, true, false), "1 2");
    EXPECT_EQ(form(p), "1 2");
    EXPECT_EQ(M(K({I(0), p})), "[0 (1 2)]");
    EXPECT_EQ(error_of([&] { act(Action::trim, {p}, {off, off, off, off, off, off}); }), "script/expect-arg");
}

TEST_F(MoldTest, PathTypes) {
    const Cell elements = K({W("a"), W("b"), I(2)});
    struct Case { TypeId type; const char* text; };
    const Case cases[] = {
        {TypeId::path, "a/b/2"}, {TypeId::set_path, "a/b/2:"},
        {TypeId::get_path, ":a/b/2"}, {TypeId::lit_path, "'a/b/2"},
    };
    for (const Case& c : cases) EXPECT_EQ(M(typed(elements, c.type)), c.text);
    EXPECT_EQ(M(typed(at(elements, 1), TypeId::path)), "b/2");
    EXPECT_EQ(form(typed(elements, TypeId::path)), "a/b/2");
    const Cell made = act(Action::make, {T(TypeId::path), I(0)});
    EXPECT_EQ(type_of(made), TypeId::path);
    EXPECT_EQ(M(made), "");
    EXPECT_GE(series::buffer(made.w2)->capacity_units(), 1u);
    for (Action a : {Action::sort, Action::random})
        EXPECT_EQ(error_of([&] { act(a, {typed(elements, TypeId::set_path)}); }), "script/expect-arg");
    const Cell copied = act(Action::copy, {typed(elements, TypeId::get_path)});
    EXPECT_EQ(M(copied), ":a/b/2");
}

}  // namespace qor::test
