// series!: position helpers, navigation, pick and poke, random, clear,
// reflect and modify, and the registration. The routines that cut and move
// units (remove, reverse, take, copy, move) are in series_edit.cpp.
#include "runtime/datatypes/series_type.h"

#include <algorithm>
#include <cstring>

#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/random_draw.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/registry.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/random.h"
#include "runtime/hash/hash_table.h"
#include "runtime/hash/murmur3.h"
#include "runtime/unicode/string_codec.h"
#include "runtime/words/symbol.h"
#include "runtime/unicode/string_units.h"

namespace qor::series_type {

using ownership::Change;

// --- Positions ----------------------------------------------------------------

uint32_t length_at(Cell& s, bool from_head) {
    const uint32_t length = length_of_buffer(s);
    if (from_head) return length;
    if (s.w1 > length) {
        s.w1 = length;
        return 0;
    }
    return length - s.w1;
}

bool skip(Cell& s, int32_t n) {
    const int64_t to = int64_t{s.w1} + n;
    const uint32_t length = length_of_buffer(s);
    if (to >= 0 && to <= length) s.w1 = static_cast<uint32_t>(to);
    return s.w1 >= length;
}

uint32_t index_check(int mode) {
    const Cell& s = *stack::arg(0);
    const Cell& n_cell = *stack::arg(1);
    if (type_of(n_cell) != TypeId::integer) error::fire(error::Id::invalid_arg, {n_cell});
    const int64_t n = get_int(n_cell);
    int64_t to = int64_t{s.w1} + n;
    if (mode == 1 && n >= 1) to -= 1;
    return static_cast<uint32_t>(std::clamp<int64_t>(to, 0, length_of_buffer(s)));
}

int64_t pick_offset(const Cell& s, int32_t n) {
    if (n == 0) return -1;
    const int64_t offset = int64_t{s.w1} + n - (n > 0 ? 1 : 0);
    if (offset < 0 || offset >= length_of_buffer(s)) return -1;
    return offset;
}

void hash_enter(NodeId index, uint32_t at, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        int status = 0;
        (void)hashtable::put(index, int32_t(at + i), &status);
        if (status == 2) return;
    }
}

int64_t part_count(const Cell& s, const Cell& part) {
    if (type_of(part) == TypeId::integer) return get_int(part);
    if (type_of(part) != type_of(s) || part.w2 != s.w2)
        error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, part});
    return int64_t{part.w1} - int64_t{s.w1};
}

// --- Items --------------------------------------------------------------------

namespace {

void write_unit(uint8_t* p, uint32_t unit, uint32_t v) {
    if (unit == 1) {
        *p = static_cast<uint8_t>(v);
    } else if (unit == 2) {
        const uint16_t u = static_cast<uint16_t>(v);
        std::memcpy(p, &u, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

}  // namespace

void item_value(const Cell& s, uint32_t i, Cell& out) {
    const TypeId t = type_of(s);
    const uint8_t* p = unit_at(s, i);
    if (is_any_block(t) || t == TypeId::map) {
        std::memcpy(&out, p, sizeof(Cell));
        return;
    }
    const uint32_t unit = series::buffer(s.w2)->unit();
    if (t == TypeId::binary) {
        out = Cell{to_int(TypeId::integer), 0, *p, 0};
        return;
    }
    if (is_any_string(t)) {
        out = Cell{to_int(TypeId::char_), 0, units::read_unit(p, unit), 0};
        return;
    }
    if (t == TypeId::vector) {
        vector_type::item_value(s, i, out);
        return;
    }
    // image! pixels are read by their own datatype.
    error::fire(error::Id::not_done);
}

const Cell* pick(Cell* s, Cell*, int32_t n) {
    const int64_t offset = pick_offset(*s, n);
    if (offset < 0) return &none::value;
    const TypeId t = type_of(*s);
    if (is_any_block(t) || t == TypeId::map) return reinterpret_cast<const Cell*>(unit_at(*s, uint32_t(offset)));
    Cell item;
    item_value(*s, static_cast<uint32_t>(offset), item);
    return stack::set_result(item);
}

namespace {

// The code point a string unit must hold, checked.
uint32_t char_for_poke(const Cell& value) {
    if (type_of(value) != TypeId::char_) error::fire(error::Id::invalid_arg, {value});
    return value.w2;
}

// The byte poke stores: the low eight bits of an integer or a char,
// whatever its range; anything else is an invalid argument.
uint32_t byte_for_poke(const Cell& value) {
    const TypeId t = type_of(value);
    if (t != TypeId::integer && t != TypeId::char_) error::fire(error::Id::invalid_arg, {value});
    return static_cast<uint8_t>(value.w2);
}

uint32_t unit_for(uint32_t code_point) { return code_point > 0xFFFF ? 4 : code_point > 0xFF ? 2 : 1; }

}  // namespace

const Cell* poke(Cell* s, Cell*, int32_t n, Cell* value) {
    const int64_t offset = pick_offset(*s, n);
    if (offset < 0) error::fire(error::Id::out_of_range, {Cell{to_int(TypeId::integer), 0, uint32_t(n), 0}});
    const TypeId t = type_of(*s);
    const uint32_t at = static_cast<uint32_t>(offset);
    const bool block_like = is_any_block(t) || t == TypeId::map;
    uint32_t code = 0;
    if (is_any_string(t)) code = char_for_poke(*value);
    else if (t == TypeId::binary) code = byte_for_poke(*value);
    else if (t == TypeId::vector) {
        if (type_of(*value) != vector_type::element_type(*s)) error::fire(error::Id::invalid_arg, {*value});
        Notice notice(*s, Change::poke, value, int32_t(at), 1);
        vector_type::poke(*s, at, *value);
        notice.done(value, int32_t(at), 1);
        return value;
    } else if (!block_like) error::fire(error::Id::not_done);

    Notice notice(*s, Change::poke, value, int32_t(at), 1);
    if (block_like) {
        const NodeId index = hash_index_of(*s);
        if (index) hashtable::remove_at(index, int32_t(at));
        std::memcpy(unit_at(*s, at), value, sizeof(Cell));
        if (index) hash_enter(index, at, 1);
    } else {
        series::Buffer* b = series::buffer(s->w2);
        if (unit_for(code) > b->unit()) b = unicode::widen(s->w2, unit_for(code));
        write_unit(b->at(at), b->unit(), code);
    }
    notice.done(value, int32_t(at), 1);
    return value;
}

// --- Navigation ---------------------------------------------------------------

namespace {

Cell* head_q() { return logic::box(stack::arg(0)->w1 == 0); }
Cell* tail_q() { return logic::box(is_tail(*stack::arg(0))); }
Cell* index_q() { return integer::box(int32_t(stack::arg(0)->w1 + 1)); }
int32_t length_q(const Cell* s) {
    Cell v = *s;
    return int32_t(length_at(v));
}

Cell* at() {
    stack::result()->w1 = index_check(1);
    return stack::result();
}
Cell* skip_action() {
    stack::result()->w1 = index_check(0);
    return stack::result();
}
Cell* back() {
    Cell* s = stack::result();
    if (s->w1 > 0) s->w1--;
    return s;
}
Cell* next() {
    Cell* s = stack::result();
    if (s->w1 < length_of_buffer(*s)) s->w1++;
    return s;
}
Cell* head() {
    stack::result()->w1 = 0;
    return stack::result();
}
Cell* tail() {
    stack::result()->w1 = length_of_buffer(*stack::result());
    return stack::result();
}

// clear: cuts the series at its position.
Cell* clear() {
    Cell* s = stack::result();
    const uint32_t length = length_of_buffer(*s);
    if (s->w1 >= length) return s;
    const uint32_t count = length - s->w1;
    Notice notice(*s, Change::clear, nullptr, int32_t(s->w1), int32_t(count));
    if (NodeId index = hash_index_of(*s)) hashtable::remove_range(index, int32_t(s->w1), int32_t(count));
    series::Buffer* b = series::buffer(s->w2);
    b->tail = b->head + (s->w1 << b->unit_shift());
    notice.done(nullptr, int32_t(s->w1), 0);
    return s;
}

// random: /seed seeds from the units' bytes; /only picks one item;
// otherwise the units from the position are shuffled in place.
Cell* random_action(Cell* s, bool seed, bool secure, bool only) {
    const uint32_t count = length_at(*s);
    if (seed) {
        series::Buffer* b = series::buffer(s->w2);
        const uint32_t hash = hash::murmur3(b->at(s->w1), size_t{count} << b->unit_shift());
        random::seed(static_cast<int32_t>(hash));
        *s = unset_cell;
        return s;
    }
    if (only) {
        if (count < 1) return none::make_at(*s);
        // The draw runs from 1 to count; positions from 0.
        const uint32_t pos = s->w1 + uint32_t(random_draw::below(int32_t(count), secure) - 1);
        Cell item;
        item_value(*s, pos, item);
        *s = item;
        return s;
    }
    Notice notice(*s, Change::random, nullptr, int32_t(s->w1), int32_t(count));
    series::Buffer* b = series::buffer(s->w2);
    const uint32_t unit = b->unit();
    uint8_t scratch[16];
    for (uint32_t i = 0; i + 1 < count; i++) {
        const uint32_t j = i + uint32_t(random_draw::below(int32_t(count - i), secure) - 1);
        if (j == i) continue;
        uint8_t* a = b->at(s->w1 + i);
        uint8_t* c = b->at(s->w1 + j);
        std::memcpy(scratch, a, unit);
        std::memcpy(a, c, unit);
        std::memcpy(c, scratch, unit);
    }
    if (NodeId index = hash_index_of(*s)) hashtable::rebuild(index, int32_t(length_of_buffer(*s)));
    notice.done(nullptr, int32_t(s->w1), int32_t(count));
    return s;
}

bool is_owned_field(const Cell& field) {
    return is_word_like(type_of(field)) &&
           symbol::resolve_alias(field.w2) == symbol::resolve_alias(to_int(Sym::owned));
}

}  // namespace

// reflect: the owner recorded for the series, for the field `owned`.
Cell* reflect_owned() {
    const Cell& field = *stack::arg(1);
    if (!is_owned_field(field)) error::fire(error::Id::not_done);
    const Cell* owner = ownership::owner_of(stack::arg(0)->w2);
    return stack::set_result(owner ? *owner : none::value);
}

// modify `owned`: none drops the ownership; [object word] sets it.
const Cell* modify_owned(Cell* target, Cell* field, Cell* value, bool) {
    if (!is_owned_field(*field)) return value;
    if (type_of(*value) == TypeId::none) {
        ownership::clear_deep(*target);
    } else if (type_of(*value) == TypeId::block && length_at(*value) >= 2) {
        const Cell* cells = reinterpret_cast<const Cell*>(unit_at(*value, value->w1));
        const Cell owner = cells[0], word = cells[1];
        if (type_of(owner) == TypeId::object) ownership::own_deep(*target, owner, word);
    }
    return value;
}

void init() {
    datatype::ActionRow row;
    row.own<Action::random>(&random_action)
        .own<Action::reflect>(&reflect_owned)
        .own<Action::at>(&at)
        .own<Action::back>(&back)
        .own<Action::clear>(&clear)
        .own<Action::copy>(&copy)
        .own<Action::head>(&head)
        .own<Action::head_q>(&head_q)
        .own<Action::index_q>(&index_q)
        .own<Action::length_q>(&length_q)
        .own<Action::move>(&move)
        .own<Action::next>(&next)
        .own<Action::pick>(&pick)
        .own<Action::poke>(&poke)
        .own<Action::remove>(&remove)
        .own<Action::reverse>(&reverse)
        .own<Action::skip>(&skip_action)
        .own<Action::tail>(&tail)
        .own<Action::tail_q>(&tail_q)
        .own<Action::take>(&take)
        .own<Action::modify>(&modify_owned);
    datatype::register_type(TypeId::series, TypeId::none_id, row);
}

SortComparator sort_comparator(const Cell* comparator, bool skip, bool all, uint32_t size) {
    const TypeId t = type_of(*comparator);
    if (t == TypeId::function) return {0, comparator};
    if (t != TypeId::integer) error::fire(error::Id::invalid_refine_arg, {error::WordArg{"compare"}, *comparator});
    const int32_t n = get_int(*comparator);
    if (!skip || all) error::fire(error::Id::bad_refines);
    if (n < 1 || static_cast<uint32_t>(n) > size) error::fire(error::Id::out_of_range, {*comparator});
    return {static_cast<uint32_t>(n - 1), nullptr};
}

}  // namespace qor::series_type
