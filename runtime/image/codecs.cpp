// The image codecs: the signature test and the dispatch to each format.
#include "runtime/image/codecs.h"

#include <cstring>

namespace qor::image {

namespace {

[[nodiscard]] bool starts_with(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> sig) {
    if (bytes.size() < sig.size()) return false;
    return std::memcmp(bytes.data(), sig.begin(), sig.size()) == 0;
}

}  // namespace

Format sniff(std::span<const uint8_t> bytes) {
    if (starts_with(bytes, {0x89, 0x50, 0x4E, 0x47})) return Format::png;
    if (starts_with(bytes, {0xFF, 0xD8, 0xFF})) return Format::jpeg;
    if (starts_with(bytes, {0x42, 0x4D})) return Format::bmp;
    if (starts_with(bytes, {0x47, 0x49, 0x46, 0x38}) && bytes.size() >= 6 && (bytes[4] == 0x37 || bytes[4] == 0x39) &&
        bytes[5] == 0x61)
        return Format::gif;
    if (starts_with(bytes, {0x49, 0x49, 0x2A, 0x00}) || starts_with(bytes, {0x4D, 0x4D, 0x00, 0x2A}))
        return Format::tiff;
    return Format::unknown;
}

Status decode(std::span<const uint8_t> bytes, Pixels& out) {
    switch (sniff(bytes)) {
        case Format::png: return decode_png(bytes, out);
        case Format::jpeg: return decode_jpeg(bytes, out);
        case Format::bmp: return decode_bmp(bytes, out);
        case Format::gif: return decode_gif(bytes, out);
        case Format::tiff: return decode_tiff(bytes, out);
        case Format::unknown: break;
    }
    return Status::bad_media;
}

bool encode(Format format, const Pixels& pixels, std::vector<uint8_t>& out) {
    out.clear();
    if (!pixels.data || pixels.width == 0 || pixels.height == 0) return false;
    switch (format) {
        case Format::bmp: return encode_bmp(pixels, out);
        case Format::png: return encode_png(pixels, out);
        case Format::gif: return encode_gif(pixels, out);
        case Format::jpeg: return encode_jpeg(pixels, out);
        case Format::tiff: return encode_tiff(pixels, out);
        case Format::unknown: break;
    }
    return false;
}

}  // namespace qor::image
