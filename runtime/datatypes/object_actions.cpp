// object!: path access, put and select, reflect and modify, compare and
// copy, and the registration of the datatype.
#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/series.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::object {



namespace {

bool is_path_word(TypeId t) {
    return t == TypeId::word || t == TypeId::set_word || t == TypeId::get_word || t == TypeId::lit_word;
}

bool same_symbol(uint32_t sym, Sym s) { return symbol::resolve_alias(sym) == symbol::resolve_alias(to_int(s)); }

Cell datatype_of(const Cell& v) { return Cell{to_int(TypeId::datatype), to_int(type_of(v)), 0, 0}; }

Cell path_or_none(const actions::EvalPathArgs& a) { return a.path ? *a.path : none::value; }

// A field the path names is missing or unset: unset for a get-path's last
// element, else an error naming the path and the element.
Cell* path_miss(const actions::EvalPathArgs& a) {
    if (a.get_mode && a.last) return const_cast<Cell*>(&unset::value);
    error::fire(a.last ? error::Id::invalid_path : error::Id::unset_path, {path_or_none(a), *a.element});
}

// Values that compare by the ordering of sort: words among words, numbers
// among numbers, and values of the same datatype.
bool word_like(TypeId t) { return is_word_like(t) || t == TypeId::issue; }
bool number_like(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::percent; }

int32_t compare_fields(NodeId a, NodeId b, CompareOp op) {
    const uint32_t n = context::word_count(a);
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t sa = symbol::resolve_alias(context::word_at(a, i)->w2);
        const uint32_t sb = symbol::resolve_alias(context::word_at(b, i)->w2);
        if (sa != sb) return sa < sb ? -1 : 1;
        const Cell va = *context::value_cell_at(a, i);
        const Cell vb = *context::value_cell_at(b, i);
        const TypeId ta = type_of(va), tb = type_of(vb);
        int32_t r;
        if (ta == tb || (word_like(ta) && word_like(tb)) || (number_like(ta) && number_like(tb)))
            r = actions::compare_order(va, vb, op);
        else
            r = to_int(ta) < to_int(tb) ? -1 : 1;
        if (r != 0) return r;
    }
    return 0;
}

const Cell* copy_action(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types) {
    if (part) {
        // The error names the refinement: "invalid /part argument:".
        Cell refinement = word::load("part");
        set_header(refinement, TypeId::refinement);
        error::fire(error::Id::invalid_refine_arg, {refinement, *part});
    }
    copy_into(*value, *result, deep, types, true);
    return result;
}

const Cell* put(Cell* object, Cell* field, Cell* value, bool case_sensitive) {
    if (type_of(*field) != TypeId::word) error::fire(error::Id::invalid_key_type, {datatype_of(*field)});
    actions::EvalPathArgs a{};
    a.parent = object;
    a.element = field;
    a.value = value;
    a.case_sensitive = case_sensitive;
    a.last = true;
    return eval_path(a);
}

const Cell* select(Cell* object, Cell* key, const actions::FindArgs&) {
    if (!is_path_word(type_of(*key))) error::fire(error::Id::invalid_type, {datatype_of(*key)});
    return get_word_cell(*object, *key);
}

const Cell* modify(Cell* object, Cell* field, Cell* value, bool) {
    const uint32_t sym = is_word_like(type_of(*field)) ? field->w2 : 0;
    if (sym && same_symbol(sym, Sym::changed)) {
        if (type_of(*value) != TypeId::none) error::fire(error::Id::invalid_arg, {*value});
        clear_changed(object->w1);
    } else if (sym && same_symbol(sym, Sym::owner)) {
        ownership::set_deep_owned(*object, *object, none::value);
    } else if (sym && same_symbol(sym, Sym::owned)) {
        if (type_of(*value) == TypeId::none) {
            ownership::clear_deep(*object);
        } else if (type_of(*value) == TypeId::block && block::length_at(*value) >= 2) {
            const Cell owner = *block::cell_at(*value, value->w1);
            const Cell word = *block::cell_at(*value, value->w1 + 1);
            if (type_of(owner) != TypeId::object) error::fire(error::Id::invalid_arg, {*value});
            ownership::own_deep(*object, owner, word);
        } else {
            error::fire(error::Id::invalid_arg, {*value});
        }
    }
    return value;
}

// reflect body: per field a set-word (on a new line) and the value, words
// and paths as their literal forms.
void reflect_body(const Cell& object, Cell& out) {
    const NodeId ctx = object.w1;
    const uint32_t n = context::word_count(ctx);
    for (uint32_t i = 0; i < n; i++) {
        Cell word = *context::word_at(ctx, i);
        word.header = to_int(TypeId::set_word) | cell_flag::new_line;
        block::append_cell(out, word);
        Cell value = *context::value_cell_at(ctx, i);
        if (type_of(value) == TypeId::word) set_type_keep_flags(value, TypeId::lit_word);
        else if (type_of(value) == TypeId::path) set_type_keep_flags(value, TypeId::lit_path);
        block::append_cell(out, value);
    }
}

const Cell* make_action(Cell* prototype, Cell* spec, TypeId type) { return make(prototype, spec, type); }

}  // namespace

Cell* eval_path(const actions::EvalPathArgs& a) {
    Cell& element = *a.element;
    if (!is_path_word(type_of(element))) error::fire(error::Id::invalid_path, {path_or_none(a), element});
    const Cell object = *a.parent;
    const NodeId ctx = object.w1;
    if (element.w1 != ctx || word::index_of(element) < 0) {
        const int32_t index = context::find_word(ctx, element.w2, true);
        if (index < 0) return path_miss(a);
        element.w1 = ctx;
        element.w3 = static_cast<uint32_t>(index);
    }
    const uint32_t index = element.w3;
    if (!a.value) {
        Cell* slot = context::value_cell_at(ctx, index);
        if (type_of(*slot) == TypeId::unset) return path_miss(a);
        return slot;
    }
    const Cell value = *a.value;
    if (object.w3 == 0) {
        Cell w = element;
        context::set_word_value(w, value, ctx, false);
        return a.value;
    }
    Cell* old_copy = stack::push(*context::value_cell_at(ctx, index));
    Cell* word = stack::push(type_of(element) == TypeId::word ? element : *context::word_at(ctx, index));
    context::set_word_value(*word, value, ctx, false);
    fire_on_change(object, *word, *old_copy, value);
    if (!stack::exiting()) stack::pop(2);
    return a.value;
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    const TypeId tb = type_of(*b);
    const bool b_object = tb == TypeId::object || tb == TypeId::error || tb == TypeId::port;
    // A value is always equal to itself, ports and errors included.
    if (b_object && a->w1 == b->w1) return 0;
    if (tb != TypeId::object) return -2;
    if (op == CompareOp::same) return -1;
    const NodeId ca = a->w1, cb = b->w1;
    if (cycle::find(ca)) return cycle::find(cb) ? 0 : -1;
    const uint32_t na = context::word_count(ca), nb = context::word_count(cb);
    if (na != nb) return na < nb ? -1 : 1;
    if (na == 0) return 0;
    cycle::Scope scope_a(ca);
    cycle::Scope scope_b(cb);
    return compare_fields(ca, cb, op);
}

Cell* reflect() {
    const Cell object = *stack::arg(0);
    const Cell field = *stack::arg(1);
    const uint32_t sym = is_word_like(type_of(field)) ? field.w2 : 0;
    const NodeId ctx = object.w1;
    const uint32_t n = context::word_count(ctx);
    if (sym && same_symbol(sym, Sym::class_)) {
        return stack::set_result(Cell{to_int(TypeId::integer), 0, object.w2, 0});
    }
    if (sym && same_symbol(sym, Sym::owner)) {
        return stack::set_result((context::header(ctx)->header & ownership::owns_flag) ? logic::true_value
                                                                                      : logic::false_value);
    }
    if (sym && same_symbol(sym, Sym::events_q)) {
        return stack::set_result(object.w3 != 0 ? logic::true_value : logic::false_value);
    }
    const bool words = sym && same_symbol(sym, Sym::words);
    const bool values = sym && same_symbol(sym, Sym::values);
    const bool body = sym && same_symbol(sym, Sym::body);
    const bool changed = sym && same_symbol(sym, Sym::changed);
    if (!words && !values && !body && !changed) error::fire(error::Id::not_done);
    Cell* out = block::push_new(static_cast<int32_t>(body ? n * 2 : n));
    if (body) {
        reflect_body(object, *out);
    } else {
        for (uint32_t i = 0; i < n; i++) {
            if (values) {
                block::append_cell(*out, *context::value_cell_at(ctx, i));
                continue;
            }
            Cell word = *context::word_at(ctx, i);
            if (changed && !(word.header & cell_flag::changed)) continue;
            word.header = to_int(TypeId::word);
            word.w1 = ctx;
            word.w3 = i;
            block::append_cell(*out, word);
        }
    }
    return stack::set_result(*out);
}

namespace {

// An object keeps its context and its spec series; it hashes by identity.
void mark_object_value(Cell& c) {
    if (c.w1 != 0) collector::mark_context(&c.w1);
    collector::mark_series(&c.w3);
}

uint32_t hash_object_key(const Cell& key) {
    return hash::mix32(key.w1);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(&make_action)
        .own<Action::reflect>(&reflect)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold)
        .own<Action::eval_path>(&eval_path)
        .own<Action::compare>(&compare)
        .own<Action::copy>(&copy_action)
        .own<Action::put>(&put)
        .own<Action::select>(&select)
        .own<Action::modify>(&modify);
    row.mark(&mark_object_value).hash(&hash_object_key);
    datatype::register_type(TypeId::object, TypeId::none_id, "object!", row);
    install_runners();
}

}  // namespace qor::object
