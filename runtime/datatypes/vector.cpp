// vector!: element access, make, form and mold, compare, insert, append,
// change and the registration. The element-wise math is in
// vector_math.cpp, search, sort and path access in vector_series.cpp.
#include "runtime/datatypes/vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/symbol.h"

namespace qor::vector_type {

using ownership::Change;

// ---- elements

int32_t read_int(const uint8_t* p, uint32_t unit, TypeId element) {
    const bool is_char = element == TypeId::char_;
    switch (unit) {
        case 1: return is_char ? int32_t{*p} : int32_t{static_cast<int8_t>(*p)};
        case 2: {
            uint16_t u;
            std::memcpy(&u, p, 2);
            return is_char ? int32_t{u} : int32_t{static_cast<int16_t>(u)};
        }
        default: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

double read_float(const uint8_t* p, uint32_t unit) {
    if (unit == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

namespace {

[[nodiscard]] series::Buffer* buffer_of(const Cell& v) { return series::buffer(v.w2); }

// Elements from the position to the tail (0 past the tail).
[[nodiscard]] uint32_t length_from(const Cell& v) {
    const uint32_t n = buffer_of(v)->length();
    return v.w1 < n ? n - v.w1 : 0;
}

void write_int(uint8_t* p, uint32_t unit, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    if (unit == 1) {
        *p = static_cast<uint8_t>(u);
    } else if (unit == 2) {
        const uint16_t h = static_cast<uint16_t>(u);
        std::memcpy(p, &h, 2);
    } else {
        std::memcpy(p, &u, 4);
    }
}

void write_float(uint8_t* p, uint32_t unit, double d) {
    if (unit == 4) {
        const float f = static_cast<float>(d);
        std::memcpy(p, &f, 4);
    } else {
        std::memcpy(p, &d, 8);
    }
}

[[nodiscard]] bool is_int_value(TypeId t) { return t == TypeId::char_ || t == TypeId::integer; }
[[nodiscard]] bool is_float_value(TypeId t) { return t == TypeId::float_ || t == TypeId::percent; }

// An element as a value of the element type.
void element_value(const uint8_t* p, uint32_t unit, TypeId element, Cell& out) {
    switch (element) {
        case TypeId::char_: char_::make_at(out, static_cast<uint32_t>(read_int(p, unit, element))); break;
        case TypeId::integer: out = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(read_int(p, unit, element)), 0}; break;
        case TypeId::percent: percent::make_at(out, read_float(p, unit)); break;
        default: float_::make_at(out, read_float(p, unit)); break;
    }
}

}  // namespace

void item_value(const Cell& v, uint32_t i, Cell& out) {
    const series::Buffer* b = buffer_of(v);
    element_value(b->at(i), b->unit(), element_type(v), out);
}

void check_item(const Cell& value, TypeId element) {
    const TypeId t = type_of(value);
    if (is_float_kind(element) ? !is_float_value(t) : !is_int_value(t))
        error::fire(error::Id::invalid_type, {datatype::value(t)});
}

void set_item(uint8_t* p, const Cell& value, uint32_t unit, TypeId element) {
    check_item(value, element);
    if (is_float_kind(element)) write_float(p, unit, get_double(value));
    else write_int(p, unit, get_int(value));
}

void poke(Cell& v, uint32_t i, const Cell& value) {
    if (type_of(value) != element_type(v)) error::fire(error::Id::invalid_arg, {value});
    series::Buffer* b = buffer_of(v);
    set_item(b->at(i), value, b->unit(), element_type(v));
}

// ---- values

Cell& make_at(Cell& cell, int64_t count, TypeId element, uint32_t unit) {
    if (count < 1) count = 1;
    if (static_cast<uint64_t>(count) * unit > series::max_capacity) error::fire(error::Id::no_memory);
    const NodeId node = series::alloc(static_cast<size_t>(count), unit);
    cell = Cell{to_int(TypeId::vector), 0, node, to_int(element)};
    return cell;
}

void append_value(Cell& v, const Cell& value) {
    if (type_of(value) != element_type(v)) error::fire(error::Id::invalid_arg, {value});
    series::Buffer* b = str::reserve(v.w2, 1);
    set_item(b->tail_ptr(), value, b->unit(), element_type(v));
    b->tail += b->unit();
}

void to_block(const Cell& v, Cell& result) {
    const Cell source = v;
    const uint32_t n = length_from(source);
    block::make_at(result, static_cast<int32_t>(std::max<uint32_t>(n, 1)));
    Cell* kept = stack::push(result);
    for (uint32_t i = 0; i < n; i++) {
        Cell item;
        item_value(source, source.w1 + i, item);
        block::append_cell(*kept, item);
    }
    result = *kept;
    stack::pop();
}

// ---- make

namespace {

// The default element size in bytes.
[[nodiscard]] constexpr uint32_t default_unit(TypeId element) { return is_float_kind(element) ? 8 : 4; }

// The element type a type word names (none_id when it names none of them).
TypeId element_named(const Cell& word) {
    if (type_of(word) != TypeId::word) return TypeId::none_id;
    const uint32_t id = symbol::resolve_alias(word.w2);
    for (const TypeId t : {TypeId::integer, TypeId::char_, TypeId::float_, TypeId::percent})
        if (id == symbol::resolve_alias(to_int(type_name_symbol(to_int(t))))) return t;
    return TypeId::none_id;
}

// The element size in bytes for a size in bits, 0 when the type has no
// such size.
uint32_t unit_for_bits(TypeId element, int32_t bits) {
    if (element == TypeId::percent) return 8;
    if (element == TypeId::float_) return bits == 32 ? 4 : bits == 64 ? 8 : 0;
    return bits == 8 ? 1 : bits == 16 ? 2 : bits == 32 ? 4 : 0;
}

// What a spec block asks for: the element type and size, the count, and
// the block of initial values (none when absent).
struct Plan {
    TypeId element = TypeId::integer;
    uint32_t unit = 4;
    int64_t count = 0;
    Cell values = unset_cell;
};

// Reads a spec block led by a type word.
Plan plan_from_words(const Cell& prototype, const Cell& spec) {
    const uint32_t n = series_tail::cell_count(spec);
    if (n < 2) error::fire(error::Id::bad_make_arg, {prototype, spec});
    Plan plan;
    plan.element = element_named(*series_tail::cell_at(spec, 0));
    if (plan.element == TypeId::none_id) error::fire(error::Id::bad_make_arg, {prototype, spec});
    uint32_t at = 1;
    const Cell size = *series_tail::cell_at(spec, 1);
    if (type_of(size) == TypeId::integer) {
        plan.unit = unit_for_bits(plan.element, get_int(size));
        if (plan.unit == 0) error::fire(error::Id::bad_make_arg, {prototype, spec});
        at = 2;
    } else if (plan.element == TypeId::percent) {
        plan.unit = 8;
    } else {
        error::fire(error::Id::invalid_spec_field, {spec});
    }
    const Cell next = at < n ? *series_tail::cell_at(spec, at) : unset_cell;
    if (type_of(next) == TypeId::block) {
        plan.values = next;
        plan.count = series_tail::cell_count(next);
    } else if (type_of(next) == TypeId::integer) {
        plan.count = get_int(next);
        if (at + 1 < n) {
            const Cell values = *series_tail::cell_at(spec, at + 1);
            if (type_of(values) != TypeId::block) error::fire(error::Id::invalid_spec_field, {spec});
            plan.values = values;
        }
    } else {
        error::fire(error::Id::invalid_spec_field, {spec});
    }
    return plan;
}

// Reads a spec block of values: their first item's datatype is the element
// type.
Plan plan_from_values(const Cell& spec) {
    Plan plan;
    plan.element = type_of(*series_tail::cell_at(spec, 0));
    if (!is_int_value(plan.element) && !is_float_value(plan.element))
        error::fire(error::Id::invalid_type, {datatype::value(plan.element)});
    plan.unit = default_unit(plan.element);
    plan.values = spec;
    plan.count = series_tail::cell_count(spec);
    return plan;
}

// The vector a plan describes, written into `result`.
void build(const Plan& plan, Cell& result) {
    const uint32_t given = type_of(plan.values) == TypeId::block ? series_tail::cell_count(plan.values) : 0;
    const int64_t count = std::max<int64_t>(plan.count, given);
    Cell* v = stack::push(unset_cell);
    make_at(*v, count, plan.element, plan.unit);
    for (uint32_t i = 0; i < given; i++) append_value(*v, *series_tail::cell_at(plan.values, i));
    series::Buffer* b = buffer_of(*v);
    if (count > given) {
        std::memset(b->tail_ptr(), 0, static_cast<size_t>(count - given) * plan.unit);
        b->tail += static_cast<uint32_t>(count - given) * plan.unit;
    }
    result = *v;
    stack::pop();
}

}  // namespace

const Cell* make(Cell* prototype, Cell* spec, TypeId) {
    const TypeId st = type_of(*spec);
    Plan plan;
    if (st == TypeId::integer || st == TypeId::float_) {
        const double n = st == TypeId::integer ? double(get_int(*spec)) : std::trunc(get_double(*spec));
        if (!(n >= -2147483648.0 && n <= 2147483647.0)) error::fire(error::Id::out_of_range, {*spec});
        plan.count = static_cast<int64_t>(n);
    } else if (st == TypeId::block) {
        if (series_tail::cell_count(*spec) > 0) {
            const bool led_by_word = type_of(*series_tail::cell_at(*spec, 0)) == TypeId::word;
            plan = led_by_word ? plan_from_words(*prototype, *spec) : plan_from_values(*spec);
        }
    } else {
        error::fire(error::Id::not_done);
    }
    build(plan, *prototype);
    return prototype;
}

// ---- form and mold

namespace {

// Appends the text of one element: integers in decimal, chars escaped (in
// #"..." when molded), floats with a decimal point, percents as the
// fraction x 100 with "%".
int32_t put_element(Cell& buffer, const Cell& v, uint32_t i, bool molded, int32_t budget) {
    const series::Buffer* b = buffer_of(v);
    const uint32_t unit = b->unit();
    const TypeId element = element_type(v);
    switch (element) {
        case TypeId::integer:
            return text_buffer::put(buffer, integer::form_signed(read_int(b->at(i), unit, element)).view(), budget);
        case TypeId::char_: {
            const char_::Escaped e = char_::mold_escape(static_cast<uint32_t>(read_int(b->at(i), unit, element)), false);
            if (molded) budget = text_buffer::put(buffer, "#\"", budget);
            for (uint8_t k = 0; k < e.size; k++) text_buffer::append_char(buffer, e.data[k]);
            budget -= e.size;
            return molded ? text_buffer::put(buffer, "\"", budget) : budget;
        }
        case TypeId::percent: {
            const auto kind = unit == 8 ? float_::Kind::percent : float_::Kind::single_percent;
            return text_buffer::put(buffer, float_::form_by_kind(read_float(b->at(i), unit) * 100.0, kind).view(), budget);
        }
        default: {
            const auto kind = unit == 8 ? float_::Kind::double_ : float_::Kind::single;
            return text_buffer::put(buffer, float_::form_by_kind(read_float(b->at(i), unit), kind).view(), budget);
        }
    }
}

// The elements from the position separated by one space; stops once a
// /part budget is spent.
int32_t put_elements(Cell& buffer, const Cell& v, bool molded, const Cell* part, int32_t budget) {
    const uint32_t n = length_from(v);
    for (uint32_t k = 0; k < n; k++) {
        if (part && budget < 1) return budget;
        if (k > 0) budget = text_buffer::put(buffer, " ", budget);
        budget = put_element(buffer, v, v.w1 + k, molded, budget);
    }
    return budget;
}

}  // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit) {
    return put_elements(*buffer, *value, false, part, limit);
}

// "make vector! [1 2 3]" for a vector of the default size holding elements;
// "make vector! [integer! 16 [1 2 3]]" otherwise, so that the text makes a
// vector of the same kind again. /only leaves out the outer brackets.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool, const Cell* part, int32_t limit, int32_t) {
    const Cell v = *value;
    // Read before the text grows: growing may move the element buffer.
    const uint32_t unit = buffer_of(v)->unit();
    const bool short_form = buffer_of(v)->length() > 0 && unit == default_unit(element_type(v));
    int32_t budget = limit;
    if (!only) budget = text_buffer::put(*buffer, "make vector! [", budget);
    if (!short_form) {
        budget = text_buffer::put(*buffer, datatype::name(element_type(v)), budget);
        budget = text_buffer::put(*buffer, " ", budget);
        budget = text_buffer::put(*buffer, integer::form_signed(static_cast<int32_t>(unit * 8)).view(), budget);
        budget = text_buffer::put(*buffer, " [", budget);
    }
    budget = put_elements(*buffer, v, true, part, budget);
    if (part && budget < 1) return budget;
    if (!short_form) budget = text_buffer::put(*buffer, "]", budget);
    if (!only) budget = text_buffer::put(*buffer, "]", budget);
    return budget;
}

// ---- compare

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::vector) return -2;
    if (element_type(*a) != element_type(*b)) error::fire(error::Id::not_same_type);
    op = fold_equality(op);
    const bool equality = op == CompareOp::equal || op == CompareOp::not_equal ||
                          op == CompareOp::strict_equal || op == CompareOp::find_key;
    if (a->w2 == b->w2 && a->w1 == b->w1 && (equality || op == CompareOp::same)) return 0;
    if (op == CompareOp::same) return -1;
    const uint32_t u = length_from(*a), o = length_from(*b);
    if (u == 0 && o == 0) return 0;
    if (equality && u != o) return 1;
    const series::Buffer* ba = buffer_of(*a);
    const series::Buffer* bb = buffer_of(*b);
    const TypeId element = element_type(*a);
    const uint32_t n = std::min(u, o);
    for (uint32_t i = 0; i < n; i++) {
        const uint8_t* pa = ba->at(a->w1 + i);
        const uint8_t* pb = bb->at(b->w1 + i);
        if (is_float_kind(element)) {
            const double x = read_float(pa, ba->unit()), y = read_float(pb, bb->unit());
            if (x < y) return -1;
            if (x > y) return 1;
        } else {
            const int32_t x = read_int(pa, ba->unit(), element), y = read_int(pb, bb->unit(), element);
            if (x != y) return x < y ? -1 : 1;
        }
    }
    return (u > o) - (u < o);
}

// ---- insert, append, change

namespace {

uint32_t dup_count(const Cell* dup) {
    if (!dup) return 1;
    const int32_t n = get_int(*dup);
    return n < 0 ? 0 : static_cast<uint32_t>(n);
}

// The items a value supplies: the cells of a block-family value from its
// position (at most `limit` when limit >= 0), or the value itself.
struct Items {
    Cell source;
    uint32_t from_block;  // the count of block items; 0 with `single`
    bool single;

    Items(const Cell& value, int64_t limit) : source(value), from_block(0), single(true) {
        const TypeId t = type_of(value);
        if (t == TypeId::block || t == TypeId::paren || t == TypeId::hash) {
            single = false;
            from_block = series_tail::cell_count(value);
            if (limit >= 0 && limit < from_block) from_block = static_cast<uint32_t>(limit);
        }
    }
    [[nodiscard]] uint32_t count() const { return single ? 1 : from_block; }
    [[nodiscard]] const Cell& at(uint32_t i) const { return single ? source : *series_tail::cell_at(source, i); }
};

// The overflow check of a size grown by `extra` elements, made before the
// owner hears of the change.
void check_room(const Cell& v, uint64_t extra) {
    const series::Buffer* b = buffer_of(v);
    if ((uint64_t{b->tail - b->head} >> b->unit_shift()) + extra > (series::max_capacity >> b->unit_shift()))
        error::fire(error::Id::no_memory);
}

// Room for `extra` more elements.
series::Buffer* make_room(const Cell& v, uint64_t extra) {
    check_room(v, extra);
    return str::reserve(v.w2, extra);
}

// Writes the run of items at `p`, then repeats it until `count` runs are
// written.
void write_runs(uint8_t* p, const Items& items, uint32_t count, uint32_t unit, TypeId element) {
    const size_t run = size_t{items.count()} * unit;
    if (run == 0 || count == 0) return;
    for (uint32_t i = 0; i < items.count(); i++) set_item(p + size_t{i} * unit, items.at(i), unit, element);
    const size_t total = run * count;
    size_t done = run;
    while (done < total) {
        const size_t n = std::min(done, total - done);
        std::memcpy(p + done, p, n);
        done += n;
    }
}

// Every item is checked before the series changes, so a bad item leaves
// the vector as it was.
void check_items(const Items& items, TypeId element) {
    for (uint32_t i = 0; i < items.count(); i++) check_item(items.at(i), element);
}

const Cell* insert_items(Cell* v, Cell* value, const Cell* part, const Cell* dup, bool appending) {
    const uint32_t length = buffer_of(*v)->length();
    if (v->w1 > length) v->w1 = length;
    const uint32_t at = appending ? length : v->w1;
    const Items items(*value, part ? std::max(0, get_int(*part)) : -1);
    const uint32_t count = dup_count(dup);
    const TypeId element = element_type(*v);
    check_items(items, element);
    const uint64_t total = uint64_t{items.count()} * count;
    if (total == 0) return v;
    check_room(*v, total);
    series_type::Notice notice(*v, appending ? Change::append : Change::insert, value, int32_t(at), int32_t(total));
    series::Buffer* b = make_room(*v, total);
    const uint32_t unit = b->unit();
    uint8_t* p = b->at(at);
    std::memmove(p + total * unit, p, size_t{length - at} * unit);
    write_runs(p, items, count, unit, element);
    b->tail += static_cast<uint32_t>(total * unit);
    notice.done(value, int32_t(at), int32_t(total));
    if (!appending) v->w1 = at + static_cast<uint32_t>(total);
    return v;
}

// The elements of a vector source from its position as values, converted
// to the target through `set_item` later.
void source_elements(const Cell& source, std::vector<Cell>& out) {
    const uint32_t n = length_from(source);
    out.resize(n);
    for (uint32_t i = 0; i < n; i++) item_value(source, source.w1 + i, out[i]);
}

}  // namespace

const Cell* insert(Cell* series, Cell* value, const Cell* part, bool, const Cell* dup) {
    return insert_items(series, value, part, dup, false);
}

const Cell* append(Cell* series, Cell* value, const Cell* part, bool, const Cell* dup) {
    return insert_items(series, value, part, dup, true);
}

// change: a vector source gives its elements as values, so a source of
// another element size or type is converted element by element (and one
// that shares the target's buffer is read before anything moves).
const Cell* change(Cell* v, Cell* value, const Cell* part, bool, const Cell* dup) {
    const uint32_t length = buffer_of(*v)->length();
    if (v->w1 > length) v->w1 = length;
    const uint32_t at = v->w1;
    const TypeId element = element_type(*v);
    // The items are copied out first; only numbers pass the check below,
    // so the copies hold no series the collector would have to see.
    std::vector<Cell> elements;
    if (type_of(*value) == TypeId::vector) {
        source_elements(*value, elements);
    } else if (is_any_block(type_of(*value))) {
        const uint32_t n = series_tail::cell_count(*value);
        if (n > 0) elements.assign(series_tail::cell_at(*value, 0), series_tail::cell_at(*value, 0) + n);
    } else {
        elements.push_back(*value);
    }
    for (const Cell& e : elements) check_item(e, element);
    const uint32_t count = dup_count(dup);
    const uint64_t written = uint64_t{elements.size()} * count;
    uint64_t replaced = part ? static_cast<uint64_t>(std::max(0, get_int(*part))) : written;
    replaced = std::min<uint64_t>(replaced, length - at);
    if (written > replaced) check_room(*v, written - replaced);
    series_type::Notice notice(*v, Change::change, value, int32_t(at), int32_t(replaced));
    series::Buffer* b = written > replaced ? make_room(*v, written - replaced) : buffer_of(*v);
    const uint32_t unit = b->unit();
    uint8_t* p = b->at(at);
    std::memmove(p + written * unit, p + replaced * unit, size_t(length - at - replaced) * unit);
    for (uint64_t k = 0; k < written; k++) set_item(p + k * unit, elements[k % elements.size()], unit, element);
    b->tail = static_cast<uint32_t>(b->tail + (written - replaced) * unit);
    notice.done(value, int32_t(at), int32_t(written));
    v->w1 = std::min<uint32_t>(at + static_cast<uint32_t>(written), b->length());
    return v;
}

// ---- registration

namespace {

// A vector keeps its series; vectors all hash to 0.
void mark_vector_value(Cell& c) {
    collector::mark_series(&c.w2);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(make).own<Action::form>(form).own<Action::mold>(mold).own<Action::compare>(compare);
    row.own<Action::add>([] { return do_math(MathOp::add); });
    row.own<Action::subtract>([] { return do_math(MathOp::subtract); });
    row.own<Action::multiply>([] { return do_math(MathOp::multiply); });
    row.own<Action::divide>([] { return do_math(MathOp::divide); });
    row.own<Action::remainder>([] { return do_math(MathOp::remainder); });
    row.own<Action::and_t>([] { return do_math(MathOp::and_); });
    row.own<Action::or_t>([] { return do_math(MathOp::or_); });
    row.own<Action::xor_t>([] { return do_math(MathOp::xor_); });
    row.own<Action::append>(append).own<Action::insert>(insert).own<Action::change>(change);
    row.own<Action::find>(find).own<Action::select>(select).own<Action::sort>(sort);
    row.own<Action::eval_path>(eval_path);
    for (Action inherited : {Action::random, Action::reflect, Action::at, Action::back, Action::clear,
                             Action::copy, Action::head, Action::head_q, Action::index_q, Action::length_q,
                             Action::move, Action::next, Action::pick, Action::poke, Action::remove,
                             Action::reverse, Action::skip, Action::tail, Action::tail_q, Action::take,
                             Action::modify})
        row.inherit(inherited);
    row.mark(&mark_vector_value).hash(nullptr);
    datatype::register_type(TypeId::vector, TypeId::string, row);
}

}  // namespace qor::vector_type
