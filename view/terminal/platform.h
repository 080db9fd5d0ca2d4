// The backend's side of faces: widgets made for shown faces, brought up to
// date from a face's changed mask, and destroyed with their face trees. The
// platform routines of system/view/platform (platform_routines.cpp) call
// these; widget classes plug into them by face type.
//
// A shown face's `state` block holds the widget's handle! first and the
// mask of the fields changed since the last update second (bit n-1 for the
// face field n).
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"
#include "view/terminal/widget.h"

namespace qor::tui {

// Bits of the changed mask, by face field.
namespace face_bit {
inline constexpr uint32_t offset = 0x2;
inline constexpr uint32_t size = 0x4;
inline constexpr uint32_t text = 0x8;
inline constexpr uint32_t image = 0x10;
inline constexpr uint32_t color = 0x20;
inline constexpr uint32_t data = 0x80;
inline constexpr uint32_t enabled = 0x100;
inline constexpr uint32_t visible = 0x200;
inline constexpr uint32_t selected = 0x400;
inline constexpr uint32_t flags = 0x800;
inline constexpr uint32_t rate = 0x10000;
inline constexpr uint32_t para = 0x40000;
inline constexpr uint32_t font = 0x80000;
inline constexpr uint32_t draw = 0x400000;
}  // namespace face_bit

// Face flag words as bits.
namespace face_flag {
inline constexpr uint32_t all_over = 0x1;
inline constexpr uint32_t focusable = 0x2;
inline constexpr uint32_t tri_state = 0x20000;
inline constexpr uint32_t scrollable = 0x40000;
inline constexpr uint32_t password = 0x80000;
inline constexpr uint32_t no_sync = 0x100000;
inline constexpr uint32_t fullscreen = 0x200000;
inline constexpr uint32_t popup = 0x1000000;
inline constexpr uint32_t modal = 0x2000000;
inline constexpr uint32_t resize = 0x4000000;
inline constexpr uint32_t no_buttons = 0x8000000;
inline constexpr uint32_t no_max = 0x10000000;
inline constexpr uint32_t no_min = 0x20000000;
inline constexpr uint32_t no_title = 0x40000000;
inline constexpr uint32_t no_border = 0x80000000;
}  // namespace face_flag

// The widget bit of a face with the `password` flag.
inline constexpr uint32_t widget_password = 0x10000000;

// An in-place change of a face's facet, as the script side reports it.
struct FacetChange {
    Cell owner;      // the face
    Cell word;       // the facet's word
    Cell value;      // the changed series
    Cell action;     // the action word (`appended`, `remove` ...)
    Cell new_value;  // unset when the action brought none
    int32_t index = 0;
    int32_t part = 0;
};

// What a widget class adds to the default widget, by face type. Each entry
// may be null.
struct WidgetClass {
    // Right after the widget is made: handlers, flags, the widget's own
    // state.
    void (*setup)(Widget& widget) = nullptr;
    // After an update from the face's changed mask: re-derives what the
    // widget shows from its face.
    void (*update)(Widget& widget) = nullptr;
    // An in-place change of a facet; answers true when nothing more is to
    // be done (else the widget is updated from its face's changed mask).
    bool (*facet)(Widget& widget, const FacetChange& change) = nullptr;
    // The widget is about to be freed.
    void (*destroy)(Widget& widget) = nullptr;
};

// Registers the classes the engine itself gives: the window's.
void register_engine_classes();

// Registers the class of a face type (a type registered again is replaced).
void register_widget_class(std::string_view type, const WidgetClass& widget_class);
// The class of a type symbol, or nullptr.
[[nodiscard]] const WidgetClass* widget_class(uint32_t type_symbol);

// The face `flags` facet (a word or a block of words) as face_flag bits;
// a word that is not a face flag raises invalid-arg.
[[nodiscard]] uint32_t face_flags(const Cell& flags);

// Makes the widget of a face under a parent widget (nullptr for a window):
// its rectangle from `offset` and `size`, its state bits from the face's
// flags, `visible?` and `enabled?`, its class, its timer from `rate`.
Widget* make_view(const Cell& face, Widget* parent);

// Brings the face's widget up to date with the face's changed mask, then
// clears the mask and marks the widget for redrawing.
void update_view(const Cell& face);

// Destroys the widgets of the face tree, depth-first, and sets each face's
// `state` to none. `blocking`: the window was the one an event loop waited
// for, so the innermost loop ends.
void destroy_view(const Cell& face, bool blocking);

// An in-place change of a facet reaches the face's widget.
void update_facet(const FacetChange& change);

// Starts, restarts or stops the widget's timer from a `rate` value: an
// integer n > 0 ticks n times a second, a time! above 0 once each that long,
// none stops it; anything else raises invalid-facet-type.
void set_rate(Widget& widget, const Cell& rate);

// The draw dialect's run on an image (`draw-image`), plugged in by the
// drawing code; null until then.
using DrawImageHook = void (*)(const Cell& image, const Cell& commands);
void set_draw_image_hook(DrawImageHook hook);
[[nodiscard]] DrawImageHook draw_image_hook();

// The field of an object by name, or none.
[[nodiscard]] Cell face_field(const Cell& face, std::string_view name);
// Writes an existing field of an object without running its change
// handlers; nothing when the object has no such field.
void set_face_field(const Cell& face, std::string_view name, const Cell& value);

}  // namespace qor::tui
