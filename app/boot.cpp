// The runtime boot: every table of the runtime, built in a fixed order in
// which each table exists before the first code that reads it.
#include "runtime/memory/cell_pool.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/errors/catalogue.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/datatypes/random.h"
#include "runtime/memory/handle_table.h"
#include "runtime/hash/hash_table.h"
#include "runtime/host/http.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/collector.h"
#include "runtime/words/core_roots.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/words/core_roots.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/node.h"
#include "runtime/memory/series.h"
#include "runtime/output/output.h"
#include "runtime/words/ownership.h"
#include "runtime/output/output.h"
#include "runtime/words/ownership.h"
#include "runtime/parse/parse.h"
#include "runtime/platform/console_io.h"
#include "app/startup.h"
#include "runtime/words/context.h"
#include "runtime/words/predefined.h"
#include "runtime/words/symbol.h"

namespace qor::rt {

namespace {

void init_memory_manager() { memory::init(); }
void init_handle_table() { handle::init(); }
void make_first_frames() {
    node::alloc_frame();
    series::alloc_frame();
}
void make_global_context() { context::make_global(); }
// The symbol block and its index, a word-list table for 4,000 symbols at
// first.
void make_symbol_index() { symbol::init_table(); }
void make_predefined_symbols() { words::init_all(); }
void init_natives() { natives::init(); }
void init_parse_stacks() { parse::init(); }
void init_ownership_table() { ownership::init(); }
// url! read and write of "http" urls go to the HTTP service.
void install_http() { host::http::install(); }
// The lexer's value stack holds the values of every run in progress.
void init_lexer() {
    lexer::init();
    collector::set_root_marker(collector::Root::lexers, [] {
        lexer::for_each_active_cell([](Cell& cell) { collector::mark_cell(cell); });
    });
}
void init_interpreter() { interpreter::init(); }
// The error catalogue and the standard error prototype, as values.
void init_error_catalogue() { error::catalogue::init(); }
void init_cell_pool() { cell_pool::init(); }
void reset_collector_counters() {
    collector::init();
    collector::install_core_roots();
}

}  // namespace

// The boot is over: the collector runs on its own from here.
void finish_boot() { collector::set_enabled(true); }

void boot() {
    output::init();
    platform::init_console_io();
    random::init();              // the generator starts from its fixed seed
    init_memory_manager();
    init_handle_table();
    datatypes::register_all();   // parents before children, then image!
    actions::init();
    make_first_frames();         // first node frame and series frame
    make_global_context();
    // (the case-mapping tables are built by the compiler)
    make_symbol_index();
    make_predefined_symbols();   // type names, runtime words, keywords, #ooo
    init_natives();
    init_parse_stacks();
    init_ownership_table();
    install_http();
    stack::init();
    init_lexer();
    init_interpreter();
    init_error_catalogue();
    init_cell_pool();
    reset_collector_counters();
}

}  // namespace qor::rt
