// The natives table, the built-in interface blocks and native! values.
#include "runtime/eval/natives.h"

#include "runtime/datatypes/function.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/arg_cache.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::natives {

namespace {

struct Entry {
    std::string_view word;
    std::string_view spec;
};

// The natives in number order with their specs.
constexpr Entry entries[native_count] = {
    {"if", "cond [any-type!] then-blk [block!]"},  // 1
    {"unless", "cond [any-type!] then-blk [block!]"},  // 2
    {"either", "cond [any-type!] true-blk [block!] false-blk [block!]"},  // 3
    {"any", "conds [block!]"},  // 4
    {"all", "conds [block!]"},  // 5
    {"while", "cond [block!] body [block!]"},  // 6
    {"until", "body [block!]"},  // 7
    {"loop", "count [integer! float!] body [block!]"},  // 8
    {"repeat", "'word [word!] value [integer! float!] body [block!]"},  // 9
    {"forever", "body [block!]"},  // 10
    {"foreach", "'word [word! block!] series [series! map!] body [block!]"},  // 11
    {"forall", "'word [word!] body [block!]"},  // 12
    {"remove-each", "'word [word! block!] data [series!] body [block!]"},  // 13
    {"func", "spec [block!] body [block!]"},  // 14
    {"function", "spec [block!] body [block!] /extern"},  // 15
    {"does", "body [block!]"},  // 16
    {"has", "vars [block!] body [block!]"},  // 17
    {"switch", "value [any-type!] cases [block!] /default case [block!]"},  // 18
    {"case", "cases [block!] /all"},  // 19
    {"do", "value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]"},  // 20
    {"get", "word [any-word! any-path! object!] /any /case return: [any-type!]"},  // 21
    {"set", "word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some return: [any-type!]"},  // 22
    {"print", "value [any-type!]"},  // 23
    {"prin", "value [any-type!]"},  // 24
    {"equal?", "value1 [any-type!] value2 [any-type!]"},  // 25
    {"not-equal?", "value1 [any-type!] value2 [any-type!]"},  // 26
    {"strict-equal?", "value1 [any-type!] value2 [any-type!]"},  // 27
    {"lesser?", "value1 [any-type!] value2 [any-type!]"},  // 28
    {"greater?", "value1 [any-type!] value2 [any-type!]"},  // 29
    {"lesser-or-equal?", "value1 [any-type!] value2 [any-type!]"},  // 30
    {"greater-or-equal?", "value1 [any-type!] value2 [any-type!]"},  // 31
    {"same?", "value1 [any-type!] value2 [any-type!]"},  // 32
    {"not", "value [any-type!]"},  // 33
    {"type?", "value [any-type!] /word"},  // 34
    {"reduce", "value [any-type!] /into out [any-block!]"},  // 35
    {"compose", "value [block!] /deep /only /into out [any-block!]"},  // 36
    {"stats", "/show /info return: [integer! block!]"},  // 37
    {"bind", "word [block! any-word!] context [any-word! any-object! function!] /copy return: [block! any-word!]"},  // 38
    {"in", "object [any-object! any-function!] word [any-word! refinement!]"},  // 39
    {"parse", "input [binary! any-block! any-string!] rules [block!] /case /part length [number! series!] /trace callback [function!] return: [logic! block!]"},  // 40
    {"union", "set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset!]"},  // 41
    {"intersect", "set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset!]"},  // 42
    {"unique", "set [block! hash! string!] /case /skip size [integer!] return: [block! hash! string!]"},  // 43
    {"difference", "set1 [block! hash! string! bitset! typeset! date!] set2 [block! hash! string! bitset! typeset! date!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset! time!]"},  // 44
    {"exclude", "set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset!]"},  // 45
    {"complement?", "bits [bitset!]"},  // 46
    {"dehex", "value [any-string!] return: [string!]"},  // 47
    {"enhex", "value [any-string!] return: [string!]"},  // 48
    {"negative?", "number [number! money! time!] return: [logic!]"},  // 49
    {"positive?", "number [number! money! time!] return: [logic!]"},  // 50
    {"max", "value1 [scalar! series!] value2 [scalar! series!]"},  // 51
    {"min", "value1 [scalar! series!] value2 [scalar! series!]"},  // 52
    {"shift", "data [integer!] bits [integer!] /left /logical return: [integer!]"},  // 53
    {"to-hex", "value [integer!] /size length [integer!] return: [issue!]"},  // 54
    {"sine", "angle [float! integer!] /radians return: [float!]"},  // 55
    {"cosine", "angle [float! integer!] /radians return: [float!]"},  // 56
    {"tangent", "angle [float! integer!] /radians return: [float!]"},  // 57
    {"arcsine", "sine [float! integer!] /radians return: [float!]"},  // 58
    {"arccosine", "cosine [float! integer!] /radians return: [float!]"},  // 59
    {"arctangent", "tangent [float! integer!] /radians return: [float!]"},  // 60
    {"arctangent2", "y [float! integer!] x [float! integer!] /radians return: [float!]"},  // 61
    {"NaN?", "value [number!] return: [logic!]"},  // 62
    {"log-2", "value [float! integer! percent!] return: [float!]"},  // 63
    {"log-10", "value [float! integer! percent!] return: [float!]"},  // 64
    {"log-e", "value [float! integer! percent!] return: [float!]"},  // 65
    {"exp", "value [float! integer! percent!] return: [float!]"},  // 66
    {"square-root", "value [float! integer! percent!] return: [float!]"},  // 67
    {"construct", "block [block!] /with object [object!] /only"},  // 68
    {"value?", "value [word!] return: [logic!]"},  // 69
    {"try", "block [block!] /all /keep"},  // 70
    {"uppercase", "string [any-string! char!] /part limit [number! any-string!] return: [any-string! char!]"},  // 71
    {"lowercase", "string [any-string! char!] /part limit [number! any-string!] return: [any-string! char!]"},  // 72
    {"as-pair", "x [integer! float!] y [integer! float!]"},  // 73
    {"as-point2D", "x [integer! float!] y [integer! float!]"},  // 74
    {"as-point3D", "x [integer! float!] y [integer! float!] z [integer! float!]"},  // 75
    {"as-money", "currency [word!] amount [integer! float!] return: [money!]"},  // 76
    {"break", "/return value [any-type!]"},  // 77
    {"continue", ""},  // 78
    {"exit", ""},  // 79
    {"return", "value [any-type!]"},  // 80
    {"throw", "value [any-type!] /name word [word!]"},  // 81
    {"catch", "block [block!] /name word [word! block!]"},  // 82
    {"extend", "obj [object! map!] spec [block! hash! map!] /case"},  // 83
    {"debase", "value [string!] /base base-value [integer!]"},  // 84
    {"to-local-file", "path [file! string!] /full return: [string!]"},  // 85
    {"wait", "value [number! time! block! none!] /all"},  // 86
    {"checksum", "data [binary! string! file!] method [word!] /with spec [any-string! binary! integer!] return: [integer! binary!]"},  // 87
    {"unset", "word [word! block!]"},  // 88
    {"new-line", "position [any-list!] value [logic!] /all /skip size [integer!] return: [any-list!]"},  // 89
    {"new-line?", "position [any-list!] return: [logic!]"},  // 90
    {"enbase", "value [binary! string!] /base base-value [integer!]"},  // 91
    {"context?", "word [any-word!] return: [object! function! none!]"},  // 92
    {"set-env", "var [any-string! any-word!] value [string! none!]"},  // 93
    {"get-env", "var [any-string! any-word!] return: [string! none!]"},  // 94
    {"list-env", " return: [map!]"},  // 95
    {"now", "/year /month /day /time /zone /date /weekday /yearday /precise /utc return: [date! time! integer!]"},  // 96
    {"sign?", "number [number! money! time!] return: [integer!]"},  // 97
    {"as", "type [datatype! block! paren! any-path! any-string!] spec [block! paren! any-path! any-string!]"},  // 98
    {"call", "cmd [string! file!] /wait /show /console /shell /input in [string! file! binary!] /output out [string! file! binary!] /error err [string! file! binary!] return: [integer!]"},  // 99
    {"zero?", "value [number! money! pair! time! char! tuple! any-point!] return: [logic!]"},  // 100
    {"size?", "file [file!] return: [integer! none!]"},  // 101
    {"browse", "url [url! file!]"},  // 102
    {"compress", "data [any-string! binary!] method [word!] /level lvl [integer!] return: [binary!]"},  // 103
    {"decompress", "data [binary!] method [word!] /size sz [integer!] return: [binary!]"},  // 104
    {"recycle", "/on /off return: [integer! unset!]"},  // 105
    {"transcode", "src [binary! string!] /next /one /prescan /scan /part length [integer! binary!] /into dst [block!] /trace callback [function! routine!] return: [block!]"},  // 106
    {"apply", "func [word! path! any-function!] args [block!] /all /safer"},  // 107
};

Routine table[table_size] = {};

// The native! values the checks read their argument caches from, made on
// first use and kept alive through a mark callback.
Cell checked_natives[native_count + 1] = {};

void mark_checked_natives() {
    for (Cell& native : checked_natives)
        if (type_of(native) == TypeId::native) collector::mark_cell(native);
}
uint32_t next_free = 1;

// A native whose subsystem has not arrived yet.
void not_done(bool, std::span<const int32_t>) { error::fire(error::Id::not_done); }

// Reads one token of the interface notation into a cell appended to the block.
void append_token(NodeId block, std::string_view token) {
    TypeId type = TypeId::word;
    if (token.front() == '\'') {
        type = TypeId::lit_word;
        token.remove_prefix(1);
    } else if (token.front() == ':') {
        type = TypeId::get_word;
        token.remove_prefix(1);
    } else if (token.front() == '/') {
        type = TypeId::refinement;
        token.remove_prefix(1);
    } else if (token.back() == ':') {
        type = TypeId::set_word;
        token.remove_suffix(1);
    }
    Cell w = word::load(token);
    set_type_keep_flags(w, type);
    *series_tail::alloc_cell(block) = w;
}

}  // namespace

Cell spec_block(std::string_view text) {
    const NodeId outer = series::alloc_cells(8);
    stack::push(Cell{to_int(TypeId::block), 0, outer, 0});
    NodeId inner = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ') {
            i++;
        } else if (c == '[') {
            inner = series::alloc_cells(4);
            // Kept on the stack while the outer block grows.
            const Cell* inner_cell = stack::push(Cell{to_int(TypeId::block), 0, inner, 0});
            *series_tail::alloc_cell(outer) = *inner_cell;
            stack::pop();
            i++;
        } else if (c == ']') {
            inner = 0;
            i++;
        } else {
            size_t end = i;
            while (end < text.size() && text[end] != ' ' && text[end] != ']' && text[end] != '[') end++;
            append_token(inner ? inner : outer, text.substr(i, end - i));
            i = end;
        }
    }
    const Cell spec = stack::data.top[-1];
    stack::pop();
    return spec;
}

void fill_table(std::span<const Routine> routines) {
    for (Routine r : routines) {
        if (next_free > table_size) break;
        table[next_free - 1] = r;
        next_free++;
    }
}

void init() {
    static bool marked = false;
    if (!marked) collector::add_mark_callback(mark_checked_natives);
    marked = true;
    for (Cell& native : checked_natives) native = Cell{};
    for (Routine& r : table) r = nullptr;
    next_free = 1;
    Routine routines[native_count];
    for (Routine& r : routines) r = not_done;
    impl::install(routines);
    fill_table(routines);
}

Routine code(uint32_t number) { return number >= 1 && number <= table_size ? table[number - 1] : nullptr; }
uint32_t fill_counter() { return next_free; }

std::string_view word_of(uint32_t number) { return entries[number - 1].word; }
std::string_view spec_text_of(uint32_t number) { return entries[number - 1].spec; }

Cell make(uint32_t number) {
    const Cell* spec = stack::push(spec_block(spec_text_of(number)));
    const Cell value = native::make(TypeId::native, number, *spec);
    stack::pop();
    return value;
}

Cell make_action(Action a, std::string_view spec_text) {
    const Cell* spec = stack::push(spec_block(spec_text));
    const Cell value = native::make(TypeId::action, static_cast<uint32_t>(to_int(a)), *spec);
    stack::pop();
    return value;
}

void define_all() {
    for (uint32_t n = 1; n <= native_count; n++) {
        Cell w = word::load(word_of(n));
        const Cell* value = stack::push(make(n));
        context::set(w, *value);
        stack::pop();
    }
}

namespace {

void check_arguments(uint32_t number, std::span<const int32_t> refinements) {
    Cell& native = checked_natives[number];
    if (type_of(native) != TypeId::native) native = make(number);
    const NodeId cache = arg_cache::of(native);
    const series::Buffer* b = series::buffer(cache);
    uint32_t slot = 0;      // argument cell being checked
    int32_t refinement = -1;
    bool active = true;
    for (uint32_t i = 0; i < b->length(); i++) {
        const Cell e = series::buffer(cache)->cells()[i];
        if (type_of(e) == TypeId::refinement) {
            refinement++;
            const int32_t at = static_cast<size_t>(refinement) < refinements.size() ? refinements[refinement] : -1;
            active = at >= 0;
            if (active) slot = static_cast<uint32_t>(at);
            continue;
        }
        if (type_of(e) != TypeId::typeset) continue;
        if (!active) continue;
        const TypeId t = type_of(stack::data.base[slot]);
        if (!arg_cache::admits(e, t))
            error::expect_arg(word::load(word_of(number)), t, Cell{to_int(TypeId::word), 0, e.w3, 0xFFFFFFFF});
        slot++;
    }
}

}  // namespace

void call(uint32_t number, bool check, std::span<const int32_t> refinements) {
    if (check) check_arguments(number, refinements);
    code(number)(check, refinements);
}

}  // namespace qor::natives
