// Widgets for faces: making one for a face shown in a window, updating it
// from the face's changed mask, destroying a face tree's widgets, the
// in-place changes the backend is told of, and the face's timer and image.
//
// These are what the platform routines of the script side call; the
// widget's class (classes.h) supplies what it draws and which input it
// takes.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "view/terminal/widget.h"

namespace qor::tui::widgets {

// Bits of a face's changed mask (bit n-1 for its field n).
namespace changed {
inline constexpr uint32_t offset = 0x2;
inline constexpr uint32_t size = 0x4;
inline constexpr uint32_t image = 0x10;
inline constexpr uint32_t data = 0x80;
inline constexpr uint32_t enabled = 0x100;
inline constexpr uint32_t visible = 0x200;
inline constexpr uint32_t selected = 0x400;
inline constexpr uint32_t flags = 0x800;
inline constexpr uint32_t rate = 0x10000;
}  // namespace changed

// Face flag bits of a `flags` facet.
namespace face_flag {
inline constexpr uint32_t all_over = 0x1;
inline constexpr uint32_t focusable = 0x2;
inline constexpr uint32_t password = 0x80000;
inline constexpr uint32_t fullscreen = 0x200000;
}  // namespace face_flag

// The bits of a face's `flags` facet (a word or a block of words); script
// invalid-arg for a word that is no face flag; 0 for anything else.
[[nodiscard]] uint32_t face_flags(const Cell& flags);

// Makes the widget of a face (nullptr parent: a window) with its class,
// image and timer. A bad `rate` raises script invalid-facet-type.
Widget* make_view(const Cell& face, Widget* parent);

// Applies the face's changed mask (its state's second value) to its widget
// and clears it, re-derives the widget's text and marks it for redrawing.
void update_view(const Cell& face);

// Destroys the widgets of the face and of its pane, depth-first, and sets
// their state to none. With `empty`, the backend's state is reset too.
void destroy_view(const Cell& face, bool empty);

// An in-place change of a face's facet: a list's scroll head and selection
// kept in range, then the update, except for list changes that need none.
void update_facet(const Cell& owner, const Cell& word, const Cell& action, int32_t index, int32_t part);

// Starts the widget's timer by the rate: an integer n > 0 ticks every
// 1000 / n ms, a time above 0 every so many seconds, none stops it; any
// other value raises script invalid-facet-type.
void set_rate(Widget& widget, const Cell& rate);

// The face image as cells, scaled to the widget's cells (two pixel rows a
// cell: the upper one the background, the lower one the foreground of a
// lower half block); a transparent upper pixel gives a blank cell.
void set_image(Widget& widget, const Cell& image);

// The widget of a face: through its state, or the one being made for it.
[[nodiscard]] Widget* widget_for(const Cell& face);

}  // namespace qor::tui::widgets
