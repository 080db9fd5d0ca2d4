// The qorbin codec's built-in routines: a value into a QORBIN binary, and a
// QORBIN binary back into its values.
#include "runtime/datatypes/logic.h"
#include "runtime/environment/routines.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/qorbin/decoder.h"
#include "runtime/qorbin/encoder.h"

namespace qor::environment {

namespace {

// qorbin-encode data compact?: the compact or the fixed encoding.
void encode() {
    const Cell data = *stack::arg(0);
    const auto encoding = logic::is_true(*stack::arg(1)) ? qorbin::Encoding::compact : qorbin::Encoding::fixed;
    *stack::data.base = *qorbin::push_encoded(data, encoding);
}

// qorbin-decode payload: a binary of more than 10 bytes from its index; the
// single value it holds, or the block of its values.
void decode() {
    const Cell payload = *stack::arg(0);
    if (type_of(payload) != TypeId::binary) error::fire(error::Id::invalid_data, {payload});
    const series::Buffer* b = series::buffer(payload.w2);
    const uint32_t n = payload.w1 < b->length() ? b->length() - payload.w1 : 0;
    if (n <= 10) error::fire(error::Id::invalid_data, {payload});
    const Cell block = *qorbin::push_decoded({b->at(payload.w1), n}, &payload);
    series::Buffer* out = series::buffer(block.w2);
    if (out->length() != 1) {
        *stack::data.base = block;
        return;
    }
    *stack::data.base = out->cells()[0];
    clear_new_line(*stack::data.base);
}

}  // namespace

void define_qorbin_routines() {
    define_routine("qorbin-encode", "[data [any-type!] compact? [logic!]]", encode);
    define_routine("qorbin-decode", "[payload [any-type!]]", decode);
}

}  // namespace qor::environment
