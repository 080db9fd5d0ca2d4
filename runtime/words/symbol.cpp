// The symbol table and the internal symbol! datatype.
#include "runtime/words/symbol.h"

#include <string>

#include "runtime/core/compare_ops.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/case_map.h"
#include "runtime/unicode/string_codec.h"
#include "runtime/unicode/utf8.h"

namespace qor::symbol {

namespace {

NodeId symbol_block = 0;  // the entries, symbol id n at index n - 1
NodeId symbol_index = 0;  // kind-2 hash table over the block

// The UTF-8 bytes of an entry (without the NUL that follows them).
std::string_view bytes_of(const Cell& entry) {
    series::Buffer* b = series::buffer(entry.w3);
    return {reinterpret_cast<const char*>(b->head_ptr()), b->length()};
}

// Decodes the next code point of a spelling; spellings were checked when
// they were interned, so a stray byte stands for itself.
uint32_t next_char(const uint8_t*& p, const uint8_t* end) {
    int32_t cp;
    const uint8_t* next = utf8::decode_char(p, end, cp);
    if (cp < 0) {
        cp = *p;
        next = p + 1;
    }
    p = next;
    return static_cast<uint32_t>(cp);
}

// Orders two UTF-8 texts by code point, folded to lower case unless `exact`.
int32_t compare_text(std::string_view a, std::string_view b, bool exact) {
    auto pa = reinterpret_cast<const uint8_t*>(a.data()), ea = pa + a.size();
    auto pb = reinterpret_cast<const uint8_t*>(b.data()), eb = pb + b.size();
    while (pa < ea && pb < eb) {
        uint32_t ca = next_char(pa, ea), cb = next_char(pb, eb);
        if (!exact) {
            ca = unicode::to_lower(ca);
            cb = unicode::to_lower(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (pa < ea) return 1;
    if (pb < eb) return -1;
    return 0;
}

bool is_exact_code(int op) {
    return op == to_int(CompareOp::strict_equal) || op == to_int(CompareOp::sort_case);
}

// symbol!/compare: the two entries' spellings.
}  // namespace

int32_t compare_entries(const Cell* a, const Cell* b, CompareOp op) {
    if (type_of(*b) != TypeId::symbol) return -2;
    if (op == CompareOp::same) return a->w3 == b->w3 ? 0 : -1;
    int32_t r = compare_text(bytes_of(*a), bytes_of(*b), is_exact_code(to_int(op)));
    return r;
}

void init_table() {
    symbol_block = series::alloc_unset_cells(initial_room);
    Cell block{to_int(TypeId::block), 0, symbol_block, 0};
    symbol_index = hashtable::init(static_cast<int32_t>(initial_room), &block, hashtable::Kind::words, 0);
    hashtable::set_symbol_table(symbol_index);
}

NodeId block() { return symbol_block; }
NodeId index() { return symbol_index; }

uint32_t count() { return series::buffer(symbol_block)->length(); }

uint32_t make(std::string_view utf8) {
    return static_cast<uint32_t>(
        hashtable::intern_symbol(symbol_index, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), false));
}

uint32_t make_from_string(const Cell& string_value) {
    // The UTF-8 form lives in the string's conversion buffer, which
    // interning may move: intern from a copy.
    Cell string = string_value;
    int32_t length = -1;
    const uint8_t* bytes = unicode::to_utf8(string, length);
    const std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    return make(text);
}

Cell* entry(uint32_t id) { return series::buffer(symbol_block)->cells() + (id - 1); }

NodeId ensure_string_form(uint32_t id) {
    if (NodeId form = entry(id)->w2) return form;
    const NodeId bytes = entry(id)->w3;
    NodeId form = unicode::load_utf8_series(bytes, 0, series::buffer(bytes)->length(), 0, false);
    entry(id)->w2 = form;
    return form;
}

Cell* get(uint32_t id) {
    ensure_string_form(id);
    return entry(id);
}

uint32_t resolve_alias(uint32_t id) { return static_cast<uint32_t>(hashtable::resolve_alias(static_cast<int32_t>(id))); }

int32_t alias_of(uint32_t id) { return static_cast<int32_t>(entry(id)->w1); }

std::string_view spelling(uint32_t id) { return bytes_of(*entry(id)); }

int32_t compare_spellings(uint32_t a, uint32_t b, int op) {
    return compare_text(spelling(a), spelling(b), is_exact_code(op));
}

}  // namespace qor::symbol
