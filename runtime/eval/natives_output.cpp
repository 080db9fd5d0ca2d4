// Output and coercion natives: print, prin, as.
#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/money.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/output/output.h"
#include "runtime/memory/series_tail.h"

namespace qor::natives::impl {

namespace {

bool last_newline = true;

// Forms the value (a block reduced first) and writes it with the newline
// flag. Answers false when an exit passed through the reduction.
bool write_formed(bool newline) {
    Cell value = *arg(0);
    if (type_of(value) == TypeId::block) {
        // Each value goes straight into a new block (on the stack while it
        // fills), so a block of any size prints.
        const uint32_t length = series::buffer(value.w2)->length();
        Cell* reduced = stack::push(Cell{to_int(TypeId::block), 0,
                                         series::alloc_cells(value.w1 < length ? length - value.w1 : 1), 0});
        uint32_t pos = value.w1;
        while (pos < series::buffer(value.w2)->length()) {
            pos = interpreter::eval_next(value.w2, pos, true);
            if (stack::exiting()) return false;
            Cell v = *--stack::data.top;
            clear_new_line(v);
            *series_tail::alloc_cell(reduced->w2) = v;
        }
        value = *reduced;
        *arg(0) = value;  // kept referenced while it is formed
        stack::pop();
    }
    Cell* text = stack::push(unset::value);
    if (type_of(value) == TypeId::string) {
        *text = value;
        const uint32_t len = series::buffer(value.w2)->length();
        if (text->w1 > len) text->w1 = len;
    } else {
        text_buffer::make(*text);
        actions::call_form(value, *text, nullptr, INT32_MAX);
    }
    output::run_string_hooks(*text, newline);
    last_newline = newline;
    stack::pop();
    return true;
}

void n_print(bool, std::span<const int32_t>) {
    if (write_formed(true)) *arg(0) = unset::value;
}

void n_prin(bool, std::span<const int32_t>) {
    if (write_formed(false)) *arg(0) = unset::value;
}

bool block_family(TypeId t) {
    return t == TypeId::block || t == TypeId::paren || t == TypeId::path || t == TypeId::lit_path ||
           t == TypeId::set_path || t == TypeId::get_path;
}
bool string_family(TypeId t) {
    return t == TypeId::string || t == TypeId::file || t == TypeId::url || t == TypeId::tag || t == TypeId::email ||
           t == TypeId::ref;
}

void n_as(bool, std::span<const int32_t>) {
    const Cell type = *arg(0);
    const Cell spec = *arg(1);
    const TypeId target = type_of(type) == TypeId::datatype ? static_cast<TypeId>(type.w1) : type_of(type);
    const TypeId from = type_of(spec);
    if (!((block_family(target) && block_family(from)) || (string_family(target) && string_family(from))))
        error::fire(error::Id::not_same_class, {Cell{to_int(TypeId::datatype), to_int(from), 0, 0},
                                         Cell{to_int(TypeId::datatype), to_int(target), 0, 0}});
    Cell result = spec;
    set_type_keep_flags(result, target);
    *arg(0) = result;
}

// A pair coordinate: an integer as it is, a float truncated toward zero; a
// float that is NaN or outside the integer range is refused.
uint32_t pair_coordinate(const Cell& v) {
    if (type_of(v) == TypeId::integer) return v.w2;
    const double d = get_double(v);
    if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0) error::fire(error::Id::invalid_arg, {v});
    return static_cast<uint32_t>(static_cast<int32_t>(d));
}

void n_as_pair(bool, std::span<const int32_t>) {
    const uint32_t x = pair_coordinate(*arg(0)), y = pair_coordinate(*arg(1));
    *arg(0) = Cell{to_int(TypeId::pair), 0, x, y};
}

// A point coordinate as a 32-bit float's bits.
uint32_t point_coordinate(const Cell& v) {
    const float f = type_of(v) == TypeId::integer ? static_cast<float>(get_int(v)) : static_cast<float>(get_double(v));
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

void n_as_point2d(bool, std::span<const int32_t>) {
    *arg(0) = Cell{to_int(TypeId::point2d), point_coordinate(*arg(0)), point_coordinate(*arg(1)), 0};
}

void n_as_point3d(bool, std::span<const int32_t>) {
    *arg(0) = Cell{to_int(TypeId::point3d), point_coordinate(*arg(0)), point_coordinate(*arg(1)),
                   point_coordinate(*arg(2))};
}

// as-money: the amount in the currency of the word.
void n_as_money(bool, std::span<const int32_t>) { *arg(0) = money::as_money(*arg(0), *arg(1)); }

}  // namespace

bool last_print_newline() { return last_newline; }

void install_output(Table& r) {
    r[Native::print] = n_print;
    r[Native::prin] = n_prin;
    r[Native::as] = n_as;
    r[Native::as_pair] = n_as_pair;
    r[Native::as_point2d] = n_as_point2d;
    r[Native::as_point3d] = n_as_point3d;
    r[Native::as_money] = n_as_money;
}

}  // namespace qor::natives::impl
