// image!: making pixels from data, the channel conversions, decoding and
// encoding through the codecs.
#include <cstring>

#include "runtime/datatypes/image.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/image/record.h"
#include "runtime/memory/series.h"
#include "runtime/strings/binary.h"

namespace qor::image_type {

namespace {

// A fill value as one pixel word: a tuple's components, or an integer's
// bytes from the low one up, are R, G, B, transparency.
[[nodiscard]] uint32_t fill_pixel(const Cell& v) {
    uint8_t c[4] = {0, 0, 0, 0};
    if (type_of(v) == TypeId::tuple) {
        const tuple::Bytes b = tuple::bytes_of(v);
        const uint32_t n = tuple::length_of(v);
        for (uint32_t i = 0; i < 4 && i < n; i++) c[i] = b[i];
    } else {
        const uint32_t n = v.w2;
        for (int i = 0; i < 4; i++) c[i] = static_cast<uint8_t>(n >> (8 * i));
    }
    return image::make_pixel(c[0], c[1], c[2], static_cast<uint8_t>(255 - c[3]));
}

// The bytes of a binary! from its position.
[[nodiscard]] std::span<const uint8_t> bytes_at(const Cell& bin) {
    const series::Buffer* b = series::buffer(bin.w2);
    const uint32_t n = b->length();
    if (bin.w1 >= n) return {};
    return {b->head_ptr() + bin.w1, n - bin.w1};
}

[[noreturn]] void raise(image::Status s) {
    error::fire(s == image::Status::no_memory ? error::Id::no_memory : error::Id::bad_media);
}

}  // namespace

image::Pixels* pixels(const Cell& img) {
    if (img.w2 == 0) return nullptr;
    return &image::pixels_of(img.w2);
}

void extract_channel(const Cell& image_cell, Channel kind, Cell& out) {
    const Cell img = image_cell;  // the allocation below may move a buffer holding the cell
    const uint32_t n = pixel_count(img);
    const uint32_t per = kind == Channel::alpha ? 1 : kind == Channel::rgb ? 3 : 4;
    binary_type::make_at(out, n * per);
    const image::Pixels* px = pixels(img);
    if (!px || n == 0) return;
    series::Buffer* b = series::buffer(out.w2);  // after the allocation
    uint8_t* d = b->head_ptr();
    const uint32_t* p = px->data.get();
    switch (kind) {
        case Channel::alpha:
            for (uint32_t i = 0; i < n; i++) d[i] = static_cast<uint8_t>(255 - image::opacity(p[i]));
            break;
        case Channel::rgb:
            for (uint32_t i = 0; i < n; i++, d += 3)
                d[0] = image::red(p[i]), d[1] = image::green(p[i]), d[2] = image::blue(p[i]);
            break;
        case Channel::argb:
            for (uint32_t i = 0; i < n; i++, d += 4) {
                const uint32_t v = p[i];
                d[0] = static_cast<uint8_t>(v), d[1] = static_cast<uint8_t>(v >> 8);
                d[2] = static_cast<uint8_t>(v >> 16), d[3] = static_cast<uint8_t>(v >> 24);
            }
            break;
    }
    b->tail = b->head + n * per;
}

void set_channel(const Cell& image_cell, const Cell& value_cell, Channel kind) {
    // Copies: the owner's handler may run and allocate before the writing.
    const Cell img = image_cell, value = value_cell;
    const TypeId t = type_of(value);
    if (t != TypeId::binary && t != TypeId::tuple && t != TypeId::integer) error::fire(error::Id::invalid_arg, {value});
    image::Pixels* px = pixels(img);
    const uint32_t n = pixel_count(img);
    if (!px || n == 0) return;
    series_type::Notice notice(img, ownership::Change::set_path, &value, 0, int32_t(n));
    uint32_t* p = px->data.get();
    if (t == TypeId::binary) {
        const std::span<const uint8_t> in = bytes_at(value);
        switch (kind) {
            case Channel::alpha:
                for (uint32_t i = 0; i < n && i < in.size(); i++)
                    p[i] = (p[i] & 0xFFFFFF) | uint32_t(255 - in[i]) << 24;
                break;
            case Channel::rgb:
                for (uint32_t i = 0; i < n && 3 * size_t{i} + 2 < in.size(); i++)
                    p[i] = (p[i] & 0xFF000000) | image::make_pixel(in[3 * i], in[3 * i + 1], in[3 * i + 2], 0);
                break;
            case Channel::argb:
                std::memcpy(p, in.data(), std::min<size_t>(in.size(), size_t{n} * 4));
                break;
        }
    } else {
        const uint32_t fill = fill_pixel(value);
        switch (kind) {
            case Channel::alpha: {
                const uint32_t first = t == TypeId::tuple ? tuple::bytes_of(value)[0] : value.w2 & 0xFF;
                const uint32_t op = uint32_t(255 - first) << 24;
                for (uint32_t i = 0; i < n; i++) p[i] = (p[i] & 0xFFFFFF) | op;
                break;
            }
            case Channel::rgb:
                for (uint32_t i = 0; i < n; i++) p[i] = (p[i] & 0xFF000000) | (fill & 0xFFFFFF);
                break;
            case Channel::argb:
                for (uint32_t i = 0; i < n; i++) p[i] = fill;
                break;
        }
    }
    image::mark_modified(img.w2);
    notice.done(&value, 0, int32_t(n));
}

Cell* push_decoded(std::span<const uint8_t> bytes) {
    image::Pixels px;
    const image::Status s = image::decode(bytes, px);
    if (s != image::Status::ok || !px.data) raise(s == image::Status::ok ? image::Status::bad_media : s);
    Cell* result = stack::push(unset_cell);
    image::make_at(*result, std::move(px));
    return result;
}

Cell* push_encoded(const Cell& img, image::Format format) {
    const image::Pixels* px = pixels(img);
    if (!px || pixel_count(img) == 0) error::fire(error::Id::bad_media);
    std::vector<uint8_t> bytes;
    if (!image::encode(format, *px, bytes) || bytes.empty() || bytes.size() > series::max_capacity)
        error::fire(error::Id::bad_media);
    Cell* result = stack::push(unset_cell);
    binary_type::load_at(*result, bytes);
    return result;
}

}  // namespace qor::image_type
