// Raising language errors from C++.
//
// An error carries up to three argument values. Raising never returns: it
// unwinds, as a C++ exception, to the nearest frame that catches errors.
// (Errors may cost an exception; the frequent non-local exits of the
// evaluator do not come through here.)
//
// An error is named by its id (error::Id, generated from the catalogue table;
// the id implies its category). Arguments that are words of the runtime
// itself (an action's word, an argument's word) may be given by their
// spelling: they become words when the error value is made.
//
// The raised exception carries plain cells, which the moving collector does
// not see: the catch site turns it into an error! value (errors/raise.h)
// before anything allocates.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/core/error_ids.h"

namespace qor::error {

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
    Id id;
    Cell args[3];                   // unset where the argument is a word or absent
    std::string_view arg_words[3];  // static spellings of word arguments
    int arg_count;
    Cell near;                      // the evaluator's position when raised
    Cell value;                     // an error! raised as it is, else unset

    [[nodiscard]] bool is(Id i) const { return id == i; }
};

// Raises the error. The arguments are copied into the raised value.
[[noreturn]] void fire(Id id, std::initializer_list<Arg> args = {});

// Raises an error! value as it is (do of an error, cause-error).
[[noreturn]] void raise_value(const Cell& error);

// script `expect-arg`: the called word, the datatype of the rejected value
// and the word of the argument ("add does not allow string! for its value1
// argument").
[[noreturn]] void expect_arg(Arg call_word, TypeId type, Arg arg_word);

// script `bad-make-arg` with the datatype and the make argument (make of native! and
// action!).
[[noreturn]] void bad_make_arg(const Cell& datatype, const Cell& spec);

// An internal fault that no input can cause (an operator code or datatype
// that no caller passes): runtime error 101.
[[noreturn]] void unreachable();

}  // namespace qor::error
