// Decoded input turned into events for widgets: keys for the focused
// widget, mouse presses, releases, clicks, double clicks, motion and the
// wheel for the widgets under the pointer, and cursor reports that place the
// drawn area on the terminal.
#pragma once

#include <cstdint>

#include "runtime/datatypes/event.h"
#include "view/terminal/input_decoder.h"

namespace qor::tui {

struct Widget;

// The time between two releases within which a second click is a double
// click, and how long a click is remembered.
inline constexpr int double_click_ms = 500;
inline constexpr int click_hold_limit_ms = 800;

// The engine's sink for the decoder.
class InputEvents final : public InputSink {
public:
    void key(int32_t code, bool special) override;
    void mouse(int32_t buttons, int32_t column, int32_t row, bool released) override;
    void cursor_position(int32_t row, int32_t column) override;
};

// Key delivery to a widget (the focused one when null): `key-down`, then
// `key` when that was not taken, then the widget's own handling.
void deliver_key(Widget* target, int32_t code, bool special);

// The mouse deliveries from the root of the active window, at a point
// relative to it.
void press_release(event::Type code, Widget& root, float x, float y, uint32_t flags);
void motion(Widget& root, float x, float y, uint32_t flags);
void wheel(float direction, Widget& root, float x, float y, uint32_t flags);

}  // namespace qor::tui
