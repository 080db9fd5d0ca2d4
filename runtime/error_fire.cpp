// Raising language errors from C++.
#include "runtime/error_fire.h"

namespace qor::error {

void fire(Category category, std::string_view id, std::initializer_list<Cell> args) {
    Raised raised{category, id, {unset_cell, unset_cell, unset_cell}, 0};
    for (const Cell& arg : args) {
        if (raised.arg_count == 3) break;
        raised.args[raised.arg_count++] = arg;
    }
    throw raised;
}

}  // namespace qor::error
