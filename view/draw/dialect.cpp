// The draw dialect's interpreter: the commands that draw, and the walk over
// a commands block with its argument readers.
#include "view/draw/dialect.h"

#include <cmath>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/memory/series_tail.h"
#include "view/draw/dialect_reader.h"
#include "view/draw/draw_text.h"
#include "view/draw/keywords.h"
#include "view/draw/shapes.h"

namespace qor::draw {

namespace {

// pen and fill-pen: `off`, a colour, or a gradient, pattern or bitmap pen
// (read and left aside).
void pen_command(Reader& r, bool fill) {
    DrawState& s = r.state();
    if (r.take_keyword(Kw::off)) {
        (fill ? s.fill : s.pen) = false;
        return;
    }
    if (r.skip_special_pen()) return;
    const uint32_t colour = s.colours.of_tuple(r.need_colour());
    if (fill) {
        s.fill_color = colour;
        s.fill = true;
        return;
    }
    s.pen_color = colour;
    s.pen = true;
    if (!s.font_color_set) s.font_color = colour;
}

// Each point is joined to the one before as it is read.
void line_command(Reader& r) {
    Pt from = r.need_point();
    Pt to;
    while (r.opt_point(to)) {
        line(r.state(), from, to);
        from = to;
    }
}

void box_command(Reader& r) {
    const Pt a = r.need_point();
    const Pt b = r.need_point();
    double radius;
    (void)r.opt_number(radius);  // rounded corners are not drawn on cells
    box(r.state(), a, b);
}

void triangle_command(Reader& r) {
    const Pt a = r.need_point();
    const Pt b = r.need_point();
    const Pt c = r.need_point();
    triangle(r.state(), a, b, c);
}

// The radius is used as a whole number of cells; a second radius is read.
void circle_command(Reader& r) {
    const Pt centre = r.need_point();
    const double radius = r.need_number();
    double second;
    (void)r.opt_number(second);
    const double whole = std::trunc(radius);
    const int64_t cells = !(whole > 0) ? 0 : whole > 2147483647.0 ? 2147483647 : static_cast<int64_t>(whole);
    circle(r.state(), centre, cells);
}

void ellipse_command(Reader& r) {
    const Pt top_left = r.need_point();
    const Pt size = r.need_point();
    ellipse(r.state(), top_left, size);
}

void text_command(Reader& r) {
    const Pt at = r.need_point();
    const Cell value = r.need_value();
    if (!is_any_string(type_of(value)) && !is_rich_text_face(value)) r.invalid_before();
    text(r.state(), at, value);
}

void font_command(Reader& r) {
    const Cell value = r.need_value();
    if (type_of(value) != TypeId::object) r.invalid_before();
    font(r.state(), value);
}

// clip: two corners or a shape block, an optional mode, and an optional
// block of commands, which is run.
void clip_command(Reader& r) {
    Cell shape_block;
    if (r.opt_block(shape_block)) {
        r.check_shape(shape_block);
    } else {
        (void)r.need_point();
        (void)r.need_point();
    }
    (void)r.take_any_keyword({Kw::replace, Kw::intersect, Kw::union_, Kw::xor_, Kw::exclude});
    r.opt_run();
}

// A transformation's target, its numbers and points, and an optional
// block of commands, run between a push and a pop of the matrix stack.
void transformation(Reader& r, int numbers_needed) {
    (void)r.take_target();
    int read = 0;
    for (;;) {
        double n;
        Pt p;
        if (r.opt_number(n) || r.opt_point(p)) read++;
        else break;
    }
    if (read < numbers_needed) r.invalid_here();
    r.opt_run();
}

void matrix_command(Reader& r) {
    (void)r.take_target();
    r.check_numbers_block(r.need_block());
}

void command(Reader& r, Kw kw) {
    switch (kw) {
        case Kw::pen: pen_command(r, false); break;
        case Kw::fill_pen: pen_command(r, true); break;
        case Kw::box: box_command(r); break;
        case Kw::line: line_command(r); break;
        case Kw::line_width: (void)r.need_number(); break;
        case Kw::line_join: r.need_keyword({Kw::miter, Kw::round, Kw::bevel, Kw::miter_bevel}); break;
        case Kw::line_cap: r.need_keyword({Kw::flat, Kw::square, Kw::round}); break;
        case Kw::line_pattern: r.skip_line_pattern(); break;
        case Kw::triangle: triangle_command(r); break;
        case Kw::polygon: r.skip_points(1); break;
        case Kw::circle: circle_command(r); break;
        case Kw::ellipse: ellipse_command(r); break;
        case Kw::anti_alias: r.need_switch(); break;
        case Kw::font: font_command(r); break;
        case Kw::text: text_command(r); break;
        case Kw::arc: r.skip_arc(); break;
        case Kw::curve: r.skip_points(2); break;
        case Kw::spline:
            r.skip_points(1);
            (void)r.take_keyword(Kw::closed);
            break;
        case Kw::image: r.skip_image(); break;
        case Kw::clip: clip_command(r); break;
        case Kw::shape: r.check_shape(r.need_block()); break;
        case Kw::rotate: transformation(r, 1); break;
        case Kw::scale: transformation(r, 2); break;
        case Kw::translate: transformation(r, 1); break;
        case Kw::skew: transformation(r, 1); break;
        case Kw::transform: transformation(r, 1); break;
        case Kw::push: r.run_block(r.need_block()); break;
        case Kw::matrix: matrix_command(r); break;
        case Kw::reset_matrix:
        case Kw::invert_matrix: (void)r.take_target(); break;
        default: r.invalid_before(); break;
    }
}

}  // namespace

void Reader::run() {
    while (more()) {
        const Cell v = current();
        if (type_of(v) == TypeId::block) {
            advance();
            run_block(v);
            continue;
        }
        const Kw kw = type_of(v) == TypeId::word ? keyword_of(v) : Kw::none_;
        if (!is_command(kw)) invalid_here();
        advance();
        command(*this, kw);
    }
}

void run_commands(DrawState& s, const Cell& commands) {
    if (type_of(commands) != TypeId::block || series_tail::cell_count(commands) == 0) return;
    refresh_keywords();
    Reader reader(s, commands, nullptr);
    reader.run();
}

}  // namespace qor::draw
