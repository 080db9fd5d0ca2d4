// Taking a Ctrl-C request in the evaluator (see interrupt.h).
#include "runtime/eval/interrupt.h"

#include "runtime/eval/nonlocal_exits.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::interrupt {

namespace {

bool was_halted = false;

bool catch_is_open() {
    for (const stack::Frame* f = stack::calls.bottom; f < stack::calls.top; f++)
        if (f->kind() == stack::FrameKind::catch_) return true;
    return false;
}

}  // namespace

bool take() {
    platform::interrupt_pending = 0;
    if (stack::exiting() || !catch_is_open()) return false;
    was_halted = true;
    // As `throw/name 'halt-request 'console` does: the value and the name
    // in a frame of their own, which the throw pops.
    stack::mark_native(to_int(Sym::tag_body));
    stack::push(word::load("halt-request"));
    stack::push(word::load("console"));
    stack::throw_throw();
    return true;
}

bool halted() { return was_halted; }

}  // namespace qor::interrupt
