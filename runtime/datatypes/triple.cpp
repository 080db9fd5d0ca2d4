// triple!: three signed 32-bit integers.
#include "runtime/datatypes/triple.h"

#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"

namespace qor::triple {

// ---- helpers

Cell* make_at(Cell& cell, int32_t a, int32_t b, int32_t c) {
    cell = Cell{to_int(TypeId::triple), static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
    return &cell;
}

Cell* push(int32_t a, int32_t b, int32_t c) { return make_at(*stack::push_slot(), a, b, c); }

// ---- actions

namespace {

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t limit) {
    limit = text_buffer::put(*buffer, "make triple! [", limit);
    const uint32_t words[3] = {value->w1, value->w2, value->w3};
    for (int i = 0; i < 3; i++) {
        if (i > 0) limit = text_buffer::put(*buffer, " ", limit);
        limit = text_buffer::put(*buffer, integer::form_signed(static_cast<int32_t>(words[i])).view(), limit);
    }
    return text_buffer::put(*buffer, "]", limit);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

}  // namespace

// ---- registration

namespace {

// Triples hash by their three numbers.
uint32_t hash_triple_key(const Cell& key) {
    return hashtable::hash_cell_words(key, 1, 3);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::form>(form).own<Action::mold>(mold);
    row.hash(&hash_triple_key);
    datatype::register_type(TypeId::triple, TypeId::none_id, row);
}

}  // namespace qor::triple
