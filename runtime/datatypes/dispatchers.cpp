// The 62 action dispatchers: each unpacks the current frame (arguments from
// the argument base, refinement slots as numbers), calls the routine of the
// first argument's datatype, and leaves the answer in the result slot.
#include <limits>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"

namespace qor::actions {

namespace {

using Refs = std::span<const int32_t>;

constexpr int32_t no_limit = std::numeric_limits<int32_t>::max();

// Refinement i: its slot, -1 when absent (or not passed at all).
int32_t slot(Refs refs, size_t i) { return i < refs.size() ? refs[i] : -1; }
bool flag(Refs refs, size_t i) { return slot(refs, i) >= 0; }
// The argument cell of refinement i, nullptr when absent.
Cell* value(Refs refs, size_t i) {
    const int32_t s = slot(refs, i);
    return s >= 0 ? stack::arg(static_cast<size_t>(s)) : nullptr;
}

Cell* arg(size_t i) { return stack::arg(i); }

// One refinement of an action's interface, in interface order, as a field of
// the routine's argument record: a flag, or the address of its argument cell.
template <class Args>
struct RefField {
    bool Args::*flag = nullptr;
    const Cell* Args::*value = nullptr;
};
template <class Args>
constexpr RefField<Args> ref(bool Args::*flag) { return {flag, nullptr}; }
template <class Args>
constexpr RefField<Args> ref(const Cell* Args::*value) { return {nullptr, value}; }

// The argument record of a call: refinement i fills field i of the table.
template <class Args>
Args unpack(Refs refs, std::span<const RefField<Args>> fields) {
    Args a{};
    for (size_t i = 0; i < fields.size(); i++) {
        if (fields[i].flag) a.*fields[i].flag = flag(refs, i);
        else a.*fields[i].value = value(refs, i);
    }
    return a;
}

// The refinements of find; select has the same but the last two.
constexpr RefField<FindArgs> find_refs[] = {
    ref(&FindArgs::part), ref(&FindArgs::only), ref(&FindArgs::case_sensitive), ref(&FindArgs::same),
    ref(&FindArgs::any),  ref(&FindArgs::with), ref(&FindArgs::skip),           ref(&FindArgs::last),
    ref(&FindArgs::reverse), ref(&FindArgs::tail), ref(&FindArgs::match),
};
constexpr std::span<const RefField<FindArgs>> select_refs = std::span(find_refs).first(9);
constexpr RefField<SortArgs> sort_refs[] = {
    ref(&SortArgs::case_sensitive), ref(&SortArgs::skip), ref(&SortArgs::comparator), ref(&SortArgs::part),
    ref(&SortArgs::all),            ref(&SortArgs::reverse), ref(&SortArgs::stable),
};
constexpr RefField<TrimArgs> trim_refs[] = {
    ref(&TrimArgs::head), ref(&TrimArgs::tail), ref(&TrimArgs::auto_),
    ref(&TrimArgs::lines), ref(&TrimArgs::all), ref(&TrimArgs::with),
};
constexpr RefField<OpenArgs> open_refs[] = {
    ref(&OpenArgs::new_), ref(&OpenArgs::read), ref(&OpenArgs::write), ref(&OpenArgs::seek), ref(&OpenArgs::allow),
};
constexpr RefField<ReadArgs> read_refs[] = {
    ref(&ReadArgs::part), ref(&ReadArgs::seek), ref(&ReadArgs::binary),
    ref(&ReadArgs::lines), ref(&ReadArgs::info), ref(&ReadArgs::as),
};
constexpr RefField<WriteArgs> write_refs[] = {
    ref(&WriteArgs::binary), ref(&WriteArgs::lines), ref(&WriteArgs::info), ref(&WriteArgs::append),
    ref(&WriteArgs::part),   ref(&WriteArgs::seek),  ref(&WriteArgs::allow), ref(&WriteArgs::as),
};

// Writes the routine's answer into the result slot (unless it is already there).
void answer(const Cell* result) {
    if (result != stack::result()) stack::set_result(*result);
}

// Actions whose routines work on the frame themselves.
template <Action A>
void frame_action(Refs) {
    get_action_of<A>(*arg(0))();
}

void make_action(Refs) { answer(call_make(*arg(0), *arg(1))); }
void to_action(Refs) { answer(call_to(*arg(0), *arg(1))); }

void random_action(Refs refs) {
    answer(get_action_of<Action::random>(*arg(0))(arg(0), flag(refs, 0), flag(refs, 1), flag(refs, 2)));
}

// A new string on the stack, where the collector sees it; the slot holds
// none while the string is allocated.
Cell* new_buffer() {
    Cell* buffer = stack::push(none::value);
    text_buffer::make(*buffer);
    return buffer;
}

// form and mold build a new string; with /part a limit below 1 gives the
// empty string, otherwise the text is cut to the limit.
void form_action(Refs refs) {
    const Cell* part = value(refs, 0);
    const int32_t limit = part ? get_int(*part) : no_limit;
    Cell* buffer = new_buffer();
    if (limit >= 1) {
        call_form(*arg(0), *buffer, part, limit);
        if (part) text_buffer::cut(*buffer, static_cast<uint32_t>(limit));
    }
    answer(buffer);
}

void mold_action(Refs refs) {
    const Cell* part = value(refs, 3);
    const int32_t limit = part ? get_int(*part) : no_limit;
    Cell* buffer = new_buffer();
    if (limit >= 1) {
        call_mold(*arg(0), *buffer, flag(refs, 0), flag(refs, 1), flag(refs, 2), part, limit, 0);
        if (part) text_buffer::cut(*buffer, static_cast<uint32_t>(limit));
    }
    answer(buffer);
}

// (parent element value path): value none reads, anything else is stored.
void eval_path_action(Refs) {
    EvalPathArgs a{};
    a.parent = arg(0);
    a.element = arg(1);
    a.get_mode = type_of(*arg(2)) == TypeId::none;
    a.value = a.get_mode ? nullptr : arg(2);
    a.path = arg(3);
    a.last = true;
    answer(call_eval_path(a));
}

// (value1 value2 operator): a logic!.
void compare_action(Refs) {
    const int32_t code = get_int(*arg(2));
    if (type_of(*arg(2)) != TypeId::integer || code < 0 || code > to_int(CompareOp::find_key))
        error::unreachable();
    compare_args(static_cast<CompareOp>(code));
}

void round_action(Refs refs) {
    answer(get_action_of<Action::round>(*arg(0))(arg(0), value(refs, 0), flag(refs, 1), flag(refs, 2),
                                                  flag(refs, 3), flag(refs, 4), flag(refs, 5), flag(refs, 6)));
}

// The position of a series value in units, and its tail.
uint32_t index_of(const Cell& series) { return series.w1; }
uint32_t tail_of(const Cell& series) {
    if (type_of(series) == TypeId::image) return (series.w3 >> 16) * (series.w3 & 0xFFFF);
    return series_tail::tail_units(series);
}

bool is_part_series(TypeId t) { return is_series(t) || t == TypeId::map; }

// A /part argument relative to `series`: an integer is a count; any other
// argument must be a position in the same series, and the count is the
// distance to it. The argument cell becomes that count.
void normalize_part(Cell& series, Cell& part) {
    if (type_of(part) == TypeId::integer) return;
    if (type_of(part) != type_of(series) || part.w2 != series.w2)
        error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, part});
    const uint32_t tail = tail_of(series);
    const uint32_t at = part.w1 < tail ? part.w1 : tail;
    integer::make_at(part, static_cast<int32_t>(at) - static_cast<int32_t>(index_of(series)));
}

// append and insert: with /part the inserted value must be a series, whose
// index is first clipped to its tail.
template <Action A>
void insert_action(Refs refs) {
    Cell* part = value(refs, 0);
    if (part) {
        Cell& inserted = *arg(1);
        if (!is_part_series(type_of(inserted))) error::fire(error::Id::invalid_part, {*part});
        const uint32_t tail = tail_of(inserted);
        if (inserted.w1 > tail) inserted.w1 = tail;
        normalize_part(inserted, *part);
    }
    answer(get_action_of<A>(*arg(0))(arg(0), arg(1), part, flag(refs, 1), value(refs, 2)));
}

// change: the /part range is a count or a position in the changed series.
void change_action(Refs refs) {
    Cell* part = value(refs, 0);
    if (part) {
        Cell& series = *arg(0);
        const uint32_t tail = tail_of(series);
        if (series.w1 > tail) series.w1 = tail;
        normalize_part(series, *part);
    }
    answer(get_action_of<Action::change>(*arg(0))(arg(0), arg(1), part, flag(refs, 1), value(refs, 2)));
}

// copy: /types takes a datatype or a typeset. The copy is built in its own
// cell, since the result slot holds the value being copied.
void copy_action(Refs refs) {
    const Cell* types = value(refs, 2);
    if (types && type_of(*types) != TypeId::datatype && type_of(*types) != TypeId::typeset)
        error::expect_arg(error::WordArg{"copy"}, type_of(*types), error::WordArg{"kind"});
    Cell* result = stack::push_slot();
    *result = none::value;
    answer(call_copy(*arg(0), *result, value(refs, 0), flag(refs, 1), types));
}

void find_action(Refs refs) { answer(call_find(*arg(0), *arg(1), unpack<FindArgs>(refs, find_refs))); }

void select_action(Refs refs) {
    answer(get_action_of<Action::select>(*arg(0))(arg(0), arg(1), unpack<FindArgs>(refs, select_refs)));
}

// length?: -1 means no length, which is none.
void length_action(Refs) {
    const int32_t n = get_action_of<Action::length_q>(*arg(0))(arg(0));
    if (n < 0) none::box();
    else integer::box(n);
}

void move_action(Refs refs) { answer(get_action_of<Action::move>(*arg(0))(arg(0), arg(1), value(refs, 0))); }

void pick_action(Refs) { answer(get_action_of<Action::pick>(*arg(0))(arg(0), arg(1), pick_index(*arg(1)))); }

// poke answers the value it stored.
void poke_action(Refs) {
    const Cell stored = *arg(2);
    get_action_of<Action::poke>(*arg(0))(arg(0), arg(1), pick_index(*arg(1)), arg(2));
    stack::set_result(stored);
}

void put_action(Refs refs) { answer(get_action_of<Action::put>(*arg(0))(arg(0), arg(1), arg(2), flag(refs, 0))); }

void remove_action(Refs refs) {
    answer(get_action_of<Action::remove>(*arg(0))(arg(0), value(refs, 0), value(refs, 1)));
}

void reverse_action(Refs refs) {
    answer(get_action_of<Action::reverse>(*arg(0))(arg(0), value(refs, 0), value(refs, 1)));
}

void sort_action(Refs refs) {
    answer(get_action_of<Action::sort>(*arg(0))(arg(0), unpack<SortArgs>(refs, sort_refs)));
}

void take_action(Refs refs) {
    answer(get_action_of<Action::take>(*arg(0))(arg(0), value(refs, 0), flag(refs, 1), flag(refs, 2)));
}

void trim_action(Refs refs) {
    answer(get_action_of<Action::trim>(*arg(0))(arg(0), unpack<TrimArgs>(refs, trim_refs)));
}

void modify_action(Refs refs) {
    answer(get_action_of<Action::modify>(*arg(0))(arg(0), arg(1), arg(2), flag(refs, 0)));
}

void open_action(Refs refs) {
    answer(get_action_of<Action::open>(*arg(0))(arg(0), unpack<OpenArgs>(refs, open_refs)));
}

void read_action(Refs refs) {
    answer(get_action_of<Action::read>(*arg(0))(arg(0), unpack<ReadArgs>(refs, read_refs)));
}

void write_action(Refs refs) {
    answer(get_action_of<Action::write>(*arg(0))(arg(0), arg(1), unpack<WriteArgs>(refs, write_refs)));
}

}  // namespace

namespace detail {

extern const Dispatcher dispatchers[action_count];
const Dispatcher dispatchers[action_count] = {
    make_action,                       // make
    random_action,                     // random
    frame_action<Action::reflect>,     // reflect
    to_action,                         // to
    form_action,                       // form
    mold_action,                       // mold
    eval_path_action,                  // eval-path
    nullptr,                           // set-path: no dispatcher
    compare_action,                    // compare
    frame_action<Action::absolute>,    // absolute
    frame_action<Action::add>,         // add
    frame_action<Action::divide>,      // divide
    frame_action<Action::multiply>,    // multiply
    frame_action<Action::negate>,      // negate
    frame_action<Action::power>,       // power
    frame_action<Action::remainder>,   // remainder
    round_action,                      // round
    frame_action<Action::subtract>,    // subtract
    frame_action<Action::even_q>,      // even?
    frame_action<Action::odd_q>,       // odd?
    frame_action<Action::and_t>,       // and~
    frame_action<Action::complement>,  // complement
    frame_action<Action::or_t>,        // or~
    frame_action<Action::xor_t>,       // xor~
    insert_action<Action::append>,     // append
    frame_action<Action::at>,          // at
    frame_action<Action::back>,        // back
    change_action,                     // change
    frame_action<Action::clear>,       // clear
    copy_action,                       // copy
    find_action,                       // find
    frame_action<Action::head>,        // head
    frame_action<Action::head_q>,      // head?
    frame_action<Action::index_q>,     // index?
    insert_action<Action::insert>,     // insert
    length_action,                     // length?
    move_action,                       // move
    frame_action<Action::next>,        // next
    pick_action,                       // pick
    poke_action,                       // poke
    put_action,                        // put
    remove_action,                     // remove
    reverse_action,                    // reverse
    select_action,                     // select
    sort_action,                       // sort
    frame_action<Action::skip>,        // skip
    frame_action<Action::swap>,        // swap
    frame_action<Action::tail>,        // tail
    frame_action<Action::tail_q>,      // tail?
    take_action,                       // take
    trim_action,                       // trim
    frame_action<Action::create>,      // create
    frame_action<Action::close>,       // close
    frame_action<Action::delete_>,     // delete
    modify_action,                     // modify
    open_action,                       // open
    frame_action<Action::open_q>,      // open?
    frame_action<Action::query>,       // query
    read_action,                       // read
    frame_action<Action::rename>,      // rename
    frame_action<Action::update>,      // update
    write_action,                      // write
};

}  // namespace detail

}  // namespace qor::actions
