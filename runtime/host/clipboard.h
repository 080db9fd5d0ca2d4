// The clipboard of read-clipboard and write-clipboard: text as a string!,
// file lists as a block! of file! values, pictures as an image!, and none
// for an empty clipboard.
//
// With a display and its clipboard tool installed, the values go through
// the system clipboard: text as UTF-8, file lists as text/uri-list, images
// as image/png. Without one, an in-process store keeps a copy of the last
// value written.
//
// Reading tries text first, then a file list, then a picture as PNG, JPEG,
// GIF or BMP; a clipboard holding none of them reads as none.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/cell.h"

namespace qor::host::clipboard {

// Into `out`: a string!, a block! of file! values, an image!, a stored
// value, none when the clipboard holds nothing readable, or false when it
// cannot be reached or its picture does not decode.
void read(Cell& out);

// Puts the value on the clipboard (none, and an image without pixels,
// empty it); true when the clipboard now holds it. Every byte is prepared
// before the clipboard is touched: a value that cannot be prepared leaves
// the clipboard as it was and answers false. A value of any other type than none!, string!,
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
