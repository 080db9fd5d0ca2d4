// The case natives: uppercase and lowercase of a string (in place) or a
// character, all of it or a /part of it.
#include "runtime/eval/natives_impl.h"
#include "runtime/unicode/case_change.h"

namespace qor::natives::impl {

namespace {

template <unicode::CaseDirection direction>
void n_change_case(bool, std::span<const int32_t> refinements) {
    const bool part = !refinements.empty() && refinements[0] >= 0;
    const Cell* limit = part ? arg(static_cast<uint32_t>(refinements[0])) : nullptr;
    unicode::change_case(*arg(0), direction, limit);
}

}  // namespace

void install_case(Table& r) {
    r[Native::uppercase] = n_change_case<unicode::CaseDirection::upper>;
    r[Native::lowercase] = n_change_case<unicode::CaseDirection::lower>;
}

}  // namespace qor::natives::impl
