// Binding natives: bind and in; extend of a map; to-local-file.
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

// The context a bind or in argument refers to: a function's own context, or
// the one an object or a word refers to (payload word 1 for all of them).
NodeId target_context(const Cell& v) { return v.w1; }

void n_bind(bool, std::span<const int32_t> refs) {
    const Cell target = *arg(1);
    const NodeId ctx = target_context(target);
    if (ctx == 0) error::fire(error::Id::not_defined, {target});
    Cell value = *arg(0);
    if (is_word_like(type_of(value))) {
        Cell w = value;
        context::bind_word(ctx, w);
        *arg(0) = w;
        return;
    }
    if (refs[0] >= 0) {
        value = function::copy_deep(value);
        *arg(0) = value;
    }
    context::bind(*arg(0), ctx, type_of(target) == TypeId::object);
}

// construct: an object from an unevaluated make argument, copied from the /with
// prototype when given.
void n_construct(bool, std::span<const int32_t> refs) {
    const Cell* prototype = refs[0] >= 0 ? arg(static_cast<uint32_t>(refs[0])) : nullptr;
    const Cell made = *object::push_new(*arg(0), prototype, refs[1] >= 0);
    *arg(0) = made;
}

void n_in(bool, std::span<const int32_t>) {
    const NodeId ctx = target_context(*arg(0));
    Cell w = *arg(1);
    const int32_t index = ctx ? context::find_word(ctx, w.w2, true) : -1;
    if (index < 0) {
        *arg(0) = none::value;
        return;
    }
    if (type_of(w) == TypeId::refinement) set_header(w, TypeId::word);
    w.w1 = ctx;
    w.w3 = static_cast<uint32_t>(index);
    *arg(0) = w;
}

// extend map spec /case: the pairs of the block join the map. Objects do
// not grow in place.
void n_extend(bool, std::span<const int32_t> refs) {
    if (type_of(*arg(0)) != TypeId::map) error::fire(error::Id::not_done);
    map::extend_with(*arg(0), *arg(1), refs[0] >= 0);
}

// to-local-file path /full: the path as the platform writes it, as a new
// string.
void n_to_local_file(bool, std::span<const int32_t> refs) {
    const std::string local = url_text::to_local(*arg(0), refs[0] >= 0);
    const Cell* out = str::push_new(reinterpret_cast<const uint8_t*>(local.data()), local.size());
    *arg(0) = *out;
    stack::pop();
}

}  // namespace

void install_bind(Table& r) {
    r[Native::bind] = n_bind;
    r[Native::in] = n_in;
    r[Native::construct] = n_construct;
    r[Native::extend] = n_extend;
    r[Native::to_local_file] = n_to_local_file;
}

}  // namespace qor::natives::impl
