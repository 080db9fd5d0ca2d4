// Files through the real `qor`: a directory listing with a name that is not
// UTF-8, and a file too long for a series, which fails at once and says so.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/qor_script.h"
#include "tests/support/temp_dir.h"

namespace qor::test {
namespace {

using QorFiles = TempDirTest;

TEST_F(QorFiles, ListingGoesOnPastANameThatIsNotUtf8) {
    ASSERT_EQ(mkdir(path("d").c_str(), 0777), 0);
    put("d/a", "");
    put("d/b\xFF", "");
    put("d/c", "");
    put("list.qor", "Qor []\nprint mold read %d/\n");
    const ScriptRun r = run_qor_script(dir_, "list.qor");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "[%a %\"b%FF\" %c]\n");
}

TEST_F(QorFiles, AFileLongerThanASeriesFailsAtOnceAndSaysSo) {
    // A sparse file: 3 GB long, no data written.
    put("huge", "");
    ASSERT_EQ(truncate(path("huge").c_str(), int64_t{3} << 30), 0);
    put("read.qor",
        "Qor []\nforeach r [[read %huge] [read/binary %huge] [read/lines %huge]] "
        "[e: try r print [e/type e/id]]\n");
    const ScriptRun r = run_qor_script(dir_, "read.qor");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "script size-limit\nscript size-limit\nscript size-limit\n");
    EXPECT_LT(r.peak_kb, 512 * 1024);
}

}  // namespace
}  // namespace qor::test
