// Building function!, native!, action! and op! values.
#include "runtime/datatypes/function.h"

#include "runtime/error_fire.h"
#include "runtime/eval/data_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::function {

namespace {

Cell* cells(NodeId node) { return series::buffer(node)->cells(); }
uint32_t length(NodeId node) { return series::buffer(node)->length(); }

bool is_copied_deep(TypeId t) {
    return t == TypeId::block || t == TypeId::paren || t == TypeId::path || t == TypeId::lit_path ||
           t == TypeId::set_path || t == TypeId::get_path;
}

bool canonical_is(uint32_t sym, Sym s) { return symbol::resolve_alias(sym) == symbol::resolve_alias(to_int(s)); }

[[noreturn]] void bad_def(const Cell& spec) { error::fire(error::Id::bad_func_def, {spec}); }

}  // namespace


Cell copy_deep(const Cell& block) {
    // The source and the copy stay on the stack while nested copies
    // allocate; the copy's tail grows with each cell so the collector sees
    // the nested copies already stored.
    const Cell* source = stack::push(block);
    const uint32_t from = block.w1;
    const uint32_t n = from < length(block.w2) ? length(block.w2) - from : 0;
    const NodeId node = series::alloc_cells(n);
    Cell* copy = stack::push(Cell{block.header & ~cell_flag::new_line, 0, node, block.w3});
    for (uint32_t i = 0; i < n; i++) {
        Cell item = cells(source->w2)[from + i];
        if (is_copied_deep(type_of(item))) {
            const Cell inner_index = item;
            item = copy_deep(Cell{inner_index.header, 0, inner_index.w2, 0});
            item.w1 = inner_index.w1;
            item.header = inner_index.header;
        }
        cells(copy->w2)[i] = item;
        series::buffer(copy->w2)->set_tail_units(i + 1);
    }
    const Cell result = *copy;
    stack::pop(2);
    return result;
}

uint32_t check_spec(const Cell& spec) {
    const NodeId node = spec.w2;
    uint32_t i = spec.w1, flags = 0;
    const uint32_t n = length(node);
    if (i < n && type_of(cells(node)[i]) == TypeId::block) {
        const Cell attrs = cells(node)[i++];
        for (uint32_t a = attrs.w1; a < length(attrs.w2); a++) {
            const Cell w = cells(attrs.w2)[a];
            if (type_of(w) != TypeId::word) bad_def(spec);
            if (canonical_is(w.w2, Sym::trace)) flags |= flag_trace;
            if (canonical_is(w.w2, Sym::no_trace)) flags |= flag_no_trace;
        }
    }
    bool seen_return = false, seen_local = false;
    const uint32_t first = i;
    for (; i < n; i++) {
        const Cell v = cells(node)[i];
        const TypeId t = type_of(v);
        const bool has_next = i + 1 < n;
        const TypeId next = has_next ? type_of(cells(node)[i + 1]) : TypeId::none_id;
        if (t == TypeId::word || t == TypeId::lit_word || t == TypeId::get_word) {
            if (seen_local && t != TypeId::word) bad_def(spec);
            if (seen_return && !seen_local) bad_def(spec);
            if (next == TypeId::block) i++;
        } else if (t == TypeId::string) {
            if (seen_local && next == TypeId::block) bad_def(spec);
        } else if (t == TypeId::set_word) {
            if (!canonical_is(v.w2, Sym::return_) || seen_return || seen_local || next != TypeId::block) bad_def(spec);
            seen_return = true;
            i++;
            if (i + 1 < n) {
                const TypeId after = type_of(cells(node)[i + 1]);
                if (after != TypeId::refinement && after != TypeId::string) bad_def(spec);
            }
        } else if (t == TypeId::refinement) {
            if (canonical_is(v.w2, Sym::local)) {
                seen_local = true;
            } else if (seen_local || seen_return) {
                bad_def(spec);
            }
            if (has_next && next != TypeId::word && next != TypeId::get_word && next != TypeId::lit_word &&
                next != TypeId::refinement && next != TypeId::set_word && next != TypeId::string)
                bad_def(spec);
        } else {
            bad_def(spec);
        }
    }
    // The same name twice.
    for (uint32_t a = first; a < n; a++) {
        const Cell x = cells(node)[a];
        if (!is_any_word(type_of(x)) || type_of(x) == TypeId::set_word) continue;
        for (uint32_t b = a + 1; b < n; b++) {
            const Cell y = cells(node)[b];
            if (is_any_word(type_of(y)) && type_of(y) != TypeId::set_word &&
                symbol::resolve_alias(x.w2) == symbol::resolve_alias(y.w2))
                error::fire(error::Id::dup_vars, {y});
        }
    }
    return flags;
}

Cell* push_new(const Cell& spec_value, const Cell& body) {
    // The interface block, the body and the function being made stay
    // reachable on the stack while the parts are made.
    Cell* spec_slot = stack::push(spec_value);
    const uint32_t flags = check_spec(*spec_slot);
    const Cell* body_slot = stack::push(body);
    if (spec_slot->w1 != 0) *spec_slot = copy_deep(*spec_slot);
    Cell* fn_slot = stack::push(Cell{to_int(TypeId::none), 0, 0, 0});
    uint32_t ctx = context::make_from_spec(*spec_slot, true, false, context::Kind::function);
    collector::NodeGuard ctx_guard(ctx);  // while the parts are allocated
    const NodeId parts = series::alloc_unset_cells(5);
    series::buffer(parts)->set_tail_units(5);
    const Cell fn{to_int(TypeId::function) | flags, ctx, spec_slot->w2, parts};
    *fn_slot = fn;
    *context::self(ctx) = fn;
    const Cell body_copy = copy_deep(*body_slot);
    cells(parts)[0] = body_copy;
    Cell bound = body_copy;
    context::bind(bound, ctx, false);
    stack::pop(3);
    return stack::push(fn);
}

}  // namespace qor::function

namespace qor::native {

Cell make(TypeId type, uint32_t number, const Cell& spec) {
    Cell* spec_slot = stack::push(spec);
    uint32_t ctx = context::make_from_spec(*spec_slot, true, false, context::Kind::function);
    collector::NodeGuard ctx_guard(ctx);  // while its block is allocated
    const NodeId block = series::alloc_unset_cells(2);
    series::buffer(block)->set_tail_units(2);
    series::buffer(block)->cells()[0] = *context::header(ctx);
    series::buffer(block)->cells()[1] = Cell{to_int(TypeId::none), 0, 0, 0};
    const Cell value{to_int(type), number, spec_slot->w2, block};
    stack::pop();
    return value;
}

Cell* cache_cell(const Cell& fn) {
    if (type_of(fn) == TypeId::function) return function::part(fn, function::Part::arg_cache);
    return series::buffer(fn.w3)->cells() + 1;
}

Cell make_op(const Cell& fn) {
    const TypeId t = type_of(fn);
    if (t != TypeId::native && t != TypeId::action && t != TypeId::function && t != TypeId::routine)
        error::fire(error::Id::invalid_type, {Cell{to_int(TypeId::datatype), to_int(t), 0, 0}});
    // The left argument must be a plain word; exactly two arguments.
    const NodeId spec = fn.w2;
    int args = 0;
    bool plain_seen = false, valid = true;
    for (uint32_t i = 0; i < series::buffer(spec)->length() && valid; i++) {
        const Cell v = series::buffer(spec)->cells()[i];
        const TypeId vt = type_of(v);
        if (vt == TypeId::word) {
            args++;
            plain_seen = true;
        } else if (vt == TypeId::lit_word || vt == TypeId::get_word) {
            args++;
            if (!plain_seen) valid = false;
        } else if (vt == TypeId::refinement) {
            const uint32_t c = symbol::resolve_alias(v.w2);
            if (c != symbol::resolve_alias(to_int(Sym::local)) && c != symbol::resolve_alias(to_int(Sym::extern_)))
                valid = false;
            break;
        } else if (vt == TypeId::set_word) {
            break;
        }
    }
    if (!valid || args != 2) error::fire(error::Id::bad_op_spec);
    if (t == TypeId::function || t == TypeId::routine) *function::part(fn, function::Part::op_value) = fn;
    Cell op = fn;
    op.header = to_int(TypeId::op) | (static_cast<uint32_t>(to_int(t)) << cell_flag::op_type_shift);
    return op;
}

}  // namespace qor::native
