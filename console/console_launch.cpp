// Starting the console (see console_launch.h).
#include "console/console_launch.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string_view>

#include "console/console_routines.h"
#include "console/private_words.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/errors/raise.h"
#include "runtime/datatypes/actions.h"
#include "runtime/output/output.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/output/output.h"
#include "runtime/platform/terminal_mode.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interrupt.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/core/runtime_process.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::console {

namespace {

struct RoutineWord {
    std::string_view word;  // also the name its code is registered under
    std::string_view spec;
};

constexpr RoutineWord global_routines[] = {
    {"_set-buffer-history", "line [string!] hist [block!]"},
    {"_read-input", "prompt [string!] hidden? [logic!]"},
    {"_terminate-console", ""},
    {"input-stdin", "return: [string!]"},
    {"read-stdin", "buffer [binary!] buflen [integer!]"},
    {"_lock-cfg", "path [file!]"},
};

// A routine value for a registered name, pushed on the data stack.
Cell* push_routine(std::string_view name, std::string_view spec_text) {
    Cell* spec = stack::push(natives::spec_block(spec_text));
    Cell* value = routine::push_new(*spec, nullptr, routine::code_of(name), 0, false);
    *spec = *value;
    stack::pop();
    return spec;
}

// The console object's context, or 0 while there is none.
NodeId console_context() {
    const int32_t s = context::find_word(context::global(), to_int(Sym::system), true);
    if (s < 0) return 0;
    const Cell system = *context::value_cell_at(context::global(), static_cast<uint32_t>(s));
    if (type_of(system) != TypeId::object) return 0;
    const int32_t c = context::find_word(system.w1, symbol::make("console"), true);
    if (c < 0) return 0;
    const Cell console = *context::value_cell_at(system.w1, static_cast<uint32_t>(c));
    return type_of(console) == TypeId::object ? console.w1 : 0;
}

// Loads source text into a block on the data stack.
Cell* push_code(std::string_view text) {
    Cell* code = stack::push(unset_cell);
    lexer::scan_buffer(code, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return code;
}

// Ends the process with a status, what was printed flushed first.
[[noreturn]] void end_process(int status) {
    output::flush();
    std::fflush(nullptr);
    platform::restore_terminal();
    _exit(status);
}

}  // namespace

void define_routines() {
    register_routines();
    for (const RoutineWord& r : global_routines) {
        Cell* value = push_routine(r.word, r.spec);
        Cell w = word::load(r.word);
        context::set(w, *value);
        stack::pop();
    }
    if (const NodeId console = console_context()) {
        Cell* value = push_routine("system/console/init", "str [string!]");
        const int32_t i = context::find_word(console, symbol::make("init"), true);
        if (i >= 0) *context::value_cell_at(console, static_cast<uint32_t>(i)) = *value;
        stack::pop();
    }
}

void launch() {
    Cell* const top = stack::data.top;
    stack::mark_try(stack::anonymous.body);
    try {
        define_routines();
        take_private_words();
        const Cell code = *push_code("cli-console-ctx/launch");
        interpreter::eval_block(code, false);
        // A script run that ended in an error, or that Ctrl-C halted, is a
        // failure the shell must see.
        if (!stack::exiting()) {
            const bool failed = type_of(stack::data.top[-1]) == TypeId::error;
            if (failed || interrupt::halted()) end_process(failed ? 1 : 130);
        }
    } catch (const error::Raised& raised) {
        // Nothing caught it: the error is reported and the process ends.
        Cell* error = error::catch_raised(raised, top, true);
        Cell* text = stack::push(unset_cell);
        text_buffer::make(*text);
        actions::call_form(*error, *text, nullptr, INT32_MAX);
        output::run_string_hooks(*text, true);
        end_process(254);  // -2 as an 8-bit exit status
    }
    if (stack::exiting()) rt::on_uncaught_throw(stack::take_exit());
    stack::data.top = top;
}

}  // namespace qor::console
