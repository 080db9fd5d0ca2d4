// Widget records: the native side of every shown face. Widgets form trees
// under windows; the children of a widget are the widgets of the faces in its
// face's `pane` block, in that order (later ones are drawn over earlier
// ones, and hit testing goes from the last to the first).
//
// A face finds its widget through its `state` block, whose first value is a
// handle! holding the widget's id. Ids are never reused, so a face whose
// widget was destroyed finds nothing rather than another widget.
//
// Widgets live outside the collected heap; the faces and texts they hold
// are marked by the backend on every collection.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/datatypes/event.h"
#include "view/terminal/cell_grid.h"

namespace qor::tui {

namespace widget_flag {
inline constexpr uint32_t size_pair = 0x10000;        // the size was given as a pair!
inline constexpr uint32_t hidden = 0x20000;
inline constexpr uint32_t disabled = 0x40000;
inline constexpr uint32_t all_over = 0x100000;        // gets `over` on every motion
inline constexpr uint32_t shows_cursor = 0x200000;    // shows the terminal cursor when focused
inline constexpr uint32_t focusable = 0x400000;
inline constexpr uint32_t left_while_captured = 0x1000000;
inline constexpr uint32_t focused = 0x2000000;
inline constexpr uint32_t full_screen = 0x40000000;   // a window drawn on the alternate screen
inline constexpr uint32_t password = 0x10000000;      // the face text is drawn masked
inline constexpr uint32_t caret_base = 0x80000000;    // a base whose options name a caret face
}  // namespace widget_flag

struct Widget;

// The class handlers: drawing at an absolute cell, and taking an event
// (answering 2 when it consumed it, else 0).
using RenderHandler = void (*)(int x, int y, Widget& widget);
using EventHandler = int (*)(Widget& widget, event::Type type, event::Record& record);
// Re-derives what the widget shows from its face.
using UpdateHandler = int (*)(Widget& widget);

// The caret of an editable text: its index in characters, its column (the
// cells before it) and the width of the whole text in cells.
struct TextCaret {
    int32_t index = 0;
    int32_t column = 0;
    int32_t width = 0;
};

// A face image as cells: two pixel rows per cell row.
struct ImageCells {
    int width = 0;
    int height = 0;
    std::vector<GridCell> cells;
};

// What a root widget keeps for its window.
struct Window {
    Widget* focus = nullptr;   // the widget that gets the focus when the window is activated
    int cursor_widgets = 0;    // widgets made in it that show the terminal cursor
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // the area its widgets cover
};

struct Widget {
    uint32_t id = 0;
    uint32_t type = 0;         // the face type's symbol
    uint32_t flags = 0;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // relative to the parent
    Widget* parent = nullptr;
    Cell ui = unset_cell;      // string! drawn before the face text, or none
    Cell extra = unset_cell;   // string! drawn over the background, or none
    std::unique_ptr<Window> window;       // for a root
    std::vector<GridCell> rich;           // the styled characters of a rich-text widget
    ImageCells image;                     // the face image, drawn over the background
    int32_t data = 0;                     // class-private: a list's scroll head
    TextCaret caret;                      // the caret of an editable text
    UpdateHandler on_update;
    RenderHandler render;
    EventHandler on_event;
    Cell face = unset_cell;    // the face! it shows

    [[nodiscard]] bool has(uint32_t flag) const { return (flags & flag) != 0; }
};

// The default handlers: render the face with escape sequences in its text
// interpreted; take no event.
void render_default(int x, int y, Widget& widget);
int event_default(Widget& widget, event::Type type, event::Record& record);
int update_default(Widget& widget);

struct Rect {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

// Makes a widget for the face with the default handlers, at the rectangle
// relative to its parent (a root is at 0x0). With a parent, it joins the
// parent's window: the window's area grows to cover it, a widget that shows
// the cursor is counted, and the first focusable widget of a window without
// focus takes it. Without a parent it is a root with a window record.
Widget* make_widget(uint32_t type, Widget* parent, const Cell& face, const Rect& rect, uint32_t flags = 0);

// Clears every reference to the widget (focus, hover, capture, the pressed
// list, its window's focus, the window list) and frees it.
void destroy_widget(Widget* widget);

[[nodiscard]] Widget* find_widget(uint32_t id);
// The widget of a face through its state block, or nullptr.
[[nodiscard]] Widget* widget_of_face(const Cell& face);

// Geometry in cells: the size truncated; the offset of the widget and its
// ancestors summed up to, not including, the root.
[[nodiscard]] int width_of(const Widget& w);
[[nodiscard]] int height_of(const Widget& w);
struct Point {
    float x = 0;
    float y = 0;
};
[[nodiscard]] Point absolute_offset(const Widget& w);
[[nodiscard]] Widget* root_of(Widget* w);

// Calls f(child) for the widgets of the faces in the widget's pane.
template <class F>
void for_each_child(const Widget& w, F&& f);

// The topmost visible child under the point (in the widget's coordinates).
[[nodiscard]] Widget* face_at(const Widget& w, float x, float y);

// Whether `outer` is `inner` or one of its ancestors.
[[nodiscard]] bool contains(const Widget* outer, const Widget* inner);

// Moves the focus to the widget: the old focused widget gets `unfocus`, the
// new one `focus`.
void set_focus(Widget* widget);

// Marks the grid for redrawing when the widget is in the active window.
void mark_dirty(const Widget* widget);

// The window list: adding appends, activating moves to the top and makes
// it active, removing activates the last remaining visible window.
void add_window(Widget* root);
void activate_window(Widget* root);
void remove_window(Widget* root);

// Backs the for_each_child template: the pane block's faces.
[[nodiscard]] uint32_t pane_count(const Widget& w);
[[nodiscard]] Widget* pane_child(const Widget& w, uint32_t i);

template <class F>
void for_each_child(const Widget& w, F&& f) {
    const uint32_t n = pane_count(w);
    for (uint32_t i = 0; i < n; i++)
        if (Widget* child = pane_child(w, i)) f(*child);
}

}  // namespace qor::tui
