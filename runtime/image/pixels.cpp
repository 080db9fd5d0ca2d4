// Pixel buffers: the size check and the allocation.
#include "runtime/image/pixels.h"

#include "runtime/memory/series.h"

namespace qor::image {

namespace {

uint64_t limit = series::max_capacity;

}  // namespace

uint64_t byte_limit() { return limit; }
void set_byte_limit(uint64_t bytes) { limit = bytes; }

Status check_size(uint64_t width, uint64_t height) {
    if (width > max_side || height > max_side) return Status::bad_media;
    if (width * height * 4 > limit) return Status::no_memory;  // both below 2^16: no overflow
    return Status::ok;
}

Status allocate(Pixels& out, uint64_t width, uint64_t height) {
    if (const Status s = check_size(width, height); s != Status::ok) return s;
    out.width = static_cast<uint32_t>(width);
    out.height = static_cast<uint32_t>(height);
    out.data.reset();
    if (width == 0 || height == 0) return Status::ok;
    auto* p = static_cast<uint32_t*>(std::malloc(width * height * 4));
    if (!p) return Status::no_memory;
    out.data.reset(p);
    return Status::ok;
}

}  // namespace qor::image
