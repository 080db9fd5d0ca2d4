// image!: positions and indexes, rectangles of pixels, and the actions
// (make, to, pick, poke, paths, navigation, copy, change, compare) with the
// registration. The text form is in image_text.cpp, the channels and the
// codecs' entry points in image_pixels.cpp.
#include "runtime/datatypes/image.h"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/image/record.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::image_type {

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);

namespace {

using image::Pixels;

// ---- helpers

[[nodiscard]] Cell pixel_tuple(uint32_t p) {
    const uint8_t bytes[4] = {image::red(p), image::green(p), image::blue(p),
                              static_cast<uint8_t>(255 - image::opacity(p))};
    Cell t;
    tuple::make_at(t, bytes);
    return t;
}

// R, G, B from the first three components; opacity 255 minus the fourth,
// fully opaque without one.
[[nodiscard]] uint32_t tuple_pixel(const Cell& t) {
    const tuple::Bytes b = tuple::bytes_of(t);
    const uint8_t op = tuple::length_of(t) >= 4 ? static_cast<uint8_t>(255 - b[3]) : 255;
    return image::make_pixel(b[0], b[1], b[2], op);
}

[[noreturn]] void raise(image::Status s) {
    error::fire(s == image::Status::no_memory ? error::Id::no_memory : error::Id::bad_media);
}

// Takes pixels of a size the language asked for: a side above 65,535 is
// out of range, a pixel count beyond the limit no-memory.
void allocate_for(Pixels& px, int64_t w, int64_t h, const Cell& size_cell) {
    if (w > image::max_side || h > image::max_side) error::fire(error::Id::out_of_range, {size_cell});
    if (const image::Status s = image::allocate(px, uint64_t(w), uint64_t(h)); s != image::Status::ok) raise(s);
}

// A new image of the rectangle (x, y, w, h) of the source, which lies
// within it, written into `out` (a stack cell).
void copy_rect(const Cell& src, int64_t x, int64_t y, int64_t w, int64_t h, Cell& out) {
    if (w < 1 || h < 1 || !pixels(src)) {
        image::make_at(out, 0, 0, 0);
        return;
    }
    Pixels px;
    allocate_for(px, w, h, src);
    const Pixels& from = *pixels(src);
    for (int64_t row = 0; row < h; row++)
        std::memcpy(px.row(uint32_t(row)), from.row(uint32_t(y + row)) + x, size_t(w) * 4);
    image::make_at(out, std::move(px));
}

// The pixel index an index or a pair! names, with base 1 (pick, poke, at)
// or base 0 (skip), clamped to 0 .. w × h. `out_of_range` tells whether it
// names no pixel.
[[nodiscard]] int64_t index_of(const Cell& img, const Cell& index, int base, bool& out_of_range) {
    const int64_t w = width(img), h = height(img), pos = img.w1;
    int64_t e = 0;
    out_of_range = false;
    if (type_of(index) == TypeId::pair) {
        const int64_t x = pair::x(index), y = pair::y(index);
        e = base == 1 && y > 0 ? x + w * (y - 1) : x + w * y;
        out_of_range = base == 1 ? (x > w || x <= 0 || y > h || y <= 0) : (x >= w || x < 0 || y >= h || y < 0);
    } else if (type_of(index) == TypeId::integer) {
        e = get_int(index);
    } else {
        error::fire(error::Id::invalid_arg, {index});
    }
    int64_t i = e + pos - base;
    if (base == 1 && e <= 0) i += 1;
    if (e == 0 || i < 0 || i >= w * h) out_of_range = true;
    return std::clamp<int64_t>(i, 0, w * h);
}

[[nodiscard]] bool is_word(const Cell& v, Sym s) {
    return is_word_like(type_of(v)) && symbol::resolve_alias(v.w2) == symbol::resolve_alias(to_int(s));
}

// ---- make and to

// The pixels of `make`: a fill colour, or R, G, B triples while whole ones
// remain (white after) and transparency bytes while they remain (opaque
// after).
void fill_from_data(Pixels& px, const Cell* rgb, const Cell* alpha, const Cell* colour) {
    const uint64_t n = px.count();
    if (colour) {
        std::fill_n(px.data.get(), n, tuple_pixel(*colour));
        return;
    }
    std::fill_n(px.data.get(), n, image::make_pixel(255, 255, 255, 255));
    if (rgb) {
        const series::Buffer* b = series::buffer(rgb->w2);
        const uint64_t len = rgb->w1 < b->length() ? b->length() - rgb->w1 : 0;
        const uint8_t* d = b->head_ptr() + rgb->w1;
        for (uint64_t i = 0; i < n && 3 * i + 2 < len; i++)
            px.data[i] = image::make_pixel(d[3 * i], d[3 * i + 1], d[3 * i + 2], 255);
    }
    if (alpha) {
        const series::Buffer* b = series::buffer(alpha->w2);
        const uint64_t len = alpha->w1 < b->length() ? b->length() - alpha->w1 : 0;
        const uint8_t* d = b->head_ptr() + alpha->w1;
        for (uint64_t i = 0; i < n && i < len; i++)
            px.data[i] = (px.data[i] & 0xFFFFFF) | uint32_t(255 - d[i]) << 24;
    }
}

void make_sized(Cell& out, const Cell& size, const Cell* rgb, const Cell* alpha, const Cell* colour) {
    const int64_t w = std::max(0, pair::x(size)), h = std::max(0, pair::y(size));
    Pixels px;
    allocate_for(px, w, h, size);
    if (px.data) fill_from_data(px, rgb, alpha, colour);
    image::make_at(out, std::move(px));
}

void copy_whole(const Cell& src, Cell& out) {
    if (!pixels(src)) return (void)image::make_at(out, 0, 0, 0);
    copy_rect(src, 0, 0, width(src), height(src), out);
}

const Cell* to(Cell* prototype, Cell* spec, TypeId) {
    if (type_of(*spec) != TypeId::image) error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::image), *spec});
    const Cell src = *spec;
    copy_whole(src, *prototype);
    return prototype;
}

const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    const Cell proto = *prototype, s = *spec;
    switch (type_of(s)) {
        case TypeId::pair: make_sized(*prototype, s, nullptr, nullptr, nullptr); return prototype;
        case TypeId::block: break;
        default: return to(prototype, spec, type);
    }
    const uint32_t n = series_tail::cell_count(s);
    if (n == 0) {
        if (type_of(proto) != TypeId::image) error::fire(error::Id::invalid_arg, {s});
        copy_whole(proto, *prototype);
        return prototype;
    }
    const Cell size = *series_tail::cell_at(s, 0);
    if (type_of(size) != TypeId::pair) error::fire(error::Id::invalid_arg, {size});
    Cell second = none::value, third = none::value;
    if (n >= 2) {
        second = *series_tail::cell_at(s, 1);
        if (type_of(second) != TypeId::binary && type_of(second) != TypeId::tuple)
            error::fire(error::Id::invalid_arg, {second});
    }
    if (n >= 3) {
        third = *series_tail::cell_at(s, 2);
        if (type_of(third) != TypeId::binary) error::fire(error::Id::invalid_arg, {third});
    }
    // The binaries stay reachable from the spec block, which is on the stack.
    make_sized(*prototype, size, type_of(second) == TypeId::binary ? &second : nullptr,
               n >= 3 ? &third : nullptr, type_of(second) == TypeId::tuple ? &second : nullptr);
    return prototype;
}

// ---- pick, poke and paths

const Cell* pick(Cell* img, Cell* index, int32_t) {
    bool out = false;
    const int64_t i = index_of(*img, *index, 1, out);
    if (out || i >= int64_t{pixel_count(*img)} || !pixels(*img)) return &none::value;
    return stack::set_result(pixel_tuple(pixels(*img)->data[i]));
}

const Cell* poke(Cell* img, Cell* index, int32_t, Cell* value) {
    bool out = false;
    const int64_t i = index_of(*img, *index, 1, out);
    if (out || !pixels(*img)) error::fire(error::Id::out_of_range, {*index});
    if (type_of(*value) != TypeId::tuple) error::fire(error::Id::invalid_arg, {*value});
    const Cell target = *img, stored = *value;
    series_type::Notice notice(target, ownership::Change::poke, &stored, int32_t(i), 1);
    pixels(target)->data[i] = tuple_pixel(stored);
    image::mark_modified(target.w2);
    notice.done(&stored, int32_t(i), 1);
    return value;
}

[[noreturn]] void bad_path(const actions::EvalPathArgs& a) {
    error::fire(error::Id::invalid_path, {*a.path, *a.element});
}

Cell* eval_path(const actions::EvalPathArgs& a) {
    const Cell& e = *a.element;
    if (type_of(e) == TypeId::integer || type_of(e) == TypeId::pair) {
        if (a.value) {
            poke(a.parent, a.element, 0, a.value);
            return a.value;
        }
        const Cell* picked = pick(a.parent, a.element, 0);
        *a.parent = *picked;
        return a.parent;
    }
    Channel kind;
    if (is_word(e, Sym::size)) {
        if (a.value) bad_path(a);
        const Cell img = *a.parent;
        return pair::make_at(*a.parent, int32_t(width(img)), int32_t(height(img)));
    } else if (is_word(e, Sym::rgb)) {
        kind = Channel::rgb;
    } else if (is_word(e, Sym::alpha)) {
        kind = Channel::alpha;
    } else if (is_word(e, Sym::argb)) {
        kind = Channel::argb;
    } else {
        bad_path(a);
    }
    if (a.value) {
        set_channel(*a.parent, *a.value, kind);
        return a.value;
    }
    Cell* out = stack::push(none::value);
    extract_channel(*a.parent, kind, *out);
    *a.parent = *out;
    stack::pop();
    return a.parent;
}

// ---- navigation

Cell* at() {
    bool out = false;
    Cell* img = stack::result();
    img->w1 = uint32_t(index_of(*img, *stack::arg(1), 1, out));
    return img;
}
Cell* skip() {
    bool out = false;
    Cell* img = stack::result();
    img->w1 = uint32_t(index_of(*img, *stack::arg(1), 0, out));
    return img;
}
Cell* next() {
    Cell* img = stack::result();
    if (img->w1 < pixel_count(*img)) img->w1++;
    return img;
}
Cell* tail() {
    Cell* img = stack::result();
    img->w1 = pixel_count(*img);
    return img;
}
Cell* tail_q() { return logic::box(stack::arg(0)->w1 >= pixel_count(*stack::arg(0))); }
int32_t length_q(const Cell* img) { return int32_t(pixel_count(*img)); }

// ---- copy

// The rectangle /part with a pair! selects, from the position's column x0
// and row y0: forwards for a positive pair, backwards for a negative one.
void copy_part_pair(const Cell& img, const Cell& part, Cell& out) {
    const int64_t w = width(img), h = height(img), pos = img.w1;
    int64_t x0 = pos % w, y0 = pos / w;
    const int64_t pw = pair::x(part), ph = pair::y(part);
    if (pw >= 1 && ph >= 1 && pos < w * h)
        return copy_rect(img, x0, y0, std::min(pw, w - x0), std::min(ph, h - y0), out);
    if (pw < 0 && ph < 0 && pos > 0) {
        int64_t rw = -pw, rh = -ph, left = 0, top = 0;
        if (x0 == 0) x0 = w;
        if (x0 >= -pw) left = x0 + pw;
        else rw = x0;
        if (y0 < h) y0++;
        if (y0 >= -ph) top = y0 + ph;
        else rh = y0;
        return copy_rect(img, left, top, std::min(rw, w - left), std::min(rh, h - top), out);
    }
    image::make_at(out, 0, 0, 0);
}

// The rectangle between two positions of the same image: the lower gives
// the top-left corner, the higher the opposite one.
void copy_part_image(const Cell& img, const Cell& part, Cell& out) {
    if (part.w2 != img.w2 || part.w3 != img.w3)
        error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, part});
    const int64_t w = width(img);
    const int64_t lo = std::min(img.w1, part.w1), hi = std::max(img.w1, part.w1);
    const int64_t x0 = lo % w, y0 = lo / w, x1 = hi % w, y1 = hi / w;
    copy_rect(img, x0, y0, x1 - x0, y1 - y0, out);
}

const Cell* copy(Cell* value, Cell* result, const Cell* part, bool, const Cell*) {
    const Cell img = *value;
    const int64_t w = width(img), h = height(img);
    if (w < 1 || h < 1) return image::make_at(*result, 0, 0, 0);
    if (!part) {
        if (img.w1 == 0) copy_whole(img, *result);
        else if (img.w1 >= w * h) image::make_at(*result, 0, 0, 0);
        else copy_rect(img, img.w1 % w, img.w1 / w, w - img.w1 % w, h - img.w1 / w, *result);
        return result;
    }
    switch (type_of(*part)) {
        case TypeId::pair: copy_part_pair(img, *part, *result); break;
        case TypeId::image: copy_part_image(img, *part, *result); break;
        case TypeId::integer: error::fire(error::Id::not_done);
        default: error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, *part});
    }
    return result;
}

// ---- change

// Pastes the source from its top-left pixel at the target's position,
// clipped to both; answers the pixels pasted and the new position.
uint32_t paste(const Cell& target, const Cell& source, uint32_t& position) {
    const int64_t tw = width(target), th = height(target), sw = width(source), sh = height(source);
    const int64_t x0 = target.w1 % tw, y0 = target.w1 / tw;
    const int64_t cols = std::min(sw, tw - x0), rows = std::min(sh, th - y0);
    position = target.w1;
    if (cols < 1 || rows < 1 || !pixels(source)) return 0;
    Pixels& to = *pixels(target);
    const Pixels& from = *pixels(source);
    for (int64_t r = 0; r < rows; r++)
        std::memmove(to.row(uint32_t(y0 + r)) + x0, from.row(uint32_t(r)), size_t(cols) * 4);
    position = uint32_t((y0 + rows - 1) * tw + std::min(x0 + sw, tw));
    return uint32_t(rows * cols);
}

const Cell* change(Cell* img, Cell* value, const Cell* part, bool, const Cell* dup) {
    if (part || (dup && get_int(*dup) > 1)) error::fire(error::Id::not_done);
    const Cell target = *img, v = *value;
    if (type_of(v) == TypeId::tuple) {
        if (target.w1 >= pixel_count(target))
            error::fire(error::Id::out_of_range, {Cell{to_int(TypeId::integer), 0, 1, 0}});
        series_type::Notice notice(target, ownership::Change::change, &v, int32_t(target.w1), 1);
        pixels(target)->data[target.w1] = tuple_pixel(v);
        image::mark_modified(target.w2);
        img->w1 = target.w1 + 1;
        notice.done(&v, int32_t(target.w1), 1);
        return img;
    }
    if (type_of(v) != TypeId::image) error::fire(error::Id::invalid_type, {datatype::value(type_of(v))});
    if (target.w1 >= pixel_count(target)) return img;
    series_type::Notice notice(target, ownership::Change::change, &v, int32_t(target.w1), 0);
    uint32_t position = target.w1;
    const uint32_t pasted = paste(target, v, position);
    if (pasted) image::mark_modified(target.w2);
    img->w1 = position;
    notice.done(&v, int32_t(target.w1), int32_t(pasted));
    return img;
}

// ---- compare

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::image) return -2;
    op = fold_equality(op);
    const bool same = a->w2 == b->w2 && a->w1 == b->w1 && a->w3 == b->w3;
    if (op == CompareOp::same) return same ? 0 : -1;
    if (op >= CompareOp::lesser && op <= CompareOp::greater_or_equal) return -2;
    if (same) return 0;
    const uint64_t na = pixel_count(*a), nb = pixel_count(*b);
    if (na != nb) return na < nb ? -1 : 1;
    if (na == 0) return 0;
    const int c = std::memcmp(pixels(*a)->data.get(), pixels(*b)->data.get(), na * 4);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

// ---- registration

namespace {

// An image keeps its record and, through it, its pixels.
void mark_image_value(Cell& c) {
    if (c.w2 != 0 && collector::mark_node(&c.w2)) image::mark_record(c.w2);
}

uint32_t hash_image_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 1, 2);
}

}  // namespace

void init() {
    image::init_records();
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(to).own<Action::form>(form).own<Action::mold>(mold);
    row.own<Action::eval_path>(eval_path).own<Action::compare>(compare);
    row.own<Action::at>(at).own<Action::change>(change).own<Action::copy>(copy).own<Action::length_q>(length_q);
    row.own<Action::next>(next).own<Action::pick>(pick).own<Action::poke>(poke).own<Action::skip>(skip);
    row.own<Action::tail>(tail).own<Action::tail_q>(tail_q);
    for (Action a : {Action::back, Action::head, Action::head_q, Action::index_q, Action::modify}) row.inherit(a);
    row.mark(&mark_image_value).hash(&hash_image_key);
    datatype::register_type(TypeId::image, TypeId::series, row);
}

}  // namespace qor::image_type
