// The evaluator's roots for the collector: the contexts held by the call
// frames, and the cells the interpreter keeps outside the stacks (the code
// being run, the trace callback). The data stack's live cells are marked by
// the collector itself.
#include "runtime/eval/eval_roots.h"

#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"

namespace qor::interpreter {

namespace {

void mark_frames() {
    stack::for_each_frame_context([](uint32_t context, const stack::Frame&, bool) {
        uint32_t place = context;
        collector::mark_context(&place);
    });
}

void mark_current() {
    for_each_root([](Cell& cell) { collector::mark_cell(cell); });
}

}  // namespace

void install_roots() {
    collector::set_root_marker(collector::Root::call_frames, mark_frames);
    collector::set_root_marker(collector::Root::current_position, mark_current);
}

}  // namespace qor::interpreter
