// Strings loaded from and converted to UTF-8 and UTF-16, and widened in place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/memory/series.h"
#include "runtime/unicode/string_codec.h"
#include "runtime/unicode/utf8.h"

namespace qor {
namespace {

std::vector<uint32_t> chars_of(NodeId id) {
    series::Buffer* b = series::buffer(id);
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < b->length(); i++) {
        uint32_t v = 0;
        std::memcpy(&v, b->at(i), b->unit());
        out.push_back(v);
    }
    return out;
}

NodeId load(const std::string& text, bool crlf = false, NodeId target = 0) {
    return unicode::load_utf8(reinterpret_cast<const uint8_t*>(text.data()), text.size(), target, crlf);
}

Cell string_value(NodeId id, uint32_t index = 0) { return Cell{to_int(TypeId::string), index, id, 0}; }

TEST(LoadUtf8, TakesTheNarrowestUnitThatHoldsEveryCharacter) {
    struct Case {
        std::string text;
        uint32_t unit;
        std::vector<uint32_t> chars;
    } cases[] = {
        {"abc", 1, {'a', 'b', 'c'}},
        {"a\xC3\xA9", 1, {'a', 0xE9}},
        {"a\xC3\xA9\xE2\x82\xAC", 2, {'a', 0xE9, 0x20AC}},
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 4, {'a', 0xE9, 0x20AC, 0x1F600}},
        {"\xEF\xBB\xBF", 1, {}},
        {"", 1, {}},
    };
    for (const Case& c : cases) {
        NodeId id = load(c.text);
        EXPECT_EQ(series::buffer(id)->unit(), c.unit) << c.text;
        EXPECT_EQ(chars_of(id), c.chars) << c.text;
        EXPECT_GE(series::buffer(id)->capacity, c.unit);
    }
}

TEST(LoadUtf8, IntoATargetReplacesItsContentAndBadInputLeavesItAlone) {
    NodeId target = load("old text");
    size_t consumed = 0;
    NodeId same = unicode::load_utf8(reinterpret_cast<const uint8_t*>("x\r\ny\xE2\x82"), 6, target, true, &consumed);
    EXPECT_EQ(same, target);
    EXPECT_EQ(chars_of(target), (std::vector<uint32_t>{'x', '\n', 'y'}));
    EXPECT_EQ(consumed, 4u);

    NodeId longer = load(std::string(100, 'q') + "\xF0\x9F\x98\x80", false, target);  // grows and widens
    EXPECT_EQ(longer, target);
    EXPECT_EQ(series::buffer(target)->unit(), 4u);
    EXPECT_EQ(chars_of(target).size(), 101u);

    NodeId keep = load("kept");
    try {
        load("ab\xFF\xFE", false, keep);
        ADD_FAILURE() << "no error";
    } catch (const error::Raised& e) {
        EXPECT_EQ(e.id, error::Id::invalid_utf8);
        ASSERT_EQ(e.arg_count, 1);
        ASSERT_EQ(type_of(e.args[0]), TypeId::binary);
        series::Buffer* arg = series::buffer(e.args[0].w2);
        // At most the bytes that remain, never past the input.
        ASSERT_EQ(arg->length(), 2u);
        EXPECT_EQ(arg->data()[0], 0xFF);
        EXPECT_EQ(arg->data()[1], 0xFE);
    }
    EXPECT_EQ(chars_of(keep), (std::vector<uint32_t>{'k', 'e', 'p', 't'}));
}

TEST(LoadUtf8, FromABinarySeries) {
    NodeId bytes = series::alloc_bytes(16);
    series::Buffer* b = series::buffer(bytes);
    std::memcpy(b->data(), "..h\xC3\xA9llo", 8);
    b->tail = 8;
    NodeId id = unicode::load_utf8_series(bytes, 2, 6, 0, false);
    EXPECT_EQ(chars_of(id), (std::vector<uint32_t>{'h', 0xE9, 'l', 'l', 'o'}));
}

TEST(LoadUtf16, PicksTheWidthAndFlagsTheBuffer) {
    const uint8_t text[] = {'a', 0, '\r', 0, '\n', 0, 0x3D, 0xD8, 0x00, 0xDE};
    NodeId id = unicode::load_utf16le(text, 5, 0, true);
    EXPECT_EQ(chars_of(id), (std::vector<uint32_t>{'a', '\n', 0x1F600}));
    EXPECT_EQ(series::buffer(id)->unit(), 4u);
    EXPECT_TRUE(series::buffer(id)->flags & series::flag::utf16_loaded);

    NodeId keep = load("kept");
    const uint8_t bad[] = {'a', 0, 0x00, 0xD8, 'b', 0};
    EXPECT_THROW(unicode::load_utf16le(bad, 3, keep, false), error::Raised);
    EXPECT_EQ(chars_of(keep).size(), 4u);
}

TEST(ToUtf8, ConvertsFromTheIndexIntoAReusedConversionBuffer) {
    Cell s = string_value(load("a\nb\xE2\x82\xAC" "cd"), 1);
    int32_t length = -1;
    const uint8_t* out = unicode::to_utf8(s, length);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), "\nb\xE2\x82\xAC" "cd");
    EXPECT_EQ(length, 7);
    NodeId buffer = s.w3;
    ASSERT_NE(buffer, 0u);

    length = 2;
    out = unicode::to_utf8(s, length, true);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out)), "\r\nb");
    EXPECT_EQ(s.w3, buffer);  // reused

    Cell past = string_value(s.w2, 99);  // an index past the tail counts as the tail
    length = -1;
    EXPECT_EQ(*unicode::to_utf8(past, length), 0);
    EXPECT_EQ(length, 0);
}

TEST(ToUtf16, LeavesRoomForPairsAndLineEnds) {
    Cell s = string_value(load("\xF0\x90\x80\x80\nz"));
    int32_t length = -1;
    const uint16_t* wide = unicode::to_utf16(s, length, true);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(std::vector<uint16_t>(wide, wide + 6), (std::vector<uint16_t>{0xD800, 0xDC00, '\r', '\n', 'z', 0}));
    EXPECT_GE(series::buffer(s.w3)->capacity, 12u);

    NodeId id = series::alloc_units(1, 4);
    series::Buffer* b = series::buffer(id);
    uint32_t too_big = 0x110000;
    std::memcpy(b->data(), &too_big, 4);
    b->tail = 4;
    Cell bad = string_value(id);
    length = -1;
    EXPECT_EQ(unicode::to_utf16(bad, length, false), nullptr);
}

TEST(Widen, KeepsEveryCharacterAndTheHead) {
    for (uint32_t to : {2u, 4u}) {
        NodeId id = series::alloc_units(256, 1);
        series::Buffer* b = series::buffer(id);
        for (uint32_t i = 0; i < 256; i++) b->data()[i] = static_cast<uint8_t>(i);
        b->tail = 256;
        b->head = 3;
        b = unicode::widen(id, to);
        EXPECT_EQ(b->unit(), to);
        EXPECT_EQ(b->length(), 253u);
        std::vector<uint32_t> chars = chars_of(id);
        for (uint32_t i = 0; i < chars.size(); i++) ASSERT_EQ(chars[i], i + 3);
    }
    NodeId id = load("\xE2\x82\xAC\xC3\xA9");
    unicode::widen(id, 4);
    EXPECT_EQ(chars_of(id), (std::vector<uint32_t>{0x20AC, 0xE9}));
}

}  // namespace
}  // namespace qor
