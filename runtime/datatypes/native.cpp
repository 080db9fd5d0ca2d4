// native! and action!: built-in routines and action dispatchers named by
// their number, with an interface block.
#include <string_view>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/core/native_ids.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::native {

// ---- helpers

namespace {

// The highest number each kind may carry.
uint32_t max_number(TypeId type) { return type == TypeId::native ? natives::table_size : action_count; }

}  // namespace

Cell make(TypeId type, uint32_t number, const Cell& spec) {
    Cell* spec_slot = stack::push(spec);
    uint32_t ctx = context::make_from_spec(*spec_slot, true, false, context::Kind::function);
    collector::NodeGuard ctx_guard(ctx);  // while its block is allocated
    const NodeId block = series::alloc_unset_cells(2);
    series::buffer(block)->set_tail_units(2);
    series::buffer(block)->cells()[0] = *context::header(ctx);
    series::buffer(block)->cells()[1] = Cell{to_int(TypeId::none), 0, 0, 0};
    const Cell value{to_int(type), number, spec_slot->w2, block};
    stack::pop();
    return value;
}

Cell* cache_cell(const Cell& fn) {
    const TypeId t = type_of(fn);
    if (t == TypeId::function || t == TypeId::routine) return function::part(fn, function::Part::arg_cache);
    return series::buffer(fn.w3)->cells() + 1;
}

// ---- actions

namespace {

// make native! / make action!: a block of an interface block and a number.
const Cell* make_action(Cell* prototype, Cell* spec, TypeId type) {
    const Cell s = *spec;
    if (type_of(s) != TypeId::block) error::bad_make_arg(*prototype, s);
    series::Buffer* b = series::buffer(s.w2);
    if (s.w1 + 2 != b->length()) error::bad_make_arg(*prototype, s);
    const Cell fn_spec = b->cells()[s.w1];
    const Cell number = b->cells()[s.w1 + 1];
    if (type_of(fn_spec) != TypeId::block || type_of(number) != TypeId::integer || get_int(number) < 1 ||
        static_cast<uint32_t>(get_int(number)) > max_number(type))
        error::bad_make_arg(*prototype, s);
    return stack::push(make(type, static_cast<uint32_t>(get_int(number)), fn_spec));
}

// reflect: the interface block, or the body: a wrapped function's body, else the
// table number.
Cell* reflect() {
    const Cell v = *stack::arg(0);
    const Cell field = *stack::arg(1);
    const uint32_t sym = is_word_like(type_of(field)) ? symbol::resolve_alias(field.w2) : 0;
    if (sym == symbol::resolve_alias(to_int(Sym::spec)))
        return stack::set_result(Cell{to_int(TypeId::block), 0, v.w2, 0});
    if (sym != symbol::resolve_alias(to_int(Sym::body))) error::fire(error::Id::not_done);
    const TypeId wrapped = type_of(v) == TypeId::op ? type_of(unwrap_op(v)) : type_of(v);
    if (wrapped == TypeId::function || wrapped == TypeId::routine)
        return stack::set_result(*function::part(v, function::Part::body));
    return stack::set_result(Cell{to_int(TypeId::integer), 0, v.w1, 0});
}

int32_t form_native(const Cell*, Cell* buffer, const Cell*, int32_t limit) { return text_buffer::put(*buffer, "?native?", limit); }
int32_t form_action(const Cell*, Cell* buffer, const Cell*, int32_t limit) { return text_buffer::put(*buffer, "?action?", limit); }

int32_t mold_with(std::string_view opening, const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                  const Cell* part, int32_t limit, int32_t indent) {
    limit = text_buffer::put(*buffer, opening, limit);
    const Cell spec{to_int(TypeId::block), 0, value->w2, 0};
    limit = block::mold(&spec, buffer, only, all, flat, part, limit, indent);
    return text_buffer::put(*buffer, "]", limit);
}

int32_t mold_native(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                    int32_t indent) {
    return mold_with("make native! [", value, buffer, only, all, flat, part, limit, indent);
}
int32_t mold_action(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                    int32_t indent) {
    return mold_with("make action! [", value, buffer, only, all, flat, part, limit, indent);
}

}  // namespace

// Natives, actions and operators order by the number (or wrapped value)
// in word 1; only equality, sort and identity tests apply.
int32_t compare_payload_word(const Cell* a, const Cell* b, CompareOp op, uint32_t Cell::*word) {
    if (type_of(*a) != type_of(*b)) return -2;
    switch (fold_equality(op)) {
        case CompareOp::equal:
        case CompareOp::not_equal:
        case CompareOp::strict_equal:
        case CompareOp::sort:
        case CompareOp::sort_case:
        case CompareOp::same:
        case CompareOp::find_key: {
            const auto x = static_cast<int32_t>(a->*word), y = static_cast<int32_t>(b->*word);
            return (x > y) - (x < y);
        }
        default: return -2;
    }
}

int32_t compare_by_word1(const Cell* a, const Cell* b, CompareOp op) {
    return compare_payload_word(a, b, op, &Cell::w1);
}

// ---- registration

namespace {

// A native keeps its spec and its argument cache; it hashes by its number.
void mark_native_value(Cell& c) {
    collector::mark_series(&c.w2);
    collector::mark_series(&c.w3);
}

uint32_t hash_native_key(const Cell& key) {
    return hash::mix32(key.w3);
}

}  // namespace

void register_native() {
    datatype::ActionRow row;
    row.own<Action::make>(make_action).own<Action::reflect>(reflect);
    row.own<Action::form>(form_native).own<Action::mold>(mold_native).own<Action::compare>(compare_by_word1);
    row.mark(&mark_native_value).hash(&hash_native_key);
    datatype::register_type(TypeId::native, TypeId::none_id, row);
}

void register_action() {
    datatype::ActionRow row;
    row.own<Action::make>(make_action).inherit(Action::reflect);
    row.own<Action::form>(form_action).own<Action::mold>(mold_action).own<Action::compare>(compare_by_word1);
    datatype::register_type(TypeId::action, TypeId::native, row);
}

}  // namespace qor::native
