// The runtime's side of the system object: values the library puts into its
// fields, and routines for the fields that reach back into the runtime.
#include "runtime/environment/system_hooks.h"

#include <string>
#include <string_view>

#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/error_catalogue.h"
#include "runtime/memory/data_stack.h"
#include "runtime/host/command_line.h"
#include "runtime/host/file_ops.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/series_tail.h"
#include "runtime/core/runtime_process.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::environment {

namespace {

Cell integer_cell(uint32_t v) { return Cell{to_int(TypeId::integer), 0, v, 0}; }

// system-gc-active?: whether the collector's switch is on.
void r_gc_active() {
    *stack::data.base = collector::enabled() ? logic::true_value : logic::false_value;
}
// system-gc-series-cycles: the completed collections.
void r_gc_series_cycles() { *stack::data.base = integer_cell(collector::cycle_count()); }
// system-gc-nodes-cycles: the collections that emptied node frames.
void r_gc_nodes_cycles() { *stack::data.base = integer_cell(collector::node_compaction_count()); }

// system-float-pretty on: switches the pretty rules of float forming.
void r_float_pretty() { float_::set_pretty_mode(logic::is_true(*stack::data.base)); }

// Binds a global word to a routine of registered code over an interface text.
void bind_routine(std::string_view name, std::string_view spec, routine::RoutineFn code) {
    const uint32_t number = routine::register_code(name, code);
    const size_t depth = stack::depth();
    Cell* loaded = stack::push(unset_cell);  // reachable while the routine is built
    lexer::scan_buffer(loaded, reinterpret_cast<const uint8_t*>(spec.data()), spec.size());
    const Cell spec_block = *series_tail::cell_at(*loaded, 0);
    const Cell* value = routine::push_new(spec_block, nullptr, number, 0, false);
    Cell w = word::load(name);
    context::set(w, *value);
    stack::data.top = stack::data.bottom + depth;
}

// Binds a global word to a value that is reachable (or plain).
void bind_value(std::string_view name, const Cell& value) {
    Cell* kept = stack::push(value);
    Cell w = word::load(name);
    context::set(w, *kept);
    stack::pop();
}

// A field of an object by name, or nullptr.
const Cell* field(const Cell& object, std::string_view name) {
    if (type_of(object) != TypeId::object) return nullptr;
    const int32_t i = context::find_word(object.w1, symbol::make(name), true);
    if (i < 0) return nullptr;
    return context::value_cell_at(object.w1, static_cast<uint32_t>(i));
}

// A field of the system object, or nullptr before the system object exists.
const Cell* system_field(std::string_view name) {
    const int32_t s = context::find_word(context::global(), symbol::make("system"), true);
    if (s < 0) return nullptr;
    return field(*context::value_cell_at(context::global(), static_cast<uint32_t>(s)), name);
}

const Cell* system_state() { return system_field("state"); }

// system/locale/months, read by the text form of dates.
Cell locale_months() {
    const Cell* locale = system_field("locale");
    const Cell* months = locale ? field(*locale, "months") : nullptr;
    return months ? *months : none::value;
}

// The build's date and time: when the executable was written, in UTC.
Cell build_date() {
    const auto t = host::query_file("/proc/self/exe");
    if (!t) return none::value;
    Cell c{};
    date::make_at_hms(c, t->year, t->month, t->day, t->hour, t->minute, t->second, 0);
    return c;
}

// What make port! reads from the system: the scheme registry and the
// standard port and URL-parts prototypes.
Cell port_system_part(port::SystemPart part) {
    if (part == port::SystemPart::schemes) {
        const Cell* schemes = system_field("schemes");
        return schemes ? *schemes : none::value;
    }
    const Cell* standard = system_field("standard");
    const Cell* found = standard ? field(*standard, part == port::SystemPart::standard_port ? "port" : "url-parts")
                                 : nullptr;
    return found ? *found : none::value;
}

int32_t stack_trace_depth() {
    const Cell* state = system_state();
    const Cell* depth = state ? field(*state, "stack-trace") : nullptr;
    return depth && type_of(*depth) == TypeId::integer ? get_int(*depth) : 0;
}

const Cell* source_files() {
    const Cell* state = system_state();
    const Cell* files = state ? field(*state, "source-files") : nullptr;
    return files && type_of(*files) == TypeId::block ? files : nullptr;
}

// What money! reads: the currency list and the decimals it forms.
const Cell* currency_list() {
    const Cell* locale = system_field("locale");
    const Cell* currencies = locale ? field(*locale, "currencies") : nullptr;
    return currencies ? field(*currencies, "list") : nullptr;
}

const Cell* money_digits() {
    const Cell* options = system_field("options");
    return options ? field(*options, "money-digits") : nullptr;
}

}  // namespace

void define_system_hooks() {
    // The library's objects keep the runtime in step through their change
    // handlers.
    object::install_runners();
    bind_value("system-words-object", *object::push(context::global(), 0));
    stack::pop();
    bind_value("system-error-catalog", error::catalogue::errors());
    bind_value("system-error-prototype", error::catalogue::standard_error());
    const std::string line = host::command_line(rt::record().args);
    bind_value("system-command-line",
               *str::push_new(reinterpret_cast<const uint8_t*>(line.data()), line.size()));
    stack::pop();
    bind_value("system-build-date", build_date());
    bind_routine("system-float-pretty", "[on [logic!]]", r_float_pretty);
    bind_routine("system-gc-active?", "[return: [logic!]]", r_gc_active);
    bind_routine("system-gc-series-cycles", "[return: [integer!]]", r_gc_series_cycles);
    bind_routine("system-gc-nodes-cycles", "[return: [integer!]]", r_gc_nodes_cycles);
    error_type::install_environment({stack_trace_depth, source_files});
    port::install_system_lookup(port_system_part);
    // The lexer reads currencies while it holds its input by address, so
    // these lookups must not allocate: the names they intern exist from here.
    for (std::string_view name : {"system", "locale", "currencies", "list", "options", "money-digits"})
        (void)symbol::make(name);
    money::install_system_lookup({currency_list, money_digits});
    date::install_month_names(locale_months);
}

}  // namespace qor::environment
