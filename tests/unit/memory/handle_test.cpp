// The handle table: growth, release callbacks, marking and sweeping.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/memory/handle_table.h"

namespace qor {
namespace {

std::vector<void*> released;
void record_release(void* object) { released.push_back(object); }

void* object(uintptr_t n) { return reinterpret_cast<void*>(n * 16); }

class HandleTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle::init();
        released.clear();
        kind = handle::register_kind("image", record_release);
    }
    uint32_t kind = 0;
};

TEST_F(HandleTest, TheLastFreeEntryDoublesTheTableAndEarlierIndexesKeepTheirEntries) {
    EXPECT_EQ(kind, 1u);
    EXPECT_STREQ(handle::kind_name(kind), "image");
    std::vector<int32_t> indexes;
    for (uintptr_t i = 0; i < 999; i++) indexes.push_back(handle::alloc(object(i + 1), kind));
    EXPECT_EQ(handle::capacity(), 1000u);
    // The 1,000th takes the last free entry: the table doubles first.
    indexes.push_back(handle::alloc(object(1000), kind));
    EXPECT_EQ(handle::capacity(), 2000u);
    EXPECT_EQ(indexes.back(), 999);
    for (int32_t i = 0; i < 1000; i++) {
        EXPECT_EQ(indexes[i], i);
        EXPECT_EQ(handle::entry(i).object, object(i + 1));
        EXPECT_EQ(handle::entry(i).flags, kind);
    }
    EXPECT_EQ(handle::alloc(object(1001), kind), 1000);
    for (int i = 0; i < 1000; i++) (void)handle::alloc(object(1), kind);
    EXPECT_EQ(handle::capacity(), 4000u);
    EXPECT_TRUE(released.empty());
}

TEST_F(HandleTest, FreeReleasesOnlyWhenAskedAndTheIndexIsReusedNext) {
    int32_t a = handle::alloc(object(1), kind);
    int32_t b = handle::alloc(object(2), kind);
    int32_t c = handle::alloc(object(3), kind);
    handle::free(b, false);
    EXPECT_TRUE(released.empty());
    EXPECT_EQ(handle::entry(b).flags, handle::flag::free);
    EXPECT_EQ(handle::entry(b).object, nullptr);
    EXPECT_EQ(handle::alloc(object(4), kind), b);
    handle::free(a, true);
    EXPECT_EQ(released, std::vector<void*>{object(1)});
    // A kind without a callback, and no kind at all, release nothing.
    uint32_t plain = handle::register_kind("plain", nullptr);
    int32_t d = handle::alloc(object(5), plain);
    int32_t e = handle::alloc(object(6), 0);
    handle::free(d, true);
    handle::free(e, true);
    handle::free(c, true);
    EXPECT_EQ(released, (std::vector<void*>{object(1), object(3)}));
}

TEST_F(HandleTest, SweepReleasesEveryUnmarkedEntryOnceAndKeepsTheMarked) {
    std::vector<int32_t> indexes;
    for (uintptr_t i = 0; i < 10; i++) indexes.push_back(handle::alloc(object(i + 1), kind));
    for (int32_t i : indexes) {
        if (i % 3 == 0) {
            EXPECT_TRUE(handle::mark(i));
        }
    }
    EXPECT_FALSE(handle::mark(indexes[0]));
    handle::mark(indexes[3], object(99));  // a new object replaces the entry's
    handle::sweep();
    EXPECT_EQ(released.size(), 6u);
    for (int32_t i : indexes) {
        bool kept = i % 3 == 0;
        EXPECT_EQ((handle::entry(i).flags & handle::flag::free) == 0, kept) << i;
        if (kept) {
            EXPECT_EQ(handle::entry(i).flags & handle::flag::marked, 0u);
        }
    }
    EXPECT_EQ(handle::entry(indexes[3]).object, object(99));
    // Unmarked now, the survivors go in the next sweep; nothing goes twice.
    handle::sweep();
    EXPECT_EQ(released.size(), 10u);
    handle::sweep();
    EXPECT_EQ(released.size(), 10u);
    // The used list runs newest first, so the oldest entry is released last
    // and is the next handed out.
    EXPECT_EQ(handle::alloc(object(7), kind), indexes[0]);
}

TEST_F(HandleTest, KindsAreBoundedByTheTable) {
    for (uint32_t n = 2; n <= handle::max_kinds; n++) EXPECT_EQ(handle::register_kind("k", nullptr), n);
    EXPECT_EQ(handle::register_kind("one too many", nullptr), 0u);
    EXPECT_EQ(handle::kind_name(0), nullptr);
    EXPECT_EQ(handle::kind_name(21), nullptr);
}

}  // namespace
}  // namespace qor
