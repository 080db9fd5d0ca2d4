// bitset!: the byte buffer of bits with its complement flag, the walker of
// bitset specs, and the actions.
#include "runtime/datatypes/bitset.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/symbol.h"

namespace qor::bitset {

namespace {

// ---- helpers

[[nodiscard]] series::Buffer* buffer_of(const Cell& bits) { return series::buffer(bits.w2); }
[[nodiscard]] uint32_t stored_bytes(const Cell& bits) { return buffer_of(bits)->length(); }
[[nodiscard]] bool complemented(const Cell& bits) { return is_complemented(buffer_of(bits)); }
[[nodiscard]] uint8_t fill_of(bool complemented) { return complemented ? 0xFF : 0x00; }

void set_complemented(NodeId node, bool on) {
    series::Buffer* b = series::buffer(node);
    if (on) b->flags |= series::flag::complemented;
    else b->flags &= ~series::flag::complemented;
}

[[noreturn]] void out_of_range(int64_t n) {
    error::fire(error::Id::out_of_range, {Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(n), 0}});
}

// Grows the stored bytes to `bytes`, the new ones reading as the positions
// they stand for did (0xFF when complemented). `highest` is the bit that
// needs the room, for the error of a size beyond the largest.
void grow(const Cell& bits, uint64_t bytes, int64_t highest) {
    const uint32_t have = stored_bytes(bits);
    if (bytes <= have) return;
    if (bytes > max_bytes) out_of_range(highest);
    series::Buffer* b = buffer_of(bits);
    const uint8_t fill = fill_of(is_complemented(b));
    if (b->head + bytes > b->capacity) b = series::expand_copy(bits.w2, std::max<uint64_t>(bytes, 2ull * have));
    std::memset(b->head_ptr() + have, fill, bytes - have);
    b->tail = b->head + static_cast<uint32_t>(bytes);
}

[[nodiscard]] bool is_word(const Cell& v, Sym s) {
    return type_of(v) == TypeId::word && symbol::resolve_alias(v.w2) == symbol::resolve_alias(to_int(s));
}

// ---- the spec walker

// What a walk over a spec does with each bit it names.
enum class Mode : uint8_t {
    measure,  // find the highest bit named
    set,
    clear,
    test,     // answer whether every bit named is a member
};

// Who walks, for the error a value that is no spec raises.
enum class Caller : uint8_t { make, to, other };

// A walk over a spec: chars and integers (one bit each), floats (their
// integer part), strings (each code point from the index), blocks (each
// item in turn, `a - b` an inclusive range of chars or integers). Setting
// and clearing touch only stored bytes: the caller first measures and grows
// the bitset where the change needs room, so a walk never allocates and
// fails, if at all, in its measuring pass before anything changed.
class SpecWalk {
public:
    SpecWalk(Mode mode, Caller caller, const Cell* bits) : mode_(mode), caller_(caller), bits_(bits) {}

    // For test: whether every bit named is a member. Otherwise true.
    bool value(const Cell& v) {
        switch (type_of(v)) {
            case TypeId::char_:
            case TypeId::integer: return bit(static_cast<int32_t>(v.w2));
            case TypeId::float_: return bit(float_bit(v));
            case TypeId::string: return string(v);
            case TypeId::block: return block(v);
            case TypeId::binary: error::fire(error::Id::not_done);
            default: refuse(v);
        }
    }

    [[nodiscard]] int64_t highest() const { return highest_; }

private:
    [[noreturn]] void refuse(const Cell& v) const {
        switch (caller_) {
            case Caller::make: error::fire(error::Id::bad_make_arg, {datatype::value(TypeId::bitset), v});
            case Caller::to: error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::bitset), v});
            case Caller::other: error::fire(error::Id::invalid_arg, {v});
        }
        error::unreachable();
    }

    static int64_t float_bit(const Cell& v) {
        const double d = std::trunc(get_double(v));
        if (!(d > -2147483649.0 && d < 2147483648.0)) error::fire(error::Id::out_of_range, {v});
        return static_cast<int64_t>(d);
    }

    bool bit(int64_t n) { return range(n, n); }

    // The inclusive range lo..hi (lo <= hi).
    bool range(int64_t lo, int64_t hi) {
        if (mode_ == Mode::measure) {
            if (lo < 0) out_of_range(lo);
            highest_ = std::max(highest_, hi);
            return true;
        }
        const bool beyond = complemented(*bits_);  // what unstored positions read as
        if (mode_ == Mode::test && !beyond && (lo < 0 || (hi >> 3) >= stored_bytes(*bits_))) return false;
        if (lo < 0) {
            if (mode_ != Mode::test) out_of_range(lo);
            lo = 0;
        }
        series::Buffer* b = buffer_of(*bits_);
        const int64_t last = std::min<int64_t>(hi, int64_t{b->length()} * 8 - 1);
        uint8_t* bytes = b->head_ptr();
        for (int64_t n = lo; n <= last; n++) {
            uint8_t& byte = bytes[n >> 3];
            const uint8_t mask = static_cast<uint8_t>(0x80u >> (n & 7));
            switch (mode_) {
                case Mode::set: byte |= mask; break;
                case Mode::clear: byte &= static_cast<uint8_t>(~mask); break;
                default:
                    if (!(byte & mask)) return false;
            }
        }
        return true;
    }

    bool string(const Cell& s) {
        const uint32_t n = str::length_at(s);
        for (uint32_t i = 0; i < n; i++)
            if (!bit(str::char_at(s, i))) return false;
        return true;
    }

    bool block(const Cell& b) {
        const uint32_t n = series_tail::cell_count(b);
        for (uint32_t i = 0; i < n; i++) {
            const Cell item = *series_tail::cell_at(b, i);
            const TypeId t = type_of(item);
            if ((t == TypeId::char_ || t == TypeId::integer) && i + 2 < n &&
                is_word(*series_tail::cell_at(b, i + 1), Sym::minus)) {
                const Cell upper = *series_tail::cell_at(b, i + 2);
                if (type_of(upper) != t) error::fire(error::Id::invalid_arg, {upper});
                const int64_t lo = static_cast<int32_t>(item.w2), hi = static_cast<int32_t>(upper.w2);
                if (hi < lo) error::fire(error::Id::past_end);
                i += 2;
                if (!range(lo, hi)) return false;
            } else if (!value(item)) {
                return false;
            }
        }
        return true;
    }

    Mode mode_;
    Caller caller_;
    const Cell* bits_;
    int64_t highest_ = -1;
};

// Sets (or clears) the bits a spec names in a bitset, growing it where the
// change needs room: setting beyond the stored bytes of a complemented
// bitset, or clearing beyond those of a plain one, changes nothing. Both
// cells are copied first, since growing may move a block that holds them
// (a path step); what they refer to stays reachable from there.
void change_bits(const Cell& bits_cell, const Cell& spec_cell, bool set, Caller caller) {
    const Cell bits = bits_cell, spec = spec_cell;
    SpecWalk measure(Mode::measure, caller, &bits);
    measure.value(spec);
    if (measure.highest() < 0) return;
    if (set != complemented(bits)) grow(bits, uint64_t(measure.highest() + 8) >> 3, measure.highest());
    SpecWalk(set ? Mode::set : Mode::clear, caller, &bits).value(spec);
}

[[nodiscard]] bool test_bits(const Cell& bits, const Cell& spec) {
    return SpecWalk(Mode::test, Caller::other, &bits).value(spec);
}

// A new bitset sized for bit `highest` (at least one byte).
Cell* make_for_highest(Cell& cell, int64_t highest, bool complemented) {
    const uint64_t bytes = std::max<uint64_t>(1, uint64_t(highest + 8) >> 3);
    if (bytes > max_bytes) out_of_range(highest);
    return make_at(cell, bytes, complemented);
}

// A new bitset holding the bytes of another series from `from` (inverted
// when asked), written into `cell`. The source stays on the data stack
// while the new series is made, since `cell` may be the one that held it.
void make_from_bytes(Cell& cell, const Cell& source, uint32_t from, bool invert, bool complement) {
    const Cell* kept = stack::push(source);
    const uint32_t length = buffer_of(*kept)->length();
    const uint32_t n = length > from ? length - from : 0;
    make_at(cell, n, complement);
    const uint8_t* in = buffer_of(*kept)->head_ptr() + from;  // after the allocation
    uint8_t* out = buffer_of(cell)->head_ptr();
    for (uint32_t i = 0; i < n; i++) out[i] = invert ? static_cast<uint8_t>(~in[i]) : in[i];
    stack::pop();
}

void copy_into(Cell& cell, const Cell& bits) {
    const bool c = complemented(bits);
    make_from_bytes(cell, bits, 0, false, c);
}

// ---- the byte operations of the set actions and natives

enum class ByteOp : uint8_t { or_, and_, xor_, and_not };

[[nodiscard]] constexpr uint8_t apply(ByteOp op, uint8_t a, uint8_t b) {
    switch (op) {
        case ByteOp::or_: return a | b;
        case ByteOp::and_: return a & b;
        case ByteOp::xor_: return a ^ b;
        case ByteOp::and_not: return static_cast<uint8_t>(a & ~b);
    }
    return 0;
}
[[nodiscard]] constexpr bool apply(ByteOp op, bool a, bool b) {
    return apply(op, uint8_t{a}, uint8_t{b}) != 0;
}

// The result slot becomes `a op b` over the two bitsets of the frame. Each
// operand reads beyond its stored bytes as its complement flag says, and the
// result's flag is the operation applied to the two flags, so the result
// holds exactly the members it should at every position. The result is as
// long as the longer operand; with `trim_and`, an `and` whose shorter
// operand is plain stops at that operand's length (nothing follows it).
Cell* combine(ByteOp op, bool trim_and) {
    const Cell* b_arg = stack::arg(1);
    if (type_of(*b_arg) != TypeId::bitset) error::fire(error::Id::invalid_type, {datatype::value(type_of(*b_arg))});
    const Cell a = *stack::arg(0), b = *b_arg;  // both stay on the stack: the collector sees them
    const uint32_t la = stored_bytes(a), lb = stored_bytes(b);
    const bool fa = complemented(a), fb = complemented(b);
    uint32_t n = std::max(la, lb);
    if (trim_and && op == ByteOp::and_ && !(la < lb ? fa : fb)) n = std::min(la, lb);
    Cell* result = stack::push(none::value);
    make_at(*result, n, apply(op, fa, fb));
    const uint8_t* pa = buffer_of(a)->head_ptr();
    const uint8_t* pb = buffer_of(b)->head_ptr();
    uint8_t* out = buffer_of(*result)->head_ptr();
    const uint8_t beyond_a = fill_of(fa), beyond_b = fill_of(fb);
    for (uint32_t i = 0; i < n; i++)
        out[i] = apply(op, i < la ? pa[i] : beyond_a, i < lb ? pb[i] : beyond_b);
    stack::set_result(*result);
    stack::pop();
    return stack::result();
}

// ---- actions

const Cell* make_bits(Cell* prototype, Cell* spec, Caller caller) {
    switch (type_of(*spec)) {
        case TypeId::integer:
        case TypeId::float_: {
            // A size in bits, rounded up to whole bytes.
            if (caller == Caller::to) error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::bitset), *spec});
            const double bits = type_of(*spec) == TypeId::integer ? double(get_int(*spec)) : std::trunc(get_double(*spec));
            if (!(bits >= 0 && bits <= double(max_bytes) * 8)) error::fire(error::Id::out_of_range, {*spec});
            return make_at(*prototype, (static_cast<uint64_t>(bits) + 7) >> 3, false);
        }
        case TypeId::bitset: {
            const Cell source = *spec;
            copy_into(*prototype, source);
            return prototype;
        }
        case TypeId::binary: make_from_bytes(*prototype, *spec, spec->w1, false, false); return prototype;
        default: break;
    }
    // A block led by `not` makes the complement of the rest.
    if (type_of(*spec) == TypeId::block && series_tail::cell_count(*spec) > 0 &&
        is_word(*series_tail::cell_at(*spec, 0), Sym::not_)) {
        Cell rest = *spec;
        rest.w1++;
        Cell* kept = stack::push(rest);
        if (series_tail::cell_count(rest) > 0 && type_of(*series_tail::cell_at(rest, 0)) == TypeId::binary) {
            const Cell binary = *series_tail::cell_at(rest, 0);
            make_from_bytes(*prototype, binary, binary.w1, true, true);
        } else {
            SpecWalk measure(Mode::measure, caller, prototype);
            measure.value(*kept);
            make_for_highest(*prototype, measure.highest(), true);
            SpecWalk(Mode::clear, caller, prototype).value(*kept);
        }
        stack::pop();
        return prototype;
    }
    SpecWalk measure(Mode::measure, caller, prototype);
    measure.value(*spec);
    make_for_highest(*prototype, measure.highest(), false);
    SpecWalk(Mode::set, caller, prototype).value(*spec);
    return prototype;
}

const Cell* make(Cell* prototype, Cell* spec, TypeId) { return make_bits(prototype, spec, Caller::make); }
const Cell* to(Cell* prototype, Cell* spec, TypeId) { return make_bits(prototype, spec, Caller::to); }

// "make bitset! #{..}", or "make bitset! [not #{..}]" with the bytes of the
// set complemented, so that the text makes the same bitset again. Stops
// once a /part budget is spent.
int32_t write_text(const Cell& bits, Cell& buffer, const Cell* part, int32_t budget) {
    const bool c = complemented(bits);
    budget = text_buffer::put(buffer, c ? "make bitset! [not #{" : "make bitset! #{", budget);
    const uint32_t n = stored_bytes(bits);
    for (uint32_t i = 0; i < n; i++) {
        if (part && budget < 1) return budget;
        const uint8_t byte = buffer_of(bits)->head_ptr()[i];  // appending may move it
        const auto hex = str::byte_to_hex(c ? static_cast<uint8_t>(~byte) : byte);
        budget = text_buffer::put(buffer, {hex.data(), 2}, budget);
    }
    return text_buffer::put(buffer, c ? "}]" : "}", budget);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    return write_text(*value, *buffer, part, limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return write_text(*value, *buffer, part, limit);
}

// Identity for same?; otherwise the longer is the greater, then a plain
// bitset is less than a complemented one, then the bytes decide from the
// last toward the first.
int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::bitset) return -2;
    if (op == CompareOp::same) return a->w2 == b->w2 ? 0 : 1;
    const uint32_t la = stored_bytes(*a), lb = stored_bytes(*b);
    if (la != lb) return la > lb ? 1 : -1;
    const bool fa = complemented(*a), fb = complemented(*b);
    if (fa != fb) return fa ? 1 : -1;
    const uint8_t* pa = buffer_of(*a)->head_ptr();
    const uint8_t* pb = buffer_of(*b)->head_ptr();
    for (uint32_t i = la; i-- > 0;)
        if (pa[i] != pb[i]) return pa[i] > pb[i] ? 1 : -1;
    return 0;
}

// complement and negate: a copy holding every position the value does not.
Cell* complement() {
    const Cell bits = *stack::result();
    const bool c = complemented(bits);
    make_from_bytes(*stack::result(), bits, 0, true, !c);
    return stack::result();
}

Cell* and_action() { return combine(ByteOp::and_, true); }
Cell* or_action() { return combine(ByteOp::or_, false); }
Cell* xor_action() { return combine(ByteOp::xor_, false); }

// append and insert set the bits of the value, telling an owner before
// and after.
const Cell* add_bits(Cell* bits, Cell* value, ownership::Change change) {
    series_type::Notice notice(*bits, change, value, 0, 0);
    change_bits(*bits, *value, true, Caller::other);
    notice.done(value, 0, 0);
    return bits;
}

const Cell* append(Cell* bits, Cell* value, const Cell*, bool, const Cell*) {
    return add_bits(bits, value, ownership::Change::append);
}
const Cell* insert(Cell* bits, Cell* value, const Cell*, bool, const Cell*) {
    return add_bits(bits, value, ownership::Change::insert);
}

// clear: the empty set.
Cell* clear() {
    Cell* bits = stack::result();
    series_type::Notice notice(*bits, ownership::Change::clear, nullptr, 0, 0);
    series::Buffer* b = buffer_of(*bits);
    std::memset(b->head_ptr(), 0, b->length());
    set_complemented(bits->w2, false);
    notice.done(nullptr, 0, 0);
    return bits;
}

const Cell* copy(Cell* value, Cell* result, const Cell*, bool, const Cell*) {
    copy_into(*result, *value);
    return result;
}

const Cell* find(Cell* bits, Cell* value, const actions::FindArgs&) {
    return test_bits(*bits, *value) ? &logic::true_value : &none::value;
}

int32_t length_q(const Cell* bits) { return static_cast<int32_t>(stored_bytes(*bits) * 8); }

const Cell* pick(Cell* bits, Cell* index, int32_t) {
    return logic::make_at(*bits, test_bits(*bits, *index));
}

// none, false, 0 and 0.0 clear the bits; any other value sets them.
[[nodiscard]] bool clears(const Cell& v) {
    switch (type_of(v)) {
        case TypeId::none: return true;
        case TypeId::logic: return !logic::get(v);
        case TypeId::integer: return get_int(v) == 0;
        case TypeId::float_: return get_double(v) == 0.0;
        default: return false;
    }
}

const Cell* poke(Cell* bits, Cell* index, int32_t, Cell* value) {
    series_type::Notice notice(*bits, ownership::Change::poke, value, 0, 0);
    change_bits(*bits, *index, !clears(*value), Caller::other);
    notice.done(value, 0, 0);
    return value;
}

// remove/part takes the members named by the /part argument out.
const Cell* remove(Cell* bits, const Cell* part, const Cell*) {
    if (!part) error::fire(error::Id::missing_arg);
    series_type::Notice notice(*bits, ownership::Change::remove, part, 0, 0);
    change_bits(*bits, *part, false, Caller::other);
    notice.done(part, 0, 0);
    return bits;
}

// bits/n reads like pick and stores like poke; n is an integer or a char.
Cell* eval_path(const actions::EvalPathArgs& a) {
    const TypeId t = type_of(*a.element);
    if (t != TypeId::integer && t != TypeId::char_) error::fire(error::Id::invalid_type, {datatype::value(t)});
    if (a.value) {
        poke(a.parent, a.element, 0, a.value);
        *a.parent = *a.value;
        return a.parent;
    }
    return logic::make_at(*a.parent, test_bits(*a.parent, *a.element));
}

}  // namespace

Cell* make_at(Cell& cell, uint64_t bytes, bool complemented) {
    if (bytes > max_bytes) out_of_range(static_cast<int64_t>(bytes * 8));
    const NodeId node = series::alloc_filled(bytes, fill_of(complemented));
    series::Buffer* b = series::buffer(node);
    b->tail = b->head + static_cast<uint32_t>(bytes);
    set_complemented(node, complemented);
    cell = Cell{to_int(TypeId::bitset), 0, node, 0};
    return &cell;
}

Cell* set_operation(uint8_t code) {
    switch (code) {
        case 9: return combine(ByteOp::or_, false);
        case 10: return combine(ByteOp::and_, false);
        case 11: return combine(ByteOp::and_not, false);
        case 12: return combine(ByteOp::xor_, false);
        default: return stack::result();  // unique: every bitset is a set already
    }
}

// ---- registration

namespace {

// A bitset keeps its bits.
void mark_bitset_value(Cell& c) {
    collector::mark_series(&c.w2);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(to).own<Action::form>(form).own<Action::mold>(mold);
    row.own<Action::eval_path>(eval_path).own<Action::compare>(compare);
    row.own<Action::negate>(complement).own<Action::complement>(complement);
    row.own<Action::and_t>(and_action).own<Action::or_t>(or_action).own<Action::xor_t>(xor_action);
    row.own<Action::append>(append).own<Action::insert>(insert).own<Action::clear>(clear).own<Action::copy>(copy);
    row.own<Action::find>(find).own<Action::length_q>(length_q).own<Action::pick>(pick).own<Action::poke>(poke);
    row.own<Action::remove>(remove);
    row.own<Action::reflect>(series_type::reflect_owned).own<Action::modify>(series_type::modify_owned);
    row.mark(&mark_bitset_value);
    datatype::register_type(TypeId::bitset, TypeId::none_id, row);
}

}  // namespace qor::bitset
