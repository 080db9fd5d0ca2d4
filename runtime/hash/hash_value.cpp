// The hash of a key cell, by its datatype.
#include <algorithm>
#include <cstring>

#include "runtime/datatypes/date_calendar.h"
#include "runtime/hash/hash_table.h"
#include "runtime/hash/murmur3.h"
#include "runtime/memory/series.h"

namespace qor::hashtable {

namespace {

uint32_t murmur_words(const Cell& c, int first, int last) {
    const uint32_t* words = &c.header;
    return hash::murmur3(words + first, static_cast<size_t>(last - first + 1) * 4);
}

// Case-folded hash of a string's characters from its index (a string part
// key: at most its count).
uint32_t string_hash(const Cell& key) {
    series::Buffer* b = series::buffer(key.w2);
    uint32_t length = b->length();
    uint32_t index = std::min(key.w1, length);
    uint32_t count = length - index;
    if ((key.header & 0xFF) == string_part_type && static_cast<int32_t>(key.w3) >= 0) count = std::min(count, key.w3);
    return hash::string_units(b->at(index), count, static_cast<int>(b->unit()), false);
}

uint32_t binary_hash(const Cell& key) {
    series::Buffer* b = series::buffer(key.w2);
    uint32_t length = b->length();
    uint32_t index = std::min(key.w1, length);
    return hash::murmur3(b->at(index), length - index);
}

// The whole cell with its header cut to the type and the sign; a zero
// (all digits 0, the currency in the low byte of word 1 aside) has no sign.
uint32_t money_hash(const Cell& key) {
    Cell c = key;
    c.header &= cell_flag::type_mask | cell_flag::money_negative;
    if ((c.w1 >> 8) == 0 && c.w2 == 0 && c.w3 == 0) c.header &= ~cell_flag::money_negative;
    return murmur_words(c, 0, 3);
}

// Dates that are equal denote the same instant, whatever their zones: the
// hash is that of the instant.
uint32_t date_hash(const Cell& key) {
    const date::Instant at = date::utc_instant(date::word_of(key), date::time_of(key));
    uint32_t words[3] = {static_cast<uint32_t>(at.day), 0, 0};
    std::memcpy(&words[1], &at.time, sizeof at.time);
    return hash::murmur3(words, sizeof words);
}

uint32_t tuple_hash(const Cell& key) {
    uint32_t length = (key.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
    return hash::murmur3(&key.w1, std::min<uint32_t>(length, 12));
}

}  // namespace

uint32_t hash_value(const Cell& key) {
    uint8_t t = key.header & 0xFF;
    if (t == string_part_type) return string_hash(key);
    switch (static_cast<TypeId>(t)) {
        case TypeId::integer: case TypeId::char_:
            return hash::mix32(key.w2);
        case TypeId::word: case TypeId::set_word: case TypeId::lit_word: case TypeId::get_word:
        case TypeId::refinement: case TypeId::issue:
            return hash::mix32(static_cast<uint32_t>(resolve_alias(static_cast<int32_t>(key.w2))));
        case TypeId::symbol: {
            series::Buffer* b = series::buffer(key.w3);
            return hash_spelling(b->head_ptr(), b->length());
        }
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
        case TypeId::ref:
            return string_hash(key);
        case TypeId::float_: case TypeId::pair: case TypeId::percent: case TypeId::time:
            return murmur_words(key, 2, 3);
        case TypeId::point2d:
            return murmur_words(key, 1, 2);
        case TypeId::point3d:
            return murmur_words(key, 1, 3);
        case TypeId::none:
            return 0xFFFFFFFF;  // -1
        case TypeId::unset:
            return 0xFFFFFFFE;  // -2
        case TypeId::money:
            return money_hash(key);
        case TypeId::binary:
            return binary_hash(key);
        case TypeId::tuple:
            return tuple_hash(key);
        case TypeId::op: case TypeId::function: case TypeId::triple: case TypeId::typeset:
            return murmur_words(key, 1, 3);
        case TypeId::date:
            return date_hash(key);
        case TypeId::object: case TypeId::error: case TypeId::port: case TypeId::logic: case TypeId::datatype:
            return hash::mix32(key.w1);
        case TypeId::native: case TypeId::action:
            return hash::mix32(key.w3);
        case TypeId::map: case TypeId::handle: case TypeId::event:
            return hash::mix32(key.w2);
        case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path: case TypeId::set_path:
        case TypeId::get_path: case TypeId::hash: case TypeId::image:
            return murmur_words(key, 1, 2);
        default:
            return 0;
    }
}

}  // namespace qor::hashtable
