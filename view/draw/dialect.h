// The draw dialect: a block of commands (`pen red box 0x0 10x4 line 0x0
// 9x3 ...`) read by position and drawn through a draw state.
//
// On the character grid only colours, lines, boxes, triangles, circles,
// ellipses and text draw anything; every other command (polygons, arcs,
// curves, splines, images, clipping, shapes, gradients and patterns, line
// properties, the matrix commands) is read and checked with its arguments
// and changes nothing, so drawings made for richer displays run unchanged.
// Command blocks given to `push`, `clip` and the transformations, and
// blocks in place of a command, are run in turn.
//
// A word found where a value is expected stands for its value. A command or
// argument that does not fit raises script draw-invalid with the rest of
// the block from there; a block that is already being run, or blocks nested
// deeper than `max_depth`, raise draw-infinite. Either leaves the grid as
// far as it was drawn.
#pragma once

#include "runtime/core/cell.h"
#include "view/draw/draw_state.h"

namespace qor::draw {

inline constexpr int max_depth = 64;

// Runs the commands of a block! from its index.
void run_commands(DrawState& s, const Cell& commands);

}  // namespace qor::draw
