// The terminal input decoder.
#include "view/terminal/input_decoder.h"

#include "runtime/datatypes/event.h"

namespace qor::tui {

namespace {

constexpr uint8_t esc = 0x1B;
constexpr uint8_t bel = 0x07;

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

void InputDecoder::append(const uint8_t* bytes, size_t count) {
    // What was decoded is dropped once it is most of the buffer.
    if (head_ > 0 && head_ >= bytes_.size() / 2) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    bytes_.insert(bytes_.end(), bytes, bytes + count);
}

void InputDecoder::clear() {
    bytes_.clear();
    head_ = 0;
    cut_since_ = -1;
}

void InputDecoder::deliver(const Item& item, InputSink& sink) {
    switch (item.kind) {
        case Item::Kind::key: sink.key(item.a, false); break;
        case Item::Kind::special: sink.key(item.a, true); break;
        case Item::Kind::mouse: sink.mouse(item.a, item.b, item.c, item.released); break;
        case Item::Kind::cursor: sink.cursor_position(item.a, item.b); break;
        case Item::Kind::nothing: break;
    }
}

void InputDecoder::decode(InputSink& sink, int64_t now_ms) {
    while (head_ < bytes_.size()) {
        size_t at = head_;
        Item item;
        if (next_item(at, item) == Step::done) {
            head_ = at;
            cut_since_ = -1;
            deliver(item, sink);
            continue;
        }
        // A cut sequence waits for the rest of its bytes, from the first
        // pass that found it, for a while.
        if (cut_since_ < 0) cut_since_ = now_ms;
        if (now_ms - cut_since_ < wait_ms) return;
        // Waited too long: its first byte goes on its own (an Esc is the
        // Esc key) and what follows is decoded afresh.
        const bool esc_first = bytes_[head_] == esc;
        head_++;
        cut_since_ = -1;
        if (esc_first) sink.key(esc, false);
    }
    bytes_.clear();
    head_ = 0;
}

InputDecoder::Step InputDecoder::next_item(size_t& at, Item& item) const {
    const uint8_t ch = bytes_[at];
    if (ch == esc) return escape(at, item);
    if (ch < 0x20 || ch == 0x7F) {
        int32_t code = ch;
        if (code == 8) code = 0x7F;
        if (code == 10) code = 13;
        item = Item{Item::Kind::key, code};
        at++;
        return Step::done;
    }
    return utf8_char(at, item);
}

// At an Esc: a control sequence, a command or control string, an SS3 key,
// or Esc followed by a character (Alt and a key, which names no key here).
InputDecoder::Step InputDecoder::escape(size_t& at, Item& item) const {
    if (at + 1 >= bytes_.size()) return Step::cut;
    const uint8_t b = bytes_[at + 1];
    switch (b) {
        case '[': return control_sequence(at, item);
        case ']':
        case 'P': return command_string(at);
        case 'O': {
            if (at + 2 >= bytes_.size()) return Step::cut;
            const uint8_t c = bytes_[at + 2];
            if (c < 0x20 || c > 0x7E) {
                at += 2;  // not a key: the byte after starts what comes next
                return Step::done;
            }
            if (const int32_t code = special_key_code('O', c, 0, c)) item = Item{Item::Kind::special, code};
            at += 3;
            return Step::done;
        }
        default:
            if (b >= 0x20 && b <= 0x7E) {
                at += 2;
                return Step::done;
            }
            // Esc before a control or a non-ASCII character: the Esc key.
            item = Item{Item::Kind::key, esc};
            at += 1;
            return Step::done;
    }
}

// ESC [ parameters final. Up to four numbers are kept; a byte that cannot
// be part of a control sequence ends it unfinished and is decoded itself.
InputDecoder::Step InputDecoder::control_sequence(size_t& at, Item& item) const {
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
                item = Item{Item::Kind::mouse, slot[1], slot[2], slot[3], c == 'm'};
            } else if (c == 'R' && count == 2) {
                item = Item{Item::Kind::cursor, slot[1], slot[2]};
            } else if (const int32_t code = special_key_code('[', second, third, c)) {
                item = Item{Item::Kind::special, code};
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
InputDecoder::Step InputDecoder::command_string(size_t& at) const {
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
InputDecoder::Step InputDecoder::utf8_char(size_t& at, Item& item) const {
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
    if (valid) item = Item{Item::Kind::key, static_cast<int32_t>(cp)};
    return Step::done;
}

}  // namespace qor::tui
