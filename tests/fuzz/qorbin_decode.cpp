// Fuzzes the QORBIN decoder in load mode: any input decodes, or is refused
// with qb-invalid-record, invalid-data or no-codec; it never crashes or
// reads outside the input. What decodes must mold, encode again in both
// encodings, and decode from that encoding to values that mold the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/evaluator.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/handle_table.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/series.h"
#include "runtime/qorbin/decoder.h"
#include "runtime/qorbin/encoder.h"

namespace {

bool expected(const qor::error::Raised& e) {
    // Molding a tree nested as deeply as the decoder allows may reach the
    // mold's own nesting limit.
    return e.is(qor::error::Id::qb_invalid_record) || e.is(qor::error::Id::invalid_data) ||
           e.is(qor::error::Id::no_codec) || e.is(qor::error::Id::too_deep);
}

// The decoded block, molded; the block stays on the data stack.
std::string decode_and_mold(const uint8_t* data, size_t size) {
    const qor::Cell* block = qor::qorbin::push_decoded({data, size}, nullptr);
    return qor::test::mold_value(*block);
}

// The one value an encoding of a block holds (that block), molded.
std::string decode_one_and_mold(const std::vector<uint8_t>& data) {
    const qor::Cell block = *qor::qorbin::push_decoded(data, nullptr);
    if (qor::series::buffer(block.w2)->length() != 1) std::abort();
    return qor::test::mold_value(qor::series::buffer(block.w2)->cells()[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Nothing is collected here (the test boot registers no root block),
    // so the heap starts afresh now and then.
    static int runs = 0;
    if (runs++ % 1000 == 0) {
        if (runs > 1) qor::memory::release_all();
        qor::bench::boot_evaluator();
    }
    qor::Cell* const base = qor::stack::data.top;
    try {
        const std::string first = decode_and_mold(data, size);
        const qor::Cell decoded = *qor::stack::top();
        for (auto encoding : {qor::qorbin::Encoding::compact, qor::qorbin::Encoding::fixed}) {
            const std::vector<uint8_t> again = qor::qorbin::encode(decoded, encoding);
            if (decode_one_and_mold(again) != first) {
                std::fprintf(stderr, "re-encoded value differs: %s\n", first.c_str());
                std::abort();
            }
        }
    } catch (const qor::error::Raised& e) {
        if (!expected(e)) {
            std::fprintf(stderr, "unexpected error %d\n", static_cast<int>(e.id));
            std::abort();
        }
    }
    qor::stack::data.top = base;
    // The decoded images are dropped with the stack; a sweep with nothing
    // marked releases their pixels, as a collection would.
    qor::handle::sweep();
    return 0;
}
