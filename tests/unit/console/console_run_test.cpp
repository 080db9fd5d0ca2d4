// The real `qor` with standard input piped: commands, scripts named on the
// command line, exit statuses and the settings file. Each run gets a fresh
// HOME, so the settings directory is the test's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qor::test {
namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

class ConsoleRun : public TempDirTest {
protected:
    // Runs qor with the arguments, `input` on its standard input, HOME set
    // to the test's directory and the working directory there; with
    // `interrupt_when`, Ctrl-C's signal reaches it once a file of that name
    // appears in the directory (written by the code under test).
    Outcome qor(const std::vector<std::string>& args, const std::string& input,
                const std::string& interrupt_when = "") {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return {};
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]);
            if (chdir(dir_.c_str()) != 0) _exit(126);
            setenv("HOME", dir_.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(QOR_BINARY)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(QOR_BINARY, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        // The input is written from another thread so a large output never
        // blocks both sides.
        std::thread writer([&] {
            size_t done = 0;
            while (done < input.size()) {
                const ssize_t n = write(in[1], input.data() + done, input.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            if (!interrupt_when.empty()) {
                for (int i = 0; i < 1000 && !std::filesystem::exists(path(interrupt_when)); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                kill(pid, SIGINT);
            }
            close(in[1]);
        });
        Outcome run;
        char chunk[4096];
        ssize_t n;
        while ((n = read(out[0], chunk, sizeof chunk)) > 0) run.output.append(chunk, static_cast<size_t>(n));
        close(out[0]);
        writer.join();
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
        return run;
    }

    std::string settings_file() const { return dir_ + "/.qor/Qor-Console/console-cfg.qor"; }
};

// The banner's two lines (a block printed: a space before each line feed)
// and the empty line print adds after them.
bool starts_with_banner(const std::string& out) {
    return out.rfind("--== Qor ", 0) == 0 && out.find(" ==-- \nType HELP for starting information. \n\n") != std::string::npos;
}
int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string after_banner(const std::string& out) {
    const std::string end = "Type HELP for starting information. \n\n";
    const size_t at = out.find(end);
    return at == std::string::npos ? out : out.substr(at + end.size());
}

TEST_F(ConsoleRun, PipedCommandsPrintOutputAndResultsAndEndWithStatusZero) {
    const Outcome r = qor({}, "print 1 + 2\n1 + 2\n\nlength? [1\n\n2]\nprint \"last\"");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(starts_with_banner(r.output)) << r.output;
    EXPECT_EQ(after_banner(r.output), "3\n== 3\n== 2\nlast\n");
}

TEST_F(ConsoleRun, QuitEndsWithItsStatus) {
    const struct {
        std::string input;
        int status;
    } cases[] = {
        {"quit\nprint 1\n", 0},
        {"quit/return 3\nprint 1\n", 3},
        {"quit/return -2\n", 254},
        {"q\n", 0},
    };
    for (const auto& c : cases) {
        const Outcome r = qor({}, c.input);
        EXPECT_EQ(r.status, c.status) << c.input;
        EXPECT_EQ(after_banner(r.output), "") << c.input;
    }
}

TEST_F(ConsoleRun, ScriptRunsAndEnds) {
    put("ok.qor", "Qor [Title: \"ok\"]\nprint \"ran\"\n");
    put("one.qor", "; a comment before the header\nQor \t [] print \"one\" quit/return 1 print \"never\"\n");
    put("error.qor", "Qor [] print \"before\" 1 / 0 print \"after\"\n");
    put("syntax.qor", "Qor [] print \"never\" [1 2\n");
    put("caught.qor", "Qor [] print try [1 / 0]\n");
    const struct {
        std::string script;
        int status;
        std::string start;  // what the output starts with
    } cases[] = {
        {"ok.qor", 0, "ran\n"},
        {"one.qor", 1, "one\n"},
        {"error.qor", 1, "before\n*** Math Error"},
        {"syntax.qor", 1, "*** Syntax Error"},
        {"caught.qor", 0, "*** Math Error"},
    };
    for (const auto& c : cases) {
        const Outcome r = qor({c.script}, "print \"not read\"\n");
        EXPECT_EQ(r.status, c.status) << c.script;
        EXPECT_EQ(r.output.rfind(c.start, 0), 0u) << c.script << ":\n" << r.output;
        EXPECT_EQ(r.output.find("not read"), std::string::npos) << c.script;
        EXPECT_EQ(r.output.find("\nafter\n"), std::string::npos) << c.script;
    }
}

TEST_F(ConsoleRun, CatchKeepsTheConsoleOpenAfterTheScript) {
    put("s.qor", "Qor [] x: 42\n");
    const Outcome r = qor({"--catch", "s.qor"}, "x + 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "== 43\n");  // no banner after a script

    // Also after a script that failed: the prompt follows the error.
    put("f.qor", "Qor [] x: 42 1 / 0\n");
    const Outcome f = qor({"--catch", "f.qor"}, "x + 1\n");
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.output.rfind("*** Math Error", 0), 0u) << f.output;
    EXPECT_NE(f.output.find("\n== 43\n"), std::string::npos) << f.output;
}

// Without a user at a terminal, Ctrl-C ends a script or a piped session with
// the shell's status for an interrupt, never 0.
TEST_F(ConsoleRun, CtrlCEndsScriptAndPipedRunsWithStatus130) {
    put("busy.qor", "Qor [] print \"started\" write %running \"\" forever [1]\n");
    const Outcome script = qor({"busy.qor"}, "", "running");
    EXPECT_EQ(script.status, 130);
    EXPECT_EQ(script.output, "started\n");

    std::filesystem::remove(path("running"));
    const Outcome piped = qor({}, "print \"started\"\nwrite %running \"\"\nforever [1]\n", "running");
    EXPECT_EQ(piped.status, 130);
    EXPECT_EQ(after_banner(piped.output), "started\n");
}

TEST_F(ConsoleRun, DoubleDashTakesTheNextArgumentAsTheScript) {
    put("--odd.qor", "Qor [] print \"odd\" print mold system/options/args\n");
    const Outcome r = qor({"--", "--odd.qor", "a", "b"}, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "odd\n[\"a\" \"b\"]\n");
}

TEST_F(ConsoleRun, TheScriptSeesOnlyItsOwnArguments) {
    put("args.qor", "Qor [] print mold system/script/args print mold system/options/args\n");
    const struct {
        std::vector<std::string> args;
        std::string output;
    } cases[] = {
        {{"args.qor", "x y", "z"}, "{\"x y\" z}\n[\"x y\" \"z\"]\n"},
        {{"--catch", "--", "args.qor", "z"}, "\"z\"\n[\"z\"]\n"},
        {{"args.qor"}, "\"\"\n[]\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = qor(c.args, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, c.output) << c.args[0];
    }
}

TEST_F(ConsoleRun, ScriptsWithoutAProperHeaderAreRefused) {
    put("none.qor", "print \"no header\"\n");
    put("word.qor", "Qor: 1 print \"x\"\n");
    put("system.qor", "Qor/System [] 1\n");
    const struct {
        std::string script, message;
    } cases[] = {
        {"none.qor", "*** Error: Qor header not found!\n"},
        {"word.qor", "*** Error: Qor header not found!\n"},
        {"system.qor", "*** Error: contains Qor/System code which requires compilation!\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = qor({c.script}, "");
        EXPECT_EQ(r.status, 0) << c.script;
        EXPECT_EQ(r.output, c.message) << c.script;
    }
}

TEST_F(ConsoleRun, UnreadableScriptFallsBackToTheLoop) {
    const Outcome r = qor({"missing.qor"}, "1 + 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("*** Access Error", 0), 0u) << r.output;
    EXPECT_NE(r.output.find("== 2\n"), std::string::npos) << r.output;
}

TEST_F(ConsoleRun, SettingsFileIsMadeOnQuitAndKeepsOtherSettings) {
    // No file yet: quit makes the directory and the file with the defaults.
    ASSERT_EQ(qor({}, "quit\n").status, 0);
    const std::string first = get(".qor/Qor-Console/console-cfg.qor");
    EXPECT_NE(first.find("Qor Console Configuration File"), std::string::npos) << first;
    EXPECT_NE(first.find("buffer-lines: 10000"), std::string::npos) << first;
    EXPECT_NE(first.find("history: []"), std::string::npos) << first;

    // A file with an extra setting and a long history: the setting stays,
    // the history is cut to its newest 100.
    std::string history;
    for (int i = 150; i >= 1; --i) history += " \"line " + std::to_string(i) + "\"";
    put(".qor/Qor-Console/console-cfg.qor",
        "Qor [Purpose: \"test\"]\ncolour: 'green\nhistory: [" + history + "]\n");
    const Outcome r = qor({}, "print length? system/console/history\nprint first system/console/history\nquit\n");
    EXPECT_EQ(after_banner(r.output), "150\nline 150\n");
    const std::string saved = get(".qor/Qor-Console/console-cfg.qor");
    EXPECT_NE(saved.find("colour: 'green"), std::string::npos) << saved;
    EXPECT_NE(saved.find("buffer-lines: 10000"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"line 51\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("\"line 50\""), std::string::npos) << saved;
}

TEST_F(ConsoleRun, BrokenSettingsGiveDefaultsAndAnUnwritableDirectoryDoesNotStopQuit) {
    std::filesystem::create_directories(dir_ + "/.qor/Qor-Console");
    put(".qor/Qor-Console/console-cfg.qor", "this is [not a settings file\n");
    Outcome r = qor({}, "print length? system/console/history\nquit/return 5\n");
    EXPECT_EQ(after_banner(r.output), "0\n");
    EXPECT_EQ(r.status, 5);

    // The settings directory's place is taken by a file: nothing can be
    // made or saved, yet the console runs and quits with its status.
    std::filesystem::remove_all(dir_ + "/.qor");
    put(".qor", "a file");
    r = qor({}, "1 + 1\nquit/return 7\n");
    EXPECT_EQ(after_banner(r.output), "== 2\n");
    EXPECT_EQ(r.status, 7);
}

// write (and save, which writes) replaces a file through a temporary file
// and a rename: when the new content cannot be written (here the file-size
// limit stops it) the error gives the system's reason, the old content
// stays whole, no temporary file is left,
// and a file's permission bits and a symbolic link to it are kept.
TEST_F(ConsoleRun, WriteReplacesTheWholeFileOrLeavesItAsItWas) {
    put("data.txt", "old content\n");
    chmod(path("data.txt").c_str(), 0640);
    ASSERT_EQ(symlink("data.txt", path("link.txt").c_str()), 0);

    // The child inherits the limit and the ignored signal: writes past
    // 4 KiB fail with EFBIG instead of ending the process.
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    const Outcome r = qor({},
                          "write %data.txt append/dup copy \"\" #\"x\" 10000\n"
                          "print read %data.txt\n"
                          "save %link.txt [a 1]\n"
                          "print read %data.txt\n");
    signal(SIGXFSZ, old_handler);
    setrlimit(RLIMIT_FSIZE, &old_limit);

    EXPECT_EQ(after_banner(r.output).rfind("*** Access Error: cannot write: %data.txt reason: \"File too large\"", 0), 0u)
        << r.output;
    EXPECT_NE(r.output.find("\nold content\n\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\na 1\n"), std::string::npos) << r.output;
    EXPECT_EQ(get("data.txt"), "a 1");
    struct stat st{};
    ASSERT_EQ(lstat(path("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(path("data.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) entries += e.path().filename().string()[0] == '.' ? 0 : 1;
    EXPECT_EQ(entries, 2u);  // data.txt and link.txt, no temporary file
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".data.txt."), std::string::npos) << e.path();
}

// Two consoles quitting at once: each saves the settings file whole (no
// torn file), and the last to save keeps the lines the other added: each
// console's lines in their order, then the lines both started with. The
// file is private to the user.
TEST_F(ConsoleRun, ConsolesQuittingAtOnceKeepBothHistories) {
    for (int round = 0; round < 6; ++round) {
        put(".qor/Qor-Console/console-cfg.qor", "Qor []\nhistory: [\"old 2\" \"old 1\"]\n");
        if (round == 0) std::filesystem::remove(path(".qor/Qor-Console/console-cfg.qor"));
        auto session = [&](const std::string& name) {
            return qor({}, "insert system/console/history \"" + name + " 1\"\n"
                           "insert system/console/history \"" + name + " 2\"\nquit\n");
        };
        Outcome a, b;
        std::thread first([&] { a = session("a"); });
        std::thread second([&] { b = session("b"); });
        first.join();
        second.join();
        ASSERT_EQ(a.status, 0) << a.output;
        ASSERT_EQ(b.status, 0) << b.output;
        const std::string file = get(".qor/Qor-Console/console-cfg.qor");
        const std::string old = round == 0 ? "" : " \"old 2\" \"old 1\"";
        const bool a_last = file.find("[\"a 2\"") != std::string::npos;
        const std::string expected = a_last ? "history: [\"a 2\" \"a 1\" \"b 2\" \"b 1\"" + old + "]"
                                            : "history: [\"b 2\" \"b 1\" \"a 2\" \"a 1\"" + old + "]";
        EXPECT_NE(file.find(expected), std::string::npos) << "round " << round << ":\n" << file;
        struct stat st{};
        ASSERT_EQ(stat(path(".qor/Qor-Console/console-cfg.qor").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

// browse hands the text to xdg-open as one argument, never to a shell:
// characters a shell would act on reach the opener as they are. (A stand-in
// xdg-open on PATH records its arguments.)
TEST_F(ConsoleRun, BrowseRunsXdgOpenWithTheTextAsOneArgument) {
    std::filesystem::create_directories(path("bin"));
    put("bin/xdg-open", "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done >> \"$HOME/opened\"\n");
    chmod(path("bin/xdg-open").c_str(), 0755);
    const std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (path("bin") + ":" + old_path).c_str(), 1);
    const Outcome r = qor({}, "browse to url! {http://example.org/a?b=1&c=$(touch pwned);`x`}\nbrowse %my-file.txt\n");
    setenv("PATH", old_path.c_str(), 1);
    EXPECT_EQ(after_banner(r.output), "");
    // The openers run in the background, in either order.
    for (int i = 0; i < 100 && count_of(get("opened"), "\n") < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string opened = get("opened");
    EXPECT_EQ(count_of(opened, "\n"), 2) << opened;
    EXPECT_NE(opened.find("[http://example.org/a?b=1&c=$(touch pwned);`x`]\n"), std::string::npos) << opened;
    EXPECT_NE(opened.find("[" + dir_ + "/my-file.txt]\n"), std::string::npos) << opened;
    EXPECT_FALSE(std::filesystem::exists(path("pwned")));
}

// stats/show prints the memory figures through show-memory-stats and
// answers nothing.
TEST_F(ConsoleRun, StatsShowPrintsTheFigures) {
    const Outcome r = qor({}, "stats/show\nstats/show/info\n");
    const std::string out = after_banner(r.output);
    EXPECT_EQ(count_of(out, "[Nodes ] -- Free ----- Used ----- Total --"), 2) << out;
    EXPECT_EQ(count_of(out, "Total allocated from OS (virtual):"), 2) << out;
    EXPECT_EQ(out.find("=="), std::string::npos) << out;
}

// print reduces its block straight into a new block: one far larger than
// the data stack prints whole.
TEST_F(ConsoleRun, PrintOfABlockLargerThanTheStack) {
    const Outcome r = qor({}, "print append/dup copy [] [\"ab\"] 30000\n");
    std::string expected;
    for (int i = 0; i < 30000; ++i) expected += i ? " ab" : "ab";
    EXPECT_EQ(after_banner(r.output), expected + "\n");
}

}  // namespace
}  // namespace qor::test
