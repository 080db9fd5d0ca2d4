// Node frames: hand-out and return through the free lists, new frames when
// all are full, release of empty frames after a collection.
#include <set>
#include <vector>

#include "runtime/memory/handle_table.h"
#include "app/startup.h"
#include "tests/unit/memory/memory_fixture.h"

namespace qor {
namespace {

using memory::NodeFrame;
using test::MemoryTest;

std::vector<NodeId> alloc_nodes(size_t n) {
    std::vector<NodeId> ids(n);
    for (NodeId& id : ids) id = node::alloc();
    return ids;
}

TEST_F(MemoryTest, TenThousandNodesFillOneFrameAndTheNextMakesASecond) {
    std::vector<NodeId> ids = alloc_nodes(node::frame_capacity);
    memory::Memory& m = memory::record();
    NodeFrame* first = m.node_head;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, m.node_tail);
    EXPECT_EQ(first->used, node::frame_capacity);
    EXPECT_EQ(first->free_head, 0u);
    // Ids come out in ascending order, every one fresh and reading 0.
    for (size_t i = 0; i < ids.size(); i++) {
        EXPECT_EQ(ids[i], first->first_id + i);
        EXPECT_EQ(node::resolve(ids[i]), nullptr);
    }

    NodeId next = node::alloc();
    NodeFrame* second = m.node_tail;
    EXPECT_NE(second, first);
    EXPECT_EQ(m.node_current, second);
    EXPECT_EQ(second->prev, first);
    EXPECT_EQ(node::frame_of(next), second);
    EXPECT_EQ(node::frame_of(ids.back()), first);
    EXPECT_EQ(second->used, 1u);
    EXPECT_EQ(node::resolve(next), nullptr);
    EXPECT_EQ(std::set<NodeId>(ids.begin(), ids.end()).count(next), 0u);
}

TEST_F(MemoryTest, FreedNodesComeBackLastInFirstOutAndStayInTheirFrame) {
    std::vector<NodeId> ids = alloc_nodes(node::frame_capacity + 10);
    NodeFrame* first = node::frame_of(ids[0]);
    // Return three nodes of the full first frame; the current frame is the second.
    for (NodeId id : {ids[5], ids[500], ids[9999]}) node::free(id);
    EXPECT_EQ(first->used, node::frame_capacity - 3);
    EXPECT_TRUE(node::slot_is_free_link(node::raw_slot(ids[500])));
    // The second frame still has room, so allocation keeps taking from it.
    NodeId from_second = node::alloc();
    EXPECT_EQ(node::frame_of(from_second), memory::record().node_tail);

    // Once the current frame is full, the first frame with a free node is used.
    alloc_nodes(node::frame_capacity - 11);
    EXPECT_EQ(memory::record().node_tail->free_head, 0u);
    EXPECT_EQ(node::alloc(), ids[9999]);
    EXPECT_EQ(memory::record().node_current, first);
    EXPECT_EQ(node::alloc(), ids[500]);
    EXPECT_EQ(node::alloc(), ids[5]);
    EXPECT_EQ(first->used, node::frame_capacity);
    // Every frame full again: a third frame.
    (void)node::alloc();
    EXPECT_EQ(memory::record().node_tail->prev->prev, first);
}

TEST_F(MemoryTest, ReleasingEmptyFramesAfterACollection) {
    memory::Memory& m = memory::record();
    std::vector<NodeId> ids = alloc_nodes(3 * node::frame_capacity + 1);  // four frames
    NodeFrame* frames[4] = {m.node_head, m.node_head->next, m.node_head->next->next, m.node_tail};
    EXPECT_EQ(m.node_current, frames[3]);
    uint64_t total = m.os_total;

    // Frame 1 loses every node, frame 2 loses one, frame 3 some.
    for (uint32_t i = 0; i < node::frame_capacity; i++) node::free(ids[node::frame_capacity + i]);
    node::free(ids[2 * node::frame_capacity + 7]);
    node::release_empty_frames();

    EXPECT_EQ(m.node_head, frames[0]);
    EXPECT_EQ(frames[0]->next, frames[2]);
    EXPECT_EQ(frames[2]->prev, frames[0]);
    EXPECT_LT(m.os_total, total);
    EXPECT_EQ(node::frame_of(ids[node::frame_capacity]), nullptr);
    // The first frame in list order with room becomes current, not the later one.
    EXPECT_EQ(m.node_current, frames[2]);
    // Histories: a frame whose use did not change since the previous
    // collection shifts in a 1 (before the first one, last-used was 0).
    EXPECT_EQ(frames[0]->last_used, node::frame_capacity);
    EXPECT_EQ(frames[0]->history, 0u);
    node::release_empty_frames();
    EXPECT_EQ(frames[0]->history, 1u);
    EXPECT_EQ(frames[2]->history, 1u);

    // A frame made in the released range of ids starts from scratch.
    alloc_nodes(1 + node::frame_capacity - 1);  // fills frames 2 and 3
    NodeId fresh = node::alloc();
    NodeFrame* made = node::frame_of(fresh);
    EXPECT_EQ(made, m.node_tail);
    EXPECT_EQ(made->first_id, frames[0]->first_id + node::frame_capacity);  // the lowest free range
    EXPECT_EQ(node::resolve(fresh), nullptr);
}

// Releasing the one frame left would only make the next allocation build
// it again (after every collection, in a heap of garbage).
TEST_F(MemoryTest, TheLastEmptyFrameIsKept) {
    memory::Memory& m = memory::record();
    std::vector<NodeId> ids = alloc_nodes(node::frame_capacity + 1);  // two frames
    for (NodeId id : ids) node::free(id);
    node::release_empty_frames();
    ASSERT_NE(m.node_head, nullptr);
    EXPECT_EQ(m.node_head, m.node_tail);
    EXPECT_EQ(m.node_head->used, 0u);
    EXPECT_EQ(m.node_current, m.node_head);
}

TEST_F(MemoryTest, RetiredFramesAreNeverAllocatedFromAndAreReleased) {
    memory::Memory& m = memory::record();
    std::vector<NodeId> ids = alloc_nodes(node::frame_capacity + 1);
    NodeFrame* first = m.node_head;
    node::free(ids[3]);
    first->retired = 1;
    // The second frame is current and has room: fine. Fill it, then the
    // retired first frame's free node must be passed over.
    alloc_nodes(node::frame_capacity - 1);
    NodeId next = node::alloc();
    EXPECT_NE(node::frame_of(next), first);
    EXPECT_EQ(node::frame_of(next), m.node_tail);
    node::release_empty_frames();
    EXPECT_NE(m.node_head, first);
    EXPECT_EQ(node::frame_of(ids[0]), nullptr);
}

TEST_F(MemoryTest, TheBootMakesTheFirstNodeFrameAndSeriesFrame) {
    rt::boot();
    memory::Memory& m = memory::record();
    ASSERT_NE(m.node_head, nullptr);
    EXPECT_EQ(m.node_head, m.node_tail);
    EXPECT_EQ(m.node_head->capacity, node::frame_capacity);
    ASSERT_NE(m.series_head, nullptr);
    EXPECT_EQ(m.series_head, m.series_tail);
    EXPECT_EQ(m.series_current, m.series_head);
    EXPECT_EQ(m.series_head->size, memory::default_frame_size);
    EXPECT_EQ(m.next_frame_size, memory::big_threshold);
    EXPECT_EQ(handle::capacity(), handle::initial_capacity);
    EXPECT_FALSE(collector::enabled());
}

}  // namespace
}  // namespace qor
