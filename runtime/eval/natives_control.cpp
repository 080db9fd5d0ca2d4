// Conditionals and loops: if, unless, either, any, all, while, until, loop,
// repeat, forever, foreach, forall, remove-each.
#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/eval/decoded_block.h"
#include "runtime/eval/fast_paths.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

using interpreter::truthy;

uint32_t length(NodeId node) { return series::buffer(node)->length(); }

// The tail position of a walked series: an image! counts its pixels.
uint32_t walk_tail(const Cell& series) {
    if (type_of(series) == TypeId::image) return image_type::pixel_count(series);
    return length(series.w2);
}
Cell item(NodeId node, uint32_t i) { return series::buffer(node)->cells()[i]; }

// A loop count: floats truncate toward zero; a float that is NaN or outside
// the 32-bit range becomes -2147483648, so the loop runs no times.
int64_t loop_count(const Cell& v) {
    if (type_of(v) == TypeId::integer) return get_int(v);
    const double d = get_double(v);
    if (std::isnan(d) || d >= 2147483648.0 || d < -2147483648.0) return INT32_MIN;
    return static_cast<int64_t>(d);
}

// Blocks of the natives run through the interpreter.
void eval_in_frame(const Cell& block, int) { interpreter::eval_block(block, true); }

// Runs the blocks of one loop call, each through the decoded form it
// keeps between its runs.
struct LoopBlocks {
    interpreter::decoded::Link links[2];
    void operator()(const Cell& block, int k) { interpreter::eval_block_linked(block, links[k]); }
    static Cell& current() { return interpreter::current_code_cell(); }
};

// Runs the body into the loop's result slot, a body made of pure
// expressions through its pure form.
Step run_body(const Cell& body, interpreter::decoded::Link& link) {
    return impl::run_body(body, 0, [&](const Cell& b, int) {
        if (!interpreter::decoded::body_pure(b, link, interpreter::current_code_cell()))
            interpreter::eval_block_linked(b, link);
    });
}

// Sets a word from a value, through its context.
void set_word(const Cell& word, const Cell& value) {
    Cell w = word;
    set_type_keep_flags(w, TypeId::word);
    context::set(w, value);
}

bool is_cell_series(TypeId t) { return is_any_block(t) || t == TypeId::hash; }

void n_if(bool, std::span<const int32_t>) { run_if(arg(0), eval_in_frame); }

void n_unless(bool, std::span<const int32_t>) {
    if (truthy(*arg(0))) {
        *arg(0) = none::value;
        return;
    }
    interpreter::eval_block(*arg(1), true);
}

void n_either(bool, std::span<const int32_t>) { run_either(arg(0), eval_in_frame); }

void n_any(bool, std::span<const int32_t>) {
    const Cell block = *arg(0);
    uint32_t pos = block.w1;
    while (pos < length(block.w2)) {
        pos = interpreter::eval_next(block.w2, pos, true);
        if (stack::exiting()) return;
        const Cell v = *--stack::data.top;
        if (truthy(v)) {
            *arg(0) = v;
            return;
        }
    }
    *arg(0) = none::value;
}

void n_all(bool, std::span<const int32_t>) {
    const Cell block = *arg(0);
    uint32_t pos = block.w1;
    Cell last = none::value;
    while (pos < length(block.w2)) {
        pos = interpreter::eval_next(block.w2, pos, true);
        if (stack::exiting()) return;
        last = *--stack::data.top;
        if (!truthy(last)) {
            last = none::value;
            break;
        }
    }
    *arg(0) = last;
}

void n_while(bool, std::span<const int32_t>) {
    LoopBlocks blocks;
    run_while(arg(0), blocks);
}

void n_until(bool, std::span<const int32_t>) {
    const Cell body = *arg(0);
    open_loop();
    interpreter::decoded::Link link;
    for (;;) {
        interpreter::eval_block_linked(body, link);
        if (stack::exiting()) {
            const uint32_t code = stack::pending;
            if (code == stack::exit_continue) {
                stack::take_exit();
                stack::keep();
                continue;
            }
            if (code != stack::exit_break) return;
            stack::take_exit();
            break;
        }
        stack::keep();
        if (strict_truthy(*stack::data.base)) break;
    }
    stack::unwind_set_result();
}

void n_loop(bool, std::span<const int32_t>) {
    LoopBlocks blocks;
    run_loop(arg(0), loop_count(*arg(0)), blocks);
}

void n_repeat(bool, std::span<const int32_t>) {
    const Cell word = *arg(0);
    const int64_t count = loop_count(*arg(1));
    const Cell body = *arg(2);
    interpreter::decoded::Link link;
    if (count <= 0) {
        *arg(0) = none::value;
        return;
    }
    open_loop();
    // Whole iterations through the body's pure form, once it has one.
    bool pure = type_of(word) == TypeId::word;
    for (int64_t i = 1; i <= count;) {
        if (pure) {
            const Step step = after_pure(
                interpreter::decoded::repeat_pure(word, i, count, body, link, interpreter::current_code_cell()), pure);
            if (step == Step::pass) return;
            if (step == Step::leave) break;
        }
        set_word(word, Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(i++), 0});
        const Step step = run_body(body, link);
        if (step == Step::pass) return;
        if (step == Step::leave) break;
    }
    stack::unwind_set_result();
}

void n_forever(bool, std::span<const int32_t>) {
    const Cell body = *arg(0);
    interpreter::decoded::Link link;
    open_loop();
    for (;;) {
        const Step step = run_body(body, link);
        if (step == Step::pass) return;
        if (step == Step::leave) break;
    }
    stack::unwind_set_result();
}

// The words a foreach or remove-each sets: one word, or a block of them.
struct LoopWords {
    Cell spec;
    uint32_t count;
};

LoopWords loop_words(const Cell& spec) {
    if (type_of(spec) != TypeId::block) return {spec, 1};
    const uint32_t n = spec.w1 < length(spec.w2) ? length(spec.w2) - spec.w1 : 0;
    if (n == 0) error::fire(error::Id::invalid_arg, {spec});
    for (uint32_t i = 0; i < n; i++) {
        const TypeId t = type_of(item(spec.w2, spec.w1 + i));
        if (t != TypeId::word && t != TypeId::set_word && t != TypeId::get_word && t != TypeId::lit_word)
            error::fire(error::Id::invalid_arg, {item(spec.w2, spec.w1 + i)});
    }
    return {spec, n};
}

// The item of a series at a position: a block's cell directly, any other
// series' item by `pick` (a char! of a string, an integer! of a binary!).
Cell series_item(const Cell& series, uint32_t pos) {
    if (is_cell_series(type_of(series))) return item(series.w2, pos);
    Cell at = series;
    at.w1 = pos;
    fast::pick(at, 1, word::load("foreach"));
    return *--stack::data.top;
}

// Sets the loop words from the series at the position (none past the tail);
// answers whether any item was there.
bool set_loop_words(const LoopWords& words, const Cell& series, uint32_t pos) {
    const uint32_t tail = walk_tail(series);
    if (pos >= tail) return false;
    if (type_of(words.spec) != TypeId::block) {
        set_word(words.spec, series_item(series, pos));
        return true;
    }
    for (uint32_t i = 0; i < words.count; i++) {
        const Cell value = pos + i < tail ? series_item(series, pos + i) : none::value;
        set_word(item(words.spec.w2, words.spec.w1 + i), value);
    }
    return true;
}

// Only series that keep their items in a buffer, and images, are walked
// (not map!).
void require_walkable(const Cell& series) {
    const TypeId t = type_of(series);
    if (t == TypeId::map || !is_series(t)) error::fire(error::Id::not_done);
}

// foreach over a map: a key and its value per step, removed pairs passed
// over.
void foreach_pair(const Cell& words, const Cell& map, const Cell& body) {
    interpreter::decoded::Link link;
    open_loop();
    for (uint32_t position = map.w1; map::foreach_set(words, map, position);) {
        const Step step = run_body(body, link);
        if (step == Step::pass) return;
        if (step == Step::leave) break;
    }
    stack::unwind_set_result();
}

void n_foreach(bool, std::span<const int32_t>) {
    const LoopWords words = loop_words(*arg(0));
    const Cell series = *arg(1);
    const Cell body = *arg(2);
    interpreter::decoded::Link link;
    if (type_of(series) == TypeId::map && words.count != 2) error::fire(error::Id::invalid_arg, {words.spec});
    if (type_of(series) == TypeId::map) return foreach_pair(words.spec, series, body);
    require_walkable(series);
    open_loop();
    // One word over a block: whole iterations through the body's pure
    // form, once it has one.
    bool pure = type_of(words.spec) == TypeId::word && is_cell_series(type_of(series));
    for (uint32_t pos = series.w1;;) {
        if (pure) {
            const Step step = after_pure(
                interpreter::decoded::foreach_pure(words.spec, series, pos, body, link, interpreter::current_code_cell()),
                pure);
            if (step == Step::pass) return;
            if (step == Step::leave) break;
        }
        if (!set_loop_words(words, series, pos)) break;
        pos += words.count;
        const Step step = run_body(body, link);
        if (step == Step::pass) return;
        if (step == Step::leave) break;
    }
    stack::unwind_set_result();
}

void n_forall(bool, std::span<const int32_t>) {
    Cell word = *arg(0);
    set_type_keep_flags(word, TypeId::word);
    const Cell body = *arg(1);
    interpreter::decoded::Link link;
    const Cell start = *context::value_cell(word);
    if (!is_series(type_of(start)))
        error::expect_arg(word::load("forall"), type_of(start), error::WordArg{"word"});
    open_loop();
    bool broke = false;
    while (context::value_cell(word)->w1 < walk_tail(start)) {
        const Step step = run_body(body, link);
        if (step == Step::pass) return;
        if (step == Step::leave) {
            broke = true;
            break;
        }
        Cell* now = context::value_cell(word);
        if (now->w2 != start.w2 || !is_series(type_of(*now))) error::fire(error::Id::bad_loop_series, {*now});
        now->w1++;
    }
    if (!broke) context::set(word, start);
    stack::unwind_set_result();
}

// Removes n items at the position: a block's cells by moving the rest
// down, any other series' items by the `remove` action with /part.
void remove_items(const Cell& series, uint32_t pos, uint32_t n) {
    series::Buffer* b = series::buffer(series.w2);
    const uint32_t len = b->length();
    if (pos >= len) return;
    if (pos + n > len) n = len - pos;
    if (is_cell_series(type_of(series))) {
        Cell* cells = b->cells();
        std::memmove(cells + pos, cells + pos + n, (len - pos - n) * sizeof(Cell));
        b->tail -= n * series::cell_unit;
        return;
    }
    Cell at = series;
    at.w1 = pos;
    stack::mark_native(to_int(Sym::tag_body));
    stack::push(at);
    stack::push(Cell{to_int(TypeId::integer), 0, n, 0});
    const int32_t refs[] = {1, -1};
    actions::dispatcher(Action::remove)(std::span<const int32_t>(refs));
    stack::unwind();
    stack::pop();
}

void n_remove_each(bool, std::span<const int32_t>) {
    const LoopWords words = loop_words(*arg(0));
    const Cell series = *arg(1);
    const Cell body = *arg(2);
    interpreter::decoded::Link link;
    require_walkable(series);
    open_loop();
    uint32_t pos = series.w1;
    while (set_loop_words(words, series, pos)) {
        const Step step = run_body(body, link);
        if (step == Step::pass) return;
        if (step == Step::leave) break;
        if (truthy(*stack::data.base)) remove_items(series, pos, words.count);
        else pos += words.count;
    }
    stack::revert();
    *arg(0) = series;
}

}  // namespace

void install_control(Table& r) {
    r[Native::if_] = n_if;
    r[Native::unless] = n_unless;
    r[Native::either] = n_either;
    r[Native::any] = n_any;
    r[Native::all] = n_all;
    r[Native::while_] = n_while;
    r[Native::until] = n_until;
    r[Native::loop] = n_loop;
    r[Native::repeat] = n_repeat;
    r[Native::forever] = n_forever;
    r[Native::foreach] = n_foreach;
    r[Native::forall] = n_forall;
    r[Native::remove_each] = n_remove_each;
}

}  // namespace qor::natives::impl
