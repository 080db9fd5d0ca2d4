// The fixture of the environment library's transcripts: a fresh evaluator
// with the real library, the transcript directory's set-up run into it.
// The set-up defines `err code`: the category and id of the error the code
// raises (or its value), so that error cases read as one line each.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/support/environment_runtime.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {

class EnvTranscriptFixture : public EnvironmentTest {
protected:
    void SetUp() override {
        EnvironmentTest::SetUp();
        // The clipboard cases use the in-process store, never a desktop's.
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        run_setup(dir);
    }

    // Absolute: a test may change the process's directory before it replays.
    const std::string dir = std::filesystem::absolute(std::filesystem::path(__FILE__).parent_path() / "transcripts");

    void replay(const std::string& name) { replay_transcript(dir + "/" + name); }
};

}  // namespace qor::test
