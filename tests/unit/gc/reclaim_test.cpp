// What a collection keeps and what it gives back: roots, guards, callbacks,
// marking by datatype, and the memory of dropped values.
#include <array>

#include "runtime/memory/memstats.h"
#include "tests/unit/gc/gc_fixture.h"

namespace qor {
namespace {

using test::alive;
using test::GcTest;

TEST_F(GcTest, GuardedValuesSurviveAndDroppedOnesReturnTheirNodes) {
    NodeId kept = test::make_text(40, 1, 1);
    NodeId dropped = test::make_text(40, 1, 2);
    NodeId bare = test::make_text(10, 2, 3);
    Cell value = test::series_cell(TypeId::string, kept);
    auto before = test::deep_bytes(kept);
    uint32_t used = test::nodes_used();
    {
        collector::RootGuard guard(value);
        collector::NodeGuard node_guard(bare);
        collector::collect();
        EXPECT_TRUE(alive(kept));
        EXPECT_TRUE(alive(bare));
        EXPECT_FALSE(alive(dropped));
        EXPECT_EQ(test::nodes_used(), used - 1);
        EXPECT_EQ(test::deep_bytes(kept), before);
    }
    collector::collect();
    EXPECT_FALSE(alive(kept));
    EXPECT_FALSE(alive(bare));
    EXPECT_EQ(test::nodes_used(), used - 3);
    // The freed nodes are handed out again.
    std::array<NodeId, 3> again{};
    for (NodeId& id : again) id = series::alloc_bytes(4);
    for (NodeId id : again) EXPECT_TRUE(id == kept || id == dropped || id == bare) << id;
}

TEST_F(GcTest, DataStackCellsArePushedRoots) {
    NodeId on_stack = test::make_text(8, 1, 5);
    NodeId above_top = test::make_text(8, 1, 6);
    stack::push(test::series_cell(TypeId::binary, on_stack));
    stack::data.top[0] = test::series_cell(TypeId::binary, above_top);  // not live: above the top
    collector::collect();
    EXPECT_TRUE(alive(on_stack));
    EXPECT_FALSE(alive(above_top));
    stack::pop();
    collector::collect();
    EXPECT_FALSE(alive(on_stack));
}

NodeId from_callback = 0;
Cell permanent{};
std::vector<int> order;

TEST_F(GcTest, PermanentRootsRootSlotsAndCallbacksInTheirOrder) {
    from_callback = test::make_text(8, 1, 7);
    NodeId held = test::make_text(8, 1, 8);
    NodeId slot_held = test::make_text(8, 1, 9);
    permanent = test::series_cell(TypeId::file, held);
    static NodeId slot_node = 0;
    slot_node = slot_held;
    order.clear();

    auto callback = [] {
        order.push_back(3);
        collector::mark_node(&from_callback);
    };
    auto slot_marker = [] {
        order.push_back(1);
        collector::mark_block(&slot_node);
    };
    auto sweep = [] {
        order.push_back(4);
        EXPECT_TRUE(collector::is_marked(from_callback));
    };
    auto early_slot = [] { order.push_back(0); };
    collector::add_root(&permanent);
    collector::add_mark_callback(callback);
    collector::add_sweep_callback(sweep);
    collector::set_root_marker(collector::Root::lexers, slot_marker);
    collector::set_root_marker(collector::Root::root_block, early_slot);
    collector::collect();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 4}));
    EXPECT_TRUE(alive(from_callback));
    EXPECT_TRUE(alive(held));
    EXPECT_TRUE(alive(slot_held));

    collector::remove_mark_callback(callback);
    collector::remove_sweep_callback(sweep);
    collector::remove_root(&permanent);
    collector::set_root_marker(collector::Root::lexers, nullptr);
    collector::set_root_marker(collector::Root::root_block, nullptr);
    collector::collect();
    EXPECT_FALSE(alive(from_callback));
    EXPECT_FALSE(alive(held));
    EXPECT_FALSE(alive(slot_held));
}

// A context: a two-cell block of its context! cell (word table, values
// block) and its self value.
NodeId make_context(NodeId table, NodeId values, uint32_t header_flags) {
    NodeId ctx = series::alloc_cells(2);
    test::append(ctx, Cell{to_int(TypeId::context) | header_flags, table, values, 0});
    test::append(ctx, Cell{to_int(TypeId::object), ctx, 1000001, 0});
    return ctx;
}

// Each datatype keeps exactly the nodes its payload layout names.
TEST_F(GcTest, MarkingFollowsEachDatatypesLayout) {
    struct Case {
        TypeId type;
        uint32_t flags;
        // Which payload words get a node, and whether it survives.
        std::array<bool, 3> node;
        std::array<bool, 3> kept;
    };
    constexpr uint32_t op_of_function = to_int(TypeId::function) << cell_flag::op_type_shift;
    const Case cases[] = {
        {TypeId::block, 0, {false, true, false}, {false, true, false}},
        {TypeId::set_path, 0, {false, true, false}, {false, true, false}},
        {TypeId::string, 0, {false, true, true}, {false, true, true}},
        {TypeId::ref, 0, {false, true, false}, {false, true, false}},
        {TypeId::binary, 0, {false, true, true}, {false, true, false}},
        {TypeId::vector, 0, {false, true, false}, {false, true, false}},
        {TypeId::bitset, 0, {false, true, false}, {false, true, false}},
        {TypeId::symbol, 0, {false, true, true}, {false, true, true}},
        {TypeId::hash, 0, {false, true, true}, {false, true, true}},
        {TypeId::map, 0, {false, true, true}, {false, true, true}},
        {TypeId::function, 0, {true, true, true}, {true, true, true}},
        {TypeId::routine, 0, {true, true, true}, {true, true, true}},
        {TypeId::native, 0, {true, true, true}, {false, true, true}},
        {TypeId::op, 0, {true, true, true}, {false, true, true}},
        {TypeId::op, op_of_function, {true, true, true}, {true, true, true}},
        {TypeId::object, 0, {true, true, true}, {true, false, true}},
        {TypeId::error, 0, {true, false, false}, {true, false, false}},
        {TypeId::port, 0, {true, false, false}, {true, false, false}},
        {TypeId::word, 0, {true, false, false}, {true, false, false}},
        {TypeId::refinement, 0, {true, false, false}, {true, false, false}},
        {TypeId::context, 0, {true, true, false}, {true, true, false}},
        {TypeId::context, cell_flag::stack_values, {true, true, false}, {true, false, false}},
        {TypeId::image, 0, {false, true, false}, {false, true, false}},
        {TypeId::event, 1u << 12, {false, true, false}, {false, true, false}},
        {TypeId::event, 0, {false, true, false}, {false, false, false}},
        {TypeId::integer, 0, {false, true, false}, {false, false, false}},
        {TypeId::pair, 0, {false, true, true}, {false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(to_int(c.type)) << " flags " << c.flags);
        Cell value{to_int(c.type) | c.flags, 0, 0, 0};
        std::array<NodeId, 3> nodes{};
        for (int w = 0; w < 3; w++) {
            if (!c.node[w]) continue;
            // Word 1 of most types is a context: give it the shape of one.
            nodes[w] = w == 0 && c.type != TypeId::context ? make_context(0, 0, cell_flag::stack_values)
                                                            : test::make_text(4, 1, w);
            (&value.w1)[w] = nodes[w];
        }
        if (c.type == TypeId::symbol) value.w1 = 0xFFFFFFFF;  // an alias word, not a node
        {
            collector::RootGuard guard(value);
            collector::collect();
            for (int w = 0; w < 3; w++) {
                if (!c.node[w]) continue;
                EXPECT_EQ(alive(nodes[w]), c.kept[w]) << "word " << w + 1;
            }
        }
        collector::collect();
        for (int w = 0; w < 3; w++) {
            if (!c.node[w]) continue;
            EXPECT_FALSE(alive(nodes[w])) << "word " << w + 1 << " after the guard";
        }
    }
}

// A word bound to an object that only the word reaches keeps the object's
// whole context: word table, values and what the values hold.
TEST_F(GcTest, AWordKeepsItsContextAndEverythingInIt) {
    NodeId table = test::make_text(44, 1, 1);
    NodeId text = test::make_text(12, 1, 2);
    NodeId values = series::alloc_cells(2);
    test::append(values, test::series_cell(TypeId::string, text));
    NodeId ctx = make_context(table, values, 2u << cell_flag::context_kind_shift);
    Cell word{to_int(TypeId::word), ctx, 42, 1};
    {
        collector::RootGuard guard(word);
        collector::collect();
        for (NodeId id : {table, text, values, ctx}) EXPECT_TRUE(alive(id)) << id;
    }
    collector::collect();
    for (NodeId id : {table, text, values, ctx}) EXPECT_FALSE(alive(id)) << id;
}

int released = 0;

TEST_F(GcTest, HandlesOfReachableValuesStayAndOthersAreReleased) {
    released = 0;
    uint32_t kind = handle::register_kind("test", [](void*) { released++; });
    int32_t kept = handle::alloc(&released, kind);
    int32_t lost = handle::alloc(&released, kind);
    Cell value{to_int(TypeId::handle), kind, 0, static_cast<uint32_t>(kept)};
    collector::RootGuard guard(value);
    collector::collect();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(handle::entry(kept).flags & handle::flag::free, 0u);
    EXPECT_NE(handle::entry(lost).flags & handle::flag::free, 0u);
}

// Self-referencing and deeply nested blocks are marked without recursion.
TEST_F(GcTest, CyclesAndDeepNestingAreMarkedOnce) {
    NodeId outer = series::alloc_cells(1);
    collector::NodeGuard guard(outer);
    NodeId inner = outer;
    for (int i = 0; i < 200000; i++) {
        NodeId next = series::alloc_cells(1);
        test::append(inner, test::series_cell(TypeId::block, next));
        inner = next;
    }
    test::append(inner, test::series_cell(TypeId::block, outer));  // back to the start
    uint32_t used = test::nodes_used();
    collector::collect();
    EXPECT_EQ(test::nodes_used(), used);
    EXPECT_TRUE(alive(inner));
}

TEST_F(GcTest, ADroppedMillionElementBlockIsGivenBack) {
    uint64_t base = collector::recycle();
    uint64_t os_base = memory::record().os_total;
    {
        NodeId block = series::alloc_cells(1000000);
        collector::NodeGuard guard(block);
        for (int32_t i = 0; i < 1000000; i++) {
            if (i % 1000 == 0) {
                NodeId text = test::make_text(100, 1, i);
                test::append(block, test::series_cell(TypeId::string, text));
            } else {
                test::append(block, test::integer_cell(i));
            }
        }
        uint64_t held = collector::recycle();
        EXPECT_GE(held, base + 16000000);
        for (int32_t i = 0; i < 1000000; i += 999) {
            const Cell& c = test::cell_at(block, i);
            if (i % 1000 == 0) {
                ASSERT_EQ(type_of(c), TypeId::string);
                EXPECT_EQ(series::buffer(c.w2)->data()[1], static_cast<uint8_t>(i * 31 + 7));
            } else {
                EXPECT_EQ(get_int(c), i);
            }
        }
    }
    EXPECT_EQ(collector::recycle(), base);
    EXPECT_EQ(memory::record().os_total, os_base);
}

TEST_F(GcTest, RecycleCollectsWithTheSwitchOffAndTheSwitchGovernsAllocation) {
    collector::recycle_off();
    uint32_t cycles = collector::cycle_count();
    NodeId dropped = test::make_text(8, 1, 1);
    // Allocation never collects while the switch is off, however much it takes.
    for (int i = 0; i < 2000; i++) (void)series::alloc_bytes(1000);
    EXPECT_EQ(collector::cycle_count(), cycles);
    EXPECT_TRUE(alive(dropped));
    collector::recycle();
    EXPECT_EQ(collector::cycle_count(), cycles + 1);
    EXPECT_FALSE(alive(dropped));

    collector::recycle_on();
    EXPECT_TRUE(collector::enabled());
    for (int i = 0; i < 4000; i++) (void)series::alloc_bytes(1000);
    EXPECT_GT(collector::cycle_count(), cycles + 1);
}

}  // namespace
}  // namespace qor
