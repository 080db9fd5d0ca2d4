// try: evaluates a block and answers the error it raised, if any.
#include "runtime/core/error_fire.h"
#include "runtime/errors/raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/core/symbol_ids.h"

namespace qor::natives::impl {

namespace {

// try block /all /keep. The try frame catches every error raised inside;
// with /all (a try/all frame) break, continue, return, exit and throw stop
// there too, as throw errors. Other exits pass through it.
void n_try(bool, std::span<const int32_t> refs) {
    const Cell block = *arg(0);
    const bool keep = refs[1] >= 0;
    Cell* const top = stack::data.top;
    if (refs[0] >= 0)
        stack::mark_try_all(to_int(Sym::try_));
    else
        stack::mark_try(to_int(Sym::try_));
    try {
        interpreter::eval_block(block, true);
        if (stack::exiting()) return;
        stack::unwind_set_result();
    } catch (const error::Raised& raised) {
        *arg(0) = *error::catch_raised(raised, top, keep);
        stack::keep();
    }
}

}  // namespace

void install_try(Table& r) { r[Native::try_] = n_try; }

}  // namespace qor::natives::impl
