// HTTP behind url!: building the request from language values and the
// answer from the response.
#include "runtime/host/http.h"

#include <algorithm>
#include <optional>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/data_stack.h"
#include "runtime/host/file_read.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/file_url.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/unicode/string_codec.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::host::http {

namespace {

// ---- the request

// The url's text with the characters a URL may not hold percent-encoded,
// as its molded form shows it.
std::string url_text_of(const Cell& url) {
    Cell* encoded = stack::push(unset_cell);
    str::make_at(*encoded, str::length_at(url) + 16);
    url_text::encode(url, *encoded, url_text::EncodeMode::url_set);
    std::string text = str::to_utf8(*encoded);
    stack::pop();
    return text;
}

// A header name or value from the block: a word's spelling, a string's
// text, any other value formed.
std::string header_text(const Cell& value, bool name) {
    const TypeId t = type_of(value);
    if (name && is_word_like(t)) return std::string(symbol::spelling(value.w2));
    if (!name && t == TypeId::string) return str::to_utf8(value);
    Cell* formed = stack::push(unset_cell);
    str::make_at(*formed, 16);
    actions::call_form(value, *formed, nullptr, INT32_MAX);
    std::string text = str::to_utf8(*formed);
    stack::pop();
    return text;
}

// The headers of the block, two values at a time (a last name without a
// value is left out), or the default headers without a block.
std::vector<platform::HttpHeader> request_headers(const Cell* block) {
    std::vector<platform::HttpHeader> headers;
    if (!block) {
        for (const auto& h : default_headers) headers.push_back({std::string(h[0]), std::string(h[1])});
        return headers;
    }
    const uint32_t n = series_tail::cell_count(*block);
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        std::string name = header_text(*series_tail::cell_at(*block, i), true);
        std::string value = header_text(*series_tail::cell_at(*block, i + 1), false);
        headers.push_back({std::move(name), std::move(value)});
    }
    return headers;
}

// The body bytes: a binary's from its index, a string's text as UTF-8.
std::vector<uint8_t> body_bytes(const Cell& data) {
    if (type_of(data) == TypeId::binary) return binary_type::bytes_of(data);
    const std::string text = str::to_utf8(data);
    return {text.begin(), text.end()};
}

// ---- the answer

// The body as it arrives, appended to a binary! held on the data stack
// (which the collector follows when the buffer grows). A body beyond the
// largest series stops the transfer.
class BinarySink final : public platform::HttpBodySink {
public:
    explicit BinarySink(Cell& binary) : binary_(binary) {}
    bool take(std::span<const uint8_t> bytes) override {
        const uint64_t held = series::buffer(binary_.w2)->length();
        if (held + bytes.size() > series::max_capacity) return false;
        binary_type::append_memory(binary_, bytes.data(), static_cast<uint32_t>(bytes.size()));
        return true;
    }
    void expect(uint64_t size) override {
        const uint64_t held = series::buffer(binary_.w2)->length();
        if (held + size <= series::max_capacity) (void)str::reserve(binary_.w2, size);
    }

private:
    Cell& binary_;
};

// A new block of the lines of the bytes, each a string!.
void lines_block(Cell& out, const Cell& body) {
    const std::vector<uint8_t> bytes = binary_type::bytes_of(body);
    const std::vector<std::span<const uint8_t>> lines = host::split_lines(bytes);
    out = Cell{to_int(TypeId::block), 0, series::alloc_cells(lines.size() + 1), 0};
    for (const auto& line : lines) {
        Cell* s = stack::push(unset_cell);
        str::load_at(line.data(), line.size(), *s, static_cast<int32_t>(str::Encoding::utf8));
        *series_tail::block_alloc_tail(out) = *s;
        stack::pop();
    }
}

// The body value: the binary itself, its lines, or its text from UTF-8.
// An empty body is an empty string! (an empty binary! with /binary).
void body_value(Cell& out, const Cell& body, bool binary, bool lines) {
    const uint32_t n = series::buffer(body.w2)->length();
    if (binary) {
        out = body;
    } else if (lines && n > 0) {
        lines_block(out, body);
    } else {
        const NodeId text = unicode::load_utf8_series(body.w2, 0, n, 0, false);
        out = Cell{to_int(TypeId::string), 0, text, 0};
    }
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// The headers map: one word key per name (names told apart without regard
// to case, as HTTP does), the value a string, or a block of the strings in
// the order received when the name came more than once.
void headers_map(Cell& out, std::string_view text) {
    const std::vector<platform::HttpHeader> headers = parse_headers(text);
    std::vector<std::pair<std::string_view, std::vector<std::string_view>>> grouped;
    for (const platform::HttpHeader& h : headers) {
        auto same = [&h](const auto& g) { return same_name(g.first, h.name); };
        auto it = std::find_if(grouped.begin(), grouped.end(), same);
        if (it == grouped.end()) grouped.push_back({h.name, {h.value}});
        else it->second.push_back(h.value);
    }
    map::make_at(out, nullptr, static_cast<int32_t>(grouped.size() * 2));
    for (const auto& [name, values] : grouped) {
        Cell* key = stack::push(word::load(name));
        Cell* value = stack::push(unset_cell);
        if (values.size() == 1) {
            str::load_at(reinterpret_cast<const uint8_t*>(values[0].data()), values[0].size(), *value, 0);
        } else {
            *value = Cell{to_int(TypeId::block), 0, series::alloc_cells(std::max<size_t>(4, values.size())), 0};
            for (std::string_view v : values) {
                Cell* s = stack::push(unset_cell);
                str::load_at(reinterpret_cast<const uint8_t*>(v.data()), v.size(), *s, 0);
                *series_tail::block_alloc_tail(*value) = *s;
                stack::pop();
            }
        }
        map::set_pair(out, *key, *value, false, none::value);
        stack::pop(2);
    }
}

Cell integer_cell(int32_t v) {
    Cell c{to_int(TypeId::integer), 0, 0, 0};
    set_int(c, v);
    return c;
}

Cell request_hook(std::string_view method, const Cell& url, const Cell* headers, const Cell* data, bool binary,
                  bool lines, bool info, std::string& reason) {
    return request(method, url, headers, data, binary, lines, info, reason);
}

}  // namespace

std::string method_text(std::string_view spelling) {
    std::string text(spelling);
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

std::vector<platform::HttpHeader> parse_headers(std::string_view text) {
    std::vector<platform::HttpHeader> headers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && colon > 0) {
            size_t v = colon + 1;
            while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) v++;
            headers.push_back({std::string(line.substr(0, colon)), std::string(line.substr(v))});
        }
        start = end + 1;
    }
    return headers;
}

Cell request(std::string_view method, const Cell& url, const Cell* headers, const Cell* data, bool binary,
             bool lines, bool info, std::string& reason) {
    platform::HttpRequest req;
    req.method = method_text(method);
    req.url = url_text_of(url);
    req.headers = request_headers(headers);
    std::vector<uint8_t> bytes;
    if (data && req.method != "GET" && req.method != "HEAD") {
        bytes = body_bytes(*data);
        req.body = std::span<const uint8_t>(bytes);
    }

    const size_t depth = stack::depth();
    Cell* body = stack::push(unset_cell);
    binary_type::make_at(*body, 0);
    BinarySink sink(*body);
    const platform::HttpResponse response = platform::http_perform(req, sink);
    if (!response.ok) {
        reason = response.reason;
        stack::data.top = stack::data.bottom + depth;
        return none::value;
    }
    Cell* value = stack::push(unset_cell);
    body_value(*value, *body, binary, lines);
    Cell answer = *value;
    if (info) {
        Cell* block = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(3), 0});
        *series_tail::block_alloc_tail(*block) = integer_cell(response.status);
        Cell* map_value = stack::push(unset_cell);
        headers_map(*map_value, response.headers);
        *series_tail::block_alloc_tail(*block) = *map_value;
        *series_tail::block_alloc_tail(*block) = *value;
        answer = *block;
    }
    stack::data.top = stack::data.bottom + depth;
    return answer;
}

void install() { file_url::install_http_request(request_hook); }

}  // namespace qor::host::http
