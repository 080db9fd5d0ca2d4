// PNG through libpng's simplified interface, which reads and writes 8-bit
// B, G, R, A bytes: exactly the pixel layout, not premultiplied. The
// interface catches libpng's own errors inside itself, so nothing unwinds
// through the library.
#include <png.h>

#include "runtime/image/codecs.h"

namespace qor::image {

Status decode_png(std::span<const uint8_t> bytes, Pixels& out) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return Status::bad_media;
    img.format = PNG_FORMAT_BGRA;
    if (const Status s = allocate(out, img.width, img.height); s != Status::ok) {
        png_image_free(&img);
        return s;
    }
    if (!out.data) {  // a side of 0: libpng refuses those, so this is only a guard
        png_image_free(&img);
        return Status::bad_media;
    }
    if (!png_image_finish_read(&img, nullptr, out.data.get(), static_cast<png_int_32>(out.width * 4), nullptr)) {
        png_image_free(&img);
        return Status::bad_media;
    }
    return Status::ok;
}

// Always with the alpha channel, so opacity survives the round trip.
bool encode_png(const Pixels& pixels, std::vector<uint8_t>& out) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = pixels.width;
    img.height = pixels.height;
    img.format = PNG_FORMAT_BGRA;
    const auto stride = static_cast<png_int_32>(pixels.width * 4);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&img, nullptr, &size, 0, pixels.data.get(), stride, nullptr) || size == 0)
        return false;
    out.resize(size);
    if (!png_image_write_to_memory(&img, out.data(), &size, 0, pixels.data.get(), stride, nullptr)) return false;
    out.resize(size);
    return true;
}

}  // namespace qor::image
