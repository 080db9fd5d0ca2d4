// The JSON encoder's walk in C++: `json-encode` writes a value as JSON text
// at the tail of an output string. to-json runs it once per document; done
// by the interpreter, the walk costs a function call and a type switch per
// value and a parse pass per string.
//
// What each datatype becomes: none null; logic! true or false; integer! and
// float! their formed text; percent! the formed float of its value;
// string! a JSON string; block! an array and map! or object! an object (keys
// formed when words, molded when not strings); any other list its block;
// any other string its formed text as a JSON string; anything else its
// molded text as a JSON string. In a JSON string, the quote, the backslash
// and the control characters are escaped (\" \\ \b \f \n \r \t, else \u
// with four upper-case hex digits), and so is every character above 127 in
// ASCII mode (as \u, or as a surrogate pair of two above 65535).
#include <array>
#include <cstdio>
#include <string>

#include "runtime/environment/routines.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/cycle_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/strings/string_core.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::environment {
namespace {

// The settings of one run: the indent of a level (empty for compact
// output), the indent level and ASCII mode. The text is gathered here and
// written into the output string once at the end, so the string grows once.
struct Encoder {
    std::u32string indent;
    bool pretty = false;
    int32_t level = 0;
    bool ascii = false;
    Cell* scratch;  // a string on the data stack for formed and molded text
    std::u32string out;

    void put(std::string_view text) {
        for (char c : text) out += static_cast<char32_t>(static_cast<unsigned char>(c));
    }
    void put(char32_t c) { out += c; }
};

// Whether a character is written as it is.
[[nodiscard]] constexpr bool plain_char(uint32_t c, bool ascii) {
    if (c < 32 || c == '"' || c == '\\') return false;
    return !ascii || c <= 127;
}

// "\u" and the four upper-case hex digits of a code unit.
void emit_code_unit(Encoder& e, uint32_t n) {
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04X", n & 0xFFFF);
    e.put(text);
}

void emit_escaped(Encoder& e, uint32_t c) {
    switch (c) {
        case '"': e.put("\\\""); return;
        case '\\': e.put("\\\\"); return;
        case 8: e.put("\\b"); return;
        case 12: e.put("\\f"); return;
        case 10: e.put("\\n"); return;
        case 13: e.put("\\r"); return;
        case 9: e.put("\\t"); return;
        default: break;
    }
    if (c <= 0xFFFF) return emit_code_unit(e, c);
    const uint32_t n = c - 0x10000;
    emit_code_unit(e, (n >> 10) + 0xD800);
    emit_code_unit(e, (n & 1023) + 0xDC00);
}

// The characters of a string (from its index) as a JSON string. Nothing
// allocates while they are read, so the buffer stays where it is.
void emit_string(Encoder& e, const Cell& s) {
    e.put(U'"');
    const uint32_t n = str::length_at(s);
    const series::Buffer* b = str::buffer_of(s);
    const uint8_t* p = b->at(s.w1);
    const uint32_t unit = b->unit();
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t c = str::get_char(p + size_t{i} * unit, unit);
        if (plain_char(c, e.ascii)) e.put(static_cast<char32_t>(c));
        else emit_escaped(e, c);
    }
    e.put(U'"');
}

// The formed or molded text of a value, in the scratch string.
const Cell& text_of(Encoder& e, const Cell& value, bool molded) {
    text_buffer::cut(*e.scratch, 0);
    if (molded) actions::call_mold(value, *e.scratch, false, false, false, nullptr, INT32_MAX, 0);
    else actions::call_form(value, *e.scratch, nullptr, INT32_MAX);
    return *e.scratch;
}

// The formed or molded text of a value, as a JSON string.
void emit_text_of(Encoder& e, const Cell& value, bool molded) { emit_string(e, text_of(e, value, molded)); }

// The formed text of a number, as it is.
void emit_formed(Encoder& e, const Cell& value) {
    const Cell& text = text_of(e, value, false);
    const uint32_t n = text_buffer::length(text);
    for (uint32_t i = 0; i < n; i++) e.put(static_cast<char32_t>(text_buffer::char_at(text, i)));
}

void emit_indent(Encoder& e) {
    for (int32_t i = 0; i < e.level; i++) e.out += e.indent;
}

// The separator before an item after the first.
void emit_comma(Encoder& e) {
    e.put(U',');
    if (!e.pretty) return;
    e.put(U'\n');
    emit_indent(e);
}

// The opening bracket, then a new line at the raised level when pretty.
void emit_open(Encoder& e, char32_t bracket) {
    e.put(bracket);
    if (!e.pretty) return;
    e.put(U'\n');
    e.level++;
    emit_indent(e);
}

void emit_close(Encoder& e, char32_t bracket) {
    if (e.pretty) {
        e.put(U'\n');
        e.level--;
        emit_indent(e);
    }
    e.put(bracket);
}

void emit_value(Encoder& e, const Cell& value);

// A list from its index as an array. The cells are read one at a time:
// writing may allocate and move the block.
void emit_array(Encoder& e, const Cell& list) {
    const uint32_t n = series::buffer(list.w2)->length();
    if (list.w1 >= n) {
        e.put("[]");
        return;
    }
    if (cycle::find(list.w2)) error::fire(error::Id::no_cycle);
    cycle::Scope scope(list.w2);
    emit_open(e, U'[');
    for (uint32_t i = list.w1; i < series::buffer(list.w2)->length(); i++) {
        if (i > list.w1) emit_comma(e);
        const Cell item = series::buffer(list.w2)->cells()[i];
        emit_value(e, item);
    }
    emit_close(e, U']');
}

// One key and its value.
void emit_member(Encoder& e, const Cell& key, const Cell& value, bool first) {
    if (!first) emit_comma(e);
    const TypeId t = type_of(key);
    if (t == TypeId::string) emit_string(e, key);
    else emit_text_of(e, key, !is_word_like(t) || t == TypeId::refinement || t == TypeId::issue ? true : false);
    e.put(e.pretty ? ": " : ":");
    emit_value(e, value);
}

// The live pairs of a map, in order, as an object; a set-word key is
// written as its word.
void emit_map(Encoder& e, const Cell& map) {
    const NodeId pairs = map.w2;
    if (cycle::find(pairs)) error::fire(error::Id::no_cycle);
    cycle::Scope scope(pairs);
    bool first = true;
    for (uint32_t i = 0; i + 1 < series::buffer(pairs)->length(); i += 2) {
        const Cell value = series::buffer(pairs)->cells()[i + 1];
        if (value.header == 0) continue;  // a removed pair
        Cell key = series::buffer(pairs)->cells()[i];
        if (type_of(key) == TypeId::set_word) set_header(key, TypeId::word);
        if (first) emit_open(e, U'{');
        emit_member(e, key, value, first);
        first = false;
    }
    if (first) e.put("{}");
    else emit_close(e, U'}');
}

// The fields of an object (the words reflect gives), as an object.
void emit_object(Encoder& e, const Cell& object) {
    Cell* words = stack::push(none::value);
    {
        stack::mark_native(to_int(Sym::tag_body));
        stack::push(object);
        stack::push(word::of(Sym::words));
        actions::dispatcher(Action::reflect)(std::array<int32_t, 4>{-1, -1, -1, -1});
        *words = *stack::data.base;
        stack::unwind();
        stack::pop();
    }
    if (type_of(*words) != TypeId::block || series::buffer(words->w2)->length() <= words->w1) {
        e.put("{}");
        stack::pop();
        return;
    }
    if (cycle::find(object.w1)) error::fire(error::Id::no_cycle);
    cycle::Scope scope(object.w1);
    emit_open(e, U'{');
    for (uint32_t i = words->w1; i < series::buffer(words->w2)->length(); i++) {
        const Cell key = series::buffer(words->w2)->cells()[i];
        const Cell* slot = is_word_like(type_of(key)) ? context::word_value_cell(key, object.w1) : nullptr;
        emit_member(e, key, slot ? *slot : none::value, i == words->w1);
    }
    emit_close(e, U'}');
    stack::pop();
}

void emit_value(Encoder& e, const Cell& value) {
    stack::check_native_depth();
    const TypeId t = type_of(value);
    switch (t) {
        case TypeId::none: e.put("null"); return;
        case TypeId::logic: e.put(value.w1 ? "true" : "false"); return;
        case TypeId::integer:
        case TypeId::float_: emit_formed(e, value); return;
        case TypeId::percent: {
            Cell f = value;
            set_header(f, TypeId::float_);
            emit_formed(e, f);
            return;
        }
        case TypeId::string: emit_string(e, value); return;
        case TypeId::block: emit_array(e, value); return;
        case TypeId::map: emit_map(e, value); return;
        case TypeId::object: emit_object(e, value); return;
        default: break;
    }
    if (is_any_block(t)) {
        Cell list = value;
        set_header(list, TypeId::block);
        if (t == TypeId::hash || t == TypeId::paren || t == TypeId::path || t == TypeId::lit_path ||
            t == TypeId::set_path || t == TypeId::get_path)
            return emit_array(e, list);
    }
    emit_text_of(e, value, !is_any_string(t));
}

// Writes the gathered text at the tail of the string, widened once to the
// unit its widest character needs.
void write_out(const Cell& output, const std::u32string& text) {
    char32_t widest = 0;
    for (char32_t c : text) widest = c > widest ? c : widest;
    str::ensure_unit(output.w2, str::unit_for_append(widest));
    series::Buffer* b = str::reserve(output.w2, text.size());
    const uint32_t unit = b->unit();
    uint8_t* p = b->tail_ptr();
    for (char32_t c : text) {
        str::put_char(p, unit, c);
        p += unit;
    }
    b->tail += static_cast<uint32_t>(text.size()) * unit;
}

// json-encode output value indent ascii: appends the value's JSON text to
// the output string and answers it.
void json_encode() {
    Encoder e;
    const Cell indent = *stack::arg(2);
    e.pretty = type_of(indent) == TypeId::string;
    if (e.pretty) e.indent = text_buffer::chars(indent);
    e.ascii = type_of(*stack::arg(3)) == TypeId::logic && stack::arg(3)->w1 != 0;
    e.scratch = stack::push(none::value);
    text_buffer::make(*e.scratch);
    emit_value(e, *stack::arg(1));
    write_out(*stack::arg(0), e.out);
    stack::pop();
}

}  // namespace

void define_json_encode_routine() {
    define_routine("json-encode", R"spec([
        "Appends the JSON text of a value to a string"
        output [string!] value [any-type!] indent [string! none!] ascii [logic! none!]
    ])spec", json_encode);
}

}  // namespace qor::environment
