// Ownership tracking: the record table, the deep walks and the change check.
#include "runtime/words/ownership.h"

#include <unordered_set>

#include "runtime/memory/cycle_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::ownership {

namespace {

NodeId record_table = 0;
OnDeepChange on_deep_change = nullptr;

enum class Group : uint8_t { other, cells, flat, object };

Group group_of(TypeId t) {
    switch (t) {
        case TypeId::block: case TypeId::paren: case TypeId::hash: case TypeId::path:
        case TypeId::lit_path: case TypeId::set_path: case TypeId::get_path:
            return Group::cells;
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
        case TypeId::ref: case TypeId::binary: case TypeId::vector: case TypeId::image: case TypeId::bitset:
            return Group::flat;
        case TypeId::object:
            return Group::object;
        default:
            return Group::other;
    }
}

// The owned mark: on the series buffer, or on the cell itself for an image!.
bool is_marked(const Cell& v) {
    if (type_of(v) == TypeId::image) return (v.header & owns_flag) != 0;
    return (series::buffer(v.w2)->flags & owned_series_flag) != 0;
}
void set_mark(Cell& v) {
    if (type_of(v) == TypeId::image) v.header |= owns_flag;
    else series::buffer(v.w2)->flags |= owned_series_flag;
}
void clear_mark(Cell& v) {
    if (type_of(v) == TypeId::image) v.header &= ~owns_flag;
    else series::buffer(v.w2)->flags &= ~owned_series_flag;
}

bool owns_itself(NodeId ctx) { return (context::header(ctx)->header & owns_flag) != 0; }


// One deep walk: every series or object is entered once, so a sub-block
// shared by many cells costs one visit, and a block inside itself ends.
class Walk {
public:
    bool first_visit(NodeId node) { return seen_.insert(node).second; }

private:
    std::unordered_set<NodeId> seen_;
};

void own(Cell& v, const Cell& owner, const Cell& word, Walk& walk);

// Owns every cell of a block from a position to its tail. Registering
// allocates, so cells are reached by position and copied.
void own_cells(NodeId block, uint32_t from, const Cell& owner, const Cell& word, Walk& walk) {
    for (uint32_t i = from; i < series::buffer(block)->length(); i++) {
        Cell cell = series::buffer(block)->cells()[i];
        own(cell, owner, word, walk);
        // An image! carries its mark in the cell: write it back.
        if (type_of(cell) == TypeId::image) series::buffer(block)->cells()[i].header = cell.header;
    }
}

void own_object(const Cell& v, const Cell& owner, const Cell& word, Walk& walk) {
    (void)word;
    NodeId ctx = v.w1;
    if (ctx == 0 || owns_itself(ctx)) return;
    const Cell& h = *context::header(ctx);
    if (context::values_on_stack(h) || h.w2 == 0 || !walk.first_visit(h.w2)) return;
    cycle::Scope scope(h.w2);
    const uint32_t n = context::word_count(ctx);
    for (uint32_t i = 0; i < n; i++) {
        Cell value = *context::value_cell_at(ctx, i);
        if (type_of(value) == TypeId::object && value.w1 == owner.w1) continue;
        const Cell field = *context::word_at(ctx, i);
        own(value, owner, field, walk);
        if (type_of(value) == TypeId::image) context::value_cell_at(ctx, i)->header = value.header;
    }
}

void own(Cell& v, const Cell& owner, const Cell& word, Walk& walk) {
    const Group g = group_of(type_of(v));
    if (g == Group::other) return;
    if (g == Group::object) return own_object(v, owner, word, walk);
    if (v.w2 == 0) return;
    if (!walk.first_visit(v.w2)) return;
    if (!is_marked(v)) {
        set_mark(v);
        const Cell copy = v, owner_copy = owner, word_copy = word;
        Cell* record = hashtable::put_key(record_table, v.w2);
        record[0] = copy;
        record[1] = owner_copy;
        record[2] = word_copy;
    }
    if (g == Group::cells) {
        cycle::Scope scope(v.w2);
        own_cells(v.w2, v.w1, owner, word, walk);
    }
}

void clear(Cell& v, Walk& walk);

void clear_cells(NodeId block, uint32_t from, Walk& walk) {
    for (uint32_t i = from; i < series::buffer(block)->length(); i++) {
        Cell cell = series::buffer(block)->cells()[i];
        clear(cell, walk);
        if (type_of(cell) == TypeId::image) series::buffer(block)->cells()[i].header = cell.header;
    }
}

void clear(Cell& v, Walk& walk) {
    const Group g = group_of(type_of(v));
    if (g == Group::other) return;
    if (g == Group::object) {
        NodeId ctx = v.w1;
        if (ctx == 0 || owns_itself(ctx)) return;
        const Cell& h = *context::header(ctx);
        if (context::values_on_stack(h) || h.w2 == 0 || !walk.first_visit(h.w2)) return;
        cycle::Scope scope(h.w2);
        clear_cells(h.w2, 0, walk);
        return;
    }
    if (v.w2 == 0) return;
    clear_mark(v);
    Cell* record = hashtable::find_key(record_table, v.w2);
    if (!record) return;
    record[0] = record[1] = record[2] = unset_cell;
    (void)hashtable::remove_key(record_table, v.w2);
    if (g == Group::cells && walk.first_visit(v.w2)) {
        cycle::Scope scope(v.w2);
        clear_cells(v.w2, v.w1, walk);
    }
}

// The key a value's record is found by: its series node, or an object's
// context node.
uint32_t key_of(const Cell& v) { return type_of(v) == TypeId::object ? v.w1 : v.w2; }

// The record of a value whose owner has change handlers, or nullptr.
Cell* watched_record(const Cell& v) {
    const Group g = group_of(type_of(v));
    if (g == Group::other || key_of(v) == 0) return nullptr;
    Cell* record = hashtable::find_key(record_table, key_of(v));
    if (!record || record[1].w3 == 0) return nullptr;
    return record;
}

// ---- The table under the collector ----
// A record's key is the owned series (or object context). While the key is
// reachable its record keeps the owner and the field word alive; once the
// key died, the record goes.

void mark_owner_of_live_key(uint32_t key, Cell* payload, void* marked_any) {
    if (!collector::is_marked(key)) return;
    const Cell& owner = payload[1];
    if (owner.w1 != 0 && collector::is_marked(owner.w1)) return;
    collector::mark_cells(payload + 1, payload + record_cells);
    *static_cast<bool*>(marked_any) = true;
}

bool weak_pass() {
    bool marked_any = false;
    if (record_table != 0) hashtable::for_each_record(record_table, mark_owner_of_live_key, &marked_any);
    return marked_any;
}

void drop_if_dead(uint32_t key, Cell* payload, void*) {
    if (collector::is_marked(key)) return;
    // The node id may be handed out again: leave no cell naming it.
    for (uint32_t i = 0; i < record_cells; i++) payload[i] = unset_cell;
    (void)hashtable::remove_key(record_table, key);
}

void sweep_dead_records() {
    if (record_table != 0) hashtable::for_each_record(record_table, drop_if_dead, nullptr);
}

}  // namespace

void init() {
    record_table = hashtable::init(static_cast<int32_t>(table_room), nullptr, hashtable::Kind::ownership,
                                   static_cast<int32_t>(record_cells));
    static const bool registered = (collector::add_weak_pass(weak_pass),
                                    collector::add_sweep_callback(sweep_dead_records), true);
    (void)registered;
}

NodeId table() { return record_table; }

void own_deep(const Cell& value, const Cell& owner, const Cell& word) {
    Walk walk;
    Cell v = value;
    own(v, owner, word, walk);
}

void set_deep_owned(const Cell& value, const Cell& owner, const Cell& word) {
    const NodeId ctx = owner.w1;
    own_deep(value, owner, word);
    context::header(ctx)->header |= owns_flag;
}

void clear_deep(const Cell& value) {
    Walk walk;
    Cell v = value;
    clear(v, walk);
}

Cell* owner_of(NodeId series) {
    Cell* record = hashtable::find_key(record_table, series);
    return record ? record + 1 : nullptr;
}

bool check(const Cell& value, const Cell& action_word, const Cell* new_value, int32_t index, int32_t count) {
    const Cell* record = watched_record(value);
    if (!record || !on_deep_change) return false;
    // The handler runs code that allocates: hand it copies.
    const Cell owner = record[1], field = record[2], target = value, action = action_word;
    if (new_value) {
        const Cell fresh = *new_value;
        on_deep_change(owner, field, target, action, &fresh, index, count);
    } else {
        on_deep_change(owner, field, target, action, nullptr, index, count);
    }
    return true;
}

bool before(const Cell& value, Change change, const Cell* new_value, int32_t index, int32_t count) {
    const Sym word = words_of(change).before;
    if (word == Sym::none_) return on_deep_change && watched_record(value) != nullptr;
    return check(value, word::of(word), new_value, index, count);
}

void after(const Cell& value, Change change, const Cell* new_value, int32_t index, int32_t count) {
    const Sym word = words_of(change).after;
    if (word != Sym::none_) (void)check(value, word::of(word), new_value, index, count);
}

void install_on_deep_change(OnDeepChange handler) { on_deep_change = handler; }

}  // namespace qor::ownership
