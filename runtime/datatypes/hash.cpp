// hash!: making and converting (the block's cells indexed from its
// position), mold with its "make hash! " prefix, copy with the index, and
// sort and trim, which run the block routine on the cells alone and then
// re-index the part they changed.
#include "runtime/datatypes/hash.h"

#include <algorithm>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"

namespace qor::hash_type {

namespace {

// Makes the block in `cell` a hash! with an index of its cells from its
// position.
void index_as_hash(Cell& cell, int32_t size) {
    set_header(cell, TypeId::block);
    cell.w3 = 0;
    const NodeId table = hashtable::init(std::max(size, 1), &cell, hashtable::Kind::hash, 1);
    set_header(cell, TypeId::hash);
    cell.w3 = table;
}

const Cell* copy(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types);
const Cell* to(Cell* prototype, Cell* spec, TypeId type);

// make and to share this body. With the conversion marker a block make argument
// becomes the hash! itself, otherwise a copy of it from its position.
const Cell* build(Cell* prototype, Cell* spec, bool conversion) {
    const TypeId st = type_of(*spec);
    if (st == TypeId::hash) return copy(spec, stack::push(none::value), nullptr, false, nullptr);
    if (st != TypeId::block && st != TypeId::integer && st != TypeId::float_) return to(prototype, spec, TypeId::hash);
    Cell* result = stack::push(none::value);
    int32_t size;
    if (st == TypeId::block) {
        size = int32_t(block::length_at(*spec));
        if (conversion) *result = *spec;
        else block::clone(*spec, *result, false, false);
    } else {
        size = std::max(float_::to_integer_checked(*spec), 1);
        if (uint64_t(size) > series::max_capacity / series::cell_unit)
            error::fire(error::Id::no_memory);
        block::make_at(*result, size);
    }
    index_as_hash(*result, size);
    return result;
}

const Cell* make(Cell* prototype, Cell* spec, TypeId) { return build(prototype, spec, false); }

const Cell* to(Cell* prototype, Cell* spec, TypeId) {
    if (type_of(*spec) == TypeId::hash) return copy(spec, stack::push(none::value), nullptr, false, nullptr);
    Cell* converted = stack::push(*block::to(prototype, spec, TypeId::block));
    return build(prototype, converted, true);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    if (!only) {
        constexpr std::string_view prefix = "make hash! ";
        text_buffer::append_ascii(*buffer, prefix);
        limit -= int32_t(prefix.size());
    }
    return block::mold(value, buffer, only, all, flat, part, limit, indent);
}

// A copy of the whole block from its head takes a copy of the index too;
// any other copy is indexed afresh.
const Cell* copy(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types) {
    if (value->w1 == 0 && !part && !deep && !types) {
        const NodeId table = value->w3;
        block::clone(*value, *result, false, false);
        result->w3 = hashtable::copy(table, result->w2);
        set_header(*result, TypeId::hash);
        return result;
    }
    Cell plain = *value;
    set_header(plain, TypeId::block);
    Cell* source = stack::push(plain);
    block::copy(source, result, part, deep, types);
    index_as_hash(*result, int32_t(block::length_at(*result)));
    return result;
}

// Runs a block routine on the cells alone (the index is left as it was),
// with the index entries from the position to the old tail dropped before
// and the cells from the position to the new tail indexed after: whatever
// the routine moved or cut, no entry is left for a position it emptied.
template <class Run>
const Cell* reindexed(Cell* value, Run&& run) {
    const NodeId table = value->w3;
    const uint32_t length = series::buffer(value->w2)->length();
    const uint32_t from = std::min(value->w1, length);
    hashtable::remove_range(table, int32_t(from), int32_t(length - from));
    Cell* plain = stack::push(*value);
    set_header(*plain, TypeId::block);
    run(plain);
    value->w1 = plain->w1;
    hashtable::index_block(table, int32_t(from), 1);
    return value;
}

const Cell* sort(Cell* value, const actions::SortArgs& args) {
    const auto block_sort = actions::get_action<Action::sort>(TypeId::block);
    return reindexed(value, [&](Cell* plain) { block_sort(plain, args); });
}

const Cell* trim(Cell* value, const actions::TrimArgs& args) {
    const auto block_trim = actions::get_action<Action::trim>(TypeId::block);
    return reindexed(value, [&](Cell* plain) { block_trim(plain, args); });
}

}  // namespace

namespace {

// A hash! keeps its block and its index.
void mark_hash_value(Cell& c) {
    collector::mark_series(&c.w2);
    if (c.w3 != 0) collector::mark_table(&c.w3);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(&make)
        .own<Action::to>(&to)
        .own<Action::mold>(&mold)
        .own<Action::copy>(&copy)
        .own<Action::sort>(&sort)
        .own<Action::trim>(&trim);
    for (Action a : {Action::reflect, Action::form, Action::eval_path, Action::compare, Action::append, Action::at,
                     Action::back, Action::change, Action::clear, Action::find, Action::head, Action::head_q,
                     Action::index_q, Action::insert, Action::length_q, Action::move, Action::next, Action::pick,
                     Action::poke, Action::put, Action::remove, Action::reverse, Action::select, Action::skip,
                     Action::swap, Action::tail, Action::tail_q, Action::take, Action::modify})
        row.inherit(a);
    row.mark(&mark_hash_value);
    datatype::register_type(TypeId::hash, TypeId::block, row);
}

}  // namespace qor::hash_type
