// Reading a draw commands block: the position, the argument readers (a
// word where a value is expected stands for its value), the grammar of the
// commands that are read and left aside, and the nesting of command blocks.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "runtime/core/cell.h"
#include "runtime/memory/series_tail.h"
#include "view/draw/draw_state.h"
#include "view/draw/keywords.h"
#include "view/draw/shapes.h"

namespace qor::draw {

class Reader {
public:
    Reader(DrawState& s, const Cell& block, const Reader* parent);

    // Runs every command to the block's tail (in dialect.cpp).
    void run();

    [[nodiscard]] DrawState& state() { return s_; }
    [[nodiscard]] bool more() const { return i_ < n_; }
    [[nodiscard]] Cell current() const { return *series_tail::cell_at(block_, i_); }
    void advance() { i_++; }

    // draw-invalid at the current position, or at the value just read.
    [[noreturn]] void invalid_here() const;
    [[noreturn]] void invalid_before() const;

    // Required arguments: draw-invalid when missing or of another kind.
    [[nodiscard]] Cell need_value();
    [[nodiscard]] Pt need_point();
    [[nodiscard]] double need_number();
    [[nodiscard]] Cell need_colour();
    [[nodiscard]] Cell need_block();
    void need_keyword(std::initializer_list<Kw> allowed);
    void need_switch();  // on, off, or a logic! value

    // Optional arguments: taken only when the next value fits.
    [[nodiscard]] bool opt_point(Pt& out);
    [[nodiscard]] bool opt_number(double& out);
    [[nodiscard]] bool opt_colour(Cell& out);
    [[nodiscard]] bool opt_block(Cell& out);
    [[nodiscard]] bool take_keyword(Kw kw);
    [[nodiscard]] bool take_any_keyword(std::initializer_list<Kw> allowed);
    // The optional 'pen or 'fill-pen a matrix command applies to.
    [[nodiscard]] bool take_target();

    // The commands read and left aside.
    [[nodiscard]] bool skip_special_pen();  // a gradient, pattern or bitmap pen
    void skip_line_pattern();
    void skip_points(int at_least);
    void skip_arc();
    void skip_image();
    void check_shape(const Cell& block);
    void check_numbers_block(const Cell& block);

    // Runs a block of commands nested in this one; one that is already
    // being run, or one nested too deep, raises draw-infinite.
    void run_block(const Cell& block);
    // An optional block of commands after a command, run when present.
    void opt_run();

    [[nodiscard]] static bool is_command(Kw kw);

private:
    // The next value for an optional argument: a word stands for its value,
    // a command word or a word without a value ends the arguments.
    [[nodiscard]] bool peek_value(Cell& out) const;
    [[nodiscard]] Cell rest_at(uint32_t i) const;
    void skip_gradient();

    DrawState& s_;
    Cell block_;
    const Reader* parent_;
    uint32_t i_ = 0;
    uint32_t n_ = 0;
};

// A pair! or point2D! as cells (a point's coordinates truncated); false
// for anything else.
[[nodiscard]] bool point_of(const Cell& v, Pt& out);

}  // namespace qor::draw
