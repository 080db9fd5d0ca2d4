// Values loaded from the text of a string, through the lexer's loader.
#include "runtime/datatypes/text_loader.h"

#include <cstdlib>

#include "runtime/core/error_fire.h"
#include "runtime/memory/series_tail.h"

namespace qor::text_loader {

namespace {

Loader installed = nullptr;

}  // namespace

void install(Loader loader) { installed = loader; }

void load(Cell* dst, const Cell& string, int32_t length) {
    // Loading text before the lexer has started is a fault of the start-up
    // order, not of the program being run.
    if (!installed) std::abort();
    installed(dst, string, length);
}

bool load_one(const Cell& string, Cell& out) {
    Cell loaded = unset_cell;
    try {
        load(&loaded, string, -1);
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

}  // namespace qor::text_loader
