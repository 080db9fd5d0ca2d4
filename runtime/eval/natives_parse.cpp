// parse: turns /case into a comparison code and /part into an index limit,
// answers at once when the limit leaves nothing to match, then runs the
// PARSE engine. A break, continue, return, exit or throw started by the
// rules' code passes through to its target.
#include "runtime/datatypes/logic.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/parse/parse.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

// Refinement slots, in interface order.
enum Ref : size_t { r_case, r_part, r_trace };

bool has(std::span<const int32_t> refs, Ref r) { return refs.size() > r && refs[r] >= 0; }

// The absolute index limit of /part (0: none). May be below 1: nothing to match.
int64_t part_limit(const Cell& input, const Cell& length) {
    const TypeId t = type_of(length);
    if (t == TypeId::integer) return int64_t{input.w1} + get_int(length);
    if (t == TypeId::float_ || t == TypeId::percent) return int64_t{input.w1} + static_cast<int64_t>(get_double(length));
    if (t != type_of(input) || length.w2 != input.w2)
        error::fire(error::Id::invalid_refine_arg, {word::load("part"), length});
    return length.w1;
}

void n_parse(bool, std::span<const int32_t> refs) {
    const Cell input = *arg(0);
    parse::Request request;
    request.input_at = stack::index_of(arg(0));
    request.rules_at = stack::index_of(arg(1));
    request.op = has(refs, r_case) ? CompareOp::strict_equal : CompareOp::equal;
    if (has(refs, r_part)) {
        const int64_t limit = part_limit(input, *arg(static_cast<uint32_t>(refs[r_part])));
        if (limit < 1 || limit <= int64_t{input.w1}) {
            const uint32_t tail = series::buffer(input.w2)->length();
            *arg(0) = input.w1 >= tail ? logic::true_value : logic::false_value;
            return;
        }
        request.limit = static_cast<uint32_t>(std::min<int64_t>(limit, UINT32_MAX));
    }
    if (has(refs, r_trace)) request.callback_at = static_cast<int32_t>(stack::index_of(arg(static_cast<uint32_t>(refs[r_trace]))));
    (void)parse::process(request, stack::index_of(arg(0)));
}

}  // namespace

void install_parse(Table& r) { r[Native::parse] = n_parse; }

}  // namespace qor::natives::impl
