// Building argument caches from specs.
#include "runtime/datatypes/arg_cache.h"

#include <string_view>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::arg_cache {

namespace {

using T = TypeId;

struct NamedSet {
    std::string_view name;
    std::initializer_list<T> types;
};

// The standard typesets, for specs read before the library defines them.
// These names come first: `series!` is the set here, not the abstract
// parent datatype of that name.
const NamedSet named_sets[] = {
    {"any-word!", {T::word, T::set_word, T::lit_word, T::get_word, T::refinement, T::issue}},
    {"any-string!", {T::string, T::file, T::url, T::tag, T::email, T::ref}},
    {"any-block!", {T::block, T::paren, T::path, T::lit_path, T::set_path, T::get_path, T::hash}},
    {"any-list!", {T::block, T::paren, T::hash}},
    {"any-path!", {T::path, T::lit_path, T::set_path, T::get_path}},
    {"any-object!", {T::object, T::error, T::port}},
    {"any-function!", {T::native, T::action, T::op, T::function, T::routine}},
    {"any-point!", {T::point2d, T::point3d}},
    {"number!", {T::integer, T::float_, T::percent}},
    {"scalar!", {T::char_, T::integer, T::float_, T::pair, T::percent, T::tuple, T::time, T::date, T::money,
                 T::point2d, T::point3d}},
    {"series!", {T::block, T::paren, T::string, T::file, T::url, T::path, T::lit_path, T::set_path,
                 T::get_path, T::vector, T::hash, T::binary, T::tag, T::email, T::ref, T::image}},
};

Cell* cells(NodeId node) { return series::buffer(node)->cells(); }

void append(NodeId node, const Cell& c) { *series_tail::alloc_cell(node) = c; }

}  // namespace

void add_type_word(Cell& ts, const Cell& word) {
    if (type_of(word) != TypeId::word) error::fire(error::Id::invalid_type_spec, {word});
    const std::string_view name = symbol::spelling(word.w2);
    if (name == "any-type!") {
        for (int t = 1; t < type_table_size; t++) typeset::add(ts, static_cast<TypeId>(t));
        return;
    }
    // A typeset the library defines under the name takes precedence over the
    // built-in fallback of the same name.
    const Cell value = *context::value_cell(word);
    if (type_of(value) == TypeId::typeset) {
        typeset::add_type(ts, value);
        return;
    }
    for (const NamedSet& set : named_sets) {
        if (set.name != name) continue;
        for (T t : set.types) typeset::add(ts, t);
        return;
    }
    // `default!`: every datatype but unset!, as an untyped argument takes.
    if (name == "default!") {
        const Cell all = typeset::all_but_unset();
        ts.w1 |= all.w1;
        ts.w2 |= all.w2;
        ts.w3 |= all.w3;
        return;
    }
    if (type_of(value) == TypeId::datatype) {
        typeset::add_type(ts, value);
        return;
    }
    // A datatype name: the runtime interns them first, as symbols 1 to 54.
    const uint32_t canonical = symbol::resolve_alias(word.w2);
    if (canonical >= 1 && canonical <= type_name_count) {
        typeset::add(ts, static_cast<TypeId>(canonical));
        return;
    }
    error::fire(error::Id::invalid_type_spec, {word});
}

bool is_standard_type_name(uint32_t sym) {
    const std::string_view name = symbol::spelling(sym);
    if (name == "any-type!" || name == "default!") return true;
    for (const NamedSet& set : named_sets)
        if (set.name == name) return true;
    const uint32_t canonical = symbol::resolve_alias(sym);
    return canonical >= 1 && canonical <= type_name_count;
}

NodeId build(const Cell& spec, bool for_native) {
    const NodeId spec_node = spec.w2;
    stack::push(spec);  // the interface block stays reachable while the cache grows
    const NodeId cache = series::alloc_cells(8);
    stack::push(Cell{to_int(TypeId::block), 0, cache, 0});  // kept while types are looked up
    uint32_t locals = 0, refinements = 0;
    bool in_locals = false;
    const uint32_t local_sym = symbol::resolve_alias(to_int(Sym::local));
    for (uint32_t i = spec.w1; i < series::buffer(spec_node)->length(); i++) {
        const Cell v = cells(spec_node)[i];
        const TypeId t = type_of(v);
        if (i == spec.w1 && t == TypeId::block) continue;  // attributes
        if (t == TypeId::word || t == TypeId::get_word || t == TypeId::lit_word) {
            if (in_locals) {
                locals++;
                continue;
            }
            const uint32_t kind = t == TypeId::word ? 0 : t == TypeId::get_word ? 1 : 2;
            Cell entry = typeset::all_but_unset();
            const bool typed = i + 1 < series::buffer(spec_node)->length() &&
                               type_of(cells(spec_node)[i + 1]) == TypeId::block;
            if (typed) {
                typeset::clear(entry);
                const Cell types = cells(spec_node)[++i];
                for (uint32_t k = types.w1; k < series::buffer(types.w2)->length(); k++)
                    add_type_word(entry, cells(types.w2)[k]);
            }
            entry.header = to_int(TypeId::typeset) | kind << kind_shift;
            entry.w3 = v.w2;
            append(cache, entry);
        } else if (t == TypeId::refinement) {
            if (symbol::resolve_alias(v.w2) == local_sym) {
                in_locals = true;
                locals = 1;
                continue;
            }
            Cell entry = v;
            entry.header = to_int(TypeId::refinement);
            append(cache, entry);
            refinements++;
        } else if (t == TypeId::set_word) {
            in_locals = false;
            if (i + 1 < series::buffer(spec_node)->length() && type_of(cells(spec_node)[i + 1]) == TypeId::block) i++;
        }
    }
    if (for_native) {
        append(cache, Cell{to_int(TypeId::integer), 0, refinements, 0});
    } else if (locals > 0) {
        append(cache, Cell{to_int(TypeId::integer), 0, locals, 0});
    }
    stack::pop(2);
    return cache;
}

NodeId make_for(const Cell& fn) {
    const NodeId cache = build(Cell{to_int(TypeId::block), 0, fn.w2, 0}, type_of(fn) != TypeId::function && type_of(fn) != TypeId::routine);
    *native::cache_cell(fn) = Cell{to_int(TypeId::block), 0, cache, 0};
    return cache;
}

}  // namespace qor::arg_cache
