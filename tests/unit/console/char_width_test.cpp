// Display widths of code points.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "runtime/unicode/char_width.h"

namespace qor::unicode {
namespace {

TEST(CharWidth, Table) {
    const std::vector<std::pair<uint32_t, int>> cases = {
        {'A', 1},     {' ', 1},     {'~', 1},      {0, 0},        {'\t', 1},     {0x7F, 1},
        {0x85, 1},    {0x9F, 1},    {0xA0, 1},     {0xAD, 1},     {0xE9, 1},     {0x200B, 1},
        // combining marks and prepended marks
        {0x300, 0},   {0x301, 0},   {0x36F, 0},    {0x370, 1},    {0x483, 0},    {0x489, 0},
        {0x5BF, 0},   {0x5C0, 1},   {0x600, 0},    {0x605, 0},    {0x606, 1},    {0x20DD, 0},
        {0xFE0F, 0},  {0x1160, 0},  {0xE0100, 0},  {0xE01EF, 0},  {0xE01F0, 1},  {0xE0001, 1},
        // East Asian wide and fullwidth
        {0x10FF, 1},  {0x1100, 2},  {0x115F, 2},   {0x231A, 2},   {0x4E00, 2},   {0x9FFF, 2},
        {0xAC00, 2},  {0xFF01, 2},  {0xFF61, 1},   {0x3000, 2},   {0x1F600, 2},  {0x1F44D, 2},
        {0x1F680, 2}, {0x1FAF6, 2}, {0x1FAF7, 1},  {0x20000, 2},  {0x2A6DF, 2},  {0x3FFFD, 2},
        {0x3FFFE, 1}, {0x40000, 1}, {0x10FFFF, 1}, {0x110000, 1},
        // Latin, Greek, Cyrillic
        {0x3B1, 1},   {0x416, 1},
    };
    for (auto [cp, width] : cases) EXPECT_EQ(char_width(cp), width) << std::hex << cp;
}

TEST(CharWidth, WholeBlocks) {
    for (uint32_t cp = 0x20; cp < 0x7F; ++cp) ASSERT_EQ(char_width(cp), 1) << cp;
    for (uint32_t cp = 0x300; cp <= 0x36F; ++cp) ASSERT_EQ(char_width(cp), 0) << cp;
    for (uint32_t cp = 0x4E00; cp <= 0x9FFF; ++cp) ASSERT_EQ(char_width(cp), 2) << cp;
    for (uint32_t cp = 0xAC00; cp <= 0xD7A3; ++cp) ASSERT_EQ(char_width(cp), 2) << cp;
}

}  // namespace
}  // namespace qor::unicode
