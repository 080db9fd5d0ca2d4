// The object field cache of path evaluation: a small direct-mapped table.
#include "runtime/eval/path_cache.h"

#include <array>

#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::path_cache {

namespace {

struct Entry {
    NodeId path = 0;
    uint32_t offset = 0;
    NodeId ctx = 0;
    uint32_t index = 0;
    uint32_t symbol = 0;  // the element's symbol
};

constexpr uint32_t entries = 512;
std::array<Entry, entries> table{};

inline Entry& slot_for(NodeId path, uint32_t offset) {
    return table[(path * 31u + offset) & (entries - 1)];
}

}  // namespace

bool bind(NodeId path, uint32_t offset, NodeId ctx, Cell& element) {
    const Entry& e = slot_for(path, offset);
    if (e.path != path || e.offset != offset || e.ctx != ctx || e.symbol != element.w2 || ctx == 0) return false;
    // The word list is reached once for both the count and the word.
    series::Buffer* words = series::buffer(context::word_list(ctx));
    if (e.index >= words->length()) return false;
    const uint32_t held = words->cells()[e.index].w2;
    // The field is found ignoring case, as the object's path action finds it.
    if (held != element.w2 && symbol::resolve_alias(held) != symbol::resolve_alias(element.w2)) return false;
    element.w1 = ctx;
    element.w3 = e.index;
    return true;
}

void remember(NodeId path, uint32_t offset, NodeId ctx, const Cell& element) {
    if (element.w1 != ctx || word::index_of(element) < 0) return;
    slot_for(path, offset) = Entry{path, offset, ctx, element.w3, element.w2};
}

}  // namespace qor::path_cache
