// port!: making a port from a make argument and a scheme, handing its actions to the
// actor's functions (or a handle actor's routine table), read and write as
// open, copy and close, and its mold.
#include "runtime/datatypes/port.h"

#include <initializer_list>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/object_call.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::port {

namespace {

SystemLookup system_lookup = nullptr;

Cell system_part(SystemPart part) { return system_lookup ? system_lookup(part) : none::value; }


Cell field(const Cell& object, uint32_t index) {
    if (index >= object::field_count(object)) return none::value;
    return *context::value_cell_at(object.w1, index);
}

// An object with the given fields, all none, in `out` (a root).
void object_with_fields(Cell& out, std::initializer_list<std::string_view> names) {
    object::make_at(out, static_cast<uint32_t>(names.size()));
    for (std::string_view name : names) {
        const Cell w = word::load(name);
        const int32_t index = context::add_word(out.w1, w.w2);
        *context::value_cell_at(out.w1, static_cast<uint32_t>(index)) = none::value;
    }
}

// A standard prototype from the system, or the fallback with its fields.
void prototype(Cell& out, SystemPart part, std::initializer_list<std::string_view> names) {
    const Cell found = system_part(part);
    if (type_of(found) == TypeId::object) {
        object::copy_into(found, out, false, nullptr, false);
        out.w2 = 0;
        out.w3 = 0;
        *context::self(out.w1) = out;
        return;
    }
    object_with_fields(out, names);
}

// The scheme the registry holds under the word, or none. The registry is a
// block of name and scheme pairs (as the library registers them) or an
// object with a field per scheme; names compare ignoring case.
Cell find_scheme(const Cell& schemes, const Cell& name) {
    if (type_of(schemes) == TypeId::object) return *object::get_word_cell(schemes, name);
    if (type_of(schemes) != TypeId::block) return none::value;
    const uint32_t wanted = symbol::resolve_alias(word::symbol_of(name));
    const uint32_t count = series_tail::cell_count(schemes);
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        const Cell* key = series_tail::cell_at(schemes, i);
        if (is_word_like(type_of(*key)) && symbol::resolve_alias(word::symbol_of(*key)) == wanted)
            return *series_tail::cell_at(schemes, i + 1);
    }
    return none::value;
}

const Cell* make(Cell*, Cell* spec_in, TypeId) {
    Cell* spec = stack::push(*spec_in);
    if (type_of(*spec) != TypeId::object) {
        Cell* parts = stack::push(none::value);
        prototype(*parts, SystemPart::url_parts,
                  {"scheme", "user-info", "host", "port", "path", "target", "query", "fragment", "ref"});
        *spec = *object::make(parts, spec, TypeId::object);
        if (stack::exiting()) return spec;
    }
    const Cell scheme_word = field(*spec, 0);
    if (type_of(scheme_word) != TypeId::word) error::fire(error::Id::no_scheme, {*spec});
    Cell* port = stack::push(none::value);
    prototype(*port, SystemPart::standard_port, {"spec", "scheme", "actor", "awake", "state", "data", "extra"});
    set_header(*port, TypeId::port);
    port->w2 = class_id;
    *context::self(port->w1) = *port;
    *context::value_cell_at(port->w1, field_spec) = *spec;
    *context::value_cell_at(port->w1, field_scheme) = scheme_word;
    const Cell schemes = system_part(SystemPart::schemes);
    const Cell scheme = find_scheme(schemes, scheme_word);
    if (type_of(scheme) != TypeId::object) error::fire(error::Id::unknown_scheme, {scheme_word});
    const Cell actor = field(scheme, scheme_field_actor);
    if (type_of(actor) != TypeId::object && type_of(actor) != TypeId::handle) error::fire(error::Id::invalid_actor, {scheme_word});
    *context::value_cell_at(port->w1, field_actor) = actor;
    return port;
}

// --- Handing actions to the actor ----------------------------------------------

// The routine of a handle actor for the action, nullptr when the actor is
// not a handle; an empty entry raises no-port-action.
actions::Routine handle_routine(const Cell& port, Action a) {
    const Cell actor = field(port, field_actor);
    if (type_of(actor) != TypeId::handle) return nullptr;
    const auto index = static_cast<int32_t>(actor.w3);
    const auto* table =
        index >= 0 && static_cast<uint32_t>(index) < handle::capacity()
            ? static_cast<const ActorTable*>(handle::entry(index).object)
            : nullptr;
    const actions::Routine r = table ? table->routines[to_int(a) - to_int(first_series_action)] : nullptr;
    if (!r) error::fire(error::Id::no_port_action, {word::load(action_word(a))});
    return r;
}

Cell flag(bool on) { return on ? logic::true_value : logic::false_value; }
Cell flag(const Cell* given) { return flag(given != nullptr); }
Cell value_or_none(const Cell* given) { return given ? *given : none::value; }

// Calls the actor's function named after the action with the port and the
// items; answers its result.
Cell forward(Action a, const Cell& port_in, std::initializer_list<Cell> items) {
    Cell* args = stack::push(port_in);
    for (const Cell& item : items) stack::push(item);
    const Cell actor = field(*args, field_actor);
    if (type_of(actor) != TypeId::object) error::fire(error::Id::invalid_port, {*args});
    const Cell name = word::load(action_word(a));
    const Cell fn = *object::get_word_cell(actor, name);
    if (type_of(fn) != TypeId::function) error::fire(error::Id::no_port_action, {name});
    Cell result = none::value;
    const size_t count = items.size() + 1;
    if (!object::call_function(fn, name.w2, {args, count}, &result)) return none::value;
    stack::data.top = args;
    return result;
}

// Actions that take the port alone, or the port and one more argument.
template <Action A>
Cell* port_only() {
    if (auto r = handle_routine(*stack::arg(0), A)) return actions::restore<A>(r)();
    return stack::set_result(forward(A, *stack::arg(0), {}));
}
template <Action A>
Cell* port_and_arg() {
    if (auto r = handle_routine(*stack::arg(0), A)) return actions::restore<A>(r)();
    return stack::set_result(forward(A, *stack::arg(0), {*stack::arg(1)}));
}

template <Action A>
const Cell* insert_like(Cell* port, Cell* value, const Cell* part, bool only, const Cell* dup) {
    if (auto r = handle_routine(*port, A)) return actions::restore<A>(r)(port, value, part, only, dup);
    const bool repeated = dup && type_of(*dup) == TypeId::integer && get_int(*dup) > 1;
    return stack::set_result(forward(A, *port, {*value, flag(part), value_or_none(part), flag(only), flag(repeated),
                                                value_or_none(dup)}));
}

const Cell* copy(Cell* port, Cell* result, const Cell* part, bool deep, const Cell* types) {
    if (auto r = handle_routine(*port, Action::copy))
        return actions::restore<Action::copy>(r)(port, result, part, deep, types);
    *result = forward(Action::copy, *port, {flag(part), value_or_none(part), flag(deep), flag(types),
                                            value_or_none(types)});
    return result;
}

template <Action A>
const Cell* find_like(Cell* port, Cell* value, const actions::FindArgs& f) {
    if (auto r = handle_routine(*port, A)) return actions::restore<A>(r)(port, value, f);
    if constexpr (A == Action::find) {
        return stack::set_result(forward(A, *port, {*value, flag(f.part), value_or_none(f.part), flag(f.only),
                                                    flag(f.case_sensitive), flag(f.same), flag(f.any), flag(f.with),
                                                    value_or_none(f.with), flag(f.skip), value_or_none(f.skip),
                                                    flag(f.last), flag(f.reverse), flag(f.tail), flag(f.match)}));
    } else {
        return stack::set_result(forward(A, *port, {*value, flag(f.part), value_or_none(f.part), flag(f.only),
                                                    flag(f.case_sensitive), flag(f.same), flag(f.any), flag(f.with),
                                                    value_or_none(f.with), flag(f.skip), value_or_none(f.skip),
                                                    flag(f.last), flag(f.reverse)}));
    }
}

int32_t length(const Cell* port) {
    Cell p = *port;
    if (auto r = handle_routine(p, Action::length_q)) return actions::restore<Action::length_q>(r)(port);
    const Cell n = forward(Action::length_q, p, {});
    return type_of(n) == TypeId::integer ? get_int(n) : -1;
}

const Cell* move(Cell* port, Cell* target, const Cell* part) {
    if (auto r = handle_routine(*port, Action::move)) return actions::restore<Action::move>(r)(port, target, part);
    return stack::set_result(forward(Action::move, *port, {*target, flag(part), value_or_none(part)}));
}

const Cell* pick(Cell* port, Cell* index_cell, int32_t index) {
    if (auto r = handle_routine(*port, Action::pick))
        return actions::restore<Action::pick>(r)(port, index_cell, index);
    return stack::set_result(forward(Action::pick, *port, {*index_cell}));
}

const Cell* poke(Cell* port, Cell* index_cell, int32_t index, Cell* value) {
    if (auto r = handle_routine(*port, Action::poke))
        return actions::restore<Action::poke>(r)(port, index_cell, index, value);
    return stack::set_result(forward(Action::poke, *port, {*index_cell, *value}));
}

const Cell* put(Cell* port, Cell* key, Cell* value, bool case_sensitive) {
    if (auto r = handle_routine(*port, Action::put))
        return actions::restore<Action::put>(r)(port, key, value, case_sensitive);
    return stack::set_result(forward(Action::put, *port, {*key, *value, flag(case_sensitive)}));
}

const Cell* modify(Cell* port, Cell* field_word, Cell* value, bool case_sensitive) {
    if (auto r = handle_routine(*port, Action::modify))
        return actions::restore<Action::modify>(r)(port, field_word, value, case_sensitive);
    return stack::set_result(forward(Action::modify, *port, {*field_word, *value, flag(case_sensitive)}));
}

const Cell* remove(Cell* port, const Cell* part, const Cell* key) {
    if (auto r = handle_routine(*port, Action::remove)) return actions::restore<Action::remove>(r)(port, part, key);
    return stack::set_result(forward(Action::remove, *port, {flag(part), value_or_none(part)}));
}

const Cell* reverse(Cell* port, const Cell* part, const Cell* skip) {
    if (auto r = handle_routine(*port, Action::reverse))
        return actions::restore<Action::reverse>(r)(port, part, skip);
    return stack::set_result(forward(Action::reverse, *port, {flag(part), value_or_none(part)}));
}

const Cell* sort(Cell* port, const actions::SortArgs& s) {
    if (auto r = handle_routine(*port, Action::sort)) return actions::restore<Action::sort>(r)(port, s);
    return stack::set_result(forward(Action::sort, *port,
                                     {flag(s.case_sensitive), flag(s.skip), value_or_none(s.skip),
                                      flag(s.comparator), value_or_none(s.comparator), flag(s.part),
                                      value_or_none(s.part), flag(s.all), flag(s.reverse), flag(s.stable)}));
}

const Cell* take(Cell* port, const Cell* part, bool deep, bool last) {
    if (auto r = handle_routine(*port, Action::take)) return actions::restore<Action::take>(r)(port, part, deep, last);
    return stack::set_result(forward(Action::take, *port, {flag(part), value_or_none(part), flag(deep), flag(last)}));
}

const Cell* trim(Cell* port, const actions::TrimArgs& t) {
    if (auto r = handle_routine(*port, Action::trim)) return actions::restore<Action::trim>(r)(port, t);
    return stack::set_result(forward(Action::trim, *port, {flag(t.head), flag(t.tail), flag(t.auto_), flag(t.lines),
                                                           flag(t.all), flag(t.with), value_or_none(t.with)}));
}

Cell open_port(const Cell& port, bool new_, bool read, bool write, bool seek, const Cell* allow) {
    return forward(Action::open, port, {flag(new_), flag(read), flag(write), flag(seek), value_or_none(allow)});
}

const Cell* open(Cell* port, const actions::OpenArgs& o) {
    if (auto r = handle_routine(*port, Action::open)) return actions::restore<Action::open>(r)(port, o);
    return stack::set_result(open_port(*port, o.new_, o.read, o.write, o.seek, o.allow));
}

// read: open, copy (with the read's part), close; the copy's result answers.
const Cell* read(Cell* port_in, const actions::ReadArgs& a) {
    if (auto r = handle_routine(*port_in, Action::read)) return actions::restore<Action::read>(r)(port_in, a);
    Cell* port = stack::push(*port_in);
    open_port(*port, false, false, false, a.seek != nullptr, nullptr);
    if (stack::exiting()) return port;
    Cell* data = stack::push(forward(Action::copy, *port, {flag(a.part), value_or_none(a.part), flag(false),
                                                           flag(false), none::value}));
    if (stack::exiting()) return data;
    forward(Action::close, *port, {});
    if (stack::exiting()) return data;
    return stack::set_result(*data);
}

// write: open for writing, insert the data once, copy, close.
const Cell* write(Cell* port_in, Cell* data, const actions::WriteArgs& a) {
    if (auto r = handle_routine(*port_in, Action::write)) return actions::restore<Action::write>(r)(port_in, data, a);
    Cell* port = stack::push(*port_in);
    open_port(*port, false, false, true, a.seek != nullptr, nullptr);
    if (stack::exiting()) return port;
    const Cell* part = a.part && type_of(*a.part) == TypeId::integer ? a.part : nullptr;
    forward(Action::insert, *port, {*data, flag(part), value_or_none(part), flag(false), flag(false), none::value});
    if (stack::exiting()) return port;
    Cell* copied = stack::push(forward(Action::copy, *port, {flag(false), none::value, flag(false), flag(false),
                                                             none::value}));
    if (stack::exiting()) return copied;
    forward(Action::close, *port, {});
    if (stack::exiting()) return copied;
    return stack::set_result(*copied);
}

// --- Text ----------------------------------------------------------------------

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent) {
    text_buffer::append_ascii(*buffer, "make port! [");
    limit -= 12;
    limit = object::form_fields(*value, *buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent > 0) limit = text_buffer::indent(*buffer, indent, limit);
    text_buffer::append_ascii(*buffer, "]");
    return limit - 1;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    return mold(value, buffer, false, false, false, part, limit, 0);
}

}  // namespace

void install_system_lookup(SystemLookup lookup) { system_lookup = lookup; }

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(&make)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold)
        .inherit(Action::reflect)
        .inherit(Action::eval_path)
        .inherit(Action::compare)
        .own<Action::append>(&insert_like<Action::append>)
        .own<Action::at>(&port_and_arg<Action::at>)
        .own<Action::back>(&port_only<Action::back>)
        .own<Action::change>(&insert_like<Action::change>)
        .own<Action::clear>(&port_only<Action::clear>)
        .own<Action::copy>(&copy)
        .own<Action::find>(&find_like<Action::find>)
        .own<Action::head>(&port_only<Action::head>)
        .own<Action::head_q>(&port_only<Action::head_q>)
        .own<Action::index_q>(&port_only<Action::index_q>)
        .own<Action::insert>(&insert_like<Action::insert>)
        .own<Action::length_q>(&length)
        .own<Action::move>(&move)
        .own<Action::next>(&port_only<Action::next>)
        .own<Action::pick>(&pick)
        .own<Action::poke>(&poke)
        .own<Action::put>(&put)
        .own<Action::remove>(&remove)
        .own<Action::reverse>(&reverse)
        .own<Action::select>(&find_like<Action::select>)
        .own<Action::sort>(&sort)
        .own<Action::skip>(&port_and_arg<Action::skip>)
        .own<Action::swap>(&port_and_arg<Action::swap>)
        .own<Action::tail>(&port_only<Action::tail>)
        .own<Action::tail_q>(&port_only<Action::tail_q>)
        .own<Action::take>(&take)
        .own<Action::trim>(&trim)
        .own<Action::create>(&port_only<Action::create>)
        .own<Action::close>(&port_only<Action::close>)
        .own<Action::delete_>(&port_only<Action::delete_>)
        .own<Action::modify>(&modify)
        .own<Action::open>(&open)
        .own<Action::query>(&port_only<Action::query>)
        .own<Action::read>(&read)
        .own<Action::rename>(&port_and_arg<Action::rename>)
        .own<Action::update>(&port_only<Action::update>)
        .own<Action::write>(&write);
    datatype::register_type(TypeId::port, TypeId::object, "port!", row);
}

}  // namespace qor::port
