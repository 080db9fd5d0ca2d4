// The decoded form of a block, as the decoder makes it and the runners
// read it: the block's expressions with their primaries, arguments and
// operators found in advance, and the flat programs of its pure
// expressions. Internal to the decoded-block runner.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/eval/decoded_block.h"
#include "runtime/eval/interpreter_internal.h"
#include "runtime/memory/node.h"

namespace qor::interpreter::decoded {

using internal::bound_value;
using internal::is_callable;

// What the primary of an expression is.
enum class Kind : uint8_t {
    constant,       // a value pushed as it stands
    word_read,      // a word holding plain data
    call_function,  // a word holding a function!, its mandatory arguments after it
    call_native,    // a word holding a native!, action! or routine!, likewise
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
    // The program is one operator over two integer operands (shape 1) or
    // that and a set-word after it (shape 2), perhaps with an end check
    // between: pure_program then tries it in one step first.
    uint8_t shape = 0;
    // Calls run inline: the body's form the call's check found.
    mutable const Form* inline_body = nullptr;
    // Calls, branches and parens in programs: the table's generation when
    // the block they run was found unable to run inside a program (its
    // form stands until that moves on).
    mutable uint64_t declined = UINT64_MAX;
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
    // A call of the function `value`, the word at `pos` naming it, its op
    // at `call_op`: the check comes before the arguments' steps and lets the
    // call run inline when the word still holds the function and its body
    // is a pure expression that sets and calls nothing; the call then
    // runs the body on the arguments the steps between pushed.
    call_check,
    call,
    // `append series value` ending a program, the word at `pos` holding the
    // append action `value`: the one write a program may end with besides
    // a set (see pure_append).
    append,
    // `either cond [a] [b]` or `if cond [a]` with literal blocks, the word
    // at `pos` holding the native `value`, its op at `call_op`: the check
    // before the condition's steps, then the choice, which runs the chosen
    // block's pure form on the condition's value.
    branch_check,
    branch,
    // A paren at `pos` (its op at `call_op`): its pure form's value.
    paren,
    // Follows every program, past its last step (not one of its steps).
    done,
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
    // A branch or a call: nothing but end checks of cells that were no
    // words when decoded follow it in its program, so the value of the
    // block it runs is the program's.
    bool tail = false;
    uint8_t thread = 0;  // the step's code in the nested runner (see thread_program)
    // A branch: the positions of its blocks (the second is `if`'s first).
    uint32_t blocks[2] = {0, 0};
    // A call's, a branch's or a paren's steps: its op.
    uint32_t call_op = 0;
    // The nested run in which the step's word was last found holding its
    // value (see pure_program.cpp); never set for a word in a frame.
    mutable uint64_t held = 0;
};

struct Expr {
    uint32_t pos, end, op;
    uint32_t program = 0;  // its op's program (index into Form::micro), once compiled
    uint32_t steps = 0;
};

// What a field step found the last time, kept while no buffer moved: the
// path's two cells as they were, the cell holding the object (in a heap
// context), the object's context and values, and the field's value and
// word cells.
struct FieldCache {
    uint64_t links = 0;
    Cell first = unset_cell;
    Cell element = unset_cell;
    Cell* holder = nullptr;
    NodeId ctx = 0;
    NodeId values = 0;  // the node of the object's values
    Cell* value = nullptr;
    Cell* word = nullptr;
};

struct Form {
    NodeId node = 0;            // the block's
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
    uint32_t most_steps = 0;    // the most steps of an expression's program
    mutable std::vector<FieldCache> fields;  // of the field steps (Micro::index)
    // Every expression has a pure program, and they cover the block. A
    // call in one that cannot run inline clears it.
    mutable bool all_pure = false;
    // All pure, and no program sets or appends anything: as a function's
    // body, a branch or a paren, the form runs inside the programs that
    // reach it (see nested_value).
    bool inlinable = false;

    [[nodiscard]] const Cell& at(uint32_t pos) const { return cells[pos - start]; }
};

// Whether two cells are the same, byte for byte.
inline bool same(const Cell& a, const Cell& b) { return std::memcmp(&a, &b, sizeof(Cell)) == 0; }
// Whether n cells are the same, byte for byte (the library compare reads
// them a vector at a time; a cell has no padding).
inline bool same_cells(const Cell* a, const Cell* b, uint32_t n) {
    static_assert(sizeof(Cell) == 16);
    return std::memcmp(a, b, size_t{n} * sizeof(Cell)) == 0;
}
inline bool is_number(TypeId t) { return t == TypeId::integer || t == TypeId::float_ || t == TypeId::money; }
inline bool is_data(TypeId t) { return !is_callable(t) && t != TypeId::unset && t != TypeId::op; }

// The table of forms: its generation moves on whenever a form leaves it
// (a link made before then names a form that may be gone), and its counts.
extern uint64_t generation;
extern Stats counts;

// Keeps a form from being dropped while it runs, however the run ends.
struct Pin {
    Form& form;
    explicit Pin(Form& f) : form(f) { form.running++; }
    ~Pin() { form.running--; }
};

// Gives each expression of a decoded form, and each evaluated argument of
// its calls, its pure program where it has one, and sets `all_pure` and
// `inlinable`.
void compile_programs(Form& f);

// Gives the steps of a program, its `done` included, their codes in the
// nested runner.
void thread_program(Micro* m, uint32_t n);

// Whether the block at `node` has run as code (it has a place in the
// forms' table): a form of it may hold its cells.
bool is_code(NodeId node);

// The form of the block at `node` from `start`, through the link while it
// holds, else from the table (the link then keeps it); nullptr when the
// block has none yet.
const Form* form_of(NodeId node, uint32_t start, Link& link);

// Runs an op's pure program: true with its value pushed, or false with
// nothing pushed and nothing changed. `wrote` is set when a set wrote into
// the code block's own cells or into an object. The block's cells before
// `verified_to` are known to be the decoded ones.
bool run_pure(const Form& f, const Op& op, NodeId code, uint32_t verified_to, bool& wrote);

inline constexpr size_t halted = SIZE_MAX;

// Runs the expressions of a form that are all pure, from its start, the
// block's cells all known to be the decoded ones, each value into
// `result`. Answers how many ran: all of them, or up to one that could not
// run pure (nothing of it done) or that wrote; `halted` when Ctrl-C asked
// for a halt.
size_t run_pure_exprs(const Form& f, NodeId code, Cell* result, Cell& current, bool& wrote);

}  // namespace qor::interpreter::decoded
