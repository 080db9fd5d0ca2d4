// hash!: making and converting, find and select through the index, mold,
// copy, sort and trim, and a long random run of changes in which every
// lookup must agree with a linear search of the same cells.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "runtime/hash/hash_table.h"
#include "tests/unit/maps/maps_fixture.h"

namespace qor::test {
namespace {

// The same cells seen as a plain block, which finds by a linear search.
Cell plain(Cell h) {
    set_header(h, TypeId::block);
    h.w3 = 0;
    return h;
}

// index? of a find result, 0 for none.
int32_t index_of(const Cell& found) {
    return type_of(found) == TypeId::none ? 0 : int32_t(found.w1) + 1;
}

// Every lookup of each key (first and last, from the head) agrees with the
// linear search, and the index holds one group per distinct value: a stale
// entry for a position that no longer holds its value would add a group.
void expect_index_agrees(const Cell& h, const std::vector<Cell>& keys) {
    const Cell head = at(h, 0);
    int32_t groups = 0;
    std::vector<bool> present;
    for (size_t i = 0; i < keys.size(); i++) {
        for (bool last : {false, true}) {
            const int32_t want = index_of(find_in(plain(head), keys[i], false, last));
            ASSERT_EQ(index_of(find_in(head, keys[i], false, last)), want) << describe(keys[i]) << " last " << last;
            if (!last) present.push_back(want != 0);
        }
        // Values equal? to each other ("k" and "K") share one group.
        bool grouped = false;
        for (size_t j = 0; j < i && !grouped; j++)
            grouped = present[j] && actions::compare_order(keys[j], keys[i], CompareOp::equal) == 0;
        if (present[i] && !grouped) groups++;
    }
    EXPECT_EQ(hashtable::record(h.w3).size, groups);
}

TEST_F(MapsTest, HashFindsFirstAndLastOccurrences) {
    const Cell h = make_hash(K({W("x"), I(1), W("x"), I(2), W("x")}));
    EXPECT_EQ(index_of(find_in(h, typed(W("x"), TypeId::lit_word), false, true)), 5);
    EXPECT_EQ(index_of(find_in(h, W("x"))), 1);
    EXPECT_EQ(index_of(find_in(at(h, 1), W("x"))), 3);
    EXPECT_EQ(index_of(find_in(h, I(2))), 4);
    EXPECT_EQ(get_int(select_in(h, W("x"))), 1);
    EXPECT_EQ(index_of(find_in(h, I(3))), 0);
}

TEST_F(MapsTest, HashFindsTextAsABlockDoes) {
    const Cell b = K({I(1), S("abc"), I(2), S("ABC")});
    const Cell h = make_hash(b);
    for (bool exact : {false, true})
        for (const char* text : {"abc", "ABC", "Abc", "ab"})
            EXPECT_EQ(index_of(find_in(h, S(text), exact)), index_of(find_in(b, S(text), exact)))
                << text << " case " << exact;
    EXPECT_EQ(index_of(find_in(h, S("ABC"))), 2);
}

TEST_F(MapsTest, HashMakeToAndMold) {
    const Cell empty = make_hash(I(0));
    EXPECT_EQ(length_of(empty), 0);
    act(Action::append, {empty, I(7)});
    act(Action::append, {empty, I(8)});
    EXPECT_EQ(index_of(find_in(empty, I(8))), 2);

    const Cell h = make_hash(K({I(1), I(2), I(3)}));
    EXPECT_EQ(M(h), "make hash! [1 2 3]");
    EXPECT_EQ(mold_only(h), "1 2 3");
    EXPECT_EQ(text_of(act(Action::mold, {h}, {off, off, off, Ref::with(I(13))})), "make hash! [1");

    // make copies the block from its position; to takes any value.
    const Cell source = K({I(1), I(2), I(3)});
    const Cell from_two = make_hash(at(source, 1));
    act(Action::append, {source, I(2)});
    EXPECT_EQ(M(from_two), "make hash! [2 3]");
    EXPECT_EQ(index_of(find_in(from_two, I(3))), 2);
    const Cell converted = act(Action::to, {T(TypeId::hash), I(5)});
    EXPECT_EQ(M(converted), "make hash! [5]");
    EXPECT_EQ(index_of(find_in(converted, I(5))), 1);
    const Cell again = act(Action::to, {T(TypeId::hash), h});
    EXPECT_EQ(index_of(find_in(again, I(3))), 3);
    EXPECT_NE(error_of([&] { act(Action::random, {h}); }), "");
}

TEST_F(MapsTest, HashCopyKeepsTheSourceIndexApart) {
    const Cell h = make_hash(K({I(1), I(2), I(3), I(2)}));
    const Cell whole = act(Action::copy, {h});
    const Cell part = act(Action::copy, {at(h, 1)}, {Ref::with(I(2))});
    const Cell deep = act(Action::copy, {h}, {off, Ref::on()});
    act(Action::append, {whole, I(99)});
    act(Action::insert, {part, I(99)});
    EXPECT_EQ(index_of(find_in(h, I(99))), 0);
    EXPECT_EQ(index_of(find_in(whole, I(99))), 5);
    EXPECT_EQ(M(part), "make hash! [99 2 3]");
    EXPECT_EQ(index_of(find_in(part, I(3))), 3);
    EXPECT_EQ(type_of(deep), TypeId::hash);
    EXPECT_EQ(index_of(find_in(deep, I(2), false, true)), 4);
    expect_index_agrees(h, {I(1), I(2), I(3), I(99)});
    // A part taken from a hash! is a hash! with its own index, even an empty one.
    for (int n : {0, 2}) {
        const Cell taken = act(Action::take, {whole}, {Ref::with(I(n))});
        EXPECT_EQ(type_of(taken), TypeId::hash);
        EXPECT_EQ(index_of(find_in(taken, I(2))), n ? 2 : 0);
    }
    expect_index_agrees(whole, {I(1), I(2), I(3), I(99)});
}

TEST_F(MapsTest, HashSortReindexes) {
    const Cell h = make_hash(K({I(5), I(3), I(9), I(1), I(3), I(7)}));
    act(Action::sort, {h});
    EXPECT_EQ(M(h), "make hash! [1 3 3 5 7 9]");
    expect_index_agrees(h, {I(1), I(3), I(5), I(7), I(9)});
    // Sorting from a position leaves the cells before it indexed as they were.
    const Cell g = make_hash(K({I(9), I(8), I(2), I(7), I(1)}));
    act(Action::sort, {at(g, 2)});
    EXPECT_EQ(M(g), "make hash! [9 8 1 2 7]");
    expect_index_agrees(g, {I(1), I(2), I(7), I(8), I(9)});
}

TEST_F(MapsTest, HashTrimLeavesNoStaleEntries) {
    // trim from a position past the head: the cells behind the new tail
    // must lose their index entries.
    const Cell h = make_hash(K({none_v, I(1), none_v, I(2), none_v, I(3), I(4)}));
    act(Action::trim, {at(h, 2)});
    EXPECT_EQ(M(h), "make hash! [none 1 2 3 4]");
    expect_index_agrees(h, {none_v, I(1), I(2), I(3), I(4)});
    act(Action::append, {h, I(9)});
    act(Action::append, {h, I(9)});
    EXPECT_EQ(index_of(find_in(h, I(9), false, true)), 7);
    expect_index_agrees(h, {none_v, I(1), I(2), I(3), I(4), I(9)});
}

#if defined(__SANITIZE_ADDRESS__)
constexpr int random_steps = 100'000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int random_steps = 100'000;
#else
constexpr int random_steps = 1'000'000;
#endif
#else
constexpr int random_steps = 1'000'000;
#endif

// A million inserts, removals, appends and pokes at random positions of a
// hash! of repeated values (integers, and strings equal ignoring case):
// after each change a random lookup agrees with the linear search, and now
// and then every key's.
TEST_F(MapsTest, HashAgreesWithLinearSearchUnderRandomChanges) {
    std::mt19937 rng(20261210);
    std::vector<Cell> keys;
    for (int i = 0; i < 40; i++) keys.push_back(I(i));
    for (const char* s : {"k", "K", "key", "KEY", "Key"}) keys.push_back(S(s));
    const Cell h = make_hash(I(0));
    stack::push(h);  // kept for the collector
    auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
    auto key = [&] { return keys[pick(uint32_t(keys.size()))]; };
    for (int step = 0; step < random_steps; step++) {
        const uint32_t length = series::buffer(h.w2)->length();
        const uint32_t op = pick(10);
        if (length < 60 && op < 2) {
            act(Action::append, {h, key()});
        } else if (op < 4 && length < 120) {
            act(Action::insert, {at(h, pick(length + 1)), key()});
        } else if (op < 8 && length > 0) {
            act(Action::remove, {at(h, pick(length))});
        } else if (length > 0) {
            act(Action::poke, {h, I(int32_t(pick(length)) + 1), key()});
        }
        const Cell probe = key();
        // find/last of a block also looks before the position; from the
        // head the two searches mean the same.
        const bool last = pick(2) != 0;
        const Cell from = at(h, last ? 0 : pick(series::buffer(h.w2)->length() + 1));
        ASSERT_EQ(index_of(find_in(from, probe, false, last)), index_of(find_in(plain(from), probe, false, last)))
            << "step " << step << ": " << describe(probe) << " from " << from.w1 << " in " << M(h);
        if (step % 20'000 == 0) expect_index_agrees(h, keys);
    }
    expect_index_agrees(h, keys);
}

}  // namespace
}  // namespace qor::test
