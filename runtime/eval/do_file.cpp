// `do` of a file or URL through the library's do-file, called with its
// arguments as values: none of them is evaluated again (a callback function
// or a word given to /args stays what it is).
#include "runtime/eval/do_file.h"

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/error_fire.h"
#include "runtime/eval/arg_cache.h"
#include "runtime/eval/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

void do_file(const Cell& file, const Cell& callback, const Cell& args) {
    Cell name = word::load("do-file");
    const Cell fn = *context::value_cell(name);
    if (type_of(fn) != TypeId::function) error::fire(error::Id::no_value, {name});
    Cell* const data_top = stack::data.top;
    stack::Frame* const call_top = stack::calls.top;
    stack::push(unset::value);
    stack::mark_interp_function(name.w2, 0, fn.w1);
    stack::push(file);
    stack::push(callback);
    stack::push(args);
    // Refinements start off and locals none, as a call without them.
    const NodeId cache = arg_cache::of(fn);
    uint32_t given = 0;
    for (uint32_t j = 0; j < series::buffer(cache)->length(); j++) {
        const Cell e = series::buffer(cache)->cells()[j];
        if (type_of(e) == TypeId::typeset && given < 3) {
            given++;
        } else if (type_of(e) == TypeId::refinement) {
            stack::push(logic::false_value);
        } else if (type_of(e) == TypeId::typeset) {
            stack::push(none::value);
        } else if (type_of(e) == TypeId::integer) {
            stack::push(logic::false_value);
            for (uint32_t l = 1; l < e.w2; l++) stack::push(none::value);
        }
    }
    interpreter::run_function_body(fn);
    if (stack::exiting()) return;
    stack::unwind_last();
    const Cell result = stack::data.top[-1];
    stack::data.top = data_top;
    stack::calls.top = call_top;
    *arg(0) = result;
}

}  // namespace qor::natives::impl
