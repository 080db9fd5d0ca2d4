// Display width from two sorted tables of disjoint code-point ranges
// generated from the Unicode character database (tools/gen_char_width.py).
#include "runtime/unicode/char_width.h"

#include <algorithm>
#include <iterator>

namespace qor::unicode {

namespace {

struct CodeRange {
    uint32_t low, high;
};

#include "runtime/unicode/char_width_tables.inc"

// The bounds test rejects most code points without a search: all of ASCII,
// and everything below U+0300 for the zero-width table.
template <size_t N>
bool in_ranges(uint32_t cp, const CodeRange (&table)[N]) {
    if (cp < table[0].low || cp > table[N - 1].high) return false;
    const CodeRange* after = std::upper_bound(std::begin(table), std::end(table), cp,
                                              [](uint32_t c, const CodeRange& r) { return c < r.low; });
    return after != std::begin(table) && cp <= after[-1].high;
}

}  // namespace

int char_width(uint32_t cp) {
    if (cp == 0) return 0;
    if (cp < 32 || (cp >= 127 && cp <= 159)) return 1;
    if (in_ranges(cp, zero_width_ranges)) return 0;
    if (in_ranges(cp, wide_ranges)) return 2;
    return 1;
}

}  // namespace qor::unicode
