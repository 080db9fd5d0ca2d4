// Fuzzes the lexer: any input loads, or raises a syntax error, in every
// mode (loading, checking only, prescan, one value, and with a listener
// that suppresses every error so that the run goes on past bad input).
// It must never crash, read outside the input or run on for ever.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "runtime/core/error_fire.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/memory_record.h"
#include "tests/support/core_runtime.h"

namespace {

void fresh_runtime() {
    qor::test::start_core_runtime();
    qor::lexer::init();
}

void run(const uint8_t* data, size_t size, const qor::lexer::Options& options) {
    qor::Cell out = qor::unset_cell;
    try {
        const auto r = qor::lexer::scan_buffer(&out, data, size, options);
        if (r.consumed > size) std::abort();
    } catch (const qor::error::Raised& e) {
        if (e.category != qor::error::Category::syntax) {
            std::fprintf(stderr, "unexpected error %d/%.*s\n", static_cast<int>(e.category), static_cast<int>(qor::error::spelling(e.id).size()), qor::error::spelling(e.id).data());
            std::abort();
        }
    }
    if (qor::lexer::active_runs() != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Nothing is collected here, so the heap starts afresh now and then.
    static int runs = 0;
    if (runs++ % 500 == 0) {
        if (runs > 1) qor::memory::release_all();
        fresh_runtime();
    }
    run(data, size, {});
    qor::lexer::Options check;
    check.load = false;
    run(data, size, check);
    qor::lexer::Options prescan;
    prescan.scan = false;
    run(data, size, prescan);
    qor::lexer::Options one;
    one.one = true;
    run(data, size, one);

    qor::lexer::Listener quiet;
    quiet.on_event = [](const qor::lexer::EventInfo& e, uint32_t&) { return e.event != qor::lexer::Event::error; };
    qor::lexer::Options listened;
    listened.listener = &quiet;
    run(data, size, listened);
    return 0;
}
