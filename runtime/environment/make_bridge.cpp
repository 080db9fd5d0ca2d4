// `make native!`, `make action!` and `make op!` for the library's first
// lines, installed only where the function family has not registered its
// own: the library builds its natives, actions and operators with them.
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/registry.h"
#include "runtime/environment/environment.h"
#include "runtime/error_fire.h"
#include "runtime/eval/data_stack.h"
#include "runtime/series_tail.h"

namespace qor::environment {

namespace {

// The make block: a spec block and a number from 1 to the last of the
// table; anything else is script bad-make-arg.
template <TypeId Type, uint32_t Last>
const Cell* make_numbered(Cell* target, Cell* spec, TypeId) {
    const bool shaped = type_of(*spec) == TypeId::block && series_tail::cell_count(*spec) == 2 &&
                        type_of(*series_tail::cell_at(*spec, 0)) == TypeId::block &&
                        type_of(*series_tail::cell_at(*spec, 1)) == TypeId::integer;
    if (!shaped) error::bad_make_arg(*target, *spec);
    const int32_t number = static_cast<int32_t>(series_tail::cell_at(*spec, 1)->w2);
    if (number < 1 || static_cast<uint32_t>(number) > Last) error::bad_make_arg(*target, *spec);
    const Cell value = native::make(Type, static_cast<uint32_t>(number), *series_tail::cell_at(*spec, 0));
    return stack::push(value);
}

const Cell* make_op(Cell*, Cell* spec, TypeId) { return stack::push(native::make_op(*spec)); }

template <Action A>
void install_if_empty(TypeId type, actions::routine_t<A> routine) {
    actions::Routine& entry = datatype::detail::action_table[to_int(type)][to_int(A) - 1];
    if (entry == nullptr) entry = actions::erase<A>(routine);
}

}  // namespace

void install_make_bridges() {
    install_if_empty<Action::make>(TypeId::native, make_numbered<TypeId::native, 120>);
    install_if_empty<Action::make>(TypeId::action, make_numbered<TypeId::action, action_count>);
    install_if_empty<Action::make>(TypeId::op, make_op);
}

}  // namespace qor::environment
