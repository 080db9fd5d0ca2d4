// The terminal input decoder.
#include "view/terminal/input_decoder.h"

#include "runtime/datatypes/event.h"

namespace qor::tui {

namespace {

constexpr uint8_t esc = 0x1B;
constexpr uint8_t bel = 0x07;

// The code of a back-tab (Shift-Tab) among the special keys.
constexpr int32_t back_tab = 10;

int32_t saturated(int32_t value, uint8_t digit) {
    const int64_t next = int64_t{value} * 10 + (digit - '0');
    return next > InputDecoder::max_number ? InputDecoder::max_number : static_cast<int32_t>(next);
}

}  // namespace

int32_t special_key_code(uint8_t first, uint8_t second, uint8_t third, uint8_t final) {
    using namespace event::key;
    if (first == 'O') {
        switch (second) {
            case 'P': return f1;
            case 'Q': return f1 - 1;
            case 'R': return f1 - 2;
            case 'S': return f1 - 3;
            default: return 0;
        }
    }
    if (first != '[') return 0;
    if (second == final) {
        switch (final) {
            case 'A': return up;
            case 'B': return down;
            case 'C': return right;
            case 'D': return left;
            case 'F': return end;
            case 'H': return home;
            case 'Z': return back_tab;
            default: return 0;
        }
    }
    if (final != '~') return 0;
    if (third == '~') {
        switch (second) {
            case '3': return del;
            case '5': return page_up;
            case '6': return page_down;
            default: return 0;
        }
    }
    if (second == '1') {
        switch (third) {
            case '5': return f1 - 4;  // F5
            case '7': return f1 - 5;
            case '8': return f1 - 6;
            case '9': return f1 - 7;
            default: return 0;
        }
    }
    if (second == '2') {
        switch (third) {
            case '0': return f1 - 8;  // F9
            case '1': return f1 - 9;
            case '3': return f1 - 10;
            case '4': return f1 - 11;
            default: return 0;
        }
    }
    return 0;
}

void InputDecoder::append(const uint8_t* bytes, size_t count) { bytes_.insert(bytes_.end(), bytes, bytes + count); }

void InputDecoder::clear() {
    bytes_.clear();
    cut_since_ = -1;
}

void InputDecoder::decode(InputSink& sink, int64_t now_ms) {
    size_t at = 0;
    while (at < bytes_.size()) {
        const size_t start = at;
        const uint8_t ch = bytes_[at];
        Step step = Step::done;
        if (ch == esc) {
            step = escape(at, sink);
        } else if (ch < 0x20 || ch == 0x7F) {
            int32_t code = ch;
            if (code == 8) code = 0x7F;
            if (code == 10) code = 13;
            sink.key(code, false);
            at++;
        } else {
            step = utf8_char(at, sink);
        }
        if (step == Step::done) continue;
        // A cut sequence at the front has waited since an earlier pass;
        // one found further on starts waiting now.
        if (start > 0 || cut_since_ < 0) cut_since_ = now_ms;
        if (now_ms - cut_since_ < wait_ms) {
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start));
            return;
        }
        // Waited too long: its first byte goes on its own (an Esc is the
        // Esc key) and what follows is decoded afresh.
        if (ch == esc) sink.key(esc, false);
        at = start + 1;
        cut_since_ = -1;
    }
    bytes_.clear();
    cut_since_ = -1;
}

// At an Esc: a control sequence, a command or control string, an SS3 key,
// or Esc followed by a character (Alt and a key, which names no key here).
InputDecoder::Step InputDecoder::escape(size_t& at, InputSink& sink) {
    if (at + 1 >= bytes_.size()) return Step::cut;
    const uint8_t b = bytes_[at + 1];
    switch (b) {
        case '[': return control_sequence(at, sink);
        case ']':
        case 'P': return command_string(at);
        case 'O': {
            if (at + 2 >= bytes_.size()) return Step::cut;
            const uint8_t c = bytes_[at + 2];
            if (c < 0x20 || c > 0x7E) {
                at += 2;  // not a key: the byte after starts what comes next
                return Step::done;
            }
            if (const int32_t code = special_key_code('O', c, 0, c)) sink.key(code, true);
            at += 3;
            return Step::done;
        }
        default:
            if (b >= 0x20 && b <= 0x7E) {
                at += 2;
                return Step::done;
            }
            // Esc before a control or a non-ASCII character: the Esc key.
            sink.key(esc, false);
            at += 1;
            return Step::done;
    }
}

// ESC [ parameters final. Up to four numbers are kept; a byte that cannot
// be part of a control sequence ends it unfinished and is decoded itself.
InputDecoder::Step InputDecoder::control_sequence(size_t& at, InputSink& sink) {
    int32_t slot[5] = {0, 0, 0, 0, 0};
    int32_t count = 1;
    int32_t value = 0;
    uint8_t second = 0, third = 0;
    for (size_t p = at + 2;; p++) {
        if (p >= bytes_.size()) return Step::cut;
        if (p - at > max_control) {
            at = p;
            return Step::done;
        }
        const uint8_t c = bytes_[p];
        if (p == at + 2) second = c;
        if (p == at + 3) third = c;
        if (c >= '0' && c <= '9') {
            value = saturated(value, c);
        } else if (c == ';') {
            if (count <= 4) slot[count] = value;
            value = 0;
            if (count < 99) count++;
        } else if (c >= 0x40 && c <= 0x7E && c != '[') {
            if (count <= 4) slot[count] = value;
            at = p + 1;
            if ((c == 'M' || c == 'm') && count == 3) {
                sink.mouse(slot[1], slot[2], slot[3], c == 'm');
            } else if (c == 'R' && count == 2) {
                sink.cursor_position(slot[1], slot[2]);
            } else if (const int32_t code = special_key_code('[', second, third, c)) {
                sink.key(code, true);
            }
            return Step::done;
        } else if (c < 0x20 || c > 0x7E) {
            at = p;
            return Step::done;
        }
        // '<' (the SGR mouse form), '[', '?' and the intermediates are read over.
    }
}

// ESC ] or ESC P: skipped up to BEL or ST (ESC \). Any other Esc ends the
// string and starts the next sequence; a string longer than max_string is
// given up and what follows is decoded as input.
InputDecoder::Step InputDecoder::command_string(size_t& at) {
    for (size_t p = at + 2;; p++) {
        if (p >= bytes_.size()) return Step::cut;
        if (p - at >= max_string) {
            at = p;
            return Step::done;
        }
        const uint8_t c = bytes_[p];
        if (c == bel) {
            at = p + 1;
            return Step::done;
        }
        if (c == esc) {
            if (p + 1 >= bytes_.size()) return Step::cut;
            at = bytes_[p + 1] == '\\' ? p + 2 : p;
            return Step::done;
        }
    }
}

// One UTF-8 character; a byte that cannot start or continue one is dropped.
InputDecoder::Step InputDecoder::utf8_char(size_t& at, InputSink& sink) {
    const uint8_t lead = bytes_[at];
    int length = 0;
    uint32_t cp = 0;
    if (lead < 0x80) {
        length = 1;
        cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        at++;
        return Step::done;
    }
    for (int i = 1; i < length; i++) {
        if (at + static_cast<size_t>(i) >= bytes_.size()) return Step::cut;
        const uint8_t c = bytes_[at + static_cast<size_t>(i)];
        if ((c & 0xC0) != 0x80) {
            at++;
            return Step::done;
        }
        cp = cp << 6 | (c & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    const bool valid = !overlong && !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF;
    at += valid ? static_cast<size_t>(length) : 1;
    if (valid) sink.key(static_cast<int32_t>(cp), false);
    return Step::done;
}

}  // namespace qor::tui
