// Raising language errors from C++.
//
// An error is named by its catalogue category and id and carries up to three
// argument values. Raising never returns: it unwinds, as a C++ exception, to
// the nearest frame that catches errors. (Errors may cost an exception; the
// frequent non-local exits of the evaluator do not come through here.)
//
// Until the error catalogue exists, an error is known by its category and the
// spelling of its id ("no-memory", "zero-divide", ...).
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

struct Raised {
    Category category;
    std::string_view id;  // a static string
    Cell args[3];
    int arg_count;
};

// Raises the error. The arguments are copied into the raised value.
[[noreturn]] void fire(Category category, std::string_view id, std::initializer_list<Cell> args = {});

}  // namespace qor::error
