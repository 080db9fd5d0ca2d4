// Record arrays: series of bytes or 32-bit records.
#include <gtest/gtest.h>

#include "runtime/hash/record_array.h"
#include "tests/unit/hash/hash_fixture.h"

namespace qor {
namespace {

class RecordArray : public test::HashTest {};

TEST_F(RecordArray, ThirtyTwoBitRecords) {
    NodeId a = test::keep_block(array::make(0, 4));
    EXPECT_EQ(array::length(a), 0u);
    EXPECT_EQ(array::flags(a) & series::flag::unit_mask, 4u);
    for (uint32_t v : {10u, 20u, 30u}) array::append_u32(a, v);
    EXPECT_EQ(array::length(a), 3u);
    EXPECT_EQ(array::find_u32(a, 10), 0);
    EXPECT_EQ(array::find_u32(a, 30), 8);
    EXPECT_EQ(array::find_u32(a, 99), -1);
    array::remove_u32(a, 99);
    EXPECT_EQ(array::length(a), 3u);
    array::remove_u32(a, 20);
    EXPECT_EQ(array::length(a), 2u);
    EXPECT_EQ(array::pick_u32(a, 2), 30u);
    array::poke_u32(a, 1, 11);
    EXPECT_EQ(array::pick_u32(a, 1), 11u);
    array::clear(a);
    EXPECT_EQ(array::length(a), 0u);
    // Growth keeps every record.
    for (uint32_t i = 0; i < 10000; i++) array::append_u32(a, i * 3);
    for (uint32_t i = 0; i < 10000; i++) ASSERT_EQ(array::pick_u32(a, i + 1), i * 3);
}

TEST_F(RecordArray, Bytes) {
    NodeId b = test::keep_block(array::make(4, 1));
    array::append_bytes(b, "hello", 5);
    array::append_byte(b, '!');
    EXPECT_EQ(array::length(b), 6u);
    array::remove_bytes(b, 1, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(series::buffer(b)->head_ptr()), array::length(b)), "ho!");
    array::remove_bytes(b, 2, 50);  // clamped to the tail
    EXPECT_EQ(array::length(b), 2u);
    array::remove_bytes(b, 9, 1);   // past the tail: nothing
    EXPECT_EQ(array::length(b), 2u);
}

}  // namespace
}  // namespace qor
