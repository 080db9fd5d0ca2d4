// Simple case mapping tables.
//
// Code points up to 0xFFFF map through two dense tables of 65,536 entries
// (0 = no mapping), one per direction, built by the compiler from the
// stored pairs, so they exist before any code runs. The few cased letters
// above 0xFFFF (Deseret, Osage, Old Hungarian, Warang Citi, Medefaidrin,
// Adlam) are looked up by binary search in sorted pair tables.
#include "runtime/unicode/case_map.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

namespace qor::unicode {

namespace {

struct CasePair {
    uint32_t from, to;
};

#include "runtime/unicode/case_pairs.inc"

using DenseTable = std::array<uint16_t, 0x10000>;

template <size_t N>
constexpr DenseTable make_dense(const CasePair (&pairs)[N]) {
    DenseTable table{};
    for (const CasePair& p : pairs) {
        // Every partner of a code point below 0x10000 is itself below it.
        if (p.from > 0xFFFF || p.to > 0xFFFF || p.to == 0) throw "pair outside the dense table";
        table[p.from] = static_cast<uint16_t>(p.to);
    }
    return table;
}

template <size_t N>
constexpr bool sorted_astral(const CasePair (&pairs)[N]) {
    for (size_t i = 0; i < N; i++) {
        if (pairs[i].from <= 0xFFFF) return false;
        if (i > 0 && pairs[i - 1].from >= pairs[i].from) return false;
    }
    return true;
}

static_assert(sorted_astral(upper_pairs_astral) && sorted_astral(lower_pairs_astral));

constexpr DenseTable upper_dense = make_dense(upper_pairs_bmp);
constexpr DenseTable lower_dense = make_dense(lower_pairs_bmp);

template <size_t N>
uint32_t lookup_astral(const CasePair (&pairs)[N], uint32_t cp) {
    if (cp < pairs[0].from || cp > pairs[N - 1].from) return cp;
    const CasePair* hit = std::lower_bound(std::begin(pairs), std::end(pairs), cp,
                                           [](const CasePair& p, uint32_t v) { return p.from < v; });
    return hit->from == cp ? hit->to : cp;
}

}  // namespace

uint32_t convert_case(uint32_t cp, CaseDirection direction) {
    bool upper = direction == CaseDirection::upper;
    if (cp <= 0xFFFF) {
        uint32_t mapped = upper ? upper_dense[cp] : lower_dense[cp];
        return mapped ? mapped : cp;
    }
    return upper ? lookup_astral(upper_pairs_astral, cp) : lookup_astral(lower_pairs_astral, cp);
}

}  // namespace qor::unicode
