// The lexer driver: runs, the token loop, the value stack, series nesting,
// events and syntax errors.
#include "runtime/lexer/lexer.h"

#include <cstring>
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/hash/hash_table.h"
#include "runtime/lexer/lex_record.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"
#include "runtime/unicode/utf8.h"
#include "runtime/unicode/string_codec.h"

namespace qor::lexer {

namespace {

constexpr size_t initial_stack_cells = 1000;

// The value stack, shared by all active runs; records index into it.
std::vector<Cell> value_stack;
// The outermost active run.
Record* chain = nullptr;
int depth = 0;

Record* last_in_chain() {
    Record* r = chain;
    while (r && r->next) r = r->next;
    return r;
}

[[nodiscard]] bool is_path_type(TypeId t) {
    return t == TypeId::path || t == TypeId::lit_path || t == TypeId::set_path || t == TypeId::get_path;
}

[[nodiscard]] TypeId marker_type(const Cell& m) { return static_cast<TypeId>(m.w2 & marker_type_mask); }

}  // namespace

// The loader the datatypes use for `to` and `make` of text: they sit below
// the lexer and reach it only through this.
void load_string(Cell* dst, const Cell& string, int32_t length) { scan_string_value(dst, string, length); }

void init() {
    value_stack.assign(initial_stack_cells, unset_cell);
    chain = nullptr;
    depth = 0;
    text_loader::install(load_string);
}

int active_runs() { return depth; }

void for_each_active_cell(const std::function<void(Cell&)>& mark) {
    for (Record* r = chain; r; r = r->next)
        for (uint32_t i = r->base; i < r->top; i++) mark(value_stack[i]);
}

Cell* stack_cells() { return value_stack.data(); }

uint32_t stack_alloc(Record& r) {
    if (r.top >= value_stack.size()) {
        // Records keep indices, so growing moves nothing they refer to.
        const size_t bigger = value_stack.empty() ? initial_stack_cells : value_stack.size() * 2;
        if (bigger > (uint64_t{1} << 28)) error::fire(error::Id::no_memory);
        value_stack.resize(bigger, unset_cell);
    }
    const uint32_t i = r.top++;
    value_stack[i] = unset_cell;
    if (r.token_lines > 0) value_stack[i].header |= cell_flag::new_line;
    return i;
}

void push_value(Record& r, const Cell& value) {
    const uint32_t i = stack_alloc(r);
    const uint32_t nl = value_stack[i].header & cell_flag::new_line;
    value_stack[i] = value;
    value_stack[i].header = (value.header & ~cell_flag::new_line) | nl;
}

// --- Values the lexer builds -------------------------------------------------

std::vector<uint32_t>& code_point_scratch() {
    // Reused by every token: decoding never calls out, so runs that nest
    // through a listener cannot meet it half-filled.
    static std::vector<uint32_t> scratch;
    return scratch;
}

Cell make_text_value(TypeId type, const std::vector<uint32_t>& cps) {
    // The narrowest unit that holds every character.
    uint32_t max = 0;
    for (uint32_t cp : cps) max = cp > max ? cp : max;
    const uint32_t unit = max > 0xFFFF ? 4 : max > 0xFF ? 2 : 1;
    Cell value = unset_cell;
    str::make_at(value, static_cast<uint32_t>(cps.size()), unit, type);
    series::Buffer* b = series::buffer(value.w2);
    uint8_t* p = b->data();
    for (size_t i = 0; i < cps.size(); i++) str::put_char(p + i * unit, unit, cps[i]);
    b->set_tail_units(static_cast<uint32_t>(cps.size()));
    return value;
}

Cell make_text_from_utf8(TypeId type, const uint8_t* bytes, size_t n) {
    std::vector<uint32_t>& cps = code_point_scratch();
    cps.clear();
    size_t i = 0;
    while (i < n) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(bytes + i, bytes + n, cp);
        if (cp < 0) {
            // Bytes that are not UTF-8 stand for themselves.
            cp = bytes[i];
            next = bytes + i + 1;
        }
        cps.push_back(static_cast<uint32_t>(cp));
        i = static_cast<size_t>(next - bytes);
    }
    return make_text_value(type, cps);
}

Cell make_block_value(TypeId type, const Cell* cells, uint32_t count) {
    // The cells may live in the value stack, which no allocation here moves.
    Cell value = unset_cell;
    block::make_at(value, static_cast<int32_t>(count));
    series::Buffer* b = series::buffer(value.w2);
    if (count) std::memcpy(b->data(), cells, size_t{count} * sizeof(Cell));
    b->set_tail_units(count);
    set_type_keep_flags(value, type);
    return value;
}

// --- Series nesting ----------------------------------------------------------

Cell* innermost_marker(Record& r) { return r.head > r.base ? &value_stack[r.head - 1] : nullptr; }

void open_series(Record& r, TypeId type, uint32_t start, uint32_t end) {
    if (Cell* m = innermost_marker(r); m && marker_type(*m) == TypeId::point2d)
        invalid(r, start, end, TypeId::point2d);
    if (!fire_event(r, Event::open, to_int(type), nullptr, start, end)) return;
    const uint32_t i = stack_alloc(r);
    Cell& m = value_stack[i];
    m.header = (m.header & cell_flag::new_line) | to_int(TypeId::triple);
    m.w1 = i - r.head;
    m.w2 = to_int(type);
    m.w3 = start;
    r.head = i + 1;
    r.start_state = start_normal;
}

// The finished series value of a marker's cells.
static Cell finish_series(Record& r, TypeId type, uint32_t first, uint32_t count, uint32_t start, uint32_t end) {
    if (type == TypeId::map) {
        if (count % 2) invalid(r, start, end, TypeId::map);
        for (uint32_t k = first; k < first + count; k += 2) {
            Cell& key = value_stack[k];
            if (!map::valid_key(type_of(key))) invalid(r, start, end, TypeId::map);
            // Word keys are kept as set-words.
            if (is_word_like(type_of(key)) && type_of(key) != TypeId::refinement && type_of(key) != TypeId::issue)
                set_type_keep_flags(key, TypeId::set_word);
        }
        // The block waits in the marker's cell, where the collector sees it,
        // while its index is made.
        Cell& slot = value_stack[first - 1];
        slot = make_block_value(TypeId::block, &value_stack[first], count);
        const Cell block = slot;
        const NodeId table = hashtable::init(static_cast<int32_t>(count / 2), &block, hashtable::Kind::map, 0);
        return Cell{to_int(TypeId::map), 0, block.w2, table};
    }
    return make_block_value(type, &value_stack[first], count);
}

void close_series(Record& r, uint32_t start, uint32_t end, TypeId expected, bool quiet) {
    Cell* m = innermost_marker(r);
    const TypeId open = m ? marker_type(*m) : TypeId::none_id;
    bool matches = m != nullptr;
    if (m && expected != TypeId::none_id) {
        if (expected == TypeId::block) matches = open == TypeId::block || open == TypeId::map;
        else if (expected == TypeId::set_path) matches = open == TypeId::path;
        else if (expected == TypeId::path) matches = is_path_type(open);
        else matches = open == expected;
    }
    if (!matches) {
        // The innermost open series is the one left unclosed.
        r.series_type = m ? open : expected;
        syntax_error(r, no_start, end, kind_missing);
        return;
    }
    if (!quiet && !fire_event(r, Event::close, to_int(open), nullptr, start, end)) {
        r.start_state = start_normal;
        return;
    }
    const uint32_t mi = r.head - 1;
    const uint32_t enclosing_head = mi - value_stack[mi].w1;
    const uint32_t open_offset = value_stack[mi].w3;
    const TypeId type = expected == TypeId::set_path ? TypeId::set_path : open;
    const uint32_t nl = value_stack[mi].header & cell_flag::new_line;
    Cell value = unset_cell;
    if (r.load) value = finish_series(r, type, r.head, r.top - r.head, open_offset, end);
    value_stack[mi] = value;
    value_stack[mi].header = (value.header & ~cell_flag::new_line) | nl;
    r.top = mi + 1;
    r.head = enclosing_head;
    r.token_type = type;
    Cell* outer = innermost_marker(r);
    r.start_state = outer && is_path_type(marker_type(*outer)) ? start_path : start_normal;
}

void close_paths(Record& r) {
    while (Cell* m = innermost_marker(r)) {
        const TypeId t = marker_type(*m);
        if (t == TypeId::block || t == TypeId::paren) {
            close_series(r, r.pos, r.pos, TypeId::none_id, true);
        } else {
            const uint32_t mi = r.head - 1;
            r.head = mi - value_stack[mi].w1;
            r.top = mi;
        }
    }
    r.start_state = start_normal;
}

// --- Events --------------------------------------------------------------------

// Character offset of a byte offset, counted on from the last one asked
// for, so successive tokens cost only the bytes between them.
static uint32_t char_offset(Record& r, uint32_t byte) {
    if (!r.characters) return byte;
    if (byte < r.cache_byte) r.cache_byte = r.cache_char = 0;
    r.cache_char += static_cast<uint32_t>(utf8::count_chars(r.input + r.cache_byte, r.input + byte));
    r.cache_byte = byte;
    return r.cache_char;
}

// The byte offset of a character offset (stepping over UTF-8 sequences).
static uint32_t byte_offset(const Record& r, uint32_t offset) {
    if (!r.characters) return offset > r.end ? r.end : offset;
    return static_cast<uint32_t>(utf8::skip_chars(r.input, r.input + r.end, offset) - r.input);
}

bool fire_event(Record& r, Event event, int32_t type, const Cell* value, uint32_t start, uint32_t end) {
    if (!r.listener || !(r.event_mask & static_cast<uint8_t>(event)) || !r.listener->on_event) return true;
    const bool at_start = event == Event::open || (event == Event::prescan && type <= 0);
    if (start > r.end) start = r.end;
    if (end > r.end) end = r.end;
    // The listener sees a copy: a run it starts may grow (move) the stack.
    Cell copy = value ? *value : unset_cell;
    EventInfo info{event, type, r.line, value ? &copy : nullptr, char_offset(r, start), char_offset(r, end), 0};
    info.position = at_start ? info.start : info.end;
    uint32_t resume = info.position;
    const bool answer = r.listener->on_event(info, resume);
    // A listener that moved the input moves the lexer.
    if (resume != info.position) r.pos = byte_offset(r, resume);
    return answer;
}

// --- Syntax errors -------------------------------------------------------------

namespace {

// The excerpt: from start up to the first line feed, the input end, or the
// first character boundary at or past 30 bytes.
Cell excerpt(const Record& r, uint32_t start) {
    uint32_t stop = start;
    while (stop < r.end && r.input[stop] != '\n') {
        if (stop - start >= 30 && (r.input[stop] & 0xC0) != 0x80) break;
        stop++;
    }
    return make_text_from_utf8(TypeId::string, r.input + start, stop - start);
}

Cell line_text(uint32_t line) {
    const std::string s = "(line " + std::to_string(line) + ")";
    return make_text_from_utf8(TypeId::string, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

}  // namespace

void syntax_error(Record& r, uint32_t start, uint32_t end, int kind) {
    if (!r.load) {
        r.token_type = TypeId::error;
        throw Abort{};
    }
    if (start == no_start) {
        const Cell* m = innermost_marker(r);
        start = m ? m->w3 : 0;
    }
    if (start > r.end) start = r.end;
    if (r.listener) {
        int32_t type = kind > 0                                   ? kind
                       : r.series_type != TypeId::none_id         ? to_int(r.series_type)
                       : r.token_type != TypeId::none_id          ? to_int(r.token_type)
                       : r.fallback_type > 0                      ? r.fallback_type
                                                                  : to_int(TypeId::error);
        if (Cell* m = innermost_marker(r); m && is_path_type(marker_type(*m)))
            close_series(r, r.pos, r.pos, TypeId::none_id, true);
        if (!fire_event(r, Event::error, type, nullptr, start, end)) {
            r.series_type = TypeId::none_id;
            if (r.one) throw Abort{};
            throw Skip{};
        }
    }
    // Both texts wait on the data stack while the other is made and while
    // open paths are closed (which allocates); the raised error then holds
    // them.
    Cell* const texts = stack::push(excerpt(r, start));
    stack::push(line_text(r.line));
    const Cell* m = innermost_marker(r);
    if (m && is_path_type(marker_type(*m)) && kind != kind_malconstruct) kind = kind_bad_char;
    const TypeId failed = r.series_type;
    close_paths(r);
    const Cell ex = texts[0];
    const Cell line = texts[1];
    stack::pop(2);
    r.error_raised = true;
    switch (kind) {
        case kind_bad_char:
            error::fire(error::Id::bad_char, {line, ex});
        case kind_malconstruct:
            error::fire(error::Id::malconstruct, {line, ex});
        case kind_missing:
        case kind_missing_end: {
            const bool paren = failed == TypeId::paren || failed == TypeId::point2d || failed == TypeId::point3d;
            char ch = paren ? ')' : ']';
            if (kind == kind_missing && r.pos < r.end && static_cast<char>(r.input[r.pos]) == ch)
                ch = paren ? '(' : '[';
            const Cell c{to_int(TypeId::char_), 0, static_cast<uint32_t>(ch), 0};
            error::fire(error::Id::missing, {line, c, ex});
        }
        default: {
            const Cell type{to_int(TypeId::datatype), static_cast<uint32_t>(kind), 0, 0};
            error::fire(error::Id::invalid, {line, type, ex});
        }
    }
}

// --- The token loop ------------------------------------------------------------

namespace {

constexpr uint8_t exit_code(uint8_t state) { return static_cast<uint8_t>(state - 65); }

// Leading blank code points of a word token: answers the first byte after them.
uint32_t skip_blank_code_points(const Record& r, uint32_t start, uint32_t end) {
    while (start < end && r.input[start] >= 0xC2) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(r.input + start, r.input + end, cp);
        if (cp < 0 || !is_blank_code_point(static_cast<uint32_t>(cp))) break;
        start = static_cast<uint32_t>(next - r.input);
    }
    return start;
}

// Tokens whose last byte (a closing quote, brace or ">", or the "%" of a
// percent) is the one the automaton stopped at.
bool closing_byte_is_token(const Record& r, uint8_t state, uint32_t end) {
    switch (static_cast<Final>(state)) {
        case Final::char_: case Final::binary: case Final::percent: case Final::tag:
            return true;
        case Final::file:
            return end < r.end && r.input[end] == '"';
        default:
            return false;
    }
}

// Acts on one token: its scanner and loader, with the listener's events.
void handle_token(Record& r, const Token& t) {
    r.line += t.lines;
    r.token_lines = t.lines;
    r.previous_state = t.previous;
    r.pos = t.end;
    r.token_end = t.end;
    r.fallback_type = -1;
    r.token_type = type_table[t.state];
    uint8_t state = t.state;
    uint32_t start = t.start;
    const FinalRoutines& fr = routines_of(state);

    if (!r.scan) {
        // Prescan: only the structural tokens are followed.
        if (state <= to_int(Final::string) && fr.scanner) {
            fr.scanner(r, start, t.end, t.flags, false);
        } else if (state == to_int(Final::point)) {
            // A point literal's body ends at its ")", which closes it.
            r.pos = t.end + 1;
            r.start_state = start_normal;
        } else if (closing_byte_is_token(r, state, t.end)) {
            r.pos = t.end + 1;
        }
    } else {
        if (state == to_int(Final::word)) {
            start = skip_blank_code_points(r, start, t.end);
            if (start == t.end) {
                r.token_type = TypeId::none_id;
                return;
            }
        }
        // A point literal's token starts at its "(".
        if (state == to_int(Final::point)) start = r.string_start;
        bool go_on = true;
        // The "(" of a point literal is no series: it is not offered.
        const bool point_open = state == to_int(Final::paren_open) && starts_point(r, t.end);
        if (r.listener && r.start_state != start_brace && !point_open) {
            const int32_t type = r.token_type != TypeId::none_id ? to_int(r.token_type) : -exit_code(state);
            go_on = fire_event(r, Event::prescan, type, nullptr, start, t.end);
        }
        if (go_on) {
            if (state < to_int(Final::string)) {
                fr.scanner(r, start, t.end, t.flags, r.load);
            } else {
                bool accepted = true;
                const bool listens_scan = r.listener && (r.event_mask & static_cast<uint8_t>(Event::scan));
                if (!r.load || fr.scanner || listens_scan) {
                    if (fr.scanner) fr.scanner(r, start, t.end, t.flags, false);
                    else fr.loader(r, start, t.end, t.flags, false);
                    if (r.listener)
                        accepted = fire_event(r, Event::scan, to_int(r.token_type), nullptr, start, r.pos);
                }
                if (accepted && r.load && fr.loader) {
                    const uint32_t before = r.top;
                    fr.loader(r, start, t.end, t.flags, true);
                    if (r.listener && r.top > before &&
                        !fire_event(r, Event::load, to_int(r.token_type), &value_stack[r.top - 1], start, r.pos))
                        r.top = before;
                }
            }
        } else {
            r.pos = t.end;
        }
    }

    if (r.start_state == start_path && state != to_int(Final::path_slash) && state != to_int(Final::invalid))
        scan_path_end(r);
}

void scan_tokens(Record& r) {
    while (r.pos < r.end) {
        const uint32_t cut_from = r.pos;
        const uint8_t cut_state = r.start_state;
        const Token t = cut_token(r.input, r.pos, r.end, r.start_state);
        try {
            handle_token(r, t);
        } catch (const Skip&) {
            // A listener suppressed an error: go on from the current position.
            if (r.start_state == start_brace && t.state == to_int(Final::invalid)) {
                r.start_state = start_normal;
                r.brace_depth = 0;
            }
            // An empty token broke off at its first byte: step past it.
            if (t.start >= t.end && r.pos == t.end) r.pos = t.end + 1;
            if (r.pos > r.end) r.pos = r.end;
        }
        const uint8_t state = t.state;
        if (r.one || !r.scan) {
            if (r.token_type != TypeId::none_id && r.start_state != start_path && r.start_state != start_brace &&
                state != to_int(Final::path_slash) && r.head == r.base && r.top - r.base <= 1 && r.scan)
                break;
        }
        r.previous_token_type = r.token_type;
        // Every token moves the run on (or changes its start state), so no
        // input can hold the lexer in place.
        if (r.pos == cut_from && r.start_state == cut_state && r.pos < r.end) r.pos = cut_from + 1;
    }
    if (r.start_state == start_brace) {
        r.brace_depth = 0;
        r.start_state = start_normal;
        try {
            syntax_error(r, r.string_start, r.end, to_int(TypeId::string));
        } catch (const Skip&) {
        }
    }
}

}  // namespace

Result scan_buffer(Cell* dst, const uint8_t* input, size_t length, const Options& options) {
    if (length > 0x7FFFFFF0u) error::fire(error::Id::no_memory);
    if (value_stack.empty()) init();
    Record r;
    Record* last = last_in_chain();
    if (last) {
        last->next = &r;
        r.parent = last;
        r.base = last->top;
    } else {
        chain = &r;
    }
    depth++;
    r.head = r.top = r.base;
    r.input = input;
    r.end = static_cast<uint32_t>(length);
    r.listener = options.listener;
    r.event_mask = options.listener ? options.listener->mask : 0;
    r.scan = options.scan;
    r.load = options.scan && options.load;
    r.one = options.one;
    r.characters = options.characters;

    // Unchains the record however the run ends.
    struct Unchain {
        Record& r;
        ~Unchain() {
            if (r.parent) r.parent->next = nullptr;
            else chain = nullptr;
            depth--;
        }
    } unchain{r};

    Result result;
    try {
        scan_tokens(r);
        if (Cell* m = innermost_marker(r); m) {
            const TypeId open = marker_type(*m);
            if (!r.scan && open == TypeId::path) {
                r.token_type = open;
            } else {
                r.series_type = open == TypeId::point2d ? TypeId::paren : open;
                try {
                    syntax_error(r, m->w3, r.end, kind_missing_end);
                } catch (const Skip&) {
                }
                if (dst) *dst = Cell{to_int(TypeId::none), 0, 0, 0};
                result.type = r.token_type;
                result.consumed = r.pos;
                return result;
            }
        }
    } catch (const Abort&) {
        // The run ended early: a non-loading run met an error, or a listener stopped it.
    } catch (...) {
        r.top = r.base;
        throw;
    }

    if (r.load && (dst || options.parent)) {
        Cell value;
        if (r.one && !options.wrap && r.top > r.base) value = value_stack[r.base];
        else value = make_block_value(TypeId::block, &value_stack[r.base], r.top - r.base);
        if (options.parent) {
            // The value stays on the value stack while the parent grows.
            const uint32_t keep = stack_alloc(r);
            value_stack[keep] = value;
            Cell block{to_int(TypeId::block), 0, options.parent, 0};
            Cell* tail = series_tail::block_alloc_tail(block);
            *tail = value_stack[keep];
        } else {
            *dst = value;
        }
    }
    r.top = r.base;
    result.type = r.token_type;
    result.consumed = r.pos;
    return result;
}

Result scan_string_value(Cell* dst, const Cell& string, int32_t length, const Options& options) {
    // The text is copied out of the series first: the series may move while
    // values are allocated.
    int32_t n = length;
    Cell s = string;
    Options with_characters = options;
    with_characters.characters = true;
    const uint8_t* bytes = unicode::to_utf8(s, n);
    std::string copy(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
    Result result = scan_buffer(dst, reinterpret_cast<const uint8_t*>(copy.data()), copy.size(), with_characters);
    // The consumed length is counted in characters for string input.
    result.consumed = static_cast<uint32_t>(
        utf8::count_chars(reinterpret_cast<const uint8_t*>(copy.data()),
                          reinterpret_cast<const uint8_t*>(copy.data()) + result.consumed));
    return result;
}

}  // namespace qor::lexer
