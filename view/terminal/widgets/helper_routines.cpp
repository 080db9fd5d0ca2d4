// `focused?`, `widget-data` and `set-face-ui`: what the script side's
// terminal helpers ask of a face's widget. A face without a widget answers
// false and 0, and `set-face-ui` then does nothing.
#include "view/terminal/widgets/helper_routines.h"

#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/environment/routines.h"
#include "runtime/memory/data_stack.h"
#include "view/terminal/widgets/widgets.h"

namespace qor::tui::widgets {

namespace {

Cell* arg(uint32_t i) { return stack::data.base + i; }

void focused_q() {
    const Widget* w = widget_for(*arg(0));
    logic::box(w && w->has(widget_flag::focused));
}

void widget_data() {
    const Widget* w = widget_for(*arg(0));
    integer::make_at(*arg(0), w ? w->data : 0);
}

void set_face_ui() {
    if (Widget* w = widget_for(*arg(0))) {
        w->ui = *arg(1);
        mark_dirty(w);
    }
}

}  // namespace

void define_widget_routines() {
    register_classes();
    environment::define_routine("focused?", R"(["Whether the face's widget has the focus" face [object!] return: [logic!]])",
                                focused_q);
    environment::define_routine("widget-data", R"(["The class-private word of the face's widget" face [object!] return: [integer!]])",
                                widget_data);
    environment::define_routine("set-face-ui", R"(["Gives the face's widget the text it shows before the face text" face [object!] ui [string!]])",
                                set_face_ui);
}

}  // namespace qor::tui::widgets
