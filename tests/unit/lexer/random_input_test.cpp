// Random input from an alphabet of the bytes that steer the automaton: every
// mode of the lexer ends on it, with values or a syntax error, and leaves no
// run behind.
#include <random>
#include <string>

#include "lexer_fixture.h"

namespace qor::test {
namespace {

using RandomInputTest = LexerTest;

TEST_F(RandomInputTest, EveryModeEnds) {
    static constexpr char alphabet[] =
        "[](){}\"#':;/\\<>=%,@.$+-^xXThheEaF019 \n\t\r\x01\x7F\x80\xC0\xC3\xA9\xE3\x80\x80\xF0\x9F\x98\x80\xFF";
    std::mt19937 rng(20261210);
    lexer::Listener quiet;
    quiet.on_event = [](const lexer::EventInfo& e, uint32_t&) { return e.event != lexer::Event::error; };
    lexer::Options modes[5];
    modes[1].load = false;
    modes[2].scan = false;
    modes[3].one = true;
    modes[4].listener = &quiet;
    for (int i = 0; i < 10000; i++) {
        std::string text;
        const size_t n = rng() % 48;
        for (size_t k = 0; k < n; k++) text += alphabet[rng() % (sizeof alphabet - 1)];
        if (rng() % 8 == 0) text += '\0';
        for (const lexer::Options& o : modes) {
            try {
                Cell out = unset_cell;
                const lexer::Result r =
                    lexer::scan_buffer(&out, reinterpret_cast<const uint8_t*>(text.data()), text.size(), o);
                ASSERT_LE(r.consumed, text.size());
            } catch (const error::Raised& e) {
                ASSERT_EQ(e.category, error::Category::syntax) << error::spelling(e.id);
            }
            ASSERT_EQ(lexer::active_runs(), 0);
        }
    }
}

// Inputs that once raised other errors than syntax errors from inside the
// loaders (a map's key comparison, for one).
TEST_F(RandomInputTest, FoundInputsRaiseOnlySyntaxErrors) {
    const std::string inputs[] = {"#[1%-^A1%-]", "#[1%-\x011%-]", "#[1%- 1%-]", "#[a- a-]", "#[1x- 1x-]"};
    lexer::Listener quiet;
    quiet.on_event = [](const lexer::EventInfo& e, uint32_t&) { return e.event != lexer::Event::error; };
    lexer::Options modes[5];
    modes[1].load = false;
    modes[2].scan = false;
    modes[3].one = true;
    modes[4].listener = &quiet;
    for (const std::string& text : inputs) {
        for (const lexer::Options& o : modes) {
            try {
                Cell out = unset_cell;
                (void)lexer::scan_buffer(&out, reinterpret_cast<const uint8_t*>(text.data()), text.size(), o);
            } catch (const error::Raised& e) {
                EXPECT_EQ(e.category, error::Category::syntax) << text << ": " << error::spelling(e.id);
            }
            EXPECT_EQ(lexer::active_runs(), 0);
        }
    }
}

}  // namespace
}  // namespace qor::test
