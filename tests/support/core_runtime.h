// Sets up the runtime's core tables for a unit test, in boot order, and
// takes them down again: memory, the handle table, the datatypes and action dispatch, the data
// stack, the cycle stack, the symbol table, the global context, the
// predefined words and the ownership table.
#pragma once

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/memory_record.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/predefined.h"
#include "runtime/words/symbol.h"

namespace qor::test {

inline void start_core_runtime() {
    memory::init();
    handle::init();
    datatypes::register_all();
    actions::init();
    stack::init();
    cycle::reset();
    symbol::init_table();
    context::make_global();
    words::init_all();
    ownership::init();
}

inline void stop_core_runtime() {
    cycle::reset();
    collector::set_enabled(false);
    memory::release_all();
}

}  // namespace qor::test
