// Scanners and loaders of the text tokens: strings, characters, words and
// their forms, issues, refinements, files, binaries, tags, urls, emails,
// raw strings and refs.
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/lexer/lex_record.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/utf8.h"
#include "runtime/words/word.h"

namespace qor::lexer {

namespace {

[[nodiscard]] int hex_value(uint8_t b) {
    if (b >= '0' && b <= '9') return b - '0';
    if (b >= 'A' && b <= 'F') return b - 'A' + 10;
    if (b >= 'a' && b <= 'f') return b - 'a' + 10;
    return -1;
}

// "^(name)" escapes, compared without regard to case.
[[nodiscard]] int escape_by_name(const uint8_t* p, size_t n) {
    static constexpr std::pair<std::string_view, int> names[] = {
        {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127}};
    for (const auto& [name, value] : names) {
        if (name.size() != n) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; i++) same = (p[i] | 0x20) == name[i];
        if (same) return value;
    }
    return -1;
}

// The character a one-character escape "^c" stands for.
[[nodiscard]] uint32_t escape_char(uint8_t c) {
    switch (c) {
        case '"': return '"';
        case '-': return 9;
        case '/': return 10;
        case '@': return 0;
        case '^': return '^';
        case '{': return '{';
        case '}': return '}';
        case '~': return 127;
        default: break;
    }
    if (c >= 'a' && c <= 'z') return c - 'a' + 1u;
    if (c >= 'A' && c <= '_') return c - 'A' + 1u;
    return c;
}

// Decodes one escape at p (just after "^"); answers the byte after it, or
// null when it does not decode.
const uint8_t* decode_escape(const uint8_t* p, const uint8_t* end, uint32_t& cp) {
    if (p >= end) return nullptr;
    if (*p != '(') {
        // "^" followed by a multi-byte character stands for that character.
        if (*p >= 0x80) {
            int32_t c;
            const uint8_t* next = utf8::decode_char(p, end, c);
            if (c < 0) return nullptr;
            cp = static_cast<uint32_t>(c);
            return next;
        }
        cp = escape_char(*p);
        return p + 1;
    }
    const uint8_t* close = p + 1;
    while (close < end && *close != ')') close++;
    if (close >= end) return nullptr;
    const size_t n = static_cast<size_t>(close - p - 1);
    if (n == 0) return nullptr;
    bool all_hex = n <= 6;
    uint32_t v = 0;
    for (size_t i = 0; i < n && all_hex; i++) {
        const int d = hex_value(p[1 + i]);
        all_hex = d >= 0;
        v = v * 16 + static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    if (all_hex) {
        if (v > 0x10FFFF) return nullptr;
        cp = v;
        return close + 1;
    }
    const int named = escape_by_name(p + 1, n);
    if (named < 0) return nullptr;
    cp = static_cast<uint32_t>(named);
    return close + 1;
}

// "%XX" escapes of urls and unquoted files, decoded into bytes.
std::string percent_decoded(const uint8_t* p, const uint8_t* end) {
    std::string out;
    out.reserve(static_cast<size_t>(end - p));
    while (p < end) {
        if (*p == '%' && end - p >= 3 && hex_value(p[1]) >= 0 && hex_value(p[2]) >= 0) {
            out.push_back(static_cast<char>(hex_value(p[1]) * 16 + hex_value(p[2])));
            p += 3;
        } else {
            out.push_back(static_cast<char>(*p++));
        }
    }
    return out;
}

void push_text(Record& r, TypeId type, const uint8_t* p, size_t n) {
    push_value(r, make_text_from_utf8(type, p, n));
}

}  // namespace

void string_body(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load, uint32_t error_start) {
    std::vector<uint32_t>& cps = code_point_scratch();
    if (!decode_text(r.input + start, r.input + end, (flags & tf::caret) != 0, cps))
        invalid(r, error_start, end, r.fallback_type > 0 ? static_cast<TypeId>(r.fallback_type) : TypeId::string);
    if (load) push_value(r, make_text_value(TypeId::string, cps));
}

bool decode_text(const uint8_t* p, const uint8_t* end, bool escapes, std::vector<uint32_t>& out) {
    out.clear();
    out.reserve(static_cast<size_t>(end - p));
    while (p < end) {
        const uint8_t b = *p;
        if (b == '^' && escapes) {
            uint32_t cp;
            p = decode_escape(p + 1, end, cp);
            if (!p) return false;
            out.push_back(cp);
        } else if (b < 0x80) {
            out.push_back(b);
            p++;
        } else {
            int32_t cp;
            p = utf8::decode_char(p, end, cp);
            if (cp < 0) return false;
            out.push_back(static_cast<uint32_t>(cp));
        }
    }
    return true;
}

void push_word(Record& r, TypeId type, uint32_t start, uint32_t end) {
    std::string_view spelling(reinterpret_cast<const char*>(r.input + start), end - start);
    Cell w = word::load(spelling);
    set_type_keep_flags(w, type);
    push_value(r, w);
}

namespace scanners {

// --- Strings and characters ---------------------------------------------------

void string(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool) {
    r.pos = end + 1;
    if (!r.load) string_body(r, start + 1, end, flags, false, start);  // the loader checks as it decodes
}

void load_string(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    r.pos = end + 1;
    string_body(r, start + 1, end, flags, load, start);
}

void load_char(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end + 1;
    std::vector<uint32_t>& cps = code_point_scratch();
    if (!decode_text(r.input + start + 2, r.input + end, true, cps) || cps.size() != 1 || cps[0] > 0x10FFFF)
        invalid(r, start, end + 1, TypeId::char_);
    if (load && cps.size() == 1) push_value(r, Cell{to_int(TypeId::char_), 0, cps[0], 0});
}

void load_raw_string(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    uint32_t opening = 0;
    while (start + opening < end && r.input[start + opening] == '%') opening++;
    const uint32_t body = start + opening + 1;  // after "{"
    uint32_t closing = 0;
    while (closing < end - body && r.input[end - 1 - closing] == '%') closing++;
    if (closing > opening) invalid(r, start, end, TypeId::string);
    uint32_t brace = end - closing - 1;  // the "}" of the closing
    uint32_t after = end;
    if (closing < opening) {
        // The automaton stopped at an inner "}%": the text goes on to the
        // first "}" followed by all the opening's percent signs.
        uint32_t i = end;
        bool found = false;
        for (; i < r.end; i++) {
            if (r.input[i] != '}' || r.end - i - 1 < opening) continue;
            uint32_t k = 0;
            while (k < opening && r.input[i + 1 + k] == '%') k++;
            if (k == opening) {
                found = true;
                break;
            }
        }
        if (!found) invalid(r, start, r.end, TypeId::string);
        brace = i;
        after = i + 1 + opening;
        // Line feeds inside the rest of the text count too.
        for (uint32_t k = end; k < brace; k++) r.line += r.input[k] == '\n';
    }
    r.pos = after;
    if (!load) {
        fire_event(r, Event::open, to_int(TypeId::string), nullptr, start, body);
        fire_event(r, Event::close, to_int(TypeId::string), nullptr, brace, after);
        return;
    }
    push_text(r, TypeId::string, r.input + body, brace - body);
}

// --- Words ------------------------------------------------------------------------

namespace {

// The kind and spelling of a word token; raises for a misplaced ":".
struct WordShape {
    TypeId type;
    uint32_t start, end;
};

WordShape word_shape(Record& r, uint32_t start, uint32_t end, uint32_t flags) {
    WordShape w{TypeId::word, start, end};
    const uint8_t first = r.input[start];
    const bool lead_colon = first == ':';
    const bool lead_quote = first == '\'';
    const bool trail_colon = end - start > 1 && r.input[end - 1] == ':';
    // The colon flag may come from the ":" that ends a path element, which
    // the token does not hold.
    if ((flags & tf::colon) && std::memchr(r.input + start, ':', end - start)) {
        uint32_t inner = 0;
        for (uint32_t i = start + 1; i + 1 < end; i++) inner += r.input[i] == ':';
        if (inner > 0 || (lead_colon && trail_colon)) invalid(r, start, end, TypeId::word);
        if (lead_quote && trail_colon) invalid(r, start, end, TypeId::lit_word);
        if (lead_colon) w = {TypeId::get_word, start + 1, end};
        else if (trail_colon) w = {TypeId::set_word, start, end - 1};
        else if (end - start == 1) w = {TypeId::word, start, end};
        else invalid(r, start, end, TypeId::word);
    } else if (lead_quote) {
        w = {TypeId::lit_word, start + 1, end};
    }
    return w;
}

// A word ends before the first blank code point inside it.
uint32_t cut_at_blank(const Record& r, uint32_t start, uint32_t end) {
    for (uint32_t i = start; i < end;) {
        if (r.input[i] < 0xC2) {
            i++;
            continue;
        }
        int32_t cp;
        const uint8_t* next = utf8::decode_char(r.input + i, r.input + end, cp);
        if (cp >= 0 && is_blank_code_point(static_cast<uint32_t>(cp))) return i;
        i = static_cast<uint32_t>(next - r.input);
    }
    return end;
}

}  // namespace

void word(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool) {
    // A loading run without a listener learns the kind from the loader.
    if (r.load && !r.listener) return;
    if (flags & (tf::utf8_lead | tf::utf8_lead4)) end = cut_at_blank(r, start, end);
    r.pos = end;
    r.token_end = end;
    const WordShape w = word_shape(r, start, end, flags);
    r.token_type = w.type;
}

void load_word(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    if (flags & (tf::utf8_lead | tf::utf8_lead4)) end = cut_at_blank(r, start, end);
    r.pos = end;
    const WordShape w = word_shape(r, start, end, flags);
    r.token_type = w.type;
    if (load) push_word(r, w.type, w.start, w.end);
}

void load_refinement(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    const uint32_t n = end - start;
    TypeId type = TypeId::refinement;
    uint32_t s = start + 1, e = end;
    if (n == 1) type = TypeId::word, s = start;
    else if (n == 2 && r.input[start] == '\'') type = TypeId::lit_word;
    else if (n == 2 && r.input[start] == ':') type = TypeId::get_word;
    else if (n == 2 && r.input[end - 1] == ':') type = TypeId::set_word, s = start, e = end - 1;
    else if (r.input[start] != '/') invalid(r, start, end, TypeId::refinement);
    r.token_type = type;
    if (!load) return;
    if (type == TypeId::refinement) {
        push_value(r, word::refinement({reinterpret_cast<const char*>(r.input + s), e - s}));
    } else {
        push_word(r, type, s, e);
    }
}

void issue(Record& r, uint32_t start, uint32_t end, uint32_t, bool) {
    r.pos = end;
    if (end - start < 2 || r.input[start] != '#') invalid(r, start, end, TypeId::issue);
}

void load_issue(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    issue(r, start, end, flags, load);
    if (load) push_value(r, word::issue({reinterpret_cast<const char*>(r.input + start + 1), end - start - 1}));
}

// --- Other series -------------------------------------------------------------------

void load_file(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    if (start + 1 < r.end && r.input[start + 1] == '"') {
        // %"..." : quoted, with escapes; the closing quote is consumed.
        if (end >= r.end || r.input[end] != '"') invalid(r, start, end, TypeId::file);
        r.pos = end + 1;
        std::vector<uint32_t>& cps = code_point_scratch();
        if (!decode_text(r.input + start + 2, r.input + end, (flags & tf::caret) != 0, cps))
            invalid(r, start, end, TypeId::file);
        if (load) push_value(r, make_text_value(TypeId::file, cps));
        return;
    }
    r.pos = end;
    if (!load) return;
    if (flags & tf::percent) {
        const std::string bytes = percent_decoded(r.input + start + 1, r.input + end);
        push_text(r, TypeId::file, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } else {
        push_text(r, TypeId::file, r.input + start + 1, end - start - 1);
    }
}

namespace {

// Decodes a binary body in base 2, 16 or 64 into out; false on bad input.
bool decode_binary(const uint8_t* p, const uint8_t* end, int base, std::vector<uint8_t>& out) {
    static constexpr auto b64 = [] {
        std::array<int8_t, 256> t{};
        for (auto& v : t) v = -1;
        for (int i = 0; i < 26; i++) t[static_cast<size_t>('A' + i)] = static_cast<int8_t>(i);
        for (int i = 0; i < 26; i++) t[static_cast<size_t>('a' + i)] = static_cast<int8_t>(26 + i);
        for (int i = 0; i < 10; i++) t[static_cast<size_t>('0' + i)] = static_cast<int8_t>(52 + i);
        t['+'] = 62;
        t['/'] = 63;
        return t;
    }();
    uint32_t acc = 0;
    int digits = 0;
    bool ended = false;  // base 64 padding seen
    while (p < end) {
        const uint8_t b = *p++;
        if (b == ' ' || b == '\t' || b == '\n' || b == '\r') continue;
        if (b == ';') {
            while (p < end && *p != '\n') p++;
            continue;
        }
        if (ended) {
            if (b != '=') return false;
            continue;
        }
        if (base == 16) {
            const int d = hex_value(b);
            if (d < 0) return false;
            acc = acc << 4 | static_cast<uint32_t>(d);
            if (++digits == 2) out.push_back(static_cast<uint8_t>(acc)), acc = 0, digits = 0;
        } else if (base == 2) {
            if (b != '0' && b != '1') return false;
            acc = acc << 1 | (b - '0');
            if (++digits == 8) out.push_back(static_cast<uint8_t>(acc)), acc = 0, digits = 0;
        } else {
            if (b == '=') {
                if (digits == 2) out.push_back(static_cast<uint8_t>(acc >> 4));
                else if (digits == 3) out.push_back(static_cast<uint8_t>(acc >> 10)),
                                      out.push_back(static_cast<uint8_t>(acc >> 2));
                else return false;
                ended = true;
                digits = 0;
                continue;
            }
            const int d = b64[b];
            if (d < 0) return false;
            acc = acc << 6 | static_cast<uint32_t>(d);
            if (++digits == 4) {
                out.push_back(static_cast<uint8_t>(acc >> 16));
                out.push_back(static_cast<uint8_t>(acc >> 8));
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                digits = 0;
            }
        }
    }
    return digits == 0;
}

}  // namespace

void load_binary(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end + 1;
    uint32_t hash = start;
    while (hash < end && r.input[hash] != '#') hash++;
    int base = 16;
    if (hash > start) {
        const std::string_view prefix(reinterpret_cast<const char*>(r.input + start), hash - start);
        base = prefix == "16" ? 16 : prefix == "2" ? 2 : prefix == "64" ? 64 : 0;
        if (base == 0) invalid(r, start, end + 1, TypeId::binary);
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(end - hash);
    if (!decode_binary(r.input + hash + 2, r.input + end, base, bytes)) invalid(r, start, end + 1, TypeId::binary);
    if (!load) return;
    const NodeId node = series::alloc_bytes(bytes.size());
    series::Buffer* b = series::buffer(node);
    if (!bytes.empty()) std::memcpy(b->data(), bytes.data(), bytes.size());
    b->set_tail_units(static_cast<uint32_t>(bytes.size()));
    push_value(r, Cell{to_int(TypeId::binary), 0, node, 0});
}

void load_tag(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end + 1;
    if (r.input[start] != '<') invalid(r, start, end, TypeId::tag);
    if (load) push_text(r, TypeId::tag, r.input + start + 1, end - start - 1);
}

void load_url(Record& r, uint32_t start, uint32_t end, uint32_t flags, bool load) {
    r.pos = end;
    if (r.input[start] == ':') invalid(r, start, end, TypeId::get_word);
    if (r.input[start] == '\'') invalid(r, start, end, TypeId::lit_word);
    if (!load) return;
    if (flags & tf::percent) {
        const std::string bytes = percent_decoded(r.input + start, r.input + end);
        push_text(r, TypeId::url, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } else {
        push_text(r, TypeId::url, r.input + start, end - start);
    }
}

void load_email(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    if (load) push_text(r, TypeId::email, r.input + start, end - start);
}

void load_ref(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end;
    if (load) push_text(r, TypeId::ref, r.input + start + 1, end - start - 1);
}

}  // namespace scanners

}  // namespace qor::lexer
