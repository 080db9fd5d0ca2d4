// Shapes on the cell grid: the line walk against the plain stepped walk,
// lines and shapes far larger than the grid, boxes, triangles, ellipses and
// circles, and the origin and clip applied to every one of them.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "view/draw/shapes.h"

namespace qor::draw {
namespace {

using Cells = std::vector<std::pair<int64_t, int64_t>>;

// The walk stepped cell by cell: the error term and its two tests.
Cells stepped_walk(Pt a, Pt b) {
    Cells out;
    const int64_t dx = a.x < b.x ? b.x - a.x : a.x - b.x, sx = a.x < b.x ? 1 : -1;
    const int64_t dy = -(a.y < b.y ? b.y - a.y : a.y - b.y), sy = a.y < b.y ? 1 : -1;
    int64_t err = dx + dy;
    for (;;) {
        out.emplace_back(a.x, a.y);
        if (a.x == b.x && a.y == b.y) return out;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            a.x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            a.y += sy;
        }
    }
}

TEST(LineWalk, VisitsExactlyTheSteppedWalksCellsInsideTheClip) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int64_t> coord(-40, 40);
    for (int n = 0; n < 20000; n++) {
        const Pt a{coord(rng), coord(rng)}, b{coord(rng), coord(rng)};
        int x1 = static_cast<int>(coord(rng)), y1 = static_cast<int>(coord(rng));
        const tui::Clip clip{x1, y1, x1 + static_cast<int>(coord(rng) + 41) / 2, y1 + static_cast<int>(coord(rng) + 41) / 2};
        Cells expected;
        for (auto [x, y] : stepped_walk(a, b))
            if (x >= clip.x1 && x < clip.x2 && y >= clip.y1 && y < clip.y2) expected.emplace_back(x, y);
        Cells got;
        walk_line(a, b, clip, [&](int x, int y) { got.emplace_back(x, y); });
        ASSERT_EQ(got, expected) << a.x << "," << a.y << " -> " << b.x << "," << b.y;
    }
}

TEST(LineWalk, AFarEndPointCostsOnlyTheVisibleSteps) {
    // Two billion steps stepped one by one; here one per visible column.
    const tui::Clip clip{0, 0, 200, 60};
    int visits = 0;
    Cells cells;
    walk_line(Pt{0, 0}, Pt{2'000'000'000, 1'000'000'000}, clip, [&](int x, int y) {
        visits++;
        cells.emplace_back(x, y);
    });
    EXPECT_EQ(visits, 119);  // up to the last row: y is (x + 1) / 2
    EXPECT_EQ(cells.front(), (std::pair<int64_t, int64_t>{0, 0}));
    EXPECT_EQ(cells.back(), (std::pair<int64_t, int64_t>{118, 59}));
    // Coming from far outside on the left and leaving on the right.
    visits = 0;
    walk_line(Pt{-3'000'000'000LL, 30}, Pt{3'000'000'000LL, 30}, clip, [&](int, int y) {
        visits++;
        EXPECT_EQ(y, 30);
    });
    EXPECT_EQ(visits, 200);
}

class ShapesTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.resize(20, 10);
        grid.clear();
        s.grid = &grid;
        s.clip = tui::Clip{0, 0, 20, 10};
        s.pen_color = 7;
        s.fill_color = 9;
    }

    // The grid's characters, one string a row ('.' for an untouched cell,
    // '#' for a full block, ' ' for a fill).
    std::vector<std::string> picture() const {
        std::vector<std::string> rows;
        for (int y = 0; y < grid.height(); y++) {
            std::string row;
            for (int x = 0; x < grid.width(); x++) {
                const uint32_t c = grid.at(x, y).ch;
                row += c == 0 ? '.' : c == full_block ? '#' : c == ' ' ? ' ' : c < 128 ? char(c) : '+';
            }
            rows.push_back(row);
        }
        return rows;
    }

    // The smallest rectangle holding every drawn cell: x1, y1, width, height.
    std::vector<int> extent() const {
        int x1 = 1 << 30, y1 = 1 << 30, x2 = -1, y2 = -1;
        for (int y = 0; y < grid.height(); y++)
            for (int x = 0; x < grid.width(); x++)
                if (grid.at(x, y).ch != 0) {
                    x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
                }
        if (x2 < 0) return {};
        return {x1, y1, x2 - x1 + 1, y2 - y1 + 1};
    }

    tui::CellGrid grid;
    DrawState s;
};

TEST_F(ShapesTest, BoxFrameFillAndCornersInEitherOrder) {
    s.fill = true;
    box(s, Pt{6, 3}, Pt{2, 1});
    const auto reversed = picture();
    grid.clear();
    box(s, Pt{2, 1}, Pt{6, 3});
    EXPECT_EQ(picture(), reversed);
    EXPECT_EQ(picture()[0], "....................");
    EXPECT_EQ(grid.at(2, 1).ch, 0x250Cu);
    EXPECT_EQ(grid.at(6, 1).ch, 0x2510u);
    EXPECT_EQ(grid.at(2, 3).ch, 0x2514u);
    EXPECT_EQ(grid.at(6, 3).ch, 0x2518u);
    EXPECT_EQ(grid.at(4, 1).ch, 0x2500u);
    EXPECT_EQ(grid.at(2, 2).ch, 0x2502u);
    // Inside: a space on the fill colour; the frame in the pen colour over it.
    EXPECT_EQ(grid.at(4, 2), (tui::GridCell{' ', 9, 0, 0}));
    EXPECT_EQ(grid.at(4, 1), (tui::GridCell{0x2500, 9, 7, 0}));
    // Without the pen only the fill; without the fill only the frame.
    grid.clear();
    s.pen = false;
    box(s, Pt{2, 1}, Pt{6, 3});
    EXPECT_EQ(picture()[1], "..     .............");
    grid.clear();
    s.pen = true;
    s.fill = false;
    box(s, Pt{2, 1}, Pt{6, 3});
    EXPECT_EQ(grid.at(4, 2).ch, 0u);
}

TEST_F(ShapesTest, CircleIsTwiceAsWideAsHigh) {
    circle(s, Pt{10, 5}, 3);
    EXPECT_EQ(extent(), (std::vector<int>{4, 2, 12, 6}));
    // Symmetric about the centre lines.
    const auto rows = picture();
    for (int y = 2; y < 8; y++) {
        for (int x = 4; x < 16; x++) EXPECT_EQ(rows[y][x], rows[y][4 + 15 - x]) << x << "," << y;
        EXPECT_EQ(rows[y], rows[2 + 7 - y]);
    }
    grid.clear();
    circle(s, Pt{10, 5}, 0);
    ellipse(s, Pt{1, 1}, Pt{0, 5});
    ellipse(s, Pt{1, 1}, Pt{5, 0});
    EXPECT_TRUE(extent().empty());
}

TEST_F(ShapesTest, EllipseFillsInsideItsOutline) {
    s.fill = true;
    ellipse(s, Pt{1, 1}, Pt{9, 7});
    EXPECT_EQ(extent(), (std::vector<int>{1, 1, 9, 7}));
    // Each row: outline cells at both ends, fill between, nothing outside.
    for (int y = 1; y < 8; y++) {
        const std::string row = picture()[y];
        const size_t first = row.find_first_not_of('.'), last = row.find_last_not_of('.');
        EXPECT_EQ(row[first], '#') << y;
        EXPECT_EQ(row[last], '#') << y;
        EXPECT_EQ(row.substr(first, last - first + 1).find('.'), std::string::npos) << y;
    }
    EXPECT_EQ(picture()[4], ".#       #..........");
}

TEST_F(ShapesTest, TriangleFillAndEdges) {
    s.fill = true;
    triangle(s, Pt{2, 1}, Pt{10, 7}, Pt{2, 7});
    EXPECT_EQ(grid.at(3, 5).ch, static_cast<uint32_t>(' '));
    EXPECT_EQ(grid.at(3, 5).bg, 9u);
    EXPECT_EQ(grid.at(2, 1).ch, full_block);
    EXPECT_EQ(grid.at(10, 7).ch, full_block);
    EXPECT_EQ(grid.at(12, 4).ch, 0u);
    // Three vertices on one row: nothing filled, the edges drawn.
    grid.clear();
    triangle(s, Pt{1, 8}, Pt{9, 8}, Pt{4, 8});
    EXPECT_EQ(picture()[8], ".#########..........");
    EXPECT_EQ(grid.at(4, 8).bg, 0u);
}

TEST_F(ShapesTest, ALineLeavingTheGridStopsAtItsEdge) {
    line(s, Pt{15, 2}, Pt{40, 2});
    EXPECT_EQ(picture()[2], "...............#####");
    grid.clear();
    polyline(s, std::vector<Pt>{{0, 0}, {3, 0}, {3, 3}});
    EXPECT_EQ(extent(), (std::vector<int>{0, 0, 4, 4}));
    grid.clear();
    s.pen = false;
    line(s, Pt{0, 0}, Pt{5, 5});
    EXPECT_TRUE(extent().empty());
}

// Every shape drawn with an origin lands where it lands drawn at the offset
// coordinates without one, cut to the clip.
TEST_F(ShapesTest, OriginAndClipApplyToEveryShape) {
    using Draw = void (*)(DrawState&, Pt);
    const std::vector<std::pair<const char*, Draw>> shapes = {
        {"line", [](DrawState& st, Pt o) { line(st, Pt{o.x - 3, o.y - 2}, Pt{o.x + 20, o.y + 6}); }},
        {"box", [](DrawState& st, Pt o) { box(st, Pt{o.x - 1, o.y - 1}, Pt{o.x + 30, o.y + 30}); }},
        {"triangle", [](DrawState& st, Pt o) { triangle(st, Pt{o.x, o.y - 5}, Pt{o.x + 25, o.y + 3}, Pt{o.x - 4, o.y + 9}); }},
        {"circle", [](DrawState& st, Pt o) { circle(st, Pt{o.x + 4, o.y + 3}, 4); }},
        {"ellipse", [](DrawState& st, Pt o) { ellipse(st, Pt{o.x - 2, o.y - 1}, Pt{14, 8}); }},
    };
    s.fill = true;
    const tui::Clip clip{5, 2, 12, 7};
    for (const auto& [name, draw_shape] : shapes) {
        grid.clear();
        s.origin_x = 0, s.origin_y = 0, s.clip = tui::Clip{0, 0, 20, 10};
        draw_shape(s, Pt{5, 2});
        std::vector<std::string> expected = picture();
        for (int y = 0; y < 10; y++)
            for (int x = 0; x < 20; x++)
                if (x < clip.x1 || x >= clip.x2 || y < clip.y1 || y >= clip.y2) expected[y][x] = '.';
        grid.clear();
        s.origin_x = 5, s.origin_y = 2, s.clip = clip;
        draw_shape(s, Pt{0, 0});
        EXPECT_EQ(picture(), expected) << name;
    }
}

TEST_F(ShapesTest, HugeShapesCostOnlyTheirVisiblePart) {
    s.fill = true;
    circle(s, Pt{1'000'000'000, 5}, 900'000'000);
    triangle(s, Pt{0, -2'000'000'000LL}, Pt{2'000'000'000LL, 2'000'000'000LL}, Pt{-2'000'000'000LL, 1'000'000'000});
    ellipse(s, Pt{-1'000'000'000, -1'000'000'000}, Pt{3'000'000'000LL, 3'000'000'000LL});
    box(s, Pt{-4'000'000'000LL, 3}, Pt{4'000'000'000LL, 3});
    EXPECT_EQ(extent(), (std::vector<int>{0, 0, 20, 10}));
}

}  // namespace
}  // namespace qor::draw
