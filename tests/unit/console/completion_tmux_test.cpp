// Tab completion in a real terminal (a tmux pane): a word, a function's
// refinements (several candidates are listed and the line is kept), an
// object's field, a file name, and a completion inside the line that keeps
// the text after the cursor. Skipped when tmux is not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace qor::test {
namespace {

using namespace tmux;

class CompletionTerminal : public TempDirTest {
protected:
    void start(Tmux& t) {
        t.start("cd " + sh_quoted(dir_) + " && HOME=" + sh_quoted(dir_) + " " + sh_quoted(QOR_BINARY) +
                    "; echo DONE $?; sleep 60",
                80);
        ASSERT_TRUE(t.wait_for(">>")) << t.screen();
    }
};

TEST_F(CompletionTerminal, WordsRefinementsFieldsAndFiles) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    std::filesystem::create_directory(std::filesystem::path(dir_) / "zebra-stripes");
    Tmux t;
    start(t);

    // One candidate: the word is completed in place.
    t.text("length? appe");
    t.keys("Tab");
    ASSERT_TRUE(t.wait_for(">> length? append")) << t.screen();
    t.text(" [] 1");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== 1")) << t.screen();

    // Several: the candidates are listed, then the line comes back as it was.
    t.text("append/");
    t.keys("Tab");
    ASSERT_TRUE(t.wait_for(">> dup only part\n>> append/")) << t.screen();
    EXPECT_EQ(t.screen().find("local"), std::string::npos) << t.screen();
    t.keys("BSpace BSpace BSpace BSpace BSpace BSpace BSpace");

    // An object's field.
    t.text("system/op");
    t.keys("Tab");
    ASSERT_TRUE(t.wait_for(">> system/options")) << t.screen();
    t.keys("C-a");

    // Inside the line: the completed word, then what followed the cursor.
    t.text("x: %zeb");
    t.keys("Tab");
    ASSERT_TRUE(t.wait_for(">> x: %zebra-stripes/system/options")) << t.screen();
    t.keys("C-e");
    t.keys("Enter");
    ASSERT_TRUE(t.wait_for("== %zebra-stripes/system/options")) << t.screen();
}

}  // namespace
}  // namespace qor::test
