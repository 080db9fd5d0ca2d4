// percent!: a float! shown as a percentage.
#include "runtime/datatypes/percent.h"

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series_tail.h"

namespace qor::percent {

// ---- helpers

Cell* make_at(Cell& cell, double d) {
    set_header(cell, TypeId::percent);
    set_double(cell, d);
    return &cell;
}

Cell* push(double d) { return make_at(*stack::push_slot(), d); }

// ---- actions

namespace {

// The percentage with 13 significant digits and "%": 0.5 forms as 50%.
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    const float_text::Text t = float_::form_by_kind(get(*value) * 100.0, float_::Kind::percent);
    return text_buffer::put(*buffer, t.view(), limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

}  // namespace

// ---- registration

void init() {
    datatype::ActionRow row;
    row.own<Action::form>(form).own<Action::mold>(mold);
    for (Action a : {Action::make, Action::random, Action::to, Action::compare, Action::absolute, Action::add,
                     Action::divide, Action::multiply, Action::negate, Action::power, Action::remainder,
                     Action::round, Action::subtract, Action::even_q, Action::odd_q})
        row.inherit(a);
    datatype::register_type(TypeId::percent, TypeId::float_, row);
}

}  // namespace qor::percent
