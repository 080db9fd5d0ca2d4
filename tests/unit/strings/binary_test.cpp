// binary!: conversion, form and mold, insert, change, trim, the bitwise
// actions, and the base-2, 16, 58 and 64 codecs.
#include <random>

#include "runtime/strings/base_codecs.h"
#include "tests/unit/strings/strings_fixture.h"

namespace qor::test {
namespace {

using BinaryTest = StringsTest;
using Bytes = std::vector<uint8_t>;

std::string mold_of(const Cell& v) { return utf8_of(act(Action::mold, {v})); }

base::Decoded decode(int base_, std::string_view text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    switch (base_) {
        case 2: return base::decode_base2(p, text.size(), 1);
        case 16: return base::decode_base16(p, text.size(), 1);
        case 58: return base::decode_base58(p, text.size(), 1);
        default: return base::decode_base64(p, text.size(), 1);
    }
}

std::string encode(int base_, const Bytes& b) {
    switch (base_) {
        case 2: return base::encode_base2(b);
        case 16: return base::encode_base16(b);
        case 58: return base::encode_base58(b);
        default: return base::encode_base64(b);
    }
}

TEST(BaseCodecs, RandomBinariesRoundTrip) {
    std::mt19937 rng(12345);
    for (int base_ : {2, 16, 58, 64}) {
        for (int trial = 0; trial < 300; trial++) {
            Bytes b(rng() % 70);
            for (auto& x : b) x = static_cast<uint8_t>(rng());
            // Leading zero bytes are the special case of base 58.
            if (trial % 5 == 0)
                for (size_t i = 0; i < b.size() && i < 3; i++) b[i] = 0;
            const auto back = decode(base_, encode(base_, b));
            ASSERT_TRUE(back.has_value()) << base_;
            ASSERT_EQ(*back, b) << "base " << base_ << " size " << b.size();
        }
    }
}

TEST(BaseCodecs, KnownForms) {
    EXPECT_EQ(base::encode_base64(Bytes{'M', 'a', 'n'}), "TWFu");
    EXPECT_EQ(base::encode_base64(Bytes{'M', 'a'}), "TWE=");
    EXPECT_EQ(base::encode_base64(Bytes{'M'}), "TQ==");
    EXPECT_EQ(base::encode_base58(Bytes{0, 0, 1}), "112");
    EXPECT_EQ(base::encode_base58(Bytes{}), "");
    EXPECT_EQ(base::encode_base58(Bytes{'h', 'e', 'l', 'l', 'o'}), "Cn8eVZg");
    EXPECT_EQ(base::encode_base16(Bytes{0xDE, 0xAD}), "DEAD");
    EXPECT_EQ(base::encode_base2(Bytes{0xA5}), "10100101");
}

TEST(BaseCodecs, DecodingRules) {
    struct Case {
        int base_;
        std::string text;
        std::optional<Bytes> out;
    };
    const Case cases[] = {
        {16, "DE AD", Bytes{0xDE, 0xAD}},
        {16, "D E", Bytes{0xDE}},  // a space inside a byte is skipped
        {16, "dea", Bytes{0xDE}},  // an unpaired last digit is dropped
        {16, "DG", std::nullopt},
        {16, "", Bytes{}},
        {16, "0A ; comment\nFF", Bytes{0x0A, 0xFF}},
        {16, "\xC4\xB0" "1", std::nullopt},  // non-ASCII is no digit, whatever its low bits
        {64, "TWE=", Bytes{'M', 'a'}},
        {64, "TQ==", Bytes{'M'}},
        {64, "T=", std::nullopt},
        {64, "TW\nFu", Bytes{'M', 'a', 'n'}},
        {64, "TW;x\nFu", Bytes{'M', 'a', 'n'}},
        {64, "TW*u", std::nullopt},
        {58, "112", Bytes{0, 0, 1}},
        {58, "111", Bytes{0, 0, 0}},
        {58, "0", std::nullopt},  // not in the alphabet
        {2, "1010 0101", Bytes{0xA5}},
        {2, "101", std::nullopt},  // bits left over
        {2, "12", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(decode(c.base_, c.text), c.out) << c.base_ << " " << c.text;

    // Text of 2-byte units: a character whose low seven bits spell a digit
    // is still refused.
    const uint16_t wide[] = {'4', 0x0131};
    EXPECT_FALSE(base::decode_base16(reinterpret_cast<const uint8_t*>(wide), 2, 2).has_value());
    const uint16_t ok[] = {'4', '1'};
    EXPECT_EQ(base::decode_base16(reinterpret_cast<const uint8_t*>(ok), 2, 2), Bytes{0x41});
}

TEST_F(BinaryTest, MoldBreaksLinesAboveThirtyBytes) {
    Bytes b30(30, 0xAB), b31(31, 0xAB), b32(32, 0xAB), b33(33, 0xAB), b64(64, 0xAB);
    auto digits = [](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; i++) s += "AB";
        return s;
    };
    EXPECT_EQ(mold_of(B(b30)), "#{" + digits(30) + "}");
    EXPECT_EQ(mold_of(B(b31)), "#{\n    " + digits(31) + "\n}");
    EXPECT_EQ(mold_of(B(b32)), "#{\n    " + digits(32) + "\n}");
    EXPECT_EQ(mold_of(B(b33)), "#{\n    " + digits(32) + "\n    " + digits(1) + "\n}");
    EXPECT_EQ(mold_of(B(b64)), "#{\n    " + digits(32) + "\n    " + digits(32) + "\n}");
    EXPECT_EQ(mold_of(B({})), "#{}");
    // /flat keeps one line.
    EXPECT_EQ(utf8_of(act(Action::mold, {B(b33)}, {off, off, Ref::on()})), "#{" + digits(33) + "}");
    EXPECT_EQ(utf8_of(act(Action::form, {B({1, 0xFE})})), "#{01FE}");
}

TEST_F(BinaryTest, AppendInsertChange) {
    EXPECT_EQ(bytes_of(act(Action::append, {B({}), K({I(1), text("ab"), C('c')})})), (Bytes{1, 'a', 'b', 'c'}));
    EXPECT_EQ(bytes_of(act(Action::append, {B({}), I(-1)})), Bytes{0xFF});
    EXPECT_EQ(bytes_of(act(Action::append, {B({}), C(0xE9)})), (Bytes{0xC3, 0xA9}));
    EXPECT_EQ(error_of([&] { act(Action::append, {B({}), I(256)}); }), "script/invalid-arg");
    EXPECT_EQ(error_of([&] { act(Action::append, {B({}), F(1.0)}); }), "script/bad-to-arg");
    EXPECT_EQ(bytes_of(act(Action::append, {B({9}), B({1, 2})}, {off, off, Ref::with(I(3))})),
              (Bytes{9, 1, 2, 1, 2, 1, 2}));
    Cell ins = B({1, 2, 3});
    ins.w1 = 1;
    Cell r = act(Action::insert, {ins, B({7, 8})});
    EXPECT_EQ(r.w1, 3u);
    EXPECT_EQ(bytes_of(Cell{r.header, 0, r.w2, 0}), (Bytes{1, 7, 8, 2, 3}));
    r = act(Action::change, {B({1, 2, 3, 4}), B({9})}, {Ref::with(I(3))});
    EXPECT_EQ(bytes_of(Cell{r.header, 0, r.w2, 0}), (Bytes{9, 4}));
    EXPECT_EQ(r.w1, 1u);
    r = act(Action::change, {B({1, 2, 3}), F(1.5)});  // formed
    EXPECT_EQ(bytes_of(Cell{r.header, 0, r.w2, 0}), (Bytes{'1', '.', '5'}));
}

TEST_F(BinaryTest, PokeStoresTheLowByte) {
    Cell b = B({0, 0, 0});
    binary_type::poke_byte(b, 0, I(255));
    binary_type::poke_byte(b, 1, I(-128));
    binary_type::poke_byte(b, 2, C('A'));
    EXPECT_EQ(bytes_of(b), (Bytes{0xFF, 0x80, 'A'}));
    binary_type::poke_byte(b, 0, I(256));
    binary_type::poke_byte(b, 1, I(-129));
    binary_type::poke_byte(b, 2, C(0x263A));
    EXPECT_EQ(bytes_of(b), (Bytes{0x00, 0x7F, 0x3A}));
    EXPECT_EQ(error_of([&] { binary_type::poke_byte(b, 0, text("x")); }), "script/invalid-arg");

    // Path access pokes the same way.
    Cell parent = b, key = I(1), value = I(300), p = none_v;
    actions::EvalPathArgs a{};
    a.parent = &parent;
    a.element = &key;
    a.value = &value;
    a.path = &p;
    (void)actions::call_eval_path(a);
    EXPECT_EQ(bytes_of(b), (Bytes{0x2C, 0x7F, 0x3A}));
}

TEST_F(BinaryTest, ToAndFrom) {
    EXPECT_EQ(bytes_of(act(Action::to, {T(TypeId::binary), I(0x01020304)})), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(bytes_of(act(Action::to, {T(TypeId::binary), text("\u00E9")})), (Bytes{0xC3, 0xA9}));
    EXPECT_EQ(bytes_of(act(Action::to, {T(TypeId::binary), F(1.0)})), (Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bytes_of(act(Action::to, {T(TypeId::binary), word::issue("DEAD")})), (Bytes{0xDE, 0xAD}));
    EXPECT_EQ(error_of([&] { act(Action::to, {T(TypeId::binary), word::issue("xyz")}); }), "script/invalid-data");
    EXPECT_EQ(error_of([&] { act(Action::to, {T(TypeId::binary), none_v}); }), "script/bad-to-arg");
    EXPECT_EQ(error_of([&] { act(Action::to, {T(TypeId::char_), B({})}); }), "script/bad-to-arg");
    EXPECT_EQ(act(Action::to, {T(TypeId::char_), B({0xC3, 0xA9})}).w2, 0xE9u);
}

TEST_F(BinaryTest, TrimCompareBitwise) {
    EXPECT_EQ(bytes_of(act(Action::trim, {B({0, 0, 1, 0})})), Bytes{1});
    EXPECT_EQ(bytes_of(act(Action::trim, {B({0, 0, 1, 0})}, {Ref::on()})), (Bytes{1, 0}));
    EXPECT_EQ(bytes_of(act(Action::trim, {B({0, 1, 0, 2})}, {off, off, off, off, Ref::on()})), (Bytes{1, 2}));
    EXPECT_TRUE(actions::compare(B({1, 2}), B({1, 2}), CompareOp::equal));
    EXPECT_FALSE(actions::compare(B({1, 2}), B({1, 2, 3}), CompareOp::equal));
    EXPECT_TRUE(actions::compare(B({1, 2}), B({1, 2, 3}), CompareOp::lesser));
    EXPECT_TRUE(actions::compare(B({0xFF}), B({1, 2}), CompareOp::greater));
    EXPECT_FALSE(actions::compare(B({1}), text("x"), CompareOp::equal));
    EXPECT_EQ(bytes_of(act(Action::and_t, {B({0xF0, 0xFF, 0xAA}), B({0x3C})})), (Bytes{0x30, 0, 0}));
    EXPECT_EQ(bytes_of(act(Action::or_t, {B({0xF0}), B({0x0F, 0xAA})})), (Bytes{0xFF, 0xAA}));
    EXPECT_EQ(bytes_of(act(Action::xor_t, {B({0xFF, 1}), B({0x0F})})), (Bytes{0xF0, 1}));
    EXPECT_EQ(bytes_of(act(Action::complement, {B({0x0F, 0})})), (Bytes{0xF0, 0xFF}));
    EXPECT_EQ(error_of([&] { act(Action::and_t, {B({1}), I(1)}); }), "script/invalid-arg");
}

}  // namespace
}  // namespace qor::test

namespace qor::test {
namespace {

TEST_F(BinaryTest, PokeActionStoresTheLowByte) {
    Cell b = B({1, 2, 3});
    act(Action::poke, {b, I(1), I(256 + 7)});
    act(Action::poke, {b, I(3), I(-200)});
    act(Action::poke, {b, I(2), I(-1)});
    EXPECT_EQ(bytes_of(b), (Bytes{7, 0xFF, 0x38}));
}

}  // namespace
}  // namespace qor::test
