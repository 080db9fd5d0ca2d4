// url! and file!: their mold, building a URL from a block, path access (a
// part of a URL by its name, else the key joined with "/"), and the port
// actions, which the host services carry out (files here, HTTP and schemes
// through hooks installed by those layers).
#pragma once

#include <string>
#include <string_view>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"

namespace qor::file_url {

// An HTTP request: method, url, headers block or nullptr, data or nullptr,
// and the /binary, /lines and /info flags. Answers none, with the reason
// written, when no answer could be had.
using HttpRequest = Cell (*)(std::string_view method, const Cell& url, const Cell* headers, const Cell* data,
                             bool binary, bool lines, bool info, std::string& reason);

void install_http_request(HttpRequest request);

int32_t url_mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                 int32_t indent);
int32_t file_mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
                  int32_t indent);
const Cell* url_make(Cell* prototype, Cell* spec, TypeId type);
const Cell* url_to(Cell* prototype, Cell* spec, TypeId type);
Cell* url_eval_path(const actions::EvalPathArgs& args);

void init_url();   // registers url!
void init_file();  // registers file!

}  // namespace qor::file_url
