// TIFF through libtiff, opened with TIFFClientOpen over memory: the input
// bytes for decoding, a growing byte vector for encoding.
//
// Decoding reads the first directory. Plain 8-bit RGB or RGBA strips with
// unassociated (or unspecified) alpha are read row by row and kept exactly;
// every other layout goes through libtiff's RGBA reader, whose raster holds
// premultiplied colour, which is divided back out. Encoding writes 8-bit RGB
// (RGBA with unassociated alpha when any pixel is not opaque), LZW strips.
// libtiff's messages are swallowed, and its own allocations are held to the
// image byte limit.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "runtime/image/codecs.h"

namespace qor::image {

namespace {

// The memory "file": read-only over the input, or read-write over `out`.
struct MemFile {
    const uint8_t* data;
    uint64_t size;
    uint64_t pos = 0;
    std::vector<uint8_t>* out = nullptr;
};

tmsize_t mem_read(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    const uint8_t* data = f->out ? f->out->data() : f->data;
    const uint64_t size = f->out ? f->out->size() : f->size;
    if (n <= 0 || f->pos >= size) return 0;
    const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), size - f->pos);
    std::memcpy(buf, data + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t mem_write(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    if (!f->out || n < 0) return -1;
    const uint64_t end = f->pos + static_cast<uint64_t>(n);
    if (end > f->out->size()) f->out->resize(end);
    std::memcpy(f->out->data() + f->pos, buf, static_cast<size_t>(n));
    f->pos = end;
    return n;
}

toff_t mem_size(thandle_t h) {
    auto* f = static_cast<MemFile*>(h);
    return f->out ? f->out->size() : f->size;
}

toff_t mem_seek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemFile*>(h);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = f->pos;
    else if (whence == SEEK_END) base = mem_size(h);
    f->pos = base + off;
    return f->pos;
}

int mem_close(thandle_t) { return 0; }
int mem_map(thandle_t, void**, toff_t*) { return 0; }
void mem_unmap(thandle_t, void*, toff_t) {}

int no_message(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr open(MemFile& file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(std::max<uint64_t>(byte_limit(), 1 << 20)));
    TIFFOpenOptionsSetErrorHandlerExtR(options, no_message, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, no_message, nullptr);
    TIFF* t = TIFFClientOpenExt("memory", mode, &file, mem_read, mem_write, mem_seek, mem_close, mem_size, mem_map,
                                mem_unmap, options);
    TIFFOpenOptionsFree(options);
    return TiffPtr(t);
}

// 8-bit contiguous RGB or RGBA strips whose alpha is not premultiplied.
bool is_plain_rgb(TIFF* t, uint16_t& samples) {
    uint16_t bits = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
    if (!TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits) || bits != 8) return false;
    if (!TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples) || (samples != 3 && samples != 4)) return false;
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) || photometric != PHOTOMETRIC_RGB) return false;
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    if (planar != PLANARCONFIG_CONTIG || TIFFIsTiled(t)) return false;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    if (orientation != ORIENTATION_TOPLEFT) return false;
    if (samples == 4) {
        uint16_t count = 0;
        uint16_t* kinds = nullptr;
        if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &kinds) && count == 1 && kinds[0] == EXTRASAMPLE_ASSOCALPHA)
            return false;
    }
    return true;
}

bool read_plain(TIFF* t, uint16_t samples, Pixels& out) {
    const tmsize_t line = TIFFScanlineSize(t);
    if (line < static_cast<tmsize_t>(out.width) * samples) return false;
    std::vector<uint8_t> row(static_cast<size_t>(line));
    for (uint32_t y = 0; y < out.height; y++) {
        if (TIFFReadScanline(t, row.data(), y, 0) != 1) return false;
        uint32_t* px = out.row(y);
        const uint8_t* s = row.data();
        for (uint32_t x = 0; x < out.width; x++, s += samples)
            px[x] = make_pixel(s[0], s[1], s[2], samples == 4 ? s[3] : 255);
    }
    return true;
}

// libtiff's raster words hold R in the low byte up to A in the high one,
// with colour premultiplied by alpha.
bool read_general(TIFF* t, Pixels& out) {
    char message[1024];
    if (!TIFFRGBAImageOK(t, message)) return false;
    if (!TIFFReadRGBAImageOriented(t, out.width, out.height, out.data.get(), ORIENTATION_TOPLEFT, 0)) return false;
    for (uint64_t i = 0; i < out.count(); i++) {
        const uint32_t p = out.data[i];
        uint32_t r = p & 0xFF, g = (p >> 8) & 0xFF, b = (p >> 16) & 0xFF;
        const uint32_t a = p >> 24;
        if (a != 0 && a != 255) {
            r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
            g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
            b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
        }
        out.data[i] = make_pixel(uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a));
    }
    return true;
}

}  // namespace

Status decode_tiff(std::span<const uint8_t> bytes, Pixels& out) {
    MemFile file{bytes.data(), bytes.size()};
    TiffPtr t = open(file, "rm");
    if (!t) return Status::bad_media;
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &height) ||
        width == 0 || height == 0)
        return Status::bad_media;
    if (const Status s = allocate(out, width, height); s != Status::ok) return s;
    uint16_t samples = 0;
    const bool read = is_plain_rgb(t.get(), samples) ? read_plain(t.get(), samples, out) : read_general(t.get(), out);
    return read ? Status::ok : Status::bad_media;
}

bool encode_tiff(const Pixels& px, std::vector<uint8_t>& out) {
    bool opaque = true;
    for (uint64_t i = 0; i < px.count() && opaque; i++) opaque = opacity(px.data[i]) == 255;
    const uint16_t samples = opaque ? 3 : 4;
    MemFile file{nullptr, 0, 0, &out};
    TiffPtr t = open(file, "wm");
    if (!t) return false;
    TIFF* tif = t.get();
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, px.width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, px.height) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (ok && !opaque) {
        const uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    std::vector<uint8_t> row(size_t{px.width} * samples);
    for (uint32_t y = 0; ok && y < px.height; y++) {
        const uint32_t* p = px.row(y);
        uint8_t* d = row.data();
        for (uint32_t x = 0; x < px.width; x++) {
            *d++ = red(p[x]);
            *d++ = green(p[x]);
            *d++ = blue(p[x]);
            if (!opaque) *d++ = opacity(p[x]);
        }
        ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
    }
    ok = ok && TIFFFlush(tif) == 1;
    t.reset();
    return ok && !out.empty();
}

}  // namespace qor::image
