// One value loaded from the text of a string.
#include "runtime/lexer/load_one.h"

#include "runtime/core/error_fire.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series_tail.h"

namespace qor::lexer {

bool load_one(const Cell& string, Cell& out) {
    Cell loaded = unset_cell;
    try {
        scan_string_value(&loaded, string, -1);
    } catch (const error::Raised&) {
        return false;
    }
    // The block is read before anything else allocates, so the local cell
    // needs no root.
    if (series_tail::cell_count(loaded) != 1) return false;
    out = *series_tail::cell_at(loaded, 0);
    clear_new_line(out);
    return true;
}

}  // namespace qor::lexer
