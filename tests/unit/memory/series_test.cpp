// Series buffers: sizes, frames and their boundaries, big regions,
// expansion behind a node, copies and the allocator's size check.
#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/unit/memory/memory_fixture.h"

namespace qor {
namespace {

using memory::SeriesFrame;
using series::Buffer;
using test::internal_error_of;
using test::MemoryTest;

constexpr uint32_t base_flags = series::flag::in_use | series::flag::allocated;

TEST_F(MemoryTest, CapacitiesFlagsAndAlignment) {
    struct Case {
        NodeId (*make)();
        uint32_t unit;
        uint32_t capacity;
    };
    const Case cases[] = {
        {[] { return series::alloc_bytes(0); }, 1, 16},
        {[] { return series::alloc_bytes(17); }, 1, 32},
        {[] { return series::alloc_units(0, 1); }, 1, 16},
        {[] { return series::alloc_units(0, 2); }, 2, 16},
        {[] { return series::alloc_units(0, 4); }, 4, 16},
        {[] { return series::alloc_units(5, 4); }, 4, 32},
        {[] { return series::alloc_cells(0); }, 16, 0},
        {[] { return series::alloc_cells(3); }, 16, 48},
        {[] { return series::alloc(3, 2); }, 2, 16},
    };
    for (const Case& c : cases) {
        NodeId id = c.make();
        Buffer* b = series::buffer(id);
        EXPECT_EQ(b->node, id);
        EXPECT_EQ(b->unit(), c.unit);
        EXPECT_EQ(b->capacity, c.capacity);
        EXPECT_EQ(b->flags, c.unit | base_flags);
        EXPECT_EQ(b->head, 0u);
        EXPECT_EQ(b->tail, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b->data()) % 8, 0u);
    }
    // 0 units of 4 bytes leave room for 4 of them.
    EXPECT_EQ(series::buffer(series::alloc_units(0, 4))->room_units(), 4u);
}

TEST_F(MemoryTest, FilledAndUnsetBuffersCoverTheirWholeCapacity) {
    Buffer* filled = series::buffer(series::alloc_filled(20, 0xAB));
    ASSERT_EQ(filled->capacity, 32u);
    for (uint32_t i = 0; i < filled->capacity; i++) EXPECT_EQ(filled->data()[i], 0xAB);
    EXPECT_EQ(filled->tail, 0u);

    Buffer* cells = series::buffer(series::alloc_unset_cells(5));
    ASSERT_EQ(cells->capacity, 80u);
    for (uint32_t i = 0; i < 5; i++) {
        const Cell& c = reinterpret_cast<Cell*>(cells->data())[i];
        EXPECT_EQ(type_of(c), TypeId::unset);
        EXPECT_EQ(c.w1 | c.w2 | c.w3, 0u);
    }
    EXPECT_EQ(cells->length(), 0u);
}

// Allocates buffers of varied sizes, writing a pattern into each, until n
// frames exist; answers the nodes and the frames in the order they were made.
std::vector<NodeId> fill_frames(size_t n, std::vector<SeriesFrame*>& made) {
    std::vector<NodeId> ids;
    for (size_t i = 0; made.size() < n || ids.size() % 7 != 0; i++) {
        NodeId id = series::alloc_bytes(1 + (i * 37) % 3000);
        Buffer* b = series::buffer(id);
        std::memset(b->data(), static_cast<int>(id & 0xFF), b->capacity);
        b->tail = b->capacity;
        ids.push_back(id);
        SeriesFrame* current = memory::record().series_current;
        if (std::find(made.begin(), made.end(), current) == made.end()) made.push_back(current);
    }
    return ids;
}

TEST_F(MemoryTest, FramesAreOneThenTwoMegabytesAndBuffersTileThem) {
    std::vector<SeriesFrame*> made;
    std::vector<NodeId> ids = fill_frames(3, made);
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[0]->size, 1048576u);
    EXPECT_EQ(made[1]->size, 2097152u);
    EXPECT_EQ(made[2]->size, 2097152u);

    size_t frames = 0, walked = 0;
    for (SeriesFrame* f = memory::record().series_head; f; f = f->next, frames++) {
        EXPECT_EQ(f->end - f->data_start(), static_cast<ptrdiff_t>(f->size));
        if (f->next) {
            EXPECT_LT(reinterpret_cast<uintptr_t>(f), reinterpret_cast<uintptr_t>(f->next));
        }
        // Walking footprints from the data start lands exactly on heap, and
        // every buffer met is the one its node refers to.
        uint8_t* p = f->data_start();
        while (p < f->heap) {
            Buffer* b = series::buffer_at_footprint(p);
            EXPECT_EQ(series::buffer(b->node), b);
            p += b->footprint();
            walked++;
        }
        EXPECT_EQ(p, f->heap);
        // A full frame has no room left for the allocation that moved on.
        if (f != memory::record().series_current) {
            EXPECT_LT(f->free_bytes(), 3000u + 40);
        }
    }
    EXPECT_EQ(frames, 3u);
    EXPECT_EQ(walked, ids.size());
    // No buffer overwrote another.
    for (NodeId id : ids) {
        Buffer* b = series::buffer(id);
        for (uint32_t i = 0; i < b->capacity; i += 13) ASSERT_EQ(b->data()[i], id & 0xFF) << id;
    }
}

TEST_F(MemoryTest, FootprintOfTwoMegabytesGetsItsOwnRegion) {
    memory::Memory& m = memory::record();
    // Capacities are multiples of 16, so footprints are 8 more than one: the
    // largest in a frame is 2,097,144, the smallest big one 2,097,160.
    NodeId big = series::alloc_bytes(2097121);
    Buffer* b = series::buffer(big);
    EXPECT_EQ(b->flags & series::flag::big, series::flag::big);
    EXPECT_EQ(m.series_head, nullptr);
    ASSERT_NE(m.big_head, nullptr);
    EXPECT_EQ(series::big_region_of(b), m.big_head);
    EXPECT_EQ(m.big_head->footprint, 2097160u);
    std::memset(b->data(), 1, b->capacity);  // all of it is there

    // 16 bytes less fits a frame, and does not fit the first 1 MB size, so
    // the frame made for it is 2 MB.
    NodeId framed = series::alloc_bytes(2097120);
    Buffer* fb = series::buffer(framed);
    EXPECT_EQ(fb->flags & series::flag::big, 0u);
    ASSERT_NE(m.series_head, nullptr);
    EXPECT_EQ(m.series_head->size, 2097152u);
    EXPECT_EQ(m.series_head->heap - m.series_head->data_start(), 2097144);

    uint64_t before = m.os_total;
    series::free_big(b);
    EXPECT_EQ(m.big_head, nullptr);
    EXPECT_LT(m.os_total, before);
}

TEST_F(MemoryTest, ExpansionMovesTheBufferBehindItsNode) {
    NodeId id = series::alloc_units(10, 2);
    Buffer* old = series::buffer(id);
    for (uint16_t i = 0; i < 10; i++) std::memcpy(old->data() + 2 * i, &i, 2);
    old->head = 4;  // the series starts at unit 2
    old->set_tail_units(9);
    // Values holding the node, and something allocated after it.
    Cell values[3];
    for (Cell& v : values) v = Cell{to_int(TypeId::string), 1, id, 0};
    NodeId after = series::alloc_bytes(1);

    Buffer* fresh = series::expand_copy(id, 0);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(fresh->capacity, 64u);  // twice 32
    EXPECT_EQ(fresh->flags, old->flags | series::flag::in_use);
    EXPECT_EQ(fresh->head, 0u);
    EXPECT_EQ(fresh->length(), 7u);
    for (const Cell& v : values) EXPECT_EQ(series::buffer(v.w2), fresh);
    uint16_t unit3;
    std::memcpy(&unit3, fresh->at(values[0].w1), 2);
    EXPECT_EQ(unit3, 3);
    EXPECT_EQ(old->node, 0u);
    EXPECT_EQ(old->flags & series::flag::in_use, 0u);
    EXPECT_EQ(series::buffer(after)->node, after);

    // Filling: everything after the copied part takes the byte.
    Buffer* filled = series::expand_filled(id, 200, 0x5A);
    EXPECT_EQ(filled->capacity, 208u);
    std::memcpy(&unit3, filled->at(1), 2);
    EXPECT_EQ(unit3, 3);
    for (uint32_t i = 64; i < filled->capacity; i++) ASSERT_EQ(filled->data()[i], 0x5A);

    // A request below the length keeps the whole series.
    Buffer* kept = series::expand_copy(id, 2);
    EXPECT_GE(kept->capacity, 14u);
    EXPECT_EQ(kept->length(), 7u);
}

TEST_F(MemoryTest, ExpansionCrossesIntoBigRegionsAndOutOfTheHeap) {
    NodeId id = series::alloc_on_heap(4, 16);
    EXPECT_EQ(series::buffer(id)->flags, 16 | base_flags | series::flag::on_heap);
    series::buffer(id)->cells()[0] = Cell{to_int(TypeId::integer), 0, 42, 0};
    series::buffer(id)->set_tail_units(1);
    Buffer* framed = series::expand_copy(id, 128);
    EXPECT_EQ(framed->flags, 16 | base_flags);
    Buffer* big = series::expand_copy(id, 3u << 20);
    EXPECT_EQ(big->flags, 16 | base_flags | series::flag::big);
    EXPECT_EQ(big->cells()[0].w2, 42u);
    Buffer* back = series::expand_copy(id, 256);
    EXPECT_EQ(back->flags, 16 | base_flags);
    EXPECT_EQ(back->length(), 1u);
}

TEST_F(MemoryTest, CopyIsAnIndependentTwin) {
    NodeId id = series::alloc_units(6, 4);
    Buffer* b = series::buffer(id);
    const uint32_t text[] = {0x1F600, 'a', 'b', 'c', 'd'};
    std::memcpy(b->data(), text, sizeof text);
    b->head = 4;
    b->tail = 20;
    series::set_flag(id, series::flag::utf16_loaded);
    NodeId twin = series::copy(id);
    Buffer* t = series::buffer(twin);
    EXPECT_NE(twin, id);
    EXPECT_EQ(t->node, twin);
    EXPECT_EQ(t->flags, series::buffer(id)->flags);
    EXPECT_EQ(t->capacity, 32u);
    EXPECT_EQ(t->length(), 4u);
    EXPECT_EQ(std::memcmp(t->head_ptr(), text + 1, 16), 0);
    t->head_ptr()[0] = 'z';
    EXPECT_EQ(series::buffer(id)->head_ptr()[0], 'a');
}

TEST_F(MemoryTest, SizesThatDoNotFitRaiseNoMemory) {
    const struct {
        size_t count;
        uint32_t unit;
    } refused[] = {
        {size_t(-1), 16}, {size_t(-1), 1}, {0x80000000u, 1}, {0x7FFFFFF1u, 1},
        {0x10000000u, 16}, {0x20000000u, 4}, {1, 0}, {1, 3}, {1, 12}, {1, 17}, {1, 32},
    };
    for (auto r : refused)
        EXPECT_EQ(internal_error_of([&] { (void)series::alloc(r.count, r.unit); }), "no-memory")
            << r.count << " x " << r.unit;
    EXPECT_EQ(internal_error_of([] { (void)series::alloc_on_heap(size_t(-1) / 2, 16); }), "no-memory");

    // Doubling an empty buffer gives the smallest capacity, not an error.
    NodeId empty = series::alloc_cells(0);
    EXPECT_EQ(series::expand(empty, 0)->capacity, 16u);
    NodeId some = series::alloc_bytes(10);
    EXPECT_EQ(internal_error_of([&] { series::expand(some, uint64_t{1} << 40); }), "no-memory");
    EXPECT_EQ(internal_error_of([&] { series::expand(some, ~uint64_t{0}); }), "no-memory");
    // Nothing was lost: the series is where it was.
    EXPECT_EQ(series::buffer(some)->node, some);
    EXPECT_EQ(series::buffer(some)->capacity, 16u);
}

// A stand-in collection that leaves `room_after_collection` bytes free in
// one frame.
uint64_t room_after_collection = 0;
SeriesFrame* collected_frame = nullptr;
int collections = 0;
void fake_collection() {
    collections++;
    collected_frame->heap = collected_frame->end - room_after_collection;
}

// The allocator's own policy, without the collections of stress builds and
// with every collection due (the budget is tested on its own below).
struct NoStress {
    uint64_t budget = collector::budget();
    NoStress() {
        collector::set_stress(false);
        collector::set_budget(0);
    }
    ~NoStress() {
        collector::set_stress(true);
        collector::set_budget(budget);
    }
};

TEST_F(MemoryTest, AfterACollectionANearlyFullFrameIsPassedOver) {
    NoStress no_stress;
    memory::Memory& m = memory::record();
    collector::install_cycle(fake_collection);
    (void)series::alloc_bytes(16);
    SeriesFrame* first = collected_frame = m.series_head;
    const uint64_t footprint = 1008 + 24;

    struct Case {
        bool enabled;
        uint64_t room;
        bool reuses_first;
    };
    const Case cases[] = {
        {false, 0, false},                          // no collection: a new frame
        {true, series::reuse_threshold - 1, false}, // room, but too little after a collection
        {true, series::reuse_threshold, true},
        {true, footprint, false},                   // heap + footprint == end: no room
    };
    for (const Case& c : cases) {
        collections = 0;
        // Every frame full.
        for (SeriesFrame* f = m.series_head; f; f = f->next) f->heap = f->end;
        collector::set_enabled(c.enabled);
        room_after_collection = c.room;
        (void)series::alloc_bytes(1008);
        EXPECT_EQ(collections, c.enabled ? 1 : 0);
        EXPECT_EQ(m.series_current == first, c.reuses_first) << c.room;
    }
    // Room found by the first search is used however little is left.
    for (SeriesFrame* f = m.series_head; f; f = f->next) f->heap = f->end;
    first->heap = first->end - footprint - 8;
    collections = 0;
    (void)series::alloc_bytes(1008);
    EXPECT_EQ(collections, 0);
    EXPECT_EQ(m.series_current, first);
}

TEST_F(MemoryTest, BigAllocationAsksForACollectionFirst) {
    NoStress no_stress;
    collector::install_cycle([] { collections++; });
    collections = 0;
    (void)series::alloc_bytes(3 << 20);
    EXPECT_EQ(collections, 0);
    collector::set_enabled(true);
    (void)series::alloc_bytes(3 << 20);
    EXPECT_EQ(collections, 1);
}

TEST_F(MemoryTest, CollectionsWaitForTheBudget) {
    NoStress no_stress;
    memory::Memory& m = memory::record();
    collector::install_cycle([] { collections++; });
    collector::set_enabled(true);
    // A cycle budgets as much again as survived, and never less than the minimum.
    collector::set_budget_from_survivors(10);
    EXPECT_EQ(collector::budget(), collector::min_budget);
    EXPECT_EQ(collector::allocated_since_collection(), 0u);
    collector::set_budget_from_survivors(50u << 20);
    EXPECT_EQ(collector::budget(), 50u << 20);

    // Below the budget a full heap grows by a frame instead of collecting.
    collector::set_budget_from_survivors(0);
    collector::set_budget(64u << 20);
    collections = 0;
    size_t frames_before = 0;
    for (SeriesFrame* f = m.series_head; f; f = f->next) f->heap = f->end, frames_before++;
    (void)series::alloc_bytes(1008);
    EXPECT_EQ(collections, 0);
    size_t frames_after = 0;
    for (SeriesFrame* f = m.series_head; f; f = f->next) frames_after++;
    EXPECT_EQ(frames_after, frames_before + 1);
    // A big buffer below the budget does not collect either.
    (void)series::alloc_bytes(3 << 20);
    EXPECT_EQ(collections, 0);

    // Allocation counts towards the budget; past it, a full heap collects.
    EXPECT_GE(collector::allocated_since_collection(), uint64_t{3} << 20);
    collector::set_budget(collector::min_budget);
    for (SeriesFrame* f = m.series_head; f; f = f->next) f->heap = f->end;
    (void)series::alloc_bytes(1008);
    EXPECT_EQ(collections, 1);
}

}  // namespace
}  // namespace qor
