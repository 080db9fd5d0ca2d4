// Turns the bytes a VT terminal sends into key codes: UTF-8 characters,
// control characters, and the escape sequences of the cursor and editing
// keys in their several encodings. A lone Esc is told from the start of a
// sequence by a short silence after it.
#pragma once

#include <cstdint>

#include "console/key_codes.h"

namespace qor::console {

// Where the decoder's bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // A byte 0-255, or one of the platform's input_end, input_timeout,
    // input_interrupted; waits at most timeout_ms (for ever when negative).
    virtual int next_byte(int timeout_ms) = 0;
};

class KeyDecoder {
public:
    // How long the bytes after an Esc may take to count as one key.
    static constexpr int escape_timeout_ms = 50;
    // How long the rest of a UTF-8 character may take.
    static constexpr int char_timeout_ms = 200;

    explicit KeyDecoder(ByteSource& source) : source_(source) {}

    // Blocks for the next key. key::failed when the input has ended;
    // key::resized when a size change interrupted the wait.
    [[nodiscard]] int32_t read_key();

private:
    int byte(int timeout_ms);
    int32_t after_escape();
    int32_t control_sequence(int introducer);
    int32_t utf8_char(int lead);

    ByteSource& source_;
    int pending_ = -1;  // a byte read ahead that starts the next key
};

}  // namespace qor::console
