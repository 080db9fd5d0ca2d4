// Terminal input decoding: the bytes a VT terminal sends (UTF-8 text,
// control characters, escape sequences of the special keys, mouse reports
// in the SGR and the decimal encodings, cursor-position replies) turned into
// keys, mouse reports and cursor positions for a sink.
//
// Bytes are appended as they are read and decoded once per frame. A
// sequence cut at the end of what has arrived is kept for the next pass, so
// a key split across two reads is still one key. What stays incomplete
// longer than `wait_ms` is given up: a lone Esc is then the Esc key, any
// other fragment delivers nothing.
//
// Nothing can make the decoder swallow later input for good: operating-
// system command and device control strings end at BEL, at ST, at any
// other Esc (which starts the next sequence) or after `max_string` bytes;
// a control sequence ends at any byte that cannot belong to it; numbers
// saturate instead of overflowing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::tui {

class InputSink {
public:
    virtual ~InputSink() = default;
    // A character (controls mapped: backspace 8 -> 127, line feed 10 -> 13)
    // or, with `special`, a special-key code (event.h; 10 is back-tab).
    virtual void key(int32_t code, bool special) = 0;
    // A mouse report: the button byte, column and row (1-based, as the
    // terminal sent them), and whether it reports a release.
    virtual void mouse(int32_t buttons, int32_t column, int32_t row, bool released) = 0;
    // A cursor-position reply, 1-based.
    virtual void cursor_position(int32_t row, int32_t column) = 0;
};

class InputDecoder {
public:
    // How long a cut sequence waits for the rest of its bytes.
    static constexpr int64_t wait_ms = 50;
    // The longest command or control string kept before it is given up.
    static constexpr size_t max_string = 4096;
    // The longest control sequence.
    static constexpr size_t max_control = 64;
    // Numbers in sequences stop growing here.
    static constexpr int32_t max_number = 99999;

    // Appends bytes read from the terminal.
    void append(const uint8_t* bytes, size_t count);

    // Decodes what has arrived, delivering to the sink in order; `now_ms`
    // is a monotonic clock that times out cut sequences.
    void decode(InputSink& sink, int64_t now_ms);

    // Bytes waiting (a cut sequence, or input not decoded yet).
    [[nodiscard]] size_t pending() const { return bytes_.size() - head_; }

    void clear();

private:
    // One decoded item: what the sink gets, or nothing (a sequence that
    // names no key, a skipped string, a dropped byte).
    struct Item {
        enum class Kind : uint8_t { nothing, key, special, mouse, cursor } kind = Kind::nothing;
        int32_t a = 0, b = 0, c = 0;
        bool released = false;
    };
    enum class Step : uint8_t { done, cut };

    // Each reads the item that starts at `at` and sets `at` past it, or
    // answers cut when the bytes end first.
    Step next_item(size_t& at, Item& item) const;
    Step escape(size_t& at, Item& item) const;
    Step control_sequence(size_t& at, Item& item) const;
    Step command_string(size_t& at) const;
    Step utf8_char(size_t& at, Item& item) const;

    static void deliver(const Item& item, InputSink& sink);

    // The bytes from head_ on are still to decode. An item is taken off
    // (head_ moves past it) before the sink gets it, so a handler that runs
    // a nested loop decodes the input after it, in order.
    std::vector<uint8_t> bytes_;
    size_t head_ = 0;
    // When the cut sequence at the head first waited; -1 when none.
    int64_t cut_since_ = -1;
};

// The special-key code of the sequence whose bytes follow the Esc: the
// first byte (b: '[' or 'O' or another), the one after it and the final
// byte of a control sequence. 0 when it names no key.
[[nodiscard]] int32_t special_key_code(uint8_t first, uint8_t second, uint8_t third, uint8_t final);

}  // namespace qor::tui
