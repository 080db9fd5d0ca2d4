// Windows laid out with VID, run end to end through the real `qor` in a
// real terminal (a tmux pane): the to-do example driven with keys and
// clicks until it quits, the file requester browsing a directory tree the
// test makes, and alert showing a message until its OK closes it. Skipped
// when tmux is not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace qor::test::tmux;

struct Cell {
    int column = -1;
    int row = -1;
};

// The column of a byte offset in a line of UTF-8 (the frames' box
// characters take three bytes and one cell).
int column_of(const std::string& line, size_t at) {
    int column = 0;
    for (size_t i = 0; i < at; i++)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) column++;
    return column;
}

// The 0-based cell where the text first shows on the screen at or below
// the row (column -1 when it does not show).
Cell cell_of(const std::string& screen, const std::string& text, int from_row = 0) {
    std::istringstream lines(screen);
    std::string line;
    for (int row = 0; std::getline(lines, line); row++)
        if (size_t at = line.find(text); row >= from_row && at != std::string::npos) return {column_of(line, at), row};
    return {};
}

// A press and a release of the left button at a 0-based cell, as an SGR
// mouse report.
std::string click_at(Cell c) {
    const std::string at = std::to_string(c.column + 1) + ";" + std::to_string(c.row + 1);
    return "\x1b[<0;" + at + "M\x1b[<0;" + at + "m";
}

class VidInTmux : public TempDirTest {
protected:
    // Clicks the first place the text shows; false when it does not show.
    [[nodiscard]] bool click(Tmux& t, const std::string& text) {
        Cell c = cell_of(t.screen(), text);
        if (c.column < 0) return false;
        t.text(click_at({c.column + 1, c.row}));
        return true;
    }
    // Runs qor in the test's directory (and home) with the arguments.
    void run_qor(Tmux& t, const std::string& arguments, int columns, int rows) {
        t.start("cd " + sh_quoted(dir_) + " && HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) + " " +
                    arguments + "; echo EXIT=$?; sleep 60",
                columns, rows);
    }
};

// Items go in through the field (Enter and the Add button), one goes out
// through a click on it and Remove, Quit closes the window; the script's
// count and the list left behind show at the console, which works again.
TEST_F(VidInTmux, TodoExampleAddsRemovesAndQuits) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    Tmux t;
    run_qor(t, "--catch " + sh_quoted(std::string(QOR_SOURCE_DIR) + "/examples/todo.qor"), 80, 24);
    ASSERT_TRUE(t.wait_for(" Buy bread\n Answer the letters\n Water the plants\n")) << t.screen();
    ASSERT_TRUE(t.wait_for(" Remove Quit")) << t.screen();

    t.keys("Tab");  // from the list to the field
    t.text("Feed the cat");
    ASSERT_TRUE(t.wait_for(" Feed the cat")) << t.screen();
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(" Water the plants\n Feed the cat\n")) << t.screen();
    EXPECT_EQ(count(t.screen(), "Feed the cat"), 1) << "the field is emptied\n" << t.screen();

    t.text("Post the card");
    ASSERT_TRUE(t.wait_for(" Post the card")) << t.screen();
    ASSERT_TRUE(click(t, "Add")) << t.screen();
    ASSERT_TRUE(t.wait_for(" Feed the cat\n Post the card\n")) << t.screen();
    EXPECT_EQ(count(t.screen(), "Post the card"), 1) << t.screen();

    ASSERT_TRUE(click(t, "Answer the letters")) << t.screen();
    ASSERT_TRUE(click(t, "Remove")) << t.screen();
    ASSERT_TRUE(t.wait_for(" Buy bread\n Water the plants\n Feed the cat\n Post the card\n")) << t.screen();
    EXPECT_EQ(count(t.screen(), "Answer the letters"), 0) << t.screen();

    ASSERT_TRUE(click(t, "Quit")) << t.screen();
    ASSERT_TRUE(t.wait_for("Left to do: 4\n>>")) << t.screen();
    t.text("probe items");
    t.keys("Enter");
    ASSERT_TRUE(
        t.wait_for("[\"Buy bread\" \"Water the plants\" \"Feed the cat\" "
                   "\"Post the card\"]\n"))
        << t.screen();
    t.text("q");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("EXIT=0")) << t.screen();
}

// A tree of folders and files to browse: tree/ holds two files and the
// folders other/ and sub/; sub/ holds two files.
void make_tree(const std::string& dir) {
    namespace fs = std::filesystem;
    fs::create_directories(dir + "/tree/sub");
    fs::create_directories(dir + "/tree/other");
    for (const char* name : {"tree/a.txt", "tree/b.qor", "tree/sub/inner.txt", "tree/sub/zeta.txt"})
        std::ofstream(dir + "/" + name) << name << "\n";
}

// Down the folder list into sub/ with the keys, over to its files, Enter
// takes the second one into the Selected field, and Open answers its full
// path to the script.
TEST_F(VidInTmux, RequestFileBrowsesIntoAFolderAndAnswersTheChosenFile) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    make_tree(dir_);
    put("pick.qor",
        "Qor []\nprint [\"CHOSEN\" mold request-file/file "
        "%tree/]\nprint \"after\"\n");
    Tmux t;
    run_qor(t, "pick.qor", 100, 40);
    ASSERT_TRUE(t.wait_for(dir_ + "/tree/\n")) << t.screen();
    ASSERT_TRUE(t.wait_for(" Open ")) << t.screen();
    for (const char* shown : {"│../", "│other/", "│sub/", "│a.txt", "│b.qor"})
        EXPECT_NE(cell_of(t.screen(), shown).column, -1) << shown << "\n" << t.screen();

    t.keys("Down Down Enter");  // ../ other/ sub/
    ASSERT_TRUE(t.wait_for(dir_ + "/tree/sub/\n")) << t.screen();
    ASSERT_TRUE(t.wait_for("│zeta.txt")) << t.screen();
    EXPECT_EQ(count(t.screen(), "│a.txt"), 0) << t.screen();

    t.keys("Right Down Enter");  // inner.txt zeta.txt
    ASSERT_TRUE(t.wait_for("zeta.txt", 2)) << t.screen();
    const std::string screen = t.screen();
    EXPECT_EQ(cell_of(screen, "Selected:").row, cell_of(screen, " zeta.txt").row) << screen;

    ASSERT_TRUE(click(t, " Open ")) << t.screen();
    ASSERT_TRUE(t.wait_for("CHOSEN %" + dir_ + "/tree/sub/zeta.txt\nafter\nEXIT=0")) << t.screen();
}

// With a filter only the files it asks for show; a click on a folder and
// Enter go into it, ../ comes back up, and Cancel answers none.
TEST_F(VidInTmux, RequestFileFiltersFollowsClicksAndCancels) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    make_tree(dir_);
    put("pick.qor",
        "Qor []\nprint [\"CHOSEN\" mold request-file/file/filter "
        "%tree/ [\"Scripts\" \"*.qor\"]]\n"
        "print \"after\"\n");
    Tmux t;
    run_qor(t, "pick.qor", 100, 40);
    ASSERT_TRUE(t.wait_for("│b.qor")) << t.screen();
    EXPECT_EQ(count(t.screen(), "│a.txt"), 0) << t.screen();

    ASSERT_TRUE(click(t, "│other/")) << t.screen();
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for(dir_ + "/tree/other/\n")) << t.screen();
    EXPECT_EQ(count(t.screen(), "b.qor"), 0) << t.screen();
    t.keys("Enter");  // ../ is the first entry, selected
    ASSERT_TRUE(t.wait_for(dir_ + "/tree/\n")) << t.screen();
    ASSERT_TRUE(t.wait_for("│b.qor")) << t.screen();

    ASSERT_TRUE(click(t, "Cancel")) << t.screen();
    ASSERT_TRUE(t.wait_for("CHOSEN none\nafter\nEXIT=0")) << t.screen();
}

// The message shows and the script waits; Enter closes the first alert, a
// click on OK the second (a block message, reduced), and the script goes on.
TEST_F(VidInTmux, AlertShowsAndClosesOnEnterOrOk) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    put("tell.qor",
        "Qor []\nprint \"before\"\nalert \"hello\"\nprint \"went "
        "on\"\nalert [\"sum\" 1 + 2]\nprint \"done\"\n");
    Tmux t;
    run_qor(t, "tell.qor", 60, 20);
    ASSERT_TRUE(t.wait_for("hello")) << t.screen();
    ASSERT_TRUE(t.wait_for("OK")) << t.screen();
    EXPECT_EQ(count(t.screen(), "went on"), 0) << t.screen();

    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("went on")) << t.screen();
    ASSERT_TRUE(t.wait_for("sum 3")) << t.screen();
    EXPECT_EQ(count(t.screen(), "done"), 0) << t.screen();

    // The second OK is below the second message.
    const std::string screen = t.screen();
    const Cell ok = cell_of(screen, "OK", cell_of(screen, "sum 3").row + 1);
    ASSERT_GT(ok.row, 0) << screen;
    t.text(click_at(ok));
    ASSERT_TRUE(t.wait_for("done\nEXIT=0")) << t.screen();
}

}  // namespace
}  // namespace qor::test
