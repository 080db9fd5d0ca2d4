// Encoding and text natives: percent escapes (dehex, enhex), binary data as
// base-2/16/58/64 text (enbase, debase) and an integer as hexadecimal digits
// (to-hex). The codecs live with the string and binary datatypes; these
// natives pick the codec and make the answer.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/strings/base_codecs.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

bool present(std::span<const int32_t> refinements, size_t i) { return i < refinements.size() && refinements[i] >= 0; }

// The /base argument, 64 without the refinement.
const Cell* base_argument(std::span<const int32_t> refinements) {
    return present(refinements, 0) ? arg(static_cast<uint32_t>(refinements[0])) : nullptr;
}

int32_t base_of(const Cell* base_value) { return base_value ? get_int(*base_value) : 64; }

// dehex value: a new string! with the value's percent escapes decoded.
void n_dehex(bool, std::span<const int32_t>) {
    Cell* out = stack::push(unset::value);  // referenced while it fills
    str::make_at(*out, str::length_at(*arg(0)));
    url_text::decode(*arg(0), *out);
    *arg(0) = *out;
    stack::pop();
}

// enhex value: a new string! with the value's UTF-8 percent-encoded; a
// string! keeps only the unreserved characters, the other string types
// every character a URL may hold.
void n_enhex(bool, std::span<const int32_t>) {
    const url_text::EncodeMode mode =
        type_of(*arg(0)) == TypeId::string ? url_text::EncodeMode::unreserved : url_text::EncodeMode::url_set;
    Cell* out = stack::push(unset::value);
    str::make_at(*out, str::length_at(*arg(0)));
    url_text::encode(*arg(0), *out, mode);
    *arg(0) = *out;
    stack::pop();
}

// debase value /base base-value: the bytes the text stands for, or none
// when the text is not valid in that base.
void n_debase(bool, std::span<const int32_t> refinements) {
    const Cell* base_value = base_argument(refinements);
    const int32_t base = base_of(base_value);
    base::Decoded (*decoder)(const uint8_t*, size_t, uint32_t) = nullptr;
    switch (base) {
        case 2: decoder = base::decode_base2; break;
        case 16: decoder = base::decode_base16; break;
        case 58: decoder = base::decode_base58; break;
        case 64: decoder = base::decode_base64; break;
        default: error::fire(error::Id::invalid_arg, {*base_value});
    }
    const Cell text = *arg(0);
    *arg(0) = none::value;
    const uint32_t count = str::length_at(text);
    const series::Buffer* b = str::buffer_of(text);
    // The decoders only read and build a std::vector: nothing moves the text.
    const base::Decoded bytes = decoder(count ? b->at(text.w1) : b->head_ptr(), count, b->unit());
    if (bytes) binary_type::load_at(*arg(0), *bytes);
}

// The room the text of n bytes takes in the base, as the runtime sizes
// it; nothing for a base without a codec.
std::optional<uint64_t> encoded_size(int32_t base, uint64_t n) {
    switch (base) {
        case 64: return n / 3 * 4 + (n % 3) * 4 / 3 + n / 32 * 2 + 5;
        case 58: return n * 2;
        case 16: return n * 2 + n / 32 + 32;
        case 2: return n * 8 + n / 8 * 2 + 4;
        default: return std::nullopt;
    }
}

// enbase value /base base-value: the text of a binary's bytes (from its
// index) or of a string's UTF-8 in the base.
void n_enbase(bool, std::span<const int32_t> refinements) {
    const Cell* base_value = base_argument(refinements);
    const int32_t base = base_of(base_value);
    std::vector<uint8_t> bytes;
    if (type_of(*arg(0)) == TypeId::binary) {
        bytes = binary_type::bytes_of(*arg(0));
    } else {
        const std::string text = str::to_utf8(*arg(0));
        bytes.assign(text.begin(), text.end());
    }
    const std::optional<uint64_t> size = encoded_size(base, bytes.size());
    if (!size) error::fire(error::Id::invalid_arg, {*base_value});
    if (*size > UINT32_MAX) error::fire(error::Id::too_long);
    std::string text;
    switch (base) {
        case 64: text = base::encode_base64(bytes); break;
        case 58: text = base::encode_base58(bytes); break;
        case 16: text = base::encode_base16(bytes); break;
        default: text = base::encode_base2(bytes); break;
    }
    Cell* out = str::push_new(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    *arg(0) = *out;
    stack::pop();
}

// to-hex value /size length: the integer as an issue! of upper-case
// hexadecimal digits, eight of them or the last `length`.
void n_to_hex(bool, std::span<const int32_t> refinements) {
    std::string digits = str::integer_to_hex(static_cast<uint32_t>(get_int(*arg(0))), false);
    if (present(refinements, 0)) {
        const Cell& length_value = *arg(static_cast<uint32_t>(refinements[0]));
        const int32_t length = get_int(length_value);
        if (length <= 0) error::fire(error::Id::invalid_arg, {length_value});
        if (static_cast<size_t>(length) < digits.size()) digits.erase(0, digits.size() - static_cast<size_t>(length));
    }
    *arg(0) = word::issue(digits);
}

}  // namespace

void install_text(Table& r) {
    r[Native::dehex] = n_dehex;
    r[Native::enhex] = n_enhex;
    r[Native::to_hex] = n_to_hex;
    r[Native::debase] = n_debase;
    r[Native::enbase] = n_enbase;
}

}  // namespace qor::natives::impl
