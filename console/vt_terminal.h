// The line editor's terminal: keys from standard input through the VT key
// decoder, output to standard output, the width from the terminal.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>

#include "console/key_decoder.h"
#include "console/line_editor.h"

namespace qor::console {

class VtTerminal final : public EditorTerminal, private ByteSource {
public:
    VtTerminal();

    int32_t read_key() override;
    int width() override { return width_; }
    int cursor_column() override;
    void write(std::string_view utf8) override;

    // Reads the terminal's size again (80 columns when it is unknown).
    void update_width();

private:
    int next_byte(int timeout_ms) override;

    KeyDecoder decoder_;
    std::deque<uint8_t> typed_ahead_;  // keys that arrived during a cursor query
    int width_ = 80;
};

}  // namespace qor::console
