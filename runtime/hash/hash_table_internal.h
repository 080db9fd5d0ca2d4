// Shared pieces of the hash-table files: the record's series, bucket
// states, slots, sizes and probing.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"

namespace qor::hashtable::detail {

// Bucket states, two bits each: bit 1 empty, bit 0 deleted, neither live.
enum class State : uint32_t { live = 0, deleted = 1, empty = 2 };

[[nodiscard]] inline uint32_t* flag_words(const Record& r) {
    return reinterpret_cast<uint32_t*>(series::buffer(static_cast<NodeId>(r.flags))->data());
}
[[nodiscard]] inline State state(const uint32_t* words, uint32_t bucket) {
    return static_cast<State>((words[bucket >> 4] >> ((bucket & 15) * 2)) & 3);
}
inline void set_state(uint32_t* words, uint32_t bucket, State s) {
    uint32_t shift = (bucket & 15) * 2;
    words[bucket >> 4] = (words[bucket >> 4] & ~(3u << shift)) | static_cast<uint32_t>(s) << shift;
}

[[nodiscard]] inline int32_t* slot_words(const Record& r) {
    return reinterpret_cast<int32_t*>(series::buffer(static_cast<NodeId>(r.slots))->data());
}

// The cells of the table's block from its head.
[[nodiscard]] inline Cell* block_cells(const Record& r) {
    return series::buffer(static_cast<NodeId>(r.block))->cells();
}
[[nodiscard]] inline int32_t block_length(const Record& r) {
    return static_cast<int32_t>(series::buffer(static_cast<NodeId>(r.block))->length());
}

// n rounded up to a power of two (a power of two maps to itself).
[[nodiscard]] inline uint32_t next_power_of_2(uint32_t n) {
    n--;
    n |= n >> 1;
    n |= n >> 2;
    n |= n >> 4;
    n |= n >> 8;
    n |= n >> 16;
    return n + 1;
}

// Bytes of the flag series for a bucket count (whole 32-bit words).
[[nodiscard]] inline uint32_t flag_bytes(uint32_t buckets) { return (buckets + 15) / 16 * 4; }

// New flag and slot series for `buckets` buckets, all empty; answers them
// through the out parameters. Allocates.
void make_bucket_arrays(uint32_t buckets, NodeId& flags, NodeId& slots);

// The growth request when occupied reaches the limit: the same size again
// when deleted buckets make up much of it, else larger.
[[nodiscard]] inline int32_t growth_request(const Record& r) {
    return r.buckets > 2 * r.size ? r.buckets - 1 : r.buckets + 1;
}

// Walks a probe sequence: first bucket hash & mask, then +1, +2, +3 ...
struct Probe {
    uint32_t mask;
    uint32_t bucket;
    uint32_t start;
    uint32_t step = 0;
    Probe(uint32_t hash, uint32_t buckets) : mask(buckets - 1), bucket(hash & (buckets - 1)), start(bucket) {}
    // Moves on; false once the sequence is back at its first bucket.
    bool next() {
        step++;
        bucket = (bucket + step) & mask;
        return bucket != start;
    }
};

// Walks a key's probe sequence up to its first empty bucket. Answers the
// first live bucket for which matches(bucket) holds, or -1; then
// `free_bucket` is where a new key goes: the last deleted bucket passed,
// else the empty one that ended the walk.
template <class Matches>
int64_t probe_for_key(const uint32_t* flags, Probe probe, uint32_t& free_bucket, Matches&& matches) {
    int64_t deleted = -1;
    do {
        State s = state(flags, probe.bucket);
        if (s == State::empty) break;
        if (s == State::deleted) {
            deleted = probe.bucket;
            continue;
        }
        if (matches(probe.bucket)) return probe.bucket;
    } while (probe.next());
    free_bucket = deleted >= 0 ? static_cast<uint32_t>(deleted) : probe.bucket;
    return -1;
}

// Installed comparisons.
extern KeyCompare key_compare;
extern MapKeyCheck map_key_check;

}  // namespace qor::hashtable::detail
