// The natives table, the built-in interface blocks and native! values.
#include "runtime/eval/natives.h"

#include "runtime/datatypes/function.h"
#include "runtime/error_fire.h"
#include "runtime/eval/arg_cache.h"
#include "runtime/eval/data_stack.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/series_tail.h"
#include "runtime/strings/string_core.h"
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
    {"if", "\"If conditional expression is truthy, evaluate block; else return NONE\" cond [any-type!] then-blk [block!]"},  // 1
    {"unless", "\"If conditional expression is falsy, evaluate block; else return NONE\" cond [any-type!] then-blk [block!]"},  // 2
    {"either", "\"If conditional expression is truthy, evaluate the first branch; else evaluate the alternative\" cond [any-type!] true-blk [block!] false-blk [block!]"},  // 3
    {"any", "\"Evaluates, returning at the first that is truthy\" conds [block!]"},  // 4
    {"all", "\"Evaluates, returning at the first that is not truthy\" conds [block!]"},  // 5
    {"while", "\"Evaluates body as long as condition block evaluates to truthy value\" cond [block!] body [block!]"},  // 6
    {"until", "\"Evaluates body until it is truthy\" body [block!]"},  // 7
    {"loop", "\"Evaluates body a number of times\" count [integer! float!] body [block!]"},  // 8
    {"repeat", "\"Evaluates body a number of times, tracking iteration count\" 'word [word!] value [integer! float!] body [block!]"},  // 9
    {"forever", "\"Evaluates body repeatedly forever\" body [block!]"},  // 10
    {"foreach", "\"Evaluates body for each value in a series\" 'word [word! block!] series [series! map!] body [block!]"},  // 11
    {"forall", "\"Evaluates body for all values in a series\" 'word [word!] body [block!]"},  // 12
    {"remove-each", "\"Removes values for each block that returns truthy value\" 'word [word! block!] data [series!] body [block!]"},  // 13
    {"func", "\"Defines a function with a given spec and body\" spec [block!] body [block!]"},  // 14
    {"function", "\"Defines a function, making all set-words found in body, local\" spec [block!] body [block!] /extern"},  // 15
    {"does", "\"Defines a function with no arguments or local variables\" body [block!]"},  // 16
    {"has", "\"Defines a function with local variables, but no arguments\" vars [block!] body [block!]"},  // 17
    {"switch", "\"Evaluates the first block following the value found in cases\" value [any-type!] cases [block!] /default case [block!]"},  // 18
    {"case", "\"Evaluates the block following the first truthy condition\" cases [block!] /all"},  // 19
    {"do", "\"Evaluates a value, returning the last evaluation result\" value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]"},  // 20
    {"get", "\"Returns the value a word refers to\" word [any-word! any-path! object!] /any /case return: [any-type!]"},  // 21
    {"set", "\"Sets the value(s) one or more words refer to\" word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some return: [any-type!]"},  // 22
    {"print", "\"Outputs a value followed by a newline\" value [any-type!]"},  // 23
    {"prin", "\"Outputs a value\" value [any-type!]"},  // 24
    {"equal?", "\"Returns TRUE if two values are equal\" value1 [any-type!] value2 [any-type!]"},  // 25
    {"not-equal?", "\"Returns TRUE if two values are not equal\" value1 [any-type!] value2 [any-type!]"},  // 26
    {"strict-equal?", "\"Returns TRUE if two values are equal, and also the same datatype\" value1 [any-type!] value2 [any-type!]"},  // 27
    {"lesser?", "\"Returns TRUE if the first value is less than the second\" value1 [any-type!] value2 [any-type!]"},  // 28
    {"greater?", "\"Returns TRUE if the first value is greater than the second\" value1 [any-type!] value2 [any-type!]"},  // 29
    {"lesser-or-equal?", "\"Returns TRUE if the first value is less than or equal to the second\" value1 [any-type!] value2 [any-type!]"},  // 30
    {"greater-or-equal?", "\"Returns TRUE if the first value is greater than or equal to the second\" value1 [any-type!] value2 [any-type!]"},  // 31
    {"same?", "\"Returns TRUE if two values have the same identity\" value1 [any-type!] value2 [any-type!]"},  // 32
    {"not", "\"Returns the boolean complement of a value\" value [any-type!]"},  // 33
    {"type?", "\"Returns the datatype of a value\" value [any-type!] /word"},  // 34
    {"reduce", "\"Returns a copy of a block, evaluating all expressions\" value [any-type!] /into out [any-block!]"},  // 35
    {"compose", "\"Returns a copy of a block, evaluating only parens\" value [block!] /deep /only /into out [any-block!]"},  // 36
    {"stats", "\"Returns interpreter statistics\" /show /info return: [integer! block!]"},  // 37
    {"bind", "\"Bind words to a context; returns rebound words\" word [block! any-word!] context [any-word! any-object! function!] /copy return: [block! any-word!]"},  // 38
    {"in", "\"Returns the given word bound to the object's context\" object [any-object! any-function!] word [any-word! refinement!]"},  // 39
    {"parse", "\"Process a series using dialected grammar rules\" input [binary! any-block! any-string!] rules [block!] /case /part length [number! series!] /trace callback [function!] return: [logic! block!]"},  // 40
    {"union", "\"Returns the union of two data sets\" set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset!]"},  // 41
    {"intersect", "\"Returns the intersection of two data sets\" set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset!]"},  // 42
    {"unique", "\"Returns the data set with duplicates removed\" set [block! hash! string!] /case /skip size [integer!] return: [block! hash! string!]"},  // 43
    {"difference", "\"Returns the special difference of two data sets\" set1 [block! hash! string! bitset! typeset! date!] set2 [block! hash! string! bitset! typeset! date!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset! time!]"},  // 44
    {"exclude", "\"Returns the first data set less the second data set\" set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!] return: [block! hash! string! bitset! typeset!]"},  // 45
    {"complement?", "\"Returns TRUE if the bitset is complemented\" bits [bitset!]"},  // 46
    {"dehex", "\"Converts URL-style hex encoded (%xx) strings\" value [any-string!] return: [string!]"},  // 47
    {"enhex", "\"Encode URL-style hex encoded (%xx) strings\" value [any-string!] return: [string!]"},  // 48
    {"negative?", "\"Returns TRUE if the number is negative\" number [number! money! time!] return: [logic!]"},  // 49
    {"positive?", "\"Returns TRUE if the number is positive\" number [number! money! time!] return: [logic!]"},  // 50
    {"max", "\"Returns the greater of the two values\" value1 [scalar! series!] value2 [scalar! series!]"},  // 51
    {"min", "\"Returns the lesser of the two values\" value1 [scalar! series!] value2 [scalar! series!]"},  // 52
    {"shift", "\"Perform a bit shift operation. Right shift (decreasing) by default\" data [integer!] bits [integer!] /left /logical return: [integer!]"},  // 53
    {"to-hex", "\"Converts numeric value to a hex issue! datatype (with leading # and 0's)\" value [integer!] /size length [integer!] return: [issue!]"},  // 54
    {"sine", "\"Returns the trigonometric sine\" angle [float! integer!] /radians return: [float!]"},  // 55
    {"cosine", "\"Returns the trigonometric cosine\" angle [float! integer!] /radians return: [float!]"},  // 56
    {"tangent", "\"Returns the trigonometric tangent\" angle [float! integer!] /radians return: [float!]"},  // 57
    {"arcsine", "\"Returns the trigonometric arcsine (in degrees by default)\" sine [float! integer!] /radians return: [float!]"},  // 58
    {"arccosine", "\"Returns the trigonometric arccosine (in degrees by default)\" cosine [float! integer!] /radians return: [float!]"},  // 59
    {"arctangent", "\"Returns the trigonometric arctangent (in degrees by default)\" tangent [float! integer!] /radians return: [float!]"},  // 60
    {"arctangent2", "\"Returns the smallest angle between the vectors (1,0) and (x,y) in degrees by default\" y [float! integer!] x [float! integer!] /radians return: [float!]"},  // 61
    {"NaN?", "\"Returns TRUE if the number is Not-a-Number\" value [number!] return: [logic!]"},  // 62
    {"log-2", "\"Return the base-2 logarithm\" value [float! integer! percent!] return: [float!]"},  // 63
    {"log-10", "\"Returns the base-10 logarithm\" value [float! integer! percent!] return: [float!]"},  // 64
    {"log-e", "\"Returns the natural (base-E) logarithm of the given value\" value [float! integer! percent!] return: [float!]"},  // 65
    {"exp", "\"Raises E (the base of natural logarithm) to the power specified\" value [float! integer! percent!] return: [float!]"},  // 66
    {"square-root", "\"Returns the square root of a number\" value [float! integer! percent!] return: [float!]"},  // 67
    {"construct", "\"Makes a new object from an unevaluated spec; standard logic words are evaluated\" block [block!] /with object [object!] /only \"Don't evaluate standard logic words\""},  // 68
    {"value?", "\"Returns TRUE if the word has a value\" value [word!] return: [logic!]"},  // 69
    {"try", "\"Tries to DO a block and returns its value or an error\" block [block!] /all /keep"},  // 70
    {"uppercase", "\"Converts string of characters to uppercase\" string [any-string! char!] /part limit [number! any-string!] return: [any-string! char!]"},  // 71
    {"lowercase", "\"Converts string of characters to lowercase\" string [any-string! char!] /part limit [number! any-string!] return: [any-string! char!]"},  // 72
    {"as-pair", "\"Combine X and Y values into a pair\" x [integer! float!] y [integer! float!]"},  // 73
    {"as-point2D", "\"Combine X and Y values into a 2D point\" x [integer! float!] y [integer! float!]"},  // 74
    {"as-point3D", "\"Combine X, Y and Z values into a 3D point\" x [integer! float!] y [integer! float!] z [integer! float!]"},  // 75
    {"as-money", "\"Combine currency code and amount into a monetary value\" currency [word!] amount [integer! float!] return: [money!]"},  // 76
    {"break", "\"Breaks out of a loop, while, until, repeat, foreach, etc\" /return value [any-type!]"},  // 77
    {"continue", "\"Throws control back to top of loop\""},  // 78
    {"exit", "\"Exits a function, returning no value\""},  // 79
    {"return", "\"Returns a value from a function\" value [any-type!]"},  // 80
    {"throw", "\"Throws control back to a previous catch\" value [any-type!] /name word [word!]"},  // 81
    {"catch", "\"Catches a throw from a block and returns its value\" block [block!] /name word [word! block!]"},  // 82
    {"extend", "\"Extend an object or map value with list of key and value pairs\" obj [object! map!] spec [block! hash! map!] /case"},  // 83
    {"debase", "\"Decodes binary-coded string (BASE-64 default) to binary value\" value [string!] /base base-value [integer!]"},  // 84
    {"to-local-file", "\"Converts a Qor file path to the local system file path\" path [file! string!] /full return: [string!]"},  // 85
    {"wait", "\"Waits for a duration in seconds or specified time\" value [number! time! block! none!] /all"},  // 86
    {"checksum", "\"Computes a checksum, CRC, hash, or HMAC\" data [binary! string! file!] method [word!] \"MD5 SHA1 SHA256 SHA384 SHA512 CRC32 TCP ADLER32 hash\" /with spec [any-string! binary! integer!] \"String or binary for MD5/SHA* HMAC key, integer for hash table size\" return: [integer! binary!]"},  // 87
    {"unset", "\"Unsets the value of a word in its current context\" word [word! block!]"},  // 88
    {"new-line", "\"Sets or clears the new-line marker within a list series\" position [any-list!] value [logic!] /all /skip size [integer!] return: [any-list!]"},  // 89
    {"new-line?", "\"Returns the state of the new-line marker within a list series\" position [any-list!] return: [logic!]"},  // 90
    {"enbase", "\"Encodes a string into a binary-coded string (BASE-64 default)\" value [binary! string!] /base base-value [integer!]"},  // 91
    {"context?", "\"Returns the context to which a word is bound\" word [any-word!] return: [object! function! none!]"},  // 92
    {"set-env", "\"Sets the value of an operating system environment variable (for current process)\" var [any-string! any-word!] value [string! none!]"},  // 93
    {"get-env", "\"Returns the value of an OS environment variable (for current process)\" var [any-string! any-word!] return: [string! none!]"},  // 94
    {"list-env", "\"Returns a map of OS environment variables (for current process)\" return: [map!]"},  // 95
    {"now", "\"Returns date and time\" /year /month /day /time /zone /date /weekday /yearday /precise /utc return: [date! time! integer!]"},  // 96
    {"sign?", "\"Returns sign of N as 1, 0, or -1 (to use as a multiplier)\" number [number! money! time!] return: [integer!]"},  // 97
    {"as", "\"Coerce a series into a compatible datatype without copying it\" type [datatype! block! paren! any-path! any-string!] spec [block! paren! any-path! any-string!]"},  // 98
    {"call", "\"Executes a shell command to run another process\" cmd [string! file!] /wait /show /console /shell /input in [string! file! binary!] /output out [string! file! binary!] /error err [string! file! binary!] return: [integer!]"},  // 99
    {"zero?", "\"Returns TRUE if the value is zero\" value [number! money! pair! time! char! tuple! any-point!] return: [logic!]"},  // 100
    {"size?", "\"Returns the size of a file content\" file [file!] return: [integer! none!]"},  // 101
    {"browse", "\"Opens the default browser at the specified URL or the default application for a file\" url [url! file!]"},  // 102
    {"compress", "\"Compresses data\" data [any-string! binary!] method [word!] /level lvl [integer!] return: [binary!]"},  // 103
    {"decompress", "\"Decompresses data\" data [binary!] method [word!] /size sz [integer!] return: [binary!]"},  // 104
    {"recycle", "\"Recycles unused memory and returns memory amount still in use\" /on /off return: [integer! unset!]"},  // 105
    {"transcode", "\"Translates UTF-8 binary source to values. Returns one or several values in a block\" src [binary! string!] /next /one /prescan /scan /part length [integer! binary!] /into dst [block!] /trace callback [function! routine!] return: [block!]"},  // 106
    {"apply", "\"Apply a function to a reduced block of arguments\" func [word! path! any-function!] args [block!] /all /safer"},  // 107
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
        } else if (c == '"') {
            // A doc string, up to the next double quote.
            size_t end = text.find('"', i + 1);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view doc = text.substr(i + 1, end - i - 1);
            const Cell* s = str::push_new(reinterpret_cast<const uint8_t*>(doc.data()), doc.size());
            const Cell copy = *s;
            *series_tail::alloc_cell(inner ? inner : outer) = copy;
            stack::pop();
            i = end + 1;
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
