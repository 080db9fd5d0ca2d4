// tag!, email! and ref!: form and mold, and email! path access.
#include "runtime/strings/tag_email_ref.h"

#include <algorithm>

#include "runtime/datatypes/registry.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"

namespace qor::tag_email_ref {

namespace {

// "<" text ">" (form and mold alike).
int32_t tag_form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    str::append_char(buffer->w2, '<');
    limit = string_type::form(value, buffer, part, limit - 1);
    str::append_char(buffer->w2, '>');
    return limit - 1;
}

int32_t tag_mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return tag_form(value, buffer, part, limit);
}

int32_t email_mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return string_type::form(value, buffer, part, limit);
}

int32_t ref_mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    str::append_char(buffer->w2, '@');
    return string_type::form(value, buffer, part, limit - 1);
}

// E/user and E/host read or replace the text before and after the "@".
Cell* email_eval_path(const actions::EvalPathArgs& a) {
    const Cell key = *a.element;
    if (type_of(key) == TypeId::integer) return string_type::eval_path(a);
    if (type_of(key) != TypeId::word) error::fire(error::Id::invalid_path, {key, *a.path});
    const uint32_t sym = symbol::resolve_alias(key.w2);
    const bool user = sym == to_int(Sym::user);
    if (!user && sym != to_int(Sym::host)) error::fire(error::Id::invalid_path, {key, *a.path});
    const Cell e = *a.parent;
    const uint32_t length = str::length_at(e);
    const int32_t at = str::find_char(e, '@');
    const uint32_t split = at < 0 ? length : static_cast<uint32_t>(at);
    const uint32_t from = user ? 0 : std::min(split + 1, length);
    const uint32_t count = user ? split : length - from;
    if (!a.value) {
        Cell* out = stack::push(unset_cell);
        str::make_at(*out, count, str::buffer_of(e)->unit());
        str::concatenate(*out, Cell{e.header, e.w1 + from, e.w2, 0}, static_cast<int32_t>(count), 0,
                         str::Mode::append);
        *a.parent = *out;
        stack::pop();
        return a.parent;
    }
    // The part is replaced in the email itself through change/part.
    Cell* target = stack::push(Cell{e.header, e.w1 + from, e.w2, 0});
    Cell* part = stack::push(Cell{to_int(TypeId::integer), 0, count, 0});
    Cell* value = stack::push(*a.value);
    string_type::change(target, value, part, false, nullptr);
    *a.parent = *value;
    stack::pop(3);
    return a.parent;
}

// What every one of them keeps of string!.
constexpr Action kept[] = {
    Action::make, Action::to, Action::compare, Action::append, Action::change, Action::find,
    Action::insert, Action::select, Action::swap, Action::take, Action::at, Action::back, Action::clear,
    Action::copy, Action::head, Action::head_q, Action::index_q, Action::length_q, Action::move,
    Action::next, Action::pick, Action::poke, Action::remove, Action::reverse, Action::skip, Action::tail,
    Action::tail_q, Action::modify, Action::reflect,
};

datatype::ActionRow kept_row(bool with_form, bool with_append = true) {
    datatype::ActionRow row;
    for (Action a : kept)
        if (with_append || a != Action::append) row.inherit(a);
    if (with_form) row.inherit(Action::form);
    return row;
}

}  // namespace

void init_tag() {
    datatype::ActionRow row = kept_row(false);
    row.inherit(Action::eval_path);
    row.own<Action::form>(tag_form).own<Action::mold>(tag_mold);
    datatype::register_type(TypeId::tag, TypeId::string, "tag!", row);
}

void init_email() {
    datatype::ActionRow row = kept_row(true);
    row.own<Action::mold>(email_mold).own<Action::eval_path>(email_eval_path);
    datatype::register_type(TypeId::email, TypeId::string, "email!", row);
}

// A ref! is not appended to (nor path-accessed).
void init_ref() {
    datatype::ActionRow row = kept_row(true, false);
    row.own<Action::mold>(ref_mold);
    datatype::register_type(TypeId::ref, TypeId::string, "ref!", row);
}

}  // namespace qor::tag_email_ref
