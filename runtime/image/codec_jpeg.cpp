// JPEG through libjpeg-turbo, which decodes straight into B, G, R, X bytes
// (the X byte set to 255: fully opaque) and encodes from them. CMYK and
// YCCK files are decoded as CMYK and turned into RGB here.
//
// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to the set-up point of the call, which destroys
// the codec object and answers the failure. Nothing with a destructor lives
// in those frames between the set-up and a jump (the pixels belong to the
// caller's object).
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "runtime/image/codecs.h"

namespace qor::image {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void error_exit(j_common_ptr codec) {
    std::longjmp(reinterpret_cast<ErrorManager*>(codec->err)->jump, 1);
}
void no_message(j_common_ptr, int) {}
void no_output(j_common_ptr) {}

void quiet_errors(ErrorManager& err) {
    jpeg_std_error(&err.base);
    err.base.error_exit = error_exit;
    err.base.emit_message = no_message;
    err.base.output_message = no_output;
}

// Adobe writes CMYK inverted (255 = no ink), which is what every CMYK JPEG
// in practice holds: R = C × K / 255 and so on.
void cmyk_row_to_pixels(const uint8_t* cmyk, uint32_t* out, uint32_t width) {
    for (uint32_t x = 0; x < width; x++, cmyk += 4) {
        const uint32_t k = cmyk[3];
        out[x] = make_pixel(static_cast<uint8_t>(cmyk[0] * k / 255), static_cast<uint8_t>(cmyk[1] * k / 255),
                            static_cast<uint8_t>(cmyk[2] * k / 255), 255);
    }
}

// The decoding steps after set-up; a library failure jumps out of here.
void decode_steps(jpeg_decompress_struct& codec, std::span<const uint8_t> bytes, Pixels& out, Status& status,
                  uint8_t*& cmyk_row) {
    jpeg_mem_src(&codec, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&codec, TRUE);
    status = check_size(codec.image_width, codec.image_height);
    if (status != Status::ok) return;
    // Progressive files keep all coefficients in memory: bound that too.
    codec.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(byte_limit() * 2, 0x7FFFFFFF));
    const bool cmyk = codec.jpeg_color_space == JCS_CMYK || codec.jpeg_color_space == JCS_YCCK;
    codec.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    status = Status::bad_media;
    jpeg_start_decompress(&codec);
    if (codec.output_width != codec.image_width || codec.output_height != codec.image_height) return;
    status = allocate(out, codec.output_width, codec.output_height);
    if (status != Status::ok) return;
    status = Status::bad_media;
    if (!out.data) return;
    if (cmyk) {
        cmyk_row = static_cast<uint8_t*>(std::malloc(size_t{out.width} * 4));
        if (!cmyk_row) {
            status = Status::no_memory;
            return;
        }
    }
    while (codec.output_scanline < codec.output_height) {
        const uint32_t y = codec.output_scanline;
        JSAMPROW row = cmyk ? cmyk_row : reinterpret_cast<JSAMPROW>(out.row(y));
        if (jpeg_read_scanlines(&codec, &row, 1) != 1) return;
        if (cmyk) cmyk_row_to_pixels(cmyk_row, out.row(y), out.width);
    }
    jpeg_finish_decompress(&codec);
    status = Status::ok;
}

}  // namespace

Status decode_jpeg(std::span<const uint8_t> bytes, Pixels& out) {
    jpeg_decompress_struct codec{};
    ErrorManager err{};
    quiet_errors(err);
    codec.err = &err.base;
    Status status = Status::bad_media;
    uint8_t* cmyk_row = nullptr;
    if (setjmp(err.jump) == 0) {
        jpeg_create_decompress(&codec);
        decode_steps(codec, bytes, out, status, cmyk_row);
    } else {
        status = Status::bad_media;
    }
    jpeg_destroy_decompress(&codec);
    std::free(cmyk_row);
    return status;
}

// Encodes at the library's default quality from the B, G, R, X bytes (the
// opacity byte is ignored: JPEG has no transparency).
bool encode_jpeg(const Pixels& pixels, std::vector<uint8_t>& out) {
    jpeg_compress_struct codec{};
    ErrorManager err{};
    quiet_errors(err);
    codec.err = &err.base;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    volatile bool done = false;
    if (setjmp(err.jump) == 0) {
        jpeg_create_compress(&codec);
        jpeg_mem_dest(&codec, &buffer, &size);
        codec.image_width = pixels.width;
        codec.image_height = pixels.height;
        codec.input_components = 4;
        codec.in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(&codec);
        jpeg_start_compress(&codec, TRUE);
        while (codec.next_scanline < codec.image_height) {
            auto row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(pixels.row(codec.next_scanline)));
            if (jpeg_write_scanlines(&codec, &row, 1) != 1) break;
        }
        if (codec.next_scanline == codec.image_height) {
            jpeg_finish_compress(&codec);
            done = buffer != nullptr && size > 0;
        }
    }
    jpeg_destroy_compress(&codec);
    if (done) out.assign(buffer, buffer + size);
    std::free(buffer);
    return done;
}

}  // namespace qor::image
