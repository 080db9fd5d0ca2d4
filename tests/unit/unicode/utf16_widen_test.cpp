// UTF-16LE in and out, and in-place widening of string units.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/unicode/utf16.h"
#include "runtime/unicode/widen.h"

namespace qor {
namespace {

std::vector<uint8_t> le_bytes(std::initializer_list<uint16_t> units) {
    std::vector<uint8_t> bytes;
    for (uint16_t u : units) {
        bytes.push_back(static_cast<uint8_t>(u));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    return bytes;
}

TEST(Utf16, EncodesSurrogatePairsAndRefusesValuesAboveTheLastCodePoint) {
    uint16_t out[2];
    EXPECT_EQ(utf16::encode_char(0x41, out), 1);
    EXPECT_EQ(out[0], 0x41);
    EXPECT_EQ(utf16::encode_char(0xFFFF, out), 1);
    EXPECT_EQ(utf16::encode_char(0x10000, out), 2);
    EXPECT_EQ(out[0], 0xD800);
    EXPECT_EQ(out[1], 0xDC00);
    EXPECT_EQ(utf16::encode_char(0x10FFFF, out), 2);
    EXPECT_EQ(out[0], 0xDBFF);
    EXPECT_EQ(out[1], 0xDFFF);
    EXPECT_EQ(utf16::encode_char(0x110000, out), 0);
}

TEST(Utf16, EncodedLengthLeavesRoomForPairsAndCarriageReturns) {
    const uint32_t text[] = {'a', '\n', 0x10000, 0x20AC};
    EXPECT_EQ(utf16::encoded_length(text, 4, 4, false), 5);
    EXPECT_EQ(utf16::encoded_length(text, 4, 4, true), 6);
    const uint32_t too_big[] = {'a', 0x110000};
    EXPECT_EQ(utf16::encoded_length(too_big, 2, 4, false), -1);

    std::vector<uint16_t> out(6);
    ASSERT_EQ(utf16::encode_units(text, 4, 4, true, out.data()), 6u);
    EXPECT_EQ(out, (std::vector<uint16_t>{'a', '\r', '\n', 0xD800, 0xDC00, 0x20AC}));
    const uint8_t latin1[] = {'x', '\n', 0xE9};
    ASSERT_EQ(utf16::encode_units(latin1, 3, 1, true, out.data()), 4u);
    EXPECT_EQ(std::vector<uint16_t>(out.begin(), out.begin() + 4), (std::vector<uint16_t>{'x', '\r', '\n', 0xE9}));
    const uint16_t ucs2[] = {0x3B1, '\n'};
    ASSERT_EQ(utf16::encode_units(ucs2, 2, 2, false, out.data()), 2u);
    EXPECT_EQ(out[0], 0x3B1);
}

TEST(Utf16, InputTakesTheNarrowestWidthThatHoldsIt) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool crlf;
        int width;
        std::vector<uint32_t> want;
    } cases[] = {
        {le_bytes({'a', 0xE9}), false, 1, {'a', 0xE9}},
        {le_bytes({'a', 0x20AC}), false, 2, {'a', 0x20AC}},
        {le_bytes({'a', 0xD83D, 0xDE00, 'b'}), false, 4, {'a', 0x1F600, 'b'}},
        {le_bytes({0xDC00, 'b'}), false, 4, {0xDC00, 'b'}},  // a lone low surrogate is kept
        {le_bytes({'a', '\r', '\n', 'b', '\r'}), true, 1, {'a', '\n', 'b'}},
        {le_bytes({}), false, 1, {}},
    };
    for (const Case& c : cases) {
        size_t count = c.bytes.size() / 2;
        int width = utf16::scan_width(c.bytes.data(), count);
        EXPECT_EQ(width, c.width);
        std::vector<uint8_t> out(count * 4 + 4);
        size_t n = utf16::decode_units(c.bytes.data(), count, c.crlf, width, out.data());
        std::vector<uint32_t> got;
        for (size_t i = 0; i < n; i++) {
            uint32_t v = 0;
            std::memcpy(&v, out.data() + i * static_cast<size_t>(width), static_cast<size_t>(width));
            got.push_back(v);
        }
        EXPECT_EQ(got, c.want);
    }
}

TEST(Utf16, LoneHighSurrogateIsAnErrorNotAnExit) {
    for (const auto& bytes : {le_bytes({'a', 0xD800}), le_bytes({0xDBFF, 'b'}), le_bytes({0xD800, 0xD800, 0xDC00})}) {
        try {
            (void)utf16::scan_width(bytes.data(), bytes.size() / 2);
            ADD_FAILURE() << "no error";
        } catch (const error::Raised& e) {
            EXPECT_EQ(e.category, error::Category::script);
            EXPECT_EQ(e.id, error::Id::invalid_data);
        }
    }
}

TEST(Utf16, RandomTextRoundTrips) {
    std::mt19937 rng(11);
    std::vector<uint32_t> text;
    for (int i = 0; i < 20000; i++) {
        uint32_t cp = rng() % 0x110000;
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        text.push_back(cp);
    }
    ptrdiff_t length = utf16::encoded_length(text.data(), text.size(), 4, false);
    ASSERT_GT(length, 0);
    std::vector<uint16_t> wide(static_cast<size_t>(length));
    ASSERT_EQ(utf16::encode_units(text.data(), text.size(), 4, false, wide.data()), static_cast<size_t>(length));
    const auto* bytes = reinterpret_cast<const uint8_t*>(wide.data());
    ASSERT_EQ(utf16::scan_width(bytes, wide.size()), 4);
    std::vector<uint32_t> back(text.size());
    ASSERT_EQ(utf16::decode_units(bytes, wide.size(), false, 4, back.data()), text.size());
    EXPECT_EQ(back, text);
}

template <class From, class To>
void check_widening(uint32_t limit) {
    std::vector<uint8_t> buffer(limit * sizeof(To));
    for (uint32_t v = 0; v < limit; v++) {
        From u = static_cast<From>(v);
        std::memcpy(buffer.data() + v * sizeof(From), &u, sizeof u);
    }
    unicode::widen_units(buffer.data(), limit, sizeof(From), sizeof(To));
    for (uint32_t v = 0; v < limit; v++) {
        To u;
        std::memcpy(&u, buffer.data() + v * sizeof(To), sizeof u);
        ASSERT_EQ(u, v);
    }
}

TEST(Widen, EveryCodePointKeepsItsValue) {
    check_widening<uint8_t, uint16_t>(256);
    check_widening<uint8_t, uint32_t>(256);
    check_widening<uint16_t, uint32_t>(65536);
}

}  // namespace
}  // namespace qor
