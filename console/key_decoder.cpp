// VT key decoding.
//
// Sequences understood (xterm, the Linux console, tmux, rxvt):
//   ESC [ A-D, ESC O A-D          arrows (modifier parameters ignored)
//   ESC [ H, ESC O H, ESC [ 1~, ESC [ 7~   Home
//   ESC [ F, ESC O F, ESC [ 4~, ESC [ 8~   End
//   ESC [ 2~ Insert, ESC [ 3~ Delete, ESC [ 5~ Page Up, ESC [ 6~ Page Down
// Any other complete sequence is read whole and ignored, so its bytes never
// arrive as typed characters; so is Esc followed at once by a key (Alt).
#include "console/key_decoder.h"

#include "runtime/platform/terminal_input.h"
#include "runtime/unicode/utf8.h"

namespace qor::console {

namespace {

constexpr int32_t replacement_char = 0xFFFD;

int32_t final_letter_key(int final) {
    switch (final) {
        case 'A': return key::up;
        case 'B': return key::down;
        case 'C': return key::right;
        case 'D': return key::left;
        case 'H': return key::home;
        case 'F': return key::end;
        default: return key::none;
    }
}

int32_t tilde_key(int number) {
    switch (number) {
        case 1: case 7: return key::home;
        case 4: case 8: return key::end;
        case 2: return key::insert;
        case 3: return key::del;
        case 5: return key::page_up;
        case 6: return key::page_down;
        default: return key::none;
    }
}

}  // namespace

int KeyDecoder::byte(int timeout_ms) {
    if (pending_ >= 0) {
        int b = pending_;
        pending_ = -1;
        return b;
    }
    // A size change in the middle of a key only delays it.
    for (;;) {
        int b = source_.next_byte(timeout_ms);
        if (b != platform::input_interrupted || timeout_ms < 0) return b;
    }
}

int32_t KeyDecoder::read_key() {
    int b = byte(-1);
    if (b == platform::input_interrupted) return key::resized;
    if (b < 0) return key::failed;
    if (b == key::escape) return after_escape();
    if (b == '\n') return key::enter;  // Ctrl-J, and line ends of pasted text
    if (b < 0x80) return b;
    return utf8_char(b);
}

// Esc alone, Esc starting a sequence, or Esc followed at once by another
// key: that is a key pressed with Alt, which the editor does not use; it is
// read whole and ignored, so the line being typed stays as it is.
int32_t KeyDecoder::after_escape() {
    int b = byte(escape_timeout_ms);
    if (b < 0) return key::escape;
    if (b == '[' || b == 'O') return control_sequence(b);
    if (b == key::escape) (void)after_escape();
    else if (b >= 0x80) (void)utf8_char(b);
    return key::none;
}

// Parameter bytes (0x30-0x3F) and intermediates (0x20-0x2F) up to a final
// byte (0x40-0x7E). A sequence cut short by silence or a stray byte is
// dropped; a stray byte is kept for the next read.
int32_t KeyDecoder::control_sequence(int introducer) {
    int first_number = -1;
    bool in_first = true;
    for (;;) {
        int b = byte(escape_timeout_ms);
        if (b < 0) return key::none;
        if (introducer == 'O') return final_letter_key(b);
        if (b >= '0' && b <= '9') {
            if (in_first) first_number = (first_number < 0 ? 0 : first_number) * 10 + (b - '0');
            if (first_number > 1000000) first_number = 1000000;  // no overflow on long junk
        } else if (b == ';' || b == ':') {
            in_first = false;
        } else if (b >= 0x20 && b <= 0x3F) {
            // other parameter or intermediate bytes: part of the sequence
        } else if (b >= 0x40 && b <= 0x7E) {
            if (b == '~') return tilde_key(first_number);
            return final_letter_key(b);
        } else {
            pending_ = b;
            return key::none;
        }
    }
}

// The rest of a UTF-8 character. A broken sequence gives U+FFFD; a byte
// that cannot continue it starts the next key.
int32_t KeyDecoder::utf8_char(int lead) {
    int length = utf8::lead_length(static_cast<uint8_t>(lead));
    if (length == 0 || lead > 0xF4) return replacement_char;
    uint8_t bytes[4] = {static_cast<uint8_t>(lead)};
    for (int i = 1; i < length; ++i) {
        int b = byte(char_timeout_ms);
        if (b < 0) return replacement_char;
        if ((b & 0xC0) != 0x80) {
            pending_ = b;
            return replacement_char;
        }
        bytes[i] = static_cast<uint8_t>(b);
    }
    int32_t cp = 0;
    (void)utf8::decode_char(bytes, bytes + length, cp);
    return cp < 0 ? replacement_char : cp;
}

}  // namespace qor::console
