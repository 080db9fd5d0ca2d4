// The matching tests that the PARSE engine applies to string and binary
// input.
#include "runtime/datatypes/bitset.h"
#include "runtime/memory/series.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"

namespace qor {

namespace string_type {

bool char_in_bitset(const Cell& input, const Cell& bitset) {
    if (str::length_at(input) == 0) return false;
    return bitset::has(bitset, str::char_at(input, 0));
}

bool enclosed_in_angles(const Cell& input, const Cell& tag) {
    const uint32_t n = str::length_at(tag);
    if (str::length_at(input) < n + 2) return false;
    return str::char_at(input, 0) == '<' && str::char_at(input, n + 1) == '>';
}

bool match_value(const Cell& input, const Cell& value, CompareOp op) {
    const TypeId t = type_of(value);
    if (t == TypeId::char_) {
        if (str::length_at(input) == 0) return false;
        const uint32_t c = str::char_at(input, 0);
        return op == CompareOp::strict_equal ? c == value.w2 : str::fold(c) == str::fold(value.w2);
    }
    if (t == TypeId::tag) {
        if (!enclosed_in_angles(input, value)) return false;
        const Cell after{input.header, input.w1 + 1, input.w2, 0};
        return compare_values(after, value, op, true) == 0;
    }
    if (t == TypeId::string || t == TypeId::file || t == TypeId::url || t == TypeId::email || t == TypeId::ref)
        return compare_values(input, value, op, true) == 0;
    return false;
}

}  // namespace string_type

namespace binary_type {

bool byte_in_bitset(const Cell& b, const Cell& bitset) {
    if (length_at(b) == 0) return false;
    return bitset::has(bitset, *str::buffer_of(b)->at(b.w1));
}

bool match_value(const Cell& b, const Cell& value) {
    const TypeId t = type_of(value);
    const uint32_t n = length_at(b);
    const uint8_t* p = str::buffer_of(b)->at(b.w1);
    if (t == TypeId::char_) return n > 0 && *p == value.w2;
    if (t != TypeId::binary && !is_any_string(t)) return false;
    std::vector<uint8_t> bytes;
    value_bytes(value, bytes, BytesMode::insert);
    p = str::buffer_of(b)->at(b.w1);
    return bytes.size() <= n && std::equal(bytes.begin(), bytes.end(), p);
}

}  // namespace binary_type

}  // namespace qor
