// block!: making blocks, the helpers the runtime fills them with, and the
// routines that store and change cells: make, to, append, insert, change,
// copy, take, swap, trim and put. Every change tells the block's owner and
// keeps a hash! index in step.
#include "runtime/datatypes/block.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/core/fill_pattern.h"
#include "runtime/datatypes/vector.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/core/fill_pattern.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/words/word.h"
#include "runtime/core/fill_pattern.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"

namespace qor::block {

using ownership::Change;
using series_type::Notice;

namespace {

[[noreturn]] void no_memory() { error::fire(error::Id::no_memory); }

series::Buffer* buf(const Cell& b) { return series::buffer(b.w2); }

// A counted size that must stay within a series: beyond it is no-memory.
uint32_t checked_count(uint64_t n) {
    if (n > series::max_capacity / series::cell_unit) no_memory();
    return static_cast<uint32_t>(n);
}

// Makes room for `n` more cells: to `needed` bytes, or twice that when
// `double_it`. Answers the buffer (it may have moved).
series::Buffer* reserve(const Cell& b, uint32_t n, bool double_it) {
    series::Buffer* sb = buf(b);
    const uint64_t needed = uint64_t{sb->tail} + uint64_t{n} * series::cell_unit;
    if (needed > series::max_capacity) no_memory();
    if (needed <= sb->capacity) return sb;
    const uint64_t grown = double_it ? std::min<uint64_t>(needed * 2, series::max_capacity) : needed;
    return series::expand_copy(b.w2, grown);
}

// The cells an insert, append or change writes: the value's cells from its
// index, or the one value. Copied out first, so a source in the same block
// reads as it was before the change; one value needs no heap copy.
class Items {
public:
    Items(const Cell& value, bool only, uint32_t limit) {
        if (is_any_block(type_of(value)) && !only) {
            const uint32_t n = std::min(length_at(value), limit);
            const Cell* from = buf(value)->cells() + value.w1;
            many_.assign(from, from + n);
            data_ = many_.data();
            size_ = n;
        } else {
            one_ = value;
            data_ = &one_;
            size_ = limit >= 1 ? 1 : 0;
        }
    }
    [[nodiscard]] const Cell* begin() const { return data_; }
    [[nodiscard]] const Cell* end() const { return data_ + size_; }
    [[nodiscard]] uint32_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }

private:
    Cell one_{};
    std::vector<Cell> many_;
    const Cell* data_;
    uint32_t size_;
};

uint32_t item_count(const Cell& value, bool only) {
    return is_any_block(type_of(value)) && !only ? length_at(value) : 1;
}

// After `n` new cells at `at` with `rest` cells shifted up behind them.
void hash_inserted(const Cell& b, uint32_t at, uint32_t n, uint32_t rest) {
    const NodeId index = series_type::hash_index_of(b);
    if (!index || n == 0) return;
    if (hashtable::reindex_range(index, int32_t(n), int32_t(at), int32_t(rest), true) != 0) {
        hashtable::rebuild(index, int32_t(series_type::length_of_buffer(b)));
        return;
    }
    series_type::hash_enter(index, at, n);
}

void hash_rebuild(const Cell& b) {
    if (NodeId index = series_type::hash_index_of(b)) hashtable::rebuild(index, int32_t(series_type::length_of_buffer(b)));
}

// Writes `count` repeats of the items at `dest`.
void write_items(Cell* dest, const Items& items, uint32_t dup) {
    std::copy(items.begin(), items.end(), dest);
    if (dup > 1) fill_pattern(reinterpret_cast<uint8_t*>(dest), items.size() * sizeof(Cell), dup);
}

}  // namespace

namespace {
template <bool Append>
const Cell* insert_items(Cell* b, Cell* value, const Cell* part, bool only, const Cell* dup_cell);
}  // namespace

// --- Making and reading -----------------------------------------------------------

Cell* make_at(Cell& cell, int32_t n) {
    const NodeId node = series::alloc_cells(size_t(std::max(n, 1)));
    cell = Cell{to_int(TypeId::block), 0, node, 0};
    return &cell;
}

Cell* push_new(int32_t n) {
    Cell* slot = stack::push(none::value);
    return make_at(*slot, n);
}

Cell* push(const Cell& value) { return stack::push(value); }

uint32_t length_at(const Cell& b) { return series_tail::cell_count(b); }

Cell* cell_at(const Cell& b, uint32_t n) { return buf(b)->cells() + n; }

Cell* append_cell(const Cell& b, const Cell& value) {
    const Cell copy = value;  // the value may lie in the buffer that grows
    Cell* cell = series_tail::block_alloc_tail(b);
    *cell = copy;
    return cell;
}

void truncate(const Cell& b, uint32_t n) {
    series::Buffer* sb = buf(b);
    if (n < sb->length()) sb->set_tail_units(sb->head_units() + n);
}

void insert_block(Cell& target, const Cell& source) {
    Cell value = source;
    (void)insert_items<false>(&target, &value, nullptr, false, nullptr);
}

namespace {

// The first cell from `from` equal to the value under the key test, or -1.
int64_t find_key_cell(const Cell& b, const Cell& value, uint32_t from) {
    const uint32_t length = buf(b)->length();
    for (uint32_t i = from; i < length; i++)
        if (actions::compare_order(buf(b)->cells()[i], value, CompareOp::find_key) == 0) return i;
    return -1;
}

}  // namespace

const Cell* select_value(const Cell& b, const Cell& value) {
    const int64_t i = find_key_cell(b, value, b.w1);
    if (i < 0 || i + 1 >= buf(b)->length()) return &none::value;
    return &buf(b)->cells()[i + 1];
}

bool remove_value(const Cell& b, const Cell& value, bool from_head) {
    const int64_t i = find_key_cell(b, value, from_head ? 0 : b.w1);
    if (i < 0) return false;
    Cell at = b;
    at.w1 = uint32_t(i);
    (void)series_type::remove(&at, nullptr, nullptr);
    return i <= int64_t{b.w1};
}

Cell* make_in(const Cell& parent, int32_t n) {
    const Cell* fresh = push_new(n);  // seen by the collector while the parent grows
    Cell* cell = append_cell(parent, *fresh);
    stack::pop();
    return cell;
}

const Cell* find_word(const Cell& b, const Cell& word, bool case_sensitive) {
    const uint32_t want = case_sensitive ? word.w2 : symbol::resolve_alias(word.w2);
    const uint32_t length = buf(b)->length();
    const Cell* cells = buf(b)->cells();
    for (uint32_t i = b.w1; i < length; i++) {
        const TypeId t = type_of(cells[i]);
        if (t < TypeId::word || t > TypeId::get_word) continue;
        const uint32_t sym = case_sensitive ? cells[i].w2 : symbol::resolve_alias(cells[i].w2);
        if (sym == want) return i + 1 < length ? &cells[i + 1] : &none::value;
    }
    return &none::value;
}

void clone(const Cell& source, Cell& result, bool deep, bool any_block) {
    const Cell src = source;
    const uint32_t n = length_at(src);
    const NodeId node = series::alloc_cells(std::max<uint32_t>(n, 1));
    const Cell* from = buf(src)->cells() + src.w1;
    series::Buffer* to = series::buffer(node);
    std::copy(from, from + n, to->cells());
    to->set_tail_units(n);
    result = Cell{to_int(type_of(src)), 0, node, 0};
    if (!deep) return;
    Cell* kept = stack::push(result);  // the collector sees the new block while its parts are cloned
    for (uint32_t i = 0; i < n; i++) {
        const Cell cell = series::buffer(node)->cells()[i];
        const TypeId t = type_of(cell);
        if (t != TypeId::block && !(any_block && is_any_block(t) && t != TypeId::hash)) continue;
        Cell* part = stack::push(none::value);
        clone(cell, *part, true, any_block);
        part->header = cell.header;  // flags kept
        series::buffer(node)->cells()[i] = *part;
        stack::pop();
    }
    result = *kept;
    stack::pop();
}

// --- make and to --------------------------------------------------------------------

namespace {

void retype(Cell& c, TypeId type) { set_header(c, type); }

[[noreturn]] void bad_make(TypeId type, const Cell& spec) {
    error::fire(error::Id::bad_make_arg, {datatype::value(type), spec});
}

// The body of a map or an object (keys or set-words and their values), as
// their reflect routine gives it, in a frame of its own.
void body_of(const Cell& value, Cell& result) {
    Cell* const top = stack::data.top;
    stack::mark_native(to_int(Sym::tag_body));
    stack::push(value);
    stack::push(word::of(Sym::body));
    if (type_of(value) == TypeId::map) map::reflect();
    else object::reflect();
    const Cell body = *stack::data.base;
    stack::unwind();
    stack::data.top = top;
    result = body;
}

// The values that the text of a string loads into.
void load_text(const Cell& text, Cell& result) {
    Cell loaded = unset_cell;
    text_loader::load(&loaded, text, -1);
    result = loaded;
}

bool is_body_source(TypeId t) { return t == TypeId::map || t == TypeId::object; }

}  // namespace

const Cell* make(Cell*, Cell* spec, TypeId type) {
    Cell* result = stack::push(none::value);
    const TypeId st = type_of(*spec);
    if (is_any_block(st)) {
        clone(*spec, *result, false, false);
    } else if (is_body_source(st)) {
        body_of(*spec, *result);
    } else if (st == TypeId::integer || st == TypeId::float_) {
        double n = st == TypeId::integer ? double(get_int(*spec)) : get_double(*spec);
        if (!(n >= -2147483648.0 && n <= 2147483647.0)) error::fire(error::Id::out_of_range, {*spec});
        make_at(*result, int32_t(n));
    } else if (st == TypeId::vector) {
        vector_type::to_block(*spec, *result);
    } else {
        bad_make(type, *spec);
    }
    retype(*result, type);
    return result;
}

const Cell* to(Cell*, Cell* spec, TypeId type) {
    Cell* result = stack::push(none::value);
    const TypeId st = type_of(*spec);
    if (is_any_block(st)) {
        clone(*spec, *result, false, false);
    } else if (is_body_source(st)) {
        body_of(*spec, *result);
    } else if (st == TypeId::string) {
        load_text(*spec, *result);
    } else if (st == TypeId::typeset) {
        const Cell ts = *spec;
        make_at(*result, typeset::count(ts));
        for (int t = 1; t <= datatype::highest_type_id(); t++)
            if (typeset::has(ts, TypeId(t))) append_cell(*result, datatype::value(TypeId(t)));
    } else if (st == TypeId::vector) {
        vector_type::to_block(*spec, *result);
    } else {
        make_at(*result, 1);
        append_cell(*result, *spec);
    }
    retype(*result, type);
    return result;
}

// --- insert, append, change ---------------------------------------------------------

namespace {

template <bool Append>
const Cell* insert_items(Cell* b, Cell* value, const Cell* part, bool only, const Cell* dup_cell) {
    const uint32_t items = item_count(*value, only);
    if (items == 0) return b;
    int64_t part_n = part ? get_int(*part) : -1;
    if (part_n < 0 || part_n > items) part_n = items;
    const int64_t dup = dup_cell ? get_int(*dup_cell) : 1;
    if (dup <= 0 || part_n == 0) return b;
    const uint32_t length = buf(*b)->length();
    if (b->w1 > length) b->w1 = length;
    const uint32_t at = Append ? length : b->w1;
    const uint32_t total = checked_count(uint64_t(part_n) * uint64_t(dup));
    const Items cells(*value, only, uint32_t(part_n));
    Notice notice(*b, Append ? Change::append : Change::insert, value, int32_t(at), int32_t(total));

    series::Buffer* sb = reserve(*b, total, dup < 5);
    Cell* base = sb->cells();
    if (at < length) std::memmove(base + at + total, base + at, size_t(length - at) * sizeof(Cell));
    write_items(base + at, cells, uint32_t(dup));
    sb->tail += total * series::cell_unit;
    hash_inserted(*b, at, total, length - at);
    notice.done(value, int32_t(at), int32_t(total));
    if (Append) b->w1 = 0;
    else b->w1 = std::min(at + total, buf(*b)->length());
    return b;
}

const Cell* change(Cell* b, Cell* value, const Cell* part, bool only, const Cell* dup_cell) {
    const uint32_t length = buf(*b)->length();
    if (b->w1 > length) b->w1 = length;
    const uint32_t at = b->w1, room = length - at;
    const int64_t dup = dup_cell ? get_int(*dup_cell) : 1;
    if (dup <= 0) return b;
    const Items cells(*value, only, UINT32_MAX);
    const uint32_t written = checked_count(uint64_t(cells.size()) * uint64_t(dup));
    const int64_t part_n = part ? std::max<int64_t>(get_int(*part), 0) : -1;
    const uint32_t replaced = uint32_t(std::min<int64_t>(room, part ? part_n : int64_t{written}));
    Notice notice(*b, Change::change, value, int32_t(at), int32_t(replaced));

    const uint32_t new_length = checked_count(uint64_t{length} + written - replaced);
    series::Buffer* sb = buf(*b);
    if (new_length > length) sb = reserve(*b, new_length - length, false);
    Cell* base = sb->cells();
    if (written != replaced)
        std::memmove(base + at + written, base + at + replaced, size_t(length - at - replaced) * sizeof(Cell));
    if (!cells.empty()) write_items(base + at, cells, uint32_t(dup));
    sb->set_tail_units(sb->head_units() + new_length);
    hash_rebuild(*b);
    notice.done(value, int32_t(at), int32_t(written));
    b->w1 = std::min(at + written, new_length);
    return b;
}

}  // namespace

// --- copy and take --------------------------------------------------------------------

namespace {

bool copies_with_types(TypeId t) {
    return is_series(t) || t == TypeId::bitset || t == TypeId::object || t == TypeId::error || t == TypeId::map;
}

bool type_wanted(const Cell& types, TypeId t) {
    return type_of(types) == TypeId::datatype ? datatype::named(types) == t : typeset::has(types, t);
}

// Replaces the series cells of the block (every one, or those of `types`)
// by their deep copies.
void copy_nested(const Cell& b, const Cell* types) {
    for (uint32_t i = 0; i < buf(b)->length(); i++) {
        Cell* item = stack::push(buf(b)->cells()[i]);
        const TypeId t = type_of(*item);
        const bool wanted = types ? copies_with_types(t) && type_wanted(*types, t) : is_series(t);
        if (wanted) {
            const uint32_t flags = item->header & ~cell_flag::type_mask;
            Cell* copied = stack::push(none::value);
            const Cell* r = actions::call_copy(*item, *copied, nullptr, true, types);
            Cell fresh = *r;
            fresh.header = (fresh.header & cell_flag::type_mask) | flags;
            buf(b)->cells()[i] = fresh;
            stack::pop();
        }
        stack::pop();
    }
}

}  // namespace

const Cell* copy(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types) {
    const NodeId source_node = value->w2;
    const bool from_hash = type_of(*value) == TypeId::hash;
    series_type::copy(value, result, part, deep, types);
    if (!deep && !types) {
        if (from_hash) result->w3 = hashtable::init(int32_t(length_at(*result)), result, hashtable::Kind::hash, 0);
        return result;
    }
    if (from_hash) set_type_keep_flags(*result, TypeId::block);
    if (deep && cycle::find(source_node)) {
        cycle::reset();
        error::fire(error::Id::no_cycle);
    }
    if (deep) {
        cycle::Scope scope(source_node);
        copy_nested(*result, types);
    } else {
        copy_nested(*result, types);
    }
    return result;
}

namespace {

const Cell* take(Cell* b, const Cell* part, bool deep, bool last) {
    const Cell* r = series_type::take(b, part, deep, last);
    if (!deep || type_of(*r) == TypeId::none) return r;
    Cell* kept = stack::push(*r);
    if (is_any_block(type_of(*kept)) && part) {
        copy_nested(*kept, nullptr);
    } else if (is_series(type_of(*kept))) {
        Cell* copied = stack::push(none::value);
        *kept = *actions::call_copy(*kept, *copied, nullptr, true, nullptr);
    }
    return kept;
}

// swap: exchanges the cells at the two positions.
Cell* swap() {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (!is_any_block(type_of(*b))) error::fire(error::Id::invalid_arg, {*b});
    if (series_type::is_tail(*a) || series_type::is_tail(*b)) return a;
    Notice na(*a, Change::swap, b, int32_t(a->w1), 1);
    Notice nb(*b, Change::swap, a, int32_t(b->w1), 1);
    const NodeId ia = series_type::hash_index_of(*a), ib = series_type::hash_index_of(*b);
    if (ia) hashtable::remove_at(ia, int32_t(a->w1));
    if (ib) hashtable::remove_at(ib, int32_t(b->w1));
    std::swap(buf(*a)->cells()[a->w1], buf(*b)->cells()[b->w1]);
    if (ia) series_type::hash_enter(ia, a->w1, 1);
    if (ib) series_type::hash_enter(ib, b->w1, 1);
    na.done(b, int32_t(a->w1), 1);
    nb.done(a, int32_t(b->w1), 1);
    return a;
}

// trim: drops every none from the position on.
const Cell* trim(Cell* b, const actions::TrimArgs&) {
    const uint32_t length = buf(*b)->length();
    if (b->w1 >= length) return b;
    Notice notice(*b, Change::trim, nullptr, int32_t(b->w1), int32_t(length - b->w1));
    Cell* cells = buf(*b)->cells();
    Cell* end = std::remove_if(cells + b->w1, cells + length,
                               [](const Cell& c) { return type_of(c) == TypeId::none; });
    buf(*b)->set_tail_units(buf(*b)->head_units() + uint32_t(end - cells));
    hash_rebuild(*b);
    notice.done(nullptr, int32_t(b->w1), int32_t(buf(*b)->length() - b->w1));
    return b;
}

// put: sets the value after a key, appending key and value when absent.
const Cell* put(Cell* b, Cell* key, Cell* value, bool case_sensitive) {
    actions::FindArgs args;
    args.case_sensitive = case_sensitive;
    const Cell found = *actions::call_find(*b, *key, args);
    const NodeId index = series_type::hash_index_of(*b);
    const uint32_t length = buf(*b)->length();
    if (type_of(found) == TypeId::none) {
        Notice notice(*b, Change::put, value, int32_t(length), 1);
        append_cell(*b, *key);
        append_cell(*b, *value);
        hash_inserted(*b, length, 2, 0);
        notice.done(value, int32_t(length), 1);
        return value;
    }
    const uint32_t after = found.w1 + 1;
    Notice notice(*b, Change::put, value, int32_t(after), 1);
    if (after >= length) {
        append_cell(*b, *value);
        hash_inserted(*b, after, 1, 0);
    } else if (actions::compare_order(buf(*b)->cells()[after], *value, CompareOp::find_key) != 0) {
        if (index) hashtable::remove_at(index, int32_t(after));
        buf(*b)->cells()[after] = *value;
        if (index) series_type::hash_enter(index, after, 1);
    }
    notice.done(value, int32_t(after), 1);
    return value;
}

}  // namespace

namespace {

// A block keeps its series; as a key it hashes by series and index, as it compares.
void mark_block_value(Cell& c) {
    collector::mark_series(&c.w2);
}

uint32_t hash_block_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 1, 2);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(&make)
        .own<Action::to>(&to)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold)
        .own<Action::eval_path>(&eval_path)
        .own<Action::compare>(&compare)
        .own<Action::append>(&insert_items<true>)
        .own<Action::insert>(&insert_items<false>)
        .own<Action::change>(&change)
        .own<Action::copy>(&copy)
        .own<Action::find>(&find)
        .own<Action::select>(&select)
        .own<Action::sort>(&sort)
        .own<Action::take>(&take)
        .own<Action::swap>(&swap)
        .own<Action::trim>(&trim)
        .own<Action::put>(&put);
    for (Action a : {Action::random, Action::reflect, Action::at, Action::back, Action::clear, Action::head,
                     Action::head_q, Action::index_q, Action::length_q, Action::move, Action::next, Action::pick,
                     Action::poke, Action::remove, Action::reverse, Action::skip, Action::tail, Action::tail_q,
                     Action::modify})
        row.inherit(a);
    row.mark(&mark_block_value).hash(&hash_block_key);
    datatype::register_type(TypeId::block, TypeId::series, "block!", row);
}

}  // namespace qor::block
