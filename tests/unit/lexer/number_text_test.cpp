// Text to number for the conversions of strings: integers that are not
// numbers at all, and money.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/numtext/number_text.h"

namespace qor::number_text {
namespace {

TEST(TextToInteger, TextThatIsNoNumberIsAnError) {
    const struct {
        std::u32string_view text;
        Status status;
    } cases[] = {
        {U"", Status::bad_text},
        {U"+", Status::bad_text},
        {U"-", Status::bad_text},
        {U"'", Status::bad_text},
        {U"-21474836489", Status::overflow},
        {U"21474836470", Status::overflow},
        {U"-2147483648x", Status::bad_text},
        {U"-2147483648'9", Status::overflow},
        {U"2147483647 ", Status::bad_text},
    };
    for (const auto& c : cases) {
        Status s = Status::ok;
        (void)to_integer(c.text, s);
        EXPECT_EQ(s, c.status) << std::string(c.text.begin(), c.text.end());
    }
    Status s;
    EXPECT_EQ(to_integer(U"-2147483648", s), -2147483647 - 1);
    EXPECT_EQ(s, Status::ok);
    EXPECT_EQ(to_integer(U"-0", s), 0);
    EXPECT_EQ(s, Status::ok);
}

// The 22 money digits of a cell as text, "-" and the currency index first.
std::string money_text(const Cell& c) {
    uint8_t p[12];
    std::memcpy(p, &c.w1, 12);
    std::string out = (c.header & cell_flag::money_negative) ? "-" : "";
    out += std::to_string(p[0]) + ":";
    for (int k = 0; k < 22; k++) {
        if (k == 17) out += ".";
        out += static_cast<char>('0' + ((k % 2 ? p[1 + k / 2] : p[1 + k / 2] >> 4) & 15));
    }
    return out;
}

TEST(TextToMoney, Forms) {
    const struct {
        std::u32string_view text;
        const char* money;  // null: bad text
    } cases[] = {
        {U"EUR$1'234.50", "47:00000000000001234.50000"},
        {U"-$0.5", "-0:00000000000000000.50000"},
        {U"12.3", "0:00000000000000012.30000"},
        {U"usd$7", "155:00000000000000007.00000"},
        {U"$'1", nullptr},
        {U"$1.", nullptr},
        {U"EU$1", nullptr},
        {U"$1''0", nullptr},
        {U"$1'", nullptr},
        {U"$1.5'0", nullptr},
        {U"$", nullptr},
        {U"", nullptr},
        {U"$1.123456", nullptr},
        {U"$123456789012345678", nullptr},
        {U"XYZ$1", nullptr},
        {U"$1x", nullptr},
    };
    for (const auto& c : cases) {
        Status s = Status::ok;
        Cell out = unset_cell;
        to_money(c.text, s, out);
        const std::string label(c.text.begin(), c.text.end());
        if (c.money) {
            EXPECT_EQ(s, Status::ok) << label;
            EXPECT_EQ(money_text(out), c.money) << label;
        } else {
            EXPECT_EQ(s, Status::bad_text) << label;
            EXPECT_EQ(type_of(out), TypeId::unset) << label;
        }
    }
}

}  // namespace
}  // namespace qor::number_text
