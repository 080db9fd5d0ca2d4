// Library functions and routines whose output a transcript cannot hold
// (blank lines) or that end the process.
#include "tests/support/child_process.h"
#include "tests/support/environment_runtime.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

using LibraryTest = EnvironmentTest;

TEST_F(LibraryTest, ShowMemoryStatsLaysOutEachClassAndTheTotals) {
    EXPECT_EQ(run_line("show-memory-stats [[[1 2 3] [40 50 60]] [] [100 2000] 4 5]"),
              "\n"
              "[Nodes ] -- Free ----- Used ----- Total --\n"
              "  1:             1           2            3\n"
              "  2:            40          50           60\n"
              "  --\n"
              "  Used     : 52 nodes\n"
              "  Allocated: 63 nodes\n"
              "\n"
              "[Series] -- Free ----- Used ----- Total --\n"
              "               -           -            -\n"
              "  --\n"
              "  Used     : 0 bytes\n"
              "  Allocated: 0 bytes\n"
              "\n"
              "[ Big    ]\n"
              "  1:           100\n"
              "  2:          2000\n"
              "  --\n"
              "  Allocated: 2100 bytes\n"
              "--\n"
              "Total allocated from OS (virtual):         4\n"
              "Total allocated on heap (malloc):         5\n");
}

// quit-return ends the process at once with the status, after what was
// written; no further code runs. -2 reaches the parent as 254.
TEST_F(LibraryTest, QuitReturnEndsTheProcessWithItsStatus) {
    const struct {
        const char* code;
        int status;
        const char* output;
    } cases[] = {
        {"write-stdout \"before\" quit-return 3 write-stdout \"after\"", 3, "before"},
        {"quit-return -2", 254, ""},
        {"quit/return 7", 7, ""},
        {"quit", 0, ""},
        {"halt", 0, ""},
    };
    for (const auto& c : cases) {
        const ChildResult child = run_in_child([&] { (void)run_line(c.code); });
        EXPECT_EQ(child.exit_status, c.status) << c.code;
        EXPECT_EQ(child.output, c.output) << c.code;
    }
}

// write-stdout writes a string as UTF-8, a binary as its bytes and any
// other value molded, with nothing added.
TEST_F(LibraryTest, WriteStdoutWritesTextBytesOrMoldedValues) {
    const struct {
        const char* code;
        const char* output;
    } cases[] = {
        {"write-stdout \"h\xC3\xA9\"", "h\xC3\xA9"},
        {"write-stdout next \"abc\"", "bc"},
        {"write-stdout #{414243}", "ABC"},
        {"write-stdout [1 \"a\"]", "[1 \"a\"]"},
        {"write-stdout %a/b", "a/b"},
    };
    for (const auto& c : cases) {
        const ChildResult child = run_in_child([&] {
            (void)run_line(c.code);
            _exit(0);
        });
        EXPECT_EQ(child.output, c.output) << c.code;
    }
}

}  // namespace
}  // namespace qor::test
