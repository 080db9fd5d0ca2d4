// Catching raised errors: the error! value of a raise, where and stack.
#include "runtime/errors/raise.h"

#include "runtime/datatypes/error.h"
#include "runtime/datatypes/none.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/call_listing.h"
#include "runtime/words/word.h"

namespace qor::error {

using error_type::Field;

Cell* push_caught(const Raised& raised, const RaisePoint& at) {
    Cell* error;
    if (type_of(raised.value) == TypeId::error) {
        error = stack::push(raised.value);
    } else {
        // Until the error holds them, the argument values are reachable only
        // from the exception (a lexer's texts, say, whose run has ended): they
        // wait on the data stack while the error is made, and the error then
        // takes their place.
        Cell* const base = stack::data.top;
        const Cell* args[3] = {nullptr, nullptr, nullptr};
        for (int i = 0; i < raised.arg_count; i++)
            if (raised.arg_words[i].empty()) args[i] = stack::push(raised.args[i]);
        error = error_type::push_new(raised.id, args[0], args[1], args[2], raised.near);
        *base = *error;
        stack::data.top = base + 1;
        error = base;
        // Words given by spelling become words now that the values are safe.
        for (int i = 0; i < raised.arg_count; i++) {
            if (raised.arg_words[i].empty()) continue;
            const Cell word = word::load(raised.arg_words[i]);
            *error_type::field(*error, static_cast<Field>(static_cast<int>(Field::arg1) + i)) = word;
        }
    }
    if (at.where.symbol != 0 && type_of(*error_type::field(*error, Field::where)) == TypeId::none) {
        Cell where = word::find_in_or_global(at.where.context, at.where.symbol);
        set_header(where, TypeId::word);
        *error_type::field(*error, Field::where) = where;
    }
    Cell* stack_field = error_type::field(*error, Field::stack);
    if (type_of(*stack_field) != TypeId::block)
        *stack_field = Cell{to_int(TypeId::integer), 0, at.depth, 0};
    return error;
}

Cell* catch_raised(const Raised& raised, Cell* top, bool keep_stack) {
    stack::data.top = top;
    if (stack::data.base > top) stack::data.base = top;
    const RaisePoint at{stack::get_call(), static_cast<uint32_t>(stack::call_depth())};
    const uint32_t index = stack::index_of(push_caught(raised, at));
    if (keep_stack) fill_stack_fields(*stack::cell_at(index));
    (void)stack::unwind_for_error();
    Cell* error = stack::cell_at(index);
    if (stack::data.top <= error) stack::data.top = error + 1;
    return error;
}

void fill_stack_fields(Cell& error) {
    collector::RootGuard keep(error);
    const Cell position = *error_type::field(error, Field::stack);
    if (type_of(position) == TypeId::integer) {
        const int32_t setting = error_type::stack_trace_depth();
        NodeId calls = series::alloc_cells(20);
        collector::NodeGuard keep_calls(calls);
        stack::collect_calls(setting > 0 ? setting : 1, calls, position.w2);
        *error_type::field(error, Field::stack) = Cell{to_int(TypeId::block), 0, calls, 0};
    }
    const Cell* files = error_type::source_files();
    if (files && type_of(*files) == TypeId::block && series::buffer(files->w2)->length() > files->w1) {
        Cell source = *files;
        collector::RootGuard keep_source(source);
        const NodeId copy = series::copy(source.w2);
        *error_type::field(error, Field::files) = Cell{to_int(TypeId::block), source.w1, copy, 0};
    }
}

}  // namespace qor::error
