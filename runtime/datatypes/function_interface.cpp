// Function interface blocks: their grammar check and the locals that the
// native `function` collects from a body.
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "runtime/datatypes/function.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::function {

namespace {

Cell* cells(NodeId node) { return series::buffer(node)->cells(); }
uint32_t length(NodeId node) { return series::buffer(node)->length(); }
Cell block_of(NodeId node) { return Cell{to_int(TypeId::block), 0, node, 0}; }

uint32_t canonical(uint32_t sym) { return symbol::resolve_alias(sym); }
uint32_t canonical(Sym s) { return symbol::resolve_alias(to_int(s)); }

bool is_arg_word(TypeId t) { return t == TypeId::word || t == TypeId::lit_word || t == TypeId::get_word; }

[[noreturn]] void bad_def(const Cell& spec) { error::fire(error::Id::bad_func_def, {spec}); }

// The attribute block: words only; `trace` and `no-trace` set header flags.
uint32_t attribute_flags(const Cell& spec, const Cell& attrs) {
    uint32_t flags = 0;
    for (uint32_t a = attrs.w1; a < length(attrs.w2); a++) {
        const Cell w = cells(attrs.w2)[a];
        if (type_of(w) != TypeId::word) bad_def(spec);
        const uint32_t c = canonical(w.w2);
        if (c == canonical(Sym::trace)) flags |= flag_trace;
        else if (c == canonical(Sym::no_trace)) flags |= flag_no_trace;
    }
    return flags;
}

// The order of arguments, doc strings, `return:`, refinements and locals.
void check_structure(const Cell& spec, uint32_t first) {
    const NodeId node = spec.w2;
    const uint32_t n = length(node);
    const uint32_t return_sym = canonical(Sym::return_), local_sym = canonical(Sym::local);
    bool seen_return = false, seen_local = false;
    auto type_at = [&](uint32_t i) { return i < n ? type_of(cells(node)[i]) : TypeId::none_id; };
    for (uint32_t i = first; i < n; i++) {
        const Cell v = cells(node)[i];
        const TypeId t = type_of(v);
        if (is_arg_word(t)) {
            if (seen_local && t != TypeId::word) bad_def(spec);
            if (seen_return && !seen_local) bad_def(spec);
            if (type_at(i + 1) == TypeId::block) i++;  // its type block
            else if (type_at(i + 1) == TypeId::string && type_at(i + 2) == TypeId::block) bad_def(spec);
        } else if (t == TypeId::string) {
            continue;
        } else if (t == TypeId::set_word) {
            if (canonical(v.w2) != return_sym || seen_return || seen_local || type_at(i + 1) != TypeId::block)
                bad_def(spec);
            seen_return = true;
            i++;
            const TypeId after = type_at(i + 1);
            if (i + 1 < n && after != TypeId::refinement && after != TypeId::string) bad_def(spec);
        } else if (t == TypeId::refinement) {
            if (canonical(v.w2) == local_sym) seen_local = true;
            else if (seen_local || seen_return) bad_def(spec);
            const TypeId next = type_at(i + 1);
            if (i + 1 < n && !is_arg_word(next) && next != TypeId::refinement && next != TypeId::set_word &&
                next != TypeId::string)
                bad_def(spec);
        } else {
            bad_def(spec);
        }
    }
}

// Every word of a type block must name a datatype, a typeset or a word. A
// standard type name that the library has not defined yet is taken as it
// will be, as the argument cache reads it.
void check_type_block(const Cell& types) {
    for (uint32_t k = types.w1; k < length(types.w2); k++) {
        const Cell entry = cells(types.w2)[k];
        if (type_of(entry) != TypeId::word) continue;
        const Cell value = *context::value_cell(entry);
        const TypeId vt = type_of(value);
        if (vt == TypeId::datatype || vt == TypeId::typeset || vt == TypeId::word) continue;
        if (vt == TypeId::unset) {
            if (arg_cache::is_standard_type_name(entry.w2)) continue;
            error::fire(error::Id::no_value, {entry});
        }
        error::fire(error::Id::invalid_type_spec, {entry});
    }
}

void check_types(const Cell& spec, uint32_t first) {
    const NodeId node = spec.w2;
    for (uint32_t i = first; i + 1 < length(node); i++) {
        const TypeId t = type_of(cells(node)[i]);
        if ((is_arg_word(t) || t == TypeId::set_word) && type_of(cells(node)[i + 1]) == TypeId::block)
            check_type_block(cells(node)[++i]);
    }
}

// The same name twice: the first name that repeats, reported at its first
// repetition. One pass with a table of first positions.
void check_duplicates(const Cell& spec, uint32_t first) {
    const NodeId node = spec.w2;
    std::unordered_map<uint32_t, uint32_t> first_at;
    uint32_t best_first = UINT32_MAX, best_repeat = 0;
    for (uint32_t i = first; i < length(node); i++) {
        const Cell v = cells(node)[i];
        if (!is_arg_word(type_of(v)) && type_of(v) != TypeId::refinement) continue;
        const auto [it, added] = first_at.try_emplace(canonical(v.w2), i);
        if (!added && it->second < best_first) {
            best_first = it->second;
            best_repeat = i;
        }
    }
    if (best_first != UINT32_MAX) error::fire(error::Id::dup_vars, {cells(node)[best_repeat]});
}

}  // namespace

uint32_t check_spec(const Cell& spec) {
    uint32_t i = spec.w1, flags = 0;
    if (i < length(spec.w2) && type_of(cells(spec.w2)[i]) == TypeId::block)
        flags = attribute_flags(spec, cells(spec.w2)[i++]);
    check_structure(spec, i);
    check_types(spec, i);
    check_duplicates(spec, i);
    return flags;
}

// --- Locals of `function` -------------------------------------------------

namespace {

// The words a body sets, in order of first appearance, each once and none
// that the ignore set holds.
class LocalCollector {
public:
    LocalCollector(std::unordered_set<uint32_t>& ignore, NodeId found) : ignore_(ignore), found_(found) {}

    void walk(NodeId block, uint32_t from) {
        for (uint32_t i = from; i < length(block); i++) {
            const Cell c = cells(block)[i];
            const TypeId t = type_of(c);
            if (t == TypeId::set_word) {
                add(c);
            } else if (t == TypeId::word && i + 1 < length(block)) {
                after_loop_word(c, cells(block)[i + 1]);
            } else if (t == TypeId::block || t == TypeId::paren) {
                walk(c.w2, c.w1);
            }
        }
    }

private:
    // The loop words name their variables in the value that follows them.
    void after_loop_word(const Cell word, const Cell next) {
        const uint32_t c = canonical(word.w2);
        const bool each = c == foreach_ || c == remove_each_;
        if (!each && c != repeat_) return;
        const TypeId t = type_of(next);
        if (t == TypeId::word || t == TypeId::set_word) {
            add(next);
        } else if (each && t == TypeId::block) {
            for (uint32_t k = next.w1; k < length(next.w2); k++)
                if (type_of(cells(next.w2)[k]) == TypeId::word) add(cells(next.w2)[k]);
        }
    }

    void add(const Cell w) {
        if (!ignore_.insert(canonical(w.w2)).second) return;
        const Cell plain = word::make_cell(TypeId::word, w.w1, w.w2, static_cast<int32_t>(w.w3));
        *series_tail::alloc_cell(found_) = plain;
    }

    std::unordered_set<uint32_t>& ignore_;
    NodeId found_;
    const uint32_t foreach_ = canonical(Sym::foreach), remove_each_ = canonical(Sym::remove_each),
                   repeat_ = canonical(Sym::repeat);
};

// A word as an ignore-list entry: words of every type stand for their name;
// blocks and strings are passed over; anything else is refused.
void ignore_entry(std::unordered_set<uint32_t>& ignore, const Cell& entry) {
    const TypeId t = type_of(entry);
    if (is_word_like(t)) ignore.insert(canonical(entry.w2));
    else if (t != TypeId::block && t != TypeId::string) error::fire(error::Id::bad_func_extern, {entry});
}

}  // namespace

Cell* push_made_spec(const Cell& spec, const Cell& body) {
    // The new interface block: a shallow copy from the index with room to grow.
    const uint32_t from = spec.w1 < length(spec.w2) ? spec.w1 : length(spec.w2);
    const uint32_t n = length(spec.w2) - from;
    Cell* source = stack::push(spec);
    const Cell* body_slot = stack::push(body);
    Cell* copy = stack::push(block_of(series::alloc_cells(n + 8)));
    for (uint32_t i = 0; i < n; i++) *series_tail::alloc_cell(copy->w2) = cells(source->w2)[from + i];

    std::unordered_set<uint32_t> ignore;
    for (uint32_t i = 0; i < n; i++) ignore_entry(ignore, cells(copy->w2)[i]);

    // /extern and the words after it leave the interface block (they stay ignored).
    const uint32_t extern_sym = canonical(Sym::extern_);
    series::Buffer* b = series::buffer(copy->w2);
    for (uint32_t i = 0; i < b->length(); i++) {
        const Cell c = b->cells()[i];
        if (type_of(c) != TypeId::refinement || canonical(c.w2) != extern_sym) continue;
        uint32_t end = i + 1;
        while (end < b->length() && type_of(b->cells()[end]) != TypeId::refinement) end++;
        std::memmove(b->cells() + i, b->cells() + end, (b->length() - end) * sizeof(Cell));
        b->tail -= (end - i) * series::cell_unit;
        break;
    }

    Cell* found = stack::push(block_of(series::alloc_cells(8)));
    LocalCollector(ignore, found->w2).walk(body_slot->w2, body_slot->w1);
    if (length(found->w2) > 0) {
        const uint32_t local_sym = canonical(Sym::local);
        bool has_local = false;
        for (uint32_t i = 0; i < length(copy->w2) && !has_local; i++) {
            const Cell c = cells(copy->w2)[i];
            has_local = type_of(c) == TypeId::refinement && canonical(c.w2) == local_sym;
        }
        if (!has_local)
            *series_tail::alloc_cell(copy->w2) = word::make_cell(TypeId::refinement, 0, to_int(Sym::local), word::no_index);
        for (uint32_t i = 0; i < length(found->w2); i++) {
            const Cell w = cells(found->w2)[i];
            if (canonical(w.w2) != local_sym) *series_tail::alloc_cell(copy->w2) = w;
        }
    }
    const Cell result = *copy;
    stack::pop(4);
    return stack::push(result);
}

}  // namespace qor::function
