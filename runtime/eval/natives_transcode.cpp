// transcode: the language's entry to the lexer. Turns the UTF-8 bytes of a
// binary! or the characters of a string! into values, or in its scanning
// modes only reports the datatype of the next token; with /trace a function
// watches (and steers) the run through the lexer's events.
#include <string>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

// Refinement slots, in interface order.
enum Ref : size_t { r_next, r_one, r_prescan, r_scan, r_part, r_into, r_trace };

bool has(std::span<const int32_t> refs, Ref r) { return refs.size() > r && refs[r] >= 0; }

// A break, continue, return, exit or throw started by the callback: the
// stacks are already unwound to its target, so the run ends at once and
// the native returns with the exit pending.
struct ExitPassing {};

Sym event_word(lexer::Event e) {
    switch (e) {
        case lexer::Event::prescan: return Sym::prescan;
        case lexer::Event::scan: return Sym::scan;
        case lexer::Event::load: return Sym::load;
        case lexer::Event::open: return Sym::open;
        case lexer::Event::close: return Sym::close;
        case lexer::Event::error: break;
    }
    return Sym::error;
}

// The value of a word in a context, or null when the context lacks it.
const Cell* field(NodeId ctx, std::string_view name) {
    const int32_t i = context::find_word(ctx, symbol::make(name), true);
    return i < 0 ? nullptr : context::value_cell_at(ctx, static_cast<uint32_t>(i));
}

// The word that names a token without a datatype: the n-th word of
// system/lexer/exit-states, or none while the system object lacks it.
Cell exit_state_word(int32_t n) {
    const Cell* system = field(context::global(), "system");
    if (!system || type_of(*system) != TypeId::object) return none::value;
    const Cell* lex = field(system->w1, "lexer");
    if (!lex || type_of(*lex) != TypeId::object) return none::value;
    const Cell* states = field(lex->w1, "exit-states");
    if (!states || type_of(*states) != TypeId::block) return none::value;
    const uint32_t at = states->w1 + static_cast<uint32_t>(n) - 1;
    if (n < 1 || at >= series::buffer(states->w2)->length()) return none::value;
    return series::buffer(states->w2)->cells()[at];
}

Cell type_value(int32_t type) {
    if (type > 0) return Cell{to_int(TypeId::datatype), static_cast<uint32_t>(type), 0, 0};
    if (type < 0) return exit_state_word(-type);
    return none::value;
}

// The lexer events a callback asks for: those named in a block at the head
// of its body, or every event.
uint8_t event_mask(const Cell& fn) {
    const Cell body = *function::part(fn, function::Part::body);
    if (type_of(body) != TypeId::block || body.w1 >= series::buffer(body.w2)->length()) return lexer::all_events;
    const Cell first = series::buffer(body.w2)->cells()[body.w1];
    if (type_of(first) != TypeId::block) return lexer::all_events;
    constexpr lexer::Event events[] = {lexer::Event::prescan, lexer::Event::scan,  lexer::Event::load,
                                       lexer::Event::open,    lexer::Event::close, lexer::Event::error};
    uint8_t mask = 0;
    for (uint32_t i = first.w1; i < series::buffer(first.w2)->length(); i++) {
        const Cell w = series::buffer(first.w2)->cells()[i];
        if (type_of(w) != TypeId::word) continue;
        for (lexer::Event e : events)
            if (symbol::resolve_alias(w.w2) == symbol::resolve_alias(to_int(event_word(e))))
                mask |= static_cast<uint8_t>(e);
    }
    return mask;
}

// Calls the callback (a function!) with the event's five arguments (as
// many as it takes); its further arguments and locals start as none, its
// refinements off. Answers its verdict. The callback moves the lexer by
// changing the index of its `input` argument; offsets count from the
// source's index.
bool call_back(uint32_t callback_at, const lexer::EventInfo& e, uint32_t& resume) {
    Cell* const data_top = stack::data.top;
    stack::Frame* const call_top = stack::calls.top;
    const Cell fn = *arg(callback_at);
    const Cell source = *arg(0);
    Cell input = source;
    input.w1 = source.w1 + e.position;
    const Cell event_args[5] = {word::of(event_word(e.event)), input, type_value(e.type),
                                Cell{to_int(TypeId::integer), 0, e.line, 0},
                                e.value ? *e.value : Cell{to_int(TypeId::pair), 0, e.start + 1, e.end + 1}};
    const NodeId cache = arg_cache::of(fn);
    stack::push(fn);  // the result's place below the frame keeps the function referenced
    stack::mark_interp_function(to_int(Sym::tag_anon), 0, fn.w1);
    uint32_t args = 0;
    for (uint32_t j = 0; j < series::buffer(cache)->length(); j++) {
        const Cell entry = series::buffer(cache)->cells()[j];
        if (type_of(entry) == TypeId::refinement) {
            stack::push(logic::false_value);
        } else if (type_of(entry) == TypeId::typeset) {
            stack::push(args < 5 ? event_args[args] : none::value);
            args++;
        } else if (type_of(entry) == TypeId::integer) {
            stack::push(logic::false_value);
            for (uint32_t l = 1; l < entry.w2; l++) stack::push(none::value);
        }
    }
    if (!interpreter::run_function_body(fn)) throw ExitPassing{};
    const bool answer = interpreter::truthy(*stack::data.base);
    if (args >= 2) {
        const Cell moved = stack::data.base[1];
        if (type_of(moved) == type_of(source) && moved.w2 == source.w2 && moved.w1 != input.w1)
            resume = moved.w1 > source.w1 ? moved.w1 - source.w1 : 0;
    }
    stack::unwind_last();
    stack::data.top = data_top;
    stack::calls.top = call_top;
    return answer;
}

// The length to lex from the source's index, after /part.
uint32_t part_length(const Cell& source, uint32_t available, std::span<const int32_t> refs) {
    if (!has(refs, r_part)) return available;
    const Cell limit = *arg(static_cast<uint32_t>(refs[r_part]));
    int64_t n = 0;
    if (type_of(limit) == TypeId::integer) {
        n = get_int(limit);
    } else if (type_of(limit) == type_of(source)) {
        n = int64_t{limit.w1} - source.w1;
    } else {
        error::fire(error::Id::not_same_type);
    }
    if (n < 0) n = 0;
    return n > available ? available : static_cast<uint32_t>(n);
}

void n_transcode(bool, std::span<const int32_t> refs) {
    Cell source = *arg(0);
    const bool binary = type_of(source) == TypeId::binary;
    const uint32_t tail = series::buffer(source.w2)->length();
    if (source.w1 > tail) source.w1 = tail;
    uint32_t length = part_length(source, tail - source.w1, refs);

    lexer::Options options;
    options.one = has(refs, r_next) || has(refs, r_one) || has(refs, r_scan);
    options.scan = !has(refs, r_prescan);
    options.load = !has(refs, r_scan);

    // Skip a byte-order mark at the start of UTF-8 bytes.
    std::string bytes;
    if (binary) {
        const uint8_t* p = series::buffer(source.w2)->at(source.w1);
        if (length > 2 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
            source.w1 += 3;
            length -= 3;
            p += 3;
        }
        // The lexer needs input that stays put while values are allocated.
        bytes.assign(reinterpret_cast<const char*>(p), length);
    }
    *arg(0) = source;  // the callback's input counts from here

    lexer::Listener listener;
    if (has(refs, r_trace)) {
        const uint32_t callback_at = static_cast<uint32_t>(refs[r_trace]);
        const Cell fn = *arg(callback_at);
        if (type_of(fn) != TypeId::function) error::fire(error::Id::not_done);
        listener.mask = event_mask(fn);
        listener.on_event = [callback_at](const lexer::EventInfo& e, uint32_t& resume) {
            return call_back(callback_at, e, resume);
        };
        options.listener = &listener;
    }

    Cell* result = stack::push(unset::value);
    const uint32_t result_at = stack::index_of(result);
    lexer::Result outcome;
    try {
        if (binary) {
            outcome = lexer::scan_buffer(result, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), options);
        } else {
            outcome = lexer::scan_string_value(result, source, static_cast<int32_t>(length), options);
        }
    } catch (const ExitPassing&) {
        return;
    }
    result = stack::cell_at(result_at);

    if (has(refs, r_prescan) || has(refs, r_scan)) {
        Cell type = none::value;
        if (length > 0 && outcome.type != TypeId::none_id) type = Cell{to_int(TypeId::datatype), to_int(outcome.type), 0, 0};
        if (has(refs, r_next)) {
            *result = type;
        } else {
            *arg(0) = type;
            return;
        }
    }
    if ((has(refs, r_next) && !has(refs, r_one)) || (has(refs, r_next) && has(refs, r_scan))) {
        const NodeId pair = series::alloc_cells(2);
        *series_tail::alloc_cell(pair) = *stack::cell_at(result_at);
        Cell rest = *arg(0);
        rest.w1 += outcome.consumed;
        *series_tail::alloc_cell(pair) = rest;
        *arg(0) = Cell{to_int(TypeId::block), 0, pair, 0};
        return;
    }
    if (has(refs, r_into)) {
        const Cell dst = *arg(static_cast<uint32_t>(refs[r_into]));
        const Cell loaded = *result;
        if (type_of(loaded) == TypeId::block && !options.one) {
            for (uint32_t i = loaded.w1; i < series::buffer(loaded.w2)->length(); i++) {
                Cell* slot = series_tail::block_alloc_tail(dst);
                *slot = series::buffer(loaded.w2)->cells()[i];
            }
        } else if (type_of(loaded) != TypeId::unset) {
            Cell* slot = series_tail::block_alloc_tail(dst);
            *slot = *stack::cell_at(result_at);
        }
        *arg(0) = dst;
        return;
    }
    *arg(0) = *result;
}

}  // namespace

void install_transcode(Table& r) { r[Native::transcode] = n_transcode; }

}  // namespace qor::natives::impl
