// Rebuilding the command line so the library's argument splitter gives the
// argument vector back.
#include "runtime/host/command_line.h"

namespace qor::host {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// What quoting an argument needs: the parity of the quotes before each of
// its blanks, and the parity of all its quotes.
struct QuoteShape {
    bool blank_after_even = false;  // a blank with an even number of quotes before it
    bool blank_after_odd = false;
    bool quotes_odd = false;
};

QuoteShape shape_of(std::string_view argument) {
    QuoteShape shape;
    for (char c : argument) {
        if (c == '"') shape.quotes_odd = !shape.quotes_odd;
        else if (is_blank(c)) (shape.quotes_odd ? shape.blank_after_odd : shape.blank_after_even) = true;
    }
    return shape;
}

// Whether adding `front` and `back` quotes writes the argument so that the
// splitter gives it back: the added quotes are the ones it strips, every
// blank lies inside quotes, and the quotes balance so the next blank splits.
bool fits(std::string_view argument, const QuoteShape& shape, bool front, bool back) {
    if (!front && (argument.empty() || argument.front() == '"')) return false;
    if (!back && (argument.empty() || argument.back() == '"')) return false;
    bool blank_outside = front ? shape.blank_after_odd : shape.blank_after_even;
    if (blank_outside) return false;
    return (int(front) + int(shape.quotes_odd) + int(back)) % 2 == 0;
}

}  // namespace

std::string quote_argument(std::string_view argument) {
    QuoteShape shape = shape_of(argument);
    static constexpr bool choices[][2] = {{false, false}, {true, true}, {false, true}, {true, false}};
    // When nothing fits: quoted in front, and closed so that the quotes
    // balance, which keeps the arguments after this one intact.
    bool front = true, back = !shape.quotes_odd;
    for (const auto& choice : choices) {
        if (fits(argument, shape, choice[0], choice[1])) {
            front = choice[0];
            back = choice[1];
            break;
        }
    }
    std::string written;
    written.reserve(argument.size() + 2);
    if (front) written += '"';
    written += argument;
    if (back) written += '"';
    return written;
}

std::string command_line(std::span<const std::string> arguments) {
    std::string line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) line += ' ';
        line += quote_argument(arguments[i]);
    }
    return line;
}

}  // namespace qor::host
