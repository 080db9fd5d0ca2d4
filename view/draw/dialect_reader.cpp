// Argument readers of the draw dialect and the grammar of the commands that
// change nothing on the character grid.
#include "view/draw/dialect_reader.h"

#include <cmath>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "view/draw/dialect.h"

namespace qor::draw {

namespace {

bool is_number(const Cell& v) { return type_of(v) == TypeId::integer || type_of(v) == TypeId::float_; }

double number_of(const Cell& v) { return type_of(v) == TypeId::integer ? get_int(v) : get_double(v); }

int64_t truncated(float f) {
    if (!(f == f)) return 0;
    const double t = std::trunc(static_cast<double>(f));
    if (t > 2147483647.0) return 2147483647;
    if (t < -2147483648.0) return -2147483648LL;
    return static_cast<int64_t>(t);
}

bool in(Kw kw, std::initializer_list<Kw> allowed) {
    for (Kw k : allowed)
        if (k == kw) return true;
    return false;
}

}  // namespace

bool point_of(const Cell& v, Pt& out) {
    if (type_of(v) == TypeId::pair) {
        out = Pt{pair::x(v), pair::y(v)};
        return true;
    }
    if (type_of(v) == TypeId::point2d) {
        out = Pt{truncated(point::coordinate(v, 0)), truncated(point::coordinate(v, 1))};
        return true;
    }
    return false;
}

Reader::Reader(DrawState& s, const Cell& block, const Reader* parent)
    : s_(s), block_(block), parent_(parent), n_(series_tail::cell_count(block)) {}

bool Reader::is_command(Kw kw) { return kw >= Kw::pen && kw <= Kw::invert_matrix; }

Cell Reader::rest_at(uint32_t i) const {
    Cell rest = block_;
    rest.header = to_int(TypeId::block);
    rest.w1 += i;
    return rest;
}

void Reader::invalid_here() const { error::fire(error::Id::draw_invalid, {rest_at(i_)}); }

void Reader::invalid_before() const { error::fire(error::Id::draw_invalid, {rest_at(i_ > 0 ? i_ - 1 : 0)}); }

// ---- required arguments

Cell Reader::need_value() {
    if (!more()) invalid_here();
    Cell v = current();
    if (type_of(v) == TypeId::word && !value_of_word(current(), v)) invalid_here();
    advance();
    return v;
}

Pt Reader::need_point() {
    Pt p;
    if (!point_of(need_value(), p)) invalid_before();
    return p;
}

double Reader::need_number() {
    const Cell v = need_value();
    if (!is_number(v)) invalid_before();
    return number_of(v);
}

Cell Reader::need_colour() {
    const Cell v = need_value();
    if (type_of(v) != TypeId::tuple) invalid_before();
    return v;
}

Cell Reader::need_block() {
    const Cell v = need_value();
    if (type_of(v) != TypeId::block) invalid_before();
    return v;
}

void Reader::need_keyword(std::initializer_list<Kw> allowed) {
    if (!take_any_keyword(allowed)) invalid_here();
}

void Reader::need_switch() {
    if (take_any_keyword({Kw::on, Kw::off})) return;
    if (type_of(need_value()) != TypeId::logic) invalid_before();
}

// ---- optional arguments

bool Reader::peek_value(Cell& out) const {
    if (!more()) return false;
    const Cell v = current();
    if (type_of(v) != TypeId::word) {
        out = v;
        return true;
    }
    return !is_command(keyword_of(v)) && value_of_word(v, out);
}

bool Reader::opt_point(Pt& out) {
    Cell v;
    if (!peek_value(v) || !point_of(v, out)) return false;
    advance();
    return true;
}

bool Reader::opt_number(double& out) {
    Cell v;
    if (!peek_value(v) || !is_number(v)) return false;
    out = number_of(v);
    advance();
    return true;
}

bool Reader::opt_colour(Cell& out) {
    Cell v;
    if (!peek_value(v) || type_of(v) != TypeId::tuple) return false;
    out = v;
    advance();
    return true;
}

bool Reader::opt_block(Cell& out) {
    Cell v;
    if (!peek_value(v) || type_of(v) != TypeId::block) return false;
    out = v;
    advance();
    return true;
}

bool Reader::take_keyword(Kw kw) { return take_any_keyword({kw}); }

bool Reader::take_any_keyword(std::initializer_list<Kw> allowed) {
    if (!more() || type_of(current()) != TypeId::word || !in(keyword_of(current()), allowed)) return false;
    advance();
    return true;
}

bool Reader::take_target() {
    if (!more() || type_of(current()) != TypeId::lit_word || !in(keyword_of(current()), {Kw::pen, Kw::fill_pen})) return false;
    advance();
    return true;
}

// ---- commands read and left aside

// linear, radial or diamond: an optional start point, up to five numbers,
// then the colour stops (colours with float offsets among them, at least
// two colours), then an optional spread word.
void Reader::skip_gradient() {
    const uint32_t at = i_ - 1;
    Pt p;
    (void)opt_point(p);
    double n;
    for (int k = 0; k < 5 && opt_number(n); k++) {
    }
    int colours = 0;
    for (;;) {
        Cell c;
        if (opt_colour(c)) colours++;
        else if (colours == 0 || !opt_number(n)) break;
    }
    if (colours < 2) error::fire(error::Id::draw_invalid, {rest_at(at)});
    (void)take_any_keyword({Kw::pad, Kw::repeat, Kw::reflect});
}

bool Reader::skip_special_pen() {
    if (take_any_keyword({Kw::linear, Kw::radial, Kw::diamond})) {
        skip_gradient();
        return true;
    }
    Pt p;
    if (take_keyword(Kw::pattern)) {
        (void)need_point();  // the tile's size
        for (int k = 0; k < 2 && opt_point(p); k++) {
        }
        (void)take_any_keyword({Kw::tile, Kw::flip_x, Kw::flip_y, Kw::flip_xy, Kw::clamp});
        Cell commands;
        (void)opt_block(commands);  // the tile's drawing, which a cell grid has no use for
        return true;
    }
    if (take_keyword(Kw::bitmap)) {
        if (type_of(need_value()) != TypeId::image) invalid_before();
        for (int k = 0; k < 2 && opt_point(p); k++) {
        }
        (void)take_any_keyword({Kw::tile, Kw::flip_x, Kw::flip_y, Kw::flip_xy, Kw::clamp});
        return true;
    }
    return false;
}

// off, or an optional colour and one or more dash lengths.
void Reader::skip_line_pattern() {
    if (take_keyword(Kw::off)) return;
    Cell colour;
    (void)opt_colour(colour);
    (void)need_number();
    double n;
    while (opt_number(n)) {
    }
}

void Reader::skip_points(int at_least) {
    for (int k = 0; k < at_least; k++) (void)need_point();
    Pt p;
    while (opt_point(p)) {
    }
}

// The centre, the radii, the start and sweep angles, and `closed`.
void Reader::skip_arc() {
    (void)need_point();
    (void)need_point();
    (void)need_number();
    (void)need_number();
    (void)take_keyword(Kw::closed);
}

// The image, up to four corner points, a key colour, and the options
// border, crop (offset and size), shadow (offset, blur, spread, colour,
// inset) and off.
void Reader::skip_image() {
    if (type_of(need_value()) != TypeId::image) invalid_before();
    Pt p;
    for (int k = 0; k < 4 && opt_point(p); k++) {
    }
    Cell colour;
    (void)opt_colour(colour);
    for (;;) {
        if (take_any_keyword({Kw::border, Kw::off})) continue;
        if (take_keyword(Kw::crop)) {
            (void)need_point();
            (void)need_point();
            continue;
        }
        if (take_keyword(Kw::shadow)) {
            (void)opt_point(p);
            double n;
            for (int k = 0; k < 2 && opt_number(n); k++) {
            }
            (void)opt_colour(colour);
            (void)take_keyword(Kw::inset);
            continue;
        }
        return;
    }
}

// The shape sub-dialect: move, line, hline, vline, arc, curve, curv,
// qcurve, qcurv and close, as words or lit-words (relative forms).
void Reader::check_shape(const Cell& block) {
    Reader r(s_, block, this);
    while (r.more()) {
        const Cell v = r.current();
        const TypeId t = type_of(v);
        const Kw kw = (t == TypeId::word || t == TypeId::lit_word) ? keyword_of(v) : Kw::none_;
        r.advance();
        switch (kw) {
            case Kw::move: r.skip_points(1); break;
            case Kw::line:
            case Kw::curve:
            case Kw::curv:
            case Kw::qcurve:
            case Kw::qcurv: r.skip_points(1); break;
            case Kw::hline:
            case Kw::vline: (void)r.need_number(); break;
            case Kw::arc: {
                (void)r.need_point();
                double n;
                for (int k = 0; k < 3 && r.opt_number(n); k++) {
                }
                while (r.take_any_keyword({Kw::sweep, Kw::large})) {
                }
                break;
            }
            case Kw::close: break;
            default: r.invalid_before();
        }
    }
}

void Reader::check_numbers_block(const Cell& block) {
    const uint32_t n = series_tail::cell_count(block);
    for (uint32_t k = 0; k < n; k++)
        if (!is_number(*series_tail::cell_at(block, k))) invalid_before();
}

// ---- nesting

void Reader::run_block(const Cell& block) {
    for (const Reader* r = this; r; r = r->parent_)
        if (r->block_.w2 == block.w2 && r->block_.w1 == block.w1) error::fire(error::Id::draw_infinite, {rest_at(i_ - 1)});
    if (s_.depth >= max_depth) error::fire(error::Id::draw_infinite, {rest_at(i_ - 1)});
    s_.depth++;
    Reader nested(s_, block, this);
    nested.run();
    s_.depth--;
}

void Reader::opt_run() {
    Cell commands;
    if (opt_block(commands)) run_block(commands);
}

}  // namespace qor::draw
