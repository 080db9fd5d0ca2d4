// Tab completion in the line editor, answered by the library's
// completion functions (qor-complete-ctx/complete-input).
#pragma once

#include <string>
#include <vector>

#include "console/line_editor.h"

namespace qor::console {

// Completes the line at the cursor: nothing, the completed line, or the
// partly completed line followed by the candidates. An error or throw in
// the library's functions gives nothing, so Tab then inserts a tab.
[[nodiscard]] std::vector<Completion> library_completion(const std::u32string& line, size_t cursor);

}  // namespace qor::console
