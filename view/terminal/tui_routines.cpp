// The routines with which the terminal helpers reach a face's widget:
// whether it holds the focus, its class data word (a list's scroll head)
// and the text drawn before the face's own text (a check box's mark).
// A face that has no widget answers false and 0 and takes no text.
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/environment/routines.h"
#include "runtime/memory/data_stack.h"
#include "view/terminal/backend.h"
#include "view/terminal/widget.h"

namespace qor::environment {

namespace {

tui::Widget* widget_arg() { return tui::widget_of_face(*stack::data.base); }

void focused_q() {
    const tui::Widget* w = widget_arg();
    logic::box(w && w->has(tui::widget_flag::focused));
}

void widget_data() {
    const tui::Widget* w = widget_arg();
    integer::box(w ? w->data : 0);
}

// The widget keeps the string itself, so changing it in place changes
// what is drawn.
void set_face_ui() {
    if (tui::Widget* w = widget_arg()) {
        w->ui = stack::data.base[1];
        tui::mark_dirty(w);
    }
}

}  // namespace

void define_tui_routines() {
    define_routine("focused?", R"([face [object!] return: [logic!]])", focused_q);
    define_routine("widget-data", R"([face [object!] return: [integer!]])", widget_data);
    define_routine("set-face-ui", R"([face [object!] ui [string!]])", set_face_ui);
}

}  // namespace qor::environment
