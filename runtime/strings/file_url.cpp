// url! and file!: mold, make and to from a block, path access, and the
// port actions.
#include "runtime/strings/file_url.h"

#include <cstring>

#include <vector>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date_calendar.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/object_call.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/host/file_ops.h"
#include "runtime/host/file_read.h"
#include "runtime/host/file_write.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/unicode/string_codec.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::file_url {

namespace {

constexpr int32_t no_limit = INT32_MAX;
HttpRequest http_request = nullptr;

[[noreturn]] void not_done() { error::fire(error::Id::not_done); }

bool is_http(const Cell& url) { return str::equal_literal(url, "http"); }

}  // namespace

void install_http_request(HttpRequest request) { http_request = request; }

// ---- mold

// The UTF-8 bytes percent-encoded outside the URL set, no prefix.
int32_t url_mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* part, int32_t limit, int32_t) {
    Cell* encoded = stack::push(unset_cell);
    str::make_at(*encoded, str::length_at(*value) + 16);
    url_text::encode(*value, *encoded, url_text::EncodeMode::url_set);
    const int32_t n = static_cast<int32_t>(str::length_at(*encoded));
    str::concatenate(*buffer, *encoded, part ? std::max(0, limit) : -1, 0, str::Mode::append);
    stack::pop();
    return limit - (part ? std::min(n, std::max(0, limit)) : n);
}

// "%" and the name; a name holding a character that would end or change an
// unquoted file name goes in double quotes, with the escapes of molded
// text, so that it loads back as the same name.
int32_t file_mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* part, int32_t limit, int32_t) {
    const Cell v = *value;
    uint32_t n = str::length_at(v);
    if (part && limit >= 0 && static_cast<uint32_t>(limit) < n) n = static_cast<uint32_t>(limit);
    str::append_char(buffer->w2, '%');
    if (str::length_at(v) == 0) {
        str::append_literal(*buffer, "\"\"");
        return limit - 3;
    }
    bool quoted = false;
    for (uint32_t i = 0; i < n && !quoted; i++) {
        const uint32_t c = str::char_at(v, i);
        quoted = (c < 128 && !url_text::in_url_set(c)) || (c >= 128 && c <= 159);
    }
    if (!quoted) {
        str::concatenate(*buffer, v, static_cast<int32_t>(n), 0, str::Mode::append);
        return limit - static_cast<int32_t>(n) - 1;
    }
    str::append_char(buffer->w2, '"');
    for (uint32_t i = 0; i < n; i++) string_type::mold_char(*buffer, str::char_at(v, i), all);
    str::append_char(buffer->w2, '"');
    return limit - static_cast<int32_t>(n) - 3;
}

// ---- make and to

namespace {

void form_into(Cell& out, const Cell& value) { actions::call_form(value, out, nullptr, no_limit); }

// scheme "://" host [":" port] "/" values joined by "/" ("#" before an issue).
void url_from_block(Cell& out, const Cell& block) {
    const uint32_t n = series_tail::cell_count(block);
    if (n == 0) error::fire(error::Id::bad_to_arg, {datatype::value(TypeId::url), block});
    form_into(out, *series_tail::cell_at(block, 0));
    str::append_literal(out, "://");
    if (n < 2) return;
    form_into(out, *series_tail::cell_at(block, 1));
    uint32_t i = 2;
    if (n > 2 && type_of(*series_tail::cell_at(block, 2)) == TypeId::integer) {
        str::append_char(out.w2, ':');
        form_into(out, *series_tail::cell_at(block, 2));
        if (n == 3) return;
        i = 3;
    }
    str::append_char(out.w2, '/');
    for (uint32_t first = i; i < n; i++) {
        const Cell item = *series_tail::cell_at(block, i);
        if (i > first) str::append_char(out.w2, type_of(item) == TypeId::issue ? '#' : '/');
        form_into(out, item);
    }
}

const Cell* url_build(Cell* prototype, Cell* spec, TypeId type, bool making) {
    const TypeId st = type_of(*spec);
    if (type == TypeId::url && (st == TypeId::block || st == TypeId::paren || st == TypeId::hash)) {
        Cell* out = stack::push(unset_cell);
        str::make_at(*out, 32, 1, TypeId::url);
        url_from_block(*out, *spec);
        *prototype = *out;
        stack::pop();
        return prototype;
    }
    return making ? string_type::make(prototype, spec, type) : string_type::to(prototype, spec, type);
}

}  // namespace

const Cell* url_make(Cell* prototype, Cell* spec, TypeId type) { return url_build(prototype, spec, type, true); }
const Cell* url_to(Cell* prototype, Cell* spec, TypeId type) { return url_build(prototype, spec, type, false); }

namespace {

// The words naming the parts of a URL, as the library's url-parser gives
// them.
constexpr std::string_view url_part_names[] = {"scheme", "user-info", "host",     "port", "path",
                                               "target", "query",     "fragment", "ref"};

bool names_url_part(const Cell& key) {
    if (type_of(key) != TypeId::word) return false;
    const uint32_t canonical = symbol::resolve_alias(key.w2);
    for (std::string_view name : url_part_names)
        if (symbol::resolve_alias(word::load(name).w2) == canonical) return true;
    return false;
}

// url/part: the URL taken apart by url-parser/parse-url and the part named.
// A URL that does not parse raises invalid-arg with the URL.
Cell* select_url_part(Cell* url, const Cell& key) {
    const Cell parser = *context::value_cell(word::load("url-parser"));
    const Cell name = word::load("parse-url");
    const Cell* field = type_of(parser) == TypeId::object ? object::get_word_cell(parser, name) : nullptr;
    // A copy: the call allocates, and the object's values may move.
    const Cell fn = field ? *field : none::value;
    if (type_of(fn) != TypeId::function) error::fire(error::Id::no_value, {name});
    Cell parts;
    const Cell args[] = {*url};
    if (!object::call_function(fn, name.w2, args, &parts)) return url;
    if (type_of(parts) != TypeId::object) error::fire(error::Id::invalid_arg, {*url});
    const Cell* part = object::get_word_cell(parts, key);
    *url = part ? *part : none::value;
    return url;
}

}  // namespace

// U/key: a word naming a part of a URL selects that part; any other key
// makes a new value of U's type holding U's text and the formed key,
// joined by exactly one "/".
Cell* url_eval_path(const actions::EvalPathArgs& a) {
    if (a.value) error::fire(error::Id::bad_path_set, {*a.path, *a.element});
    const Cell u = *a.parent;
    const Cell key = *a.element;
    if (type_of(u) == TypeId::url && names_url_part(key)) return select_url_part(a.parent, key);
    Cell* out = stack::push(unset_cell);
    str::make_at(*out, str::length_at(u) + 16, 1, type_of(u));
    str::concatenate(*out, u, -1, 0, str::Mode::append);
    const uint32_t joint = str::buffer_of(*out)->length();
    actions::call_form(key, *out, nullptr, no_limit);
    const bool ends = joint > 0 && str::char_at(*out, joint - 1) == '/';
    const bool starts = str::buffer_of(*out)->length() > joint && str::char_at(*out, joint) == '/';
    if (ends && starts) str::remove_part(out->w2, joint, 1);
    else if (!ends && !starts) str::insert_char(out->w2, joint, '/');
    *a.parent = *out;
    stack::pop();
    return a.parent;
}

// ---- url! port actions

namespace {

// Only http and https urls are read and written, and no url opens a port:
// any other is an invalid argument.
[[noreturn]] void no_scheme(const Cell& url) { error::fire(error::Id::invalid_arg, {url}); }

const Cell* url_open(Cell* port, const actions::OpenArgs&) { no_scheme(*port); }

Cell http(std::string_view method, const Cell& url, const Cell* headers, const Cell* data, bool binary, bool lines,
          bool info) {
    std::string reason = "no HTTP service";
    const Cell answer =
        http_request ? http_request(method, url, headers, data, binary, lines, info, reason) : none::value;
    if (type_of(answer) == TypeId::none) {
        Cell* text = str::push_new(reinterpret_cast<const uint8_t*>(reason.data()), reason.size());
        error::fire(error::Id::no_connect, {url, *text});
    }
    return answer;
}

const Cell* url_read(Cell* source, const actions::ReadArgs& a) {
    if (is_http(*source)) {
        if (a.part || a.seek || a.as) not_done();
        *source = http("get", *source, nullptr, nullptr, a.binary, a.lines, a.info);
        return source;
    }
    no_scheme(*source);
}

const Cell* url_write(Cell* destination, Cell* data, const actions::WriteArgs& a) {
    if (!is_http(*destination)) no_scheme(*destination);
    if (a.seek || a.allow || a.as) not_done();
    std::string method = "post";
    const Cell* headers = nullptr;
    const Cell* payload = data;
    if (type_of(*data) == TypeId::block) {
        const uint32_t n = series_tail::cell_count(*data);
        if (n == 0) {
            method = "get";
            payload = nullptr;
        } else {
            const Cell* word = series_tail::cell_at(*data, 0);
            if (type_of(*word) != TypeId::word) error::fire(error::Id::invalid_arg, {*word});
            method = symbol::spelling(symbol::resolve_alias(word->w2));
            if (n > 1) {
                headers = series_tail::cell_at(*data, 1);
                if (type_of(*headers) != TypeId::block) error::fire(error::Id::invalid_arg, {*headers});
            }
            payload = n > 2 ? series_tail::cell_at(*data, 2) : nullptr;
        }
    }
    if (payload) {
        const TypeId t = type_of(*payload);
        if (t != TypeId::string && t != TypeId::binary) error::fire(error::Id::invalid_arg, {*payload});
    }
    *destination = http(method, *destination, headers, payload, a.binary, a.lines, a.info);
    return destination;
}

}  // namespace

// ---- file! port actions

namespace {

int64_t count_of(const Cell* c) {
    if (!c) return -1;
    if (type_of(*c) == TypeId::float_) return static_cast<int64_t>(get_double(*c));
    return get_int(*c);
}

[[noreturn]] void cannot_open(const Cell& file) { error::fire(error::Id::cannot_open, {file}); }

// A read that did not succeed: an input longer than a series may hold says
// so; anything else could not be opened or read.
[[noreturn]] void read_failed(const Cell& file, host::ReadStatus status) {
    static_assert(host::max_read_size == series::max_capacity);
    if (status == host::ReadStatus::too_large) error::fire(error::Id::size_limit, {file});
    if (status == host::ReadStatus::no_memory) error::fire(error::Id::no_memory);
    cannot_open(file);
}

// A new block of strings, one a line.
void lines_block(Cell& out, std::span<const uint8_t> bytes) {
    const std::vector<std::span<const uint8_t>> lines = host::split_lines(bytes);
    out = Cell{to_int(TypeId::block), 0, series::alloc_cells(lines.size() + 1), 0};
    // Each new string waits on the data stack while the block grows.
    for (const auto& line : lines) {
        Cell* s = stack::push(unset_cell);
        str::load_at(line.data(), line.size(), *s, 0);
        *series_tail::block_alloc_tail(out) = *s;
        stack::pop();
    }
}

// A read straight into a new binary! in `cell`, whose own buffer is the
// room the read fills. The cell is an argument slot on the data stack, so
// the collector keeps it and follows the buffer when it grows.
class BinaryReadTarget final : public host::ReadTarget {
public:
    explicit BinaryReadTarget(Cell& cell) : cell_(cell) {}
    uint8_t* room(size_t kept, size_t n) override {
        if (!made_) make(n);
        series::Buffer* b = series::buffer(cell_.w2);
        b->tail = b->head + static_cast<uint32_t>(kept);
        if (b->capacity - b->head < n) b = series::expand_copy(cell_.w2, n);
        return b->head_ptr();
    }
    void done(size_t n) override {
        if (!made_) make(0);
        series::Buffer* b = series::buffer(cell_.w2);
        b->tail = b->head + static_cast<uint32_t>(n);
    }

private:
    void make(size_t n) {
        binary_type::make_at(cell_, static_cast<uint32_t>(n));
        made_ = true;
    }
    Cell& cell_;
    bool made_ = false;
};

const Cell* file_read(Cell* source, const actions::ReadArgs& a) {
    if (a.as) not_done();
    const Cell file = *source;
    const std::string path = url_text::to_local(file, false);
    if (host::names_directory(path)) {
        const auto names = host::read_dir(path.empty() ? "." : path);
        if (!names) cannot_open(file);
        Cell* out = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(names->size() + 1), 0});
        for (const std::string& name : *names) {
            Cell* f = stack::push(unset_cell);
            str::load_at(reinterpret_cast<const uint8_t*>(name.data()), name.size(), *f, 0);
            set_type_keep_flags(*f, TypeId::file);
            *series_tail::block_alloc_tail(*out) = *f;
            stack::pop();
        }
        *source = *out;
        stack::pop();
        return source;
    }
    host::ReadOptions options;
    options.part = count_of(a.part);
    options.seek = count_of(a.seek);
    if (a.binary) {
        BinaryReadTarget target(*source);
        const host::ReadStatus status = host::read_file_into(path, options, target);
        if (status != host::ReadStatus::ok) read_failed(file, status);
        return source;
    }
    const host::ReadResult r = host::read_file(path, options);
    if (r.status != host::ReadStatus::ok) read_failed(file, r.status);
    if (a.lines && !r.bytes.empty()) lines_block(*source, r.bytes);
    else str::load_at(r.bytes.data(), r.bytes.size(), *source, 0);
    return source;
}

// The bytes a value writes: a string's UTF-8 (at most part characters), a
// binary's bytes (part applies when 0 < part < length), anything else
// molded, then as a string.
std::vector<uint8_t> output_bytes(const Cell& value, int64_t part) {
    const TypeId t = type_of(value);
    if (t == TypeId::binary) {
        const std::vector<uint8_t> all = binary_type::bytes_of(value);
        const auto span = host::binary_part(all, part);
        return {span.begin(), span.end()};
    }
    std::string text;
    if (is_any_string(t)) {
        text = str::to_utf8(value, part < 0 ? -1 : static_cast<int32_t>(std::min<int64_t>(part, INT32_MAX)));
    } else {
        Cell* scratch = stack::push(unset_cell);
        str::make_at(*scratch, 16);
        actions::call_mold(value, *scratch, false, false, false, nullptr, no_limit, 0);
        text = str::to_utf8(*scratch, part < 0 ? -1 : static_cast<int32_t>(std::min<int64_t>(part, INT32_MAX)));
        stack::pop();
    }
    return {text.begin(), text.end()};
}

// Writes the bytes; a destination that cannot be opened raises cannot-open,
// a write that fails on the way cannot-write with the system's reason (the
// old content of a replaced file is then kept).
void write_or_fail(const Cell& file, const std::string& path, std::span<const uint8_t> bytes, bool newline,
                   const host::WriteOptions& options) {
    int os_error = 0;
    const host::WriteStatus status = host::write_data(&path, bytes, newline, options, &os_error);
    if (status == host::WriteStatus::ok) return;
    if (status == host::WriteStatus::cannot_open || os_error == 0) cannot_open(file);
    const std::string reason = std::strerror(os_error);
    Cell* text = str::push_new(reinterpret_cast<const uint8_t*>(reason.data()), reason.size());
    error::fire(error::Id::cannot_write, {file, *text});
}

const Cell* file_write(Cell* destination, Cell* data, const actions::WriteArgs& a) {
    if (a.allow || a.as) not_done();
    if (a.part && type_of(*a.part) != TypeId::integer)
        error::fire(error::Id::invalid_refine_arg, {error::WordArg{"part"}, *a.part});
    const int64_t part = count_of(a.part);
    const Cell file = *destination;
    if (part >= 0 || !a.part) {
        const std::string path = url_text::to_local(file, false);
        host::WriteOptions options;
        options.seek = count_of(a.seek);
        options.append = a.append;
        std::vector<uint8_t> bytes;
        if (a.lines && type_of(*data) == TypeId::block) {
            const uint32_t n = series_tail::cell_count(*data);
            for (uint32_t i = 0; i < n; i++) {
                const std::vector<uint8_t> line = output_bytes(*series_tail::cell_at(*data, i), -1);
                bytes.insert(bytes.end(), line.begin(), line.end());
                bytes.insert(bytes.end(), host::line_end.begin(), host::line_end.end());
            }
            write_or_fail(file, path, bytes, false, options);
        } else {
            bytes = output_bytes(*data, part);
            write_or_fail(file, path, bytes, a.lines, options);
        }
    }
    *destination = unset_cell;
    return destination;
}

Cell* file_delete() {
    Cell* file = stack::arg(0);
    const bool ok = host::delete_path(url_text::to_local(*file, false));
    return logic::make_at(*file, ok);
}

Cell* file_rename() {
    Cell* from = stack::arg(0);
    const Cell* to = stack::arg(1);
    const bool ok = host::rename_path(url_text::to_local(*from, false), url_text::to_local(*to, false));
    return logic::make_at(*from, ok);
}

// The last-write time as a date! in UTC, with its time, without a zone.
Cell* file_query() {
    Cell* file = stack::arg(0);
    const auto t = host::query_file(url_text::to_local(*file, false));
    if (!t) return none::make_at(*file);
    return date::make_at_hms(*file, t->year, t->month, t->day, t->hour, t->minute, t->second, t->nanosecond);
}

// Every action of string! a url! or file! keeps.
constexpr Action kept_from_string[] = {
    Action::form, Action::compare, Action::append, Action::change, Action::find, Action::insert,
    Action::select, Action::swap, Action::take, Action::at, Action::back, Action::clear, Action::copy,
    Action::head, Action::head_q, Action::index_q, Action::length_q, Action::move, Action::next,
    Action::pick, Action::poke, Action::remove, Action::reverse, Action::skip, Action::tail, Action::tail_q,
    Action::modify,
};

}  // namespace

void init_url() {
    datatype::ActionRow row;
    row.own<Action::make>(url_make).own<Action::to>(url_to).own<Action::mold>(url_mold);
    row.own<Action::eval_path>(url_eval_path).own<Action::open>(url_open);
    row.own<Action::read>(url_read).own<Action::write>(url_write);
    for (Action a : kept_from_string) row.inherit(a);
    datatype::register_type(TypeId::url, TypeId::string, row);
}

void init_file() {
    datatype::ActionRow row;
    row.own<Action::mold>(file_mold).own<Action::delete_>(file_delete).own<Action::query>(file_query);
    row.own<Action::read>(file_read).own<Action::rename>(file_rename).own<Action::write>(file_write);
    row.inherit(Action::make).inherit(Action::to).inherit(Action::eval_path);
    for (Action a : kept_from_string) row.inherit(a);
    datatype::register_type(TypeId::file, TypeId::url, row);
}

}  // namespace qor::file_url
