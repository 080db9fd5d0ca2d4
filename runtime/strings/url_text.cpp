// Percent encoding and decoding of URL text, and local file paths.
#include "runtime/strings/url_text.h"

#include <array>

#include "runtime/core/error_fire.h"
#include "runtime/platform/current_dir.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/utf8.h"

namespace qor::url_text {

namespace {

constexpr std::array<bool, 128> make_set(std::string_view singles, bool alnum) {
    std::array<bool, 128> t{};
    for (char c : singles) t[static_cast<uint8_t>(c)] = true;
    if (alnum) {
        for (int c = '0'; c <= '9'; c++) t[c] = true;
        for (int c = 'A'; c <= 'Z'; c++) t[c] = true;
        for (int c = 'a'; c <= 'z'; c++) t[c] = true;
    }
    return t;
}

constexpr auto url_set = make_set("!#$&'()*+,-./:=?@_~", true);
constexpr auto unreserved_set = make_set("-._~", true);

constexpr int hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    return -1;
}

}  // namespace

bool in_url_set(uint32_t c) { return c < 128 && url_set[c]; }
bool in_unreserved_set(uint32_t c) { return c < 128 && unreserved_set[c]; }

bool decode_escape(const uint8_t* p, uint32_t unit, uint8_t& byte) {
    if (str::get_char(p, unit) != '%') return false;
    const int hi = hex_value(str::get_char(p + unit, unit));
    const int lo = hex_value(str::get_char(p + 2 * unit, unit));
    if (hi < 0 || lo < 0) return false;
    byte = static_cast<uint8_t>(hi << 4 | lo);
    return true;
}

// The text as UTF-8; an escape of a byte below 0xC0 is that character; a
// lead byte takes its continuation bytes from the escapes that follow and
// the sequence is decoded as one character (0xFFFE when invalid); anything
// else, a lead without its continuation escapes included, is copied.
void decode(const Cell& text, Cell& output) {
    const std::string bytes = str::to_utf8(text);
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        uint8_t b;
        if (i + 3 <= n && decode_escape(p + i, 1, b)) {
            if (b < 0xC0) {
                str::append_char(output.w2, b);
                i += 3;
                continue;
            }
            const int length = utf8::lead_length(b);
            uint8_t seq[4] = {b, 0, 0, 0};
            bool whole = true;
            for (int k = 1; k < length; k++)
                if (!(i + 3 * (k + 1) <= n && decode_escape(p + i + 3 * k, 1, seq[k]))) whole = false;
            if (whole) {
                int32_t cp;
                const uint8_t* end = utf8::decode_char(seq, seq + length, cp);
                if (cp < 0 || end != seq + length) cp = 0xFFFE;
                str::append_char(output.w2, static_cast<uint32_t>(cp));
                i += 3 * static_cast<size_t>(length);
                continue;
            }
        }
        int32_t cp;
        const uint8_t* next = utf8::decode_char(p + i, p + n, cp);
        if (cp < 0) cp = 0xFFFE;
        str::append_char(output.w2, static_cast<uint32_t>(cp));
        const size_t advanced = static_cast<size_t>(next - (p + i));
        i += advanced ? advanced : 1;
    }
}

void encode(const Cell& text, Cell& output, EncodeMode mode) {
    const std::string bytes = str::to_utf8(text);
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        const bool keep = mode == EncodeMode::unreserved ? in_unreserved_set(b) : in_url_set(b);
        if (keep) {
            out.push_back(static_cast<char>(b));
        } else {
            const auto hex = str::byte_to_hex(b);
            out.push_back('%');
            out.append(hex.data(), 2);
        }
    }
    str::append_literal(output, out);
}

std::string current_dir() {
    std::string dir = platform::get_current_dir();
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return dir;
}

std::string to_local(const Cell& file, bool full) {
    std::string path = str::to_utf8(file);
    // The OS takes a name only up to its first NUL: such a name would reach
    // another file than the one named.
    if (path.find('\0') != std::string::npos) error::fire(error::Id::invalid_arg, {file});
    if (full && (path.empty() || path[0] != '/')) path = current_dir() + path;
    return path;
}

}  // namespace qor::url_text
