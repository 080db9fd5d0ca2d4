// The JSON decoder's fast path in C++: `json-decode` reads a whole JSON
// text and builds the same values as the decoder's grammar (blocks for
// arrays, maps for objects, strings, integers and floats through the
// lexer, true, false and none). It answers a block holding the value, or
// none when the text is not JSON or holds something it leaves to the
// grammar (a key that is neither a plain name nor plainly text, nesting
// deeper than the grammar's own stack allows); load-json then runs the
// grammar, which also builds the error value with its position.
//
// Keys become words when the grammar's test makes them words: a name of
// letters, digits, "-" and "_" led by a letter or "_" is loaded by the lexer
// (once per distinct key of a document); a key that cannot start a word is
// kept as text.
#include <string>
#include <unordered_map>

#include "runtime/environment/routines.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/utf8.h"

namespace qor::environment {
namespace {

// Nesting the decoder follows before it leaves the text to the grammar.
constexpr int max_depth = 500;

// Characters that cannot be part of a word, and those that cannot begin one.
[[nodiscard]] constexpr bool not_word_char(char32_t c) {
    switch (c) {
        case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{': case '}':
        case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '\n': case 0xA0: case ' ':
        case '\t': case '\r': case '<': case '>':
            return true;
        default:
            return false;
    }
}
[[nodiscard]] constexpr bool word_first(char32_t c) {
    return !not_word_char(c) && !(c >= '0' && c <= '9') && c != '\'';
}
[[nodiscard]] constexpr bool letter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
[[nodiscard]] constexpr bool digit(char32_t c) { return c >= '0' && c <= '9'; }

// How a key is kept.
enum class KeyKind { text, name, other };

[[nodiscard]] KeyKind key_kind(const std::u32string& key) {
    if (key.empty() || !word_first(key[0])) return KeyKind::text;
    for (char32_t c : key)
        if (not_word_char(c)) return KeyKind::text;
    if (!(letter(key[0]) || key[0] == '_')) return KeyKind::other;
    for (char32_t c : key)
        if (!(letter(c) || digit(c) || c == '-' || c == '_')) return KeyKind::other;
    return KeyKind::name;
}

[[nodiscard]] int hex_value(char32_t c) {
    if (digit(c)) return static_cast<int>(c - '0');
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return static_cast<int>((c | 0x20) - 'a' + 10);
    return -1;
}

class Decoder {
public:
    explicit Decoder(std::u32string text) : in_(std::move(text)) {}

    // The value of the whole text, appended to the block; false when the
    // text is left to the grammar.
    bool document(NodeId into) {
        skip_ws();
        if (!value(into)) return false;
        skip_ws();
        return pos_ == in_.size();
    }

private:
    std::u32string in_;
    size_t pos_ = 0;
    int depth_ = 0;
    std::u32string text_;  // the characters of the string being read
    std::unordered_map<std::u32string, Cell> names_;  // key text -> its word (or none: kept as text)

    [[nodiscard]] char32_t peek() const { return pos_ < in_.size() ? in_[pos_] : 0; }

    void skip_ws() {
        while (pos_ < in_.size() && (in_[pos_] == ' ' || in_[pos_] == '\t' || in_[pos_] == '\r' || in_[pos_] == '\n'))
            pos_++;
    }

    bool literal(std::u32string_view word) {
        if (in_.compare(pos_, word.size(), word) != 0) return false;
        pos_ += word.size();
        return true;
    }

    static void append(NodeId into, const Cell& v) { *series_tail::alloc_cell(into) = v; }

    bool value(NodeId into) {
        switch (peek()) {
            case '{': return object(into);
            case '[': return array(into);
            case '"': {
                if (!string_text()) return false;
                append_string(into);
                return true;
            }
            case 't': if (!literal(U"true")) return false; append(into, logic::true_value); return true;
            case 'f': if (!literal(U"false")) return false; append(into, logic::false_value); return true;
            case 'n': if (!literal(U"null")) return false; append(into, none::value); return true;
            default: return number(into);
        }
    }

    // Reads the four hex digits of a \u escape after the "\u".
    int32_t hex4() {
        if (in_.size() - pos_ < 4) return -1;
        int32_t v = 0;
        for (int i = 0; i < 4; i++) {
            const int d = hex_value(in_[pos_ + i]);
            if (d < 0) return -1;
            v = v << 4 | d;
        }
        pos_ += 4;
        return v;
    }

    // One escape after its backslash, into text_; false when malformed.
    bool escape() {
        const char32_t c = peek();
        pos_++;
        switch (c) {
            case '"': case '\\': case '/': text_ += c; return true;
            case 'b': text_ += U'\b'; return true;
            case 'f': text_ += U'\f'; return true;
            case 'n': text_ += U'\n'; return true;
            case 'r': text_ += U'\r'; return true;
            case 't': text_ += U'\t'; return true;
            case 'u': break;
            default: return false;
        }
        const int32_t high = hex4();
        if (high < 0 || (high >= 0xDC00 && high <= 0xDFFF)) return false;
        if (high < 0xD800 || high > 0xDBFF) {
            text_ += static_cast<char32_t>(high);
            return true;
        }
        if (!(peek() == '\\' && pos_ + 1 < in_.size() && in_[pos_ + 1] == 'u')) return false;
        pos_ += 2;
        const int32_t low = hex4();
        if (low < 0xDC00 || low > 0xDFFF) return false;
        text_ += static_cast<char32_t>(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
        return true;
    }

    // A string literal's characters into text_.
    bool string_text() {
        pos_++;  // the opening quote
        text_.clear();
        for (;;) {
            if (pos_ >= in_.size()) return false;
            const char32_t c = in_[pos_];
            if (c == '"') {
                pos_++;
                return true;
            }
            if (c < 32) return false;
            if (c == '\\') {
                pos_++;
                if (!escape()) return false;
            } else {
                text_ += c;
                pos_++;
            }
        }
    }

    // A new string! of text_, appended to the block.
    void append_string(NodeId into) {
        char32_t widest = 0;
        for (char32_t c : text_) widest = c > widest ? c : widest;
        const uint32_t unit = widest < 0x100 ? 1 : widest < 0x10000 ? 2 : 4;
        Cell* s = stack::push(none::value);
        str::make_at(*s, static_cast<uint32_t>(text_.size()), unit);
        str::append_chars(*s, text_);
        append(into, *s);
        stack::pop();
    }

    // The lexer's value of UTF-8 text (one value), on the data stack.
    static Cell* load_one(const std::string& utf8) {
        Cell* slot = stack::push(none::value);
        const uint32_t at = stack::index_of(slot);
        lexer::Options options;
        options.one = true;
        (void)lexer::scan_buffer(slot, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), options);
        return stack::cell_at(at);
    }

    static std::string to_utf8(std::u32string_view text) {
        std::string out;
        for (char32_t c : text) {
            uint8_t b[4];
            const int n = utf8::encode_char(c, b);
            out.append(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
        }
        return out;
    }

    // A number as the grammar matches it; the lexer gives its value, except
    // for short integers, made here.
    bool number(NodeId into) {
        const size_t start = pos_;
        if (peek() == '-') pos_++;
        if (peek() == '0') {
            pos_++;
        } else if (peek() >= '1' && peek() <= '9') {
            while (digit(peek())) pos_++;
        } else {
            return false;
        }
        bool plain = true;
        if (peek() == '.') {
            pos_++;
            if (!digit(peek())) return false;
            while (digit(peek())) pos_++;
            plain = false;
        }
        if (peek() == 'e' || peek() == 'E') {
            pos_++;
            if (peek() == '+' || peek() == '-') pos_++;
            if (!digit(peek())) return false;
            while (digit(peek())) pos_++;
            plain = false;
        }
        const size_t digits = pos_ - start - (in_[start] == '-' ? 1 : 0);
        if (plain && digits <= 9) {
            int32_t v = 0;
            for (size_t i = pos_ - digits; i < pos_; i++) v = v * 10 + static_cast<int32_t>(in_[i] - '0');
            if (in_[start] == '-') v = -v;
            append(into, Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0});
            return true;
        }
        std::string text;
        for (size_t i = start; i < pos_; i++) text += static_cast<char>(in_[i]);
        const Cell* v = load_one(text);
        const bool ok = type_of(*v) == TypeId::integer || type_of(*v) == TypeId::float_;
        if (ok) append(into, *v);
        stack::pop();
        return ok;
    }

    bool array(NodeId into) {
        if (++depth_ > max_depth) return false;
        pos_++;
        Cell* block = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(8), 0});
        const NodeId items = block->w2;
        skip_ws();
        if (peek() != ']') {
            for (;;) {
                skip_ws();
                if (!value(items)) return false;
                skip_ws();
                if (peek() != ',') break;
                pos_++;
            }
        }
        if (peek() != ']') return false;
        pos_++;
        append(into, *block);
        stack::pop();
        depth_--;
        return true;
    }

    // The key of a member: a word or the text.
    bool key(NodeId into) {
        const KeyKind kind = key_kind(text_);
        if (kind == KeyKind::other) return false;
        if (kind == KeyKind::text) {
            append_string(into);
            return true;
        }
        auto found = names_.find(text_);
        if (found == names_.end()) {
            const Cell* v = load_one(to_utf8(text_));
            const Cell name = type_of(*v) == TypeId::word ? *v : none::value;
            stack::pop();
            found = names_.emplace(text_, name).first;
        }
        if (type_of(found->second) == TypeId::word) append(into, found->second);
        else append_string(into);
        return true;
    }

    bool object(NodeId into) {
        if (++depth_ > max_depth) return false;
        pos_++;
        Cell* pairs = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(16), 0});
        const NodeId members = pairs->w2;
        skip_ws();
        if (peek() != '}') {
            for (;;) {
                skip_ws();
                if (peek() != '"' || !string_text() || !key(members)) return false;
                skip_ws();
                if (peek() != ':') return false;
                pos_++;
                skip_ws();
                if (!value(members)) return false;
                skip_ws();
                if (peek() != ',') break;
                pos_++;
            }
        }
        if (peek() != '}') return false;
        pos_++;
        Cell* map = stack::push(none::value);
        const Cell block = *pairs;
        map::make_at(*map, &block, static_cast<int32_t>(series::buffer(members)->length()));
        append(into, *map);
        stack::pop(2);
        depth_--;
        return true;
    }
};

// json-decode text: a block holding the text's value, or none.
void json_decode() {
    const size_t depth = stack::depth();
    Decoder decoder(text_buffer::chars(*stack::arg(0)));
    Cell* holder = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(1), 0});
    const NodeId node = holder->w2;
    const bool ok = decoder.document(node);
    const Cell result = ok ? *holder : none::value;
    stack::data.top = stack::data.bottom + depth;
    *stack::arg(0) = result;
}

}  // namespace

void define_json_decode_routine() {
    define_routine("json-decode", R"spec([
        "Decodes a whole JSON text: a block holding its value, or none"
        text [string!]
    ])spec", json_decode);
}

}  // namespace qor::environment
