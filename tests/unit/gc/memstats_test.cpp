// Memory figures, and building values while the collector runs at
// allocation points.
#include "runtime/memory/memstats.h"
#include "tests/unit/gc/gc_fixture.h"

namespace qor {
namespace {

using test::GcTest;

uint64_t int_of(const Cell& c) {
    return type_of(c) == TypeId::float_ ? static_cast<uint64_t>(get_double(c)) : static_cast<uint32_t>(get_int(c));
}

TEST_F(GcTest, FiguresDescribeEveryFrameAndAddUp) {
    (void)series::alloc_bytes(3 << 20);  // a big region
    for (int i = 0; i < 12000; i++) (void)series::alloc_bytes(100);  // a second node and series frame
    NodeId block = series::alloc_cells(5);
    collector::NodeGuard guard(block);
    uint64_t in_use = memstats::in_use();
    collector::set_enabled(true);
    memstats::collect(block);
    EXPECT_TRUE(collector::enabled());  // switched back on afterwards

    series::Buffer* b = series::buffer(block);
    ASSERT_EQ(b->length(), 5u);
    Cell top[5];
    std::memcpy(top, b->cells(), sizeof top);
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(type_of(top[i]), TypeId::block);
        EXPECT_TRUE(has_flag(top[i], cell_flag::new_line));
    }
    uint64_t used = 0;
    int node_frames = 0;
    for (uint32_t i = 0; i < series::buffer(top[0].w2)->length(); i++, node_frames++) {
        Cell inner = test::cell_at(top[0].w2, i);
        EXPECT_TRUE(has_flag(inner, cell_flag::new_line));
        uint64_t free = int_of(test::cell_at(inner.w2, 0)), u = int_of(test::cell_at(inner.w2, 1));
        EXPECT_EQ(free + u, int_of(test::cell_at(inner.w2, 2)));
        EXPECT_EQ(int_of(test::cell_at(inner.w2, 2)), node::frame_capacity);
        used += u * sizeof(uintptr_t);
    }
    EXPECT_EQ(node_frames, test::count_node_frames());
    uint32_t series_frames = series::buffer(top[1].w2)->length();
    EXPECT_EQ(series_frames, 2u);
    for (uint32_t i = 0; i < series_frames; i++) {
        Cell inner = test::cell_at(top[1].w2, i);
        uint64_t free = int_of(test::cell_at(inner.w2, 0)), u = int_of(test::cell_at(inner.w2, 1));
        EXPECT_EQ(free + u, int_of(test::cell_at(inner.w2, 2)));
        used += u;
    }
    ASSERT_EQ(series::buffer(top[2].w2)->length(), 1u);
    const Cell& big = test::cell_at(top[2].w2, 0);
    EXPECT_TRUE(has_flag(big, cell_flag::new_line));
    used += int_of(big);
    // The parts add up to the figure of `recycle` and `stats`: between the
    // figure before the figures' own blocks were made and the one after.
    EXPECT_GE(used, in_use);
    EXPECT_LE(used, memstats::in_use());
    EXPECT_GT(int_of(top[3]), used);
    EXPECT_EQ(type_of(top[4]), TypeId::integer);
}

TEST_F(GcTest, FiguresBeyond31BitsAreFloats) {
    EXPECT_EQ(type_of(memstats::figure(2147483647)), TypeId::integer);
    Cell big = memstats::figure(2147483648ull);
    EXPECT_EQ(type_of(big), TypeId::float_);
    EXPECT_EQ(get_double(big), 2147483648.0);
}

// With the collector on, every allocation may collect (each one does in
// stress builds): values kept in guards and in reachable blocks stay whole.
TEST_F(GcTest, BuildingUnderCollectionKeepsGuardedValues) {
    collector::set_enabled(true);
#ifdef QOR_GC_STRESS
    constexpr int n = 1500;
#else
    constexpr int n = 60000;
#endif
    NodeId root = series::alloc_cells(4);
    collector::NodeGuard guard(root);
    for (int i = 0; i < n; i++) {
        Cell inner = test::series_cell(TypeId::block, series::alloc_cells(2));
        collector::RootGuard inner_guard(inner);
        (void)test::make_text(50, 1, 0);  // garbage in between
        Cell text = test::series_cell(TypeId::string, test::make_text(20 + i % 40, 1 << (i % 3), i));
        test::append(inner.w2, text);
        test::append(inner.w2, test::integer_cell(i));
        test::append(root, inner);
    }
    uint32_t cycles = collector::cycle_count();
    EXPECT_GT(cycles, 0u);
    ASSERT_EQ(series::buffer(root)->length(), static_cast<uint32_t>(n));
    for (int i = 0; i < n; i++) {
        NodeId inner = test::cell_at(root, i).w2;
        ASSERT_TRUE(test::alive(inner));
        EXPECT_EQ(get_int(test::cell_at(inner, 1)), i);
        series::Buffer* text = series::buffer(test::cell_at(inner, 0).w2);
        ASSERT_EQ(text->length(), static_cast<uint32_t>(20 + i % 40));
        EXPECT_EQ(text->data()[5], static_cast<uint8_t>(i * 31 + 35));
    }
}

}  // namespace
}  // namespace qor
