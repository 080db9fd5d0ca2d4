// Terminal input decoding: bytes in, keys, mouse reports and cursor
// positions out, also when sequences are split across reads, cut short or
// garbled.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/input_log.h"
#include "view/terminal/input_decoder.h"

namespace qor::tui {
namespace {

using Log = test::InputLog;

std::string decode(const std::string& bytes, int64_t now = 0) {
    InputDecoder d;
    Log log;
    d.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    d.decode(log, now);
    return log.text;
}

TEST(InputDecoder, KeysAndSequences) {
    struct Case {
        std::string bytes;
        std::string events;
    };
    const Case cases[] = {
        {"ab", "k97 k98"},
        {"\xC3\xA9", "k233"},                          // é: two bytes, one key
        {"\xF0\x9F\x98\x80", "k128512"},               // outside the basic plane
        {"\r\n\b\x7F\x01\t", "k13 k13 k127 k127 k1 k9"},
        {std::string("\0", 1), "k0"},
        {"\x1B[A\x1B[B\x1B[C\x1B[D\x1B[F\x1B[H", "s-20 s-21 s-22 s-23 s-24 s-25"},
        {"\x1B[3~\x1B[5~\x1B[6~", "s-27 s-28 s-29"},
        {"\x1BOP\x1BOQ\x1BOR\x1BOS", "s-31 s-32 s-33 s-34"},
        {"\x1B[15~\x1B[17~\x1B[18~\x1B[19~", "s-35 s-36 s-37 s-38"},
        {"\x1B[20~\x1B[21~\x1B[23~\x1B[24~", "s-39 s-40 s-41 s-42"},
        {"\x1B[15;2~", "s-35"},                        // modifiers after the number are read over
        {"\x1B[Z", "s10"},                             // back-tab
        {"\x1B[1;5A\x1B[2~\x1B[99~\x1B[[A", ""},       // no such keys here
        {"\x1B[<0;5;12M\x1B[<0;5;12m", "m0,5,12,P m0,5,12,R"},
        {"\x1B[32;5;12M", "m32,5,12,P"},               // the decimal encoding
        {"\x1B[<0;5M\x1B[<0;5;12;1M", ""},             // not three numbers
        {"\x1B[10;1R", "c10,1"},
        {"\x1B]0;title\x1B\\x", "k120"},               // OSC ended by ST
        {"\x1B]11;rgb:0/0/0\ax", "k120"},              // OSC ended by BEL
        {"\x1BPdevice\x1B\\y", "k121"},                // DCS
        {"\x1B]junk\x1B[Ay", "s-20 k121"},             // another Esc ends the string
        {"\x1B[1;2\x01" "A", "k1 k65"},                   // a control ends a sequence unfinished
        {"\x1B" "a\x1B" "z", ""},                            // Alt and a letter: no key, nothing lost after
        {"\x1B\x1B[A", "k27 s-20"},
        {"\x1BO\x1B[B", "s-21"},
        {"\x80\xC0\xF5z", "k122"},                     // bytes that start no character
        {"\xE2\x28\xA1", "k40"},                       // a broken character, then what follows
        {"\xED\xA0\x80k", "k107"},                     // an encoded surrogate
        {"\xE0\x80\xAFk", "k107"},                     // an overlong form
    };
    for (const Case& c : cases) EXPECT_EQ(decode(c.bytes), c.events) << testing::PrintToString(c.bytes);
}

TEST(InputDecoder, NumbersSaturate) {
    EXPECT_EQ(decode("\x1B[<0;99999999999999999999;3M"), "m0,99999,3,P");
    EXPECT_EQ(decode("\x1B[4294967297;2R"), "c99999,2");
}

TEST(InputDecoder, SequencesSplitAcrossReadsAreKept) {
    // Every way of cutting these into two reads gives the same keys.
    const std::string all = "\x1B[A\xC3\xA9\x1B[<0;5;12M\x1BOP\x1B]2;t\a!";
    const std::string whole = decode(all);
    ASSERT_EQ(whole, "s-20 k233 m0,5,12,P s-31 k33");
    for (size_t cut = 1; cut < all.size(); cut++) {
        InputDecoder d;
        Log log;
        d.append(reinterpret_cast<const uint8_t*>(all.data()), cut);
        d.decode(log, 0);
        d.append(reinterpret_cast<const uint8_t*>(all.data()) + cut, all.size() - cut);
        d.decode(log, 10);
        EXPECT_EQ(log.text, whole) << "cut at " << cut;
        EXPECT_EQ(d.pending(), 0u);
    }
}

TEST(InputDecoder, ALoneEscIsTheEscKeyOnceNothingFollowsInTime) {
    InputDecoder d;
    Log log;
    d.append(reinterpret_cast<const uint8_t*>("x\x1B"), 2);
    d.decode(log, 1000);
    EXPECT_EQ(log.text, "k120");
    d.decode(log, 1000 + InputDecoder::wait_ms - 1);
    EXPECT_EQ(log.text, "k120");
    d.decode(log, 1000 + InputDecoder::wait_ms);
    EXPECT_EQ(log.text, "k120 k27");
    EXPECT_EQ(d.pending(), 0u);
}

TEST(InputDecoder, ACutStringGivesUpAndTheKeysAfterItArrive) {
    // An unterminated command string does not hold back what is typed after
    // it for longer than the wait.
    InputDecoder d;
    Log log;
    d.append(reinterpret_cast<const uint8_t*>("\x1B]ab"), 4);
    d.decode(log, 0);
    d.append(reinterpret_cast<const uint8_t*>("c"), 1);
    d.decode(log, 20);
    EXPECT_EQ(log.text, "");
    d.decode(log, InputDecoder::wait_ms);
    EXPECT_EQ(log.text, "k27 k93 k97 k98 k99");

    // One longer than the limit is given up at the limit.
    std::string long_string = "\x1B]" + std::string(InputDecoder::max_string, 'x') + "q";
    const std::string events = decode(long_string);
    EXPECT_EQ(events.substr(events.size() - 4), "k113");
}

TEST(InputDecoder, AControlSequenceHasABoundedLength) {
    std::string long_sequence = "\x1B[" + std::string(200, ';') + "A";
    const std::string events = decode(long_sequence);
    EXPECT_EQ(events.substr(events.size() - 3), "k65");
}

// A handler that runs a nested loop decodes the input after its own key,
// in order, and input arriving meanwhile joins it.
class Nesting final : public tui::InputSink {
public:
    InputDecoder* decoder = nullptr;
    Log log;
    void key(int32_t code, bool special) override {
        log.key(code, special);
        if (code == 'a') {
            decoder->append(reinterpret_cast<const uint8_t*>("d"), 1);
            decoder->decode(*this, 0);
        }
    }
    void mouse(int32_t, int32_t, int32_t, bool) override {}
    void cursor_position(int32_t, int32_t) override {}
};

TEST(InputDecoder, ANestedLoopDecodesWhatFollowsInOrder) {
    InputDecoder d;
    Nesting sink;
    sink.decoder = &d;
    d.append(reinterpret_cast<const uint8_t*>("xabc"), 4);
    d.decode(sink, 0);
    EXPECT_EQ(sink.log.text, "k120 k97 k98 k99 k100");
    EXPECT_EQ(d.pending(), 0u);
}

TEST(InputDecoder, SpecialKeyCodes) {
    EXPECT_EQ(special_key_code('[', 'A', 0, 'A'), -20);
    EXPECT_EQ(special_key_code('[', '1', ';', 'A'), 0);
    EXPECT_EQ(special_key_code('O', 'S', 0, 'S'), -34);
    EXPECT_EQ(special_key_code('x', 'A', 0, 'A'), 0);
}

}  // namespace
}  // namespace qor::tui
