// The PARSE engine's registers and rule-stack entries, shared by the state
// loop (engine.cpp) and the keywords that capture or change the input and
// build result blocks (series_actions.cpp).
//
// A rule-stack entry is three cells:
//   1. bounds: a triple! (minimum, maximum with -1 unbounded, iteration
//      number from 1); for copy and set the word to be set; for case the
//      maximum holds the comparison code in force before it; for to and
//      thru the minimum holds the index where the search began;
//   2. positions: a triple! (index of the rule in its rules block, input
//      index when the rule or its current iteration began, input length
//      then);
//   3. kind: a pair! (kind code, flag) for a keyword rule; for a rules
//      block the block itself, whose entry has none as its bounds and the
//      index of the rule after it in the enclosing block as its position.
// So the type of an entry's last cell tells a keyword rule from a block.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/series.h"
#include "runtime/parse/parse.h"
#include "runtime/core/symbol_ids.h"

namespace qor::parse::detail {

enum class Kind : int32_t {
    repeat = -1,
    to = -2,
    thru = -3,
    copy = -4,
    set = -5,
    not_ = -6,
    into = -7,
    remove = -9,
    while_ = -11,
    collect = -12,
    keep = -13,
    keep_paren = -14,
    ahead = -16,
    change = -17,
    change_only = -18,
    case_ = -19,
};

enum class State : uint8_t {
    enter_block,
    next_rule,
    dispatch,
    keyword,
    open_keyword,
    literal,
    close_item,
    next_alternative,
    end_block,
    finish_keyword,
    finish,
};

// A trace callback answered something other than true.
struct Stopped {};
// A break, continue, return, exit or throw passes through.
struct ExitPassing {};

// Modes of collect, in the flag of its kind cell.
enum class CollectMode : int32_t { plain = 0, set = 1, into = 2, after = 3 };

struct Entry {
    Cell* cells;  // valid until the next allocation
    [[nodiscard]] Cell& bounds() const { return cells[0]; }
    [[nodiscard]] Cell& positions() const { return cells[1]; }
    [[nodiscard]] Cell& kind_cell() const { return cells[2]; }
    [[nodiscard]] bool is_block() const { return type_of(cells[2]) != TypeId::pair; }
    [[nodiscard]] Kind kind() const { return static_cast<Kind>(static_cast<int32_t>(cells[2].w2)); }
    [[nodiscard]] int32_t flag() const { return static_cast<int32_t>(cells[2].w3); }
    [[nodiscard]] uint32_t rule_index() const { return cells[1].w1; }
    [[nodiscard]] uint32_t input_index() const { return cells[1].w2; }
    [[nodiscard]] uint32_t input_length() const { return cells[1].w3; }
};

[[nodiscard]] inline Cell triple(int32_t a, int32_t b, int32_t c) {
    return Cell{to_int(TypeId::triple), static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
}
[[nodiscard]] inline Cell kind_pair(Kind k, int32_t flag) {
    return Cell{to_int(TypeId::pair), 0, static_cast<uint32_t>(static_cast<int32_t>(k)), static_cast<uint32_t>(flag)};
}

class Engine {
public:
    Engine(const Request& request, uint32_t result_at);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Runs the state loop; the answer goes to the result cell.
    void run();

    // ---- registers (data-stack cells, so they stay rooted and follow moves)
    [[nodiscard]] Cell& input() const { return *stack::cell_at(input_at_); }
    [[nodiscard]] Cell& rules() const { return *stack::cell_at(rules_at_); }
    [[nodiscard]] Cell& rule_value() const { return *stack::cell_at(value_at_); }
    [[nodiscard]] Cell& result() const { return *stack::cell_at(result_at_); }
    [[nodiscard]] uint32_t& index() const { return input().w1; }

    // ---- input
    [[nodiscard]] uint32_t input_tail() const;
    // The tail, or the /part limit on the outermost input.
    [[nodiscard]] uint32_t end_of_input() const;
    [[nodiscard]] bool at_end() const { return index() >= end_of_input(); }
    // Keeps the index within the input after its code may have changed it.
    void clamp_index();

    // ---- rules
    [[nodiscard]] uint32_t rules_end() const;
    [[nodiscard]] Cell rule_at(uint32_t i) const;
    [[nodiscard]] bool rule_is_word(uint32_t i, Sym keyword) const;
    // The value of a word used as a rule; `parse-rule` when it has none.
    [[nodiscard]] Cell word_value(const Cell& word) const;

    // ---- the rule stack
    [[nodiscard]] uint32_t depth() const;  // cells above this call's base
    [[nodiscard]] Entry top() const;
    void push_entry(const Cell& bounds, const Cell& positions, const Cell& kind);
    void push_keyword(Kind kind, const Cell& bounds, int32_t flag = 0);
    void pop_entry();

    // ---- the value stack (into)
    void push_input(const Cell& series);
    void pop_input();
    [[nodiscard]] bool nested() const { return nesting_ > 0; }

    // ---- code in the rules
    // Evaluates a paren and answers its value.
    Cell eval_paren(const Cell& paren);
    // Calls the trace callback; raises Stopped when it answers otherwise
    // than true.
    void fire(Sym event);
    [[noreturn]] void fail_with_end(Sym keyword) const;

    // ---- collect targets (on the data stack above the registers)
    [[nodiscard]] uint32_t collects() const { return collects_; }
    Cell* push_target(const Cell& target, CollectMode mode);
    [[nodiscard]] CollectMode target_mode() const { return modes_.back(); }
    [[nodiscard]] Cell& target() const { return *stack::cell_at(targets_base_ + collects_ - 1); }
    void pop_target();

    bool match = true;
    bool collected = false;    // a top-level collect has put its block in the result
    bool breaking = false;     // a break or reject ends the enclosing repetition
    uint32_t pos = 0;          // the next rule's index in the current rules block
    uint32_t cur = 0;          // the current rule's index
    uint32_t edits = 0;        // parens run and changes made to the input
    CompareOp op = CompareOp::equal;

private:
    State step(State s);
    State enter_block();
    State next_rule();
    State dispatch();
    State keyword();
    State open_keyword();
    State open_value();
    State literal();
    State count_rule();
    State close_item();
    State next_alternative();
    State end_block();
    State finish_keyword(bool stop);
    State finish_repeat(bool stop);
    State finish_to(bool thru);
    State repeat_literal(Kind kind);
    State search_literal(bool thru);

    uint32_t input_at_, rules_at_, value_at_, result_at_, targets_base_;
    int32_t callback_at_;
    uint32_t limit_;
    uint32_t rule_base_, value_base_;
    uint32_t nesting_ = 0;
    uint32_t collects_ = 0;
    std::vector<CollectMode> modes_;
};

// The keywords that capture or change the input (series_actions.cpp):
// each acts on meeting its keyword and answers the next state.
State keyword_copy_set(Engine& e, Kind kind);
State keyword_remove(Engine& e);
State keyword_insert(Engine& e);
State keyword_change(Engine& e);
State keyword_into(Engine& e);
State keyword_collect(Engine& e);
State keyword_keep(Engine& e);
// Their work when their entry finishes (the top entry).
void finish_action(Engine& e, Kind kind);

}  // namespace qor::parse::detail
