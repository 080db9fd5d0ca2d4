// The evaluator's services that datatypes call, as installed by it.
#include "runtime/datatypes/evaluation.h"

#include <cstdlib>

namespace qor::evaluation {

namespace {

Services installed;

// Evaluating before the evaluator has started is a fault of the start-up
// order, not of the program being run.
void require(bool present) {
    if (!present) std::abort();
}

}  // namespace

void install(const Services& services) { installed = services; }

void eval_block(const Cell& block, bool into_result) {
    require(installed.eval_block != nullptr);
    installed.eval_block(block, into_result);
}

void call_with(const Cell& fn, std::span<const Cell> args, const Cell& name) {
    require(installed.call_with != nullptr);
    installed.call_with(fn, args, name);
}

const Cell& current_code() {
    static const Cell none_yet = unset_cell;
    return installed.current_code ? installed.current_code() : none_yet;
}

}  // namespace qor::evaluation
