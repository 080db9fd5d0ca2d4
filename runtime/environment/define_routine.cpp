// Binding built-in routines to global words.
#include "runtime/environment/routines.h"

#include <string>

#include "runtime/memory/data_stack.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::environment {

void define_routine(std::string_view name, std::string_view spec, routine::RoutineFn code) {
    const uint32_t number = routine::register_code(name, code);
    Cell loaded;
    lexer::scan_buffer(&loaded, reinterpret_cast<const uint8_t*>(spec.data()), spec.size());
    const size_t depth = stack::depth();
    stack::push(loaded);  // reachable while the routine is built
    const Cell spec_block = *series_tail::cell_at(loaded, 0);  // the text holds one block
    const Cell* value = routine::push_new(spec_block, nullptr, number, 0, false);
    Cell w = word::load(name);
    context::set(w, *value);
    stack::data.top = stack::data.bottom + depth;
}

}  // namespace qor::environment
