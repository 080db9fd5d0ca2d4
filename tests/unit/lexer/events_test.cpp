// Runs with a listener, one-value runs, runs that only check, nested runs
// and the value stack's growth.
#include <string>
#include <vector>

#include "lexer_fixture.h"

namespace qor::test {
namespace {

using EventsTest = LexerTest;

// Records every event as "event:type@line".
struct Recorder {
    std::vector<std::string> seen;
    lexer::Listener listener;
    std::function<bool(const lexer::EventInfo&, uint32_t&)> answer = [](const lexer::EventInfo&, uint32_t&) {
        return true;
    };
    explicit Recorder(uint8_t mask = lexer::all_events) {
        listener.mask = mask;
        listener.on_event = [this](const lexer::EventInfo& e, uint32_t& resume) {
            static const char* names[] = {"", "prescan", "scan", "", "load", "", "", "", "open"};
            std::string name = e.event == lexer::Event::close   ? "close"
                               : e.event == lexer::Event::error ? "error"
                                                                : names[static_cast<int>(e.event)];
            seen.push_back(name + ":" + std::to_string(e.type) + "@" + std::to_string(e.line));
            return answer(e, resume);
        };
    }
};

std::string joined(const std::vector<std::string>& v) {
    std::string out;
    for (const auto& s : v) out += (out.empty() ? "" : " ") + s;
    return out;
}

TEST_F(EventsTest, EventsOfARun) {
    Recorder rec;
    lexer::Options o;
    o.listener = &rec.listener;
    const Cell b = load("[a]\n;c", o);
    EXPECT_EQ(show(b), "block! [block! [word! a]]");
    // [ is a token without a datatype: its prescan carries -(68 - 65).
    EXPECT_EQ(joined(rec.seen),
              "prescan:-3@1 open:5@1 prescan:15@1 scan:15@1 load:15@1 prescan:-4@1 close:5@1 prescan:-12@2 "
              "scan:-12@2");
}

// A point literal is one token from its "(" to its ")"; the "(" is not
// offered as an opening.
TEST_F(EventsTest, PointLiteralEvents) {
    std::vector<std::string> seen;
    lexer::Listener l;
    l.on_event = [&](const lexer::EventInfo& e, uint32_t&) {
        seen.push_back(std::to_string(static_cast<int>(e.event)) + ":" + std::to_string(e.type) + ":" +
                       std::to_string(e.start) + "-" + std::to_string(e.end));
        return true;
    };
    lexer::Options o;
    o.listener = &l;
    EXPECT_EQ(show(load(" (1, 2) x", o)), "block! [point2D! (1, 2) word! x]");
    EXPECT_EQ(joined(seen), "1:51:1-6 2:51:1-7 4:51:1-7 1:15:8-9 2:15:8-9 4:15:8-9");
}

// Offsets of string input count characters, and a listener's move is read
// in characters too.
TEST_F(EventsTest, CharacterOffsets) {
    const Cell src = load("{\xC3\xA9\xC3\xA9 bad\xC3\xA9@@ \xC3\xA9}");
    std::vector<std::string> seen;
    lexer::Listener l;
    l.mask = static_cast<uint8_t>(lexer::Event::load) | static_cast<uint8_t>(lexer::Event::error);
    l.on_event = [&](const lexer::EventInfo& e, uint32_t& resume) {
        seen.push_back(std::to_string(e.start) + "-" + std::to_string(e.end));
        if (e.event == lexer::Event::error) resume = 10;
        return e.event != lexer::Event::error;
    };
    lexer::Options o;
    o.listener = &l;
    Cell v = unset_cell;
    lexer::scan_string_value(&v, cells_of(src)[0], -1, o);
    EXPECT_EQ(show(v), "block! [word! \xC3\xA9\xC3\xA9 word! \xC3\xA9]");
    EXPECT_EQ(joined(seen), "0-2 3-8 10-11");
}

TEST_F(EventsTest, MaskSelectsEvents) {
    Recorder rec(static_cast<uint8_t>(lexer::Event::open) | static_cast<uint8_t>(lexer::Event::close));
    lexer::Options o;
    o.listener = &rec.listener;
    load("[(1) {s}]", o);
    EXPECT_EQ(joined(rec.seen), "open:5@1 open:6@1 close:6@1 open:7@1 close:7@1 close:5@1");
}

TEST_F(EventsTest, SuppressedErrorsGoOn) {
    Recorder rec(static_cast<uint8_t>(lexer::Event::error));
    rec.answer = [](const lexer::EventInfo&, uint32_t&) { return false; };
    lexer::Options o;
    o.listener = &rec.listener;
    EXPECT_EQ(show(load("1 12a 2 \x80 3", o)), "block! [integer! 1 word! a integer! 2 integer! 3]");
    EXPECT_EQ(joined(rec.seen), "error:11@1 error:34@1");
}

TEST_F(EventsTest, ListenerMovesThePosition) {
    Recorder rec(static_cast<uint8_t>(lexer::Event::error));
    // Skip to the next space after the bad token.
    const std::string text = "1 12abc 2";
    rec.answer = [](const lexer::EventInfo& e, uint32_t& resume) {
        resume = e.end + 4;
        return false;
    };
    lexer::Options o;
    o.listener = &rec.listener;
    EXPECT_EQ(show(load(text, o)), "block! [integer! 1 integer! 2]");
}

TEST_F(EventsTest, DroppingLoadedValues) {
    Recorder rec(static_cast<uint8_t>(lexer::Event::load));
    rec.answer = [](const lexer::EventInfo& e, uint32_t&) { return e.type != to_int(TypeId::integer); };
    lexer::Options o;
    o.listener = &rec.listener;
    EXPECT_EQ(show(load("a 1 \"s\" 2", o)), "block! [word! a string! \"s\"]");
}

TEST_F(EventsTest, OneValueAndChecking) {
    lexer::Options one;
    one.one = true;
    Cell v = unset_cell;
    const std::string text = "[1 2] 3";
    lexer::Result r = lexer::scan_buffer(&v, reinterpret_cast<const uint8_t*>(text.data()), text.size(), one);
    EXPECT_EQ(show(v), "block! [integer! 1 integer! 2]");
    EXPECT_EQ(r.consumed, 5u);
    one.wrap = true;
    lexer::scan_buffer(&v, reinterpret_cast<const uint8_t*>(text.data()), text.size(), one);
    EXPECT_EQ(show(v), "block! [block! [integer! 1 integer! 2]]");

    // A run that does not load reports the type, and error! for bad input.
    lexer::Options check;
    check.load = false;
    for (auto [src, type] : {std::pair{"12", TypeId::integer}, {"12a", TypeId::error}, {"[1", TypeId::error},
                             {"1.5", TypeId::float_}, {"\"x", TypeId::error}}) {
        const std::string s = src;
        EXPECT_EQ(lexer::scan_buffer(nullptr, reinterpret_cast<const uint8_t*>(s.data()), s.size(), check).type, type)
            << src;
    }
}

// A prescan follows the structure only; it ends on every literal form and
// reports an unclosed series.
TEST_F(EventsTest, Prescan) {
    lexer::Options p;
    p.scan = false;
    for (const char* s : {"(3, 4)", "{a{b}c}", "\"x^(41)\"", "%%{y}%%", "64#{AQID}", "a/b:", "#(true)", "<t>",
                          "http://x", "12h", "1.2.3", "[1:30]", "50% 1", "#\"a\""}) {
        const std::string t = s;
        EXPECT_NE(lexer::scan_buffer(nullptr, reinterpret_cast<const uint8_t*>(t.data()), t.size(), p).type,
                  TypeId::error)
            << s;
    }
    const std::string open = "[1 (2";
    EXPECT_EQ(lexer::scan_buffer(nullptr, reinterpret_cast<const uint8_t*>(open.data()), open.size(), p).type,
              TypeId::error);
}

TEST_F(EventsTest, NestedRunsKeepTheirValues) {
    Recorder rec(static_cast<uint8_t>(lexer::Event::load));
    std::vector<std::string> inner;
    rec.answer = [&](const lexer::EventInfo&, uint32_t&) {
        const Cell got = load("x [y z]");
        inner.push_back(show(got));
        return true;
    };
    lexer::Options o;
    o.listener = &rec.listener;
    EXPECT_EQ(show(load("[1 2] 3", o)), "block! [block! [integer! 1 integer! 2] integer! 3]");
    ASSERT_EQ(inner.size(), 3u);
    EXPECT_EQ(inner[0], "block! [word! x block! [word! y word! z]]");
    EXPECT_EQ(lexer::active_runs(), 0);
}

TEST_F(EventsTest, ErrorsLeaveNoRunBehind) {
    EXPECT_THROW(load("[[[1"), error::Raised);
    EXPECT_EQ(lexer::active_runs(), 0);
    EXPECT_EQ(show(load("1")), "block! [integer! 1]");
}

TEST_F(EventsTest, DeepNestingAndManyValues) {
    std::string deep(5000, '[');
    deep += std::string(5000, ']');
    const Cell b = load(deep);
    EXPECT_EQ(length_of(b), 1u);
    std::string many;
    for (int i = 0; i < 5000; i++) many += std::to_string(i) + " ";
    const Cell m = load(many);
    ASSERT_EQ(length_of(m), 5000u);
    EXPECT_EQ(get_int(cells_of(m)[4999]), 4999);
}

TEST_F(EventsTest, ResultAppendedToAParentBlock) {
    Cell parent = load("x");
    lexer::Options o;
    o.parent = parent.w2;
    const std::string text = "1 2";
    lexer::scan_buffer(nullptr, reinterpret_cast<const uint8_t*>(text.data()), text.size(), o);
    o.one = true;
    lexer::scan_buffer(nullptr, reinterpret_cast<const uint8_t*>(text.data()), text.size(), o);
    EXPECT_EQ(show(parent), "block! [word! x block! [integer! 1 integer! 2] integer! 1]");
}

TEST_F(EventsTest, StringInput) {
    // Characters beyond Latin-1 go through UTF-8; consumed counts characters.
    const Cell src = load("{\xC3\xA9t\xC3\xA9 1}");
    const Cell s = cells_of(src)[0];
    lexer::Options one;
    one.one = true;
    Cell v = unset_cell;
    const lexer::Result r = lexer::scan_string_value(&v, s, -1, one);
    EXPECT_EQ(show(v), "word! \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(r.consumed, 3u);
}

}  // namespace
}  // namespace qor::test
