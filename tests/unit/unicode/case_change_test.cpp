// uppercase and lowercase in place, on chars and strings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/case_change.h"
#include "runtime/unicode/string_codec.h"

namespace qor {
namespace {

using unicode::CaseDirection;

Cell text(const std::string& utf8, uint32_t index = 0) {
    NodeId id = unicode::load_utf8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), 0, false);
    return Cell{to_int(TypeId::string), index, id, 0};
}

std::string utf8_of(Cell s) {
    s.w1 = 0;
    int32_t length = -1;
    return reinterpret_cast<const char*>(unicode::to_utf8(s, length));
}

TEST(ChangeCase, StringsFromTheirIndexForThePartGiven) {
    struct Case {
        std::string in;
        uint32_t index;
        CaseDirection direction;
        int part;  // -99: no part
        std::string out;
    } cases[] = {
        {"hello world", 0, CaseDirection::upper, -99, "HELLO WORLD"},
        {"hello world", 6, CaseDirection::upper, -99, "hello WORLD"},
        {"hello world", 0, CaseDirection::upper, 5, "HELLO world"},
        {"hello world", 0, CaseDirection::upper, -3, "hello world"},
        {"hello world", 0, CaseDirection::upper, 99, "HELLO WORLD"},
        {"hello", 99, CaseDirection::upper, -99, "hello"},
        {"\xCE\x91\xCE\x92\xCE\x93 \xD0\x96", 0, CaseDirection::lower, -99, "\xCE\xB1\xCE\xB2\xCE\xB3 \xD0\xB6"},
        {"\xF0\x90\x90\x80x", 0, CaseDirection::lower, -99, "\xF0\x90\x90\xA8x"},  // Deseret
        {"\xF0\x9E\xA4\xA2", 0, CaseDirection::upper, -99, "\xF0\x9E\xA4\x80"},   // Adlam
        {"stra\xC3\x9F" "e", 0, CaseDirection::upper, -99, "STRA\xC3\x9F" "E"},  // sharp s has no single upper case
    };
    for (const Case& c : cases) {
        Cell s = text(c.in, c.index);
        Cell part{to_int(TypeId::integer), 0, static_cast<uint32_t>(c.part), 0};
        unicode::change_case(s, c.direction, c.part == -99 ? nullptr : &part);
        EXPECT_EQ(utf8_of(s), c.out) << c.in;
    }
}

TEST(ChangeCase, WidensALatin1StringWhoseUpperCaseNeedsIt) {
    Cell s = text("\xC3\xBF\xC2\xB5" "a");  // y with diaeresis, micro sign, a: one byte each
    ASSERT_EQ(series::buffer(s.w2)->unit(), 1u);
    unicode::change_case(s, CaseDirection::upper, nullptr);
    EXPECT_EQ(series::buffer(s.w2)->unit(), 2u);
    EXPECT_EQ(utf8_of(s), "\xC5\xB8\xCE\x9C" "A");  // U+0178, U+039C
}

TEST(ChangeCase, PartAsAPositionInTheSameStringAndBadParts) {
    Cell s = text("abcdef", 1);
    Cell position = s;
    position.w1 = 4;
    unicode::change_case(s, CaseDirection::upper, &position);
    EXPECT_EQ(utf8_of(s), "aBCDef");

    Cell other = text("abcdef", 3);
    Cell logic{to_int(TypeId::logic), 1, 0, 0};
    for (const Cell* bad : {&other, &logic}) {
        try {
            unicode::change_case(s, CaseDirection::upper, bad);
            ADD_FAILURE() << "no error";
        } catch (const error::Raised& e) {
            EXPECT_EQ(e.id, error::Id::invalid_refine_arg);
            ASSERT_EQ(e.arg_count, 2);
            EXPECT_EQ(e.args[1].w2, bad->w2);
        }
    }
    EXPECT_EQ(utf8_of(s), "aBCDef");
}

TEST(ChangeCase, CharValues) {
    Cell c{to_int(TypeId::char_), 0, 0x1E922, 0};
    unicode::change_case(c, CaseDirection::upper, nullptr);
    EXPECT_EQ(c.w2, 0x1E900u);
    unicode::change_case(c, CaseDirection::lower, nullptr);
    EXPECT_EQ(c.w2, 0x1E922u);
    c.w2 = 0x1E944;
    unicode::change_case(c, CaseDirection::upper, nullptr);
    EXPECT_EQ(c.w2, 0x1E944u);
}

}  // namespace
}  // namespace qor
