// The terminal helpers' routines on a face's widget: `focused?`,
// `widget-data` and `set-face-ui`.
#pragma once

namespace qor::tui::widgets {

// Binds the three routines to their global words, and plugs the widget
// classes into widget making.
void define_widget_routines();

}  // namespace qor::tui::widgets
