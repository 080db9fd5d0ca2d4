// The natives table: the list, the routines by number, the interface blocks
// the library gives them, and the boot check that ties the two.
#include "runtime/eval/natives.h"

#include "runtime/datatypes/arg_cache.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/symbol.h"
#include "runtime/datatypes/none.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

using NativesTableTest = EvalTest;

// The list numbers the natives 1 to native_count without a gap, and the
// table holds a routine for each and nothing past them.
TEST_F(NativesTableTest, EveryListedNativeHasARoutine) {
    ASSERT_EQ(std::size(natives::listed), natives::native_count);
    for (uint32_t i = 0; i < natives::native_count; i++) {
        EXPECT_EQ(to_int(natives::listed[i].number), i + 1) << natives::listed[i].word;
        EXPECT_NE(natives::code(i + 1), nullptr) << natives::listed[i].word;
    }
    for (uint32_t n = natives::native_count + 1; n <= natives::table_size; n++) EXPECT_EQ(natives::code(n), nullptr) << n;
    EXPECT_EQ(natives::code(0), nullptr);
    EXPECT_EQ(natives::code(natives::table_size + 1), nullptr);
}

// The natives as the library defines them: every interface block reads,
// names only known types, and gives its refinement count.
class DefinedNativesTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        define_environment();
    }
    static Cell native_of(std::string_view word) { return *context::value_cell(word::load(word)); }
};

TEST_F(DefinedNativesTest, EverySpecBuildsAnArgumentCache) {
    const struct {
        Native number;
        std::string_view word;
        uint32_t arguments, refinements;
    } samples[] = {
        {Native::if_, "if", 2, 0},          {Native::do_, "do", 1, 4},
        {Native::reduce, "reduce", 1, 1},   {Native::parse, "parse", 2, 3},
        {Native::now, "now", 0, 10},        {Native::call, "call", 1, 7},
        {Native::transcode, "transcode", 1, 7}, {Native::apply, "apply", 2, 2},
    };
    for (const natives::ListedNative& n : natives::listed) {
        Cell native = native_of(n.word);
        collector::RootGuard guard(native);
        ASSERT_EQ(type_of(native), TypeId::native) << n.word;
        EXPECT_EQ(native.w1, to_int(n.number)) << n.word;
        const NodeId cache = arg_cache::of(native);
        const series::Buffer* b = series::buffer(cache);
        ASSERT_GT(b->length(), 0u) << n.word;
        EXPECT_EQ(type_of(series::buffer(cache)->cells()[b->length() - 1]), TypeId::integer) << n.word;
    }
    for (const auto& s : samples) {
        EXPECT_EQ(natives::listed[to_int(s.number) - 1].word, s.word);
        Cell native = native_of(s.word);
        collector::RootGuard guard(native);
        const NodeId cache = arg_cache::of(native);
        const series::Buffer* b = series::buffer(cache);
        uint32_t args = 0;
        while (args < b->length() && type_of(series::buffer(cache)->cells()[args]) == TypeId::typeset) args++;
        EXPECT_EQ(args, s.arguments) << s.word;
        EXPECT_EQ(series::buffer(cache)->cells()[b->length() - 1].w2, s.refinements) << s.word;
    }
}

// The boot's check finds a listed native whose word no longer holds it.
TEST_F(DefinedNativesTest, BootCheckNamesAMissingNative) {
    EXPECT_EQ(natives::first_undefined(), std::nullopt);
    define("unless", none::value);
    EXPECT_EQ(natives::first_undefined(), std::optional<std::string>("unless"));
    Cell wrong = native_of("if");  // the native! of another number
    define("unless", wrong);
    EXPECT_EQ(natives::first_undefined(), std::optional<std::string>("unless"));
}

// The last natives to be built (new-line? here) run rather than raise
// not-done.
TEST_F(NativesTableTest, LaterNativesRun) {
    stack::mark_native(1);
    stack::push(K({I(1)}));
    const int32_t refs[] = {-1};
    EXPECT_EQ(error_of([&] { natives::code(90)(false, std::span<const int32_t>(refs)); }), "");
    EXPECT_EQ(type_of(*stack::data.base), TypeId::logic);
    stack::unwind_checked();
}

}  // namespace
}  // namespace qor::test

namespace qor::test {
namespace {

// The evaluator checks a native's arguments against its interface block,
// refinement arguments included, before the routine runs.
TEST_F(DefinedNativesTest, ArgumentsAreCheckedAgainstTheSpec) {
    EXPECT_NE(run_line("reduce/into [1] 5").find("*** Script Error: reduce does not allow integer!"), std::string::npos);
    EXPECT_EQ(run_line("not 7"), "== false\n");
    EXPECT_NE(run_line("if 7 8").find("*** Script Error: if does not allow integer!"), std::string::npos);
}

}  // namespace
}  // namespace qor::test

namespace qor::test {
namespace {

TEST_F(NativesTableTest, AsPairTruncatesAndRefusesOutOfRange) {
    const struct {
        Cell x, y;
        std::string error;
        int32_t px, py;
    } cases[] = {
        {F(1.9), F(-1.9), "", 1, -1},
        {I(3), I(-4), "", 3, -4},
        {F(1e10), I(0), "script/invalid-arg", 0, 0},
        {F(std::nan("")), I(0), "script/invalid-arg", 0, 0},
    };
    for (const auto& c : cases) {
        stack::mark_native(1);
        stack::push(c.x);
        stack::push(c.y);
        EXPECT_EQ(error_of([&] { natives::code(73)(false, {}); }), c.error);
        if (c.error.empty()) {
            EXPECT_EQ(type_of(*stack::data.base), TypeId::pair);
            EXPECT_EQ(static_cast<int32_t>(stack::data.base->w2), c.px);
            EXPECT_EQ(static_cast<int32_t>(stack::data.base->w3), c.py);
        }
        stack::unwind_checked();
    }
}

}  // namespace
}  // namespace qor::test
