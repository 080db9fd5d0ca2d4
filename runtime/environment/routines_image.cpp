// The built-in routines behind the image codec objects of system/codecs:
// one decoder for every format (the bytes tell the format) and one encoder
// per format. The library binds them into the codec objects and then drops
// their global words.
#include <string>

#include "runtime/datatypes/image.h"
#include "runtime/datatypes/registry.h"
#include "runtime/environment/routines.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/host/file_read.h"
#include "runtime/memory/series.h"
#include "runtime/strings/url_text.h"

namespace qor::environment {

namespace {

[[nodiscard]] Cell* arg(uint32_t i) { return stack::data.base + i; }

// The bytes of a binary! from its position (valid until the next allocation).
[[nodiscard]] std::span<const uint8_t> binary_bytes(const Cell& bin) {
    const series::Buffer* b = series::buffer(bin.w2);
    const uint32_t n = b->length();
    if (bin.w1 >= n) return {};
    return {b->head_ptr() + bin.w1, n - bin.w1};
}

// A file that cannot be read, or whose bytes are no image, cannot be
// opened as one; a size beyond the pixel limit stays no-memory.
void decode_file(const Cell& file) {
    const host::ReadResult r = host::read_file(url_text::to_local(file, true));
    if (r.status == host::ReadStatus::too_large) error::fire(error::Id::size_limit, {file});
    if (r.status == host::ReadStatus::no_memory) error::fire(error::Id::no_memory);
    if (r.status != host::ReadStatus::ok) error::fire(error::Id::cannot_open, {file});
    const image::Format format = image::sniff(r.bytes);
    if (format == image::Format::unknown) error::fire(error::Id::cannot_open, {file});
    try {
        *arg(0) = *image_type::push_decoded(r.bytes);
    } catch (const error::Raised& e) {
        if (e.is(error::Id::bad_media)) error::fire(error::Id::cannot_open, {file});
        throw;
    }
}

// A URL is read whole, as a binary, by its own `read`.
void decode_url(Cell& url) {
    actions::ReadArgs args;
    args.binary = true;
    const auto read = actions::restore<Action::read>(datatype::routine(TypeId::url, Action::read));
    if (!read) error::fire(error::Id::invalid_arg, {url});
    const Cell bytes = *read(&url, args);
    Cell* kept = stack::push(bytes);
    if (type_of(*kept) != TypeId::binary) error::fire(error::Id::invalid_arg, {url});
    *arg(0) = *image_type::push_decoded(binary_bytes(*kept));
}

// decode data: a binary!, file! or url! holding an image.
void image_decode() {
    Cell& data = *arg(0);
    switch (type_of(data)) {
        case TypeId::binary: *arg(0) = *image_type::push_decoded(binary_bytes(data)); break;
        case TypeId::file: decode_file(data); break;
        case TypeId::url: decode_url(data); break;
        default: error::fire(error::Id::invalid_arg, {data});
    }
}

// encode img where: the image in the format as a binary! (where is not
// written here: save writes the answer).
template <image::Format F>
void image_encode() {
    *arg(0) = *image_type::push_encoded(*arg(0), F);
}

}  // namespace

void define_image_routines() {
    define_routine("image-codec-decode",
                   R"spec(["Decodes a BMP, PNG, GIF, JPEG or TIFF image" data [any-type!] return: [image!]])spec",
                   image_decode);
    static constexpr const char* encode_spec =
        R"spec(["Encodes an image" img [image!] where [any-type!] return: [binary!]])spec";
    define_routine("image-codec-encode-png", encode_spec, image_encode<image::Format::png>);
    define_routine("image-codec-encode-jpeg", encode_spec, image_encode<image::Format::jpeg>);
    define_routine("image-codec-encode-bmp", encode_spec, image_encode<image::Format::bmp>);
    define_routine("image-codec-encode-gif", encode_spec, image_encode<image::Format::gif>);
    define_routine("image-codec-encode-tiff", encode_spec, image_encode<image::Format::tiff>);
}

}  // namespace qor::environment
