// string!: comparison, make and to, form and mold, and the character
// molder that every molded text shares.
#include <algorithm>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/string_codec.h"

namespace qor::string_type {

namespace {

constexpr int32_t no_limit = INT32_MAX;

// Compares n characters of two ranges; with `fold_case` through the case
// tables. Answers -1, 0 or 1 at the first difference.
template <bool FoldCase>
int32_t compare_chars(const uint8_t* a, uint32_t ua, const uint8_t* b, uint32_t ub, uint32_t n) {
    if (!FoldCase && ua == 1 && ub == 1) {
        const int r = std::memcmp(a, b, n);
        return (r > 0) - (r < 0);
    }
    for (uint32_t i = 0; i < n; i++) {
        uint32_t ca = str::get_char(a + size_t{i} * ua, ua), cb = str::get_char(b + size_t{i} * ub, ub);
        if (ca == cb) continue;
        if (FoldCase) {
            ca = str::fold(ca);
            cb = str::fold(cb);
            if (ca == cb) continue;
        }
        return ca > cb ? 1 : -1;
    }
    return 0;
}

bool is_equality(CompareOp op) {
    return op == CompareOp::equal || op == CompareOp::not_equal || op == CompareOp::strict_equal ||
           op == CompareOp::find_key;
}

}  // namespace

int32_t compare_values(const Cell& v1, const Cell& v2, CompareOp op, bool match) {
    op = fold_equality(op);
    const bool same_place = v1.w2 == v2.w2 && v1.w1 == v2.w1;
    if (op == CompareOp::same) return same_place ? 0 : -1;
    if (same_place && is_equality(op)) return 0;
    const uint32_t n1 = str::length_at(v1), n2 = str::length_at(v2);
    uint32_t n;
    if (match) {
        if (n2 == 0) return op == CompareOp::find_key ? 1 : 0;
        if (n1 < n2) return 1;
        n = n2;
    } else {
        if (n1 != n2 && (is_equality(op) || n2 == 0)) return 1;
        n = std::min(n1, n2);
    }
    if (n1 == 0 && n2 == 0) return 0;
    if (n1 == 0) return -1;
    const series::Buffer* b1 = str::buffer_of(v1);
    const series::Buffer* b2 = str::buffer_of(v2);
    const bool exact = op == CompareOp::strict_equal || op == CompareOp::sort_case;
    const int32_t r = exact ? compare_chars<false>(b1->at(v1.w1), b1->unit(), b2->at(v2.w1), b2->unit(), n)
                            : compare_chars<true>(b1->at(v1.w1), b1->unit(), b2->at(v2.w1), b2->unit(), n);
    if (r != 0 || match) return r;
    return (n1 > n2) - (n1 < n2);
}

// Text of different string types is equal when its characters are, but is
// never ordered against each other.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
    const TypeId t1 = type_of(*value1), t2 = type_of(*value2);
    if (t1 != t2) {
        const CompareOp f = fold_equality(op);
        if (!(is_any_string(t2) && (f == CompareOp::equal || f == CompareOp::not_equal))) return -2;
    }
    return compare_values(*value1, *value2, op, false);
}

void form_block_into(Cell& buffer, const Cell& block) {
    // The buffer lives on the data stack so that it survives allocation.
    const uint32_t n = series_tail::cell_count(block);
    for (uint32_t i = 0; i < n; i++) {
        const Cell item = *series_tail::cell_at(block, i);
        actions::call_form(item, buffer, nullptr, no_limit);
    }
}

const Cell* to(Cell* prototype, Cell* spec, TypeId type) {
    const TypeId st = type_of(*spec);
    Cell* out = stack::push(unset_cell);
    switch (st) {
        case TypeId::none: error::fire(error::Id::bad_to_arg, {datatype::value(type), *spec});
        case TypeId::block:
        case TypeId::paren:
        case TypeId::hash:
            str::make_at(*out, 16);
            form_block_into(*out, *spec);
            break;
        case TypeId::binary: {
            const Cell bin = *spec;
            const uint32_t n = str::length_at(bin);
            const NodeId node = unicode::load_utf8_series(bin.w2, bin.w1, n, 0, false);
            *out = Cell{to_int(TypeId::string), 0, node, 0};
            break;
        }
        case TypeId::refinement:
            str::make_at(*out, 16);
            if (type == TypeId::string) actions::call_form(*spec, *out, nullptr, no_limit);
            else actions::call_mold(*spec, *out, false, false, false, nullptr, no_limit, 0);
            break;
        default:
            if (is_any_string(st)) {
                const Cell source = *spec;
                const uint32_t n = str::length_at(source);
                const NodeId node = series::alloc_units(n, str::buffer_of(source)->unit());
                *out = Cell{to_int(TypeId::string), 0, node, 0};
                str::concatenate(*out, source, -1, 0, str::Mode::append);
            } else {
                str::make_at(*out, 16);
                actions::call_form(*spec, *out, nullptr, no_limit);
            }
    }
    set_type_keep_flags(*out, type);
    *prototype = *out;
    stack::pop();
    return prototype;
}

const Cell* make(Cell* prototype, Cell* spec, TypeId type) {
    const TypeId st = type_of(*spec);
    if (st == TypeId::integer || st == TypeId::float_) {
        const int32_t n = st == TypeId::integer ? get_int(*spec) : integer::from_double_checked(get_double(*spec));
        if (n < 0) error::fire(error::Id::out_of_range, {*spec});
        str::make_at(*prototype, static_cast<uint32_t>(n), 1, type);
        return prototype;
    }
    if (type == TypeId::binary) {
        if (st == TypeId::money) error::fire(error::Id::bad_make_arg, {datatype::value(type), *spec});
        return binary_type::to(prototype, spec, type);
    }
    return to(prototype, spec, type);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const Cell v = *value;
    const uint32_t n = str::length_at(v);
    str::concatenate(*buffer, v, limit >= 0 ? limit : -1, 0, str::Mode::append);
    return limit - static_cast<int32_t>(n);
}

void mold_char(Cell& buffer, uint32_t cp, bool all) {
    if (cp >= 32 && cp < 127 && cp != '"' && cp != '^') {
        str::append_char(buffer.w2, cp);
        return;
    }
    const char_::Escaped e = char_::mold_escape(cp, all);
    for (uint8_t i = 0; i < e.size; i++) str::append_char(buffer.w2, e.data[i]);
}

namespace {

// From position i (an open brace) to the end: whether a matching close
// brace follows.
bool brace_closes(const series::Buffer* b, uint32_t from, uint32_t end) {
    const uint32_t unit = b->unit();
    int32_t depth = 0;
    for (uint32_t i = from; i < end; i++) {
        const uint32_t c = str::get_char(b->at(i), unit);
        if (c == '{') depth++;
        else if (c == '}' && --depth == 0) return true;
    }
    return false;
}

}  // namespace

// Double quotes for short single-line text, braces for long text, text with
// three or more line feeds, or text holding a double quote.
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* part, int32_t limit, int32_t) {
    const Cell v = *value;
    const uint32_t rest = str::length_at(v);
    uint32_t n = rest;
    if (part && limit >= 0 && static_cast<uint32_t>(limit) < n) n = static_cast<uint32_t>(limit);
    const uint32_t start = std::min(v.w1, str::buffer_of(v)->length());
    uint32_t quotes = 0, lines = 0;
    {
        const series::Buffer* b = str::buffer_of(v);
        for (uint32_t i = 0; i < n; i++) {
            const uint32_t c = str::get_char(b->at(start + i), b->unit());
            quotes += c == '"';
            lines += c == '\n';
        }
    }
    const bool braces = lines >= 3 || quotes >= 1 || rest >= 50;
    str::append_char(buffer->w2, braces ? '{' : '"');
    int32_t depth = 0;
    bool balanced = true;
    for (uint32_t i = 0; i < n; i++) {
        const series::Buffer* b = str::buffer_of(v);
        const uint32_t c = str::get_char(b->at(start + i), b->unit());
        if (!braces) {
            mold_char(*buffer, c, all);
            continue;
        }
        switch (c) {
            case '{':
                if (balanced && !brace_closes(b, start + i, start + n)) balanced = false;
                if (balanced) {
                    depth++;
                    str::append_char(buffer->w2, '{');
                } else {
                    str::append_literal(*buffer, "^{");
                }
                break;
            case '}':
                if (depth < 1) {
                    str::append_literal(*buffer, "^}");
                } else {
                    depth--;
                    str::append_char(buffer->w2, '}');
                }
                break;
            case '"': str::append_char(buffer->w2, '"'); break;
            default: mold_char(*buffer, c, all);
        }
    }
    str::append_char(buffer->w2, braces ? '}' : '"');
    return limit - static_cast<int32_t>(n) - 2;
}

}  // namespace qor::string_type
