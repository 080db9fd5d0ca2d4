// word!, set-word!, lit-word!, get-word! and refinement!: one payload and
// one set of actions, inherited from word!; the others differ only in how
// they mold.
#include "runtime/datatypes/word_type.h"

#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/datatypes/text_loader.h"
#include "runtime/unicode/utf8.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::word_type {

namespace {

// An integer! result and a none! result.
Cell integer_cell(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }
constexpr Cell none_cell{to_int(TypeId::none), 0, 0, 0};

bool is_plain_word(TypeId t) {
    return t == TypeId::word || t == TypeId::set_word || t == TypeId::lit_word || t == TypeId::get_word;
}

// Canonical symbols equal: words equal ignoring case.
bool same_canonical(const Cell& a, const Cell& b) {
    return symbol::resolve_alias(a.w2) == symbol::resolve_alias(b.w2);
}

// The word a text, a refinement's or issue's spelling or a character
// stands for: its spelling must load as exactly one word, else bad-to-arg.
Cell word_of_text(const Cell& spec, TypeId type) {
    Cell* text = stack::push(spec);
    if (type_of(spec) != TypeId::string) {
        text_buffer::make(*text);
        if (type_of(spec) == TypeId::char_) {
            text_buffer::append_char(*text, spec.w2);
        } else {
            const Cell spelled = spec;
            append_spelling(spelled, *text);
        }
    }
    Cell loaded = unset_cell;
    const bool one = text_loader::load_one(*text, loaded);
    stack::pop();
    if (!one || type_of(loaded) != TypeId::word) error::fire(error::Id::bad_to_arg, {datatype::value(type), spec});
    return loaded;
}

// word!/make and to: by the datatype of the given value.
const Cell* make(Cell* result, Cell* spec, TypeId type) {
    const TypeId spec_type = type_of(*spec);
    Cell made;
    if (is_plain_word(spec_type)) {
        made = *spec;
    } else if (spec_type == TypeId::datatype) {
        made = word::of(type_name_symbol(to_int(datatype::named(*spec))));
    } else if (spec_type == TypeId::logic) {
        made = word::of(spec->w1 != 0 ? Sym::true_ : Sym::false_);
    } else if (spec_type == TypeId::refinement || spec_type == TypeId::issue || spec_type == TypeId::string ||
               spec_type == TypeId::char_) {
        made = word_of_text(*spec, type);
    } else {
        error::fire(error::Id::bad_to_arg, {datatype::value(type), *spec});
    }
    set_header(made, type);
    *result = made;
    return result;
}

}  // namespace

// Appends a word's spelling to a text buffer; answers the characters added.
int32_t append_spelling(const Cell& word, Cell& buffer) {
    // Appending may allocate and move the symbol table: work on a copy.
    const std::string text(symbol::spelling(word.w2));
    auto p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    int32_t added = 0;
    while (p < end) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(p, end, cp);
        if (cp < 0) {  // interned bytes that are no UTF-8 stand for themselves
            cp = *p;
            next = p + 1;
        }
        text_buffer::append_char(buffer, static_cast<uint32_t>(cp));
        p = next;
        added++;
    }
    return added;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    return limit - append_spelling(*value, *buffer);
}

namespace {

int32_t mold_word(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// A prefix character, then the spelling.
template <char Prefix>
int32_t mold_prefixed(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit,
                      int32_t) {
    text_buffer::append_char(*buffer, static_cast<uint32_t>(Prefix));
    return form(value, buffer, part, limit - 1);
}

int32_t mold_set_word(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit,
                      int32_t) {
    int32_t left = form(value, buffer, part, limit);
    text_buffer::append_char(*buffer, ':');
    return left - 1;
}

// index?: none for a word without a slot, else its 1-based index.
Cell* index_of() {
    const Cell& value = *stack::arg(0);
    int32_t index = word::index_of(value);
    return stack::set_result(index < 0 ? none_cell : integer_cell(index + 1));
}

}  // namespace

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
    const TypeId ta = type_of(*a), tb = type_of(*b);
    if (!is_word_like(tb) || (tb == TypeId::issue && ta != TypeId::issue)) return -2;
    const bool word_and_lit = (ta == TypeId::word && tb == TypeId::lit_word) ||
                              (ta == TypeId::lit_word && tb == TypeId::word);
    switch (op) {
        case CompareOp::equal:
        case CompareOp::not_equal:
        case CompareOp::find_key:
            return same_canonical(*a, *b) ? 0 : 1;
        case CompareOp::strict_equal:
            return ta == tb && a->w2 == b->w2 ? 0 : 1;
        case CompareOp::same:
            return a->w2 == b->w2 && a->w1 == b->w1 && ta == tb ? 0 : 1;
        case CompareOp::equal_series:
            if (word_and_lit) return a->w2 == b->w2 ? 0 : 1;
            return ta == tb && a->w2 == b->w2 ? 0 : 1;
        case CompareOp::equal_series_alt:
            if (word_and_lit) return same_canonical(*a, *b) ? 0 : 1;
            return ta == tb && same_canonical(*a, *b) ? 0 : 1;
        default:
            return symbol::compare_spellings(a->w2, b->w2, to_int(op));
    }
}

namespace {

using datatype::ActionRow;

// The actions every child of word! takes from it.
ActionRow child_row() {
    ActionRow row;
    row.inherit(Action::make).inherit(Action::to).inherit(Action::form).inherit(Action::compare);
    return row;
}

}  // namespace

namespace {

// A word keeps its context; words hash by symbol ignoring case, so aliases share a bucket.
void mark_word_value(Cell& c) {
    if (c.w1 != 0) collector::mark_context(&c.w1);
}

uint32_t hash_word_key(const Cell& key) {
    return hash::mix32(static_cast<uint32_t>(hashtable::resolve_alias(static_cast<int32_t>(key.w2))));
}

}  // namespace

void init_word() {
    ActionRow row;
    row.own<Action::make>(&make)
        .own<Action::to>(&make)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold_word)
        .own<Action::compare>(&compare)
        .own<Action::index_q>(&index_of);
    row.mark(&mark_word_value).hash(&hash_word_key);
    datatype::register_type(TypeId::word, TypeId::symbol, row);
}

void init_lit_word() {
    ActionRow row = child_row();
    row.own<Action::mold>(&mold_prefixed<'\''>).inherit(Action::index_q);
    datatype::register_type(TypeId::lit_word, TypeId::word, row);
}

void init_set_word() {
    ActionRow row = child_row();
    row.own<Action::mold>(&mold_set_word).inherit(Action::index_q);
    datatype::register_type(TypeId::set_word, TypeId::word, row);
}

void init_get_word() {
    ActionRow row = child_row();
    row.own<Action::mold>(&mold_prefixed<':'>).inherit(Action::index_q);
    datatype::register_type(TypeId::get_word, TypeId::word, row);
}

void init_refinement() {
    ActionRow row = child_row();
    row.own<Action::mold>(&mold_prefixed<'/'>);
    datatype::register_type(TypeId::refinement, TypeId::word, row);
}

// issue!: made from any text, molded with "#", equal only to issues.
namespace {

const Cell* issue_make(Cell* result, Cell* spec, TypeId type) {
    const TypeId spec_type = type_of(*spec);
    Cell made;
    if (is_word_like(spec_type)) {
        made = *spec;
    } else if (spec_type == TypeId::string) {
        made = word::make_cell(TypeId::issue, context::global(), symbol::make_from_string(*spec), word::no_index);
    } else if (spec_type == TypeId::char_) {
        uint8_t bytes[4];
        int n = utf8::encode_char(spec->w2, bytes);
        uint32_t sym = symbol::make({reinterpret_cast<const char*>(bytes), static_cast<size_t>(n)});
        made = word::make_cell(TypeId::issue, context::global(), sym, word::no_index);
    } else {
        return make(result, spec, type);
    }
    set_header(made, type);
    *result = made;
    return result;
}

int32_t issue_compare(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::issue) return -2;
    return compare(a, b, op);
}

}  // namespace

void init_issue() {
    ActionRow row;
    row.own<Action::make>(&issue_make)
        .own<Action::to>(&issue_make)
        .inherit(Action::form)
        .own<Action::mold>(&mold_prefixed<'#'>)
        .own<Action::compare>(&issue_compare);
    datatype::register_type(TypeId::issue, TypeId::word, row);
}

}  // namespace qor::word_type
