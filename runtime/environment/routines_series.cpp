// `rejoin` in C++: reduce a block and join its values. It runs for almost
// every message the library builds, so the reduction, the copy or form of
// the first value and the append of the rest happen without interpreted
// calls in between. The result follows the first value's type: a copy of
// it when it is a series, else its formed text, with the other values
// appended by the append action of that type.
//
// The common case (strings, numbers and the words that hold them) stays
// out of the evaluator, the action frames and the allocator where it can:
// a value that evaluates to itself is taken as it is, the values go into
// one block that every call shares, and a joined string! takes the text of
// strings, integers and chars directly, in a buffer sized for it. Each
// gives exactly what the general steps give, which still handle
// everything else.
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>

#include "runtime/environment/routines.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/exit_codes.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/eval/trace.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/symbol.h"

namespace qor::environment {
namespace {

// Every refinement absent, for any action's dispatcher.
constexpr std::array<int32_t, 8> no_refinements{-1, -1, -1, -1, -1, -1, -1, -1};

// Runs an action on the arguments in a frame of its own, as a call from the
// language would; answers its result.
Cell run_action(Action a, std::initializer_list<Cell> args) {
    stack::mark_native(to_int(Sym::tag_body));
    for (const Cell& c : args) stack::push(c);
    actions::dispatcher(a)(no_refinements);
    const Cell result = *stack::data.base;
    stack::unwind();
    stack::pop();
    return result;
}

// ---- Reduction

// Literal datatypes the evaluator pushes unchanged: none of them names,
// calls or groups anything.
constexpr bool is_literal(TypeId t) {
    switch (t) {
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
        case TypeId::ref: case TypeId::binary: case TypeId::char_: case TypeId::integer: case TypeId::float_:
        case TypeId::money: case TypeId::percent: case TypeId::pair: case TypeId::tuple: case TypeId::time:
        case TypeId::date: case TypeId::block: case TypeId::none: case TypeId::logic:
            return true;
        default:
            return false;
    }
}

// The value of the cell at the position when evaluating it is only reading
// it: a literal, or a word whose value is data (not a function, an
// operator or unset). With tracing on, every step is reported, so none is
// taken here.
const Cell* plain_value(NodeId code, uint32_t pos) {
    if (trace::state.on) [[unlikely]] return nullptr;
    const Cell* v = series::buffer(code)->cells() + pos;
    const TypeId t = type_of(*v);
    if (t == TypeId::word) {
        v = interpreter::internal::bound_value(*v);
        if (v == nullptr) return nullptr;
        const TypeId vt = type_of(*v);
        if (interpreter::internal::is_callable(vt) || vt == TypeId::op || vt == TypeId::unset) return nullptr;
    } else if (!is_literal(t)) {
        return nullptr;
    }
    return interpreter::internal::operator_at(code, pos + 1) ? nullptr : v;
}

// ---- The values' block

// The reduced values of every rejoin under way, in one block: each call
// adds its values after those of the calls it runs inside and cuts the
// block back when it ends. A collector root, so the values stay alive while
// they are joined; and one block serves every call, so no call allocates
// one for its values.
Cell values_cell = unset_cell;

// A block that grew past this many cells for a long rejoin is given back
// when no rejoin is under way.
constexpr uint32_t values_kept_cells = 1024;

// One call's share of the values' block: from its length at the start to
// the tail, cut back however the call ends (an error passing through too).
class ValuesScope {
public:
    ValuesScope() {
        series::Buffer* b = series::buffer(values_cell.w2);
        if (b->length() == 0 && b->capacity_units() > values_kept_cells)
            values_cell.w2 = series::alloc_cells(16);
        base_ = series::buffer(values_cell.w2)->length();
    }
    ~ValuesScope() {
        series::Buffer* b = series::buffer(values_cell.w2);
        b->set_tail_units(b->head_units() + base_);
    }
    ValuesScope(const ValuesScope&) = delete;
    ValuesScope& operator=(const ValuesScope&) = delete;

    // This call's values as a block value: the shared block at their start.
    [[nodiscard]] Cell values() const { return Cell{to_int(TypeId::block), base_, values_cell.w2, 0}; }

private:
    uint32_t base_ = 0;
};

// Evaluates every expression of the block onto the values' block; false
// when an exit (break, return, throw) passes through.
bool reduce(const Cell& code) {
    uint32_t pos = code.w1;
    while (pos < series::buffer(code.w2)->length()) {
        Cell v;
        if (const Cell* plain = plain_value(code.w2, pos)) {
            v = *plain;
            pos++;
        } else {
            pos = interpreter::eval_next(code.w2, pos, true);
            if (stack::exiting()) return false;
            v = *--stack::data.top;
        }
        clear_new_line(v);
        *series_tail::alloc_cell(values_cell.w2) = v;
    }
    return true;
}

// ---- Joining

// The length of an integer's decimal text, as integer! forms it: a minus
// sign and the digits of the magnitude.
uint32_t decimal_length(int32_t v) {
    uint32_t m = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    uint32_t n = v < 0 ? 2 : 1;
    for (; m >= 10; m /= 10) n++;
    return n;
}

// The values the joined string takes directly from index `from`, up to the
// first of another type: strings, integers and chars, whose formed text is
// their characters, their decimal text and themselves. Answers the room
// their text needs.
uint64_t plain_room(const Cell& values, uint32_t from) {
    series::Buffer* b = series::buffer(values.w2);
    const uint32_t end = b->length();
    const Cell* cells = b->cells();
    uint64_t room = 0;
    for (uint32_t i = values.w1 + from; i < end; i++) {
        const Cell& v = cells[i];
        switch (type_of(v)) {
            case TypeId::string: room += str::length_at(v); break;
            case TypeId::integer: room += decimal_length(get_int(v)); break;
            case TypeId::char_: room += 1; break;
            default: return room;
        }
    }
    return room;
}

// The most characters of the unit a buffer may hold.
uint64_t most_units(uint32_t unit) { return series::max_capacity / unit; }

// What copy gives for a string!, the characters from its index in a new
// string of the same unit, but with room for `extra` more characters.
Cell copy_with_room(Cell s, uint64_t extra) {
    const uint32_t count = str::length_at(s);
    const uint32_t unit = series::buffer(s.w2)->unit();
    const NodeId fresh = series::alloc(std::min(count + extra, most_units(unit)), unit);
    const series::Buffer* source = series::buffer(s.w2);  // after the allocation: it may have moved
    series::Buffer* to = series::buffer(fresh);
    to->flags |= source->flags & (series::flag::utf16_loaded | series::flag::complemented);
    if (count != 0) std::memcpy(to->data(), source->at(s.w1), size_t{count} * unit);
    to->set_tail_units(count);
    return Cell{to_int(TypeId::string), 0, fresh, 0};
}

// Begins the joined value as a string! that takes the plain values
// directly: a copy of a first string!, or an empty string for a first
// integer or char (which the string then forms, as form would), sized for
// the plain values. Sets `next` to the first value still to append;
// answers false (nothing done) for any other first value.
bool start_text(Cell& joined, const Cell& values, uint32_t& next) {
    const Cell first = *series_tail::cell_at(values, 0);
    const TypeId t = type_of(first);
    if (t == TypeId::string) {
        joined = copy_with_room(first, plain_room(values, 1));
        next = 1;
        return true;
    }
    if (t == TypeId::integer || t == TypeId::char_) {
        text_buffer::make(joined, static_cast<uint32_t>(std::min(plain_room(values, 0), most_units(1))));
        next = 0;
        return true;
    }
    return false;
}

// A string's characters at the joined string's tail: what the string's
// form gives (concatenate's append), copied at once when the units agree
// and the room is there.
void append_string(Cell& joined, const Cell& s) {
    const series::Buffer* from = series::buffer(s.w2);
    series::Buffer* to = series::buffer(joined.w2);
    const uint32_t unit = to->unit();
    const uint64_t bytes = uint64_t{str::length_at(s)} * unit;
    if (bytes == 0) return;  // as concatenate: nothing to copy, no widening
    if (from->unit() != unit || to->tail + bytes > to->capacity) {
        str::concatenate(joined, s, -1, 0, str::Mode::append);
        return;
    }
    std::memcpy(to->tail_ptr(), from->at(s.w1), bytes);
    to->tail += static_cast<uint32_t>(bytes);
}

// An integer's decimal text at the joined string's tail: what integer!'s
// form gives, written in place in a 1-byte string with the room.
void append_integer(Cell& joined, int32_t v) {
    series::Buffer* b = series::buffer(joined.w2);
    const uint32_t n = decimal_length(v);
    if (b->unit() != 1 || uint64_t{b->tail} + n > b->capacity) {
        text_buffer::append_ascii(joined, integer::form_signed(v).view());
        return;
    }
    uint8_t* p = b->tail_ptr() + n;
    uint32_t m = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    do {
        *--p = static_cast<uint8_t>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    if (v < 0) *--p = '-';
    b->tail += n;
}

// Appends the formed text of the values from index `from` to the string,
// as append does for a block of them, up to the first value that is not
// plain text; answers its index. Each value is read afresh, since an
// append may collect and move the block.
uint32_t append_plain(Cell& joined, const Cell& values, uint32_t from) {
    for (;; from++) {
        series::Buffer* b = series::buffer(values.w2);
        if (values.w1 + from >= b->length()) return from;
        const Cell v = b->cells()[values.w1 + from];
        switch (type_of(v)) {
            case TypeId::string: append_string(joined, v); break;
            case TypeId::integer: append_integer(joined, get_int(v)); break;
            case TypeId::char_: str::append_char(joined.w2, v.w2); break;
            default: return from;
        }
    }
}

// The values from index `from` in a block of their own, for append: the
// values' block is used again once this call ends, and append may keep
// what it is given (in an error's arguments, say).
Cell copy_values(const Cell& values, uint32_t from) {
    const uint32_t n = series_tail::cell_count(values) - from;
    const NodeId block = series::alloc_cells(n);
    series::Buffer* to = series::buffer(block);  // after the allocation: the values may have moved
    std::memcpy(to->cells(), series_tail::cell_at(values, from), size_t{n} * sizeof(Cell));
    to->set_tail_units(n);
    return Cell{to_int(TypeId::block), 0, block, 0};
}

// rejoin block: the reduced block, a new one when it is empty; else the
// first value copied (a series) or formed, with the rest appended. A
// string! takes the plain values itself; append then gets only the values
// after them, and none when none is left, since appending nothing to a
// string changes nothing. Any other joined value gets every value after
// the first.
void rejoin() {
    ValuesScope scope;
    if (!reduce(*stack::arg(0))) return;
    const Cell values = scope.values();
    const uint32_t count = series_tail::cell_count(values);
    if (count == 0) {
        *stack::arg(0) = Cell{to_int(TypeId::block), 0, series::alloc_cells(1), 0};
        return;
    }
    // The joined value stays on the stack while the rest is appended.
    Cell* joined = stack::push(none::value);
    uint32_t next = 1;
    bool text = start_text(*joined, values, next);
    if (!text) {
        const Cell first = *series_tail::cell_at(values, 0);
        *joined = run_action(is_series(type_of(first)) ? Action::copy : Action::form, {first});
        text = type_of(*joined) == TypeId::string;
    }
    if (text) next = append_plain(*joined, values, next);
    if (!text || next < count) *joined = run_action(Action::append, {*joined, copy_values(values, next)});
    *stack::arg(0) = *joined;
    stack::pop();
}

}  // namespace

void define_series_routines() {
    collector::remove_root(&values_cell);
    values_cell = Cell{to_int(TypeId::block), 0, series::alloc_cells(16), 0};
    collector::add_root(&values_cell);
    define_routine("rejoin", R"spec(["Reduces and joins a block of values." block [block!] "Values to reduce and join"])spec",
                   rejoin);
}

}  // namespace qor::environment
