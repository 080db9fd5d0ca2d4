// OS description, environment list and the rebuilt command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "runtime/host/command_line.h"
#include "runtime/host/env_list.h"
#include "runtime/host/os_info.h"
#include "runtime/platform/env_vars.h"

namespace qor::host {
namespace {

TEST(OsInfo, ArchitectureWords) {
    struct Case {
        std::string_view machine, word;
    } cases[] = {
        {"x86_64", "x86-64"}, {"i686", "x86-32"}, {"i386", "x86-32"}, {"aarch64", "ARM64"},
        {"armv7l", "ARM"},    {"ia64", "IA-64"},  {"riscv64", "Unknown"}, {"", "Unknown"},
    };
    for (const Case& c : cases) EXPECT_EQ(arch_word(c.machine), c.word) << c.machine;
#if defined(__x86_64__)
    EXPECT_EQ(os_info().arch, "x86-64");
#endif
}

TEST(OsInfo, NamesVersionsAndBuilds) {
    EXPECT_EQ(distribution_name("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(distribution_name("# comment\nNAME=Alpine\nVERSION_ID=3.19.1\n"), "Alpine 3.19.1");
    EXPECT_EQ(distribution_name("NAME='Odd'\n"), "Odd");
    EXPECT_EQ(distribution_name("PRETTY_NAME=\"Say \\\"hi\\\"\"\n"), "Say \"hi\"");
    EXPECT_EQ(distribution_name("MY_PRETTY_NAME=x\n"), "Linux");  // a key must match whole
    EXPECT_EQ(distribution_name(""), "Linux");

    struct Release {
        std::string_view text;
        std::array<uint8_t, 3> version;
    } releases[] = {
        {"6.1.0-18-amd64", {6, 1, 0}}, {"5.15.133.1-microsoft-standard-WSL2", {5, 15, 133}},
        {"6.8", {6, 8, 0}},            {"4.19.300", {4, 19, 255}},  // capped to a tuple byte
        {"", {0, 0, 0}},               {"x", {0, 0, 0}},
    };
    for (const Release& r : releases) EXPECT_EQ(kernel_version(r.text), r.version) << r.text;

    EXPECT_EQ(kernel_build("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)"), 1);
    EXPECT_EQ(kernel_build("#142-Ubuntu SMP"), 142);
    EXPECT_EQ(kernel_build("SMP"), 0);
    EXPECT_EQ(kernel_build("#99999999999999999999"), INT32_MAX);

    OsInfo info = os_info();
    EXPECT_FALSE(info.name.empty());
    EXPECT_GT(info.version[0], 0);
}

TEST(EnvList, HoldsEveryVariableInOrder) {
    ASSERT_TRUE(platform::set_env("QOR_LIST_ENV_TEST", std::string("a=b c\xC3\xA9")));
    auto variables = list_env();
    auto entries = platform::environment_entries();
    ASSERT_EQ(variables.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(variables[i].name + "=" + variables[i].value, entries[i]);
    auto found = std::find_if(variables.begin(), variables.end(),
                              [](const EnvVariable& v) { return v.name == "QOR_LIST_ENV_TEST"; });
    ASSERT_NE(found, variables.end());
    EXPECT_EQ(found->value, "a=b c\xC3\xA9");
    ASSERT_TRUE(platform::set_env("QOR_LIST_ENV_TEST", std::nullopt));

    struct Case {
        std::string_view entry, name, value;
    } cases[] = {
        {"A=1", "A", "1"}, {"=C:=C:\\dir", "=C:", "C:\\dir"}, {"EMPTY=", "EMPTY", ""},
        {"NOEQUALS", "NOEQUALS", ""}, {"=", "=", ""}, {"", "", ""},
    };
    for (const Case& c : cases) {
        EnvVariable v = split_env_entry(c.entry);
        EXPECT_EQ(v.name, c.name) << c.entry;
        EXPECT_EQ(v.value, c.value) << c.entry;
    }
}

// The library's argument splitter: runs of spaces and tabs outside double
// quotes separate arguments, each double quote toggles quoting, and one
// leading and one trailing double quote are dropped from each argument.
std::vector<std::string> split_arguments(std::string_view line) {
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false, quoted = false;
    auto finish = [&] {
        if (!current.empty() && current.front() == '"') current.erase(0, 1);
        if (!current.empty() && current.back() == '"') current.pop_back();
        arguments.push_back(current);
        current.clear();
        in_argument = false;
    };
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        if ((c == ' ' || c == '\t') && !quoted) {
            if (in_argument) finish();
            continue;
        }
        current += c;
        in_argument = true;
    }
    if (in_argument) finish();
    return arguments;
}

TEST(CommandLine, SplitterRule) {
    EXPECT_EQ(split_arguments("qor \"my file.qor\"  --catch\targ"),
              (std::vector<std::string>{"qor", "my file.qor", "--catch", "arg"}));
    EXPECT_EQ(split_arguments("  a\"b c\"d  "), (std::vector<std::string>{"a\"b c\"d"}));
    EXPECT_EQ(split_arguments(""), std::vector<std::string>{});
}

TEST(CommandLine, RoundTripsThroughTheSplitter) {
    std::vector<std::string> argv = {
        "/opt/my tools/qor", "script.qor", "two words", "tab\there", "say \"hi\"", "\"quoted\"",
        "a\"b", "", "x\"y z", "--catch", "end\"", "\"start", "caf\xC3\xA9 \xE2\x82\xAC",
    };
    std::string line = command_line(argv);
    EXPECT_EQ(split_arguments(line), argv) << line;
    // A lone quote cannot come back, but the arguments after it do.
    std::vector<std::string> with_lone_quote = {"qor", "\"", "after it", "end"};
    std::vector<std::string> split = split_arguments(command_line(with_lone_quote));
    ASSERT_EQ(split.size(), 4u);
    EXPECT_EQ(split[2], "after it");
    EXPECT_EQ(split[3], "end");
    EXPECT_EQ(command_line(std::vector<std::string>{"qor", "plain"}), "qor plain");
    EXPECT_EQ(command_line(std::vector<std::string>{"qor", "a b"}), "qor \"a b\"");
}

// Every argument the splitter can give back is written so that it does: for
// all short strings over blank, tab, quote and a letter, if any way of
// adding the quotes works (in the middle of a line and at its end), the
// chosen one works too.
TEST(CommandLine, ChoosesAWorkingFormWheneverOneExists) {
    const char alphabet[] = {'a', ' ', '"', '\t'};
    auto gives_back = [](const std::string& written, const std::string& argument) {
        return split_arguments("p " + written + " z") == std::vector<std::string>{"p", argument, "z"} &&
               split_arguments("p " + written) == std::vector<std::string>{"p", argument};
    };
    for (int length = 0; length <= 6; ++length) {
        int count = 1;
        for (int i = 0; i < length; ++i) count *= 4;
        for (int n = 0; n < count; ++n) {
            std::string argument;
            for (int i = 0, k = n; i < length; ++i, k /= 4) argument += alphabet[k % 4];
            bool possible = false;
            for (std::string_view front : {"", "\""})
                for (std::string_view back : {"", "\""})
                    possible |= gives_back(std::string(front) + argument + std::string(back), argument);
            // Without quotes of its own every argument can come back.
            if (argument.find('"') == std::string::npos) {
                EXPECT_TRUE(possible) << "[" << argument << "]";
            }
            if (!possible) {
                // Not given back, but the quotes balance: what follows is intact.
                std::vector<std::string> split = split_arguments("p " + quote_argument(argument) + " z");
                EXPECT_EQ(split.back(), "z") << "[" << argument << "]";
                continue;
            }
            EXPECT_TRUE(gives_back(quote_argument(argument), argument))
                << "[" << argument << "] written as [" << quote_argument(argument) << "]";
        }
    }
}

}  // namespace
}  // namespace qor::host
