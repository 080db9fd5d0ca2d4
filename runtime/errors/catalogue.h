// Building the error catalogue at start: the catalogue's objects (see
// runtime/datatypes/error_catalogue.h) made from its source text, which the
// lexer loads.
#pragma once

namespace qor::error::catalogue {

// Builds the catalogue and the standard error prototype (after the symbol
// table, the global context and the lexer exist). Calling it again
// rebuilds them.
void init();

}  // namespace qor::error::catalogue
