// function!: building function values, and their actions.
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/native.h"

#include <string_view>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::function {

namespace {

Cell* cells(NodeId node) { return series::buffer(node)->cells(); }
uint32_t length(NodeId node) { return series::buffer(node)->length(); }

bool is_copied_deep(TypeId t) {
    return t == TypeId::block || t == TypeId::paren || t == TypeId::path || t == TypeId::lit_path ||
           t == TypeId::set_path || t == TypeId::get_path;
}

constexpr uint32_t to_int_part(Part p) { return static_cast<uint32_t>(p); }

}  // namespace


Cell copy_deep(const Cell& block) {
    // The source and the copy stay on the stack while nested copies
    // allocate; the copy's tail grows with each cell so the collector sees
    // the nested copies already stored.
    const Cell* source = stack::push(block);
    const uint32_t from = block.w1;
    const uint32_t n = from < length(block.w2) ? length(block.w2) - from : 0;
    const NodeId node = series::alloc_cells(n);
    Cell* copy = stack::push(Cell{block.header & ~cell_flag::new_line, 0, node, block.w3});
    for (uint32_t i = 0; i < n; i++) {
        Cell item = cells(source->w2)[from + i];
        if (is_copied_deep(type_of(item))) {
            const Cell inner_index = item;
            item = copy_deep(Cell{inner_index.header, 0, inner_index.w2, 0});
            item.w1 = inner_index.w1;
            item.header = inner_index.header;
        }
        cells(copy->w2)[i] = item;
        series::buffer(copy->w2)->set_tail_units(i + 1);
    }
    const Cell result = *copy;
    stack::pop(2);
    return result;
}

Cell* make_at(const Cell& spec_value, const Cell* body, NodeId given_context, int32_t code, int32_t extra,
              uint32_t flags) {
    // The interface block, the body and the function being made stay reachable on the
    // stack while the parts are made.
    Cell* spec_slot = stack::push(spec_value);
    if (spec_slot->w1 > length(spec_slot->w2)) spec_slot->w1 = length(spec_slot->w2);
    Cell* body_slot = stack::push(body ? *body : Cell{to_int(TypeId::none), 0, 0, 0});
    const bool has_body = type_of(*body_slot) == TypeId::block;
    if (has_body && body_slot->w1 > length(body_slot->w2)) body_slot->w1 = length(body_slot->w2);
    if (spec_slot->w1 != 0) *spec_slot = copy_deep(*spec_slot);
    Cell* fn_slot = stack::push(Cell{to_int(TypeId::none), 0, 0, 0});
    NodeId parts = series::alloc_unset_cells(5);
    series::buffer(parts)->set_tail_units(5);
    *fn_slot = Cell{to_int(TypeId::block), 0, parts, 0};  // the parts, until the function holds them
    NodeId ctx = given_context;
    if (ctx == 0) ctx = context::make_from_spec(*spec_slot, true, false, context::Kind::function);
    const Cell fn{to_int(TypeId::function) | flags, ctx, spec_slot->w2, parts};
    *fn_slot = fn;
    *context::self(ctx) = fn;
    if (code != 0) cells(parts)[to_int_part(Part::code)] = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(code), 0};
    if (extra != 0) cells(parts)[to_int_part(Part::extra)] = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(extra), 0};
    if (has_body) {
        Cell copy = copy_deep(*body_slot);
        cells(parts)[0] = copy;
        if (given_context == 0) context::bind(copy, ctx, false);
    } else {
        cells(parts)[0] = Cell{to_int(TypeId::none), 0, 0, 0};
    }
    stack::pop(3);
    return stack::push(fn);
}

Cell* push_new(const Cell& spec, const Cell& body) {
    Cell* spec_slot = stack::push(spec);
    const uint32_t flags = check_spec(*spec_slot);
    const Cell checked = *spec_slot;
    stack::pop();
    return make_at(checked, &body, 0, 0, 0, flags);
}

// ---- actions

namespace {

// make function! [interface body]
const Cell* make_action(Cell*, Cell* spec, TypeId) {
    const Cell s = *spec;
    if (type_of(s) != TypeId::block) error::fire(error::Id::bad_func_def, {s});
    const uint32_t n = length(s.w2);
    if (s.w1 >= n || n - s.w1 < 2) error::fire(error::Id::bad_func_def, {s});
    const Cell fn_spec = cells(s.w2)[s.w1], body = cells(s.w2)[s.w1 + 1];
    if (type_of(fn_spec) != TypeId::block || type_of(body) != TypeId::block) error::fire(error::Id::bad_func_def, {s});
    return push_new(fn_spec, body);
}

// reflect: the interface block, the body, or the words of the function's context.
Cell* reflect() {
    const Cell fn = *stack::arg(0);
    const Cell field = *stack::arg(1);
    const uint32_t sym = is_word_like(type_of(field)) ? symbol::resolve_alias(field.w2) : 0;
    if (sym == symbol::resolve_alias(to_int(Sym::spec)))
        return stack::set_result(Cell{to_int(TypeId::block), 0, fn.w2, 0});
    if (sym == symbol::resolve_alias(to_int(Sym::body))) return stack::set_result(*part(fn, Part::body));
    if (sym != symbol::resolve_alias(to_int(Sym::words))) error::fire(error::Id::not_done);
    const NodeId ctx = fn.w1;
    const uint32_t count = context::word_count(ctx);
    Cell* out = block::push_new(static_cast<int32_t>(count > 0 ? count : 1));
    for (uint32_t i = 0; i < count; i++) {
        Cell w = *context::word_at(ctx, i);
        w.w1 = ctx;
        w.w3 = i;
        clear_new_line(w);
        block::append_cell(*out, w);
    }
    return stack::set_result(*out);
}

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t limit) { return text_buffer::put(*buffer, "?function?", limit); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* part_limit, int32_t limit,
             int32_t indent) {
    limit = text_buffer::put(*buffer, "func ", limit);
    const Cell spec{to_int(TypeId::block), 0, value->w2, 0};
    limit = block::mold(&spec, buffer, false, all, flat, part_limit, limit, indent);
    const Cell body = *part(*value, Part::body);
    if (type_of(body) != TypeId::block) return text_buffer::put(*buffer, " none", limit);
    return block::mold(&body, buffer, false, all, flat, part_limit, limit, indent);
}

}  // namespace

// Functions and routines are equal only when they share their parts block;
// they order by its node.
int32_t compare_parts(const Cell* a, const Cell* b, CompareOp op) {
    return native::compare_payload_word(a, b, op, &Cell::w3);
}

// ---- registration

namespace {

// A function keeps its context, spec and body.
void mark_function_value(Cell& c) {
    if (c.w1 != 0) collector::mark_context(&c.w1);
    collector::mark_series(&c.w2);
    collector::mark_series(&c.w3);
}

uint32_t hash_function_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 1, 3);
}

}  // namespace

void register_datatype() {
    datatype::ActionRow row;
    row.own<Action::make>(make_action).own<Action::reflect>(reflect);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare_parts);
    row.mark(&mark_function_value).hash(&hash_function_key);
    datatype::register_type(TypeId::function, TypeId::context, row);
}

}  // namespace qor::function
