// Changing case in place.
#include "runtime/unicode/case_change.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/error_fire.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/string_codec.h"

namespace qor::unicode {

namespace {

uint32_t read_unit(const uint8_t* p, uint32_t unit) {
    uint32_t v = 0;
    std::memcpy(&v, p, unit);
    return v;
}

void write_unit(uint8_t* p, uint32_t unit, uint32_t cp) {
    switch (unit) {
        case 1: *p = static_cast<uint8_t>(cp); break;
        case 2: { uint16_t u = static_cast<uint16_t>(cp); std::memcpy(p, &u, 2); break; }
        default: std::memcpy(p, &cp, 4); break;
    }
}

[[noreturn]] void raise_bad_part(const Cell& part) {
    Cell refinement{to_int(TypeId::none), 0, 0, 0};
    if (NodeId symbols = hashtable::symbol_table()) {
        int32_t id = hashtable::intern_symbol(symbols, reinterpret_cast<const uint8_t*>("part"), 4, false);
        refinement = Cell{to_int(TypeId::refinement), 0, static_cast<uint32_t>(id), 0};
    }
    error::fire(error::Id::invalid_refine_arg, {refinement, part});
}

// How many characters from `index` the part argument covers.
int64_t part_count(const Cell& value, const Cell& part, int64_t available) {
    int64_t count;
    if (type_of(part) == TypeId::integer) {
        count = get_int(part);
    } else if (is_any_string(type_of(part)) && part.w2 == value.w2) {
        count = int64_t{part.w1} - int64_t{value.w1};
    } else {
        raise_bad_part(part);
    }
    return std::clamp<int64_t>(count, 0, available);
}

}  // namespace

void change_case(Cell& value, CaseDirection direction, const Cell* part) {
    if (type_of(value) == TypeId::char_) {
        value.w2 = convert_case(value.w2, direction);
        return;
    }
    series::Buffer* b = series::buffer(value.w2);
    uint32_t length = b->length();
    uint32_t index = std::min(value.w1, length);
    int64_t count = length - index;
    if (part) count = part_count(value, *part, count);
    // Widen once, before writing, when a converted character needs it.
    uint32_t largest = 0;
    for (int64_t i = 0; i < count; i++) {
        largest = std::max(largest, convert_case(read_unit(b->at(index + uint32_t(i)), b->unit()), direction));
    }
    uint32_t needed = largest > 0xFFFF ? 4 : largest > 0xFF ? 2 : 1;
    if (needed > b->unit()) b = widen(value.w2, needed);
    uint32_t unit = b->unit();
    for (int64_t i = 0; i < count; i++) {
        uint8_t* at = b->at(index + uint32_t(i));
        write_unit(at, unit, convert_case(read_unit(at, unit), direction));
    }
}

}  // namespace qor::unicode
