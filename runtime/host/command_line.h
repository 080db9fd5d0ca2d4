// The process's command line as one string, rebuilt from the argument
// vector, for `system/script/args`.
//
// The library splits that string again: on runs of spaces and tabs outside
// double quotes (each double quote toggles quoting), then drops one leading
// and one trailing double quote from each argument. An argument is written
// so that this split gives it back: unchanged when it can be, else with a
// double quote added in front, at the end, or both, so that its own blanks
// fall inside quotes and its quotes stay balanced. A few arguments cannot be
// written that way (one whose blanks sit on both sides of one of its own
// quotes, or a lone double quote); such an argument gets a quote in front
// and, when its own quotes are even, one at the end, so the quotes still
// balance and the arguments after it come back intact.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qor::host {

// One argument as the command line holds it.
[[nodiscard]] std::string quote_argument(std::string_view argument);

// The arguments, program name first, each quoted as needed, joined by one
// space.
[[nodiscard]] std::string command_line(std::span<const std::string> arguments);

}  // namespace qor::host
