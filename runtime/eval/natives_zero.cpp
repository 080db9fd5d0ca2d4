// zero?: whether a number or character is zero.
#include "runtime/datatypes/logic.h"
#include "runtime/error_fire.h"
#include "runtime/eval/natives_impl.h"

namespace qor::natives::impl {

namespace {

void n_zero_q(bool, std::span<const int32_t>) {
    const Cell v = *arg(0);
    bool zero = false;
    switch (type_of(v)) {
        case TypeId::integer:
        case TypeId::char_: zero = v.w2 == 0; break;
        case TypeId::float_:
        case TypeId::percent:
        case TypeId::time: zero = get_double(v) == 0.0; break;
        default: error::fire(error::Id::not_done);
    }
    *arg(0) = zero ? logic::true_value : logic::false_value;
}

}  // namespace

void install_zero(std::span<Routine> r) { r[99] = n_zero_q; }

}  // namespace qor::natives::impl
