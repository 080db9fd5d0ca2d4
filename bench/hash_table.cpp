// Hash-table insert and lookup rates next to std::unordered_map, in one run.
//
// Integer keys in a map! table (key and value cells in a block) against
// std::unordered_map<int32_t, int32_t>, and symbol interning against
// std::unordered_map<std::string, int32_t>. The table's key comparison is
// a plain payload test here; the runtime's compare action costs more.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/hash/hash_table.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/series.h"

using namespace qor;

namespace {

int32_t payload_compare(const Cell& a, const Cell& b, int) {
    return a.header == b.header && a.w2 == b.w2 ? 0 : 1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void append(NodeId block, const Cell& cell) {
    series::Buffer* b = series::buffer(block);
    if (b->capacity - b->tail < sizeof(Cell)) b = series::expand_copy(block, uint64_t{b->capacity} * 2);
    std::memcpy(b->tail_ptr(), &cell, sizeof cell);
    b->tail += sizeof(Cell);
}

void report(const char* what, size_t n, double ours, double theirs) {
    std::printf("%-28s %8.1f M/s   std::unordered_map %8.1f M/s   ratio %.2f\n", what, n / ours / 1e6,
                n / theirs / 1e6, theirs / ours);
}

}  // namespace

int main() {
    memory::init();
    hashtable::set_key_compare(payload_compare);
    const size_t n = 2000000;
    std::mt19937 rng(1);
    std::vector<int32_t> keys(n);
    for (auto& k : keys) k = static_cast<int32_t>(rng());

    // map! with integer keys
    auto t0 = std::chrono::steady_clock::now();
    NodeId table = hashtable::init(4, nullptr, hashtable::Kind::map, 1);
    NodeId block = hashtable::block_of(table);
    for (size_t i = 0; i < n; i++) {
        int32_t at = static_cast<int32_t>(series::buffer(block)->length());
        append(block, Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(keys[i]), 0});
        append(block, Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(i), 0});
        hashtable::put(table, at);
    }
    double insert_ours = seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    int64_t found = 0;
    for (size_t i = 0; i < n; i++) {
        Cell key{to_int(TypeId::integer), 0, static_cast<uint32_t>(keys[i]), 0};
        found += hashtable::find(table, key, 0, 1, hashtable::op_strict_equal) >= 0;
    }
    double lookup_ours = seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    std::unordered_map<int32_t, int32_t> map;
    for (size_t i = 0; i < n; i++) map.emplace(keys[i], static_cast<int32_t>(i));
    double insert_std = seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    for (size_t i = 0; i < n; i++) found += map.count(keys[i]);
    double lookup_std = seconds_since(t0);

    // symbol interning
    std::vector<std::string> names(n);
    for (size_t i = 0; i < n; i++) names[i] = "word-" + std::to_string(keys[i]);
    NodeId symbols = hashtable::init(4000, nullptr, hashtable::Kind::words, 0);
    t0 = std::chrono::steady_clock::now();
    for (const auto& s : names) {
        found += hashtable::intern_symbol(symbols, reinterpret_cast<const uint8_t*>(s.data()), s.size(), false) > 0;
    }
    double intern_new = seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    for (const auto& s : names) {
        found += hashtable::intern_symbol(symbols, reinterpret_cast<const uint8_t*>(s.data()), s.size(), false) > 0;
    }
    double intern_again = seconds_since(t0);
    std::unordered_map<std::string, int32_t> strings;
    t0 = std::chrono::steady_clock::now();
    for (const auto& s : names) found += strings.emplace(s, static_cast<int32_t>(strings.size())).second;
    double string_insert = seconds_since(t0);
    t0 = std::chrono::steady_clock::now();
    for (const auto& s : names) found += strings.count(s);
    double string_lookup = seconds_since(t0);

    std::printf("%zu keys (ratio > 1: the runtime's table is faster)\n", n);
    report("map! insert", n, insert_ours, insert_std);
    report("map! lookup", n, lookup_ours, lookup_std);
    report("symbol intern (new)", n, intern_new, string_insert);
    report("symbol intern (existing)", n, intern_again, string_lookup);
    std::printf("(checksum %lld)\n", static_cast<long long>(found));
    memory::release_all();
    return 0;
}
