// The stable merge sort and the quicksort against a reference order, on
// inputs with many ties, records of several widths and hostile callbacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <stdexcept>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/sort/record_sort.h"

namespace qor {
namespace {

// A record is `width` bytes: a 16-bit key first, then the record's original
// position (when it fits), then filler. The order compares keys only, so
// the position shows whether equal records kept their order.
struct Table {
    size_t width;
    std::vector<uint8_t> bytes;

    size_t count() const { return bytes.size() / width; }
    uint16_t key(size_t i) const {
        uint16_t k;
        std::memcpy(&k, &bytes[i * width], 2);
        return k;
    }
    uint32_t tag(size_t i) const {
        uint32_t t = 0;
        std::memcpy(&t, &bytes[i * width + 2], std::min<size_t>(4, width - 2));
        return t;
    }
};

struct Counter {
    long calls = 0;
    long throw_after = -1;  // raise an error on this call
    bool random = false;    // answer at random
    std::mt19937 rng{5};
};

int32_t by_key(const void* a, const void* b, void* arg1, void* arg2) {
    auto* counter = static_cast<Counter*>(arg1);
    EXPECT_EQ(arg2, reinterpret_cast<void*>(0x1234));
    if (counter->calls++ == counter->throw_after) error::fire(error::Id::invalid_compare);
    if (counter->random) return static_cast<int32_t>(counter->rng() % 3) - 1;
    uint16_t x, y;
    std::memcpy(&x, a, 2);
    std::memcpy(&y, b, 2);
    return x < y ? -1 : x > y ? 1 : 0;
}

enum class Shape {
    random_ties, sorted, reversed, reversed_with_ties, nearly_sorted, nearly_reversed, organ_pipe, all_equal,
    few_swaps,  // distinct keys in order, one in a hundred swapped away
};

Table make_table(size_t n, size_t width, Shape shape, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> keys(n);
    for (size_t i = 0; i < n; i++) keys[i] = static_cast<uint16_t>(rng() % (n / 8 + 2));  // many ties
    switch (shape) {
        case Shape::random_ties: break;
        case Shape::sorted: std::sort(keys.begin(), keys.end()); break;
        case Shape::reversed: std::iota(keys.rbegin(), keys.rend(), uint16_t(0)); break;  // n below 65,536
        case Shape::reversed_with_ties: std::sort(keys.rbegin(), keys.rend()); break;
        case Shape::nearly_sorted:
        case Shape::nearly_reversed:
            std::sort(keys.begin(), keys.end());
            for (size_t k = 0; k < n / 50 + 1 && n > 1; k++) std::swap(keys[rng() % n], keys[rng() % n]);
            if (shape == Shape::nearly_reversed) std::reverse(keys.begin(), keys.end());
            break;
        case Shape::organ_pipe:
            for (size_t i = 0; i < n; i++) keys[i] = static_cast<uint16_t>(std::min(i, n - i));
            break;
        case Shape::all_equal: std::fill(keys.begin(), keys.end(), 7); break;
        case Shape::few_swaps:
            std::iota(keys.begin(), keys.end(), uint16_t(0));
            for (size_t k = 0; k < n / 200; k++) std::swap(keys[rng() % n], keys[rng() % n]);
            break;
    }
    Table t{width, std::vector<uint8_t>(n * width)};
    for (size_t i = 0; i < n; i++) {
        uint8_t* r = &t.bytes[i * width];
        std::memcpy(r, &keys[i], 2);
        uint32_t tag = static_cast<uint32_t>(i);
        std::memcpy(r + 2, &tag, std::min<size_t>(4, width - 2));
        for (size_t k = 6; k < width; k++) r[k] = static_cast<uint8_t>(keys[i] * 31 + k);
    }
    return t;
}

// The records as (key, tag, filler) tuples, for comparing contents.
std::vector<std::vector<uint8_t>> records(const Table& t) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = 0; i < t.count(); i++) out.emplace_back(&t.bytes[i * t.width], &t.bytes[(i + 1) * t.width]);
    return out;
}

// Whether `after` holds exactly the records of `before`, in any order: each
// record's tag (when the width has room for a whole one) names its original.
bool same_records(const Table& before, const Table& after) {
    size_t n = before.count();
    if (after.count() != n) return false;
    if (before.width < 6) {
        auto a = records(before), b = records(after);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        return a == b;
    }
    std::vector<uint8_t> seen(n, 0);
    for (size_t i = 0; i < n; i++) {
        uint32_t tag = after.tag(i);
        if (tag >= n || seen[tag]) return false;
        seen[tag] = 1;
        if (std::memcmp(&after.bytes[i * after.width], &before.bytes[tag * before.width], before.width) != 0) return false;
    }
    return true;
}

std::vector<std::vector<uint8_t>> stable_reference(const Table& t) {
    auto r = records(t);
    std::stable_sort(r.begin(), r.end(), [](const auto& a, const auto& b) {
        uint16_t x, y;
        std::memcpy(&x, a.data(), 2);
        std::memcpy(&y, b.data(), 2);
        return x < y;
    });
    return r;
}

const Shape all_shapes[] = {Shape::random_ties,   Shape::sorted,          Shape::reversed,
                            Shape::reversed_with_ties, Shape::nearly_sorted, Shape::nearly_reversed,
                            Shape::organ_pipe,    Shape::all_equal};
void* const arg2 = reinterpret_cast<void*>(0x1234);

TEST(StableSort, MatchesTheStableReferenceOrder) {
    for (size_t width : {3, 4, 6, 16, 20}) {
        for (size_t n : {0, 1, 2, 3, 7, 8, 23, 24, 25, 48, 100, 1000, 20000}) {
            if (n > 1000 && width != 4 && width != 16) continue;  // the large cases at two widths
            for (Shape shape : all_shapes) {
                Table t = make_table(n, width, shape, static_cast<unsigned>(n * 7 + width));
                auto want = stable_reference(t);
                Counter counter;
                EXPECT_EQ(sort::stable_sort(t.bytes.data(), n, width, &counter, arg2, by_key), n);
                ASSERT_EQ(records(t), want) << "n=" << n << " width=" << width << " shape=" << int(shape);
                if (n < 2) {
                    EXPECT_EQ(counter.calls, 0);
                }
            }
        }
    }
}

TEST(StableSort, OrderedInputTakesLinearComparisons) {
    for (Shape shape : {Shape::sorted, Shape::reversed, Shape::all_equal}) {
        size_t n = 60000;
        Table t = make_table(n, 6, shape, 1);
        Counter counter;
        sort::stable_sort(t.bytes.data(), n, 6, &counter, arg2, by_key);
        EXPECT_LT(counter.calls, static_cast<long>(n)) << int(shape);
    }
    // Random input stays within n log n.
    size_t n = 100000;
    Table t = make_table(n, 6, Shape::random_ties, 2);
    Counter counter;
    sort::stable_sort(t.bytes.data(), n, 6, &counter, arg2, by_key);
    EXPECT_LT(counter.calls, static_cast<long>(n * 20));
}

TEST(QuickSort, SortsEveryShapeAndKeepsEveryRecord) {
    for (size_t width : {2, 3, 4, 16, 20}) {
        for (size_t n : {0, 1, 2, 3, 7, 8, 9, 24, 63, 64, 100, 512, 513, 1000, 20000}) {
            if (n > 1000 && width != 4 && width != 16) continue;  // the large cases at two widths
            for (Shape shape : all_shapes) {
                Table t = make_table(n, width, shape, static_cast<unsigned>(n * 5 + width));
                Table original = t;
                Counter counter;
                sort::quick_sort(t.bytes.data(), n, width, &counter, arg2, by_key);
                for (size_t i = 1; i < n; i++) ASSERT_LE(t.key(i - 1), t.key(i)) << "n=" << n << " shape=" << int(shape);
                ASSERT_TRUE(same_records(original, t));
                if (n < 2) {
                    EXPECT_EQ(counter.calls, 0);
                }
            }
        }
    }
}

TEST(QuickSort, OrderedAndNearlyOrderedInputStaysCheap) {
    size_t n = 60000;
    for (Shape shape : {Shape::sorted, Shape::reversed, Shape::all_equal}) {
        Table t = make_table(n, 6, shape, 3);
        Counter counter;
        sort::quick_sort(t.bytes.data(), n, 6, &counter, arg2, by_key);
        EXPECT_LT(counter.calls, static_cast<long>(n + n / 50)) << int(shape);
    }
    // A nearly ordered input is mostly kept as it is: far fewer comparisons
    // than partitioning would take.
    Table few = make_table(n, 6, Shape::few_swaps, 3);
    Counter counter;
    sort::quick_sort(few.bytes.data(), n, 6, &counter, arg2, by_key);
    for (size_t i = 1; i < n; i++) ASSERT_LE(few.key(i - 1), few.key(i));
    EXPECT_LT(counter.calls, static_cast<long>(3 * n));
    for (Shape shape : {Shape::random_ties, Shape::nearly_sorted, Shape::nearly_reversed, Shape::organ_pipe}) {
        Table t = make_table(n, 6, shape, 4);
        Counter counter;
        sort::quick_sort(t.bytes.data(), n, 6, &counter, arg2, by_key);
        EXPECT_LT(counter.calls, static_cast<long>(n * 40)) << int(shape);  // n log n, far from n²
    }
}

// An error raised by the callback, or a callback that answers at random,
// never loses or duplicates a record.
TEST(RecordSorts, HostileCallbacksLeaveEveryRecordPresent) {
    for (bool stable : {false, true}) {
        for (long throw_after : {0L, 5L, 300L, 5000L}) {
            Table t = make_table(3000, 6, Shape::random_ties, 9);
            auto before = records(t);
            Counter counter;
            counter.throw_after = throw_after;
            EXPECT_THROW(stable ? (void)sort::stable_sort(t.bytes.data(), 3000, 6, &counter, arg2, by_key)
                                : sort::quick_sort(t.bytes.data(), 3000, 6, &counter, arg2, by_key),
                         error::Raised);
            auto after = records(t);
            std::sort(before.begin(), before.end());
            std::sort(after.begin(), after.end());
            EXPECT_EQ(after, before);
        }
        Table t = make_table(3000, 6, Shape::random_ties, 10);
        auto before = records(t);
        Counter counter;
        counter.random = true;
        if (stable) sort::stable_sort(t.bytes.data(), 3000, 6, &counter, arg2, by_key);
        else sort::quick_sort(t.bytes.data(), 3000, 6, &counter, arg2, by_key);
        auto after = records(t);
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, before);
    }
}

}  // namespace
}  // namespace qor
