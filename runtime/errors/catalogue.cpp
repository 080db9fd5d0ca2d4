// Building the error catalogue with the lexer.
#include "runtime/errors/catalogue.h"

#include "runtime/datatypes/error_catalogue.h"
#include "runtime/lexer/lexer.h"

namespace qor::error::catalogue {

namespace {

void scan(Cell* into, std::string_view source) {
    lexer::scan_buffer(into, reinterpret_cast<const uint8_t*>(source.data()), source.size());
}

}  // namespace

void init() { init(scan); }

}  // namespace qor::error::catalogue
