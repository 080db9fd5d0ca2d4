// Host natives: checksum over a binary, a string's UTF-8 or a file's
// content, and the process environment (get-env, set-env, list-env).
#include <optional>
#include <string>
#include <vector>

#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/hash/checksum.h"
#include "runtime/hash/digest_methods.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/host/env_list.h"
#include "runtime/host/file_read.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/output/output.h"
#include "runtime/platform/env_vars.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::natives::impl {

namespace {

// Prints a line as print does, through the output hooks.
void print_line(std::string_view text) {
    Cell* line = str::push_new(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    output::run_string_hooks(*line, true);
    stack::pop();
}

Cell integer_cell(int32_t v) {
    Cell c{to_int(TypeId::integer), 0, 0, 0};
    set_int(c, v);
    return c;
}

// The bytes a checksum runs over: a binary from its index, a string as
// UTF-8, a file's whole content (access cannot-open when it cannot be read,
// script size-limit when it holds more than a series may).
std::vector<uint8_t> data_bytes(const Cell& data) {
    switch (type_of(data)) {
        case TypeId::binary: return binary_type::bytes_of(data);
        case TypeId::string: {
            const std::string text = str::to_utf8(data);
            return {text.begin(), text.end()};
        }
        case TypeId::file: {
            host::ReadResult r = host::read_file(url_text::to_local(data, true));
            if (r.status == host::ReadStatus::too_large) error::fire(error::Id::size_limit, {data});
            if (r.status == host::ReadStatus::no_memory) error::fire(error::Id::no_memory);
            if (r.status != host::ReadStatus::ok) error::fire(error::Id::cannot_open, {data});
            return std::move(r.bytes);
        }
        default: error::fire(error::Id::invalid_arg, {data});
    }
}

// The method a word names, compared without regard to case.
std::optional<checksum::Method> method_of(const Cell& word) {
    const std::string_view name = symbol::spelling(word.w2);
    for (size_t i = 0; i < checksum::method_count; i++) {
        const std::string_view m = checksum::methods[i].name;
        if (m.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < m.size() && same; k++) same = (name[k] | 0x20) == m[k];
        if (same) return static_cast<checksum::Method>(i);
    }
    return std::nullopt;
}

// A new binary! of the digest bytes in the result slot.
void answer_digest(const checksum::DigestResult& r, const Cell& method) {
    if (!r) error::fire(error::Id::invalid_arg, {method});
    const std::span<const uint8_t> bytes = r.bytes();
    const std::vector<uint8_t> copy(bytes.begin(), bytes.end());  // not inside a series buffer
    binary_type::load_at(*arg(0), copy);
}

// checksum data method /with spec: an integer! for crc32, tcp and adler32,
// a binary! digest for the digest methods, an HMAC with a text or binary
// key.
void n_checksum(bool, std::span<const int32_t> refinements) {
    const Cell method = *arg(1);
    const std::optional<checksum::Method> m = method_of(method);
    if (!m) error::fire(error::Id::invalid_arg, {method});
    const bool with = !refinements.empty() && refinements[0] >= 0;
    const Cell spec = with ? *arg(static_cast<uint32_t>(refinements[0])) : none::value;
    if (with && type_of(spec) == TypeId::integer) {
        if (*m != checksum::Method::hash) error::fire(error::Id::invalid_refine_arg, {word::refinement("with"), spec});
        print_line(checksum::hash_with_size_message);
        *arg(0) = integer_cell(0);
        return;
    }
    if (*m == checksum::Method::hash) error::fire(error::Id::invalid_refine_arg, {word::refinement("with"), method});
    const std::vector<uint8_t> bytes = data_bytes(*arg(0));
    if (with) {
        if (!checksum::is_digest(*m)) {
            print_line(checksum::no_hmac_message);
            *arg(0) = none::value;
            return;
        }
        std::vector<uint8_t> key;
        if (type_of(spec) == TypeId::binary) {
            key = binary_type::bytes_of(spec);
        } else {
            const std::string text = str::to_utf8(spec);
            key.assign(text.begin(), text.end());
        }
        answer_digest(checksum::hmac(*m, bytes, key), method);
        return;
    }
    switch (*m) {
        case checksum::Method::crc32: *arg(0) = integer_cell(static_cast<int32_t>(checksum::crc32(bytes))); return;
        case checksum::Method::tcp: *arg(0) = integer_cell(checksum::tcp(bytes)); return;
        case checksum::Method::adler32: *arg(0) = integer_cell(static_cast<int32_t>(checksum::adler32(bytes))); return;
        default: answer_digest(checksum::digest(*m, bytes), method);
    }
}

// The variable name of a string or a word's spelling.
std::string variable_name(const Cell& var) {
    if (is_word_like(type_of(var))) return std::string(symbol::spelling(var.w2));
    return str::to_utf8(var);
}

// get-env var: the variable's text, or none when it is not set.
void n_get_env(bool, std::span<const int32_t>) {
    const std::optional<std::string> value = platform::get_env(variable_name(*arg(0)));
    if (!value) {
        *arg(0) = none::value;
        return;
    }
    Cell* text = str::push_new(reinterpret_cast<const uint8_t*>(value->data()), value->size());
    *arg(0) = *text;
    stack::pop();
}

// set-env var value: sets the variable, or removes it for none; answers
// value.
void n_set_env(bool, std::span<const int32_t>) {
    const Cell value = *arg(1);
    std::optional<std::string> text;
    if (type_of(value) != TypeId::none) text = str::to_utf8(value);
    (void)platform::set_env(variable_name(*arg(0)), text);
    *arg(0) = value;
}

// list-env: a map! of every variable's name and text, in the environment's
// order; names are told apart by case, as the platform does.
void n_list_env(bool, std::span<const int32_t>) {
    const std::vector<host::EnvVariable> vars = host::list_env();
    Cell* map_value = stack::push(none::value);  // referenced while it fills
    map::make_at(*map_value, nullptr, static_cast<int32_t>(vars.size() * 2));
    for (const host::EnvVariable& v : vars) {
        Cell* name = str::push_new(reinterpret_cast<const uint8_t*>(v.name.data()), v.name.size());
        Cell* value = str::push_new(reinterpret_cast<const uint8_t*>(v.value.data()), v.value.size());
        map::set_pair(*map_value, *name, *value, true, none::value);
        stack::pop(2);
    }
    const Cell result = *map_value;
    stack::pop();
    *arg(0) = result;
}

}  // namespace

void install_host(Table& r) {
    r[Native::checksum] = n_checksum;
    r[Native::set_env] = n_set_env;
    r[Native::get_env] = n_get_env;
    r[Native::list_env] = n_list_env;
}

}  // namespace qor::natives::impl
