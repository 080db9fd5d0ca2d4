// routine!: the registry of built-in routines by name, building routine
// values, and their actions.
#include "runtime/datatypes/routine.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"

namespace qor::routine {

// ---- the registry

namespace {

struct Entry {
    std::string name;
    RoutineFn fn;
};

// Code numbers are positions in `entries` plus one; they stay valid for
// the life of the process, as routine values carry them.
struct Registry {
    std::vector<Entry> entries;
    std::unordered_map<std::string, uint32_t> by_name;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

uint32_t register_code(std::string_view name, RoutineFn fn) {
    Registry& r = registry();
    const auto [it, added] = r.by_name.try_emplace(std::string(name), static_cast<uint32_t>(r.entries.size() + 1));
    if (added) r.entries.push_back({std::string(name), fn});
    else r.entries[it->second - 1].fn = fn;
    return it->second;
}

uint32_t code_of(std::string_view name) {
    const Registry& r = registry();
    const auto it = r.by_name.find(std::string(name));
    return it == r.by_name.end() ? 0 : it->second;
}

RoutineFn code(uint32_t number) {
    const Registry& r = registry();
    return number >= 1 && number <= r.entries.size() ? r.entries[number - 1].fn : nullptr;
}

// ---- building

void count_args(Cell& r) {
    series::Buffer* spec = series::buffer(r.w2);
    uint32_t n = 0;
    for (uint32_t i = 0; i < spec->length(); i++) n += type_of(spec->cells()[i]) == TypeId::word;
    if (n > 31) n = 31;  // what the header's five bits hold
    r.header = (r.header & ~cell_flag::routine_arity_mask) | n << cell_flag::routine_arity_shift;
}

Cell* push_new(const Cell& spec, const Cell* body, uint32_t code, int32_t extra, bool flag) {
    Cell* spec_slot = stack::push(spec);
    const uint32_t flags = function::check_spec(*spec_slot);
    const Cell checked = *spec_slot;
    stack::pop();
    Cell* r = function::make_at(checked, body, 0, 0, 0, flags);
    set_type_keep_flags(*r, TypeId::routine);
    if (flag) r->header |= flag_builder;
    count_args(*r);
    *function::part(*r, function::Part::code) = Cell{to_int(TypeId::integer), 0, code, 0};
    *function::part(*r, function::Part::extra) = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(extra), 0};
    *context::self(r->w1) = *r;
    return r;
}

uint32_t code_number(const Cell& r) {
    const Cell c = *function::part(r, function::Part::code);
    return type_of(c) == TypeId::integer ? c.w2 : 0;
}

// ---- actions

namespace {

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t limit) { return text_buffer::put(*buffer, "?routine?", limit); }

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    limit = text_buffer::put(*buffer, "routine ", limit);
    const Cell spec{to_int(TypeId::block), 0, value->w2, 0};
    limit = block::mold(&spec, buffer, only, all, flat, part, limit, indent);
    const Cell body = *function::part(*value, function::Part::body);
    if (type_of(body) == TypeId::block) return block::mold(&body, buffer, only, all, flat, part, limit, indent);
    limit = text_buffer::put(*buffer, " ", limit);
    return actions::call_mold(body, *buffer, only, all, flat, part, limit, indent);
}

}  // namespace

// ---- registration

void register_datatype() {
    datatype::ActionRow row;
    row.inherit(Action::reflect);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(function::compare_parts);
    datatype::register_type(TypeId::routine, TypeId::function, row);
}

}  // namespace qor::routine
