// image!: the text form, `make image! [WxH #{RRGGBB...} #{TT...}]`, from the
// position to the last pixel. The colour bytes come six hexadecimal digits a
// pixel; the transparency bytes (255 minus opacity) follow only when some
// pixel written is not fully opaque. Unless flat, long data breaks after
// every tenth pixel.
#include "runtime/datatypes/image.h"

#include <string>

#include "runtime/datatypes/text_buffer.h"
#include "runtime/strings/string_core.h"

namespace qor::image_type {

namespace {

// Appends text unless a /part budget is spent; false once it is.
struct Writer {
    Cell& buffer;
    const Cell* part;
    int32_t budget;

    bool put(std::string_view text) {
        if (part && budget < 1) return false;
        budget = text_buffer::put(buffer, text, budget);
        return true;
    }
    bool line(int32_t level) {
        if (!put("\n")) return false;
        budget = text_buffer::indent(buffer, level, budget);
        return true;
    }
};

void hex(std::string& out, uint8_t byte) {
    const auto h = str::byte_to_hex(byte);
    out.append(h.data(), 2);
}

// The text, with `level` the indentation of the broken lines.
int32_t write_text(const Cell& img, Cell& buffer, bool only, bool flat, const Cell* part, int32_t limit,
                   int32_t level) {
    Writer out{buffer, part, limit};
    if (!only && !out.put("make image! [")) return out.budget;
    const std::string size = std::to_string(width(img)) + "x" + std::to_string(height(img));
    if (!out.put(size)) return out.budget;
    const image::Pixels* px = pixels(img);
    const uint32_t count = pixel_count(img);
    if (!px || count == 0) {
        out.put(" #{}]");
        return out.budget;
    }
    const uint32_t from = img.w1 < count ? img.w1 : count;
    const uint32_t n = count - from;
    const bool broken = !flat && uint64_t{n} * 4 > 30;
    if (!out.put(" #{") || (broken && !out.line(level))) return out.budget;
    bool translucent = false;
    std::string digits;
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t p = px->data[from + i];
        translucent |= image::opacity(p) != 255;
        digits.clear();
        hex(digits, image::red(p)), hex(digits, image::green(p)), hex(digits, image::blue(p));
        if (!out.put(digits)) return out.budget;
        if (!flat && (i + 1) % 10 == 0 && !out.line(level)) return out.budget;
    }
    if (broken && n % 10 != 0 && !out.line(level - 1)) return out.budget;
    if (!out.put("}")) return out.budget;
    if (translucent) {
        if (!out.put(" #{") || !out.line(level)) return out.budget;
        for (uint32_t i = 0; i < n; i++) {
            digits.clear();
            hex(digits, static_cast<uint8_t>(255 - image::opacity(px->data[from + i])));
            if (!out.put(digits)) return out.budget;
            if (!flat && (i + 1) % 10 == 0 && !out.line(level)) return out.budget;
        }
        if (!out.line(level - 1) || !out.put("}")) return out.budget;
    }
    if (!only) out.put("]");
    return out.budget;
}

}  // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    return write_text(*value, *buffer, false, false, part, limit, 1);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    return write_text(*value, *buffer, only, flat, part, limit, indent + 1);
}

}  // namespace qor::image_type
