// The draw dialect's keyword table.
#include "view/draw/keywords.h"

#include <array>
#include <string_view>
#include <unordered_map>

#include "runtime/core/error_fire.h"
#include "runtime/datatypes/none.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::draw {

namespace {

constexpr std::array<std::string_view, static_cast<size_t>(Kw::count_)> spellings = {
    "",
    "pen", "fill-pen", "box", "line", "line-width", "line-join", "line-cap", "line-pattern", "triangle", "polygon",
    "circle", "ellipse", "anti-alias", "font", "text", "arc", "curve", "spline", "image", "clip", "shape", "rotate",
    "scale", "translate", "skew", "transform", "push", "matrix", "reset-matrix", "invert-matrix",
    "off", "on", "linear", "radial", "diamond", "pattern", "bitmap", "pad", "repeat", "reflect", "tile", "flip-x",
    "flip-y", "flip-xy", "clamp", "closed", "border", "crop", "shadow", "inset", "replace", "intersect", "union",
    "xor", "exclude", "miter", "bevel", "miter-bevel", "round", "flat", "square",
    "move", "hline", "vline", "curv", "qcurve", "qcurv", "close", "sweep", "large",
    "bold", "italic", "underline", "strike", "backdrop",
    "type", "rich-text", "data", "color", "size", "para", "state",
};

struct Table {
    std::array<uint32_t, spellings.size()> symbols{};
    std::unordered_map<uint32_t, Kw> by_alias;  // case-folded symbol -> keyword
};

Table& table() {
    static Table t;
    return t;
}

// Whether the table's symbols still name their spellings (a symbol table
// made anew may give the same ids to other spellings).
bool current(const Table& t) {
    const uint32_t count = symbol::count();
    for (size_t i = 1; i < spellings.size(); i++) {
        const uint32_t id = t.symbols[i];
        if (id == 0 || id > count || symbol::spelling(id) != spellings[i]) return false;
    }
    return true;
}

}  // namespace

void refresh_keywords() {
    Table& t = table();
    if (current(t)) return;
    t.by_alias.clear();
    for (size_t i = 1; i < spellings.size(); i++) {
        t.symbols[i] = symbol::make(spellings[i]);
        t.by_alias.emplace(symbol::resolve_alias(t.symbols[i]), static_cast<Kw>(i));
    }
}

Kw keyword_of(const Cell& value) {
    if (!is_word_like(type_of(value))) return Kw::none_;
    const Table& t = table();
    const auto found = t.by_alias.find(symbol::resolve_alias(word::symbol_of(value)));
    return found == t.by_alias.end() ? Kw::none_ : found->second;
}

uint32_t symbol_of(Kw kw) { return table().symbols[static_cast<size_t>(kw)]; }

bool value_of_word(const Cell& w, Cell& out) {
    if (!is_word_like(type_of(w)) || word::context_of(w) == 0 || word::index_of(w) < 0) return false;
    try {
        out = *context::value_cell(w);
    } catch (const error::Raised&) {
        return false;  // a context without values: the word has none here
    }
    return type_of(out) != TypeId::unset;
}

Cell field_of(const Cell& object, Kw name) {
    if (type_of(object) != TypeId::object) return none::value;
    const int32_t i = context::find_word(object.w1, symbol_of(name), true);
    if (i < 0 || !context::values(object.w1)) return none::value;
    return *context::value_cell_at(object.w1, static_cast<uint32_t>(i));
}

}  // namespace qor::draw
