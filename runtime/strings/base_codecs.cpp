// Base-2, base-16, base-58 and base-64 encoders and decoders.
#include "runtime/strings/base_codecs.h"

#include <array>

#include "runtime/strings/string_core.h"

namespace qor::base {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr char b58_alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char b64_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Digit values of an alphabet for characters 0-127; 255 where none.
template <size_t N>
constexpr std::array<uint8_t, 128> digit_table(const char (&alphabet)[N]) {
    std::array<uint8_t, 128> t{};
    for (auto& v : t) v = 255;
    for (size_t i = 0; i + 1 < N; i++) t[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
    return t;
}
constexpr auto b58_digits = digit_table(b58_alphabet);
constexpr auto b64_digits = digit_table(b64_alphabet);

constexpr int hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    return -1;
}

// The whitespace that base-64 and base-58 text may hold.
constexpr bool is_b64_space(uint32_t c) {
    return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == ' ' || c == '\'';
}

// Walks the characters of a text, skipping ";" comments up to a line feed.
class Reader {
public:
    Reader(const uint8_t* text, size_t count, uint32_t unit) : p_(text), n_(count), unit_(unit) {}
    // The next character outside a comment; false at the end.
    bool next(uint32_t& c) {
        while (i_ < n_) {
            c = str::get_char(p_ + i_++ * unit_, unit_);
            if (c != ';') return true;
            while (i_ < n_ && str::get_char(p_ + i_++ * unit_, unit_) != '\n') {
            }
        }
        return false;
    }
    [[nodiscard]] size_t count() const { return n_; }

private:
    const uint8_t* p_;
    size_t n_;
    uint32_t unit_;
    size_t i_ = 0;
};

}  // namespace

std::string encode_base2(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 8);
    for (uint8_t b : bytes)
        for (int bit = 7; bit >= 0; bit--) out.push_back(((b >> bit) & 1) ? '1' : '0');
    return out;
}

std::string encode_base16(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(hex_digits[b >> 4]);
        out.push_back(hex_digits[b & 15]);
    }
    return out;
}

// Repeated long division by 58 of the big-endian number the bytes make.
std::string encode_base58(std::span<const uint8_t> bytes) {
    size_t zeros = 0;
    while (zeros < bytes.size() && bytes[zeros] == 0) zeros++;
    std::vector<uint8_t> work(bytes.begin() + static_cast<ptrdiff_t>(zeros), bytes.end());
    std::string digits;  // least significant first
    size_t first = 0;
    while (first < work.size()) {
        uint32_t remainder = 0;
        for (size_t i = first; i < work.size(); i++) {
            const uint32_t v = remainder << 8 | work[i];
            work[i] = static_cast<uint8_t>(v / 58);
            remainder = v % 58;
        }
        digits.push_back(b58_alphabet[remainder]);
        while (first < work.size() && work[first] == 0) first++;
    }
    std::string out(zeros, '1');
    out.append(digits.rbegin(), digits.rend());
    return out;
}

std::string encode_base64(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        for (int s = 18; s >= 0; s -= 6) out.push_back(b64_alphabet[(v >> s) & 63]);
    }
    const size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t v = uint32_t{bytes[i]} << 16;
        if (left == 2) v |= uint32_t{bytes[i + 1]} << 8;
        out.push_back(b64_alphabet[(v >> 18) & 63]);
        out.push_back(b64_alphabet[(v >> 12) & 63]);
        out.push_back(left == 2 ? b64_alphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

Decoded decode_base2(const uint8_t* text, size_t count, uint32_t unit) {
    Reader r(text, count, unit);
    std::vector<uint8_t> out;
    out.reserve(count / 8);
    uint32_t acc = 0, bits = 0, c;
    while (r.next(c)) {
        if (c <= ' ') continue;
        if (c != '0' && c != '1') return std::nullopt;
        acc = acc << 1 | (c - '0');
        if (++bits == 8) {
            out.push_back(static_cast<uint8_t>(acc));
            acc = bits = 0;
        }
    }
    if (bits != 0) return std::nullopt;
    return out;
}

// Characters above 127 are refused: they are no digits, whatever their
// low seven bits spell.
Decoded decode_base16(const uint8_t* text, size_t count, uint32_t unit) {
    Reader r(text, count, unit);
    std::vector<uint8_t> out;
    out.reserve(count / 2);
    uint32_t acc = 0, digits = 0, c;
    while (r.next(c)) {
        if (c <= ' ') continue;
        const int v = c < 128 ? hex_value(c) : -1;
        if (v < 0) return std::nullopt;
        acc = acc << 4 | static_cast<uint32_t>(v);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(acc));
            acc = digits = 0;
        }
    }
    return out;  // a final unpaired digit is dropped
}

Decoded decode_base64(const uint8_t* text, size_t count, uint32_t unit) {
    Reader r(text, count, unit);
    std::vector<uint8_t> out;
    out.reserve((count + 3) / 4 * 3);
    uint32_t acc = 0, pending = 0, c;
    bool padded = false;
    while (r.next(c)) {
        if (is_b64_space(c)) continue;
        if (c == '=') {
            padded = true;
            break;
        }
        if (c > 127 || b64_digits[c] == 255) return std::nullopt;
        acc = acc << 6 | b64_digits[c];
        if (++pending == 4) {
            out.push_back(static_cast<uint8_t>(acc >> 16));
            out.push_back(static_cast<uint8_t>(acc >> 8));
            out.push_back(static_cast<uint8_t>(acc));
            acc = pending = 0;
        }
    }
    if (pending == 3) {
        out.push_back(static_cast<uint8_t>(acc >> 10));
        out.push_back(static_cast<uint8_t>(acc >> 2));
    } else if (pending == 2) {
        out.push_back(static_cast<uint8_t>(acc >> 4));
    } else if (padded || pending == 1) {
        return std::nullopt;
    }
    return out;
}

// Long division by 256 of the base-58 number; each leading "1" is a
// leading zero byte.
Decoded decode_base58(const uint8_t* text, size_t count, uint32_t unit) {
    Reader r(text, count, unit);
    std::vector<uint8_t> digits;
    uint32_t c;
    while (r.next(c)) {
        if (c > 127) break;
        if (is_b64_space(c)) continue;
        if (b58_digits[c] == 255) return std::nullopt;
        digits.push_back(b58_digits[c]);
    }
    size_t zeros = 0;
    while (zeros < digits.size() && digits[zeros] == 0) zeros++;
    std::vector<uint8_t> reversed;  // least significant byte first
    size_t first = zeros;
    while (first < digits.size()) {
        uint32_t remainder = 0;
        for (size_t i = first; i < digits.size(); i++) {
            const uint32_t v = remainder * 58 + digits[i];
            digits[i] = static_cast<uint8_t>(v / 256);
            remainder = v % 256;
        }
        reversed.push_back(static_cast<uint8_t>(remainder));
        while (first < digits.size() && digits[first] == 0) first++;
    }
    std::vector<uint8_t> out(zeros, 0);
    out.insert(out.end(), reversed.rbegin(), reversed.rend());
    return out;
}

}  // namespace qor::base
