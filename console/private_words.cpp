// The console's private words (see private_words.h).
#include "console/private_words.h"

#include <string_view>
#include <unordered_set>

#include "runtime/datatypes/function.h"
#include "runtime/core/type_ids.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::console {

namespace {

NodeId private_context = 0;

class Rebinder {
public:
    explicit Rebinder(NodeId target) : target_(target) {}

    // A function's body; an object's functions and nested objects.
    void value(Cell v) {
        switch (type_of(v)) {
            case TypeId::function: block(function::part(v, function::Part::body)->w2); break;
            case TypeId::object: object(v.w1); break;
            default: break;
        }
    }

private:
    void object(NodeId ctx) {
        if (!seen_.insert(ctx).second) return;
        const uint32_t n = context::word_count(ctx);
        for (uint32_t i = 0; i < n; i++) value(*context::value_cell_at(ctx, i));
    }

    // Indexes, not cell addresses: adding a private word allocates.
    void block(NodeId node) {
        if (node == 0 || !seen_.insert(node).second) return;
        for (uint32_t i = 0; i < series::buffer(node)->length(); i++) {
            Cell c = series::buffer(node)->cells()[i];
            const TypeId t = type_of(c);
            if (is_any_block(t)) block(c.w2);
            else if (is_word_like(t) && t != TypeId::issue && rebind(c)) series::buffer(node)->cells()[i] = c;
        }
    }

    // A word of the global context with a value there moves to the private
    // context, which gets that value; a function's body is walked in turn.
    bool rebind(Cell& word) {
        const NodeId global = context::global();

        if (word.w1 != global || static_cast<int32_t>(word.w3) < 0) return false;
        const Cell now = *context::value_cell_at(global, word.w3);
        if (type_of(now) == TypeId::unset) return false;
        int32_t i = context::find_word(target_, word.w2, true);
        if (i < 0) {
            i = context::add_word(target_, word.w2);
            *context::value_cell_at(target_, static_cast<uint32_t>(i)) = now;
        }
        word.w1 = target_;
        word.w3 = static_cast<uint32_t>(i);
        // The library functions the console calls (load and what it calls)
        // must not change under it either.
        if (type_of(now) == TypeId::function) value(now);
        return true;
    }

    NodeId target_;
    std::unordered_set<NodeId> seen_;
};

// The global value of a word, or unset.
Cell global_value(std::string_view name) {
    const int32_t i = context::find_word(context::global(), symbol::make(name), true);
    return i < 0 ? unset_cell : *context::value_cell_at(context::global(), static_cast<uint32_t>(i));
}

}  // namespace

void take_private_words() {
    if (private_context == 0) {
        private_context = context::make(512, false, false, nullptr, context::Kind::object);
        collector::add_root(&private_context);
    }
    Rebinder rebinder(private_context);
    const Cell system = global_value("system");
    if (type_of(system) == TypeId::object) {
        const int32_t c = context::find_word(system.w1, symbol::make("console"), true);
        if (c >= 0) rebinder.value(*context::value_cell_at(system.w1, static_cast<uint32_t>(c)));
    }
    for (std::string_view name : {"cli-console-ctx", "ask", "input", "quit", "_save-cfg"})
        rebinder.value(global_value(name));
}

}  // namespace qor::console
