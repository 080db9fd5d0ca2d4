// The QORBIN decoder: the container and its symbol table, the record
// loop, and the records of every datatype in both encodings.
#include "runtime/qorbin/decoder.h"

#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "runtime/compress/lz.h"
#include "runtime/datatypes/date_calendar.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/vector.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/natives.h"
#include "runtime/hash/hash_table.h"
#include "runtime/image/record.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/qorbin/format.h"
#include "runtime/memory/series_tail.h"
#include "runtime/unicode/utf8.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::qorbin {

namespace {

// Cells made ahead of their contents start with room for at most this many
// entries and grow as records arrive, so a count a record claims cannot make
// the decoder reserve more memory than the input could fill.
constexpr uint32_t initial_room_cap = 256;

uint32_t room_for(uint64_t n) { return n < initial_room_cap ? static_cast<uint32_t>(n) : initial_room_cap; }

Cell integer_cell(int64_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

bool is_cell_block(TypeId t) {
    switch (t) {
        case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path: case TypeId::set_path:
        case TypeId::get_path:
            return true;
        default:
            return false;
    }
}

// Node ids kept in locals must not be renumbered while a decode runs.
struct NoNodeCompaction {
    bool saved = collector::node_compaction();
    NoNodeCompaction() { collector::set_node_compaction(false); }
    ~NoNodeCompaction() { collector::set_node_compaction(saved); }
};

// What the framing of a record says before its type's own fields.
struct Frame {
    TypeId type;
    bool ext = false;        // compact: the header's extension bit
    uint32_t word = 0;       // fixed: the whole header word
    bool reference = false;  // the payload is replaced by a reference path
    bool new_line = false;
    size_t header_at = 0;    // where the header begins
};

class Decoder {
public:
    Decoder(std::span<const uint8_t> data, const Cell* source) : source_(source ? *source : Cell{to_int(TypeId::none), 0, 0, 0}) {
        data_.assign(data.begin(), data.end());
    }

    void run(NodeId output) {
        output_ = output;
        read_container();
    }

private:
    std::vector<uint8_t> data_;  // the header and the (inflated) body
    Cell source_;
    NodeId output_ = 0;
    bool compact_ = true;
    size_t pos_ = 0;
    size_t records_start_ = 0;
    size_t end_ = 0;  // the end of the records area
    // The symbol table: where the offsets and the string area begin, their
    // sizes, and the symbol ids interned so far (0: not yet).
    bool has_table_ = false;
    uint32_t symbol_count_ = 0;
    size_t offsets_at_ = 0;
    size_t area_at_ = 0;
    uint32_t area_size_ = 0;
    std::vector<uint32_t> symbol_ids_;
    int depth_ = 0;

    // ---- faults

    [[noreturn]] void fail(size_t at) const { error::fire(error::Id::qb_invalid_record, {integer_cell(int64_t(at) + 1)}); }
    [[noreturn]] void bad_data() const { error::fire(error::Id::invalid_data, {source_}); }
    [[noreturn]] static void refused(TypeId t) {
        error::fire(error::Id::no_codec, {Cell{to_int(TypeId::datatype), to_int(t), 0, 0}});
    }

    // ---- reading

    size_t remaining(size_t limit) const { return pos_ < limit ? limit - pos_ : 0; }

    uint8_t byte(size_t limit) {
        if (pos_ >= limit) fail(pos_);
        return data_[pos_++];
    }
    uint32_t le32(size_t limit) {
        if (limit < pos_ + 4) fail(limit > pos_ ? limit : pos_);
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v |= uint32_t{data_[pos_ + i]} << (8 * i);
        pos_ += 4;
        return v;
    }
    // An unsigned LEB128 of at most five bytes; the fifth may carry only
    // bits 0-3.
    uint32_t leb(size_t limit) {
        uint32_t v = 0;
        for (int i = 0; i < 5; i++) {
            const uint8_t b = byte(limit);
            if (i == 4) {
                if (b & 0xF0) fail(pos_);
                return v | uint32_t{b} << 28;
            }
            v |= uint32_t{b & 0x7Fu} << (7 * i);
            if (!(b & 0x80)) return v;
        }
        return v;
    }
    int32_t zigzag(size_t limit) {
        const uint32_t u = leb(limit);
        return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1)));
    }
    // A count, size or index of a record: LEB or a fixed word.
    uint32_t field() { return compact_ ? leb(end_) : le32(end_); }
    int32_t signed_field() { return compact_ ? zigzag(end_) : static_cast<int32_t>(le32(end_)); }
    // A count of items that each take at least one byte (a fixed word for
    // fixed records) of what remains.
    uint32_t item_count() {
        const uint32_t n = field();
        const uint64_t need = compact_ ? uint64_t{n} : uint64_t{n} * 4;
        if (n > 0x7FFFFFFF || need > remaining(end_)) fail(pos_);
        return n;
    }
    // A count of bytes that follow.
    uint32_t byte_count() {
        const uint32_t n = field();
        if (n > 0x7FFFFFFF || n > remaining(end_)) fail(pos_);
        return n;
    }
    // A head index: never beyond what the input could hold.
    uint32_t head_index() {
        const uint32_t h = field();
        if (h > data_.size()) fail(pos_);
        return h;
    }
    void skip_padding_to(size_t multiple) {
        while ((pos_ - records_start_) % multiple) {
            if (pos_ >= end_) fail(pos_);
            pos_++;
        }
    }

    // A symbol-table index, checked, as a symbol id.
    uint32_t symbol() {
        const size_t at = pos_;
        const uint32_t index = field();
        if (!has_table_ || index >= symbol_count_) fail(at);
        if (symbol_ids_[index] != 0) return symbol_ids_[index];
        uint32_t offset = 0;
        for (int i = 0; i < 4; i++) offset |= uint32_t{data_[offsets_at_ + 4 * size_t{index} + i]} << (8 * i);
        if (offset >= area_size_) fail(at);
        const uint8_t* start = data_.data() + area_at_ + offset;
        const uint8_t* area_end = data_.data() + area_at_ + area_size_;
        const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(start, 0, size_t(area_end - start)));
        if (!nul || nul == start) fail(at);
        for (const uint8_t* p = start; p < nul;) {
            int32_t cp;
            p = utf8::decode_char(p, nul, cp);
            if (cp < 0) fail(at);
        }
        const uint32_t id = symbol::make({reinterpret_cast<const char*>(start), size_t(nul - start)});
        symbol_ids_[index] = id;
        return id;
    }

    // ---- the container

    void read_container() {
        if (data_.size() < header_size || std::memcmp(data_.data(), magic, 6) != 0) bad_data();
        const uint8_t flags = data_[7];
        if (flags & container_flag::compressed) inflate();
        compact_ = (flags & container_flag::compact) != 0;
        has_table_ = (flags & container_flag::symbols) != 0;
        pos_ = header_size;
        const size_t input_end = data_.size();
        uint32_t records_size;
        if (compact_) {
            (void)leb(input_end);
            records_size = leb(input_end);
            if (has_table_) {
                const uint32_t n = leb(input_end);
                read_symbol_table(n, leb(input_end), input_end);
            }
        } else {
            if (input_end - pos_ < 8) bad_data();
            (void)le32(input_end);
            records_size = le32(input_end);
            if (has_table_) {
                if (input_end - pos_ < 8) bad_data();
                const uint32_t n = le32(input_end);
                read_symbol_table(n, le32(input_end), input_end);
            }
        }
        if (records_size > 0x7FFFFFFF || records_size > remaining(input_end)) fail(pos_);
        records_start_ = pos_;
        end_ = pos_ + records_size;
        while (pos_ < end_) {
            if (!compact_ && skip_zero_words()) break;
            read_value(output_);
        }
    }

    // The body after the header is one LZ stream; the inflated bytes take
    // its place.
    void inflate() {
        auto body = lz::decompress({data_.data() + header_size, data_.size() - header_size});
        if (!body) bad_data();
        data_.resize(header_size);
        data_.insert(data_.end(), body->begin(), body->end());
    }

    void read_symbol_table(uint32_t n, uint32_t size, size_t input_end) {
        if (n > 0x7FFFFFFF || size > 0x7FFFFFFF) fail(pos_);
        const uint64_t left = remaining(input_end);
        if (n > left / 4 || size > left - uint64_t{n} * 4) fail(pos_);
        if (size > 0 && data_[pos_ + 4 * size_t{n} + size - 1] != 0) fail(pos_);
        symbol_count_ = n;
        offsets_at_ = pos_;
        area_at_ = pos_ + 4 * size_t{n};
        area_size_ = size;
        symbol_ids_.assign(n, 0);
        pos_ = area_at_ + size;
    }

    // Fixed records: zero words where a header is expected are padding.
    // True when only padding is left.
    bool skip_zero_words() {
        while (pos_ + 4 <= end_ && data_[pos_] == 0 && data_[pos_ + 1] == 0 && data_[pos_ + 2] == 0 &&
               data_[pos_ + 3] == 0)
            pos_ += 4;
        return pos_ >= end_;
    }

    // ---- the output

    // Appends an unset! cell to the block behind the node; answers its index.
    static uint32_t reserve(NodeId target) {
        *series_tail::alloc_cell(target) = unset_cell;
        return series::buffer(target)->length() - 1;
    }
    static Cell& cell_at(NodeId target, uint32_t index) { return series::buffer(target)->cells()[index]; }
    static void put(NodeId target, uint32_t index, Cell c, bool new_line) {
        if (new_line) c.header |= cell_flag::new_line;
        cell_at(target, index) = c;
    }
    static void append(NodeId target, const Cell& c, bool new_line) { put(target, reserve(target), c, new_line); }

    // ---- records

    void read_value(NodeId target) {
        if (++depth_ > max_depth) fail(pos_);
        if (compact_) read_compact(target);
        else read_fixed(target);
        depth_--;
    }

    void read_compact(NodeId target) {
        Frame f;
        if (pos_ >= end_) fail(pos_);
        for (;;) {
            const uint8_t b = byte(end_);
            if (b == compact::new_line) {
                f.new_line = true;
            } else if (b == compact::reference) {
                f.reference = true;
            } else if (b == compact::word_with_value) {
                fail(pos_);
            } else {
                pos_--;
                break;
            }
        }
        f.header_at = pos_;
        const uint8_t h = byte(end_);
        if (h >= 0x80) {
            if (f.reference) fail(f.header_at);
            if (h < 0xC0) return append(target, integer_cell(h - compact::small_integer), f.new_line);
            if (h == compact::logic_true || h == compact::logic_false)
                return append(target, Cell{to_int(TypeId::logic), h == compact::logic_true ? 1u : 0u, 0, 0},
                              f.new_line);
            if (h == compact::standalone_reference) return append(target, read_path(), f.new_line);
            fail(f.header_at);
        }
        uint32_t type = h & compact::type_mask;
        f.ext = (h & compact::ext) != 0;
        if (type == compact::long_type) type = leb(end_);
        if (type == 0 || type > 255) fail(f.header_at);
        f.type = static_cast<TypeId>(type);
        read_typed(target, f);
    }

    void read_fixed(NodeId target) {
        if (skip_zero_words()) fail(pos_);
        Frame f;
        f.header_at = pos_;
        f.word = le32(end_);
        if ((f.word & fixed::type_mask) == fixed::reference_type) {
            pos_ = f.header_at;
            return append(target, read_path(), false);
        }
        f.type = static_cast<TypeId>(f.word & fixed::type_mask);
        f.reference = (f.word & fixed::reference) != 0;
        f.new_line = (f.word & fixed::new_line) != 0;
        read_typed(target, f);
    }

    void read_typed(NodeId target, Frame f) {
        const TypeId t = f.type;
        const bool may_refer = is_any_block(t) || is_any_string(t) || is_word_like(t) || t == TypeId::binary ||
                               t == TypeId::bitset || t == TypeId::map || t == TypeId::object ||
                               t == TypeId::function || t == TypeId::vector || t == TypeId::image;
        // Bit 19 of a fixed header means a reference only where a reference
        // may stand (an operator keeps the wrapped type in bits 16-23).
        if (f.reference && (!may_refer || t == TypeId::issue)) {
            if (compact_) fail(f.header_at);
            f.reference = false;
        }
        switch (t) {
            case TypeId::datatype: {
                const uint32_t id = field();
                if (id == 0 || id >= 256 || !datatype::is_registered(static_cast<TypeId>(id))) fail(pos_);
                return append(target, Cell{to_int(t), id, 0, 0}, f.new_line);
            }
            case TypeId::unset: case TypeId::none: return append(target, Cell{to_int(t), 0, 0, 0}, f.new_line);
            case TypeId::logic:
                if (compact_) fail(f.header_at);
                return append(target, Cell{to_int(t), le32(end_) != 0 ? 1u : 0u, 0, 0}, f.new_line);
            case TypeId::char_: {
                const uint32_t cp = field();
                if (cp > 0x10FFFF) fail(pos_);
                return append(target, Cell{to_int(t), 0, cp, 0}, f.new_line);
            }
            case TypeId::integer: return append(target, integer_cell(signed_field()), f.new_line);
            case TypeId::float_: case TypeId::percent: case TypeId::time: return read_double(target, f);
            case TypeId::pair: {
                const int32_t x = signed_field();
                const int32_t y = signed_field();
                return append(target, Cell{to_int(t), 0, uint32_t(x), uint32_t(y)}, f.new_line);
            }
            case TypeId::point2d: case TypeId::point3d: {
                Cell c{to_int(t), le32(end_), le32(end_), 0};
                if (t == TypeId::point3d) c.w3 = le32(end_);
                return append(target, c, f.new_line);
            }
            case TypeId::date: return read_date(target, f);
            case TypeId::typeset: return read_typeset(target, f);
            case TypeId::tuple: return read_tuple(target, f);
            case TypeId::money: return read_money(target, f);
            case TypeId::issue:
                return append(target, Cell{to_int(t), context::global(), symbol(), uint32_t(word::no_index)},
                              f.new_line);
            case TypeId::native: case TypeId::action: return read_native(target, f);
            case TypeId::op: return read_op(target, f);
            case TypeId::error: return read_error(target, f);
            case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
            case TypeId::set_path: case TypeId::get_path: case TypeId::hash:
                return read_block(target, f);
            case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
            case TypeId::ref: case TypeId::binary:
                return read_string(target, f);
            case TypeId::bitset: return read_bitset(target, f);
            case TypeId::vector: return read_vector(target, f);
            case TypeId::image: return read_image(target, f);
            case TypeId::map: return read_map(target, f);
            case TypeId::word: case TypeId::set_word: case TypeId::lit_word: case TypeId::get_word:
            case TypeId::refinement:
                return read_word(target, f);
            case TypeId::object: case TypeId::function:
                if (f.reference) return append(target, owner_by_reference(t), f.new_line);
                return (void)read_owner(t, compact_ ? f.ext : (f.word & fixed::on_change) != 0, target, nullptr,
                                        f.new_line);
            case TypeId::context: return (void)read_owner(TypeId::context, false, target, nullptr, f.new_line, f.word);
            case TypeId::routine: case TypeId::triple: case TypeId::handle: case TypeId::port: case TypeId::event:
                refused(t);
            default: fail(f.header_at);
        }
    }

    // ---- scalars

    void read_double(NodeId target, const Frame& f) {
        Cell c{to_int(f.type), 0, 0, 0};
        if (compact_ && f.ext) {
            const int32_t i = zigzag(end_);
            set_double(c, f.type == TypeId::percent ? double(i) / 100 : double(i));
        } else {
            if (!compact_ && (f.header_at - records_start_) % 8) fail(f.header_at);
            c.w2 = le32(end_);
            c.w3 = le32(end_);
        }
        append(target, c, f.new_line);
    }

    // A date must name a real day, a zone of whole quarter hours, and a
    // local time of day within the day.
    void read_date(NodeId target, const Frame& f) {
        const size_t at = pos_;
        const uint32_t w = le32(end_);
        Cell c{to_int(TypeId::date), w, 0, 0};
        if (compact_ && f.ext != date::has_time(w)) fail(at);
        if (!compact_ || date::has_time(w)) {
            c.w2 = le32(end_);
            c.w3 = le32(end_);
        }
        const int32_t month = date::month_of(w);
        if (month < 1 || month > 12 || date::day_of(w) < 1 ||
            date::day_of(w) > date::days_in_month(date::year_of(w), month))
            fail(at);
        if (date::has_time(w)) {
            const double local = get_double(c) + date::zone_seconds(date::zone_of(w));
            if (!std::isfinite(local) || local < 0 || local >= date::seconds_per_day) fail(at);
        } else {
            c.w2 = c.w3 = 0;
            if (date::zone_of(w) != 0) fail(at);
        }
        append(target, c, f.new_line);
    }

    // Only the bits of datatype ids may be set.
    void read_typeset(NodeId target, const Frame& f) {
        const size_t at = pos_;
        uint8_t b[12] = {};
        if (compact_) {
            const uint8_t n = byte(end_);
            if (n > 12) fail(at);
            for (uint8_t i = 0; i < n; i++) b[i] = byte(end_);
        } else {
            for (int i = 0; i < 3; i++) {
                const uint32_t w = le32(end_);
                std::memcpy(b + 4 * i, &w, 4);
            }
        }
        for (uint32_t id = 0; id < 96; id++)
            if ((b[id >> 3] & (0x80u >> (id & 7))) && (id == 0 || id > to_int(TypeId::event))) fail(at);
        Cell c{to_int(TypeId::typeset), 0, 0, 0};
        std::memcpy(&c.w1, b, 12);
        append(target, c, f.new_line);
    }

    void read_tuple(NodeId target, const Frame& f) {
        const size_t at = pos_;
        uint8_t b[12] = {};
        uint32_t n;
        if (compact_) {
            n = f.ext ? byte(end_) : 3;
            if (n < 1 || n > 12) fail(at);
            for (uint32_t i = 0; i < n; i++) b[i] = byte(end_);
        } else {
            n = (f.word >> fixed::unit_shift) & 0xFF;
            if (n < 1 || n > 12) fail(f.header_at);
            for (int i = 0; i < 3; i++) {
                const uint32_t w = le32(end_);
                std::memcpy(b + 4 * i, &w, 4);
            }
        }
        Cell c;
        tuple::make_at(c, {b, n});
        append(target, c, f.new_line);
    }

    // Packed decimal digits 0-9 and a currency the list holds.
    void read_money(NodeId target, const Frame& f) {
        const size_t at = pos_;
        uint8_t b[12];
        for (int i = 0; i < 3; i++) {
            const uint32_t w = le32(end_);
            std::memcpy(b + 4 * i, &w, 4);
        }
        for (int i = 1; i < 12; i++)
            if ((b[i] >> 4) > 9 || (b[i] & 15) > 9) fail(at);
        if (!money::currency_known(b[0])) fail(at);
        const bool negative = compact_ ? f.ext : (f.word & fixed::money_negative) != 0;
        Cell c{to_int(TypeId::money) | (negative ? cell_flag::money_negative : 0), 0, 0, 0};
        std::memcpy(&c.w1, b, 12);
        append(target, c, f.new_line);
    }

    // ---- natives, operators, errors

    // The number names a routine that exists; the spec is a valid interface
    // block.
    void read_native(NodeId target, const Frame& f) {
        const size_t at = pos_;
        const uint32_t number = field();
        const bool is_native = f.type == TypeId::native;
        if (number == 0 || (is_native ? number > natives::native_count || !natives::code(number)
                                      : number > action_count))
            fail(at);
        const uint32_t slot = reserve(target);
        NodeId spec = series::alloc_cells(1);
        collector::NodeGuard keep(spec);
        const size_t spec_at = pos_;
        read_value(spec);
        const Cell s = cell_at(spec, 0);
        if (type_of(s) != TypeId::block) fail(spec_at);
        check_interface(s, spec_at);
        put(target, slot, native::make(f.type, number, s), f.new_line);
    }

    // An operator wraps a native, an action or a function of two arguments.
    void read_op(NodeId target, const Frame& f) {
        const size_t at = pos_;
        read_value(target);
        const uint32_t slot = series::buffer(target)->length() - 1;
        const Cell fn = cell_at(target, slot);
        const TypeId wrapped = type_of(fn);
        if (wrapped != TypeId::native && wrapped != TypeId::action && wrapped != TypeId::function) fail(at);
        Cell op;
        try {
            op = native::make_op(fn);
        } catch (const error::Raised&) {
            fail(at);
        }
        op.header &= ~cell_flag::new_line;
        put(target, slot, op, f.new_line);
    }

    void read_error(NodeId target, const Frame& f) {
        const size_t at = pos_;
        const uint32_t code = field();
        if (code > 0x7FFFFFFF) fail(at);
        const uint32_t slot = reserve(target);
        Cell made;
        {
            const size_t depth = stack::depth();
            Cell spec = integer_cell(code);
            try {
                made = *error_type::make(nullptr, &spec, TypeId::error);
            } catch (const error::Raised&) {
                fail(at);
            }
            put(target, slot, made, f.new_line);
            stack::data.top = stack::data.bottom + depth;
        }
        // The error's values are cut to code, type and id, and the six
        // fields that follow decode in place; files is none.
        const NodeId values = context::header(made.w1)->w2;
        series::buffer(values)->set_tail_units(3);
        for (int i = 0; i < 6; i++) read_value(values);
        append(values, Cell{to_int(TypeId::none), 0, 0, 0}, false);
        if (series::buffer(values)->length() != error::catalogue::field_count) fail(pos_);
    }

    // ---- series

    // A reference record's value: the series found, which must keep its
    // data in the storage the record's datatype reads.
    Cell referenced_series(TypeId t, uint32_t head, size_t at) {
        const Cell found = read_path();
        const TypeId ft = type_of(found);
        bool fits;
        if (is_cell_block(t)) {
            fits = is_cell_block(ft) || ft == TypeId::native || ft == TypeId::action || ft == TypeId::function ||
                   (ft == TypeId::op && type_of(native::unwrap_op(found)) != TypeId::routine);
        } else if (is_any_string(t)) {
            fits = is_any_string(ft);
        } else {
            fits = ft == t;
        }
        if (!fits) fail(at);
        // Word 3 holds a hash's or map's table, a vector's element type and
        // an image's size.
        const bool keeps_w3 = t == TypeId::hash || t == TypeId::map || t == TypeId::vector || t == TypeId::image;
        return Cell{to_int(t), t == TypeId::map ? 0 : head, found.w2, keeps_w3 ? found.w3 : 0};
    }

    void read_block(NodeId target, const Frame& f) {
        const uint32_t head = compact_ && !f.ext ? 0 : head_index();
        if (f.reference) return append(target, referenced_series(f.type, head, f.header_at), f.new_line);
        const uint32_t n = item_count();
        const uint32_t slot = reserve(target);
        NodeId block;
        if (f.type == TypeId::hash) {
            NodeId table = hashtable::init(int32_t(room_for(n) ? room_for(n) : 1), nullptr, hashtable::Kind::hash, 0);
            block = hashtable::block_of(table);
            put(target, slot, Cell{to_int(TypeId::hash), head, block, table}, f.new_line);
            for (uint32_t i = 0; i < n; i++) read_value(block);
            hashtable::rebuild(table, int32_t(n));
            return;
        }
        block = series::alloc_cells(room_for(n));
        put(target, slot, Cell{to_int(f.type), head, block, 0}, f.new_line);
        for (uint32_t i = 0; i < n; i++) read_value(block);
    }

    // The string family and binary!: Latin-1, UCS-2 or UCS-4 units.
    void read_string(NodeId target, const Frame& f) {
        const bool binary = f.type == TypeId::binary;
        uint32_t unit = 1;
        if (!compact_) {
            unit = (f.word >> fixed::unit_shift) & 0xFF;
            if ((binary && unit != 1) || (unit != 1 && unit != 2 && unit != 4)) fail(f.header_at);
        }
        const uint32_t head = compact_ && !f.ext ? 0 : head_index();
        if (f.reference) return append(target, referenced_series(f.type, head, f.header_at), f.new_line);
        const size_t at = pos_;
        uint64_t count;
        if (compact_ && !binary) {
            const uint32_t e = leb(end_);
            if ((e & 3) == 3) fail(pos_);
            unit = 1u << (e & 3);
            count = e >> 2;
        } else {
            count = field();
        }
        const uint64_t size = count * unit;
        if (size > remaining(end_) || count > 0x7FFFFFFF) fail(at);
        const uint8_t* p = data_.data() + pos_;
        if (unit == 4)
            for (uint64_t i = 0; i < count; i++) {
                uint32_t cp;
                std::memcpy(&cp, p + 4 * i, 4);
                if (cp > 0x10FFFF) fail(pos_ + 4 * i);
            }
        const uint32_t slot = reserve(target);
        const NodeId node = binary ? series::alloc_bytes(size) : series::alloc_units(count, unit);
        series::Buffer* b = series::buffer(node);
        if (size) std::memcpy(b->data(), data_.data() + pos_, size);
        b->set_tail_units(uint32_t(count));
        put(target, slot, Cell{to_int(f.type), head, node, 0}, f.new_line);
        pos_ += size;
        if (!compact_) skip_padding_to(4);
    }

    void read_bitset(NodeId target, const Frame& f) {
        const bool complemented = compact_ ? f.ext : (f.word & fixed::complemented) != 0;
        if (f.reference) return append(target, referenced_series(TypeId::bitset, 0, f.header_at), f.new_line);
        const uint32_t n = byte_count();
        const uint32_t slot = reserve(target);
        const NodeId node = series::alloc_bytes(n);
        series::Buffer* b = series::buffer(node);
        if (n) std::memcpy(b->data(), data_.data() + pos_, n);
        b->set_tail_units(n);
        if (complemented) series::set_flag(node, series::flag::complemented);
        put(target, slot, Cell{to_int(TypeId::bitset), 0, node, 0}, f.new_line);
        pos_ += n;
        if (!compact_) skip_padding_to(4);
    }

    // The element types and sizes a vector can have: char! and integer! in
    // 1, 2 or 4 bytes, float! in 4 or 8, percent! in 8.
    static bool valid_element(uint32_t element, uint32_t unit) {
        switch (static_cast<TypeId>(element)) {
            case TypeId::char_: case TypeId::integer: return unit == 1 || unit == 2 || unit == 4;
            case TypeId::float_: return unit == 4 || unit == 8;
            case TypeId::percent: return unit == 8;
            default: return false;
        }
    }

    // vector!: the element type and size are checked, and count x size
    // (in 64 bits) against the bytes present, before the elements are
    // taken. Any element bits are kept: the datatype reads them all.
    void read_vector(NodeId target, const Frame& f) {
        uint32_t unit = 0;
        if (!compact_) {
            unit = (f.word >> fixed::unit_shift) & 0xFF;
            if (unit != 1 && unit != 2 && unit != 4 && unit != 8) fail(f.header_at);
        }
        const uint32_t head = compact_ && !f.ext ? 0 : head_index();
        if (f.reference) return append(target, referenced_series(TypeId::vector, head, f.header_at), f.new_line);
        const size_t at = pos_;
        uint32_t element, count;
        if (compact_) {
            const uint8_t flags = byte(end_);
            unit = 1u << (flags & 3);
            element = flags >> 2;
            if (!valid_element(element, unit)) fail(at);
            count = leb(end_);
        } else {
            count = le32(end_);
            element = le32(end_);
            if (!valid_element(element, unit)) fail(pos_ - 4);
        }
        const uint64_t size = uint64_t{count} * unit;
        if (size > remaining(end_)) fail(at);
        const uint32_t slot = reserve(target);
        Cell made;
        vector_type::make_at(made, count, static_cast<TypeId>(element), unit);
        series::Buffer* b = series::buffer(made.w2);
        if (size) std::memcpy(b->data(), data_.data() + pos_, size);
        b->set_tail_units(count);
        made.w1 = head;
        put(target, slot, made, f.new_line);
        pos_ += size;
        if (!compact_) skip_padding_to(4);
    }

    // image!: each side at most 65,535 and width x height x 4 (in 64 bits)
    // within the bytes present before the pixels are taken; 4 bytes a
    // pixel, the little-endian pixel word (B, G, R, opacity).
    void read_image(NodeId target, const Frame& f) {
        const uint32_t head = compact_ && !f.ext ? 0 : head_index();
        if (f.reference) return append(target, referenced_series(TypeId::image, head, f.header_at), f.new_line);
        const size_t at = pos_;
        uint32_t width, height;
        if (compact_) {
            width = leb(end_);
            height = leb(end_);
        } else {
            const uint32_t size = le32(end_);
            width = size & 0xFFFF;
            height = size >> 16;
        }
        if (width > image::max_side || height > image::max_side) fail(at);
        const uint64_t size = uint64_t{width} * height * 4;
        if (size > remaining(end_) || image::check_size(width, height) != image::Status::ok) fail(at);
        image::Pixels px;
        if (image::allocate(px, width, height) != image::Status::ok) error::fire(error::Id::no_memory);
        const uint8_t* p = data_.data() + pos_;
        for (uint64_t i = 0; i < px.count(); i++, p += 4)
            px.data[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        pos_ += size;
        const uint32_t slot = reserve(target);
        // The record is reachable from nowhere until the cell is in place:
        // nothing allocates in between.
        Cell made;
        image::make_at(made, std::move(px));
        made.w1 = head;
        put(target, slot, made, f.new_line);
    }

    // Keys and values alternately; every key must be one a map accepts. A
    // repeated key keeps its last value.
    void read_map(NodeId target, const Frame& f) {
        if (f.reference) return append(target, referenced_series(TypeId::map, 0, f.header_at), f.new_line);
        const size_t at = pos_;
        const uint32_t n = item_count();
        if (n % 2) fail(at);
        const uint32_t slot = reserve(target);
        Cell made;
        map::make_at(made, nullptr, int32_t(room_for(n)));
        put(target, slot, made, f.new_line);
        for (uint32_t i = 0; i < n; i++) {
            const size_t key_at = pos_;
            read_value(made.w2);
            if (i % 2 == 0 && !map::valid_key(type_of(cell_at(made.w2, i)))) fail(key_at);
        }
        try {
            hashtable::index_block(made.w3, 0, 2);
        } catch (const error::Raised&) {
            fail(at);
        }
    }

    // ---- words, objects, functions

    // A word of the global context; a refinement is unbound, as the lexer
    // makes it.
    static Cell global_word(TypeId t, uint32_t sym) {
        if (t == TypeId::refinement) return Cell{to_int(t), 0, sym, uint32_t(word::no_index)};
        Cell w = context::add_word_global(sym, true, true);
        set_type_keep_flags(w, t);
        return w;
    }

    // The word's index must name a word of the context spelled alike (or be
    // -1, which reads only `self`).
    void check_binding(NodeId ctx, uint32_t sym, int32_t index, size_t at) const {
        if (index == word::no_index) return;
        if (index < 0 || uint32_t(index) >= context::word_count(ctx)) fail(at);
        if (symbol::resolve_alias(context::word_at(ctx, uint32_t(index))->w2) != symbol::resolve_alias(sym))
            fail(at);
    }

    void read_word(NodeId target, const Frame& f) {
        const uint32_t sym = symbol();
        const size_t at = pos_;
        const bool global = compact_ ? !f.ext : (f.word & fixed::global_word) != 0;
        if (global) {
            if (!compact_) (void)le32(end_);
            return append(target, global_word(f.type, sym), f.new_line);
        }
        const int32_t index = signed_field();
        if (f.reference) {
            const NodeId ctx = context_of_found(read_path(), at);
            check_binding(ctx, sym, index, at);
            return append(target, Cell{to_int(f.type), ctx, sym, uint32_t(index)}, f.new_line);
        }
        // The owner follows: the word is in place first, so that records
        // inside the owner can reach its context through it.
        const uint32_t slot = reserve(target);
        put(target, slot, Cell{to_int(f.type), 0, sym, uint32_t(index)}, f.new_line);
        const size_t owner_at = pos_;
        TypeId owner;
        bool on_change;
        if (compact_) {
            const uint8_t h = byte(end_);
            owner = static_cast<TypeId>(h & compact::type_mask);
            on_change = (h & compact::ext) != 0;
        } else {
            const uint32_t w = le32(end_);
            owner = static_cast<TypeId>(w & fixed::type_mask);
            on_change = (w & fixed::on_change) != 0;
        }
        if (owner != TypeId::object && owner != TypeId::function) fail(owner_at);
        const NodeId ctx = read_owner(owner, on_change, target, &slot, false);
        check_binding(ctx, sym, index, at);
    }

    // The context a reference gives a word: an object's, a word's, a
    // function's, or that of the function an operator wraps.
    NodeId context_of_found(const Cell& found, size_t at) const {
        Cell v = found;
        if (type_of(v) == TypeId::op) v = native::unwrap_op(v);
        switch (type_of(v)) {
            case TypeId::object: case TypeId::error: case TypeId::function: case TypeId::word:
            case TypeId::set_word: case TypeId::lit_word: case TypeId::get_word: case TypeId::refinement:
                if (v.w1 == 0 || v.w1 == context::global()) fail(at);
                return v.w1;
            default: fail(at);
        }
    }

    // An object! or function! record that is a reference: the owner of the
    // context found.
    Cell owner_by_reference(TypeId t) {
        const size_t at = pos_;
        const NodeId ctx = context_of_found(read_path(), at);
        const Cell self = *context::self(ctx);
        const TypeId st = type_of(self);
        if (t == TypeId::function ? st != TypeId::function : st != TypeId::object && st != TypeId::error) fail(at);
        Cell c = self;
        c.header &= ~cell_flag::new_line;
        return c;
    }

    // An object or a function with its context (or a bare context record,
    // which becomes an object). Appended to the target, or, for the owner of
    // a word (`word_slot`), bound to that word instead. Answers the context.
    NodeId read_owner(TypeId t, bool on_change, NodeId target, const uint32_t* word_slot, bool new_line,
                      uint32_t bare_word = 0) {
        const bool is_function = t == TypeId::function;
        uint32_t spec_room = 0, body_room = 0;
        if (t == TypeId::object) {
            (void)signed_field();  // the class id: a loaded object gets a new one
            if (on_change) {
                (void)signed_field();
                (void)signed_field();
            }
        } else if (is_function) {
            spec_room = room_for(item_count());
            body_room = room_for(item_count());
        }
        // The context record: kind and storage must be those of the owner.
        const size_t at = pos_;
        uint32_t kind, flags;
        if (t == TypeId::context) {
            flags = compact_ ? byte(end_) : fixed_context_flags(bare_word);
        } else if (compact_) {
            if ((byte(end_) & compact::type_mask) != to_int(TypeId::context)) fail(at);
            flags = byte(end_);
        } else {
            const uint32_t w = le32(end_);
            if ((w & fixed::type_mask) != to_int(TypeId::context)) fail(at);
            flags = fixed_context_flags(w);
        }
        kind = flags & context_flag::kind_mask;
        const bool on_stack = (flags & context_flag::on_stack) != 0;
        const bool values = (flags & context_flag::values) != 0;
        if (is_function ? kind != 1 || !on_stack || values : kind != 2 || on_stack) fail(at);
        const uint32_t m = item_count();
        std::vector<uint32_t> syms;
        syms.reserve(room_for(m));
        for (uint32_t i = 0; i < m; i++) syms.push_back(symbol());

        NodeId ctx = context::make(m, on_stack, !is_function, nullptr,
                                   is_function ? context::Kind::function : context::Kind::object);
        collector::NodeGuard keep_ctx(ctx);
        uint32_t slot = 0;
        if (!word_slot) slot = reserve(target);
        Cell self;
        NodeId spec = 0, body = 0, parts = 0;
        collector::NodeGuard keep_spec(spec), keep_body(body), keep_parts(parts);
        if (is_function) {
            spec = series::alloc_cells(spec_room);
            body = series::alloc_cells(body_room);
            parts = series::alloc_unset_cells(5);
            series::buffer(parts)->set_tail_units(5);
            series::buffer(parts)->cells()[0] = Cell{to_int(TypeId::block), 0, body, 0};
            self = Cell{to_int(TypeId::function), ctx, spec, parts};
        } else {
            self = Cell{to_int(TypeId::object), ctx, uint32_t(-1), 0};
        }
        *context::self(ctx) = self;
        if (word_slot) cell_at(target, *word_slot).w1 = ctx;
        else put(target, slot, self, new_line);

        for (uint32_t i = 0; i < m; i++) {
            int32_t added = -1;
            if (context::find_word_in(ctx, syms[i], true, added) >= 0 || added != int32_t(i)) fail(at);
        }
        if (!is_function) {
            const NodeId values_node = context::header(ctx)->w2;
            if (values) {
                for (uint32_t i = 0; i < m; i++) read_value(values_node);
            } else {
                series::buffer(values_node)->set_tail_units(m);
            }
            if (on_change) attach_handlers(ctx, target, word_slot ? nullptr : &slot, at);
            return ctx;
        }
        read_function_parts(ctx, target, word_slot ? nullptr : &slot);
        return ctx;
    }

    static uint32_t fixed_context_flags(uint32_t w) {
        return (w >> fixed::context_kind_shift & 3) | ((w & fixed::context_on_stack) ? context_flag::on_stack : 0) |
               ((w & fixed::context_self) ? context_flag::self : 0) |
               ((w & fixed::context_values) ? context_flag::values : 0);
    }

    // The object's change handlers, from its on-change* and
    // on-deep-change* fields.
    void attach_handlers(NodeId ctx, NodeId target, const uint32_t* slot, size_t at) {
        Cell obj = *context::self(ctx);
        collector::RootGuard keep(obj);
        try {
            object::attach_handlers(obj);
        } catch (const error::Raised&) {
            fail(at);
        }
        if (slot) {
            const bool nl = has_flag(cell_at(target, *slot), cell_flag::new_line);
            put(target, *slot, obj, nl);
        }
    }

    // The spec and the body of a function, then the checks that make it
    // safe to call: a valid interface block whose words are exactly the
    // context's, in order.
    void read_function_parts(NodeId ctx, NodeId target, const uint32_t* slot) {
        const size_t spec_at = pos_;
        Cell fn = *context::self(ctx);
        const NodeId spec = read_function_block(fn.w2);
        const NodeId body = read_function_block(function::part(fn, function::Part::body)->w2);
        fn = *context::self(ctx);
        fn.w2 = spec;
        function::part(fn, function::Part::body)->w2 = body;
        const Cell spec_cell{to_int(TypeId::block), 0, spec, 0};
        fn.header |= check_interface(spec_cell, spec_at);
        if (!words_match_spec(ctx, spec)) fail(spec_at);
        *context::self(ctx) = fn;
        if (slot) {
            const bool nl = has_flag(cell_at(target, *slot), cell_flag::new_line);
            put(target, *slot, fn, nl);
        }
    }

    // A block! record for a function's spec or body: decoded into the node
    // made for it, or a reference to a block decoded earlier, whose series
    // then serves. Answers the series.
    NodeId read_function_block(NodeId made) {
        const size_t at = pos_;
        bool reference = false;
        if (compact_) {
            for (;;) {
                const uint8_t b = byte(end_);
                if (b == compact::new_line) continue;
                if (b == compact::reference) {
                    reference = true;
                    continue;
                }
                if ((b & 0xC0) || (b & compact::type_mask) != to_int(TypeId::block)) fail(at);
                if (b & compact::ext) (void)head_index();
                break;
            }
        } else {
            if (skip_zero_words()) fail(pos_);
            const uint32_t w = le32(end_);
            if ((w & fixed::type_mask) != to_int(TypeId::block)) fail(at);
            reference = (w & fixed::reference) != 0;
            (void)head_index();
        }
        if (reference) {
            const Cell found = read_path();
            if (!is_cell_block(type_of(found))) fail(at);
            return found.w2;
        }
        const uint32_t n = item_count();
        if (++depth_ > max_depth) fail(pos_);
        for (uint32_t i = 0; i < n; i++) read_value(made);
        depth_--;
        return made;
    }

    // Checks an interface block as making a function does; answers its
    // attribute flags.
    uint32_t check_interface(const Cell& spec, size_t at) const {
        try {
            return function::check_spec(spec);
        } catch (const error::Raised&) {
            fail(at);
        }
    }

    // The function's context must hold exactly the words of its interface
    // block, in order, so that every frame slot a word of the body names
    // exists when the function runs.
    static bool words_match_spec(NodeId ctx, NodeId spec) {
        uint32_t k = 0;
        const uint32_t m = context::word_count(ctx);
        for (uint32_t i = 0; i < series::buffer(spec)->length(); i++) {
            const Cell c = series::buffer(spec)->cells()[i];
            const TypeId t = type_of(c);
            if (t != TypeId::word && t != TypeId::lit_word && t != TypeId::get_word && t != TypeId::refinement)
                continue;
            if (k >= m || symbol::resolve_alias(context::word_at(ctx, k)->w2) != symbol::resolve_alias(c.w2))
                return false;
            k++;
        }
        return k == m;
    }

    // ---- references

    // A path of indexes from the output block to a value decoded earlier;
    // answers a copy of that value.
    Cell read_path() {
        const size_t at = pos_;
        if (!compact_ && le32(end_) != fixed::reference_type) fail(at);
        const uint32_t n = field();
        if (n == 0 || n > max_path_length || (compact_ ? n : uint64_t{n} * 4) > remaining(end_)) fail(at);
        Cell current{to_int(TypeId::block), 0, output_, 0};
        for (uint32_t k = 0; k < n; k++) current = step(current, static_cast<int32_t>(field()), at);
        return current;
    }

    // One index of a path into the current value.
    Cell step(const Cell& current, int32_t index, size_t at) const {
        Cell v = current;
        if (type_of(v) == TypeId::op) v = native::unwrap_op(v);
        const TypeId t = type_of(v);
        if (is_word_like(t) && t != TypeId::issue) {
            if (v.w1 == 0) fail(at);
            const Cell& h = *context::header(v.w1);
            if (context::values_on_stack(h)) {
                v = *context::self(v.w1);
                if (type_of(v) != TypeId::function) fail(at);
                return function_step(v, index, current, at);
            }
            return cell_in(h.w2, 0, index, at);
        }
        switch (t) {
            case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
            case TypeId::set_path: case TypeId::get_path: case TypeId::hash: case TypeId::map:
            case TypeId::native: case TypeId::action:
                return cell_in(v.w2, 0, index, at);
            case TypeId::object: case TypeId::error: {
                const Cell& h = *context::header(v.w1);
                if (context::values_on_stack(h) || h.w2 == 0) fail(at);
                return cell_in(h.w2, t == TypeId::error ? 3 : 0, index, at);
            }
            case TypeId::function: return function_step(v, index, current, at);
            default: fail(at);
        }
    }

    // Index 0 is the spec (a block! when it ends the path), 1 the body of a
    // function (not of an operator).
    Cell function_step(const Cell& fn, int32_t index, const Cell& as_given, size_t at) const {
        if (index == 0) return Cell{to_int(TypeId::block), 0, fn.w2, 0};
        if (index == 1 && type_of(as_given) != TypeId::op) {
            const Cell body = *function::part(fn, function::Part::body);
            if (type_of(body) != TypeId::block) fail(at);
            return body;
        }
        fail(at);
    }

    // The cell `index` places after `start` in a block of cells.
    Cell cell_in(NodeId node, uint32_t start, int32_t index, size_t at) const {
        if (node == 0) fail(at);
        const series::Buffer* b = series::buffer(node);
        const int64_t i = int64_t{start} + index;
        if (i < 0 || i >= int64_t{b->length()}) fail(at);
        Cell c = series::buffer(node)->cells()[i];
        c.header &= ~cell_flag::new_line;
        return c;
    }
};

}  // namespace

Cell* push_decoded(std::span<const uint8_t> data, const Cell* source) {
    NoNodeCompaction no_renumbering;
    Decoder decoder(data, source);  // holds its own copy of the bytes before anything allocates
    const NodeId output = series::alloc_cells(8);
    Cell* out = stack::push(Cell{to_int(TypeId::block), 0, output, 0});
    const size_t depth = stack::depth();
    decoder.run(output);
    stack::data.top = stack::data.bottom + depth;
    return out;
}

}  // namespace qor::qorbin
