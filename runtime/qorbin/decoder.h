// The QORBIN decoder: a container's values, appended to a new block.
//
// Every byte is untrusted (load reads files from anywhere): each record is
// checked against the records area, counts against the bytes that remain,
// references against the values decoded so far and the storage their
// record needs, words against the contexts they name, and the values
// themselves against what their datatype allows. A fault raises script
// `qb-invalid-record` with the 1-based position counted from the first
// byte of the magic; for a compressed body, positions count in the
// inflated body as if it followed the header. A bad magic, a fixed body
// shorter than 8 bytes or a corrupt compressed body raise script
// `invalid-data`; a record of a datatype that cannot be serialised raises
// access `no-codec`. Records nest at most max_depth deep.
//
// Word records are read in their load form: a word of the global context,
// or a word bound to an object or function that the record carries (or
// reaches by a reference).
#pragma once

#include <cstdint>
#include <span>

#include "runtime/core/cell.h"

namespace qor::qorbin {

// Decodes the container into a new block pushed on the data stack and
// answers it. `source` is the argument of an invalid-data error (none when
// null).
Cell* push_decoded(std::span<const uint8_t> data, const Cell* source);

}  // namespace qor::qorbin
