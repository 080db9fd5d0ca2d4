// The words that exist before the library's first line: every datatype
// name bound to its datatype, the `make` action (with which the library
// makes every other native, action and operator), and the built-in routines.
#include <string>
#include <string_view>

#include "runtime/environment/environment.h"
#include "runtime/environment/routines.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/natives.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::environment {

void define_builtins() {
    for (uint32_t t = 1; t <= type_name_count; t++) {
        // The spelling is copied: making the word may allocate.
        const std::string name(symbol::spelling(to_int(type_name_symbol(t))));
        const Cell* kept = stack::push(Cell{to_int(TypeId::datatype), t, 0, 0});
        Cell w = word::load(name);
        context::set(w, *kept);
        stack::pop();
    }
    // `make` itself, which the library's first line needs to make the rest.
    const Cell* make = stack::push(natives::make_action(Action::make, "type spec"));
    Cell w = word::load(action_word(Action::make));
    context::set(w, *make);
    stack::pop();
    define_system_routines();
    define_type_tests();
    define_event_routines();
    define_view_routines();
    define_qorbin_routines();
    define_image_routines();
    define_json_routines();
    install_draw_dialect();
    define_json_encode_routine();
    define_json_decode_routine();
    define_csv_routines();
    define_series_routines();
    define_tools_routines();
}

}  // namespace qor::environment
