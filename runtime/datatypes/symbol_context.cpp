// symbol! and context!: the registrations of the two internal datatypes.
#include "runtime/datatypes/symbol_context.h"

#include "runtime/datatypes/registry.h"
#include "runtime/memory/series.h"
#include "runtime/words/symbol.h"

namespace qor::internal_types {

namespace {

// A symbol keeps its spelling and alias series, and hashes by its spelling.
void mark_symbol_value(Cell& c) {
    collector::mark_series(&c.w3);
    collector::mark_series(&c.w2);
}

uint32_t hash_symbol_key(const Cell& key) {
    series::Buffer* b = series::buffer(key.w3);
    return hashtable::hash_spelling(b->head_ptr(), b->length());
}

}  // namespace

void init_symbol() {
    datatype::ActionRow row;
    row.own<Action::compare>(&symbol::compare_entries);
    row.mark(&mark_symbol_value).hash(&hash_symbol_key);
    datatype::register_type(TypeId::symbol, TypeId::none_id, row);
}

namespace {

// A context keeps its word list and, unless they live on the data stack, its values.
void mark_context_value(Cell& c) {
    if (c.w1 != 0) collector::mark_table(&c.w1);
    if (!has_flag(c, cell_flag::stack_values)) collector::mark_series(&c.w2);
}

}  // namespace

void init_context() {
    datatype::ActionRow row;
    row.mark(&mark_context_value);
    datatype::register_type(TypeId::context, TypeId::none_id, row);
}

}  // namespace qor::internal_types
