// GIF through giflib: the first frame of a file, and one-frame encoding
// through a palette.
//
// Decoding reads records up to the first image, taking the transparent
// index from a graphics control extension met before it; that index gives
// opacity 0, every other index its palette colour fully opaque. The frame is
// placed on the logical screen, whose pixels outside the frame are
// transparent; a frame that does not fit the screen is taken alone.
//
// Encoding keeps the exact colours when the image has at most 256 of them
// (255 when some pixel is transparent: opacity below 128), and otherwise
// quantises them to 256 by giflib's median cut.
#include <gif_lib.h>

#include <cstring>
#include <unordered_map>

#include "runtime/image/codecs.h"

namespace qor::image {

namespace {

// ---- decoding

struct Reader {
    const uint8_t* next;
    size_t left;
};

int read_bytes(GifFileType* gif, GifByteType* into, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const size_t count = std::min<size_t>(r->left, n > 0 ? static_cast<size_t>(n) : 0);
    std::memcpy(into, r->next, count);
    r->next += count;
    r->left -= count;
    return static_cast<int>(count);
}

// Closes the decoder whatever happens to the decode.
struct Decoder {
    GifFileType* gif = nullptr;
    ~Decoder() {
        int error = 0;
        if (gif) DGifCloseFile(gif, &error);
    }
};

// Skips extensions up to the first image descriptor, keeping the last
// transparent index seen. False when the file ends or breaks first.
bool find_first_image(GifFileType* gif, int& transparent) {
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) == GIF_OK;
        if (type == TERMINATE_RECORD_TYPE) return false;
        if (type != EXTENSION_RECORD_TYPE) continue;
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
        }
        while (ext) {
            if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return false;
        }
    }
}

// The rows of the frame in file order: interlaced frames come in four passes.
template <typename F>
bool for_each_row(uint32_t height, bool interlaced, F&& row) {
    if (!interlaced) {
        for (uint32_t y = 0; y < height; y++)
            if (!row(y)) return false;
        return true;
    }
    static constexpr uint32_t start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; pass++)
        for (uint32_t y = start[pass]; y < height; y += step[pass])
            if (!row(y)) return false;
    return true;
}

// ---- encoding

struct Writer {
    std::vector<uint8_t>* out;
};

int write_bytes(GifFileType* gif, const GifByteType* bytes, int n) {
    auto* w = static_cast<Writer*>(gif->UserData);
    w->out->insert(w->out->end(), bytes, bytes + n);
    return n;
}

struct Encoder {
    GifFileType* gif = nullptr;
    ColorMapObject* map = nullptr;
    // Closing writes the trailer; false when that fails.
    bool close() {
        int error = 0;
        const bool ok = EGifCloseFile(gif, &error) == GIF_OK;
        gif = nullptr;
        return ok;
    }
    ~Encoder() {
        if (gif) close();
        if (map) GifFreeMapObject(map);
    }
};

[[nodiscard]] bool is_transparent(uint32_t p) { return opacity(p) < 128; }

// Indexes of every pixel and the palette: exact when the colours fit,
// otherwise by giflib's quantiser. Answers the colour count (0 on failure).
int build_palette(const Pixels& px, bool has_transparency, std::vector<uint8_t>& indexes, GifColorType* palette) {
    const uint64_t n = px.count();
    const int room = has_transparency ? 255 : 256;
    indexes.resize(n);
    std::unordered_map<uint32_t, uint8_t> colours;
    bool fits = true;
    for (uint64_t i = 0; i < n && fits; i++) {
        const uint32_t p = px.data[i];
        if (is_transparent(p)) continue;
        const uint32_t rgb = p & 0xFFFFFF;
        auto [it, added] = colours.try_emplace(rgb, static_cast<uint8_t>(colours.size()));
        if (added) {
            if (colours.size() > static_cast<size_t>(room)) fits = false;
            else palette[it->second] = GifColorType{red(p), green(p), blue(p)};
        }
        indexes[i] = it->second;
    }
    if (fits) return static_cast<int>(colours.size());
    std::vector<GifByteType> r(n), g(n), b(n);
    for (uint64_t i = 0; i < n; i++) {
        r[i] = red(px.data[i]);
        g[i] = green(px.data[i]);
        b[i] = blue(px.data[i]);
    }
    int size = room;
    if (GifQuantizeBuffer(px.width, px.height, &size, r.data(), g.data(), b.data(), indexes.data(), palette) !=
        GIF_OK)
        return 0;
    return size;
}

}  // namespace

Status decode_gif(std::span<const uint8_t> bytes, Pixels& out) {
    Reader reader{bytes.data(), bytes.size()};
    int error = 0;
    Decoder d;
    d.gif = DGifOpen(&reader, read_bytes, &error);
    if (!d.gif) return Status::bad_media;
    int transparent = NO_TRANSPARENT_COLOR;
    if (!find_first_image(d.gif, transparent)) return Status::bad_media;
    const GifImageDesc& frame = d.gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : d.gif->SColorMap;
    if (!map || frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) return Status::bad_media;
    const uint64_t fw = static_cast<uint64_t>(frame.Width), fh = static_cast<uint64_t>(frame.Height);
    const bool on_screen = uint64_t(frame.Left) + fw <= uint64_t(d.gif->SWidth) &&
                           uint64_t(frame.Top) + fh <= uint64_t(d.gif->SHeight);
    if (const Status s = check_size(fw, fh); s != Status::ok) return s;
    const uint64_t cw = on_screen ? uint64_t(d.gif->SWidth) : fw, ch = on_screen ? uint64_t(d.gif->SHeight) : fh;
    if (const Status s = allocate(out, cw, ch); s != Status::ok) return s;
    const uint32_t left = on_screen ? uint32_t(frame.Left) : 0, top = on_screen ? uint32_t(frame.Top) : 0;
    for (uint64_t i = 0; i < out.count(); i++) out.data[i] = 0;
    uint32_t colours[256];
    for (int i = 0; i < 256; i++) {
        const GifColorType c = i < map->ColorCount ? map->Colors[i] : GifColorType{0, 0, 0};
        colours[i] = i == transparent ? make_pixel(c.Red, c.Green, c.Blue, 0) : make_pixel(c.Red, c.Green, c.Blue, 255);
    }
    std::vector<GifPixelType> line(fw);
    const bool read = for_each_row(static_cast<uint32_t>(fh), frame.Interlace, [&](uint32_t y) {
        if (DGifGetLine(d.gif, line.data(), static_cast<int>(fw)) != GIF_OK) return false;
        uint32_t* row = out.row(top + y) + left;
        for (uint64_t x = 0; x < fw; x++) row[x] = colours[line[x]];
        return true;
    });
    return read ? Status::ok : Status::bad_media;
}

bool encode_gif(const Pixels& px, std::vector<uint8_t>& out) {
    const uint64_t n = px.count();
    bool has_transparency = false;
    for (uint64_t i = 0; i < n && !has_transparency; i++) has_transparency = is_transparent(px.data[i]);
    GifColorType palette[256] = {};
    std::vector<uint8_t> indexes;
    int colours = build_palette(px, has_transparency, indexes, palette);
    if (colours <= 0 && !has_transparency) return false;
    const int transparent = has_transparency ? colours++ : NO_TRANSPARENT_COLOR;
    if (has_transparency)
        for (uint64_t i = 0; i < n; i++)
            if (is_transparent(px.data[i])) indexes[i] = static_cast<uint8_t>(transparent);
    const int bits = GifBitSize(colours);

    Writer writer{&out};
    int error = 0;
    Encoder e;
    e.map = GifMakeMapObject(1 << bits, palette);
    if (!e.map) return false;
    e.gif = EGifOpen(&writer, write_bytes, &error);
    if (!e.gif) return false;
    EGifSetGifVersion(e.gif, true);
    if (EGifPutScreenDesc(e.gif, static_cast<int>(px.width), static_cast<int>(px.height), bits, 0, e.map) != GIF_OK)
        return false;
    if (has_transparency) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent};
        GifByteType ext[4];
        const size_t len = EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(e.gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext) != GIF_OK) return false;
    }
    if (EGifPutImageDesc(e.gif, 0, 0, static_cast<int>(px.width), static_cast<int>(px.height), false, nullptr) !=
        GIF_OK)
        return false;
    for (uint32_t y = 0; y < px.height; y++)
        if (EGifPutLine(e.gif, indexes.data() + uint64_t{y} * px.width, static_cast<int>(px.width)) != GIF_OK)
            return false;
    return e.close() && !out.empty();
}

}  // namespace qor::image
