// object!: class ids, fields, making and copying, and the change handlers.
// Path access, the remaining actions and the registration are in
// object_actions.cpp; form and mold in object_mold.cpp.
#include "runtime/datatypes/object.h"

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object_call.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/evaluation.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/ownership.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::object {

namespace {

uint32_t class_counter = first_class_counter;

// The two cells of a change-handler record.
enum class Handler : uint32_t { change = 0, deep = 1 };

Cell* record_cell(const Cell& object, Handler h) {
    return series::buffer(object.w3)->cells() + static_cast<uint32_t>(h);
}
int32_t handler_index(const Cell& entry) { return static_cast<int32_t>(entry.w2) >> 16; }

bool same_symbol(uint32_t sym, Sym s) { return symbol::resolve_alias(sym) == symbol::resolve_alias(to_int(s)); }

// The values block of an object context (heap storage).
NodeId values_node(NodeId ctx) { return context::header(ctx)->w2; }

// The self slot holds the object as it is now (no header flags).
void refresh_self(const Cell& object) {
    Cell self = object;
    self.header = object.header & cell_flag::type_mask;
    *context::self(object.w1) = self;
}

// Series values whose copies a made or deeply copied object takes.
bool copied_when_made(TypeId t) {
    switch (t) {
        case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
        case TypeId::set_path: case TypeId::get_path: case TypeId::hash: case TypeId::string:
        case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email: case TypeId::ref:
        case TypeId::binary: case TypeId::vector: case TypeId::image:
            return true;
        default: return false;
    }
}

// Series values a deep copy (without types) copies; binary!, hash!, map!,
// vector!, image! and bitset! values stay shared.
bool copied_when_deep(TypeId t) {
    switch (t) {
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
        case TypeId::ref: case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
        case TypeId::set_path: case TypeId::get_path:
            return true;
        default: return false;
    }
}

bool binds_copy(TypeId t) { return is_any_block(t); }

// Replaces field i of the context by a deep copy of its value, bound to
// the context when it is a block of code.
void copy_field_deep(NodeId ctx, uint32_t i, bool bind) {
    Cell* value = stack::push(*context::value_cell_at(ctx, i));
    Cell* copied = stack::push(none::value);
    const uint32_t flags = value->header & ~cell_flag::type_mask;
    Cell fresh = *actions::call_copy(*value, *copied, nullptr, true, nullptr);
    fresh.header = (fresh.header & cell_flag::type_mask) | flags;
    if (bind && binds_copy(type_of(fresh))) context::bind(fresh, ctx, true);
    *context::value_cell_at(ctx, i) = fresh;
    stack::pop(2);
}

// A function of an object, rebuilt for a copy of the object: its body
// cloned and bound to the new context, then given a context of its own.
void rebind_function(NodeId ctx, uint32_t i) {
    Cell* fn = stack::push(*context::value_cell_at(ctx, i));
    const Cell body = *function::part(*fn, function::Part::body);
    if (type_of(body) == TypeId::none) error::fire(error::Id::bad_func_def, {*fn});
    Cell* clone = stack::push(function::copy_deep(body));
    context::bind(*clone, ctx, true);
    const Cell spec{to_int(TypeId::block), 0, fn->w2, 0};
    const Cell made = *function::push_new(spec, *clone);
    *context::value_cell_at(ctx, i) = made;
    stack::pop(3);
}

void rebind_functions(NodeId ctx) {
    const uint32_t n = context::word_count(ctx);
    for (uint32_t i = 0; i < n; i++)
        if (type_of(*context::value_cell_at(ctx, i)) == TypeId::function) rebind_function(ctx, i);
}

void clear_new_lines(NodeId ctx) {
    series::Buffer* b = series::buffer(values_node(ctx));
    for (uint32_t i = 0; i < b->length(); i++) clear_new_line(b->cells()[i]);
}

// A word bound to the object for a handler: the given word when it already
// is, else a copy bound by symbol.
Cell handler_word(const Cell& object, const Cell& word) {
    Cell w = word;
    set_type_keep_flags(w, TypeId::word);
    clear_new_line(w);
    if (w.w1 != object.w1) {
        const int32_t index = context::find_word(object.w1, w.w2, true);
        if (index >= 0) {
            w.w1 = object.w1;
            w.w3 = static_cast<uint32_t>(index);
        }
    }
    return w;
}

// The handler function of a record cell, refreshing its cached local
// count when the field holds another function than the one counted.
bool handler_function(const Cell& object, Handler which, Cell& fn) {
    Cell* entry = record_cell(object, which);
    const int32_t index = handler_index(*entry);
    if (index < 0) return false;
    fn = *context::value_cell_at(object.w1, static_cast<uint32_t>(index));
    if (type_of(fn) != TypeId::function) return false;
    if (record_cell(object, which)->w3 != fn.w2) {
        const uint32_t locals = count_locals(fn);
        entry = record_cell(object, which);
        entry->w2 = static_cast<uint32_t>(index) << 16 | (locals & 0xFFFF);
        entry->w3 = fn.w2;
    }
    return true;
}

void fire_installed(const Cell& object, const Cell& word, const Cell& old_value, const Cell& new_value) {
    fire_on_change(object, word, old_value, new_value);
}

// The runner the ownership layer calls after a series an object owns changed.
void on_deep_change(const Cell& owner, const Cell& word, const Cell& target, const Cell& action,
                    const Cell* new_value, int32_t index, int32_t count) {
    if (owner.w3 == 0) error::fire(error::Id::invalid_obj_evt, {owner});
    Cell args[7] = {owner, word, target, action, new_value ? *new_value : none::value,
                    Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(index), 0},
                    Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(count), 0}};
    Cell fn;
    if (!handler_function(owner, Handler::deep, fn)) return;
    Cell* kept = stack::push(fn);
    for (const Cell& a : args) stack::push(a);
    call_function(*kept, to_int(Sym::on_deep_change_star), {kept + 1, 7}, nullptr);
    stack::leave_routine_if_exiting();  // the change is abandoned
    if (!stack::exiting()) stack::data.top = kept;
}

}  // namespace

uint32_t new_class_id() { return ++class_counter; }

// --- Fields ------------------------------------------------------------------

uint32_t field_count(const Cell& object) { return context::word_count(object.w1); }

int32_t find_word(const Cell& object, const Cell& word) { return context::find_word(object.w1, word.w2, true); }

const Cell* get_word_cell(const Cell& object, const Cell& word) {
    const int32_t index = find_word(object, word);
    if (index < 0) return &none::value;
    return context::value_cell_at(object.w1, static_cast<uint32_t>(index));
}

Cell* word_at(NodeId ctx, uint32_t index) { return context::word_at(ctx, index); }

void clear_changed(NodeId ctx) {
    const uint32_t n = context::word_count(ctx);
    for (uint32_t i = 0; i < n; i++) context::word_at(ctx, i)->header &= ~cell_flag::changed;
}

void set_quiet(const Cell& object, const Cell& word, const Cell& value) {
    const int32_t index = find_word(object, word);
    if (index < 0) error::fire(error::Id::invalid_path, {word});
    Cell w = *context::word_at(object.w1, static_cast<uint32_t>(index));
    context::set_word_value(w, value, object.w1, false);
}

// --- Making ------------------------------------------------------------------

Cell* make_at(Cell& out, uint32_t room) {
    const NodeId ctx = context::make(room, false, true, nullptr, context::Kind::object);
    out = Cell{to_int(TypeId::object), ctx, 0, 0};
    refresh_self(out);
    return &out;
}

Cell* push(NodeId ctx, uint32_t class_id) {
    collector::NodeGuard keep(ctx);
    const uint32_t n = context::word_count(ctx);
    while (series::buffer(values_node(ctx))->length() < n) *series_tail::alloc_cell(values_node(ctx)) = unset_cell;
    Cell* out = stack::push(Cell{to_int(TypeId::object), ctx, class_id, 0});
    refresh_self(*out);
    return out;
}

void copy_into(const Cell& source, Cell& destination, bool deep, const Cell* types, bool reset) {
    // The destination takes the source's words in a context of its own.
    destination = Cell{source.header & cell_flag::type_mask, source.w1, source.w2, reset ? 0 : source.w3};
    const NodeId ctx = context::clone(destination, context::Kind::object);
    const uint32_t n = context::word_count(ctx);
    {
        series::Buffer* from = series::buffer(values_node(source.w1));
        series::Buffer* to = series::buffer(values_node(ctx));
        const uint32_t count = from->length() < n ? from->length() : n;
        for (uint32_t i = 0; i < count; i++) to->cells()[i] = from->cells()[i];
        for (uint32_t i = count; i < n; i++) to->cells()[i] = unset_cell;
        to->set_tail_units(n);
    }
    refresh_self(destination);
    if (deep && !types) {
        for (uint32_t i = 0; i < n; i++)
            if (copied_when_deep(type_of(*context::value_cell_at(ctx, i)))) copy_field_deep(ctx, i, false);
        rebind_functions(ctx);
    } else {
        rebind_functions(ctx);
        if (types) {
            const NodeId source_values = values_node(source.w1);
            if (deep && cycle::find(source_values)) {
                cycle::reset();
                error::fire(error::Id::no_cycle);
            }
            cycle::Scope scope(source_values);
            // The typed copy of a block does the work on the values block.
            Cell* values = stack::push(Cell{to_int(TypeId::block), 0, values_node(ctx), 0});
            Cell* copied = stack::push(none::value);
            const Cell fresh = *actions::call_copy(*values, *copied, nullptr, deep, types);
            series::Buffer* from = series::buffer(fresh.w2);
            for (uint32_t i = 0; i < n && i < from->length(); i++) {
                const Cell v = series::buffer(fresh.w2)->cells()[i];
                *context::value_cell_at(ctx, i) = v;
            }
            stack::pop(2);
        }
    }
    if (reset) attach_handlers(destination);
}

void attach_handlers(Cell& object) {
    const NodeId ctx = object.w1;
    const uint32_t n = context::word_count(ctx);
    int32_t found[2] = {-1, -1};
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t sym = context::word_at(ctx, i)->w2;
        if (same_symbol(sym, Sym::on_change_star)) found[0] = static_cast<int32_t>(i);
        else if (same_symbol(sym, Sym::on_deep_change_star)) found[1] = static_cast<int32_t>(i);
    }
    if (found[0] < 0 && found[1] < 0) {
        object.w3 = 0;
        refresh_self(object);
        return;
    }
    uint32_t words[2] = {0, 0}, specs[2] = {0, 0};
    for (int h = 0; h < 2; h++) {
        if (found[h] < 0) {
            words[h] = 0xFFFF0000u;
            continue;
        }
        const Cell fn = *context::value_cell_at(ctx, static_cast<uint32_t>(found[h]));
        if (type_of(fn) != TypeId::function && type_of(fn) != TypeId::routine) {
            const Cell word = *context::word_at(ctx, static_cast<uint32_t>(found[h]));
            error::fire(error::Id::bad_field_set, {word, Cell{to_int(TypeId::datatype), to_int(type_of(fn)), 0, 0}});
        }
        words[h] = static_cast<uint32_t>(found[h]) << 16 | (count_locals(fn) & 0xFFFF);
        specs[h] = fn.w2;
    }
    const NodeId record = series::alloc_cells(2);
    series::Buffer* b = series::buffer(record);
    b->set_tail_units(2);
    for (int h = 0; h < 2; h++) b->cells()[h] = Cell{to_int(TypeId::pair), 0, words[h], specs[h]};
    object.w3 = record;
    refresh_self(object);
    if (found[1] >= 0) {
        Cell* owner = stack::push(object);
        ownership::set_deep_owned(*owner, *owner, none::value);
        stack::pop();
    }
}

namespace {

// Sets the fields of an object from the fields of another, adding the
// missing ones; answers whether any was added.
bool extend_from(NodeId ctx, const Cell& spec) {
    const uint32_t before = context::word_count(ctx);
    const uint32_t n = context::word_count(spec.w1);
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t sym = context::word_at(spec.w1, i)->w2;
        const int32_t index = context::add_word(ctx, sym);
        *context::value_cell_at(ctx, static_cast<uint32_t>(index)) = *context::value_cell_at(spec.w1, i);
    }
    const uint32_t after = context::word_count(ctx);
    for (uint32_t i = 0; i < after; i++)
        if (copied_when_made(type_of(*context::value_cell_at(ctx, i)))) copy_field_deep(ctx, i, false);
    rebind_functions(ctx);
    return after > before;
}

// The prototype's series values, copied deeply into the new object and
// bound to it when they hold code.
void copy_proto_series(const Cell& prototype, NodeId ctx) {
    const uint32_t n = context::word_count(prototype.w1);
    for (uint32_t i = 0; i < n; i++)
        if (copied_when_made(type_of(*context::value_cell_at(prototype.w1, i)))) copy_field_deep(ctx, i, true);
}

bool is_object_type(TypeId t) { return t == TypeId::object || t == TypeId::error || t == TypeId::port; }

}  // namespace

const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    Cell* result = stack::push(unset_cell);
    const bool from_object = is_object_type(type_of(*prototype));
    if (from_object) copy_into(*prototype, *result, false, nullptr, false);
    else make_at(*result, 4);
    set_header(*result, type);
    refresh_self(*result);
    const NodeId ctx = result->w1;
    if (is_object_type(type_of(*spec))) {
        const bool added = extend_from(ctx, *spec);
        result->w2 = added ? new_class_id() : prototype->w2;
        attach_handlers(*result);
        return result;
    }
    if (type_of(*spec) != TypeId::block) error::fire(error::Id::malconstruct, {*spec});
    const bool grew = context::collect_set_words(ctx, *spec);
    context::bind(*spec, ctx, true);
    if (from_object) copy_proto_series(*prototype, ctx);
    refresh_self(*result);
    evaluation::eval_block(*spec, false);
    if (stack::exiting()) return result;
    stack::pop();
    clear_changed(ctx);
    clear_new_lines(ctx);
    result->w2 = from_object && !grew ? prototype->w2 : new_class_id();
    attach_handlers(*result);
    return result;
}

Cell* push_new(const Cell& spec, const Cell* prototype, bool only) {
    Cell* result = stack::push(unset_cell);
    if (prototype) {
        copy_into(*prototype, *result, true, nullptr, true);
    } else {
        make_at(*result, 4);
        result->w2 = new_class_id();
        refresh_self(*result);
    }
    const NodeId ctx = result->w1;
    Cell* block = stack::push(spec);
    const NodeId node = block->w2;
    for (uint32_t i = block->w1; i < series::buffer(node)->length(); i++) {
        const Cell item = series::buffer(node)->cells()[i];
        if (type_of(item) != TypeId::set_word) continue;
        const int32_t index = context::add_word(ctx, item.w2);
        // The value is the first item after the set-words in a row.
        Cell value = none::value;
        for (uint32_t j = i + 1; j < series::buffer(node)->length(); j++) {
            const Cell next = series::buffer(node)->cells()[j];
            if (type_of(next) == TypeId::set_word) continue;
            value = next;
            break;
        }
        if (!only && type_of(value) == TypeId::word) {
            const uint32_t s = value.w2;
            if (same_symbol(s, Sym::true_) || same_symbol(s, Sym::yes) || same_symbol(s, Sym::on))
                value = logic::true_value;
            else if (same_symbol(s, Sym::false_) || same_symbol(s, Sym::no) || same_symbol(s, Sym::off))
                value = logic::false_value;
            else if (same_symbol(s, Sym::none)) value = none::value;
        }
        clear_new_line(value);
        *context::value_cell_at(ctx, static_cast<uint32_t>(index)) = value;
    }
    stack::pop();
    return result;
}

// --- Change handlers -----------------------------------------------------------

void fire_on_change(const Cell& object_in, const Cell& word_in, const Cell& old_in, const Cell& new_in) {
    const Cell object = object_in;
    if (object.w3 == 0) return;
    if (handler_index(*record_cell(object, Handler::change)) < 0) return;
    Cell* args = stack::push(handler_word(object, word_in));
    stack::push(old_in);
    stack::push(new_in);
    Cell fn;
    const int32_t index = handler_index(*record_cell(object, Handler::change));
    const Cell field = *context::value_cell_at(object.w1, static_cast<uint32_t>(index));
    if (!handler_function(object, Handler::change, fn))
        error::fire(error::Id::invalid_obj_evt, {Cell{to_int(TypeId::datatype), to_int(type_of(field)), 0, 0}});
    Cell* kept = stack::push(fn);
    const Cell call_args[3] = {args[0], args[1], args[2]};
    call_function(*kept, to_int(Sym::on_change_star), call_args, nullptr);
    stack::leave_routine_if_exiting();
    if (!stack::exiting()) stack::data.top = args;
}

void set_fields(Cell& object, const Cell& value_in, bool any, bool only, bool some) {
    Cell* value = stack::push(value_in);
    const NodeId ctx = object.w1;
    const uint32_t n = context::word_count(ctx);
    const bool structured = !only && (type_of(*value) == TypeId::block || is_object_type(type_of(*value)));
    const bool from_block = structured && type_of(*value) == TypeId::block;
    // The source value for field i; false when the field is left alone.
    auto source = [&](uint32_t i, Cell& out) -> bool {
        if (!structured) {
            out = *value;
            return true;
        }
        if (from_block) {
            const uint32_t at = value->w1 + i;
            out = at < series::buffer(value->w2)->length() ? series::buffer(value->w2)->cells()[at] : none::value;
            return true;
        }
        const int32_t index = context::find_word(value->w1, context::word_at(ctx, i)->w2, true);
        if (index < 0) return false;
        out = *context::value_cell_at(value->w1, static_cast<uint32_t>(index));
        return true;
    };
    if (structured && !only && !some && !any) {
        // An unset source value is refused before anything is assigned.
        uint32_t available = n;
        if (from_block) {
            const uint32_t len = series::buffer(value->w2)->length();
            const uint32_t left = value->w1 < len ? len - value->w1 : 0;
            available = left < n ? left : n;
        }
        for (uint32_t i = 0; i < available; i++) {
            Cell v;
            if (source(i, v) && type_of(v) == TypeId::unset)
                error::fire(error::Id::need_value, {*context::word_at(ctx, i)});
        }
    }
    const bool events = object.w3 != 0;
    for (uint32_t i = 0; i < n; i++) {
        Cell v;
        if (!source(i, v)) continue;
        if (some && type_of(v) == TypeId::none) continue;
        const Cell word = *context::word_at(ctx, i);
        if (events && (same_symbol(word.w2, Sym::on_change_star) || same_symbol(word.w2, Sym::on_deep_change_star)))
            continue;
        clear_new_line(v);
        context::word_at(ctx, i)->header |= cell_flag::changed;
        if (!events) {
            *context::value_cell_at(ctx, i) = v;
            continue;
        }
        Cell* old_copy = stack::push(*context::value_cell_at(ctx, i));
        *context::value_cell_at(ctx, i) = v;
        fire_on_change(object, word, *old_copy, v);
        if (stack::exiting()) return;
        stack::pop();
    }
    stack::pop();
}

void install_runners() {
    context::install_fire_on_change(fire_installed);
    ownership::install_on_deep_change(on_deep_change);
}

}  // namespace qor::object
