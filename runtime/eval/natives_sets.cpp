// The set natives: union, intersect, unique, difference, exclude and
// complement?. They check their operands and hand them to the set routine
// of the first operand's datatype.
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block_sets.h"
#include "runtime/datatypes/date_calendar.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/strings/string_actions.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

Cell datatype_of(const Cell& v) { return Cell{to_int(TypeId::datatype), to_int(type_of(v)), 0, 0}; }

bool block_like(TypeId t) { return t == TypeId::block || t == TypeId::hash; }

// Refinement slots: /case, then /skip size.
void set_operation(std::span<const int32_t> refs, uint8_t code, std::string_view native_word) {
    const Cell a = *arg(0);
    const TypeId ta = type_of(a);
    const bool unique = code == 8;
    if (!unique) {
        const TypeId tb = type_of(*arg(1));
        const bool agree = block_like(ta) ? block_like(tb) : ta == tb;
        if (!agree) error::fire(error::Id::expect_val, {datatype_of(a), datatype_of(*arg(1))});
    }
    const bool case_sensitive = refs[0] >= 0;
    const Cell* skip = refs[1] >= 0 ? arg(static_cast<uint32_t>(refs[1])) : nullptr;
    switch (ta) {
        case TypeId::block:
        case TypeId::hash: block::set_operation(case_sensitive, skip, static_cast<block::SetOp>(code)); return;
        case TypeId::string:
            string_type::set_operation(static_cast<string_type::SetOp>(code), *arg(0), unique ? nullptr : arg(1),
                                       case_sensitive, skip);
            return;
        case TypeId::bitset: bitset::set_operation(code); return;
        case TypeId::typeset:
            if (!unique) {
                typeset::set_operation(code);
                return;
            }
            break;
        case TypeId::date:
            // The difference of two dates is the time between them.
            if (code == 12) {
                date::difference(*arg(0), *arg(1));
                return;
            }
            break;
        default: break;
    }
    error::expect_arg(word::load(native_word), ta, error::WordArg{unique ? "set" : "set1"});
}

void n_union(bool, std::span<const int32_t> refs) { set_operation(refs, 9, "union"); }
void n_intersect(bool, std::span<const int32_t> refs) { set_operation(refs, 10, "intersect"); }
void n_unique(bool, std::span<const int32_t> refs) { set_operation(refs, 8, "unique"); }
void n_difference(bool, std::span<const int32_t> refs) { set_operation(refs, 12, "difference"); }
void n_exclude(bool, std::span<const int32_t> refs) { set_operation(refs, 11, "exclude"); }

void n_complement_q(bool, std::span<const int32_t>) {
    const Cell bits = *arg(0);
    if (type_of(bits) != TypeId::bitset) error::expect_arg(word::load("complement?"), type_of(bits), error::WordArg{"bits"});
    const bool on = (series::buffer(bits.w2)->flags & series::flag::complemented) != 0;
    *arg(0) = on ? logic::true_value : logic::false_value;
}

}  // namespace

void install_sets(Table& r) {
    r[Native::union_] = n_union;
    r[Native::intersect] = n_intersect;
    r[Native::unique] = n_unique;
    r[Native::difference] = n_difference;
    r[Native::exclude] = n_exclude;
    r[Native::complement_q] = n_complement_q;
}

}  // namespace qor::natives::impl
