// Line input with standard input from a pipe: no prompt, no echo, the
// 80x50 size, and an end once the input has ended.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/tmux.h"

namespace qor::console {
namespace {

using test::tmux::run;  // a shell command's standard output

TEST(ConsoleInput, PipedLinesComeWithoutPromptOrEcho) {
    std::string driver = QOR_CONSOLE_edit_driver;
    EXPECT_EQ(run("printf 'one\\r\\n\\ntw\\303\\266\\nlast' | " + driver),
              "size 80x50\n[one\r]\n[]\n[tw\xC3\xB6]\n[last]\nbye\n");
    EXPECT_EQ(run("printf 'a\\nq\\nnot read\\n' | " + driver), "size 80x50\n[a]\n[q]\nbye\n");
    EXPECT_EQ(run(driver + " < /dev/null"), "size 80x50\nbye\n");
}

}  // namespace
}  // namespace qor::console
