// The calls on the call stack as words.
#include "runtime/words/call_listing.h"

#include "runtime/memory/call_stack.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"

namespace qor::stack {

namespace {

// The word of a frame's symbol in its word context (the global context
// when it has none).
Cell frame_word(const Frame& f) {
    return word::find_in_or_global(f.word_context ? f.word_context : context::global(), f.symbol);
}

}  // namespace

void collect_calls(int level, NodeId block, size_t end) {
    const size_t last = end < call_depth() ? end : call_depth();
    for (size_t i = 0; i < last; i++) {
        const Frame f = calls.bottom[i];
        if (f.symbol == anonymous.body || f.symbol == anonymous.anon) continue;
        const Cell w = frame_word(f);
        if (level <= 1) {
            const int32_t index = word::index_of(w);
            const NodeId ctx = word::context_of(w);
            if (index < 0 || ctx == 0 || !context::has_values(*context::header(ctx))) continue;
            if (type_of(*context::value_cell_at(ctx, static_cast<uint32_t>(index))) != TypeId::function) continue;
        }
        Cell plain = w;
        set_header(plain, TypeId::word);
        *series_tail::alloc_cell(block) = plain;
    }
}

}  // namespace qor::stack
