// The cycle stack's depth limit and scopes, the cycle markers that form and
// mold write for a value met again, and the cell pool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/memory/cell_pool.h"
#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/cycle_marker.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/series.h"

namespace qor {
namespace {

class CycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        cycle::reset();
    }
    void TearDown() override {
        cycle::reset();
        memory::release_all();
    }
};

// Nests scopes past the stack's room.
void nest(uint32_t level) {
    cycle::Scope scope(1000 + level);
    if (level < 2 * cycle::capacity) nest(level + 1);
}

TEST_F(CycleTest, TooDeepLeavesTheEntriesOfEnclosingWalks) {
    cycle::push(7);  // an enclosing walk that catches the error
    const int caught_at = cycle::depth();
    std::string raised;
    try {
        nest(0);
    } catch (const error::Raised& e) {
        raised = std::string(error::spelling(e.id));
    }
    EXPECT_EQ(raised, "too-deep");
    EXPECT_EQ(cycle::depth(), caught_at);
    EXPECT_TRUE(cycle::find(7));
    // The limit: 999 entries fit, the 1,000th raises and changes nothing.
    cycle::reset();
    for (int i = 0; i < cycle::capacity - 1; i++) cycle::push(static_cast<uint32_t>(i));
    EXPECT_THROW(cycle::push(5000), error::Raised);
    EXPECT_EQ(cycle::depth(), cycle::capacity - 1);
    EXPECT_FALSE(cycle::find(5000));
    cycle::truncate(3);
    EXPECT_EQ(cycle::depth(), 3);
    cycle::truncate(10);  // never deeper than it is
    EXPECT_EQ(cycle::depth(), 3);
}

std::string text_of(const Cell& buffer) {
    std::string out;
    for (uint32_t i = 0; i < text_buffer::length(buffer); i++)
        out += static_cast<char>(text_buffer::char_at(buffer, i));
    return out;
}

TEST_F(CycleTest, MarkersStandForValuesMetAgain) {
    struct Case {
        TypeId type;
        const char* molded;
        const char* formed;
    };
    const Case cases[] = {
        {TypeId::block, "[...]", "..."},
        {TypeId::hash, "[...]", "..."},
        {TypeId::map, "#[...]", "..."},
        {TypeId::path, "...", "..."},
        {TypeId::get_path, "...", "..."},
        {TypeId::object, "make object! [...]", "..."},
    };
    for (const Case& c : cases) {
        // An object is known by its context (word 1), a series by its node.
        const Cell v = c.type == TypeId::object ? Cell{to_int(c.type), 5, 9, 0} : Cell{to_int(c.type), 9, 5, 0};
        for (bool as_mold : {true, false}) {
            Cell buffer;
            text_buffer::make(buffer);
            int32_t left = 100;
            EXPECT_FALSE(cycle_marker::write(v, buffer, left, as_mold));
            EXPECT_EQ(left, 100);
            cycle::push(5);
            EXPECT_TRUE(cycle_marker::write(v, buffer, left, as_mold));
            cycle::pop();
            const std::string expected = as_mold ? c.molded : c.formed;
            EXPECT_EQ(text_of(buffer), expected);
            EXPECT_EQ(left, 100 - static_cast<int32_t>(expected.size()));
        }
    }
    // A paren has no marker: a paren inside itself nests until too-deep.
    EXPECT_TRUE(cycle_marker::text(TypeId::paren, true).empty());
}

TEST_F(CycleTest, CellPoolThreadsEveryCellAsFree) {
    cell_pool::init();
    EXPECT_EQ(cell_pool::first_free(), 0);
    const series::Buffer* b = series::buffer(cell_pool::block());
    ASSERT_EQ(b->length(), cell_pool::size);
    const Cell* cells = reinterpret_cast<const Cell*>(b->head_ptr());
    for (uint32_t i = 0; i < cell_pool::size; i++) {
        EXPECT_EQ(type_of(cells[i]), TypeId::integer);
        EXPECT_EQ(get_int(cells[i]), i + 1 < cell_pool::size ? static_cast<int32_t>(i + 1) : -1);
    }
}

}  // namespace
}  // namespace qor
