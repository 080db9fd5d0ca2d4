// Calling a language function with arguments supplied by the runtime.
#include "runtime/datatypes/object_call.h"

#include "runtime/datatypes/arg_cache.h"
#include "runtime/memory/call_stack.h"
#include "runtime/datatypes/evaluation.h"
#include "runtime/memory/series.h"
#include "runtime/words/word.h"

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
    evaluation::call_with(fn, args, word::make_cell(TypeId::word, 0, name, word::no_index));
    if (stack::exiting()) return false;
    const Cell value = *--stack::data.top;
    if (result) *result = value;
    return true;
}

}  // namespace qor::object
