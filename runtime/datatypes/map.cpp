// map!: keys and their stored form, making maps, path access, put, find,
// select, remove, clear, copy, compare, extend and the foreach step, and
// the registration. Text and reflect are in map_text.cpp.
#include "runtime/datatypes/map.h"

#include <algorithm>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"

namespace qor::map {

namespace {

NodeId table_of(const Cell& map) { return map.w3; }

Cell* cells_of(const Cell& map) { return series::buffer(map.w2)->cells(); }

uint32_t cell_count(const Cell& map) { return series::buffer(map.w2)->length(); }

// A removed pair's value cell has no datatype at all.
bool is_removed(const Cell& value) { return value.header == 0; }

bool is_copied_key(TypeId t) {
    switch (t) {
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::binary: case TypeId::tag:
        case TypeId::email: case TypeId::ref:
            return true;
        default:
            return false;
    }
}

int lookup_op(bool case_sensitive, bool same) {
    if (same) return to_int(CompareOp::same);
    return case_sensitive ? hashtable::op_strict_equal : hashtable::op_equal;
}

// The position of a live or removed pair's key, or -1.
int32_t find_key(const Cell& map, const Cell& key, int op) { return hashtable::find(table_of(map), key, 0, 1, op); }

// The table's key check: a key the index has just taken from a block is
// turned into its stored form where it lies. The key is worked on in a
// stack slot, since copying a string may move the block.
void check_indexed_key(NodeId table, Cell& key) {
    const NodeId block = hashtable::block_of(table);
    const size_t position = size_t(&key - series::buffer(block)->cells());
    Cell* slot = stack::push(key);
    prepare_key(*slot, none::value);
    series::buffer(block)->cells()[position] = *slot;
    stack::pop();
}

// Raises invalid-arg unless the block holds whole pairs from its index.
void require_pairs(const Cell& block) {
    if (block::length_at(block) % 2 != 0) error::fire(error::Id::invalid_arg, {block});
}

}  // namespace

// --- Keys -----------------------------------------------------------------------------

bool valid_key(TypeId t) {
    switch (t) {
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::char_: case TypeId::integer:
        case TypeId::float_: case TypeId::word: case TypeId::set_word: case TypeId::lit_word:
        case TypeId::get_word: case TypeId::refinement: case TypeId::issue: case TypeId::pair:
        case TypeId::percent: case TypeId::tuple: case TypeId::binary: case TypeId::time: case TypeId::tag:
        case TypeId::email: case TypeId::date: case TypeId::money: case TypeId::ref: case TypeId::point2d:
        case TypeId::point3d:
            return true;
        default:
            return false;
    }
}

void prepare_key(Cell& key, const Cell& context) {
    const TypeId t = type_of(key);
    if (!valid_key(t)) error::fire(error::Id::invalid_path, {context, datatype::value(t)});
    if (t >= TypeId::word && t <= TypeId::get_word) {  // refinements and issues stay as they are
        set_type_keep_flags(key, TypeId::set_word);
    } else if (is_copied_key(t)) {
        Cell* source = stack::push(key);
        Cell* copied = stack::push(none::value);
        key = *series_type::copy(source, copied, nullptr, false, nullptr);
        stack::pop(2);
    }
}

// --- Making ---------------------------------------------------------------------------

Cell* make_at(Cell& out, const Cell* block, int32_t size) {
    const NodeId table = hashtable::init(std::max(size, 1), block, hashtable::Kind::map, 1);
    out = Cell{to_int(TypeId::map), 0, hashtable::block_of(table), table};
    return &out;
}

int32_t size(const Cell& map) { return hashtable::record(table_of(map)).size; }

Cell* push(const Cell& map) { return stack::push(map); }

namespace {

const Cell* copy(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types);

// make and to share this body; `to` refuses a count.
const Cell* build(Cell* spec, bool conversion) {
    Cell* result = stack::push(none::value);
    const TypeId st = type_of(*spec);
    if (st == TypeId::block || st == TypeId::paren || st == TypeId::hash) {
        require_pairs(*spec);
        Cell* pairs = stack::push(none::value);
        block::clone(*spec, *pairs, false, false);
        Cell* cells = cells_of(*pairs);
        const uint32_t n = cell_count(*pairs);
        for (uint32_t i = 0; i < n; i++) clear_new_line(cells[i]);
        make_at(*result, pairs, int32_t(n));
    } else if ((st == TypeId::integer || st == TypeId::float_) && !conversion) {
        const int32_t n = float_::to_integer_checked(*spec);
        if (n < 0) error::fire(error::Id::out_of_range, {*spec});
        // Two cells a pair; a count no block could hold is refused as memory.
        if (uint64_t(n) * 2 > series::max_capacity / series::cell_unit)
            error::fire(error::Id::no_memory);
        make_at(*result, nullptr, std::max(n * 2, 2));
    } else if (st == TypeId::map) {
        return copy(spec, result, nullptr, false, nullptr);
    } else {
        error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::map), *spec});
    }
    return result;
}

const Cell* make(Cell*, Cell* spec, TypeId) { return build(spec, false); }
const Cell* to(Cell*, Cell* spec, TypeId) { return build(spec, true); }

}  // namespace

// --- Setting pairs --------------------------------------------------------------------

void set_pair(const Cell& map, const Cell& key, const Cell& value, bool case_sensitive, const Cell& context) {
    const Cell m = map, v = value;
    const NodeId table = table_of(m);
    int32_t position = find_key(m, key, lookup_op(case_sensitive, false));
    if (position < 0) {
        // The key is prepared before anything is appended: a refused key
        // leaves the map as it was.
        Cell* stored = stack::push(key);
        prepare_key(*stored, context);
        position = int32_t(cell_count(m));
        block::append_cell(m, *stored);
        block::append_cell(m, unset_cell);
        stack::pop();
        (void)hashtable::put(table, position);
    } else if (is_removed(cells_of(m)[position + 1])) {
        hashtable::record(table).size++;
    }
    cells_of(m)[position + 1] = v;
}

void extend_with(const Cell& map, const Cell& block, bool case_sensitive) {
    require_pairs(block);
    const Cell m = map, b = block;
    const uint32_t n = block::length_at(b);
    for (uint32_t i = 0; i < n; i += 2) {
        const Cell* pair = block::cell_at(b, b.w1 + i);
        const Cell key = pair[0], value = pair[1];
        set_pair(m, key, value, case_sensitive, b);
    }
}

bool foreach_set(const Cell& words, const Cell& map, uint32_t& position) {
    const Cell w = words, m = map;
    const uint32_t count = block::length_at(w);
    bool any = false;
    for (uint32_t i = 0; i < count; i++) {
        Cell word = *block::cell_at(w, w.w1 + i);
        const TypeId t = type_of(word);
        if (t != TypeId::word && t != TypeId::set_word && t != TypeId::get_word && t != TypeId::lit_word)
            error::fire(error::Id::invalid_arg, {word});
        const uint32_t end = cell_count(m);
        if (position % 2 == 0)
            while (position + 1 < end && is_removed(cells_of(m)[position + 1])) position += 2;
        Cell item = none::value;
        if (position < end) {
            item = cells_of(m)[position++];
            if (type_of(item) == TypeId::set_word) set_header(item, TypeId::word);
            any = true;
        }
        context::set(word, item);
    }
    return any;
}

// --- Actions ----------------------------------------------------------------------------

namespace {

Cell* eval_path(const actions::EvalPathArgs& args) {
    const Cell m = *args.parent;
    if (!args.value) {
        const int32_t position = find_key(m, *args.element, lookup_op(args.case_sensitive, false));
        if (position < 0 || is_removed(cells_of(m)[position + 1])) return stack::push(none::value);
        return stack::push(cells_of(m)[position + 1]);
    }
    set_pair(m, *args.element, *args.value, args.case_sensitive, args.path ? *args.path : none::value);
    return args.value;
}

const Cell* put(Cell* map, Cell* key, Cell* value, bool case_sensitive) {
    set_pair(*map, *key, *value, case_sensitive, none::value);
    return value;
}

// The live pair's key position for find and select, or -1.
int32_t live_pair(const Cell& m, const Cell& key, const actions::FindArgs& args) {
    const int32_t position = find_key(m, key, lookup_op(args.case_sensitive, args.same));
    return position >= 0 && !is_removed(cells_of(m)[position + 1]) ? position : -1;
}

const Cell* find(Cell* map, Cell* key, const actions::FindArgs& args) {
    const int32_t position = live_pair(*map, *key, args);
    if (position < 0) return stack::push(none::value);
    Cell found = cells_of(*map)[position];
    if (type_of(found) == TypeId::set_word) set_header(found, TypeId::word);
    return stack::push(found);
}

const Cell* select(Cell* map, Cell* key, const actions::FindArgs& args) {
    const int32_t position = live_pair(*map, *key, args);
    return stack::push(position < 0 ? none::value : cells_of(*map)[position + 1]);
}

const Cell* remove(Cell* map, const Cell*, const Cell* key) {
    if (!key) error::fire(error::Id::missing_arg);
    const int32_t position = find_key(*map, *key, hashtable::op_strict_equal);
    if (position >= 0) hashtable::remove_at(table_of(*map), position);
    return map;
}

Cell* clear() {
    Cell* map = stack::result();
    hashtable::clear(table_of(*map));
    return map;
}

int32_t length(const Cell* map) { return size(*map); }

bool type_wanted(const Cell& types, TypeId t) {
    return type_of(types) == TypeId::datatype ? datatype::named(types) == t : typeset::has(types, t);
}

// Copies the value cells (never the keys) whose datatype /types names: one
// level, or with deep each copy deep by the same types.
void copy_typed_values(const Cell& m, bool deep, const Cell& types) {
    for (uint32_t i = 1; i < cell_count(m); i += 2) {
        Cell* item = stack::push(cells_of(m)[i]);
        if (!is_removed(*item) && type_wanted(types, type_of(*item)) &&
            (is_series(type_of(*item)) || type_of(*item) == TypeId::map || type_of(*item) == TypeId::object ||
             type_of(*item) == TypeId::bitset || type_of(*item) == TypeId::error)) {
            const uint32_t flags = item->header & ~cell_flag::type_mask;
            Cell* copied = stack::push(none::value);
            Cell fresh = *actions::call_copy(*item, *copied, nullptr, deep, deep ? &types : nullptr);
            fresh.header = (fresh.header & cell_flag::type_mask) | flags;
            cells_of(m)[i] = fresh;
            stack::pop();
        }
        stack::pop();
    }
}

const Cell* copy(Cell* value, Cell* result, const Cell*, bool deep, const Cell* types) {
    const Cell source = *value;
    if (deep && types && cycle::find(source.w2)) {
        cycle::reset();
        error::fire(error::Id::no_cycle);
    }
    Cell* pairs = stack::push(none::value);
    const Cell whole{to_int(TypeId::block), 0, source.w2, 0};
    block::clone(whole, *pairs, deep && !types, true);
    *result = Cell{to_int(TypeId::map), 0, pairs->w2, hashtable::copy(table_of(source), pairs->w2)};
    if (types) {
        if (deep) {
            cycle::Scope scope(source.w2);
            copy_typed_values(*result, true, *types);
        } else {
            copy_typed_values(*result, false, *types);
        }
    }
    stack::pop();
    return result;
}

// Whether every live pair of a has a matching pair in b. Both maps are on
// the cycle stack meanwhile.
bool pairs_match(const Cell& a, const Cell& b, CompareOp op) {
    cycle::Scope scope_a(a.w2);
    cycle::Scope scope_b(b.w2);
    const NodeId tb = table_of(b);
    for (uint32_t i = 0; i + 1 < cell_count(a); i += 2) {
        const Cell key = cells_of(a)[i], value = cells_of(a)[i + 1];
        if (is_removed(value)) continue;
        if (op == CompareOp::strict_equal) {
            const int32_t p = hashtable::find(tb, key, 0, 1, hashtable::op_strict_equal);
            if (p < 0 || is_removed(cells_of(b)[p + 1])) return false;
            const Cell other = cells_of(b)[p + 1];
            if (actions::compare_order(value, other, CompareOp::strict_equal) != 0) return false;
            continue;
        }
        // A key may stand for several keys of b that are equal? to it
        // ("a" and "A"); any one with an equal value will do.
        int32_t bucket = -1, start = 0, step = 0;
        bool matched = false;
        for (int32_t p; !matched && (p = hashtable::find_next(tb, key, bucket, start, step)) >= 0;) {
            const Cell other = cells_of(b)[p + 1];
            matched = !is_removed(other) && actions::compare_order(value, other, CompareOp::equal) == 0;
        }
        if (!matched) return false;
    }
    return true;
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::map) return -2;
    op = fold_equality(op);
    if (op == CompareOp::sort || op == CompareOp::sort_case)  // any fixed order will do: by block node
        return a->w2 < b->w2 ? -1 : a->w2 > b->w2 ? 1 : 0;
    if (op != CompareOp::equal && op != CompareOp::not_equal && op != CompareOp::strict_equal &&
        op != CompareOp::same && op != CompareOp::find_key)
        return -2;
    if (a->w2 == b->w2 && a->w1 == b->w1) return 0;
    if (op == CompareOp::same) return -1;
    if (cycle::find(a->w2)) return cycle::find(b->w2) ? 0 : -1;
    const int32_t na = size(*a), nb = size(*b);
    if (na != nb) return 1;
    if (na == 0) return 0;
    return pairs_match(*a, *b, op) ? 0 : 1;
}

}  // namespace

namespace {

// A map keeps its block and its key index; it hashes by identity.
void mark_map_value(Cell& c) {
    collector::mark_series(&c.w2);
    if (c.w3 != 0) collector::mark_table(&c.w3);
}

uint32_t hash_map_key(const Cell& key) {
    return hash::mix32(key.w2);
}

}  // namespace

void init() {
    hashtable::set_map_key_check(&check_indexed_key);
    datatype::ActionRow row;
    row.own<Action::make>(&make)
        .own<Action::reflect>(&reflect)
        .own<Action::to>(&to)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold)
        .own<Action::eval_path>(&eval_path)
        .own<Action::compare>(&compare)
        .own<Action::clear>(&clear)
        .own<Action::copy>(&copy)
        .own<Action::find>(&find)
        .own<Action::length_q>(&length)
        .own<Action::put>(&put)
        .own<Action::remove>(&remove)
        .own<Action::select>(&select);
    row.mark(&mark_map_value).hash(&hash_map_key);
    datatype::register_type(TypeId::map, TypeId::none_id, row);
}

}  // namespace qor::map
