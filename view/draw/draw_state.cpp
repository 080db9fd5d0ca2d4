// Colour conversion for a draw run and the visible area of its state.
#include "view/draw/draw_state.h"

#include <algorithm>
#include <cstring>

#include "runtime/image/pixels.h"

namespace qor::draw {

uint32_t Colours::of_tuple(const Cell& value) {
    if (type_of(value) != TypeId::tuple) return 0;
    const uint32_t length = (value.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
    if (length < 3) return 0;
    uint8_t bytes[4];
    std::memcpy(bytes, &value.w1, sizeof bytes);
    const uint8_t transparency = length >= 4 ? bytes[3] : 0;
    if (target_ == Target::image) {
        const uint32_t p = image::make_pixel(bytes[0], bytes[1], bytes[2], static_cast<uint8_t>(255 - transparency));
        if (const auto found = index_.find(p); found != index_.end()) return kind_image << 24 | found->second;
        if (pixels_.size() >= 0xFFFFFF) return kind_image << 24;  // the table is full: reuse the first
        const auto index = static_cast<uint32_t>(pixels_.size());
        pixels_.push_back(p);
        index_.emplace(p, index);
        return kind_image << 24 | index;
    }
    if (transparency == 255) return 0;
    if (true_colour_) return tui::colour::rgb(bytes[0], bytes[1], bytes[2]);
    return tui::colour::palette(tui::nearest_palette(bytes[0], bytes[1], bytes[2]));
}

uint32_t Colours::pixel(uint32_t colour) const {
    const uint32_t kind = colour >> 24;
    const uint32_t low = colour & 0xFFFFFF;
    if (kind == kind_image && low < pixels_.size()) return pixels_[low];
    if (kind == tui::colour::kind_rgb) return 0xFF000000 | low;
    return image::make_pixel(0, 0, 0, 255);
}

tui::Clip DrawState::visible() const {
    if (!grid) return {};
    return tui::Clip{std::max(clip.x1, 0), std::max(clip.y1, 0), std::min(clip.x2, grid->width()),
                     std::min(clip.y2, grid->height())};
}

}  // namespace qor::draw
