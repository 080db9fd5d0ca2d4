// What the benchmarks that run language code share: the runtime booted with
// the evaluator and the real environment library, as `qor` has them.
#pragma once

#include "runtime/errors/catalogue.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/parse/parse.h"
#include "runtime/words/predefined.h"
#include "tests/support/core_runtime.h"
#include "tests/support/eval_environment.h"

namespace qor::bench {

inline void boot_evaluator() {
    test::start_core_runtime();
    natives::init();
    parse::init();
    lexer::init();
    interpreter::init();
    error::catalogue::init();
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    test::define_environment();
}

}  // namespace qor::bench
