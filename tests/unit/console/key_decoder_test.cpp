// VT key decoding: byte sequences from real terminals to editor key codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/key_decoder.h"
#include "runtime/platform/terminal_input.h"

namespace qor::console {
namespace {

// Bytes to hand out; `pause` marks a silence longer than any time limit.
constexpr int pause = -1000;

class ScriptedBytes final : public ByteSource {
public:
    explicit ScriptedBytes(std::vector<int> script) : script_(std::move(script)) {}
    int next_byte(int timeout_ms) override {
        if (pos_ == script_.size()) return timeout_ms < 0 ? platform::input_end : platform::input_timeout;
        int b = script_[pos_];
        if (b == pause) {
            if (timeout_ms >= 0) {
                ++pos_;
                return platform::input_timeout;
            }
            ++pos_;  // a blocking read waits the silence out
            return next_byte(timeout_ms);
        }
        ++pos_;
        return b;
    }

private:
    std::vector<int> script_;
    size_t pos_ = 0;
};

std::vector<int> bytes(std::string_view text) {
    std::vector<int> out;
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
    return out;
}

// Decodes until the input ends.
std::vector<int32_t> decode(std::vector<int> script) {
    ScriptedBytes source(std::move(script));
    KeyDecoder decoder(source);
    std::vector<int32_t> keys;
    for (int32_t k; (k = decoder.read_key()) != key::failed;) keys.push_back(k);
    return keys;
}

struct Case {
    const char* what;
    std::vector<int> input;
    std::vector<int32_t> keys;
};

TEST(KeyDecoder, SequencesBecomeKeys) {
    const std::vector<Case> cases = {
        {"arrows CSI", bytes("\x1B[A\x1B[B\x1B[C\x1B[D"), {key::up, key::down, key::right, key::left}},
        {"arrows SS3", bytes("\x1BOA\x1BOB\x1BOC\x1BOD"), {key::up, key::down, key::right, key::left}},
        {"arrows with modifiers", bytes("\x1B[1;5C\x1B[1;2D"), {key::right, key::left}},
        {"home encodings", bytes("\x1B[H\x1BOH\x1B[1~\x1B[7~"), {key::home, key::home, key::home, key::home}},
        {"end encodings", bytes("\x1B[F\x1BOF\x1B[4~\x1B[8~"), {key::end, key::end, key::end, key::end}},
        {"editing keys", bytes("\x1B[2~\x1B[3~\x1B[5~\x1B[6~"),
         {key::insert, key::del, key::page_up, key::page_down}},
        {"delete with modifier", bytes("\x1B[3;5~"), {key::del}},
        {"unknown sequences are swallowed", bytes("\x1B[15~a\x1B[200~b\x1BOPc"),
         {key::none, 'a', key::none, 'b', key::none, 'c'}},
        {"ctrl keys", bytes("\x01\x02\x03\x04\x05\x06\x0B\x0E\x10"),
         {1, 2, 3, 4, 5, 6, 11, 14, 16}},
        {"enter, line feed, tab, backspaces", bytes("\r\n\t\x7F\x08"),
         {key::enter, key::enter, key::tab, key::rubout, key::backspace}},
        {"utf-8", bytes("a\xC3\xA9\xE4\xB8\x80\xF0\x9F\x98\x80"), {'a', 0xE9, 0x4E00, 0x1F600}},
        {"broken utf-8", bytes("\xC3" "a\xFF\x80\xED\xA0\x80"), {0xFFFD, 'a', 0xFFFD, 0xFFFD, 0xFFFD}},
    };
    for (const Case& c : cases) EXPECT_EQ(decode(c.input), c.keys) << c.what;
}

TEST(KeyDecoder, LoneEscapeIsToldApartBySilence) {
    std::vector<int> esc_then_silence = {0x1B, pause, '[', 'A'};
    EXPECT_EQ(decode(esc_then_silence), (std::vector<int32_t>{key::escape, '[', 'A'}));
    EXPECT_EQ(decode({0x1B}), (std::vector<int32_t>{key::escape}));
    // Esc and then another key at once is that key with Alt: ignored whole
    // (a character, a UTF-8 character, a sequence), what follows read anew.
    EXPECT_EQ(decode(bytes("\x1Bxy")), (std::vector<int32_t>{key::none, 'y'}));
    EXPECT_EQ(decode(bytes("\x1B\xC3\xA9z")), (std::vector<int32_t>{key::none, 'z'}));
    EXPECT_EQ(decode(bytes("\x1B\x1B[Aw")), (std::vector<int32_t>{key::none, 'w'}));
    std::vector<int> alt_then_esc = {0x1B, 'b', pause, 0x1B};
    EXPECT_EQ(decode(alt_then_esc), (std::vector<int32_t>{key::none, key::escape}));
    // A sequence cut by silence is dropped, and what follows is read anew.
    std::vector<int> cut = {0x1B, '[', '1', pause, 'z'};
    EXPECT_EQ(decode(cut), (std::vector<int32_t>{key::none, 'z'}));
    // A character cut by silence is broken.
    std::vector<int> cut_char = {0xE4, 0xB8, pause, 'k'};
    EXPECT_EQ(decode(cut_char), (std::vector<int32_t>{0xFFFD, 'k'}));
}

TEST(KeyDecoder, LongParameterRunsNeitherOverflowNorLeak) {
    std::string junk = "\x1B[";
    junk += std::string(200, '9');
    junk += "~x";
    EXPECT_EQ(decode(bytes(junk)), (std::vector<int32_t>{key::none, 'x'}));
}

TEST(KeyDecoder, SizeChangeInterruptsOnlyTheWaitForAKey) {
    class Interrupting final : public ByteSource {
    public:
        int next_byte(int) override {
            static const int script[] = {platform::input_interrupted, 0x1B, platform::input_interrupted,
                                         '[', 'D'};
            return i_ < 5 ? script[i_++] : platform::input_end;
        }
        int i_ = 0;
    } source;
    KeyDecoder decoder(source);
    EXPECT_EQ(decoder.read_key(), key::resized);
    EXPECT_EQ(decoder.read_key(), key::left);
    EXPECT_EQ(decoder.read_key(), key::failed);
}

}  // namespace
}  // namespace qor::console
