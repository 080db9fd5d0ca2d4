// Simple case mapping in both directions.
#include <gtest/gtest.h>

#include "runtime/unicode/case_map.h"

namespace qor {
namespace {

using unicode::to_lower;
using unicode::to_upper;

// Pairs of (lower case, upper case) that map onto each other both ways.
TEST(CaseMap, LettersOfEveryScriptMapBothWays) {
    struct Pair {
        uint32_t lower, upper;
        const char* what;
    } pairs[] = {
        {'a', 'A', "Latin"},         {'z', 'Z', "Latin"},
        {0xE9, 0xC9, "e acute"},     {0xFE, 0xDE, "thorn"},
        {0x101, 0x100, "a macron"},  {0x3B1, 0x391, "Greek alpha"},
        {0x3C9, 0x3A9, "omega"},     {0x3AC, 0x386, "alpha tonos"},
        {0x430, 0x410, "Cyrillic a"}, {0x44F, 0x42F, "ya"},
        {0x451, 0x401, "io"},        {0x561, 0x531, "Armenian ayb"},
        {0x10428, 0x10400, "Deseret long i"}, {0x1044F, 0x10427, "Deseret ew"},
        {0x1E922, 0x1E900, "Adlam alif"}, {0x1E943, 0x1E921, "Adlam sha"},
        {0xFF41, 0xFF21, "fullwidth a"},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(to_upper(p.lower), p.upper) << p.what;
        EXPECT_EQ(to_lower(p.upper), p.lower) << p.what;
        EXPECT_EQ(to_upper(p.upper), p.upper) << p.what;
        EXPECT_EQ(to_lower(p.lower), p.lower) << p.what;
    }
}

TEST(CaseMap, OneWayMappings) {
    EXPECT_EQ(to_upper(0x3C2), 0x3A3u);  // final sigma
    EXPECT_EQ(to_lower(0x3A3), 0x3C3u);
    EXPECT_EQ(to_upper(0xB5), 0x39Cu);   // micro sign
    EXPECT_EQ(to_lower(0x130), 'i');     // capital I with dot
    EXPECT_EQ(to_upper(0x131), 'I');     // dotless i
    EXPECT_EQ(to_upper(0x1C5), 0x1C4u);  // title-case Dz
    EXPECT_EQ(to_lower(0x1C5), 0x1C6u);
    EXPECT_EQ(to_lower(0x212A), 'k');    // Kelvin sign
}

TEST(CaseMap, CharactersWithoutCaseStayAsTheyAre) {
    const uint32_t caseless[] = {
        '0', '@', ' ', 0, 0x7F, 0xDF /* sharp s: upper case is two letters */, 0xAA, 0x5D0 /* alef */,
        0x4E00, 0x20AC, 0xD800, 0xFB00 /* ff ligature */, 0x1F88 /* alpha with prosgegrammeni: no upper */,
        0x10000, 0x103FF, 0x10450, 0x1E944 /* after the last Adlam letter */, 0x1F600, 0x10FFFF,
        0x110000, 0xFFFFFFFF,
    };
    for (uint32_t cp : caseless) {
        EXPECT_EQ(to_upper(cp), cp) << std::hex << cp;
        if (cp != 0x1F88) {
            EXPECT_EQ(to_lower(cp), cp) << std::hex << cp;
        }
    }
    EXPECT_EQ(to_lower(0x1F88), 0x1F80u);
}

TEST(CaseMap, UpperThenLowerComesBackForEveryLowerCaseLetterThatHasAPair) {
    // For any code point whose upper case maps back to it, the tables are
    // each other's inverse; count them to see the whole table is there.
    int round_trips = 0;
    for (uint32_t cp = 0; cp <= 0x1FFFF; cp++) {
        uint32_t up = to_upper(cp);
        if (up != cp && to_lower(up) == cp) round_trips++;
        if (up != cp) {
            ASSERT_EQ(to_upper(up), up) << std::hex << cp;  // upper case is a fixed point
        }
    }
    EXPECT_GT(round_trips, 1300);
}

}  // namespace
}  // namespace qor
