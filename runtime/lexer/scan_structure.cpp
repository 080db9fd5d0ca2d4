// Scanners of the structural tokens: brackets, parens, braces, maps, paths,
// constructions, comments, commas, the end of the input and invalid input;
// and the table of scanners and loaders per final state.
#include <cstring>

#include "runtime/datatypes/registry.h"
#include "runtime/lexer/lex_record.h"

namespace qor::lexer {

namespace {

[[nodiscard]] bool is_path_type(TypeId t) {
    return t == TypeId::path || t == TypeId::lit_path || t == TypeId::set_path || t == TypeId::get_path;
}

[[nodiscard]] TypeId marker_type(const Cell& m) { return static_cast<TypeId>(m.w2 & marker_type_mask); }

// Bytes that end a path element and a set-path's ':'.
[[nodiscard]] bool is_delimiter(uint8_t b) {
    switch (class_of(b)) {
        case cls::blank: case cls::lf: case cls::lbracket: case cls::rbracket: case cls::lparen:
        case cls::rparen: case cls::lbrace: case cls::rbrace: case cls::quote: case cls::semicolon:
        case cls::control: case cls::nul:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Whether the "(" at `open` begins a point literal: at least 3 bytes follow,
// and the first of them that cannot be part of a number is a comma (or
// none is found).
bool starts_point(const Record& r, uint32_t open) {
    if (r.end - open - 1 < 3) return false;
    for (uint32_t i = open + 1; i < r.end; i++) {
        const uint8_t b = r.input[i];
        if (b == '\t' || b == ' ' || b == '#' || b == '+' || b == '-' || b == '.' || (b >= '0' && b <= '9'))
            continue;
        if (std::strchr("AEFINaefin", b) && b != 0) continue;
        return b == ',';
    }
    return true;
}

namespace scanners {

// End of input. A NUL byte before the real end also arrives here: it is not
// text, so it is refused instead of being taken for the end (which would
// leave the rest unread, or loop on it for ever).
void end(Record& r, uint32_t start, uint32_t, uint32_t, bool) {
    if (start < r.end && r.input[start] == 0) syntax_error(r, start, start + 1, kind_bad_char);
}

void invalid_token(Record& r, uint32_t start, uint32_t end, uint32_t, bool) {
    const TypeId type = type_table[r.previous_state];
    uint32_t from = start;
    if (r.start_state == start_brace) from = r.string_start;
    else if (innermost_marker(r)) from = no_start;
    r.token_type = TypeId::error;
    syntax_error(r, from, end, type == TypeId::none_id ? kind_bad_char : to_int(type));
}

void block_open(Record& r, uint32_t, uint32_t end, uint32_t, bool) {
    r.pos = end + 1;
    open_series(r, TypeId::block, end, end + 1);
}

void block_close(Record& r, uint32_t, uint32_t end, uint32_t, bool) {
    close_series(r, end, end + 1, TypeId::block, false);
    r.pos = end + 1;
}

void paren_open(Record& r, uint32_t, uint32_t end, uint32_t, bool) {
    r.pos = end + 1;
    if (starts_point(r, end)) {
        r.string_start = end;  // where the literal began, for its errors
        r.start_state = start_point;
        return;
    }
    open_series(r, TypeId::paren, end, end + 1);
}

void paren_close(Record& r, uint32_t, uint32_t end, uint32_t, bool) {
    close_series(r, end, end + 1, TypeId::paren, false);
    r.pos = end + 1;
}

void brace_open(Record& r, uint32_t, uint32_t end, uint32_t flags, bool) {
    if (r.brace_depth == 0) {
        r.string_start = end;
        r.brace_flags = 0;
        r.brace_new_line = r.token_lines > 0;
        fire_event(r, Event::open, to_int(TypeId::string), nullptr, end, end + 1);
    }
    r.brace_depth++;
    r.brace_flags |= flags;
    r.start_state = start_brace;
    r.pos = end + 1;
}

void brace_close(Record& r, uint32_t, uint32_t end, uint32_t flags, bool load) {
    r.brace_flags |= flags;
    r.brace_depth--;
    r.pos = end + 1;
    if (r.brace_depth > 0) {
        if (end + 1 >= r.end) invalid(r, r.string_start, r.end, TypeId::string);
        return;
    }
    fire_event(r, Event::close, to_int(TypeId::string), nullptr, end, end + 1);
    r.start_state = start_normal;
    r.token_type = TypeId::string;
    const uint32_t body = r.string_start + 1;
    const uint32_t accumulated = r.brace_flags;
    r.brace_flags = 0;
    const uint32_t lines = r.token_lines;
    r.token_lines = r.brace_new_line ? 1 : 0;
    if (load) {
        if (fire_event(r, Event::scan, to_int(TypeId::string), nullptr, r.string_start, end + 1)) {
            const uint32_t before = r.top;
            string_body(r, body, end, accumulated, true, r.string_start);
            if (r.top > before && !fire_event(r, Event::load, to_int(TypeId::string), &stack_cells()[r.top - 1],
                                              r.string_start, end + 1))
                r.top = before;
        }
    } else {
        string_body(r, body, end, accumulated, false, r.string_start);
        fire_event(r, Event::scan, to_int(TypeId::string), nullptr, r.string_start, end + 1);
    }
    r.pos = end + 1;
    r.token_lines = lines;
}

void map_open(Record& r, uint32_t start, uint32_t end, uint32_t, bool) {
    r.pos = end + 1;
    if (start >= end || r.input[start] != '#') invalid(r, start, end + 1, TypeId::map);
    open_series(r, TypeId::map, start, end + 1);
}

void path_slash(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    TypeId type = TypeId::path;
    uint32_t first = start;
    if (r.input[start] == '\'') type = TypeId::lit_path, first++;
    else if (r.input[start] == ':') type = TypeId::get_path, first++;
    open_series(r, type, start, end);
    if (load) {
        if (fire_event(r, Event::scan, to_int(TypeId::word), nullptr, start, end)) {
            const uint32_t before = r.top;
            r.token_lines = 0;
            push_word(r, TypeId::word, first, end);
            if (
                !fire_event(r, Event::load, to_int(TypeId::word), &stack_cells()[r.top - 1], start, end))
                r.top = before;
        }
    }
    r.start_state = start_path;
    r.pos = end + 1;
    if (r.pos >= r.end) invalid(r, no_start, r.end, TypeId::path);
}

void construct(Record& r, uint32_t start, uint32_t end, uint32_t, bool load) {
    r.pos = end + 1;
    const uint8_t* text = r.input + start + 2;  // after "#("
    const uint32_t n = end - start - 2;
    auto same = [&](std::string_view word) {
        if (n != word.size()) return false;
        for (uint32_t i = 0; i < n; i++)
            if ((text[i] | 0x20) != word[i]) return false;
        return true;
    };
    Cell value = unset_cell;
    if (same("true") || same("false")) value = Cell{to_int(TypeId::logic), same("true") ? 1u : 0u, 0, 0};
    else if (same("none")) value = Cell{to_int(TypeId::none), 0, 0, 0};
    else if (same("unset")) value = unset_cell;
    else {
        // The first datatype, in id order, whose name begins with the text.
        TypeId found = TypeId::none_id;
        for (int id = 1; id < type_table_size && n > 0 && found == TypeId::none_id; id++) {
            const std::string_view name = datatype::name(static_cast<TypeId>(id));
            if (name.size() < n) continue;
            bool prefix = true;
            for (uint32_t i = 0; i < n && prefix; i++)
                prefix = static_cast<uint8_t>(text[i] | 0x20) == static_cast<uint8_t>(name[i] | 0x20);
            if (prefix) found = static_cast<TypeId>(id);
        }
        if (found == TypeId::none_id) {
            syntax_error(r, start, end + 1, kind_malconstruct);
            return;
        }
        value = Cell{to_int(TypeId::datatype), to_int(found), 0, 0};
    }
    r.token_type = type_of(value);
    if (load) push_value(r, value);
}

void comment(Record& r, uint32_t start, uint32_t end, uint32_t, bool) {
    r.pos = end;
    fire_event(r, Event::scan, -(to_int(Final::comment) - 65), nullptr, start, end);
}

void comma(Record& r, uint32_t start, uint32_t end, uint32_t, bool) {
    r.pos = end + 1;
    Cell* m = innermost_marker(r);
    if (m && marker_type(*m) == TypeId::paren) {
        m->w2 = to_int(TypeId::point2d) | (1u << marker_comma_shift);
        return;
    }
    if (m && marker_type(*m) == TypeId::point2d) {
        m->w2 += 1u << marker_comma_shift;
        return;
    }
    invalid(r, start, end + 1, TypeId::point2d);
}

}  // namespace scanners

// After a path element: the path goes on at "/", becomes a set-path at ":"
// followed by a delimiter, and ends at any other delimiter.
void scan_path_end(Record& r) {
    Cell* m = innermost_marker(r);
    if (!m || !is_path_type(marker_type(*m))) {
        r.start_state = start_normal;
        return;
    }
    if (r.pos >= r.end) {
        close_series(r, r.pos, r.pos, TypeId::none_id, false);
        return;
    }
    const uint8_t b = r.input[r.pos];
    if (b == '/') {
        r.pos++;
        if (r.pos >= r.end) invalid(r, no_start, r.end, TypeId::path);
        return;
    }
    if (b == ':') {
        const bool last = r.pos + 1 >= r.end;
        if (!last && !is_delimiter(r.input[r.pos + 1])) {
            invalid(r, no_start, r.pos + 1, TypeId::path);
            r.pos++;
            return;
        }
        r.pos++;
        close_series(r, r.pos - 1, r.pos, TypeId::set_path, false);
        return;
    }
    close_series(r, r.pos, r.pos, TypeId::none_id, false);
}

const FinalRoutines& routines_of(uint8_t final_state) {
    using namespace scanners;
    static constexpr FinalRoutines table[state_count - first_final] = {
        {end, nullptr},                     // 66 end of input
        {invalid_token, nullptr},           // 67 invalid
        {block_open, nullptr},              // 68 [
        {block_close, nullptr},             // 69 ]
        {paren_open, nullptr},              // 70 (
        {paren_close, nullptr},             // 71 )
        {brace_open, nullptr},              // 72 {
        {brace_close, nullptr},             // 73 }
        {map_open, nullptr},                // 74 #[
        {path_slash, nullptr},              // 75 /
        {construct, nullptr},               // 76 #(...)
        {comment, nullptr},                 // 77 ;
        {scanners::comma, nullptr},         // 78 ,
        {scanners::string, load_string},    // 79 "..."
        {scanners::word, load_word},        // 80 words
        {scanners::issue, load_issue},      // 81 #issue
        {nullptr, load_integer},            // 82
        {nullptr, load_refinement},         // 83
        {nullptr, load_char},               // 84
        {nullptr, load_file},               // 85
        {nullptr, load_binary},             // 86
        {nullptr, load_percent},            // 87
        {nullptr, load_float},              // 88
        {nullptr, load_special_float},      // 89
        {nullptr, load_tuple},              // 90
        {nullptr, load_date},               // 91
        {nullptr, load_pair},               // 92
        {nullptr, load_point},              // 93
        {nullptr, load_time},               // 94
        {nullptr, load_money},              // 95
        {nullptr, load_tag},                // 96
        {nullptr, load_url},                // 97
        {nullptr, load_email},              // 98
        {nullptr, load_hex_integer},        // 99
        {nullptr, load_raw_string},         // 100
        {nullptr, load_ref},                // 101
    };
    return table[final_state - first_final];
}

}  // namespace qor::lexer
