// The hash of a key cell: through the hasher its datatype installed, and
// the hashers that several datatypes share.
#include <algorithm>
#include <array>

#include "runtime/hash/hash_table.h"
#include "runtime/hash/murmur3.h"
#include "runtime/memory/series.h"

namespace qor::hashtable {

namespace {

// One hasher per value of a header's type byte, so a corrupt cell finds an
// empty entry.
std::array<ValueHasher, 256> hashers{};

}  // namespace

uint32_t hash_cell_words(const Cell& key, int first, int last) {
    const uint32_t* words = &key.header;
    return hash::murmur3(words + first, static_cast<size_t>(last - first + 1) * 4);
}

// A string part key counts at most its word 3 units.
uint32_t hash_string_key(const Cell& key) {
    series::Buffer* b = series::buffer(key.w2);
    uint32_t length = b->length();
    uint32_t index = std::min(key.w1, length);
    uint32_t count = length - index;
    if ((key.header & 0xFF) == string_part_type && static_cast<int32_t>(key.w3) >= 0) count = std::min(count, key.w3);
    return hash::string_units(b->at(index), count, static_cast<int>(b->unit()), false);
}

void set_value_hasher(uint8_t type, ValueHasher hasher) { hashers[type] = hasher; }
ValueHasher value_hasher(uint8_t type) { return hashers[type]; }

uint32_t hash_value(const Cell& key) {
    const uint8_t t = key.header & 0xFF;
    if (t == string_part_type) return hash_string_key(key);
    const ValueHasher h = hashers[t];
    return h ? h(key) : 0;
}

}  // namespace qor::hashtable
