// The data stack's overflow and the cycle stack.
#include "runtime/memory/cycle_stack.h"
#include "runtime/core/fill_pattern.h"
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {
namespace {

using StackTest = DatatypeTest;

TEST_F(StackTest, PushingPastTheLimitRaisesStackOverflowAndBacksOff) {
    cycle::push(7);
    size_t pushed = 0;
    const std::string err = error_of([&] {
        for (;;) {
            stack::push(I(static_cast<int32_t>(pushed)));
            pushed++;
        }
    });
    EXPECT_EQ(err, "internal/stack-overflow");
    EXPECT_EQ(pushed, stack::data_stack_cells - 1);
    // The top ends four cells below where the failing push started.
    EXPECT_EQ(stack::depth(), stack::data_stack_cells - 1 - 4);
    EXPECT_EQ(cycle::depth(), 0);
    EXPECT_EQ(get_int(*stack::top()), int32_t(stack::data_stack_cells - 6));
    // Room again: the error can be formed.
    stack::push(I(1));
    stack::pop(stack::data_stack_cells);
    EXPECT_EQ(stack::depth(), 0u);
    EXPECT_EQ(stack::top(), stack::data.bottom);
}

TEST_F(StackTest, FrameHelpers) {
    stack::push(I(1));
    stack::data.base = stack::data.top;
    stack::push(I(2));
    stack::push(I(3));
    EXPECT_EQ(get_int(*stack::result()), 2);
    EXPECT_EQ(get_int(*stack::arg(1)), 3);
    EXPECT_EQ(stack::top_type(), TypeId::integer);
    stack::set_result(F(1.5));
    stack::keep();
    EXPECT_EQ(stack::top(), stack::data.base);
    EXPECT_EQ(type_of(*stack::top()), TypeId::float_);
    stack::reset();
    EXPECT_EQ(stack::data.top, stack::data.base);
}

TEST_F(StackTest, CycleStackHolds999AndRefusesTheThousandth) {
    for (uint32_t i = 1; i <= 999; i++) cycle::push(i);
    EXPECT_EQ(cycle::depth(), 999);
    EXPECT_TRUE(cycle::find(500));
    EXPECT_FALSE(cycle::find(1000));
    EXPECT_EQ(error_of([] { cycle::push(1000); }), "internal/too-deep");
    // The entries stay for the frame that catches the error to take back.
    EXPECT_EQ(cycle::depth(), 999);
    EXPECT_FALSE(cycle::find(1000));
    cycle::reset();
    cycle::push(1);
    cycle::push(2);
    cycle::pop();
    EXPECT_FALSE(cycle::find(2));
    cycle::pop();
    EXPECT_EQ(cycle::depth(), 0);
    cycle::pop();  // nothing on an empty stack
    EXPECT_EQ(cycle::depth(), 0);
}

TEST_F(StackTest, BlockTailGrowsAndKeepsEarlierCells) {
    Cell block = K({});
    for (int32_t i = 0; i < 1000; i++) integer::make_in(block, i);
    logic::make_in(block, true);
    none::make_in(block);
    float_::make_in(block, 2.5);
    datatype::make_in(block, TypeId::float_);
    char_::make_in(block, U'x');
    ASSERT_EQ(series_tail::cell_count(block), 1005u);
    for (uint32_t i = 0; i < 1000; i++) ASSERT_EQ(get_int(*series_tail::cell_at(block, i)), int32_t(i));
    EXPECT_TRUE(same_value(*series_tail::cell_at(block, 1000), L(true)));
    EXPECT_EQ(type_of(*series_tail::cell_at(block, 1001)), TypeId::none);
    EXPECT_EQ(get_double(*series_tail::cell_at(block, 1002)), 2.5);
    EXPECT_EQ(datatype::named(*series_tail::cell_at(block, 1003)), TypeId::float_);
    EXPECT_EQ(series_tail::cell_at(block, 1004)->w2, uint32_t(U'x'));
    Cell moved = block;
    moved.w1 = 1004;
    EXPECT_EQ(series_tail::cell_count(moved), 1u);
    moved.w1 = 2000;
    EXPECT_EQ(series_tail::cell_count(moved), 0u);
}

TEST_F(StackTest, TextBufferWidensAndCuts) {
    Cell s = S("caf");
    text_buffer::append_char(s, 0xE9);
    text_buffer::append_ascii(s, " ok");
    text_buffer::append_char(s, 0x1F600);
    text_buffer::append_char(s, U'!');
    EXPECT_EQ(text_of(s), "caf\u00E9 ok\U0001F600!");
    EXPECT_EQ(series::buffer(s.w2)->unit(), 4u);
    text_buffer::cut(s, 4);
    EXPECT_EQ(text_of(s), "caf\u00E9");
    Cell big = none_v;
    collector::RootGuard guard(big);  // a local the collector must see
    text_buffer::make(big, 1);
    std::string expected;
    for (int i = 0; i < 5000; i++) {
        text_buffer::append_ascii(big, "ab");
        expected += "ab";
    }
    EXPECT_EQ(text_of(big), expected);
}

TEST_F(StackTest, FillPatternRepeatsTheFirstUnit) {
    for (size_t unit : {1u, 3u, 16u}) {
        for (size_t count : {0u, 1u, 2u, 5u, 64u, 1000u}) {
            std::vector<uint8_t> buf(unit * count + unit + 1, 0xEE);
            for (size_t i = 0; i < unit; i++) buf[i] = static_cast<uint8_t>(i + 1);
            EXPECT_EQ(fill_pattern(buf.data(), unit, count), buf.data() + unit * count);
            for (size_t i = 0; i < unit * count; i++) ASSERT_EQ(buf[i], (i % unit) + 1) << unit << "x" << count;
            if (count > 0) {
                EXPECT_EQ(buf[unit * count], 0xEE);  // nothing past the end
            }
        }
    }
}

TEST_F(StackTest, MoldIndent) {
    Cell s = S("[");
    EXPECT_EQ(text_buffer::indent(s, 0, 50), 50);
    EXPECT_EQ(text_buffer::indent(s, 2, 50), 42);
    EXPECT_EQ(text_of(s), "[        ");
}

}  // namespace
}  // namespace qor::test
