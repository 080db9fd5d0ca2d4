// block!: the set operations unique, union, intersect, exclude and
// difference. Records of /skip cells are kept or dropped by their first
// cell, their key; hash tables make membership and duplicate tests
// constant time, except for block keys, which are searched.
#include "runtime/datatypes/block_sets.h"

#include <algorithm>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"

namespace qor::block {

namespace {

struct SetPass {
    bool test_membership;  // the key must be tested against the other series
    bool keep_present;     // ... and is kept when present (else when absent)
};

// Whether a block key is in a series, by a scan of its records.
bool block_key_in(const Cell& s, const Cell& key, uint32_t size, bool case_sensitive) {
    actions::FindArgs args;
    args.only = true;
    args.case_sensitive = case_sensitive;
    Cell skip = Cell{to_int(TypeId::integer), 0, size, 0};
    args.skip = &skip;
    Cell where = s, wanted = key;
    return type_of(*find(&where, &wanted, args)) != TypeId::none;
}

// A hash index over a series' cells: its own for a hash!, else a new one
// (dropped with the pass).
NodeId index_over(const Cell& s) {
    if (NodeId own = series_type::hash_index_of(s)) return own;
    Cell from = s;
    from.w1 = 0;
    return hashtable::init(int32_t(series_type::length_of_buffer(s)), &from, hashtable::Kind::hash, 0);
}

// Runs one pass over `source`, testing keys against `other` when asked,
// and appends the records that pass and are new to the result.
void run_pass(const Cell& source, const Cell& other, Cell& result, NodeId result_index, uint32_t size,
              bool case_sensitive, SetPass pass) {
    const int op = case_sensitive ? hashtable::op_strict_equal : hashtable::op_equal;
    uint32_t other_index = pass.test_membership ? index_over(other) : 0;
    collector::TableGuard other_guard(other_index);
    const uint32_t length = series_type::length_of_buffer(source);
    for (uint32_t at = source.w1; at < length; at += size) {
        const Cell key = series::buffer(source.w2)->cells()[at];
        const bool block_key = is_any_block(type_of(key));
        if (pass.test_membership) {
            const bool present = block_key ? block_key_in(other, key, size, case_sensitive)
                                           : hashtable::find(other_index, key, int32_t(other.w1), int32_t(size), op) >= 0;
            if (present != pass.keep_present) continue;
        }
        const bool seen = block_key ? block_key_in(result, key, size, case_sensitive)
                                    : hashtable::find(result_index, key, 0, int32_t(size), op) >= 0;
        if (seen) continue;
        const uint32_t position = length_at(result);
        const uint32_t cells = std::min(size, length - at);
        for (uint32_t i = 0; i < cells; i++) append_cell(result, series::buffer(source.w2)->cells()[at + i]);
        if (!block_key) (void)hashtable::put(result_index, int32_t(position));
    }
}

}  // namespace

Cell* set_operation(bool case_sensitive, const Cell* skip, SetOp op) {
    Cell& first = *stack::arg(0);
    Cell& second = *stack::arg(1);
    uint32_t size = 1;
    if (skip && type_of(*skip) != TypeId::none) {
        if (type_of(*skip) != TypeId::integer || get_int(*skip) < 1)
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *skip});
        size = uint32_t(get_int(*skip));
    }
    (void)series_type::length_at(first);
    if (op != SetOp::unique) (void)series_type::length_at(second);

    int32_t room = int32_t(length_at(first));
    if (op == SetOp::union_) room += int32_t(length_at(second));
    Cell* result = push_new(room);
    uint32_t result_index = hashtable::init(room, result, hashtable::Kind::hash, 0);
    collector::TableGuard result_guard(result_index);
    switch (op) {
        case SetOp::unique:
            run_pass(first, first, *result, result_index, size, case_sensitive, {false, false});
            break;
        case SetOp::union_:
            run_pass(first, second, *result, result_index, size, case_sensitive, {false, false});
            run_pass(second, first, *result, result_index, size, case_sensitive, {false, false});
            break;
        case SetOp::intersect:
            run_pass(first, second, *result, result_index, size, case_sensitive, {true, true});
            break;
        case SetOp::exclude:
            run_pass(first, second, *result, result_index, size, case_sensitive, {true, false});
            break;
        case SetOp::difference:
            run_pass(first, second, *result, result_index, size, case_sensitive, {true, false});
            run_pass(second, first, *result, result_index, size, case_sensitive, {true, false});
            break;
    }
    // The first argument takes the result's cells, keeping its datatype; a
    // hash! gets an index of every cell of its new block.
    first = Cell{first.header, 0, result->w2, 0};
    if (type_of(first) == TypeId::hash)
        first.w3 = hashtable::init(int32_t(length_at(first)), &first, hashtable::Kind::hash, 0);
    stack::pop();
    return &first;
}

}  // namespace qor::block
