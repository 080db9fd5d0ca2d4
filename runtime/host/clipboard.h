// The clipboard of read-clipboard and write-clipboard: text as a string!,
// file lists as a block! of file! values, and none for an empty clipboard.
//
// With a display and its clipboard tool installed, the values go through
// the system clipboard: text as UTF-8, file lists as text/uri-list. Without
// one, an in-process store keeps a copy of the last value written (images
// included).
//
// Reading tries text first, then a file list; a clipboard holding neither
// reads as none.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/cell.h"

namespace qor::host::clipboard {

// Into `out`: a string!, a block! of file! values, a stored value, none
// when the clipboard holds nothing readable, or false when it cannot be
// reached.
void read(Cell& out);

// Puts the value on the clipboard (none empties it); true when the
// clipboard now holds it. A value of any other type than none!, string!,
// block! (of file names) and image! raises script invalid-arg before the
// clipboard is touched.
[[nodiscard]] bool write(const Cell& value);

// The text/uri-list form of local paths ("file://" and the path with the
// characters a URI may not hold percent-encoded, CR LF after each), and the
// paths of such a list (comments and other schemes left out).
[[nodiscard]] std::string uri_list(std::span<const std::string> paths);
[[nodiscard]] std::vector<std::string> paths_of_uri_list(std::string_view list);

// Registers the store with the collector and empties it.
void init();

}  // namespace qor::host::clipboard
