// The console's built-in routines: the line editor's two entry points that
// `ask` calls, the console's set-up, and the raw readers of standard input.
//
//   _set-buffer-history line [string!] hist [block!]
//       hands the line buffer and the history block to the editor
//   _read-input prompt [string!] hidden? [logic!]
//       edits one line into the buffer (plain line from a pipe: no prompt,
//       no echo; the process ends with status 0 once piped input is over)
//   system/console/init str [string!]
//       sets the terminal title and system/console/size
//   _terminate-console
//       nothing to undo on this platform
//   input-stdin
//       the next line of standard input as a new string
//   read-stdin buffer [binary!] buflen [integer!]
//   _lock-cfg path [file!]   (locks the settings file for the process's
//                             last save and makes it private, mode 0600)
//       one raw read into the binary
#pragma once

#include <string_view>

#include "console/history.h"
#include "runtime/core/cell.h"

namespace qor::console {

// Registers the routines' code under the names above.
void register_routines();

// The line editor's history over a block! of strings, newest first, read
// from the block's head. A line that the editor keeps is inserted at the
// head as the buffer's own string value (so the history entry and the
// string `ask` answers share their text) once the buffer holds it: see
// `commit`.
class BlockHistory final : public History {
public:
    explicit BlockHistory(Cell* block) : block_(block) {}
    [[nodiscard]] size_t size() const override;
    [[nodiscard]] std::u32string entry(size_t i) const override;
    void add_newest(std::u32string_view line) override;
    // Inserts `line` at the block's head when the editor asked for it.
    void commit(const Cell& line);

private:
    Cell* block_;  // a cell the collector sees
    bool pending_ = false;
};

// Sets system/console/size when the system object has a console; false
// otherwise.
bool set_console_size(int columns, int rows);

}  // namespace qor::console
