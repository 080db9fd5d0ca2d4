// The QORBIN encoder: walks a value and writes its records, then wraps them
// with the header and the symbol table.
#include "runtime/qorbin/encoder.h"

#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/qorbin/format.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"

namespace qor::qorbin {

namespace {

uint64_t double_bits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// Whether a context has an owner a word record can carry: an object (or an
// error or port, written as an object) or a function.
bool has_owner(NodeId ctx) {
    if (ctx == 0 || ctx == context::global()) return false;
    switch (type_of(*context::self(ctx))) {
        case TypeId::object: case TypeId::error: case TypeId::port: case TypeId::function:
            return true;
        default:
            return false;
    }
}

// The number of value cells a heap context holds.
uint32_t value_count(NodeId ctx) {
    const Cell& h = *context::header(ctx);
    if (context::values_on_stack(h) || h.w2 == 0) return 0;
    return series::buffer(h.w2)->length();
}

class Encoder {
public:
    explicit Encoder(Encoding encoding) : compact_(encoding == Encoding::compact) {}

    std::vector<uint8_t> run(const Cell& value) {
        write_value(value);
        return compact_ ? compact_container() : fixed_container();
    }

private:
    bool compact_;
    std::vector<uint8_t> out_;  // the records
    // The symbol table: ids in the order first met, their index, spellings.
    std::vector<uint32_t> symbols_;
    std::unordered_map<uint32_t, uint32_t> symbol_index_;
    std::vector<uint32_t> offsets_;
    std::vector<uint8_t> strings_;
    // Sharing: the positions of the values being written (outermost first),
    // the position of the next value among its siblings, and the path of
    // every series or context written so far (offset and length in the
    // path store).
    std::vector<uint32_t> path_;
    uint32_t position_ = 0;
    std::vector<uint32_t> path_store_;
    std::unordered_map<uint32_t, std::pair<uint32_t, uint32_t>> seen_;
    int depth_ = 0;
    bool pending_new_line_ = false;

    // ---- output helpers

    void byte(uint8_t b) { out_.push_back(b); }
    void bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }
    void le32(uint32_t v) {
        for (int i = 0; i < 4; i++) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    static void leb_into(std::vector<uint8_t>& to, uint32_t v) {
        while (v >= 0x80) {
            to.push_back(static_cast<uint8_t>(v | 0x80));
            v >>= 7;
        }
        to.push_back(static_cast<uint8_t>(v));
    }
    void leb(uint32_t v) { leb_into(out_, v); }
    void zigzag(int32_t v) { leb((static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31)); }
    // A count or index: LEB in compact records, a word in fixed ones.
    void count(uint32_t v) { compact_ ? leb(v) : le32(v); }
    void signed_count(int32_t v) { compact_ ? zigzag(v) : le32(static_cast<uint32_t>(v)); }
    void pad_to(size_t multiple) {
        while (out_.size() % multiple) out_.push_back(0);
    }

    // The record's header: a compact header byte (after the new-line prefix
    // the value asked for) or a fixed header word with extra bits.
    void header(TypeId t, bool ext, uint32_t fixed_bits = 0) {
        const bool nl = pending_new_line_;
        pending_new_line_ = false;
        if (compact_) {
            if (nl) byte(compact::new_line);
            byte(static_cast<uint8_t>(to_int(t) | (ext ? compact::ext : 0)));
        } else {
            le32(to_int(t) | fixed_bits | (nl ? fixed::new_line : 0));
        }
    }
    // A compact header byte standing for the whole value.
    void whole_byte(uint8_t b) {
        if (pending_new_line_) byte(compact::new_line);
        pending_new_line_ = false;
        byte(b);
    }

    void symbol(uint32_t sym) {
        auto [it, added] = symbol_index_.try_emplace(sym, static_cast<uint32_t>(symbols_.size()));
        if (added) {
            symbols_.push_back(sym);
            offsets_.push_back(static_cast<uint32_t>(strings_.size()));
            const std::string_view s = symbol::spelling(sym);
            strings_.insert(strings_.end(), s.begin(), s.end());
            strings_.push_back(0);
            if (!compact_)
                while (strings_.size() % 8) strings_.push_back(0);
        }
        count(it->second);
    }

    // ---- refusals

    [[noreturn]] static void refuse(const Cell& value) { error::fire(error::Id::no_codec, {value}); }

    // ---- sharing

    // Remembers the path of the value about to be written: the path stack,
    // which already ends with the value's own position.
    void record_seen(uint32_t key) {
        const auto offset = static_cast<uint32_t>(path_store_.size());
        path_store_.insert(path_store_.end(), path_.begin(), path_.end());
        seen_[key] = {offset, static_cast<uint32_t>(path_.size())};
    }
    void enter() {
        path_.push_back(position_);
        position_ = 0;
    }
    void leave() {
        position_ = path_.back();
        path_.pop_back();
    }
    // The path of a value written before: a count and the positions.
    void path_of(const std::pair<uint32_t, uint32_t>& where) {
        if (!compact_) le32(fixed::reference_type);
        count(where.second);
        for (uint32_t i = 0; i < where.second; i++) count(path_store_[where.first + i]);
    }

    // ---- values

    void write_value(const Cell& v) {
        if (++depth_ > max_depth) error::fire(error::Id::too_deep);
        pending_new_line_ = has_flag(v, cell_flag::new_line);
        write_direct_or_shared(v);
        pending_new_line_ = false;
        position_++;
        depth_--;
    }

    // A value written where nothing may advance the position (a native's
    // spec, the value an operator wraps).
    void write_in_place(const Cell& v) {
        const uint32_t saved = position_;
        write_value(v);
        position_ = saved;
    }

    void write_direct_or_shared(const Cell& v) {
        const TypeId t = type_of(v);
        switch (t) {
            case TypeId::unset: case TypeId::none: header(t, false); return;
            case TypeId::datatype: header(t, false); count(v.w1); return;
            case TypeId::logic:
                if (compact_) return whole_byte(v.w1 ? compact::logic_true : compact::logic_false);
                header(t, false);
                le32(v.w1 ? 1 : 0);
                return;
            case TypeId::integer: return write_integer(v);
            case TypeId::char_: header(t, false); count(v.w2); return;
            case TypeId::pair:
                header(t, false);
                signed_count(static_cast<int32_t>(v.w2));
                signed_count(static_cast<int32_t>(v.w3));
                return;
            case TypeId::point2d: header(t, false); le32(v.w1); le32(v.w2); return;
            case TypeId::point3d: header(t, false); le32(v.w1); le32(v.w2); le32(v.w3); return;
            case TypeId::float_: case TypeId::time: case TypeId::percent: return write_double(v);
            case TypeId::date: return write_date(v);
            case TypeId::typeset: return write_typeset(v);
            case TypeId::tuple: return write_tuple(v);
            case TypeId::money: return write_money(v);
            case TypeId::issue: header(t, false); symbol(v.w2); return;
            case TypeId::error: return write_error(v);
            case TypeId::op: return write_op(v);
            case TypeId::native: case TypeId::action:
                header(t, false);
                count(v.w1);
                write_in_place(Cell{to_int(TypeId::block), 0, v.w2, 0});
                return;
            case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
            case TypeId::set_path: case TypeId::get_path: case TypeId::hash: case TypeId::map:
            case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
            case TypeId::ref: case TypeId::binary: case TypeId::bitset: case TypeId::object:
            case TypeId::function:
                return write_shared(v, t == TypeId::object || t == TypeId::function ? v.w1 : v.w2);
            case TypeId::vector: return write_shared(v, v.w2);
            // An image without pixels has no record to share.
            case TypeId::image: return v.w2 ? write_shared(v, v.w2) : write_image(v);
            case TypeId::word: case TypeId::set_word: case TypeId::lit_word: case TypeId::get_word:
            case TypeId::refinement:
                if (!has_owner(v.w1)) return write_global_word(v);
                return write_shared(v, v.w1);
            default: refuse(v);
        }
    }

    void write_integer(const Cell& v) {
        const int32_t i = get_int(v);
        if (compact_ && i >= 0 && i <= 63) return whole_byte(static_cast<uint8_t>(compact::small_integer + i));
        header(TypeId::integer, false);
        signed_count(i);
    }

    // float!, time! and percent!: a whole number (hundredths for a percent)
    // as a zigzag integer when it is exact, else the double's two words.
    void write_double(const Cell& v) {
        const TypeId t = type_of(v);
        const double d = get_double(v);
        const uint64_t bits = double_bits(d);
        if (!compact_) {
            pad_to(8);
            header(t, false);
            le32(static_cast<uint32_t>(bits));
            le32(static_cast<uint32_t>(bits >> 32));
            return;
        }
        const bool negative_zero = d == 0 && std::signbit(d);
        if (t == TypeId::percent) {
            if (d >= -21474836.0 && d <= 21474836.0) {
                const double scaled = d * 100;
                const auto n = static_cast<int32_t>(d >= 0 ? scaled + 0.5 : scaled - 0.5);
                if (static_cast<double>(n) / 100 == d && !negative_zero) {
                    header(t, true);
                    zigzag(n);
                    return;
                }
            }
        } else if (d >= -2147483000.0 && d <= 2147483000.0) {
            const auto n = static_cast<int32_t>(d);
            if (static_cast<double>(n) == d && !negative_zero) {
                header(t, true);
                zigzag(n);
                return;
            }
        }
        header(t, false);
        le32(static_cast<uint32_t>(bits));
        le32(static_cast<uint32_t>(bits >> 32));
    }

    void write_date(const Cell& v) {
        const bool timed = (v.w1 & (1u << 16)) != 0;
        header(TypeId::date, compact_ && timed);
        le32(v.w1);
        if (timed || !compact_) {
            le32(timed ? v.w2 : 0);
            le32(timed ? v.w3 : 0);
        }
    }

    void write_typeset(const Cell& v) {
        header(TypeId::typeset, false);
        if (!compact_) {
            le32(v.w1);
            le32(v.w2);
            le32(v.w3);
            return;
        }
        uint8_t b[12];
        std::memcpy(b, &v.w1, 12);
        uint8_t n = 12;
        while (n > 0 && b[n - 1] == 0) n--;
        byte(n);
        bytes(b, n);
    }

    void write_tuple(const Cell& v) {
        const uint32_t n = tuple::length_of(v);
        if (!compact_) {
            header(TypeId::tuple, false, n << fixed::unit_shift);
            le32(v.w1);
            le32(v.w2);
            le32(v.w3);
            return;
        }
        header(TypeId::tuple, n != 3);
        if (n != 3) byte(static_cast<uint8_t>(n));
        const tuple::Bytes b = tuple::bytes_of(v);
        bytes(b.data(), n);
    }

    void write_money(const Cell& v) {
        const bool negative = has_flag(v, cell_flag::money_negative);
        header(TypeId::money, compact_ && negative, negative ? fixed::money_negative : 0);
        uint8_t b[12];
        std::memcpy(b, &v.w1, 12);
        bytes(b, 12);
    }

    // An error is written in full, its context remembered, so that a value
    // inside it that refers back to it (an error holding itself) becomes a
    // stand-alone reference instead of an endless recursion.
    void write_error(const Cell& v) {
        const auto found = seen_.find(v.w1);
        if (found != seen_.end()) return write_standalone_reference(found->second);
        const Cell code = *error_type::field(v, error_type::Field::code);
        if (type_of(code) != TypeId::integer || get_int(code) < 0) refuse(v);
        enter();
        record_seen(v.w1);
        header(TypeId::error, false);
        count(code.w2);
        static constexpr error_type::Field fields[6] = {
            error_type::Field::arg1, error_type::Field::arg2, error_type::Field::arg3,
            error_type::Field::near, error_type::Field::where, error_type::Field::stack};
        for (error_type::Field f : fields) write_value(*error_type::field(v, f));
        leave();
    }

    void write_standalone_reference(const std::pair<uint32_t, uint32_t>& where) {
        // A fixed reference record begins with its own type word.
        if (compact_) whole_byte(compact::standalone_reference);
        pending_new_line_ = false;
        path_of(where);
    }

    void write_op(const Cell& v) {
        const Cell fn = native::unwrap_op(v);
        const TypeId wrapped = type_of(fn);
        if (wrapped != TypeId::native && wrapped != TypeId::action && wrapped != TypeId::function) refuse(v);
        header(TypeId::op, false, static_cast<uint32_t>(to_int(wrapped)) << fixed::op_type_shift);
        write_in_place(fn);
    }

    // A word of the global context (or of none an owner can stand for).
    void write_global_word(const Cell& v) {
        header(type_of(v), false, fixed::global_word);
        symbol(v.w2);
        if (!compact_) le32(v.w3);
    }

    // ---- values that may be shared

    void write_shared(const Cell& v, uint32_t key) {
        const auto found = seen_.find(key);
        if (found != seen_.end()) return write_reference(v, found->second);
        enter();
        record_seen(key);
        write_full(v);
        leave();
    }

    // The record of a value met again: its header (and head index, symbol
    // and index where the type has them), then the path.
    void write_reference(const Cell& v, const std::pair<uint32_t, uint32_t>& where) {
        const TypeId t = type_of(v);
        if (compact_) {
            if (pending_new_line_) byte(compact::new_line);
            pending_new_line_ = false;
            byte(compact::reference);
        }
        if (is_word_like(t)) {
            header(t, true, fixed::reference);
            symbol(v.w2);
            signed_count(static_cast<int32_t>(v.w3));
        } else if (t == TypeId::object || t == TypeId::function || t == TypeId::map) {
            header(t, false, fixed::reference);
        } else if (t == TypeId::bitset) {
            const bool complemented = (series::buffer(v.w2)->flags & series::flag::complemented) != 0;
            header(t, compact_ && complemented, fixed::reference | (complemented ? fixed::complemented : 0));
        } else {
            header(t, v.w1 != 0, fixed::reference | unit_bits(v));
            if (!compact_ || v.w1 != 0) count(v.w1);
        }
        path_of(where);
    }

    // Header bits 8-15 of a fixed string-family or vector record.
    uint32_t unit_bits(const Cell& v) const {
        const TypeId t = type_of(v);
        if (!is_any_string(t) && t != TypeId::binary && t != TypeId::vector) return 0;
        return series::buffer(v.w2)->unit() << fixed::unit_shift;
    }

    void write_full(const Cell& v) {
        const TypeId t = type_of(v);
        if (is_any_block(t)) return write_block(v);
        if (is_any_string(t) || t == TypeId::binary) return write_bytes(v);
        switch (t) {
            case TypeId::map: return write_map(v);
            case TypeId::bitset: return write_bitset(v);
            case TypeId::vector: return write_vector(v);
            case TypeId::image: return write_image(v);
            case TypeId::object: return write_object(v, false);
            case TypeId::function: return write_function(v, false);
            default: return write_bound_word(v);
        }
    }

    void write_block(const Cell& v) {
        header(type_of(v), v.w1 != 0);
        if (!compact_ || v.w1 != 0) count(v.w1);
        series::Buffer* b = series::buffer(v.w2);
        const uint32_t n = b->length();
        count(n);
        for (uint32_t i = 0; i < n; i++) write_value(series::buffer(v.w2)->cells()[i]);
    }

    // The string family and binary!: the units from the series' first one.
    void write_bytes(const Cell& v) {
        const TypeId t = type_of(v);
        series::Buffer* b = series::buffer(v.w2);
        const uint32_t unit = t == TypeId::binary ? 1 : b->unit();
        const uint32_t n = b->length();
        header(t, v.w1 != 0, unit << fixed::unit_shift);
        if (!compact_ || v.w1 != 0) count(v.w1);
        if (t == TypeId::binary || !compact_) {
            count(n);
        } else {
            if (n >= (1u << 30)) refuse(v);
            leb(n << 2 | static_cast<uint32_t>(b->unit_shift()));
        }
        bytes(b->head_ptr(), size_t{n} * unit);
        if (!compact_) pad_to(4);
    }

    void write_bitset(const Cell& v) {
        series::Buffer* b = series::buffer(v.w2);
        const bool complemented = (b->flags & series::flag::complemented) != 0;
        header(TypeId::bitset, compact_ && complemented, complemented ? fixed::complemented : 0);
        const uint32_t n = b->tail - b->head;
        count(n);
        bytes(b->head_ptr(), n);
        if (!compact_) pad_to(4);
    }

    // The elements from the series' first one, in their stored size; the
    // element type and size travel with them.
    void write_vector(const Cell& v) {
        series::Buffer* b = series::buffer(v.w2);
        const uint32_t unit = b->unit();
        const uint32_t n = b->length();
        header(TypeId::vector, v.w1 != 0, unit << fixed::unit_shift);
        if (!compact_ || v.w1 != 0) count(v.w1);
        if (compact_) {
            byte(static_cast<uint8_t>(v.w3 << 2 | static_cast<uint32_t>(b->unit_shift())));
            leb(n);
        } else {
            le32(n);
            le32(v.w3);
        }
        bytes(b->head_ptr(), size_t{n} * unit);
        if (!compact_) pad_to(4);
    }

    // The whole rectangle, each pixel as its little-endian word (B, G, R,
    // opacity), the order the argb channel exports.
    void write_image(const Cell& v) {
        const uint32_t width = image_type::width(v);
        const uint32_t height = image_type::height(v);
        header(TypeId::image, v.w1 != 0);
        if (!compact_ || v.w1 != 0) count(v.w1);
        if (compact_) {
            leb(width);
            leb(height);
        } else {
            le32(v.w3);
        }
        const image::Pixels* px = image_type::pixels(v);
        const uint64_t n = px ? px->count() : 0;
        if (n != uint64_t{width} * height) refuse(v);
        out_.reserve(out_.size() + n * 4);
        for (uint64_t i = 0; i < n; i++) le32(px->data[i]);
    }

    // The live pairs only: a removed pair's value cell has a zero header.
    void write_map(const Cell& v) {
        header(TypeId::map, false);
        series::Buffer* b = series::buffer(v.w2);
        uint32_t live = 0;
        for (uint32_t i = 0; i + 1 < b->length(); i += 2)
            if (b->cells()[i + 1].header != 0) live++;
        count(live * 2);
        for (uint32_t i = 0; i + 1 < series::buffer(v.w2)->length(); i += 2) {
            const Cell* cells = series::buffer(v.w2)->cells();
            if (cells[i + 1].header == 0) continue;
            write_value(cells[i]);
            write_value(cells[i + 1]);
        }
    }

    // A word bound to an object or function context met first: the symbol,
    // the index and the owner, whose values become the word's children.
    void write_bound_word(const Cell& v) {
        header(type_of(v), true);
        symbol(v.w2);
        signed_count(static_cast<int32_t>(v.w3));
        const Cell owner = *context::self(v.w1);
        if (type_of(owner) == TypeId::function) return write_function(owner, true);
        write_object(owner, true);
    }

    void write_object(const Cell& v, bool as_owner) {
        const bool on_change = v.w3 != 0 && type_of(v) == TypeId::object;
        if (as_owner && compact_) {
            byte(static_cast<uint8_t>(to_int(TypeId::object) | (on_change ? compact::ext : 0)));
        } else if (as_owner) {
            le32(to_int(TypeId::object) | (on_change ? fixed::on_change : 0));
        } else {
            header(TypeId::object, on_change, on_change ? fixed::on_change : 0);
        }
        signed_count(static_cast<int32_t>(v.w2));
        if (on_change) {
            const Cell* record = series::buffer(v.w3)->cells();
            signed_count(static_cast<int32_t>(record[0].w2));
            signed_count(static_cast<int32_t>(record[1].w2));
        }
        write_context(v.w1);
    }

    void write_function(const Cell& v, bool as_owner) {
        if (as_owner) {
            compact_ ? byte(to_int(TypeId::function)) : le32(to_int(TypeId::function));
        } else {
            header(TypeId::function, false);
        }
        const Cell body = *function::part(v, function::Part::body);
        if (type_of(body) != TypeId::block) refuse(v);
        count(series::buffer(v.w2)->length());
        count(series::buffer(body.w2)->length());
        write_context(v.w1);
        position_ = 0;
        write_value(Cell{to_int(TypeId::block), 0, v.w2, 0});
        write_value(*function::part(v, function::Part::body));
    }

    // The words of a context, and its values when it keeps any that are set.
    void write_context(NodeId ctx) {
        const Cell h = *context::header(ctx);
        const uint32_t m = context::word_count(ctx);
        const bool on_stack = context::values_on_stack(h);
        const uint32_t kept = value_count(ctx);
        bool values = false;
        for (uint32_t i = 0; i < kept && i < m; i++)
            if (type_of(context::values(ctx)[i]) != TypeId::unset) values = true;
        const uint32_t kind = static_cast<uint32_t>(context::kind_of(h));
        const bool self = has_flag(h, cell_flag::self_value);
        if (compact_) {
            byte(to_int(TypeId::context));
            byte(static_cast<uint8_t>(kind | (on_stack ? context_flag::on_stack : 0) |
                                      (self ? context_flag::self : 0) | (values ? context_flag::values : 0)));
        } else {
            le32(to_int(TypeId::context) | kind << fixed::context_kind_shift | (self ? fixed::context_self : 0) |
                 (on_stack ? fixed::context_on_stack : 0) | (values ? fixed::context_values : 0));
        }
        count(m);
        for (uint32_t i = 0; i < m; i++) symbol(context::word_at(ctx, i)->w2);
        if (!values) return;
        for (uint32_t i = 0; i < m; i++)
            write_value(i < value_count(ctx) ? context::values(ctx)[i] : unset_cell);
    }

    // ---- containers

    std::vector<uint8_t> compact_container() {
        std::vector<uint8_t> c(magic, magic + 6);
        const bool table = !symbols_.empty();
        c.push_back(written_version);
        c.push_back(container_flag::compact | (table ? container_flag::symbols : 0));
        leb_into(c, 1);
        leb_into(c, static_cast<uint32_t>(out_.size()));
        if (table) {
            leb_into(c, static_cast<uint32_t>(symbols_.size()));
            leb_into(c, static_cast<uint32_t>(strings_.size()));
            for (uint32_t o : offsets_)
                for (int i = 0; i < 4; i++) c.push_back(static_cast<uint8_t>(o >> (8 * i)));
            c.insert(c.end(), strings_.begin(), strings_.end());
        }
        c.insert(c.end(), out_.begin(), out_.end());
        return c;
    }

    std::vector<uint8_t> fixed_container() {
        std::vector<uint8_t> c(magic, magic + 6);
        const bool table = !symbols_.empty();
        auto put32 = [&c](uint32_t v) {
            for (int i = 0; i < 4; i++) c.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        c.push_back(written_version);
        c.push_back(table ? container_flag::symbols : 0);
        put32(1);
        put32(static_cast<uint32_t>(out_.size()));
        if (table) {
            put32(static_cast<uint32_t>(symbols_.size()));
            put32(static_cast<uint32_t>(strings_.size()));
            for (uint32_t o : offsets_) put32(o);
            c.insert(c.end(), strings_.begin(), strings_.end());
        }
        c.insert(c.end(), out_.begin(), out_.end());
        return c;
    }
};

}  // namespace

std::vector<uint8_t> encode(const Cell& value, Encoding encoding) {
    Encoder encoder(encoding);
    return encoder.run(value);
}

Cell* push_encoded(const Cell& value, Encoding encoding) {
    const std::vector<uint8_t> bytes = encode(value, encoding);
    const NodeId node = series::alloc_bytes(bytes.size());
    series::Buffer* b = series::buffer(node);
    if (!bytes.empty()) std::memcpy(b->data(), bytes.data(), bytes.size());
    b->set_tail_units(static_cast<uint32_t>(bytes.size()));
    return stack::push(Cell{to_int(TypeId::binary), 0, node, 0});
}

}  // namespace qor::qorbin
