// Shows a small view inline in the terminal and runs the event loop, so a
// test in a real terminal can type at it and look at the screen and the
// terminal's modes. The runtime and the library start as in `qor`; the
// window and its field are made here, since the script side that makes
// views from faces is not part of the engine.
//
// Keys: p prints a line, e raises an error in the handler, t changes the
// field's text, q ends the loop (then "DONE" is printed), x quits, f makes a
// fatal fault. Ctrl-C interrupts.
#include <signal.h>

#include <cstdio>
#include <string_view>

#include "runtime/environment/environment.h"
#include "runtime/environment/routines.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/output/output.h"
#include "runtime/platform/fault_signals.h"
#include "app/startup.h"
#include "tests/support/view_faces.h"
#include "view/terminal/backend.h"
#include "view/terminal/event_loop.h"

namespace {

using namespace qor;

tui::Widget* root = nullptr;

}  // namespace

int main() {
    platform::install_fault_handlers(nullptr, nullptr);
    rt::boot();
    rt::finish_boot();
    environment::run();
    collector::set_enabled(true);
    environment::define_routine("quit-loop", "[]", [] { tui::post_quit(); });
    environment::define_routine("redraw", "[]", [] { tui::mark_dirty(root); });
    environment::define_routine("fault", "[]", [] { raise(SIGSEGV); });
    stack::init_calls();
    try {
        test::eval_source(R"(
            w: make object! [text: "view line one" pane: none state: [none]]
            f: make object! [text: "field" pane: none state: [none]]
            w/pane: reduce [f]
            system/view: make object! [
                screens: none
                platform: make object! [mouse-event?: true]
                awake: func [e] [
                    if e/type = 'key [
                        switch e/key [
                            #"p" [print "printed line"]
                            #"e" [1 / 0]
                            #"t" [f/text: "typed" redraw]
                            #"q" [quit-loop]
                            #"x" [quit]
                            #"f" [fault]
                        ]
                    ]
                ]
            ]
        )");
    } catch (const error::Raised&) {
        std::fputs("the driver's script failed\n", stderr);
        return 1;
    }
    root = test::show_face(test::global_value("w"), nullptr, {0, 0, 20, 2});
    test::show_face(test::global_value("f"), root, {0, 1, 10, 1}, tui::widget_flag::focusable);
    tui::add_window(root);
    tui::activate_window(root);
    tui::do_events(false);
    output::print({"DONE\n"});
    return 0;
}
