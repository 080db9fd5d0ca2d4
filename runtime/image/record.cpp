// Image records: the 24-byte series, its handle-table entry and the
// collector's marker.
#include "runtime/image/record.h"

#include <algorithm>
#include <cstring>

#include "runtime/memory/handle_table.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/series.h"

namespace qor::image {

namespace {

enum Word : uint32_t { flags_word, source_word, bitmap_word, size_word, handle_word };
constexpr uint32_t record_bytes = 24;

uint32_t image_kind = 0;

// Pixels live outside the collected heap, so the heap's own fill does not
// tell the collector how much memory unreachable images hold. Pixel bytes
// taken since the last collection count instead: past both a floor and the
// bytes of all live images, the next image asks for a collection first.
constexpr uint64_t collect_floor = 64u << 20;
uint64_t live_bytes = 0;
uint64_t taken_since_collection = 0;

[[nodiscard]] uint64_t bytes_of(const Pixels& px) { return px.count() * 4; }

void count_taken(uint64_t bytes) {
    live_bytes += bytes;
    taken_since_collection += bytes;
    if (taken_since_collection > std::max(collect_floor, live_bytes)) {
        taken_since_collection = 0;
        collector::collect_when_enabled();
    }
}

[[nodiscard]] uint32_t* words(NodeId record) {
    return reinterpret_cast<uint32_t*>(series::buffer(record)->head_ptr());
}

// The handle kind's release: frees the pixels.
void release_pixels(void* object) {
    auto* px = static_cast<Pixels*>(object);
    live_bytes -= std::min(live_bytes, bytes_of(*px));
    delete px;
}

}  // namespace

void mark_record(NodeId record) {
    const int32_t entry = static_cast<int32_t>(words(record)[handle_word]);
    if (entry >= 0 && static_cast<uint32_t>(entry) < handle::capacity()) handle::mark(entry);
}

void init_records() {
    image_kind = 0;
    for (uint32_t k = 1; handle::kind_name(k); k++)
        if (std::strcmp(handle::kind_name(k), "image") == 0) image_kind = k;
    if (image_kind == 0) image_kind = handle::register_kind("image", release_pixels);
}

NodeId make_record(Pixels&& pixels) {
    count_taken(bytes_of(pixels));  // may collect: the new pixels are not the heap's
    const NodeId record = series::alloc_bytes(record_bytes);  // may collect: nothing is held yet
    series::Buffer* b = series::buffer(record);
    b->tail = b->head + record_bytes;
    const uint32_t size = pixels.height << 16 | pixels.width;
    auto* owned = new Pixels(std::move(pixels));
    const int32_t entry = handle::alloc(owned, image_kind);
    uint32_t* w = words(record);
    w[flags_word] = record_flag::current | record_flag::modified;
    w[source_word] = 0;
    w[bitmap_word] = static_cast<uint32_t>(entry);
    w[size_word] = size;
    w[handle_word] = static_cast<uint32_t>(entry);
    return record;
}

Pixels& pixels_of(NodeId record) {
    const int32_t entry = static_cast<int32_t>(words(record)[handle_word]);
    return *static_cast<Pixels*>(handle::entry(entry).object);
}

void mark_modified(NodeId record) { words(record)[flags_word] |= record_flag::modified; }

Cell* make_at(Cell& cell, NodeId record, uint32_t width, uint32_t height) {
    cell = Cell{to_int(TypeId::image), 0, record, height << 16 | width};
    return &cell;
}

Cell* make_at(Cell& cell, Pixels&& pixels) {
    const uint32_t w = pixels.width, h = pixels.height;
    if (!pixels.data || w == 0 || h == 0) return make_at(cell, 0, w, h);
    const NodeId record = make_record(std::move(pixels));
    return make_at(cell, record, w, h);
}

}  // namespace qor::image
