// Values loaded from the text of a string: what `to` and `make` of a text
// give for the datatypes whose values are read as source ("3x4", "1.2.3",
// "50%", "[a b]").
//
// The lexer sits above the datatypes, so the datatypes reach it through the
// loader it installs here when it starts (`lexer::init`), not by including
// it.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::text_loader {

// Loads the characters of a string value from its index (at most `length`
// of them, all when -1) into a block! at `dst`; raises syntax errors.
using Loader = void (*)(Cell* dst, const Cell& string, int32_t length);

// Sets the loader; the lexer calls it from its init.
void install(Loader loader);

// The values the text of a string loads into, as a block! in `dst`.
void load(Cell* dst, const Cell& string, int32_t length);

// The characters of a string value from its index, loaded as source: true
// with the value in `out` when the text holds exactly one value; false when
// it holds none, several, or is not valid source (the syntax error is not
// raised: the caller raises its own conversion error).
[[nodiscard]] bool load_one(const Cell& string, Cell& out);

}  // namespace qor::text_loader
