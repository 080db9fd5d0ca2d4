// The PARSE keywords that capture or change the input and build result
// blocks: copy, set, remove, insert, change, into, collect and keep.
//
// Most push a keyword entry whose rule is then matched, and act when that
// entry finishes; insert, and remove or change followed by a position word,
// act at once. Changes go through the input datatype's own actions, so
// ownership notices and hash indexes stay right. Values being moved are
// kept on the data stack while anything allocates.
#include <algorithm>

#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/eval/interpreter.h"
#include "runtime/parse/engine.h"
#include "runtime/parse/match.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::parse::detail {

namespace {

[[nodiscard]] Cell integer(uint32_t n) { return Cell{to_int(TypeId::integer), 0, n, 0}; }

// The item at index i of the input as one value: a char! of text, an
// integer! byte of a binary, a block's value.
Cell item_at(const Cell& input, uint32_t i) {
    const series::Buffer* b = series::buffer(input.w2);
    switch (kind_of_input(input)) {
        case InputKind::text: return Cell{to_int(TypeId::char_), 0, str::get_char(b->at(i), b->unit()), 0};
        case InputKind::bytes: return integer(b->at(i)[0]);
        case InputKind::block: break;
    }
    Cell v = series::buffer(input.w2)->cells()[i];
    clear_new_line(v);
    return v;
}

// Pushes a copy of `count` items of the input from `from`.
Cell* push_copy(const Engine& e, uint32_t from, uint32_t count) {
    Cell* source = stack::push(e.input());
    source->w1 = from;
    const Cell* part = stack::push(integer(count));
    Cell* result = stack::push(unset_cell);
    const Cell copied = *actions::call_copy(*source, *result, part, false, nullptr);
    stack::pop(3);
    return stack::push(copied);
}

// Sets a word of the rules to the value (a data-stack cell).
void set_word(const Cell& word, const Cell& value) {
    Cell w = word;
    context::set(w, value);
}

// The value of a word at rule index i when it holds the input series at
// some position (a position word); false otherwise.
bool position_word(const Engine& e, uint32_t i, Cell& out) {
    if (i >= e.rules_end()) return false;
    const Cell w = e.rule_at(i);
    if (type_of(w) != TypeId::word && type_of(w) != TypeId::get_word) return false;
    if (static_cast<int32_t>(w.w3) < 0) return false;
    Cell value;
    try {
        value = *context::value_cell(w);
    } catch (const error::Raised&) {
        return false;
    }
    if (type_of(value) != type_of(e.input()) || value.w2 != e.input().w2) return false;
    out = value;
    return true;
}

// The value of insert and change at rule index i: a paren's result, a
// word's value or the value itself.
Cell* push_new_value(Engine& e, uint32_t i) {
    const Cell v = e.rule_at(i);
    switch (type_of(v)) {
        case TypeId::paren: return stack::push(e.eval_paren(v));
        case TypeId::path: error::fire(error::Id::parse_rule, {v});
        case TypeId::word: {
            const Cell* value = context::value_cell(v);
            if (type_of(*value) == TypeId::unset) error::fire(error::Id::no_value, {v});
            return stack::push(*value);
        }
        default: return stack::push(v);
    }
}

// Replaces `count` items from `from` by the value; answers the index after
// the replacement.
uint32_t replace_part(Engine& e, uint32_t from, uint32_t count, Cell* value, bool only) {
    Cell* s = stack::push(e.input());
    s->w1 = from;
    const Cell* part = stack::push(integer(count));
    (void)actions::get_action_of<Action::change>(*s)(s, value, part, only, nullptr);
    const uint32_t after = s->w1;
    stack::pop(2);
    e.edits++;
    return after;
}

void remove_part(Engine& e, uint32_t from, uint32_t count) {
    if (count == 0) return;
    Cell* s = stack::push(e.input());
    s->w1 = from;
    const Cell* part = stack::push(integer(count));
    (void)actions::get_action_of<Action::remove>(*s)(s, part, nullptr);
    stack::pop(2);
    e.edits++;
}

// One kept value into the innermost collect target: appended as one item
// to a collect block, inserted at the target's position (which moves past
// it) for collect into, appended at the tail for collect after.
void keep_one(Engine& e, const Cell& value) {
    Cell* v = stack::push(value);
    Cell& target = e.target();
    switch (e.target_mode()) {
        case CollectMode::plain:
        case CollectMode::set: {
            Cell* slot = series_tail::block_alloc_tail(target);
            *slot = *v;
            break;
        }
        case CollectMode::into:
            (void)actions::get_action_of<Action::insert>(target)(&target, v, nullptr, true, nullptr);
            break;
        case CollectMode::after: {
            const uint32_t at = target.w1;
            (void)actions::get_action_of<Action::append>(target)(&target, v, nullptr, true, nullptr);
            e.target().w1 = at;
            break;
        }
    }
    stack::pop();
}

// keep of the input matched from `from` to the index.
void keep_matched(Engine& e, uint32_t from, bool pick) {
    const uint32_t to = e.index();
    if (to <= from) return;
    if (pick || to - from == 1) {
        for (uint32_t i = from; i < to; i++) keep_one(e, item_at(e.input(), i));
        return;
    }
    const Cell* copied = push_copy(e, from, to - from);
    keep_one(e, *copied);
    stack::pop();
}

// A keep pick of a block value keeps its items one by one.
void keep_value(Engine& e, const Cell& value, bool pick) {
    if (pick && is_any_block(type_of(value))) {
        Cell* v = stack::push(value);
        for (uint32_t i = v->w1; i < series::buffer(v->w2)->length(); i++)
            keep_one(e, series::buffer(v->w2)->cells()[i]);
        stack::pop();
        return;
    }
    keep_one(e, value);
}

// Whether a collect into/after target may receive values from this input.
bool accepts(const Cell& target, const Cell& input) {
    const TypeId t = type_of(target), in = type_of(input);
    if (t == in || is_any_block(t)) return true;
    if (is_any_string(t)) return !is_any_block(in);
    return false;  // a binary! only takes binary input (handled by t == in)
}

}  // namespace

State keyword_copy_set(Engine& e, Kind kind) {
    const Sym name = kind == Kind::copy ? Sym::copy : Sym::set;
    if (e.pos + 1 >= e.rules_end() || type_of(e.rule_at(e.pos)) != TypeId::word) e.fail_with_end(name);
    const Cell word = e.rule_at(e.pos++);
    e.push_keyword(kind, word);
    return State::open_keyword;
}

State keyword_remove(Engine& e) {
    Cell position;
    if (position_word(e, e.pos, position)) {
        const uint32_t a = std::min(position.w1, e.index()), b = std::max(position.w1, e.index());
        remove_part(e, a, b - a);
        e.index() = std::min(a, e.input_tail());
        e.pos++;
        e.match = true;
        return State::close_item;
    }
    if (e.pos < e.rules_end() && type_of(e.rule_at(e.pos)) == TypeId::path)
        error::fire(error::Id::parse_rule, {e.rule_at(e.pos)});
    if (e.pos >= e.rules_end()) e.fail_with_end(Sym::remove);
    e.push_keyword(Kind::remove, triple(0, 0, 0));
    return State::open_keyword;
}

State keyword_insert(Engine& e) {
    bool only = false;
    if (e.rule_is_word(e.pos, Sym::only)) {
        only = true;
        e.pos++;
    }
    uint32_t where = e.index();
    Cell position;
    if (position_word(e, e.pos, position)) {
        if (e.pos + 1 >= e.rules_end()) error::fire(error::Id::parse_rule, {e.rule_at(e.pos)});
        where = std::min(position.w1, e.input_tail());
        e.pos++;
    }
    if (e.pos >= e.rules_end()) e.fail_with_end(Sym::insert);
    e.cur = e.pos;
    Cell* value = push_new_value(e, e.pos++);
    const uint32_t before = e.input_tail();
    Cell* s = stack::push(e.input());
    s->w1 = where;
    (void)actions::get_action_of<Action::insert>(*s)(s, value, nullptr, only, nullptr);
    stack::pop(2);
    e.edits++;
    const uint32_t added = e.input_tail() - std::min(before, e.input_tail());
    if (where <= e.index()) e.index() += added;
    e.clamp_index();
    e.match = true;
    return State::close_item;
}

State keyword_change(Engine& e) {
    bool only = false;
    if (e.rule_is_word(e.pos, Sym::only)) {
        only = true;
        e.pos++;
    }
    Cell position;
    if (position_word(e, e.pos, position)) {
        if (e.pos + 1 >= e.rules_end()) error::fire(error::Id::parse_rule, {e.rule_at(e.pos)});
        e.pos++;
        const uint32_t a = std::min(position.w1, e.index()), b = std::max(position.w1, e.index());
        Cell* value = push_new_value(e, e.pos++);
        e.index() = replace_part(e, a, b - a, value, only);
        stack::pop();
        e.clamp_index();
        e.match = true;
        return State::close_item;
    }
    if (e.pos + 1 >= e.rules_end()) e.fail_with_end(Sym::change);
    e.push_keyword(only ? Kind::change_only : Kind::change, triple(0, 0, 0));
    return State::open_keyword;
}

State keyword_into(Engine& e) {
    if (!is_any_block(type_of(e.input()))) error::fire(error::Id::parse_block, {e.input()});
    if (e.pos >= e.rules_end()) e.fail_with_end(Sym::into);
    Cell rule = e.rule_at(e.pos);
    if (type_of(rule) == TypeId::word) rule = e.word_value(rule);
    if (type_of(rule) != TypeId::block) e.fail_with_end(Sym::into);
    if (e.at_end()) {
        e.pos++;
        e.match = false;
        return State::close_item;
    }
    const Cell item = series::buffer(e.input().w2)->cells()[e.index()];
    const TypeId t = type_of(item);
    if (!is_series(t) || t == TypeId::image || t == TypeId::vector) {
        e.pos++;
        e.match = false;
        return State::close_item;
    }
    e.push_keyword(Kind::into, triple(0, 0, 0));
    e.push_input(item);
    return State::open_keyword;
}

State keyword_collect(Engine& e) {
    CollectMode mode = CollectMode::plain;
    Cell word = none::value;
    if (e.rule_is_word(e.pos, Sym::set)) mode = CollectMode::set;
    else if (e.rule_is_word(e.pos, Sym::into)) mode = CollectMode::into;
    else if (e.rule_is_word(e.pos, Sym::after)) mode = CollectMode::after;
    if (mode != CollectMode::plain) {
        if (e.pos + 1 >= e.rules_end() || type_of(e.rule_at(e.pos + 1)) != TypeId::word) e.fail_with_end(Sym::collect);
        word = e.rule_at(e.pos + 1);
        e.pos += 2;
    }
    if (e.pos >= e.rules_end()) e.fail_with_end(Sym::collect);
    if (mode == CollectMode::into || mode == CollectMode::after) {
        const Cell target = e.word_value(word);
        const TypeId t = type_of(target);
        if (!is_series(t) || t == TypeId::image || t == TypeId::vector || !accepts(target, e.input()))
            error::fire(error::Id::parse_into_type);
        if (target.w2 == e.input().w2) error::fire(error::Id::parse_into_bad);
        e.push_target(target, mode);
    } else {
        e.push_target(Cell{to_int(TypeId::block), 0, series::alloc_cells(8), 0}, mode);
    }
    e.push_keyword(Kind::collect, word, static_cast<int32_t>(mode));
    return State::open_keyword;
}

State keyword_keep(Engine& e) {
    if (e.collects() == 0) error::fire(error::Id::parse_keep);
    bool pick = false;
    if (e.rule_is_word(e.pos, Sym::pick)) {
        pick = true;
        e.pos++;
    }
    if (e.pos >= e.rules_end()) e.fail_with_end(Sym::keep);
    const Cell next = e.rule_at(e.pos);
    if (type_of(next) == TypeId::paren) {
        e.cur = e.pos++;
        const Cell* value = stack::push(e.eval_paren(next));
        keep_value(e, *value, pick);
        stack::pop();
        e.match = true;
        return State::close_item;
    }
    // keep copy word rule: the copied value is kept.
    Cell bounds = triple(0, 0, 0);
    if (e.rule_is_word(e.pos, Sym::copy) && e.pos + 1 < e.rules_end() && type_of(e.rule_at(e.pos + 1)) == TypeId::word)
        bounds = e.rule_at(e.pos + 1);
    e.push_keyword(Kind::keep, bounds, pick ? 1 : 0);
    return State::open_keyword;
}

void finish_action(Engine& e, Kind kind) {
    const Entry entry = e.top();
    const uint32_t start = entry.input_index();
    const Cell bounds = entry.bounds();
    switch (kind) {
        case Kind::copy:
            if (e.match) {
                const Cell* copied = push_copy(e, start, e.index() > start ? e.index() - start : 0);
                set_word(bounds, *copied);
                stack::pop();
            }
            break;
        case Kind::set:
            if (e.match) {
                const Cell* v = stack::push(e.index() > start ? item_at(e.input(), start) : none::value);
                set_word(bounds, *v);
                stack::pop();
            }
            break;
        case Kind::remove:
            if (e.match && e.index() > start) {
                remove_part(e, start, e.index() - start);
                e.index() = start;
            }
            break;
        case Kind::change:
        case Kind::change_only: {
            // The value follows the rule; it is stepped over on a miss too.
            const uint32_t at = e.pos++;
            if (e.match) {
                e.cur = at;
                Cell* value = push_new_value(e, at);
                e.index() = replace_part(e, start, e.index() > start ? e.index() - start : 0, value,
                                         kind == Kind::change_only);
                stack::pop();
                e.clamp_index();
            }
            break;
        }
        case Kind::into: {
            const bool consumed = e.match && e.index() >= e.input_tail();
            e.pop_input();
            e.match = consumed;
            e.index() = std::min(start + (consumed ? 1 : 0), e.input_tail());
            break;
        }
        case Kind::collect: {
            const CollectMode mode = e.target_mode();
            const Cell collected = e.target();
            if (mode == CollectMode::set) {
                set_word(bounds, collected);
            } else if (mode == CollectMode::plain) {
                if (e.collects() > 1) {
                    e.pop_target();
                    keep_one(e, collected);
                    return;
                }
                e.result() = collected;
                e.collected = true;
            }
            e.pop_target();
            break;
        }
        case Kind::keep:
        case Kind::keep_paren:
            if (e.match) {
                if (type_of(bounds) == TypeId::word) {
                    const Cell* v = stack::push(*context::value_cell(bounds));
                    keep_value(e, *v, entry.flag() != 0);
                    stack::pop();
                } else {
                    keep_matched(e, start, entry.flag() != 0);
                }
            }
            break;
        default: break;
    }
}

}  // namespace qor::parse::detail
