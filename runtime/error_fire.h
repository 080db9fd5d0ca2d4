// Raising language errors from C++.
//
// An error is named by its catalogue category and id and carries up to three
// argument values. Raising never returns: it unwinds, as a C++ exception, to
// the nearest frame that catches errors. (Errors may cost an exception; the
// frequent non-local exits of the evaluator do not come through here.)
//
// Until the error catalogue exists, an error is known by its category and the
// spelling of its id ("no-memory", "zero-divide", ...). Arguments that are
// words of the runtime itself (an action's word, an argument's word) are
// given by their spelling until the symbol table exists to make them words.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "runtime/cell.h"

namespace qor::error {

// Categories in catalogue order; an error's code is category × 100 + the
// id's position in the category.
enum class Category : uint8_t {
    throw_ = 0,
    note = 1,
    syntax = 2,
    script = 3,
    math = 4,
    access = 5,
    reserved1 = 6,
    reserved2 = 7,
    user = 8,
    internal = 9,
};

// A word argument given by its spelling (a static string).
struct WordArg {
    std::string_view spelling;
};

// One argument of an error: a value, or a word by spelling.
struct Arg {
    Cell value;
    std::string_view word;  // not empty: the argument is this word

    Arg(const Cell& v) : value(v) {}
    Arg(WordArg w) : value(unset_cell), word(w.spelling) {}
};

struct Raised {
    Category category;
    std::string_view id;      // a static string
    Cell args[3];             // unset where the argument is a word or absent
    std::string_view arg_words[3];
    int arg_count;

    [[nodiscard]] bool is(Category c, std::string_view i) const { return category == c && id == i; }
};

// Raises the error. The arguments are copied into the raised value.
[[noreturn]] void fire(Category category, std::string_view id, std::initializer_list<Arg> args = {});

// Shorthands for the two most common categories.
[[noreturn]] inline void script(std::string_view id, std::initializer_list<Arg> args = {}) {
    fire(Category::script, id, args);
}
[[noreturn]] inline void math(std::string_view id, std::initializer_list<Arg> args = {}) {
    fire(Category::math, id, args);
}

// script `expect-arg`: the called word, the datatype of the rejected value
// and the word of the argument ("add does not allow string! for its value1
// argument").
[[noreturn]] void expect_arg(Arg call_word, TypeId type, Arg arg_word);

// script `bad-make-arg` with the datatype and the spec (make of native! and
// action!).
[[noreturn]] void bad_make_arg(const Cell& datatype, const Cell& spec);

// The argument type checks of natives and functions: answers the value when
// the typeset holds its datatype, else raises `expect-arg`.
const Cell& fire_type_check(const Cell& typeset, const Cell& value, Arg call_word, Arg arg_word);

// An unset value is refused as an argument (`expect-arg` naming unset!).
const Cell& check_set(const Cell& value, Arg call_word, Arg arg_word);

// An internal fault that no input can cause (an operator code or datatype
// that no caller passes): runtime error 101.
[[noreturn]] void unreachable();

}  // namespace qor::error
