// The error catalogue and the standard error prototype as language values.
//
// Built once at start from the catalogue table: the catalogue is an object
// whose fields are the ten categories in order; each category is an object
// whose fields are `code` (its base code), `type` (its title) and one field
// per error id holding the message template. The prototype is an object
// with the ten fields every error! has, all none. The environment exposes
// them as system/catalog/errors and system/standard/error; the runtime
// keeps its own references, so forming and raising never look them up.
//
// The catalogue's source text is loaded by the lexer, which sits above the
// datatypes: runtime/errors/catalogue.h builds the objects with it.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/core/error_ids.h"
#include "runtime/memory/node.h"

namespace qor::error::catalogue {

// The fields of an error!, in order.
enum class Field : uint8_t { code, type, id, arg1, arg2, arg3, near, where, stack, files };
inline constexpr uint32_t field_count = 10;

// Loads source text into the cell as a block of its values.
using Scanner = void (*)(Cell* into, std::string_view source);

// Builds both objects (after the symbol table and the global context exist),
// the catalogue from its source text loaded by `scan`. Calling it again
// rebuilds them.
void init(Scanner scan);

// Whether init has run on the current runtime.
[[nodiscard]] bool ready();

// The catalogue object (system/catalog/errors) and the prototype
// (system/standard/error). Valid until the next allocation; copy the cell.
[[nodiscard]] const Cell& errors();
[[nodiscard]] const Cell& standard_error();

// The symbol of an error field's name.
[[nodiscard]] uint32_t field_symbol(Field f);

// The index of the category a symbol names (ignoring case), or -1.
[[nodiscard]] int32_t find_category(uint32_t symbol);
// The context of the category object at an index (0 .. count-1).
[[nodiscard]] NodeId category_context(uint32_t index);
// The number of category fields (10 unless the catalogue was extended).
[[nodiscard]] uint32_t category_count();
// The field position of an id in a category (2 and up), or -1.
[[nodiscard]] int32_t find_id(NodeId category, uint32_t symbol);

// A word of the category's name bound to the catalogue, and of an id's name
// bound to its category object.
[[nodiscard]] Cell category_word(uint32_t index);
[[nodiscard]] Cell id_word(NodeId category, uint32_t position);

}  // namespace qor::error::catalogue
