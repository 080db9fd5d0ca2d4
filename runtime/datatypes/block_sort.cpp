// block!: sort, and the compare routine of every block type.
//
// sort orders records (one or more cells) with the record sorts, by the
// compare routines of the cells' datatypes or by a comparator function that
// the evaluator calls through an installed hook. A comparator answers true
// when its first argument is to come before its second: for the pair (a, b)
// it is called with b first, and true then orders a after b.
#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series_type.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"
#include "runtime/sort/record_sort.h"

namespace qor::block {

namespace {

ComparatorCall comparator_call = nullptr;

// Flag word of a sort: bit 0 reverse, bit 1 whole records, from bit 2 the
// record size (whole records) or the compared cell's offset.
constexpr uint32_t flag_reverse = 1;
constexpr uint32_t flag_all = 2;
constexpr int flag_shift = 2;

// The three-way order of two cells for sorting: a pair of datatypes with no
// order between them sorts by type id.
int32_t order_cells(const Cell& a, const Cell& b, CompareOp op) {
    const actions::Routine r = datatype::routine(type_of(a), Action::compare);
    int32_t answer = r ? actions::restore<Action::compare>(r)(&a, &b, op) : -2;
    if (answer == -2) answer = int32_t(to_int(type_of(a))) - int32_t(to_int(type_of(b)));
    return answer;
}

int32_t sort_compare(const void* pa, const void* pb, void* op_arg, void* flags_arg) {
    const auto op = static_cast<CompareOp>(reinterpret_cast<uintptr_t>(op_arg));
    const auto flags = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(flags_arg));
    const Cell* a = static_cast<const Cell*>(pa);
    const Cell* b = static_cast<const Cell*>(pb);
    if (flags & flag_reverse) std::swap(a, b);
    uint32_t count = 1;
    if (flags & flag_all) {
        count = flags >> flag_shift;
    } else {
        a += flags >> flag_shift;
        b += flags >> flag_shift;
    }
    for (uint32_t i = 0; i < count; i++)
        if (const int32_t r = order_cells(a[i], b[i], op)) return r;
    return 0;
}

// What a function comparator needs: the function, the flags and, for whole
// records, two blocks that carry them.
struct CallContext {
    Cell function;
    uint32_t flags;
    uint32_t record_cells;
    Cell* scratch_a;  // on the data stack
    Cell* scratch_b;
};

// A comparator's answer as an order: true 1, false -1, numbers by sign,
// none -1, anything else 1.
int32_t answer_of(const Cell& r) {
    switch (type_of(r)) {
        case TypeId::logic: return logic::get(r) ? 1 : -1;
        case TypeId::integer: return get_int(r);
        case TypeId::float_: {
            const double d = get_double(r);
            return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
        }
        case TypeId::none: return -1;
        default: return 1;
    }
}

void fill_scratch(const Cell& scratch, const Cell* record, uint32_t n) {
    series::Buffer* b = series::buffer(scratch.w2);
    std::copy(record, record + n, b->cells());
    b->set_tail_units(b->head_units() + n);
}

int32_t sort_call(const void* pa, const void* pb, void* ctx_arg, void*) {
    const auto* ctx = static_cast<const CallContext*>(ctx_arg);
    const Cell* a = static_cast<const Cell*>(pa);
    const Cell* b = static_cast<const Cell*>(pb);
    Cell first = *b, second = *a;  // the later record first
    if (ctx->flags & flag_reverse) std::swap(first, second);
    if (ctx->flags & flag_all) {
        const Cell* rf = (ctx->flags & flag_reverse) ? a : b;
        const Cell* rs = (ctx->flags & flag_reverse) ? b : a;
        fill_scratch(*ctx->scratch_a, rf, ctx->record_cells);
        fill_scratch(*ctx->scratch_b, rs, ctx->record_cells);
        first = *ctx->scratch_a;
        second = *ctx->scratch_b;
    }
    return answer_of(comparator_call(ctx->function, first, second));
}

}  // namespace

void install_comparator_call(ComparatorCall call) { comparator_call = call; }

int32_t call_comparator(const Cell& function, const Cell& first, const Cell& second) {
    if (!comparator_call) error::fire(error::Id::not_done);
    return answer_of(comparator_call(function, first, second));
}

const Cell* sort(Cell* s, const actions::SortArgs& args) {
    int64_t n = series_type::length_at(*s);
    if (n == 0) return s;
    if (args.part) {
        const int64_t count = series_type::part_count(*s, *args.part);
        if (count < 0) {
            if (int64_t{s->w1} + count < 0) {
                s->w1 = 0;
                return s;
            }
            s->w1 = uint32_t(int64_t{s->w1} + count);
            n = -count;
        } else if (count < n) {
            n = count;
        }
    }
    int64_t size = 1;
    if (args.skip) {
        size = type_of(*args.skip) == TypeId::integer ? get_int(*args.skip) : 0;
        if (size < 1 || n % size != 0 || n < size)
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"skip"}, *args.skip});
    }
    if (args.all && !args.skip) error::fire(error::Id::bad_refines);
    uint32_t flags = 0;
    bool by_function = false;
    if (args.comparator) {
        const Cell& c = *args.comparator;
        if (type_of(c) == TypeId::function) {
            by_function = true;
            if (args.all) flags |= flag_all | uint32_t(size) << flag_shift;
        } else if (type_of(c) == TypeId::integer) {
            if (!args.skip || args.all) error::fire(error::Id::bad_refines);
            const int32_t offset = get_int(c);
            if (offset < 1 || offset > size) error::fire(error::Id::out_of_range, {c});
            flags |= uint32_t(offset - 1) << flag_shift;
        } else {
            error::fire(error::Id::invalid_refine_arg, {error::WordArg{"compare"}, c});
        }
    } else if (args.all) {
        flags |= flag_all | uint32_t(size) << flag_shift;
    }
    if (args.reverse) flags |= flag_reverse;
    if (by_function && !comparator_call) error::fire(error::Id::not_done);

    const size_t records = size_t(n / size);
    const size_t width = size_t(size) * sizeof(Cell);
    series_type::Notice notice(*s, ownership::Change::sort, nullptr, int32_t(s->w1), 0);
    if (!by_function) {
        const CompareOp op = args.case_sensitive ? CompareOp::sort_case : CompareOp::sort;
        void* op_arg = reinterpret_cast<void*>(uintptr_t(to_int(op)));
        void* flags_arg = reinterpret_cast<void*>(uintptr_t(flags));
        Cell* base = series::buffer(s->w2)->cells() + s->w1;
        if (args.stable) sort::stable_sort(base, records, width, op_arg, flags_arg, &sort_compare);
        else sort::quick_sort(base, records, width, op_arg, flags_arg, &sort_compare);
    } else {
        // The comparator runs code that may move the block's buffer: sort a
        // copy that stays put, then write it back. The cells stay reachable
        // through the block meanwhile.
        const Cell* from = series::buffer(s->w2)->cells() + s->w1;
        std::vector<Cell> work(from, from + n);
        CallContext ctx{*args.comparator, flags, uint32_t(size), nullptr, nullptr};
        if (flags & flag_all) {
            ctx.scratch_a = push_new(int32_t(size));
            ctx.scratch_b = push_new(int32_t(size));
            (void)series::expand(ctx.scratch_a->w2, uint64_t(width));
            (void)series::expand(ctx.scratch_b->w2, uint64_t(width));
        }
        if (args.stable) sort::stable_sort(work.data(), records, width, &ctx, nullptr, &sort_call);
        else sort::quick_sort(work.data(), records, width, &ctx, nullptr, &sort_call);
        std::copy(work.begin(), work.end(), series::buffer(s->w2)->cells() + s->w1);
    }
    if (NodeId index = series_type::hash_index_of(*s)) hashtable::rebuild(index, int32_t(series_type::length_of_buffer(*s)));
    notice.done(nullptr, int32_t(s->w1), 0);
    return s;
}

// --- compare ------------------------------------------------------------------------

namespace {

bool is_number(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::percent; }

bool comparable(TypeId a, TypeId b) {
    return a == b || (is_word_like(a) && is_word_like(b)) || (is_number(a) && is_number(b));
}

bool is_equality_code(CompareOp op) {
    switch (op) {
        case CompareOp::equal: case CompareOp::not_equal: case CompareOp::strict_equal:
        case CompareOp::equal_series: case CompareOp::equal_series_alt: case CompareOp::find_key:
            return true;
        default:
            return false;
    }
}

}  // namespace

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    const TypeId ta = type_of(*a), tb = type_of(*b);
    if (ta != tb) {
        const bool path_pair = (ta == TypeId::path && tb == TypeId::lit_path) ||
                               (ta == TypeId::lit_path && tb == TypeId::path);
        if (!(path_pair && (op == CompareOp::equal_series || op == CompareOp::equal_series_alt))) return -2;
    }
    return compare_each(a, b, op);
}

int32_t compare_each(const Cell* a, const Cell* b, CompareOp op) {
    if (a->w2 == b->w2 && a->w1 == b->w1) return 0;
    if (op == CompareOp::same) return -1;
    if (cycle::find(a->w2)) return cycle::find(b->w2) ? 0 : -1;
    const uint32_t la = length_at(*a), lb = length_at(*b);
    if (la != lb && is_equality_code(op)) return 1;
    // An empty first block orders by length, as a shorter common prefix does.
    if (la == 0) return lb == 0 ? 0 : -1;
    int32_t answer = 0;
    {
        cycle::Scope scope_a(a->w2);
        cycle::Scope scope_b(b->w2);
        for (uint32_t i = 0; i < std::min(la, lb) && answer == 0; i++) {
            // Read the cells afresh each time: a nested comparison may allocate.
            const Cell x = series::buffer(a->w2)->cells()[a->w1 + i];
            const Cell y = series::buffer(b->w2)->cells()[b->w1 + i];
            const TypeId tx = type_of(x), ty = type_of(y);
            if (!comparable(tx, ty)) return to_int(tx) < to_int(ty) ? -1 : 1;
            answer = actions::compare_order(x, y, op);
        }
    }
    if (answer != 0) return answer;
    return la < lb ? -1 : la > lb ? 1 : 0;
}

}  // namespace qor::block
