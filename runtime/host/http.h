// HTTP behind url! read and write: the request made from the method, the
// header block and the data, and the answer built from the response (the
// body as a string, a binary or lines, or with /info the block of status,
// headers map and body).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/cell.h"
#include "runtime/platform/http_client.h"

namespace qor::host::http {

// The headers sent when the caller gives no header block, in this order.
inline constexpr std::string_view default_headers[][2] = {
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Accept-Charset", "UTF-8"},
    {"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"},
};

// The method text of a method word's spelling: upper case.
[[nodiscard]] std::string method_text(std::string_view spelling);

// The headers of a response's header text: at each line with a colon, the
// name runs from the line's start to the colon and the value from after the
// colon and any blanks to CR, LF or the end of the text. Lines without a
// colon are passed over.
[[nodiscard]] std::vector<platform::HttpHeader> parse_headers(std::string_view text);

// Performs the request: the method spelling, the url, the header block or
// nullptr, the data or nullptr (a string! or binary!), and the /binary,
// /lines and /info flags. Answers the value, or none with `reason` set when
// the request could not be made or answered.
[[nodiscard]] Cell request(std::string_view method, const Cell& url, const Cell* headers, const Cell* data,
                           bool binary, bool lines, bool info, std::string& reason);

// Makes url! read and write use this service.
void install();

}  // namespace qor::host::http
