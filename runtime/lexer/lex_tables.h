// The token automaton's tables: the byte class table, the transition table,
// the blank-count, line and type tables, and the final states.
//
// The automaton reads bytes only. Each byte has a class (0-39) and token
// flags; the state after a byte is transition[state * 40 + class]. States
// 0-64 are inner states, 66-101 final states that end the token without
// consuming the byte that led to them. Everything here is built at compile
// time and never changes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "runtime/core/type_ids.h"

namespace qor::lexer {

inline constexpr int class_count = 40;
inline constexpr int inner_state_count = 65;  // 0-64
inline constexpr int state_count = 102;       // 0-101
inline constexpr int first_final = 66;

// Byte classes.
namespace cls {
inline constexpr uint8_t blank = 0, lf = 1, digit = 2, zero = 3, lbracket = 4, rbracket = 5, lparen = 6,
                         rparen = 7, lbrace = 8, rbrace = 9, quote = 10, hash = 11, apostrophe = 12,
                         colon = 13, x = 14, t = 15, h = 16, e_lower = 17, e_upper = 18, hex_lower = 19,
                         hex_upper = 20, slash = 21, backslash = 22, less = 23, greater = 24, equal = 25,
                         percent = 26, comma = 27, semicolon = 28, at = 29, dot = 30, dollar = 31, plus = 32,
                         minus = 33, caret = 34, control = 35, continuation = 36, letter = 37, invalid = 38,
                         nul = 39;
}  // namespace cls

// Token flags: ORed over the bytes of a token.
namespace tf {
inline constexpr uint32_t percent = 0x00040000;
inline constexpr uint32_t greater = 0x00080000;
inline constexpr uint32_t less = 0x00100000;
inline constexpr uint32_t sign = 0x00200000;
inline constexpr uint32_t nul = 0x00400000;
inline constexpr uint32_t hash = 0x00800000;
inline constexpr uint32_t exponent = 0x01000000;
inline constexpr uint32_t apostrophe = 0x02000000;
inline constexpr uint32_t colon = 0x04000000;
inline constexpr uint32_t comma = 0x08000000;
inline constexpr uint32_t dot = 0x10000000;
inline constexpr uint32_t caret = 0x20000000;
inline constexpr uint32_t utf8_lead = 0x40000000;   // lead of a 2- or 3-byte sequence
inline constexpr uint32_t utf8_lead4 = 0x80000000;  // lead of a 4-byte sequence
}  // namespace tf

// Final states.
enum class Final : uint8_t {
    end = 66,
    invalid = 67,
    block_open = 68,
    block_close = 69,
    paren_open = 70,
    paren_close = 71,
    brace_open = 72,
    brace_close = 73,
    map_open = 74,
    path_slash = 75,
    construct = 76,
    comment = 77,
    comma = 78,
    string = 79,
    word = 80,
    issue = 81,
    integer = 82,
    refinement = 83,
    char_ = 84,
    file = 85,
    binary = 86,
    percent = 87,
    float_ = 88,
    special_float = 89,
    tuple = 90,
    date = 91,
    pair = 92,
    point = 93,
    time = 94,
    money = 95,
    tag = 96,
    url = 97,
    email = 98,
    hex_integer = 99,
    raw_string = 100,
    ref = 101,
};

[[nodiscard]] constexpr uint8_t to_int(Final f) { return static_cast<uint8_t>(f); }
using qor::to_int;

// Start states the scanners switch between.
inline constexpr uint8_t start_normal = 0;
inline constexpr uint8_t start_brace = 4;
inline constexpr uint8_t start_point = 35;
inline constexpr uint8_t start_path = 59;

namespace detail {

struct ClassTable {
    std::array<uint32_t, 256> entry{};
};

constexpr ClassTable make_class_table() {
    ClassTable t;
    auto set = [&](int b, uint32_t c) { t.entry[static_cast<size_t>(b)] = c; };
    for (int b = 0; b < 256; b++) set(b, cls::letter);
    for (int b = 1; b < 0x20; b++) set(b, cls::control);
    set(0, cls::nul | tf::nul);
    set('\t', cls::blank);
    set('\r', cls::blank);
    set(' ', cls::blank);
    set('\n', cls::lf);
    for (int b = '1'; b <= '9'; b++) set(b, cls::digit);
    set('0', cls::zero);
    set('[', cls::lbracket);
    set(']', cls::rbracket);
    set('(', cls::lparen);
    set(')', cls::rparen);
    set('{', cls::lbrace);
    set('}', cls::rbrace);
    set('"', cls::quote);
    set('#', cls::hash | tf::hash);
    set('\'', cls::apostrophe | tf::apostrophe);
    set(':', cls::colon | tf::colon);
    set('x', cls::x);
    set('X', cls::x);
    set('T', cls::t);
    set('h', cls::h);
    set('e', cls::e_lower | tf::exponent);
    set('E', cls::e_upper | tf::exponent);
    for (int b : {'a', 'b', 'c', 'd', 'f'}) set(b, cls::hex_lower);
    for (int b : {'A', 'B', 'C', 'D', 'F'}) set(b, cls::hex_upper);
    set('/', cls::slash);
    set('\\', cls::backslash);
    set('<', cls::less | tf::less);
    set('>', cls::greater | tf::greater);
    set('=', cls::equal);
    set('%', cls::percent | tf::percent);
    set(',', cls::comma | tf::comma);
    set(';', cls::semicolon);
    set('@', cls::at);
    set('.', cls::dot | tf::dot);
    set('$', cls::dollar);
    set('+', cls::plus | tf::sign);
    set('-', cls::minus | tf::sign);
    set('^', cls::caret | tf::caret);
    set(0x7F, cls::continuation);
    for (int b = 0x80; b <= 0xBF; b++) set(b, cls::continuation);
    set(0xC0, cls::invalid);
    set(0xC1, cls::invalid);
    for (int b = 0xC2; b <= 0xEF; b++) set(b, cls::letter | tf::utf8_lead);
    for (int b = 0xF0; b <= 0xF7; b++) set(b, cls::letter | tf::utf8_lead4);
    for (int b = 0xF8; b <= 0xFF; b++) set(b, cls::invalid);
    return t;
}

// The class named by a token of the row notation below, or -1.
constexpr int class_of_name(const char* n, size_t len) {
    if (len == 1) {
        switch (n[0]) {
            case '0': return cls::zero;
            case '[': return cls::lbracket;
            case ']': return cls::rbracket;
            case '(': return cls::lparen;
            case ')': return cls::rparen;
            case '{': return cls::lbrace;
            case '}': return cls::rbrace;
            case '"': return cls::quote;
            case '#': return cls::hash;
            case '\'': return cls::apostrophe;
            case ':': return cls::colon;
            case 'T': return cls::t;
            case 'h': return cls::h;
            case 'e': return cls::e_lower;
            case 'E': return cls::e_upper;
            case '/': return cls::slash;
            case '\\': return cls::backslash;
            case '<': return cls::less;
            case '>': return cls::greater;
            case '=': return cls::equal;
            case '%': return cls::percent;
            case ',': return cls::comma;
            case ';': return cls::semicolon;
            case '@': return cls::at;
            case '.': return cls::dot;
            case '$': return cls::dollar;
            case '+': return cls::plus;
            case '-': return cls::minus;
            case '^': return cls::caret;
            default: return -1;
        }
    }
    auto is = [&](const char* word) {
        size_t k = 0;
        while (word[k] && k < len && word[k] == n[k]) k++;
        return k == len && word[k] == 0;
    };
    if (is("blank")) return cls::blank;
    if (is("LF")) return cls::lf;
    if (is("1-9")) return cls::digit;
    if (is("x/X")) return cls::x;
    if (is("a-d/f")) return cls::hex_lower;
    if (is("A-D/F")) return cls::hex_upper;
    if (is("control")) return cls::control;
    if (is("x80-xBF")) return cls::continuation;
    if (is("letter")) return cls::letter;
    if (is("invalid")) return cls::invalid;
    if (is("NUL")) return cls::nul;
    return -1;
}

// One row of the transition table: the target for every class not named,
// then groups "class names -> target" separated by "|".
struct Row {
    uint8_t otherwise;
    std::string_view groups;
};

// Fills one row from its notation in one pass over its words; a name that
// is not a class makes the constant evaluation fail, so a typo cannot
// compile.
constexpr void fill_row(uint8_t* row, const Row& r) {
    for (int c = 0; c < class_count; c++) row[c] = r.otherwise;
    int pending[class_count] = {};
    int n_pending = 0;
    bool target_next = false;
    const char* p = r.groups.data();
    const char* end = p + r.groups.size();
    while (p < end) {
        while (p < end && *p == ' ') p++;
        const char* w = p;
        while (p < end && *p != ' ') p++;
        const size_t len = static_cast<size_t>(p - w);
        if (len == 0) break;
        if (target_next) {
            int target = 0;
            for (size_t k = 0; k < len; k++) target = target * 10 + (w[k] - '0');
            for (int k = 0; k < n_pending; k++) row[pending[k]] = static_cast<uint8_t>(target);
            n_pending = 0;
            target_next = false;
        } else if (len == 2 && w[0] == '-' && w[1] == '>') {
            target_next = true;
        } else if (len == 1 && w[0] == '|') {
            if (n_pending) throw "group without a target";
        } else {
            const int c = class_of_name(w, len);
            if (c < 0) throw "unknown class name";
            pending[n_pending++] = c;
        }
    }
    if (n_pending || target_next) throw "row ends inside a group";
}

// The rows, in state order. The notation mirrors how the automaton is
// reasoned about: which byte classes leave the state's usual target.
inline constexpr Row rows[inner_state_count] = {
    /* 0 start */ {52, "blank LF control -> 0 | 1-9 0 -> 23 | [ -> 68 | ] -> 69 | ( -> 70 | ) -> 71 | { -> 72 | } \\ x80-xBF invalid -> 67 | \" -> 2 | # -> 16 | ' : -> 51 | E A-D/F -> 40 | / -> 13 | < -> 43 | = -> 58 | % -> 6 | , -> 78 | ; -> 1 | @ -> 57 | . -> 49 | $ -> 36 | + - -> 47 | NUL -> 66"},
    /* 1 comment */ {1, "LF NUL -> 77 | invalid -> 67"},
    /* 2 string */ {2, "LF invalid NUL -> 67 | \" -> 79 | ^ -> 3"},
    /* 3 string escape */ {2, "invalid NUL -> 67"},
    /* 4 brace string */ {4, "{ -> 72 | } -> 73 | ^ -> 5 | invalid NUL -> 67"},
    /* 5 brace escape */ {4, "invalid NUL -> 67"},
    /* 6 after % */ {7, "blank LF [ ] ( ) } ; @ control NUL -> 80 | { -> 10 | \" -> 8 | : -> 54 | % -> 9 | invalid -> 67"},
    /* 7 file */ {7, "blank LF [ ] ( ) { } : ; @ NUL -> 85 | \" invalid -> 67"},
    /* 8 quoted file */ {8, "LF invalid NUL -> 67 | \" -> 85"},
    /* 9 after %% */ {7, "blank LF [ ] ( ) } \" \\ ; control NUL -> 80 | { -> 10 | % -> 9 | invalid -> 67"},
    /* 10 raw string */ {10, "} -> 11 | invalid NUL -> 67"},
    /* 11 raw after } */ {10, "} -> 11 | % -> 12 | invalid NUL -> 67"},
    /* 12 raw after }% */ {67, "blank LF [ ] ( ) { \" < ; control NUL -> 100 | % -> 12"},
    /* 13 after / */ {14, "blank LF [ ] ( ) { } \" # ; @ control NUL -> 80 | : -> 53 | / -> 15 | , invalid -> 67"},
    /* 14 refinement */ {14, "blank LF [ ] ( ) { } \" / ; @ control NUL -> 83 | : , invalid -> 67"},
    /* 15 after // */ {52, "blank LF [ ] ( ) { } \" # ; @ control NUL -> 80 | / -> 15 | % , $ invalid -> 67"},
    /* 16 after # */ {22, "blank LF ] ) } : < > , invalid -> 67 | [ -> 74 | ( -> 21 | { -> 17 | \" -> 19 | ; @ control NUL -> 81"},
    /* 17 binary */ {67, "blank LF 1-9 0 x/X T h e E a-d/f A-D/F / = + letter -> 17 | } -> 86 | ; -> 18"},
    /* 18 binary comment */ {18, "LF -> 17 | invalid NUL -> 67"},
    /* 19 char */ {19, "\" -> 84 | ^ -> 20 | invalid NUL -> 67"},
    /* 20 char escape */ {19, "invalid NUL -> 67"},
    /* 21 construction */ {21, ") -> 76 | invalid NUL -> 67"},
    /* 22 issue */ {22, "blank LF [ ] ( ) { } \" ; @ control NUL -> 81 | : / invalid -> 67"},
    /* 23 integer */ {82, "1-9 0 ' -> 23 | # -> 16 | : -> 31 | x/X -> 33 | T / - -> 30 | h -> 42 | e -> 26 | E -> 27 | a-d/f \\ > = $ + ^ x80-xBF letter invalid -> 67 | A-D/F -> 39 | % -> 87 | @ -> 56 | . -> 24"},
    /* 24 float . */ {67, "blank LF [ ] ( ) { } \" / < , ; control NUL -> 88 | 1-9 0 ' -> 25 | # -> 28 | x/X -> 33 | e E -> 26 | % -> 87"},
    /* 25 fraction */ {88, "1-9 0 ' -> 25 | # T h a-d/f A-D/F \\ > = $ + - ^ x80-xBF letter invalid -> 67 | x/X -> 33 | e E -> 26 | % -> 87 | @ -> 56 | . -> 29"},
    /* 26 exponent */ {67, "blank LF [ ] ( ) { } \" : / < , ; control NUL -> 88 | 1-9 0 + - -> 26 | @ -> 56"},
    /* 27 digits E */ {88, "1-9 0 -> 27 | # ' x/X T e a-d/f \\ > = ; $ ^ x80-xBF letter invalid -> 67 | h -> 42 | E A-D/F -> 40 | % -> 87 | @ -> 56 | . -> 29 | + - -> 26"},
    /* 28 special float */ {89, "1-9 -> 88 | # ' : % @ $ ^ invalid -> 67 | x/X T h e E a-d/f A-D/F > = . + - x80-xBF letter -> 28"},
    /* 29 tuple */ {67, "blank LF [ ] ( ) { } \" : / < ; control NUL -> 90 | 1-9 0 . -> 29"},
    /* 30 date */ {30, "blank LF [ ] ( ) { } \" < ; $ control NUL -> 91 | % , @ ^ x80-xBF invalid -> 67"},
    /* 31 time : */ {67, "1-9 0 -> 32"},
    /* 32 time */ {67, "blank LF [ ] ( ) { } \" / < ; control NUL -> 94 | 1-9 0 : . -> 32"},
    /* 33 pair x */ {67, "1-9 0 + - -> 34 | @ -> 56"},
    /* 34 pair */ {67, "blank LF [ ] ( ) { } \" : / < ; control NUL -> 92 | 1-9 0 e E . -> 34 | @ -> 56"},
    /* 35 point */ {67, "blank 1-9 0 ] # e E a-d/f A-D/F , . + - letter -> 35 | ) -> 93"},
    /* 36 money $ */ {67, "1-9 0 -> 37"},
    /* 37 money */ {67, "blank LF [ ] ( ) { } \" # : / < ; control NUL -> 95 | 1-9 0 ' -> 37 | . -> 38"},
    /* 38 money decimals */ {67, "blank LF [ ] ( ) { } \" # : / < ; control NUL -> 95 | 1-9 0 ' -> 38"},
    /* 39 hex after digits */ {67, "1-9 0 E A-D/F -> 39 | h -> 41 | @ -> 56"},
    /* 40 hex letters */ {80, "1-9 0 E A-D/F -> 40 | ' x/X T e a-d/f < > = . + - ^ x80-xBF letter -> 52 | : -> 53 | h -> 41 | / -> 75 | % , invalid -> 67 | @ -> 56 | $ -> 37"},
    /* 41 hex h */ {52, "blank LF [ ] ( ) { } \" \\ ; control NUL -> 99 | # % , invalid -> 67 | : -> 53 | / -> 75 | @ -> 56 | $ -> 37"},
    /* 42 digits h */ {67, "blank LF [ ] ( ) { } \" \\ < ; control NUL -> 99 | / -> 75 | @ -> 56 | $ -> 37"},
    /* 43 after < */ {44, "blank LF [ ] ( ) { } \" ; control NUL -> 80 | ' -> 46 | : -> 53 | < -> 43 | > = - -> 52 | invalid -> 67"},
    /* 44 tag */ {44, "\" -> 45 | ' -> 46 | > -> 96 | invalid NUL -> 67"},
    /* 45 tag \"...\" */ {45, "\" -> 44 | invalid NUL -> 67"},
    /* 46 tag '...' */ {46, "' -> 44 | invalid NUL -> 67"},
    /* 47 sign */ {52, "blank LF [ ] ( ) { } \" # \\ ; control NUL -> 80 | 1-9 0 -> 23 | ' % ^ invalid -> 67 | / -> 75 | . -> 49 | $ -> 37"},
    /* 48 ' or : then sign */ {52, "blank LF [ ] ( ) { } \" # \\ ; control NUL -> 80 | ' % $ ^ invalid -> 67 | / -> 75"},
    /* 49 leading . */ {52, "blank LF [ ] ( ) { } \" # \\ ; control NUL -> 80 | 1-9 0 + - -> 50 | : -> 53 | / -> 75 | % , $ invalid -> 67 | @ -> 56"},
    /* 50 . digits */ {67, "blank LF [ ] ( ) { } \" : / < control NUL -> 88 | 1-9 0 e E + - -> 50 | x/X -> 33 | % -> 87 | @ -> 56"},
    /* 51 ' or : */ {67, "x/X T h e E a-d/f A-D/F > . ^ x80-xBF letter -> 52 | / -> 13 | < -> 43 | = -> 58 | % -> 54 | + - -> 48"},
    /* 52 word */ {52, "blank LF [ ] ( ) { } \" # \\ < ; control NUL -> 80 | : -> 53 | / -> 75 | % , invalid -> 67 | @ -> 56 | $ -> 36"},
    /* 53 word : */ {55, "blank LF [ ] ( ) { } \" \\ ; control NUL -> 80 | < invalid -> 67"},
    /* 54 %: */ {67, "blank LF [ ] ( ) { } \\ ; control NUL -> 80 | % -> 54"},
    /* 55 url */ {55, "blank LF [ ] ( ) { } \" \\ < ; control NUL -> 97 | > ^ invalid -> 67"},
    /* 56 email */ {98, "1-9 0 x/X T h e E a-d/f A-D/F % . + - x80-xBF letter -> 56 | # ' : > = , @ $ ^ invalid -> 67"},
    /* 57 ref */ {57, "blank LF [ ] ( ) { } \" < ; control NUL -> 101 | # ' \\ > = , @ $ ^ invalid -> 67"},
    /* 58 = */ {52, "blank LF [ ] ( ) { } \" : \\ ; control NUL -> 80 | # % , @ $ invalid -> 67 | / -> 75"},
    /* 59 path element */ {67, "1-9 0 -> 60 | ( -> 70 | ) -> 71 | \" -> 2 | # -> 63 | ' : -> 61 | x/X T h e E a-d/f A-D/F > = . x80-xBF letter -> 62 | < -> 43 | @ -> 57 | $ -> 36 | + - -> 64"},
    /* 60 path integer */ {67, "blank LF [ ] ( ) { } \" : / < ; control NUL -> 82 | 1-9 0 ' -> 60 | x/X -> 33 | e E -> 26 | % -> 87 | @ -> 56 | . -> 24"},
    /* 61 path ' or : */ {67, "x/X T h e E a-d/f A-D/F < > = . + - x80-xBF letter -> 62"},
    /* 62 path word */ {62, "blank LF [ ] ( ) { } \" : / \\ ; control NUL -> 80 | # % , invalid -> 67 | @ -> 56 | $ -> 36"},
    /* 63 path # */ {22, "blank LF ] ( ) { } : / < > = , ; @ control invalid NUL -> 67 | [ -> 21 | \" -> 19"},
    /* 64 path sign */ {80, "1-9 0 -> 60 | # ' < % , ^ invalid -> 67 | x/X T h e E a-d/f A-D/F > = . x80-xBF letter -> 62 | @ -> 56 | $ -> 36 | + - -> 64"},
};

struct Transitions {
    std::array<uint8_t, inner_state_count * class_count> next{};
};

constexpr Transitions make_transitions() {
    Transitions t;
    for (int s = 0; s < inner_state_count; s++) fill_row(&t.next[static_cast<size_t>(s * class_count)], rows[s]);
    return t;
}

constexpr std::array<TypeId, state_count> make_type_table() {
    using T = TypeId;
    std::array<TypeId, state_count> t{};
    auto range = [&](int from, int to, T type) {
        for (int s = from; s <= to; s++) t[static_cast<size_t>(s)] = type;
    };
    range(2, 5, T::string);
    range(6, 9, T::file);
    range(10, 12, T::string);
    range(13, 13, T::word);
    range(14, 14, T::refinement);
    range(15, 15, T::word);
    range(16, 16, T::issue);
    range(17, 17, T::binary);
    range(19, 20, T::char_);
    range(22, 22, T::issue);
    range(23, 23, T::integer);
    range(24, 28, T::float_);
    range(29, 29, T::tuple);
    range(30, 30, T::date);
    range(31, 32, T::time);
    range(33, 34, T::pair);
    range(35, 35, T::point2d);
    range(36, 38, T::money);
    range(40, 40, T::integer);
    range(41, 41, T::word);
    range(42, 42, T::integer);
    range(43, 46, T::tag);
    range(47, 49, T::word);
    range(50, 50, T::float_);
    range(51, 52, T::word);
    range(53, 53, T::set_word);
    range(54, 54, T::word);
    range(55, 55, T::url);
    range(56, 56, T::email);
    range(57, 57, T::ref);
    range(58, 58, T::word);
    range(59, 59, T::path);
    range(60, 60, T::integer);
    range(61, 62, T::word);
    range(63, 63, T::issue);
    range(64, 64, T::word);
    // Final states: the token's type.
    range(67, 67, T::error);
    range(73, 73, T::string);
    range(79, 79, T::string);
    range(80, 80, T::word);
    range(81, 81, T::issue);
    range(82, 82, T::integer);
    range(83, 83, T::refinement);
    range(84, 84, T::char_);
    range(85, 85, T::file);
    range(86, 86, T::binary);
    range(87, 87, T::percent);
    range(88, 89, T::float_);
    range(90, 90, T::tuple);
    range(91, 91, T::date);
    range(92, 92, T::pair);
    range(93, 93, T::point2d);
    range(94, 94, T::time);
    range(95, 95, T::money);
    range(96, 96, T::tag);
    range(97, 97, T::url);
    range(98, 98, T::email);
    range(99, 99, T::integer);
    range(100, 100, T::string);
    range(101, 101, T::ref);
    return t;
}

}  // namespace detail

inline constexpr detail::ClassTable class_table = detail::make_class_table();
inline constexpr detail::Transitions transitions = detail::make_transitions();
inline constexpr std::array<TypeId, state_count> type_table = detail::make_type_table();

// Leading blanks are consumed by the start state only: every byte that keeps
// state 0 is a blank to skip.
[[nodiscard]] constexpr uint8_t blank_count(uint8_t state) { return state == 0 ? 1 : 0; }
[[nodiscard]] constexpr uint8_t class_of(uint8_t byte) { return static_cast<uint8_t>(class_table.entry[byte]); }
[[nodiscard]] constexpr uint8_t next_state(uint8_t state, uint8_t c) {
    return transitions.next[static_cast<size_t>(state) * class_count + c];
}

static_assert(next_state(0, cls::nul) == 66);
static_assert(next_state(23, cls::h) == 42);

// The blank code points that the automaton reads as letters and the word
// scanner treats as blanks.
[[nodiscard]] constexpr bool is_blank_code_point(uint32_t cp) {
    switch (cp) {
        case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
        case 0x3000: case 0x180E: case 0x200B: case 0x200C:
            return true;
        default:
            return cp >= 0x2000 && cp <= 0x200A;
    }
}

// The result of cutting one token.
struct Token {
    uint32_t start = 0;      // first byte (leading blanks skipped)
    uint32_t end = 0;        // position of the stop byte (not consumed)
    uint32_t flags = 0;      // token flags ORed over its bytes
    uint32_t lines = 0;      // line feeds crossed, leading blanks included
    uint8_t state = 0;       // final state
    uint8_t previous = 0;    // inner state it was reached from
};

// Cuts one token of input[pos, end) from `start_state`. Each byte costs one
// class lookup and one transition.
[[nodiscard]] inline Token cut_token(const uint8_t* input, uint32_t pos, uint32_t end, uint8_t start_state) {
    Token t;
    uint8_t state = start_state;
    uint8_t previous = state;
    uint32_t blanks = 0, lines = 0, flags = 0;
    const uint32_t begin = pos;
    bool final_reached = false;
    while (pos < end) {
        const uint32_t entry = class_table.entry[input[pos]];
        flags |= entry;
        const uint8_t c = static_cast<uint8_t>(entry);
        previous = state;
        state = next_state(state, c);
        blanks += blank_count(state);
        if (state >= first_final) {
            final_reached = true;
            break;
        }
        lines += c == cls::lf;
        pos++;
    }
    if (!final_reached) {
        previous = state;
        state = next_state(state, cls::nul);
    }
    t.start = begin + blanks;
    t.end = pos;
    t.flags = flags & 0xFFFFFF00u;
    t.lines = lines;
    t.state = state;
    t.previous = previous;
    return t;
}

}  // namespace qor::lexer
