// The routines of system/view/platform: the one door from the script side
// to the terminal backend. Each checks its arguments (its interface block
// types them), does one backend operation and leaves its result in the
// first argument cell; a routine that sets no result answers its first
// argument.
//
// They are bound to global words named platform-<field> while the library
// loads; the library copies them into system/view/platform and unsets the
// words.
#include <climits>
#include <string_view>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/environment/routines.h"
#include "runtime/memory/exit_codes.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/platform/terminal_size.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/char_width.h"
#include "runtime/words/context.h"
#include "runtime/words/ownership.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/words/word.h"
#include "view/terminal/backend.h"
#include "view/terminal/event_loop.h"
#include "view/terminal/face_render.h"
#include "view/terminal/platform.h"
#include "view/terminal/text_metrics.h"
#include "view/terminal/widgets/helper_routines.h"

namespace qor::environment {

namespace {

using namespace qor::tui;

Cell* arg(uint32_t i) { return stack::data.base + i; }
void answer(const Cell& v) { *stack::data.base = v; }
void answer_none() { answer(none::value); }

Cell datatype_cell(const Cell& v) { return Cell{to_int(TypeId::datatype), to_int(type_of(v)), 0, 0}; }

Widget* widget_of_handle(const Cell& h) {
    return type_of(h) == TypeId::handle && h.w2 != 0 ? find_widget(h.w2) : nullptr;
}

// make-null-handle: the parent handle of a window.
void r_make_null_handle() { handle_type::box(0, handle_type::Kind::null); }

// fetch-all-screens: the terminal is one screen, made by the script side.
void r_fetch_all_screens() { answer_none(); }

// get-screen-size id: the terminal's columns x rows (80x24 when unknown).
void r_get_screen_size() {
    const auto size = platform::terminal_size();
    const int columns = size && size->columns > 0 ? size->columns : 80;
    const int rows = size && size->rows > 0 ? size->rows : 24;
    Cell c{};
    pair::make_at(c, columns, rows);
    answer(c);
}

// size-text face value: the text's width in cells x its lines (the first
// line counts even when empty), measured without a width limit.
void r_size_text() {
    Cell text = *arg(1);
    if (type_of(text) == TypeId::none) text = face_field(*arg(0), "text");
    else if (type_of(text) != TypeId::string) error::fire(error::Id::invalid_type, {datatype_cell(text)});
    if (type_of(text) != TypeId::string) return answer_none();
    const TextSize size = measure_text(text, INT_MAX);
    Cell c{};
    point::make2d_at(c, static_cast<float>(size.width), static_cast<float>(size.lines < 1 ? 1 : size.lines));
    answer(c);
}

// on-change-facet owner word value action new index part.
void r_on_change_facet() {
    FacetChange change;
    change.owner = *arg(0);
    change.word = *arg(1);
    change.value = *arg(2);
    change.action = *arg(3);
    change.new_value = type_of(*arg(4)) == TypeId::none ? unset_cell : *arg(4);
    change.index = get_int(*arg(5));
    change.part = get_int(*arg(6));
    update_facet(change);
}

// update-text face: the terminal has no alternate text.
void r_update_text() { answer_none(); }

// update-font font flags: the font's backend state is dropped for the
// changes that need it made again.
void r_update_font() {
    const int32_t flags = get_int(*arg(1));
    if (flags == 0 || flags == 1 || flags == 2 || flags == 4 || flags == 6) set_face_field(*arg(0), "state", none::value);
    answer_none();
}

// update-para face flags: the face's para bit in its changed mask.
void r_update_para() {
    const Cell face = *arg(0);
    const Cell type = face_field(face, "type");
    const Cell state = face_field(face, "state");
    if (is_word_like(type_of(type)) && type_of(state) == TypeId::block && series_tail::cell_count(state) >= 2) {
        Cell* mask = series_tail::cell_at(state, 1);
        if (type_of(*mask) == TypeId::integer) mask->w2 |= face_bit::para;
    }
    answer_none();
}

// destroy-view face blocking?.
void r_destroy_view() {
    destroy_view(*arg(0), logic::is_true(*arg(1)));
    answer_none();
}

// detach-image image: the image leaves its owner.
void r_detach_image() {
    ownership::clear_deep(*arg(0));
    answer_none();
}

// update-view face: a face, or a block of faces (those shown are updated).
void r_update_view() {
    const Cell v = *arg(0);
    if (type_of(v) == TypeId::object) {
        if (!is_word_like(type_of(face_field(v, "type"))) ||
            symbol::resolve_alias(word::symbol_of(face_field(v, "type"))) != symbol::resolve_alias(symbol::make("screen")))
            update_view(v);
        return answer_none();
    }
    if (type_of(v) != TypeId::block) error::fire(error::Id::invalid_type, {datatype_cell(v)});
    const uint32_t n = series_tail::cell_count(v);
    for (uint32_t i = 0; i < n; i++)
        if (type_of(*series_tail::cell_at(v, i)) != TypeId::object)
            error::fire(error::Id::invalid_type, {datatype_cell(*series_tail::cell_at(v, i))});
    for (uint32_t i = 0; i < series_tail::cell_count(v); i++) {
        const Cell face = *series_tail::cell_at(v, i);
        if (type_of(face_field(face, "state")) == TypeId::block) update_view(face);
    }
    answer_none();
}

// refresh-window handle.
void r_refresh_window() {
    if (Widget* w = widget_of_handle(*arg(0))) mark_dirty(w);
}

// redraw face.
void r_redraw() {
    if (Widget* w = widget_of_face(*arg(0))) mark_dirty(w);
}

// show-window handle: the window joins the window list on top.
void r_show_window() {
    Widget* w = widget_of_handle(*arg(0));
    if (w && w->window && !w->has(widget_flag::hidden)) {
        Backend& b = backend();
        if (b.active != w) {
            add_window(w);
            activate_window(w);
        }
        b.terminal.dirty = true;
    }
    answer_none();
}

// make-view face parent: the face's widget, under the parent's widget.
void r_make_view() {
    Widget* parent = widget_of_handle(*arg(1));
    Widget* w = make_view(*arg(0), parent);
    handle_type::box(w ? static_cast<int32_t>(w->id) : 0, handle_type::Kind::window);
}

// draw-image image cmds: the draw dialect, when plugged in, runs on an
// image of non-zero size (and tells the image's owners of the change).
void r_draw_image() {
    const Cell image = *arg(0);
    DrawImageHook draw = draw_image_hook();
    if (!draw || (image.w3 & 0xFFFF) == 0 || (image.w3 >> 16) == 0) return;
    draw(image, *arg(1));
}

// draw-face face cmds: a face's draw block is drawn by the face rendering.
void r_draw_face() { (void)face_flags(face_field(*arg(0), "flags")); }

// do-event-loop no-wait?.
void r_do_event_loop() { logic::box(do_events(logic::is_true(*arg(0)))); }

// exit-event-loop: the innermost running loop ends.
void r_exit_event_loop() {
    if (backend().loop_depth > 0) post_quit();
}

// request-font font selected mono?: no font requester on a terminal.
void r_request_font() {}

// Calls TUI-helpers/<name> with the arguments, when the helpers are there;
// answers its result or none.
void call_helper(std::string_view name, std::span<const Cell> args) {
    const int32_t i = context::find_word(context::global(), symbol::make("TUI-helpers"), true);
    Cell helpers = i < 0 ? none::value : *context::value_cell_at(context::global(), static_cast<uint32_t>(i));
    const Cell fn = face_field(helpers, name);
    if (type_of(fn) != TypeId::function) return answer_none();
    Cell* top = stack::data.top;
    interpreter::call_with(fn, args);
    const Cell result = stack::exiting() ? none::value : top[0];
    stack::data.top = top;
    answer(result);
}

// request-file title name filter save? multi?: the terminal's own file
// requester, with the caller's title, name and filter.
void r_request_file() {
    const Cell args[5] = {*arg(0), *arg(1), *arg(2), *arg(3), *arg(4)};
    call_helper("request-file", args);
}

// request-dir title dir filter keep? multi?.
void r_request_dir() {
    const Cell args[5] = {*arg(0), *arg(1), *arg(2), *arg(3), *arg(4)};
    call_helper("request-dir", args);
}

// request-color color recent: no colour requester of the platform.
void r_request_color() { answer_none(); }

// text-box-metrics box arg0 type: caret and text metrics of a rich-text
// face's text laid out in cells.
void r_text_box_metrics() {
    const Cell face = *arg(0);
    const Cell type = face_field(face, "type");
    if (!is_word_like(type_of(type)) ||
        symbol::resolve_alias(word::symbol_of(type)) != symbol::resolve_alias(symbol::make("rich-text")))
        error::fire(error::Id::face_type, {type});
    const Cell text = face_field(face, "text");
    if (type_of(text) != TypeId::string) return answer_none();
    answer(text_box_metrics(text, face_field(face, "size"), *arg(1), get_int(*arg(2))));
}

// update-scroller scroller flags: the terminal draws no scrollers.
void r_update_scroller() { answer_none(); }

// set-dark-mode face dark?: nothing to switch.
void r_set_dark_mode() {}

// support-dark-mode?.
void r_support_dark_mode() { logic::box(false); }

// toggle-GPU.
void r_toggle_gpu() {}

// What `wait` does with an open view: the event loop runs for the time.
bool wait_with_view(double seconds) { return run_for(seconds); }

}  // namespace

void define_view_routines() {
    natives::set_wait_hook(wait_with_view);
    register_engine_classes();
    tui::widgets::define_widget_routines();
    define_routine("platform-make-null-handle", "[]", r_make_null_handle);
    define_routine("platform-fetch-all-screens", "[]", r_fetch_all_screens);
    define_routine("platform-get-screen-size", "[id [integer!] return: [pair!]]", r_get_screen_size);
    define_routine("platform-size-text", "[face [object!] value [any-type!]]", r_size_text);
    define_routine("platform-on-change-facet",
                   "[owner [object!] word [any-word!] value [any-type!] action [word!] new [any-type!] "
                   "index [integer!] part [integer!]]",
                   r_on_change_facet);
    define_routine("platform-update-text", "[face [object!]]", r_update_text);
    define_routine("platform-update-font", "[font [object!] flags [integer!]]", r_update_font);
    define_routine("platform-update-para", "[face [object!] flags [integer!]]", r_update_para);
    define_routine("platform-destroy-view", "[face [object!] empty? [logic!]]", r_destroy_view);
    define_routine("platform-detach-image", "[img [image!]]", r_detach_image);
    define_routine("platform-update-view", "[face [any-type!]]", r_update_view);
    define_routine("platform-refresh-window", "[h [handle!]]", r_refresh_window);
    define_routine("platform-redraw", "[face [object!]]", r_redraw);
    define_routine("platform-show-window", "[id [handle!]]", r_show_window);
    define_routine("platform-make-view", "[face [object!] parent [handle!]]", r_make_view);
    define_routine("platform-draw-image", "[image [image!] cmds [block!]]", r_draw_image);
    define_routine("platform-draw-face", "[face [object!] cmds [block!]]", r_draw_face);
    define_routine("platform-do-event-loop", "[no-wait? [logic!] return: [logic!]]", r_do_event_loop);
    define_routine("platform-exit-event-loop", "[]", r_exit_event_loop);
    define_routine("platform-request-font", "[font [object!] selected [any-type!] mono? [logic!]]", r_request_font);
    define_routine("platform-request-file",
                   "[title [any-type!] name [any-type!] filter [any-type!] save? [logic!] multi? [logic!]]",
                   r_request_file);
    define_routine("platform-request-dir",
                   "[title [any-type!] dir [any-type!] filter [any-type!] keep? [logic!] multi? [logic!]]",
                   r_request_dir);
    define_routine("platform-request-color", "[color [tuple!] recent [block!]]", r_request_color);
    define_routine("platform-text-box-metrics", "[box [object!] arg0 [any-type!] type [integer!]]",
                   r_text_box_metrics);
    define_routine("platform-update-scroller", "[scroller [object!] flags [integer!]]", r_update_scroller);
    define_routine("platform-set-dark-mode", "[face [object!] dark? [logic!]]", r_set_dark_mode);
    define_routine("platform-support-dark-mode?", "[return: [logic!]]", r_support_dark_mode);
    define_routine("platform-toggle-GPU", "[]", r_toggle_gpu);
}

}  // namespace qor::environment
