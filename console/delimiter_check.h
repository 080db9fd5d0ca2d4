// Whether the text gathered at the console prompt is a whole command, an
// incomplete one (a block, paren, map, braced or raw string, binary or tag
// still open), or a broken one, decided by running the lexer over it and
// watching its open, close and error events.
#pragma once

#include <string>
#include <string_view>

namespace qor::console {

struct DelimiterCheck {
    // False when the text is broken beyond more lines (a mismatched close,
    // an invalid token): the caller loads it anyway so the loader reports
    // the syntax error.
    bool ok = true;
    // The delimiters still open, innermost last: empty for a whole command.
    std::u32string open;
};

// Checks UTF-8 text, normally ending in a line feed. Needs the runtime
// (memory, datatypes, lexer) set up.
[[nodiscard]] DelimiterCheck check_delimiters(std::string_view text);

// The continuation prompt for an incomplete command: the innermost open
// delimiter and four spaces.
[[nodiscard]] std::u32string continuation_prompt(const DelimiterCheck& check);

}  // namespace qor::console
