// symbol! and context!: the registrations of the two internal datatypes.
#include "runtime/datatypes/symbol_context.h"

#include "runtime/datatypes/registry.h"
#include "runtime/words/symbol.h"

namespace qor::internal_types {

void init_symbol() {
    datatype::ActionRow row;
    row.own<Action::compare>(&symbol::compare_entries);
    datatype::register_type(TypeId::symbol, TypeId::none_id, "symbol!", row.entries());
}

void init_context() {
    datatype::ActionRow row;
    datatype::register_type(TypeId::context, TypeId::none_id, "context!", row.entries());
}

}  // namespace qor::internal_types
