// typeset!: a set of datatypes.
#include "runtime/datatypes/typeset.h"

#include <cstring>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"

namespace qor::typeset {

// ---- helpers

namespace {

// The byte of the payload that holds id t, and its bit.
uint8_t* byte_of(Cell& ts, uint32_t t) { return reinterpret_cast<uint8_t*>(&ts.w1) + (t >> 3); }
constexpr uint8_t bit_of(uint32_t t) { return static_cast<uint8_t>(0x80u >> (t & 7)); }

}  // namespace

bool has(const Cell& ts, TypeId t) {
    if (to_int(t) >= 96) return false;
    uint8_t bytes[12];
    std::memcpy(bytes, &ts.w1, sizeof bytes);
    return (bytes[to_int(t) >> 3] & bit_of(to_int(t))) != 0;
}

void add(Cell& ts, TypeId t) {
    if (to_int(t) < 96) *byte_of(ts, to_int(t)) |= bit_of(to_int(t));
}

void clear(Cell& ts) { ts.w1 = ts.w2 = ts.w3 = 0; }

int count(const Cell& ts) {
    int n = 0;
    for (int t = 1; t <= datatype::highest_type_id(); t++) n += has(ts, static_cast<TypeId>(t));
    return n;
}

Cell all_but_unset() {
    Cell ts = make(~0u, ~0u, ~0u);
    *byte_of(ts, to_int(TypeId::unset)) &= static_cast<uint8_t>(~bit_of(to_int(TypeId::unset)));
    return ts;
}

Cell* push(const Cell& ts) { return stack::push(ts); }

void add_type(Cell& ts, const Cell& item_or_word) {
    // A word stands for its value: make typeset! [integer! number!].
    const Cell item = type_of(item_or_word) == TypeId::word ? *context::value_cell(item_or_word) : item_or_word;
    switch (type_of(item)) {
        case TypeId::typeset:
            ts.w1 |= item.w1;
            ts.w2 |= item.w2;
            ts.w3 |= item.w3;
            break;
        case TypeId::datatype: add(ts, datatype::named(item)); break;
        default: error::fire(error::Id::invalid_arg, {item});
    }
}

Cell* set_operation(int code) {
    Cell* first = stack::arg(0);
    const Cell* arg = stack::arg(1);
    Cell second;
    switch (type_of(*arg)) {
        case TypeId::typeset: second = *arg; break;
        case TypeId::datatype:
            second = make(0, 0, 0);
            add(second, datatype::named(*arg));
            break;
        default: error::fire(error::Id::invalid_arg, {*arg});
    }
    if (code == 8) return first;
    auto combine = [&](uint32_t a, uint32_t b) -> uint32_t {
        switch (code) {
            case 5: case 9: return a | b;
            case 6: case 10: return a & b;
            case 7: case 12: return a ^ b;
            case 11: return a & ~b;
            default: error::unreachable();
        }
    };
    *first = make(combine(first->w1, second.w1), combine(first->w2, second.w2), combine(first->w3, second.w3));
    return first;
}

std::string form_text(const Cell& ts, bool only, bool has_part, int32_t& limit) {
    std::string text = only ? "" : "make typeset! [";
    limit -= static_cast<int32_t>(text.size());
    bool any = false;
    for (int t = 1; t <= datatype::highest_type_id(); t++) {
        if (!has(ts, static_cast<TypeId>(t))) continue;
        if (has_part && limit < 0) break;
        const std::string_view name = datatype::name(static_cast<TypeId>(t));
        text.append(name);
        text.push_back(' ');
        limit -= static_cast<int32_t>(name.size()) + 1;
        any = true;
    }
    if (only) {
        if (any) {
            text.pop_back();
            limit++;
        }
    } else if (any) {
        text.back() = ']';
    } else {
        text.push_back(']');
        limit--;
    }
    return text;
}

// ---- actions

namespace {

// make and to: a typeset answers itself; a block of datatypes and typesets
// gives their union.
const Cell* make_action(Cell*, Cell* spec, TypeId) {
    if (type_of(*spec) == TypeId::typeset) return spec;
    if (type_of(*spec) != TypeId::block)
        error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::typeset), *spec});
    Cell* ts = stack::push(make(0, 0, 0));
    const uint32_t n = series_tail::cell_count(*spec);
    for (uint32_t i = 0; i < n; i++) add_type(*ts, *series_tail::cell_at(*spec, i));
    return ts;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    const std::string text = form_text(*value, false, part != nullptr, limit);
    text_buffer::append_ascii(*buffer, text);
    return limit;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool, const Cell* part, int32_t limit, int32_t) {
    const std::string text = form_text(*value, only, part != nullptr, limit);
    text_buffer::append_ascii(*buffer, text);
    return limit;
}

// Equal when the bits are; sorted by how many types they hold.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    if (type_of(*value2) != TypeId::typeset) return -2;
    if (is_equality_test(op))
        return value1->w1 == value2->w1 && value1->w2 == value2->w2 && value1->w3 == value2->w3 ? 0 : 1;
    if (is_sort_order(op)) {
        const int a = count(*value1), b = count(*value2);
        return (a > b) - (a < b);
    }
    return -2;
}

Cell* and_t() { return set_operation(6); }
Cell* or_t() { return set_operation(5); }
Cell* xor_t() { return set_operation(7); }

// All 96 bits inverted, the unused ids included.
Cell* complement() {
    Cell* v = stack::result();
    v->w1 = ~v->w1;
    v->w2 = ~v->w2;
    v->w3 = ~v->w3;
    return v;
}

// Whether a datatype is in the set: always a logic!, never none.
const Cell* find(Cell* series, Cell* value, const actions::FindArgs&) {
    if (type_of(*value) != TypeId::datatype) error::fire(error::Id::invalid_arg, {*value});
    return has(*series, datatype::named(*value)) ? &logic::true_value : &logic::false_value;
}

}  // namespace

// ---- registration

namespace {

// Typesets hash by their bits.
uint32_t hash_typeset_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 1, 3);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make_action).own<Action::to>(make_action);
    row.own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::and_t>(and_t).own<Action::complement>(complement).own<Action::or_t>(or_t).own<Action::xor_t>(xor_t);
    row.own<Action::find>(find);
    row.hash(&hash_typeset_key);
    datatype::register_type(TypeId::typeset, TypeId::none_id, row);
}

}  // namespace qor::typeset
