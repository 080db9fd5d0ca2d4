// UTF-8: the strict DFA decoder against an independent reference on every
// short byte sequence, the lenient loader's decoder, encoders and loading.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/core/error_fire.h"
#include "runtime/unicode/utf8.h"

namespace qor {
namespace {

// The strict reading of one sequence, written from the UTF-8 definition:
// the code point (or -1) and how many bytes were consumed, counting the
// byte that made the sequence invalid.
std::pair<int32_t, size_t> reference_decode(const uint8_t* p, size_t n) {
    uint8_t b0 = p[0];
    if (b0 < 0x80) return {b0, 1};
    int extra;
    uint32_t value;
    uint8_t lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) extra = 1, value = b0 & 0x1F;
    else if (b0 >= 0xE0 && b0 <= 0xEF) extra = 2, value = b0 & 0x0F;
    else if (b0 >= 0xF0 && b0 <= 0xF4) extra = 3, value = b0 & 0x07;
    else return {-1, 1};
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
    for (int i = 1; i <= extra; i++) {
        if (static_cast<size_t>(i) >= n) return {-1, n};
        uint8_t b = p[i];
        uint8_t l = i == 1 ? lo : 0x80, h = i == 1 ? hi : 0xBF;
        if (b < l || b > h) return {-1, static_cast<size_t>(i) + 1};
        value = value << 6 | (b & 0x3F);
    }
    return {static_cast<int32_t>(value), static_cast<size_t>(extra) + 1};
}

void expect_same_as_reference(const uint8_t* bytes, size_t n) {
    int32_t cp;
    const uint8_t* next = utf8::decode_char(bytes, bytes + n, cp);
    auto [want_cp, want_len] = reference_decode(bytes, n);
    ASSERT_EQ(cp, want_cp) << std::hex << int(bytes[0]) << ' ' << (n > 1 ? int(bytes[1]) : -1) << ' '
                           << (n > 2 ? int(bytes[2]) : -1) << ' ' << (n > 3 ? int(bytes[3]) : -1);
    ASSERT_EQ(static_cast<size_t>(next - bytes), want_len);
}

TEST(Utf8Strict, AgreesWithReferenceOnEverySequenceOfUpToThreeBytes) {
    uint8_t b[3];
    for (int x = 0; x < 256; x++) {
        b[0] = static_cast<uint8_t>(x);
        expect_same_as_reference(b, 1);
        for (int y = 0; y < 256; y++) {
            b[1] = static_cast<uint8_t>(y);
            expect_same_as_reference(b, 2);
            for (int z = 0; z < 256; z++) {
                b[2] = static_cast<uint8_t>(z);
                expect_same_as_reference(b, 3);
            }
        }
    }
}

TEST(Utf8Strict, AgreesWithReferenceOnFourByteSequences) {
    std::mt19937 rng(7);
    uint8_t b[4];
    for (int lead = 0xF0; lead <= 0xF7; lead++) {
        for (int i = 0; i < 200000; i++) {
            b[0] = static_cast<uint8_t>(lead);
            for (int k = 1; k < 4; k++) b[k] = static_cast<uint8_t>(0x70 + rng() % 0x60);
            expect_same_as_reference(b, 4);
        }
    }
}

TEST(Utf8, EveryScalarValueRoundTripsThroughBothDecoders) {
    uint8_t buf[4];
    for (uint32_t cp = 0; cp <= 0x10FFFF; cp++) {
        int n = utf8::encode_char(cp, buf);
        ASSERT_EQ(n, utf8::char_length(cp));
        int32_t strict;
        const uint8_t* next = utf8::decode_char(buf, buf + n, strict);
        bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
        ASSERT_EQ(strict, surrogate ? -1 : static_cast<int32_t>(cp)) << cp;
        if (!surrogate) {
            ASSERT_EQ(next, buf + n);
        }
        if (cp >= 0xDC00 && cp <= 0xDCFF) continue;  // refused by the lenient decoder, tested below
        int length;
        ASSERT_EQ(utf8::decode_char_checked(buf, static_cast<size_t>(n), length), static_cast<int32_t>(cp));
        ASSERT_EQ(length, n);
    }
}

TEST(Utf8Strict, RejectsOverlongSurrogateAndCutForms) {
    struct Case {
        std::vector<uint8_t> bytes;
        size_t consumed;
    } cases[] = {
        {{0xC0, 0x80}, 1},              // overlong NUL: C0 is never a lead
        {{0xE0, 0x80, 0x80}, 2},        // overlong three-byte form
        {{0xF0, 0x80, 0x80, 0x80}, 2},  // overlong four-byte form
        {{0xED, 0xA0, 0x80}, 2},        // U+D800
        {{0xED, 0xBF, 0xBF}, 2},        // U+DFFF
        {{0xF4, 0x90, 0x80, 0x80}, 2},  // above U+10FFFF
        {{0xE2, 0x82}, 2},              // cut by the end
        {{0xF0, 0x9F, 0x98}, 3},        // cut by the end
        {{0xE2, 0x41, 0x42}, 2},        // bad continuation: stops after it
    };
    for (const Case& c : cases) {
        int32_t cp;
        const uint8_t* next = utf8::decode_char(c.bytes.data(), c.bytes.data() + c.bytes.size(), cp);
        EXPECT_EQ(cp, -1);
        EXPECT_EQ(static_cast<size_t>(next - c.bytes.data()), c.consumed);
    }
}

// Runs the lenient decoder and answers the error id it raised ("" for none)
// and the bytes it carried.
struct CheckedResult {
    int32_t cp;
    int length;
    std::string error;
    error::Raised raised{};
};

CheckedResult decode_checked(std::vector<uint8_t> bytes) {
    CheckedResult r{0, 0, {}, {}};
    try {
        r.cp = utf8::decode_char_checked(bytes.data(), bytes.size(), r.length);
    } catch (const error::Raised& e) {
        r.error = std::string(error::spelling(e.id));
        r.raised = e;
    }
    return r;
}

TEST(Utf8Lenient, RaisesForBytesThatCannotBeUtf8) {
    std::vector<std::vector<uint8_t>> bad = {
        {0x80},                    // continuation byte as lead
        {0xBF, 0x41},
        {0xF8, 0x80, 0x80, 0x80},  // lead byte of no UTF-8 form
        {0xFF},
        {0xC3, 0x41},              // bad continuation
        {0xE2, 0x82, 0x41},
        {0xE2, 0x41},              // bad continuation in a cut sequence is still reported
        {0xED, 0xB0, 0x80},        // U+DC00
        {0xED, 0xB3, 0xBF},        // U+DCFF
        {0xF4, 0x90, 0x80, 0x80},  // above U+10FFFF
        {0xF7, 0xBF, 0xBF, 0xBF},
    };
    for (const auto& bytes : bad) {
        CheckedResult r = decode_checked(bytes);
        EXPECT_EQ(r.error, "invalid-utf8") << std::hex << int(bytes[0]);
        EXPECT_EQ(r.raised.category, error::Category::access);
    }
}

TEST(Utf8Lenient, CutSequenceAnswersMinusOneAndTwoByteFormsPassUnchecked) {
    struct Case {
        std::vector<uint8_t> bytes;
        int32_t cp;
        int length;
    } cases[] = {
        {{0xE2, 0x82}, -1, 0},          // cut
        {{0xF0, 0x9F, 0x98}, -1, 0},    // cut
        {{0xC3}, -1, 0},                // cut
        {{0xC0, 0x80}, 0, 2},           // two-byte overlong NUL is taken as NUL
        {{0xC1, 0xBF}, 0x7F, 2},
        {{0xED, 0xA0, 0x80}, 0xD800, 3},  // surrogates outside U+DCxx pass
        {{0xED, 0xBF, 0xBF}, 0xDFFF, 3},
        {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
    };
    for (const Case& c : cases) {
        CheckedResult r = decode_checked(c.bytes);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.cp, c.cp);
        EXPECT_EQ(r.length, c.length);
    }
}

struct VectorSink {
    std::vector<uint32_t> out;
    void put(uint32_t cp) { out.push_back(cp); }
};

TEST(Utf8Lenient, LoadingSkipsMarkFoldsLineEndsAndStopsAtCutEnd) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool crlf;
        std::vector<uint32_t> want;
        size_t consumed;
    } cases[] = {
        {{0xEF, 0xBB, 0xBF}, false, {}, 3},
        {{0xEF, 0xBB, 0xBF, 'a'}, false, {'a'}, 4},
        {{'a', '\r', '\n', 'b'}, true, {'a', '\n', 'b'}, 4},
        {{'a', '\r', 'b'}, true, {'a', '\n', 'b'}, 3},
        {{'a', '\r', '\n', 'b'}, false, {'a', '\r', '\n', 'b'}, 4},
        {{'a', '\r'}, true, {'a', '\n'}, 2},
        {{'x', 0xC3, 0xA9, 0xE2, 0x82}, false, {'x', 0xE9}, 3},
        {{0xF0, 0x9F, 0x98, 0x80}, false, {0x1F600}, 4},
    };
    for (const Case& c : cases) {
        VectorSink sink;
        size_t consumed = utf8::decode_text(c.bytes.data(), c.bytes.size(), c.crlf, sink);
        EXPECT_EQ(sink.out, c.want);
        EXPECT_EQ(consumed, c.consumed);
    }
}

TEST(Utf8, EncodersRefuseValuesAboveTheLastCodePoint) {
    uint8_t buf[4];
    for (uint32_t cp : {0x110000u, 0xFFFFFFFFu}) {
        for (int which = 0; which < 2; which++) {
            try {
                if (which == 0) (void)utf8::encode_char(cp, buf);
                if (which == 1) (void)utf8::char_length(cp);
                ADD_FAILURE() << "no error for " << cp;
            } catch (const error::Raised& e) {
                EXPECT_EQ(e.category, error::Category::script);
                EXPECT_EQ(e.id, error::Id::invalid_char);
                ASSERT_EQ(e.arg_count, 1);
                EXPECT_EQ(type_of(e.args[0]), TypeId::integer);
                EXPECT_EQ(e.args[0].w2, cp);
            }
        }
    }
}

TEST(Utf8, EncodingUnitsOfEachWidthWithAndWithoutCrlf) {
    const uint8_t latin1[] = {'a', '\n', 0xE9};
    const uint16_t ucs2[] = {'a', '\n', 0x20AC};
    const uint32_t ucs4[] = {'a', '\n', 0x1F600};
    struct Case {
        const void* units;
        int unit;
        bool crlf;
        std::string want;
    } cases[] = {
        {latin1, 1, false, "a\n\xC3\xA9"},
        {latin1, 1, true, "a\r\n\xC3\xA9"},
        {ucs2, 2, true, "a\r\n\xE2\x82\xAC"},
        {ucs4, 4, true, "a\r\n\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(utf8::conversion_room(3, c.unit));
        size_t n = utf8::encode_units(c.units, 3, c.unit, out.data(), c.crlf);
        EXPECT_LT(n, out.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), n), c.want);
    }
}

TEST(Utf8, CountingAndSkippingCharacters) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // 5 characters
    auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    EXPECT_EQ(utf8::count_chars(p, end), 5u);
    EXPECT_EQ(utf8::skip_chars(p, end, 0), p);
    EXPECT_EQ(utf8::skip_chars(p, end, 2), p + 3);
    EXPECT_EQ(utf8::skip_chars(p, end, 4), p + 10);
    EXPECT_EQ(utf8::skip_chars(p, end, 9), end);
    EXPECT_EQ(utf8::lead_length(0x7F), 0);
    EXPECT_EQ(utf8::lead_length(0xC0), 2);
    EXPECT_EQ(utf8::lead_length(0xEF), 3);
    EXPECT_EQ(utf8::lead_length(0xFF), 4);
}

}  // namespace
}  // namespace qor
