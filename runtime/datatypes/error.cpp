// error!: making errors from codes, catalogue words, field blocks and
// strings; the error text; mold, path access and comparison.
#include "runtime/datatypes/error.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/words/call_listing.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/evaluation.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::error_type {

namespace cat = error::catalogue;

namespace {

Environment environment;

Cell integer_cell(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

Cell* slot(const Cell& error, Field f) { return context::value_cell_at(error.w1, static_cast<uint32_t>(f)); }

// An unbound word of an error field's name (the argument of
// invalid-spec-field).
Cell field_word(Field f) { return word::make_cell(TypeId::word, 0, cat::field_symbol(f), word::no_index); }

bool is_word(const Cell& v) { return type_of(v) == TypeId::word; }

// Pushes an error whose fields are copies of the standard prototype's.
Cell* push_blank() {
    Cell* result = stack::push(none::value);
    const NodeId ctx = context::make(cat::field_count, false, true, nullptr, context::Kind::object);
    *result = Cell{to_int(TypeId::error), ctx, error_class_id, 0};
    *context::self(ctx) = *result;
    for (uint32_t f = 0; f < cat::field_count; f++) {
        const int32_t index = context::add_word(result->w1, cat::field_symbol(static_cast<Field>(f)));
        const Cell& prototype = cat::standard_error();
        const bool in_prototype = context::word_count(prototype.w1) > f;
        *context::value_cell_at(result->w1, static_cast<uint32_t>(index)) =
            in_prototype ? *context::value_cell_at(prototype.w1, f) : none::value;
    }
    return result;
}

// Code, type and id of the entry at a category index and an id position.
void set_entry(const Cell& error, uint32_t category, uint32_t position) {
    *slot(error, Field::code) = integer_cell(static_cast<int32_t>(category * 100 + position - 2));
    *slot(error, Field::type) = cat::category_word(category);
    *slot(error, Field::id) = cat::id_word(cat::category_context(category), position);
}

// The code of an error whose type and id words name a catalogue entry;
// raises invalid-spec-field naming the field that does not.
void set_code_from_words(const Cell& error) {
    const Cell type = *slot(error, Field::type);
    const int32_t category = is_word(type) ? cat::find_category(type.w2) : -1;
    if (category < 0) error::fire(error::Id::invalid_spec_field, {field_word(Field::type)});
    const Cell id = *slot(error, Field::id);
    const int32_t position =
        is_word(id) ? cat::find_id(cat::category_context(static_cast<uint32_t>(category)), id.w2) : -1;
    if (position < 0) error::fire(error::Id::invalid_spec_field, {field_word(Field::id)});
    *slot(error, Field::code) = integer_cell(category * 100 + position - 2);
}

Cell* make_from_code(const Cell& spec) {
    const int32_t code = get_int(spec);
    const uint32_t category = static_cast<uint32_t>(code / 100);
    if (code < 0 || category >= cat::category_count()) error::fire(error::Id::out_of_range, {spec});
    const uint32_t position = static_cast<uint32_t>(code % 100) + 2;
    const NodeId ctx = cat::category_context(category);
    if (ctx == 0 || position >= context::word_count(ctx)) error::fire(error::Id::out_of_range, {spec});
    Cell* error = push_blank();
    set_entry(*error, category, position);
    return error;
}

// [category id]: the two words are checked against the catalogue and copied.
Cell* make_from_names(const Cell& spec) {
    series::Buffer* b = series::buffer(spec.w2);
    const Cell type = b->cells()[spec.w1];
    const int32_t category = cat::find_category(type.w2);
    if (category < 0) error::fire(error::Id::invalid_spec_field, {field_word(Field::type)});
    if (spec.w1 + 1 >= b->length()) error::fire(error::Id::invalid_spec_field, {field_word(Field::id)});
    const Cell id = b->cells()[spec.w1 + 1];
    if (!is_word(id)) error::fire(error::Id::invalid_arg, {id});
    if (cat::find_id(cat::category_context(static_cast<uint32_t>(category)), id.w2) < 0)
        error::fire(error::Id::invalid_spec_field, {field_word(Field::id)});
    Cell* error = push_blank();
    *slot(*error, Field::type) = type;
    *slot(*error, Field::id) = id;
    set_code_from_words(*error);
    return error;
}

// [field: value ...]: the block runs with its words bound to the new error.
Cell* make_from_fields(Cell& spec) {
    Cell* error = push_blank();
    context::bind(spec, error->w1, true);
    evaluation::eval_block(spec, false);
    if (stack::exiting()) return error;
    stack::data.top = error + 1;
    set_code_from_words(*error);
    return error;
}

// --- Text ----------------------------------------------------------------------

// Appends a value formed or molded, cut to at most `max` characters.
int32_t put_value(Cell& out, const Cell& value, bool mold, bool only, int32_t max, int32_t budget) {
    const uint32_t before = text_buffer::length(out);
    const Cell part = integer_cell(max);
    if (mold)
        (void)actions::call_mold(value, out, only, false, true, &part, max, 0);
    else
        (void)actions::call_form(value, out, &part, max);
    text_buffer::cut(out, before + static_cast<uint32_t>(max));
    return budget - static_cast<int32_t>(text_buffer::length(out) - before);
}

// A malformed error becomes internal invalid-error, naming the value that
// did not fit.
void mark_invalid(const Cell& error, const Cell& offending) {
    const uint32_t internal = static_cast<uint32_t>(error::index_of(error::Category::internal));
    *slot(error, Field::arg1) = offending;
    set_entry(error, internal, static_cast<uint32_t>(error::ordinal_of(error::Id::invalid_error)) + 2);
}

// The value of the error's field named by the symbol, or none.
Cell field_named(const Cell& error, uint32_t symbol) {
    const int32_t index = context::find_word(error.w1, symbol, true);
    return index < 0 ? none::value : *context::value_cell_at(error.w1, static_cast<uint32_t>(index));
}

// A message block: strings as they are, argument words by the field's value
// (formed for syntax errors, else molded), one space between items.
int32_t put_message(Cell& out, const Cell& message, const Cell& error, bool syntax, int32_t budget) {
    const uint32_t n = series::buffer(message.w2)->length();
    for (uint32_t i = message.w1; i < n; i++) {
        const Cell item = series::buffer(message.w2)->cells()[i];
        const TypeId t = type_of(item);
        if (t == TypeId::string)
            budget = put_value(out, item, false, false, INT32_MAX, budget);
        else if (t == TypeId::word || t == TypeId::get_word)
            budget = put_value(out, field_named(error, item.w2), !syntax, false, 80, budget);
        if (i + 1 < n) budget = text_buffer::put(out, " ", budget);
    }
    return budget;
}

// The calls up to the call-stack position, each followed by a space.
int32_t put_trace(Cell& out, int32_t depth, uint32_t end, int32_t budget) {
    Cell* calls = stack::push(none::value);
    *calls = Cell{to_int(TypeId::block), 0, series::alloc_cells(20), 0};
    stack::collect_calls(depth, calls->w2, end);
    for (uint32_t i = 0; i < series::buffer(calls->w2)->length(); i++) {
        budget = put_value(out, series::buffer(calls->w2)->cells()[i], false, false, INT32_MAX, budget);
        budget = text_buffer::put(out, " ", budget);
    }
    stack::pop(1);
    return budget;
}

// Resolves the error's category and id (repairing a malformed error) and
// answers the category's context and the id's position.
void resolve(const Cell& error, NodeId& category, uint32_t& position) {
    const Cell type = *slot(error, Field::type);
    const int32_t c = is_word_like(type_of(type)) ? cat::find_category(type.w2) : -1;
    if (c >= 0) {
        category = cat::category_context(static_cast<uint32_t>(c));
        const Cell id = *slot(error, Field::id);
        const int32_t p = is_word_like(type_of(id)) ? cat::find_id(category, id.w2) : -1;
        if (p >= 0) {
            position = static_cast<uint32_t>(p);
            return;
        }
        mark_invalid(error, id);
    } else {
        mark_invalid(error, type);
    }
    category = cat::category_context(static_cast<uint32_t>(error::index_of(error::Category::internal)));
    position = static_cast<uint32_t>(error::ordinal_of(error::Id::invalid_error)) + 2;
}

}  // namespace

Cell* field(const Cell& error, Field f) { return slot(error, f); }

Cell* push_new(error::Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3, const Cell& near) {
    Cell* base = stack::push(arg1 ? *arg1 : none::value);
    stack::push(arg2 ? *arg2 : none::value);
    stack::push(arg3 ? *arg3 : none::value);
    stack::push(near);
    Cell* error = push_blank();
    set_entry(*error, static_cast<uint32_t>(error::index_of(error::category_of(id))),
              static_cast<uint32_t>(error::ordinal_of(id)) + 2);
    *slot(*error, Field::arg1) = base[0];
    *slot(*error, Field::arg2) = base[1];
    *slot(*error, Field::arg3) = base[2];
    *slot(*error, Field::near) = base[3];
    base[0] = *error;
    stack::data.top = base + 1;
    return base;
}

Cell* push_from_words(const Cell& category, const Cell& id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    Cell* base = stack::push(arg1 ? *arg1 : none::value);
    stack::push(arg2 ? *arg2 : none::value);
    stack::push(arg3 ? *arg3 : none::value);
    stack::push(category);
    stack::push(id);
    Cell* error = push_blank();
    *slot(*error, Field::type) = base[3];
    *slot(*error, Field::id) = base[4];
    set_code_from_words(*error);
    *slot(*error, Field::arg1) = base[0];
    *slot(*error, Field::arg2) = base[1];
    *slot(*error, Field::arg3) = base[2];
    *slot(*error, Field::near) = evaluation::current_code();
    base[0] = *error;
    stack::data.top = base + 1;
    return base;
}

uint32_t category_symbol(const Cell& error) {
    const Cell v = *slot(error, Field::type);
    return is_word_like(type_of(v)) ? v.w2 : 0;
}

uint32_t id_symbol(const Cell& error) {
    const Cell v = *slot(error, Field::id);
    return is_word_like(type_of(v)) ? v.w2 : 0;
}

void install_environment(const Environment& e) { environment = e; }
int32_t stack_trace_depth() { return environment.stack_trace ? environment.stack_trace() : 0; }
const Cell* source_files() { return environment.source_files ? environment.source_files() : nullptr; }

const Cell* make(Cell*, Cell* spec, TypeId) {
    Cell s = *spec;
    Cell* error = nullptr;
    switch (type_of(s)) {
        case TypeId::integer: error = make_from_code(s); break;
        case TypeId::block: {
            series::Buffer* b = series::buffer(s.w2);
            const TypeId first = s.w1 < b->length() ? type_of(b->cells()[s.w1]) : TypeId::none_id;
            if (first == TypeId::word)
                error = make_from_names(s);
            else if (first == TypeId::set_word)
                error = make_from_fields(s);
            else
                error::fire(error::Id::invalid_error);
            if (stack::exiting()) return error;
            break;
        }
        case TypeId::string: {
            const Cell near = evaluation::current_code();
            return push_new(error::Id::message, &s, nullptr, nullptr, near);
        }
        default: error::bad_make_arg(datatype::value(TypeId::error), s);
    }
    *slot(*error, Field::near) = evaluation::current_code();
    return error;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    Cell error = *value;
    collector::RootGuard keep(error);
    Cell& out = *buffer;
    int32_t budget = text_buffer::put(out, "*** ", limit);
    NodeId category = 0;
    uint32_t position = 0;
    resolve(error, category, position);
    Cell message = *context::value_cell_at(category, position);
    if (is_word(message)) message = field_named(error, message.w2);
    budget = put_value(out, *context::value_cell_at(category, 1), false, false, INT32_MAX, budget);
    budget = text_buffer::put(out, ": ", budget);
    if (type_of(message) == TypeId::string) {
        budget = put_value(out, message, false, false, INT32_MAX, budget);
    } else if (type_of(message) == TypeId::block) {
        const bool syntax = category == cat::category_context(error::index_of(error::Category::syntax));
        budget = put_message(out, message, error, syntax, budget);
    } else {
        mark_invalid(error, *slot(error, Field::type));
    }
    budget = text_buffer::put(out, "\n*** Where: ", budget);
    const Cell where = *slot(error, Field::where);
    if (is_word(where) || type_of(where) == TypeId::string)
        budget = put_value(out, where, false, false, INT32_MAX, budget);
    else
        budget = text_buffer::put(out, "???", budget);
    budget = text_buffer::put(out, "\n*** Near : ", budget);
    budget = put_value(out, *slot(error, Field::near), true, true, 40, budget);
    const int32_t depth = stack_trace_depth();
    const Cell stack_field = *slot(error, Field::stack);
    if (depth > 0 && type_of(stack_field) == TypeId::integer) {
        budget = text_buffer::put(out, "\n*** Stack: ", budget);
        budget = put_trace(out, depth, stack_field.w2, budget);
    } else if (depth > 0 && type_of(stack_field) == TypeId::block) {
        budget = text_buffer::put(out, "\n*** Stack: ", budget);
        budget = put_value(out, stack_field, false, false, INT32_MAX, budget);
    }
    const Cell files = *slot(error, Field::files);
    if (type_of(files) == TypeId::block) {
        budget = text_buffer::put(out, "\n*** Files: ", budget);
        budget = put_value(out, files, true, true, 40, budget);
    }
    return budget;
}

// "make error! [" and the fields as an object writes them, one per line
// four spaces in per level (one line when flat).
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    Cell error = *value;
    collector::RootGuard keep(error);
    Cell& out = *buffer;
    if (!only) limit = text_buffer::put(out, "make error! [", limit);
    limit = object::form_fields(error, out, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent > 0) limit = text_buffer::indent(out, indent, limit);
    if (!only) limit = text_buffer::put(out, "]", limit);
    return limit;
}

// Fields by name, as for any object.
Cell* eval_path(const actions::EvalPathArgs& args) { return object::eval_path(args); }

// Errors compare as objects; an error equals itself.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    if (type_of(*value2) != TypeId::error) return -2;
    Cell as_object = *value2;
    set_type_keep_flags(as_object, TypeId::object);
    return object::compare(value1, &as_object, op);
}

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::form>(form).own<Action::mold>(mold);
    row.own<Action::eval_path>(eval_path).own<Action::compare>(compare);
    row.inherit(Action::reflect).inherit(Action::copy).inherit(Action::find).inherit(Action::select);
    datatype::register_type(TypeId::error, TypeId::object, "error!", row);
}

}  // namespace qor::error_type
