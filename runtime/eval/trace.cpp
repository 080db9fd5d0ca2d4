// Reporting trace events to the callback.
#include "runtime/eval/trace.h"

#include <bit>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::trace {

State state;

namespace {

struct EventWord {
    uint32_t bit;
    Sym word;
};
constexpr EventWord event_words[] = {
    {init, Sym::init},       {end, Sym::end},      {prolog, Sym::prolog}, {epilog, Sym::epilog},
    {enter, Sym::enter},     {exit, Sym::exit},    {open, Sym::open},     {return_, Sym::return_},
    {fetch, Sym::fetch},     {push, Sym::push},    {set, Sym::set},       {call, Sym::call},
    {error, Sym::error},     {throw_, Sym::throw_}, {catch_, Sym::catch_}, {expr, Sym::expr},
};

Sym word_of(uint32_t event) {
    for (const EventWord& e : event_words)
        if (e.bit == event) return e.word;
    return Sym::end;
}

// The word of an event, looked up in the global context once: every event
// pushes it, and the look-up is a hash search.
Cell event_word(uint32_t event) {
    static Cell words[32] = {};
    const int bit = std::countr_zero(event);
    if (bit >= 32) return word::of(word_of(event));
    Cell& w = words[bit];
    if (type_of(w) != TypeId::word) {
        const Cell found = word::of(word_of(event));
        if (found.w1 != context::global()) return found;
        w = found;
    }
    return w;
}

constexpr uint32_t with_reference = set | epilog | prolog | return_ | call;

// Switches tracing back on however the callback ends.
struct Resume {
    ~Resume() { state.on = true; }
};

}  // namespace

void fire(uint32_t event, NodeId code, int64_t position, const Cell* reference, const Cell* value) {
    if (!wanted(event)) return;
    const uint32_t base_index = stack::index_of(stack::data.base);
    const uint32_t top_index = stack::index_of(stack::data.top);
    Cell* const data_top = stack::data.top;
    stack::Frame* const call_top = stack::calls.top;
    stack::push(unset::value);
    const Cell fn = state.callback;
    stack::mark_interp_function(to_int(Sym::tag_interp_callback), 0, fn.w1);
    stack::push(event_word(event));
    const bool has_code = code != 0;
    stack::push(has_code ? Cell{to_int(TypeId::block), 0, code, 0} : none::value);
    const bool inside = has_code && position >= 0 && position <= series::buffer(code)->length();
    stack::push(Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(inside ? position : -1), 0});
    stack::push(value && type_of(*value) != TypeId::unset ? *value : none::value);
    stack::push(reference && (event & with_reference) ? *reference : none::value);
    stack::push(Cell{to_int(TypeId::pair), 0, base_index, top_index});
    // The callback's further refinements and locals start off.
    const NodeId cache = arg_cache::of(fn);
    const uint32_t n = series::buffer(cache)->length();
    uint32_t args = 0;
    for (uint32_t j = 0; j < n; j++) {
        const Cell e = series::buffer(cache)->cells()[j];
        if (type_of(e) == TypeId::typeset && args < 6) {
            args++;
            continue;
        }
        if (type_of(e) == TypeId::refinement) stack::push(logic::false_value);
        else if (type_of(e) == TypeId::typeset) stack::push(none::value);
        else if (type_of(e) == TypeId::integer) {
            stack::push(logic::false_value);
            for (uint32_t l = 1; l < e.w2; l++) stack::push(none::value);
        }
    }
    {
        state.on = false;
        Resume resume;
        interpreter::run_function_body(fn);
    }
    if (stack::exiting()) return;
    stack::unwind_last();
    stack::data.top = data_top;
    stack::calls.top = call_top;
}

uint32_t mask_of(const Cell& callback) {
    const Cell body = *function::part(callback, function::Part::body);
    if (type_of(body) != TypeId::block || body.w1 >= series::buffer(body.w2)->length()) return all_events;
    const Cell first = series::buffer(body.w2)->cells()[body.w1];
    if (type_of(first) != TypeId::block) return all_events;
    uint32_t mask = 0;
    for (uint32_t i = first.w1; i < series::buffer(first.w2)->length(); i++) {
        const Cell w = series::buffer(first.w2)->cells()[i];
        if (type_of(w) != TypeId::word) continue;
        const uint32_t canonical = symbol::resolve_alias(w.w2);
        for (const EventWord& e : event_words)
            if (symbol::resolve_alias(to_int(e.word)) == canonical) mask |= e.bit;
    }
    return mask;
}

}  // namespace qor::trace
