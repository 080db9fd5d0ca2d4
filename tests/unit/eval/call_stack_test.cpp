// Frames, unwinding and the non-local exits of the call stack.
#include "runtime/memory/call_stack.h"

#include "runtime/eval/nonlocal_exits.h"
#include "runtime/memory/cycle_stack.h"
#include "runtime/words/call_listing.h"
#include "runtime/words/word.h"
#include "tests/unit/eval/eval_fixture.h"

namespace qor::test {
namespace {

using stack::FrameKind;

class CallStackTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        stack::init_calls({1, 2});
        ctx40 = context::make(1, true, false, nullptr, context::Kind::function);
        ctx44 = context::make(1, true, false, nullptr, context::Kind::function);
    }
    NodeId ctx40 = 0, ctx44 = 0;
    static uint32_t values_of(NodeId ctx) { return context::header(ctx)->w2; }
    static void set_values(NodeId ctx, uint32_t v) { context::header(ctx)->w2 = v; }

    // A native call frame with its arguments pushed.
    static void call_native(uint32_t symbol, std::initializer_list<Cell> args) {
        stack::mark_native(symbol);
        for (const Cell& c : args) stack::push(c);
    }
};

TEST_F(CallStackTest, FrameKeepsFullSymbolKindAndRestoresBase) {
    stack::push(I(10));
    Cell* outer = stack::data.base;
    Cell* base = stack::mark_eval_block(70'001, 9);
    EXPECT_EQ(base, stack::data.top);
    const stack::Frame& f = *stack::top_frame();
    EXPECT_EQ(f.symbol, 70'001u);  // above 16 bits, and the kind is intact
    EXPECT_EQ(f.kind(), FrameKind::eval_block);
    EXPECT_TRUE(f.has(stack::frame_flag::interpreted));
    EXPECT_EQ(f.word_context, 9u);
    stack::push(I(5));
    stack::push(I(6));
    stack::unwind_set_result();
    EXPECT_EQ(stack::data.base, outer);
    EXPECT_EQ(get_int(*outer), 5);
    EXPECT_EQ(stack::call_depth(), 0u);
}

TEST_F(CallStackTest, CallFrameRestoresTheFunctionContextOnPop) {
    set_values(ctx40, 111);
    stack::mark_interp_function(7, 0, ctx40);
    set_values(ctx40, stack::index_of(stack::data.base) + 1);  // the call's values on the stack
    stack::push(I(1));
    stack::unwind_last();
    EXPECT_EQ(values_of(ctx40), 111u);
    // Compiled body: the values become the call's arguments.
    stack::mark_call(7, 0, ctx40);
    stack::push(I(3));
    stack::mark_function(7, 0, ctx40);
    EXPECT_EQ(values_of(ctx40), stack::index_of(stack::data.base));  // index + 1 of the call's base
    EXPECT_TRUE(stack::top_frame()->has(stack::frame_flag::body));
    stack::unwind();
    stack::unwind_last_reset();
    EXPECT_EQ(values_of(ctx40), 111u);
    EXPECT_EQ(stack::data.top, stack::data.bottom);
}

TEST_F(CallStackTest, TwelveThousandFramesThenStackOverflowAndTheStackStillWorks) {
    cycle::push(3);
    size_t frames = 0;
    const std::string err = error_of([&] {
        for (;;) {
            stack::mark_native(5);
            stack::push(I(1));
            frames++;
        }
    });
    EXPECT_EQ(err, "internal/stack-overflow");
    EXPECT_EQ(frames, stack::call_stack_frames);
    EXPECT_EQ(cycle::depth(), 0);
    EXPECT_GE(stack::data.top, stack::data.base);
    // Nothing is lost: unwinding everything gets back to an empty stack.
    while (stack::call_depth() > 0) stack::unwind_checked();
    EXPECT_EQ(stack::data.top, stack::data.bottom);
    stack::mark_native(5);
    stack::unwind();
}

// Recursion that would run the native stack out ends in the same error.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
[[gnu::noinline]] int deep(int n) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(n);
    stack::check_native_depth();
    return deep(n + 1) + pad[0];
}
#pragma GCC diagnostic pop

TEST_F(CallStackTest, NativeStackDepthIsChecked) {
    EXPECT_EQ(error_of([] { deep(0); }), "internal/stack-overflow");
}

TEST_F(CallStackTest, BreakLandsInTheLoopFrameWithItsValue) {
    stack::push(I(0));             // the loop native's result slot
    stack::mark_native(20);        // loop native
    stack::push(I(3));
    stack::mark_loop(20);
    Cell* loop_base = stack::data.base;
    stack::mark_eval_block(1);     // the body
    stack::mark_interp_function(30, 0, ctx40);
    set_values(ctx40, 999);
    stack::push(I(8));
    call_native(21, {I(42)});      // break/return 42
    stack::throw_break(true, false);
    EXPECT_EQ(stack::pending, stack::exit_break);
    EXPECT_EQ(stack::top_frame()->kind(), FrameKind::loop);
    EXPECT_EQ(stack::data.base, loop_base);
    EXPECT_EQ(get_int(*stack::data.base), 42);
    EXPECT_EQ(values_of(ctx40), 0u);   // the passed call frame was restored
    EXPECT_EQ(stack::take_exit(), stack::exit_break);
    EXPECT_FALSE(stack::exiting());

    // continue carries unset.
    call_native(22, {});
    stack::throw_break(false, true);
    EXPECT_EQ(stack::pending, stack::exit_continue);
    EXPECT_EQ(type_of(*stack::data.base), TypeId::unset);
}

TEST_F(CallStackTest, ExitsThatFindNoTargetRaiseAndPutEverythingBack) {
    struct Case {
        std::function<void()> start;
        std::string error;
    };
    const Case cases[] = {
        {[] { stack::throw_break(false, false); }, "throw/break"},
        {[] { stack::throw_break(false, true); }, "throw/continue"},
        {[] { stack::throw_exit(true); }, "throw/return"},
        {[] { stack::throw_throw(); }, "throw/throw"},
    };
    for (const Case& c : cases) {
        for (bool across_try_all : {false, true}) {
            stack::init_calls({1, 2});
            stack::reset();
            stack::mark_loop(3);
            stack::set_body_flag(true);
            stack::mark_catch(4);
            if (across_try_all) stack::mark_try_all(5);
            if (!across_try_all) stack::init_calls({1, 2});  // nothing at all to land in
            stack::mark_eval_block(1);
            call_native(6, {I(1)});
            const Cell* base = stack::data.base;
            const Cell* top = stack::data.top;
            const size_t depth = stack::call_depth();
            EXPECT_EQ(error_of(c.start), c.error);
            EXPECT_EQ(stack::data.base, base);
            EXPECT_EQ(stack::data.top, top);
            EXPECT_EQ(stack::call_depth(), depth);
            EXPECT_FALSE(stack::exiting());
        }
    }
}

TEST_F(CallStackTest, ReturnAndExitLandInTheFunctionBody) {
    stack::push(I(0));
    stack::mark_interp_function(30, 0, 0);
    stack::set_body_flag(true);
    Cell* body_base = stack::data.base;
    stack::push(I(1));
    stack::mark_loop(8);           // a loop inside the function is passed
    call_native(9, {I(77)});
    stack::throw_exit(true);
    EXPECT_EQ(stack::take_exit(), stack::exit_return);
    EXPECT_EQ(stack::data.base, body_base);
    EXPECT_EQ(get_int(*body_base), 77);
    call_native(10, {});
    stack::throw_exit(false);
    EXPECT_EQ(stack::take_exit(), stack::exit_exit);
    EXPECT_EQ(type_of(*body_base), TypeId::unset);
}

TEST_F(CallStackTest, ThrowPushesValueAndNameAtTheCatchAndRecordsWhereItCameFrom) {
    stack::mark_catch(50);
    Cell* catch_base = stack::data.base;
    stack::mark_interp_function(60, 7, 0);  // the function that throws
    stack::mark_eval_block(1);
    call_native(61, {I(5), I(6)});           // throw/name 5 6
    stack::throw_throw();
    EXPECT_EQ(stack::take_exit(), stack::exit_throw);
    EXPECT_EQ(stack::data.base, catch_base);
    ASSERT_EQ(stack::data.top - stack::data.base, 2);
    EXPECT_EQ(get_int(catch_base[0]), 5);
    EXPECT_EQ(get_int(catch_base[1]), 6);
    // The innermost named frame at the throw was the function.
    EXPECT_EQ(stack::get_call().symbol, 60u);
    EXPECT_EQ(stack::throw_position, -1);
    // Without a recorded position the top frame names the call.
    EXPECT_EQ(stack::get_call().symbol, 50u);
}

TEST_F(CallStackTest, CaughtThrowForgetsItsPosition) {
    stack::mark_native(70);
    stack::mark_catch(71);
    stack::mark_interp_function(72, 0, 0);
    call_native(73, {I(1)});
    stack::throw_throw();
    stack::take_exit();
    stack::clear_throw_position();
    stack::unwind_set_result();  // the catch frame closes
    EXPECT_EQ(stack::get_call().symbol, 70u);
}

TEST_F(CallStackTest, UnwindToKeepsTheFoundFrameForTheCaller) {
    for (bool keep : {false, true}) {
        stack::init_calls({1, 2});
        stack::reset();
        stack::mark_native(2);
        stack::push(I(0));
        Cell* outer = stack::data.base;
        stack::mark_loop(3);
        Cell* own = stack::data.base;
        stack::push(I(1));
        set_values(ctx44, 5);
        stack::mark_interp_function(4, 0, ctx44);
        set_values(ctx44, 6);
        stack::mark_native(5);
        stack::push(I(2));
        stack::Frame* found = stack::unwind_to_loop(keep);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found, stack::top_frame());
        EXPECT_EQ(values_of(ctx44), 5u);
        EXPECT_EQ(stack::data.base, keep ? own : outer);
        EXPECT_EQ(stack::data.top, stack::data.base + 1);
    }
}

TEST_F(CallStackTest, ErrorUnwindsThroughTheTryFrame) {
    stack::push(I(0));
    stack::mark_native(80);  // try native
    stack::push(I(1));
    Cell* try_native_base = stack::data.base;
    stack::mark_try(80);
    stack::mark_interp_function(81, 0, 0);
    stack::mark_eval_block(1);
    call_native(82, {I(9)});
    const Cell* top = stack::data.top;
    const stack::ErrorUnwind u = stack::unwind_for_error();
    EXPECT_TRUE(u.caught);
    EXPECT_EQ(u.where.symbol, 82u);
    EXPECT_EQ(u.depth, 5u);
    EXPECT_EQ(stack::call_depth(), 1u);
    EXPECT_EQ(stack::data.base, try_native_base);
    EXPECT_EQ(stack::data.top, top);
    // No try frame at all: nothing catches.
    stack::unwind_checked();
    stack::mark_native(83);
    EXPECT_FALSE(stack::unwind_for_error().caught);
}

TEST_F(CallStackTest, NamedCallsSkipAnonymousFrames) {
    stack::mark_native(100);
    stack::mark_interp_function(101, 0, 0);
    stack::mark_eval_block(1);
    stack::mark_interp_function(2, 0, 0);
    EXPECT_EQ(stack::get_call().symbol, 101u);  // past the anonymous call and the block
    stack::mark_native(102);
    EXPECT_EQ(stack::get_call().symbol, 102u);
    EXPECT_TRUE(stack::has_flagged_frame());
    EXPECT_FALSE(stack::has_flagged_frame(nullptr, true));
}

}  // namespace
}  // namespace qor::test

namespace qor::test {
namespace {

TEST_F(CallStackTest, CollectCallsListsNamedFramesOnly) {
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    const Cell f = word::load("f");
    const Cell g = word::load("g");
    const Cell seven{to_int(TypeId::integer), 0, 7, 0};
    Cell fw = f;
    context::set(fw, Cell{to_int(TypeId::function), 0, 0, 0});
    Cell gw = g;
    context::set(gw, seven);
    stack::mark_native(f.w2, f.w1);  // outermost: not dumped
    stack::mark_interp_function(g.w2, g.w1, 0);
    stack::mark_eval_block(to_int(Sym::tag_body));
    stack::mark_interp_function(f.w2, f.w1, 0);
    // Level 1 lists only calls of functions; a higher level every named call.
    const NodeId level1 = series::alloc_cells(8);
    stack::collect_calls(1, level1, stack::call_depth());
    EXPECT_EQ(series::buffer(level1)->length(), 2u);  // f twice, g holds no function
    const NodeId level2 = series::alloc_cells(8);
    stack::collect_calls(2, level2, stack::call_depth());
    EXPECT_EQ(series::buffer(level2)->length(), 3u);
}

}  // namespace
}  // namespace qor::test

namespace qor::test {
namespace {

// Compiled code's return: the result moves into the call frame's slot,
// which becomes the argument base with nothing above it.
TEST_F(CallStackTest, UnwindToResultMovesTheResultIntoTheCallFrame) {
    stack::mark_native(9);
    stack::push(I(0));
    set_values(ctx40, 77);
    stack::mark_call(10, 0, ctx40);
    Cell* call_base = stack::data.base;
    stack::push(I(1));
    stack::mark_function(10, 0, ctx40);
    stack::mark_loop(11);
    stack::push(I(42));  // the return value in the innermost result slot
    stack::Frame* found = stack::unwind_to_result(FrameKind::call);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->kind(), FrameKind::call);
    EXPECT_EQ(values_of(ctx40), 77u);
    EXPECT_EQ(stack::data.base, call_base);
    EXPECT_EQ(stack::data.top, call_base);
    EXPECT_EQ(get_int(*call_base), 42);
}

}  // namespace
}  // namespace qor::test
