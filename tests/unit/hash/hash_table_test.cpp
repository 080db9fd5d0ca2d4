// Hash tables of every kind: sizes, insertion, lookup, removal, growth past
// a million keys, and a hash! index kept in step with its block.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "runtime/hash/hash_table.h"
#include "runtime/hash/murmur3.h"
#include "tests/unit/hash/hash_fixture.h"

namespace qor {
namespace {

using hashtable::Kind;
using test::integer;

class HashTable : public test::HashTest {};

TEST_F(HashTable, SizesFollowTheLoadFactor) {
    NodeId small = hashtable::init(3, nullptr, Kind::map, 0);
    EXPECT_EQ(hashtable::record(small).buckets, 8);
    EXPECT_EQ(hashtable::record(small).limit, 6);
    EXPECT_EQ(hashtable::record(symbols).buckets, 16384);
    EXPECT_EQ(hashtable::record(symbols).limit, 12615);
    NodeId records = hashtable::init(10, nullptr, Kind::ownership, 3);
    EXPECT_EQ(hashtable::record(records).index, 64);
}

// ---- kind 0: hash! ----

TEST_F(HashTable, EqualKeysShareOneBucketThroughAList) {
    Cell block = test::block_of_cells({integer(7), integer(1), integer(7), integer(2), integer(7)}, TypeId::hash);
    NodeId table = hashtable::init(5, &block, Kind::hash, 1);
    EXPECT_EQ(hashtable::record(table).size, 3);  // groups: 7, 1, 2
    Cell seven = integer(7);
    EXPECT_EQ(hashtable::find(table, seven), 0);
    EXPECT_EQ(hashtable::find(table, seven, 1), 2);
    EXPECT_EQ(hashtable::find(table, seven, 0, 1, 0, true), 4);           // last
    EXPECT_EQ(hashtable::find(table, seven, 4, 1, 0, false, true), 2);    // reverse from the third
    EXPECT_EQ(hashtable::find(table, seven, 0, 2, 0), 0);                 // skip 2
    EXPECT_EQ(hashtable::find(table, seven, 1, 2, 0), -1);                // positions 1, 3 hold no 7
    EXPECT_EQ(hashtable::find(table, integer(3)), -1);
    // A float equal in value is another datatype: a group of its own.
    Cell one_float{to_int(TypeId::float_), 0, 0, 0};
    EXPECT_EQ(hashtable::find(table, one_float), -1);
}

// The block and a model of it change together; the index must answer like
// a scan of the model.
class HashBlockModel {
public:
    HashBlockModel(std::vector<int32_t> start) : values_(std::move(start)) {
        NodeId id = series::alloc_cells(values_.size() + 1);
        for (int32_t v : values_) test::append(id, integer(v));
        Cell block{to_int(TypeId::hash), 0, id, 0};
        table_ = hashtable::init(static_cast<int32_t>(values_.size()), &block, Kind::hash, 1);
        block_ = id;
    }

    void insert(int32_t at, const std::vector<int32_t>& vs) {
        int32_t n = static_cast<int32_t>(vs.size());
        int32_t length = static_cast<int32_t>(values_.size());
        for (int32_t i = 0; i < n; i++) test::append(block_, integer(0));
        Cell* cells = test::cells_of(block_);
        std::memmove(cells + at + n, cells + at, size_t(length - at) * sizeof(Cell));
        for (int32_t i = 0; i < n; i++) cells[at + i] = integer(vs[size_t(i)]);
        values_.insert(values_.begin() + at, vs.begin(), vs.end());
        if (hashtable::reindex_range(table_, n, at, length - at, true) != 0) {
            hashtable::rebuild(table_, static_cast<int32_t>(values_.size()));
            return;
        }
        for (int32_t i = 0; i < n; i++) hashtable::put(table_, at + i);
    }

    void remove(int32_t at, int32_t n) {
        int32_t length = static_cast<int32_t>(values_.size());
        if (hashtable::reindex_range(table_, -n, at + n, length - at - n, true) != 0) {
            erase_cells(at, n);
            hashtable::rebuild(table_, static_cast<int32_t>(values_.size()));
            return;
        }
        erase_cells(at, n);
    }

    // Moves n cells from `from` to before the cell at `to`.
    void move(int32_t to, int32_t from, int32_t n) {
        hashtable::move_range(table_, to, from, n);
        std::vector<int32_t> moved(values_.begin() + from, values_.begin() + from + n);
        values_.erase(values_.begin() + from, values_.begin() + from + n);
        int32_t target = to > from ? to - n : to;
        if (to >= from && to <= from + n) target = from;
        values_.insert(values_.begin() + target, moved.begin(), moved.end());
        Cell* cells = test::cells_of(block_);
        for (size_t i = 0; i < values_.size(); i++) cells[i] = integer(values_[i]);
    }

    void check(std::mt19937& rng, int probes) {
        ASSERT_EQ(test::length_of(block_), static_cast<int32_t>(values_.size()));
        std::map<int32_t, std::vector<int32_t>> where;
        for (size_t i = 0; i < values_.size(); i++) where[values_[i]].push_back(static_cast<int32_t>(i));
        EXPECT_EQ(hashtable::record(table_).size, static_cast<int32_t>(where.size()));
        for (int k = 0; k < probes; k++) {
            int32_t v = static_cast<int32_t>(rng() % 600);
            auto it = where.find(v);
            Cell key = integer(v);
            if (it == where.end()) {
                ASSERT_EQ(hashtable::find(table_, key), -1) << v;
                continue;
            }
            const auto& ps = it->second;
            ASSERT_EQ(hashtable::find(table_, key), ps.front()) << v;
            ASSERT_EQ(hashtable::find(table_, key, 0, 1, 0, true), ps.back()) << v;
            int32_t head = static_cast<int32_t>(rng() % (values_.size() + 1));
            auto after = std::lower_bound(ps.begin(), ps.end(), head);
            ASSERT_EQ(hashtable::find(table_, key, head), after == ps.end() ? -1 : *after);
            ASSERT_EQ(hashtable::find(table_, key, head, 1, 0, false, true), after == ps.begin() ? -1 : *(after - 1));
        }
    }

    size_t size() const { return values_.size(); }

private:
    void erase_cells(int32_t at, int32_t n) {
        Cell* cells = test::cells_of(block_);
        int32_t length = static_cast<int32_t>(values_.size());
        std::memmove(cells + at, cells + at + n, size_t(length - at - n) * sizeof(Cell));
        series::buffer(block_)->tail -= static_cast<uint32_t>(n * sizeof(Cell));
        values_.erase(values_.begin() + at, values_.begin() + at + n);
    }

    std::vector<int32_t> values_;
    NodeId block_ = 0;
    NodeId table_ = 0;
};

TEST_F(HashTable, HashIndexStaysInStepWithInsertRemoveAndMove) {
    std::mt19937 rng(3);
    std::vector<int32_t> start(400);
    for (auto& v : start) v = static_cast<int32_t>(rng() % 600);
    HashBlockModel model(start);
    model.check(rng, 200);
    for (int round = 0; round < 400; round++) {
        int32_t length = static_cast<int32_t>(model.size());
        switch (rng() % 3) {
            case 0: {
                std::vector<int32_t> vs(rng() % 5 + 1);
                for (auto& v : vs) v = static_cast<int32_t>(rng() % 600);
                model.insert(static_cast<int32_t>(rng() % (length + 1)), vs);
                break;
            }
            case 1:
                if (length > 10) {
                    int32_t n = static_cast<int32_t>(rng() % 5 + 1);
                    model.remove(static_cast<int32_t>(rng() % (length - n)), n);
                }
                break;
            case 2:
                if (length > 10) {
                    int32_t n = static_cast<int32_t>(rng() % 5 + 1);
                    int32_t from = static_cast<int32_t>(rng() % (length - n));
                    model.move(static_cast<int32_t>(rng() % (length + 1)), from, n);
                }
                break;
        }
        model.check(rng, 20);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HashTable, HashGrowsPastAMillionKeys) {
    const int32_t n = 1100000;
    NodeId block = series::alloc_cells(16);
    Cell value{to_int(TypeId::hash), 0, block, 0};
    NodeId table = hashtable::init(4, &value, Kind::hash, 1);
    for (int32_t i = 0; i < n; i++) {
        int32_t at = test::append(block, integer(i * 7));
        hashtable::put(table, at);
    }
    EXPECT_GE(hashtable::record(table).buckets, n);
    for (int32_t i = 0; i < n; i += 1) ASSERT_EQ(hashtable::find(table, integer(i * 7)), i);
    EXPECT_EQ(hashtable::find(table, integer(3)), -1);
    hashtable::remove_range(table, 0, n);  // covers the block: the table is reset
    EXPECT_EQ(hashtable::record(table).size, 0);
    EXPECT_EQ(hashtable::find(table, integer(7)), -1);
}

// ---- kind 1: map! ----

TEST_F(HashTable, MapKeepsTheLastValueOfARepeatedKey) {
    Cell block = test::block_of_cells({integer(1), integer(10), integer(2), integer(20), integer(1), integer(30)});
    NodeId table = hashtable::init(3, &block, Kind::map, 1);
    ASSERT_EQ(test::length_of(block.w2), 4);
    Cell* cells = test::cells_of(block.w2);
    EXPECT_EQ(cells[0].w2, 1u);
    EXPECT_EQ(cells[1].w2, 30u);
    EXPECT_EQ(cells[2].w2, 2u);
    EXPECT_EQ(cells[3].w2, 20u);
    EXPECT_EQ(hashtable::find(table, integer(2), 0, 1, hashtable::op_strict_equal), 2);

    // Removing a pair keeps the key cell; its value's header becomes 0.
    int32_t size = hashtable::record(table).size;
    int32_t occupied = hashtable::record(table).occupied;
    hashtable::remove_at(table, 0);
    EXPECT_EQ(test::cells_of(block.w2)[1].header, 0u);
    EXPECT_EQ(hashtable::record(table).size, size - 1);
    EXPECT_EQ(hashtable::record(table).occupied, occupied);
    EXPECT_EQ(hashtable::find(table, integer(1), 0, 1, hashtable::op_strict_equal), 0);
}

TEST_F(HashTable, MapFindsWordsAsSetWordsAndStringsAnyCase) {
    int32_t foo = intern("foo");
    NodeId block = series::alloc_cells(8);
    NodeId table = hashtable::init(4, nullptr, Kind::map, 1);
    hashtable::record(table).block = static_cast<int32_t>(block);
    int32_t at = test::append(block, test::word(foo, TypeId::set_word));
    test::append(block, integer(1));
    hashtable::put(table, at);
    at = test::append(block, test::latin1_string("Key"));
    test::append(block, integer(2));
    hashtable::put(table, at);

    EXPECT_EQ(hashtable::find(table, test::word(foo)), 0);
    EXPECT_EQ(hashtable::find(table, test::word(foo, TypeId::get_word)), 0);
    EXPECT_EQ(hashtable::find(table, test::latin1_string("KEY")), 2);
    EXPECT_EQ(hashtable::find(table, test::latin1_string("KEY"), 0, 1, hashtable::op_strict_equal), -1);
    // A string part key matches any string type.
    Cell part = test::latin1_string("xkeyz", 1);
    part.header = hashtable::string_part_type;
    part.w3 = 3;
    EXPECT_EQ(hashtable::find(table, part), 2);

    int32_t bucket = -1, start = 0, step = 0;
    EXPECT_EQ(hashtable::find_next(table, test::latin1_string("key"), bucket, start, step), 2);
    EXPECT_EQ(hashtable::find_next(table, test::latin1_string("key"), bucket, start, step), -1);
}

TEST_F(HashTable, MapGrowsPastAMillionKeys) {
    const int32_t n = 1050000;
    NodeId table = hashtable::init(4, nullptr, Kind::map, 1);
    NodeId block = hashtable::block_of(table);
    for (int32_t i = 0; i < n; i++) {
        int32_t at = test::append(block, integer(i));
        test::append(block, integer(-i));
        EXPECT_EQ(hashtable::put(table, at), at);
    }
    // A strictly equal key is found, not added.
    int32_t at = test::append(block, integer(5));
    EXPECT_EQ(hashtable::put(table, at), 10);
    EXPECT_EQ(hashtable::record(table).size, n);
    for (int32_t i = 0; i < n; i++) ASSERT_EQ(hashtable::find(table, integer(i), 0, 1, 2), 2 * i);
    for (int32_t i = 0; i < n; i += 2) hashtable::remove_at(table, 2 * i);
    EXPECT_EQ(hashtable::record(table).size, n / 2);
}

// ---- kind 2: symbols and word lists ----

TEST_F(HashTable, InterningGivesCaseVariantsTheirFirstSpellingAsAlias) {
    int32_t foo = intern("foo");
    EXPECT_EQ(intern("foo"), foo);
    int32_t Foo = intern("Foo");
    EXPECT_NE(Foo, foo);
    int32_t FOO = intern("FOO");
    EXPECT_EQ(hashtable::resolve_alias(Foo), foo);
    EXPECT_EQ(hashtable::resolve_alias(FOO), foo);  // never the second spelling
    EXPECT_EQ(hashtable::resolve_alias(foo), foo);
    EXPECT_EQ(intern("fOo", true), foo);            // any case: no new symbol
    int32_t count = hashtable::record(symbols).size;
    EXPECT_EQ(count, 3);
    // Case folding is ASCII only: E acute and e acute are two canonical symbols.
    int32_t upper = intern("\xC3\x89t\xC3\xA9");
    int32_t lower = intern("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(hashtable::resolve_alias(lower), lower);
    EXPECT_EQ(hashtable::resolve_alias(upper), upper);
    // The spelling reads back with a NUL after its tail.
    const Cell& entry = series::buffer(hashtable::block_of(symbols))->cells()[foo - 1];
    EXPECT_EQ(type_of(entry), TypeId::symbol);
    series::Buffer* bytes = series::buffer(entry.w3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes->head_ptr())), "foo");
    EXPECT_EQ(bytes->length(), 3u);
    // Words of both spellings hash alike.
    EXPECT_EQ(hashtable::hash_value(test::word(Foo)), hashtable::hash_value(test::word(foo)));
}

TEST_F(HashTable, SymbolTableGrowsPastAMillionSpellings) {
    const int n = 1000000;
    std::vector<int32_t> ids(n);
    char text[32];
    for (int i = 0; i < n; i++) {
        int len = std::snprintf(text, sizeof text, "%s%d", i % 2 ? "Sym" : "sym", i / 2);
        ids[size_t(i)] = hashtable::intern_symbol(symbols, reinterpret_cast<uint8_t*>(text), size_t(len), false);
    }
    EXPECT_EQ(hashtable::record(symbols).size, n);
    for (int i = 0; i < n; i++) {
        int len = std::snprintf(text, sizeof text, "%s%d", i % 2 ? "Sym" : "sym", i / 2);
        ASSERT_EQ(hashtable::intern_symbol(symbols, reinterpret_cast<uint8_t*>(text), size_t(len), false), ids[size_t(i)]);
        if (i % 2) {
            ASSERT_EQ(hashtable::resolve_alias(ids[size_t(i)]), ids[size_t(i - 1)]);
        }
    }
}

TEST_F(HashTable, WordListsFindAndAddWords) {
    int32_t a = intern("alpha"), A = intern("ALPHA"), b = intern("beta");
    NodeId context = 77;  // any node id stands for the context here
    NodeId words = hashtable::init(4, nullptr, Kind::words, 0);
    int32_t position = -5;
    EXPECT_EQ(hashtable::find_or_add_word(words, a, false, 0, &position), -1);  // absent, nothing added
    EXPECT_EQ(hashtable::find_or_add_word(words, a, false, context, &position), -1);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(hashtable::find_or_add_word(words, b, false, context, &position), -1);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(hashtable::find_or_add_word(words, a, false, context, &position), 0);
    EXPECT_EQ(hashtable::find_or_add_word(words, A, false, 0, &position), -1);  // exact: another spelling
    EXPECT_EQ(hashtable::find_or_add_word(words, A, true, 0, &position), 0);    // any case: the same word
    const Cell& cell = series::buffer(hashtable::block_of(words))->cells()[1];
    EXPECT_EQ(type_of(cell), TypeId::word);
    EXPECT_EQ(cell.w1, context);
    EXPECT_EQ(static_cast<int32_t>(cell.w2), b);
    EXPECT_EQ(cell.w3, 1u);

    for (int i = 0; i < 200000; i++) {
        std::string s = "w" + std::to_string(i);
        int32_t id = intern(s);
        int32_t at;
        ASSERT_EQ(hashtable::find_or_add_word(words, id, false, context, &at), -1);
        ASSERT_EQ(hashtable::find_or_add_word(words, id, false, context, &at), i + 2);
    }
}

// ---- kinds 3 and 4: record tables ----

TEST_F(HashTable, RecordTablesPutFindRemoveAndGrow) {
    NodeId table = hashtable::init(4, nullptr, Kind::ownership, 3);
    const uint32_t n = 1000000;
    for (uint32_t key = 1; key <= n; key++) {
        Cell* payload = hashtable::put_key(table, key);
        ASSERT_EQ(type_of(payload[0]), TypeId::unset);
        payload[0] = integer(static_cast<int32_t>(key));
        payload[2] = integer(static_cast<int32_t>(key) * 2);
    }
    EXPECT_EQ(hashtable::record(table).size, static_cast<int32_t>(n));
    for (uint32_t key = 1; key <= n; key++) {
        Cell* payload = hashtable::find_key(table, key);
        ASSERT_NE(payload, nullptr);
        ASSERT_EQ(payload[2].w2, key * 2);
    }
    EXPECT_EQ(hashtable::find_key(table, n + 1), nullptr);
    for (uint32_t key = 1; key <= n; key += 2) ASSERT_NE(hashtable::remove_key(table, key), nullptr);
    EXPECT_EQ(hashtable::remove_key(table, 1), nullptr);
    EXPECT_EQ(hashtable::find_key(table, 3), nullptr);
    EXPECT_NE(hashtable::find_key(table, 4), nullptr);
    // Putting an existing key resets its payload.
    Cell* again = hashtable::put_key(table, 4);
    EXPECT_EQ(type_of(again[2]), TypeId::unset);
    // Removed keys come back, reusing their records.
    uint32_t block_bytes = series::buffer(hashtable::block_of(table))->tail;
    for (uint32_t key = 1; key <= 1000; key += 2) (void)hashtable::put_key(table, key);
    EXPECT_EQ(series::buffer(hashtable::block_of(table))->tail, block_bytes);
    EXPECT_NE(hashtable::find_key(table, 999), nullptr);
}

// ---- hashing ----

TEST_F(HashTable, KeysHashByContentAcrossWidthsAndCase) {
    Cell lower = test::latin1_string("abc"), upper = test::latin1_string("ABC");
    EXPECT_EQ(hashtable::hash_value(lower), hashtable::hash_value(upper));
    Cell file = upper;
    file.header = to_int(TypeId::file);
    EXPECT_EQ(hashtable::hash_value(file), hashtable::hash_value(lower));
    Cell part = test::latin1_string("xABCy", 1);
    part.header = hashtable::string_part_type;
    part.w3 = 3;
    EXPECT_EQ(hashtable::hash_value(part), hashtable::hash_value(lower));
    EXPECT_EQ(hashtable::hash_value(Cell{to_int(TypeId::none), 0, 0, 0}), 0xFFFFFFFFu);
    EXPECT_EQ(hashtable::hash_value(integer(5)), hash::mix32(5));
    Cell block_a{to_int(TypeId::block), 0, 10, 0}, block_b{to_int(TypeId::block), 1, 10, 0};
    EXPECT_NE(hashtable::hash_value(block_a), hashtable::hash_value(block_b));
}

}  // namespace
}  // namespace qor
