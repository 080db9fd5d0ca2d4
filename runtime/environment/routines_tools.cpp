// The profiler's bookkeeping in C++: `profiler-step` does, for one trace
// event, what the profiler's handler does with its records. The handler
// runs for every call, prolog, epilog and return of the profiled code, so
// this work, done by the interpreter, would cost many times the code itself.
//
// profiler-step event value ref
//   init    takes `profiling`, `fun-stk` and `options` from system/tools
//           (kept for the run), empties the first two and takes the
//           typeset of the calls to count from `options/profile/types`;
//   call    of a value whose type is in that typeset: raises the count of the
//           name's record in `profiling` (name, count, total time), or adds
//           a record of the name, 1 and 0:00; a call without a name (`ref`
//           is the function itself) is named by a new tag <anonN>; a record
//           of name (none for an uncounted call), start time and none goes
//           on `fun-stk` (times are time! values counted from the second
//           of the init);
//   prolog  the current time becomes the start of the last record;
//   epilog  the current time becomes its end;
//   return  the end (or now) minus the start goes to the name's total, and
//           the record is dropped.
#include <cstring>
#include <string>

#include "runtime/environment/routines.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/platform/clock.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::environment {
namespace {

// The running number of anonymous calls; never reset, so every such call
// has a record of its own.
uint32_t anonymous_calls = 0;

// The second the clock read at the last init: times are kept from there,
// so a double holds them to the nanosecond.
int64_t base_second = 0;

// The current time as a time! (seconds since the base), to the 100
// nanoseconds (the resolution of now/precise). A time! costs no calendar
// arithmetic, and differences of them are what the records add up.
[[nodiscard]] Cell now_precise() {
    const platform::ClockReading clock = platform::read_utc_clock();
    Cell c{to_int(TypeId::time), 0, 0, 0};
    set_double(c, static_cast<double>(clock.seconds - base_second) + (clock.nanoseconds / 100) * 100 / 1e9);
    return c;
}

// The event's own word, as the trace gives it; a word spelled the same in
// another case is looked up once through the alias.
[[nodiscard]] Sym event_of(const Cell& event) {
    constexpr Sym events[] = {Sym::call, Sym::prolog, Sym::epilog, Sym::return_, Sym::init};
    for (Sym e : events)
        if (event.w2 == to_int(e)) return e;
    const uint32_t canonical = symbol::resolve_alias(event.w2);
    for (Sym e : events)
        if (canonical == symbol::resolve_alias(to_int(e))) return e;
    return Sym::end;
}

// The types of the calls counted, taken at init (a typeset holds no series,
// so it may live outside the collector's view).
Cell counted_types{to_int(TypeId::none), 0, 0, 0};

// The value of a field of an object, or none.
[[nodiscard]] Cell field_of(const Cell& object, std::string_view name) {
    if (type_of(object) != TypeId::object) return none::value;
    const int32_t at = context::find_word(object.w1, symbol::make(name), true);
    return at < 0 ? none::value : *context::value_cell_at(object.w1, static_cast<uint32_t>(at));
}

// Whether two names are the same record's, as find compares them.
[[nodiscard]] bool same_name(const Cell& a, const Cell& b) {
    if (type_of(a) == TypeId::word && type_of(b) == TypeId::word)
        return a.w2 == b.w2 || symbol::resolve_alias(a.w2) == symbol::resolve_alias(b.w2);
    return actions::compare(a, b, CompareOp::equal);
}

// The index of the name's record in the block (every third value from its
// index), or -1.
[[nodiscard]] int64_t find_record(const Cell& records, const Cell& name) {
    series::Buffer* b = series::buffer(records.w2);
    const uint32_t n = b->length();
    // The same word first: the usual case, found without the alias look-up.
    if (type_of(name) == TypeId::word) {
        for (uint32_t i = records.w1; i < n; i += 3) {
            const Cell& c = b->cells()[i];
            if (type_of(c) == TypeId::word && c.w2 == name.w2) return i;
        }
    }
    for (uint32_t i = records.w1; i < n; i += 3) {
        if (same_name(b->cells()[i], name)) return i;
    }
    return -1;
}

// The types of any-function!: a call whose reference is one of these has
// no name.
[[nodiscard]] bool is_any_function(TypeId t) {
    return t == TypeId::native || t == TypeId::action || t == TypeId::op || t == TypeId::function ||
           t == TypeId::routine;
}

// Makes the cell (one the collector sees) the tag <anonN> for the next
// anonymous call.
void name_anonymous(Cell& tag) {
    str::make_at(tag, 16, 1, TypeId::tag);
    str::append_literal(tag, "anon" + std::to_string(++anonymous_calls));
}

// The call event: count the call, open its record on the call stack.
void on_call(const Cell* args) {
    Cell* name = stack::push(none::value);  // kept where the collector sees it
    if (type_of(counted_types) == TypeId::typeset && typeset::has(counted_types, type_of(args[1]))) {
        if (is_any_function(type_of(args[2]))) name_anonymous(*name);
        else *name = args[2];
        const int64_t at = find_record(args[3], *name);
        if (at >= 0) {
            Cell& count = series::buffer(args[3].w2)->cells()[at + 1];
            if (type_of(count) == TypeId::integer) count.w2 += 1;
        } else {
            *series_tail::alloc_cell(args[3].w2) = *name;
            *series_tail::alloc_cell(args[3].w2) = Cell{to_int(TypeId::integer), 0, 1, 0};
            Cell zero{to_int(TypeId::time), 0, 0, 0};
            set_double(zero, 0.0);
            *series_tail::alloc_cell(args[3].w2) = zero;
        }
    }
    const Cell start = now_precise();
    const Cell record[] = {*name, start, none::value};
    for (const Cell& c : record) *series_tail::alloc_cell(args[4].w2) = c;
    stack::pop();
}

// The return event: add the record's time to its name's total, drop it.
void on_return(const Cell* args) {
    series::Buffer* b = series::buffer(args[4].w2);
    const uint32_t n = b->length();
    if (n <= args[4].w1) return;
    const uint32_t first = n - args[4].w1 >= 3 ? n - 3 : args[4].w1;
    const Cell name = b->cells()[first];
    if (type_of(name) != TypeId::none && !(type_of(name) == TypeId::logic && name.w1 == 0) && n - first == 3) {
        const Cell start = b->cells()[first + 1];
        Cell end = b->cells()[first + 2];
        if (type_of(end) == TypeId::none) end = now_precise();
        const int64_t at = find_record(args[3], name);
        if (at >= 0 && type_of(start) == TypeId::time && type_of(end) == TypeId::time) {
            Cell& total = series::buffer(args[3].w2)->cells()[at + 2];
            if (type_of(total) == TypeId::time)
                set_double(total, get_double(total) + (get_double(end) - get_double(start)));
        }
    }
    b = series::buffer(args[4].w2);
    b->set_tail_units(b->head_units() + first);
}

// The blocks and options of the run, taken at init: event, value and
// ref, then profiling, fun-stk and options, as the steps read them.
// Rooted, so the blocks live while they are in use here.
Cell run_state[6] = {};

// Takes system/tools' profiling, fun-stk and options; false when the
// system object does not have them.
bool take_tools() {
    const Cell system = *context::value_cell(word::load("system"));
    const Cell tools = field_of(system, "tools");
    run_state[3] = field_of(tools, "profiling");
    run_state[4] = field_of(tools, "fun-stk");
    run_state[5] = field_of(tools, "options");
    return type_of(run_state[3]) == TypeId::block && type_of(run_state[4]) == TypeId::block;
}

void profiler_step() {
    const Sym event = event_of(*stack::arg(0));
    if (event == Sym::init && !take_tools()) error::fire(error::Id::not_done);
    if (type_of(run_state[3]) != TypeId::block || type_of(run_state[4]) != TypeId::block) return;
    run_state[0] = *stack::arg(0);
    run_state[1] = *stack::arg(1);
    run_state[2] = *stack::arg(2);
    Cell* args = run_state;
    switch (event) {
        case Sym::call: on_call(args); break;
        case Sym::prolog:
        case Sym::epilog: {
            series::Buffer* b = series::buffer(args[4].w2);
            const uint32_t n = b->length();
            const uint32_t back = event == Sym::prolog ? 2 : 1;
            if (n >= args[4].w1 + back) b->cells()[n - back] = now_precise();
            break;
        }
        case Sym::return_: on_return(args); break;
        case Sym::init:
            counted_types = field_of(field_of(args[5], "profile"), "types");
            base_second = platform::read_utc_clock().seconds;
            for (const Cell* block : {&args[3], &args[4]}) {
                series::Buffer* b = series::buffer(block->w2);
                if (b->length() > block->w1) b->set_tail_units(b->head_units() + block->w1);
            }
            break;
        default: break;
    }
    run_state[1] = run_state[2] = none::value;
    *stack::arg(0) = none::value;
}

}  // namespace

void define_tools_routines() {
    for (Cell& c : run_state) {
        c = none::value;
        collector::add_root(&c);
    }
    define_routine("profiler-step", R"spec([
        "Keeps the profiler's records for one trace event"
        event [word!] value [any-type!] ref [any-type!]
    ])spec", profiler_step);
}

}  // namespace qor::environment
