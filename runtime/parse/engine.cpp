// The PARSE engine: one loop over numbered states, with nested rules
// blocks, repetitions and keyword rules on the rule stack.
//
// A failed rule tries the next alternative of its block (after the next
// `|`), with the input back where the block began. Repetitions stop when
// an iteration makes no progress (`while` too, unless the iteration changed
// the input or ran code), so no grammar loops for ever over unchanged input;
// the depth check bounds recursion through rules blocks.
#include "runtime/parse/engine.h"

#include <algorithm>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/interrupt.h"
#include "runtime/memory/roots.h"
#include "runtime/parse/match.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::parse {

namespace {

Cell rule_stack_cell = unset_cell;
Cell value_stack_cell = unset_cell;

[[nodiscard]] series::Buffer* rule_buffer() { return series::buffer(rule_stack_cell.w2); }
[[nodiscard]] series::Buffer* value_buffer() { return series::buffer(value_stack_cell.w2); }

[[nodiscard]] uint32_t sym_id(Sym s) { return to_int(s); }

}  // namespace

void init() {
    collector::remove_root(&rule_stack_cell);
    collector::remove_root(&value_stack_cell);
    rule_stack_cell = Cell{to_int(TypeId::block), 0, series::alloc_cells(100), 0};
    collector::add_root(&rule_stack_cell);
    value_stack_cell = Cell{to_int(TypeId::block), 0, series::alloc_cells(8), 0};
    collector::add_root(&value_stack_cell);
}

const Cell& rule_stack() { return rule_stack_cell; }
const Cell& value_stack() { return value_stack_cell; }

namespace detail {

// ---- set-up and registers ---------------------------------------------------

Engine::Engine(const Request& request, uint32_t result_at)
    : result_at_(result_at), callback_at_(request.callback_at), limit_(request.limit),
      rule_base_(rule_buffer()->length()), value_base_(value_buffer()->length()) {
    op = request.op;
    input_at_ = stack::index_of(stack::push(*stack::cell_at(request.input_at)));
    rules_at_ = stack::index_of(stack::push(*stack::cell_at(request.rules_at)));
    value_at_ = stack::index_of(stack::push(rules()));
    targets_base_ = stack::index_of(stack::data.top);
    push_input(input());
}

// Both stacks go back to what this call found, whether it ends or raises.
// (The data stack is left to the exit or error that unwinds it.)
Engine::~Engine() {
    rule_buffer()->set_tail_units(rule_buffer()->head_units() + rule_base_);
    value_buffer()->set_tail_units(value_buffer()->head_units() + value_base_);
}

uint32_t Engine::input_tail() const { return series::buffer(input().w2)->length(); }

uint32_t Engine::end_of_input() const {
    const uint32_t tail = input_tail();
    return (limit_ && !nested() && limit_ < tail) ? limit_ : tail;
}

void Engine::clamp_index() { index() = std::min(index(), input_tail()); }

uint32_t Engine::rules_end() const { return series::buffer(rules().w2)->length(); }

Cell Engine::rule_at(uint32_t i) const { return series::buffer(rules().w2)->cells()[i]; }

bool Engine::rule_is_word(uint32_t i, Sym keyword) const {
    if (i >= rules_end()) return false;
    const Cell v = rule_at(i);
    return type_of(v) == TypeId::word && symbol::resolve_alias(v.w2) == sym_id(keyword);
}

Cell Engine::word_value(const Cell& word) const {
    if (static_cast<int32_t>(word.w3) < 0 && word.w1 == 0) error::fire(error::Id::parse_rule, {word});
    const Cell* v = nullptr;
    try {
        v = context::value_cell(word);
    } catch (const error::Raised&) {
        error::fire(error::Id::parse_rule, {word});
    }
    if (type_of(*v) == TypeId::unset) error::fire(error::Id::parse_rule, {word});
    return *v;
}

// ---- the stacks ---------------------------------------------------------------

uint32_t Engine::depth() const { return rule_buffer()->length() - rule_base_; }

Entry Engine::top() const {
    series::Buffer* b = rule_buffer();
    return Entry{b->cells() + b->length() - 3};
}

void Engine::push_entry(const Cell& bounds, const Cell& positions, const Cell& kind) {
    if (depth() > max_stack_cells || value_buffer()->length() - value_base_ > max_stack_cells)
        error::fire(error::Id::parse_stack);
    const Cell cells[3] = {bounds, positions, kind};  // copied before the stack may grow
    for (const Cell& c : cells) *series_tail::alloc_cell(rule_stack_cell.w2) = c;
    fire(Sym::push);
}

void Engine::push_keyword(Kind kind, const Cell& bounds, int32_t flag) {
    push_entry(bounds, triple(static_cast<int32_t>(pos), static_cast<int32_t>(index()), static_cast<int32_t>(input_tail())),
               kind_pair(kind, flag));
}

void Engine::pop_entry() {
    fire(Sym::pop);
    series::Buffer* b = rule_buffer();
    b->set_tail_units(b->tail_units() - 3);
}

void Engine::push_input(const Cell& series) {
    if (value_buffer()->length() - value_base_ > max_stack_cells) error::fire(error::Id::parse_stack);
    const Cell copy = series;
    *series_tail::alloc_cell(value_stack_cell.w2) = copy;
    if (value_buffer()->length() - value_base_ > 1) nesting_++;
    input() = copy;
}

void Engine::pop_input() {
    series::Buffer* b = value_buffer();
    b->set_tail_units(b->tail_units() - 1);
    nesting_--;
    input() = b->cells()[b->length() - 1];
}

Cell* Engine::push_target(const Cell& target, CollectMode mode) {
    Cell* c = stack::push(target);
    collects_++;
    modes_.push_back(mode);
    return c;
}

void Engine::pop_target() {
    collects_--;
    modes_.pop_back();
    stack::data.top = stack::cell_at(targets_base_ + collects_);
}

// ---- code in the rules ----------------------------------------------------------

Cell Engine::eval_paren(const Cell& paren) {
    edits++;
    Cell* const top = stack::data.top;
    interpreter::eval_block(Cell{to_int(TypeId::block), paren.w1, paren.w2, 0}, false);
    if (stack::exiting()) throw ExitPassing{};
    const Cell value = stack::data.top[-1];
    stack::data.top = top;
    clamp_index();
    return value;
}

void Engine::fire(Sym event) {
    if (callback_at_ < 0) [[likely]] return;
    Cell at_rule = rules();
    at_rule.w1 = cur;
    Cell stack_block = rule_stack_cell;
    stack_block.w1 = rule_base_;
    const Cell args[5] = {word::of(event), match ? logic::true_value : logic::false_value, at_rule, input(),
                          stack_block};
    Cell* const top = stack::data.top;
    const Cell fn = *stack::cell_at(static_cast<uint32_t>(callback_at_));
    interpreter::call_with(fn, args);
    if (stack::exiting()) throw ExitPassing{};
    const Cell answer = stack::data.top[-1];
    stack::data.top = top;
    if (!(type_of(answer) == TypeId::logic && answer.w1 != 0)) throw Stopped{};
}

void Engine::fail_with_end(Sym keyword) const { error::fire(error::Id::parse_end, {word::of(keyword)}); }

// ---- the state loop -------------------------------------------------------------

void Engine::run() {
    // The outermost rules block is entered like any other.
    rule_value() = rules();
    State s = State::enter_block;
    try {
        while (s != State::finish) {
            // Ctrl-C at the console halts a long parse as it halts a loop.
            if (interrupt::requested() && interrupt::take()) [[unlikely]] throw ExitPassing{};
            s = step(s);
        }
    } catch (const Stopped&) {
        result() = match ? logic::true_value : logic::false_value;
        return;
    }
    const bool ok = match && pos >= rules_end() && at_end();
    try {
        fire(Sym::end);
    } catch (const Stopped&) {
    }
    if (!collected) result() = ok ? logic::true_value : logic::false_value;
}

State Engine::step(State s) {
    switch (s) {
        case State::enter_block: return enter_block();
        case State::next_rule: return next_rule();
        case State::dispatch: return dispatch();
        case State::keyword: return keyword();
        case State::open_keyword: return open_keyword();
        case State::literal: return literal();
        case State::close_item: return close_item();
        case State::next_alternative: return next_alternative();
        case State::end_block: return end_block();
        case State::finish_keyword: {
            const bool stop = breaking;
            breaking = false;
            return finish_keyword(stop);
        }
        case State::finish: break;
    }
    return State::finish;
}

// The block in the rule value becomes the current rules block.
State Engine::enter_block() {
    const Cell block = rule_value();
    push_entry(none::value,
               triple(static_cast<int32_t>(pos), static_cast<int32_t>(index()), static_cast<int32_t>(input_tail())),
               block);
    rules() = block;
    pos = block.w1;
    match = true;
    return State::next_rule;
}

State Engine::next_rule() {
    if (pos >= rules_end()) return top().is_block() ? State::end_block : State::finish_keyword;
    cur = pos;
    rule_value() = rule_at(pos++);
    fire(Sym::fetch);
    return State::dispatch;
}

State Engine::dispatch() {
    const Cell v = rule_value();
    switch (type_of(v)) {
        case TypeId::word: return State::keyword;
        case TypeId::block: return State::enter_block;
        case TypeId::datatype:
        case TypeId::typeset: {
            const int32_t n = match_type(input(), index(), end_of_input(), v);
            match = n >= 0;
            if (match) index() += static_cast<uint32_t>(n);
            fire(Sym::match);
            return State::close_item;
        }
        case TypeId::set_word: {
            Cell w = v;
            const Cell here = input();
            context::set(w, here);
            match = true;
            return State::close_item;
        }
        case TypeId::get_word: {
            const Cell target = word_value(v);
            if (type_of(target) != type_of(input()) || target.w2 != input().w2)
                error::fire(error::Id::parse_invalid_ref, {v});
            index() = std::min(target.w1, input_tail());
            match = true;
            return State::close_item;
        }
        case TypeId::integer: return count_rule();
        case TypeId::paren:
            (void)eval_paren(v);
            fire(Sym::paren);
            match = true;
            return State::close_item;
        case TypeId::path: error::fire(error::Id::parse_rule, {v});
        default: return State::literal;
    }
}

// An integer count, optionally followed by a maximum, then the rule.
State Engine::count_rule() {
    const Cell v = rule_value();
    const int32_t low = get_int(v);
    if (low < 0) error::fire(error::Id::out_of_range, {v});
    int32_t high = low;
    if (pos < rules_end() && type_of(rule_at(pos)) == TypeId::integer) {
        const Cell h = rule_at(pos);
        high = get_int(h);
        if (high < 0) error::fire(error::Id::out_of_range, {h});
        if (high < low || pos + 1 >= rules_end()) error::fire(error::Id::parse_rule, {h});
        pos++;
    }
    if (pos >= rules_end()) error::fire(error::Id::parse_end, {v});
    if (high == 0) {
        pos++;  // a count of nothing skips its rule
        match = true;
        return State::close_item;
    }
    push_keyword(Kind::repeat, triple(low, high, 1));
    return State::open_keyword;
}

State Engine::literal() {
    const Cell v = rule_value();
    const int32_t n = match_literal(input(), index(), end_of_input(), v, op);
    match = n >= 0;
    if (match) index() += static_cast<uint32_t>(n);
    fire(Sym::match);
    return State::close_item;
}

// ---- keywords -------------------------------------------------------------------

State Engine::keyword() {
    const Cell w = rule_value();
    const auto need_rule = [this](Sym k) {
        if (pos >= rules_end()) fail_with_end(k);
    };
    switch (static_cast<Sym>(symbol::resolve_alias(w.w2))) {
        case Sym::bar:
            // The alternative succeeded: the rest of the block is skipped.
            match = true;
            pos = rules_end();
            return State::next_rule;
        case Sym::skip:
            match = !at_end();
            if (match) index()++;
            fire(Sym::match);
            return State::close_item;
        case Sym::any: need_rule(Sym::any); push_keyword(Kind::repeat, triple(0, -1, 1)); return State::open_keyword;
        case Sym::some: need_rule(Sym::some); push_keyword(Kind::repeat, triple(1, -1, 1)); return State::open_keyword;
        case Sym::opt: need_rule(Sym::opt); push_keyword(Kind::repeat, triple(0, 1, 1)); return State::open_keyword;
        case Sym::while_:
            need_rule(Sym::while_);
            push_keyword(Kind::while_, triple(0, -1, 1), static_cast<int32_t>(edits));
            return State::open_keyword;
        case Sym::to:
        case Sym::thru: {
            const bool thru = symbol::resolve_alias(w.w2) == sym_id(Sym::thru);
            if (rule_is_word(pos, Sym::end)) {
                pos++;
                index() = end_of_input();
                match = true;
                return State::close_item;
            }
            need_rule(thru ? Sym::thru : Sym::to);
            push_keyword(thru ? Kind::thru : Kind::to, triple(static_cast<int32_t>(index()), 0, 0));
            return State::open_keyword;
        }
        case Sym::copy: return keyword_copy_set(*this, Kind::copy);
        case Sym::set: return keyword_copy_set(*this, Kind::set);
        case Sym::remove: return keyword_remove(*this);
        case Sym::insert: return keyword_insert(*this);
        case Sym::change: return keyword_change(*this);
        case Sym::into: return keyword_into(*this);
        case Sym::collect: return keyword_collect(*this);
        case Sym::keep: return keyword_keep(*this);
        case Sym::break_:
        case Sym::reject: {
            const bool is_break = symbol::resolve_alias(w.w2) == sym_id(Sym::break_);
            match = is_break;
            breaking = true;
            if (!top().is_block()) return State::close_item;
            // The current rules block ends at once, without its alternatives.
            if (!is_break) index() = top().input_index();
            return State::end_block;
        }
        case Sym::fail:
            match = false;
            fire(Sym::match);
            return State::close_item;
        case Sym::if_: {
            if (pos >= rules_end() || type_of(rule_at(pos)) != TypeId::paren) fail_with_end(Sym::if_);
            cur = pos;
            const Cell paren = rule_at(pos++);
            match = interpreter::truthy(eval_paren(paren));
            fire(Sym::paren);
            return State::close_item;
        }
        case Sym::not_: need_rule(Sym::not_); push_keyword(Kind::not_, triple(0, 0, 0)); return State::open_keyword;
        case Sym::ahead: need_rule(Sym::ahead); push_keyword(Kind::ahead, triple(0, 0, 0)); return State::open_keyword;
        case Sym::quote:
            need_rule(Sym::quote);
            cur = pos;
            rule_value() = rule_at(pos++);
            return State::literal;
        case Sym::case_: {
            if (pos >= rules_end() || type_of(rule_at(pos)) != TypeId::word) fail_with_end(Sym::case_);
            const Cell flag = word_value(rule_at(pos++));
            push_keyword(Kind::case_, triple(0, to_int(op), 1));
            op = interpreter::truthy(flag) ? CompareOp::strict_equal : CompareOp::equal;
            return State::open_keyword;
        }
        case Sym::end:
            match = at_end();
            fire(Sym::match);
            return State::close_item;
        case Sym::none:
            match = true;
            return State::close_item;
        default: break;
    }
    // Any other word stands for its value.
    const Cell value = word_value(w);
    if (type_of(value) == TypeId::word) error::fire(error::Id::parse_rule, {w});
    rule_value() = value;
    return State::dispatch;
}

// The rule of the keyword entry on top: at `pos`.
State Engine::open_keyword() {
    if (pos >= rules_end()) {
        switch (top().kind()) {
            case Kind::to: fail_with_end(Sym::to);
            case Kind::thru: fail_with_end(Sym::thru);
            case Kind::not_: fail_with_end(Sym::not_);
            case Kind::remove: fail_with_end(Sym::remove);
            case Kind::while_: fail_with_end(Sym::while_);
            case Kind::collect: fail_with_end(Sym::collect);
            case Kind::keep:
            case Kind::keep_paren: fail_with_end(Sym::keep);
            case Kind::ahead: fail_with_end(Sym::ahead);
            default: break;
        }
        match = true;
        return State::finish_keyword;
    }
    cur = pos;
    rule_value() = rule_at(pos++);
    return open_value();
}

State Engine::open_value() {
    Cell v = rule_value();
    const Kind kind = top().kind();
    if (type_of(v) == TypeId::word) {
        switch (static_cast<Sym>(symbol::resolve_alias(v.w2))) {
            case Sym::bar: case Sym::skip: case Sym::any: case Sym::some: case Sym::opt: case Sym::while_:
            case Sym::to: case Sym::thru: case Sym::copy: case Sym::set: case Sym::remove: case Sym::insert:
            case Sym::change: case Sym::into: case Sym::collect: case Sym::keep: case Sym::break_:
            case Sym::reject: case Sym::fail: case Sym::if_: case Sym::not_: case Sym::ahead: case Sym::quote:
            case Sym::case_: case Sym::end: case Sym::none:
                return State::keyword;
            default: break;
        }
        const Cell value = word_value(v);
        if (type_of(value) == TypeId::word) {
            if (kind == Kind::collect || kind == Kind::keep || kind == Kind::keep_paren)
                error::fire(error::Id::parse_rule, {v});
            rule_value() = value;
            return State::literal;
        }
        v = value;
        rule_value() = v;
    }
    switch (type_of(v)) {
        case TypeId::block: return State::enter_block;
        case TypeId::integer: case TypeId::paren: case TypeId::typeset: case TypeId::datatype:
        case TypeId::set_word: case TypeId::get_word:
            return State::dispatch;
        case TypeId::path: error::fire(error::Id::parse_rule, {v});
        default: break;
    }
    if (kind == Kind::repeat || kind == Kind::while_) return repeat_literal(kind);
    if (kind == Kind::to || kind == Kind::thru) return search_literal(kind == Kind::thru);
    return State::literal;
}

// A repetition of a literal runs in one step, stopping at the first miss,
// at the maximum or when a match consumed nothing.
State Engine::repeat_literal(Kind) {
    const Entry e = top();
    const int32_t low = static_cast<int32_t>(e.bounds().w1), high = static_cast<int32_t>(e.bounds().w2);
    const uint32_t start = index(), end = end_of_input();
    const Cell v = rule_value();
    int32_t count = 0;
    uint32_t at = start;
    while (high < 0 || count < high) {
        const int32_t n = match_literal(input(), at, end, v, op);
        if (n < 0) break;
        count++;
        if (n == 0) break;
        at += static_cast<uint32_t>(n);
    }
    match = count >= low;
    index() = match ? at : start;
    fire(Sym::match);
    pop_entry();
    return State::close_item;
}

State Engine::search_literal(bool thru) {
    uint32_t hit = 0, length = 0;
    match = find_literal(input(), index(), end_of_input(), rule_value(), op, hit, length);
    if (match) index() = thru ? hit + length : hit;
    fire(Sym::match);
    pop_entry();
    return State::close_item;
}

// ---- closing rules ----------------------------------------------------------------

State Engine::close_item() {
    if (!top().is_block()) return State::finish_keyword;
    breaking = false;
    return match ? State::next_rule : State::next_alternative;
}

State Engine::next_alternative() {
    index() = std::min(top().input_index(), input_tail());
    const uint32_t end = rules_end();
    for (uint32_t i = pos; i < end; i++) {
        const Cell v = rule_at(i);
        if (type_of(v) == TypeId::word && symbol::resolve_alias(v.w2) == sym_id(Sym::bar)) {
            pos = i + 1;
            match = true;
            return State::next_rule;
        }
    }
    pos = end;
    match = false;
    return State::end_block;
}

State Engine::end_block() {
    if (depth() <= 3) return State::finish;
    const uint32_t resume = top().rule_index();
    pop_entry();
    // The enclosing rules block is the nearest block entry below.
    series::Buffer* b = rule_buffer();
    for (uint32_t i = b->length(); i >= rule_base_ + 3; i -= 3) {
        const Cell c = b->cells()[i - 1];
        if (type_of(c) != TypeId::pair) {
            rules() = c;
            break;
        }
    }
    pos = resume;
    return State::close_item;
}

State Engine::finish_keyword(bool stop) {
    const Kind kind = top().kind();
    switch (kind) {
        case Kind::repeat:
        case Kind::while_: return finish_repeat(stop);
        case Kind::to: return finish_to(false);
        case Kind::thru: return finish_to(true);
        case Kind::not_:
            match = !match;
            index() = top().input_index();
            break;
        case Kind::ahead: index() = top().input_index(); break;
        case Kind::case_: op = static_cast<CompareOp>(top().bounds().w2); break;
        default: finish_action(*this, kind); break;
    }
    pop_entry();
    return State::close_item;
}

State Engine::finish_repeat(bool stop) {
    const Entry e = top();
    const int32_t low = static_cast<int32_t>(e.bounds().w1), high = static_cast<int32_t>(e.bounds().w2);
    const int32_t count = static_cast<int32_t>(e.bounds().w3);
    const uint32_t length = input_tail();
    bool progress = index() != e.input_index() || length < e.input_length();
    if (e.kind() == Kind::while_)
        progress = index() != e.input_index() || length != e.input_length() || edits != static_cast<uint32_t>(e.flag());
    if (match && !stop && progress && (high < 0 || count < high)) {
        e.positions() = triple(static_cast<int32_t>(e.rule_index()), static_cast<int32_t>(index()), static_cast<int32_t>(length));
        e.bounds().w3 = static_cast<uint32_t>(count + 1);
        if (e.kind() == Kind::while_) e.kind_cell().w3 = edits;
        pos = e.rule_index();
        fire(Sym::iterate);
        return State::open_keyword;
    }
    if (match) {
        match = count >= low;
    } else {
        index() = std::min(e.input_index(), length);
        match = count - 1 >= low || low == 0;
    }
    pop_entry();
    return State::close_item;
}

// to and thru with a rule: on a miss the rule is tried again one further
// on, up to the end of the input.
State Engine::finish_to(bool thru) {
    const Entry e = top();
    if (match) {
        if (!thru) index() = e.input_index();
        pop_entry();
        return State::close_item;
    }
    const uint32_t from = e.input_index();
    if (from >= end_of_input()) {
        index() = std::min(static_cast<uint32_t>(e.bounds().w1), input_tail());
        pop_entry();
        return State::close_item;
    }
    e.positions() = triple(static_cast<int32_t>(e.rule_index()), static_cast<int32_t>(from + 1),
                           static_cast<int32_t>(input_tail()));
    index() = from + 1;
    pos = e.rule_index();
    fire(Sym::pop);
    fire(Sym::iterate);
    return State::open_keyword;
}

}  // namespace detail

bool process(const Request& request, uint32_t result_at) {
    Cell* const top = stack::data.top;
    {
        detail::Engine engine(request, result_at);
        try {
            engine.run();
        } catch (const detail::ExitPassing&) {
            return false;
        }
    }
    stack::data.top = top;
    return true;
}

}  // namespace qor::parse
