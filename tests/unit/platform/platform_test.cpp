// The platform layer: output bytes, environment, time, memory regions and
// the current directory.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>

#include "runtime/output/output.h"
#include "runtime/platform/clock.h"
#include "runtime/platform/current_dir.h"
#include "runtime/platform/env_vars.h"
#include "runtime/platform/memory_region.h"
#include "runtime/core/throw.h"
#include "tests/support/child_process.h"

namespace qor {
namespace {

TEST(Output, UnitsOfEveryWidthBecomeUtf8ByteForByte) {
    const uint8_t latin1[] = {'a', 0xE9, 'b'};
    const uint16_t ucs2[] = {0x41, 0x3B1, 0x20AC};
    const uint32_t ucs4[] = {0x1F600, 0x7A, 0x10FFFF};
    auto result = test::run_in_child([&] {
        output::print_units(latin1, 3, 1, true);
        output::print_units(ucs2, 3, 2, false);
        output::print_units(ucs4, 3, 4, true);
    });
    EXPECT_EQ(result.output,
              "a\xC3\xA9" "b\n"
              "A\xCE\xB1\xE2\x82\xAC"
              "\xF0\x9F\x98\x80z\xF4\x8F\xBF\xBF\n");
}

TEST(Output, EscapesPassThroughAndLongTextIsWhole) {
    std::string text = "\x1B[1;31mred\x1B[0m";
    std::string long_text(10000, 'x');
    auto result = test::run_in_child([&] {
        output::print_units(text.data(), text.size(), 1, false);
        output::print_units(long_text.data(), long_text.size(), 1, true);
    });
    EXPECT_EQ(result.output, text + long_text + "\n");
}

TEST(Output, UnknownWidthAndFormatters) {
    auto result = test::run_in_child([] {
        output::print_units("x", 1, 3, true);
        output::print({"n=", int32_t(-42), " ", true, " ", 0.1, " ", 1.5f, " ", output::PrintItem::as_hex(0xBEEF)});
    });
    EXPECT_EQ(result.output, "Error: unknown string encoding: 3\nn=-42 true 0.1 1.5 0000BEEF");
}

TEST(Output, TextHooksSeeWhatWasWritten) {
    static std::string seen;
    output::init();
    output::add_hook(nullptr, [](const char* text, size_t length, int) { seen.append(text, length); });
    auto result = test::run_in_child([] {
        output::write_c_string("abc");
        output::form_integer(7);
        _exit(seen == "abc7" ? 0 : 1);
    });
    EXPECT_EQ(result.exit_status, 0);
    output::init();
}

TEST(Environment, SetGetAndRemove) {
    EXPECT_TRUE(platform::set_env("QOR_TEST_VARIABLE", std::string("h\xC3\xA9llo")));
    EXPECT_EQ(platform::get_env("QOR_TEST_VARIABLE"), std::string("h\xC3\xA9llo"));
    EXPECT_TRUE(platform::set_env("QOR_TEST_VARIABLE", std::nullopt));
    EXPECT_EQ(platform::get_env("QOR_TEST_VARIABLE"), std::nullopt);
    EXPECT_FALSE(platform::set_env("BAD=NAME", std::string("x")));
    EXPECT_FALSE(platform::set_env("", std::string("x")));
}

TEST(CurrentDir, ChangesAndComesBack) {
    std::string start = platform::get_current_dir();
    ASSERT_FALSE(start.empty());
    ASSERT_TRUE(platform::set_current_dir("/tmp"));
    EXPECT_EQ(platform::get_current_dir(), "/tmp");
    EXPECT_FALSE(platform::set_current_dir("/no/such/directory/here"));
    ASSERT_TRUE(platform::set_current_dir(start));
}

TEST(Clock, ReadingAgreesWithTheSystem) {
    const time_t before = time(nullptr);
    const platform::ClockReading r = platform::read_clock();
    const time_t after = time(nullptr);
    EXPECT_GE(r.seconds, before);
    EXPECT_LE(r.seconds, after);
    EXPECT_GE(r.nanoseconds, 0);
    EXPECT_LT(r.nanoseconds, 1000000000);
    tm local{};
    localtime_r(&after, &local);
    EXPECT_EQ(r.offset, local.tm_gmtoff);
}

TEST(Clock, OffsetFollowsTheZone) {
    // The offset is the one in force at the instant read, east of UTC.
    const char* saved = getenv("TZ");
    const std::string old = saved ? saved : "";
    const std::pair<const char*, int32_t> zones[] = {{"UTC0", 0}, {"IST-5:30", 19800}, {"NST3:30", -12600}};
    for (auto [tz, offset] : zones) {
        setenv("TZ", tz, 1);
        EXPECT_EQ(platform::read_clock().offset, offset) << tz;
    }
    if (saved) setenv("TZ", old.c_str(), 1);
    else unsetenv("TZ");
}

TEST(Clock, WaitHasAOneMillisecondFloorAndSurvivesNonsense) {
    using clock = std::chrono::steady_clock;
    for (double seconds : {0.0001, 0.0, -5.0, std::nan("")}) {
        auto start = clock::now();
        platform::wait(seconds);
        auto elapsed = clock::now() - start;
        EXPECT_GE(elapsed, std::chrono::milliseconds(1)) << seconds;
        EXPECT_LT(elapsed, std::chrono::milliseconds(500)) << seconds;
    }
    auto start = clock::now();
    platform::wait(0.02);
    EXPECT_GE(clock::now() - start, std::chrono::milliseconds(20));
}

TEST(MemoryRegion, ZeroFilledAndReleasable) {
    const size_t size = 2 << 20;
    auto* region = static_cast<uint8_t*>(platform::os_alloc(size));
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region[0], 0);
    EXPECT_EQ(region[size - 1], 0);
    std::memset(region, 0xAB, size);
    platform::os_free(region, size);
}

TEST(MemoryRegion, RefusalThrowsTheRegionCode) {
    uint32_t code = rt::catch_level(0xFFFFFFFFu, [] { (void)platform::os_alloc(size_t(1) << 62); });
    EXPECT_EQ(code, rt::throw_region_alloc_failed);
    code = rt::catch_level(0xFFFFFFFFu, [] { platform::os_free(reinterpret_cast<void*>(1), 4096); });
    EXPECT_EQ(code, rt::throw_region_free_failed);
}

}  // namespace
}  // namespace qor
