// BMP, read and written here.
//
// Reading takes the file header and an info header of 12 (core), 40, 52,
// 56, 108 or 124 bytes; 1, 4 and 8-bit palettes, 16 and 32-bit pixels
// (plain or with channel masks) and 24-bit pixels; rows bottom-up, or
// top-down for a negative height. Run-length compressed files are refused.
// A 32-bit file without masks whose fourth bytes are all 0 is opaque (the
// byte is unused padding); otherwise that byte is the opacity.
//
// Writing: opaque images as 24-bit, others as 32-bit with a version-5
// header whose masks name the opacity byte; rows bottom-up, each padded to
// a multiple of 4 bytes.
#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/image/codecs.h"

namespace qor::image {

namespace {

constexpr uint32_t file_header = 14;
enum Compression : uint32_t { bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alphabitfields = 6 };

[[nodiscard]] uint32_t u16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
[[nodiscard]] uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

// One channel of a masked pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        const int bits = std::min(std::popcount(m >> shift), 16);
        max = (1u << bits) - 1;
    }
    [[nodiscard]] uint8_t operator()(uint32_t v) const {
        if (!mask) return 0;
        return static_cast<uint8_t>((((v & mask) >> shift) & max) * 255 / max);
    }
};

struct Header {
    int64_t width = 0, height = 0;
    bool top_down = false;
    uint32_t bits = 0, compression = bi_rgb, colours = 0, header_size = 0;
    uint32_t masks[4] = {};  // R, G, B, A
    bool has_masks = false;
};

[[nodiscard]] bool read_header(std::span<const uint8_t> in, Header& h) {
    if (in.size() < file_header + 12) return false;
    h.header_size = u32(&in[file_header]);
    const uint8_t* p = &in[file_header];
    if (h.header_size == 12) {
        h.width = u16(p + 4);
        h.height = u16(p + 6);
        h.bits = u16(p + 10);
        return h.width > 0 && h.height > 0;
    }
    static constexpr uint32_t sizes[] = {40, 52, 56, 108, 124};
    if (std::find(std::begin(sizes), std::end(sizes), h.header_size) == std::end(sizes)) return false;
    if (in.size() < file_header + h.header_size) return false;
    h.width = static_cast<int32_t>(u32(p + 4));
    const int32_t height = static_cast<int32_t>(u32(p + 8));
    h.top_down = height < 0;
    h.height = height < 0 ? -int64_t{height} : height;
    h.bits = u16(p + 14);
    h.compression = u32(p + 16);
    h.colours = u32(p + 32);
    if (h.compression == bi_bitfields || h.compression == bi_alphabitfields) {
        const uint32_t count = h.compression == bi_alphabitfields ? 4 : 3;
        const size_t at = h.header_size >= 52 ? file_header + 40 : file_header + h.header_size;
        if (in.size() < at + 4 * count) return false;
        for (uint32_t i = 0; i < count; i++) h.masks[i] = u32(&in[at + 4 * i]);
        if (h.header_size >= 56) h.masks[3] = u32(&in[file_header + 52]);
        h.has_masks = true;
    }
    return h.width > 0 && h.height > 0;
}

// The palette after the info header (and its masks): 4-byte B, G, R, x
// entries, 3-byte ones after a core header.
[[nodiscard]] bool read_palette(std::span<const uint8_t> in, const Header& h, uint32_t* palette) {
    const uint32_t entry = h.header_size == 12 ? 3 : 4;
    uint64_t at = file_header + h.header_size;
    if (h.header_size == 40 && h.has_masks) at += h.compression == bi_alphabitfields ? 16 : 12;
    const uint32_t most = 1u << h.bits;
    const uint32_t count = h.colours == 0 || h.colours > most ? most : h.colours;
    if (at + uint64_t{count} * entry > in.size()) return false;
    for (uint32_t i = 0; i < 256; i++) palette[i] = make_pixel(0, 0, 0, 255);
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t* e = &in[at + uint64_t{i} * entry];
        palette[i] = make_pixel(e[2], e[1], e[0], 255);
    }
    return true;
}

}  // namespace

Status decode_bmp(std::span<const uint8_t> in, Pixels& out) {
    Header h;
    if (!read_header(in, h)) return Status::bad_media;
    if (h.compression != bi_rgb && h.compression != bi_bitfields && h.compression != bi_alphabitfields)
        return Status::bad_media;
    const uint32_t bits = h.bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return Status::bad_media;
    if (h.has_masks && bits != 16 && bits != 32) return Status::bad_media;
    if (const Status s = check_size(uint64_t(h.width), uint64_t(h.height)); s != Status::ok) return s;
    const uint64_t stride = (uint64_t(h.width) * bits + 31) / 32 * 4;
    const uint64_t offset = u32(&in[10]);
    if (offset > in.size() || stride * uint64_t(h.height) > in.size() - offset) return Status::bad_media;
    uint32_t palette[256];
    if (bits <= 8 && !read_palette(in, h, palette)) return Status::bad_media;
    if (const Status s = allocate(out, uint64_t(h.width), uint64_t(h.height)); s != Status::ok) return s;

    uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    if (!h.has_masks && bits == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (!h.has_masks && bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0xFF000000;
    const Channel r(masks[0]), g(masks[1]), b(masks[2]), a(masks[3]);
    bool any_alpha = false;
    for (uint32_t y = 0; y < out.height; y++) {
        const uint8_t* src = in.data() + offset + stride * (h.top_down ? y : out.height - 1 - y);
        uint32_t* row = out.row(y);
        for (uint32_t x = 0; x < out.width; x++) {
            if (bits <= 8) {
                const uint32_t per_byte = 8 / bits;
                const uint32_t byte = src[x / per_byte];
                const uint32_t shift = 8 - bits * (x % per_byte + 1);
                row[x] = palette[(byte >> shift) & ((1u << bits) - 1)];
            } else if (bits == 24) {
                const uint8_t* p = src + 3 * x;
                row[x] = make_pixel(p[2], p[1], p[0], 255);
            } else {
                const uint32_t v = bits == 16 ? u16(src + 2 * x) : u32(src + 4 * x);
                const uint8_t alpha = masks[3] ? a(v) : 255;
                any_alpha |= alpha != 0;
                row[x] = make_pixel(r(v), g(v), b(v), alpha);
            }
        }
    }
    // Plain 32-bit pixels whose fourth byte is 0 throughout: padding, not opacity.
    if (bits == 32 && !h.has_masks && !any_alpha)
        for (uint64_t i = 0; i < out.count(); i++) out.data[i] |= 0xFF000000u;
    return Status::ok;
}

bool encode_bmp(const Pixels& px, std::vector<uint8_t>& out) {
    bool opaque = true;
    for (uint64_t i = 0; i < px.count() && opaque; i++) opaque = opacity(px.data[i]) == 255;
    const uint32_t bits = opaque ? 24 : 32;
    const uint32_t info = opaque ? 40 : 124;
    const uint64_t stride = (uint64_t{px.width} * bits + 31) / 32 * 4;
    const uint64_t image = stride * px.height;
    const uint64_t total = file_header + info + image;
    if (total > 0xFFFFFFFFu) return false;
    out.assign(total, 0);
    auto put16 = [&](size_t at, uint32_t v) { out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    out[0] = 'B', out[1] = 'M';
    put32(2, static_cast<uint32_t>(total));
    put32(10, file_header + info);
    const size_t h = file_header;
    put32(h, info);
    put32(h + 4, px.width);
    put32(h + 8, px.height);  // positive: bottom-up
    put16(h + 12, 1);
    put16(h + 14, bits);
    put32(h + 16, opaque ? bi_rgb : bi_bitfields);
    put32(h + 20, static_cast<uint32_t>(image));
    put32(h + 24, 2835), put32(h + 28, 2835);  // 72 dots per inch
    if (!opaque) {
        put32(h + 40, 0x00FF0000), put32(h + 44, 0x0000FF00), put32(h + 48, 0x000000FF), put32(h + 52, 0xFF000000);
        put32(h + 56, 0x73524742);  // colour space "sRGB"
        put32(h + 108, 4);          // rendering intent: images
    }
    for (uint32_t y = 0; y < px.height; y++) {
        uint8_t* dst = out.data() + file_header + info + stride * (px.height - 1 - y);
        const uint32_t* row = px.row(y);
        for (uint32_t x = 0; x < px.width; x++) {
            const uint32_t p = row[x];
            *dst++ = blue(p), *dst++ = green(p), *dst++ = red(p);
            if (!opaque) *dst++ = opacity(p);
        }
    }
    return true;
}

}  // namespace qor::image
