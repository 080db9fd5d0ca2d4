// Action numbers. An `action!` value carries its number, the action table
// keeps one routine per number and datatype, and the dispatch table one
// dispatcher per number, so these numbers never change.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor {

enum class Action : uint8_t {
    make = 1,
    random = 2,
    reflect = 3,
    to = 4,
    form = 5,
    mold = 6,
    eval_path = 7,
    set_path = 8,  // no dispatcher and no routine
    compare = 9,
    absolute = 10,
    add = 11,
    divide = 12,
    multiply = 13,
    negate = 14,
    power = 15,
    remainder = 16,
    round = 17,
    subtract = 18,
    even_q = 19,
    odd_q = 20,
    and_t = 21,
    complement = 22,
    or_t = 23,
    xor_t = 24,
    append = 25,
    at = 26,
    back = 27,
    change = 28,
    clear = 29,
    copy = 30,
    find = 31,
    head = 32,
    head_q = 33,
    index_q = 34,
    insert = 35,
    length_q = 36,
    move = 37,
    next = 38,
    pick = 39,
    poke = 40,
    put = 41,
    remove = 42,
    reverse = 43,
    select = 44,
    sort = 45,
    skip = 46,
    swap = 47,
    tail = 48,
    tail_q = 49,
    take = 50,
    trim = 51,
    create = 52,
    close = 53,
    delete_ = 54,
    modify = 55,
    open = 56,
    open_q = 57,  // no routine in any datatype
    query = 58,
    read = 59,
    rename = 60,
    update = 61,
    write = 62,
};

inline constexpr int action_count = 62;

// The first action of the series and port group: a port whose actor is a
// handle takes these from its own routine table.
inline constexpr Action first_series_action = Action::append;

[[nodiscard]] constexpr int to_int(Action a) { return static_cast<int>(a); }

// The words of the actions, by number (the two without a word are spelled as
// their internal names).
inline constexpr std::string_view action_words[action_count + 1] = {
    "",       "make",     "random",  "reflect",  "to",      "form",      "mold",
    "eval-path", "set-path", "compare", "absolute", "add",   "divide",    "multiply",
    "negate", "power",    "remainder", "round",  "subtract", "even?",    "odd?",
    "and~",   "complement", "or~",   "xor~",     "append",  "at",        "back",
    "change", "clear",    "copy",    "find",     "head",    "head?",     "index?",
    "insert", "length?",  "move",    "next",     "pick",    "poke",      "put",
    "remove", "reverse",  "select",  "sort",     "skip",    "swap",      "tail",
    "tail?",  "take",     "trim",    "create",   "close",   "delete",    "modify",
    "open",   "open?",    "query",   "read",     "rename",  "update",    "write",
};

[[nodiscard]] constexpr std::string_view action_word(Action a) { return action_words[to_int(a)]; }

// The words of each action's first two arguments, as its interface block names them
// (errors about an argument name it by these words).
struct ActionArgWords {
    std::string_view first, second;
};
inline constexpr ActionArgWords action_arg_words[action_count + 1] = {
    {"", ""},
    {"type", "spec"},          // make
    {"value", ""},             // random
    {"value", "field"},        // reflect
    {"type", "spec"},          // to
    {"value", ""},             // form
    {"value", ""},             // mold
    {"parent", "element"},     // eval-path
    {"", ""},                  // set-path
    {"value1", "value2"},      // compare
    {"value", ""},             // absolute
    {"value1", "value2"},      // add
    {"value1", "value2"},      // divide
    {"value1", "value2"},      // multiply
    {"number", ""},            // negate
    {"number", "exponent"},    // power
    {"value1", "value2"},      // remainder
    {"n", ""},                 // round
    {"value1", "value2"},      // subtract
    {"number", ""},            // even?
    {"number", ""},            // odd?
    {"value1", "value2"},      // and~
    {"value", ""},             // complement
    {"value1", "value2"},      // or~
    {"value1", "value2"},      // xor~
    {"series", "value"},       // append
    {"series", "index"},       // at
    {"series", ""},            // back
    {"series", "value"},       // change
    {"series", ""},            // clear
    {"value", ""},             // copy
    {"series", "value"},       // find
    {"series", ""},            // head
    {"series", ""},            // head?
    {"series", ""},            // index?
    {"series", "value"},       // insert
    {"series", ""},            // length?
    {"origin", "target"},      // move
    {"series", ""},            // next
    {"series", "index"},       // pick
    {"series", "index"},       // poke
    {"series", "key"},         // put
    {"series", ""},            // remove
    {"series", ""},            // reverse
    {"series", "value"},       // select
    {"series", ""},            // sort
    {"series", "offset"},      // skip
    {"series1", "series2"},    // swap
    {"series", ""},            // tail
    {"series", ""},            // tail?
    {"series", ""},            // take
    {"series", ""},            // trim
    {"port", ""},              // create
    {"port", ""},              // close
    {"file", ""},              // delete
    {"target", "field"},       // modify
    {"port", ""},              // open
    {"port", ""},              // open?
    {"target", ""},            // query
    {"source", ""},            // read
    {"from", "to"},            // rename
    {"port", ""},              // update
    {"destination", "data"},   // write
};

}  // namespace qor
