// The max and min natives: the larger or smaller of two values, decided by
// the lesser? comparison; one of the two operands answers unchanged, so
// mixed integer! and float! operands keep their own datatype.
#include <cmath>

#include "runtime/datatypes/compare_ops.h"
#include "runtime/eval/actions.h"
#include "runtime/eval/natives_impl.h"

namespace qor::natives::impl {

namespace {

bool is_number(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::percent; }

// A float! or percent! holding a NaN.
bool is_nan(const Cell& v) {
    const TypeId t = type_of(v);
    return (t == TypeId::float_ || t == TypeId::percent) && std::isnan(get_double(v));
}

// A NaN against a number wins in either place: no ordering test could
// prefer the number, and losing the NaN would hide a failed computation.
template <bool max>
void n_max_min(bool, std::span<const int32_t>) {
    Cell* first = arg(0);
    const Cell& second = *arg(1);
    if (is_nan(*first) && is_number(type_of(second))) return;
    if (is_nan(second) && is_number(type_of(*first))) {
        *first = second;
        return;
    }
    const bool first_less = actions::compare(*first, second, CompareOp::lesser);
    if (first_less == max) *first = second;
}

}  // namespace

void install_maxmin(std::span<Routine> r) {
    r[50] = n_max_min<true>;
    r[51] = n_max_min<false>;
}

}  // namespace qor::natives::impl
