// event!: making events from a block, their fields by path and pick,
// comparison, form and mold, and the live records of engine-made events.
#include "runtime/datatypes/event.h"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/hash/murmur3.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/core/symbol_ids.h"
#include "runtime/words/word.h"

namespace qor::event {

namespace {

// ---- Names -------------------------------------------------------------------

constexpr std::array<std::string_view, type_count> type_words = {
    "down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up", "click", "dbl-click",
    "wheel", "over", "key", "key-down", "key-up", "ime", "focus", "unfocus", "enter", "zoom",
    "pan", "rotate", "two-tap", "press-tap", "select", "change", "menu", "close", "move", "resize",
    "moving", "resizing", "time", "drawing", "scroll", "minimize", "maximize", "restore",
};

struct FlagName {
    std::string_view word;
    uint32_t bit;
};
// In the order the `flags` field lists them; `command` is accepted by make
// and never listed.
constexpr std::array<FlagName, 9> flag_names = {{
    {"away", flag::away}, {"down", flag::down}, {"mid-down", flag::mid_down}, {"alt-down", flag::alt_down},
    {"aux-down", flag::aux_down}, {"control", flag::control}, {"shift", flag::shift}, {"alt", flag::alt},
    {"command", flag::command},
}};
constexpr size_t listed_flags = 8;

// The words of the special keys -20 (up) down to -42 (F12); -30 has none.
constexpr std::array<std::string_view, 23> special_key_words = {
    "up", "down", "right", "left", "end", "home", "insert", "delete", "page-up", "page-down", "",
    "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
};

// The fields in the order of their numbers (the pick indexes, from 1).
enum class Field : uint8_t {
    type = 1, face, window, offset, key, picked, flags,
    away_q, down_q, mid_down_q, alt_down_q, aux_down_q, ctrl_q, shift_q, orientation,
};
constexpr std::array<Sym, 15> field_symbols = {
    Sym::type, Sym::face, Sym::window, Sym::offset, Sym::key, Sym::picked, Sym::flags, Sym::away_q,
    Sym::down_q, Sym::mid_down_q, Sym::alt_down_q, Sym::aux_down_q, Sym::ctrl_q, Sym::shift_q, Sym::orientation,
};
// The flag bit each `...?` field tests, from away? to shift?.
constexpr std::array<uint32_t, 7> tested_flags = {
    flag::away, flag::down, flag::mid_down, flag::alt_down, flag::aux_down, flag::control, flag::shift,
};

bool same_spelling(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A lit-word shown in an error as the word it names.
Cell as_word(const Cell& v) {
    Cell w = v;
    if (type_of(w) == TypeId::lit_word) set_type_keep_flags(w, TypeId::word);
    return w;
}

// The type id a word names (ignoring case), or 0.
uint32_t type_id_of(const Cell& word) {
    const std::string_view s = symbol::spelling(word::symbol_of(word));
    for (uint32_t i = 0; i < type_count; i++)
        if (same_spelling(s, type_words[i])) return i + 1;
    return 0;
}

uint32_t flag_bit_of(const Cell& word) {
    const std::string_view s = symbol::spelling(word::symbol_of(word));
    for (const FlagName& f : flag_names)
        if (same_spelling(s, f.word)) return f.bit;
    return 0;
}

// The field number of a word (ignoring case), or 0.
uint32_t field_of(const Cell& word) {
    const uint32_t wanted = symbol::resolve_alias(word::symbol_of(word));
    for (size_t i = 0; i < field_symbols.size(); i++)
        if (symbol::resolve_alias(to_int(field_symbols[i])) == wanted) return static_cast<uint32_t>(i + 1);
    return 0;
}

bool is_word(const Cell& v) { return type_of(v) == TypeId::word || type_of(v) == TypeId::lit_word; }

// ---- Live records ----------------------------------------------------------------

struct Live {
    uint32_t serial;
    const Record* record;
};
std::vector<Live> live_records;
uint32_t last_serial = 0;

// ---- Values ------------------------------------------------------------------

constexpr Cell zero_pair{to_int(TypeId::pair), 0, 0, 0};

Cell integer_cell(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

Cell float_cell(double d) {
    Cell c{to_int(TypeId::float_), 0, 0, 0};
    set_double(c, d);
    return c;
}

Cell word_cell(std::string_view spelling) { return word::load(spelling); }

bool made_by_script(const Cell& e) { return has_flag(e, script_made); }

// Cell i (0 face, 1 window, 2 offset, 3 picked) of a script-made event's
// values block; nullptr when it has none.
const Cell* block_cell(const Cell& e, uint32_t i) {
    if (e.w2 == 0) return nullptr;
    series::Buffer* b = series::buffer(e.w2);
    return i < b->length() ? &b->cells()[i] : nullptr;
}

Cell type_field(const Cell& e) {
    if (e.w1 < 1 || e.w1 > type_count) return none::value;
    return word_cell(type_words[e.w1 - 1]);
}

// A new block of the words of the flag bits that are set.
Cell flags_block(uint32_t bits) {
    Cell block{to_int(TypeId::block), 0, series::alloc_cells(listed_flags), 0};
    collector::RootGuard keep(block);
    for (size_t i = 0; i < listed_flags; i++) {
        if ((bits & flag_names[i].bit) == 0) continue;
        const Cell w = word_cell(flag_names[i].word);
        *series_tail::alloc_cell(block.w2) = w;
    }
    return block;
}

Cell key_of_record(const Cell& e, const Record& r) {
    if ((e.w3 & flag::special_key) == 0) return Cell{to_int(TypeId::char_), 0, static_cast<uint32_t>(r.key), 0};
    const int64_t index = -int64_t{r.key} - 20;
    if (index < 0 || index >= static_cast<int64_t>(special_key_words.size())) return none::value;
    const std::string_view w = special_key_words[static_cast<size_t>(index)];
    return w.empty() ? none::value : word_cell(w);
}

// A field of a script-made event that its values block holds.
Cell script_field(const Cell& e, Field f) {
    const auto from_block = [&](uint32_t i, const Cell& otherwise) {
        const Cell* c = block_cell(e, i);
        return c ? *c : otherwise;
    };
    switch (f) {
        case Field::face: return from_block(0, none::value);
        case Field::window: return from_block(1, none::value);
        case Field::offset: return from_block(2, zero_pair);
        case Field::key: {
            const uint32_t c = e.w3 & key_mask;
            return c == 0 ? none::value : Cell{to_int(TypeId::char_), 0, c, 0};
        }
        case Field::picked: return from_block(3, integer_cell(0));
        default: return none::value;
    }
}

// A field of an engine-made event that its record holds; none when stale.
Cell record_field(const Cell& e, Field f) {
    const Record* r = record_of(e);
    if (!r) return none::value;
    switch (f) {
        case Field::face: return r->face;
        case Field::offset:
            return Cell{to_int(TypeId::pair), 0, static_cast<uint32_t>(static_cast<int32_t>(r->x)),
                        static_cast<uint32_t>(static_cast<int32_t>(r->y))};
        case Field::key: return key_of_record(e, *r);
        case Field::picked:
            return e.w1 == static_cast<uint32_t>(Type::wheel) ? float_cell(r->amount) : integer_cell(r->key);
        default: return none::value;
    }
}

Cell field_value(const Cell& e, Field f) {
    switch (f) {
        case Field::type: return type_field(e);
        case Field::flags: return flags_block(e.w3);
        case Field::orientation: return none::value;
        case Field::window: return made_by_script(e) ? script_field(e, f) : none::value;
        case Field::face: case Field::offset: case Field::key: case Field::picked:
            return made_by_script(e) ? script_field(e, f) : record_field(e, f);
        default: {
            const uint32_t bit = tested_flags[static_cast<size_t>(f) - static_cast<size_t>(Field::away_q)];
            return (e.w3 & bit) != 0 ? logic::true_value : logic::false_value;
        }
    }
}

// ---- make ----------------------------------------------------------------------

// A bound word! or get-word! with a value stands for that value.
Cell resolved(const Cell& v) {
    const TypeId t = type_of(v);
    if ((t != TypeId::word && t != TypeId::get_word) || word::index_of(v) == word::no_index) return v;
    const NodeId ctx = word::context_of(v);
    if (ctx == 0 || !context::has_values(*context::header(ctx))) return v;
    const Cell value = *context::value_cell(v);
    return type_of(value) == TypeId::unset ? v : value;
}

// make event! [type: 'key key: #"a" flags: [shift] face: f ...]: the values
// of the four block fields are gathered on the data stack and the block is
// made only when one of them was given.
const Cell* make(Cell*, Cell* spec, TypeId) {
    Cell* result = stack::push(Cell{to_int(TypeId::event) | script_made, 0, 0, 0});
    if (type_of(*spec) != TypeId::block) return result;
    Cell* values = stack::push(none::value);
    stack::push(none::value);
    stack::push(zero_pair);
    stack::push(integer_cell(0));
    bool block_given = false;
    const uint32_t count = series_tail::cell_count(*spec);
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        const Cell name = *series_tail::cell_at(*spec, i);
        if (type_of(name) != TypeId::set_word) continue;
        const Cell value = resolved(*series_tail::cell_at(*spec, i + 1));
        const TypeId vt = type_of(value);
        const uint32_t sym = symbol::resolve_alias(word::symbol_of(name));
        const auto is = [&](Sym s) { return sym == symbol::resolve_alias(to_int(s)); };
        if (is(Sym::type)) {
            if (!is_word(value)) continue;
            const uint32_t id = type_id_of(value);
            if (id == 0) error::fire(error::Id::not_event_type, {as_word(value)});
            result->w1 = id;
        } else if (is(Sym::key)) {
            if (vt == TypeId::char_) result->w3 |= value.w2 & key_mask;
        } else if (is(Sym::flags)) {
            if (vt != TypeId::block) continue;
            const uint32_t n = series_tail::cell_count(value);
            for (uint32_t k = 0; k < n; k++) {
                const Cell w = *series_tail::cell_at(value, k);
                if (type_of(w) == TypeId::word) result->w3 |= flag_bit_of(w);
            }
        } else {
            int slot = -1;
            if ((is(Sym::face) || is(Sym::window)) && vt == TypeId::object) slot = is(Sym::face) ? 0 : 1;
            if (is(Sym::offset) && (vt == TypeId::pair || vt == TypeId::point2d)) slot = 2;
            if (is(Sym::picked) && vt == TypeId::integer) slot = 3;
            if (slot < 0) continue;
            values[slot] = value;
            block_given = true;
        }
    }
    if (block_given) {
        // The values wait on the data stack while the block is made.
        NodeId node = series::alloc_cells(4);
        collector::NodeGuard keep(node);
        for (uint32_t k = 0; k < 4; k++) *series_tail::alloc_cell(node) = values[k];
        result->w2 = node;
    }
    stack::data.top = values;
    return result;
}

// ---- Actions -------------------------------------------------------------------

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t limit) { return text_buffer::put(*buffer, "event", limit); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    return form(value, buffer, part, limit);
}

// Any two events are equal, and no event is ordered against another.
int32_t compare(const Cell*, const Cell* other, CompareOp op) {
    if (type_of(*other) != TypeId::event) return -2;
    switch (op) {
        case CompareOp::lesser: case CompareOp::lesser_or_equal: case CompareOp::greater:
        case CompareOp::greater_or_equal:
            return -2;
        default:
            return 0;
    }
}

// A changed event goes back where the path took it from when that is a
// variable (event/type: 'click changes the event the word holds).
void store_back(const actions::EvalPathArgs& a, const Cell& changed) {
    if (a.grand_parent || !a.previous || type_of(*a.previous) != TypeId::word) return;
    if (word::index_of(*a.previous) == word::no_index) return;
    *context::value_cell(*a.previous) = changed;
}

Cell* eval_path(const actions::EvalPathArgs& a) {
    const Cell path = a.path ? *a.path : none::value;
    const Cell element = *a.element;
    const uint32_t f = type_of(element) == TypeId::word ? field_of(element) : 0;
    if (a.value) {
        if (f != static_cast<uint32_t>(Field::type) || !is_word(*a.value))
            error::fire(error::Id::bad_path_set, {path, element});
        const uint32_t id = type_id_of(*a.value);
        if (id == 0) error::fire(error::Id::not_event_type, {as_word(*a.value)});
        a.parent->w1 = id;
        store_back(a, *a.parent);
        return a.value;
    }
    if (f == 0) error::fire(error::Id::invalid_path, {path, element});
    const Cell e = *a.parent;
    return stack::push(field_value(e, static_cast<Field>(f)));
}

const Cell* pick(Cell* e, Cell* index_cell, int32_t index) {
    uint32_t f = 0;
    if (is_word_like(type_of(*index_cell))) {
        f = field_of(*index_cell);
        const Cell datatype{to_int(TypeId::datatype), to_int(TypeId::event), 0, 0};
        if (f == 0) error::fire(error::Id::cannot_use, {*index_cell, datatype});
    } else {
        if (index < 1 || index > static_cast<int32_t>(field_symbols.size()))
            error::fire(error::Id::out_of_range, {*index_cell});
        f = static_cast<uint32_t>(index);
    }
    const Cell event_value = *e;
    return stack::push(field_value(event_value, static_cast<Field>(f)));
}

}  // namespace

// ---- Live records ------------------------------------------------------------------

LiveRecord::LiveRecord(Record& record) : face_guard_(record.face) {
    if (++last_serial == 0) last_serial = 1;
    serial_ = last_serial;
    live_records.push_back({serial_, &record});
}

LiveRecord::~LiveRecord() {
    for (auto it = live_records.begin(); it != live_records.end(); ++it) {
        if (it->serial == serial_) {
            live_records.erase(it);
            break;
        }
    }
}

Cell make_for(Type type, const LiveRecord& record, uint32_t flags) {
    return Cell{to_int(TypeId::event), static_cast<uint32_t>(type), record.serial(), flags};
}

const Record* record_of(const Cell& e) {
    if (type_of(e) != TypeId::event || made_by_script(e)) return nullptr;
    for (const Live& l : live_records)
        if (l.serial == e.w2) return l.record;
    return nullptr;
}

namespace {

// An event made by a script keeps its series.
void mark_event_value(Cell& c) {
    if (has_flag(c, cell_flag::event_script_made)) collector::mark_series(&c.w2);
}

uint32_t hash_event_key(const Cell& key) {
    return hash::mix32(key.w2);
}

}  // namespace

void init() {
    datatype::ActionRow row;
    row.own<Action::make>(&make)
        .own<Action::form>(&form)
        .own<Action::mold>(&mold)
        .own<Action::eval_path>(&eval_path)
        .own<Action::compare>(&compare)
        .own<Action::pick>(&pick);
    row.mark(&mark_event_value).hash(&hash_event_key);
    datatype::register_type(TypeId::event, TypeId::none_id, "event!", row);
}

}  // namespace qor::event
