// Memory natives: recycle and stats.
#include <climits>

#include "runtime/datatypes/unset.h"
#include "runtime/error_fire.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/memstats.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

// recycle /on /off: switches the collector on or off; without either runs a
// full collection and answers the bytes in use, as `stats` does.
void n_recycle(bool, std::span<const int32_t> refinements) {
    const bool on = refinements.size() > 0 && refinements[0] >= 0;
    const bool off = refinements.size() > 1 && refinements[1] >= 0;
    if (on) collector::recycle_on();
    if (off) collector::recycle_off();
    if (on || off) {
        *arg(0) = unset::value;
        return;
    }
    *arg(0) = memstats::figure(collector::recycle());
}

// stats /show /info: the bytes in use; with /info a block of the memory
// figures; with /show (which wins over /info) that block handed to the
// library's show-memory-stats, which prints it, and the answer is unset.
void n_stats(bool, std::span<const int32_t> refinements) {
    const bool show = refinements.size() > 0 && refinements[0] >= 0;
    const bool info = refinements.size() > 1 && refinements[1] >= 0;
    if (!show && !info) {
        *arg(0) = memstats::figure(memstats::in_use());
        return;
    }
    const NodeId node = series::alloc_cells(5);
    *arg(0) = Cell{to_int(TypeId::block), 0, node, 0};  // referenced while it fills
    memstats::collect(node);
    if (!show) return;
    // A native without arguments has its result slot at the stack's top:
    // the block is kept below the top while the library function runs.
    if (stack::data.top <= arg(0)) stack::data.top = arg(0) + 1;
    const Cell name = word::load("show-memory-stats");
    const Cell fn = *context::value_cell(name);
    if (type_of(fn) != TypeId::function) error::fire(error::Id::no_value, {name});
    const Cell args[] = {*arg(0)};
    interpreter::call_with(fn, args, name);
    if (stack::exiting()) return;
    stack::data.top = stack::data.base + 1;
    *arg(0) = unset::value;
}

}  // namespace

void install_memory(std::span<Routine> r) {
    r[36] = n_stats;
    r[104] = n_recycle;
}

}  // namespace qor::natives::impl
