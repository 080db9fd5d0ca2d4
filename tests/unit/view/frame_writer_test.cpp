// The bytes of frames: SGR codes of colours and attributes, whole frames,
// frames of changes, and the visible replacements of control characters.
#include <gtest/gtest.h>

#include <string>

#include "view/terminal/frame_writer.h"

namespace qor::tui {
namespace {

std::string color(uint32_t c, bool fg, bool true_colour = true) {
    std::string out;
    vt_color(out, c, fg, true_colour);
    return out;
}

TEST(VtColor, EveryKindOfColour) {
    struct Case {
        uint32_t colour;
        bool fg;
        const char* bytes;
    };
    const Case cases[] = {
        {0, true, "\x1B[39m"},
        {0, false, "\x1B[49m"},
        {colour::basic(1), true, "\x1B[31m"},
        {colour::basic(7), false, "\x1B[47m"},
        {colour::basic(8), true, "\x1B[0m"},
        {colour::basic(9), false, "\x1B[49m"},
        {colour::basic(17), true, "\x1B[97m"},
        {colour::basic(10), false, "\x1B[100m"},
        {colour::basic(18), true, "\x1B[0m"},
        {colour::palette(196), false, "\x1B[48;5;196m"},
        {colour::rgb(16, 32, 48), true, "\x1B[38;2;16;32;48m"},
        {0x03000001, true, "\x1B[0m"},
    };
    for (const Case& c : cases) EXPECT_EQ(color(c.colour, c.fg), c.bytes) << std::hex << c.colour;
}

TEST(VtColor, TrueColourBecomesThePaletteOnA256ColourTerminal) {
    EXPECT_EQ(color(colour::rgb(255, 0, 0), true, false), "\x1B[38;5;196m");
    EXPECT_EQ(color(colour::rgb(128, 128, 128), false, false), "\x1B[48;5;244m");
    EXPECT_EQ(color(colour::palette(3), true, false), "\x1B[38;5;3m");
}

std::string sgr(uint32_t from_attrs, uint32_t to_attrs) {
    std::string out;
    Style running{0, 0, from_attrs};
    const Style next = sgr_attributes(out, running, GridCell{'x', 0, 0, to_attrs}, true);
    EXPECT_EQ(next.attrs, to_attrs);
    return out;
}

TEST(SgrAttributes, OnlyTheChangesInTheirOrder) {
    EXPECT_EQ(sgr(0, attr::bold), "\x1B[1m");
    EXPECT_EQ(sgr(attr::bold, 0), "\x1B[22m");
    EXPECT_EQ(sgr(0, attr::dim | attr::reverse | attr::bold | attr::italic | attr::strike | attr::underline),
              "\x1B[2m\x1B[7m\x1B[1m\x1B[3m\x1B[9m\x1B[4m");
    EXPECT_EQ(sgr(attr::reverse | attr::italic | attr::strike | attr::underline, 0),
              "\x1B[27m\x1B[23m\x1B[29m\x1B[24m");
    // Blink, conceal and the cell's own marks are kept but never written.
    EXPECT_EQ(sgr(0, attr::blink | attr::conceal | attr::masked), "");
}

TEST(SgrAttributes, BoldAndDimShareTheirOffCode) {
    // The one that stays is switched on again after 22.
    EXPECT_EQ(sgr(attr::bold | attr::dim, attr::bold), "\x1B[22m\x1B[1m");
    EXPECT_EQ(sgr(attr::bold | attr::dim, attr::dim), "\x1B[22m\x1B[2m");
    EXPECT_EQ(sgr(attr::bold, attr::dim), "\x1B[22m\x1B[2m");
    EXPECT_EQ(sgr(attr::dim, attr::bold), "\x1B[22m\x1B[1m");
    EXPECT_EQ(sgr(attr::bold | attr::dim, 0), "\x1B[22m");
    EXPECT_EQ(sgr(attr::bold, attr::bold | attr::dim), "\x1B[2m");
}

TEST(SgrAttributes, ColoursFollowTheAttributes) {
    std::string out;
    Style s = sgr_attributes(out, Style{}, GridCell{'x', colour::palette(196), colour::basic(17), attr::bold}, true);
    EXPECT_EQ(out, "\x1B[1m\x1B[97m\x1B[48;5;196m");
    out.clear();
    sgr_attributes(out, s, GridCell{'y', colour::palette(196), colour::basic(17), attr::bold}, true);
    EXPECT_EQ(out, "");
}

CellGrid grid_of(int width, int height) {
    CellGrid g;
    g.resize(width, height);
    g.clear();
    return g;
}

TEST(WriteFrame, AnInlineFrameOfDefaultCells) {
    CellGrid g = grid_of(3, 2);
    FramePlacement p;
    std::string out;
    write_frame(out, g, p);
    EXPECT_EQ(out, "\r\x1B[0J   \x1B[49m\r\n   ");
    EXPECT_EQ(p.lines_up, 1);
    // The next frame starts from the area's top.
    out.clear();
    write_frame(out, g, p);
    EXPECT_EQ(out, "\r\x1B[1A\x1B[0J   \x1B[49m\r\n   ");
}

TEST(WriteFrame, FullScreenCaretAndEmptyGrids) {
    CellGrid g = grid_of(4, 3);
    g.at(0, 0).ch = 'a';
    g.at(1, 0) = GridCell{'b', 0, 0, attr::bold};
    g.at(2, 0).ch = 'c';
    g.at(0, 1) = GridCell{0x4E2D, 0, 0, 0};  // a wide character and its right half
    g.at(1, 1) = GridCell{0, 0, 0, attr::continuation};
    g.at(2, 1) = GridCell{'s', 0, 0, attr::masked};
    FramePlacement p;
    p.full_screen = true;
    p.show_caret = true;
    p.caret_column = 2;
    p.caret_row = 1;
    std::string out;
    write_frame(out, g, p);
    EXPECT_EQ(out, "\x1B[Ha\x1B[1mb\x1B[22mc \x1B[49m\r\n\xE4\xB8\xAD* \x1B[49m\r\n    \r\x1B[1A\x1B[2C");
    EXPECT_EQ(p.lines_up, 1);

    CellGrid empty = grid_of(0, 5);
    out.clear();
    write_frame(out, empty, p);
    EXPECT_EQ(out, "");
}

TEST(WriteFrame, ControlCharactersAreNeverWrittenRaw) {
    CellGrid g = grid_of(6, 1);
    const uint32_t controls[] = {'\t', '\r', 0x07, 0x1B, 0x9B, 0x7F};
    for (int x = 0; x < 6; x++) g.at(x, 0).ch = controls[x];
    FramePlacement p;
    std::string out;
    write_frame(out, g, p);
    // Only the frame's own ESC bytes (CSI 0 J at its start) are there.
    EXPECT_EQ(out, "\r\x1B[0J\xE2\x90\x89\xE2\x90\x8D\xE2\x90\x87\xE2\x90\x9B\xEF\xBF\xBD\xE2\x90\xA1");
    EXPECT_EQ(visible_char(0), static_cast<uint32_t>(' '));
    EXPECT_EQ(visible_char(0xD800), 0xFFFDu);
    EXPECT_EQ(visible_char(0x110000), 0xFFFDu);
    EXPECT_EQ(visible_char(0xE9), 0xE9u);
}

TEST(WriteChanges, OnlyChangedCellsAreWritten) {
    CellGrid shown = grid_of(20, 3);
    for (int x = 0; x < 20; x++) shown.at(x, 1).ch = 'a';
    CellGrid g = shown;
    FramePlacement p;
    p.lines_up = 2;  // the cursor is on the last row
    std::string out;
    write_changes(out, g, shown, p);
    EXPECT_EQ(out, "");

    g.at(3, 1) = GridCell{'X', 0, colour::basic(1), 0};
    g.at(5, 1).ch = 'Y';          // within the gap: written through
    g.at(18, 1).ch = 'Z';         // far away: the cursor moves
    g.at(0, 0).ch = 'T';
    out.clear();
    write_changes(out, g, shown, p);
    EXPECT_EQ(out, "\x1B[2A\rT\x1B[1B\x1B[2C\x1B[31mX\x1B[39maY\x1B[12CZ");
    EXPECT_EQ(p.lines_up, 1);
}

TEST(WriteChanges, WideCharactersAreRewrittenWhole) {
    CellGrid shown = grid_of(6, 1);
    shown.at(2, 0).ch = 0x4E2D;
    shown.at(3, 0).attrs = attr::continuation;
    CellGrid g = grid_of(6, 1);
    g.at(3, 0).ch = 'x';  // over the right half of the wide character
    FramePlacement p;
    p.columns = 6;
    std::string out;
    write_changes(out, g, shown, p);
    EXPECT_EQ(out, "\r\x1B[2C x");

    // A run that reaches the terminal's last column leaves the cursor's
    // column unknown, so the caret is reached from the line start.
    g.at(5, 0).ch = 'e';
    shown = g;
    shown.at(5, 0).ch = 'E';
    p.show_caret = true;
    p.caret_column = 4;
    p.caret_row = 0;
    out.clear();
    write_changes(out, g, shown, p);
    EXPECT_EQ(out, "\r\x1B[5Ce\r\x1B[4C");
}

TEST(Palette, NearestEntries) {
    struct Case {
        uint32_t r, g, b;
        int index;
    };
    const Case cases[] = {
        {0, 0, 0, 16},     {255, 255, 255, 231}, {255, 0, 0, 196}, {128, 128, 128, 244},
        {8, 8, 8, 232},    {238, 238, 238, 255}, {95, 135, 175, 67}, {10, 200, 30, 40},
        {250, 250, 250, 231}, {1, 2, 3, 16},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nearest_palette(c.r, c.g, c.b), c.index) << c.r << "." << c.g << "." << c.b;
}

}  // namespace
}  // namespace qor::tui
