// Fuzz target for the image decoders: arbitrary bytes given to each of the
// five decoders (the first byte picks which, so no signature has to be
// guessed first) and to the signature dispatch must never crash, read or
// write out of bounds, or take more memory than the pixel limit allows; a
// decode that succeeds answers pixels of the size it reports.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "runtime/image/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qor::image;
    static const bool limited = (set_byte_limit(16u << 20), true);
    (void)limited;
    if (size < 1 || size > (1u << 20)) return 0;
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    Pixels px;
    Status s = Status::bad_media;
    switch (data[0] % 6) {
        case 0: s = decode_png(bytes, px); break;
        case 1: s = decode_jpeg(bytes, px); break;
        case 2: s = decode_gif(bytes, px); break;
        case 3: s = decode_tiff(bytes, px); break;
        case 4: s = decode_bmp(bytes, px); break;
        default: s = decode(bytes, px); break;
    }
    if (s != Status::ok) return 0;
    if (!px.data || px.width == 0 || px.height == 0 || px.count() * 4 > byte_limit()) std::abort();
    // Every pixel is readable: the buffer is as large as the size says.
    volatile uint32_t sum = 0;
    for (uint64_t i = 0; i < px.count(); i++) sum = sum + px.data[i];
    return 0;
}
