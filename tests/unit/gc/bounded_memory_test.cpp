// The real `qor` collects on its own: a long loop that allocates and drops
// a string at every step stays near its start-up size, and what the loop
// keeps survives.
#include <gtest/gtest.h>

#include "tests/support/qor_script.h"
#include "tests/support/temp_dir.h"

namespace qor::test {
namespace {

using BoundedMemory = TempDirTest;

TEST_F(BoundedMemory, AnAllocatingLoopStaysNearItsStartUpSize) {
#ifdef QOR_GC_STRESS
    constexpr const char* steps = "2000";  // a collection at every allocation
#else
    constexpr const char* steps = "3000000";  // about 200 MB of strings in all
#endif
    put("idle.qor", "Qor []\nprint \"ok\"\n");
    put("loop.qor", std::string("Qor []\nkept: copy []\n") + "loop " + steps +
                        " [s: copy \"abcdefghijklmnopqrstuvwxyz\" if 1 = random 100 [append kept s]]\n"
                        "print [\"ok\" (length? kept) > 0 all collect [foreach k kept [keep k = \"abcdefghijklmnopqrstuvwxyz\"]]]\n");
    const ScriptRun idle = run_qor_script(dir_, "idle.qor");
    const ScriptRun loop = run_qor_script(dir_, "loop.qor");
    ASSERT_EQ(idle.status, 0) << idle.output;
    ASSERT_EQ(loop.status, 0) << loop.output;
    EXPECT_EQ(loop.output, "ok true true\n");
    // Without collections the loop alone would take a few hundred MB.
    EXPECT_LT(loop.peak_kb, idle.peak_kb + 48 * 1024) << "idle " << idle.peak_kb << " KB";
}

}  // namespace
}  // namespace qor::test
