// The clipboard: the system clipboard through its tool, or the in-process
// store when there is none.
#include "runtime/host/clipboard.h"

#include <algorithm>
#include <optional>

#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/image/codecs.h"
#include "runtime/image/record.h"
#include "runtime/memory/series.h"
#include "runtime/platform/clipboard_tool.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"

namespace qor::host::clipboard {

namespace {

constexpr std::string_view uri_list_type = "text/uri-list";

// Text types in the order they are asked for.
constexpr std::string_view text_types[] = {platform::text_type, "UTF8_STRING", "text/plain", "STRING", "TEXT"};

// ---- the in-process store

Cell stored = none::value;

void mark_store() { collector::mark_cell(stored); }

// A copy that shares nothing with the value, so later changes to either
// leave the other as it was.
Cell deep_copy(const Cell& value) {
    const size_t depth = stack::depth();
    Cell* source = stack::push(value);
    Cell* result = stack::push(none::value);
    const Cell copy = *actions::call_copy(*source, *result, nullptr, true, nullptr);
    stack::data.top = stack::data.bottom + depth;
    return copy;
}

// ---- file lists

bool uri_keeps(uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        const int hi = text[i] == '%' && i + 2 < text.size() ? hex_value(text[i + 1]) : -1;
        const int lo = hi >= 0 ? hex_value(text[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The local paths of a block's values, each made absolute.
std::vector<std::string> block_paths(const Cell& block) {
    std::vector<std::string> paths;
    const uint32_t n = series_tail::cell_count(block);
    for (uint32_t i = 0; i < n; i++) {
        const Cell item = *series_tail::cell_at(block, i);
        if (!is_any_string(type_of(item))) error::fire(error::Id::invalid_arg, {item});
        paths.push_back(url_text::to_local(item, true));
    }
    return paths;
}

// A new block of file! values of the paths in `out`.
void file_block(Cell& out, const std::vector<std::string>& paths) {
    out = Cell{to_int(TypeId::block), 0, series::alloc_cells(paths.size() + 1), 0};
    for (const std::string& p : paths) {
        Cell* f = stack::push(unset_cell);
        str::load_at(reinterpret_cast<const uint8_t*>(p.data()), p.size(), *f, 0);
        set_type_keep_flags(*f, TypeId::file);
        *series_tail::block_alloc_tail(out) = *f;
        stack::pop();
    }
}

// ---- images

// Picture types in the order they are asked for, each with the format its
// bytes must be in.
struct ImageType {
    std::string_view type;
    image::Format format;
};
constexpr ImageType image_types[] = {
    {"image/png", image::Format::png},
    {"image/jpeg", image::Format::jpeg},
    {"image/gif", image::Format::gif},
    {"image/bmp", image::Format::bmp},
};

// Into `out`, the image of bytes another program offered as a type: false
// when they are not in the type's format or do not decode. The decoders
// check every size the bytes claim against the bytes there are before they
// take memory for pixels or read them.
void image_from(Cell& out, std::span<const uint8_t> bytes, image::Format format) {
    image::Pixels pixels;
    if (image::sniff(bytes) != format || image::decode(bytes, pixels) != image::Status::ok) {
        logic::make_at(out, false);
        return;
    }
    image::make_at(out, std::move(pixels));
}

// The PNG bytes of an image with pixels; false when the codec failed.
bool png_of(const Cell& img, std::string& bytes) {
    const image::Pixels* pixels = image_type::pixels(img);
    std::vector<uint8_t> png;
    if (!pixels || !image::encode(image::Format::png, *pixels, png) || png.empty()) return false;
    bytes.assign(png.begin(), png.end());
    return true;
}

// ---- the system clipboard

bool offers(const std::vector<std::string>& types, std::string_view type) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

void read_system(Cell& out, platform::ClipboardTool tool) {
    const std::optional<std::vector<std::string>> types = platform::clipboard_types(tool);
    if (!types) {
        logic::make_at(out, false);
        return;
    }
    for (std::string_view type : text_types) {
        if (!offers(*types, type)) continue;
        const std::optional<std::vector<uint8_t>> text = platform::clipboard_read(tool, type);
        if (!text) logic::make_at(out, false);
        else str::load_at(text->data(), text->size(), out, static_cast<int32_t>(str::Encoding::utf8));
        return;
    }
    if (offers(*types, uri_list_type)) {
        const std::optional<std::vector<uint8_t>> list = platform::clipboard_read(tool, uri_list_type);
        if (!list) logic::make_at(out, false);
        else file_block(out, paths_of_uri_list({reinterpret_cast<const char*>(list->data()), list->size()}));
        return;
    }
    for (const ImageType& picture : image_types) {
        if (!offers(*types, picture.type)) continue;
        const std::optional<std::vector<uint8_t>> bytes = platform::clipboard_read(tool, picture.type);
        if (!bytes) logic::make_at(out, false);
        else image_from(out, *bytes, picture.format);
        return;
    }
    out = none::value;
}

bool write_system(const Cell& value, platform::ClipboardTool tool) {
    // Every byte is prepared before the tool runs, so the clipboard
    // changes only to the complete value.
    std::string bytes;
    std::string_view type;
    switch (type_of(value)) {
        case TypeId::string:
            bytes = str::to_utf8(value);
            type = platform::text_type;
            break;
        case TypeId::block:
            bytes = uri_list(block_paths(value));
            type = uri_list_type;
            break;
        case TypeId::image:
            // An image without pixels only empties the clipboard; one whose
            // PNG cannot be made leaves the clipboard as it was.
            if (image_type::pixel_count(value) == 0) break;
            if (!png_of(value, bytes)) return false;
            type = image_types[0].type;
            break;
        case TypeId::none: break;
        default: return false;
    }
    return platform::clipboard_write(tool, type, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace

std::string uri_list(std::span<const std::string> paths) {
    constexpr char hex[] = "0123456789ABCDEF";
    std::string list;
    for (const std::string& path : paths) {
        list += "file://";
        for (unsigned char c : path) {
            if (uri_keeps(c)) {
                list += static_cast<char>(c);
            } else {
                list += '%';
                list += hex[c >> 4];
                list += hex[c & 15];
            }
        }
        list += "\r\n";
    }
    return list;
}

std::vector<std::string> paths_of_uri_list(std::string_view list) {
    std::vector<std::string> paths;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view line = list.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line.front() == '#' || !line.starts_with("file://")) continue;
        line.remove_prefix(7);
        // "file://host/path": the host part (empty or localhost) is dropped.
        const size_t slash = line.find('/');
        if (slash == std::string_view::npos) continue;
        paths.push_back(percent_decoded(line.substr(slash)));
    }
    return paths;
}

void read(Cell& out) {
    const platform::ClipboardTool tool = platform::clipboard_tool();
    if (tool != platform::ClipboardTool::none) {
        read_system(out, tool);
        return;
    }
    out = type_of(stored) == TypeId::none ? none::value : deep_copy(stored);
}

bool write(const Cell& value) {
    const TypeId t = type_of(value);
    if (t != TypeId::none && t != TypeId::string && t != TypeId::block && t != TypeId::image)
        error::fire(error::Id::invalid_arg, {value});
    const platform::ClipboardTool tool = platform::clipboard_tool();
    if (tool != platform::ClipboardTool::none) return write_system(value, tool);
    if (t == TypeId::block) (void)block_paths(value);  // the same check as for the system clipboard
    const bool empties = t == TypeId::none || (t == TypeId::image && image_type::pixel_count(value) == 0);
    stored = empties ? none::value : deep_copy(value);
    return true;
}

void init() {
    static const bool marked = (collector::add_mark_callback(mark_store), true);
    (void)marked;
    stored = none::value;
}

}  // namespace qor::host::clipboard
