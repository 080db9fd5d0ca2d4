// The natives table: numbers, specs and the not-yet-implemented stubs.
#include "runtime/eval/natives.h"

#include "runtime/datatypes/arg_cache.h"
#include "runtime/eval/call_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/symbol.h"
#include "tests/unit/eval/eval_fixture.h"

namespace qor::test {
namespace {

using NativesTableTest = EvalTest;

TEST_F(NativesTableTest, FillCounterAndEmptySlots) {
    EXPECT_EQ(natives::fill_counter(), 108u);
    for (uint32_t n = 1; n <= natives::native_count; n++) EXPECT_NE(natives::code(n), nullptr) << n;
    for (uint32_t n = 108; n <= natives::table_size; n++) EXPECT_EQ(natives::code(n), nullptr) << n;
    EXPECT_EQ(natives::code(0), nullptr);
    EXPECT_EQ(natives::code(121), nullptr);
}

// Every interface block reads, names only known types, and gives its refinement count.
TEST_F(NativesTableTest, EverySpecBuildsAnArgumentCache) {
    const struct {
        uint32_t number;
        std::string_view word;
        uint32_t arguments, refinements;
    } samples[] = {
        {1, "if", 2, 0},     {20, "do", 1, 4},      {35, "reduce", 1, 1}, {40, "parse", 2, 3},
        {96, "now", 0, 10},  {99, "call", 1, 7},    {106, "transcode", 1, 7}, {107, "apply", 2, 2},
    };
    for (uint32_t n = 1; n <= natives::native_count; n++) {
        Cell native = natives::make(n);
        collector::RootGuard guard(native);
        const NodeId cache = arg_cache::of(native);
        const series::Buffer* b = series::buffer(cache);
        ASSERT_GT(b->length(), 0u) << natives::word_of(n);
        EXPECT_EQ(type_of(series::buffer(cache)->cells()[b->length() - 1]), TypeId::integer) << natives::word_of(n);
    }
    for (const auto& s : samples) {
        EXPECT_EQ(natives::word_of(s.number), s.word);
        Cell native = natives::make(s.number);
        collector::RootGuard guard(native);
        const NodeId cache = arg_cache::of(native);
        const series::Buffer* b = series::buffer(cache);
        uint32_t args = 0;
        while (args < b->length() && type_of(series::buffer(cache)->cells()[args]) == TypeId::typeset) args++;
        EXPECT_EQ(args, s.arguments) << s.word;
        EXPECT_EQ(series::buffer(cache)->cells()[b->length() - 1].w2, s.refinements) << s.word;
    }
}

TEST_F(NativesTableTest, LaterNativesRaiseNotDone) {
    stack::mark_native(1);
    stack::push(Cell{to_int(TypeId::integer), 0, 1, 0});
    const int32_t refs[] = {-1};
    EXPECT_EQ(error_of([&] { natives::code(102)(false, std::span<const int32_t>(refs)); }), "internal/not-done");  // browse
}

}  // namespace
}  // namespace qor::test

namespace qor::test {
namespace {

// What compiled code does: arguments in a frame, the check flag set.
TEST_F(NativesTableTest, CheckFlagTestsArgumentsAgainstTheSpec) {
    const Cell block = K({I(1)});
    stack::mark_native(1);
    stack::push(block);
    stack::push(I(5));  // reduce/into's out: not an any-block!
    const int32_t into[] = {1};
    EXPECT_EQ(error_of([&] { natives::call(35, true, std::span<const int32_t>(into)); }), "script/expect-arg");
    stack::unwind_checked();
    // Unchecked refinement arguments are not looked at; a good call answers.
    stack::mark_native(1);
    stack::push(I(7));
    const int32_t none[] = {-1};
    natives::call(33, true, std::span<const int32_t>(none));  // not 7
    EXPECT_EQ(type_of(*stack::data.base), TypeId::logic);
    stack::unwind_checked();
    stack::mark_native(1);
    stack::push(I(7));
    stack::push(I(8));
    EXPECT_EQ(error_of([&] { natives::call(1, true, {}); }), "script/expect-arg");  // if 7 8: then-blk not a block
    stack::unwind_checked();
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
