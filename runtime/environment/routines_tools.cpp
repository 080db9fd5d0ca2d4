// The profiler's bookkeeping in C++: `profiler-step` does, for one trace
// event, what the profiler's handler does with its records. The handler
// runs for every call, prolog, epilog and return of the profiled code, so
// this work, done by the interpreter, would cost many times the code itself.
//
// profiler-step event value ref profiling fun-stk options
//   init    empties `profiling` and `fun-stk` and takes the typeset of
//           the calls to count from `options/profile/types`;
//   call    of a value whose type is in that typeset: raises the count of the
//           name's record in `profiling` (name, count, total time), or adds
//           a record of the name, 1 and 0:00; a call without a name (`ref`
//           is the function itself) is named by a new tag <anonN>; a record
//           of name (none for an uncounted call), start time and none goes
//           on `fun-stk`;
//   prolog  the current time becomes the start of the last record;
//   epilog  the current time becomes its end;
//   return  the end (or now) minus the start goes to the name's total, and
//           the record is dropped.
#include <cstring>
#include <string>

#include "runtime/environment/routines.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/date_calendar.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/platform/clock.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::environment {
namespace {

// The running number of anonymous calls; never reset, so every such call
// has a record of its own.
uint32_t anonymous_calls = 0;

// The current time as a date! in UTC, to the 100 nanoseconds (the
// resolution of now/precise).
[[nodiscard]] Cell now_precise() {
    const platform::ClockReading clock = platform::read_utc_clock();
    Cell c{};
    date::make_from_epoch(c, clock.seconds, (clock.nanoseconds / 100) * 100 / 1e9, 0);
    return c;
}

[[nodiscard]] bool is_event(const Cell& event, Sym word) {
    return event.w2 == to_int(word) || symbol::resolve_alias(event.w2) == symbol::resolve_alias(to_int(word));
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
        if (at >= 0 && type_of(start) == TypeId::date && type_of(end) == TypeId::date) {
            date::difference(end, start);
            Cell& total = series::buffer(args[3].w2)->cells()[at + 2];
            if (type_of(total) == TypeId::time) set_double(total, get_double(total) + get_double(end));
        }
    }
    b = series::buffer(args[4].w2);
    b->set_tail_units(b->head_units() + first);
}

void profiler_step() {
    const Cell* args = stack::arg(0);
    const Cell event = args[0];
    if (is_event(event, Sym::call)) {
        on_call(args);
    } else if (is_event(event, Sym::prolog) || is_event(event, Sym::epilog)) {
        series::Buffer* b = series::buffer(args[4].w2);
        const uint32_t n = b->length();
        const uint32_t back = is_event(event, Sym::prolog) ? 2 : 1;
        if (n >= args[4].w1 + back) b->cells()[n - back] = now_precise();
    } else if (is_event(event, Sym::return_)) {
        on_return(args);
    } else if (is_event(event, Sym::init)) {
        counted_types = field_of(field_of(args[5], "profile"), "types");
        for (const Cell* block : {&args[3], &args[4]}) {
            series::Buffer* b = series::buffer(block->w2);
            if (b->length() > block->w1) b->set_tail_units(b->head_units() + block->w1);
        }
    }
    *stack::arg(0) = none::value;
}

}  // namespace

void define_tools_routines() {
    define_routine("profiler-step", R"spec([
        "Keeps the profiler's records for one trace event"
        event [word!] value [any-type!] ref [any-type!] profiling [block!] fun-stk [block!] options [object!]
    ])spec", profiler_step);
}

}  // namespace qor::environment
