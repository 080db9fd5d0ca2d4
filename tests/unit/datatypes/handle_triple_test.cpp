// handle! and triple!, which the language cannot make itself: handles come
// from the code that owns a platform object, triples from PARSE's rule
// stack. Made here with their helpers, the way those callers do.
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/triple.h"
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using HandleTripleTest = DatatypeTest;

Cell H(int32_t value, handle_type::Kind kind) {
    Cell c = unset_cell;
    return *handle_type::make_at(c, value, kind);
}

TEST_F(HandleTripleTest, HandlesFormAsEightHexDigitsAndMoldWithTheirKindName) {
    using handle_type::Kind;
    const struct {
        Cell handle;
        const char* formed;
        const char* molded_all;
    } cases[] = {
        {H(42, Kind::window), "0000002Ah", "#[handle! 0000002Ah window]"},
        {H(42, Kind::null), "0000002Ah", "#[handle! 0000002Ah]"},
        {H(-2, Kind::fd), "FFFFFFFEh", "#[handle! FFFFFFFEh fd]"},
        {H(7, Kind::rich_text), "00000007h", "#[handle! 00000007h rich-text]"},
        {H(7, static_cast<Kind>(99)), "00000007h", "#[handle! 00000007h]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(form(c.handle), c.formed);
        EXPECT_EQ(mold(c.handle, true), c.molded_all);
        EXPECT_EQ(mold(c.handle), "handle!");
    }
    // A part limit counts the nine characters.
    EXPECT_EQ(text_of(act(Action::form, {H(42, Kind::fd)}, {Ref::with(I(4))})), "0000");
}

TEST_F(HandleTripleTest, HandlesCompareByValueOnlyAndNeverEqualOtherTypes) {
    using handle_type::Kind;
    EXPECT_TRUE(actions::compare(H(5, Kind::fd), H(5, Kind::window), CompareOp::equal));
    EXPECT_TRUE(actions::compare(H(5, Kind::fd), H(5, Kind::window), CompareOp::strict_equal));
    EXPECT_TRUE(actions::compare(H(-1, Kind::fd), H(5, Kind::fd), CompareOp::lesser));
    EXPECT_FALSE(actions::compare(H(5, Kind::fd), I(5), CompareOp::equal));
    // Against another type the answer is "greater", never the cannot-compare error.
    EXPECT_FALSE(actions::compare(H(5, Kind::fd), I(9), CompareOp::lesser));
    for (Action a : {Action::add, Action::negate, Action::make, Action::even_q})
        EXPECT_EQ(error_of([&] { act(a, {H(1, Kind::fd), I(1)}); }), "script/expect-arg") << action_word(a);
}

TEST_F(HandleTripleTest, TriplesFormAsTheirConstructionAndSupportNothingElse) {
    Cell t = unset_cell;
    triple::make_at(t, 0, -1, 5);
    EXPECT_EQ(form(t), "make triple! [0 -1 5]");
    EXPECT_EQ(mold(t), "make triple! [0 -1 5]");
    triple::make_at(t, INT32_MIN, INT32_MAX, 0);
    EXPECT_EQ(mold(t), "make triple! [-2147483648 2147483647 0]");
    EXPECT_EQ(error_of([&] { act(Action::add, {t, I(1)}); }), "script/expect-arg");
    EXPECT_EQ(error_of([&] { act(Action::make, {T(TypeId::triple), I(1)}); }), "script/expect-arg");
}

}  // namespace
}  // namespace qor::test
