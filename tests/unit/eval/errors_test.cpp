// Error ids, the catalogue as values, and catching raised errors.
#include <string>

#include "runtime/datatypes/error.h"
#include "runtime/errors/catalogue.h"
#include "runtime/errors/raise.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/series_tail.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

using error::Id;
using error_type::Field;

class ErrorsTest : public EvalTest {};

std::string spelling_of_word(const Cell& w) { return std::string(symbol::spelling(w.w2)); }

TEST(ErrorIds, CodesFollowTheCatalogueOrder) {
    const struct {
        Id id;
        int code;
        std::string_view spelling;
    } cases[] = {
        {Id::break_, 0, "break"},
        {Id::while_cond, 4, "while-cond"},
        {Id::no_load, 100, "no-load"},
        {Id::bad_char, 206, "bad-char"},
        {Id::no_value, 300, "no-value"},
        {Id::expect_arg, 305, "expect-arg"},
        {Id::bad_func_def, 321, "bad-func-def"},
        {Id::protected_, 351, "protected"},
        {Id::qb_invalid_record, 393, "qb-invalid-record"},
        {Id::zero_divide, 400, "zero-divide"},
        {Id::invalid_cmd, 514, "invalid-cmd"},
        {Id::message, 800, "message"},
        {Id::bad_path, 900, "bad-path"},
        {Id::too_deep, 906, "too-deep"},
        {Id::invalid_error, 910, "invalid-error"},
        {Id::deprecated, 913, "deprecated"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error::code_of(c.id), c.code) << c.spelling;
        EXPECT_EQ(error::spelling(c.id), c.spelling);
        EXPECT_TRUE(error::is_code(c.code));
    }
    for (int code : {-1, 5, 101, 394, 600, 700, 801, 914, 1000}) EXPECT_FALSE(error::is_code(code)) << code;
}

// Every id of the table, made from its code, names the same category and id
// in the catalogue object, and forms with its category's title.
TEST_F(ErrorsTest, EveryCodeMakesItsCatalogueEntry) {
    for (const error::IdInfo& entry : error::ids) {
        Cell datatype = datatype::value(TypeId::error);
        Cell spec = I(error::code_of(entry.id));
        Cell error = *error_type::make(&datatype, &spec, TypeId::error);
        collector::RootGuard keep(error);
        EXPECT_EQ(get_int(*error_type::field(error, Field::code)), error::code_of(entry.id));
        EXPECT_EQ(spelling_of_word(*error_type::field(error, Field::type)), error::spelling(entry.category));
        EXPECT_EQ(spelling_of_word(*error_type::field(error, Field::id)), entry.spelling);
        const std::string text = form_text(error);
        const std::string head = "*** " + std::string(error::info(entry.category).title) + ": ";
        EXPECT_EQ(text.substr(0, head.size()), head) << entry.spelling;
        EXPECT_NE(text.find("\n*** Where: ???\n*** Near : "), std::string::npos) << entry.spelling;
        stack::data.top = stack::data.bottom;
    }
}

// A raised error's arguments are plain cells until the catch; the catch
// keeps them alive through collections, and word arguments given by
// spelling become words.
TEST_F(ErrorsTest, CaughtArgumentsSurviveCollection) {
    stack::mark_native(to_int(Sym::tag_body));
    Cell* const top = stack::data.top;
    stack::mark_try(to_int(Sym::tag_body));
    NodeId block = series::alloc_cells(4);
    for (int i = 1; i <= 3; i++) *series_tail::alloc_cell(block) = I(i * 11);
    try {
        error::fire(Id::invalid_refine_arg, {error::WordArg{"part"}, Cell{to_int(TypeId::block), 0, block, 0}});
        FAIL() << "no raise";
    } catch (const error::Raised& raised) {
        Cell error = *error::catch_raised(raised, top, false);
        collector::RootGuard keep(error);
        collector::collect();
        (void)series::alloc_cells(1000);
        collector::collect();
        EXPECT_EQ(stack::call_depth(), 1u);  // the try frame is gone
        EXPECT_EQ(mold_value(*error_type::field(error, Field::arg1)), "part");
        EXPECT_EQ(mold_value(*error_type::field(error, Field::arg2)), "[11 22 33]");
        EXPECT_EQ(form_text(error).substr(0, 44), "*** Script Error: invalid part argument: [11");
    }
}

// The error of a raise inside nested calls names the innermost call, and
// its stack field holds the depth at the raise.
TEST_F(ErrorsTest, WhereAndStackComeFromTheRaisePoint) {
    // The frames named <body> are the anonymous ones, whatever an earlier
    // test set.
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::mark_native(to_int(Sym::tag_body));
    Cell* const top = stack::data.top;
    stack::mark_try(to_int(Sym::tag_body));
    const Cell add_word = word::load("add");
    stack::mark_interp_native(add_word.w2, add_word.w1);
    stack::mark_eval_block(to_int(Sym::tag_body));
    try {
        error::fire(Id::zero_divide);
    } catch (const error::Raised& raised) {
        Cell error = *error::catch_raised(raised, top, false);
        EXPECT_EQ(mold_value(*error_type::field(error, Field::where)), "add");
        EXPECT_EQ(get_int(*error_type::field(error, Field::stack)), 4);
        EXPECT_EQ(stack::call_depth(), 1u);
        EXPECT_EQ(stack::data.top, top + 1);
    }
}

// The path of cause-error: an error made from catalogue words is raised as
// it is; a catch keeps its arguments and gives it where and stack.
TEST_F(ErrorsTest, ErrorFromWordsRaisesAsItIs) {
    stack::mark_native(to_int(Sym::tag_body));
    Cell* const top = stack::data.top;
    stack::mark_try(to_int(Sym::tag_body));
    const Cell type = word::load("math");
    const Cell id = word::load("overflow");
    const Cell made = *error_type::push_from_words(type, id, nullptr, nullptr, nullptr);
    try {
        error::raise_value(made);
    } catch (const error::Raised& raised) {
        EXPECT_TRUE(raised.is(Id::overflow));
        Cell error = *error::catch_raised(raised, top, false);
        EXPECT_EQ(error.w1, made.w1);  // the same error, not a copy
        EXPECT_EQ(get_int(*error_type::field(error, Field::code)), 401);
        EXPECT_EQ(type_of(*error_type::field(error, Field::stack)), TypeId::integer);
    }
    const Cell bad = word::load("no-such-category");
    EXPECT_EQ(error_of([&] { (void)error_type::push_from_words(bad, id, nullptr, nullptr, nullptr); }),
              "script/invalid-spec-field");
}

}  // namespace
}  // namespace qor::test
