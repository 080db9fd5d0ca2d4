// The data stack.
#include "runtime/memory/data_stack.h"

#include "runtime/memory/cycle_stack.h"
#include "runtime/core/error_fire.h"

namespace qor::stack {

DataStack data;

// The push that reached the limit: the top backs off five cells from there
// (so it ends four below where it was), the cycle stack is emptied, and the
// error is raised.
void detail::overflow() {
    data.top = data.top - 5 > data.bottom ? data.top - 5 : data.bottom;
    if (data.base > data.top) data.base = data.top;
    cycle::reset();
    error::fire(error::Id::stack_overflow);
}

}  // namespace qor::stack
