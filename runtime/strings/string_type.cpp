// string!: registration, with the actions it owns and those it takes from
// series!.
#include "runtime/datatypes/registry.h"
#include "runtime/strings/string_actions.h"

namespace qor::string_type {

namespace {

// A string keeps its series; keys hash by their characters ignoring case.
void mark_string_value(Cell& c) {
    collector::mark_series(&c.w2);
    collector::mark_series(&c.w3);
}

uint32_t hash_string_key(const Cell& key) {
    return hashtable::hash_string_key(key);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::to>(to).own<Action::form>(form).own<Action::mold>(mold);
    row.own<Action::eval_path>(eval_path).own<Action::compare>(compare);
    row.own<Action::append>(append).own<Action::change>(change).own<Action::insert>(insert);
    row.own<Action::find>(find).own<Action::select>(select).own<Action::sort>(sort);
    row.own<Action::swap>(swap).own<Action::take>(take).own<Action::trim>(trim);
    for (Action a : {Action::random, Action::reflect, Action::at, Action::back, Action::clear, Action::copy,
                     Action::head, Action::head_q, Action::index_q, Action::length_q, Action::move, Action::next,
                     Action::pick, Action::poke, Action::remove, Action::reverse, Action::skip, Action::tail,
                     Action::tail_q, Action::modify})
        row.inherit(a);
    row.mark(&mark_string_value).hash(&hash_string_key);
    datatype::register_type(TypeId::string, TypeId::series, row);
}

}  // namespace qor::string_type
