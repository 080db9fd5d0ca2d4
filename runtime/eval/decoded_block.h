// Decoded forms of blocks: a block that runs a second time from the same
// position gets a form made from its cells, kept in a bounded table beside
// the block's node, and later runs walk that form instead of re-reading
// every cell's type and re-deriving every call's arity.
//
// The form runs exactly the steps the plain walker runs, in the same order,
// with the same frames and the same errors; it only knows in advance where
// each expression, argument and operator lies. It is guarded so that the
// language never sees it:
//   - it keeps a copy of the cells it was decoded from and compares the
//     whole block with it (cells and length) on entry; after every step
//     that could run code (a call, a paren, a plain step, a path), the rest
//     of the expression under way, and each later expression before it
//     runs (a word cell holds its binding, so rebinding the code shows too);
//   - a call runs from the form only while its word still holds the same
//     function value as when decoded, an operator only while its word
//     still holds an operator with the same fast code, a word is read
//     directly only while its value is plain data;
//   - wherever a guard fails, or a step ends somewhere the form did not
//     expect, the rest of that expression and of the block runs on the
//     plain walker from that exact place.
// Calls of if, either, while and loop (a whole count) from a form run
// their blocks here, with the native's frame, loop frame and checks as the
// native keeps them; each block's own form is kept in a link on the call
// while no form has left the table since, and is checked as at any entry.
// The loop natives, parens and function calls keep links the same way.
//
// An expression made only of constants, words holding data, object fields,
// operators with fast paths, parens, calls, `either` and `if` over literal
// blocks, and a set or an append at its end is pure: it runs as a flat
// program (decoded_form.h) that reads words through cells kept while no
// buffer moves, and does nothing the language could see before its set,
// so a program whose guard fails drops what it pushed and the expression
// runs again from its start on the runner. The parens, branches and
// function bodies it reaches run nested inside it when their own forms
// are pure and set nothing: they raise no error and open no frame, so a
// call of such a function, recursion included, costs no more than its
// body's steps. A block made only of
// pure expressions runs them in one pass, and while, loop and foreach over
// such blocks run whole iterations without checking the blocks again until
// something else ran. After one such iteration the loop's later iterations
// run trusted: the programs read and write the cells they found without
// their guards, which the loop has shown cannot fail while only the
// programs run (see pure_program.cpp).
// Tracing turns the forms off (the traced evaluation never enters here).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/memory/node.h"

namespace qor::interpreter::decoded {

// Runs the expressions of a block from `pos`, each value into `result`
// (the data top cut back to it after each), through the block's form when
// it has one. False when an exit is pending, as the plain loop answers.
// `current` is the interpreter's current-code cell, whose index follows
// the expression under way.
bool run(NodeId code, uint32_t pos, Cell* result, Cell& current);

struct Form;

// The form of a block that one call runs again and again (a loop's body,
// a branch of a decoded call), found through the table once and kept
// while no form has left the table since.
struct Link {
    Form* form = nullptr;
    uint64_t generation = 0;
    NodeId node = 0;
    uint32_t start = 0;
    // The nested run in which the block's cells were last found to be the
    // form's (see pure_program.cpp): they stay so while it lasts.
    uint64_t checked = 0;
};

// Evaluates a block without a frame of its own, as the interpreter's lean
// block evaluation does, through the form the link keeps: its value into
// the current frame's first slot, or pushed. `current` as for run.
void eval_linked(const Cell& block, Link& link, Cell& current, bool into_result);

// How a loop that ran its blocks through their pure forms stopped.
enum class PureLoop : uint8_t {
    ended,    // the loop is over: its condition turned false, its count ran out, or break
    stopped,  // an exit other than the loop's own is pending
    go_on,    // the caller's loop goes on, from the start of an iteration
    plain,    // likewise, and a block's form is not all pure: no use trying again
};

// `while` in its open loop frame: whole iterations while both blocks'
// forms (kept in links[0] and links[1]) are all pure and hold, each block
// run as eval_linked runs it. An expression that cannot run pure, and the
// rest of its block, run plain; the loop's exits then act as in the
// native. `current` as for run.
PureLoop while_pure(const Cell& cond, const Cell& body, Link* links, Cell& current);
// `loop` likewise, for `remaining` more iterations, counted down as they end.
PureLoop loop_pure(const Cell& body, int64_t& remaining, Link& link, Cell& current);

// `foreach` with one word over a block, from `pos` (moved on past each
// item taken): whole iterations while the body's form (kept in the link)
// is all pure and holds, the word set in place from each item. As
// while_pure otherwise.
PureLoop foreach_pure(const Cell& word, const Cell& series, uint32_t& pos, const Cell& body, Link& link,
                      Cell& current);
// `repeat` likewise, the word set to `next`, counted up to `last`.
PureLoop repeat_pure(const Cell& word, int64_t& next, int64_t last, const Cell& body, Link& link, Cell& current);

// One run of a loop's body through its all-pure form kept in the link,
// into the frame's first slot, as eval_linked runs it (an exit may be
// pending after it); false, with nothing done, when the body has no such
// form.
bool body_pure(const Cell& body, Link& link, Cell& current);

// Counts since start: forms made, runs of a form, runs that left their
// form for the plain walker part way.
struct Stats {
    uint64_t decoded = 0;
    uint64_t runs = 0;
    uint64_t bailouts = 0;
};
[[nodiscard]] Stats stats();

// Drops every form that is not running.
void clear();

// Empties the table and has every collection empty it again: a collection
// may free what a form remembers (the functions and operators its calls
// were decoded for) and give their nodes to new values, which would then
// pass the guards that compare cells. The forms still running keep what
// they remember alive instead.
void init();

}  // namespace qor::interpreter::decoded
