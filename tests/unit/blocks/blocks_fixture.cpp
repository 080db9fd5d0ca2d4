// The small block builder of the block tests.
#include "tests/unit/blocks/blocks_fixture.h"

#include <cctype>

namespace qor::test {

namespace {

Cell parse_items(std::string_view text, size_t& i) {
    Cell b;
    block::make_at(b, 4);
    while (i < text.size()) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            i++;
        } else if (c == '[') {
            i++;
            const Cell inner = parse_items(text, i);
            block::append_cell(b, inner);
        } else if (c == ']') {
            i++;
            return b;
        } else {
            size_t j = i;
            while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) && text[j] != '[' &&
                   text[j] != ']')
                j++;
            const std::string_view token = text.substr(i, j - i);
            const bool number = std::isdigit(static_cast<unsigned char>(token[0])) ||
                                (token.size() > 1 && token[0] == '-');
            block::append_cell(b, number ? I(std::stoi(std::string(token))) : W(token));
            i = j;
        }
    }
    return b;
}

}  // namespace

Cell parse_block(std::string_view text) {
    size_t i = 0;
    return parse_items(text, i);
}

}  // namespace qor::test
