// logic!: true and false.
#include "runtime/datatypes/logic.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/memory/series_tail.h"

namespace qor::logic {

// ---- helpers

Cell* make_at(Cell& cell, bool flag) {
    set_header(cell, TypeId::logic);
    cell.w1 = flag ? 1 : 0;
    return &cell;
}

Cell* box(bool flag) { return make_at(*stack::result(), flag); }
Cell* push(bool flag) { return make_at(*stack::push_slot(), flag); }
Cell* make_in(Cell& block, bool flag) { return make_at(*series_tail::block_alloc_tail(block), flag); }

// ---- actions

namespace {

// make: a number is true when it is not zero (a NaN is true, -0.0 false);
// anything else as `to`. The result goes into the first argument.
const Cell* to(Cell* prototype, Cell* spec, TypeId type);

const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    switch (type_of(*spec)) {
        case TypeId::integer: return make_at(*prototype, get_int(*spec) != 0);
        case TypeId::float_:
        case TypeId::percent: return make_at(*prototype, get_double(*spec) != 0.0);
        default: return to(prototype, spec, type);
    }
}

// to: a logic answers itself, none is false, everything else is true.
const Cell* to(Cell*, Cell* spec, TypeId) {
    switch (type_of(*spec)) {
        case TypeId::logic: return spec;
        case TypeId::none: return &false_value;
        default: return &true_value;
    }
}

// With /seed the generator is seeded with the flag and the value becomes
// unset; otherwise the value becomes true for half the draws.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(static_cast<int32_t>(value->w1));
        set_header(*value, TypeId::unset);
        return value;
    }
    return make_at(*value, random_draw::next(secure) > 0x3FFFFFFF);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const std::string_view text = get(*value) ? "true" : "false";
    text_buffer::append_ascii(*buffer, text);
    return limit - static_cast<int32_t>(text.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t limit, int32_t) {
    std::string_view text = get(*value) ? "true" : "false";
    if (all) text = get(*value) ? "#(true)" : "#(false)";
    text_buffer::append_ascii(*buffer, text);
    return limit - static_cast<int32_t>(text.size());
}

// Equal when the flags are; sorting puts false first; no other order.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    if (type_of(*value2) != TypeId::logic) return -2;
    if (!is_equality_test(op) && !is_sort_order(op)) return -2;
    return static_cast<int32_t>(value1->w1) - static_cast<int32_t>(value2->w1);
}

Cell* complement() {
    Cell* v = stack::result();
    v->w1 ^= 1;
    return v;
}

enum class Bitwise { or_, and_, xor_ };

// and~, or~, xor~: only with another logic!.
Cell* do_bitwise(Bitwise op, Action action) {
    Cell* left = stack::arg(0);
    const Cell* right = stack::arg(1);
    if (type_of(*right) != TypeId::logic)
        error::expect_arg(error::WordArg{action_word(action)}, type_of(*right),
                          error::WordArg{action_arg_words[to_int(action)].second});
    switch (op) {
        case Bitwise::or_: left->w1 |= right->w1; break;
        case Bitwise::and_: left->w1 &= right->w1; break;
        case Bitwise::xor_: left->w1 ^= right->w1; break;
    }
    return left;
}

Cell* and_t() { return do_bitwise(Bitwise::and_, Action::and_t); }
Cell* or_t() { return do_bitwise(Bitwise::or_, Action::or_t); }
Cell* xor_t() { return do_bitwise(Bitwise::xor_, Action::xor_t); }

}  // namespace

// ---- registration

namespace {

// Logic values hash by value.
uint32_t hash_logic_key(const Cell& key) {
    return hash::mix32(key.w1);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::random>(random).own<Action::to>(to);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::and_t>(and_t).own<Action::complement>(complement).own<Action::or_t>(or_t).own<Action::xor_t>(xor_t);
    row.hash(&hash_logic_key);
    datatype::register_type(TypeId::logic, TypeId::none_id, row);
}

}  // namespace qor::logic
