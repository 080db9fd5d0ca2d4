// op!: an infix operator made from a native, action, function or routine
// whose interface block takes two arguments.
#include <string_view>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/symbol.h"

namespace qor::native {

// ---- helpers

namespace {

bool is_wrappable(TypeId t) {
    return t == TypeId::native || t == TypeId::action || t == TypeId::function || t == TypeId::routine;
}

// An operator's interface block declares exactly two arguments, the left one a plain
// word; only /local and /extern may follow them.
bool is_operator_spec(NodeId spec) {
    const uint32_t local_sym = symbol::resolve_alias(to_int(Sym::local));
    const uint32_t extern_sym = symbol::resolve_alias(to_int(Sym::extern_));
    int args = 0;
    bool plain_seen = false;
    for (uint32_t i = 0; i < series::buffer(spec)->length(); i++) {
        const Cell v = series::buffer(spec)->cells()[i];
        const TypeId t = type_of(v);
        if (t == TypeId::word) {
            args++;
            plain_seen = true;
        } else if (t == TypeId::lit_word || t == TypeId::get_word) {
            if (!plain_seen) return false;
            args++;
        } else if (t == TypeId::refinement) {
            const uint32_t c = symbol::resolve_alias(v.w2);
            if (c != local_sym && c != extern_sym) return false;
            break;
        } else if (t == TypeId::set_word) {
            break;
        }
    }
    return args == 2;
}

}  // namespace

Cell make_op(const Cell& fn) {
    const TypeId t = type_of(fn);
    if (!is_wrappable(t)) error::fire(error::Id::invalid_type, {datatype::value(t)});
    if (!is_operator_spec(fn.w2)) error::fire(error::Id::bad_op_spec);
    if (t == TypeId::function || t == TypeId::routine) *function::part(fn, function::Part::op_value) = fn;
    Cell op = fn;
    op.header = to_int(TypeId::op) | (static_cast<uint32_t>(to_int(t)) << cell_flag::op_type_shift);
    return op;
}

// ---- actions

namespace {

const Cell* make_action(Cell*, Cell* spec, TypeId) { return stack::push(make_op(*spec)); }

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t limit) { return text_buffer::put(*buffer, "?op?", limit); }

// A function operator molds as the function it wraps; any other as its interface block.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    const bool is_function = type_of(unwrap_op(*value)) == TypeId::function;
    limit = text_buffer::put(*buffer, "make op! ", limit);
    limit = text_buffer::put(*buffer, is_function ? "func " : "[", limit);
    const Cell spec{to_int(TypeId::block), 0, value->w2, 0};
    limit = block::mold(&spec, buffer, only, all, flat, part, limit, indent);
    if (!is_function) return text_buffer::put(*buffer, "]", limit);
    const Cell body = *function::part(*value, function::Part::body);
    if (type_of(body) != TypeId::block) return limit;
    return block::mold(&body, buffer, only, all, flat, part, limit, indent);
}

}  // namespace

// ---- registration

namespace {

// An op keeps what the function it wraps keeps.
void mark_op_value(Cell& c) {
    const uint32_t wrapped = (c.header >> cell_flag::op_type_shift) & 0xFF;
    if ((wrapped == to_int(TypeId::function) || wrapped == to_int(TypeId::routine)) && c.w1 != 0)
        collector::mark_context(&c.w1);
    collector::mark_series(&c.w2);
    collector::mark_series(&c.w3);
}

uint32_t hash_op_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 1, 3);
}

}  // namespace

void register_op() {
    datatype::ActionRow row;
    row.own<Action::make>(make_action).inherit(Action::reflect);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare_by_word1);
    row.mark(&mark_op_value).hash(&hash_op_key);
    datatype::register_type(TypeId::op, TypeId::native, row);
}

}  // namespace qor::native
