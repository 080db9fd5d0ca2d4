// Decoded forms of blocks: the decoder, the runner and the table that keeps them.
#include "runtime/eval/decoded_block.h"

#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/native_ids.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/eval/fast_paths.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/eval/natives.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/eval/path_cache.h"
#include "runtime/eval/trace.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"

namespace qor::interpreter::decoded {

using internal::bound_value;
using internal::is_callable;

// What the primary of an expression is.
enum class Kind : uint8_t {
    constant,       // a value pushed as it stands
    word_read,      // a word holding plain data
    call_function,  // a word holding a function!, its mandatory arguments after it
    call_native,    // a word holding a native! or action!, likewise
    set_word,       // a set-word and its value's expression
    set_path,       // a set-path and its value's expression
    paren,          // a paren evaluated as a block
    path,           // a path not starting with a function
    plain,          // anything else: one plain step, its end as decoded
};

inline constexpr uint32_t no_op = UINT32_MAX;

// An operator after a value: its word's position, its fast code (only
// operators with one are decoded), its operand's expression.
struct Step {
    uint32_t pos;
    int32_t fast;
    uint32_t operand;
    Cell op;  // the operator value when decoded
};

struct Op {
    Kind kind = Kind::plain;
    bool chain = false;       // the operator look-ahead follows the primary
    bool end_word = false;    // the cell after the expression is a word (as decoded)
    uint32_t pos = 0;         // the primary's position
    uint32_t primary_end = 0;
    uint32_t end = 0;         // after the operators
    uint32_t first_arg = 0;   // arguments (index into Form::args), for calls and sets
    uint32_t arg_count = 0;
    bool simple = false;      // calls: the mandatory arguments are all the frame takes
    uint32_t first_step = 0;  // operators (index into Form::steps)
    uint32_t step_count = 0;
    Cell value = unset_cell;  // calls: the function value when decoded
    mutable Link links[2];    // control calls: their blocks' forms
    uint32_t micro_first = 0;  // the op's pure program (index into Form::micro)
    uint32_t micro_count = 0;  // 0: it has none
};

// A pure expression (constants, words holding data, object fields, the
// operators with fast paths, and a set at the end) runs as a flat program
// of these steps. Nothing it does before its set can be seen, so where a
// guard fails the program stops, drops what it pushed and the expression
// runs from its start as any other.
enum class MicroCode : uint8_t {
    constant,   // push `value`
    word,       // push the value of the word at `pos` while it holds data
    field,      // push the object field the path at `pos` names
    arith,      // the operator at `pos` while its word holds `value`
    compare,    // likewise, a comparison
    set_word,   // set the word at `pos` to the value on top
    set_field,  // set the object field the set-path at `pos` names
    end_check,  // the cell at `pos` is no word holding an operator now
};

struct Micro {
    MicroCode code;
    uint8_t fast = 0;  // arith: the fast::Arith code; compare: the comparison code
    uint32_t pos = 0;
    Cell value = unset_cell;
    // Where the value of the word at `pos` lies, found while
    // node::link_count() was `links`: its cell in a heap context; the
    // context's header cell in a function's (whose frame it names while
    // the function runs) and its index there. Whether the value lies in
    // the code block, whether the context is an object's.
    mutable Cell* slot = nullptr;
    mutable uint64_t links = 0;
    mutable uint32_t index = 0;
    mutable bool on_stack = false;
    mutable bool in_code = false;
    mutable bool object = false;
    // An operand: it, the next operand and the operator after them run as
    // one step over integers. An end check: the cell was a word when decoded.
    bool fused = false;
};

struct Expr {
    uint32_t pos, end, op;
};

// What a field step found the last time, kept while no buffer moved: the
// path's two cells as they were, the cell holding the object (in a heap
// context), the object's context, and the field's value and word cells.
struct FieldCache {
    uint64_t links = 0;
    Cell first = unset_cell;
    Cell element = unset_cell;
    Cell* holder = nullptr;
    NodeId ctx = 0;
    Cell* value = nullptr;
    Cell* word = nullptr;
};

struct Form {
    uint32_t start = 0;
    uint32_t length = 0;        // the block's length when decoded
    uint32_t plain_from = 0;    // the decoded expressions end here
    uint32_t running = 0;       // runs under way (the form is not dropped meanwhile)
    std::vector<Cell> cells;    // the cells from `start` to `length` as decoded
    std::vector<Op> ops;
    std::vector<uint32_t> args;  // argument expressions; no_op: taken from the code as it is
    std::vector<Cell> types;     // the argument cache entry of each call argument
    std::vector<Step> steps;
    std::vector<Expr> exprs;
    std::vector<Micro> micro;
    mutable std::vector<FieldCache> fields;  // of the field steps (Micro::index)
    bool all_pure = false;  // every expression has a pure program, and they cover the block

    [[nodiscard]] const Cell& at(uint32_t pos) const { return cells[pos - start]; }
};

namespace {

// Blocks longer than this are never decoded; the forms together keep at
// most `cell_budget` cells before the table is emptied.
inline constexpr uint32_t max_cells = 2048;
inline constexpr size_t cell_budget = size_t{1} << 20;
inline constexpr size_t table_size = 4096;

struct Entry {
    NodeId node = 0;
    uint32_t start = 0;
    std::unique_ptr<Form> form;  // null until the block's second run
};

std::array<Entry, table_size> table;
size_t cells_kept = 0;
uint64_t generation = 1;  // moves on whenever a form leaves the table
Stats counts;

inline bool same(const Cell& a, const Cell& b) { return std::memcmp(&a, &b, sizeof(Cell)) == 0; }
// Whether n cells are the same, byte for byte (the library compare reads
// them a vector at a time; a cell has no padding).
inline bool same_cells(const Cell* a, const Cell* b, uint32_t n) {
    static_assert(sizeof(Cell) == 16);
    return std::memcmp(a, b, size_t{n} * sizeof(Cell)) == 0;
}
inline bool is_number(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::money; }
inline bool is_data(TypeId t) { return !is_callable(t) && t != TypeId::unset && t != TypeId::op; }
inline Cell as_block(const Cell& v) { return Cell{to_int(TypeId::block), v.w1, v.w2, 0}; }

// The argument cache of a callable when it is already built (decoding
// builds nothing: building can allocate and report errors).
NodeId built_cache(const Cell& fn) {
    const Cell& cached = series::buffer(fn.w3)->cells()[1];
    return type_of(cached) == TypeId::block ? cached.w2 : 0;
}

// The count an argument cache ends with: the locals of a function, the
// refinements of a native; 0 when it ends otherwise.
uint32_t tail_count(NodeId cache) {
    const uint32_t n = series::buffer(cache)->length();
    const Cell last = n > 0 ? series::buffer(cache)->cells()[n - 1] : unset_cell;
    return type_of(last) == TypeId::integer ? last.w2 : 0;
}

// ---------------------------------------------------------------- decoder

// Reads the block's structure from the form's copy of its cells with the
// values the words hold now. Every answer is a prediction the runner
// checks; a structure it cannot predict ends the decoded part.
class Decoder {
public:
    explicit Decoder(Form& f) : f_(f) {}

    // An expression at `pos`: its op index, or no_op when its extent
    // cannot be known.
    uint32_t expr(uint32_t pos, bool chain) {
        const uint32_t index = static_cast<uint32_t>(f_.ops.size());
        f_.ops.emplace_back();
        f_.ops[index].pos = pos;
        if (!primary(index)) return no_op;
        Op& op = f_.ops[index];
        op.chain = chain && op.kind != Kind::set_word && op.kind != Kind::set_path;
        uint32_t q = op.primary_end;
        if (op.chain) {
            std::vector<Step> steps;
            while (q < f_.length) {
                const Cell w = f_.at(q);
                if (type_of(w) != TypeId::word) break;
                const Cell* v = bound_value(w);
                if (!v || type_of(*v) != TypeId::op) break;
                const int fast = internal::fast_code(native::unwrap_op(*v));
                if (fast < 0 || q + 1 >= f_.length) return no_op;
                const uint32_t operand = expr(q + 1, false);
                if (operand == no_op) return no_op;
                steps.push_back(Step{q, fast, operand, *v});
                q = f_.ops[operand].end;
            }
            f_.ops[index].first_step = static_cast<uint32_t>(f_.steps.size());
            f_.ops[index].step_count = static_cast<uint32_t>(steps.size());
            f_.steps.insert(f_.steps.end(), steps.begin(), steps.end());
        }
        f_.ops[index].end = q;
        f_.ops[index].end_word = q < f_.length && type_of(f_.at(q)) == TypeId::word;
        return index;
    }

private:
    Form& f_;

    bool set_args(uint32_t index, std::span<const uint32_t> args, std::span<const Cell> types) {
        f_.ops[index].first_arg = static_cast<uint32_t>(f_.args.size());
        f_.ops[index].arg_count = static_cast<uint32_t>(args.size());
        f_.args.insert(f_.args.end(), args.begin(), args.end());
        f_.types.insert(f_.types.end(), types.begin(), types.end());
        f_.types.resize(f_.args.size(), unset_cell);
        return true;
    }

    // A word holding a callable: its mandatory arguments, each an
    // expression when evaluated, one cell as it is otherwise.
    bool call(uint32_t index, const Cell& fn) {
        const TypeId t = type_of(fn);
        if (t != TypeId::function && t != TypeId::native && t != TypeId::action) return false;
        const NodeId cache = built_cache(fn);
        if (cache == 0) return false;
        std::vector<uint32_t> args;
        std::vector<Cell> types;
        uint32_t q = f_.ops[index].pos + 1;
        const uint32_t n = series::buffer(cache)->length();
        for (uint32_t i = 0; i < n; i++) {
            const Cell e = series::buffer(cache)->cells()[i];
            if (type_of(e) != TypeId::typeset) break;
            types.push_back(e);
            if (q >= f_.length) return false;
            if (arg_cache::kind_of(e) == arg_cache::Kind::evaluated) {
                const uint32_t a = expr(q, true);
                if (a == no_op) return false;
                args.push_back(a);
                q = f_.ops[a].end;
            } else {
                args.push_back(no_op);
                q++;
            }
        }
        // Nothing but the mandatory arguments: no refinements, no locals
        // (a count may close the cache when it is 0).
        const bool closed_by_count = n > 0 && type_of(series::buffer(cache)->cells()[n - 1]) == TypeId::integer;
        Op& op = f_.ops[index];
        op.kind = t == TypeId::function ? Kind::call_function : Kind::call_native;
        op.value = fn;
        op.primary_end = q;
        op.simple = tail_count(cache) == 0 && (types.size() + (closed_by_count ? 1 : 0) == n);
        return set_args(index, args, types);
    }

    // A set-word or set-path: the value's expression after it.
    bool setter(uint32_t index, Kind kind) {
        const uint32_t pos = f_.ops[index].pos;
        if (pos + 1 >= f_.length) return false;
        const uint32_t a = expr(pos + 1, true);
        if (a == no_op) return false;
        const uint32_t args[] = {a};
        f_.ops[index].kind = kind;
        f_.ops[index].primary_end = f_.ops[a].end;
        return set_args(index, args, {});
    }

    bool primary(uint32_t index) {
        const uint32_t pos = f_.ops[index].pos;
        const Cell v = f_.at(pos);
        f_.ops[index].primary_end = pos + 1;
        switch (type_of(v)) {
            case TypeId::paren: f_.ops[index].kind = Kind::paren; return true;
            case TypeId::word: {
                const Cell* slot = bound_value(v);
                if (!slot) return true;  // plain: the context layer answers
                if (is_callable(type_of(*slot))) return call(index, *slot);
                if (is_data(type_of(*slot))) f_.ops[index].kind = Kind::word_read;
                return true;
            }
            case TypeId::set_word: return setter(index, Kind::set_word);
            case TypeId::set_path: return setter(index, Kind::set_path);
            case TypeId::path: {
                // A path that starts with a function calls it with its refinements.
                const series::Buffer* b = series::buffer(v.w2);
                if (v.w1 >= b->length()) return true;
                const Cell first = series::buffer(v.w2)->cells()[v.w1];
                const Cell* slot = type_of(first) == TypeId::word ? bound_value(first) : nullptr;
                if (slot && is_callable(type_of(*slot))) return false;
                f_.ops[index].kind = Kind::path;
                return true;
            }
            case TypeId::lit_word: case TypeId::get_word: case TypeId::issue: case TypeId::lit_path:
            case TypeId::get_path: case TypeId::op:
                return true;
            case TypeId::native: case TypeId::action: case TypeId::function: case TypeId::routine:
                return false;
            default: f_.ops[index].kind = Kind::constant; return true;
        }
    }
};

// Appends the program of an op that is pure (see MicroCode); false, with
// nothing appended, when it is not. A set may only end the program.
// `scope_end`: the end of the expression the op lies in, past which the
// look-ahead reads the block as it is.
bool compile_pure(Form& f, uint32_t index, bool allow_set, uint32_t scope_end) {
    const size_t mark = f.micro.size();
    const auto refuse = [&] {
        f.micro.resize(mark);
        return false;
    };
    const Op& op = f.ops[index];
    switch (op.kind) {
        case Kind::constant: {
            Cell c = f.at(op.pos);
            clear_new_line(c);
            f.micro.push_back(Micro{MicroCode::constant, 0, op.pos, c});
            break;
        }
        case Kind::word_read: f.micro.push_back(Micro{MicroCode::word, 0, op.pos}); break;
        case Kind::path: {
            Micro m{MicroCode::field, 0, op.pos};
            m.index = static_cast<uint32_t>(f.fields.size());
            f.fields.emplace_back();
            f.micro.push_back(m);
            break;
        }
        case Kind::set_word:
        case Kind::set_path:
            if (!allow_set || !compile_pure(f, f.args[op.first_arg], false, scope_end)) return refuse();
            f.micro.push_back(Micro{op.kind == Kind::set_word ? MicroCode::set_word : MicroCode::set_field, 0, op.pos});
            if (op.kind == Kind::set_path) {
                f.micro.back().index = static_cast<uint32_t>(f.fields.size());
                f.fields.emplace_back();
            }
            return true;
        default: return false;
    }
    if (!op.chain) return true;
    for (uint32_t k = 0; k < op.step_count; k++) {
        const Step& s = f.steps[op.first_step + k];
        if (!compile_pure(f, s.operand, false, scope_end)) return refuse();
        const bool arith = s.fast < 8;
        // A constant or word then a constant or word, right before: fused.
        const size_t n = f.micro.size();
        const auto leaf = [](const Micro& m) { return m.code == MicroCode::constant || m.code == MicroCode::word; };
        if (n >= mark + 2 && leaf(f.micro[n - 2]) && leaf(f.micro[n - 1]) && !f.micro[n - 2].fused &&
            (n < mark + 3 || !f.micro[n - 3].fused))
            f.micro[n - 2].fused = true;
        f.micro.push_back(Micro{arith ? MicroCode::arith : MicroCode::compare,
                                static_cast<uint8_t>(arith ? s.fast : s.fast - 8), s.pos, s.op});
    }
    if (op.end_word || op.end >= scope_end) {
        Micro check{MicroCode::end_check, 0, op.end};
        check.fused = op.end_word;
        f.micro.push_back(check);
    }
    return true;
}

// Gives each expression of the form, and each evaluated argument of its
// calls, its pure program where it has one.
void compile_programs(Form& f) {
    for (size_t i = 0; i < f.exprs.size(); i++) {
        const Expr& e = f.exprs[i];
        const uint32_t last_op = i + 1 < f.exprs.size() ? f.exprs[i + 1].op : static_cast<uint32_t>(f.ops.size());
        const auto give = [&](uint32_t index, bool allow_set) {
            const uint32_t first = static_cast<uint32_t>(f.micro.size());
            if (!compile_pure(f, index, allow_set, e.end)) return;
            f.ops[index].micro_first = first;
            f.ops[index].micro_count = static_cast<uint32_t>(f.micro.size()) - first;
        };
        give(e.op, true);
        for (uint32_t k = e.op; k < last_op; k++) {
            const Op& op = f.ops[k];
            if (op.kind != Kind::call_function && op.kind != Kind::call_native) continue;
            for (uint32_t j = 0; j < op.arg_count; j++)
                if (f.args[op.first_arg + j] != no_op) give(f.args[op.first_arg + j], false);
        }
    }
}

std::unique_ptr<Form> decode(NodeId code, uint32_t start) {
    auto f = std::make_unique<Form>();
    series::Buffer* b = series::buffer(code);
    f->start = start;
    f->length = b->length();
    f->cells.assign(b->cells() + start, b->cells() + f->length);
    Decoder d(*f);
    uint32_t q = start;
    while (q < f->length) {
        const uint32_t op = d.expr(q, true);
        if (op == no_op) break;
        f->exprs.push_back(Expr{q, f->ops[op].end, op});
        q = f->ops[op].end;
    }
    f->plain_from = q;
    compile_programs(*f);
    f->all_pure = !f->exprs.empty() && f->plain_from == f->length;
    for (const Expr& e : f->exprs) f->all_pure = f->all_pure && f->ops[e.op].micro_count != 0;
    counts.decoded++;
    return f;
}

// ---------------------------------------------------------------- runner

bool run_linked(NodeId code, uint32_t pos, Cell* result, Cell& current, Link& link);

// The value cell of a step's word, found through what the step keeps
// while no buffer moved: the word's cell is the decoded one (the form
// checks that), so its context and index are too.
inline Cell* heap_slot(const Micro& m, const Cell& word, NodeId code) {
    if (m.links == node::link_count()) [[likely]] {
        if (!m.on_stack) return m.slot;
        const uint32_t frame = m.slot->w2;
        if (frame == 0) [[unlikely]] return nullptr;  // the function is not running
        return stack::data.bottom + context::stack_values_index(frame) + m.index;
    }
    const Cell* h = nullptr;
    Cell* slot = bound_value(word, &h);
    if (!slot) return nullptr;
    m.links = node::link_count();
    m.on_stack = context::values_on_stack(*h);
    m.slot = m.on_stack ? const_cast<Cell*>(h) : slot;
    m.index = static_cast<uint32_t>(word::index_of(word));
    m.in_code = !m.on_stack && h->w2 == code;
    m.object = context::kind_of(*h) == context::Kind::object;
    return slot;
}

// The value cell of the object field `o/x` names, through the step's
// cache; nullptr when the cache does not hold (or, to set, when the object
// has change handlers).
inline Cell* cached_field(const FieldCache& c, const Cell& path, bool to_set) {
    if (c.links != node::link_count()) return nullptr;
    series::Buffer* p = series::buffer(path.w2);
    if (p->length() != path.w1 + 2) return nullptr;
    const Cell* cells = p->cells() + path.w1;
    if (!same(cells[0], c.first) || !same(cells[1], c.element)) return nullptr;
    const Cell& object = *c.holder;
    if (type_of(object) != TypeId::object || object.w1 != c.ctx || (to_set && object.w3 != 0)) return nullptr;
    return c.value;
}

// Fills a field step's cache after the path reached its field the long
// way (the path cache then knows the field).
void fill_field(FieldCache& c, const Cell& path) {
    c.links = 0;
    series::Buffer* p = series::buffer(path.w2);
    if (p->length() != path.w1 + 2) return;
    const Cell first = p->cells()[path.w1];
    Cell element = p->cells()[path.w1 + 1];
    if (type_of(first) != TypeId::word || type_of(element) != TypeId::word) return;
    const Cell* h = nullptr;
    Cell* holder = bound_value(first, &h);
    if (!holder || context::values_on_stack(*h) || type_of(*holder) != TypeId::object) return;
    const NodeId ctx = holder->w1;
    const Cell as_written = element;
    if (!path_cache::bind(path.w2, path.w1 + 1, ctx, element)) return;
    c = FieldCache{0, first, as_written, holder, ctx, context::value_cell_at(ctx, element.w3),
                   context::word_at(ctx, element.w3)};
    c.links = node::link_count();
}

// A constant's or a data word's value for a fused operator, nullptr when
// the word holds anything else.
inline const Cell* operand_value(const Micro& m, const Form& f, NodeId code) {
    if (m.code == MicroCode::constant) return &m.value;
    const Cell* slot = heap_slot(m, f.at(m.pos), code);
    return slot && is_data(type_of(*slot)) ? slot : nullptr;
}

// Runs an op's pure program: true with the value pushed, or false with
// nothing pushed and nothing changed. `wrote` is set when a set wrote
// into the code block's own cells. The block's cells before `verified_to`
// are known to be the decoded ones.
[[gnu::always_inline]] inline bool pure_program(const Form& f, const Op& op, NodeId code, uint32_t verified_to,
                                                bool& wrote) {
    Cell* const base = stack::data.top;
    // A program pushes at most one cell per step.
    if (stack::data.limit - base <= static_cast<ptrdiff_t>(op.micro_count) + 1) [[unlikely]] return false;
    Cell* top = base;
    const auto fail = [&] {
        stack::data.top = base;
        return false;
    };
    const Micro* m = f.micro.data() + op.micro_first;
    for (const Micro* const end = m + op.micro_count; m != end; ++m) {
        switch (m->code) {
            case MicroCode::constant:
            case MicroCode::word: {
                if (m->fused) {
                    // Two operands and an operator over integers: one step.
                    const Cell* x = operand_value(m[0], f, code);
                    const Cell* y = operand_value(m[1], f, code);
                    const Cell* v = heap_slot(m[2], f.at(m[2].pos), code);
                    if (x && y && v && same(*v, m[2].value) && type_of(*x) == TypeId::integer &&
                        type_of(*y) == TypeId::integer) [[likely]] {
                        int32_t r = 0;
                        if (m[2].code == MicroCode::compare) {
                            *top++ = fast::int_compare(m[2].fast, get_int(*x), get_int(*y)) ? logic::true_value
                                                                                             : logic::false_value;
                            m += 2;
                            break;
                        }
                        if (fast::int_arith(static_cast<fast::Arith>(m[2].fast), get_int(*x), get_int(*y), r)) [[likely]] {
                            *top++ = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(r), 0};
                            m += 2;
                            break;
                        }
                    }
                }
                if (m->code == MicroCode::constant) {
                    *top++ = m->value;
                    break;
                }
                const Cell* slot = heap_slot(*m, f.at(m->pos), code);
                if (!slot || !is_data(type_of(*slot))) [[unlikely]] return fail();
                Cell c = *slot;
                clear_new_line(c);
                *top++ = c;
                break;
            }
            case MicroCode::field: {
                // As the path walk reads a field: no unset value, no function.
                const Cell& path = f.at(m->pos);
                if (const Cell* field = cached_field(f.fields[m->index], path, false)) [[likely]] {
                    const TypeId t = type_of(*field);
                    if (t == TypeId::unset || is_callable(t)) return fail();
                    *top++ = *field;
                    break;
                }
                stack::data.top = top;
                if (!internal::object_field_path(path, PathMode::call, nullptr)) return fail();
                top = stack::data.top;
                fill_field(f.fields[m->index], path);
                break;
            }
            case MicroCode::arith:
            case MicroCode::compare: {
                const Cell& w = f.at(m->pos);
                const Cell* v = heap_slot(*m, w, code);
                if (!v || !same(*v, m->value)) [[unlikely]] return fail();
                Cell* const a = top - 2;
                const bool arith = m->code == MicroCode::arith;
                if (type_of(a[0]) == TypeId::integer && type_of(a[1]) == TypeId::integer) [[likely]] {
                    const int32_t x = get_int(a[0]), y = get_int(a[1]);
                    if (arith) {
                        int32_t r = 0;
                        if (!fast::int_arith(static_cast<fast::Arith>(m->fast), x, y, r)) [[unlikely]] return fail();
                        a[0] = Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(r), 0};
                    } else {
                        a[0] = fast::int_compare(m->fast, x, y) ? logic::true_value : logic::false_value;
                    }
                    top = a + 1;
                    break;
                }
                if (!is_number(type_of(a[0])) || !is_number(type_of(a[1]))) return fail();
                stack::data.top = a;
                if (arith) fast::arith(static_cast<fast::Arith>(m->fast), w, a[0], a[1]);
                else fast::compare(m->fast, w, a[0], a[1]);
                top = stack::data.top;
                break;
            }
            case MicroCode::set_word: {
                // As the runner's set: objects (change handlers) and unset
                // values go the plain way.
                const Cell& value = top[-1];
                Cell* slot = type_of(value) != TypeId::unset ? heap_slot(*m, f.at(m->pos), code) : nullptr;
                if (!slot || m->object) return fail();
                if (m->in_code) wrote = true;
                Cell copy = value;  // the marker cleared before the store, not in memory after it
                clear_new_line(copy);
                *slot = copy;
                break;
            }
            case MicroCode::set_field: {
                const Cell value = top[-1];
                if (type_of(value) == TypeId::unset) return fail();
                const Cell& path = f.at(m->pos);
                const FieldCache& cache = f.fields[m->index];
                if (Cell* field = cached_field(cache, path, true)) [[likely]] {
                    // As an object's word is set without change events.
                    cache.word->header |= cell_flag::changed;
                    *field = value;
                } else {
                    stack::data.top = top;
                    if (!internal::object_field_path(path, PathMode::set, &value)) return fail();
                    fill_field(f.fields[m->index], path);
                }
                base[0] = value;
                top = base + 1;
                wrote = true;  // the object's values are checked like any write
                break;
            }
            case MicroCode::end_check: {
                // A cell checked since the last code ran is known; others are read.
                if (m->pos < verified_to && !m->fused) break;
                series::Buffer* b = series::buffer(code);
                if (m->pos < b->length()) {
                    const Cell& next = b->cells()[m->pos];
                    if (type_of(next) == TypeId::word) {
                        const Cell* v = bound_value(next);
                        if (v && type_of(*v) == TypeId::op) return fail();
                    }
                }
                break;
            }
        }
    }
    stack::data.top = top;
    return true;
}

bool run_pure(const Form& f, const Op& op, NodeId code, uint32_t verified_to, bool& wrote) {
    return pure_program(f, op, code, verified_to, wrote);
}

inline constexpr size_t halted = SIZE_MAX;

// Runs the expressions of a form that are all pure, from its start, the
// block's cells all known to be the decoded ones, each value into
// `result`. Answers how many ran: all of them, or up to one that could
// not run pure (nothing of it done) or that wrote into the code; `halted`
// when Ctrl-C asked for a halt.
[[gnu::noinline]] size_t run_pure_exprs(const Form& f, NodeId code, Cell* result, Cell& current, bool& wrote) {
    const size_t n = f.exprs.size();
    for (size_t k = 0; k < n; k++) {
        const Expr& e = f.exprs[k];
        current.w1 = e.pos;
        if (!pure_program(f, f.ops[e.op], code, UINT32_MAX, wrote)) [[unlikely]] return k;
        if (internal::halt_requested()) [[unlikely]] return halted;
        *result = stack::data.top[-1];
        stack::data.top = result + 1;
        if (wrote) [[unlikely]] return k + 1;
    }
    return n;
}

// Runs one block's form. `off` set: the plain walker takes the rest of
// the expression under way (every step then continues as the plain walker
// would from where it stands).
class Runner {
public:
    Runner(const Form& f, NodeId code, Cell& current) : f_(f), code_(code), current_(current) {}

    bool off = false;
    uint32_t expr_end = 0;
    // The block holds the decoded cells (and length) up to here, checked
    // since the last step that could run code; `all_cells`: every one.
    static constexpr uint32_t all_cells = UINT32_MAX;
    uint32_t verified_to = 0;

    // A constant or a word holding data that ends its expression inside
    // the checked cells (no operator after it, no word after it that could
    // hold one) is pushed here as `expr` pushes it. False: nothing done.
    [[gnu::always_inline]] bool leaf(const Op& op) {
        if (op.step_count != 0 || op.end_word || op.end >= verified_to) return false;
        if (op.kind == Kind::constant) {
            push_value(f_.at(op.pos));
            return true;
        }
        return op.kind == Kind::word_read && push_word_data(op);
    }

    uint32_t expr(uint32_t index) {
        const Op& op = f_.ops[index];
        uint32_t q = primary(op);
        if (stack::exiting()) [[unlikely]] return q;
        if (!op.chain) return q;
        if (off) return internal::infix_look_ahead(code_, q);
        for (uint32_t k = 0; k < op.step_count; k++) {
            const Step& s = f_.steps[op.first_step + k];
            const Cell& w = f_.at(s.pos);
            const Cell* v = bound_value(w);
            if (!v || !same(*v, s.op) || !is_number(type_of(stack::data.top[-1]))) [[unlikely]]
                return plain_look_ahead(s.pos, op.end);
            q = operand(s.operand);
            if (stack::exiting()) [[unlikely]] return q;
            apply(s.fast, w, q);
            if (off) [[unlikely]] return internal::infix_look_ahead(code_, q);
        }
        // The plain walker looks for an operator after the value: a word
        // that holds one now continues the look-ahead there. Inside the
        // expression the cells are the decoded ones; past it they are read.
        if (op.end < verified_to && !op.end_word) return op.end;
        const series::Buffer* b = series::buffer(code_);
        if (op.end < b->length()) {
            const Cell& next = series::buffer(code_)->cells()[op.end];
            if (type_of(next) == TypeId::word) {
                const Cell* v = bound_value(next);
                if (v && type_of(*v) == TypeId::op) [[unlikely]] return plain_look_ahead(op.end, no_op);
            }
        }
        return op.end;
    }

private:
    const Form& f_;
    NodeId code_;
    Cell& current_;  // the interpreter's current-code cell

    // Values are pushed as the plain walker pushes them: without the
    // new-line marker of the cell they came from.
    static void push_value(Cell c) {
        clear_new_line(c);
        stack::push(c);
    }
    uint32_t push_constant(const Op& op) {
        push_value(f_.at(op.pos));
        return op.primary_end;
    }
    // A word read straight from its slot while it holds plain data; false
    // when it holds anything else (the step then runs as the walker's).
    bool push_word_data(const Op& op) {
        const Cell* slot = bound_value(f_.at(op.pos));
        if (!slot || !is_data(type_of(*slot))) return false;
        push_value(*slot);
        return true;
    }

    // An operator's operand: a number or a word holding data is pushed
    // here, anything else is an expression.
    uint32_t operand(uint32_t index) {
        const Op& op = f_.ops[index];
        if (op.kind == Kind::constant) return push_constant(op);
        if (op.kind == Kind::word_read && push_word_data(op)) [[likely]]
            return op.primary_end;
        return expr(index);
    }

    // After anything that may have run code: the block must still hold the
    // decoded cells from `q` to the expression's end, and tracing be off.
    void after_call(uint32_t q) {
        if (off) return;
        const series::Buffer* b = series::buffer(code_);
        if (trace::state.on || b->length() != f_.length ||
            (q < expr_end && !same_cells(series::buffer(code_)->cells() + q, &f_.at(q), expr_end - q))) [[unlikely]]
            off = true;
        verified_to = expr_end;
    }

    [[gnu::noinline, gnu::cold]] uint32_t plain_primary(const Op& op) {
        const uint32_t q = eval_expression(code_, op.pos, eval_flag::no_infix);
        if (stack::exiting()) [[unlikely]] return q;
        after_call(q);
        if (q != op.primary_end) off = true;
        return q;
    }

    [[gnu::noinline, gnu::cold]] uint32_t plain_look_ahead(uint32_t pos, uint32_t expected) {
        const uint32_t q = internal::infix_look_ahead(code_, pos);
        if (stack::exiting()) [[unlikely]] return q;
        after_call(q);
        if (q != expected) off = true;
        return q;
    }

    // The operator's fast path on the two operands on top of the stack.
    void apply(int fast, const Cell& w, uint32_t q) {
        stack::data.top -= 2;
        Cell* const a = stack::data.top;
        if (type_of(a[0]) == TypeId::integer && type_of(a[1]) == TypeId::integer) {
            const int32_t x = get_int(a[0]), y = get_int(a[1]);
            int32_t r = 0;
            if (fast < 8 && fast::int_arith(static_cast<fast::Arith>(fast), x, y, r)) {
                stack::push(Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(r), 0});
                return;
            }
            if (fast >= 8 && fast - 8 < fast::compare_codes) {
                stack::push(fast::int_compare(fast - 8, x, y) ? logic::true_value : logic::false_value);
                return;
            }
        }
        if (fast < 8) fast::arith(static_cast<fast::Arith>(fast), w, a[0], a[1]);
        else fast::compare(fast - 8, w, a[0], a[1]);
        after_call(q);
    }

    // The mandatory arguments of a call whose frame is open, as decoded
    // while the form holds, from the code as the plain walker takes them
    // once it does not.
    uint32_t arguments(const Op& op, const Cell& name, uint32_t q) {
        for (uint32_t i = 0; i < op.arg_count; i++) {
            const Cell& e = f_.types[op.first_arg + i];
            const uint32_t a = f_.args[op.first_arg + i];
            if (!off && a != no_op) {
                const Op& arg = f_.ops[a];
                bool wrote = false;  // arguments hold no sets
                if (leaf(arg) || (arg.micro_count != 0 && run_pure(f_, arg, code_, verified_to, wrote))) q = arg.end;
                else q = expr(a);
            } else {
                q = internal::fetch_one(e, name, code_, q, 0, 0);
                if (!stack::exiting()) after_call(q);
            }
            if (stack::exiting()) [[unlikely]] return q;
            internal::check_arg(e, name);
        }
        return q;
    }

    // The result takes the function value's place below the closed frame.
    uint32_t finish_call(Cell* place, const Cell& name, uint32_t q) {
        *place = place[1];
        stack::data.top = place + 1;
        if (trace::wanted(trace::return_)) [[unlikely]] trace::fire(trace::return_, code_, q, &name, place);
        after_call(q);
        return q;
    }

    uint32_t call_function(const Op& op, const Cell& name) {
        Cell* const place = stack::push(op.value);
        stack::mark_interp_function(name.w2, name.w1, place->w1);
        uint32_t q = arguments(op, name, op.pos + 1);
        if (stack::exiting()) [[unlikely]] return q;
        uint32_t count = 0;
        if (!op.simple) {
            // Refinements off with none for their arguments, then the locals.
            const NodeId cache = arg_cache::of(*place);
            const uint32_t n = series::buffer(cache)->length();
            count = tail_count(cache);
            for (uint32_t j = op.arg_count; j < n; j++) {
                const TypeId t = type_of(series::buffer(cache)->cells()[j]);
                if (t == TypeId::refinement) stack::push(logic::false_value);
                else if (t == TypeId::typeset) stack::push(none::value);
            }
        }
        if (trace::wanted(trace::call)) [[unlikely]] {
            trace::fire(trace::call, code_, q, &name, place);
            if (stack::exiting()) return q;
        }
        if (count > 0) {
            stack::push(logic::false_value);
            for (uint32_t l = 1; l < count; l++) stack::push(none::value);
        }
        if (!run_function_body(*place, &op.links[0])) return q;
        stack::unwind_last();
        if (stack::exiting()) [[unlikely]] return q;
        return finish_call(place, name, q);
    }

    // A block of a control call, through the block's form kept in the call's link.
    void block(const Cell& b, Link& link) { eval_linked(b, link, current_, true); }

    // if, either, while and loop (a whole count) run here as their natives
    // run them, the frame of the call open and its arguments in it; the
    // blocks' forms are found through the call's links. False for every
    // other native, which then runs as it is.
    bool control(const Op& op, uint32_t id) {
        Cell* const a = stack::data.base;
        const auto run = [&](const Cell& b, int k) { block(b, op.links[k]); };
        switch (static_cast<Native>(id)) {
            case Native::if_: natives::impl::run_if(a, run); return true;
            case Native::either: natives::impl::run_either(a, run); return true;
            case Native::while_: natives::impl::run_while(a, run); return true;
            case Native::loop:
                if (type_of(a[0]) != TypeId::integer) return false;
                natives::impl::run_loop(a, get_int(a[0]), run);
                return true;
            default: return false;
        }
    }

    [[gnu::noinline]] uint32_t call_native(const Op& op, const Cell& name) {
        Cell* const place = stack::push(op.value);
        stack::mark_interp_native(name.w2, name.w1);
        uint32_t q = arguments(op, name, op.pos + 1);
        if (stack::exiting()) [[unlikely]] return q;
        uint32_t count = 0;
        if (!op.simple) {
            count = tail_count(arg_cache::of(*place));
        }
        int32_t refinements[32];
        const uint32_t refinement_count = count < 32 ? count : 32;
        for (uint32_t r = 0; r < refinement_count; r++) refinements[r] = -1;
        if (trace::wanted(trace::call)) [[unlikely]] {
            trace::fire(trace::call, code_, q, &name, place);
            if (stack::exiting()) return q;
        }
        if (op.simple && type_of(*place) == TypeId::native && !trace::state.on && control(op, place->w1)) {
            if (stack::exiting()) [[unlikely]] return q;
            stack::unwind();
            return finish_call(place, name, q);
        }
        internal::run_routine(*place, std::span<const int32_t>(refinements, refinement_count));
        if (stack::exiting()) [[unlikely]] return q;
        stack::unwind();
        return finish_call(place, name, q);
    }

    uint32_t setter(const Op& op) {
        const uint32_t q = expr(f_.args[op.first_arg]);
        if (stack::exiting()) [[unlikely]] return q;
        const Cell& v = f_.at(op.pos);
        if (op.kind == Kind::set_word) {
            // A word of a function or the global context takes the value in
            // its slot; objects (change handlers), unset values and tracing
            // take the plain route.
            const Cell& value = stack::data.top[-1];
            const Cell* h = nullptr;
            Cell* slot = type_of(value) != TypeId::unset && !trace::state.on ? bound_value(v, &h) : nullptr;
            if (slot && context::kind_of(*h) != context::Kind::object) [[likely]] {
                const bool into_code = !context::values_on_stack(*h) && h->w2 == code_;
                Cell copy = value;
                clear_new_line(copy);
                *slot = copy;
                // Values kept in the code block itself changed it.
                if (into_code) [[unlikely]] after_call(q);
                return q;
            }
            internal::set_from_top(v);
        } else {
            const Cell value = stack::data.top[-1];
            if (type_of(value) == TypeId::unset) error::fire(error::Id::need_value, {v});
            // A field of an object without change handlers is set in place.
            if (internal::object_field_path(v, PathMode::set, &value)) {
                stack::data.top[-1] = value;
                after_call(q);  // the field's values series is checked like any write
                return q;
            }
            eval_path(v, code_, q, PathMode::set, &value);
            stack::data.top[-1] = value;  // the expression's value is the value set
        }
        after_call(q);
        return q;
    }

    uint32_t primary(const Op& op) {
        switch (op.kind) {
            case Kind::constant: return push_constant(op);
            case Kind::word_read:
                if (push_word_data(op)) [[likely]] return op.primary_end;
                return plain_primary(op);
            case Kind::call_function:
            case Kind::call_native: {
                const Cell& name = f_.at(op.pos);
                const Cell* slot = bound_value(name);
                if (!slot || !same(*slot, op.value)) [[unlikely]] return plain_primary(op);
                return op.kind == Kind::call_function ? call_function(op, name) : call_native(op, name);
            }
            case Kind::set_word:
            case Kind::set_path: return setter(op);
            case Kind::paren: {
                eval_linked(as_block(f_.at(op.pos)), op.links[0], current_, false);
                if (stack::exiting()) [[unlikely]] return op.primary_end;
                after_call(op.primary_end);
                return op.primary_end;
            }
            case Kind::path:
                // A field of an object read in place; any other path walks.
                if (internal::object_field_path(f_.at(op.pos), PathMode::call, nullptr)) return op.primary_end;
                break;
            case Kind::plain: break;
        }
        return plain_primary(op);
    }
};

// Keeps a form from being dropped while it runs, however the run ends.
struct Pin {
    Form& form;
    explicit Pin(Form& f) : form(f) { form.running++; }
    ~Pin() { form.running--; }
};

// Runs the block's expressions from the form; false when an exit is
// pending. `stale` is set when the block no longer starts as decoded.
[[gnu::always_inline]] inline bool run_form(Form& f, NodeId code, Cell* result, Cell& current, bool& stale) {
    Pin pin(f);
    counts.runs++;
    Runner runner(f, code, current);
    // The whole block at entry; then an expression's cells when something
    // that could change them ran since.
    if (series::buffer(code)->length() != f.length ||
        !same_cells(series::buffer(code)->cells() + f.start, f.cells.data(), f.length - f.start)) [[unlikely]] {
        stale = true;
        counts.bailouts++;
        return internal::run_expressions(code, f.start, result);
    }
    runner.verified_to = Runner::all_cells;
    size_t first = 0;
    if (f.all_pure) {
        bool wrote = false;
        first = run_pure_exprs(f, code, result, current, wrote);
        if (first == f.exprs.size()) [[likely]] return true;
        if (first == halted) return false;
        if (wrote) runner.verified_to = f.exprs[first - 1].end;  // the later expressions are checked again
    }
    for (size_t k = first; k < f.exprs.size(); k++) {
        const Expr& e = f.exprs[k];
        if (e.end > runner.verified_to) {
            if (series::buffer(code)->length() != f.length ||
                !same_cells(series::buffer(code)->cells() + e.pos, &f.at(e.pos), e.end - e.pos)) [[unlikely]] {
                counts.bailouts++;
                return internal::run_expressions(code, e.pos, result);
            }
            runner.verified_to = e.end;
        }
        current.w1 = e.pos;
        const Op& op = f.ops[e.op];
        bool wrote = false;
        if (op.micro_count != 0 && run_pure(f, op, code, runner.verified_to, wrote)) [[likely]] {
            if (internal::halt_requested()) [[unlikely]] return false;
            *result = stack::data.top[-1];
            stack::data.top = result + 1;
            if (wrote) [[unlikely]] runner.verified_to = e.end;  // the later expressions are checked again
            continue;
        }
        runner.expr_end = e.end;
        runner.off = false;
        const uint32_t q = runner.expr(e.op);
        if (stack::exiting()) [[unlikely]] return false;
        if (internal::halt_requested()) [[unlikely]] return false;
        *result = stack::data.top[-1];
        stack::data.top = result + 1;
        if (trace::wanted(trace::expr)) [[unlikely]] {
            trace::fire(trace::expr, code, q, nullptr, result);
            if (stack::exiting()) return false;
        }
        if (runner.off || q != e.end || trace::state.on) [[unlikely]] {
            counts.bailouts++;
            return internal::run_expressions(code, q, result);
        }
    }
    // Cells past the decoded ones (appended since, or never decoded) run
    // plain; so does the exit event when tracing was switched on meanwhile.
    if (f.plain_from == f.length && series::buffer(code)->length() == f.length && !trace::state.on) [[likely]]
        return true;
    return internal::run_expressions(code, f.plain_from, result);
}

void drop(Entry& e) {
    if (!e.form) return;
    cells_kept -= e.form->cells.size();
    e.form.reset();
    generation++;
}

}  // namespace

bool run(NodeId code, uint32_t pos, Cell* result, Cell& current) {
    Entry& e = table[code & (table_size - 1)];
    if (e.node == code && e.start == pos) [[likely]] {
        if (!e.form) {
            const uint32_t length = series::buffer(code)->length();
            if (length <= pos || length - pos > max_cells) return internal::run_expressions(code, pos, result);
            if (cells_kept + (length - pos) > cell_budget) clear();
            e.form = decode(code, pos);
            cells_kept += e.form->cells.size();
        }
        bool stale = false;
        const bool ok = run_form(*e.form, code, result, current, stale);
        // A block changed at its start is decoded again at its next run.
        if (stale && e.node == code && e.form && e.form->running == 0) drop(e);
        return ok;
    }
    if (!e.form || e.form->running == 0) {
        drop(e);
        e.node = code;
        e.start = pos;
    }
    return internal::run_expressions(code, pos, result);
}

namespace {

// A block's run through the form the link keeps while the table's
// generation stands; otherwise through the table, the link then taking
// the block's form when it has one.
bool run_linked(NodeId code, uint32_t pos, Cell* result, Cell& current, Link& link) {
    if (link.generation == generation && link.node == code && link.start == pos) [[likely]] {
        Form& f = *link.form;
        bool stale = false;
        const bool ok = run_form(f, code, result, current, stale);
        if (stale) {
            Entry& e = table[code & (table_size - 1)];
            if (e.form.get() == &f && f.running == 0) drop(e);
        }
        return ok;
    }
    const bool ok = run(code, pos, result, current);
    const Entry& e = table[code & (table_size - 1)];
    if (e.node == code && e.start == pos && e.form) link = Link{e.form.get(), generation, code, pos};
    return ok;
}

}  // namespace

void eval_linked(const Cell& b, Link& link, Cell& current, bool into_result) {
    if (trace::state.on) [[unlikely]] return eval_block(b, into_result);  // switched on meanwhile
    stack::check_native_depth();
    const Cell saved = current;
    struct Restore {
        Cell& current;
        const Cell& saved;
        ~Restore() { current = saved; }
    } restore{current, saved};
    stack::RoutineScope evaluating(false);
    Cell* const result = stack::push(unset::value);
    current = Cell{to_int(TypeId::block), b.w1, b.w2, 0};
    if (internal::halt_requested()) [[unlikely]] return;
    if (!run_linked(b.w2, b.w1, result, current, link)) return;
    if (into_result) *stack::data.base = *result;
}

Stats stats() { return counts; }

void clear() {
    for (Entry& e : table) {
        if (e.form && e.form->running > 0) continue;
        drop(e);
        e.node = 0;
    }
}

namespace {

// The collection's mark callback: the forms not running go, and the cells
// the running ones remember are marked.
void mark_running_forms() {
    clear();
    for (Entry& e : table) {
        if (!e.form) continue;
        Form& f = *e.form;
        collector::mark_cells(f.cells.data(), f.cells.data() + f.cells.size());
        for (Op& op : f.ops) collector::mark_cell(op.value);
        for (Step& step : f.steps) collector::mark_cell(step.op);
    }
}

}  // namespace

void init() {
    static const bool registered = (collector::add_mark_callback(mark_running_forms), true);
    (void)registered;
    clear();
}

}  // namespace qor::interpreter::decoded
