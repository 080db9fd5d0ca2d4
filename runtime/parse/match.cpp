// PARSE matching of one rule value at one input position, and the search
// of `to` and `thru` for a literal. Text is compared unit by unit in place,
// folding case unless the comparison is strict; binary input compares text
// rules by their UTF-8 bytes, encoded on the fly.
#include "runtime/parse/match.h"

#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/symbol.h"

namespace qor::parse {

namespace {

// ---- helpers

[[nodiscard]] bool strict(CompareOp op) { return op == CompareOp::strict_equal; }

// Text rules: the string family; a tag matches with its angle brackets.
[[nodiscard]] bool text_rule(TypeId t) { return is_any_string(t); }

[[nodiscard]] uint32_t byte_fold(uint32_t b) { return (b - 'A' < 26u) ? b + 32 : b; }

// One code point as UTF-8 into out; answers the byte count.
uint32_t utf8_encode(uint32_t cp, uint8_t out[4]) {
    if (cp < 0x80) {
        out[0] = static_cast<uint8_t>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<uint8_t>(0xC0 | cp >> 6);
        out[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<uint8_t>(0xE0 | cp >> 12);
        out[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<uint8_t>(0xF0 | cp >> 18);
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
}

// The characters a text rule stands for: its own from its index, inside
// "<" and ">" for a tag.
struct RuleText {
    const series::Buffer* buffer;
    uint32_t from;
    uint32_t count;
    bool tag;

    explicit RuleText(const Cell& rule)
        : buffer(series::buffer(rule.w2)), from(rule.w1), count(str::length_at(rule)),
          tag(type_of(rule) == TypeId::tag) {}
    [[nodiscard]] uint32_t length() const { return count + (tag ? 2 : 0); }
    [[nodiscard]] uint32_t at(uint32_t i) const {
        if (tag) {
            if (i == 0) return '<';
            if (i == count + 1) return '>';
            i--;
        }
        return str::get_char(buffer->at(from + i), buffer->unit());
    }
};

// ---- text input

// Characters of the rule text matched at `at` of the text input: its
// length, or -1.
int32_t text_on_text(const series::Buffer* in, uint32_t at, uint32_t end, const RuleText& r, bool exact) {
    const uint32_t n = r.length();
    if (n > end - at) return -1;
    const uint32_t unit = in->unit();
    for (uint32_t i = 0; i < n; i++) {
        uint32_t a = str::get_char(in->at(at + i), unit), b = r.at(i);
        if (a != b && (exact || str::fold(a) != str::fold(b))) return -1;
    }
    return static_cast<int32_t>(n);
}

int32_t literal_on_text(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op) {
    const series::Buffer* in = series::buffer(input.w2);
    const TypeId t = type_of(rule);
    if (at >= end) {
        // At the end only an empty text rule matches.
        if ((t == TypeId::string || t == TypeId::file || t == TypeId::url) && str::length_at(rule) == 0) return 0;
        return -1;
    }
    const uint32_t c = str::get_char(in->at(at), in->unit());
    if (t == TypeId::char_) {
        const uint32_t r = rule.w2;
        return (c == r || (!strict(op) && str::fold(c) == str::fold(r))) ? 1 : -1;
    }
    if (t == TypeId::bitset) return bitset::has(rule, c) ? 1 : -1;
    if (text_rule(t)) return text_on_text(in, at, end, RuleText(rule), strict(op));
    return -1;
}

// ---- binary input

int32_t text_on_bytes(const series::Buffer* in, uint32_t at, uint32_t end, const RuleText& r, bool exact) {
    uint32_t k = at;
    uint8_t enc[4];
    for (uint32_t i = 0; i < r.length(); i++) {
        const uint32_t n = utf8_encode(r.at(i), enc);
        for (uint32_t j = 0; j < n; j++, k++) {
            if (k >= end) return -1;
            const uint32_t a = in->at(k)[0], b = enc[j];
            if (a != b && (exact || byte_fold(a) != byte_fold(b))) return -1;
        }
    }
    return static_cast<int32_t>(k - at);
}

int32_t binary_on_bytes(const series::Buffer* in, uint32_t at, uint32_t end, const Cell& rule) {
    const series::Buffer* rb = series::buffer(rule.w2);
    const uint32_t n = rule.w1 < rb->length() ? rb->length() - rule.w1 : 0;
    if (n > end - at) return -1;
    for (uint32_t i = 0; i < n; i++)
        if (in->at(at + i)[0] != rb->at(rule.w1 + i)[0]) return -1;
    return static_cast<int32_t>(n);
}

int32_t literal_on_bytes(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op) {
    const series::Buffer* in = series::buffer(input.w2);
    const TypeId t = type_of(rule);
    if (at >= end) {
        if ((t == TypeId::string || t == TypeId::file || t == TypeId::url) && str::length_at(rule) == 0) return 0;
        if (t == TypeId::binary && series::buffer(rule.w2)->length() <= rule.w1) return 0;
        return -1;
    }
    const uint32_t c = in->at(at)[0];
    switch (t) {
        case TypeId::binary: return binary_on_bytes(in, at, end, rule);
        case TypeId::bitset: return bitset::has(rule, c) ? 1 : -1;
        case TypeId::integer: return get_int(rule) == static_cast<int32_t>(c) ? 1 : -1;
        case TypeId::char_: {
            if (rule.w2 > 0x7F) {
                uint8_t enc[4];
                const uint32_t n = utf8_encode(rule.w2, enc);
                if (n > end - at) return -1;
                for (uint32_t j = 0; j < n; j++)
                    if (in->at(at + j)[0] != enc[j]) return -1;
                return static_cast<int32_t>(n);
            }
            return (c == rule.w2 || (!strict(op) && byte_fold(c) == byte_fold(rule.w2))) ? 1 : -1;
        }
        default: break;
    }
    if (text_rule(t)) return text_on_bytes(in, at, end, RuleText(rule), strict(op));
    return -1;
}

// ---- block input

// A lit-word rule matches a word of the same spelling (ignoring case
// unless strict); a lit-path rule a path of the same words.
bool same_word(const Cell& item, const Cell& rule, CompareOp op) {
    if (!is_word_like(type_of(item))) return false;
    if (strict(op)) return item.w2 == rule.w2;
    return symbol::resolve_alias(item.w2) == symbol::resolve_alias(rule.w2);
}

int32_t literal_on_block(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op) {
    if (at >= end) return -1;
    Cell item = series::buffer(input.w2)->cells()[at];
    const TypeId t = type_of(rule);
    if (t == TypeId::lit_word) return same_word(item, rule, op) ? 1 : -1;
    if (t == TypeId::lit_path) {
        if (!is_any_block(type_of(item)) || type_of(item) == TypeId::block || type_of(item) == TypeId::paren ||
            type_of(item) == TypeId::hash)
            return -1;
        Cell as_path = rule;
        set_type_keep_flags(as_path, TypeId::path);
        set_type_keep_flags(item, TypeId::path);
        return actions::compare(item, as_path, op) ? 1 : -1;
    }
    return actions::compare(item, rule, op) ? 1 : -1;
}

}  // namespace

InputKind kind_of_input(const Cell& input) {
    const TypeId t = type_of(input);
    if (t == TypeId::binary) return InputKind::bytes;
    if (is_any_string(t)) return InputKind::text;
    return InputKind::block;
}

int32_t match_literal(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op) {
    switch (kind_of_input(input)) {
        case InputKind::text: return literal_on_text(input, at, end, rule, op);
        case InputKind::bytes: return literal_on_bytes(input, at, end, rule, op);
        case InputKind::block: break;
    }
    return literal_on_block(input, at, end, rule, op);
}

int32_t match_type(const Cell& input, uint32_t at, uint32_t end, const Cell& rule) {
    const InputKind kind = kind_of_input(input);
    if (kind == InputKind::text) error::fire(error::Id::parse_unsupported);
    if (at >= end) return -1;
    auto admits = [&rule](TypeId t) {
        return type_of(rule) == TypeId::datatype ? static_cast<TypeId>(rule.w1) == t : typeset::has(rule, t);
    };
    if (kind == InputKind::block) return admits(type_of(series::buffer(input.w2)->cells()[at])) ? 1 : -1;
    // Binary input: the bytes at the index are scanned as one token; the
    // lexer reads from a copy, since scanning may allocate.
    const series::Buffer* in = series::buffer(input.w2);
    std::string bytes(reinterpret_cast<const char*>(in->at(at)), end - at);
    lexer::Options options;
    options.one = true;
    options.load = false;
    Cell scratch = unset_cell;
    lexer::Result r;
    try {
        r = lexer::scan_buffer(&scratch, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), options);
    } catch (const error::Raised&) {
        return -1;
    }
    if (r.consumed == 0 || r.type == TypeId::none_id || r.type == TypeId::error) return -1;
    return admits(r.type) ? static_cast<int32_t>(r.consumed) : -1;
}

bool find_literal(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op, uint32_t& hit,
                  uint32_t& length) {
    const InputKind kind = kind_of_input(input);
    const TypeId t = type_of(rule);
    if (kind == InputKind::bytes && !text_rule(t) && t != TypeId::binary && t != TypeId::char_ &&
        t != TypeId::bitset && t != TypeId::integer)
        error::fire(error::Id::parse_rule, {rule});
    const series::Buffer* in = series::buffer(input.w2);
    // Fast scans for one character or a character class on text.
    if (kind == InputKind::text && (t == TypeId::char_ || t == TypeId::bitset)) {
        const uint32_t unit = in->unit();
        const bool exact = strict(op) || t == TypeId::bitset;
        const uint32_t want = exact ? rule.w2 : str::fold(rule.w2);
        for (uint32_t i = at; i < end; i++) {
            const uint32_t c = str::get_char(in->at(i), unit);
            const bool found = t == TypeId::bitset ? bitset::has(rule, c) : (c == want || (!exact && str::fold(c) == want));
            if (found) {
                hit = i;
                length = 1;
                return true;
            }
        }
        return false;
    }
    // A text rule on text: scan for its first character, then compare.
    if (kind == InputKind::text && text_rule(t)) {
        const RuleText r(rule);
        if (r.length() == 0) {
            hit = at;
            length = 0;
            return true;
        }
        const uint32_t unit = in->unit();
        const bool exact = strict(op);
        const uint32_t first = exact ? r.at(0) : str::fold(r.at(0));
        for (uint32_t i = at; i + r.length() <= end; i++) {
            const uint32_t c = str::get_char(in->at(i), unit);
            if (c != first && (exact || str::fold(c) != first)) continue;
            if (text_on_text(in, i, end, r, exact) >= 0) {
                hit = i;
                length = r.length();
                return true;
            }
        }
        return false;
    }
    for (uint32_t i = at; i < end; i++) {
        const int32_t n = match_literal(input, i, end, rule, op);
        if (n >= 0) {
            hit = i;
            length = static_cast<uint32_t>(n);
            return true;
        }
    }
    // An empty text is found at the end as well.
    const int32_t n = match_literal(input, end, end, rule, op);
    if (n == 0 && at <= end) {
        hit = end;
        length = 0;
        return true;
    }
    return false;
}

}  // namespace qor::parse
