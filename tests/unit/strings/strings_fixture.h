// A booted runtime core for the string-family tests: memory, the registry
// with every datatype registered so far, the dispatch table, the symbol
// table with the predefined words, and the ownership table; plus builders
// for string-family values and a UTF-8 reader of their text.
#pragma once

#include <string>
#include <string_view>

#include "runtime/words/ownership.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_actions.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/unit/datatypes/fixture.h"
#include "tests/support/core_runtime.h"

namespace qor::test {

// A value of a string type holding UTF-8 text (loaded as a file would be:
// the narrowest unit that holds every character).
inline Cell text(std::string_view utf8, TypeId type = TypeId::string) {
    Cell c = unset_cell;
    str::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), c, 0);
    set_type_keep_flags(c, type);
    return c;
}
inline Cell file(std::string_view utf8) { return text(utf8, TypeId::file); }
inline Cell url(std::string_view utf8) { return text(utf8, TypeId::url); }

// The text of any string value from its index, as UTF-8.
inline std::string utf8_of(const Cell& s) { return str::to_utf8(s); }

inline uint32_t unit_of(const Cell& s) { return str::buffer_of(s)->unit(); }

inline std::vector<uint8_t> bytes_of(const Cell& b) { return binary_type::bytes_of(b); }

class StringsTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_core_runtime();
    }
    void TearDown() override {
        stop_core_runtime();
    }
};

}  // namespace qor::test
