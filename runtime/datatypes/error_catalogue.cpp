// The error catalogue and the standard error prototype, built from the
// catalogue table at start.
#include "runtime/datatypes/error_catalogue.h"

#include <string>

#include "runtime/datatypes/none.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::error::catalogue {

namespace {

// Both objects are permanent roots, rewritten in place by the collector.
Cell errors_cell = unset_cell;
Cell standard_cell = unset_cell;
bool built = false;

constexpr std::string_view field_names[field_count] = {"code", "type",  "id",    "arg1",  "arg2",
                                                       "arg3", "near", "where", "stack", "files"};
uint32_t field_symbols[field_count] = {};

// The catalogue as source text: one block per category, each a run of
// set-words and values ("code: 300 type: "Script Error" no-value: [...]").
std::string catalogue_source() {
    std::string text;
    for (int c = 0; c < error::category_count; c++) {
        const CategoryInfo& category = categories[c];
        text += "[code: " + std::to_string(category.code) + " type: \"" + std::string(category.title) + "\"";
        for (int i = detail::first_id[c]; i < detail::first_id[c + 1]; i++) {
            text += "\n";
            text += ids[i].spelling;
            text += ": ";
            text += ids[i].message;
        }
        text += "]\n";
    }
    return text;
}

// An object cell on a context, stored in its self slot.
Cell object_on(NodeId ctx) {
    const Cell object{to_int(TypeId::object), ctx, 0, 0};
    *context::self(ctx) = object;
    return object;
}

Cell* cells_of(NodeId block) { return series::buffer(block)->cells(); }

// A category object from its block of set-words and values.
Cell make_category(const Cell& block) {
    Cell spec = block;
    collector::RootGuard keep_spec(spec);
    const uint32_t length = series::buffer(spec.w2)->length();
    NodeId ctx = context::make(length / 2, false, true, nullptr, context::Kind::object);
    collector::NodeGuard keep_ctx(ctx);
    (void)context::collect_set_words(ctx, spec);
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        const int32_t index = context::find_word(ctx, cells_of(spec.w2)[i].w2, false);
        Cell value = cells_of(spec.w2)[i + 1];
        value.header &= ~cell_flag::new_line;
        *context::value_cell_at(ctx, static_cast<uint32_t>(index)) = value;
    }
    return object_on(ctx);
}

void build_catalogue(Scanner scan) {
    const std::string source = catalogue_source();
    Cell* loaded = stack::push(none::value);
    scan(loaded, source);
    errors_cell = object_on(context::make(error::category_count, false, true, nullptr, context::Kind::object));
    for (int c = 0; c < error::category_count; c++) {
        const uint32_t name = symbol::make(categories[c].spelling);
        const int32_t index = context::add_word(errors_cell.w1, name);
        const Cell category = make_category(cells_of(loaded->w2)[loaded->w1 + static_cast<uint32_t>(c)]);
        *context::value_cell_at(errors_cell.w1, static_cast<uint32_t>(index)) = category;
    }
    stack::pop(1);
}

void build_standard_error() {
    standard_cell = object_on(context::make(field_count, false, true, nullptr, context::Kind::object));
    for (uint32_t f = 0; f < field_count; f++) {
        const int32_t index = context::add_word(standard_cell.w1, field_symbols[f]);
        *context::value_cell_at(standard_cell.w1, static_cast<uint32_t>(index)) = none::value;
    }
}

}  // namespace

void init(Scanner scan) {
    collector::remove_root(&errors_cell);
    collector::remove_root(&standard_cell);
    errors_cell = unset_cell;
    standard_cell = unset_cell;
    collector::add_root(&errors_cell);
    collector::add_root(&standard_cell);
    for (uint32_t f = 0; f < field_count; f++) field_symbols[f] = symbol::make(field_names[f]);
    build_catalogue(scan);
    build_standard_error();
    built = true;
}

bool ready() { return built && type_of(errors_cell) == TypeId::object; }

const Cell& errors() { return errors_cell; }
const Cell& standard_error() { return standard_cell; }

uint32_t field_symbol(Field f) { return field_symbols[static_cast<uint32_t>(f)]; }

int32_t find_category(uint32_t symbol) { return context::find_word(errors_cell.w1, symbol, true); }

uint32_t category_count() { return context::word_count(errors_cell.w1); }

NodeId category_context(uint32_t index) {
    const Cell& category = *context::value_cell_at(errors_cell.w1, index);
    return type_of(category) == TypeId::object ? category.w1 : 0;
}

int32_t find_id(NodeId category, uint32_t symbol) {
    if (category == 0) return -1;
    const int32_t position = context::find_word(category, symbol, true);
    return position >= 2 ? position : -1;
}

Cell category_word(uint32_t index) {
    return word::make_cell(TypeId::word, errors_cell.w1, context::word_at(errors_cell.w1, index)->w2,
                           static_cast<int32_t>(index));
}

Cell id_word(NodeId category, uint32_t position) {
    return word::make_cell(TypeId::word, category, context::word_at(category, position)->w2,
                           static_cast<int32_t>(position));
}

}  // namespace qor::error::catalogue
