// Calling a language function with arguments supplied by the runtime.
#include "runtime/datatypes/object_call.h"

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/eval/arg_cache.h"
#include "runtime/eval/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/series.h"

namespace qor::object {

uint32_t count_locals(const Cell& fn) {
    if (type_of(fn) != TypeId::function) return 0;
    const NodeId cache = arg_cache::of(fn);
    series::Buffer* b = series::buffer(cache);
    if (b->length() == 0) return 0;
    const Cell last = b->cells()[b->length() - 1];
    return type_of(last) == TypeId::integer ? last.w2 : 0;
}

bool call_function(const Cell& fn, uint32_t name, std::span<const Cell> args, Cell* result) {
    // The cache is built before anything is pushed: building allocates,
    // and the arguments may live in cells that move.
    Cell* const place = stack::push(fn);
    const NodeId cache = arg_cache::of(*place);
    Cell* const base = stack::mark_interp_function(name, 0, place->w1);
    (void)base;
    const uint32_t n = series::buffer(cache)->length();
    size_t given = 0;
    bool in_refinements = false;
    for (uint32_t j = 0; j < n; j++) {
        const Cell e = series::buffer(cache)->cells()[j];
        switch (type_of(e)) {
            case TypeId::typeset:
                if (!in_refinements && given < args.size()) stack::push(args[given++]);
                else stack::push(none::value);
                break;
            case TypeId::refinement:
                in_refinements = true;
                stack::push(logic::false_value);
                break;
            case TypeId::integer:
                // The locals: the /local flag off, then none for each word.
                if (e.w2 > 0) {
                    stack::push(logic::false_value);
                    for (uint32_t l = 1; l < e.w2; l++) stack::push(none::value);
                }
                break;
            default: break;
        }
    }
    interpreter::run_function_body(*place);
    if (stack::exiting()) return false;
    stack::unwind_last();
    const Cell value = place[1];
    stack::data.top = place;
    if (result) *result = value;
    return true;
}

}  // namespace qor::object
