// What the widget classes add to widget making: the classes plugged in by
// face type (with each face's image as cells), and the widget of a face
// found also while its class set-up runs.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "view/terminal/widget.h"

namespace qor::tui::widgets {

// Registers every class with widget making, by its face type.
void register_classes();

// The face image as cells, scaled to the widget's cells (two pixel rows a
// cell: the upper one the background, the lower one the foreground of a
// lower half block); a transparent upper pixel gives a blank cell.
void set_image(Widget& widget, const Cell& image);

// The widget of a face: through its state, or the one whose class set-up
// is running for it (the face has no state until its widget is made).
[[nodiscard]] Widget* widget_for(const Cell& face);

}  // namespace qor::tui::widgets
