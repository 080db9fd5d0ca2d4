// Compaction: live buffers slide down and into earlier frames with their
// contents intact; emptied series frames and sparse stable node frames are
// released.
#include "runtime/memory/memstats.h"
#include "tests/unit/gc/gc_fixture.h"

namespace qor {
namespace {

using test::alive;
using test::GcTest;

// Every frame's buffers lie back to back from its data start up to its
// heap, none carries the mark, and each node points at its buffer.
void expect_frames_packed() {
    for (memory::SeriesFrame* f = memory::record().series_head; f; f = f->next) {
        uint8_t* p = f->data_start();
        while (p < f->heap) {
            series::Buffer* b = series::buffer_at_footprint(p);
            ASSERT_EQ(b->flags & series::flag::mark, 0u);
            ASSERT_TRUE(alive(b->node));
            ASSERT_EQ(series::buffer(b->node), b);
            p += b->footprint();
        }
        ASSERT_EQ(p, f->heap);
    }
}

// A root block of `n` mixed values (strings of every unit, binaries, nested
// blocks), with garbage of every size allocated in between.
NodeId build_mixed(uint32_t n, uint32_t seed) {
    NodeId root = series::alloc_cells(n);
    collector::NodeGuard guard(root);
    for (uint32_t i = 0; i < n; i++) {
        (void)test::make_text(1 + (i * 37 + seed) % 700, 1, i);  // garbage
        uint32_t unit = 1u << (i % 3);
        NodeId text = test::make_text(1 + (i * 13) % 300, unit, i + seed);
        if (i % 5 == 0) {
            NodeId inner = series::alloc_cells(3);
            test::append(inner, test::series_cell(TypeId::string, text));
            test::append(inner, test::integer_cell(static_cast<int32_t>(i)));
            test::append(root, test::series_cell(TypeId::block, inner));
        } else {
            test::append(root, test::series_cell(i % 2 ? TypeId::binary : TypeId::string, text));
        }
    }
    return root;
}

TEST_F(GcTest, CompactionKeepsEveryLiveValueIntact) {
    NodeId root = build_mixed(6000, 3);
    collector::NodeGuard guard(root);
    ASSERT_GE(test::count_series_frames(), 3);
    auto before = test::deep_bytes(root);
    auto* first_text = series::buffer(test::cell_at(root, 1).w2);
    uint64_t used_before = memstats::in_use();

    collector::collect();
    expect_frames_packed();
    EXPECT_EQ(test::deep_bytes(root), before);
    EXPECT_NE(series::buffer(test::cell_at(root, 1).w2), first_text);  // it moved
    EXPECT_LT(memstats::in_use(), used_before);

    // A second collection finds nothing to free and changes nothing.
    uint64_t settled = memstats::in_use();
    collector::collect();
    expect_frames_packed();
    EXPECT_EQ(memstats::in_use(), settled);
    EXPECT_EQ(test::deep_bytes(root), before);
}

TEST_F(GcTest, LiveBuffersMoveIntoEarlierFramesAndEmptiedFramesAreReleased) {
    // Fill three frames with garbage, keeping a few values in the last two.
    NodeId keep = series::alloc_cells(64);
    collector::NodeGuard guard(keep);
    while (test::count_series_frames() < 4) {
        NodeId text = test::make_text(3000, 1, test::count_series_frames());
        if (test::count_series_frames() >= 2 && series::buffer(keep)->length() < 40)
            test::append(keep, test::series_cell(TypeId::string, text));
    }
    auto before = test::deep_bytes(keep);
    uint64_t os_before = memory::record().os_total;
    collector::collect();
    expect_frames_packed();
    EXPECT_EQ(test::deep_bytes(keep), before);
    // Everything fits in the first frame; the emptied middle frames are
    // released, the last frame stays.
    EXPECT_EQ(test::count_series_frames(), 2);
    EXPECT_LT(memory::record().os_total, os_before);
    memory::SeriesFrame* first = memory::record().series_head;
    EXPECT_EQ(memory::record().series_tail->heap, memory::record().series_tail->data_start());
    for (uint32_t i = 0; i < series::buffer(keep)->length(); i++) {
        auto* b = reinterpret_cast<uint8_t*>(series::buffer(test::cell_at(keep, i).w2));
        EXPECT_TRUE(b > first->data_start() && b < first->heap);
    }
}

TEST_F(GcTest, AFrameBelowWithLittleRoomOnlyGetsASlideInPlace) {
    // Two empty frames: the lower one is then filled with live values up to
    // less than the reuse threshold of free room; garbage and a live value
    // go to the upper one.
    while (test::count_series_frames() < 2) (void)test::make_text(2000, 1, 0);
    collector::collect();
    ASSERT_EQ(test::count_series_frames(), 2);
    memory::SeriesFrame* low = memory::record().series_head;
    memory::SeriesFrame* high = memory::record().series_tail;
    memory::record().series_current = low;
    NodeId keep = series::alloc_cells(1000);
    collector::NodeGuard guard(keep);
    while (memory::record().series_current == low)
        test::append(keep, test::series_cell(TypeId::string, test::make_text(2900, 1, 1)));
    for (int i = 0; i < 10; i++) (void)test::make_text(2000, 1, 2);
    NodeId late = test::make_text(100, 1, 3);
    test::append(keep, test::series_cell(TypeId::string, late));
    ASSERT_EQ(memory::record().series_current, high);
    ASSERT_LT(low->free_bytes(), series::reuse_threshold);
    uint8_t* low_heap = low->heap;
    auto before = test::deep_bytes(keep);
    collector::collect();
    expect_frames_packed();
    EXPECT_EQ(test::deep_bytes(keep), before);
    EXPECT_EQ(low->heap, low_heap);  // nothing moved down into it
    // The garbage between them is gone: the live buffer that opened the
    // upper frame is followed by `late`.
    series::Buffer* opener = series::buffer(test::cell_at(keep, series::buffer(keep)->length() - 2).w2);
    EXPECT_EQ(series::footprint_start(opener), high->data_start());
    EXPECT_EQ(series::footprint_start(series::buffer(late)), high->data_start() + opener->footprint());
}

TEST_F(GcTest, SparseStableNodeFramesAreEmptiedAfterSixQuietCollections) {
    collector::set_node_compaction(true);
    // Three frames of nodes; keep all of the first, a fifth of the second
    // and a hundred of the third.
    NodeId keep = series::alloc_cells(14000);
    collector::NodeGuard guard(keep);
    std::vector<NodeId> ids;
    while (ids.size() < 29990) ids.push_back(test::make_text(4, 1, static_cast<uint32_t>(ids.size())));
    for (NodeId id : ids) {
        uint32_t range = (id - 1) / node::frame_capacity;
        if (range == 0 || (range == 1 && id % 5 == 0) || (range == 2 && id % 99 == 0))
            test::append(keep, test::series_cell(TypeId::string, id));
    }
    ASSERT_EQ(test::count_node_frames(), 3);
    auto before = test::deep_bytes(keep);
    uint32_t kept = series::buffer(keep)->length();
    uint64_t os_before = memory::record().os_total;

    int collections = 0;
    while (test::count_node_frames() == 3 && collections < 12) {
        collector::collect();
        collections++;
    }
    // Six collections without a change of use, then the seventh+ empties it.
    EXPECT_EQ(collections, 8);
    EXPECT_EQ(test::count_node_frames(), 2);
    EXPECT_EQ(collector::node_compaction_count(), 1u);
    EXPECT_LT(memory::record().os_total, os_before);
    EXPECT_EQ(test::deep_bytes(keep), before);
    // Every kept value now names a node of the remaining frames.
    for (uint32_t i = 0; i < kept; i++) {
        NodeId id = test::cell_at(keep, i).w2;
        EXPECT_TRUE(alive(id));
        EXPECT_LT(id, 2 * node::frame_capacity + 1);
    }
    expect_frames_packed();
}

TEST_F(GcTest, NodeCompactionStaysOffByDefault) {
    NodeId keep = series::alloc_cells(3000);
    collector::NodeGuard guard(keep);
    std::vector<NodeId> ids;
    while (ids.size() < 20100) ids.push_back(test::make_text(4, 1, 0));
    for (NodeId id : ids) {
        if (id > 2 * node::frame_capacity || (id > node::frame_capacity && id % 7 == 0))
            test::append(keep, test::series_cell(TypeId::string, id));
    }
    for (int i = 0; i < 10; i++) collector::collect();
    EXPECT_EQ(test::count_node_frames(), 3);
    EXPECT_EQ(collector::node_compaction_count(), 0u);
}

}  // namespace
}  // namespace qor
