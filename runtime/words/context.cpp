// Contexts: making, word lookup, the global context, bound-word access and
// binding. The internal context! datatype is registered here too.
#include "runtime/words/context.h"

#include "runtime/memory/cycle_stack.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::context {

namespace {

NodeId global_context = 0;
FireOnChange fire_on_change = nullptr;

// The word table of a context.
NodeId table_of(NodeId ctx) { return header(ctx)->w1; }

// Appends an unset! cell to a block (which may move); answers it.
Cell* append_unset(NodeId block) { return &(*series_tail::alloc_cell(block) = unset_cell); }

// The value slot of a context whose header is given; the context has values.
Cell* slot(const Cell& h, uint32_t index) {
    if (values_on_stack(h)) return stack::data.bottom + stack_values_index(h.w2) + index;
    return series::buffer(h.w2)->cells() + index;
}

// The word's value cell for messages: a plain copy of the word.
[[noreturn]] void fire_with_word(error::Id id, const Cell& word) { error::fire(id, {word}); }


bool binds_into(TypeId t) {
    return t == TypeId::block || t == TypeId::paren || t == TypeId::path || t == TypeId::lit_path ||
           t == TypeId::set_path || t == TypeId::get_path || t == TypeId::hash;
}

// Binds the cells of a block from a position to its tail. Binding never
// allocates, but nested walks push on the cycle stack, so cells are
// reached by position.
void bind_cells(NodeId block, uint32_t from, NodeId ctx, bool self_flag) {
    if (cycle::find(block)) return;
    cycle::Scope scope(block);
    for (uint32_t i = from; i < series::buffer(block)->length(); i++) {
        Cell* cell = series::buffer(block)->cells() + i;
        TypeId t = type_of(*cell);
        if (t >= TypeId::word && t <= TypeId::refinement) {
            if (self_flag && t == TypeId::word && cell->w2 == to_int(Sym::self)) {
                cell->w1 = ctx;
                cell->w3 = static_cast<uint32_t>(word::no_index);
            } else {
                bind_word(ctx, *cell);
            }
        } else if (binds_into(t)) {
            if (cell->w2 != 0) bind_cells(cell->w2, cell->w1, ctx, self_flag);
        }
    }
}

}  // namespace

// --- The context node's cells ---------------------------------------------

Cell* header(NodeId ctx) { return series::buffer(ctx)->cells(); }
Cell* self(NodeId ctx) { return series::buffer(ctx)->cells() + 1; }

NodeId word_list(NodeId ctx) { return hashtable::block_of(table_of(ctx)); }
uint32_t word_count(NodeId ctx) { return series::buffer(word_list(ctx))->length(); }
Cell* word_at(NodeId ctx, uint32_t index) { return series::buffer(word_list(ctx))->cells() + index; }

Cell* values(NodeId ctx) {
    const Cell& h = *header(ctx);
    return has_values(h) ? slot(h, 0) : nullptr;
}

// --- Making ----------------------------------------------------------------

namespace {

// A context node around a word table, with a values block of `slots` cells
// for a heap context.
NodeId make_around(NodeId table, uint32_t slots, bool on_stack, bool self_flag, Kind kind) {
    NodeId ctx = series::alloc_unset_cells(2);
    collector::NodeGuard keep_ctx(ctx);  // the values block is made next
    series::buffer(ctx)->set_tail_units(2);
    NodeId values = on_stack ? 0 : series::alloc_unset_cells(slots);
    Cell* h = header(ctx);
    h->header = to_int(TypeId::context) | (static_cast<uint32_t>(kind) << cell_flag::context_kind_shift) |
                (on_stack ? cell_flag::stack_values : 0) | (self_flag ? cell_flag::self_value : 0);
    h->w1 = table;
    h->w2 = values;
    h->w3 = 0;
    return ctx;
}

}  // namespace

NodeId make(uint32_t slots, bool on_stack, bool self_flag, const Cell* source_words, Kind kind) {
    if (slots == 0) slots = 1;
    NodeId table = hashtable::init(static_cast<int32_t>(slots), source_words, hashtable::Kind::words, 0);
    collector::TableGuard keep_table(table);
    return make_around(table, slots, on_stack, self_flag, kind);
}

NodeId make_from_spec(const Cell& spec, bool on_stack, bool self_flag, Kind kind) {
    NodeId block = spec.w2;
    uint32_t from = spec.w1;
    uint32_t length = series::buffer(block)->length();
    uint32_t count = from < length ? length - from : 0;
    NodeId ctx = make(count, on_stack, self_flag, nullptr, kind);
    collector::NodeGuard keep_ctx(ctx);  // adding words allocates
    for (uint32_t i = from; i < series::buffer(block)->length(); i++) {
        const Cell cell = series::buffer(block)->cells()[i];
        TypeId t = type_of(cell);
        if (t == TypeId::word || t == TypeId::lit_word || t == TypeId::get_word || t == TypeId::refinement) {
            int32_t added;
            (void)find_word_in(ctx, cell.w2, true, added);
        }
    }
    if (!on_stack) {
        // The values block was made with every cell unset!: one per word.
        series::buffer(header(ctx)->w2)->set_tail_units(word_count(ctx));
    }
    return ctx;
}

NodeId clone(Cell& object, Kind kind) {
    NodeId old_ctx = object.w1;
    const Cell old = *header(old_ctx);
    uint32_t count = word_count(old_ctx);
    // The word list is copied cell for cell and indexed by a copy of the table.
    NodeId words_copy = series::copy(word_list(old_ctx));
    collector::NodeGuard keep_words(words_copy);
    NodeId table = hashtable::copy(table_of(old_ctx), words_copy);
    collector::TableGuard keep_table(table);
    NodeId ctx = make_around(table, count == 0 ? 1 : count, values_on_stack(old),
                             (old.header & cell_flag::self_value) != 0, kind);
    series::Buffer* words = series::buffer(word_list(ctx));
    for (uint32_t i = 0; i < words->length(); i++) words->cells()[i].w1 = ctx;
    object.w1 = ctx;
    return ctx;
}

bool collect_set_words(NodeId ctx, Cell& block) {
    uint32_t length = series::buffer(block.w2)->length();
    if (block.w1 > length) block.w1 = length;
    uint32_t before = word_count(ctx);
    for (uint32_t i = block.w1; i < series::buffer(block.w2)->length(); i++) {
        const Cell cell = series::buffer(block.w2)->cells()[i];
        if (type_of(cell) == TypeId::set_word) (void)add_word(ctx, cell.w2);
    }
    return word_count(ctx) > before;
}

// --- Finding and adding ----------------------------------------------------

int32_t find_word(NodeId ctx, uint32_t sym, bool by_alias) {
    int32_t position = -1;
    return hashtable::find_or_add_word(table_of(ctx), static_cast<int32_t>(sym), by_alias, 0, &position);
}

int32_t find_word_in(NodeId ctx, uint32_t sym, bool by_alias, int32_t& added) {
    return hashtable::find_or_add_word(table_of(ctx), static_cast<int32_t>(sym), by_alias, ctx, &added);
}

int32_t add_word(NodeId ctx, uint32_t sym) {
    int32_t added = -1;
    int32_t index = find_word_in(ctx, sym, true, added);
    if (index >= 0) return index;
    if (!values_on_stack(*header(ctx))) append_unset(header(ctx)->w2);
    return added;
}

// --- The global context ----------------------------------------------------

namespace {
uint64_t globals_made = 0;
}  // namespace

void make_global() {
    global_context = make(global_room, false, false, nullptr, Kind::global);
    globals_made++;
}
uint64_t global_generation() { return globals_made; }

NodeId global() { return global_context; }

Cell add_word_global(uint32_t sym, bool by_alias, bool keep_spelling) {
    int32_t added = -1;
    int32_t index = find_word_in(global_context, sym, by_alias, added);
    if (index >= 0) {
        Cell word = *word_at(global_context, static_cast<uint32_t>(index));
        if (keep_spelling) word.w2 = sym;
        return word;
    }
    // An added case variant shares the slot of its canonical spelling.
    if (symbol::alias_of(sym) > 0) {
        int32_t shared = find_word(global_context, sym, true);
        word_at(global_context, static_cast<uint32_t>(added))->w3 = static_cast<uint32_t>(shared);
    }
    append_unset(header(global_context)->w2);
    return *word_at(global_context, static_cast<uint32_t>(added));
}

Cell add_global(uint32_t sym) { return add_word_global(sym, false, true); }

// --- Getting and setting bound words ---------------------------------------

Cell* word_value_cell(const Cell& word, NodeId ctx) {
    int32_t index = word::index_of(word);
    if (index < 0 || ctx == 0) {
        if (ctx != 0 && word.w2 == to_int(Sym::self)) return self(ctx);
        fire_with_word(error::Id::no_value, word);
    }
    const Cell& h = *header(ctx);
    if (!has_values(h)) fire_with_word(error::Id::not_in_context, word);
    return slot(h, static_cast<uint32_t>(index));
}

Cell* value_cell(const Cell& word) { return word_value_cell(word, word::context_of(word)); }

Cell* set_word_value(Cell& word, const Cell& value, NodeId ctx, bool events) {
    if (ctx == 0) fire_with_word(error::Id::not_defined, word);
    const Cell new_value = value;  // the value may live in a block that moves
    if (word::index_of(word) < 0) {
        int32_t index = find_word(ctx, word.w2, false);
        if (index < 0) index = add_word(ctx, word.w2);
        word.w1 = ctx;
        word.w3 = static_cast<uint32_t>(index);
    }
    const uint32_t index = word.w3;
    const Cell h = *header(ctx);
    if (!has_values(h)) fire_with_word(error::Id::not_defined, word);
    if (values_on_stack(h)) return &(*slot(h, index) = new_value);
    if (kind_of(h) == Kind::object) {
        word_at(ctx, index)->header |= cell_flag::changed;
        const Cell owner = *self(ctx);
        if (events && fire_on_change && type_of(owner) == TypeId::object && owner.w3 != 0) {
            Cell* saved_top = stack::data.top;
            Cell* old_value = stack::push(*slot(h, index));
            *slot(h, index) = new_value;
            const Cell word_copy = word;
            fire_on_change(owner, word_copy, *old_value, new_value);
            stack::data.top = saved_top;
            return slot(*header(ctx), index);
        }
    }
    return &(*slot(h, index) = new_value);
}

Cell* set(Cell& word, const Cell& value) { return set_word_value(word, value, word::context_of(word), true); }

int32_t bind_word(NodeId ctx, Cell& word) {
    int32_t index = find_word(ctx, word.w2, true);
    if (index >= 0) {
        word.w1 = ctx;
        word.w3 = static_cast<uint32_t>(index);
    }
    return index;
}

Cell& bind(Cell& block, NodeId ctx, bool self_flag) {
    bind_cells(block.w2, block.w1, ctx, self_flag);
    return block;
}

// --- Slots by index ----------------------------------------------------------

Cell* value_cell_at(NodeId ctx, uint32_t index) { return slot(*header(ctx), index); }

void install_fire_on_change(FireOnChange handler) { fire_on_change = handler; }

}  // namespace qor::context
